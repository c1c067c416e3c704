// Polled input state, for code that reads keys once a frame instead of
// subscribing: per game key the presses and releases since the last update,
// how often it is down and how long it has been held, and the state of the
// frame before. Fed by the key events; advanced once a frame by its owner.
#pragma once

#include "framework/events/TaskIds.h"
#include "framework/services/Service.h"

class CallbackHandler;
class Message;

struct KeyInputState {
    static constexpr uint32_t kKeyCount = 128;

    uint8_t pressCount[kKeyCount];
    uint8_t releaseCount[kKeyCount];
    // Key-downs minus key-ups, never below 0.
    uint8_t downCount[kKeyCount];
    uint32_t heldTime[kKeyCount];
    // Count as activity; nothing of the service sets them.
    uint8_t activityA;
    uint8_t activityB;
    uint8_t anyHeld;
};

class KeyInputService : public Service {
public:
    KeyInputService();
    ~KeyInputService() override;

    // Subscribes to the key and reset events; 0 when memory runs out.
    int init();
    void shutdown();
    void reset();
    // Once a frame after the frame's events: advances held and idle times and
    // moves the current state into the previous one.
    void update(uint32_t elapsed);
    // Always 0. Key codes of 128 and above lie outside the tables and are ignored.
    int onEvent(uint32_t eventId, uint32_t key, uint32_t arg2);

    CallbackHandler* m_handler = nullptr;
    KeyInputState m_current = {};
    KeyInputState m_previous = {};
    uint32_t m_idleTime = 0;

private:
    static int onMessage(Message& message, CallbackHandler& handler);
};
