#include "platform/host/HostText.h"

#include <gtest/gtest.h>

namespace {

TEST(HostText, Utf16AndUtf8RoundTrip)
{
    const std::u16string samples[] = { u"", u"safe.m3g", u"caf\u00e9", u"\u20ac/\u65e5\u672c", u"\U0001F600x" };
    for (const std::u16string& wide : samples) {
        std::string narrow;
        ASSERT_TRUE(hostUtf16ToUtf8(wide, narrow));
        EXPECT_EQ(hostUtf8ToUtf16(narrow), wide);
    }
    std::string narrow;
    ASSERT_TRUE(hostUtf16ToUtf8(u"\u20ac", narrow));
    EXPECT_EQ(narrow, "\xE2\x82\xAC");
}

TEST(HostText, UnpairedSurrogatesNameNoFile)
{
    const std::u16string bad[] = { std::u16string(1, u'\xD800'), std::u16string(1, u'\xDC00'),
                                   std::u16string(u"a\xD800" "b") };
    for (const std::u16string& wide : bad) {
        std::string narrow = "stale";
        EXPECT_FALSE(hostUtf16ToUtf8(wide, narrow));
        EXPECT_TRUE(narrow.empty());
    }
}

TEST(HostText, MalformedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(hostUtf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(hostUtf8ToUtf16("\xC0\x80"), u"\uFFFD");          // overlong
    EXPECT_EQ(hostUtf8ToUtf16("\xE2\x82"), u"\uFFFD");          // cut
    EXPECT_EQ(hostUtf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");      // surrogate
}

} // namespace
