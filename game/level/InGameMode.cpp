// The event-to-world-key table of the in-game mode.
#include "game/level/InGameMode.h"

#include <new>

#include "game/level/GameWorld.h"
#include "game/level/MenuEngine.h"
#include "game/shell/GameApp.h"

namespace {

enum class Edge : uint8_t { Press, Release };

// What an action does: its key, and the key it gives in digit mode (0: the
// same key; -1: nothing outside digit mode).
struct KeyAction {
    uint32_t id;
    Edge edge;
    int8_t key;
    int8_t digitKey;
};

constexpr KeyAction kKeyActions[] = {
    {ActionId::PlayUp, Edge::Press, 17, 0},
    {ActionId::PlayDown, Edge::Press, 18, 0},
    {ActionId::PlayLeft, Edge::Press, 19, 0},
    {ActionId::PlayRight, Edge::Press, 20, 0},
    {ActionId::PlayAction, Edge::Press, 21, 0},
    {ActionId::SoftLeft, Edge::Press, 22, 0},
    {ActionId::PlayMenu, Edge::Press, 23, 0},
    {ActionId::PlayUpReleased, Edge::Release, 17, 0},
    {ActionId::PlayDownReleased, Edge::Release, 18, 0},
    {ActionId::PlayLeftReleased, Edge::Release, 19, 0},
    {ActionId::PlayRightReleased, Edge::Release, 20, 0},
    {ActionId::PlayActionReleased, Edge::Release, 21, 0},
    {ActionId::Digit0 - 0, Edge::Press, 1, 0},
    {ActionId::Digit0 - 1, Edge::Press, 2, 0},
    {ActionId::Digit0 - 2, Edge::Press, 17, 3},
    {ActionId::Digit0 - 3, Edge::Press, 4, 0},
    {ActionId::Digit0 - 4, Edge::Press, 19, 5},
    {ActionId::Digit0 - 5, Edge::Press, -1, 6},
    {ActionId::Digit0 - 6, Edge::Press, 20, 7},
    {ActionId::Digit0 - 7, Edge::Press, 8, 0},
    {ActionId::Digit0 - 8, Edge::Press, 18, 9},
    {ActionId::Digit0 - 9, Edge::Press, 10, 0},
    {ActionId::Digit2Released, Edge::Release, 17, 3},
    {ActionId::Digit4Released, Edge::Release, 19, 5},
    {ActionId::Digit5Released, Edge::Release, 21, 6},
    {ActionId::Digit6Released, Edge::Release, 20, 7},
    {ActionId::Digit8Released, Edge::Release, 18, 9},
};

} // namespace

InGameMode::InGameMode() : m_world(new (std::nothrow) GameWorld()) {}

InGameMode::~InGameMode()
{
    delete m_world;
}

int InGameMode::enter()
{
    GameMode::enter();
    if (m_world) {
        m_world->m_loadStep = 0;
        m_world->m_levelIndex = LevelIndex::Special;
    }
    return 0;
}

void InGameMode::exit()
{
    if (m_world) {
        if (m_world->m_progress) {
            m_world->m_progress->stopMusic();
            m_world->m_progress->stopJingle();
        }
        m_world->abortLevel();
    }
    delete m_world;
    m_world = nullptr;
}

int InGameMode::update(uint32_t ms)
{
    if (!m_world)
        return 1;
    if (!m_world->m_quitRequested)
        m_world->update(int32_t(ms));
    else if (GameApp* app = getGame())
        app->m_quitRequested = 1;
    return 1;
}

int InGameMode::paint()
{
    if (m_world)
        m_world->draw();
    return 1;
}

int InGameMode::handleEvent(uint32_t id, uint32_t /*a*/, uint32_t b)
{
    for (const KeyAction& action : kKeyActions) {
        if (action.id != id)
            continue;
        const int32_t key = m_world && m_world->m_cheatsEnabled && action.digitKey ? action.digitKey : action.key;
        if (!m_world || key < 0)
            return 1;
        if (action.edge == Edge::Press)
            m_world->onKeyPressed(key);
        else
            m_world->onKeyReleased(key);
        return 1;
    }
    switch (id) {
    case ActionId::PlayQuit:
        if (m_world)
            m_world->m_quitRequested = 1;
        return 1;
    case kLevelMenuRequestId:
        if (m_world && m_world->m_level && m_world->m_levelIndex != LevelIndex::Hideout
            && m_world->m_levelIndex != LevelIndex::Special && m_world->m_menu && !m_world->m_menu->isOpen())
            m_world->onKeyPressed(WorldKey::SoftRight);
        return 1;
    case PointerEventId::StylusDown:
    case PointerEventId::StylusMove:
    case PointerEventId::WidgetPress:
    case PointerEventId::WidgetMove: {
        const bool widget = id == PointerEventId::WidgetPress || id == PointerEventId::WidgetMove;
        const int32_t x = int32_t(widget ? b & 0x3fff : b & 0xffff);
        const int32_t y = int32_t(widget ? (b >> 14) & 0x3fff : b >> 16);
        if (m_world && (id == PointerEventId::StylusDown || id == PointerEventId::WidgetPress))
            m_world->onPointerPressed(x, y);
        else if (m_world)
            m_world->onPointerMoved(x, y);
        return 1;
    }
    case PointerEventId::StylusUp:
    case PointerEventId::WidgetRelease:
        if (m_world)
            m_world->onPointerReleased();
        return 1;
    case PlatformEventId::ScreenSizeSettled:
        if (m_world)
            m_world->onScreenSizeChanged();
        return 1;
    case EventId::Resume:
    case InputEventId::InputWipe:
    case InputEventId::InputWipeAgain:
        // The input was let go of (a pause, the focus away): what was held
        // through it sends no release of its own.
        if (m_world)
            m_world->releaseHeldInput();
        return 0;
    default:
        return 0;
    }
}
