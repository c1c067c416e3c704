// Plasma image: the height field, the sixteen per-pixel features, their
// weighted sums shaped by the warp maps, the four-colour blend and the
// image's file data.
#include "engine/scene/CkwPlasmaImage.h"

#include <algorithm>
#include <cstdlib>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

constexpr int32_t kHalf = kFixedOne / 2;
// Features f6..f11 and f14 come from the lookup pixel's cell.
constexpr uint32_t kCellFeatures = 0x4FC0;

int32_t clampUnit(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, kFixedOne)); }
// Warp values and weights from a file may sit at the ends of the int32 range.
int32_t saturate32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
int32_t mul16(int64_t a, int64_t b) { return static_cast<int32_t>((a * b) >> 16); }
// The 16.16 reciprocal of a weight sum; 1.0 for an empty sum.
int32_t reciprocalOf(int64_t sum) { return sum == 0 ? kFixedOne : static_cast<int32_t>(fixedDiv64(int64_t{1} << 32, sum)); }
// A 16.16 square root of a 16.16 argument that may pass the 32-bit range.
int32_t sqrtOf(int64_t v) { return fixedSqrt(static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 0xFFFFFFFF))); }

// A weighted sum brought to 0..1 by its weights, through a warp map, clamped
// and scaled back.
int64_t shaped(const CkwWarpMap& map, int64_t sum, int64_t reciprocal, int64_t weights)
{
    const int32_t unit = CkwPlasmaImage::clampWarp(map.evaluate(saturate32(((sum * reciprocal) >> 16) + kHalf)));
    return ((unit - kHalf) * weights) >> 16;
}

// a + f x (b - a), with f in 16.16.
CkwFixedColor lerpColour(const CkwFixedColor& a, const CkwFixedColor& b, int32_t f)
{
    CkwFixedColor out = b;
    out.subtract(a);
    out.scaleFixed(f);
    out.add(a);
    return out;
}

} // namespace

struct CkwPlasmaImage::Cell {
    int32_t f6 = 0;
    int32_t f7 = 0;
    int32_t f9 = 0;
    int32_t dx = 0; // offset from the centre over the cell size, doubled
    int32_t dy = 0;
    int32_t refX = 0;
    int32_t refY = 0;
};

IkwSerializable* CkwPlasmaImage::create()
{
    CkwCleanupPtr<CkwPlasmaImage> image(new CkwPlasmaImage);
    for (int32_t map = 2; map < 4; ++map) {
        image->m_warp[map].appendKnot(0, 0);
        image->m_warp[map].appendKnot(kFixedOne, kFixedOne);
    }
    return image.release();
}

int32_t CkwPlasmaImage::clampWarp(int32_t value) { return clampUnit(value); }

int32_t CkwPlasmaImage::channelFromFloat(float value)
{
    return static_cast<int32_t>((int64_t{saturateToInt(value * 65536.0f)} + 127) >> 8);
}

int32_t CkwPlasmaImage::hash16(int32_t n)
{
    uint32_t h = static_cast<uint32_t>(n);
    for (int32_t i = 0; i < 3; ++i)
        h = h * 26125u - 3233u;
    return static_cast<int32_t>(h & 0xFFFF);
}

void CkwPlasmaImage::insertKnot(int32_t map, int32_t index, int32_t x, int32_t y)
{
    m_warp[map].insertKnot(index, x, y);
    m_dirty = true;
}

void CkwPlasmaImage::lock(bool hold)
{
    if (hold) {
        ++m_lockCount;
    } else if (m_lockCount > 0 && --m_lockCount == 0) {
        m_dirty = true;
    }
}

int32_t CkwPlasmaImage::getWidth()
{
    generateQuietly();
    return CkwImage2D::getWidth();
}

int32_t CkwPlasmaImage::getHeight()
{
    generateQuietly();
    return CkwImage2D::getHeight();
}

