// The level-object family: a plain object on a scene node, the actor that
// moves and turns, the player with the state the world and the director
// read, the level camera, the level events and the object-kind predicates.
#pragma once

#include <cstdint>

#include "game/shell/EngineRef.h"
#include "game/shell/GameProgress.h"

class GameWorld;

namespace LevelObjectType {
constexpr int32_t Plain = 0;
constexpr int32_t Actor = 1;
constexpr int32_t Player = 3;
} // namespace LevelObjectType

class LevelObject {
public:
    // Holds its own count on the node.
    LevelObject(EngineHandle* node, GameWorld* world);
    virtual ~LevelObject() = default;
    LevelObject(const LevelObject&) = delete;
    LevelObject& operator=(const LevelObject&) = delete;

    // "animate": nonzero lets the object's clips run.
    void setProperty(const char* name, const char* value);
    void getPosition(float& x, float& y, float& z) const;
    // The model the object shows: for now the node itself.
    virtual void bindSceneNodes();

    EngineRef m_node;
    EngineRef m_model;
    GameWorld* m_world;
    int32_t m_typeId = LevelObjectType::Plain;
    uint8_t m_animate = 0;
};

class Actor : public LevelObject {
public:
    Actor(EngineHandle* node, GameWorld* world);

    // Turns the node about the vertical axis.
    void setHeading(float degrees);
    virtual bool movedLastFrame() const { return m_moved != 0; }

    uint32_t m_modelResourceId = 0;
    float m_heading = 0.0f;
    uint8_t m_moved = 0;
};

class Player : public Actor {
public:
    Player(EngineHandle* node, GameWorld* world);

    int32_t m_singleAction = 0;  // nonzero: every tap is the action key
    uint8_t m_stateFlag = 0;     // freezes level time while set
    EngineRef m_heldTarget;
    PlayerChase m_chase;         // the chase step's fields, read by the progress
    int32_t m_animationState = 0;
    float* m_targetPosition = nullptr; // the director's, at the level end
};

class LevelCamera {
public:
    explicit LevelCamera(GameWorld* world) : m_world(world) {}

    bool isSpinning() const { return false; }
    bool isTimedViewActive() const { return false; }
    // Fits the camera in use to the screen again.
    void restoreProjection();
    // Makes the scene camera the world's active one, fitted to the screen;
    // false when the world refuses it.
    bool useSceneCamera(EngineHandle* camera);

    GameWorld* m_world;
    EngineRef m_camera;
};

namespace LevelEventKind {
constexpr int32_t Checkpoint = 1;
} // namespace LevelEventKind

class LevelEvent {
public:
    // Moves the player's node to the event's place.
    static void applyCheckpoint(const LevelEvent* event, Player* player);

    int32_t m_id = 0;
    int32_t m_kind = 0;
    float m_position[3] = {};
};

// The object-kind predicates; stateless.
class ObjectKindTests {};
