// Surfaces: locking and plane addressing, descriptions, plane clears, and
// configuration from attribute lists, decoded images or shared pixels.
#include "gfx2d/display/Surface.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/events/HandlerList.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/PackFormat.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/ResourceTypes.h"
#include "framework/services/AppBase.h"
#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/image/ImageResources.h"
#include "gfx2d/image/Palette.h"

namespace {

// Plane 0 of a surface, the wrapped one's for a wrapping surface.
const PixelBuffer* colourPlane(const SurfaceBase& s)
{
    if (s.flags() & SurfaceFlag::Wraps) {
        const auto* inner = static_cast<const SurfaceBase*>(s.wrapped());
        return inner ? colourPlane(*inner) : nullptr;
    }
    return s.plane(0);
}

// Rectangles that reach below 0 on either side count as outside.
bool rectInside(const Rect16& r, uint32_t width, uint32_t height)
{
    return r.x >= 0 && r.y >= 0 && r.x + r.w >= 0 && r.y + r.h >= 0 && r.x + r.w <= int32_t(width) &&
           r.y + r.h <= int32_t(height);
}

int addressIn(const PixelBuffer* b, uint8_t** address, int32_t* pitch, const Rect16* rect)
{
    uint8_t* a = nullptr;
    int32_t p = 0;
    if (b && b->pixels()) {
        p = b->pitch();
        a = b->pixels();
        if (rect) {
            if (!rectInside(*rect, b->width(), b->height())) {
                a = nullptr;
                p = 0;
            } else {
                a += intptr_t(rect->x) * bytesPerPixel(b->format()) + intptr_t(rect->y) * p;
            }
        }
    }
    if (pitch)
        *pitch = p;
    if (address)
        *address = a;
    return a != nullptr;
}

} // namespace

int Surface::containsRect(const Rect16& r) const
{
    uint32_t w = 0, h = 0;
    getSize(&w, &h);
    return rectInside(r, w, h);
}

bool Surface::targetView(RenderTargetView& out)
{
    out = RenderTargetView{};
    out.flags = m_flags;
    TargetPlane* planes[3] = {&out.colour, &out.depth, &out.stencil};
    uint32_t w = 0, h = 0;
    getSize(&w, &h);
    for (uint32_t i = 0; i < 3; ++i) {
        TargetPlane& p = *planes[i];
        if (!planeAddress(i, &p.pixels, &p.pitch, nullptr))
            continue;
        p.format = planeFormat(i);
        // The raster state maps whole rows from the first; bottom-up planes
        // are not raster targets.
        p.bytes = p.pitch > 0 ? uint32_t(p.pitch) * h : 0;
        if (p.bytes == 0)
            p = TargetPlane{};
    }
    return out.colour.pixels != nullptr;
}

int SurfaceBase::lock(uint8_t** address, int32_t* pitch, uint32_t lockFlags, const Rect16* rect)
{
    if ((m_flags & SurfaceFlag::Wraps) && m_wrapped)
        return m_wrapped->lock(address, pitch, lockFlags, rect);
    const PixelBuffer* b = m_planes[0].get();
    if (!address)
        return addressIn(b, nullptr, pitch, nullptr);
    const int ok = addressIn(b, address, pitch, rect);
    if (ok)
        m_flags |= SurfaceFlag::Locked;
    else
        m_flags &= ~SurfaceFlag::Locked;
    return ok;
}

void SurfaceBase::unlock()
{
    m_flags &= ~SurfaceFlag::Locked;
    if ((m_flags & SurfaceFlag::Wraps) && m_wrapped)
        m_wrapped->unlock();
}

RSBFormat SurfaceBase::getFormat() const
{
    const PixelBuffer* b = colourPlane(*this);
    return b ? b->format() : 0;
}

int SurfaceBase::getSize(uint32_t* width, uint32_t* height) const
{
    const PixelBuffer* planes[3] = {colourPlane(*this), m_planes[1].get(), m_planes[2].get()};
    for (const PixelBuffer* b : planes) {
        if (b) {
            if (width)
                *width = b->width();
            if (height)
                *height = b->height();
            return 1;
        }
    }
    return 0;
}

