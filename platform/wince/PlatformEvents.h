// The events the platform posts for the game, which subscribes to them by
// these values (those the framework watches too are defined with it), and the
// game key codes of the built-in key table.
#pragma once

#include "framework/events/EventIds.h"
#include "framework/events/TaskIds.h"

#include <cstdint>

namespace PlatformEventId {
constexpr uint32_t RunStart = EventId::Start;
constexpr uint32_t RunEnd = EventId::End;
// Deactivated; the game's power check posts it too.
constexpr uint32_t Pause = EventId::Pause;
constexpr uint32_t Resume = EventId::Resume;
constexpr uint32_t Redraw = 0x24314258;
// The screen changed size: two notices in this order, then a redraw. The
// display takes the new size on the first; on the second, with the new
// frame surface in place, the game refits its views.
constexpr uint32_t ScreenSizeChanged = 0x747ab255;
constexpr uint32_t ScreenSizeSettled = 0x32b482c3;
// arg1: the game key code.
constexpr uint32_t KeyDown = InputEventId::KeyDown;
constexpr uint32_t KeyUp = InputEventId::KeyUp;
// arg1: buttons held (bit 0 left, bit 1 right, bit 2 middle); arg2: (y << 16) | x.
constexpr uint32_t PointerMove = InputEventId::PointerMove;
// arg1: the button (0 left, 1 right, 2 middle); arg2: (y << 16) | x.
constexpr uint32_t ButtonDown = InputEventId::ButtonDown;
constexpr uint32_t ButtonUp = InputEventId::ButtonUp;
constexpr uint32_t DoubleClick = InputEventId::DoubleClick;
// The window got the application message.
constexpr uint32_t AppMessage = 0xf42486fb;
} // namespace PlatformEventId

// Game key codes the platform's own key table gives.
namespace PlatformKey {
constexpr uint32_t None = 0;
constexpr uint32_t Key129 = 1;
constexpr uint32_t F3 = 2;
constexpr uint32_t F4 = 3;
constexpr uint32_t Up = 4;
constexpr uint32_t Down = 5;
constexpr uint32_t Left = 6;
constexpr uint32_t Right = 7;
constexpr uint32_t Select = 11;
constexpr uint32_t Back = 12;
constexpr uint32_t SoftLeft = 15;
constexpr uint32_t SoftRight = 16;
constexpr uint32_t VolumeUp = 17;
constexpr uint32_t VolumeDown = 18;
constexpr uint32_t Hash = 35;
constexpr uint32_t Star = 42;
// Keys the table has no code for come as this plus their native code, apart
// from every game key: they end "press any key" and leave the pause, and
// nothing binds them.
constexpr uint32_t Unlisted = 0x100;
} // namespace PlatformKey

// The window's application message.
constexpr uint32_t kAppMessage = 1023;
