// The renderer's sprites: one screen-aligned textured quad each, placed at
// the projection of the sprite's origin, its crop cut to the image and the
// quad to the scissor, fogged by the sprite's distance.
#include <algorithm>
#include <cmath>

#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"
#include "engine/render/CkwRendererStandard.h"
#include "engine/render/RenderImages.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwSprite.h"

namespace {

// Cuts a span running a0..a1 to [lo, hi]; b0..b1, its image on the other
// side (screen or texture), moves in proportion. False when nothing is left.
bool cutSpan(int32_t& a0, int32_t& a1, int32_t& b0, int32_t& b1, int32_t lo, int32_t hi)
{
    if (std::max(a0, a1) <= lo || std::min(a0, a1) >= hi)
        return false;
    const int64_t da = int64_t{a1} - a0, db = int64_t{b1} - b0;
    const auto moveTo = [&](int32_t& a, int32_t& b, int32_t edge) {
        const int64_t share = fixedDiv64((int64_t{edge} - a) << 16, da);
        b = static_cast<int32_t>(b + ((share * db + 0x8000) >> 16));
        a = edge;
    };
    if (std::min(a0, a1) < lo)
        moveTo(a0 < a1 ? a0 : a1, a0 < a1 ? b0 : b1, lo);
    if (std::max(a0, a1) > hi)
        moveTo(a0 > a1 ? a0 : a1, a0 > a1 ? b0 : b1, hi);
    return true;
}

// How much fog covers a sprite whose origin lies e in front of the eye, w
// the homogeneous weight of its eye-space position.
float spriteFog(const CkwFog& fog, float e, float w)
{
    if (fog.getMode() == CkwFog::kExponential)
        return 1.0f - floatExp(-(fog.getDensity() * (w != 1.0f ? e / w : e)));
    if (fog.getMode() != CkwFog::kLinear)
        return 0.0f;
    const float x = e - fog.getNearDistance() * w;
    const float r = (fog.getFarDistance() - fog.getNearDistance()) * w;
    if (r > 0.0f)
        return x <= 0.0f ? 0.0f : (x >= r ? 1.0f : x / r);
    if (r < 0.0f)
        return x >= 0.0f ? 0.0f : (x <= r ? 1.0f : x / r);
    return 1.0f;
}

} // namespace

