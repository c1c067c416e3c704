// Drawing context: state, matrices and the blit-loop fast paths of
// drawArrays and drawImage.
#include "gfx2d/drawcontext/DrawContext.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/services/ServiceAccessors.h"
#include "gfx2d/blit/BlitClip.h"
#include "gfx2d/blit/BlitterRegistry.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/internal/DrawTarget.h"
#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/raster/UnalignedAccess.h"

namespace {
// 16.16 degrees to 1024ths of a turn: 360 << 16 / 1024.
constexpr int32_t kDegreesPerAngleUnit = 23040;
constexpr Fixed kIdentity[6] = {kFixedOne, 0, 0, kFixedOne, 0, 0};

// A picture's whole area as a rectangle: sides past what 16 bits hold keep
// the part they reach rather than wrapping negative.
Rect16 wholeRect(uint32_t width, uint32_t height)
{
    return Rect16{0, 0, int16_t(std::min<uint32_t>(width, INT16_MAX)), int16_t(std::min<uint32_t>(height, INT16_MAX))};
}
} // namespace

DrawService::~DrawService()
{
    forgetCachedService(&AppBase::m_drawContext, this);
}

DrawContext::~DrawContext()
{
    if (m_begun)
        end(0, 0);
}

DrawContext* getDrawContext()
{
    return static_cast<DrawContext*>(findOrCreateCachedService(kDrawContextServiceId, &AppBase::m_drawContext));
}

int DrawContext::open(uint32_t a, uint32_t b)
{
    if (m_opened)
        close(a, b);
    m_opened = static_cast<uint8_t>(begin(a, b));
    return m_opened;
}

void DrawContext::close(uint32_t a, uint32_t b)
{
    end(a, b);
    m_opened = 0;
}

int DrawContext::attach()
{
    ScreenContext* screen = getDisplay();
    m_raster = screen ? screen->rasterState() : nullptr;
    if (!m_raster)
        return 0;
    m_rasterGeneration = screen->rasterGeneration();
    MatrixStack2D& stack = m_raster->block().matrix2D;
    std::copy(std::begin(kIdentity), std::end(kIdentity), stack.entries[0]);
    stack.count = 1;
    m_blitKey = BlitKey{};
    return 1;
}

void DrawContext::detach()
{
    m_raster = nullptr;
    m_vertices = {};
}

int DrawContext::begin(uint32_t, uint32_t)
{
    const int attached = attach();
    for (uint32_t& count : m_counts)
        count = 1;
    m_colours[0] = DrawColour{};
    m_yDown = 1;
    disable(DrawGroup::ColourKey);
    disable(DrawGroup::AlphaTest);
    disable(DrawGroup::Blend);
    setBlendMode(DrawBlend::AlphaTested);
    m_clip = Rect16{};
    ScreenContext* screen = getDisplay();
    if (Surface* target = screen ? screen->getRenderTarget(0, 0) : nullptr) {
        uint32_t w = 0, h = 0;
        target->getSize(&w, &h);
        m_clip = wholeRect(w, h);
    }
    m_effectiveClip = m_clip;
    // Drawing needs the raster state: without it the context stays closed.
    m_begun = static_cast<uint8_t>(attached);
    return attached;
}

void DrawContext::end(uint32_t, uint32_t)
{
    m_customSpans = 0;
    m_customSpanSet = nullptr;
    for (uint32_t& count : m_counts)
        count = 0;
    m_begun = 0;
    m_active = 0;
    m_clip = Rect16{};
    m_spanProgram = nullptr;
    detach();
}

int DrawContext::beginDraw()
{
    ScreenContext* screen = getDisplay();
    Surface* target = screen ? screen->getRenderTarget(0, 0) : nullptr;
    uint32_t w = 0, h = 0;
    if (target) {
        target->lock(nullptr, nullptr, 0, nullptr);
        target->getSize(&w, &h);
    }
    m_clip = wholeRect(w, h);
    m_effectiveClip = m_clip;
    m_active = 1;
    // A frame's span programs share one allowance of interpreted words.
    if (RasterState* rs = raster())
        rs->beginSpanFrame();
    return 1;
}

