// Input actions turn one game key into action messages: on press, on release,
// or while held after a delay and at a repeat interval. The messages are
// scheduled in the frame ticker's task list and reach the action's
// subscribers when the list next runs.
#pragma once

#include "framework/events/Listener.h"
#include "framework/events/TaskIds.h"

class CallbackHandler;
class Message;

namespace InputMode {
constexpr uint32_t Press = 1;
constexpr uint32_t Hold = 2;
constexpr uint32_t Release = 4;
} // namespace InputMode

// A listener whose messages go to the subscriber filed under one key
// (0 = to every subscriber).
class TargetedListener : public Listener {
public:
    explicit TargetedListener(uint32_t typeId = TypeId::TargetedListener) : Listener(typeId) {}

    uint32_t m_targetKey = 0;
};

class InputAction : public TargetedListener {
public:
    InputAction();
    ~InputAction() override;

    // One frame of the held key: fires after the delay, then every repeat
    // interval, catching up after a long frame.
    int run(uint32_t amount, const TickInfo& tick) override;
    // Subscribes to the key and reset events; 0 when memory runs out.
    virtual int init();
    virtual void shutdown();

    // Always 0, so the event goes on to every other subscriber.
    int onEvent(uint32_t eventId, uint32_t a, uint32_t b);
    // Schedules the action's message: (game key, tick count).
    void fire();

    CallbackHandler* m_handler = nullptr;
    uint32_t m_gameKey = 0;
    uint32_t m_mode = 0;
    uint32_t m_actionId = 0;
    int32_t m_delayMs = 0;
    int32_t m_repeatMs = 0;
    uint8_t m_repeat = 1;
    uint8_t m_held = 0;
    int32_t m_heldTimeMs = 0;
    int32_t m_lastMarkMs = 0;

private:
    static int onMessage(Message& message, CallbackHandler& handler);
    void clearHeld();
};

// Files a new action in the ticker's group under groupKey. 1 on success; 0
// when the group is missing or the action cannot be set up.
int addInputAction(uint32_t groupKey, uint32_t actionId, uint32_t gameKey, uint32_t mode,
                   int32_t delayMs, int32_t repeatMs, uint8_t repeat);
// Deletes the group's actions whose action id and game key match (0 = any).
void removeInputActionsMatching(uint32_t groupKey, uint32_t actionId, uint32_t gameKey);
void removeInputActions(uint32_t groupKey);
