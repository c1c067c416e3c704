// Key input service.
#include "framework/events/KeyInputService.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/events/internal/InputHandler.h"

#include <cstring>
#include <new>

namespace {
const uint32_t kKeyEvents[] = {InputEventId::InputWipe, EventId::Resume, InputEventId::InputWipeAgain,
                               InputEventId::KeyDown, InputEventId::KeyUp, 0};
} // namespace

KeyInputService::KeyInputService() : Service(ServiceId::KeyInput) {}

KeyInputService::~KeyInputService()
{
    shutdown();
}

int KeyInputService::init()
{
    if (!m_handler && !(m_handler = subscribeInputHandler(this, &KeyInputService::onMessage, kKeyEvents)))
        return 0;
    reset();
    return 1;
}

void KeyInputService::shutdown()
{
    releaseInputHandler(m_handler);
}

void KeyInputService::reset()
{
    m_current = {};
    m_previous = {};
    m_idleTime = 0;
}

int KeyInputService::onMessage(Message& message, CallbackHandler& handler)
{
    return static_cast<KeyInputService*>(handler.m_owner)->onEvent(message.m_eventId, message.arg(0), message.arg(1));
}

int KeyInputService::onEvent(uint32_t eventId, uint32_t key, uint32_t)
{
    if (isInputResetEvent(eventId)) {
        reset();
        return 0;
    }
    if ((eventId != InputEventId::KeyDown && eventId != InputEventId::KeyUp) || key >= KeyInputState::kKeyCount)
        return 0;
    if (eventId == InputEventId::KeyDown) {
        ++m_current.pressCount[key];
        ++m_current.downCount[key];
    } else {
        if (m_current.downCount[key] != 0)
            --m_current.downCount[key];
        ++m_current.releaseCount[key];
        m_current.heldTime[key] = 0;
    }
    m_idleTime = 0;
    return 0;
}

void KeyInputService::update(uint32_t elapsed)
{
    m_current.anyHeld = 0;
    for (uint32_t k = 0; k < KeyInputState::kKeyCount; ++k) {
        if (m_current.downCount[k] != 0) {
            m_current.heldTime[k] += elapsed;
            m_current.anyHeld = 1;
        } else {
            m_current.heldTime[k] = 0;
        }
    }
    if (m_current.activityA || m_current.activityB || m_current.anyHeld)
        m_idleTime = 0;
    else
        m_idleTime += elapsed;
    m_previous = m_current;
    std::memset(m_current.pressCount, 0, sizeof m_current.pressCount);
    std::memset(m_current.releaseCount, 0, sizeof m_current.releaseCount);
    m_current.activityA = 0;
    m_current.activityB = 0;
}
