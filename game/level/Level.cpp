// The level's scene, camera, clock and keys.
#include "game/level/Level.h"

#include <new>

#include "game/level/GameWorld.h"
#include "game/level/Hud.h"
#include "game/level/LevelObjects.h"
#include "game/level/SceneAssets.h"
#include "game/level/SceneDirector.h"
#include "game/shell/EngineService.h"

namespace {

// Scenes of the levels by level index, 0..8, the hideout and level ten.
constexpr uint32_t kLevelScenes[GameWorld::kSceneSlotCount] = {
    0x03000A00, 0x03000A01, 0x03000A02, 0x03000A03, 0x03000A04, 0x03000A05,
    0x03000A06, 0x03000A07, 0x03000A08, 0x03000A09, 0x03000A0A,
};

constexpr int32_t kLastGameKey = 31;

} // namespace

uint32_t levelSceneResource(int32_t level)
{
    return level >= 0 && uint32_t(level) < GameWorld::kSceneSlotCount ? kLevelScenes[level] : 0;
}

Level::Level(GameWorld* world, int32_t& error) : m_world(world)
{
    if (!loadSceneObject(world->m_world, levelSceneResource(world->m_levelIndex)))
        error = LevelError::MissingScene;
}

Level::~Level()
{
    // Objects reach the player and the camera while they go.
    m_objects.clear();
    delete m_player;
    delete m_camera;
    delete m_ground;
}

void Level::createPlayer(int32_t& /*error*/)
{
    SceneDirector* director = m_world->m_director;
    if (!director)
        return;
    if (m_world->m_levelIndex == LevelIndex::Special) {
        director->setupHideout(&m_objects, m_objects.firstFree());
        return;
    }
    if (m_world->m_sceneSlots[GameWorld::kCameraFitSlot])
        director->emptyHook();
    if (m_world->m_levelIndex == LevelIndex::Hideout)
        director->bindLocks();
}

void Level::initObjects()
{
    if (m_world->m_levelIndex == LevelIndex::Special && m_world->m_director)
        m_world->m_director->setupSpecialLevel(&m_objects, m_objects.firstFree());
}

void Level::createCamera(int32_t& error)
{
    EngineRef camera = activeCamera(m_world->m_world.get());
    LevelCamera* levelCamera = camera ? new (std::nothrow) LevelCamera(m_world) : nullptr;
    if (!levelCamera || !levelCamera->useSceneCamera(camera.get())) {
        delete levelCamera;
        error = LevelError::MissingCamera;
        return;
    }
    delete m_camera;
    m_camera = levelCamera;
    if (m_world->m_levelIndex == LevelIndex::Special)
        m_camera->planFlight();
}

void Level::update(int32_t clock, int32_t /*step*/)
{
    if (EngineHandle* world = m_world->m_world.get()) {
        int32_t validity = 0;
        tableOf<IkwObject3DTable>(world).animate(world, clock, &validity);
    }
    for (int32_t i = 0, end = m_objects.firstFree(); i < end; ++i)
        if (LevelObject* object = m_objects.at(i))
            object->trackMovement();
    if (m_world->m_levelIndex == LevelIndex::Special && m_world->m_director)
        m_world->m_director->updateSpecialLevel();
    if (m_camera)
        m_camera->update();
}

void Level::onKeyPressed(int32_t key)
{
    if (key >= 1 && key <= kLastGameKey)
        m_keysHeld |= 1u << key;
    m_lastPressed = key;
}

void Level::onKeyReleased(int32_t key)
{
    if (key >= 1 && key <= kLastGameKey)
        m_keysHeld &= ~(1u << key);
    m_lastReleased = key;
}

bool loadWorldSceneSlot(GameWorld* world, uint32_t slot, uint32_t resourceId)
{
    if (!world || slot >= GameWorld::kSceneSlotCount)
        return false;
    EngineRef& target = world->m_sceneSlots[slot];
    if (!loadSceneObject(target, resourceId))
        return false;
    if (EngineRef camera = activeCamera(target.get()))
        Hud::fitCameraAspect(camera.get());
    return true;
}