void DrawContext::endDraw()
{
    ScreenContext* screen = getDisplay();
    if (Surface* target = screen ? screen->getRenderTarget(0, 0) : nullptr)
        target->unlock();
    m_active = 0;
}

bool DrawContext::flag(uint32_t group) const
{
    if (group == DrawGroup::Colour || group >= DrawGroup::Count || m_counts[group] == 0)
        return false;
    return m_flags[group][m_counts[group] - 1] != 0;
}

void DrawContext::setFlag(uint32_t group, uint8_t value)
{
    if (group != DrawGroup::Colour && group < DrawGroup::Count && m_counts[group] != 0)
        m_flags[group][m_counts[group] - 1] = value;
}

void DrawContext::setColor(uint32_t argb)
{
    if (!m_begun)
        return;
    DrawColour& c = m_colours[m_counts[DrawGroup::Colour] - 1];
    c.packed = argb;
    channelsFromArgb(c.channels, argb);
}

void DrawContext::setColorv(const int32_t* channels)
{
    setColor4(channels[0], channels[1], channels[2], channels[3]);
}

void DrawContext::setColor4(int32_t a, int32_t r, int32_t g, int32_t b)
{
    if (!m_begun)
        return;
    DrawColour& c = m_colours[m_counts[DrawGroup::Colour] - 1];
    storeChannels(c.channels, a, r, g, b);
    c.packed = packChannels(c.channels);
}

int DrawContext::pushAttributes(uint32_t group)
{
    if (group >= DrawGroup::Count || m_counts[group] == 0 || m_counts[group] == kAttributeDepth)
        return 0;
    const uint32_t top = m_counts[group]++ - 1;
    if (group == DrawGroup::Colour) {
        m_colours[top + 1] = m_colours[top];
        return 1;
    }
    m_flags[group][top + 1] = m_flags[group][top];
    if (group == DrawGroup::Blend)
        m_blendModes[top + 1] = m_blendModes[top];
    return 1;
}

int DrawContext::popAttributes(uint32_t group)
{
    if (group >= DrawGroup::Count || m_counts[group] <= 1)
        return 0;
    --m_counts[group];
    return 1;
}

void DrawContext::setBlendMode(uint32_t mode)
{
    if (m_counts[DrawGroup::Blend] != 0)
        m_blendModes[m_counts[DrawGroup::Blend] - 1] = mode;
}

RasterState* DrawContext::raster() const
{
    ScreenContext* screen = m_raster ? getDisplay() : nullptr;
    const bool held =
        screen && screen->rasterState() == m_raster && screen->rasterGeneration() == m_rasterGeneration;
    return held ? m_raster : nullptr;
}

Fixed* DrawContext::topMatrix()
{
    RasterState* rs = raster();
    if (!rs)
        return nullptr;
    MatrixStack2D& stack = rs->block().matrix2D;
    return stack.count >= 1 && stack.count <= int32_t(kMatrixDepth) ? stack.entries[stack.count - 1] : nullptr;
}

void DrawContext::loadIdentity()
{
    if (Fixed* m = topMatrix())
        std::copy(std::begin(kIdentity), std::end(kIdentity), m);
}

void DrawContext::loadMatrix(const Fixed* m, const Fixed* t)
{
    if (Fixed* top = topMatrix()) {
        const Fixed words[6] = {m[0], m[2], m[1], m[3], t[0], t[1]};
        std::copy(std::begin(words), std::end(words), top);
    }
}

void DrawContext::multMatrix(const Fixed* m)
{
    if (Fixed* top = topMatrix())
        affineMultiply(top, m);
}

void DrawContext::translate(Fixed dx, Fixed dy)
{
    if (Fixed* top = topMatrix()) {
        Fixed v[2];
        affineTransformVector(top, dx, dy, v);
        top[4] = wrapAdd(top[4], v[0]);
        top[5] = wrapAdd(top[5], v[1]);
    }
}

void DrawContext::rotate(Fixed angle)
{
    Fixed* top = topMatrix();
    const RasterTables* tables = top ? m_raster->tables() : nullptr;
    if (!top || !tables)
        return;
    Fixed c = 0, s = 0;
    sinCos(*tables, angle / kDegreesPerAngleUnit, &c, &s);
    const Fixed r[6] = {c, -s, s, c, 0, 0};
    affineMultiply(top, r);
}

