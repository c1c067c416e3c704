// Vertex caches of the submesh pipeline: integer matrices built once per key,
// vertices transformed on first use, and the divides by w done once each.
#include "engine/render/CkwFixedVectorCache.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

#include "engine/core/math/FixedMath.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwVertexArray.h"

namespace {

__extension__ using Int128 = __int128;

constexpr float kBiasTolerance = 1.5e-5f;

bool finite(const CkwMatrix& m)
{
    return std::all_of(m.m, m.m + 16, [](float e) { return std::isfinite(e); });
}

int32_t saturate(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

} // namespace

bool CkwFixedVectorCache::prepare(CkwVertexArray* array, const CkwMatrix& matrix, float scale, const float* bias,
                                  CkwSkinnedMesh* skin)
{
    // A skin's palette is part of the key: its matrices are made once for
    // each pose, however often its submeshes are drawn.
    if (skin != nullptr)
        skin->buildVertexInfluences();
    const uint64_t paletteSerial = skin != nullptr ? skin->getPaletteSerial() : 0;
    if (m_prepared && skin == m_skin && paletteSerial == m_paletteSerial && array == m_array
        && array->getRevision() == m_revision && scale == m_scale && std::fabs(bias[0] - m_bias[0]) <= kBiasTolerance
        && std::fabs(bias[1] - m_bias[1]) <= kBiasTolerance && std::fabs(bias[2] - m_bias[2]) <= kBiasTolerance
        && matrix.equals(m_matrix))
        return false;
    m_array = array;
    m_revision = array->getRevision();
    m_matrix = matrix;
    m_scale = scale;
    std::copy(bias, bias + 3, m_bias);
    m_skin = skin;
    m_paletteSerial = paletteSerial;
    const int32_t n = array->getVertexCount();
    if (n > m_stamps.count()) {
        m_positions.setCountGrowing(n);
        m_projected.setCountGrowing(n);
        m_w.setCountGrowing(n);
        m_divisors.setCountGrowing(n);
        const int32_t held = m_stamps.count();
        m_stamps.setCountGrowing(n);
        std::fill(m_stamps.begin() + held, m_stamps.end(), 0u);
        countEngineVisits(static_cast<uint64_t>(n - held));
    }
    // Every vertex made under earlier keys is stale at once.
    m_madeStamp += 2;
    m_madeAny = false;
    if (m_madeStamp >= kLastStamp) {
        std::fill(m_stamps.begin(), m_stamps.end(), 0u);
        countEngineVisits(static_cast<uint64_t>(m_stamps.count()));
        m_madeStamp = 2;
    }
    m_projectedStamp = m_madeStamp + 1;
    m_lastW = 0;
    m_prepared = true;

    // S maps the stored integers to model units x 65536, so results come out
    // in 16.16 before the conversion's own power-of-two scale.
    CkwMatrix s;
    s.scaleUniform(scale * 65536.0f);
    s.translate(bias[0], bias[1], bias[2]);
    const float range = static_cast<float>(array->updateBounds());
    m_paletteIndices = nullptr;
    int32_t count = 1;
    if (skin != nullptr) {
        const CkwArray<uint16_t>& indices = skin->getVertexPaletteIndices();
        if (indices.count() == n) {
            m_paletteIndices = indices.data();
            count = skin->getPaletteCount();
        }
    }
    m_matrices.setCount(count);
    m_entryMatrices.setCount(count);
    int32_t shared = INT32_MAX;
    m_built = true;
    for (int32_t e = 0; e < count && m_built; ++e) {
        CkwMatrix& m = m_entryMatrices[e];
        m = matrix;
        if (m_paletteIndices != nullptr) {
            CkwMatrix palette = skin->getPaletteMatrix(e);
            if (m_directions) {
                // A bone's move carries points, not directions.
                palette.m[12] = palette.m[13] = palette.m[14] = 0.0f;
                palette.classify();
            }
            m.multiply(palette);
        }
        m.multiply(s);
        m_built = finite(m);
        shared = std::min(shared, CkwIntMatrix::outputExponent(m, range));
    }
    // Vertices of different palette entries meet in one triangle, where their
    // w weighs the interpolation and the cuts: all come out at one scale. One
    // entry's whole range outside a plane says nothing of the others'
    // vertices, so only a single matrix may refuse.
    const bool checkInside = m_checkInside && count == 1;
    for (int32_t e = 0; e < count && m_built; ++e)
        m_built = CkwIntMatrix::fromMatrix(m_matrices[e], m_entryMatrices[e], range, checkInside, true, shared) != 0;
    countEngineVisits(static_cast<uint64_t>(count));
    return true;
}

int32_t CkwFixedVectorCache::outputExponent() const
{
    return m_matrices.count() > 0 ? m_matrices[0].secondShift : 0;
}

const CkwIntMatrix& CkwFixedVectorCache::matrixOf(int32_t i) const
{
    return m_matrices[m_paletteIndices != nullptr ? m_paletteIndices[i] : 0];
}

void CkwFixedVectorCache::transform(int32_t i)
{
    m_array->transformPoint(i, matrixOf(i), &m_positions[i].x, &m_w[i]);
    m_stamps[i] = m_madeStamp;
    m_madeAny = true;
    ++m_transformCount;
}

void CkwFixedVectorCache::makeRun(int32_t first, int32_t end)
{
    if (m_paletteIndices == nullptr) {
        m_array->transformPoints(first, end, m_matrices[0], &m_positions.data()->x, m_w.data());
    } else {
        for (int32_t i = first; i < end; ++i)
            m_array->transformPoint(i, matrixOf(i), &m_positions[i].x, &m_w[i]);
    }
    std::fill(m_stamps.begin() + first, m_stamps.begin() + end, m_madeStamp);
    m_madeAny = true;
    m_transformCount += static_cast<uint64_t>(end - first);
}

void CkwFixedVectorCache::transformNormal(int32_t i)
{
    // The matrix carries no translation but the normals' bias.
    m_array->transformPoint(i, matrixOf(i), &m_positions[i].x, nullptr);
    CkwFixedVector3D::normalize(m_positions[i]);
    m_stamps[i] = m_madeStamp;
    m_madeAny = true;
    ++m_transformCount;
}

CkwFixedVector3D CkwFixedVectorCache::getEyePosition(int32_t i, int32_t& w, int32_t& exponent)
{
    CkwFixedVector3D p = getPosition(i, w);
    exponent = 0;
    if (w <= 0)
        return p;
    const int64_t m = std::max({std::abs(int64_t{p.x}), std::abs(int64_t{p.y}), std::abs(int64_t{p.z})});
    const int64_t limit = int64_t{w} << 7;
    while ((m >> exponent) > limit)
        ++exponent;
    if (exponent > 0)
        p = {p.x >> exponent, p.y >> exponent, p.z >> exponent};
    return p;
}

void CkwFixedVectorCache::divideTexCoord(int32_t i)
{
    int32_t w;
    const CkwFixedVector3D& p = getPosition(i, w);
    int32_t stq[3];
    divideTexCoord(p, w, stq);
    m_projected[i] = CkwFixedVector3D{stq[0], stq[1], stq[2]};
    m_stamps[i] = m_projectedStamp;
}

void CkwFixedVectorCache::divideTexCoord(const CkwFixedVector3D& p, int32_t w, int32_t* stq)
{
    stq[2] = w;
    if (w == 0x10000) {
        stq[0] = p.x;
        stq[1] = p.y;
        return;
    }
    if (w > 0 && std::has_single_bit(static_cast<uint32_t>(w))) {
        const int32_t shift = std::countr_zero(static_cast<uint32_t>(w)) - 16;
        stq[0] = shift >= 0 ? p.x >> shift : saturate(int64_t{p.x} << -shift);
        stq[1] = shift >= 0 ? p.y >> shift : saturate(int64_t{p.y} << -shift);
        return;
    }
    if (w == 0) {
        stq[0] = stq[1] = 0;
        return;
    }
    if (w != m_lastW) {
        // w brought into 1.0..2.0 keeps the reciprocal's sixteen bits.
        uint32_t a = static_cast<uint32_t>(std::abs(int64_t{w}));
        int32_t shift = 0;
        for (; a >= 0x20000; a >>= 1)
            ++shift;
        for (; a < 0x10000; a <<= 1)
            --shift;
        m_lastW = w;
        m_lastReciprocal = fixedReciprocal32(w < 0 ? -static_cast<int32_t>(a) : static_cast<int32_t>(a));
        m_lastShift = 16 + shift;
    }
    const auto divide = [&](int32_t c) {
        const int64_t v = int64_t{c} * m_lastReciprocal;
        return saturate(m_lastShift >= 0 ? v >> std::min(m_lastShift, 63) : v << std::min(-m_lastShift, 31));
    };
    stq[0] = divide(p.x);
    stq[1] = divide(p.y);
}

void CkwFixedVectorCache::project(int32_t i)
{
    int32_t w;
    const CkwFixedVector3D p = getPosition(i, w);
    m_projected[i] = divideByW(p, w, m_divisors[i]);
    m_stamps[i] = m_projectedStamp;
}

void CkwFixedVectorCache::reset()
{
    m_positions.reset();
    m_projected.reset();
    m_w.reset();
    m_divisors.reset();
    m_stamps.reset();
    m_matrices.reset();
    m_entryMatrices.reset();
    m_array = nullptr;
    m_skin = nullptr;
    m_paletteIndices = nullptr;
    m_prepared = false;
    m_built = false;
}

CkwFixedVector3D divideByW(const CkwFixedVector3D& p, int32_t w, int64_t& divisor)
{
    divisor = (int64_t{1} << 62) / std::max(w, 1);
    // Rounded to nearest, from the exact quotient the textures use too.
    const auto scaled = [&](int32_t c, int32_t shift) {
        return saturate(static_cast<int64_t>((Int128{c} * divisor + (Int128{1} << (shift - 1))) >> shift));
    };
    return {scaled(p.x, 46), scaled(p.y, 46), scaled(p.z, 34)};
}
