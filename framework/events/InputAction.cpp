// Input actions and their group in the frame ticker.
#include "framework/events/InputAction.h"

#include "framework/events/EventIdCounter.h"
#include "framework/events/FrameTicker.h"
#include "framework/events/Message.h"
#include "framework/events/TaskList.h"
#include "framework/events/internal/InputHandler.h"

#include <climits>
#include <new>

namespace {
const uint32_t kWatchedEvents[] = {InputEventId::InputWipe, EventId::Resume, InputEventId::InputWipeAgain,
                                   InputEventId::KeyDown, InputEventId::KeyUp, 0};
} // namespace

InputAction::InputAction() : TargetedListener(TypeId::InputAction) {}

InputAction::~InputAction()
{
    shutdown();
}

int InputAction::init()
{
    if (!m_handler && !(m_handler = subscribeInputHandler(this, &InputAction::onMessage, kWatchedEvents)))
        return 0;
    clearHeld();
    return 1;
}

void InputAction::shutdown()
{
    releaseInputHandler(m_handler);
}

int InputAction::onMessage(Message& message, CallbackHandler& handler)
{
    return static_cast<InputAction*>(handler.m_owner)->onEvent(message.m_eventId, message.arg(0), message.arg(1));
}

void InputAction::clearHeld()
{
    m_held = 0;
    m_heldTimeMs = 0;
    m_lastMarkMs = 0;
}

int InputAction::onEvent(uint32_t eventId, uint32_t a, uint32_t)
{
    if (isInputResetEvent(eventId)) {
        clearHeld();
        return 0;
    }
    switch (eventId) {
    case InputEventId::KeyDown:
        if (a == m_gameKey) {
            if (m_mode & InputMode::Press)
                fire();
            m_held = 1;
        }
        break;
    case InputEventId::KeyUp:
        if (a == m_gameKey) {
            if (m_mode & InputMode::Release)
                fire();
            clearHeld();
        }
        break;
    default:
        break;
    }
    return 0;
}

int InputAction::run(uint32_t, const TickInfo& tick)
{
    if (!(m_mode & InputMode::Hold) || !m_held)
        return 0;
    const bool counting = m_heldTimeMs > 0;
    // Saturates: a key held for weeks must not wrap into a fresh press.
    m_heldTimeMs = tick.stepMs > INT32_MAX - m_heldTimeMs ? INT32_MAX : m_heldTimeMs + tick.stepMs;
    if (!counting)
        return 0;
    const int32_t over = m_heldTimeMs - m_delayMs;
    if (over < 1)
        return 0;
    if (m_repeatMs < 1) {
        if (m_lastMarkMs == 0 || m_repeat) {
            fire();
            m_lastMarkMs = m_heldTimeMs;
        }
        return 0;
    }
    while (m_lastMarkMs == 0 || (m_repeat && over - m_lastMarkMs >= m_repeatMs)) {
        fire();
        m_lastMarkMs += over >= m_repeatMs ? m_repeatMs : over;
    }
    return 0;
}

void InputAction::fire()
{
    if (m_actionId == 0)
        return;
    FrameTicker* ticker = getFrameTicker();
    TaskList* list = ticker ? ticker->taskList() : nullptr;
    if (!list)
        return;
    Message* message = new (std::nothrow) Message(this, m_actionId, m_targetKey);
    if (!message)
        return;
    message->addInt(m_gameKey);
    message->addInt(ticker->now());
    HandlerEntry* entry =
        list->createEntry(takeSequenceKey(), message, TypeId::Message, ScheduledMessagePriority);
    if (!entry) {
        delete message;
        return;
    }
    list->insert(entry);
}

int addInputAction(uint32_t groupKey, uint32_t actionId, uint32_t gameKey, uint32_t mode,
                   int32_t delayMs, int32_t repeatMs, uint8_t repeat)
{
    FrameTicker* ticker = getFrameTicker();
    TaskList* group = ticker ? ticker->findGroup(groupKey) : nullptr;
    if (!group)
        return 0;
    InputAction* action = new (std::nothrow) InputAction();
    if (!action)
        return 0;
    if (!action->init()) {
        delete action;
        return 0;
    }
    action->m_actionId = actionId;
    action->m_gameKey = gameKey;
    action->m_mode = mode;
    action->m_delayMs = delayMs;
    action->m_repeatMs = repeatMs;
    action->m_repeat = repeat;
    HandlerEntry* entry = group->createEntry(takeSequenceKey(), action, TypeId::InputAction, DefaultPriority);
    if (!entry) {
        delete action;
        return 0;
    }
    group->insert(entry);
    return 1;
}

void removeInputActionsMatching(uint32_t groupKey, uint32_t actionId, uint32_t gameKey)
{
    FrameTicker* ticker = getFrameTicker();
    TaskList* group = ticker ? ticker->findGroup(groupKey) : nullptr;
    if (!group)
        return;
    HandlerList::Walk walk(*group);
    for (HandlerEntry* e = group->first(); e; e = group->next(e)) {
        if (e->m_ownerKey != TypeId::InputAction)
            continue;
        InputAction* action = dynamic_cast<InputAction*>(e->m_payload);
        if (!action || (actionId != 0 && action->m_actionId != actionId) ||
            (gameKey != 0 && action->m_gameKey != gameKey))
            continue;
        e->m_payload = nullptr;
        group->erase(e);
        delete action;
    }
}

void removeInputActions(uint32_t groupKey)
{
    removeInputActionsMatching(groupKey, 0, 0);
}
