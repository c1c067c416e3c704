// The director's scripts, its clock and timings.
#include "game/level/SceneDirector.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/level/SceneAssets.h"
#include "game/shell/AnimCopy.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/GameClock.h"

namespace {

// The flight's length in time units for each kind of visit.
constexpr int32_t kFlightUnitsFirstVisit = 400;
constexpr int32_t kFlightUnitsAllDone = 1200;
constexpr int32_t kFlightUnits = 750;
constexpr int32_t kUnitDivisor = 1500;
constexpr int32_t kAllDoneLevels = 9;

// The arrest: hidden for a second, the policeman waits from two, the
// picture holds at 2666 ms of the scene, and from 4666 the menu moves on.
constexpr int32_t kArrestShowMs = 1000;
constexpr int32_t kArrestWaitMs = 2000;
constexpr int32_t kArrestHeldFrameMs = 2666;
constexpr int32_t kArrestSelectMs = 4666;

constexpr int32_t kLockJingleUnits = 40;
constexpr float kNearCar = 5.0f;

// Clip kinds of level ten's thieves.
constexpr int32_t kWalk = 0;
constexpr int32_t kIdle = 2;
constexpr int32_t kToCar = 4;
constexpr int32_t kWaiting = 6;
constexpr int32_t kClipKinds = 4;

// The menu clip tables of the level map, the lock and the arrest.
constexpr int32_t kLevelMapTable = 1;
constexpr int32_t kLockTable = 2;
constexpr int32_t kArrestTable = 3;

constexpr char kDiamond[] = "diamond";

void addChild(const EngineRef& group, const EngineRef& child)
{
    if (group && child)
        group.table<IkwGroupTable>().addChild(group.get(), child.get());
}

// Takes the node out of whatever holds it; a missing node is skipped.
void detach(const EngineRef& node)
{
    GameUtils::removeFromGroup(node, GameUtils::parentOf(node));
}

void setShown(const EngineRef& node, bool shown)
{
    if (node)
        node.table<IkwNodeTable>().setRenderingEnable(node.get(), shown ? 1 : 0);
}

bool isShown(const EngineRef& node)
{
    uint8_t on = 0;
    if (node)
        node.table<IkwNodeTable>().isRenderingEnabled(node.get(), &on);
    return on != 0;
}

void animateAt(const EngineRef& object, int32_t time)
{
    int32_t validity = 0;
    if (object)
        object.table<IkwObject3DTable>().animate(object.get(), time, &validity);
}

// The orientation's angle, turned round when its axis points down z.
float headingOf(const EngineRef& node)
{
    float angleAxis[4] = {};
    if (node)
        node.table<IkwTransformableTable>().getOrientation(node.get(), angleAxis);
    return angleAxis[3] < 0.0f ? -angleAxis[0] : angleAxis[0];
}

// The clip's slot (its copy's with the offset); -1 without a table or clip.
int32_t clipSlot(const AnimTable* table, const char* clip, uint32_t offset)
{
    return table ? table->findSlot(uint32_t(GameUtils::nameHash(clip)) + offset) : -1;
}

} // namespace

SceneDirector::~SceneDirector()
{
    // The actors are the level's; only the pointers go.
    m_mainThief = m_companion = m_limo = nullptr;
    m_unlockedNode.reset();
    m_levelNode.reset();
}

int32_t SceneDirector::clock() const
{
    return m_world ? m_world->getClock() : 0;
}

int32_t SceneDirector::sinceMark() const
{
    return clockSince(clock(), m_mark);
}

void SceneDirector::markIfUnset()
{
    if (m_mark == -1)
        m_mark = clock();
}

void SceneDirector::playJingle(int32_t cue)
{
    if (m_world && m_world->m_progress)
        m_world->m_progress->playJingle(cue, false);
}