int SurfaceBase::planeAddress(uint32_t plane, uint8_t** address, int32_t* pitch, const Rect16* rect)
{
    const PixelBuffer* b = plane == 0 ? colourPlane(*this) : plane < 3 ? m_planes[plane].get() : nullptr;
    return addressIn(b, address, pitch, rect);
}

RSBFormat SurfaceBase::planeFormat(uint32_t plane) const
{
    if (plane == 0)
        return getFormat();
    return plane < 3 && m_planes[plane] ? m_planes[plane]->format() : 0;
}

void SurfaceBase::makeCurrent()
{
    setRenderTarget(this);
}

void setRenderTarget(Surface* surface)
{
    if (ScreenContext* screen = getDisplay())
        screen->setRenderTarget(surface);
}

void clearRenderTarget(Surface* surface)
{
    ScreenContext* screen = getGameApp() ? getDisplay() : nullptr;
    if (screen && screen->getRenderTarget(0, 0) == surface)
        screen->setRenderTarget(nullptr);
}

ImageSurface::~ImageSurface()
{
    releaseAll();
}

void ImageSurface::releasePixels()
{
    m_wrapped = nullptr;
    for (auto& plane : m_planes)
        plane.reset();
}

void ImageSurface::releaseAll()
{
    clearRenderTarget(this);
    m_ownedPalette.reset();
    m_palette = nullptr;
    releasePixels();
    m_flags &= SurfaceFlag::KeptOnRelease;
}

int ImageSurface::getDescription(SurfaceDescription& d) const
{
    using namespace SurfaceFlag;
    const uint32_t f = m_flags;
    d = SurfaceDescription{};
    if (f & KindImage)
        d.kind = 2;
    else if (f & KindDevice)
        d.kind = 1;
    else
        return 0;
    if (f & Memory)
        d.memory = 0;
    else if (f & OtherMemory)
        d.memory = 1;
    else
        return 0;
    if (f & LayoutA)
        d.layout = f & LayoutOne ? 1 : f & LayoutTwo ? 2 : 0;
    else if (f & LayoutB)
        d.layout = f & LayoutOne ? 3 : f & LayoutTwo ? 4 : 0;
    uint32_t w = 0, h = 0;
    if (!getSize(&w, &h))
        return 0;
    d.width = static_cast<uint16_t>(w);
    d.height = static_cast<uint16_t>(h);
    d.described = (f & Described) != 0;
    d.planeUse = ((f & PlaneUse1) ? 1 : 0) | ((f & PlaneUse2) ? 2 : 0);
    d.attribute4 = (f & Attribute4) != 0;
    d.locked = isLocked();
    d.planar = (f & Planar) != 0;
    d.explicitFormat = (f & ExplicitFormat) != 0;
    d.format = getFormat();
    d.plane1 = m_planes[1] != nullptr;
    d.plane1Format = m_planes[1] ? m_planes[1]->format() : 0;
    d.plane2 = m_planes[2] != nullptr;
    d.plane2Format = m_planes[2] ? m_planes[2]->format() : 0;
    d.palette = m_palette;
    d.wrapped = (f & Wraps) ? m_wrapped : nullptr;
    d.ownsPalette = (f & OwnsPalette) != 0;
    return 1;
}

