// The world's staged loading, frame step, drawing and input routing.
#include "game/level/GameWorld.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameUtils.h"
#include "game/level/Hud.h"
#include "game/level/Level.h"
#include "game/level/LevelObjects.h"
#include "game/level/MenuEngine.h"
#include "game/level/SceneDirector.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/shell/GameApp.h"
#include "game/shell/GameClock.h"
#include "game/shell/Graphics3DService.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"

namespace {

constexpr int32_t kLoadSteps = 10;
constexpr int32_t kBlinkPeriodMs = 300;
constexpr int32_t kBlinkOnAfterMs = 150;
constexpr float kDegreesToRadians = 0.0174533f;
constexpr int32_t kSpinSlowdown = 30;
constexpr int32_t kViewSlowdown = 2;
constexpr int32_t kSoftkeyStripHeight = 20;
constexpr int32_t kHudEffectSlots[2] = {1, 2};
constexpr int32_t kHideoutMusic = 0x09000298;
constexpr uint32_t kGameCompleteScreen = 0x21ff0291;
constexpr char kFinalCamera[] = "final_cam";

template <typename T, typename... Args>
T* make(Args... args)
{
    return new (std::nothrow) T(args...);
}

bool nodeEnabled(const LevelObject* object)
{
    uint8_t enabled = 0;
    if (object && object->m_node)
        tableOf<IkwNodeTable>(object->m_node.get()).isRenderingEnabled(object->m_node.get(), &enabled);
    return enabled != 0;
}

} // namespace

const char* const GameWorld::kPropertyKeys[kPropertyKeyCount] = {
    "radius",   "rotSpeed", "followSpeed", "pitchSpeed", "zfar",     "speed",      "path",
    "switcher", "active",   "visible",     "animate",    "fora",     "landing",    "text",
    "radius",   "movable",  "interact",    "visible_for_camera",     "mode",       "camera",
    "slowdown", "catchDist", "sky",        "sound",      "sound2",   "sound3",     "soundRadius",
    "win",      "side",     "fallTime",    "catch",      "path",     "effect",     "undo",
    "speed",    "a",        "height",      "ropeSpeed",  "path_entity", "roll",    "power_up",
    "diamond",  "grab_target", "rope",     "log",        "spring",   "ladder",     "sky",
    "dog",      "old_lady", "sand",        "water",      "tube",     "wall_run",
};

GameWorld::GameWorld()
{
    m_inputSettings = make<InputSettings>();
    m_utils = make<GameUtils>(this);
    m_kindTests = make<ObjectKindTests>();
    m_hud = make<Hud>(this);
    m_menu = make<MenuEngine>(this);
    m_progress = make<GameProgress>(static_cast<ProgressWorld*>(this));
    m_director = make<SceneDirector>(this);
    if (m_menu) {
        m_menu->createAnimTables();
        m_menu->setState(ScreenId::Loading, 0, 0);
    }
}

GameWorld::~GameWorld()
{
    // The level's objects reach the HUD and the utilities while they go.
    deleteField(m_level);
    deleteField(m_hud);
    deleteField(m_utils);
    deleteField(m_menu);
    deleteField(m_levelClips);
    // The level and the menus call into these to their end.
    deleteField(m_director);
    deleteField(m_progress);
    deleteField(m_inputSettings);
    deleteField(m_kindTests);
    m_menuScene.reset();
    for (uint32_t slot = kSceneSlotCount; slot-- > 0;)
        m_sceneSlots[slot].reset();
    m_world.reset();
}

bool GameWorld::menuOpen() const
{
    return m_menu && m_menu->isOpen();
}

