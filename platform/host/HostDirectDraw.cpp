// DirectDraw on plain memory. The screen is one buffer that every primary
// views; a change of the screen's size or format makes a new buffer and loses
// the primaries of the old one, as a mode change does on the phone. A blit
// into a primary is the present: the frame is kept, shown and captured.
#include "platform/host/HostDirectDraw.h"

#include "platform/host/HostSystem.h"
#include "platform/host/internal/HostScreen.h"
#include "platform/host/internal/HostWindowState.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

bool knownFormat(const DDPIXELFORMAT& pf, HostDisplayFormat& out)
{
    for (HostDisplayFormat f : { HostDisplayFormat::Rgb565, HostDisplayFormat::Xrgb8888, HostDisplayFormat::Rgb555 }) {
        const HostScreenFormat& i = hostScreenFormat(f);
        if ((pf.dwFlags & DDPF_RGB) && pf.dwRGBBitCount == i.bits && pf.dwRBitMask == i.red
            && pf.dwGBitMask == i.green && pf.dwBBitMask == i.blue) {
            out = f;
            return true;
        }
    }
    return false;
}

void describeFormat(HostDisplayFormat format, DDPIXELFORMAT& pf)
{
    const HostScreenFormat& i = hostScreenFormat(format);
    pf = { sizeof(DDPIXELFORMAT), DDPF_RGB, i.bits, i.red, i.green, i.blue, 0 };
}

struct State {
    HostDisplayFormat format = HostDisplayFormat::Rgb565;
    HostDirectDrawFailures failures;
    std::shared_ptr<HostScreen> screen;
    bool primaryAlive = false;
    HostFrame lastFrame;
    uint32_t presents = 0;
    uint32_t blitsWhileLocked = 0;
    uint32_t live = 0;
    bool captureWarned = false;
};

State& state()
{
    static State s;
    return s;
}

bool isCurrent(const HostScreen& screen)
{
    return screen.width == uint32_t(GetSystemMetrics(SM_CXSCREEN))
        && screen.height == uint32_t(GetSystemMetrics(SM_CYSCREEN)) && screen.format == state().format;
}

// Null when the buffer cannot be had.
std::shared_ptr<HostScreen> currentScreen()
{
    State& s = state();
    if (s.screen && isCurrent(*s.screen))
        return s.screen;
    try {
        const uint32_t w = uint32_t(GetSystemMetrics(SM_CXSCREEN));
        const uint32_t h = uint32_t(GetSystemMetrics(SM_CYSCREEN));
        s.screen = std::make_shared<HostScreen>(
            HostScreen { w, h, s.format, std::vector<uint8_t>(size_t(w) * h * hostBytesPerPixel(s.format)) });
    } catch (const std::bad_alloc&) {
        s.screen.reset();
    }
    return s.screen;
}

bool validDesc(const DDSURFACEDESC* desc)
{
    return desc && desc->dwSize == sizeof(DDSURFACEDESC);
}

class DirectDraw;

class Surface final : public IDirectDrawSurface {
public:
    Surface(DirectDraw* owner, std::shared_ptr<HostScreen> screen);
    Surface(DirectDraw* owner, uint32_t width, uint32_t height, HostDisplayFormat format);
    ~Surface() override;

    ULONG Release() override;
    HRESULT GetSurfaceDesc(DDSURFACEDESC* desc) override;
    HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, HANDLE event) override;
    HRESULT Unlock(const RECT* rect) override;
    HRESULT Blt(const RECT* dest, IDirectDrawSurface* source, const RECT* sourceRect, DWORD flags,
        const DDBLTFX* fx) override;

private:
    uint8_t* base() { return m_screen ? m_screen->pixels.data() : m_pixels.data(); }
    uint32_t pitch() const { return m_width * hostBytesPerPixel(m_format); }
    bool lost() const { return m_screen && !isCurrent(*m_screen); }
    // A null rectangle is the whole surface; false for one that leaves it.
    bool area(const RECT* rect, RECT& out) const;
    void fill(const RECT& to, DWORD colour);
    void stretch(const RECT& to, Surface& from, const RECT& fromRect);
    void present();

    DirectDraw* m_owner;
    ULONG m_refs = 1;
    std::shared_ptr<HostScreen> m_screen;  // the primary's view
    std::vector<uint8_t> m_pixels;     // an off-screen surface's own
    uint32_t m_width;
    uint32_t m_height;
    HostDisplayFormat m_format;
    bool m_locked = false;
};

class DirectDraw final : public IDirectDraw {
public:
    DirectDraw() { ++state().live; }
    ~DirectDraw() override { --state().live; }

