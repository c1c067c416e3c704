// The level-object family: a plain object on a scene node, the actor that
// moves and turns, the player with the state the world and the director
// read, the level camera, the level events and the object-kind predicates.
#pragma once

#include <cstdint>
#include <memory>

#include "game/level/GameProgress.h"
#include "game/shell/EngineRef.h"

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
    // Notes whether the object moved since the last call; only actors care.
    virtual void trackMovement() {}

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
    // Bound as the player, the actor wears its character model (loaded
    // under its node); otherwise the node is its model.
    void bindSceneNodes() override;
    void trackMovement() override;

    uint32_t m_modelResourceId = 0;
    float m_heading = 0.0f;
    uint8_t m_moved = 0;
    float m_lastPosition[3] = {};
    uint8_t m_placed = 0; // m_lastPosition holds a position
};

class Player : public Actor {
public:
    Player(EngineHandle* node, GameWorld* world);

    int32_t m_singleAction = 0;  // nonzero: every tap is the action key
    uint8_t m_stateFlag = 0;     // freezes level time while set
    EngineRef m_heldTarget;
    PlayerChase m_chase;         // the chase step's fields, read by the progress
    int32_t m_animationState = 0;
    // Set by the director at the level end; the player walks there.
    std::unique_ptr<float[]> m_targetPosition;
};

namespace PlayerAnimation {
constexpr int32_t HiFive = 43;
} // namespace PlayerAnimation

class LevelCamera {
public:
    explicit LevelCamera(GameWorld* world) : m_world(world) {}

    bool isSpinning() const { return m_spinning != 0; }
    bool isTimedViewActive() const { return m_timedView != 0; }
    // Fits the camera in use to the screen again.
    void restoreProjection();
    // Makes the scene camera the world's active one, fitted to the screen;
    // false when the world refuses it.
    bool useSceneCamera(EngineHandle* camera);
    // Level ten's flight: its length is the camera's longest clip,
    // which the director rescales and times its jingles by.
    void planFlight();
    // While the end scene runs: the hi-five, then the level's end screen.
    void update();

    GameWorld* m_world;
    EngineRef m_camera;
    int32_t m_flightStart = 0;
    int32_t m_flightDuration = 0;
    uint8_t m_endShown = 0;
    // The camera's spin and its timed view slow the level's clock; nothing
    // in play starts either yet.
    uint8_t m_spinning = 0;
    uint8_t m_timedView = 0;
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

// The level's objects by index; it owns them. Scripts that place several
// objects ask for a run of free entries first.
class LevelObjectTable {
public:
    static constexpr int32_t kCapacity = 128;

    LevelObjectTable() = default;
    ~LevelObjectTable() { clear(); }
    LevelObjectTable(const LevelObjectTable&) = delete;
    LevelObjectTable& operator=(const LevelObjectTable&) = delete;

    // True when first .. first + count - 1 lie in the table and are empty.
    bool isFree(int32_t first, int32_t count) const;
    // Takes the object into a free entry; deletes it when the entry is
    // taken or outside the table. The object, or null.
    LevelObject* put(int32_t index, LevelObject* object);
    LevelObject* at(int32_t index) const { return uint32_t(index) < uint32_t(kCapacity) ? m_entries[index] : nullptr; }
    // One past the last entry in use.
    int32_t firstFree() const;
    void clear();

private:
    LevelObject* m_entries[kCapacity] = {};
};
