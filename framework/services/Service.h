// A long-lived singleton found by id: it registers itself in the program's
// service registry when built and takes its own entry out when destroyed.
#pragma once

#include "framework/services/HashedObject.h"

class Service : public HashedObject {
public:
    // No duplicate check: a second service under the same id shadows the first.
    explicit Service(uint32_t serviceId);
    ~Service() override;

    uint32_t serviceId() const { return m_typeId; }
};
