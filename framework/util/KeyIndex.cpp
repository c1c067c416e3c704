// Seeds for key indexes: the clock and an address at first use (or a base
// the tests fix), then a counter, each stirred so that neighbouring seeds
// share no pattern.
#include "framework/util/KeyIndex.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace {

uint64_t stir(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

uint64_t drawKeyIndexSeed()
{
    // Tests fix the base (PF_KEY_SEED), so the probes their rows count repeat
    // from run to run.
    static const uint64_t base = [] {
        if (const char* fixed = std::getenv("PF_KEY_SEED"))
            return stir(std::strtoull(fixed, nullptr, 10));
        return stir(uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())
                    ^ reinterpret_cast<uintptr_t>(&drawKeyIndexSeed));
    }();
    static std::atomic<uint64_t> drawn{0};
    return stir(base + drawn.fetch_add(1, std::memory_order_relaxed));
}
