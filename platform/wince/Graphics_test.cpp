#include "platform/wince/Graphics.h"

#include "framework/events/Subscription.h"
#include "framework/properties/PropertySet.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostSystem.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/DirectDrawDevice.h"
#include "platform/wince/DirectDrawSurface.h"
#include "platform/wince/PlatformEvents.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hostTestReset();
        ASSERT_TRUE(m_app.started());
        m_graphics = std::make_unique<Graphics>();
    }
    void TearDown() override
    {
        m_graphics.reset();
        EXPECT_EQ(hostLiveDirectDrawObjects(), 0u);
        hostTestReset();
    }

    DirectDrawSurface* frame() const { return dynamic_cast<DirectDrawSurface*>(m_graphics->m_frameSurface); }

    // Whole frames only: the count of captured pixels that differ from want.
    static uint32_t framePixelsOtherThan(uint32_t want)
    {
        uint32_t wrong = 0;
        for (uint32_t p : hostLastFrame().pixels)
            wrong += p != want;
        return wrong;
    }

    // Nothing left listening to the display's events.
    static bool handlerGone()
    {
        for (uint32_t id : { PlatformEventId::Resume, PlatformEventId::ScreenSizeChanged,
                 PlatformEventId::ScreenSizeSettled }) {
            if (findEventList(findEventRouter(), id))
                return false;
        }
        return true;
    }

    TestApp m_app;
    std::unique_ptr<Graphics> m_graphics;
};

TEST_F(GraphicsTest, OpenClearsAndPresentsTheWholeScreenInItsFormat)
{
    const struct {
        HostDisplayFormat display;
        RSBFormat format;
        uint32_t presented;  // after a clear with 0x0000FF00: 32-bit screens are opaque
    } cases[] = {
        { HostDisplayFormat::Rgb565, PixelFormat::R5G6B5, 0x07E0 },
        { HostDisplayFormat::Xrgb8888, PixelFormat::X8R8G8B8, 0xFF00FF00 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        hostSetDisplayFormat(c.display);
        ASSERT_EQ(m_graphics->open(), 1);
        EXPECT_EQ(m_graphics->getPixelFormat(), c.format);
        EXPECT_EQ(std::strcmp(m_graphics->getName(ScreenInfoKind::Device)->chars(), "DirectDraw"), 0);
        const ScreenInfo* info = m_graphics->getInfo(ScreenInfoKind::Device);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->kind, ScreenInfoKind::Device);
        EXPECT_EQ(info->limits[7], 2048u);
        ASSERT_NE(frame(), nullptr);
        EXPECT_EQ(m_graphics->getRenderTarget(0, 0), frame());
        EXPECT_EQ(frame()->flags() & ~SurfaceFlag::Locked, 0x80011E4Eu);
        uint32_t w = 0;
        uint32_t h = 0;
        ASSERT_EQ(frame()->getSize(&w, &h), 1);
        EXPECT_EQ(w, 240u);
        EXPECT_EQ(h, 320u);

        // Opened black, then the clear colour asked for.
        m_graphics->clear(SurfacePlanes::Colour);
        m_graphics->present();
        EXPECT_EQ(hostLastFrame().width, 240u);
        EXPECT_EQ(framePixelsOtherThan(c.format == PixelFormat::X8R8G8B8 ? 0xFF000000 : 0), 0u);
        m_graphics->setClearColor(0x0000FF00);
        m_graphics->clear(SurfacePlanes::Colour);
        m_graphics->present();
        EXPECT_EQ(framePixelsOtherThan(c.presented), 0u);
        m_graphics->close();
        EXPECT_EQ(hostLiveDirectDrawObjects(), 0u);
        EXPECT_EQ(m_graphics->getRenderTarget(0, 0), nullptr);
    }
    EXPECT_EQ(hostPresentCount(), 4u);
    EXPECT_EQ(hostBlitsWhileLocked(), 0u);
}

