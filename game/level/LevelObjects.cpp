// Level objects, the player, the level camera and level events.
#include "game/level/LevelObjects.h"

#include <cstring>

#include "engine/core/interface/InterfaceIds.h"
#include "game/shell/GameUtils.h"
#include "game/shell/GameWorld.h"
#include "game/ui/Hud.h"

namespace {
constexpr char kAnimateKey[] = "animate";
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

void LevelEvent::applyCheckpoint(const LevelEvent* event, Player* player)
{
    if (event && player && player->m_node)
        tableOf<IkwTransformableTable>(player->m_node.get()).setTranslation(player->m_node.get(), event->m_position);
}
