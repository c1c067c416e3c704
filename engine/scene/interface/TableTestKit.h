// The fixture of the scene tables' tests: an engine root made through the
// public entry point with handle tracking on, and typed views of a handle's
// table as the game would hold them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/interface/InterfaceMetadata.h"

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

    struct InterfaceRow {
        uint32_t iid;
        const void* table;
        std::vector<uint32_t> accepts; // besides the row's own id
    };
    // Each row's object is made with its table, names its interface, hands
    // back the same handle for the ids it accepts and refuses Group; objects
    // with Object3D entries duplicate into a new object behind the same table.
    void expectMadeWithTheirTables(const std::vector<InterfaceRow>& rows)
    {
        for (const InterfaceRow& row : rows) {
            SCOPED_TRACE(row.iid);
            EngineHandle* h = make(row.iid);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(h->table, row.table);
            EXPECT_EQ(interfaceTable(*interfaceById(row.iid)), row.table);
            EXPECT_EQ(api().getObjectType(h), row.iid);
            for (uint32_t iid : row.accepts) {
                EngineHandle* q = nullptr;
                EXPECT_EQ(unknownQueryInterface(h, iid, &q), 0) << iid;
                EXPECT_EQ(q, h);
                release(q);
            }
            EngineHandle* q = nullptr;
            EXPECT_EQ(unknownQueryInterface(h, kIidGroup, &q), 3);
            if (std::find(row.accepts.begin(), row.accepts.end(), kIidObject3D) != row.accepts.end()) {
                EngineHandle* copy = nullptr;
                EXPECT_EQ(object3D(h).duplicate(h, &copy), 0);
                EXPECT_EQ(copy->table, row.table);
                EXPECT_NE(copy->object, h->object);
                EXPECT_EQ(release(copy), 0u);
            }
            EXPECT_EQ(release(h), 0u);
        }
    }

    IkwEngine* m_root = nullptr;
};