// A screen in a format the library does not draw still opens: the frame
// surface has format 0 and clears fill nothing.
TEST_F(GraphicsTest, AScreenOfAnotherFormatOpensWithoutFills)
{
    hostSetDisplayFormat(HostDisplayFormat::Rgb555);
    ASSERT_EQ(m_graphics->open(), 1);
    EXPECT_EQ(m_graphics->getPixelFormat(), 0u);
    ASSERT_NE(frame(), nullptr);
    EXPECT_EQ(m_graphics->getRenderTarget(0, 0), frame());
    m_graphics->setClearColor(0xFFFFFFFF);
    m_graphics->clear(SurfacePlanes::Colour);
    m_graphics->present();
    EXPECT_EQ(hostPresentCount(), 1u);
    EXPECT_EQ(framePixelsOtherThan(0), 0u);
}

// The device alone is enough to open: frames are cleared and presented,
// though nothing else can be drawn.
TEST_F(GraphicsTest, TheDeviceAloneOpensTheDisplay)
{
    struct WithoutLibrary : Graphics {
        int init() override { return 0; }
    };
    auto graphics = std::make_unique<WithoutLibrary>();
    ASSERT_EQ(graphics->open(), 1);
    EXPECT_EQ(graphics->libraryReady(), 0);
    EXPECT_NE(graphics->device(), nullptr);
    ASSERT_NE(graphics->m_frameSurface, nullptr);
    EXPECT_EQ(graphics->getRenderTarget(0, 0), graphics->m_frameSurface);
    graphics->beginFrame(0, 0);
    graphics->setClearColor(0xFFFF0000);
    graphics->clear(SurfacePlanes::Colour);
    graphics->endFrame(0, 0);
    graphics->present();
    EXPECT_EQ(framePixelsOtherThan(0xF800), 0u);
    graphics.reset();
    EXPECT_EQ(hostLiveDirectDrawObjects(), 0u);
}

// A refused attribute leaves the surface released, with no flag of the keys
// read before it.
TEST_F(GraphicsTest, RefusedFrameAttributesLeaveTheSurfaceReleased)
{
    ASSERT_EQ(m_graphics->open(), 1);
    for (uint32_t key : { 1u, 2u, 5u }) {
        SCOPED_TRACE(key);
        const SurfaceAttribute list[] = { { 3, 1 }, { 6, 0 }, { key, 1 }, { 0, 0 } };
        EXPECT_EQ(frame()->init(list), 0);
        EXPECT_EQ(frame()->flags() & (SurfaceFlag::Described | SurfaceFlag::ExplicitFormat | SurfaceFlag::Initialised),
            0u);
        EXPECT_EQ(frame()->primary(), nullptr);
    }
}

// Whatever step fails, open undoes everything: no DirectDraw object, no
// surface, no subscription, no target.
TEST_F(GraphicsTest, EveryFailedOpenStepIsUndone)
{
    const struct {
        HostDirectDrawFailures failures;
    } cases[] = {
        { { .create = true } },
        { { .cooperativeLevel = true } },
        { { .displayMode = true } },
        { { .caps = true } },
        { { .createSurface = true } },
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(i++);
        hostDirectDrawSetFailures(c.failures);
        EXPECT_EQ(m_graphics->open(), 0);
        EXPECT_EQ(m_graphics->m_opened, 0);
        EXPECT_EQ(m_graphics->m_frameSurface, nullptr);
        EXPECT_EQ(m_graphics->device(), nullptr);
        EXPECT_EQ(m_graphics->getRenderTarget(0, 0), nullptr);
        EXPECT_EQ(m_graphics->libraryReady(), 0);
        EXPECT_EQ(hostLiveDirectDrawObjects(), 0u);
        EXPECT_TRUE(handlerGone());
        m_graphics->present();
    }
    EXPECT_EQ(hostPresentCount(), 0u);
    hostDirectDrawReset();
    ASSERT_EQ(m_graphics->open(), 1);
    EXPECT_FALSE(handlerGone());
    // Dropping an open context closes it: nothing stays subscribed to it.
    m_graphics.reset();
    EXPECT_TRUE(handlerGone());
}

