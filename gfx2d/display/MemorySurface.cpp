// Memory surfaces configured by an attribute list: the list parsed, the
// decoder's format map chosen from the display's format, then a picture
// decoded, a plain buffer made, or another surface shared.
#include "gfx2d/display/Surface.h"

#include "framework/services/AppBase.h"
#include "gfx2d/display/ScreenContext.h"

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
            // Sizes are 16-bit: a larger value names no size, not a smaller one.
            case Width:
            case Height:
                if (v > 0xFFFF)
                    return 0;
                (a->key == Width ? width : height) = uint32_t(v);
                break;
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
    } else {
        format = format ? format : display;
        // A blank surface's planes are all known now: none is made when
        // together they pass the allowance.
        const uint64_t pixels = uint64_t(c.width) * c.height;
        if ((uint64_t(bytesPerPixel(format)) + bytesPerPixel(c.formats[1]) + bytesPerPixel(c.formats[2])) * pixels >
            kMaxSurfaceBytes)
            return refuse();
    }
    if (!createPixelBuffer(format, c.width, c.height, c.palette, decode))
        return refuse();
    if (!createPlanes(c.formats[1], c.formats[2], m_planes[0]->width(), m_planes[0]->height()))
        return refuse();
    m_flags |= SurfaceFlag::Initialised;
    return 1;
}