uint8_t* CkwPlasmaImage::getPixels()
{
    generateQuietly();
    return CkwImage2D::getPixels();
}

void CkwPlasmaImage::generateQuietly()
{
    if (m_dirty && m_lockCount == 0)
        engineTrap([&] { generate(); });
}

uint64_t CkwPlasmaImage::generationSteps() const
{
    if (m_widthExponent < 1 || m_heightExponent < 1)
        return 0;
    uint64_t perPixel = kPlasmaFeatures;
    for (const CkwWarpMap& map : m_warp)
        perPixel += static_cast<uint64_t>(map.searchSteps());
    return (uint64_t{1} << m_widthExponent << m_heightExponent) * perPixel;
}

int32_t CkwPlasmaImage::buildHeightField(int32_t* grid, int32_t width, int32_t height)
{
    const auto at = [&](int32_t x, int32_t y) -> int32_t& { return grid[(y & (height - 1)) * width + (x & (width - 1))]; };
    const int32_t longSide = std::max(width, height);
    const int32_t shortSide = std::min(width, height);
    const int32_t detail = longSide >> m_detailDepth;
    int32_t amplitude = kFixedOne;
    int32_t largest = 0;
    grid[0] = 0;
    int32_t g = longSide;
    // Until the spacing fits the short side the grid is one line along the long one.
    for (; g > shortSide; g >>= 1) {
        if (g < detail)
            amplitude >>= 1;
        for (int32_t p = 0; p < longSide; p += g)
            (width > height ? at(p + g / 2, 0) : at(0, p + g / 2)) = 0;
    }
    for (; g > 1; g >>= 1) {
        if (g < detail)
            amplitude >>= 1;
        const int32_t h = g / 2;
        for (int32_t y = 0; y < height; y += g) {
            for (int32_t x = 0; x < width; x += g) {
                int32_t d[3];
                for (int32_t& r : d)
                    r = static_cast<int32_t>(next());
                const int32_t mean = static_cast<int32_t>((int64_t{d[0] + d[1] + d[2]} * 21845) >> 16);
                for (int32_t& r : d)
                    r -= mean;
                int32_t values[3] = {d[0], d[1], d[2]};
                if (h < detail) {
                    const int64_t p = at(x, y);
                    const int64_t right = at(x + g, y);
                    const int64_t below = at(x, y + g);
                    values[0] = static_cast<int32_t>(((p + right) >> 1) + mul16(d[0], amplitude));
                    values[1] = static_cast<int32_t>(((p + below) >> 1) + mul16(d[1], amplitude));
                    values[2] = static_cast<int32_t>(((p + right + below + at(x + g, y + g)) >> 2) + mul16(d[2], amplitude));
                }
                at(x + h, y) = values[0];
                at(x, y + h) = values[1];
                at(x + h, y + h) = values[2];
                for (int32_t v : values)
                    largest = std::max(largest, std::abs(v));
            }
        }
    }
    return largest;
}

