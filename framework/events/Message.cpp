// Message arguments.
#include "framework/events/Message.h"

int Message::addInt(uint32_t value)
{
    if (m_argCount >= MaxArgs)
        return 0;
    m_args[m_argCount++] = MessageArg{ArgTag::Int, 0, value};
    return 1;
}
