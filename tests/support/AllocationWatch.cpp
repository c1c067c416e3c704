// Replaces every form of the global operator new and delete for the test
// executables that use AllocationWatch; outside a watch they are malloc and
// free.
#include "tests/support/AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_ceiling{0};  // 0: not watching
std::atomic<size_t> g_largest{0};
std::atomic<size_t> g_requests{0};
std::atomic<size_t> g_bytes{0};
std::atomic<size_t> g_failAt{0};  // 0: none

void* allocate(size_t size) noexcept
{
    if (const size_t ceiling = g_ceiling.load(); ceiling != 0) {
        for (size_t seen = g_largest.load(); size > seen && !g_largest.compare_exchange_weak(seen, size);)
            ;
        const size_t request = ++g_requests;
        g_bytes += size;
        if (size > ceiling || request == g_failAt.load()) {
            // As the host's operator new does before it gives up.
            if (std::new_handler handler = std::get_new_handler()) {
                try {
                    handler();
                } catch (const std::bad_alloc&) {
                }
            }
            return nullptr;
        }
    }
    return std::malloc(size != 0 ? size : 1);
}

void* allocateOrThrow(size_t size)
{
    void* p = allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

} // namespace

AllocationWatch::AllocationWatch(size_t ceiling) : AllocationWatch(ceiling, 0) {}

AllocationWatch::AllocationWatch(size_t ceiling, size_t failAt)
{
    g_largest = 0;
    g_requests = 0;
    g_bytes = 0;
    g_failAt = failAt;
    g_ceiling = ceiling;
}

AllocationWatch::~AllocationWatch()
{
    g_ceiling = 0;
    g_failAt = 0;
}

size_t AllocationWatch::largest() const
{
    return g_largest.load();
}

size_t AllocationWatch::requests() const
{
    return g_requests.load();
}

size_t AllocationWatch::bytes() const
{
    return g_bytes.load();
}

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