    void addRef() { ++m_refs; }
    HWND window() const { return m_window; }

    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override
    {
        if (state().failures.cooperativeLevel)
            return DDERR_GENERIC;
        if (flags != DDSCL_NORMAL || (window && !hostLocalWindow(window)))
            return DDERR_INVALIDPARAMS;
        m_window = window;
        m_cooperative = true;
        return DD_OK;
    }

    HRESULT GetDisplayMode(DDSURFACEDESC* desc) override
    {
        if (state().failures.displayMode)
            return DDERR_GENERIC;
        if (!validDesc(desc))
            return DDERR_INVALIDPARAMS;
        const HostDisplayFormat format = state().format;
        *desc = {};
        desc->dwSize = sizeof(DDSURFACEDESC);
        desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        desc->dwWidth = DWORD(GetSystemMetrics(SM_CXSCREEN));
        desc->dwHeight = DWORD(GetSystemMetrics(SM_CYSCREEN));
        desc->lPitch = LONG(desc->dwWidth * hostBytesPerPixel(format));
        describeFormat(format, desc->ddpfPixelFormat);
        return DD_OK;
    }

    HRESULT GetCaps(DDCAPS* driver, DDCAPS* emulation) override
    {
        if (state().failures.caps)
            return DDERR_GENERIC;
        if ((!driver && !emulation) || (driver && driver->dwSize != sizeof(DDCAPS))
            || (emulation && emulation->dwSize != sizeof(DDCAPS)))
            return DDERR_INVALIDPARAMS;
        // Everything is done by the processor: no blitter, no video memory.
        for (DDCAPS* caps : { driver, emulation }) {
            if (caps)
                *caps = { sizeof(DDCAPS), 0, 0, 0 };
        }
        return DD_OK;
    }

    HRESULT CreateSurface(const DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer) override
    {
        if (!out || outer || !validDesc(desc) || !(desc->dwFlags & DDSD_CAPS))
            return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (!m_cooperative)
            return DDERR_NOCOOPERATIVELEVELSET;
        State& s = state();
        if (s.failures.createSurface)
            return DDERR_OUTOFMEMORY;
        const DWORD caps = desc->ddsCaps.dwCaps;
        if (caps == DDSCAPS_PRIMARYSURFACE) {
            if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT))
                return DDERR_INVALIDPARAMS;
            if (s.primaryAlive)
                return DDERR_PRIMARYSURFACEALREADYEXISTS;
            std::shared_ptr<HostScreen> screen = currentScreen();
            if (!screen)
                return DDERR_OUTOFMEMORY;
            *out = new (std::nothrow) Surface(this, std::move(screen));
        } else if (caps == DDSCAPS_OFFSCREENPLAIN) {
            if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) || desc->dwWidth == 0
                || desc->dwHeight == 0 || desc->dwWidth > DWORD(kMaxScreenSide)
                || desc->dwHeight > DWORD(kMaxScreenSide))
                return DDERR_INVALIDPARAMS;
            HostDisplayFormat format = s.format;
            if (desc->dwFlags & DDSD_PIXELFORMAT) {
                if (desc->ddpfPixelFormat.dwSize != sizeof(DDPIXELFORMAT))
                    return DDERR_INVALIDPARAMS;
                if (!knownFormat(desc->ddpfPixelFormat, format))
                    return DDERR_INVALIDPIXELFORMAT;
            }
            try {
                *out = new Surface(this, desc->dwWidth, desc->dwHeight, format);
            } catch (const std::bad_alloc&) {
                return DDERR_OUTOFMEMORY;
            }
        } else {
            return DDERR_INVALIDPARAMS;
        }
        return *out ? DD_OK : DDERR_OUTOFMEMORY;
    }

private:
    ULONG m_refs = 1;
    HWND m_window = nullptr;
    bool m_cooperative = false;
};

Surface::Surface(DirectDraw* owner, std::shared_ptr<HostScreen> screen)
    : m_owner(owner)
    , m_screen(std::move(screen))
    , m_width(m_screen->width)
    , m_height(m_screen->height)
    , m_format(m_screen->format)
{
    owner->addRef();
    state().primaryAlive = true;
    ++state().live;
}

Surface::Surface(DirectDraw* owner, uint32_t width, uint32_t height, HostDisplayFormat format)
    : m_owner(owner)
    , m_pixels(size_t(width) * height * hostBytesPerPixel(format))
    , m_width(width)
    , m_height(height)
    , m_format(format)
{
    owner->addRef();
    ++state().live;
}

