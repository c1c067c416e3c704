// The game's player for the named keyframe animations of a loaded scene: one
// slot per clip (a controller whose user id is the clip id), advanced in whole
// milliseconds by the table and pinned to that position at the current world
// time only, so the engine's own time-based playback never runs for them.
#pragma once

#include <cstdint>
#include <vector>

#include "game/shell/EngineRef.h"

namespace ClipState {
constexpr uint8_t Idle = 0;
constexpr uint8_t Registered = 1;
constexpr uint8_t PlayingOnce = 2;
constexpr uint8_t Looping = 3;
constexpr uint8_t Finished = 4;
} // namespace ClipState

namespace BlendMode {
constexpr uint8_t None = 0;
constexpr uint8_t Progress = 1;
constexpr uint8_t InverseProgress = 2;
} // namespace BlendMode

class AnimTable {
public:
    static constexpr int32_t kSlotCount = 220;
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;
    // Tracks of this controller id are removed where the owner asks for it.
    static constexpr uint32_t kMarkedTrackId = 0x0f1ba413;

    // The owner is kept for whoever made the table; the table never reads it.
    explicit AnimTable(const void* owner);
    ~AnimTable();
    AnimTable(const AnimTable&) = delete;
    AnimTable& operator=(const AnimTable&) = delete;

    // Empties the table; a null holder keeps the current binding.
    void bind(EngineRef* scene, bool collect);
    // Registers the clips of the object and what lies below it; returns the
    // tracks it read, the work tests count.
    uint64_t collectClips(EngineHandle* object);
    void addClipsFrom(const EngineRef& holder) { collectClips(holder.get()); }
    void resolveClips();
    void releaseControllers();

    int32_t findSlot(uint32_t clipId) const;
    int32_t findFreeSlot() const { return findSlot(kEmpty); }
    int32_t getLength(int32_t slot) const { return used(slot) ? m_length[slot] : 0; }
    int32_t getPosition(int32_t slot) const { return used(slot) ? m_position[slot] : 0; }
    float getSpeed(int32_t slot) const { return used(slot) ? m_speed[slot] : 0.0f; }
    uint8_t getState(int32_t slot) const { return used(slot) ? m_state[slot] : 0; }

    void setSpeed(int32_t slot, float speed);
    void setBlend(int32_t slot, uint8_t mode, int32_t master);
    void applyBlendWeight(int32_t slot);
    void play(int32_t slot, bool loop, int32_t position);
    void stop(int32_t slot, bool rewind);
    void update(int32_t worldTime, int32_t step);
    // Pins the controller at the position (-1: off) for the current world
    // time; with store the slot's position becomes it too.
    void setPosition(int32_t slot, int32_t position, bool store);

    uint8_t m_switchOffAtEnd = 1;
    uint8_t m_removeMarkedTracks = 0;
    const void* m_owner;
    EngineRef* m_scene = nullptr;
    int32_t m_timeStep = 0;
    int32_t m_worldTime = 0;
    int32_t m_blendMaster = -1;

private:
    static bool inRange(int32_t slot) { return uint32_t(slot) < uint32_t(kSlotCount); }
    bool used(int32_t slot) const { return inRange(slot) && m_clipId[slot] != kEmpty; }
    void registerTrack(EngineHandle* track, std::vector<EngineRef>& marked);
    // The object's own tracks, whose count it returns; the marked ones are
    // removed from it.
    uint32_t registerTracks(const EngineRef& object);
    void empty();

    uint8_t m_blendMode[kSlotCount] = {};
    uint32_t m_clipId[kSlotCount];
    int32_t m_length[kSlotCount] = {};
    uint8_t m_state[kSlotCount] = {};
    float m_speed[kSlotCount] = {};
    int32_t m_position[kSlotCount] = {};
    // Found in the scene on first use and kept.
    EngineRef m_controllers[kSlotCount];
};