void DrawContext::scale(Fixed sx, Fixed sy)
{
    if (Fixed* top = topMatrix())
        affineScale(top, sx, sy);
}

int DrawContext::pushMatrix()
{
    Fixed* top = topMatrix();
    if (!top)
        return 0;
    MatrixStack2D* stack = &m_raster->block().matrix2D;
    if (stack->count >= int32_t(kMatrixDepth))
        return 0;
    std::copy(top, top + 6, stack->entries[stack->count++]);
    return 1;
}

int DrawContext::popMatrix()
{
    RasterState* rs = raster();
    if (!rs || rs->block().matrix2D.count <= 1)
        return 0;
    --rs->block().matrix2D.count;
    return 1;
}

void DrawContext::getMatrix(const Fixed** m, const Fixed** t)
{
    if (const Fixed* top = topMatrix()) {
        m_matrixOut.m[0] = top[0];
        m_matrixOut.m[1] = top[2];
        m_matrixOut.m[2] = top[1];
        m_matrixOut.m[3] = top[3];
        m_translationOut[0] = top[4];
        m_translationOut[1] = top[5];
    }
    if (m)
        *m = m_matrixOut.m;
    if (t)
        *t = m_translationOut;
}

void DrawContext::vertexPointer(uint32_t size, uint32_t type, uint32_t stride, const void* pointer)
{
    m_vertices.size = size;
    m_vertices.type = type;
    m_vertices.stride = stride;
    m_vertices.pointer = static_cast<const uint8_t*>(pointer);
}

void DrawContext::setClipRect(const int16_t* r)
{
    setClip(r[0], r[1], r[2], r[3]);
}

void DrawContext::setClip(int32_t x, int32_t y, int32_t w, int32_t h)
{
    m_clip = Rect16{int16_t(x), int16_t(y), int16_t(w), int16_t(h)};
    if (!m_active)
        return;
    ScreenContext* screen = getDisplay();
    uint32_t tw = 0, th = 0;
    if (Surface* target = screen ? screen->getRenderTarget(0, 0) : nullptr)
        target->getSize(&tw, &th);
    updateEffectiveClip(tw, th);
}

void DrawContext::updateEffectiveClip(uint32_t width, uint32_t height)
{
    m_effectiveClip = wholeRect(width, height);
    Rect16::clipTo(m_effectiveClip, m_clip);
}

bool DrawContext::pureTranslation(const Fixed* m) const
{
    return m[0] == kFixedOne && m[1] == 0 && m[2] == 0 && m[3] == kFixedOne;
}

bool DrawContext::resolve(Effective& e, bool image) const
{
    e.key = flag(DrawGroup::ColourKey);
    e.alphaTest = flag(DrawGroup::AlphaTest);
    e.blend = flag(DrawGroup::Blend);
    e.mode = blendMode();
    if ((e.key && e.alphaTest) || (e.blend && e.key && e.mode == DrawBlend::AlphaTested))
        return false;
    if (e.blend) {
        if (e.mode == DrawBlend::SourceAlpha) {
            if (image) {
                e.alphaTest = false;
            } else {
                e.mode = DrawBlend::AlphaTested;
                e.alphaTest = true;
            }
        } else if (e.mode == DrawBlend::AlphaTested) {
            e.alphaTest = true;
        }
        e.blitBlend = e.mode == DrawBlend::SourceAlpha   ? BlitBlendMode::ConstantAlpha
                      : e.mode == DrawBlend::AlphaTested ? BlitBlendMode::ColourAlpha
                                                         : BlitBlendMode::Opaque;
    }
    return true;
}

bool DrawContext::openTarget(Target& t)
{
    if (!m_begun || !raster())
        return false;
    ScreenContext* screen = getDisplay();
    t.surface = screen ? screen->getRenderTarget(0, 0) : nullptr;
    if (!t.surface || !t.surface->getSize(&t.width, &t.height))
        return false;
    if (!t.surface->lock(&t.pixels, &t.pitch, 0, nullptr)) {
        t.surface->unlock();
        return false;
    }
    t.format = t.surface->getFormat();
    Rect16 c = wholeRect(t.width, t.height);
    Rect16::clipTo(c, m_effectiveClip);
    t.clip = ClipRect{c.x, c.y, std::max<int32_t>(c.w, 0), std::max<int32_t>(c.h, 0)};
    return true;
}

