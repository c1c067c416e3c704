#include "platform/host/HostDirectDraw.h"

#include "platform/host/HostMessages.h"
#include "platform/host/HostSystem.h"
#include "platform/host/HostTestDriver.h"
#include "platform/host/HostWindow.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

LRESULT quietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

DDSURFACEDESC primaryDesc()
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    return d;
}

DDSURFACEDESC offscreenDesc(DWORD width, DWORD height)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    d.dwWidth = width;
    d.dwHeight = height;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    return d;
}

DDSURFACEDESC emptyDesc()
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    return d;
}

HRESULT fill(IDirectDrawSurface* s, const RECT* r, DWORD colour)
{
    DDBLTFX fx{ sizeof(DDBLTFX), colour };
    return s->Blt(r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAITNOTBUSY, &fx);
}

class HostDirectDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Headless outside ctest as well; a driver the caller chose stands.
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        hostTestReset();
        ASSERT_EQ(DirectDrawCreate(nullptr, &m_dd, nullptr), DD_OK);
        ASSERT_EQ(m_dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    }
    void TearDown() override
    {
        for (IDirectDrawSurface* s : { m_back, m_primary }) {
            if (s)
                s->Release();
        }
        if (m_dd) {
            EXPECT_EQ(m_dd->Release(), 0u);
        }
        EXPECT_EQ(hostLiveDirectDrawObjects(), 0u);
        hostTestReset();
    }

    IDirectDraw* m_dd = nullptr;
    IDirectDrawSurface* m_primary = nullptr;
    IDirectDrawSurface* m_back = nullptr;
};

