// The renderer's background clear: colour, an image cropped onto the viewport
// (BORDER axes cut to the image, REPEAT axes wrapped), and a Stageset's depth
// map copied into the depth buffer where its image lands.
#include <algorithm>
#include <cmath>

#include "engine/core/math/FloatBits.h"
#include "engine/render/CkwRendererStandard.h"
#include "engine/render/RenderImages.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwStageset.h"

namespace {

constexpr int32_t kDepthFar = 0xFFFF;

// A crop size in 16.16 spread over a number of pixels: the step from one
// pixel to the next. In 64 bits, as crops may be far wider than 32,768
// pixels; past 2^40 a float tells no whole pixels apart.
int64_t stepOver(float size, int32_t pixels)
{
    return static_cast<int64_t>(clampFloat(size, -0x1p40f, 0x1p40f) * 65536.0 + 0.5) / pixels;
}

// A step or position brought into [0, span) by whole image lengths: on a
// repeated axis it reads the same texels.
int64_t wrapped(int64_t value, int64_t span)
{
    value %= span;
    return value < 0 ? value + span : value;
}

} // namespace

void CkwRendererStandard::clearBackground(CkwBackground* background, CkwCamera* camera)
{
    if (!viewportReady())
        return;
    CkwGraphics3D* g = m_graphics;
    const int32_t W = g->m_clipRect.width, H = g->m_clipRect.height;
    const int32_t x0 = g->m_scissor.x - g->m_clipRect.x, y0 = g->m_scissor.y - g->m_clipRect.y;
    const int32_t x1 = x0 + g->m_scissor.width, y1 = y0 + g->m_scissor.height;
    uint16_t* depth = depthBuffer();
    auto clearDepth = [&] {
        if (depth != nullptr)
            std::fill(depth, depth + int64_t(W) * H, uint16_t(kDepthFar));
    };
    auto fill = [&](int32_t x, int32_t y, int32_t w, int32_t h, uint16_t pixel, uint8_t alpha) {
        if (w > 0 && h > 0)
            m_rasterizer->fillRect(x, y, w, h, pixel, alpha);
    };
    if (background == nullptr) {
        fill(x0, y0, x1 - x0, y1 - y0, 0, 0);
        clearDepth();
        return;
    }
    const bool colorClear = background->isColorClearEnabled();
    const bool depthClear = background->isDepthClearEnabled();
    auto* image = static_cast<CkwImage2D*>(background->getImage());
    const bool useStageset = camera != nullptr && !m_cameraDegenerate && image != nullptr
                          && image->getClassId() == kClassStageset;
    CkwFixedColor color{};
    color.setRgb(background->getColor());
    const uint16_t pixel = color.toRgb565();
    const uint8_t alpha = static_cast<uint8_t>(background->getColor() >> 24);
    if (!colorClear && !(depthClear && useStageset)) {
        if (depthClear)
            clearDepth();
        return;
    }
    float cx = background->getCropX(), cy = background->getCropY();
    float cw = background->getCropWidth(), ch = background->getCropHeight();
    // CROP animation stores what it is given; NaN or infinity places the
    // image nowhere.
    const bool cropFinite = std::isfinite(cx) && std::isfinite(cy) && std::isfinite(cw) && std::isfinite(ch);
    if (image == nullptr || !cropFinite || !rasterImageOf(image, m_blitImage)) {
        if (colorClear)
            fill(x0, y0, x1 - x0, y1 - y0, pixel, alpha);
        if (depthClear)
            clearDepth();
        return;
    }

    // The crop mapped onto the viewport in 16.16 steps; BORDER axes are cut
    // to the part of the image the crop covers. Colour and depth both walk
    // the image with each step taken modulo its size, so a step of a whole
    // image or more, or a backward one, wraps the same way in both.
    int32_t vx = g->m_viewportInClip.x, vy = g->m_viewportInClip.y;
    int32_t vw = g->m_viewportInClip.width, vh = g->m_viewportInClip.height;
    const int32_t iw = image->getWidth(), ih = image->getHeight();
    const int64_t spanX = int64_t{iw} << 16, spanY = int64_t{ih} << 16;
    const int64_t stepX = wrapped(stepOver(cw, vw), spanX), stepY = wrapped(stepOver(ch, vh), spanY);
    auto borderAxis = [](float& c, float& cs, int32_t& v, int32_t& vs, float size) {
        if (c + cs < 0.0f || c >= size || cs == 0.0f) {
            v += vs;
            vs = 0;
            c = size;
            return;
        }
        if (c < 0.0f) {
            const int32_t d = static_cast<int32_t>(-(c / cs) * vs);
            cs += c;
            c = 0.0f;
            v += d;
            vs -= d;
        }
        if (c + cs > size)
            vs = static_cast<int32_t>(vs - ((c + cs - size) / cs) * vs);
    };
    if (background->getImageModeX() == CkwBackground::kBorder)
        borderAxis(cx, cw, vx, vw, static_cast<float>(iw));
    if (background->getImageModeY() == CkwBackground::kBorder)
        borderAxis(cy, ch, vy, vh, static_cast<float>(ih));
    cx = clampFloat(cx, -32767.0f, 32767.0f);
    cy = clampFloat(cy, -32767.0f, 32767.0f);
    int64_t fx = static_cast<int64_t>(cx * 65536.0 + 0.5), fy = static_cast<int64_t>(cy * 65536.0 + 0.5);
    if (g->m_viewportClipped) {
        if (vx < 0) {
            vw += vx;
            fx -= stepX * vx;
            vx = 0;
        }
        if (vy < 0) {
            vh += vy;
            fy -= stepY * vy;
            vy = 0;
        }
        if (vx + vw >= W)
            vw = W - vx;
        if (vy + vh >= H)
            vh = H - vy;
    }
    fx = wrapped(fx, spanX);
    fy = wrapped(fy, spanY);

    const bool meets = vw > 0 && vh > 0 && vx < x1 && x0 < vx + vw && vy < y1 && y0 < vy + vh;
    if (colorClear) {
        if (meets) {
            fill(x0, y0, x1 - x0, vy - y0, pixel, alpha);
            fill(x0, vy + vh, x1 - x0, y1 - vh - vy, pixel, alpha);
            fill(x0, vy, vx - x0, vh, pixel, alpha);
            fill(vx + vw, vy, x1 - vw - vx, vh, pixel, alpha);
            m_rasterizer->setBlitImage(&m_blitImage, kFuncReplace);
            m_rasterizer->blitImage(vx, vy, vw, vh, static_cast<int32_t>(fx), static_cast<int32_t>(fy),
                                    static_cast<int32_t>(stepX), static_cast<int32_t>(stepY));
        } else {
            fill(x0, y0, x1 - x0, y1 - y0, pixel, alpha);
        }
    }
    if (!depthClear)
        return;
    if (!useStageset || !meets || depth == nullptr) {
        clearDepth();
        return;
    }
    // The Stageset's depth values take the image's place in the depth buffer.
    auto* stageset = static_cast<CkwStageset*>(image);
    stageset->prepareDepthMap(camera);
    const uint16_t* source = stageset->getDepthMap();
    if (source == nullptr) {
        clearDepth();
        return;
    }
    auto fillDepth = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
        for (int32_t row = std::max(y, 0); row < std::min(y + h, H); ++row)
            std::fill(depth + int64_t(row) * W + std::max(x, 0), depth + int64_t(row) * W + std::min(x + w, W),
                      uint16_t(kDepthFar));
    };
    fillDepth(x0, y0, x1 - x0, vy - y0);
    fillDepth(x0, vy + vh, x1 - x0, y1 - vh - vy);
    fillDepth(x0, vy, vx - x0, vh);
    fillDepth(vx + vw, vy, x1 - vw - vx, vh);
    // One wrap per step keeps every read inside the map.
    int64_t ty = fy;
    for (int32_t row = 0; row < vh; ++row) {
        const uint16_t* src = source + int64_t(ty >> 16) * iw;
        uint16_t* dst = depth + int64_t(vy + row) * W + vx;
        int64_t tx = fx;
        for (int32_t col = 0; col < vw; ++col) {
            dst[col] = src[tx >> 16];
            tx += stepX;
            if (tx >= spanX)
                tx -= spanX;
        }
        ty += stepY;
        if (ty >= spanY)
            ty -= spanY;
    }
}
