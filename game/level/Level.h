// The level being played: it loads the level's scene into the world, makes
// the camera from the scene's active camera, animates the scene at the world
// clock and takes the level's keys. Objects, groups, events and collision are
// the level data's, which the scenes do not carry yet.
#pragma once

#include <cstdint>

#include "game/level/LevelObjects.h"
#include "game/shell/EngineRef.h"

class GameWorld;

// What the error variable of a load step reports.
namespace LevelError {
constexpr int32_t None = -1;
constexpr int32_t MissingScene = 0;
constexpr int32_t MissingCamera = 1;
// The engine could not draw the level's world (out of memory, or a camera
// it cannot use).
constexpr int32_t DrawFailed = 2;
} // namespace LevelError

// The pack resource of each level's scene; 0 for a level without one.
uint32_t levelSceneResource(int32_t level);
// Loads a scene into the world's slot and fits its camera; the slot stays
// empty when loading fails. The menus' scenes load with no level running.
bool loadWorldSceneSlot(GameWorld* world, uint32_t slot, uint32_t resourceId);

class Level {
public:
    Level(GameWorld* world, int32_t& error);
    ~Level();
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

    void loadExtraScenes(int32_t& /*error*/) {}
    void createObjectGroups() {}
    void spawnObjects(EngineHandle* /*worldScene*/) {}
    void createNamedGroups() {}
    // Level ten's scene stands in for a player; the hideout's
    // locks open with the levels.
    void createPlayer(int32_t& error);
    void createCamera(int32_t& error);
    void createEvents(int32_t& /*error*/) {}
    void initObjects();
    void update(int32_t clock, int32_t step);
    void postUpdate() {}
    void onKeyPressed(int32_t key);
    void onKeyReleased(int32_t key);
    LevelEvent* findEvent(int32_t /*id*/, int32_t /*kind*/) { return nullptr; }
    bool loadSceneSlot(uint32_t slot, uint32_t resourceId, int32_t /*flag*/)
    {
        return loadWorldSceneSlot(m_world, slot, resourceId);
    }
    void freeCollisionData(EngineHandle* /*node*/) {}

    GameWorld* m_world;
    LevelObjectTable m_objects;
    LevelObject* m_ground = nullptr;
    LevelCamera* m_camera = nullptr;
    Player* m_player = nullptr;
    // Game keys 1..23 held down, one bit each, and the last of each edge.
    uint32_t m_keysHeld = 0;
    int32_t m_lastPressed = -1;
    int32_t m_lastReleased = -1;
};
