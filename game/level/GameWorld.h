// The running game: it loads a level in ten steps, one a frame, steps the
// world clock, routes keys and stylus taps to the level or the open menu and
// draws the 3D view with the HUD layers or the menu. The in-game mode owns it.
#pragma once

#include <cstdint>

#include "game/level/GameProgress.h"
#include "game/shell/EngineRef.h"
#include "game/shell/ShellIds.h"

class AnimTable;
class GameUtils;
class Hud;
class Level;
class MenuEngine;
class ObjectKindTests;
class SceneDirector;

constexpr int32_t kNoLevel = -1;

struct InputSettings {
    uint8_t m_speedMode = 0; // the player's fast movement, after a level
};

struct ScreenRect {
    int16_t x = 0, y = 0, width = 0, height = 0;
    // Width or height 0 contains nothing.
    bool containsPoint(int32_t px, int32_t py) const
    {
        return width > 0 && height > 0 && px >= x && py >= y && px < x + width && py < y + height;
    }
};

class GameWorld : public ProgressWorld {
public:
    static constexpr uint32_t kPropertyKeyCount = 54;
    static constexpr uint32_t kSceneSlotCount = 11;
    // The slot whose scene's camera is refitted with the level's.
    static constexpr uint32_t kCameraFitSlot = kSceneSlotCount - 1;
    static constexpr int32_t kMaxStepMs = 200;
    static const char* const kPropertyKeys[kPropertyKeyCount];

    GameWorld();
    ~GameWorld() override;
    GameWorld(const GameWorld&) = delete;
    GameWorld& operator=(const GameWorld&) = delete;

    // One load step; the percentage loaded (100 when no load runs).
    int32_t loadStep();
    void update(int32_t elapsedMs);
    void draw();
    void onKeyPressed(int32_t key);
    void onKeyReleased(int32_t key);
    void onPointerPressed(int32_t x, int32_t y);
    void onPointerMoved(int32_t x, int32_t y);
    void onPointerReleased();
    // The input was let go of where the level could not see it: every key
    // and tap it holds is released.
    void releaseHeldInput();
    void onScreenSizeChanged();
    void abortLevel();
    // 1 when it acted on a requested level end.
    int checkLevelEnd();
    // Acts on a world view the last frame could not draw; true when it did.
    bool tellDrawFailure();
    int32_t getClock() const { return m_clock; }
    void resetClock() { m_clock = m_lastClock = 0; }
    int32_t getLevelTime() const;
    bool isTimeFrozen() const;
    bool isLoading() const { return m_loadStep != -1; }
    bool menuOpen() const;

    // What the progress reads of the game.
    bool hasLevel() const override { return m_level != nullptr; }
    int32_t levelTime() const override { return getLevelTime(); }
    PlayerChase* playerChase() override;
    void playerPath(float& distance, float& length) override;
    bool setupLevelEnd() override;
    void openMenuScreen(uint32_t screenId, int32_t selection, int32_t push) override;
    WideString* menuTextLine(uint32_t n) override;
    int32_t menuOptionValue(uint32_t item) override;

    const char* const* m_propertyKeys = kPropertyKeys;
    EngineRef m_world;
    EngineRef m_sceneSlots[kSceneSlotCount];
    EngineRef m_menuScene;
    InputSettings* m_inputSettings = nullptr;
    GameUtils* m_utils = nullptr;
    ObjectKindTests* m_kindTests = nullptr;
    MenuEngine* m_menu = nullptr;
    Level* m_level = nullptr;
    Hud* m_hud = nullptr;
    GameProgress* m_progress = nullptr;
    SceneDirector* m_director = nullptr;
    // The level's clips, and those of the menu background and the menus' 3D screens.
    AnimTable* m_levelClips = nullptr;
    AnimTable* m_menuClips[4] = {};
    int32_t m_nextLevel = -1;
    int32_t m_loadStep = -1;
    uint8_t m_levelEndRequested = 0;
    uint8_t m_cheatsEnabled = 0;
    uint8_t m_quitRequested = 0;
    int32_t m_clock = 0;
    int32_t m_lastClock = 0;
    int32_t m_stylusKey = -1;
    ScreenRect m_leftButton;
    ScreenRect m_rightButton;

private:
    void finishLoad();
    void toHideout();
    void levelKey(int32_t key);
};
