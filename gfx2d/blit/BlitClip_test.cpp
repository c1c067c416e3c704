#include "gfx2d/blit/BlitClip.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

namespace {

TEST(BlitClip, RectanglesAreCutAtEachEdgeWithTheSourceFollowing)
{
    struct Case {
        int32_t x, y, w, h;
        bool mirrorX, mirrorY;
        uint32_t bits;
        int32_t cx, cy, cw, ch, srcX, srcY;  // after clipping; source starts at (100, 200)
    };
    const ClipRect clip{10, 20, 30, 40};
    const Case cases[] = {
        {12, 22, 5, 5, false, false, 32, 12, 22, 5, 5, 100, 200},
        {0, 22, 5, 5, false, false, 65, 0, 22, 0, 5, 100, 200},
        {45, 22, 5, 5, false, false, 66, 45, 22, 0, 5, 100, 200},
        {6, 22, 8, 5, false, false, 33, 10, 22, 4, 5, 104, 200},
        {6, 22, 8, 5, true, false, 33, 10, 22, 4, 5, 100, 200},
        {36, 22, 8, 5, false, false, 34, 36, 22, 4, 5, 100, 200},
        {36, 22, 8, 5, true, false, 34, 36, 22, 4, 5, 104, 200},
        {12, 18, 5, 5, false, false, 36, 12, 20, 5, 3, 100, 202},
        {12, 58, 5, 5, false, true, 40, 12, 58, 5, 2, 100, 203},
        {0, 0, 100, 100, false, false, 47, 10, 20, 30, 40, 110, 220},
        {12, 70, 5, 5, false, false, 72, 12, 70, 5, 0, 100, 200},
    };
    for (const Case& c : cases) {
        int32_t x = c.x, y = c.y, w = c.w, h = c.h, srcX = 100, srcY = 200;
        EXPECT_EQ(clipBlitRect(&x, &y, clip, &srcX, &srcY, &w, &h, c.mirrorX, c.mirrorY), c.bits) << c.x << "," << c.y;
        if (c.bits & ClipBits::Nothing)
            continue;
        EXPECT_EQ(std::tie(x, y, w, h, srcX, srcY), std::tie(c.cx, c.cy, c.cw, c.ch, c.srcX, c.srcY))
            << c.x << "," << c.y;
    }
    // A destination at the top of the range follows a cut source by wrapping.
    int32_t x = INT32_MAX, y = 0, srcX = -5, srcY = 0, w = 8, h = 1;
    EXPECT_EQ(clipBlitSource(&x, &y, 10, 1, &srcX, &srcY, &w, &h, false, false), ClipBits::Left | ClipBits::Remains);
    EXPECT_EQ(std::tie(x, srcX, w), std::make_tuple(INT32_MIN + 4, 0, 3));
}

// Source rectangles come from files: whatever they say, a clipped blit reads
// only inside the source image and writes only inside the clip, and draws
// exactly the pixels of the unclipped blit that satisfy both.
TEST(BlitClip, ClippedBlitsDrawExactlyThePixelsInsideSourceAndClip)
{
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return lo + int(random() % uint32_t(hi - lo + 1)); };
    const ClipRect clip{5, 3, 20, 15};
    const int srcW = 12, srcH = 9;
    for (int trial = 0; trial < 4000; ++trial) {
        const int x0 = pick(-10, 30), y0 = pick(-10, 25), sx0 = pick(-8, 16), sy0 = pick(-8, 12);
        const int w0 = pick(0, 20), h0 = pick(0, 14);
        const bool mx = random() & 1, my = random() & 1;
        using Pair = std::tuple<int, int, int, int>;
        auto sourceOf = [&](int i, int j, int sx, int sy, int w, int h) {
            return std::pair(sx + (mx ? w - 1 - i : i), sy + (my ? h - 1 - j : j));
        };
        std::set<Pair> expected, drawn;
        for (int j = 0; j < h0; ++j)
            for (int i = 0; i < w0; ++i) {
                const auto [u, v] = sourceOf(i, j, sx0, sy0, w0, h0);
                const int dx = x0 + i, dy = y0 + j;
                if (u >= 0 && v >= 0 && u < srcW && v < srcH && dx >= clip.x && dy >= clip.y &&
                    dx < clip.x + clip.w && dy < clip.y + clip.h)
                    expected.emplace(dx, dy, u, v);
            }
        int32_t x = x0, y = y0, sx = sx0, sy = sy0, w = w0, h = h0;
        uint32_t bits = clipBlitSource(&x, &y, srcW, srcH, &sx, &sy, &w, &h, mx, my);
        if (bits & ClipBits::Remains)
            bits = clipBlitRect(&x, &y, clip, &sx, &sy, &w, &h, mx, my);
        if (bits & ClipBits::Remains)
            for (int j = 0; j < h; ++j)
                for (int i = 0; i < w; ++i) {
                    const auto [u, v] = sourceOf(i, j, sx, sy, w, h);
                    drawn.emplace(x + i, y + j, u, v);
                }
        ASSERT_EQ(drawn, expected) << "trial " << trial;
        if (w0 > 0 && h0 > 0) {
            ASSERT_EQ((bits & ClipBits::Remains) != 0, !expected.empty()) << "trial " << trial;
        }
    }
}

