#include "platform/host/HostMsgQueue.h"

#include "platform/host/HandleTable.h"
#include "platform/host/LastError.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

MSGQUEUEOPTIONS readOptions(DWORD maxMessages = 0, DWORD maxMessage = 1024)
{
    return MSGQUEUEOPTIONS{ sizeof(MSGQUEUEOPTIONS), 0, maxMessages, maxMessage, TRUE };
}

TEST(HostMsgQueue, PowerBroadcastIsReadBack)
{
    const uint32_t before = hostLiveHandleCount();
    MSGQUEUEOPTIONS options = readOptions();
    HANDLE queue = CreateMsgQueue(u"powerMsgQueue", &options);
    ASSERT_NE(queue, nullptr);
    HANDLE notifications = RequestPowerNotifications(queue, PBT_TRANSITION | PBT_POWERINFOCHANGE);
    ASSERT_NE(notifications, nullptr);

    alignas(4) BYTE buffer[1024];
    DWORD got = 0, flags = 7;
    EXPECT_FALSE(ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags));
    EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);

    EXPECT_EQ(hostBroadcastPower(PBT_TRANSITION, 0x00010000, u"suspend"), 1u);
    EXPECT_EQ(hostBroadcastPower(PBT_RESUME, 0, nullptr), 0u); // not asked for

    ASSERT_TRUE(ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags));
    const auto* message = reinterpret_cast<const POWER_BROADCAST*>(buffer);
    EXPECT_EQ(message->Message, PBT_TRANSITION);
    EXPECT_EQ(message->Flags, 0x00010000u);
    EXPECT_EQ(message->Length, 16u);
    EXPECT_EQ(got, offsetof(POWER_BROADCAST, SystemPowerState) + 16);
    EXPECT_EQ(std::u16string(message->SystemPowerState), u"suspend");
    EXPECT_EQ(flags, 0u);
    EXPECT_FALSE(ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, &flags));

    EXPECT_TRUE(StopPowerNotifications(notifications));
    EXPECT_EQ(hostBroadcastPower(PBT_TRANSITION, 0, nullptr), 0u);
    EXPECT_TRUE(CloseMsgQueue(queue));
    EXPECT_FALSE(CloseMsgQueue(queue));
    EXPECT_EQ(hostLiveHandleCount(), before);
}

TEST(HostMsgQueue, MessagesBeyondTheQueueLimitsAreDropped)
{
    MSGQUEUEOPTIONS options = readOptions(1, 20);
    HANDLE queue = CreateMsgQueue(nullptr, &options);
    HANDLE notifications = RequestPowerNotifications(queue, POWER_NOTIFY_ALL);
    EXPECT_EQ(hostBroadcastPower(PBT_RESUME, 0, u"a long power state"), 0u); // too large
    EXPECT_EQ(hostBroadcastPower(PBT_RESUME, 0, u"on"), 1u);
    EXPECT_EQ(hostBroadcastPower(PBT_RESUME, 0, u"on"), 0u); // full

    BYTE small[8];
    DWORD got = 0;
    EXPECT_FALSE(ReadMsgQueue(queue, small, sizeof small, &got, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    BYTE buffer[20];
    EXPECT_TRUE(ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, nullptr)); // still queued
    EXPECT_EQ(got, 12u + 6u);

    // Closing the queue first leaves the registration harmless.
    EXPECT_TRUE(CloseMsgQueue(queue));
    EXPECT_EQ(hostBroadcastPower(PBT_RESUME, 0, nullptr), 0u);
    EXPECT_TRUE(StopPowerNotifications(notifications));
}

TEST(HostMsgQueue, BadArgumentsAreRefused)
{
    EXPECT_EQ(CreateMsgQueue(nullptr, nullptr), nullptr);
    MSGQUEUEOPTIONS zero = readOptions(0, 0);
    EXPECT_EQ(CreateMsgQueue(nullptr, &zero), nullptr);
    MSGQUEUEOPTIONS writeOnly = readOptions();
    writeOnly.bReadAccess = FALSE;
    HANDLE queue = CreateMsgQueue(nullptr, &writeOnly);
    BYTE buffer[4];
    DWORD got = 0;
    EXPECT_FALSE(ReadMsgQueue(queue, buffer, sizeof buffer, &got, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RequestPowerNotifications(nullptr, POWER_NOTIFY_ALL), nullptr);
    EXPECT_FALSE(CloseHandle(queue)); // queues close through CloseMsgQueue
    EXPECT_TRUE(CloseMsgQueue(queue));
}

} // namespace