void ImageSurface::clearPlanes(uint32_t mask, const int32_t* colour, uint32_t depth, uint32_t stencil)
{
    uint32_t w = 0, h = 0;
    if (!getSize(&w, &h))
        return;
    const struct {
        uint32_t select;
        RSBFormat valueFormat;
        const void* value;
    } planes[3] = {{SurfacePlanes::Colour, PixelFormat::ArgbFixed, colour},
                   {SurfacePlanes::Depth, PixelFormat::Z32, &depth},
                   {SurfacePlanes::Stencil, PixelFormat::S32, &stencil}};
    for (uint32_t i = 0; i < 3; ++i) {
        if (!(mask & planes[i].select))
            continue;
        const PixelBuffer* b = i == 0 ? colourPlane(*this) : m_planes[i].get();
        if (!b || !b->pixels())
            continue;
        BlitKey key{planes[i].valueFormat, b->format(), 0, 0, 0, BlitOperation::RectangleFill, nullptr};
        if (!findBlitter(key))
            continue;
        BlitShapeJob job;
        job.colorFormat = planes[i].valueFormat;
        job.color = planes[i].value;
        job.width = static_cast<int32_t>(std::min<uint32_t>(w, b->width()));
        job.height = static_cast<int32_t>(std::min<uint32_t>(h, b->height()));
        uint8_t* pixels = nullptr;
        if (i == 0) {
            if (!lock(&pixels, &job.dstPitch, 0, nullptr))
                continue;
        } else {
            pixels = b->pixels();
            job.dstPitch = b->pitch();
        }
        job.dstPixels = pixels;
        key.function(&job);
        if (i == 0)
            unlock();
    }
}

bool ImageSurface::texturePixels(TexturePixels& out)
{
    const PixelBuffer* b = colourPlane(*this);
    if (!(m_flags & SurfaceFlag::Initialised) || !b || !b->pixels() || b->pitch() <= 0)
        return false;
    out = TexturePixels{};
    out.format = b->format();
    out.width = b->width();
    out.height = b->height();
    out.pixels = b->pixels();
    out.bytes = uint32_t(b->pitch()) * b->height();
    return true;
}

int ImageSurface::createPixelBuffer(RSBFormat format, uint32_t width, uint32_t height, const uint32_t* palette,
                                    const DecodeOptions* options)
{
    PaletteSlot* slot = nullptr;
    DecodeOptions withPalette;
    if (palette) {
        m_palette = palette;
        if (options) {
            // The decoder reads the given colours instead of the file's and
            // sets their alpha as the file's transparency says.
            withPalette = *options;
            withPalette.palette = const_cast<uint32_t*>(palette);
            options = &withPalette;
        }
    } else {
        m_flags |= SurfaceFlag::OwnsPalette;
        slot = &m_ownedPalette;
    }
    std::unique_ptr<PixelBuffer> b;
    if (m_flags & SurfaceFlag::Planar)
        b.reset(new (std::nothrow) PlanarPixelBuffer());
    else
        b.reset(new (std::nothrow) PixelBuffer());
    if (!b || !b->create(format, width, height, (m_flags & SurfaceFlag::PowerOfTwo) != 0, slot, options,
                         PitchMode::Packed, 0, nullptr))
        return 0;
    if (slot)
        m_palette = m_ownedPalette.get();
    m_planes[0] = std::move(b);
    return 1;
}

int ImageSurface::createPlanes(RSBFormat format1, RSBFormat format2, uint32_t width, uint32_t height)
{
    const RSBFormat formats[2] = {format1, format2};
    for (uint32_t i = 0; i < 2; ++i) {
        if (!formats[i])
            continue;
        std::unique_ptr<PixelBuffer> b(new (std::nothrow) PixelBuffer());
        if (!b || !b->create(formats[i], width, height, false, nullptr, nullptr, PitchMode::Packed, 0, nullptr))
            return 0;
        m_planes[i + 1] = std::move(b);
    }
    return 1;
}

int ImageSurface::adoptFrom(RSBFormat requested, Surface* source, uint32_t classId, const uint32_t* palette)
{
    using namespace SurfaceFlag;
    SurfaceDescription d;
    if (!source || source == this || classId != kSurfaceTypeId || !source->getDescription(d))
        return 0;
    if (requested && d.format != requested)
        return 0;
    if (palette && !(formatFlags(d.format) & FormatFlagPalette))
        return 0;
    if (((m_flags & Attribute4) && !d.attribute4) || ((m_flags & PlaneUse1) && !(d.planeUse & 1)) ||
        ((m_flags & PlaneUse2) && !(d.planeUse & 2)) || ((m_flags & Planar) && !d.planar) ||
        ((m_flags & ExplicitFormat) && !d.explicitFormat))
        return 0;
    m_flags |= Wraps;
    m_palette = palette ? palette : source->palette();
    m_wrapped = source;
    return 1;
}

