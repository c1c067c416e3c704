// Virtual-key codes and the key messages' lParam bits, and how a PC keyboard
// stands in for the phone's keys. Keys are taken by their physical position
// (SDL scancodes), so the digit row gives digits on any layout.
#pragma once

#include "platform/host/HostTypes.h"

constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_F1 = 0x70;
constexpr WORD VK_F2 = 0x71;
constexpr WORD VK_F3 = 0x72;
constexpr WORD VK_F4 = 0x73;
constexpr WORD VK_F5 = 0x74;
constexpr WORD VK_F6 = 0x75;
constexpr WORD VK_F7 = 0x76;
constexpr WORD VK_F8 = 0x77;
constexpr WORD VK_F9 = 0x78;

// lParam of WM_KEYDOWN and WM_KEYUP: a repeat count of 1 in the low word;
// bit 30 is the key's previous state (set on every key-up and on an
// auto-repeated key-down), bit 31 the transition (set on key-up).
constexpr LPARAM KEY_REPEAT_ONE = 0x00000001;
constexpr LPARAM KEY_PREVIOUS_DOWN = LPARAM(1) << 30;
constexpr LPARAM KEY_TRANSITION_UP = LPARAM(1) << 31;

// The phone key a PC key (an SDL scancode) stands for: arrows; Enter, keypad
// Enter and Space as VK_RETURN; Backspace; Esc; F1 and F2 (soft keys); F3 and
// F4; F6/F7 and keypad +/- (volume); F8 and keypad * ('*'); F9 ('#'); the
// digit row and keypad digits as '0'..'9'. 0 for every other key.
WORD hostVirtualKeyForScancode(int scancode);