int32_t GameWorld::loadStep()
{
    if (m_loadStep == -1)
        return 100;
    int32_t error = LevelError::None;
    Level* level = m_level;
    switch (m_loadStep) {
    case 0:
        // A load over a running level ends that level first.
        deleteField(m_level);
        m_level = new (std::nothrow) Level(this, error);
        if (!m_level && error < 0)
            error = LevelError::MissingScene;
        break;
    case 1:
        // Bound, not collected: the level's own clips run on the engine's
        // time, and only the clips the game adds are the table's to play;
        // the models it adds lose their marked tracks.
        if (!m_levelClips)
            m_levelClips = make<AnimTable>(this);
        if (m_levelClips) {
            m_levelClips->m_switchOffAtEnd = 1;
            m_levelClips->m_removeMarkedTracks = 1;
            m_levelClips->bind(&m_world, false);
        }
        break;
    case 2:
        if (level)
            level->loadExtraScenes(error);
        break;
    case 3:
        if (m_levelIndex < LevelIndex::Hideout && m_hud) {
            m_hud->setupSplash(kHudEffectSlots[0], 1);
            m_hud->setupSplash(kHudEffectSlots[1], 2);
            m_hud->onLoadStep();
        }
        if (level)
            level->createObjectGroups();
        break;
    case 4:
        if (level)
            level->spawnObjects(m_world.get());
        break;
    case 5:
        if (level)
            level->createNamedGroups();
        break;
    case 6:
        if (level)
            level->createPlayer(error);
        break;
    case 7:
        m_lastClock = m_clock;
        if (level) {
            level->createCamera(error);
            level->createEvents(error);
        }
        break;
    case 8:
        if (menuOpen())
            m_menu->close();
        if (level)
            level->initObjects();
        break;
    default:
        finishLoad();
        return 100;
    }
    if (error >= 0) {
        if (m_menu)
            m_menu->setState(ScreenId::LoadError, error, 0);
        abortLevel();
        m_loadStep = -1;
        return 100;
    }
    ++m_loadStep;
    return m_loadStep * 100 / kLoadSteps;
}

void GameWorld::finishLoad()
{
    const bool hideout = m_levelIndex == LevelIndex::Hideout;
    if (hideout) {
        if (m_progress)
            m_progress->m_chaseGrace = GameProgress::kGraceMs;
        const LevelEvent* start = m_level ? m_level->findEvent(m_nextLevel + 2, LevelEventKind::Checkpoint) : nullptr;
        if (start)
            LevelEvent::applyCheckpoint(start, m_level->m_player);
    }
    // The hideout and level ten start where the director's opening scene does.
    m_clock = m_lastClock = m_levelIndex >= LevelIndex::Hideout && m_director ? m_director->m_startClock : 0;
    m_loadStep = -1;
    if (hideout && m_progress) {
        if (m_progress->isGameComplete() && m_menu)
            m_menu->setState(kGameCompleteScreen, 0, 0);
        m_progress->playMusic(kHideoutMusic, true);
    }
}

bool GameWorld::isTimeFrozen() const
{
    if (menuOpen())
        return true;
    const Player* player = m_level ? m_level->m_player : nullptr;
    if (!player || m_levelIndex >= LevelIndex::Hideout)
        return false;
    return player->m_stateFlag != 0 || player->m_heldTarget;
}

int32_t GameWorld::getLevelTime() const
{
    return isTimeFrozen() ? m_lastClock : m_clock;
}

PlayerChase* GameWorld::playerChase()
{
    return m_level && m_level->m_player ? &m_level->m_player->m_chase : nullptr;
}

void GameWorld::playerPath(float& distance, float& length)
{
    // The scenes carry no level path yet.
    distance = length = 0.0f;
}

bool GameWorld::setupLevelEnd()
{
    EngineRef group = m_utils ? m_utils->findNode(kFinalCamera) : EngineRef();
    if (!group || !m_director)
        return false;
    m_director->setupLevelEnd(group.get());
    return true;
}

void GameWorld::openMenuScreen(uint32_t screenId, int32_t selection, int32_t push)
{
    if (m_menu)
        m_menu->setState(screenId, selection, push);
}

WideString* GameWorld::menuTextLine(uint32_t n)
{
    return m_menu && n < MenuEngine::kTextLines ? &m_menu->m_textLines[n].edit() : nullptr;
}

int32_t GameWorld::menuOptionValue(uint32_t item)
{
    return m_menu ? m_menu->getOptionValue(int32_t(item)) : 0;
}

