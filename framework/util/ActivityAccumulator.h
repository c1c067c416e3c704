// A service that sums amounts of player activity and forgets them on the
// events that start a fresh phase (resume and the two input-reset events).
// Nothing at start-up creates it; whoever wants it makes one.
#pragma once

#include "framework/services/Service.h"

#include <cstdint>

class CallbackHandler;
class Message;

class ActivityAccumulator : public Service {
public:
    ActivityAccumulator();
    // Unsubscribes and deletes the handler; the registry entry goes.
    ~ActivityAccumulator() override;

    void add(uint32_t amount);
    void reset();

    uint8_t m_flag = 0;
    uint8_t m_lastFlag = 0;
    uint32_t m_total = 0;
    CallbackHandler* m_handler = nullptr;

private:
    static int onMessage(Message& message, CallbackHandler& handler);
};