void SceneDirector::setupHideout(LevelObjectTable* table, int32_t first)
{
    GameWorld* world = m_world;
    // The actors of an earlier level went with it.
    m_mainThief = m_companion = m_limo = nullptr;
    // A short or crowded table would lose objects or overwrite others.
    if (!world || !table || !table->isFree(first, kHideoutObjects))
        return;
    paintListMarks(world, world->m_world, world->m_progress ? world->m_progress->completedLevelCount() : 0);

    const bool fromLevel = world->m_nextLevel != -1;
    const bool girlFirst = world->m_character != 0 && world->m_character != 2 && fromLevel;
    const char* dummies[2] = {girlFirst ? "DummyGIRL" : "DummyBOY", girlFirst ? "DummyBOY" : "DummyGIRL"};
    const uint32_t models[2] = {world->m_character == 2 && fromLevel ? DirectorResource::PolicemanModel
                                                                     : DirectorResource::BoyModel,
                                DirectorResource::GirlModel};
    Actor** thieves[2] = {&m_mainThief, &m_companion};
    for (int32_t i = 0; i < 2; ++i) {
        const EngineRef dummy = GameUtils::findNamedNode(world->m_world, dummies[i]);
        const EngineRef group = dummy ? createEngineObject(kIidGroup) : EngineRef();
        if (!group)
            continue;
        addChild(dummy, group);
        if (auto* actor = static_cast<Actor*>(table->put(first + i, new (std::nothrow) Actor(group.get(), world)))) {
            actor->m_modelResourceId = models[i];
            *thieves[i] = actor;
        }
    }

    // The props animate; those the thieves walk past collide.
    Level* level = world->m_level;
    const auto place = [&](int32_t index, const EngineRef& node, bool actor, bool collide) -> LevelObject* {
        if (!node)
            return nullptr;
        LevelObject* object = actor ? new (std::nothrow) Actor(node.get(), world)
                                    : new (std::nothrow) LevelObject(node.get(), world);
        if (table->put(first + index, object))
            object->setProperty("animate", "1");
        else
            object = nullptr;
        if (collide && level)
            level->freeCollisionData(node.get());
        return object;
    };
    place(2, GameUtils::findNamedNode(world->m_world, "list"), false, false);
    place(3, GameUtils::findNamedNode(world->m_world, "lock"), false, false);
    place(4, GameUtils::findNamedNode(world->m_world, "dust"), false, true);
    m_limo = static_cast<Actor*>(place(5, GameUtils::findNamedNode(world->m_world, "limo_dummy"), true, true));
    // Come from a level, the thieves carry the diamond and its buyer has
    // gone; a diamond of an earlier visit is not carried over.
    const EngineRef mafia = GameUtils::findNamedNode(world->m_world, "DummyMAFIA");
    m_carryingDiamond = fromLevel ? 1 : 0;
    if (fromLevel)
        setShown(mafia, false);
    place(6, mafia, false, true);
}

void SceneDirector::bindLocks()
{
    GameWorld* world = m_world;
    if (!world || !world->m_utils || !world->m_progress)
        return;
    const EngineRef locks = GameUtils::findNamedNode(world->m_world, "locks");
    const uint32_t lockId = uint32_t(GameUtils::transformId("lock"));
    // Lowest first; a lock as high as one collected before goes in front,
    // so they are sorted stably in reverse order of collection. A height
    // that is no number counts as the lowest.
    std::vector<std::pair<float, EngineRef>> sorted;
    for (uint32_t i = 0, n = GameUtils::childCount(locks); i < n; ++i) {
        EngineRef child = GameUtils::childAt(locks, i);
        uint32_t id = 0;
        if (child)
            child.table<IkwObject3DTable>().getUserID(child.get(), &id);
        if (id != lockId)
            continue;
        float p[3] = {};
        world->m_utils->getWorldPosition(child.get(), p);
        sorted.emplace_back(p[1], std::move(child));
    }
    std::reverse(sorted.begin(), sorted.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return std::isnan(a.first) ? !std::isnan(b.first) : a.first < b.first;
    });
    // The highest lock is level 0's; a lock beyond the records stays.
    const int32_t count = int32_t(sorted.size());
    const EngineRef wall = locks.as(kIidGroup);
    for (int32_t k = 0; k < count; ++k) {
        const LevelRecord* record = world->m_progress->record(k);
        if (record && record->unlocked)
            wall.table<IkwGroupTable>().removeChild(wall.get(), sorted[size_t(count - 1 - k)].second.get());
    }
}

