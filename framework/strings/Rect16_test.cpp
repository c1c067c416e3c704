// Rectangle operations and span clipping.
#include "framework/strings/Rect16.h"

#include <gtest/gtest.h>

namespace {

bool same(const Rect16& a, const Rect16& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

TEST(Rect16, UniteIntersectsContains)
{
    Rect16 r{};
    Rect16::unite(r, Rect16{1, 2, 3, 4});
    EXPECT_TRUE(same(r, Rect16{1, 2, 3, 4}));
    r = Rect16{0, 0, 2, 2};
    Rect16::unite(r, Rect16{4, 4, 2, 2});
    EXPECT_TRUE(same(r, Rect16{0, 0, 6, 6}));
    Rect16::unite(r, Rect16{9, 9, 0, 5});
    EXPECT_TRUE(same(r, Rect16{0, 0, 6, 6}));
    EXPECT_EQ(Rect16::intersects(Rect16{0, 0, 2, 2}, Rect16{2, 2, 1, 1}), 1);
    EXPECT_EQ(Rect16::intersects(Rect16{0, 0, 2, 2}, Rect16{3, 0, 1, 1}), 0);
    EXPECT_EQ(Rect16::contains(Rect16{0, 0, 4, 4}, Rect16{1, 1, 3, 3}), 1);
    EXPECT_EQ(Rect16::contains(Rect16{0, 0, 4, 4}, Rect16{1, 1, 4, 3}), 0);
}

TEST(Rect16, ClampShrinkAndClip)
{
    Rect16 r{90, 5, 20, 10};
    Rect16::clampInside(r, Rect16{0, 0, 100, 100}, 2);
    EXPECT_TRUE(same(r, Rect16{78, 5, 20, 10}));
    r = Rect16{0, 0, 200, 10};  // too wide: the left margin wins
    Rect16::clampInside(r, Rect16{0, 0, 100, 100}, 2);
    EXPECT_EQ(r.x, 2);

    r = Rect16{10, 10, 20, 20};
    Rect16::shrinkBy(r, Rect16{5, 0, 8, 8});
    EXPECT_TRUE(same(r, Rect16{15, 10, 15, 20}));
    r = Rect16{10, 10, 20, 20};
    Rect16::shrinkBy(r, Rect16{10, 15, 4, 5});
    EXPECT_TRUE(same(r, Rect16{10, 10, 20, 15}));

    r = Rect16{-5, 8, 20, 10};
    Rect16::clipTo(r, Rect16{0, 0, 10, 10});
    EXPECT_TRUE(same(r, Rect16{0, 8, 10, 2}));
}

TEST(ClipSpan, Cases)
{
    const struct {
        int32_t start, length;
        int16_t pos, size, pos2, size2;
    } cases[] = {
        {0, 10, 2, 3, 2, 3}, {0, 10, -4, 6, 0, 2}, {0, 10, 8, 6, 8, 2},
        {0, 10, 10, 4, 10, 0}, {0, 10, -6, 6, -6, 0}, {5, 2, 0, 20, 5, 2},
    };
    for (const auto& c : cases) {
        int16_t pos = c.pos, size = c.size;
        clipSpan(c.start, c.length, pos, size);
        EXPECT_EQ(size, c.size2) << c.pos << "," << c.size;
        if (size != 0) {
            EXPECT_EQ(pos, c.pos2) << c.pos << "," << c.size;
        }
    }
}

} // namespace
