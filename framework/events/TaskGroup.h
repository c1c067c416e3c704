// A task list with an id table of sections, an optional event handler and a
// rate counter: the base of the game's statistics overlay. Sections
// (TaskGroupChild) sample a counter each full frame and hold a flag for a
// while when it reaches their threshold.
#pragma once

#include "framework/events/CallbackHandler.h"
#include "framework/events/TaskList.h"
#include "framework/services/IdHashMap.h"

class TaskGroup;

class TaskGroupChild : public TaskList {
public:
    static constexpr uint32_t kDefaultPeriod = 1000;

    TaskGroupChild();
    TaskGroupChild(uint32_t param1, uint32_t threshold, uint32_t param3, uint32_t period = kDefaultPeriod);

    // Counts the hold timer down by this run's elapsed time, samples in a
    // full frame, then runs its own entries.
    int run(uint32_t amount, const TickInfo& tick) override;
    // ratio = counter / 100 in 16.16; a counter at the threshold arms the hold timer.
    virtual void sample();

    TaskGroup* m_group = nullptr;
    TaskGroupChild* m_parent = nullptr;
    uint32_t m_depth = 0;
    uint32_t m_param1 = 0;
    uint32_t m_threshold = 0;
    uint32_t m_param3 = 0;
    uint32_t m_reserved = 0;
    uint32_t m_counter = 0;
    uint32_t m_lastCounter = 0;
    int32_t m_ratio = 0; // 16.16
    uint32_t m_scale = 100;
    uint32_t m_word = 0;
    uint32_t m_period = kDefaultPeriod;
    int32_t m_holdTimer = 0;
};

// Makes a section for getOrCreateChild; null when it cannot.
using TaskGroupChildFactory = TaskGroupChild* (*)(uint32_t param1, uint32_t param2, uint32_t param3);

struct TaskGroupHistoryEntry {
    uint32_t id;
    TaskGroupChild* section;
};

class TaskGroup : public TaskList {
public:
    TaskGroup();
    ~TaskGroup() override;

    // A full frame measures the rate and runs the entries; a render-only frame
    // calls the per-frame hook when switch A is set, and runs the entries
    // too when switch B is also set.
    int run(uint32_t amount, const TickInfo& tick) override;
    // Subscribes a handler with the callback to the 0-terminated event ids
    // (when both are given), keeps a history of historyLength sections, and
    // sets up the id table. 1 on success, 0 when memory runs out.
    virtual int init(uint32_t bucketHint, HandlerCallback callback, const uint32_t* eventIds,
                     uint32_t nodesPerBlock, bool grow, uint32_t historyLength);
    // Deletes the sections, the history and the handler; safe to repeat.
    virtual void destroy();
    // The derived class's drawing, once per render-only frame.
    virtual void onFrame(uint32_t, const TickInfo&) {}

    // The section filed under id, made (by the factory, else as a plain
    // section) when missing; null when it cannot be made.
    TaskGroupChild* getOrCreateChild(uint32_t id, uint32_t param1, uint32_t param2, uint32_t param3,
                                     TaskGroupChildFactory factory = nullptr);

    IdHashMap m_ids;
    CallbackHandler* m_handler = nullptr;
    TaskGroupChild* m_parentSection = nullptr;
    TaskGroupHistoryEntry* m_history = nullptr;
    uint32_t m_historyLength = 0;
    uint32_t m_startTick = 0;
    int32_t m_rate = 0;            // 16.16 counts per second
    int32_t m_ratePeriod = 0x10000; // 16.16 seconds
    int32_t m_rateTime = 0;        // 16.16 seconds
    uint32_t m_counter = 0;
    uint8_t m_switchA = 0;
    uint8_t m_switchB = 0;
};

// The application's statistics overlay and its switches; nothing happens
// without an overlay.
TaskGroup* getStatsOverlay();
void setStatsOverlaySwitchA(uint8_t on);
void setStatsOverlaySwitchB(uint8_t on);
// 0 without overlay or with switch A clear, 2 with both switches, else 1.
int getStatsOverlayMode();
