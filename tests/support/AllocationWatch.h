// Watches the program's operator new while a test runs: records the largest
// request and refuses any above a ceiling, as a host whose memory ran out
// would. Proves that a load takes no more than the bytes that arrived
// without needing the gigabytes a faulty one would take.
#pragma once

#include <cstddef>

class AllocationWatch {
public:
    explicit AllocationWatch(size_t ceiling);
    ~AllocationWatch();
    AllocationWatch(const AllocationWatch&) = delete;
    AllocationWatch& operator=(const AllocationWatch&) = delete;

    // The largest single request since the watch began, refused ones included.
    size_t largest() const;
};
