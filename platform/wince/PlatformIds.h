// Type ids of the platform layer's classes and the results of its socket.
#pragma once

#include <cstdint>

namespace PlatformTypeId {
constexpr uint32_t PlatformSystem = 0x02d75845;
constexpr uint32_t Socket = 0xd6595d28;
} // namespace PlatformTypeId

// What a socket request ends with (getResult) and what queuing one returns.
namespace SocketResult {
constexpr int32_t Ok = 0;
// Queuing: another request is still under way; getResult: not ended yet.
constexpr int32_t Busy = -1;
// Queuing: nothing to send or nowhere to receive into; nothing was queued.
constexpr int32_t NothingQueued = 1;
constexpr int32_t HostNotFound = 241;
// No socket, or the peer closed the connection.
constexpr int32_t Closed = 242;
constexpr int32_t TimedOut = 243;
constexpr int32_t NoSocket = 244;
constexpr int32_t ConnectFailed = 246;
constexpr int32_t ReceiveFailed = 247;
constexpr int32_t SendFailed = 248;
} // namespace SocketResult
