// The game's scripted scenes: level ten's thieves, limousine and
// props, the hideout's locks, the arrest, lock and level-map scenes of the
// menus, and the level end with its hi-five, all timed on the world clock
// from one start mark. Scenes, models, nodes and clips missing from the pack
// skip their scene or step.
#pragma once

#include <cstdint>

#include "game/shell/EngineRef.h"

class Actor;
class AnimTable;
class GameWorld;
class LevelObjectTable;

// The scenes and models the director loads.
namespace DirectorResource {
constexpr uint32_t ArrestScene = 0x300026b;
constexpr uint32_t PolicemanModel = 0x300022b; // also the third thief's
constexpr uint32_t PolicemanClips = 0x3000117;
constexpr uint32_t LockScene = 0x3000102;
constexpr uint32_t LevelMapScene = 0x3000259;
constexpr uint32_t ThiefClips = 0x30001c8;
constexpr uint32_t ThiefClips2 = 0x3000107;
constexpr uint32_t GirlModel = 0x3000112;
constexpr uint32_t BoyModel = 0x3000174;
} // namespace DirectorResource

// Music and jingle cues of the scenes.
namespace DirectorCue {
constexpr int32_t LevelTenMusic = 0x900013a;
constexpr int32_t LevelTenJingle = 0x9000240;
constexpr int32_t LevelTenJingle2 = 0x9000295;
constexpr int32_t Arrest = 0x9000237;
constexpr int32_t RemoveMusic = 0x900028a;
constexpr int32_t LockMusic = 0x90001f3;
constexpr int32_t LockJingle = 0x900027a;
constexpr int32_t LockDone = 0x9000161;
} // namespace DirectorCue

// The world's scene slots the menu scenes load into.
namespace DirectorSlot {
constexpr uint32_t Arrest = 3;
constexpr uint32_t LevelMap = 6;
constexpr uint32_t Lock = 7;
} // namespace DirectorSlot

class SceneDirector {
public:
    // A hold of the arrest scene lasts this long after the mark.
    static constexpr int32_t kHoldEndMs = 3666;
    // The entries of the level's object table level ten's scene fills.
    static constexpr int32_t kHideoutObjects = 7;

    explicit SceneDirector(GameWorld* world) : m_world(world) {}
    ~SceneDirector();
    SceneDirector(const SceneDirector&) = delete;
    SceneDirector& operator=(const SceneDirector&) = delete;

    // Level ten's actors and props into entries first .. first + 6,
    // which must be free; nothing is placed otherwise.
    void setupHideout(LevelObjectTable* table, int32_t first);
    // Takes the locks of the unlocked levels off the hideout's wall.
    void bindLocks();
    // The player step of a level with a scene in slot 10 has nothing to do.
    void emptyHook() {}
    // The thieves' models and clips; first < 0: no diamonds in the table.
    void setupSpecialLevel(LevelObjectTable* table, int32_t first);
    // Each frame of level ten: music, the thieves' clips, jingles.
    void updateSpecialLevel();
    // Rescales the flight of level 10's camera and plans its jingles; the
    // start output is left alone when no next level is set. -1.
    int32_t planIntroTimings(int32_t* start, int32_t* duration, int32_t completedLevels);
    // Each frame of the arrest screen; from 4666 ms it presses select.
    void playArrest();
    // Each frame of the lock screen; the played clip's state, 4 (finished)
    // when the menu has been closed.
    int32_t playLockScene();
    // Each frame of the level map: the lock of the next level, open or shut.
    void showLevelMap();
    // The level-end scene: the end camera is the group's first child, the
    // companion joins the player for the hi-five.
    void setupLevelEnd(EngineHandle* group);
    // True once the companion's hi-five has finished.
    bool playHiFive();
    // Marks when unset; animates scene slot n when it holds a scene.
    void animateScene(int32_t slot);
    // Marks when unset; false for a negative time.
    bool hasElapsed(int32_t ms);
    bool isHoldActive() const;
    // A one-shot cue t ms after the mark: true once, then t becomes -1.
    bool fireCue(int32_t& at);

    uint8_t m_removeLock = 1;
    int32_t m_startClock = 0;
    int32_t m_mark = -1;
    uint8_t m_hiFiveCount = 2;
    EngineRef m_levelNode;
    EngineRef m_unlockedNode;
    GameWorld* m_world;
    Actor* m_mainThief = nullptr;
    Actor* m_companion = nullptr;
    Actor* m_limo = nullptr;
    uint8_t m_carryingDiamond = 0;
    int32_t m_timeUnit = 1;
    // By clip kind k (0 walk, 2 idle, 4 to the car, 6 waiting) + thief i.
    int32_t m_specialClips[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32_t m_mapLockClips[4] = {-1, -1, -1, -1};
    int32_t m_removeClip = -1;
    int32_t m_lockClip = -1;
    int32_t m_waitClip = -1;
    int32_t m_hiFiveClip = -1;
    int32_t m_jingleAt = -1;
    int32_t m_jingle2At = -1;
    // Two times no script reads, before and one after the camera mark.
    int32_t m_spareTimes[2] = {-1, -1};
    int32_t m_cameraMark = -1;
    int32_t m_spareTime = -1;
    int32_t m_lockJingleAt = -1;
    uint8_t m_arrestCuePending = 0;

private:
    int32_t clock() const;
    // The clock's time since the mark, across the clock's wrap.
    int32_t sinceMark() const;
    void markIfUnset();
    void playJingle(int32_t cue);
    void dressThief(Actor* thief, uint32_t offset, int32_t character, const char* walkClip);
    void driveThief(int32_t i, bool nearCar);
    void setupPoliceman();
    bool levelMapLockOpen() const;
};
