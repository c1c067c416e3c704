// Watches the program's operator new while a test runs: records the largest
// request and refuses any above a ceiling, as a host whose memory ran out
// would. Proves that a load takes no more than the bytes that arrived
// without needing the gigabytes a faulty one would take.
#pragma once

#include <cstddef>

class AllocationWatch {
public:
    explicit AllocationWatch(size_t ceiling);
    // Refuses the failAt-th request from now on (1 for the next) as well:
    // a sweep over failAt meets every allocation of an operation.
    AllocationWatch(size_t ceiling, size_t failAt);
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // The largest single request since the watch began, refused ones included.
    size_t largest() const;
    // Requests since the watch began.
    size_t requests() const;
    // Bytes asked for since the watch began, refused requests included.
    size_t bytes() const;
};
