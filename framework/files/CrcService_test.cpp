#include "framework/files/CrcService.h"

#include <gtest/gtest.h>

#include "tests/support/TestApp.h"

TEST(CrcService, MatchesPublishedCheckValues)
{
    TestApp app;
    CrcService* crc = getCrcService();
    ASSERT_NE(crc, nullptr);
    EXPECT_EQ(getCrcService(), crc);

    struct Case {
        const char* text;
        uint32_t n;
        uint32_t expected;
    };
    const Case cases[] = {
        {"123456789", 9, 0xFC891918u},  // CRC-32/BZIP2 check value
        {"", 0, 0u},                    // no bytes
        {"\0", 1, 0xB1F7404Bu},
        {"a", 1, 0x19939B6Bu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(crc->compute(c.text, c.n), c.expected) << c.text;
    EXPECT_EQ(crc->compute(nullptr, 4), 0u);
}

TEST(CrcService, LeavesTheRegistryWhenDestroyed)
{
    TestApp app;
    CrcService* crc = getCrcService();
    ASSERT_NE(crc, nullptr);
    EXPECT_EQ(findService(ServiceId::Crc), crc);
    delete crc;
    EXPECT_EQ(findService(ServiceId::Crc), nullptr);
}
