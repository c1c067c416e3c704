#include "tools/scene/SceneDump.h"

#include <gtest/gtest.h>

#include "engine/core/io/IoTestKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

TEST(SceneDump, ReportsRootsOrTheSignedErrorResult)
{
    ScratchFolder folder;
    const std::vector<uint8_t> headerOnly = M3gFileWriter().finish();
    std::vector<uint8_t> badChecksum = headerOnly;
    badChecksum.back() ^= 1;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string output;
        int exit;
    } cases[] = {
        {"header only", headerOnly, "roots 0\n", 0},
        {"empty", {}, "error 65536\n", 1}, // an empty file cannot be mapped
        {"not a 3D file", {'x', 'y', 'z'}, "error -7\n", 1},
        {"bad checksum", badChecksum, "error -9\n", 1},
        {"cut short", std::vector<uint8_t>(headerOnly.begin(), headerOnly.end() - 2), "error 65544\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        EXPECT_EQ(dumpScene(folder.write("f.m3g", c.bytes), out), c.exit);
        EXPECT_EQ(out, c.output);
    }
    std::string out;
    EXPECT_EQ(dumpScene(folder.path() + "/missing.m3g", out), 1);
    EXPECT_EQ(out, "error 65536\n");
}

M3gGroupFields groupWithId(int32_t userId, std::vector<uint32_t> children = {})
{
    M3gGroupFields group;
    group.node.transformable.object.userId = userId;
    group.children = std::move(children);
    return group;
}

// A World of two groups, one holding a third, beside a loose group.
std::vector<uint8_t> worldScene(uint8_t scheme)
{
    M3gFileWriter writer;
    writer.beginSection(scheme);
    const uint32_t leaf = writer.addObject(m3gGroupRecord(groupWithId(-5)));
    const uint32_t inner = writer.addObject(m3gGroupRecord(groupWithId(3, {leaf})));
    const uint32_t second = writer.addObject(m3gGroupRecord(groupWithId(4)));
    M3gWorldFields world;
    world.group = groupWithId(1, {inner, second});
    writer.addObject(m3gWorldRecord(world));
    writer.addObject(m3gGroupRecord(groupWithId(2)));
    return writer.finish();
}

TEST(SceneDump, WalksWriterMadeWorldsDepthFirst)
{
    ScratchFolder folder;
    const std::string expected = "0 22 1\n1 9 3\n2 9 -5\n1 9 4\n0 9 2\nroots 2\n";
    for (uint8_t scheme : {kM3gSchemeNone, kM3gSchemeZlib}) {
        SCOPED_TRACE(scheme);
        std::string out;
        EXPECT_EQ(dumpScene(folder.write("w.m3g", worldScene(scheme)), out), 0);
        EXPECT_EQ(out, expected);
    }
}

// The engine as programs link it: its external references load the file they
// name, beside the file that names them.
TEST(SceneDump, ExternalReferencesLoadTheFileTheyName)
{
    ScratchFolder folder;
    M3gFileWriter b;
    b.addObject(m3gGroupRecord(groupWithId(7)));
    folder.write("B.m3g", b.finish());
    M3gFileWriter a;
    const uint32_t reference = a.addExternalReference("B.m3g");
    a.addObject(m3gGroupRecord(groupWithId(1, {reference})));
    std::string out;
    EXPECT_EQ(dumpScene(folder.write("A.m3g", a.finish()), out), 0);
    EXPECT_EQ(out, "0 9 1\n1 9 7\nroots 1\n");
}

