#include "game/shell/ShellText.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/properties/PropertySet.h"
#include "framework/strings/WideString.h"
#include "tests/support/TestApp.h"

TEST(ShellText, VersionPropertiesAndScanners)
{
    TestApp app;
    WideString text;
    buildVersionString(text);
    EXPECT_EQ(std::u16string(text.chars()), u"0.0.0");
    buildBanner(text);
    EXPECT_EQ(std::u16string(text.chars()), u"\n\n\n\n\n\n$Name:  $\nJun  9 2009 14:52:23");

    PropertySet* properties = getProperties();
    ASSERT_NE(properties, nullptr);
    properties->set(kVersionKey, "1.2.3");
    properties->set("TWO_LINES", "first\\nsecond\\");
    properties->set("SIX", "abcdef");
    buildVersionString(text);
    EXPECT_EQ(std::u16string(text.chars()), u"1.2.3");

    struct Case {
        const char* key;
        uint32_t length;
        int result;
        std::u16string value;
    };
    const Case cases[] = {
        {"TWO_LINES", 64, 1, u"first\nsecond\\"},
        {"TWO_LINES", 7, 1, u"first\n"},
        {"SIX", 4, 1, u"abc"},
        {"SIX", 1, 1, u""},
        {"SIX", 0, 0, u"untouched"},
        {"ABSENT", 8, 0, u"untouched"},
    };
    for (const Case& c : cases) {
        char16_t buffer[64] = u"untouched";
        EXPECT_EQ(getPropertyWide(c.key, buffer, c.length), c.result) << c.key;
        EXPECT_EQ(std::u16string(buffer), c.value) << c.key << c.length;
    }
    // A version longer than a text of the pack is cut as one is.
    properties->clear();
    properties->set(kVersionKey, std::string(kMaxPackTextLength + 1, '9').c_str());
    buildVersionString(text);
    EXPECT_EQ(text.length(), kMaxPackTextLength);

    const std::string line = "  \t\r\nKEY_1-a.b,(c)!:;\\/* x=\x01";
    const char* start = skipBlanks(line.data(), line.data() + line.size());
    EXPECT_EQ(start - line.data(), 5);
    EXPECT_EQ(std::string(start, tokenEnd(start, line.data() + line.size())), "KEY_1-a.b,(c)!:;\\/* x");
    EXPECT_EQ(skipBlanks(line.data(), line.data() + 2), line.data() + 2) << "bounded by end";
}

// Pack texts as formats: integer conversions only, never more than given.
TEST(ShellText, PackFormatsTakeOnlyTheIntegersTheyAreGiven)
{
    const int32_t args[2] = {9000, 10200};
    const struct {
        const char16_t* format;
        uint32_t count;
        const char16_t* expected;
    } cases[] = {
        {u"%i of %i", 2, u"9000 of 10200"},
        {u"%06d|%-5x|", 2, u"009000|27d8 |"},
        {u"100%% %i", 1, u"100% 9000"},
        {u"%i of %i", 1, u"%i of %i"},  // one more than given
        {u"%s of %i", 2, u"%s of %i"},  // a pointer conversion
        {u"%n", 2, u"%n"},
        {u"%*i", 2, u"%*i"},
        {u"%i\u0100%\u0169", 2, u"%i\u0100%\u0169"},
        {u"ends in %", 2, u"ends in %"},
    };
    for (const auto& c : cases) {
        WideString out(u"stale");
        formatPackText(out, c.format, c.count, args);
        EXPECT_EQ(std::u16string(out.chars()), std::u16string(c.expected));
    }
}