CkwPlasmaImage::Cell CkwPlasmaImage::locateCell(int32_t px, int32_t py)
{
    const int32_t ew = m_cellWidthExponent;
    const int32_t eh = m_cellHeightExponent;
    const int32_t cw = 1 << ew;
    const int32_t ch = 1 << eh;
    const int64_t invW = kFixedOne >> ew;
    const int64_t invH = kFixedOne >> eh;
    Cell cell;
    if (m_cellMode == 5) {
        const int32_t halfW = CkwImage2D::getWidth() / 2;
        const int32_t halfH = CkwImage2D::getHeight() / 2;
        const int64_t dxc = (px - halfW) * invW;
        const int64_t dyc = (py - halfH) * invH;
        const int32_t radius = sqrtOf(((dxc * dxc) >> 16) + ((dyc * dyc) >> 16));
        const int32_t ring = (radius >> 16) + 1;
        cell.f9 = radius & 0xFFFF;
        cell.refX = halfW - ring * cw;
        cell.refY = halfH - ring * ch;
        const int64_t g = fixedReciprocal32(ring << 16) >> 1;
        cell.f6 = static_cast<int32_t>(((g * invW) >> 16) * (px - cell.refX));
        cell.f7 = static_cast<int32_t>(((g * invH) >> 16) * (py - cell.refY));
        const int64_t q = (g * 185336) >> 16;
        cell.dx = static_cast<int32_t>((q * dxc) >> 16);
        cell.dy = static_cast<int32_t>((q * dyc) >> 16);
        return cell;
    }
    const int32_t row = py >> eh;
    int32_t x0 = (px >> ew) * cw;
    int32_t y0 = row * ch;
    if (m_cellMode == 2 || m_cellMode == 4) {
        // Odd rows shift by half a cell, like bricks.
        const int32_t shift = (row & 1) != 0 ? cw / 2 : 0;
        x0 = shift + (((px - shift + cw) >> ew) - 1) * cw;
    }
    if (m_cellMode == 4) {
        const int32_t lx = px - x0;
        const int64_t edge = (5 * ch) >> 3;
        const int64_t e = (py - y0) - edge;
        if (e >= 0) {
            if (lx >= cw / 2 && 3 * int64_t{ch} * (cw - lx) < 4 * int64_t{cw} * e) {
                x0 += cw / 2;
                y0 += ch;
            } else if (lx < cw / 2 && 3 * int64_t{ch} * lx < 4 * int64_t{cw} * e) {
                x0 -= cw / 2;
                y0 += ch;
            }
        }
        cell.f6 = static_cast<int32_t>((px - x0) * invW);
        cell.f7 = static_cast<int32_t>(((((py - y0) * invH) + 12288) * 16 * 3449) >> 16);
        cell.refX = x0 + cw / 2;
        cell.refY = y0 + ((5 * ch) >> 4);
        const int64_t dx0 = (px - cell.refX) * invW;
        const int64_t dy0 = (py - cell.refY) * invH;
        cell.dx = static_cast<int32_t>(2 * dx0);
        cell.dy = static_cast<int32_t>(2 * dy0);
        const int64_t ax = std::abs(dx0);
        const int64_t ay = std::abs(dy0);
        cell.f9 = static_cast<int32_t>(5 * ax > 8 * ay ? 2 * ax : ((16 * ay + 12 * ax) * 5958) >> 16);
        return cell;
    }
    const bool swapped = m_cellMode == 3 && (((px >> ew) ^ row) & 1) != 0;
    const int32_t across = static_cast<int32_t>((px - x0) * invW);
    const int32_t down = static_cast<int32_t>((py - y0) * invH);
    cell.f6 = swapped ? down : across;
    cell.f7 = swapped ? across : down;
    cell.refX = x0 + cw / 2;
    cell.refY = y0 + ch / 2;
    cell.dx = static_cast<int32_t>(2 * (px - cell.refX) * invW);
    cell.dy = static_cast<int32_t>(2 * (py - cell.refY) * invH);
    cell.f9 = std::max(std::abs(cell.dx), std::abs(cell.dy));
    return cell;
}

