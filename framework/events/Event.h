// One platform event: an id and two arguments, copied by value.
#pragma once

#include <cstdint>

struct Event {
    uint32_t id;
    uint32_t arg1;
    uint32_t arg2;
};
