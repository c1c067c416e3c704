#include "framework/util/Format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::u16string widen(const char* s)
{
    std::u16string w;
    for (; *s; ++s)
        w.push_back(static_cast<char16_t>(static_cast<unsigned char>(*s)));
    return w;
}

template <class... Args>
std::string narrow(const char* format, Args... args)
{
    char buffer[256];
    const int n = formatNarrow(buffer, format, args...);
    EXPECT_EQ(static_cast<size_t>(n), std::string(buffer).size());
    return buffer;
}

template <class... Args>
std::u16string wide(const char* format, Args... args)
{
    char16_t buffer[256];
    const std::u16string f = widen(format);
    const int n = formatWide(buffer, f.c_str(), args...);
    return std::u16string(buffer, static_cast<size_t>(n));
}

template <class... Args>
void expectLikeSnprintf(const char* format, Args... args)
{
    char expected[256];
    std::snprintf(expected, sizeof expected, format, args...);
    EXPECT_EQ(narrow(format, args...), expected) << "format \"" << format << "\"";
    EXPECT_EQ(wide(format, args...), widen(expected)) << "format \"" << format << "\"";
}

struct IntCase {
    const char* format;
    int value;
};

TEST(Format, IntegerConversionsAgreeWithSnprintf)
{
    const IntCase cases[] = {
        {"%d", 0}, {"%d", 42}, {"%d", -42}, {"%d", INT_MIN}, {"%d", INT_MAX},
        {"%i", -7}, {"%u", -1}, {"%u", 3000000}, {"%o", 8}, {"%o", 0777},
        {"%x", 255}, {"%X", 255}, {"%x", -1}, {"%X", 0xBEEF},
        {"%5d", 42}, {"%-5d", 42}, {"%05d", 42}, {"%05d", -42}, {"%+d", 42},
        {"%+d", -42}, {"% d", 42}, {"% d", -42}, {"%+5d", 42}, {"%-+5d", 42},
        {"% 05d", 42}, {"%+05d", 42}, {"%-05d", 42}, {"%.3d", 7}, {"%8.3d", -7},
        {"%-8.3d|", 7}, {"%.1d", 123}, {"%#x", 255}, {"%#X", 255}, {"%#o", 8},
        {"%#8x", 255}, {"%#-8x|", 255}, {"%#08x", 255}, {"%#.4x", 255}, {"%08X", 0xABC},
        {"%1d", 12345}, {"%20u", -294967296}, {"[%3o]", 5}, {"%hd", 99},
        {"%hu", 65535},
    };
    for (const IntCase& c : cases)
        expectLikeSnprintf(c.format, c.value);
}

TEST(Format, StarWidthAndPrecisionAgreeWithSnprintf)
{
    expectLikeSnprintf("%*d", 6, 42);
    expectLikeSnprintf("%*d|", -6, 42);
    expectLikeSnprintf("%.*d", 4, 42);
    expectLikeSnprintf("%*.*x", 8, 4, 0x2a);
    expectLikeSnprintf("%*c|", 3, 'q');
}

TEST(Format, CharAndStringConversionsAgreeWithSnprintf)
{
    struct CharCase {
        const char* format;
        int value;
    };
    for (const CharCase& c : {CharCase{"%c", 'A'}, CharCase{"%3c", 'B'}, CharCase{"%-3c|", 'C'}})
        expectLikeSnprintf(c.format, c.value);

    struct StringCase {
        const char* format;
        const char* value;
    };
    for (const StringCase& c : {StringCase{"%s", "abc"}, StringCase{"%.2s", "abc"},
                                StringCase{"%6s", "abc"}, StringCase{"%-6s|", "abc"},
                                StringCase{"%6.1s", "abc"}, StringCase{"%.10s", "abc"},
                                StringCase{"x%sy", ""}, StringCase{"%%%s%%", "p"}}) {
        char expected[64];
        std::snprintf(expected, sizeof expected, c.format, c.value);
        EXPECT_EQ(narrow(c.format, c.value), expected) << c.format;
        const std::u16string w = widen(c.value);
        EXPECT_EQ(wide(c.format, w.c_str()), widen(expected)) << c.format;
    }
}

