// A director and a progress that tests lend a game world which has none of
// its own, and take back before the world goes; the progress finds no
// level, player or menu in the running game.
#pragma once

#include <memory>

#include "game/level/GameProgress.h"
#include "game/level/GameWorld.h"
#include "game/level/SceneDirector.h"

struct NoProgressWorld : ProgressWorld {
    bool hasLevel() const override { return false; }
    int32_t levelTime() const override { return 0; }
    PlayerChase* playerChase() override { return nullptr; }
    void playerPath(float& d, float& l) override { d = l = 0; }
    bool setupLevelEnd() override { return false; }
    void openMenuScreen(uint32_t, int32_t, int32_t) override {}
    WideString* menuTextLine(uint32_t) override { return nullptr; }
    int32_t menuOptionValue(uint32_t) override { return 0; }
};

struct LentDirector {
    NoProgressWorld noWorld;
    std::unique_ptr<GameProgress> progress;
    std::unique_ptr<SceneDirector> director;

    // Fills only what the world lacks.
    void lendTo(GameWorld& world)
    {
        if (!world.m_progress) {
            progress = std::make_unique<GameProgress>(&noWorld);
            world.m_progress = progress.get();
        }
        if (!world.m_director) {
            director = std::make_unique<SceneDirector>(&world);
            world.m_director = director.get();
        }
    }
    void takeBack(GameWorld& world)
    {
        if (world.m_director == director.get())
            world.m_director = nullptr;
        if (world.m_progress == progress.get())
            world.m_progress = nullptr;
        director.reset();
        progress.reset();
    }
};
