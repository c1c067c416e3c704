// The frame surface on DirectDraw: primary and off-screen surfaces made from
// the display device, nested locks over the off-screen memory.
#include "platform/wince/DirectDrawSurface.h"

#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/image/PixelFormat.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/wince/DirectDrawDevice.h"
#include "platform/wince/PlatformApp.h"

#include <new>

namespace {

// Attribute keys with this surface's own meanings; the rest are ignored.
constexpr uint32_t kKeyWidth = 1;
constexpr uint32_t kKeyHeight = 2;
constexpr uint32_t kKeyDescribed = 3;
constexpr uint32_t kKeyAttribute4 = 4;
constexpr uint32_t kKeyPlanar = 5;
constexpr uint32_t kKeyFormat = 6;
constexpr uint32_t kKeyPlane1 = 7;
constexpr uint32_t kKeyPlane2 = 8;

constexpr uint32_t kConstructionFlags = SurfaceFlag::PlaneUse2 | SurfaceFlag::KindDevice | SurfaceFlag::OtherMemory;
constexpr uint32_t kInitFlags = SurfaceFlag::LayoutA | SurfaceFlag::LayoutTwo;
constexpr DWORD kLockFlags = DDLOCK_WRITEONLY | DDLOCK_WAITNOTBUSY;
constexpr DWORD kDescribeFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;

// Plane 0: the format and size always, the pixels only while locked, so
// nothing draws into memory DirectDraw has taken back.
class FramePixels : public PixelBuffer {
public:
    void describe(RSBFormat format, uint32_t width, uint32_t height)
    {
        reset();
        m_format = format;
        m_width = uint16_t(width);
        m_height = uint16_t(height);
    }
    void show(void* pixels, int32_t pitch)
    {
        m_pixels = static_cast<uint8_t*>(pixels);
        m_pitch = int16_t(pitch);
        m_flags |= PixelBufferFlag::External;
    }
    void hide()
    {
        m_pixels = nullptr;
        m_pitch = 0;
        m_flags &= uint16_t(~PixelBufferFlag::External);
    }
};

DDSURFACEDESC describeRequest(DWORD flags)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = flags;
    return d;
}

RSBFormat formatOf(const DDPIXELFORMAT& pf)
{
    if (pf.dwRGBBitCount == 16 && pf.dwRBitMask == 0xF800 && pf.dwGBitMask == 0x07E0 && pf.dwBBitMask == 0x001F)
        return PixelFormat::R5G6B5;
    if (pf.dwRGBBitCount == 32 && pf.dwRBitMask == 0xFF0000 && pf.dwGBitMask == 0xFF00 && pf.dwBBitMask == 0xFF)
        return PixelFormat::X8R8G8B8;
    return 0;
}

} // namespace

const SurfaceAttribute kFrameSurfaceAttributes[] = {
    { kKeyDescribed, 1 }, { kKeyAttribute4, 1 }, { kKeyFormat, 0 }, { SurfaceKey::End, 0 }
};

DirectDrawSurface::DirectDrawSurface()
{
    m_flags = (m_flags & ~SurfaceFlag::KindImage) | kConstructionFlags;
}

DirectDrawSurface::~DirectDrawSurface()
{
    releaseAll();
}

