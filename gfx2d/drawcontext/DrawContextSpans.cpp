// The drawing context's general path: any matrix other than a translation,
// polygons, and images drawn with custom span programs run through the
// raster state, the scan converter and the span programs.
#include "gfx2d/drawcontext/DrawContext.h"

#include <algorithm>
#include <memory>

#include "framework/resources/ResourceManager.h"
#include "gfx2d/blit/BlitClip.h"
#include "gfx2d/blit/PixelRows.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/drawcontext/internal/DrawTarget.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/raster/UnalignedAccess.h"
#include "gfx2d/span/ScanConversion.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"

namespace {

// Segments are filled as their bounding rectangles, one routine a target format.
template <class Pixel>
void fillRows(uint8_t* p, int32_t pitch, uint32_t argb, int32_t w, int32_t h)
{
    const Pixel value = sizeof(Pixel) == 4 ? Pixel(0xFF000000u | argb) : Pixel(rgb565(argb >> 16, argb >> 8, argb));
    for (int32_t y = 0; y < h; ++y, p += pitch)
        for (int32_t x = 0; x < w; ++x)
            storeUnaligned<Pixel>(p + x * int32_t(sizeof(Pixel)), value);
}

// The set an image draws with, by the resolved colour key, alpha test, blend
// and blend mode; 0 when no set draws that state.
uint32_t imageSpanSet(bool key, bool alphaTest, bool blend, uint32_t mode)
{
    if (blend) {
        if (mode == DrawBlend::SourceAlpha)
            return key ? kSpanSetKeyedBlend : 0;
        return mode >= 1 && mode <= 4 ? 0 : kSpanSetOpaque;
    }
    if (alphaTest)
        return 0;
    return key ? kSpanSetKeyed : kSpanSetOpaque;
}

// The set whose programs copy as a loop of that query would: plain, keyed,
// or keyed with constant alpha, the three kinds of image loop there are.
uint32_t copySpanSet(const BlitKey& q)
{
    if (q.alphaTest)
        return 0;
    if (q.blendMode == BlitBlendMode::Opaque)
        return q.keyMode ? kSpanSetKeyed : kSpanSetOpaque;
    return q.keyMode && q.blendMode == BlitBlendMode::ConstantAlpha ? kSpanSetKeyedBlend : 0;
}

} // namespace

bool DrawContext::prepareRaster(const Target& t)
{
    RasterState& rs = *m_raster;
    RasterStateBlock& b = rs.block();
    // A refused target leaves the last one's planes bound, with whatever
    // stride a span stored: draw nothing then, nor without a colour plane.
    if (!rs.bindTarget() || b.destbase == 0)
        return false;
    b.destheight = int32_t(t.height);
    const ClipRect& c = t.clip;
    setClipRectangle(rs, c.x, c.y, c.x + c.w, c.y + c.h);
    setOneToOneMapping(rs);
    for (uint32_t i = 0; i < 4; ++i)
        b.flatColour[i] = static_cast<uint8_t>(channelByte(colour().channels, i));
    b.drawBytes[0] = b.drawBytes[1] = 0;
    // The context draws neither outlines nor culled faces, and its polygons
    // are split into triangles: modes a span program or an image quad
    // stored do not outlive their draw.
    b.outlineMode = 0;
    b.cullEnabled = 0;
    b.wholePolygonMode = 0;
    rs.resetPool();
    return true;
}

int DrawContext::drawArraysSpans(Target& t, const Effective&, uint32_t mode, uint32_t first, uint32_t count)
{
    if (mode == DrawMode::Polygon && count > kMaxPolygonVertices)
        return 0;
    const uint32_t type = m_vertices.type;
    const uint8_t code = type == VertexType::S8 ? kVertexS8 : type == VertexType::S16 ? kVertexS16 : kVertexS32;
    const uint32_t element = vertexElementBytes(type);
    const uint32_t stride = m_vertices.stride ? m_vertices.stride : m_vertices.size * element;
    // The flat span fills the two formats it knows; another target is refused.
    if (!element || !m_vertices.pointer || m_vertices.size < 2 || stride > 255 ||
        (t.format != PixelFormat::X8R8G8B8 && t.format != PixelFormat::R5G6B5) || !prepareRaster(t))
        return 0;
    VertexBinding binding;
    binding.position.set(m_vertices.pointer, 2, code, type == VertexType::Fixed32 ? 0 : 16, 0, uint8_t(stride));
    const bool flipY = m_yDown != 1;
    ScanConverter sc(*m_raster);
    sc.bindNativeSpan(flatSpan, 1);
    if (mode == DrawMode::Lines) {
        const FillRoutine fill = t.format == PixelFormat::X8R8G8B8 ? fillRows<uint32_t>
                                 : t.format == PixelFormat::R5G6B5 ? fillRows<uint16_t>
                                                                   : nullptr;
        sc.drawSegments(binding, first, count, fill, flipY);
    } else if (mode == DrawMode::Polygon) {
        sc.drawPolygon(binding, first, count, flipY);
    } else {
        sc.drawRectangles(binding, first, count, flipY);
    }
    m_raster->bindSpanProgram(nullptr);
    return 1;
}