TEST_F(HostDirectDrawTest, ScreenFormatsDecideWhichSurfacesCanBeMade)
{
    struct Case {
        HostDisplayFormat format;
        DWORD bits, red, green, blue;
        HRESULT offscreen;
    };
    const Case cases[] = {
        { HostDisplayFormat::Rgb565, 16, 0xF800, 0x07E0, 0x001F, DD_OK },
        { HostDisplayFormat::Xrgb8888, 32, 0xFF0000, 0xFF00, 0xFF, DD_OK },
        { HostDisplayFormat::Rgb555, 16, 0x7C00, 0x03E0, 0x001F, DD_OK },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits + c.red);
        hostSetDisplayFormat(c.format);
        DDSURFACEDESC mode = emptyDesc();
        ASSERT_EQ(m_dd->GetDisplayMode(&mode), DD_OK);
        EXPECT_EQ(mode.dwWidth, 240u);
        EXPECT_EQ(mode.dwHeight, 320u);
        const DDPIXELFORMAT& pf = mode.ddpfPixelFormat;
        EXPECT_EQ(pf.dwRGBBitCount, c.bits);
        EXPECT_EQ(pf.dwRBitMask, c.red);
        EXPECT_EQ(pf.dwGBitMask, c.green);
        EXPECT_EQ(pf.dwBBitMask, c.blue);

        IDirectDrawSurface* primary = nullptr;
        DDSURFACEDESC want = primaryDesc();
        ASSERT_EQ(m_dd->CreateSurface(&want, &primary, nullptr), DD_OK);
        IDirectDrawSurface* second = nullptr;
        EXPECT_EQ(m_dd->CreateSurface(&want, &second, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
        EXPECT_EQ(second, nullptr);

        // Off-screen: the screen's format, then the primary's format asked
        // for explicitly, as the display device does.
        DDSURFACEDESC back = offscreenDesc(120, 160);
        IDirectDrawSurface* surface = nullptr;
        EXPECT_EQ(m_dd->CreateSurface(&back, &surface, nullptr), c.offscreen);
        if (surface)
            surface->Release();
        DDSURFACEDESC primaryInfo = emptyDesc();
        ASSERT_EQ(primary->GetSurfaceDesc(&primaryInfo), DD_OK);
        back.dwFlags |= DDSD_PIXELFORMAT;
        back.ddpfPixelFormat = primaryInfo.ddpfPixelFormat;
        surface = nullptr;
        EXPECT_EQ(m_dd->CreateSurface(&back, &surface, nullptr), c.offscreen);
        if (surface) {
            DDSURFACEDESC got = emptyDesc();
            ASSERT_EQ(surface->GetSurfaceDesc(&got), DD_OK);
            EXPECT_EQ(got.dwWidth, 120u);
            EXPECT_EQ(got.dwHeight, 160u);
            EXPECT_EQ(got.lPitch, LONG(120 * c.bits / 8));
            EXPECT_EQ(got.ddsCaps.dwCaps, DDSCAPS_OFFSCREENPLAIN);
            surface->Release();
        }
        primary->Release();
    }

    // Misuse is refused, never half-done.
    DDSURFACEDESC bad = offscreenDesc(0, 10);
    IDirectDrawSurface* s = nullptr;
    EXPECT_EQ(m_dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    bad = offscreenDesc(kMaxScreenSide + 1, 10);
    EXPECT_EQ(m_dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    bad = primaryDesc();
    bad.dwFlags |= DDSD_WIDTH;
    EXPECT_EQ(m_dd->CreateSurface(&bad, &s, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(s, nullptr);
    IDirectDraw* other = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &other, nullptr), DD_OK);
    bad = offscreenDesc(8, 8);
    EXPECT_EQ(other->CreateSurface(&bad, &s, nullptr), DDERR_NOCOOPERATIVELEVELSET);
    EXPECT_EQ(other->Release(), 0u);
}

// A 120 x 160 back surface with a few filled rectangles, stretched over the
// 240 x 320 screen: every screen pixel is the back pixel at half its
// coordinates, in the captured frame and in the window.
TEST_F(HostDirectDrawTest, StretchIntoThePrimaryPresentsToTheFrameAndTheWindow)
{
    WNDCLASSW c{ 0, quietProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"DD" };
    ASSERT_NE(RegisterClassW(&c), 0);
    HWND window = CreateWindowExW(0, u"DD", u"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(m_dd->SetCooperativeLevel(window, DDSCL_NORMAL), DD_OK);

    struct Case {
        HostDisplayFormat format;
        DWORD background, red, blue;
        uint32_t redArgb;
        // SDL widens narrow channels its own way; their top bits are exact.
        uint32_t significant;
    };
    const Case cases[] = {
        { HostDisplayFormat::Rgb565, 0x07E0, 0xF800, 0x001F, 0xFFFF0000, 0xFFF8FCF8 },
        { HostDisplayFormat::Xrgb8888, 0xFF00FF00, 0xFFFF0000, 0xFF0000FF, 0xFFFF0000, 0xFFFFFFFF },
    };
    struct Box {
        RECT r;
        bool red;
    };
    const Box boxes[] = { { { 0, 0, 1, 1 }, true }, { { 10, 20, 47, 23 }, false }, { { 119, 150, 120, 160 }, true } };
    for (const Case& k : cases) {
        hostSetDisplayFormat(k.format);
        DDSURFACEDESC want = primaryDesc();
        ASSERT_EQ(m_dd->CreateSurface(&want, &m_primary, nullptr), DD_OK);
        DDSURFACEDESC back = offscreenDesc(120, 160);
        ASSERT_EQ(m_dd->CreateSurface(&back, &m_back, nullptr), DD_OK);
        ASSERT_EQ(fill(m_back, nullptr, k.background), DD_OK);
        for (const Box& b : boxes)
            ASSERT_EQ(fill(m_back, &b.r, b.red ? k.red : k.blue), DD_OK);
        const uint32_t presents = hostPresentCount();
        ASSERT_EQ(m_primary->Blt(nullptr, m_back, nullptr, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
        EXPECT_EQ(hostPresentCount(), presents + 1);

        auto expected = [&](int x, int y) {
            const int bx = x / 2;
            const int by = y / 2;
            DWORD v = k.background;
            for (const Box& b : boxes) {
                if (bx >= b.r.left && bx < b.r.right && by >= b.r.top && by < b.r.bottom)
                    v = b.red ? k.red : k.blue;
            }
            return v;
        };
        const HostFrame& frame = hostLastFrame();
        ASSERT_EQ(frame.width, 240u);
        ASSERT_EQ(frame.height, 320u);
        SDL_Surface* shown = SDL_GetWindowSurface(hostSdlWindow(window));
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(SDL_LockSurface(shown), 0);
        const int scale = hostWindowScale();
        int wrong = 0;
        for (int y = 0; y < 320; ++y) {
            for (int x = 0; x < 240; ++x) {
                uint32_t word = 0;
                std::memcpy(&word, static_cast<uint8_t*>(shown->pixels) + y * scale * shown->pitch
                        + x * scale * shown->format->BytesPerPixel, shown->format->BytesPerPixel);
                uint8_t r, g, b;
                SDL_GetRGB(word, shown->format, &r, &g, &b);
                const uint32_t onWindow = 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
                wrong += frame.at(x, y) != expected(x, y) || (onWindow & k.significant) != (frame.argb(x, y) & k.significant);
            }
        }
        SDL_UnlockSurface(shown);
        EXPECT_EQ(wrong, 0);
        // A window shown again gets the screen back at once, with no present.
        const std::vector<uint8_t> seen(static_cast<uint8_t*>(shown->pixels),
            static_cast<uint8_t*>(shown->pixels) + shown->pitch * shown->h);
        SDL_FillRect(shown, nullptr, 0);
        hostTestPushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
        for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageW(&m);
        EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(shown->pixels),
                      static_cast<uint8_t*>(shown->pixels) + shown->pitch * shown->h), seen);
        EXPECT_EQ(frame.argb(0, 0), k.redArgb);
        EXPECT_EQ(frame.argb(239, 319), k.redArgb);
        EXPECT_EQ(frame.argb(2, 2), 0xFF00FF00u);
        m_back->Release();
        m_primary->Release();
        m_back = m_primary = nullptr;
    }
    EXPECT_EQ(hostBlitsWhileLocked(), 0u);
}

TEST_F(HostDirectDrawTest, LocksAreExclusiveAndBlitsOnLockedSurfacesAreRefused)
{
    DDSURFACEDESC want = primaryDesc();
    ASSERT_EQ(m_dd->CreateSurface(&want, &m_primary, nullptr), DD_OK);
    DDSURFACEDESC back = offscreenDesc(16, 8);
    ASSERT_EQ(m_dd->CreateSurface(&back, &m_back, nullptr), DD_OK);

    DDSURFACEDESC whole = emptyDesc();
    ASSERT_EQ(m_back->Lock(nullptr, &whole, DDLOCK_WRITEONLY | DDLOCK_WAITNOTBUSY, nullptr), DD_OK);
    EXPECT_EQ(whole.lPitch, 32);
    DDSURFACEDESC again = emptyDesc();
    EXPECT_EQ(m_back->Lock(nullptr, &again, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(fill(m_back, nullptr, 0x1234), DDERR_SURFACEBUSY);
    EXPECT_EQ(m_primary->Blt(nullptr, m_back, nullptr, DDBLT_WAITNOTBUSY, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(hostBlitsWhileLocked(), 2u);
    EXPECT_EQ(hostPresentCount(), 0u);
    EXPECT_EQ(m_back->Unlock(nullptr), DD_OK);
    EXPECT_EQ(m_back->Unlock(nullptr), DDERR_NOTLOCKED);

    // A rectangle lock points at its corner; one past the edge is refused.
    const RECT inside{ 3, 2, 16, 8 };
    ASSERT_EQ(fill(m_back, &inside, 0xBEEF), DD_OK);
    DDSURFACEDESC corner = emptyDesc();
    ASSERT_EQ(m_back->Lock(&inside, &corner, 0, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(corner.lpSurface) - static_cast<uint8_t*>(whole.lpSurface), 2 * 32 + 3 * 2);
    EXPECT_EQ(*static_cast<uint16_t*>(corner.lpSurface), 0xBEEF);
    EXPECT_EQ(static_cast<uint16_t*>(whole.lpSurface)[2 * 16 + 2], 0);
    ASSERT_EQ(m_back->Unlock(nullptr), DD_OK);
    const RECT past{ 3, 2, 17, 8 };
    EXPECT_EQ(m_back->Lock(&past, &corner, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(fill(m_back, &past, 0), DDERR_INVALIDRECT);

    // A failing lock leaves the surface unlocked.
    hostDirectDrawSetFailures({ .lock = true });
    EXPECT_LT(m_back->Lock(nullptr, &corner, 0, nullptr), 0);
    EXPECT_EQ(m_back->Unlock(nullptr), DDERR_NOTLOCKED);
    EXPECT_EQ(fill(m_back, nullptr, 0), DD_OK);
}

// A new screen size makes a new screen: the old primary is lost, the next
// one has the new size.
TEST_F(HostDirectDrawTest, ScreenSizeChangesLoseThePrimary)
{
    DDSURFACEDESC want = primaryDesc();
    ASSERT_EQ(m_dd->CreateSurface(&want, &m_primary, nullptr), DD_OK);
    DDSURFACEDESC back = offscreenDesc(240, 320);
    ASSERT_EQ(m_dd->CreateSurface(&back, &m_back, nullptr), DD_OK);
    ASSERT_EQ(hostSetScreenSize(320, 240), 1);
    EXPECT_EQ(m_primary->Blt(nullptr, m_back, nullptr, DDBLT_WAITNOTBUSY, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(hostPresentCount(), 0u);
    m_primary->Release();
    m_primary = nullptr;
    ASSERT_EQ(m_dd->CreateSurface(&want, &m_primary, nullptr), DD_OK);
    DDSURFACEDESC got = emptyDesc();
    ASSERT_EQ(m_primary->GetSurfaceDesc(&got), DD_OK);
    EXPECT_EQ(got.dwWidth, 320u);
    EXPECT_EQ(got.dwHeight, 240u);
    ASSERT_EQ(fill(m_back, nullptr, 0xF81F), DD_OK);
    // A 240 x 320 source squeezed into 320 x 240 still presents.
    ASSERT_EQ(m_primary->Blt(nullptr, m_back, nullptr, DDBLT_WAITNOTBUSY, nullptr), DD_OK);
    EXPECT_EQ(hostLastFrame().width, 320u);
    EXPECT_EQ(hostLastFrame().at(319, 239), 0xF81Fu);
}

// PENNYFALL_CAPTURE writes each present as a numbered PNG that reads back
// as the frame's colours.
TEST_F(HostDirectDrawTest, CaptureFolderGetsEachPresentAsPng)
{
    // A folder of this run's own, so the test runs the same inside ctest or out.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pf-capture-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    ASSERT_EQ(setenv("PENNYFALL_CAPTURE", folder.c_str(), 1), 0);
    ASSERT_EQ(hostSetScreenSize(32, 24), 1);
    DDSURFACEDESC want = primaryDesc();
    ASSERT_EQ(m_dd->CreateSurface(&want, &m_primary, nullptr), DD_OK);
    const RECT left{ 0, 0, 16, 24 };
    const RECT right{ 16, 0, 32, 24 };
    ASSERT_EQ(fill(m_primary, &left, 0xF800), DD_OK);
    ASSERT_EQ(fill(m_primary, &right, 0x0410), DD_OK);
    unsetenv("PENNYFALL_CAPTURE");

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (folder / "frame-000002.png").c_str()));
    image.format = PNG_FORMAT_BGRA;
    ASSERT_EQ(image.width, 32u);
    ASSERT_EQ(image.height, 24u);
    std::vector<uint32_t> read(32 * 24);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr));
    // 0x0410: green 32 of 63 widens to 0x82, blue 16 of 31 to 0x84.
    EXPECT_EQ(read[0], 0xFFFF0000u);
    EXPECT_EQ(read[15 + 23 * 32], 0xFFFF0000u);
    EXPECT_EQ(read[16], 0xFF008284u);
    EXPECT_TRUE(std::filesystem::exists(folder / "frame-000001.png"));
    EXPECT_FALSE(std::filesystem::exists(folder / "frame-000003.png"));
    std::filesystem::remove_all(folder);
}

} // namespace