void CkwPlasmaImage::generate()
{
    if (!m_dirty || m_lockCount > 0)
        return;
    if (m_widthExponent < 1 || m_heightExponent < 1) {
        m_dirty = false;
        return;
    }
    const int32_t width = 1 << m_widthExponent;
    const int32_t height = 1 << m_heightExponent;
    const int32_t n = width * height;
    if (uint64_t{static_cast<uint32_t>(n)} * 4 > kImageMaxBytes)
        leave(KErrNoMemory);
    if (CkwImage2D::getWidth() != width || CkwImage2D::getHeight() != height || CkwImage2D::getPixels() == nullptr)
        resize(width, height);
    setSeed(m_seed);
    CkwArray<int32_t> field;
    field.setCount(n);
    const int32_t* grid = field.data();
    const int32_t largest = buildHeightField(field.data(), width, height);
    const int64_t norm = fixedDiv64(0x7D710000, largest);
    const auto normalised = [&](int32_t index) { return static_cast<int32_t>((grid[index] * norm) >> 16) + kHalf; };

    int64_t sumA = 0;
    int64_t sumB = 0;
    uint32_t mask = 0;
    for (int32_t i = 0; i < kPlasmaFeatures; ++i) {
        if (i < 14) {
            sumA += std::abs(int64_t{m_weightsA[i]});
            sumB += std::abs(int64_t{m_weightsB[i]});
        }
        if (m_weightsA[i] != 0 || m_weightsB[i] != 0)
            mask |= 1u << i;
    }
    const int64_t allA = sumA + std::abs(int64_t{m_weightsA[14]}) + std::abs(int64_t{m_weightsA[15]});
    const int64_t allB = sumB + std::abs(int64_t{m_weightsB[14]}) + std::abs(int64_t{m_weightsB[15]});
    const int64_t invSumA = reciprocalOf(sumA);
    const int64_t invSumB = reciprocalOf(sumB);
    const int64_t invAllA = reciprocalOf(allA);
    const int64_t invAllB = reciprocalOf(allB);

    auto* pixels = reinterpret_cast<uint16_t*>(CkwImage2D::getPixels());
    const int32_t stepU = kFixedOne >> m_widthExponent;
    const int32_t stepV = kFixedOne >> m_heightExponent;
    int32_t f[kPlasmaFeatures] = {};
    int32_t v = 0;
    for (int32_t j = 0; j < height; ++j, v += stepV) {
        uint16_t* row = pixels + (height - 1 - j) * width;
        int32_t u = 0;
        for (int32_t c = 0; c < width; ++c, u += stepU) {
            const int32_t k = j * width + c;
            f[0] = u;
            f[1] = v;
            f[2] = saturate32(int64_t{u} - m_warp[0].evaluate(v) + kHalf);
            f[3] = saturate32(int64_t{v} - m_warp[1].evaluate(u) + kHalf);
            const int64_t g1 = (grid[(k + n / 4) & (n - 1)] * norm) >> 16;
            const int64_t g2 = (grid[(k + n / 2) & (n - 1)] * norm) >> 16;
            const int32_t px = static_cast<int32_t>(
                (((f[2] + (((g1 * m_turbulence) >> 16) >> 1) + kFixedOne) * width + 32768) >> 16) & (width - 1));
            const int32_t py = static_cast<int32_t>(
                (((f[3] + (((g2 * m_turbulence) >> 16) >> 1) + kFixedOne) * height + 32768) >> 16) & (height - 1));
            f[4] = px * stepU;
            f[5] = py * stepV;
            int32_t reference = 0;
            if ((mask & kCellFeatures) != 0) {
                const Cell cell = locateCell(px, py);
                f[6] = cell.f6;
                f[7] = cell.f7;
                f[8] = mul16(sqrtOf(((int64_t{cell.dx} * cell.dx) >> 16) + ((int64_t{cell.dy} * cell.dy) >> 16)), 46341);
                f[9] = cell.f9;
                f[10] = mul16(fixedAtan2(cell.dx, cell.dy), 10430) + kHalf;
                reference = (cell.refY & (height - 1)) * width + (cell.refX & (width - 1));
                f[11] = normalised(reference);
                f[14] = static_cast<int32_t>((static_cast<uint32_t>(grid[reference]) * 2709u - 2327u) & 0xFFFF);
            }
            const int32_t lookup = px + py * width;
            f[12] = normalised(lookup);
            f[13] = normalised((n / 2 - lookup) & (n - 1));
            f[15] = static_cast<int32_t>((static_cast<uint32_t>(grid[k]) * 2709u - 2327u) & 0xFFFF);

            int64_t a = 0;
            int64_t b = 0;
            for (int32_t i = 0; i < 14; ++i) {
                a += (int64_t{m_weightsA[i]} * (int64_t{f[i]} - kHalf)) >> 16;
                b += (int64_t{m_weightsB[i]} * (int64_t{f[i]} - kHalf)) >> 16;
            }
            a = shaped(m_warp[2], a, invSumA, sumA);
            b = shaped(m_warp[3], b, invSumB, sumB);
            for (int32_t i = 14; i < kPlasmaFeatures; ++i) {
                a += (int64_t{m_weightsA[i]} * (int64_t{f[i]} - kHalf)) >> 16;
                b += (int64_t{m_weightsB[i]} * (int64_t{f[i]} - kHalf)) >> 16;
            }
            const int32_t s = clampUnit(((a * invAllA) >> 16) + kHalf);
            const int32_t t = clampUnit(((b * invAllB) >> 16) + kHalf);
            const CkwFixedColor p = lerpColour(m_colours[1], m_colours[0], s);
            const CkwFixedColor q = lerpColour(m_colours[3], m_colours[2], s);
            row[c] = lerpColour(p, q, t).toRgb565();
        }
    }
    countGenerationSteps(generationSteps());
    m_dirty = false;
}

