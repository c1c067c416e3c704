// Clip slots, their per-frame advance in whole milliseconds and the pinning
// of each clip's controller at the current world time.
#include "game/shell/AnimTable.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "engine/core/interface/InterfaceIds.h"
#include "framework/util/Saturate.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/GameClock.h"

AnimTable::AnimTable(const void* owner) : m_owner(owner) { std::fill(std::begin(m_clipId), std::end(m_clipId), kEmpty); }

AnimTable::~AnimTable()
{
    releaseControllers();
    empty();
    m_scene = nullptr;
}

void AnimTable::empty()
{
    std::fill(std::begin(m_clipId), std::end(m_clipId), kEmpty);
    std::fill(std::begin(m_state), std::end(m_state), ClipState::Idle);
}

void AnimTable::bind(EngineRef* scene, bool collect)
{
    releaseControllers();
    m_worldTime = 0;
    empty();
    if (scene)
        m_scene = scene;
    if (m_scene && collect)
        collectClips(m_scene->get());
}

void AnimTable::registerTrack(EngineHandle* track, std::vector<EngineRef>& marked)
{
    const IkwAnimationTrackTable& api = tableOf<IkwAnimationTrackTable>(track);
    uint32_t id = 0;
    EngineRef controller;
    if (api.getController(track, controller.out()) == 0 && controller)
        controller.table<IkwObject3DTable>().getUserID(controller.get(), &id);
    int32_t duration = 0;
    EngineRef sequence;
    if (api.getKeyframeSequence(track, sequence.out()) == 0 && sequence)
        sequence.table<IkwKeyframeSequenceTable>().getDuration(sequence.get(), &duration);

    if (m_removeMarkedTracks && id == kMarkedTrackId) {
        marked.push_back(EngineRef::retain(track));
        return;
    }
    if (id == 0)
        return;
    // A clip must last at least a millisecond, or its wrap would never end.
    duration = std::max(duration, 1);
    const int32_t slot = findSlot(id);
    if (slot >= 0) {
        m_length[slot] = std::max(m_length[slot], duration);
        return;
    }
    const int32_t free = findFreeSlot();
    if (free < 0)
        return;
    m_clipId[free] = id;
    m_length[free] = duration;
    m_state[free] = ClipState::Registered;
    m_speed[free] = 1.0f;
    m_position[free] = 0;
    m_blendMode[free] = BlendMode::None;
}

uint32_t AnimTable::registerTracks(const EngineRef& object)
{
    const IkwObject3DTable& api = object.table<IkwObject3DTable>();
    uint32_t count = 0;
    api.getAnimationTrackCount(object.get(), &count);
    std::vector<EngineRef> marked;
    for (uint32_t i = 0; i < count; ++i) {
        EngineRef track;
        if (api.getAnimationTrack(object.get(), i, track.out()) == 0 && track)
            registerTrack(track.get(), marked);
    }
    for (const EngineRef& track : marked)
        api.removeAnimationTrack(object.get(), track.get());
    return count;
}

uint64_t AnimTable::collectClips(EngineHandle* object)
{
    std::vector<EngineRef> pending;
    if (object)
        pending.push_back(EngineRef::retain(object));
    std::vector<EngineRef> visits;
    // A texture that many skinned meshes share is read once.
    std::set<const void*> textures;
    uint64_t tracks = 0;
    while (!pending.empty()) {
        const EngineRef next = std::move(pending.back());
        pending.pop_back();
        tracks += registerTracks(next);
        // Of the children only groups, skinned meshes (their texture, then
        // their skeleton) and morphing meshes carry clips.
        visits.clear();
        for (const EngineRef& child : childrenOf(next)) {
            if (EngineRef group = child.as(kIidGroup)) {
                visits.push_back(std::move(group));
            } else if (const EngineRef skinned = child.as(kIidSkinnedMesh)) {
                if (EngineRef texture = meshTexture(skinned, 0); texture && textures.insert(texture.identity()).second)
                    visits.push_back(std::move(texture));
                if (EngineRef skeleton = skeletonOf(skinned))
                    visits.push_back(std::move(skeleton));
            } else if (EngineRef morphing = child.as(kIidMorphingMesh)) {
                visits.push_back(std::move(morphing));
            }
        }
        // Reversed onto the stack, so the first is taken first.
        std::move(visits.rbegin(), visits.rend(), std::back_inserter(pending));
    }
    return tracks;
}

void AnimTable::resolveClips()
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (m_clipId[slot] == kEmpty)
            continue;
        if (!m_scene || !findObject(*m_scene, m_clipId[slot], kIidObject3D)) {
            m_clipId[slot] = kEmpty;
            m_state[slot] = ClipState::Idle;
        }
    }
}

void AnimTable::releaseControllers()
{
    for (EngineRef& controller : m_controllers)
        controller.reset();
}

int32_t AnimTable::findSlot(uint32_t clipId) const
{
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if (m_clipId[slot] == clipId)
            return slot;
    return -1;
}

void AnimTable::setSpeed(int32_t slot, float speed)
{
    if (used(slot))
        m_speed[slot] = speed;
}