namespace {

// Parsed attribute list; 0 from parse on a refused attribute.
struct SurfaceConfig {
    uint32_t width = 0, height = 0;
    uint32_t addFlags = 0;
    RSBFormat formats[3] = {};
    bool colourKey = false, keepPalettes = false;
    uint32_t keyColour = 0;
    const uint32_t* palette = nullptr;
    Surface* source = nullptr;
    bool sourceGiven = false;
    uint32_t classId = 0;
    bool classGiven = false;
    InputStream* stream = nullptr;
    uint32_t decoderTag = 0;
    bool tagGiven = false;
    uint8_t transpose = 0, mirror = 0, flip = 0;

    int parse(const SurfaceAttribute* a)
    {
        using namespace SurfaceKey;
        bool streamGiven = false;
        for (; a && a->key != End; ++a) {
            const uintptr_t v = a->value;
            switch (a->key) {
            case Width: width = static_cast<uint16_t>(v); break;
            case Height: height = static_cast<uint16_t>(v); break;
            case Refused:
                if (v)
                    return 0;
                break;
            case Attribute4: addFlags |= v ? SurfaceFlag::Attribute4 : 0; break;
            case Planar: addFlags |= v ? SurfaceFlag::Planar : 0; break;
            case Format0: formats[0] = RSBFormat(v); addFlags |= SurfaceFlag::ExplicitFormat; break;
            case Format1: formats[1] = RSBFormat(v); addFlags |= SurfaceFlag::Plane1; break;
            case Format2: formats[2] = RSBFormat(v); addFlags |= SurfaceFlag::Plane2; break;
            case ColourKey:
                if (sourceGiven || classGiven)
                    return 0;
                colourKey = true;
                keyColour = uint32_t(v) & 0xFFFFFF;
                break;
            case KeepPalettes: keepPalettes = true; break;
            case SurfaceKey::Palette: palette = reinterpret_cast<const uint32_t*>(v); break;
            case Source:
                source = reinterpret_cast<Surface*>(v);
                sourceGiven = true;
                break;
            case SourceClass:
                if (classGiven || streamGiven || tagGiven)
                    return 0;
                classId = uint32_t(v);
                classGiven = true;
                break;
            case Stream:
                stream = reinterpret_cast<InputStream*>(v);
                streamGiven = true;
                break;
            case DecoderTag:
                if (sourceGiven || classGiven || tagGiven)
                    return 0;
                decoderTag = uint32_t(v);
                tagGiven = true;
                break;
            case Orientation: {
                static constexpr uint8_t kTable[7][3] = {{0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 0},
                                                         {1, 1, 0}, {1, 0, 1}, {1, 1, 1}};
                if (v > 6)
                    return 0;
                transpose = kTable[v][0];
                mirror = kTable[v][1];
                flip = kTable[v][2];
                break;
            }
            default: break;
            }
        }
        return 1;
    }
};

bool isSixteenBitDisplay(RSBFormat d)
{
    return d == PixelFormat::R5G6B5 || d == PixelFormat::X14R6G6B6;
}

// The decoder's source formats and what each becomes on a display of format
// d; false for displays the library does not draw to.
bool buildFormatMap(DecodeOptions& o, RSBFormat display, bool keyed, bool keepPalettes)
{
    using namespace PixelFormat;
    if (display == A8R8G8B8)
        display = X8R8G8B8;
    if (display != X8R8G8B8 && !isSixteenBitDisplay(display))
        return false;
    const RSBFormat keyedFormat = isSixteenBitDisplay(display) ? A1R5G5B5 : A8R8G8B8;
    const RSBFormat direct[2] = {R5G6B5, R8G8B8};
    const RSBFormat paletted[4] = {P4X8R8G8B8, P4A8R8G8B8, P8X8R8G8B8, P8A8R8G8B8};
    uint32_t n = 0;
    for (RSBFormat s : direct)
        o.formatMap[n++] = {s, keyed ? keyedFormat : display};
    for (RSBFormat s : paletted) {
        RSBFormat d = keyed ? keyedFormat : display;
        if (keepPalettes)
            d = keyed ? (s == P4X8R8G8B8 || s == P4A8R8G8B8 ? P4A8R8G8B8 : P8A8R8G8B8) : s;
        o.formatMap[n++] = {s, d};
    }
    return true;
}

} // namespace

