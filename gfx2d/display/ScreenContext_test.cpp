#include "gfx2d/display/ScreenContext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackTool.h"

namespace {

// A display device that records what reaches it.
class RecordingDevice : public ScreenInterface {
public:
    int open() override { return 1; }
    void close() override {}
    Surface* getRenderTarget(uint32_t, uint32_t) override { return target; }
    void beginFrame(uint32_t, uint32_t) override { calls.push_back("begin"); }
    void endFrame(uint32_t, uint32_t) override { calls.push_back("end"); }
    void clear(uint32_t flags) override { calls.push_back("clear " + std::to_string(flags)); }
    void present() override { calls.push_back("present"); }
    void setClearColor(uint32_t) override { calls.push_back("colour"); }
    void setClearColorv(const int32_t*) override { calls.push_back("colourv"); }
    void setClearColor4(int32_t, int32_t, int32_t, int32_t) override { calls.push_back("colour4"); }
    void setClearDepth(uint32_t v) override { calls.push_back("depth " + std::to_string(v)); }
    void setClearStencil(uint32_t) override { calls.push_back("stencil"); }
    const ScreenInfo* getInfo(uint32_t) override { return &info; }
    const String* getName(uint32_t) override { return &name; }
    void setRenderTarget(Surface* s) override { target = s; }

    Surface* target = nullptr;
    ScreenInfo info{ScreenInfoKind::Device, "DirectDraw", {2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048}};
    String name{"DirectDraw"};
    std::vector<std::string> calls;
};

// A surface of the device's kind: it is not one the library draws alone.
class DeviceKindSurface : public MemorySurface {
public:
    void becomeDeviceSurface() { m_flags = (m_flags & ~SurfaceFlag::KindImage) | SurfaceFlag::KindDevice; }
};

TEST(ScreenContext, DefaultsAndClearColourPacking)
{
    TestApp app;
    TestScreen screen;
    EXPECT_EQ(getDisplay(), &screen);
    EXPECT_EQ(screen.getPixelFormat(), 0x0B0304u);
    EXPECT_EQ(screen.getRenderTarget(0, 0), nullptr);
    EXPECT_EQ(screen.getName(2)->length(), 0u);
    screen.clear(SurfacePlanes::Colour);  // no target: nothing happens

    const struct {
        int32_t a, r, g, b;
        uint32_t packed;
    } cases[] = {{0x10000, 0, 0, 0, 0xFF000000}, {-1, 0x7FFF0000, 0x8000, 0x1FF, 0x00FF8001},
                 {0xFF00, 0x100, 0xFF, -0x7FFF0000, 0xFF010000}};
    for (const auto& c : cases) {
        screen.setClearColor4(c.a, c.r, c.g, c.b);
        EXPECT_EQ(screen.clearColor(), c.packed);
        EXPECT_EQ(screen.clearChannels()[1], c.r);
        const int32_t v[4] = {c.a, c.r, c.g, c.b};
        screen.setClearColorv(v);
        EXPECT_EQ(screen.clearColor(), c.packed);
    }
    screen.setClearColor(0x80FF4001);
    const int32_t expected[4] = {0x8080, 0xFFFF, 0x4040, 0x0101};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(screen.clearChannels()[i], expected[i]);
    screen.setClearDepth(77);
    EXPECT_EQ(screen.clearDepth(), 0u);

    // The application's cached pointer dies with its screen context.
    {
        TestScreen second;
    }
    EXPECT_EQ(app.m_display, &screen);
    auto* temporary = new TestScreen;
    app.m_display = temporary;
    delete temporary;
    EXPECT_EQ(app.m_display, nullptr);
}

TEST(ScreenContext, InitNamesTheLibraryAndShutdownClearsTheRecord)
{
    TestApp app;
    TestScreen screen;
    ASSERT_EQ(screen.init(), 1);
    const ScreenInfo* info = screen.getInfo(ScreenInfoKind::Library);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->kind, 2u);
    EXPECT_STREQ(info->name, "Tessel 1.0");
    const uint32_t limits[8] = {2048, 2048, 256, 256, 2048, 2048, 256, 256};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(info->limits[i], limits[i]);
    EXPECT_STREQ(screen.getName(2)->chars(), "Tessel 1.0");
    EXPECT_EQ(screen.getInfo(1), nullptr);  // no device
    EXPECT_EQ(screen.getInfo(3), nullptr);
    ASSERT_NE(screen.rasterState(), nullptr);
    EXPECT_EQ(screen.rasterState()->block().matrix2D.count, 1);
    EXPECT_GT(BlitterRegistry::instance()->count(), 0u);
    EXPECT_EQ(screen.idMap().insert(5, &screen), 1);

