#include "platform/host/HandleTable.h"

#include "platform/host/LastError.h"

#include <gtest/gtest.h>

namespace {

int g_destroyed = 0;

struct Thing : HostObject {
    static constexpr HandleKind kKind = HandleKind::Other;
    Thing() : HostObject(kKind) {}
    ~Thing() override { ++g_destroyed; }
};

TEST(HandleTable, StaleAndMistypedHandlesMiss)
{
    g_destroyed = 0;
    const uint32_t before = hostLiveHandleCount();
    HANDLE first = hostCreateHandle(std::make_unique<Thing>());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_NE(hostHandleAs<Thing>(first), nullptr);
    EXPECT_EQ(hostLookupHandle(first, HandleKind::File), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(g_destroyed, 1);
    // The slot is reused under a new generation: the old handle stays dead.
    HANDLE second = hostCreateHandle(std::make_unique<Thing>());
    EXPECT_NE(second, first);
    EXPECT_EQ(hostHandleAs<Thing>(first), nullptr);
    EXPECT_FALSE(CloseHandle(first));
    EXPECT_NE(hostHandleAs<Thing>(second), nullptr);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(hostLiveHandleCount(), before);

    for (HANDLE junk : { HANDLE(nullptr), INVALID_HANDLE_VALUE, HANDLE(uintptr_t(0x12345)) })
        EXPECT_FALSE(CloseHandle(junk));
    EXPECT_EQ(hostCreateHandle(nullptr), nullptr);
}

} // namespace
