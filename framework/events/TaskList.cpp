// Task lists: one frame of every listener they hold.
#include "framework/events/TaskList.h"

namespace {
TaskList::Resolver s_resolver = nullptr;

// Payloads of any class may sit in a list; only listeners can be run.
Listener* asListener(HashedObject* object)
{
    return dynamic_cast<Listener*>(object);
}
} // namespace

void TaskList::setResolver(Resolver resolver)
{
    s_resolver = resolver;
}

int TaskList::run(uint32_t amount, const TickInfo& tick)
{
    runEntries(tick);
    return int(amount);
}

void TaskList::runEntries(const TickInfo& tick)
{
    Walk walk(*this);
    for (HandlerEntry* e = first(); e; e = next(e)) {
        Listener* task = nullptr;
        if (e->m_payload)
            task = asListener(e->m_payload);
        else if (s_resolver)
            task = s_resolver(e->m_key);
        if (!task || task->m_running)
            continue;
        if (task->update(tick) == 2) {
            if (e->m_payload == task)
                e->m_payload = nullptr;
            erase(e);
        }
    }
}

InputActionList::~InputActionList()
{
    for (HandlerEntry* e = first(); e; e = first()) {
        HashedObject* payload = e->m_payload;
        unlink(e);
        delete e;
        delete payload;
    }
}