void AnimTable::setBlend(int32_t slot, uint8_t mode, int32_t master)
{
    if (!inRange(slot))
        return;
    m_blendMode[slot] = mode;
    m_blendMaster = master;
}

void AnimTable::applyBlendWeight(int32_t slot)
{
    if (!inRange(slot) || !inRange(m_blendMaster) || !m_controllers[slot])
        return;
    const int32_t length = m_length[m_blendMaster];
    if (length <= 0)
        return;
    const float progress = float(m_position[m_blendMaster]) / float(length);
    float weight;
    if (m_blendMode[slot] == BlendMode::Progress)
        weight = progress;
    else if (m_blendMode[slot] == BlendMode::InverseProgress)
        weight = 1.0f - progress;
    else
        return;
    // A master switched off gives a negative weight, which the controller
    // refuses, keeping the weight it had.
    m_controllers[slot].table<IkwAnimationControllerTable>().setWeight(m_controllers[slot].get(), weight);
}

void AnimTable::setPosition(int32_t slot, int32_t position, bool store)
{
    if (!inRange(slot))
        return;
    if (store && m_clipId[slot] != kEmpty)
        m_position[slot] = position;
    EngineRef& controller = m_controllers[slot];
    if (!controller && m_scene)
        controller = findObject(*m_scene, m_clipId[slot], kIidAnimationController);
    if (!controller)
        return;
    const IkwAnimationControllerTable& api = controller.table<IkwAnimationControllerTable>();
    const int32_t t = m_worldTime;
    // At the clock's two ends the interval comes out reversed; the engine
    // refuses it and the controller keeps the one it had.
    if (position != -1) {
        api.setActiveInterval(controller.get(), t, clockAdd(t, 1));
        api.setPosition(controller.get(), float(position), t);
    } else {
        api.setActiveInterval(controller.get(), clockAdd(t, -1), t);
        api.setPosition(controller.get(), -1.0f, t);
    }
}

void AnimTable::play(int32_t slot, bool loop, int32_t position)
{
    if (!used(slot))
        return;
    m_state[slot] = loop ? ClipState::Looping : ClipState::PlayingOnce;
    if (!(m_speed[slot] > 0.0f))
        position = clockSince(m_length[slot] - 1, position);
    m_position[slot] = position;
    setPosition(slot, position, false);
    if (m_blendMode[slot] == BlendMode::Progress && m_controllers[slot])
        m_controllers[slot].table<IkwAnimationControllerTable>().setWeight(m_controllers[slot].get(), 0.0f);
}

void AnimTable::stop(int32_t slot, bool rewind)
{
    if (!used(slot))
        return;
    const uint8_t state = m_state[slot];
    if (rewind && (state == ClipState::PlayingOnce || state == ClipState::Looping)) {
        const int32_t length = m_length[slot];
        const int32_t pin = m_switchOffAtEnd ? -1 : (m_position[slot] > length - 1 ? length : 0);
        setPosition(slot, pin, false);
        m_state[slot] = ClipState::Finished;
        if (m_blendMode[slot] != BlendMode::None)
            applyBlendWeight(slot);
    } else if (state == ClipState::Looping) {
        m_state[slot] = ClipState::PlayingOnce;
    }
}

namespace {

// step x speed, truncated toward zero, within what a position can take.
int64_t clipDelta(int32_t step, float speed)
{
    return saturateToInt(float(step) * speed);
}

} // namespace

void AnimTable::update(int32_t worldTime, int32_t step)
{
    if (worldTime == m_worldTime)
        return;
    m_worldTime = worldTime;
    m_timeStep = step;
    if (!m_scene)
        return;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        const int32_t length = m_length[slot];
        switch (m_state[slot]) {
        case ClipState::Looping: {
            // Whole lengths at once: the same as subtracting one at a time.
            int64_t position = (m_position[slot] + clipDelta(step, m_speed[slot])) % length;
            if (position < 0)
                position += length;
            m_position[slot] = int32_t(position);
            setPosition(slot, m_position[slot], false);
            break;
        }
        case ClipState::PlayingOnce: {
            const int64_t position = m_position[slot] + clipDelta(step, m_speed[slot]);
            if (position > length - 1) {
                m_position[slot] = m_switchOffAtEnd ? -1 : length;
                m_state[slot] = ClipState::Finished;
            } else if (position < 0) {
                m_position[slot] = m_switchOffAtEnd ? -1 : 0;
                m_state[slot] = ClipState::Finished;
            } else {
                m_position[slot] = int32_t(position);
            }
            setPosition(slot, m_position[slot], false);
            if (m_blendMode[slot] != BlendMode::None)
                applyBlendWeight(slot);
            break;
        }
        case ClipState::Registered:
            setPosition(slot, -1, false);
            m_state[slot] = ClipState::Finished;
            break;
        default:
            break;
        }
    }
    for (int32_t slot = 0; slot < kSlotCount; ++slot)
        if ((m_state[slot] == ClipState::PlayingOnce || m_state[slot] == ClipState::Looping) &&
            m_blendMode[slot] != BlendMode::None)
            applyBlendWeight(slot);
}
