// The clip codes of a node's vertices, four at a time and one by one, against
// a reference in 64 bits over the ends of the 32-bit range.
#include "engine/render/CkwClipVertex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace {

uint32_t referenceCode(int64_t x, int64_t y, int64_t z, int64_t w)
{
    uint32_t code = 0;
    const int64_t c[3] = {x, y, z};
    for (int32_t axis = 0; axis < 3; ++axis)
        code |= (c[axis] > w ? 1u : 0u) << (2 * axis) | (c[axis] < -w ? 2u : 0u) << (2 * axis);
    return code;
}

TEST(CkwClipVertex, FacingVerticesMatchAReferenceAtTheEndsOfTheRange)
{
    const int32_t edges[] = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1, 65536, INT32_MAX - 1, INT32_MAX};
    std::mt19937 random(56);
    const auto pick = [&] {
        return random() % 3 == 0 ? static_cast<int32_t>(random()) : edges[random() % std::size(edges)];
    };
    // Counts around multiples of four take both the vector and the scalar way.
    for (int32_t n : {0, 1, 3, 4, 5, 8, 11, 64, 257}) {
        std::vector<CkwFixedVector3D> p(n);
        std::vector<int32_t> w(n);
        for (int32_t i = 0; i < n; ++i) {
            p[i] = {pick(), pick(), pick()};
            w[i] = pick();
        }
        std::vector<SkwFacingVertex> out(n);
        const SkwClipCodes codes = facingVertices(p.data(), w.data(), n, out.data());
        uint32_t all = 255, any = 0;
        int32_t nearest = INT32_MAX;
        for (int32_t i = 0; i < n; ++i) {
            const uint32_t code = referenceCode(p[i].x, p[i].y, p[i].z, w[i]);
            SCOPED_TRACE(testing::Message() << "n " << n << " vertex " << i);
            EXPECT_EQ(out[i].x, p[i].x);
            EXPECT_EQ(out[i].y, p[i].y);
            EXPECT_EQ(out[i].w, w[i]);
            EXPECT_EQ(out[i].code, code | (w[i] <= 0 ? kNotInFront : 0));
            all &= code;
            any |= code;
            nearest = std::min(nearest, w[i]);
        }
        EXPECT_EQ(codes.all, all) << n;
        EXPECT_EQ(codes.any, any) << n;
        EXPECT_EQ(codes.nearestW, nearest) << n;
    }
}

} // namespace