int DirectDrawSurface::init(const SurfaceAttribute* attributes)
{
    releaseAll();
    // A refusal leaves nothing set, the flags of keys read so far included.
    auto fail = [this] {
        releaseAll();
        return 0;
    };
    bool described = false;
    bool formatGiven = false;
    RSBFormat requested = 0;
    for (const SurfaceAttribute* a = attributes; a && a->key != SurfaceKey::End; ++a) {
        switch (a->key) {
        case kKeyWidth:
        case kKeyHeight:
            return fail();
        case kKeyDescribed:
            described = a->value != 0;
            if (described)
                m_flags |= SurfaceFlag::Described;
            break;
        case kKeyAttribute4:
            if (a->value)
                m_flags |= SurfaceFlag::Attribute4;
            break;
        case kKeyPlanar:
            if (a->value)
                return fail();
            break;
        case kKeyFormat:
            m_flags |= SurfaceFlag::ExplicitFormat;
            formatGiven = true;
            requested = RSBFormat(a->value);
            break;
        case kKeyPlane1:
            m_flags |= SurfaceFlag::Plane1;
            break;
        case kKeyPlane2:
            m_flags |= SurfaceFlag::Plane2;
            break;
        default:
            break;
        }
    }
    const DirectDrawDevice* device = displayDirectDraw();
    IDirectDraw* dd = device ? device->directDraw() : nullptr;
    if (!described || !formatGiven || !dd)
        return fail();

    DDCAPS driver{ sizeof(DDCAPS), 0, 0, 0 };
    DDCAPS emulation{ sizeof(DDCAPS), 0, 0, 0 };
    DDSURFACEDESC primary = describeRequest(DDSD_CAPS);
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (!SUCCEEDED(dd->GetCaps(&driver, &emulation)) || !SUCCEEDED(dd->CreateSurface(&primary, &m_primary, nullptr)))
        return fail();
    DDSURFACEDESC screen = describeRequest(kDescribeFlags);
    if (!SUCCEEDED(m_primary->GetSurfaceDesc(&screen)))
        return fail();

    DDSURFACEDESC back = describeRequest(kDescribeFlags);
    back.dwWidth = screen.dwWidth;
    back.dwHeight = screen.dwHeight;
    if (pixelDoublingOn()) {
        back.dwWidth >>= 1;
        back.dwHeight >>= 1;
    }
    back.ddpfPixelFormat = screen.ddpfPixelFormat;
    back.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (!SUCCEEDED(dd->CreateSurface(&back, &m_back, nullptr)))
        return fail();
    DDSURFACEDESC probe = describeRequest(0);
    if (SUCCEEDED(m_back->Lock(nullptr, &probe, kLockFlags, nullptr)))
        m_back->Unlock(nullptr);

    const RSBFormat format = formatOf(screen.ddpfPixelFormat);
    if (requested && requested != format)
        return fail();
    m_flags |= kInitFlags;
    uint32_t width = 0;
    uint32_t height = 0;
    auto* pixels = new (std::nothrow) FramePixels();
    if (!pixels || !getSize(&width, &height)) {
        delete pixels;
        return fail();
    }
    pixels->describe(format, width, height);
    m_planes[0].reset(pixels);
    m_lockCount = 0;
    m_flags |= SurfaceFlag::Initialised;
    return 1;
}

void DirectDrawSurface::releaseAll()
{
    clearRenderTarget(this);
    // Every level goes: a released surface keeps no DirectDraw lock.
    if (m_lockCount) {
        m_lockCount = 1;
        unlock();
    }
    releasePixels();
    for (IDirectDrawSurface** s : { &m_back, &m_primary }) {
        if (*s) {
            (*s)->Release();
            *s = nullptr;
        }
    }
    m_flags &= SurfaceFlag::KeptOnRelease;
}

void DirectDrawSurface::makeCurrent()
{
    if (m_primary && m_back)
        setRenderTarget(this);
}

int DirectDrawSurface::lock(uint8_t** address, int32_t* pitch, uint32_t, const Rect16* rect)
{
    auto* pixels = static_cast<FramePixels*>(m_planes[0].get());
    const bool first = m_lockCount == 0;
    bool ok = pixels && m_back;
    if (ok && first) {
        DDSURFACEDESC d = describeRequest(0);
        ok = SUCCEEDED(m_back->Lock(nullptr, &d, kLockFlags, nullptr));
        // Rows shorter than the described width would run past the memory.
        const int64_t row = int64_t{bytesPerPixel(pixels->format())} * pixels->width();
        if (ok && (d.lPitch <= 0 || d.lPitch > kMaxPitch || d.lPitch < row)) {
            m_back->Unlock(nullptr);
            ok = false;
        }
        if (ok)
            pixels->show(d.lpSurface, d.lPitch);
    }
    // A failed lock hands out no address and is not counted, so the
    // caller's unlock cannot give back someone else's level.
    if (ok && !planeAddress(0, address, pitch, rect)) {
        if (first) {
            pixels->hide();
            m_back->Unlock(nullptr);
        }
        ok = false;
    }
    if (!ok) {
        if (address)
            *address = nullptr;
        if (pitch)
            *pitch = 0;
        return 0;
    }
    ++m_lockCount;
    m_flags |= SurfaceFlag::Locked;
    return 1;
}

void DirectDrawSurface::unlock()
{
    if (m_lockCount == 0 || --m_lockCount > 0)
        return;
    if (m_back)
        m_back->Unlock(nullptr);
    if (auto* pixels = static_cast<FramePixels*>(m_planes[0].get()))
        pixels->hide();
    m_flags &= ~SurfaceFlag::Locked;
}

int DirectDrawSurface::getSize(uint32_t* width, uint32_t* height) const
{
    uint32_t w = 0;
    uint32_t h = 0;
    int ok = 0;
    if (m_lockCount && m_planes[0]) {
        w = m_planes[0]->width();
        h = m_planes[0]->height();
        ok = 1;
    } else if (m_back) {
        DDSURFACEDESC d = describeRequest(DDSD_WIDTH | DDSD_HEIGHT);
        if (SUCCEEDED(m_back->GetSurfaceDesc(&d))) {
            w = d.dwWidth;
            h = d.dwHeight;
            ok = 1;
        }
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    return ok;
}
