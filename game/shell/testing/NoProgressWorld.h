// A running game that the progress finds empty: no level, no player, no
// menu, for tests that give a world a progress of their own.
#pragma once

#include "game/shell/GameProgress.h"

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
