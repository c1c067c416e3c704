// Application double for framework tests: the framework part of the game's
// application (registry, dispatcher with its event router) and hooks where
// the game would drive the frame ticker.
#pragma once

#include <cstdint>
#include <functional>

#include "framework/services/AppBase.h"

class FrameTicker;

class TestApp : public AppBase {
public:
    // Starts the framework at once; started() tells whether it worked.
    TestApp();
    ~TestApp() override;

    void frame() override;
    // Delivers the event, then hands lifecycle events to onLifecycle.
    void dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2) override;

    bool started() const { return m_started; }
    // A ticker on the given clock, made the application's, driven by the
    // lifecycle events and started; null when it cannot start.
    FrameTicker* startTicker(uint32_t (*clock)());

    std::function<void()> onFrame;
    // Called with EventId::Start, End, Pause or Resume after delivery.
    std::function<void(uint32_t eventId)> onLifecycle;

private:
    bool m_started = false;
};
