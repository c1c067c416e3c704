// The scripted scenes' clock: one start mark shared by the scene scripts,
// the timing helpers the menu screens ask, the special level's flight and
// jingle timings, and the scene slots it animates. Scenes whose resources
// are missing from the pack are skipped.
#pragma once

#include <cstdint>

#include "game/shell/EngineRef.h"

class GameWorld;

class SceneDirector {
public:
    // A hold of the arrest scene lasts this long after the mark.
    static constexpr int32_t kHoldEndMs = 3666;

    explicit SceneDirector(GameWorld* world) : m_world(world) {}
    ~SceneDirector();
    SceneDirector(const SceneDirector&) = delete;
    SceneDirector& operator=(const SceneDirector&) = delete;

    void emptyHook() {}
    // Rescales the flight of level 10's camera and plans its jingles; the
    // start output is left alone when no next level is set. -1.
    int32_t planIntroTimings(int32_t* start, int32_t* duration, int32_t completedLevels);
    // Marks when unset; animates scene slot n when it holds a scene.
    void animateScene(int32_t slot);
    // Marks when unset; false for a negative time.
    bool hasElapsed(int32_t ms);
    bool isHoldActive() const;
    // A one-shot cue t ms after the mark: true once, then t becomes -1.
    bool fireCue(int32_t& at);
    // The level-end scene: the end camera is the group's first child, the
    // companion joins the player for the hi-five.
    void setupLevelEnd(EngineHandle* group);

    uint8_t m_removeLock = 1;
    int32_t m_startClock = 0;
    int32_t m_mark = -1;
    uint8_t m_hiFiveCount = 2;
    EngineRef m_levelNode;
    EngineRef m_unlockedNode;
    GameWorld* m_world;
    uint8_t m_carryingDiamond = 0;
    int32_t m_timeUnit = 1;
    int32_t m_specialClips[8] = {};
    int32_t m_mapLockClips[4] = {};
    int32_t m_removeClip = 0;
    int32_t m_lockClip = 0;
    int32_t m_waitClip = 0;
    int32_t m_hiFiveClip = -1;
    int32_t m_jingleAt = -1;
    int32_t m_jingle2At = -1;
    int32_t m_cameraMark = -1;
    int32_t m_lockJingleAt = -1;
    uint8_t m_arrestCuePending = 0;

private:
    int32_t clock() const;
    void markIfUnset();
};
