// Allocation-failure sweeps for tests: engine allocation hooks that fail one
// chosen allocation and remember every block not yet given back, and the loop
// that fails each allocation of a scenario in turn until a run needs none.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <type_traits>

#include "engine/core/runtime/EngineAlloc.h"

class FailingAllocator {
public:
    // Lets skip more hooked allocations through, then fails one; -1 fails none.
    // Only allocations made while the hooks are installed count down.
    static void failAfter(int64_t skip) { state().untilFailure = skip; }
    // Whether an allocation failed since the last start().
    static bool failed() { return state().failed; }
    // Blocks the hooks handed out and have not had back since the last start().
    static const std::set<void*>& live() { return state().live; }
    // The largest request since the last start(), a failed one included, and how many there were.
    static uint32_t largest() { return state().largest; }
    static uint32_t requests() { return state().requests; }

    static void start(int64_t skip)
    {
        State& s = state();
        s.untilFailure = skip;
        s.failed = false;
        s.live.clear();
        s.largest = 0;
        s.requests = 0;
    }

    static void* alloc(uint32_t size, uint32_t)
    {
        State& s = state();
        s.largest = std::max(s.largest, size);
        ++s.requests;
        if (s.untilFailure == 0) {
            s.untilFailure = -1;
            s.failed = true;
            return nullptr;
        }
        if (s.untilFailure > 0)
            --s.untilFailure;
        void* p = std::malloc(size == 0 ? 1 : size);
        s.live.insert(p);
        return p;
    }

    static void free(void* p)
    {
        state().live.erase(p);
        std::free(p);
    }

private:
    struct State {
        int64_t untilFailure = -1;
        bool failed = false;
        std::set<void*> live;
        uint32_t largest = 0;
        uint32_t requests = 0;
    };
    static State& state()
    {
        static State s;
        return s;
    }
};

// Installs both hooks for a scope, for code that calls setEngineAllocHooks
// itself rather than handing the hooks to an engine it starts.
class FailingAllocHooks {
public:
    FailingAllocHooks() { setEngineAllocHooks(&FailingAllocator::alloc, &FailingAllocator::free); }
    ~FailingAllocHooks() { setEngineAllocHooks(nullptr, nullptr); }
    FailingAllocHooks(const FailingAllocHooks&) = delete;
    FailingAllocHooks& operator=(const FailingAllocHooks&) = delete;
};

// Holds one count on an engine object and drops it with the hooks in, so that
// memory the object took under them is seen to come back within the run.
template <class T>
class HookedRef {
public:
    explicit HookedRef(T* object) : m_object(object) { m_object->addRef(); }
    ~HookedRef()
    {
        FailingAllocHooks hooks;
        m_object->release();
    }
    HookedRef(const HookedRef&) = delete;
    HookedRef& operator=(const HookedRef&) = delete;
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }

private:
    T* m_object;
};

// Runs scenario with its k-th hooked allocation failing, for k = 0, 1, ...,
// until a run goes through without a failure; that run must report itself
// complete when scenario returns whether it was. Every run must give back what
// the hooks handed out. Returns the number of allocations that were failed.
template <class Scenario>
int64_t sweepAllocationFailures(Scenario&& scenario)
{
    for (int64_t k = 0;; ++k) {
        SCOPED_TRACE(k);
        FailingAllocator::start(k);
        bool complete = true;
        if constexpr (std::is_void_v<std::invoke_result_t<Scenario&>>)
            scenario();
        else
            complete = scenario();
        EXPECT_TRUE(FailingAllocator::live().empty())
            << FailingAllocator::live().size() << " allocations not given back";
        const bool failed = FailingAllocator::failed();
        FailingAllocator::start(-1);
        if (!failed) {
            EXPECT_TRUE(complete);
            return k;
        }
        if (::testing::Test::HasFatalFailure())
            return k;
    }
}