void SceneDirector::dressThief(Actor* thief, uint32_t offset, int32_t character, const char* walkClip)
{
    if (!thief)
        return;
    // Bound as the player, the actor loads its character model.
    thief->m_typeId = LevelObjectType::Player;
    thief->bindSceneNodes();
    thief->m_typeId = LevelObjectType::Actor;
    if (!thief->m_model)
        return;
    for (uint32_t clips : {DirectorResource::ThiefClips, DirectorResource::ThiefClips2})
        if (const EngineRef group = loadGroupResource(clips))
            assignAnimationIds(group, thief->m_model, offset);
    AnimTable* table = m_world->m_levelClips;
    if (table)
        table->addClipsFrom(thief->m_model);
    setupCharacterModel(m_world, thief->m_model, character, nullptr);
    const char* names[kClipKinds] = {walkClip, "idle_breath", "diamond_car", "diamond_wait"};
    for (int32_t k = 0; k < kClipKinds; ++k)
        m_specialClips[2 * k + int32_t(offset)] = clipSlot(table, names[k], offset);
}

void SceneDirector::setupSpecialLevel(LevelObjectTable* table, int32_t first)
{
    GameWorld* world = m_world;
    if (!world)
        return;
    const int32_t done = world->m_progress ? world->m_progress->completedLevelCount() : 0;
    if (m_mainThief)
        dressThief(m_mainThief, 0, m_mainThief->m_modelResourceId == DirectorResource::PolicemanModel ? 2 : 0,
                   "walk_boy_simple");
    const bool girl = world->m_character == 1 || world->m_character == 2 || world->m_nextLevel == -1 ||
                      done >= kAllDoneLevels;
    dressThief(m_companion, 1, girl ? 1 : 0, "walk_girl_simple");
    if (!m_carryingDiamond || !table || first < 0)
        return;
    const Actor* thieves[2] = {m_mainThief, m_companion};
    for (int32_t i = 0; i < 2; ++i) {
        const EngineRef diamond = thieves[i] ? GameUtils::findNamedNode(thieves[i]->m_model, kDiamond) : EngineRef();
        if (diamond && table->isFree(first + i, 1))
            table->put(first + i, new (std::nothrow) LevelObject(diamond.get(), world));
    }
}

void SceneDirector::driveThief(int32_t i, bool nearCar)
{
    AnimTable* clips = m_world->m_levelClips;
    Actor* thief = i == 0 ? m_mainThief : m_companion;
    if (!clips)
        return;
    const auto state = [&](int32_t kind) { return clips->getState(m_specialClips[kind + i]); };
    int32_t k = -1;
    if (nearCar) {
        if (m_carryingDiamond && state(kToCar) != ClipState::PlayingOnce) {
            m_carryingDiamond = 0;
            k = kToCar;
        }
    } else if (!thief->movedLastFrame()) {
        if (state(kIdle) != ClipState::Looping && state(kWaiting) != ClipState::Looping)
            k = m_carryingDiamond ? kWaiting : kIdle;
    } else if (state(kWalk) != ClipState::Looping) {
        k = kWalk;
    }
    if (k < 0)
        return;
    if (k == kIdle || (k == kWalk && !m_carryingDiamond))
        detach(GameUtils::findNamedNode(thief->m_model, kDiamond));
    for (int32_t kind = 0; kind < 2 * kClipKinds; kind += 2)
        clips->stop(m_specialClips[kind + i], true);
    clips->play(m_specialClips[k + i], k != kToCar, 0);
}