TEST(SceneDump, CorruptWorldsGiveTheLoadersResult)
{
    ScratchFolder folder;
    const std::vector<uint8_t> good = worldScene(kM3gSchemeNone);
    M3gFileWriter fine; // the control: a child before its group
    fine.beginSection(kM3gSchemeNone);
    const uint32_t child = fine.addObject(m3gGroupRecord(groupWithId(2)));
    fine.addObject(m3gGroupRecord(groupWithId(1, {child})));
    std::string out;
    EXPECT_EQ(dumpScene(folder.write("fine.m3g", fine.finish()), out), 0);
    EXPECT_EQ(out, "0 9 1\n1 9 2\nroots 1\n");
    M3gFileWriter cycle; // a group naming itself as its child
    cycle.beginSection(kM3gSchemeNone);
    cycle.addObject(m3gGroupRecord(groupWithId(1, {cycle.nextIndex()})));
    M3gFileWriter forward; // a child that comes after its group
    forward.beginSection(kM3gSchemeNone);
    forward.addObject(m3gGroupRecord(groupWithId(1, {forward.nextIndex() + 1})));
    forward.addObject(m3gGroupRecord(groupWithId(2)));
    M3gFileWriter twoParents;
    twoParents.beginSection(kM3gSchemeNone);
    const uint32_t shared = twoParents.addObject(m3gGroupRecord(groupWithId(1)));
    twoParents.addObject(m3gGroupRecord(groupWithId(2, {shared})));
    twoParents.addObject(m3gGroupRecord(groupWithId(3, {shared})));
    std::vector<uint8_t> flipped = good;
    flipped[flipped.size() - 10] ^= 0x40;
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string output;
    } cases[] = {
        {"cut inside the last record", std::vector<uint8_t>(good.begin(), good.end() - 8), "error 65544\n"},
        {"flipped byte", flipped, "error -9\n"},
        {"own child", cycle.finish(), "error -8\n"},
        {"forward child", forward.finish(), "error -8\n"},
        {"two parents", twoParents.finish(), "error -8\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        EXPECT_EQ(dumpScene(folder.write("bad.m3g", c.bytes), out), 1);
        EXPECT_EQ(out, c.output);
    }
}

TEST(SceneDump, CamerasLightsAndAppearancesAreWalkedAndSharedObjectsSeenOnce)
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    M3gCameraFields camera;
    camera.node.transformable.object.userId = 50;
    const uint32_t cameraIndex = writer.addObject(m3gCameraRecord(camera));
    M3gLightFields light;
    light.node.transformable.object.userId = 60;
    const uint32_t lightIndex = writer.addObject(m3gLightRecord(light));
    M3gBackgroundFields background;
    background.object.userId = 70;
    const uint32_t backgroundIndex = writer.addObject(m3gBackgroundRecord(background));
    M3gWorldFields world;
    world.group = groupWithId(1, {cameraIndex, lightIndex});
    world.activeCamera = cameraIndex;
    world.background = backgroundIndex;
    writer.addObject(m3gWorldRecord(world));
    M3gMaterialFields material;
    material.object.userId = 13;
    const uint32_t materialIndex = writer.addObject(m3gMaterialRecord(material));
    M3gFogFields fog;
    fog.object.userId = 7;
    const uint32_t fogIndex = writer.addObject(m3gFogRecord(fog));
    M3gCompositingModeFields compositing;
    compositing.object.userId = 6;
    const uint32_t compositingIndex = writer.addObject(m3gCompositingModeRecord(compositing));
    M3gPolygonModeFields polygon;
    polygon.object.userId = 8;
    const uint32_t polygonIndex = writer.addObject(m3gPolygonModeRecord(polygon));
    M3gAppearanceFields appearance;
    appearance.object.userId = 3;
    appearance.compositingMode = compositingIndex;
    appearance.fog = fogIndex;
    appearance.polygonMode = polygonIndex;
    appearance.material = materialIndex;
    writer.addObject(m3gAppearanceRecord(appearance));

    ScratchFolder folder;
    std::string out;
    EXPECT_EQ(dumpScene(folder.write("state.m3g", writer.finish()), out), 0);
    // The world lists its camera and background before its children, so the
    // camera it also holds as a child is met a second time.
    EXPECT_EQ(out, "0 22 1\n1 5 50\n1 4 70\n1 5 50 seen\n1 12 60\n"
                   "0 3 3\n1 6 6\n1 7 7\n1 8 8\n1 13 13\nroots 2\n");
}

TEST(SceneDump, DeepChainsAreWalkedWithoutRecursion)
{
    // Far deeper than the call stack would take one frame a level.
    constexpr int kDepth = 100000;
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    uint32_t below = writer.addObject(m3gGroupRecord(groupWithId(kDepth - 1)));
    for (int level = kDepth - 2; level >= 0; --level)
        below = writer.addObject(m3gGroupRecord(groupWithId(level, {below})));
    ScratchFolder folder;
    std::string out;
    ASSERT_EQ(dumpScene(folder.write("deep.m3g", writer.finish()), out), 0);
    EXPECT_EQ(out.substr(0, 12), "0 9 0\n1 9 1\n");
    const std::string last = std::to_string(kDepth - 1) + " 9 " + std::to_string(kDepth - 1) + "\nroots 1\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last);
}

} // namespace
