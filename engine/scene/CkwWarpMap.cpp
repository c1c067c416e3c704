// Warp map evaluation: clamped straight segments, or a cubic Hermite curve
// continued linearly past the end knots. Products are formed in 64 bits, and
// those of two knot differences in 128.
#include "engine/scene/CkwWarpMap.h"

#include <algorithm>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "framework/util/FirstClaims.h"

namespace {

__extension__ using Int128 = __int128;

// Keeps near-coincident knots (closer than about 0.001) from blowing up a slope.
constexpr int64_t kMinRun = 66;

// A product of two knot differences with the low 16 bits of its 32.32 form
// dropped, over a run. Knots from a file may lie 2^32 apart on both axes, so
// the product needs 128 bits; the quotient fits 64.
int64_t productOver(int64_t a, int64_t b, int64_t run)
{
    return static_cast<int64_t>(((Int128{a} * b) & ~Int128{0xFFFF}) / run);
}

int64_t slopeOver(int64_t a, int64_t b, int64_t run) { return productOver(a, b, std::max(run, kMinRun)); }

} // namespace

int32_t CkwWarpMap::findSegment(int32_t x) const
{
    if (!m_indexed)
        index();
    const int32_t* at = std::lower_bound(m_xs.begin(), m_xs.end(), x);
    const auto k = static_cast<int32_t>(at - m_xs.begin());
    if (k < m_xs.count() && *at == x)
        return m_owners[2 * k];
    return k == 0 || k == m_xs.count() ? -1 : m_owners[2 * k - 1];
}

void CkwWarpMap::index() const
{
    const int32_t n = m_knots.count();
    m_xs.setCount(n);
    for (int32_t i = 0; i < n; ++i)
        m_xs[i] = m_knots[i].x;
    std::sort(m_xs.begin(), m_xs.end());
    m_xs.setCount(static_cast<int32_t>(std::unique(m_xs.begin(), m_xs.end()) - m_xs.begin()));
    const int32_t slots = m_xs.isEmpty() ? 0 : 2 * m_xs.count() - 1;
    m_owners.setCount(slots);
    std::fill(m_owners.begin(), m_owners.end(), -1);
    // Segments claim the slots they cover in knot order, each slot once.
    CkwArray<int64_t> next;
    next.setCount(slots + 1);
    FirstClaims claims(next.begin(), slots);
    const auto slotOf = [&](int32_t x) {
        return 2 * static_cast<int32_t>(std::lower_bound(m_xs.begin(), m_xs.end(), x) - m_xs.begin());
    };
    for (int32_t i = 0; i + 1 < n; ++i) {
        if (m_knots[i].x >= m_knots[i + 1].x)
            continue;
        claims.claim(slotOf(m_knots[i].x), slotOf(m_knots[i + 1].x),
                     [&](int64_t s) { m_owners[static_cast<int32_t>(s)] = i; });
    }
    if (EngineContext* context = engineContext())
        context->visits += static_cast<uint64_t>(n) + static_cast<uint64_t>(slots);
    m_indexed = true;
}

void CkwWarpMap::insertKnot(int32_t index, int32_t x, int32_t y)
{
    if (index < 0 || index > m_knots.count())
        leave(KErrIndexOutOfRange);
    m_indexed = false;
    m_knots.append({x, y});
    for (int32_t i = m_knots.count() - 1; i > index; --i)
        m_knots[i] = m_knots[i - 1];
    m_knots[index] = {x, y};
}

int32_t CkwWarpMap::evaluate(int32_t x) const
{
    const int32_t n = m_knots.count();
    if (n == 0)
        return kFixedOne / 2;
    if (n == 1)
        return m_knots[0].y;
    if (m_smooth)
        return evaluateSmooth(x);
    if (x < m_knots[0].x)
        return m_knots[0].y;
    if (x > m_knots[n - 1].x)
        return m_knots[n - 1].y;
    const int32_t i = findSegment(x);
    if (i < 0)
        return m_knots[n - 1].y;
    const SkwKnot& a = m_knots[i];
    const SkwKnot& b = m_knots[i + 1];
    const int64_t t = fixedDiv64((int64_t{x} - a.x) << 16, int64_t{b.x} - a.x);
    return static_cast<int32_t>(a.y + (((int64_t{b.y} - a.y) * t) >> 16));
}

int32_t CkwWarpMap::evaluateSmooth(int32_t x) const
{
    const int32_t n = m_knots.count();
    const SkwKnot& first = m_knots[0];
    const SkwKnot& last = m_knots[n - 1];
    if (x < first.x)
        return static_cast<int32_t>(first.y - slopeOver(int64_t{first.x} - x, int64_t{m_knots[1].y} - first.y,
                                                         int64_t{m_knots[1].x} - first.x));
    if (x > last.x)
        return static_cast<int32_t>(last.y + slopeOver(int64_t{x} - last.x, int64_t{last.y} - m_knots[n - 2].y,
                                                        int64_t{last.x} - m_knots[n - 2].x));
    const int32_t i = findSegment(x);
    if (i < 0)
        return 0;
    const int64_t xi = m_knots[i].x;
    const int64_t yi = m_knots[i].y;
    const int64_t yj = m_knots[i + 1].y;
    const int64_t d = m_knots[i + 1].x - xi;
    const int64_t t = static_cast<int32_t>(((x - xi) << 16) / d);
    // Beyond the ends the neighbours are the mirror images of the segment.
    int64_t yp = 2 * yi - yj;
    int64_t dp = d;
    if (i >= 1) {
        yp = m_knots[i - 1].y;
        dp = xi - m_knots[i - 1].x;
    }
    int64_t yn = 2 * yj - yi;
    int64_t dn = d;
    if (i < n - 2) {
        yn = m_knots[i + 2].y;
        dn = int64_t{m_knots[i + 2].x} - m_knots[i + 1].x;
    }
    const int64_t sp = static_cast<int32_t>(slopeOver(yi - yp, d, dp));
    const int64_t s = static_cast<int32_t>(productOver(yj - yi, d, d));
    const int64_t sn = static_cast<int32_t>(slopeOver(yn - yj, d, dn));
    const int64_t m0 = static_cast<int32_t>((sp + s) >> 1);
    const int64_t m1 = static_cast<int32_t>((sn + s) >> 1);
    const int64_t t2 = static_cast<int32_t>((t * t) >> 16);
    const int64_t t3 = static_cast<int32_t>((t2 * t) >> 16);
    return static_cast<int32_t>((((t3 - 2 * t2 + t) * m0) >> 16) + ((m1 * (t3 - t2)) >> 16)
                                + (((3 * t2 - 2 * t3) * yj) >> 16) + (((2 * (t3 + 32768 - t2) - t2) * yi) >> 16));
}

void CkwWarpMap::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    m_smooth = buffer.readBoolean();
    const uint32_t count = buffer.readArrayCount(8);
    m_indexed = false;
    m_knots.setCount(0);
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t x = roundToFixed(buffer.readFloat());
        appendKnot(x, roundToFixed(buffer.readFloat()));
    }
}

void CkwWarpMap::copyFrom(const CkwWarpMap& source)
{
    m_smooth = source.m_smooth;
    m_indexed = false;
    m_knots.setCount(source.m_knots.count());
    std::copy(source.m_knots.begin(), source.m_knots.end(), m_knots.begin());
}
