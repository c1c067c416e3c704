// The menu engine as the world sees it: which screen is open with which
// selection, opened and closed by the world and the level.
#pragma once

#include <cstdint>

#include "game/level/MenuBackground.h"
#include "game/shell/TextRun.h"

class GameWorld;
struct TextColumn;

// Screens whose 3D scenes play clips of the menu tables.
namespace MenuScreen {
constexpr uint32_t LevelMap = 0x21ff0133;
constexpr uint32_t LockScene = 0x21ff01f0;
constexpr uint32_t Arrest = 0x21ff01d0;
} // namespace MenuScreen

namespace MenuLimit {
constexpr int32_t Items = 4;
constexpr int32_t OptionValues = 7;
constexpr int32_t ClipTables = 4;
} // namespace MenuLimit

class MenuEngine {
public:
    explicit MenuEngine(GameWorld* world) : m_world(world) {}
    ~MenuEngine() { release(); }
    MenuEngine(const MenuEngine&) = delete;
    MenuEngine& operator=(const MenuEngine&) = delete;
    // Gives the world's menu clip tables back.
    void release();

    // Opens the screen with the item selected.
    void setState(uint32_t screenId, int32_t selection, int32_t push);
    bool isOpen() const { return m_open != 0; }
    void close() { m_open = 0; }
    uint32_t getScreenNameId() const { return m_screenId; }
    int32_t selection() const { return m_selection; }

    // The item's option value (0-6); 0 outside the items.
    int32_t getOptionValue(int32_t item) const;
    // The world's four menu clip tables, bound to the scenes they play; the
    // menu background's holds its clips' last poses.
    void createAnimTables();

    // Runs the clip table of the open 3D screen while its scene is loaded.
    void update(int32_t step);
    void updateScreenTimers() {}
    // Up and down pick an item, left and right its option; select and the
    // soft keys close the screen.
    void onKeyPressed(int32_t key);
    // A tap confirms, as select does.
    void onPointerPressed(int32_t x, int32_t y);
    void onPointerMoved(int32_t /*x*/, int32_t /*y*/) {}
    void onPointerReleased() {}
    bool isBackgroundSettled() const { return m_background.m_settled != 0; }
    // The open screen's own 3D scene through the HUD's 3D pass, when loaded.
    void drawBackground3D();
    // The open screen's name and its items with their option values, the
    // selected one marked; a failed load's screen shows its error instead.
    void paint();

    static constexpr uint32_t kTextLines = 5;

    GameWorld* m_world;
    uint8_t m_specialLevelRequest = 0;
    // The lines the progress fills for result and option screens.
    TextLines m_textLines[kTextLines];
    // Scene slots of the 3D screens; -1 for none.
    int32_t m_screenSlots[2] = {-1, -1};
    int32_t m_lastKey = -1;
    MenuBackground m_background;

private:
    // The menu clip table of the open screen's 3D scene; 0 for none.
    int32_t sceneTable() const;
    // A failed load's screen has no items: its selection is the error.
    bool hasItems() const;
    int32_t paintLoadError(const TextColumn& column, int32_t y);

    uint32_t m_screenId = 0;
    int32_t m_selection = 0;
    uint8_t m_open = 0;
    int32_t m_options[MenuLimit::Items] = {};
    TextLines m_title;
    TextLines m_errorWord;
    TextLines m_errorLine;  // the word and the error's number
    int32_t m_errorShown = -1;
};