// At half size every screen pixel (x, y) is frame pixel (x / 2, y / 2); any
// other value of the key leaves the frame at full size.
TEST_F(GraphicsTest, PixelDoublingDrawsAtHalfSizeAndStretches)
{
    for (const char* value : { "1", "2" }) {
        getProperties()->clear();
        ASSERT_EQ(getProperties()->set("PIXEL_DOUBLING", value), 1);
        ASSERT_EQ(m_graphics->open(), 1);
        const uint32_t expectW = value[0] == '1' ? 120 : 240;
        const uint32_t expectH = value[0] == '1' ? 160 : 320;
        uint32_t w = 0;
        uint32_t h = 0;
        ASSERT_EQ(frame()->getSize(&w, &h), 1);
        ASSERT_EQ(w, expectW);
        ASSERT_EQ(h, expectH);
        uint8_t* pixels = nullptr;
        int32_t pitch = 0;
        ASSERT_EQ(frame()->lock(&pixels, &pitch, 0, nullptr), 1);
        auto pattern = [](uint32_t x, uint32_t y) { return uint16_t(x * 7 + y * 311); };
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const uint16_t value16 = pattern(x, y);
                std::memcpy(pixels + y * pitch + x * 2, &value16, 2);
            }
        }
        frame()->unlock();
        m_graphics->present();
        const HostFrame& shown = hostLastFrame();
        ASSERT_EQ(shown.width, 240u);
        const uint32_t shift = value[0] == '1' ? 1 : 0;
        uint32_t wrong = 0;
        for (uint32_t y = 0; y < 320; ++y) {
            for (uint32_t x = 0; x < 240; ++x)
                wrong += shown.at(x, y) != pattern(x >> shift, y >> shift);
        }
        EXPECT_EQ(wrong, 0u);
        m_graphics->close();
    }
    EXPECT_EQ(hostBlitsWhileLocked(), 0u);
}

// Two locks need two unlocks before DirectDraw has the memory back; a lock
// DirectDraw refuses hands out nothing and is not counted; a release drops
// every level.
TEST_F(GraphicsTest, LocksNestFailedLocksAreNotCountedAndReleaseDropsThemAll)
{
    ASSERT_EQ(m_graphics->open(), 1);
    DirectDrawSurface* f = frame();
    uint8_t* first = nullptr;
    uint8_t* second = nullptr;
    int32_t pitch = 0;
    ASSERT_EQ(f->lock(&first, &pitch, 0, nullptr), 1);
    ASSERT_EQ(f->lock(&second, &pitch, 0, nullptr), 1);
    EXPECT_EQ(first, second);
    EXPECT_EQ(pitch, 480);
    EXPECT_EQ(f->lockCount(), 2u);
    f->unlock();
    EXPECT_TRUE(f->isLocked());
    m_graphics->clear(SurfacePlanes::Colour);
    EXPECT_EQ(hostBlitsWhileLocked(), 1u);
    f->unlock();
    EXPECT_FALSE(f->isLocked());
    m_graphics->clear(SurfacePlanes::Colour);
    EXPECT_EQ(hostBlitsWhileLocked(), 1u);

    hostDirectDrawSetFailures({ .lock = true });
    uint8_t* refused = first;
    pitch = 7;
    EXPECT_EQ(f->lock(&refused, &pitch, 0, nullptr), 0);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(pitch, 0);
    EXPECT_EQ(f->lockCount(), 0u);
    EXPECT_FALSE(f->isLocked());

    // A pitch shorter than a row is refused and DirectDraw's lock given back
    // (the locks below would find the surface busy otherwise).
    hostDirectDrawSetFailures({ .shortPitch = true });
    refused = first;
    EXPECT_EQ(f->lock(&refused, &pitch, 0, nullptr), 0);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(f->lockCount(), 0u);
    hostDirectDrawSetFailures({});

    // A rectangle past the edge is refused without keeping a level.
    const Rect16 past{ 0, 0, 241, 1 };
    EXPECT_EQ(f->lock(&refused, &pitch, 0, &past), 0);
    EXPECT_EQ(f->lockCount(), 0u);

    ASSERT_EQ(f->lock(&first, &pitch, 0, nullptr), 1);
    ASSERT_EQ(f->lock(&first, &pitch, 0, nullptr), 1);
    ASSERT_EQ(f->init(kFrameSurfaceAttributes), 1);
    EXPECT_EQ(f->lockCount(), 0u);
    EXPECT_FALSE(f->isLocked());
    f->makeCurrent();
    m_graphics->clear(SurfacePlanes::Colour);
    m_graphics->present();
    EXPECT_EQ(hostPresentCount(), 1u);
    EXPECT_EQ(hostBlitsWhileLocked(), 1u);
}