Surface::~Surface()
{
    if (m_screen)
        state().primaryAlive = false;
    --state().live;
    m_owner->Release();
}

ULONG Surface::Release()
{
    const ULONG left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Surface::GetSurfaceDesc(DDSURFACEDESC* desc)
{
    if (!validDesc(desc))
        return DDERR_INVALIDPARAMS;
    *desc = {};
    desc->dwSize = sizeof(DDSURFACEDESC);
    desc->dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc->dwWidth = m_width;
    desc->dwHeight = m_height;
    desc->lPitch = LONG(pitch());
    describeFormat(m_format, desc->ddpfPixelFormat);
    desc->ddsCaps.dwCaps = m_screen ? DDSCAPS_PRIMARYSURFACE : DDSCAPS_OFFSCREENPLAIN;
    return DD_OK;
}

bool Surface::area(const RECT* rect, RECT& out) const
{
    if (!rect) {
        out = { 0, 0, LONG(m_width), LONG(m_height) };
        return true;
    }
    out = *rect;
    return out.left >= 0 && out.top >= 0 && out.left < out.right && out.top < out.bottom
        && out.right <= LONG(m_width) && out.bottom <= LONG(m_height);
}

HRESULT Surface::Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD, HANDLE)
{
    if (!validDesc(desc))
        return DDERR_INVALIDPARAMS;
    if (state().failures.lock)
        return DDERR_GENERIC;
    if (lost())
        return DDERR_SURFACELOST;
    if (m_locked)
        return DDERR_SURFACEBUSY;
    RECT r;
    if (!area(rect, r))
        return DDERR_INVALIDRECT;
    GetSurfaceDesc(desc);
    desc->lpSurface = base() + size_t(r.top) * pitch() + size_t(r.left) * hostBytesPerPixel(m_format);
    if (state().failures.shortPitch)
        desc->lPitch -= LONG(hostBytesPerPixel(m_format));
    m_locked = true;
    return DD_OK;
}

HRESULT Surface::Unlock(const RECT*)
{
    if (!m_locked)
        return DDERR_NOTLOCKED;
    m_locked = false;
    return DD_OK;
}

template <typename Pixel>
void fillRows(uint8_t* at, uint32_t pitch, uint32_t width, uint32_t height, Pixel value)
{
    for (uint32_t y = 0; y < height; ++y, at += pitch)
        std::fill_n(reinterpret_cast<Pixel*>(at), width, value);
}

void Surface::fill(const RECT& to, DWORD colour)
{
    const uint32_t bpp = hostBytesPerPixel(m_format);
    uint8_t* at = base() + size_t(to.top) * pitch() + size_t(to.left) * bpp;
    const uint32_t w = uint32_t(to.right - to.left);
    const uint32_t h = uint32_t(to.bottom - to.top);
    if (bpp == 2)
        fillRows<uint16_t>(at, pitch(), w, h, uint16_t(colour));
    else
        fillRows<uint32_t>(at, pitch(), w, h, uint32_t(colour));
}

// Destination pixel d of n takes source pixel d * m / n of m: the nearest
// from the left, so a doubled source repeats each pixel exactly twice.
template <typename Pixel>
void stretchRows(uint8_t* to, uint32_t toPitch, uint32_t toW, uint32_t toH, const uint8_t* from,
    uint32_t fromPitch, uint32_t fromW, uint32_t fromH)
{
    std::vector<uint32_t> column(toW);
    for (uint32_t x = 0; x < toW; ++x)
        column[x] = uint32_t(uint64_t(x) * fromW / toW);
    for (uint32_t y = 0; y < toH; ++y, to += toPitch) {
        const Pixel* row = reinterpret_cast<const Pixel*>(from + size_t(uint64_t(y) * fromH / toH) * fromPitch);
        Pixel* out = reinterpret_cast<Pixel*>(to);
        if (toW == fromW) {
            std::memcpy(out, row, size_t(toW) * sizeof(Pixel));
            continue;
        }
        for (uint32_t x = 0; x < toW; ++x)
            out[x] = row[column[x]];
    }
}