void SceneDirector::updateSpecialLevel()
{
    GameProgress* progress = m_world ? m_world->m_progress : nullptr;
    if (progress && !progress->isCuePlaying(DirectorCue::LevelTenMusic))
        progress->playMusic(DirectorCue::LevelTenMusic, true);
    if (!m_mainThief || !m_companion)
        return;
    float car[3] = {};
    if (m_limo)
        m_limo->getPosition(car[0], car[1], car[2]);
    const Actor* thieves[2] = {m_mainThief, m_companion};
    for (int32_t i = 0; i < 2; ++i) {
        float p[3];
        thieves[i]->getPosition(p[0], p[1], p[2]);
        const bool nearCar = m_limo && !m_limo->movedLastFrame() &&
                             GameUtils::length(p[0] - car[0], p[1] - car[1], p[2] - car[2]) < kNearCar;
        driveThief(i, nearCar);
    }
    if (fireCue(m_jingleAt))
        playJingle(DirectorCue::LevelTenJingle);
    if (fireCue(m_jingle2At))
        playJingle(DirectorCue::LevelTenJingle2);
}

int32_t SceneDirector::planIntroTimings(int32_t* start, int32_t* duration, int32_t completedLevels)
{
    const int32_t u = *duration / kUnitDivisor;
    m_timeUnit = u;
    m_mark = -1;
    if (m_world && m_world->m_nextLevel == -1) {
        *duration = kFlightUnitsFirstVisit * u;
        m_jingle2At = 310 * u;
        m_jingleAt = 250 * u;
        m_cameraMark = -1;
        m_startClock = 0;
        return -1;
    }
    *start = 0;
    m_jingleAt = 60 * u;
    m_jingle2At = -1;
    if (completedLevels >= kAllDoneLevels) {
        *duration = kFlightUnitsAllDone * u;
        m_cameraMark = 180 * u;
        m_startClock = 800 * u;
    } else {
        *duration = kFlightUnits * u;
        m_cameraMark = -1;
        m_startClock = 500 * u;
    }
    return -1;
}

void SceneDirector::setupPoliceman()
{
    const EngineRef& scene = m_world->m_sceneSlots[DirectorSlot::Arrest];
    AnimTable* clips = m_world->m_menuClips[kArrestTable];
    if (const EngineRef root = GameUtils::findNamedNode(scene, "policeman_root")) {
        addChild(root, createEngineObject(kIidGroup));
        EngineRef model;
        if (instantiateModel(m_world, model, DirectorResource::PolicemanModel, GameUtils::childAt(root, 0), false, true)) {
            if (const EngineRef shared = loadGroupResource(DirectorResource::PolicemanClips))
                assignAnimationIds(shared, model, 1);
            setupCharacterModel(m_world, model, 2, nullptr);
            if (clips)
                clips->addClipsFrom(model);
        }
    }
    detach(GameUtils::findNamedNode(scene, kDiamond));
}

void SceneDirector::playArrest()
{
    GameWorld* world = m_world;
    if (!world)
        return;
    EngineRef& scene = world->m_sceneSlots[DirectorSlot::Arrest];
    AnimTable* clips = world->m_menuClips[kArrestTable];
    if (!scene)
        m_mark = -1;
    if (m_mark == -1) {
        m_mark = clock();
        // Without its scene the arrest is skipped: the menu moves on at once
        // rather than retrying the load every frame.
        if (!loadWorldSceneSlot(world, DirectorSlot::Arrest, DirectorResource::ArrestScene)) {
            world->onKeyPressed(WorldKey::Select);
            return;
        }
        if (clips)
            clips->bind(&scene, false);
        setShown(scene, false);
    }
    const int32_t e = sinceMark();
    if (m_arrestCuePending) {
        m_arrestCuePending = 0;
        playJingle(DirectorCue::Arrest);
    }
    if (e >= kArrestShowMs) {
        if (!isShown(scene)) {
            m_arrestCuePending = 1;
            setupPoliceman();
            m_waitClip = clipSlot(clips, "idle_wait_man", 1);
        }
        if (e >= kArrestWaitMs && clips && clips->getState(m_waitClip) != ClipState::Looping)
            clips->play(m_waitClip, true, 0);
        setShown(scene, true);
    }
    if (e >= kArrestShowMs && e < kHoldEndMs) {
        animateAt(scene, e - kArrestShowMs);
        animateAt(GameUtils::childAt(GameUtils::findNamedNode(scene, "policeman_root"), 0), clock());
    } else if (e >= kHoldEndMs && e < kArrestSelectMs) {
        animateAt(scene, kArrestHeldFrameMs);
    } else if (e >= kArrestSelectMs) {
        world->onKeyPressed(WorldKey::Select);
    }
}

