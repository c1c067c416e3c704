// The mode stack's transitions, event routing and painting.
#include "game/shell/ModeStack.h"

#include <algorithm>
#include <iterator>

ModeStack::~ModeStack()
{
    clear();
}

int ModeStack::createMode(int32_t, GameMode** out)
{
    *out = nullptr;
    return 0;
}

int ModeStack::init()
{
    // A second start finds the modes of the first: they leave, not leak.
    clear();
    return 0;
}

void ModeStack::requestTransition(int32_t id, int32_t kind)
{
    m_pendingId = id;
    m_pendingKind = kind;
}

GameMode* ModeStack::findMode(int32_t id) const
{
    for (uint32_t i = m_count; i-- > 0;) {
        if (m_entries[i].id == id)
            return m_entries[i].mode;
    }
    return nullptr;
}

bool ModeStack::holds(const GameMode* mode) const
{
    for (uint32_t i = 0; i < m_count; ++i) {
        if (m_entries[i].mode == mode)
            return true;
    }
    return false;
}

void ModeStack::activateTop(bool afterPush)
{
    if (m_count == 0) {
        m_active = nullptr;
        m_activeId = 0;
        return;
    }
    m_active = m_entries[m_count - 1].mode;
    m_activeId = m_entries[m_count - 1].id;
    m_active->clearResult();
    const uint32_t notified = afterPush ? m_count - 1 : m_count;
    for (uint32_t i = 0; i < notified && i < m_count; ++i) {
        GameMode* mode = m_entries[i].mode;
        mode->setActive(mode == m_active);
        mode->handleEvent(PlatformEventId::Redraw, 0, 0);
    }
}

int ModeStack::pushMode(int32_t id, GameMode* mode)
{
    // One object in two entries would be deleted twice.
    if (!mode || m_count >= kMaxModes || holds(mode))
        return 1;
    m_entries[m_count++] = Entry{id, mode};
    activateTop(true);
    return mode->enter();
}

int ModeStack::pushNew(int32_t id)
{
    GameMode* mode = nullptr;
    createMode(id, &mode);
    if (mode && holds(mode)) {
        // A mode the subclass hands out again (the main menu) is uncovered,
        // not pushed a second time.
        while (m_count > 0 && m_entries[m_count - 1].mode != mode)
            pop();
        return 0;
    }
    if (!mode || m_count >= kMaxModes) {
        delete mode;
        return 1;
    }
    m_entries[m_count++] = Entry{id, mode};
    activateTop(true);
    const int result = mode->enter();
    if (result == 0)
        return 0;
    m_entries[--m_count] = Entry{};
    delete mode;
    activateTop(false);
    return result;
}

void ModeStack::pop()
{
    if (m_count == 0)
        return;
    if (m_active)
        m_active->exit();
    GameMode* top = m_entries[--m_count].mode;
    m_entries[m_count] = Entry{};
    // The active word must not name the mode while it is deleted.
    m_active = nullptr;
    delete top;
    activateTop(false);
}

int ModeStack::popTo(int32_t id)
{
    while (m_count > 0 && m_entries[m_count - 1].id != id)
        pop();
    return m_count == 0 ? pushNew(id) : 0;
}

void ModeStack::clear()
{
    // Entries leave one by one, so a mode's exit or destructor never meets
    // a deleted neighbour.
    for (uint32_t i = 0; i < m_count; ++i) {
        GameMode* mode = m_entries[i].mode;
        m_entries[i] = Entry{};
        if (mode) {
            mode->exit();
            delete mode;
        }
    }
    m_count = 0;
    m_active = nullptr;
    m_activeId = 0;
}

void ModeStack::applyPending()
{
    const int32_t id = m_pendingId;
    const int32_t kind = m_pendingKind;
    m_pendingId = 0;
    m_pendingKind = Transition::None;
    switch (kind) {
    case Transition::Push:
        pushNew(id);
        break;
    case Transition::Replace:
        pop();
        pushNew(id);
        break;
    case Transition::ClearAndPush:
        clear();
        pushNew(id);
        break;
    case Transition::Pop:
        pop();
        break;
    case Transition::PopTo:
        popTo(id);
        break;
    default:
        break;
    }
}

int ModeStack::update(uint32_t ms)
{
    applyPending();
    if (!m_active)
        return 0;
    m_active->update(ms);
    // The mode may have left the stack during its own update.
    if (m_active && m_active->getResult() != 0)
        onModeResult(m_activeId, m_active);
    return 0;
}

int ModeStack::dispatch(uint32_t id, uint32_t a, uint32_t b)
{
    if (std::find(std::begin(kBroadcastEventIds), std::end(kBroadcastEventIds), id) != std::end(kBroadcastEventIds)) {
        for (uint32_t i = 0; i < m_count; ++i)
            m_entries[i].mode->handleEvent(id, a, b);
        return 1;
    }
    return m_active ? m_active->handleEvent(id, a, b) : 0;
}

int ModeStack::paint()
{
    int drew = 0;
    for (uint32_t i = 0; i < m_count; ++i) {
        GameMode* mode = m_entries[i].mode;
        if (drew)
            mode->handleEvent(PlatformEventId::Redraw, 0, 0);
        drew |= mode->paint() != 0 ? 1 : 0;
    }
    return drew;
}