int MemorySurface::init(const SurfaceAttribute* attributes)
{
    releaseAll();
    SurfaceConfig c;
    const auto refuse = [this] {
        releaseAll();
        return 0;
    };
    if (!c.parse(attributes))
        return refuse();
    m_flags |= c.addFlags;
    if (c.sourceGiven) {
        const uint32_t classId = c.classGiven ? c.classId : (c.source ? c.source->m_typeId : 0);
        if (!adoptFrom(c.formats[0], c.source, classId, c.palette))
            return refuse();
        uint32_t w = 0, h = 0;
        c.source->getSize(&w, &h);
        if (!createPlanes(c.formats[1], c.formats[2], w, h))
            return refuse();
        m_flags |= SurfaceFlag::Initialised;
        return 1;
    }
    const ScreenContext* screen = getGameApp() ? getDisplay() : nullptr;
    const RSBFormat display = screen ? screen->getPixelFormat() : PixelFormat::X8R8G8B8;
    DecodeOptions options;
    const DecodeOptions* decode = nullptr;
    RSBFormat format = c.formats[0];
    if (c.stream) {
        options.keyFlag = c.colourKey;
        options.transpose = c.transpose;
        options.mirror = c.mirror;
        options.flip = c.flip;
        options.stream = c.stream;
        options.decoderTag = c.decoderTag;
        options.keyColour = c.keyColour;
        if (!format && !buildFormatMap(options, display, c.colourKey, c.keepPalettes))
            return refuse();
        decode = &options;
    } else if (!format) {
        format = display;
    }
    if (!createPixelBuffer(format, c.width, c.height, c.palette, decode))
        return refuse();
    if (!createPlanes(c.formats[1], c.formats[2], m_planes[0]->width(), m_planes[0]->height()))
        return refuse();
    m_flags |= SurfaceFlag::Initialised;
    return 1;
}

namespace {

constexpr uint32_t kDescriptionTags[] = {ResourceType::DeviceSurfaceForBoth,    ResourceType::MemorySurface,
                                         ResourceType::DeviceSurface,           ResourceType::MemorySurfaceForLibrary,
                                         ResourceType::DeviceSurfaceForLibrary, ResourceType::DeviceSurfaceForDevice};

// The one open pack: where the event dispatcher holds it, else the resource
// manager's.
ResourcePack* findResourcePack()
{
    HandlerEntry* entry = nullptr;
    if (HandlerList* dispatcher = getEventDispatcher())
        if (dispatcher->find(kResourcePackTypeId, kResourcePackKey, &entry) && entry && entry->m_payload)
            return static_cast<ResourcePack*>(entry->m_payload);
    ResourceManager* manager = getResourceManager();
    return manager ? manager->pack() : nullptr;
}

} // namespace