TEST(BlitClip, ClippedLinesStayInsideTheClip)
{
    const ClipRect clip{4, 6, 20, 13};
    int32_t x = -10, y = 9, dx = 60, dy = 0;
    EXPECT_EQ(clipLine(&x, &y, clip, &dx, &dy),
              ClipBits::Left | ClipBits::StartLeft | ClipBits::Right | ClipBits::Remains);
    EXPECT_EQ(std::tie(x, y, dx, dy), std::make_tuple(4, 9, 20, 0));
    // Each edge crossed once from either side: the start-outside flag follows
    // the end that lies beyond it.
    const struct {
        int32_t x, y, dx, dy;
        uint32_t bits;
    } crossings[] = {
        {0, 10, 10, 0, ClipBits::Left | ClipBits::StartLeft},
        {10, 10, -10, 0, ClipBits::Left},
        {30, 10, -10, 0, ClipBits::Right | ClipBits::StartRight},
        {10, 10, 20, 0, ClipBits::Right},
        {10, 2, 0, 8, ClipBits::Top | ClipBits::StartTop},
        {10, 8, 0, -8, ClipBits::Top},
        {10, 25, 0, -10, ClipBits::Bottom | ClipBits::StartBottom},
        {10, 10, 0, 15, ClipBits::Bottom},
        // The top and bottom count only where the line lies between the sides.
        {-20, 0, 70, 21, ClipBits::Left | ClipBits::StartLeft | ClipBits::Right},
        {0, 30, 30, -30,
         ClipBits::Left | ClipBits::StartLeft | ClipBits::Right | ClipBits::Bottom | ClipBits::StartBottom},
    };
    for (const auto& c : crossings) {
        x = c.x, y = c.y, dx = c.dx, dy = c.dy;
        EXPECT_EQ(clipLine(&x, &y, clip, &dx, &dy), c.bits | ClipBits::Remains) << c.x << "," << c.y;
    }
    x = 5, y = 7, dx = 10, dy = 3;
    EXPECT_EQ(clipLine(&x, &y, clip, &dx, &dy), ClipBits::Remains);
    EXPECT_EQ(std::tie(x, y, dx, dy), std::make_tuple(5, 7, 10, 3));
    x = 20, y = 15, dx = -10, dy = -7;  // up and left, wholly inside: unchanged
    EXPECT_EQ(clipLine(&x, &y, clip, &dx, &dy), ClipBits::Remains);
    EXPECT_EQ(std::tie(x, y, dx, dy), std::make_tuple(20, 15, -10, -7));
    x = 0, y = 7, dx = 3, dy = 5;
    EXPECT_EQ(clipLine(&x, &y, clip, &dx, &dy), ClipBits::Rejected);

    // Every pixel the line loop's stepping draws after clipping is inside.
    std::mt19937 random(3);
    for (int trial = 0; trial < 20000; ++trial) {
        x = int32_t(random() % 60) - 20, y = int32_t(random() % 50) - 15;
        dx = int32_t(random() % 80) - 40, dy = int32_t(random() % 80) - 40;
        if (!(clipLine(&x, &y, clip, &dx, &dy) & ClipBits::Remains))
            continue;
        const int ax = std::abs(dx), ay = std::abs(dy), sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
        const int major = std::max(ax, ay);
        for (int i = 0; i < std::max(major, 1); ++i) {
            const int minor = major ? (2 * i * std::min(ax, ay) + major) / (2 * major) : 0;
            const int px = x + sx * (ay > ax ? minor : i), py = y + sy * (ay > ax ? i : minor);
            ASSERT_TRUE(px >= clip.x && py >= clip.y && px < clip.x + clip.w && py < clip.y + clip.h)
                << "trial " << trial << " pixel " << px << "," << py;
        }
    }
}

} // namespace
