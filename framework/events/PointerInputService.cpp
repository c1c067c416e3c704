// Pointer input service.
#include "framework/events/PointerInputService.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/Message.h"
#include "framework/events/internal/InputHandler.h"

namespace {
const uint32_t kPointerEvents[] = {InputEventId::InputWipe, EventId::Resume, InputEventId::InputWipeAgain,
                                   InputEventId::PointerMove, InputEventId::ButtonDown,
                                   InputEventId::ButtonUp, InputEventId::DoubleClick, 0};
} // namespace

PointerInputService::PointerInputService() : Service(ServiceId::PointerInput) {}

PointerInputService::~PointerInputService()
{
    shutdown();
}

int PointerInputService::init()
{
    if (!m_handler && !(m_handler = subscribeInputHandler(this, &PointerInputService::onMessage, kPointerEvents)))
        return 0;
    reset();
    return 1;
}

void PointerInputService::shutdown()
{
    releaseInputHandler(m_handler);
}

void PointerInputService::reset()
{
    m_pressed = 0;
    m_previousPressed = 0;
    m_time = 0;
}

int PointerInputService::onMessage(Message& message, CallbackHandler& handler)
{
    return static_cast<PointerInputService*>(handler.m_owner)->onEvent(message.m_eventId);
}

int PointerInputService::onEvent(uint32_t eventId)
{
    if (isInputResetEvent(eventId))
        reset();
    return 0;
}

void PointerInputService::update(uint32_t elapsed)
{
    m_time += elapsed;
    m_previousPressed = m_pressed;
}