BlitFunction DrawContext::findLoop(const BlitKey& q)
{
    BlitKey& k = m_blitKey;
    if (k.sourceFormat != q.sourceFormat || k.destFormat != q.destFormat || k.keyMode != q.keyMode ||
        k.alphaTest != q.alphaTest || k.blendMode != q.blendMode || k.operation != q.operation ||
        (!k.function && k.destFormat == 0)) {
        k = q;
        findBlitter(k);
    }
    return k.function;
}

bool DrawContext::fetchVertex(uint32_t i, Fixed* out) const
{
    const uint32_t element = vertexElementBytes(m_vertices.type);
    if (!element || !m_vertices.pointer || m_vertices.size < 2)
        return false;
    const uint32_t stride = m_vertices.stride ? m_vertices.stride : m_vertices.size * element;
    const uint8_t* p = m_vertices.pointer + size_t(i) * stride;
    for (int c = 0; c < 2; ++c, p += element) {
        if (element == 1)
            out[c] = int32_t(static_cast<int8_t>(*p)) * kFixedOne;
        else if (element == 2)
            out[c] = int32_t(loadUnaligned<int16_t>(p)) * kFixedOne;
        else
            out[c] = loadUnaligned<int32_t>(p);
    }
    return true;
}

int DrawContext::drawArrays(uint32_t mode, uint32_t first, uint32_t count)
{
    if (!m_begun || mode < DrawMode::Lines || mode > DrawMode::Rectangles)
        return 0;
    Effective e;
    if (!resolve(e, false))
        return 0;
    Target t;
    if (!openTarget(t))
        return 0;
    const Fixed* m = topMatrix();
    const uint32_t operation = mode == DrawMode::Rectangles ? BlitOperation::RectangleFill : BlitOperation::Line;
    int drawn = 0;
    if (m && mode != DrawMode::Polygon && pureTranslation(m)) {
        // A key has nothing to key in one colour: a keyed shape draws as an
        // unkeyed one, through the loop of its blend and alpha test.
        const BlitFunction loop =
            findLoop(BlitKey{PixelFormat::A8R8G8B8, t.format, 0, e.alphaTest ? 1u : 0u, e.blitBlend, operation});
        drawn = loop ? drawPairs(t, loop, operation, first, count) : 0;
    } else if (m) {
        drawn = drawArraysSpans(t, e, mode, first, count);
    }
    t.surface->unlock();
    return drawn;
}

int DrawContext::drawPairs(Target& t, BlitFunction loop, uint32_t operation, uint32_t first, uint32_t count)
{
    const Fixed* m = topMatrix();
    const int32_t tx = m[4] >> 16, ty = m[5] >> 16;
    const uint32_t argb = colour().packed;
    const ClipRect clip = t.clip;
    const bool flip = m_yDown != 1;
    for (uint32_t i = first; i + 1 < first + count; i += 2) {
        Fixed a[2], b[2];
        if (!fetchVertex(i, a) || !fetchVertex(i + 1, b))
            return 0;
        int32_t x, y, w, h;
        if (operation == BlitOperation::RectangleFill) {
            // Corner and opposite corner, the far edges excluded.
            x = (std::min(a[0], b[0]) >> 16) + tx;
            y = (std::min(a[1], b[1]) >> 16) + ty;
            w = (std::max(a[0], b[0]) >> 16) + tx - x;
            h = (std::max(a[1], b[1]) >> 16) + ty - y;
            if (flip)
                y = int32_t(t.height) - y - h;
            int32_t sx = 0, sy = 0;
            if (w <= 0 || h <= 0 || !(clipBlitRect(&x, &y, clip, &sx, &sy, &w, &h, false, false) & ClipBits::Remains))
                continue;
        } else {
            x = (a[0] >> 16) + tx;
            y = (a[1] >> 16) + ty;
            w = (b[0] >> 16) + tx - x;
            h = (b[1] >> 16) + ty - y;
            if (flip) {
                y = int32_t(t.height) - 1 - y;
                h = -h;
            }
            if (!(clipLine(&x, &y, clip, &w, &h) & ClipBits::Remains))
                continue;
        }
        BlitShapeJob job;
        job.dstPitch = t.pitch;
        job.dstPixels = t.pixelAt(x, y);
        job.colorFormat = PixelFormat::A8R8G8B8;
        job.color = &argb;
        job.width = w;
        job.height = h;
        loop(&job);
    }
    return 1;
}

