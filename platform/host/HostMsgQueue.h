// Point-to-point message queues and the power notifications delivered through
// them. Reads never wait: one thread runs the program, so a waiting read could
// never be satisfied. Tests broadcast power messages through the hook below.
#pragma once

#include "platform/host/HostTypes.h"

struct MSGQUEUEOPTIONS {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMaxMessages; // 0: no limit
    DWORD cbMaxMessage;
    BOOL bReadAccess;
};

// One power notification as read from a queue: the header, then Length bytes
// of the UTF-16 power-state name.
struct POWER_BROADCAST {
    DWORD Message;
    DWORD Flags;
    DWORD Length;
    WCHAR SystemPowerState[1];
};

constexpr DWORD MSGQUEUE_MSGALERT = 0x1;

// Notification kinds: message values and request masks alike.
constexpr DWORD PBT_TRANSITION = 0x00000001;
constexpr DWORD PBT_RESUME = 0x00000002;
constexpr DWORD PBT_POWERSTATUSCHANGE = 0x00000004;
constexpr DWORD PBT_POWERINFOCHANGE = 0x00000100;
constexpr DWORD POWER_NOTIFY_ALL = 0xFFFFFFFF;

// The name is kept for nothing: every queue is private to its creator, and
// power notifications reach it by registration. Null on failure.
HANDLE CreateMsgQueue(LPCWSTR name, MSGQUEUEOPTIONS* options);

// Takes the oldest message. FALSE with ERROR_TIMEOUT when the queue is empty
// (whatever the timeout), ERROR_INSUFFICIENT_BUFFER when the buffer is too
// small (the message stays queued), ERROR_ACCESS_DENIED without read access.
BOOL ReadMsgQueue(HANDLE queue, void* buffer, DWORD size, DWORD* bytesRead, DWORD timeout, DWORD* flags);
BOOL CloseMsgQueue(HANDLE queue);

// Registers the queue for the notification kinds in the mask; null on failure.
HANDLE RequestPowerNotifications(HANDLE queue, DWORD mask);
BOOL StopPowerNotifications(HANDLE notification);

// Test hook: sends a power notification to every registered queue whose mask
// holds the message's kind. Returns the number of queues that took it; a full
// queue or one with too small messages drops it.
uint32_t hostBroadcastPower(DWORD message, DWORD flags, LPCWSTR powerState);
