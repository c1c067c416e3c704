// Virtual-key codes and the key messages' lParam bits, and how a PC keyboard
// stands in for the phone's keys. Keys are taken by their physical position
// (SDL scancodes), so the digit row gives digits on any layout.
#pragma once

#include "platform/host/HostTypes.h"

constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_CAPITAL = 0x14;
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
constexpr WORD VK_F10 = 0x79;
constexpr WORD VK_F11 = 0x7A;
constexpr WORD VK_F12 = 0x7B;
// What a key with no code of its own sends, as on a PC under Windows.
constexpr WORD VK_UNNAMED = 0xFF;

// lParam of WM_KEYDOWN and WM_KEYUP: a repeat count of 1 in the low word;
// bit 30 is the key's previous state (set on every key-up and on an
// auto-repeated key-down), bit 31 the transition (set on key-up).
constexpr LPARAM KEY_REPEAT_ONE = 0x00000001;
constexpr LPARAM KEY_PREVIOUS_DOWN = LPARAM(1) << 30;
constexpr LPARAM KEY_TRANSITION_UP = LPARAM(1) << 31;

// The phone key a PC key (an SDL scancode) stands for: arrows; Enter, keypad
// Enter and Space as VK_RETURN; Backspace; Esc; F1 and F2 (soft keys); F3 and
// F4; F6/F7 and keypad +/- (volume); F8 and keypad * ('*'); F9 ('#'); the
// digit row and keypad digits as '0'..'9'. Every other key still sends its
// own code (letters, Tab, Shift, Ctrl, Alt, Caps Lock, F5, F10 to F12) or
// VK_UNNAMED, so any key is a key press; 0 only for no key.
WORD hostVirtualKeyForScancode(int scancode);