// A new screen size rebuilds the frame surface at that size. When the
// rebuild fails nothing draws or presents until a later frame rebuilds it.
TEST_F(GraphicsTest, ScreenSizeChangesRebuildTheFrameSurface)
{
    ASSERT_EQ(m_graphics->open(), 1);
    DrawContext draw;
    ASSERT_EQ(hostSetScreenSize(320, 240), 1);
    m_app.deliverEvent(PlatformEventId::ScreenSizeChanged, 0, 0);
    uint32_t w = 0;
    uint32_t h = 0;
    ASSERT_EQ(frame()->getSize(&w, &h), 1);
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 240u);
    EXPECT_EQ(m_graphics->getRenderTarget(0, 0), frame());
    m_graphics->setClearColor(0xFFFF0000);
    m_graphics->clear(SurfacePlanes::Colour);
    m_graphics->present();
    EXPECT_EQ(hostLastFrame().width, 320u);
    EXPECT_EQ(framePixelsOtherThan(0xF800), 0u);

    hostDirectDrawSetFailures({ .createSurface = true });
    ASSERT_EQ(hostSetScreenSize(240, 320), 1);
    m_app.deliverEvent(PlatformEventId::ScreenSizeChanged, 0, 0);
    EXPECT_EQ(m_graphics->getRenderTarget(0, 0), nullptr);
    ASSERT_EQ(draw.open(0, 0), 1);
    m_graphics->beginFrame(0, 0);
    ASSERT_EQ(draw.begin(0, 0), 1);
    fillRect(0, 0, 10, 10, 0xFFFFFFFF);
    draw.end(0, 0);
    m_graphics->clear(SurfacePlanes::Colour);
    m_graphics->present();
    EXPECT_EQ(hostPresentCount(), 1u);

    hostDirectDrawSetFailures({});
    m_graphics->beginFrame(0, 0);
    EXPECT_EQ(m_graphics->getRenderTarget(0, 0), frame());
    m_graphics->clear(SurfacePlanes::Colour);
    m_graphics->present();
    EXPECT_EQ(hostPresentCount(), 2u);
    EXPECT_EQ(hostLastFrame().width, 240u);
    EXPECT_EQ(framePixelsOtherThan(0xF800), 0u);
    EXPECT_EQ(hostBlitsWhileLocked(), 0u);
}

TEST_F(GraphicsTest, SurfaceFactoryGivesWhatTheDisplayCanMake)
{
    const struct {
        uint32_t kind, variant, mode;
        int closed;  // 0 none, 1 memory surface, 2 DirectDraw surface
        int open;
    } cases[] = {
        { 2, 0, 0, 1, 1 }, { 2, 0, 1, 1, 1 }, { 2, 0, 2, 0, 0 }, { 2, 0, 3, 0, 0 }, { 2, 1, 0, 0, 0 },
        { 1, 0, 1, 0, 0 }, { 1, 1, 3, 0, 2 }, { 7, 1, 0, 0, 2 }, { 1, 2, 0, 0, 0 },
    };
    for (int opened : { 0, 1 }) {
        if (opened) {
            ASSERT_EQ(m_graphics->open(), 1);
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(c.kind * 100 + c.variant * 10 + c.mode);
            std::unique_ptr<Surface> s(createSurface(c.kind, c.variant, c.mode));
            const int want = opened ? c.open : c.closed;
            EXPECT_EQ(s != nullptr, want != 0);
            if (s) {
                EXPECT_EQ(s->kind(), want == 1 ? 2 : 1);
            }
        }
    }
}

} // namespace
