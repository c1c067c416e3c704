// Installs the game into the platform: the application factory, the key-code
// lookup, the services' creators, the front end and its hooks into the game.
#include "game/level/GameInstall.h"

#include <new>

#include "game/level/GameLaunchPage.h"
#include "game/shell/EngineService.h"
#include "game/shell/FontManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/KeyCodeMap.h"
#include "game/shell/SaveFiles.h"
#include "game/ui/FrontEndModes.h"
#include "platform/wince/GameHooks.h"

void installGame()
{
    setGameAppFactory([]() -> AppBase* { return new (std::nothrow) GameApp(); });
    setKeyCodeLookup(lookupKeyCode);
    installEngineServices();
    installSaveFileCreators();
    installFontManagerCreator();
    // The menus reach the running game only through these.
    FrontEndHooks hooks;
    hooks.makeLaunchPage = []() -> GameMode* { return new (std::nothrow) GameLaunchPage(); };
    hooks.writeSavedGame = [](GameMode* launch) {
        return launch && static_cast<GameLaunchPage*>(launch)->saveGameFlagged() != 0;
    };
    installFrontEnd(hooks);
}