int32_t SceneDirector::playLockScene()
{
    GameWorld* world = m_world;
    if (!world)
        return ClipState::Finished;
    EngineRef& scene = world->m_sceneSlots[DirectorSlot::Lock];
    AnimTable* clips = world->m_menuClips[kLockTable];
    if (!scene)
        m_mark = -1;
    if (m_mark == -1) {
        // Without its scene there is nothing to watch: the menu closes.
        if (!loadWorldSceneSlot(world, DirectorSlot::Lock, DirectorResource::LockScene)) {
            if (world->m_menu)
                world->m_menu->close();
            return ClipState::Finished;
        }
        m_lockJingleAt = m_removeLock ? kLockJingleUnits * m_timeUnit : -1;
        if (world->m_progress)
            world->m_progress->playMusic(m_removeLock ? DirectorCue::RemoveMusic : DirectorCue::LockMusic, true);
        m_mark = clock();
        if (clips) {
            clips->bind(&scene, true);
            m_removeClip = clipSlot(clips, "remove", 0);
            m_lockClip = clipSlot(clips, "lock", 0);
            clips->stop(m_removeClip, true);
            clips->stop(m_lockClip, true);
            clips->play(m_removeLock ? m_removeClip : m_lockClip, false, 0);
        }
    }
    if (fireCue(m_lockJingleAt))
        playJingle(DirectorCue::LockJingle);
    animateAt(scene, clock());
    // A scene without the clip counts as played through.
    const int32_t played = m_removeLock ? m_removeClip : m_lockClip;
    const int32_t state = clips && played >= 0 ? clips->getState(played) : ClipState::Finished;
    if (state == ClipState::Finished) {
        playJingle(DirectorCue::LockDone);
        if (world->m_menu)
            world->m_menu->close();
    }
    return state;
}

bool SceneDirector::levelMapLockOpen() const
{
    // The last level has no record after it: its lock stays shut.
    const GameProgress* progress = m_world->m_progress;
    const LevelRecord* next = progress ? progress->record(m_world->m_levelIndex + 1) : nullptr;
    return next && next->unlocked;
}

void SceneDirector::showLevelMap()
{
    GameWorld* world = m_world;
    if (!world)
        return;
    EngineRef& scene = world->m_sceneSlots[DirectorSlot::LevelMap];
    AnimTable* clips = world->m_menuClips[kLevelMapTable];
    const bool open = levelMapLockOpen();
    if (m_mark == -1) {
        m_mark = clock();
        m_levelNode.reset();
        m_unlockedNode.reset();
        if (!loadWorldSceneSlot(world, DirectorSlot::LevelMap, DirectorResource::LevelMapScene))
            return;
        if (clips) {
            clips->bind(&scene, true);
            const char* names[4] = {"openlock_start", "openlock_rotate", "closedlock_start", "closedlock_rotate"};
            for (int32_t i = 0; i < 4; ++i) {
                m_mapLockClips[i] = clipSlot(clips, names[i], 0);
                clips->stop(m_mapLockClips[i], true);
            }
            clips->play(m_mapLockClips[open ? 0 : 2], false, 0);
        }
        m_levelNode = GameUtils::findNamedNode(scene, "DummyLevel");
        m_unlockedNode = GameUtils::findNamedNode(scene, "DummyUnlocked");
    }
    if (!scene)
        return;
    const int32_t start = m_mapLockClips[open ? 0 : 2];
    const int32_t rotate = m_mapLockClips[open ? 1 : 3];
    if (clips && sinceMark() > clips->getLength(start) && clips->getState(rotate) == ClipState::Finished)
        clips->play(rotate, true, 0);
    animateAt(scene, clock());
}

