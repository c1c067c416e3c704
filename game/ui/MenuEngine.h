// The menu engine as the world sees it: which screen is open with which
// selection, opened and closed by the world and the level.
#pragma once

#include <cstdint>

class GameWorld;

class MenuEngine {
public:
    explicit MenuEngine(GameWorld* world) : m_world(world) {}

    // Opens the screen with the item selected.
    void setState(uint32_t screenId, int32_t selection, int32_t push);
    bool isOpen() const { return m_open != 0; }
    void close() { m_open = 0; }
    uint32_t getScreenNameId() const { return m_screenId; }
    int32_t selection() const { return m_selection; }

    void update(int32_t /*step*/) {}
    void updateScreenTimers() {}
    void onKeyPressed(int32_t key) { m_lastKey = key; }
    void onPointerPressed(int32_t /*x*/, int32_t /*y*/) {}
    void onPointerMoved(int32_t /*x*/, int32_t /*y*/) {}
    void onPointerReleased() {}
    bool isBackgroundSettled() const { return false; }
    void drawBackground3D() {}
    void paint() {}

    GameWorld* m_world;
    uint8_t m_specialLevelRequest = 0;
    // Scene slots of the 3D screens; -1 for none.
    int32_t m_screenSlots[2] = {-1, -1};
    int32_t m_lastKey = -1;

private:
    uint32_t m_screenId = 0;
    int32_t m_selection = 0;
    uint8_t m_open = 0;
};
