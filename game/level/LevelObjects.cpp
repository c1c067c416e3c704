// Level objects, the player, the level camera and level events.
#include "game/level/LevelObjects.h"

#include <cstring>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/Hud.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/level/SceneAssets.h"
#include "game/level/SceneDirector.h"
#include "game/shell/AnimCopy.h"

namespace {
constexpr char kAnimateKey[] = "animate";
// Where the level goes once the end scene's hi-five is over.
constexpr uint32_t kLevelEndScreen = 0x21ff0120;
} // namespace

LevelObject::LevelObject(EngineHandle* node, GameWorld* world) : m_node(EngineRef::retain(node)), m_world(world) {}

void LevelObject::setProperty(const char* name, const char* value)
{
    if (name && std::strcmp(name, kAnimateKey) == 0)
        m_animate = GameUtils::parseInt(value) != 0 ? 1 : 0;
}

void LevelObject::getPosition(float& x, float& y, float& z) const
{
    float p[3] = {};
    if (m_world && m_world->m_utils)
        m_world->m_utils->getWorldPosition(m_node.get(), p);
    x = p[0];
    y = p[1];
    z = p[2];
}

void LevelObject::bindSceneNodes()
{
    m_model = m_node.share();
}

Actor::Actor(EngineHandle* node, GameWorld* world) : LevelObject(node, world)
{
    m_typeId = LevelObjectType::Actor;
}

void Actor::setHeading(float degrees)
{
    m_heading = degrees;
    if (EngineHandle* node = m_node.get()) {
        const float angleAxis[4] = {degrees, 0.0f, 1.0f, 0.0f};
        tableOf<IkwTransformableTable>(node).setOrientation(node, angleAxis);
    }
}

void Actor::bindSceneNodes()
{
    if (m_typeId != LevelObjectType::Player || m_modelResourceId == 0 || !m_node) {
        LevelObject::bindSceneNodes();
        return;
    }
    EngineRef model;
    if (instantiateModel(m_world, model, m_modelResourceId, m_node, false, true))
        m_model = std::move(model);
}

void Actor::trackMovement()
{
    float p[3];
    getPosition(p[0], p[1], p[2]);
    m_moved = m_placed && (p[0] != m_lastPosition[0] || p[1] != m_lastPosition[1] || p[2] != m_lastPosition[2]);
    for (int i = 0; i < 3; ++i)
        m_lastPosition[i] = p[i];
    m_placed = 1;
}

Player::Player(EngineHandle* node, GameWorld* world) : Actor(node, world)
{
    m_typeId = LevelObjectType::Player;
}

void LevelCamera::restoreProjection()
{
    if (m_camera && m_world->m_hud)
        m_world->m_hud->fitCameraAspect(m_camera.get());
}

bool LevelCamera::useSceneCamera(EngineHandle* camera)
{
    EngineHandle* world = m_world->m_world.get();
    if (!camera || !world || tableOf<IkwWorldTable>(world).setActiveCamera(world, camera) != 0)
        return false;
    m_camera = EngineRef::retain(camera);
    restoreProjection();
    return true;
}

void LevelCamera::planFlight()
{
    SceneDirector* director = m_world->m_director;
    if (!director || !m_camera)
        return;
    uint8_t named = 0, direct = 0;
    int32_t longest = 0;
    findAnimatedObject(m_camera, named, direct, &longest);
    const GameProgress* progress = m_world->m_progress;
    m_flightDuration = longest;
    director->planIntroTimings(&m_flightStart, &m_flightDuration, progress ? progress->completedLevelCount() : 0);
}

void LevelCamera::update()
{
    const Level* level = m_world->m_level;
    const Player* player = level ? level->m_player : nullptr;
    if (m_endShown || !player || !player->m_targetPosition || !m_world->m_director)
        return;
    if (m_world->m_director->playHiFive() && m_world->m_menu) {
        m_endShown = 1;
        m_world->m_menu->setState(kLevelEndScreen, 0, 0);
    }
}

void LevelEvent::applyCheckpoint(const LevelEvent* event, Player* player)
{
    if (event && player && player->m_node)
        tableOf<IkwTransformableTable>(player->m_node.get()).setTranslation(player->m_node.get(), event->m_position);
}

bool LevelObjectTable::isFree(int32_t first, int32_t count) const
{
    if (first < 0 || count < 0 || first > kCapacity - count)
        return false;
    for (int32_t i = first; i < first + count; ++i)
        if (m_entries[i])
            return false;
    return true;
}

LevelObject* LevelObjectTable::put(int32_t index, LevelObject* object)
{
    if (!isFree(index, 1)) {
        delete object;
        return nullptr;
    }
    m_entries[index] = object;
    return object;
}

int32_t LevelObjectTable::firstFree() const
{
    int32_t end = kCapacity;
    while (end > 0 && !m_entries[end - 1])
        --end;
    return end;
}

void LevelObjectTable::clear()
{
    for (LevelObject*& entry : m_entries) {
        LevelObject* object = entry;
        entry = nullptr;
        delete object;
    }
}