    screen.shutdown();
    EXPECT_EQ(screen.libraryReady(), 0);
    EXPECT_EQ(screen.rasterState(), nullptr);
    EXPECT_EQ(screen.getName(2)->length(), 0u);
    // Field by field: the record's padding is no part of it.
    const ScreenInfo* cleared = screen.getInfo(2);
    EXPECT_EQ(cleared->kind, 0u);
    EXPECT_EQ(cleared->name, nullptr);
    for (uint32_t limit : cleared->limits)
        EXPECT_EQ(limit, 0u);
    screen.shutdown();  // twice is harmless
}

TEST(ScreenContext, LibrarySurfacesNeverReachTheDevice)
{
    TestApp app;
    TestScreen screen;
    RecordingDevice device;
    screen.attachDevice(&device);
    ASSERT_EQ(screen.init(), 1);
    EXPECT_STREQ(screen.getInfo(1)->name, "DirectDraw");
    EXPECT_STREQ(screen.getName(1)->chars(), "DirectDraw");

    MemorySurface target;
    ASSERT_TRUE(makeTarget(target, 5, 3));
    EXPECT_EQ(device.target, &target);  // made current in both
    screen.setClearColor(0xFF123456);
    EXPECT_EQ(device.calls, std::vector<std::string>{"colour"});
    device.calls.clear();
    screen.beginFrame(0, 0);
    screen.clear(SurfacePlanes::Colour);
    screen.endFrame(0, 0);
    EXPECT_TRUE(device.calls.empty());
    // The base clear filled the library surface.
    const uint32_t* px = targetPixels(target);
    for (int i = 0; i < 15; ++i)
        ASSERT_EQ(px[i] & 0xFFFFFF, 0x123456u) << i;

    DeviceKindSurface deviceSurface;
    ASSERT_TRUE(makeTarget(deviceSurface, 2, 2));
    deviceSurface.becomeDeviceSurface();
    screen.beginFrame(1, 2);
    screen.clear(SurfacePlanes::Colour | SurfacePlanes::Depth);
    screen.endFrame(1, 2);
    screen.setClearDepth(9);
    EXPECT_EQ(device.calls, (std::vector<std::string>{"begin", "clear 196608", "end", "depth 9"}));

    device.target = nullptr;
    device.calls.clear();
    screen.clear(SurfacePlanes::Colour);  // the device has no target: nothing
    screen.beginFrame(0, 0);            // ... but a frame still reaches it
    EXPECT_EQ(device.calls, std::vector<std::string>{"begin"});
}

} // namespace

namespace {

// Library start-up from packs made by packtool: one holding the generated
// span-program sets, one without them (the sets are skipped silently).
TEST(ScreenContext, StartUpLoadsTheSpanProgramSetsThePackHolds)
{
    for (bool withSets : {true, false}) {
        const auto dir = std::filesystem::temp_directory_path() /
                         ("screen_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(dir);
        const std::string manifest = std::string("index sorted\n0x101 0x374F8659 deflated 4 restable\n") +
                                     (withSets ? "spanprograms deflated 4\n" : "");
        const std::string manifestPath = (dir / "pack.txt").string(), packPath = (dir / "pack.big").string();
        ASSERT_TRUE(writeHostFile(manifestPath, std::vector<uint8_t>(manifest.begin(), manifest.end())));
        const char* argv[] = {"packtool", "build", manifestPath.c_str(), packPath.c_str()};
        ASSERT_EQ(runPackTool(4, argv, stdout, stderr), 0);

        ResourcePack pack;
        TestApp app;
        auto* manager = new ResourceManager();
        app.m_resourceManager = manager;
        ASSERT_EQ(pack.openFile(HostFile::open(packPath, false)), 1);
        ASSERT_EQ(manager->openTable(&pack, 50, 8, true), 1);
        TestScreen screen;
        ASSERT_EQ(screen.init(), 1);
        for (const SpanSetIds& ids : kSpanSets) {
            SpanProgramSet* set = findSpanProgramSet(*manager, ids.set);
            ASSERT_EQ(set != nullptr, withSets);
            if (set) {
                EXPECT_EQ(set->select(PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8, kSpanKey3Image, kSpanKey4Image,
                                      kSpanKey5Image, kSpanKey6Image),
                          1);
                EXPECT_EQ(manager->held(ids.records[0]), nullptr);  // records are read, then let go
            }
        }
        screen.shutdown();
        for (const SpanSetIds& ids : kSpanSets)
            EXPECT_EQ(findSpanProgramSet(*manager, ids.set), nullptr);
        std::filesystem::remove_all(dir);
    }
}

} // namespace