void GameWorld::update(int32_t elapsedMs)
{
    if (m_progress)
        m_progress->updateAudio();
    if (m_hud) {
        m_hud->m_blink = m_clock % kBlinkPeriodMs > kBlinkOnAfterMs ? 1 : 0;
        m_hud->m_pulse = std::cos(float(m_clock / 2) * kDegreesToRadians);
    }
    if (checkLevelEnd() || tellDrawFailure())
        return;
    if (isLoading()) {
        loadStep();
        return;
    }
    int32_t step = std::clamp(elapsedMs, 0, kMaxStepMs);
    if (m_level && !menuOpen()) {
        if (!isTimeFrozen()) {
            if (clockSince(m_clock, m_lastClock) > kMaxStepMs)
                m_clock = m_lastClock;
            m_lastClock = m_clock;
        }
        const LevelCamera* camera = m_level->m_camera;
        const bool spinning = camera && camera->isSpinning();
        if (spinning || (camera && camera->isTimedViewActive()) || nodeEnabled(m_level->m_ground))
            step = std::max(step / (spinning ? kSpinSlowdown : kViewSlowdown), 1);
        m_clock = clockAdd(m_clock, step);
        if (m_levelClips)
            m_levelClips->update(m_clock, step);
        m_level->update(m_clock, step);
        if (m_hud) {
            m_hud->update();
            m_hud->onFrame();
            m_hud->onFrameLate();
        }
        m_level->postUpdate();
        return;
    }
    m_clock = clockAdd(m_clock, step);
    if (m_menu)
        m_menu->update(step);
    if (m_menuClips[0])
        m_menuClips[0]->update(m_clock, step);
    if (m_menu)
        m_menu->updateScreenTimers();
    if (m_hud)
        m_hud->onFrame();
}

void GameWorld::draw()
{
    if (!isLoading() && m_hud) {
        const bool playing = m_level && !menuOpen();
        if (playing || (m_menu && m_menu->isBackgroundSettled())) {
            if (playing)
                m_hud->drawBackdrop();
            // A world view needs a world; without one the backdrop stays.
            if (m_world)
                m_hud->drawWorld(m_world.get());
            if (playing)
                m_hud->prepareProjection();
            m_hud->drawTargetOutlines();
            m_hud->drawAlligatorWarning();
        }
        if (playing) {
            const Player* player = m_level->m_player;
            const bool arrows = m_levelIndex < LevelIndex::Hideout ? !player || player->m_singleAction == 0
                                                                  : m_levelIndex == LevelIndex::Hideout;
            const GameApp* app = getGame();
            if (m_levelIndex != LevelIndex::Special && app && app->m_touchAndKey)
                m_hud->drawTouchControls(arrows, arrows, m_levelIndex < LevelIndex::Hideout,
                                         m_stylusKey == WorldKey::Left, m_stylusKey == WorldKey::Right,
                                         m_stylusKey == WorldKey::Select);
            m_hud->drawTopLayer(m_leftButton, m_rightButton);
            return;
        }
        if (m_menu && m_menu->isBackgroundSettled()) {
            m_hud->drawTopLayer(m_leftButton, m_rightButton);
            m_menu->drawBackground3D();
        }
    }
    if (m_menu)
        m_menu->paint();
}

void GameWorld::onKeyPressed(int32_t key)
{
    if (isLoading())
        return;
    if (m_level && !menuOpen())
        m_level->onKeyPressed(key);
    else if (m_menu)
        m_menu->onKeyPressed(key);
}

void GameWorld::onKeyReleased(int32_t key)
{
    if (!isLoading() && m_level && !menuOpen())
        m_level->onKeyReleased(key);
}

void GameWorld::levelKey(int32_t key)
{
    if (m_level) {
        m_level->onKeyPressed(key);
        m_stylusKey = key;
    }
}

void GameWorld::onPointerPressed(int32_t x, int32_t y)
{
    if (isLoading())
        return;
    if (m_levelIndex == LevelIndex::Special) {
        // Not remembered: the special level has no use for the release.
        if (m_level && !menuOpen())
            m_level->onKeyPressed(WorldKey::Select);
        else if (m_menu)
            m_menu->onKeyPressed(WorldKey::Select);
        return;
    }
    const int32_t w = getScreenWidth();
    const int32_t h = getScreenHeight();
    if (y > h - kSoftkeyStripHeight) {
        const GameApp* app = getGame();
        for (int i = 0; app && i < 4; ++i) {
            const int32_t p = app->m_softkeyX[i];
            if (p >= 0 && x >= p && x <= p + w / 4) {
                onKeyPressed(i % 2 == 0 ? WorldKey::SoftLeft : WorldKey::SoftRight);
                return;
            }
        }
        if (x < w / 4) {
            onKeyPressed(WorldKey::SoftLeft);
            return;
        }
        if (x > 3 * w / 4) {
            onKeyPressed(WorldKey::SoftRight);
            return;
        }
    }
    if (m_level && (m_leftButton.containsPoint(x, y) || m_rightButton.containsPoint(x, y))) {
        m_level->onKeyPressed(m_leftButton.containsPoint(x, y) ? WorldKey::Left : WorldKey::Right);
        return;
    }
    if (m_level && !menuOpen()) {
        const Player* player = m_level->m_player;
        if (!player)
            return;
        int32_t key = WorldKey::Select;
        if (player->m_singleAction == 0 || m_levelIndex == LevelIndex::Hideout)
            key = x > 2 * w / 3 ? WorldKey::Right : x <= w / 3 ? WorldKey::Left : WorldKey::Select;
        levelKey(key);
        return;
    }
    if (m_menu)
        m_menu->onPointerPressed(x, y);
}

