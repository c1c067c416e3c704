// Polled pointer state: a pressed flag, its value in the frame before and an
// accumulated time. Only the reset events change it; advanced once a frame.
#pragma once

#include "framework/events/TaskIds.h"
#include "framework/services/Service.h"

class CallbackHandler;
class Message;

class PointerInputService : public Service {
public:
    PointerInputService();
    ~PointerInputService() override;

    int init();
    void shutdown();
    void reset();
    void update(uint32_t elapsed);
    // Always 0; only the reset events change anything.
    int onEvent(uint32_t eventId);

    CallbackHandler* m_handler = nullptr;
    uint8_t m_pressed = 0; // nothing of the service sets it
    uint8_t m_previousPressed = 0;
    uint32_t m_time = 0;

private:
    static int onMessage(Message& message, CallbackHandler& handler);
};
