// Task groups with sections, and the statistics-overlay switches.
#include "framework/events/TaskGroup.h"

#include "framework/events/EventIdCounter.h"
#include "framework/events/FrameTicker.h"
#include "framework/events/Subscription.h"
#include "framework/services/AppBase.h"

#include <cstring>
#include <new>

TaskGroupChild::TaskGroupChild() : TaskList(TypeId::TaskGroupChild) {}

TaskGroupChild::TaskGroupChild(uint32_t param1, uint32_t threshold, uint32_t param3, uint32_t period)
    : TaskList(TypeId::TaskGroupChild), m_param1(param1), m_threshold(threshold), m_param3(param3), m_period(period)
{
}

int TaskGroupChild::run(uint32_t amount, const TickInfo& tick)
{
    const int64_t left = int64_t(m_holdTimer) - m_accumulated;
    m_holdTimer = left > 0 ? static_cast<int32_t>(left) : 0;
    if (tick.phase == TickerPhase::Full)
        sample();
    runEntries(tick);
    return int(amount);
}

void TaskGroupChild::sample()
{
    m_ratio = static_cast<int32_t>(int64_t(m_counter) * 65536 / 100);
    m_lastCounter = m_counter;
    if (m_counter >= m_threshold)
        m_holdTimer = static_cast<int32_t>(m_period);
    m_counter = 0;
}

TaskGroup::TaskGroup() : TaskList(TypeId::TaskGroup) {}

TaskGroup::~TaskGroup()
{
    destroy();
}

int TaskGroup::run(uint32_t amount, const TickInfo& tick)
{
    if (tick.phase == TickerPhase::Full) {
        m_rateTime += m_accumulated;
        if (m_rateTime >= m_ratePeriod && m_rateTime > 0) {
            m_rate = static_cast<int32_t>((uint64_t(m_counter) << 32) / uint64_t(m_rateTime));
            m_counter = 0;
            m_rateTime = 0;
        }
        runEntries(tick);
    } else if (m_switchA) {
        onFrame(amount, tick);
        if (m_switchB)
            runEntries(tick);
    }
    return int(amount);
}

int TaskGroup::init(uint32_t bucketHint, HandlerCallback callback, const uint32_t* eventIds,
                    uint32_t nodesPerBlock, bool grow, uint32_t historyLength)
{
    if (callback && !m_handler) {
        m_handler = new (std::nothrow) CallbackHandler(this, takeSequenceKey(), callback);
        if (!m_handler)
            return 0;
        if (eventIds && eventIds[0] != 0)
            subscribeMany(m_handler, eventIds);
    }
    m_parentSection = nullptr;
    FrameTicker* ticker = getFrameTicker();
    m_startTick = ticker ? ticker->now() : tickCountNow();
    m_rate = 0;
    m_ratePeriod = 0x10000;
    m_rateTime = 0;
    m_counter = 0;
    m_switchA = 0;
    m_switchB = 0;
    if (historyLength > 0 && !m_history) {
        m_history = new (std::nothrow) TaskGroupHistoryEntry[historyLength];
        if (!m_history)
            return 0;
        m_historyLength = historyLength;
        for (uint32_t i = 0; i < historyLength; ++i)
            m_history[i] = {0, nullptr};
    }
    return m_ids.init(bucketHint, nodesPerBlock, grow);
}

void TaskGroup::destroy()
{
    delete[] m_history;
    m_history = nullptr;
    m_historyLength = 0;

    // Unlink every section's entry first, while every list it may sit in is
    // still alive; only then delete sections and entries.
    for (uint32_t b = 0; b < m_ids.bucketCount(); ++b) {
        for (IdHashNode* n = m_ids.bucket(b); n; n = n->next) {
            auto* entry = static_cast<HandlerEntry*>(n->value);
            auto* section = static_cast<TaskGroupChild*>(entry->m_payload);
            HandlerList* list = section && section->m_parent ? static_cast<HandlerList*>(section->m_parent)
                                                              : static_cast<HandlerList*>(this);
            list->unlink(entry);
        }
    }
    for (uint32_t b = 0; b < m_ids.bucketCount(); ++b) {
        for (IdHashNode* n = m_ids.bucket(b); n; n = n->next) {
            auto* entry = static_cast<HandlerEntry*>(n->value);
            delete entry->m_payload;
            delete entry;
        }
    }
    m_ids.release();
    m_parentSection = nullptr;
    if (m_handler) {
        unsubscribeAll(m_handler);
        delete m_handler;
        m_handler = nullptr;
    }
}

TaskGroupChild* TaskGroup::getOrCreateChild(uint32_t id, uint32_t param1, uint32_t param2, uint32_t param3,
                                            TaskGroupChildFactory factory)
{
    void* found = nullptr;
    if (m_ids.find(id, &found))
        return static_cast<TaskGroupChild*>(static_cast<HandlerEntry*>(found)->m_payload);
    if (m_ids.bucketCount() == 0)
        return nullptr; // not initialised: nowhere to file it

    TaskGroupChild* section = factory ? factory(param1, param2, param3)
                                      : new (std::nothrow) TaskGroupChild(param1, param2, param3);
    if (!section)
        return nullptr;
    section->m_group = this;
    section->m_parent = m_parentSection;
    HandlerEntry* entry = createEntry(id, section, 0, DefaultPriority);
    if (!entry) {
        delete section;
        return nullptr;
    }
    HandlerList* list = this;
    if (m_parentSection) {
        section->m_depth = m_parentSection->m_depth + 1;
        list = m_parentSection;
    }
    list->insert(entry);
    if (!m_ids.insert(id, entry)) {
        list->unlink(entry);
        delete entry;
        delete section;
        return nullptr;
    }
    if (m_history && m_historyLength > 0) {
        std::memmove(m_history + 1, m_history, (m_historyLength - 1) * sizeof *m_history);
        m_history[0] = {id, section};
    }
    return section;
}

TaskGroup* getStatsOverlay()
{
    AppBase* app = getGameApp();
    return app ? static_cast<TaskGroup*>(app->m_statsOverlay) : nullptr;
}

void setStatsOverlaySwitchA(uint8_t on)
{
    if (TaskGroup* overlay = getStatsOverlay())
        overlay->m_switchA = on;
}

void setStatsOverlaySwitchB(uint8_t on)
{
    if (TaskGroup* overlay = getStatsOverlay())
        overlay->m_switchB = on;
}

int getStatsOverlayMode()
{
    TaskGroup* overlay = getStatsOverlay();
    if (!overlay || !overlay->m_switchA)
        return 0;
    return overlay->m_switchB ? 2 : 1;
}
