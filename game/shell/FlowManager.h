// The game's top-level flow: the mode stack GameApp owns. It makes the
// top-level modes by id and decides what follows when one of them finishes.
// The modes themselves come from the front end, which installs a creator
// per id.
#pragma once

#include "game/shell/ModeStack.h"

using FlowModeCreator = GameMode* (*)();

// The creator of the top-level mode with the id (1 start-up, 2 front end,
// 3 main menu); null removes it.
void setFlowModeCreator(int32_t id, FlowModeCreator creator);

class FlowManager : public ModeStack {
public:
    FlowManager() = default;

    // Binds the input actions and asks for the start-up mode.
    int enter() override;
    // Clears the stack, releases what the front end preloaded and drops the
    // input bindings.
    void exit() override;
    int createMode(int32_t id, GameMode** out) override;
    void onModeResult(int32_t id, GameMode* mode) override;

    int init() { return enter(); }
    void shutdown() { exit(); }
    // Files the input actions in the ticker's input group.
    static void bindInputActions();
};
