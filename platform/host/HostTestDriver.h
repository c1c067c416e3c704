// Drives the stand-in from tests: posts messages, moves the virtual clock,
// feeds input through SDL as a user would, runs a number of timer ticks and
// then closes the window, and puts everything back between tests.
#pragma once

#include "platform/host/HostTypes.h"

#include <functional>

// The program's window: the first one created; null before.
HWND hostTestMainWindow();
BOOL hostTestPost(UINT message, WPARAM wParam, LPARAM lParam);

// Starts the virtual clock at the tick value (and a fixed date), or moves it.
void hostTestUseVirtualClock(DWORD startTick = 0);
void hostTestAdvanceClock(DWORD ms);

// The window gets WM_CLOSE once this many more timer messages were taken.
void hostTestCloseAfterTicks(uint32_t ticks);
// Timer messages handed out since the last reset.
uint32_t hostTestTimerMessageCount();
// Called at the start of every GetMessageW wait, before input is taken.
void hostTestSetPumpHook(std::function<void()> hook);

// Input through SDL's event queue, translated at the next GetMessageW.
// Keys are SDL scancodes; pointer positions are logical pixels.
void hostTestPushKey(int scancode, bool down, bool repeat = false);
void hostTestPushMouseButton(bool down, int x, int y);
void hostTestPushMouseMove(int x, int y);
// Finger positions are fractions of the window, as SDL gives them.
void hostTestPushFinger(uint32_t type, int64_t finger, float x, float y);
void hostTestPushFocus(bool gained);
// Any other SDL window event (SDL_WINDOWEVENT_MINIMIZED, _EXPOSED, ...).
void hostTestPushWindowEvent(uint8_t event);
void hostTestPushClose();
void hostTestPushQuit();

// Destroys every window and class, empties the queue, stops the timers,
// clears the failures and the shell, GAPI and screen state, and returns to
// the real clock.
void hostTestReset();
