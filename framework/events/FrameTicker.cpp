// Frame ticker: step measurement and the phase/mode hand-shake with the game.
#include "framework/events/FrameTicker.h"

#include "framework/events/TaskList.h"
#include "framework/services/AppBase.h"

#include <new>

FrameTicker::FrameTicker() : Prioritized(TypeId::FrameTicker) {}

FrameTicker::~FrameTicker()
{
    shutdown();
}

namespace {
// Files a new group in the task list; the group is deleted again on failure.
int addGroup(TaskList* list, TaskList* group, uint32_t key, uint32_t ownerKey)
{
    HandlerEntry* entry = group ? list->createEntry(key, group, ownerKey, DefaultPriority) : nullptr;
    if (!entry) {
        delete group;
        return 0;
    }
    list->insert(entry);
    return 1;
}

void removeGroup(TaskList* list, uint32_t key)
{
    HandlerEntry* entry = nullptr;
    if (!list->find(0, key, &entry) || !entry)
        return;
    HashedObject* group = entry->m_payload;
    entry->m_payload = nullptr;
    list->erase(entry);
    delete group;
}

// What a listener updated outside the task list (a message delivered by the
// dispatch) sees as its frame: the program's ticker's current one.
TickInfo programTick()
{
    FrameTicker* ticker = getFrameTicker();
    return ticker ? ticker->tickInfo() : TickInfo{};
}
} // namespace

int FrameTicker::init()
{
    setTickSource(programTick);
    if (m_taskList)
        return 1;
    m_taskList = new (std::nothrow) TaskList();
    if (!m_taskList)
        return 0;
    if (!addGroup(m_taskList, new (std::nothrow) TaskList(), TaskKey::Tasks, TypeId::TaskList) ||
        !addGroup(m_taskList, new (std::nothrow) InputActionList(), TaskKey::InputActions,
                  TypeId::InputActionList)) {
        shutdown();
        return 0;
    }
    return 1;
}

void FrameTicker::shutdown()
{
    // Clearing the field first makes a second shutdown (the destructor's) a no-op.
    TaskList* list = m_taskList;
    if (!list)
        return;
    m_taskList = nullptr;
    removeGroup(list, TaskKey::InputActions);
    removeGroup(list, TaskKey::Tasks);
    // What is still scheduled: self-deleting one-shots belong to the list by
    // now; anything else belongs to whoever filed it.
    while (HandlerEntry* e = list->first()) {
        Listener* task = dynamic_cast<Listener*>(e->m_payload);
        list->erase(e);
        if (task && task->m_autoDelete)
            delete task;
    }
    delete list;
}

uint32_t FrameTicker::now() const
{
    return m_clock ? m_clock() : tickCountNow();
}

uint32_t FrameTicker::markTick()
{
    m_lastTick = now();
    return m_lastTick;
}

TickInfo FrameTicker::tickInfo()
{
    return TickInfo{m_phase, m_stepMs, m_stepSeconds, this};
}

TaskList* FrameTicker::findGroup(uint32_t key) const
{
    HandlerEntry* entry = nullptr;
    if (!m_taskList || !m_taskList->find(0, key, &entry) || !entry)
        return nullptr;
    return dynamic_cast<TaskList*>(entry->m_payload);
}

void FrameTicker::frame()
{
    const bool measure = m_phase == TickerPhase::Full;
    uint32_t t = 0;
    if (measure) {
        t = now();
        // Unsigned, so a wrapped tick count still gives the true gap; a clock
        // that steps back gives a long frame, never a negative step that
        // would keep timed tasks from ever reaching their period.
        const uint32_t gap = t - m_lastTick;
        m_stepMs = static_cast<int32_t>(gap < m_maxStepMs ? gap : m_maxStepMs);
        m_stepSeconds = static_cast<int32_t>((int64_t(m_stepMs) << 16) / 1000);
    }
    onTick();
    if (measure)
        m_lastTick = t;
}

void FrameTicker::start()
{
    m_phase = TickerPhase::Full;
    setMode(TickerMode::Starting);
    markTick();
    frame();
    setMode(TickerMode::Running);
}

void FrameTicker::stop()
{
    m_phase = TickerPhase::Full;
    setMode(TickerMode::Stopping);
    frame();
}

void FrameTicker::pause()
{
    m_phase = TickerPhase::Full;
    setMode(TickerMode::Pausing);
    frame();
}

void FrameTicker::resume()
{
    m_phase = TickerPhase::RenderOnly;
    setMode(TickerMode::Resuming);
    markTick();
    frame();
    setMode(TickerMode::Running);
}

void FrameTicker::onTick()
{
    if (m_mode != TickerMode::Running)
        return;
    if (m_phase == TickerPhase::Full) {
        if (m_taskList)
            m_taskList->update(tickInfo());
        if (m_client)
            m_client->update();
        setPhase(TickerPhase::RenderOnly);
    }
    if (m_phase == TickerPhase::RenderOnly) {
        if (m_client && !m_client->isDrawingSuspended())
            m_client->render();
        setPhase(TickerPhase::Full);
    }
}

FrameTicker* getFrameTicker()
{
    AppBase* app = getGameApp();
    return app ? static_cast<FrameTicker*>(app->m_frameTicker) : nullptr;
}

FrameTicker* createFrameTicker()
{
    return new (std::nothrow) FrameTicker();
}

void driveFrameTicker(FrameTicker* ticker, uint32_t eventId)
{
    if (!ticker)
        return;
    switch (eventId) {
    case EventId::Start:
        ticker->start();
        break;
    case EventId::End:
        ticker->stop();
        break;
    case EventId::Pause:
        ticker->pause();
        break;
    case EventId::Resume:
        ticker->resume();
        break;
    default:
        break;
    }
}
