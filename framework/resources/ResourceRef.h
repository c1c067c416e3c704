// A small holder of a resource's payload by id, for code that keeps the
// payload pointer while the resource manager keeps the resource.
#pragma once

#include <cstdint>

class HashedObject;

struct ResourceRef {
    uint32_t id = 0;
    HashedObject* payload = nullptr;

    // Takes the payload of the id's loaded resource; 0 (and the holder
    // unchanged) when it is not loaded.
    int refresh();
};
