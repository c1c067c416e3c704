// Installs the game into the platform: the application factory, the key-code
// lookup, the services' creators and the front end's hooks into the save files.
#include "game/level/GameInstall.h"

#include <new>

#include "framework/services/AppStateFlags.h"
#include "framework/services/ServiceAccessors.h"
#include "game/level/GameLaunchPage.h"
#include "game/shell/EngineService.h"
#include "game/shell/FontManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/KeyCodeMap.h"
#include "game/shell/SaveFiles.h"
#include "game/ui/FrontEndModes.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/SoundDevice.h"

namespace {

// Names cross to the pages as wide characters; the table keeps UTF-16 units.
bool insertHighScore(const wchar_t* name, uint32_t score)
{
    HighScoreTable* table = getHighScoreTable();
    char16_t units[HighScoreTable::kNameUnits] = {};
    for (uint32_t i = 0; name && i + 1 < HighScoreTable::kNameUnits && name[i] != 0; ++i)
        units[i] = char16_t(name[i]);
    return table && table->insert(units, 0, int32_t(score)) != 0;
}

const wchar_t* lastHighScoreName()
{
    static wchar_t name[HighScoreTable::kNameUnits];
    const HighScoreTable* table = getHighScoreTable();
    const char16_t* units = table ? table->getLastName() : nullptr;
    for (uint32_t i = 0; i < HighScoreTable::kNameUnits; ++i)
        name[i] = units ? wchar_t(units[i]) : 0;
    return name;
}

void installFrontEndHooks()
{
    FrontEndHooks hooks;
    hooks.saveDamaged = [] {
        const SaveGame* game = getSaveGame();
        return game && game->m_damaged != 0;
    };
    hooks.lossTold = [] {
        if (SaveGame* game = getSaveGame())
            game->lossTold();
    };
    hooks.savedGamePresent = [] {
        const SaveGame* game = getSaveGame();
        return game && game->savedFlag() != 0;
    };
    hooks.makeLaunchPage = []() -> GameMode* { return new (std::nothrow) GameLaunchPage(); };
    hooks.writeSavedGame = [](GameMode* launch) {
        return launch && static_cast<GameLaunchPage*>(launch)->saveGameFlagged() != 0;
    };
    hooks.savePrefs = [] {
        Prefs* prefs = getPrefs();
        return prefs && prefs->save() != 0;
    };
    hooks.setSoundOn = [](bool on) {
        if (Prefs* prefs = getPrefs()) {
            prefs->setSoundOn(on);
            prefs->save();
        }
        if (SoundService* sound = getSound())
            sound->setSoundEnabled(on);
    };
    hooks.score = [] {
        const AppStateFlags* flags = getAppStateFlags();
        return flags ? uint32_t(flags->m_score) : 0u;
    };
    hooks.scoreQualifies = [](uint32_t score) {
        const HighScoreTable* table = getHighScoreTable();
        return table && table->qualifies(0, int32_t(score)) != 0;
    };
    hooks.insertHighScore = insertHighScore;
    hooks.lastName = lastHighScoreName;
    setFrontEndHooks(hooks);
}

} // namespace

void installGame()
{
    setGameAppFactory([]() -> AppBase* { return new (std::nothrow) GameApp(); });
    setKeyCodeLookup(lookupKeyCode);
    installEngineServices();
    installSaveFileCreators();
    installFontManagerCreator();
    installFrontEnd();
    installFrontEndHooks();
}
