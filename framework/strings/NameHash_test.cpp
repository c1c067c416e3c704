#include "framework/strings/NameHash.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(NameHash, KnownValues)
{
    const struct {
        const char* text;
        uint32_t hash;
    } cases[] = {
        {"", 0x00000000},
        {"a", 0x00000071},
        {"ab", 0x00000472},
        {"\xE9", 0xFFFFFFF9},      // sign-extended byte: upper 24 bits set
        {"a\xE9", 0xFFFFFBF9},
        {"abcdefghi", 0x4523011E}, // long enough to rotate the length out and back
    };
    for (const auto& c : cases)
        EXPECT_EQ(hashName(c.text), c.hash) << c.text;
    EXPECT_EQ(hashName(static_cast<const char*>(nullptr)), 0u);
}

TEST(NameHash, RangeFormStartsFromSeedAndWideFormMatchesNarrow)
{
    const char* text = "GameApp";
    EXPECT_EQ(hashNameRange(text, text + std::strlen(text), uint32_t(std::strlen(text))), hashName(text));
    EXPECT_EQ(hashNameRange(text, text, 0x1234), 0x1234u);
    EXPECT_EQ(hashNameRange(text, text + 1, 0), uint32_t('G'));
    EXPECT_EQ(hashName(u"GameApp"), hashName("GameApp"));
    EXPECT_EQ(hashName(u""), 0u);
    EXPECT_EQ(hashName(u"caf\u00e9"), hashName("caf\xE9"));
    EXPECT_EQ(nameKey("GameApp"), hashName("GameApp") | 0x80000000u);
}