void CkwPlasmaImage::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    m_seed = buffer.readUInt32();
    m_widthExponent = buffer.readByte();
    m_heightExponent = buffer.readByte();
    m_detailDepth = buffer.readInt32();
    if (m_widthExponent >= kPlasmaMaxExponent || m_heightExponent >= kPlasmaMaxExponent || m_detailDepth < 0
        || m_detailDepth > 15)
        leave(KErrCorruptData);
    m_turbulence = roundToFixed(buffer.readFloat());
    m_cellMode = buffer.readByteInRange(0, 6);
    m_cellWidthExponent = buffer.readByte();
    m_cellHeightExponent = buffer.readByte();
    if (m_cellWidthExponent >= 16 || m_cellHeightExponent >= 16)
        leave(KErrCorruptData);
    for (CkwFixedColor& colour : m_colours)
        colour.setRgb(buffer.readUInt32());
    const uint32_t weights = buffer.readUInt32();
    for (int32_t i = 0; i < 2 * kPlasmaFeatures; ++i) {
        int32_t& weight = i < kPlasmaFeatures ? m_weightsA[i] : m_weightsB[i - kPlasmaFeatures];
        weight = (weights >> i & 1) != 0 ? roundToFixed(buffer.readFloat()) : 0;
    }
    for (CkwWarpMap& map : m_warp)
        map.deserialize(buffer);
    // The picture's planes (at most 3 bytes a pixel), its 4-byte work grid
    // and the work of filling them, before any of it is done.
    buffer.chargeMadeBytes((uint64_t{1} << m_widthExponent << m_heightExponent) * 7);
    buffer.chargeGenerationSteps(generationSteps());
    m_dirty = true;
    generate();
}

CkwObject3D* CkwPlasmaImage::duplicate() const
{
    CkwCleanupPtr<CkwPlasmaImage> copy(new CkwPlasmaImage);
    copy->copyImageFrom(*this);
    copy->m_seed = m_seed;
    copy->m_widthExponent = m_widthExponent;
    copy->m_heightExponent = m_heightExponent;
    copy->m_detailDepth = m_detailDepth;
    copy->m_turbulence = m_turbulence;
    copy->m_cellMode = m_cellMode;
    copy->m_cellWidthExponent = m_cellWidthExponent;
    copy->m_cellHeightExponent = m_cellHeightExponent;
    for (int32_t i = 0; i < 4; ++i)
        copy->m_warp[i].copyFrom(m_warp[i]);
    std::copy(std::begin(m_weightsA), std::end(m_weightsA), copy->m_weightsA);
    std::copy(std::begin(m_weightsB), std::end(m_weightsB), copy->m_weightsB);
    std::copy(std::begin(m_colours), std::end(m_colours), copy->m_colours);
    return copy.release();
}
