// The base of every mode and UI page: a lifecycle the owning stack drives
// and a result word through which the mode tells its owner it is done.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"
#include "game/shell/ShellIds.h"

class GameMode : public HashedObject {
public:
    explicit GameMode(uint32_t typeId = TypeId::GameMode) : HashedObject(typeId) {}

    // Non-zero refuses the push.
    virtual int enter() { return 0; }
    virtual void exit() {}
    virtual void setActive(bool /*isTop*/) {}
    // Non-zero when handled.
    virtual int handleEvent(uint32_t /*id*/, uint32_t /*a*/, uint32_t /*b*/) { return 0; }
    virtual int update(uint32_t /*ms*/) { return 0; }
    // Non-zero when it drew.
    virtual int paint() { return 0; }
    // The first result wins until the owner clears it.
    virtual void setResult(uint32_t result)
    {
        if (m_result == 0)
            m_result = result;
    }
    virtual uint32_t getResult() const { return m_result; }
    virtual void clearResult() { m_result = 0; }

private:
    uint32_t m_result = 0;
};
