// The heads-up display: the black backdrop, the 3D pass that renders the
// world into the display's frame surface, the touch controls and the two
// on-screen buttons, whose rectangles the world's stylus handler tests.
#pragma once

#include <cstdint>

#include "engine/core/interface/MethodTables.h"

class GameWorld;
struct ScreenRect;

class Hud {
public:
    explicit Hud(GameWorld* world) : m_world(world) {}

    void setupSplash(int32_t /*slot*/, int32_t /*kind*/) {}
    void clearEffects(int32_t /*slot*/, int32_t /*remove*/) {}
    void onLoadStep() {}
    void onAbort() {}
    void onFrame() {}
    void onFrameLate() {}
    void update() {}

    void drawBackdrop();
    void beginWorldView(EngineHandle* world);
    void renderWorld(EngineHandle* world);
    void endWorldView();
    // The three above as one pass.
    void drawWorld(EngineHandle* world);
    void prepareProjection() {}
    void drawTargetOutlines() {}
    void drawAlligatorWarning() {}
    void drawTouchControls(bool leftActive, bool rightActive, bool playable, bool highlightLeft, bool highlightRight,
                           bool highlightSelect);
    void drawTopLayer(ScreenRect& left, ScreenRect& right);
    // The camera's perspective at the screen's aspect ratio.
    static void fitCameraAspect(EngineHandle* camera);

    GameWorld* m_world;
    uint8_t m_blink = 0;
    float m_pulse = 0.0f;
    uint8_t m_viewBound = 0;
    // Set when a world view could not be bound or rendered (the engine out of
    // memory, or a world it cannot draw): the world tells it at its next update.
    uint8_t m_viewFailed = 0;
};
