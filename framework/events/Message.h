// An event on its way to its handlers: the id, the target and up to eight
// tagged arguments.
#pragma once

#include "framework/events/OneShotTask.h"

struct MessageArg {
    uint32_t tag;
    uint32_t reserved;
    uint32_t value;
};

class Message : public OneShotTask {
public:
    static constexpr uint32_t MaxArgs = 8;

    Message(HashedObject* target, uint32_t eventId, uint32_t targetKey = 0)
        : OneShotTask(TypeId::Message, target, eventId, targetKey)
    {
    }

    // 0 when all eight slots are taken.
    int addInt(uint32_t value);
    // The value of argument i, 0 when there is none.
    uint32_t arg(uint32_t i) const { return i < m_argCount ? m_args[i].value : 0; }

    uint32_t m_argCount = 0;
    MessageArg m_args[MaxArgs] = {};
};