void SceneDirector::setupLevelEnd(EngineHandle* group)
{
    GameWorld* world = m_world;
    if (!world)
        return;
    Level* level = world->m_level;
    Player* player = level ? level->m_player : nullptr;
    if (player && player->m_targetPosition)
        return;
    m_hiFiveCount = 0;
    if (const EngineRef camera = GameUtils::childAt(EngineRef::retain(group), 0); camera && level && level->m_camera)
        level->m_camera->useSceneCamera(camera.get());
    m_hiFiveClip = -1;
    GameUtils* utils = world->m_utils;
    const EngineRef boyRoot = utils ? utils->findNode("boy_root") : EngineRef();
    if (player) {
        player->m_animationState = PlayerAnimation::HiFive;
        // Without the spot the player stays where it is.
        if (float* target = new (std::nothrow) float[3]) {
            player->getPosition(target[0], target[1], target[2]);
            if (boyRoot)
                utils->getWorldPosition(boyRoot.get(), target);
            player->m_targetPosition.reset(target);
        }
        if (boyRoot)
            player->setHeading(headingOf(boyRoot) + headingOf(GameUtils::parentOf(boyRoot)));
    }
    const EngineRef girlRoot = utils ? utils->findNode("girl_root") : EngineRef();
    EngineRef companion;
    if (!girlRoot || GameUtils::childCount(girlRoot) != 0 ||
        !instantiateModel(world, companion,
                          world->m_character == 0 ? DirectorResource::GirlModel : DirectorResource::BoyModel, girlRoot,
                          false, true))
        return;
    if (player && player->m_model)
        assignAnimationIds(player->m_model, companion, 1);
    setupCharacterModel(world, companion, world->m_character == 0 ? 1 : 0, nullptr);
    if (world->m_levelClips)
        world->m_levelClips->addClipsFrom(companion);
    detach(GameUtils::findNamedNode(companion, kDiamond));
}

bool SceneDirector::playHiFive()
{
    if (m_hiFiveCount < 2)
        ++m_hiFiveCount;
    AnimTable* clips = m_world ? m_world->m_levelClips : nullptr;
    if (m_hiFiveClip == -1) {
        // A companion without the clip has nothing to wait for.
        m_hiFiveClip = clipSlot(clips, "hi_five", 1);
        if (m_hiFiveClip < 0)
            return true;
        clips->play(m_hiFiveClip, false, 0);
    }
    return !clips || clips->getState(m_hiFiveClip) == ClipState::Finished;
}

void SceneDirector::animateScene(int32_t slot)
{
    markIfUnset();
    if (m_world && slot >= 0 && uint32_t(slot) < GameWorld::kSceneSlotCount)
        animateAt(m_world->m_sceneSlots[slot], clock());
}

bool SceneDirector::hasElapsed(int32_t ms)
{
    markIfUnset();
    return ms >= 0 && sinceMark() > ms;
}

bool SceneDirector::isHoldActive() const
{
    const int32_t e = sinceMark();
    return e > 0 && e < kHoldEndMs;
}

bool SceneDirector::fireCue(int32_t& at)
{
    if (at < 0)
        return false;
    markIfUnset();
    if (sinceMark() <= at)
        return false;
    at = -1;
    return true;
}
