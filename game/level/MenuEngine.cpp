// Screen changes, keys and taps of the menu engine, and the clip tables of
// its 3D screens.
#include "game/level/MenuEngine.h"

#include <new>

#include "framework/util/Format.h"
#include "game/level/GameWorld.h"
#include "game/level/Hud.h"
#include "game/level/SceneDirector.h"
#include "game/shell/AnimTable.h"
#include "game/shell/Graphics3DService.h"
#include "game/shell/ShellIds.h"
#include "game/ui/FrontEndModes.h"
#include "game/ui/UiDrawing.h"
#include "gfx2d/drawcontext/DrawContext.h"

namespace {

// The scene slot each menu clip table plays, by table; the first plays the
// menu background's own scene.
constexpr int32_t kTableSlots[MenuLimit::ClipTables] = {-1, DirectorSlot::LevelMap, DirectorSlot::Lock,
                                                        DirectorSlot::Arrest};
constexpr uint32_t kTableScreens[MenuLimit::ClipTables] = {0, MenuScreen::LevelMap, MenuScreen::LockScene,
                                                           MenuScreen::Arrest};
// An item's row: its option bar stands inside the selection mark.
constexpr int32_t kItemHeight = 9;
constexpr int32_t kOptionBarHeight = 5;
// What a failed load's screen says when the pack has no words for it.
constexpr char16_t kLoadFailed[] = u"The level could not be loaded.";
constexpr char16_t kError[] = u"Error";

} // namespace

void MenuEngine::setState(uint32_t screenId, int32_t selection, int32_t /*push*/)
{
    m_screenId = screenId;
    m_selection = selection;
    m_open = 1;
    // A new screen restarts the director's scene; the lock scene closes the
    // lock again on a level already completed.
    SceneDirector* director = m_world ? m_world->m_director : nullptr;
    if (!director)
        return;
    director->m_mark = -1;
    director->m_removeLock = 1;
    if (screenId == MenuScreen::LockScene && m_world->m_level && m_world->m_progress) {
        const LevelRecord* record = m_world->m_progress->record(m_world->m_levelIndex);
        director->m_removeLock = record && record->completed ? 0 : 1;
    }
}

void MenuEngine::release()
{
    if (!m_world)
        return;
    for (AnimTable*& table : m_world->m_menuClips) {
        delete table;
        table = nullptr;
    }
}

int32_t MenuEngine::getOptionValue(int32_t item) const
{
    return uint32_t(item) < uint32_t(MenuLimit::Items) ? m_options[item] : 0;
}

void MenuEngine::createAnimTables()
{
    if (!m_world)
        return;
    for (int32_t i = 0; i < MenuLimit::ClipTables; ++i) {
        AnimTable*& table = m_world->m_menuClips[i];
        if (!table)
            table = new (std::nothrow) AnimTable(m_world);
        if (!table)
            continue;
        table->m_switchOffAtEnd = i == 0 ? 0 : 1;
        // Bound to the holders; the clips are collected when a scene loads.
        table->bind(i == 0 ? &m_world->m_menuScene : &m_world->m_sceneSlots[kTableSlots[i]], false);
    }
}

int32_t MenuEngine::sceneTable() const
{
    for (int32_t i = 1; i < MenuLimit::ClipTables; ++i)
        if (m_screenId == kTableScreens[i])
            return i;
    return 0;
}

void MenuEngine::update(int32_t step)
{
    if (!m_world || !isOpen())
        return;
    if (m_world->m_progress)
        m_world->m_progress->emptyUpdateHook();
    // The clips first, so the director's scenes show them at this clock.
    if (const int32_t i = sceneTable(); i > 0 && m_world->m_sceneSlots[kTableSlots[i]] && m_world->m_menuClips[i])
        m_world->m_menuClips[i]->update(m_world->getClock(), step);
    SceneDirector* director = m_world->m_director;
    if (!director)
        return;
    if (m_screenId == MenuScreen::Arrest)
        director->playArrest();
    else if (m_screenId == MenuScreen::LockScene)
        director->playLockScene();
    else if (m_screenId == MenuScreen::LevelMap)
        director->showLevelMap();
}

