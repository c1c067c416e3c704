#include "platform/wince/DebugOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;

void capture(const char* text)
{
    g_lines.push_back(text);
}

struct DebugOutputTest : ::testing::Test {
    void SetUp() override
    {
        g_lines.clear();
        setDebugOutputHook(capture);
    }
    void TearDown() override { setDebugOutputHook(nullptr); }
};

TEST_F(DebugOutputTest, HexDumpWritesLinesOfEightBytes)
{
    const uint8_t bytes[10] = { 'H', 'i', 0x00, 0x1F, 0x7F, 0x80, '~', ' ', 'A', 0xFF };
    hexDump("labeltoolong", bytes, sizeof bytes);
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0], "labeltool: 0000: 48 69 00 1f 7f 80 7e 20   Hi....~ ");
    EXPECT_EQ(g_lines[1], "labeltool: 0008: 41 ff " + std::string(18, ' ') + "  A.");
}

TEST_F(DebugOutputTest, HexDumpOfNothingWritesNoLine)
{
    const uint8_t byte = 1;
    hexDump("x", &byte, 0);
    hexDump("x", nullptr, 4);
    EXPECT_TRUE(g_lines.empty());
}

TEST_F(DebugOutputTest, LongTextsAreCutToTheBuffer)
{
    const std::string longText(1000, 'x');
    debugPrintf("%s", longText.c_str());
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], std::string(279, 'x'));
}

void viaList(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vdebugPrintf(format, args);
    va_end(args);
}

TEST_F(DebugOutputTest, ArgumentListFormIsCutToItsBuffer)
{
    viaList("%d-%s", 42, std::string(500, 'y').c_str());
    ASSERT_EQ(g_lines.size(), 1u);
    EXPECT_EQ(g_lines[0], "42-" + std::string(256, 'y'));
}

int wideInto(char16_t* buffer, size_t capacity, const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = formatWideInto(buffer, capacity, format, args);
    va_end(args);
    return n;
}

int narrowInto(char* buffer, size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = formatNarrowInto(buffer, capacity, format, args);
    va_end(args);
    return n;
}

TEST_F(DebugOutputTest, FormatWrappersUseTheFrameworkEngines)
{
    char narrow[16];
    EXPECT_EQ(narrowInto(narrow, sizeof narrow, "%05d", 42), 5);
    EXPECT_EQ(std::string(narrow), "00042");
    char16_t wide[16];
    EXPECT_EQ(wideInto(wide, 16, u"0x%8.8x", 0x1234u), 10);
    EXPECT_EQ(std::u16string(wide), u"0x00001234");
}

TEST_F(DebugOutputTest, PassingAssertionDoesNothing)
{
    assertCheck(1, "file.cpp", 12);
    EXPECT_TRUE(g_lines.empty());
}

TEST(DebugOutputDeathTest, FailedAssertionReportsAndStops)
{
    EXPECT_EXIT(assertCheck(0, "game.cpp", 77), ::testing::ExitedWithCode(1),
                "ASSERT FAILED - File: game.cpp, Line: 77");
}

} // namespace
