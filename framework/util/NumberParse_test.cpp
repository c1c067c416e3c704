#include "framework/util/NumberParse.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberParse, DecimalAdvancesPastDigitsOnly)
{
    struct Case {
        const char* text;
        uint32_t value;
        size_t consumed;
    };
    for (const Case& c : {Case{"123x", 123, 3}, Case{"x", 0, 0}, Case{"", 0, 0},
                          Case{"-5", 0, 0}, Case{"0042", 42, 4}, Case{"4294967297", 1, 10}}) {
        const char* p = c.text;
        EXPECT_EQ(parseDecimal(&p), c.value) << c.text;
        EXPECT_EQ(static_cast<size_t>(p - c.text), c.consumed) << c.text;
    }
    const char16_t* w = u"77;";
    EXPECT_EQ(parseDecimal(&w), 77u);
    EXPECT_EQ(*w, u';');
}

TEST(NumberParse, HexStopsAtFirstNonDigit)
{
    struct Case {
        const char* text;
        uint32_t value;
        size_t consumed;
    };
    for (const Case& c : {Case{"1aF", 0x1AF, 3}, Case{"DEADbeef!", 0xDEADBEEF, 8},
                          Case{"g", 0, 0}, Case{"", 0, 0}, Case{"0x10", 0, 1}}) {
        const char* stop = nullptr;
        EXPECT_EQ(parseHex(c.text, &stop), c.value) << c.text;
        EXPECT_EQ(static_cast<size_t>(stop - c.text), c.consumed) << c.text;
    }
    const char* stop = "unchanged";
    EXPECT_EQ(parseHex(nullptr, &stop), 0u);
    EXPECT_EQ(stop, nullptr);
}

TEST(NumberParse, DigitsAndBoundedLengths)
{
    EXPECT_EQ(isDigit('0'), 1);
    EXPECT_EQ(isDigit('9'), 1);
    EXPECT_EQ(isDigit('a'), 0);
    EXPECT_EQ(isDigit(u'5'), 1);
    EXPECT_EQ(isDigit(u'\u0665'), 0);
    EXPECT_EQ(strnlenNarrow("abc", 10), 3u);
    EXPECT_EQ(strnlenNarrow("abc", 2), 2u);
    EXPECT_EQ(strnlenNarrow("abc", 0), 0u);
    EXPECT_EQ(strnlenNarrow(nullptr, 5), 0u);
    EXPECT_EQ(strnlenWide(u"abcd", 10), 4u);
    EXPECT_EQ(strnlenWide(u"abcd", 1), 1u);
}

TEST(NumberParse, DivideInPlaceReturnsRemainderAndSurvivesZero)
{
    uint32_t v = 0xFFFFFFFFu;
    const uint32_t ten = 10;
    EXPECT_EQ(divideInPlace(&v, &ten), 5u);
    EXPECT_EQ(v, 429496729u);
    const uint32_t zero = 0;
    v = 17;
    EXPECT_EQ(divideInPlace(&v, &zero), 0u);
    EXPECT_EQ(v, 0xFFFFFFFFu);
}

} // namespace