void MenuEngine::paint()
{
    const int32_t width = getScreenWidth();
    const int32_t height = getScreenHeight();
    if (!isOpen() || width <= 0 || height <= 0)
        return;
    // Without its settled 3D scene behind it the screen would keep the last
    // frame; a screen's own scene may not fill it.
    if (!isBackgroundSettled()) {
        fillRect(0, 0, width, height, UiColour::Black, DrawMode::Rectangles);
        drawBackground3D();
    }
    const TextColumn column{kUiInset, width - kUiInset};
    m_title.showId(m_screenId, hasItems() ? nullptr : kLoadFailed);
    int32_t y = drawLines(m_title, uiFont(UiFont::Title), column, kUiInset, TextAlign::Centre) + kUiInset;
    if (!hasItems())
        y = paintLoadError(column, y);
    for (int32_t i = 0; hasItems() && i < MenuLimit::Items; ++i, y += kItemHeight) {
        if (i == m_selection)
            fillRect(column.left, y, column.right, y + kItemHeight, UiColour::Selection, DrawMode::Rectangles);
        drawProgressBar(column.left + kUiInset, y + (kItemHeight - kOptionBarHeight) / 2,
                        column.width() - 2 * kUiInset, kOptionBarHeight,
                        uint32_t(m_options[i]), MenuLimit::OptionValues - 1);
    }
    // The lines the progress fills (results, totals) under the items.
    for (TextLines& line : m_textLines)
        if (line.text().length())
            y = drawLines(line, uiFont(UiFont::Body), column, y, TextAlign::Centre);
}

bool MenuEngine::hasItems() const
{
    return m_screenId != ScreenId::LoadError;
}

int32_t MenuEngine::paintLoadError(const TextColumn& column, int32_t y)
{
    if (m_errorWord.showId(FrontEndText::ErrorTitle, kError) || m_errorShown != m_selection) {
        char16_t number[16];
        formatWide(number, u" %i", m_selection);
        WideString& line = m_errorLine.edit();
        line.clear();
        line.append(m_errorWord.text().chars());
        line.append(number);
        m_errorShown = m_selection;
    }
    return drawLines(m_errorLine, uiFont(UiFont::Body), column, y, TextAlign::Centre);
}

void MenuEngine::drawBackground3D()
{
    const int32_t i = isOpen() && m_world ? sceneTable() : 0;
    Hud* hud = i > 0 ? m_world->m_hud : nullptr;
    EngineHandle* scene = hud ? m_world->m_sceneSlots[kTableSlots[i]].get() : nullptr;
    if (!scene)
        return;
    hud->drawWorld(scene);
}

void MenuEngine::onKeyPressed(int32_t key)
{
    m_lastKey = key;
    // Without items the arrows have nothing to choose.
    const bool arrow = key == WorldKey::Up || key == WorldKey::Down || key == WorldKey::Left || key == WorldKey::Right;
    if (!isOpen() || (arrow && !hasItems()))
        return;
    switch (key) {
    case WorldKey::Up:
        if (m_selection > 0)
            --m_selection;
        break;
    case WorldKey::Down:
        if (m_selection < MenuLimit::Items - 1)
            ++m_selection;
        break;
    case WorldKey::Left:
    case WorldKey::Right:
        if (uint32_t(m_selection) < uint32_t(MenuLimit::Items)) {
            int32_t& value = m_options[m_selection];
            value = key == WorldKey::Left ? (value > 0 ? value - 1 : 0)
                                          : (value < MenuLimit::OptionValues - 1 ? value + 1 : value);
        }
        break;
    case WorldKey::Select:
    case WorldKey::SoftLeft:
    case WorldKey::SoftRight:
        close();
        break;
    default:
        break;
    }
}

void MenuEngine::onPointerPressed(int32_t /*x*/, int32_t /*y*/)
{
    onKeyPressed(WorldKey::Select);
}
