// Ids of the frame ticker, its task lists, the input actions and the input
// services: type ids, task-list keys, the input events they watch.
#pragma once

#include <cstdint>

namespace TypeId {
constexpr uint32_t FrameTicker = 0x2e3c54f6;
// The ticker's task lists and the statistics overlay's group share this id.
constexpr uint32_t TaskList = 0x773d40d7;
constexpr uint32_t TaskGroup = 0x773d40d7;
constexpr uint32_t InputActionList = 0xf9720bb7;
constexpr uint32_t TargetedListener = 0x0bf096f5;
constexpr uint32_t InputAction = 0x764a96e1;
constexpr uint32_t TaskGroupChild = 0x67490fa9;
} // namespace TypeId

// Keys of the two standard groups in the ticker's task list.
namespace TaskKey {
constexpr uint32_t Tasks = 0x957ce610;
constexpr uint32_t InputActions = 0xcb92484b;
} // namespace TaskKey

// Scheduled messages run ahead of the groups.
constexpr uint32_t ScheduledMessagePriority = 0x73333332;

// Events the input actions and input services watch. Besides the resume
// event, a pair of game events (a first and a second notice, broadcast to
// every mode) wipe every held key.
namespace InputEventId {
constexpr uint32_t KeyDown = 0xc7424be6;
constexpr uint32_t KeyUp = 0x43a39818;
constexpr uint32_t PointerMove = 0x8251b8de;
constexpr uint32_t ButtonDown = 0x8918794c;
constexpr uint32_t ButtonUp = 0x52a91971;
constexpr uint32_t DoubleClick = 0x7b8428cd;
constexpr uint32_t InputWipe = 0x6740942f;
constexpr uint32_t InputWipeAgain = 0x518e1a3b;
// Widget pointer events, and one more event that counts as activity with
// them; nothing else is told of it.
constexpr uint32_t WidgetPress = 0x35c43e56;
constexpr uint32_t WidgetMove = 0x35cb8f1c;
constexpr uint32_t WidgetRelease = 0x35c38d1c;
constexpr uint32_t OtherActivity = 0x5707b968;
} // namespace InputEventId

namespace ServiceId {
constexpr uint32_t KeyInput = 0x6e69096c;
constexpr uint32_t PointerInput = 0x2504d19d;
constexpr uint32_t ActivityAccumulator = 0x35d4d00d;
} // namespace ServiceId