int SurfaceBase::load(InputStream& stream, uint32_t tag)
{
    const uint32_t available = stream.available();
    if (available == 0 || std::find(std::begin(kDescriptionTags), std::end(kDescriptionTags), tag) ==
                              std::end(kDescriptionTags))
        return 0;
    const uint32_t n = available / 8;
    // The list and the pairs the load appends must fit: longer descriptions
    // are refused rather than reported loaded with nothing set up.
    if (n > kMaxSurfacePairs)
        return 0;
    SurfaceAttribute list[kMaxSurfacePairs + 3] = {};
    uint32_t count = 0;
    bool zeroFormat = false, failed = false;
    uint32_t decoderTag = 0, classId = 0;
    bool tagKept = false, classKept = false;
    PackEntryStream entryStream;
    ResourceManager* manager = getResourceManager();
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t key = stream.readU32();
        uintptr_t value = stream.readU32();
        switch (key) {
        case SurfaceKey::Format0:
            if (value == 0xFFFFFFFF)
                value = 0;
            else if (value == 0)
                zeroFormat = true;
            break;
        case SurfaceKey::Stream: {
            ResourcePack* pack = findResourcePack();
            const uint32_t id = uint32_t(value);
            value = 0;
            if (pack && pack->indexOf(id) >= 0 && entryStream.open(pack, id, 1)) {
                value = reinterpret_cast<uintptr_t>(static_cast<InputStream*>(&entryStream));
                decoderTag = pack->typeOf(id);
                tagKept = true;
            } else {
                failed = true;
            }
            break;
        }
        case SurfaceKey::Palette: {
            // Copied into a full table that the surface owns: decoders and blit
            // loops index 256 entries whatever the resource held.
            Resource* r = nullptr;
            const uint32_t id = uint32_t(value);
            value = 0;
            if (manager && manager->loadById(id, &r) && r) {
                if (r->m_typeId == ResourceClassId::Palette) {
                    const ::Palette* p = static_cast<PaletteResource*>(r)->palette();
                    m_loadedPalette.reset(new (std::nothrow) uint32_t[kPaletteEntries]());
                    if (m_loadedPalette && p && p->colours())
                        std::copy_n(p->colours(), std::min(p->count(), kPaletteEntries), m_loadedPalette.get());
                    value = reinterpret_cast<uintptr_t>(m_loadedPalette.get());
                }
                manager->releaseRef(&r);
            }
            break;
        }
        case SurfaceKey::Source: {
            Resource* r = nullptr;
            const uint32_t id = uint32_t(value);
            value = 0;
            // The shared surface stays held for as long as this one shows it.
            if (manager && manager->loadById(id, &r) && r && r->m_typeId == ResourceClassId::Surface) {
                Surface* source = static_cast<SurfaceResource*>(r)->surface();
                value = reinterpret_cast<uintptr_t>(source);
                classId = source ? source->m_typeId : 0;
                classKept = true;
            }
            break;
        }
        default: break;
        }
        list[count++] = SurfaceAttribute{key, value};
    }
    if (stream.hasError())
        failed = true;
    if (zeroFormat)
        list[count++] = SurfaceAttribute{SurfaceKey::KeepPalettes, 1};
    bool sourceListed = false;
    for (uint32_t i = 0; i < count; ++i)
        sourceListed = sourceListed || list[i].key == SurfaceKey::Source;
    if (tagKept && classKept)
        failed = true;
    else if (tagKept && !sourceListed)
        list[count++] = SurfaceAttribute{SurfaceKey::DecoderTag, decoderTag};
    else if (classKept)
        list[count++] = SurfaceAttribute{SurfaceKey::SourceClass, classId};
    list[count] = SurfaceAttribute{SurfaceKey::End, 0};
    const int result = failed ? 0 : init(list);
    if (!result) {
        releaseAll();
        m_loadedPalette.reset();
    }
    entryStream.reset();
    return result;
}

uint32_t SurfaceResource::memorySize() const
{
    const Surface* s = surface();
    uint32_t w = 0, h = 0;
    if (!s || !s->getSize(&w, &h))
        return 0;
    return w * h * bytesPerPixel(s->getFormat());
}

HashedObject* SurfaceResource::makePayload()
{
    return new (std::nothrow) MemorySurface();
}

int SurfaceResource::loadPayload(InputStream& stream, uint32_t tag)
{
    Surface* s = surface();
    return s ? s->load(stream, tag) : 0;
}

int registerSurfaceResourceTypes()
{
    return registerResourceType(ResourceType::MemorySurface, makeResource<SurfaceResource>) &&
           registerResourceType(ResourceType::MemorySurfaceForLibrary, makeResource<SurfaceResource>);
}
