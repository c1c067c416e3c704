// The fixture of the scene tables' tests: an engine root made through the
// public entry point with handle tracking on, and typed views of a handle's
// table as the game would hold them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class SceneTablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(initEngineApi(&m_root), 0);
        ASSERT_EQ(api().initialize(m_root, nullptr, nullptr), 0);
        ASSERT_EQ(api().setOption(kOptionTrackHandles), 0); // the last release gives back what a test keeps
    }
    void TearDown() override { api().release(m_root); }

    const IkwEngineTable& api() const { return *m_root->table; }
    EngineHandle* make(uint32_t iid)
    {
        EngineHandle* h = nullptr;
        EXPECT_EQ(api().createEngineObject(iid, &h), 0);
        return h;
    }
    static const IkwWorldTable& world(EngineHandle* h) { return tableOf<IkwWorldTable>(h); }
    static const IkwGroupTable& group(EngineHandle* h) { return tableOf<IkwGroupTable>(h); }
    static const IkwNodeTable& node(EngineHandle* h) { return tableOf<IkwNodeTable>(h); }
    static const IkwTransformableTable& transformable(EngineHandle* h) { return tableOf<IkwTransformableTable>(h); }
    static const IkwObject3DTable& object3D(EngineHandle* h) { return tableOf<IkwObject3DTable>(h); }
    static uint32_t release(EngineHandle* h) { return unknownRelease(h); }

    IkwEngine* m_root = nullptr;
};
