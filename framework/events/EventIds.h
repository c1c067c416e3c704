// Type ids of the event classes, the keys under which the dispatcher keeps its
// members, the lifecycle event ids and the handler-key forms.
#pragma once

#include <cstdint>

namespace TypeId {
constexpr uint32_t Prioritized = 0xe9b2e9c7;
constexpr uint32_t Listener = 0x3422838b;
constexpr uint32_t HandlerEntry = 0xb79257b5;
constexpr uint32_t HandlerList = 0x431e438f;
constexpr uint32_t CallbackHandler = 0xa4303bb2;
constexpr uint32_t OneShotTask = 0x02720394;
constexpr uint32_t Message = 0x7b245719;
} // namespace TypeId

// Priority of handlers and entries that ask for none.
constexpr uint32_t DefaultPriority = 0x3fffffff;

// Listener runs that never run out.
constexpr uint32_t RunForever = 0xffffffff;

namespace DispatcherKey {
// The event router: one handler list per event id.
constexpr uint32_t EventRouter = 0xf762ddf9;
// The open resource pack is filed here too: see PackFormat.h.
} // namespace DispatcherKey

// Events of the program's life that also drive the frame ticker.
namespace EventId {
constexpr uint32_t Start = 0x67542658;
constexpr uint32_t End = 0x36754280;
constexpr uint32_t Pause = 0x54246de3;
constexpr uint32_t Resume = 0x75424363;
} // namespace EventId

namespace ArgTag {
constexpr uint32_t Int = 0x013f9702;
} // namespace ArgTag

// Handler keys: level 0 sets bit 31 (keys from names), level 1 keeps bits 0-29
// and sets bit 30 (sequence keys).
constexpr uint32_t makeKey(uint32_t value, uint32_t level)
{
    const uint32_t top = 1u << (31 - (level & 31));
    return (value & (top - 1)) | top;
}

constexpr uint32_t sequenceKey(uint32_t n)
{
    return ((n + 1) & 0x3fffffff) | 0x40000000;
}
