#include "engine/core/port/Port.h"

#include "engine/core/io/IoTestKit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Port, StrlwrLowersAsciiOnly)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "MVLARC:Data/Level1.M3G!Mesh", "mvlarc:data/level1.m3g!mesh" },
        { "AZaz09@[`{", "azaz09@[`{" },
        { "\xC4\xD6\xDC-\xC0", "\xC4\xD6\xDC-\xC0" }, // Latin-1 capitals stay
        { "", "" },
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(kwStrlwr(text.data()), text.data());
        EXPECT_EQ(text, c.out);
    }
    EXPECT_EQ(kwStrlwr(nullptr), nullptr);
}

TEST(Port, StringAndMemoryFunctionsForward)
{
    EXPECT_EQ(kwStrlen("abc"), 3u);
    EXPECT_EQ(kwStrncmp("abcx", "abcy", 3), 0);
    EXPECT_LT(kwStrncmp("abcx", "abcy", 4), 0);
    const char* text = "name!member";
    EXPECT_EQ(kwStrchr(text, '!'), text + 4);
    EXPECT_EQ(kwStrchr(text, '?'), nullptr);
    char buffer[4];
    EXPECT_EQ(kwMemset(buffer, 'z', 3), buffer);
    buffer[3] = 0;
    EXPECT_STREQ(buffer, "zzz");
    EXPECT_EQ(kwMemcpy(buffer, "ab", 2), buffer);
    EXPECT_STREQ(buffer, "abz");
    EXPECT_EQ(kwMemcpy(buffer, nullptr, 0), buffer);
    void* block = kwMalloc(16);
    EXPECT_NE(block, nullptr);
    kwFree(block);
}

TEST(PortDeathTest, ExitEndsWithCodeOne)
{
    EXPECT_EXIT(kwExit(), ::testing::ExitedWithCode(1), "");
}

TEST(Port, MappedFilesViewTheWholeFileOrNothing)
{
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
    const std::string path = folder.write("data.bin", bytes);
    const std::string empty = folder.write("empty.bin", std::vector<uint8_t>{});
    char16_t wide[64];
    ASSERT_TRUE(kwWidenPath(path.c_str(), path.size(), wide, 64));
    const uint8_t* view = nullptr;
    uint32_t size = 0;
    void* file = kwOpenMappedFile(wide, &view, &size);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(view, view + size), bytes);
    kwCloseMappedFile(file);
    kwCloseMappedFile(nullptr);

    for (const std::string& bad : {empty, folder.path() + "/missing.bin", folder.path()}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(kwWidenPath(bad.c_str(), bad.size(), wide, 64));
        view = nullptr;
        EXPECT_EQ(kwOpenMappedFile(wide, &view, &size), nullptr);
        EXPECT_EQ(view, nullptr);
    }
}

TEST(Port, WidenedPathsMustFitWithTheirTerminator)
{
    char16_t wide[4] = {9, 9, 9, 9};
    EXPECT_TRUE(kwWidenPath("a\xC3\xA9" "b", 4, wide, 4)); // two bytes, one character
    EXPECT_EQ(std::u16string(wide), u"a\u00e9b");
    EXPECT_FALSE(kwWidenPath("abcd", 4, wide, 4));
    EXPECT_TRUE(kwWidenPath("abcd", 3, wide, 4));
    EXPECT_EQ(std::u16string(wide), u"abc");
}

} // namespace