int DrawContext::drawImage(Surface* surface, uint32_t mirror, const int16_t* srcRect)
{
    Effective e;
    uint32_t sw = 0, sh = 0;
    if (!m_begun || !surface || !resolve(e, true) || !surface->getSize(&sw, &sh))
        return 0;
    const Rect16 src = srcRect ? Rect16{srcRect[0], srcRect[1], srcRect[2], srcRect[3]}
                               : wholeRect(sw, sh);
    Target t;
    if (!openTarget(t))
        return 0;
    const Fixed* m = topMatrix();
    const bool translated = m && !m_customSpans && pureTranslation(m);
    const BlitKey query{surface->getFormat(), t.format, e.key ? BlitKeyMode::FixedKey : 0u, e.alphaTest ? 1u : 0u,
                        e.blitBlend, BlitOperation::ImageCopy};
    const BlitFunction copy = translated ? findLoop(query) : nullptr;
    // A picture the table has no loop for draws through the span program
    // that does what such a loop would.
    int drawn = 0;
    if (copy)
        drawn = blitImage(t, copy, surface, mirror, src);
    else if (m)
        drawn = drawImageSpans(t, e, translated ? &query : nullptr, surface, mirror, src);
    t.surface->unlock();
    return drawn;
}

bool DrawContext::placeBlit(const Target& t, uint32_t sw, uint32_t sh, uint32_t mirror, Rect16& src, int32_t& x,
                            int32_t& y)
{
    const bool mirrorX = mirror & DrawMirror::X, mirrorY = mirror & DrawMirror::Y;
    const Fixed* m = topMatrix();
    x = m[4] >> 16;
    y = m[5] >> 16;
    int32_t sx = src.x, sy = src.y, w = src.w, h = src.h;
    if (m_yDown != 1)
        y = int32_t(t.height) - y - h;
    // Source rectangles come from callers and files: cut them to the image first.
    if (w <= 0 || h <= 0 ||
        !(clipBlitSource(&x, &y, int32_t(sw), int32_t(sh), &sx, &sy, &w, &h, mirrorX, mirrorY) & ClipBits::Remains) ||
        !(clipBlitRect(&x, &y, t.clip, &sx, &sy, &w, &h, mirrorX, mirrorY) & ClipBits::Remains))
        return false;
    src = Rect16{int16_t(sx), int16_t(sy), int16_t(w), int16_t(h)};
    return true;
}

int DrawContext::blitImage(Target& t, BlitFunction copy, Surface* surface, uint32_t mirror, const Rect16& src)
{
    // Indices without their colours are no picture: the loops would draw nothing.
    if ((formatFlags(surface->getFormat()) & FormatFlagPalette) && !surface->palette())
        return 0;
    uint32_t sw = 0, sh = 0;
    surface->getSize(&sw, &sh);
    Rect16 cut = src;
    int32_t x = 0, y = 0;
    if (!placeBlit(t, sw, sh, mirror, cut, x, y))
        return 1;
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    if (!surface->lock(&pixels, &pitch, 0, &cut)) {
        surface->unlock();
        return 0;
    }
    BlitImageJob job;
    job.srcPitch = pitch;
    job.srcPixels = pixels;
    job.palette = surface->palette();
    job.dstPitch = t.pitch;
    job.dstPixels = t.pixelAt(x, y);
    job.width = cut.w;
    job.height = cut.h;
    job.mirrorX = mirror & DrawMirror::X;
    job.mirrorY = mirror & DrawMirror::Y;
    job.alpha = static_cast<uint8_t>(channelByte(colour().channels, 0));
    copy(&job);
    surface->unlock();
    return 1;
}