int DrawContext::drawImageSpans(Target& t, const Effective& e, const BlitKey* loopless, Surface* surface,
                                uint32_t mirror, const Rect16& asked)
{
    SpanProgramSet* set = nullptr;
    const uint32_t id = loopless ? copySpanSet(*loopless) : imageSpanSet(e.key, e.alphaTest, e.blend, e.mode);
    if (m_customSpans) {
        set = m_customSpanSet;
    } else if (id) {
        ResourceManager* manager = getResourceManager();
        set = manager ? findSpanProgramSet(*manager, id) : nullptr;
    }
    if (!set || !set->select(t.format, surface->getFormat(), kSpanKey3Image, kSpanKey4Image, kSpanKey5Image,
                             kSpanKey6Image))
        return 0;
    uint32_t sw = 0, sh = 0;
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    surface->getSize(&sw, &sh);
    // A translated picture lands where the blit loops put it, cut to the clip
    // in whole pixels before any quad is built. Any other is cut to the
    // picture (spans read texels without bounds), the part left out moving
    // the quad's first corner by (x, y).
    const bool mirrorX = mirror & DrawMirror::X, mirrorY = mirror & DrawMirror::Y;
    Rect16 src = asked;
    int32_t x = 0, y = 0;
    if (loopless) {
        if (!placeBlit(t, sw, sh, mirror, src, x, y))
            return 1;
    } else {
        int32_t sx = asked.x, sy = asked.y, w = asked.w, h = asked.h;
        if (w <= 0 || h <= 0 ||
            !(clipBlitSource(&x, &y, int32_t(sw), int32_t(sh), &sx, &sy, &w, &h, mirrorX, mirrorY) & ClipBits::Remains))
            return 1;
        src = Rect16{int16_t(sx), int16_t(sy), int16_t(w), int16_t(h)};
    }
    if (!prepareRaster(t))
        return 0;
    if (!surface->lock(&pixels, &pitch, 0, nullptr) || pitch <= 0) {
        surface->unlock();
        return 0;
    }
    // Spans write rows later spans read: a picture drawn onto itself (or one
    // sharing its pixels) is read from a copy, as another picture would be.
    const PixelRows image{pixels, pitch, int32_t(sh), size_t(pitch)};
    std::unique_ptr<uint8_t[]> copy;
    if (rowsOverlap(image, {t.pixels, t.pitch, int32_t(t.height), size_t(t.width) * bytesPerPixel(t.format)})) {
        copy = packRows(image);
        if (!copy) {
            surface->unlock();
            return 0;
        }
        pixels = copy.get();
    }
    // Texture coordinates are 16.16: they count from the rectangle's first
    // row, so rows past 32,767 of a tall picture stay in reach. Pictures of
    // less than a byte a pixel keep their rows, which no sampler stride names.
    const uint32_t bpp = bytesPerPixel(surface->getFormat());
    const int32_t firstRow = bpp ? src.y : 0;
    const uint32_t skipped = uint32_t(firstRow) * sw * bpp;
    TexturePixels px;
    px.format = surface->getFormat();
    px.width = sw;
    px.height = sh - uint32_t(firstRow);
    px.pixels = pixels + skipped;
    px.bytes = uint32_t(pitch) * sh - skipped;
    if (const uint32_t* palette = surface->palette()) {
        px.palette = reinterpret_cast<const uint8_t*>(palette);
        px.paletteBytes = kPaletteEntries * 4;
    }
    RasterState& rs = *m_raster;
    // A picture the unit refuses (a palette format without its colours, more
    // than a span block maps) is refused before the draw, as the blit loops
    // refuse it: a program would fault on the host's gap, not its own.
    if (!rs.bindTexturePixels(0, px)) {
        surface->unlock();
        return 0;
    }
    rs.block().regs[kSpanConstantAlpha] = int32_t(channelByte(colour().channels, 0));
    m_spanProgram = set->selected();
    rs.bindSpanProgram(m_spanProgram);
    const Fixed x0 = Fixed(src.x) << 16, x1 = Fixed(src.x + src.w) << 16;
    const Fixed y0 = Fixed(src.y - firstRow) << 16, y1 = Fixed(src.y - firstRow + src.h) << 16;
    const Fixed ul = mirrorX ? x1 : x0, ur = mirrorX ? x0 : x1;
    const Fixed vt = mirrorY ? y1 : y0, vb = mirrorY ? y0 : y1;
    // Corners (0, 0), (0, h), (w, h), (w, 0) of the image rectangle.
    const Fixed u[4] = {ul, ul, ur, ur}, v[4] = {vt, vb, vb, vt};
    // The context's matrices live in the record, where programs can write:
    // what one stores there does not outlive its draw.
    const MatrixStack2D matrices = rs.block().matrix2D;
    if (loopless) {
        // Placed by (x, y) alone, rows as they are, as the loops copy them.
        const Fixed placed[6] = {kFixedOne, 0, 0, kFixedOne, 0, 0};
        std::copy(std::begin(placed), std::end(placed), topMatrix());
    }
    ScanConverter sc(rs);
    sc.useProgram(set->selectedProgram());
    sc.drawTexturedQuad(Fixed(src.w) << 16, Fixed(src.h) << 16, u, v, !loopless && m_yDown != 1, x, y);
    rs.block().matrix2D = matrices;
    // The program had all it is owed (the target's planes at one size, the
    // picture with its palette, the tables): a draw that stopped, stopped
    // on the program's own fault.
    if (sc.stopped())
        set->setAside(m_spanProgram);
    rs.unbindTextureUnit(0);
    surface->unlock();
    return sc.stopped() ? 0 : 1;
}
