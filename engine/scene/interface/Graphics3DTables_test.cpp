// The Graphics3D table through the public interface: the result codes of the
// checks made before the render context is called, and a frame drawn into a
// caller's buffer.
#include "engine/scene/interface/Graphics3DTables.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/interface/EngineResult.h"
#include "engine/scene/interface/TableTestKit.h"

namespace {

class Graphics3DTablesTest : public SceneTablesTest {
protected:
    static const IkwGraphics3DTable& g3d(EngineHandle* h) { return tableOf<IkwGraphics3DTable>(h); }
};

} // namespace

TEST_F(Graphics3DTablesTest, EntriesCheckTheirArgumentsAndDrawAWorld)
{
    EngineHandle* g = make(kIidGraphics3D);
    const auto& t = g3d(g);
    std::vector<uint16_t> pixels(32 * 24, 0x1234);
    EXPECT_EQ(t.bindBuffer(g, 32, 24, 64, pixels.data()), 0);
    uint32_t width = 0, height = 0;
    t.getTargetWidth(g, &width);
    t.getTargetHeight(g, &height);
    EXPECT_EQ(width, 32u);
    EXPECT_EQ(height, 24u);

    int32_t value = 0;
    EXPECT_EQ(t.getProperty(g, 14, &value), kResultIllegalArgument);
    EXPECT_EQ(t.getProperty(g, 6, &value), 0);
    EXPECT_EQ(value, 256);
    EXPECT_EQ(t.setDepthRange(g, 1.5f, kNaN), kResultIllegalArgument);
    EXPECT_EQ(t.setDepthRange(g, 0.5f, kNaN), kResultInvalidFloat);
    EXPECT_EQ(t.setViewport(g, 0, 0, 1025, 10), kResultIllegalArgument);
    EXPECT_EQ(t.renderWorld(g, nullptr), kResultNullArgument);
    EngineHandle* world = make(kIidWorld);
    EXPECT_EQ(t.renderWorld(g, world), kResultIllegalState);
    EngineHandle* light = make(kIidLight);
    int32_t index = -1;
    EXPECT_EQ(t.addLight(g, nullptr, nullptr, &index), kResultNullArgument);
    EXPECT_EQ(t.addLight(g, light, nullptr, &index), 0);
    EXPECT_EQ(index, 0);
    EngineHandle* out = nullptr;
    EXPECT_EQ(t.getLight(g, 1, nullptr, &out), kResultIndexOutOfRange);
    EXPECT_EQ(t.renderNode(g, world, nullptr), kResultIllegalState);  // no camera yet

    // A world with a camera draws: a null background clears to black.
    EngineHandle* camera = make(kIidCamera);
    const auto& node = tableOf<IkwGroupTable>(world);
    EXPECT_EQ(node.addChild(world, camera), 0);
    EXPECT_EQ(tableOf<IkwWorldTable>(world).setActiveCamera(world, camera), 0);
    EXPECT_EQ(t.renderWorld(g, world), 0);
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(t.clear(g, nullptr), 0);
    for (EngineHandle* h : {g, world, light, camera})
        release(h);
}
