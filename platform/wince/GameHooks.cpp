#include "platform/wince/GameHooks.h"

#include "framework/services/AppBase.h"

namespace {

GameAppFactory g_factory = nullptr;
KeyCodeLookup g_keyLookup = nullptr;

} // namespace

void setGameAppFactory(GameAppFactory factory)
{
    g_factory = factory;
}

AppBase* createGameApp()
{
    return g_factory ? g_factory() : nullptr;
}

void setKeyCodeLookup(KeyCodeLookup lookup)
{
    g_keyLookup = lookup;
}

uint32_t lookupGameKeyCode(uint32_t nativeKey)
{
    AppBase* app = getGameApp();
    if (!g_keyLookup || !app || !app->m_keyCodeMap)
        return 0;
    return g_keyLookup(app->m_keyCodeMap, nativeKey);
}
