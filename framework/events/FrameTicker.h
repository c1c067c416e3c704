// Measures the time between frames and runs each frame: the timed tasks, the
// game's update and its render. The platform calls frame() once per timer
// message; the lifecycle events map to start, stop, pause and resume.
#pragma once

#include "framework/events/Listener.h"
#include "framework/events/TaskIds.h"
#include "framework/util/Clock.h"

class TaskList;

namespace TickerMode {
constexpr uint32_t Running = 0;
constexpr uint32_t Starting = 1;
constexpr uint32_t Stopping = 2;
constexpr uint32_t Pausing = 3;
constexpr uint32_t Resuming = 4;
} // namespace TickerMode

namespace TickerPhase {
constexpr uint32_t Full = 0;       // measure, update and render are due
constexpr uint32_t RenderOnly = 1; // the update is done, the render remains
} // namespace TickerPhase

// The game side of a frame, called by the ticker's tick in this order: the
// task list, update, render.
class TickClient {
public:
    virtual ~TickClient() = default;
    virtual void update() = 0;
    virtual void render() = 0;
    // The application's no-drawing flag.
    virtual bool isDrawingSuspended() { return false; }
};

class FrameTicker : public Prioritized {
public:
    static constexpr uint32_t kMaxStepMs = 1000;

    FrameTicker();
    ~FrameTicker() override;

    // Creates the task list with its two standard groups; 0 without memory.
    virtual int init();
    // Deletes the groups and the task list; safe to call more than once.
    virtual void shutdown();
    // One timer message: measures the step when a full frame is due, then ticks.
    virtual void frame();
    virtual void start();
    virtual void stop();
    virtual void pause();
    virtual void resume();
    // The game's tick: with mode Running, in phase Full runs the task list and
    // the client's update and moves to RenderOnly; in RenderOnly renders
    // (unless drawing is suspended) and moves back to Full.
    virtual void onTick();
    virtual void setPhase(uint32_t phase) { m_phase = phase; }
    virtual void setMode(uint32_t mode) { m_mode = mode; }

    // Milliseconds from the ticker's clock: the injected one, else the
    // framework's tick clock.
    void setClock(TickClock clock) { m_clock = clock; }
    uint32_t now() const;

    void setClient(TickClient* client) { m_client = client; }

    uint32_t getLastTick() const { return m_lastTick; }
    uint32_t markTick();

    TickInfo tickInfo();
    TaskList* taskList() const { return m_taskList; }
    // The group filed under key in the task list, or null.
    TaskList* findGroup(uint32_t key) const;

    uint32_t m_phase = TickerPhase::Full;
    uint32_t m_mode = TickerMode::Starting;
    TaskList* m_taskList = nullptr;
    uint8_t m_flag = 0;
    uint32_t m_maxStepMs = kMaxStepMs;
    int32_t m_stepMs = 0;
    int32_t m_stepSeconds = 0; // 16.16
    uint32_t m_lastTick = 0;

private:
    TickClock m_clock = nullptr;
    TickClient* m_client = nullptr;
};

// The frame ticker of the running application, or null.
FrameTicker* getFrameTicker();
// A new ticker, or null when memory runs out; GameApp keeps and inits it.
FrameTicker* createFrameTicker();
// After the event was delivered, the application's dispatch hands the
// lifecycle events to the ticker: start, end (stop), pause and resume.
void driveFrameTicker(FrameTicker* ticker, uint32_t eventId);
