// Activity accumulator service.
#include "framework/util/ActivityAccumulator.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/events/TaskIds.h"

#include <new>

namespace {
const uint32_t kWatchedEvents[] = {InputEventId::InputWipe, EventId::Resume, InputEventId::InputWipeAgain,
                                   InputEventId::WidgetPress, InputEventId::WidgetMove, InputEventId::WidgetRelease,
                                   InputEventId::OtherActivity, 0};
} // namespace

ActivityAccumulator::ActivityAccumulator() : Service(ServiceId::ActivityAccumulator)
{
    m_handler = new (std::nothrow) CallbackHandler(this, takeSequenceKey(), &ActivityAccumulator::onMessage);
    if (m_handler)
        subscribeMany(m_handler, kWatchedEvents);
}

ActivityAccumulator::~ActivityAccumulator()
{
    if (m_handler) {
        unsubscribeAll(m_handler);
        delete m_handler;
    }
}

void ActivityAccumulator::add(uint32_t amount)
{
    m_total += amount;
    m_lastFlag = m_flag;
}

void ActivityAccumulator::reset()
{
    m_flag = 0;
    m_lastFlag = 0;
    m_total = 0;
}

int ActivityAccumulator::onMessage(Message& message, CallbackHandler& handler)
{
    const uint32_t id = message.m_eventId;
    if (id == InputEventId::InputWipeAgain || id == InputEventId::InputWipe || id == EventId::Resume)
        static_cast<ActivityAccumulator*>(handler.m_owner)->reset();
    return 0; // every event passes on
}