TEST(Format, ConversionsThatDifferFromSnprintf)
{
    struct Case {
        const char* format;
        int value;
        const char* expected;
    };
    const Case cases[] = {
        {"%05.3d", 42, "00042"}, // zero padding survives a precision
        {"%#x", 0, "0x0"},       // the prefix does not depend on the value
        {"%#o", 0, "00"},
        {"%.0d", 0, "0"},        // zero always prints a digit
        {"%y", 1, "%y"},         // unknown conversions print themselves
        {"%q%d", 3, "%q3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(narrow(c.format, c.value), c.expected) << c.format;
        EXPECT_EQ(wide(c.format, c.value), widen(c.expected)) << c.format;
    }
    EXPECT_EQ(narrow("%.*s|", -1, "abc"), "|"); // a negative precision counts as 0
    EXPECT_EQ(narrow("%.*d", -3, 5), "5");
    EXPECT_EQ(narrow("%-*.*s|", 6, 2, "abcdef"), "ab    |");
    EXPECT_EQ(narrow("100%"), "100%");
    EXPECT_EQ(narrow("a%%b"), "a%b");
    EXPECT_EQ(narrow("%-"), "%");
    // Length qualifiers change nothing: every integer argument is 32 bits.
    EXPECT_EQ(narrow("%ld|%lx|%Lu", -99, 0xCAFE, 7u), "-99|cafe|7");
}

TEST(Format, PointerUsesEightZeroFilledDigitsAndFullWidth)
{
    EXPECT_EQ(narrow("%p", reinterpret_cast<void*>(0x1234)), "00001234");
    EXPECT_EQ(wide("%p", reinterpret_cast<void*>(0x1234)), u"00001234");
    EXPECT_EQ(narrow("%6p", reinterpret_cast<void*>(0x1234)), "  1234");
    EXPECT_EQ(narrow("%p", reinterpret_cast<void*>(0x123456789abcull)), "123456789abc");
}

TEST(Format, NullStringsPrintPlaceholders)
{
    EXPECT_EQ(narrow("[%s]", static_cast<const char*>(nullptr)), "[<NULL>]");
    EXPECT_EQ(wide("[%s]", static_cast<const char16_t*>(nullptr)), u"[NULL]");
    EXPECT_EQ(wide("[%U]", u"w"), u"[w]");
}

TEST(Format, CountConversionStoresUnitsWrittenSoFar)
{
    int count = -1;
    EXPECT_EQ(narrow("abc%n%d", &count, 12), "abc12");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(narrow("%nx", static_cast<int*>(nullptr)), "x");
}

TEST(Format, OutputIsBoundedAndTerminated)
{
    char small[5];
    std::memset(small, 'z', sizeof small);
    EXPECT_EQ(formatNarrow(small, sizeof small, "%d", 123456), 4);
    EXPECT_STREQ(small, "1234");

    char one[1] = {'z'};
    EXPECT_EQ(formatNarrow(one, 1, "abc"), 0);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(formatNarrow(one, 0, "abc"), 0);

    char padded[16];
    EXPECT_EQ(formatNarrow(padded, "%*d", 1 << 30, 7), 15);
    EXPECT_EQ(std::string(padded), std::string(15, ' '));
    EXPECT_EQ(formatNarrow(padded, "%*d", INT_MIN, 7), 15);
    EXPECT_EQ(padded[0], '7');
    EXPECT_EQ(formatNarrow(padded, "%999999999999d", 7), 15);

    char16_t w[4];
    EXPECT_EQ(formatWide(w, u"0x%8.8x", 0x1234u), 3);
    EXPECT_EQ(std::u16string(w), u"0x0");
}

TEST(Format, NumberConversionFollowsFlags)
{
    struct Case {
        uint32_t value;
        int base, width, precision;
        uint32_t flags;
        const char* expected;
    };
    const Case cases[] = {
        {5, 2, 0, -1, 0, "101"},
        {35, 36, 0, -1, 0, "z"},
        {35, 36, 0, -1, kFormatUpper, "Z"},
        {uint32_t(-5), 10, 4, -1, kFormatSigned, "  -5"},
        {uint32_t(-5), 10, 4, -1, 0, "4294967291"},
        {9, 10, 4, 2, kFormatZeroPad | kFormatPlus | kFormatSigned, "+009"},
        {9, 16, 6, -1, kFormatAlternate | kFormatLeft | kFormatZeroPad, "0x9   "},
    };
    for (const Case& c : cases) {
        char out[32];
        char* end = formatNumber(out, out + sizeof out, c.value, c.base, c.width, c.precision, c.flags);
        ASSERT_NE(end, nullptr);
        EXPECT_EQ(std::string(out, end), c.expected);
        char16_t w[32];
        char16_t* wend = formatNumber(w, w + 32, c.value, c.base, c.width, c.precision, c.flags);
        ASSERT_NE(wend, nullptr);
        EXPECT_EQ(std::u16string(w, wend), widen(c.expected));
    }
    char out[8];
    EXPECT_EQ(formatNumber(out, out + 8, 1, 1, 0, -1, 0), nullptr);
    EXPECT_EQ(formatNumber(out, out + 8, 1, 37, 0, -1, 0), nullptr);
    char* end = formatNumber(out, out + 3, 123456, 10, 0, -1, 0);
    EXPECT_EQ(std::string(out, end), "123");
}

} // namespace
