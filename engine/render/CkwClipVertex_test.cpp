// The clip codes of a node's vertices, four at a time and one by one, against
// a reference in 64 bits over the ends of the 32-bit range.
#include "engine/render/CkwClipVertex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace {

TEST(CkwClipVertex, FacingVerticesMatchAReferenceAtTheEndsOfTheRange)
{
    const int32_t edges[] = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1, 65536, INT32_MAX - 1, INT32_MAX};
    std::mt19937 rng(56);
    const auto pick = [&] { return rng() % 3 == 0 ? static_cast<int32_t>(rng()) : edges[rng() % std::size(edges)]; };
    // Counts around multiples of four take both the vector and the scalar way.
    for (int32_t n : {0, 1, 3, 4, 5, 11, 257}) {
        std::vector<CkwFixedVector3D> p(n);
        std::vector<int32_t> w(n);
        std::vector<SkwFacingVertex> out(n);
        for (int32_t i = 0; i < n; ++i)
            p[i] = {pick(), pick(), pick()}, w[i] = pick();
        const SkwClipCodes codes = facingVertices(p.data(), w.data(), n, out.data());
        SkwClipCodes expected;
        for (int32_t i = 0; i < n; ++i) {
            uint32_t code = 0;
            for (int32_t axis = 0; axis < 3; ++axis) {
                const int64_t c = axis == 0 ? p[i].x : axis == 1 ? p[i].y : p[i].z;
                code |= (c > w[i] ? 1u : 0u) << 2 * axis | (c < -int64_t{w[i]} ? 2u : 0u) << 2 * axis;
            }
            const SkwFacingVertex& o = out[i];
            EXPECT_TRUE(o.x == p[i].x && o.y == p[i].y && o.w == w[i]) << n << " " << i;
            EXPECT_EQ(o.code, code | (w[i] <= 0 ? kNotInFront : 0)) << n << " " << i;
            expected = {static_cast<uint8_t>(expected.all & code), static_cast<uint8_t>(expected.any | code),
                        std::min(expected.nearestW, w[i])};
        }
        EXPECT_TRUE(codes.all == expected.all && codes.any == expected.any && codes.nearestW == expected.nearestW) << n;
    }
}

} // namespace
