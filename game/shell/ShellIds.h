// Ids of the game shell: type ids of its classes, the events it subscribes
// to and sends, the flow manager's mode ids and transitions, the input
// actions and the resources it names.
#pragma once

#include <cstdint>

#include "framework/events/EventIds.h"
#include "framework/events/TaskIds.h"
#include "platform/wince/PlatformEvents.h"

namespace TypeId {
constexpr uint32_t GameMode = 0x02642625;
constexpr uint32_t ModeStack = 0x42621bd4;
constexpr uint32_t HandlerListIndex = 0x21d748ff;
} // namespace TypeId

// The events the shell names beyond the platform's (PlatformEventId).
namespace ShellEventId {
// Forwarded to the modes, then the program quits.
constexpr uint32_t QuitNotice = 0x5152a73b;
} // namespace ShellEventId

// Ids that reach every mode on the stack rather than the active one alone.
constexpr uint32_t kBroadcastEventIds[] = {
    EventId::Pause,
    EventId::Resume,
    InputEventId::InputWipe,
    0x8408f369,
    ShellEventId::QuitNotice,
    InputEventId::InputWipeAgain,
    PlatformEventId::ScreenSizeSettled,
    PlatformEventId::Redraw,
};

// Input actions the bindings post; the modes and pages react to them.
namespace ActionId {
constexpr uint32_t MenuUp = 0x3f972120;
constexpr uint32_t MenuDown = 0x972028c1;
constexpr uint32_t MenuLeft = 0x9720a3cb;
constexpr uint32_t MenuRight = 0x7214ff0d;
constexpr uint32_t MenuSelect = 0x2074d009;
constexpr uint32_t MenuBack = 0x97204784;
constexpr uint32_t SoftLeft = 0x5f61a84a;
constexpr uint32_t SoftRight = 0xd45f52de;
// '0' .. '9' pressed: Digit0 - n.
constexpr uint32_t Digit0 = 0x117e0f7f;
constexpr uint32_t Digit2Released = 0x117e0f73;
constexpr uint32_t Digit4Released = 0x117e0f71;
constexpr uint32_t Digit5Released = 0x117e0f70;
constexpr uint32_t Digit6Released = 0x117e0f6f;
constexpr uint32_t Digit8Released = 0x117e0f6d;
constexpr uint32_t PlayUp = 0x20174fb7;
constexpr uint32_t PlayDown = 0x172ebf3e;
constexpr uint32_t PlayLeft = 0x172e3434;
constexpr uint32_t PlayRight = 0x71fd83f5;
constexpr uint32_t PlayAction = 0x172e9965;
constexpr uint32_t PlayZero = 0x172ec5fa;
constexpr uint32_t PlayUpReleased = 0x51938a16;
constexpr uint32_t PlayDownReleased = 0xb38b1e4f;
constexpr uint32_t PlayLeftReleased = 0xb38b9545;
constexpr uint32_t PlayRightReleased = 0x38a794f0;
constexpr uint32_t PlayActionReleased = 0xb38b3814;
constexpr uint32_t PlayMenu = 0x71ff1054;
constexpr uint32_t PlayQuit = 0x0173eaf6;
constexpr uint32_t Ui1 = 0xbd152e06;
constexpr uint32_t Ui2 = 0x152f0ca3;
constexpr uint32_t Ui3 = 0xd0467c9b;
constexpr uint32_t Ui4 = 0x490287b4;
constexpr uint32_t Ui6 = 0x9036abf0;
constexpr uint32_t Ui7 = 0xbd152f06;
constexpr uint32_t Ui8 = 0x152e0ca3;
constexpr uint32_t Ui9 = 0x016703b6;
// '1' .. '4': Quick1 - n.
constexpr uint32_t Quick1 = 0xfe50251e;
} // namespace ActionId

// Game keys the bindings use beyond the platform's own table (PlatformKey).
namespace GameKey {
// Two more select keys some phones have; play takes them as the action.
constexpr uint32_t SelectAlt1 = 13;
constexpr uint32_t SelectAlt2 = 14;
} // namespace GameKey

// Game keys the world and the level read.
namespace WorldKey {
constexpr int32_t Up = 17;
constexpr int32_t Down = 18;
constexpr int32_t Left = 19;
constexpr int32_t Right = 20;
constexpr int32_t Select = 21;
constexpr int32_t SoftLeft = 22;
constexpr int32_t SoftRight = 23;
} // namespace WorldKey

// Menu screens the world opens (text ids serve as screen ids).
namespace ScreenId {
constexpr uint32_t Loading = 0x21ff0287;
constexpr uint32_t LoadError = 0x21ff015f;
constexpr uint32_t SpecialDone = 0x21ff0281;
} // namespace ScreenId

// Pointer events the in-game mode turns into the world's pointer calls: the
// platform's carry x in the low and y in the high half, the widget layer's
// 14 bits each.
namespace PointerEventId {
constexpr uint32_t StylusDown = 0x8918794c;
constexpr uint32_t StylusMove = 0x8251b8de;
constexpr uint32_t StylusUp = 0x52a91971;
constexpr uint32_t WidgetPress = 0x35c43e56;
constexpr uint32_t WidgetMove = 0x35cb8f1c;
constexpr uint32_t WidgetRelease = 0x35c38d1c;
} // namespace PointerEventId

// Back from a level to its menu, outside the hideout and level ten: the
// main menu sends it to the launch page when play came back asking for it.
constexpr uint32_t kLevelMenuRequestId = 0xad174cef;

// The flow manager's top-level modes.
namespace FlowModeId {
constexpr int32_t Startup = 1;
constexpr int32_t FrontEnd = 2;
constexpr int32_t MainMenu = 3;
constexpr int32_t Quit = 4;
} // namespace FlowModeId

// Kinds of ModeStack::requestTransition.
namespace Transition {
constexpr int32_t None = 0;
constexpr int32_t Push = 1;
constexpr int32_t Replace = 2;
constexpr int32_t ClearAndPush = 3;
constexpr int32_t Pop = 4;
constexpr int32_t PopTo = 5;
} // namespace Transition

namespace ShellResourceId {
// The ids the front end preloads; the flow's end releases them.
constexpr uint32_t PreloadList = 0x05000100;
constexpr uint32_t PauseText = 0x21ff0243;
} // namespace ShellResourceId

constexpr char kSecondaryTargetName[] = "mySecondaryTarget";