void GameWorld::onPointerMoved(int32_t x, int32_t y)
{
    if (isLoading() || (m_level && !menuOpen()))
        return;
    if (m_menu)
        m_menu->onPointerMoved(x, y);
}

void GameWorld::onPointerReleased()
{
    if (m_stylusKey == -1)
        return;
    if (m_level)
        m_level->onKeyReleased(m_stylusKey);
    m_stylusKey = -1;
}

void GameWorld::releaseHeldInput()
{
    onPointerReleased();
    // From a copy, lowest key first: each release clears its own bit.
    for (uint32_t held = m_level ? m_level->m_keysHeld : 0; held != 0; held &= held - 1)
        m_level->onKeyReleased(std::countr_zero(held));
}

void GameWorld::onScreenSizeChanged()
{
    if (!m_hud)
        return;
    if (m_level) {
        if (m_level->m_camera)
            m_level->m_camera->restoreProjection();
        const int32_t slots[3] = {int32_t(kCameraFitSlot), m_menu ? m_menu->m_screenSlots[0] : -1,
                                  m_menu ? m_menu->m_screenSlots[1] : -1};
        for (int32_t slot : slots) {
            if (slot >= 0 && slot < int32_t(kSceneSlotCount) && m_sceneSlots[slot])
                if (EngineRef camera = activeCamera(m_sceneSlots[slot].get()))
                    m_hud->fitCameraAspect(camera.get());
        }
    } else if (menuOpen() && m_menuScene) {
        if (EngineRef camera = activeCamera(m_menuScene.get()))
            m_hud->fitCameraAspect(camera.get());
    }
}

bool GameWorld::tellDrawFailure()
{
    // A frame that could not draw its world ends the level on the screen of
    // a level that could not be loaded, never a black view without a word.
    if (!m_hud || !m_hud->m_viewFailed)
        return false;
    m_hud->m_viewFailed = 0;
    abortLevel();
    openMenuScreen(ScreenId::LoadError, LevelError::DrawFailed, 0);
    return true;
}

void GameWorld::abortLevel()
{
    if (m_inputSettings)
        m_inputSettings->m_speedMode = 0;
    m_levelIndex = kNoLevel;
    if (m_hud) {
        for (int32_t slot : kHudEffectSlots)
            m_hud->clearEffects(slot, 1);
        m_hud->onAbort();
    }
    deleteField(m_level);
    deleteField(m_levelClips);
}

void GameWorld::toHideout()
{
    m_levelIndex = LevelIndex::Hideout;
    m_loadStep = 0;
    if (m_inputSettings)
        m_inputSettings->m_speedMode = 1;
}

int GameWorld::checkLevelEnd()
{
    if (!m_levelEndRequested)
        return 0;
    m_levelEndRequested = 0;
    const int32_t level = m_levelIndex;
    if (level == LevelIndex::Special) {
        abortLevel();
        if (m_nextLevel == -1) {
            if (m_menu) {
                m_menu->setState(ScreenId::SpecialDone, 0, 0);
                m_menu->m_background.resetAfterLevel();
            }
        } else {
            toHideout();
        }
    } else if (level == LevelIndex::Hideout) {
        abortLevel();
        m_levelIndex = m_nextLevel;
        m_loadStep = 0;
        if (m_menu)
            m_menu->setState(ScreenId::Loading, 0, 0);
        if (m_progress)
            m_progress->prepareAttempt(m_nextLevel);
    } else {
        // Recorded while the level is still the world's.
        if (m_progress)
            m_progress->recordLevelEnd();
        m_nextLevel = level;
        const LevelRecord* record = m_progress ? m_progress->record(level) : nullptr;
        const bool levelTen = record && record->completions > 0 && m_menu && m_menu->m_specialLevelRequest;
        abortLevel();
        if (levelTen) {
            m_levelIndex = LevelIndex::Special;
            m_loadStep = 0;
            m_menu->m_specialLevelRequest = 0;
            m_menu->setState(ScreenId::Loading, 0, 0);
        } else {
            toHideout();
        }
    }
    return 1;
}