void CkwRendererStandard::renderSprite(CkwSprite* sprite)
{
    CkwAppearance* appearance = sprite->getAppearance();
    int32_t left, top, right, bottom;
    if (appearance == nullptr || !sprite->computeCropCoords(left, top, right, bottom)
        || !rasterImageOf(sprite->getImage(), m_blitImage))
        return;
    const CkwCompositingMode* mode = appearance->getCompositingMode();
    m_rasterizer->setCompositingMode(rasterCompositingOf(mode != nullptr ? *mode : *m_defaultCompositingMode));
    const bool fade = m_blitImage.alphaData != nullptr && m_alphaFactor < 1.0f;
    m_rasterizer->setBlitImage(&m_blitImage, fade ? kFuncModulate : kFuncReplace);

    const CkwMatrix& world = sprite->getWorldTransform();
    float origin[4];
    CkwMatrix mvp = m_viewProjection;
    mvp.multiply(world);
    mvp.transform4(0.0f, 0.0f, 0.0f, 1.0f, origin);
    if (std::fabs(origin[3]) <= kMatrixEpsilon)
        return;
    for (int32_t i = 0; i < 3; ++i)
        origin[i] /= origin[3];
    // NaN from a degenerate transform places the sprite nowhere.
    if (!(origin[2] >= -1.0f && origin[2] <= 1.0f) || std::isnan(origin[0]) || std::isnan(origin[1]))
        return;
    // Corners project as mesh vertices do, but x + 1 and 1 - y may reach
    // +-128 rather than 0..2: a sprite far wider than the screen still
    // covers it, and every corner stays a bounded number of sixteenths.
    const CkwRect& viewport = m_graphics->m_viewportInClip;
    auto screenX = [&](float x) {
        return std::clamp(x + 1.0f, -128.0f, 128.0f) * 0.5f * viewport.width * 16.0f + viewport.x * 16;
    };
    auto screenY = [&](float y) {
        return std::clamp(1.0f - y, -128.0f, 128.0f) * 0.5f * viewport.height * 16.0f + viewport.y * 16;
    };
    const float x = screenX(origin[0]);
    const float y = screenY(origin[1]);

    float w, h;
    if (!sprite->isScaled()) {
        w = std::fabs(std::trunc(sprite->getCropWidth() * 16.0f));
        h = std::fabs(std::trunc(sprite->getCropHeight() * 16.0f));
    } else {
        // The node's unit x and y axes at the sprite's depth, measured on screen.
        CkwMatrix modelView = m_view;
        modelView.multiply(world);
        const float* m = modelView.m;
        const float lx = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
        const float ly = std::sqrt(m[4] * m[4] + m[5] * m[5] + m[6] * m[6]);
        float p0[4], px[4], py[4];
        m_projection.transform4(m[12], m[13], m[14], 1.0f, p0);
        m_projection.transform4(m[12] + lx, m[13], m[14], 1.0f, px);
        m_projection.transform4(m[12], m[13] - ly, m[14], 1.0f, py);
        if (std::fabs(p0[3]) <= kMatrixEpsilon || std::fabs(px[3]) <= kMatrixEpsilon || std::fabs(py[3]) <= kMatrixEpsilon)
            return;
        w = std::fabs(screenX(px[0] / px[3]) - screenX(p0[0] / p0[3]));
        h = std::fabs(screenY(py[1] / py[3]) - screenY(p0[1] / p0[3]));
    }
    if (std::isnan(w) || std::isnan(h))
        return;
    const int32_t qx = static_cast<int32_t>(std::floor((x - w * 0.5f) / 16.0f)) * 16;
    const int32_t qy = static_cast<int32_t>(std::floor((y - h * 0.5f) / 16.0f)) * 16;
    const int32_t qw = static_cast<int32_t>(w) & ~15, qh = static_cast<int32_t>(h) & ~15;
    if (qw < 16 || qh < 16)
        return;
    const CkwRect& scissor = m_graphics->m_scissor;
    const int32_t sx = (scissor.x - m_graphics->m_clipRect.x) * 16, sy = (scissor.y - m_graphics->m_clipRect.y) * 16;
    const int32_t sx1 = sx + scissor.width * 16, sy1 = sy + scissor.height * 16;
    if (qx >= sx1 || qy >= sy1 || qx + qw <= sx || qy + qh <= sy)
        return;

    // Edges on screen (sixteenths) and their texture coordinates; a crop
    // reaching past the image is cut to it, not repeated.
    int32_t x0 = qx, x1 = qx + qw, y0 = qy, y1 = qy + qh;
    if (!cutSpan(left, right, x0, x1, 0, kFixedOne) || !cutSpan(top, bottom, y0, y1, 0, kFixedOne))
        return;
    // Pixel centres sample the texture: half a texel step in.
    const int32_t halfS = safeDivide(right - left, std::max((x1 - x0) >> 4, 1)) / 2;
    const int32_t halfT = safeDivide(bottom - top, std::max((y1 - y0) >> 4, 1)) / 2;
    left += halfS;
    right += halfS;
    top += halfT;
    bottom += halfT;
    if (!cutSpan(x0, x1, left, right, sx, sx1) || !cutSpan(y0, y1, top, bottom, sy, sy1))
        return;

    const CkwFog* fog = appearance->getFog();
    const uint32_t fogRgb = fog != nullptr ? (fog->getColor() & 0xFFFFFF) : 0;
    m_rasterizer->setFog(fog != nullptr ? &fogRgb : nullptr);
    uint8_t fogByte = 0;
    if (fog != nullptr) {
        CkwMatrix modelView = m_view;
        modelView.multiply(world);
        const float f = spriteFog(*fog, -modelView.m[14], modelView.m[15]);
        fogByte = static_cast<uint8_t>(std::clamp(saturateToInt(f * 255.0f), 0, 255));
    }

    SkwRasterVertex v[4]{};
    const int32_t z = rasterDepth(std::llround(std::ldexp(double(origin[2]), 28)), m_depthScale, m_depthOffset);
    const uint8_t alpha = m_alphaFactor < 1.0f ? static_cast<uint8_t>(std::max(saturateToInt(m_alphaFactor * 255.0f), 0)) : 255;
    const int32_t xs[4] = {x0, x0, x1, x1};
    const int32_t ys[4] = {y0, y1, y0, y1};
    const int32_t ss[4] = {left, left, right, right};
    const int32_t ts[4] = {top, bottom, top, bottom};
    for (int32_t i = 0; i < 4; ++i) {
        v[i].x = xs[i];
        v[i].y = ys[i];
        v[i].z = z;
        v[i].r = v[i].g = v[i].b = 0x10000;
        v[i].alpha = alpha;
        v[i].fog = fogByte;
        v[i].tex[0].s = ss[i];
        v[i].tex[0].t = ts[i];
        v[i].tex[0].q = 0x10000;
    }
    m_rasterizer->drawQuad(sprite->isScaled(), &v[0], &v[1], &v[2], &v[3]);
}
