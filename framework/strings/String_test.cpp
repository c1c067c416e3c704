// String and WideString: search, substring, trim, concatenation and reading
// whole streams, including the bounds that must never read outside the text.
#include "framework/strings/String.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/streams/MemoryInputStream.h"
#include "framework/strings/WideString.h"

namespace {

TEST(String, FreshAndBuiltStrings)
{
    String fresh;
    EXPECT_EQ(fresh.chars(), nullptr);
    EXPECT_EQ(fresh.length(), 0u);
    EXPECT_EQ(fresh.m_typeId, kStringTypeId);
    String s("ab");
    s.append("");
    s.append(nullptr);
    s.append(s.chars());  // appending itself reads the old block before freeing it
    EXPECT_STREQ(s.chars(), "abab");
    s.appendString(String("!"));
    EXPECT_STREQ(s.chars(), "abab!");
    EXPECT_STREQ(String::concat(String("x"), String()).chars(), "x");
    EXPECT_STREQ(String::concatText(String("x"), "y").chars(), "xy");
    EXPECT_STREQ(String::concatTextFirst("y", String("x")).chars(), "yx");
    String copy(s);
    copy.assign("z");
    EXPECT_STREQ(copy.chars(), "z");
    EXPECT_STREQ(s.chars(), "abab!");
}

TEST(String, FindFindCharAndSkipChar)
{
    String s("a/b/c");
    EXPECT_EQ(s.findChar(0, '/'), 3);
    EXPECT_EQ(s.findChar(1, '/'), 1);
    EXPECT_EQ(s.findChar(3, '/'), -1);
    String abc("abc");
    EXPECT_EQ(abc.find("c", 0), 2);
    EXPECT_EQ(abc.find("bc", 0), 1);
    EXPECT_EQ(abc.find("bcd", 0), -1);
    EXPECT_EQ(abc.find("", 3), 3);
    EXPECT_EQ(abc.find("", 4), -1);
    EXPECT_EQ(abc.find("a", -5), 0);
    EXPECT_EQ(String("aab").skipChar(-3, 'a'), 2);
    EXPECT_EQ(String("aaa").skipChar(0, 'a'), -1);
    EXPECT_EQ(abc.skipChar(3, 'x'), -1);
}

TEST(String, SubstringRunsEitherWayAndStaysInside)
{
    const struct {
        const char* text;
        int32_t a, b;
        const char* expected;
    } cases[] = {
        {"abc", 0, 0, "a"},         {"abc", 2, 0, "cba"},     {"abc", 1, 99, "bc"},
        {"abcdef", 3, 1, "dcb"},    {"abc", -4, 1, "ab"},     {"abc", 1, -7, "ba"},
        {"abc", 5, 9, ""},          {"abc", 9, 0, ""},        {"", 0, 3, ""},
        {"abc", 0, 0x7FFFFFFF, "abc"}, {"abc", 0x7FFFFFFF, 0, ""},
    };
    for (const auto& c : cases) {
        String sub = String(c.text).substring(c.a, c.b);
        ASSERT_NE(sub.chars(), nullptr);
        EXPECT_STREQ(sub.chars(), c.expected) << c.text << " " << c.a << " " << c.b;
    }
}

TEST(String, TrimAndCharAt)
{
    EXPECT_STREQ(String("  key \r").trim().chars(), "key");
    EXPECT_STREQ(String("\vkey").trim().chars(), "\vkey");
    String blank = String(" \t\n\f\r").trim();
    ASSERT_NE(blank.chars(), nullptr);
    EXPECT_EQ(blank.length(), 0u);
    String s("a\xE9");
    EXPECT_EQ(s.charAt(1), -23);
    EXPECT_EQ(s.charAt(-1), 0);
    EXPECT_EQ(s.charAt(2), 0);
}

TEST(String, ReadTakesTheRestOfAStreamAndChecksIt)
{
    const char bytes[] = "hello";
    MemoryInputStream in;
    in.open(bytes, 5);
    String s;
    EXPECT_EQ(s.read(in, kWideStringTypeId), 0);
    EXPECT_EQ(s.read(in, kStringTypeId), 1);
    EXPECT_STREQ(s.chars(), "hello");
    EXPECT_EQ(s.read(in, kStringTypeId), 0);  // nothing left
    EXPECT_EQ(s.length(), 0u);
}

TEST(WideString, NarrowFormsAndEquality)
{
    WideString w = WideString::fromNarrow("ab\xE9");
    EXPECT_EQ(w.length(), 3u);
    EXPECT_EQ(w.chars()[2], 0x00E9);
    EXPECT_EQ(w.equals(u"ab\u00E9"), 1);
    EXPECT_EQ(w.differs(u"ab"), 1);
    EXPECT_EQ(WideString().equals(u""), 1);
    EXPECT_EQ(WideString::concatNarrow(WideString(u"x"), "y").equals(u"xy"), 1);
    EXPECT_EQ(WideString::concatNarrowFirst("y", WideString(u"x")).equals(u"yx"), 1);
    EXPECT_EQ(WideString(u"a.b").substring(2, 0).equals(u"b.a"), 1);
    EXPECT_EQ(wideTextEquals(u"ab", u"abc"), 0);
}

TEST(WideString, ReadsUtf16AndModifiedUtf8)
{
    const uint8_t utf8[] = {0xC3, 0xA9, 'x', 0xC0, 0x80};
    MemoryInputStream in;
    in.open(utf8, sizeof utf8);
    WideString w;
    EXPECT_EQ(w.read(in, kUtf8TextTag), 1);
    EXPECT_EQ(w.length(), 2u);  // up to the decoded U+0000
    EXPECT_EQ(w.chars()[0], 0x00E9);

    const uint8_t utf16[] = {'h', 0, 0xAC, 0x20};
    in.open(utf16, sizeof utf16);
    EXPECT_EQ(w.read(in, kWideStringTypeId), 1);
    EXPECT_EQ(w.equals(u"h\u20AC"), 1);

    in.open(utf16, sizeof utf16);
    EXPECT_EQ(w.read(in, 0x12345678), 0);
    EXPECT_EQ(w.chars(), nullptr);

    // Whole texts: all-ASCII UTF-8 gives a unit a byte, and UTF-16 outgrows the first read block.
    const std::string ascii(1000, 'q');
    std::u16string wide(40000, u'\u0100');
    for (size_t i = 0; i < wide.size(); i += 3)
        wide[i] = u'a';
    in.open(ascii.data(), 1000);
    ASSERT_EQ(w.read(in, kUtf8TextTag), 1);
    EXPECT_EQ(std::u16string(w.chars(), w.length()), std::u16string(1000, u'q'));
    in.open(wide.data(), uint32_t(wide.size() * 2));
    ASSERT_EQ(w.read(in, kWideStringTypeId), 1);
    EXPECT_EQ(std::u16string(w.chars(), w.length()), wide);
}

} // namespace
