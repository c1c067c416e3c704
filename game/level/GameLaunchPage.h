// The page of the main menu that runs the game: it makes the in-game mode,
// holds it while the page lives and passes it the page's events, update and
// paint.
#pragma once

#include "game/shell/GameMode.h"

class InGameMode;

class GameLaunchPage : public GameMode {
public:
    GameLaunchPage() = default;
    ~GameLaunchPage() override;

    // Starts the game; refuses the push without memory for it.
    int enter() override;
    void exit() override;
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override;
    int update(uint32_t ms) override;
    int paint() override;

    InGameMode* inGame() const { return m_inGame; }
    // Writes the running game's progress as the saved game to continue; 1
    // when "savegame.dat" was written.
    int saveGameFlagged();

private:
    InGameMode* m_inGame = nullptr;
};
