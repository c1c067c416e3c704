// Priority-ordered handler list with deferred removal during walks.
#include "framework/events/HandlerList.h"

#include <new>

HandlerList::HandlerList() : HandlerList(TypeId::HandlerList) {}

HandlerList::HandlerList(uint32_t typeId)
    : Listener(typeId), m_sentinel(0, nullptr, 0, 0), m_head(&m_sentinel), m_tail(&m_sentinel)
{
}

HandlerList::~HandlerList()
{
    delete m_delegate;
}

int HandlerList::run(uint32_t amount, const TickInfo&)
{
    return int(amount);
}

HandlerEntry* HandlerList::createKeyEntry(uint32_t key, uint32_t priority)
{
    return new (std::nothrow) HandlerEntry(key, nullptr, 0, priority);
}

HandlerEntry* HandlerList::createEntry(uint32_t key, HashedObject* payload, uint32_t ownerKey, uint32_t priority)
{
    return new (std::nothrow) HandlerEntry(key, payload, ownerKey, priority);
}

void HandlerList::insert(HandlerEntry* entry)
{
    if (!entry)
        return;
    if (delegateActive()) {
        m_delegate->insert(entry);
        return;
    }
    ++m_count;
    if (m_head == &m_sentinel) {
        entry->m_prev = nullptr;
        entry->m_next = &m_sentinel;
        m_sentinel.m_prev = entry;
        m_head = m_tail = entry;
        return;
    }
    // Walk back to the last entry of at least this priority; equal priorities
    // keep their insertion order.
    HandlerEntry* after = m_tail;
    while (after && after->m_priority < entry->m_priority)
        after = after->m_prev;
    if (!after) {
        entry->m_prev = nullptr;
        entry->m_next = m_head;
        m_head->m_prev = entry;
        m_head = entry;
        return;
    }
    entry->m_prev = after;
    entry->m_next = after->m_next;
    after->m_next->m_prev = entry;
    after->m_next = entry;
    if (after == m_tail)
        m_tail = entry;
}

void HandlerList::unlink(HandlerEntry* entry)
{
    if (!entry || entry == &m_sentinel)
        return;
    if (delegateActive()) {
        m_delegate->unlink(entry);
        return;
    }
    if (!entry->m_next)
        return; // not linked
    if (entry->m_prev)
        entry->m_prev->m_next = entry->m_next;
    else
        m_head = entry->m_next;
    if (entry->m_next == &m_sentinel)
        m_tail = entry->m_prev ? entry->m_prev : &m_sentinel;
    entry->m_next->m_prev = entry->m_prev;
    if (m_head == &m_sentinel)
        m_sentinel.m_prev = nullptr;
    --m_count;
    if (entry->m_dead)
        --m_deadCount;
    entry->m_prev = nullptr;
    entry->m_next = nullptr;
}

void HandlerList::reset()
{
    if (delegateActive()) {
        m_delegate->reset();
        return;
    }
    m_head = m_tail = &m_sentinel;
    m_sentinel.m_prev = nullptr;
    m_count = 0;
    m_deadCount = 0;
}

HandlerEntry* HandlerList::live(HandlerEntry* e) const
{
    while (e && e != &m_sentinel && e->m_dead)
        e = e->m_next;
    return e == &m_sentinel ? nullptr : e;
}

int HandlerList::scan(uint32_t ownerKey, uint32_t key, HandlerEntry** out) const
{
    for (HandlerEntry* e = first(); e; e = next(e)) {
        if ((ownerKey == 0 || e->m_ownerKey == ownerKey) && (key == 0 || e->m_key == key)) {
            if (out)
                *out = e;
            return 1;
        }
    }
    if (out)
        *out = nullptr;
    return 0;
}

int HandlerList::find(uint32_t ownerKey, uint32_t key, HandlerEntry** out)
{
    if (ownerKey == 0 && key == 0) {
        if (out)
            *out = nullptr;
        return 0;
    }
    if (delegateActive()) {
        HandlerEntry* found = nullptr;
        const int result = m_delegate->find(ownerKey, key, &found);
        // The index may still hold an entry erased during a walk.
        if (!result || !found || !found->m_dead) {
            if (out)
                *out = result ? found : nullptr;
            return result;
        }
    }
    return scan(ownerKey, key, out);
}

HandlerEntry* HandlerList::findByKey(uint32_t key) const
{
    for (HandlerEntry* e = first(); e; e = next(e)) {
        if (e->m_key == key)
            return e;
    }
    return nullptr;
}

void HandlerList::erase(HandlerEntry* entry)
{
    if (!entry || entry == &m_sentinel || entry->m_dead)
        return;
    if (m_walkDepth != 0) {
        entry->m_dead = 1;
        ++m_deadCount;
        return;
    }
    unlink(entry);
    delete entry;
}

void HandlerList::endWalk()
{
    if (m_walkDepth != 0 && --m_walkDepth == 0 && m_deadCount != 0)
        purgeDead();
}

void HandlerList::purgeDead()
{
    HandlerEntry* e = m_head;
    while (e && e != &m_sentinel) {
        HandlerEntry* following = e->m_next;
        if (e->m_dead) {
            unlink(e);
            delete e;
        }
        e = following;
    }
}

void HandlerList::setDelegate(HandlerListDelegate* delegate)
{
    if (delegate == m_delegate)
        return;
    delete m_delegate;
    m_delegate = delegate;
    if (delegate)
        delegate->attach(this);
}