void Surface::stretch(const RECT& to, Surface& from, const RECT& fromRect)
{
    const uint32_t bpp = hostBytesPerPixel(m_format);
    const uint32_t fromW = uint32_t(fromRect.right - fromRect.left);
    const uint32_t fromH = uint32_t(fromRect.bottom - fromRect.top);
    const uint8_t* source = from.base() + size_t(fromRect.top) * from.pitch() + size_t(fromRect.left) * bpp;
    // A blit within one surface reads from a copy, so overlapping areas
    // come out as the source was.
    std::vector<uint8_t> copy;
    uint32_t sourcePitch = from.pitch();
    if (&from == this) {
        copy.resize(size_t(fromW) * fromH * bpp);
        for (uint32_t y = 0; y < fromH; ++y)
            std::memcpy(copy.data() + size_t(y) * fromW * bpp, source + size_t(y) * sourcePitch, size_t(fromW) * bpp);
        source = copy.data();
        sourcePitch = fromW * bpp;
    }
    uint8_t* at = base() + size_t(to.top) * pitch() + size_t(to.left) * bpp;
    const uint32_t w = uint32_t(to.right - to.left);
    const uint32_t h = uint32_t(to.bottom - to.top);
    if (bpp == 2)
        stretchRows<uint16_t>(at, pitch(), w, h, source, sourcePitch, fromW, fromH);
    else
        stretchRows<uint32_t>(at, pitch(), w, h, source, sourcePitch, fromW, fromH);
}

HRESULT Surface::Blt(const RECT* dest, IDirectDrawSurface* source, const RECT* sourceRect, DWORD flags,
    const DDBLTFX* fx)
{
    if (flags & ~(DDBLT_COLORFILL | DDBLT_WAITNOTBUSY))
        return DDERR_INVALIDPARAMS;
    Surface* from = static_cast<Surface*>(source);
    const bool colourFill = (flags & DDBLT_COLORFILL) != 0;
    if (colourFill ? (!fx || fx->dwSize != sizeof(DDBLTFX)) : !from)
        return DDERR_INVALIDPARAMS;
    if (!colourFill && from->m_format != m_format)
        return DDERR_INVALIDPIXELFORMAT;
    if (lost() || (!colourFill && from->lost()))
        return DDERR_SURFACELOST;
    if (m_locked || (!colourFill && from->m_locked)) {
        ++state().blitsWhileLocked;
        return DDERR_SURFACEBUSY;
    }
    RECT to;
    RECT fromArea;
    if (!area(dest, to) || (!colourFill && !from->area(sourceRect, fromArea)))
        return DDERR_INVALIDRECT;
    if (colourFill)
        fill(to, fx->dwFillColor);
    else
        stretch(to, *from, fromArea);
    if (m_screen)
        present();
    return DD_OK;
}

void Surface::present()
{
    State& s = state();
    const HostScreen& screen = *m_screen;
    HostFrame& frame = s.lastFrame;
    frame.width = screen.width;
    frame.height = screen.height;
    frame.format = screen.format;
    frame.pixels.resize(size_t(screen.width) * screen.height);
    const uint8_t* at = screen.pixels.data();
    if (hostBytesPerPixel(screen.format) == 2) {
        for (uint32_t& p : frame.pixels) {
            uint16_t v;
            std::memcpy(&v, at, 2);
            p = v;
            at += 2;
        }
    } else {
        std::memcpy(frame.pixels.data(), at, frame.pixels.size() * 4);
    }
    ++s.presents;
    hostShowScreen(screen, m_owner->window());
    hostCaptureFrame(frame, s.presents, s.captureWarned);
}

} // namespace

HRESULT DirectDrawCreate(const void* driver, IDirectDraw** directDraw, void* outer)
{
    if (!directDraw)
        return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (driver || outer)
        return DDERR_INVALIDPARAMS;
    if (state().failures.create)
        return DDERR_GENERIC;
    *directDraw = new (std::nothrow) DirectDraw;
    return *directDraw ? DD_OK : DDERR_OUTOFMEMORY;
}

void hostShowScreenAgain(HWND window)
{
    if (const std::shared_ptr<HostScreen>& screen = state().screen)
        hostShowScreen(*screen, window);
}

void hostSetDisplayFormat(HostDisplayFormat format)
{
    state().format = format;
}

void hostDirectDrawSetFailures(const HostDirectDrawFailures& failures)
{
    state().failures = failures;
}

const HostFrame& hostLastFrame()
{
    return state().lastFrame;
}

uint32_t hostPresentCount()
{
    return state().presents;
}

uint32_t hostBlitsWhileLocked()
{
    return state().blitsWhileLocked;
}

uint32_t hostLiveDirectDrawObjects()
{
    return state().live;
}

void hostDirectDrawReset()
{
    State& s = state();
    s.format = HostDisplayFormat::Rgb565;
    s.failures = {};
    s.lastFrame = {};
    s.presents = 0;
    s.blitsWhileLocked = 0;
    s.captureWarned = false;
}
