// The mode that runs the game itself: it owns the world for its whole life
// and turns input actions and stylus events into the world's key and pointer
// calls. The launch page holds it and forwards its events to it.
#pragma once

#include "game/shell/GameMode.h"

class GameWorld;

class InGameMode : public GameMode {
public:
    InGameMode();
    ~InGameMode() override;

    // Starts the load of level ten.
    int enter() override;
    void exit() override;
    int handleEvent(uint32_t id, uint32_t a, uint32_t b) override;
    int update(uint32_t ms) override;
    int paint() override;

    GameWorld* world() const { return m_world; }

private:
    GameWorld* m_world;
};
