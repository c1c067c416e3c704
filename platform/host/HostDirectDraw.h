// DirectDraw as far as the display device uses it: one screen buffer seen
// through a primary surface, off-screen surfaces in the screen's formats,
// locks, colour fills and nearest-pixel stretches. A blit into the primary
// is the present: the frame goes to the SDL window (scaled for a desktop),
// is kept for tests, and is written as PNG when PENNYFALL_CAPTURE names a
// folder.
#pragma once

#include "platform/host/HostTypes.h"
#include "platform/host/HostWindow.h"

#include <cstddef>
#include <vector>

constexpr HRESULT DD_OK = S_OK;
constexpr HRESULT DDERR_GENERIC = E_FAIL;
constexpr HRESULT DDERR_INVALIDPARAMS = E_INVALIDARG;
constexpr HRESULT DDERR_OUTOFMEMORY = E_OUTOFMEMORY;
// The display's own failures; only their being negative matters to callers.
constexpr HRESULT hostDirectDrawError(uint32_t code)
{
    return static_cast<HRESULT>(0x88760000u | code);
}
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = hostDirectDrawError(1);
constexpr HRESULT DDERR_INVALIDRECT = hostDirectDrawError(2);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = hostDirectDrawError(3);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = hostDirectDrawError(4);
constexpr HRESULT DDERR_SURFACEBUSY = hostDirectDrawError(5);
constexpr HRESULT DDERR_SURFACELOST = hostDirectDrawError(6);
constexpr HRESULT DDERR_NOTLOCKED = hostDirectDrawError(7);

// Which fields of a surface description are meant.
constexpr DWORD DDSD_CAPS = 0x0001;
constexpr DWORD DDSD_HEIGHT = 0x0002;
constexpr DWORD DDSD_WIDTH = 0x0004;
constexpr DWORD DDSD_PIXELFORMAT = 0x1000;

// Surface kinds asked for at creation.
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x0040;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x0080;

constexpr DWORD DDPF_RGB = 0x0040;

// Locks: all flags are accepted; waiting never happens on the host.
constexpr DWORD DDLOCK_WRITEONLY = 0x0002;
constexpr DWORD DDLOCK_WAITNOTBUSY = 0x0008;

constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_WAITNOTBUSY = 0x01000000;

constexpr DWORD DDSCL_NORMAL = 0;

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};

struct DDSCAPS {
    DWORD dwCaps;
};

struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    LPVOID lpSurface;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

struct DDCAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwVidMemTotal;
    DWORD dwVidMemFree;
};

struct DDBLTFX {
    DWORD dwSize;
    // In the destination's format: the low 16 bits for a 16-bit surface.
    DWORD dwFillColor;
};

class IDirectDrawSurface {
public:
    virtual ULONG Release() = 0;
    // Caps, size and pixel format whatever the description asks for.
    virtual HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) = 0;
    // One lock at a time; a null rectangle locks the whole surface.
    virtual HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Unlock(const RECT* rect) = 0;
    // A colour fill (DDBLT_COLORFILL with fx), or a nearest-pixel copy from a
    // surface of the same format that stretches the source rectangle over
    // the destination one. Null rectangles are whole surfaces. Neither
    // surface may be locked.
    virtual HRESULT Blt(const RECT* dest, IDirectDrawSurface* source, const RECT* sourceRect, DWORD flags,
        const DDBLTFX* fx) = 0;

protected:
    virtual ~IDirectDrawSurface() = default;
};

class IDirectDraw {
public:
    virtual ULONG Release() = 0;
    // window: null or one of ours; its SDL window shows the presents.
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    // The screen's size (from GetSystemMetrics) and pixel format.
    virtual HRESULT GetDisplayMode(DDSURFACEDESC* desc) = 0;
    // Either may be null, not both.
    virtual HRESULT GetCaps(DDCAPS* driver, DDCAPS* emulation) = 0;
    // Needs the cooperative level. One primary at a time, which takes no
    // size: it is the screen. Off-screen surfaces take a size and either no
    // format (the screen's) or one of the three the stand-in knows.
    virtual HRESULT CreateSurface(const DDSURFACEDESC* desc, IDirectDrawSurface** surface, void* outer) = 0;

protected:
    virtual ~IDirectDraw() = default;
};

HRESULT DirectDrawCreate(const void* driver, IDirectDraw** directDraw, void* outer);

// Test hooks.

// The screen's pixel format; 5-5-5 stands for a screen whose format the
// display device does not draw.
enum class HostDisplayFormat { Rgb565, Xrgb8888, Rgb555 };
// Takes effect for surfaces made afterwards; a primary made before is lost.
void hostSetDisplayFormat(HostDisplayFormat format);

struct HostDirectDrawFailures {
    bool create = false;
    bool cooperativeLevel = false;
    bool displayMode = false;
    bool caps = false;
    bool createSurface = false;
    bool lock = false;
    // Lock succeeds but reports a pitch a pixel shorter than the row.
    bool shortPitch = false;
};
// The named calls fail from now on (DDERR_GENERIC, or out of memory).
void hostDirectDrawSetFailures(const HostDirectDrawFailures& failures);

// A presented frame: one word per pixel as the screen stores it (16-bit
// screens use the low half), rows top first.
struct HostFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    HostDisplayFormat format = HostDisplayFormat::Rgb565;
    std::vector<uint32_t> pixels;

    uint32_t at(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
    // 0xAARRGGBB, channels widened by repeating their top bits.
    uint32_t argb(uint32_t x, uint32_t y) const;
};

// The last frame a present showed; empty before the first.
const HostFrame& hostLastFrame();
uint32_t hostPresentCount();
// Blits refused because a surface was locked: a display that draws right
// never makes one.
uint32_t hostBlitsWhileLocked();
// DirectDraw objects and surfaces not yet released.
uint32_t hostLiveDirectDrawObjects();
// Clears the failures, the counters and the last frame and goes back to a
// 5-6-5 screen. Objects still alive stay usable.
void hostDirectDrawReset();

// Writes the frame as an 8-bit RGBA PNG, every pixel opaque; false when the
// file cannot be made.
bool hostWriteFramePng(const char* path, const HostFrame& frame);
