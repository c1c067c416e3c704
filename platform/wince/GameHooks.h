// Where the platform reaches the game it runs: the factory of the game's
// application object and the game's key-code map. The game installs both
// before WinMain; tests install doubles.
#pragma once

#include <cstdint>

class AppBase;
class HashedObject;

using GameAppFactory = AppBase* (*)();
// The game key the map assigns to a native key code, or 0 for none.
using KeyCodeLookup = uint32_t (*)(HashedObject* keyCodeMap, uint32_t nativeKey);

void setGameAppFactory(GameAppFactory factory);
// A new game application object; null when no factory is installed or it
// cannot be made.
AppBase* createGameApp();

void setKeyCodeLookup(KeyCodeLookup lookup);
// The game's answer for the key through the application's key-code map; 0
// without an application, a map or a lookup.
uint32_t lookupGameKeyCode(uint32_t nativeKey);
