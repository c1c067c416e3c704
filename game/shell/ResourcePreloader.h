// Loads the resources of an id list a slice at a time (at most 100 ms a
// call), so a loading page can show progress; the flow's end releases them.
// What was preloaded is remembered, so the release never takes a reference
// that another holder owns.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"

class Resource;

namespace PreloadState {
constexpr uint32_t Idle = 0;
constexpr uint32_t Loading = 1;
constexpr uint32_t Failed = 2;
constexpr uint32_t Done = 3;
} // namespace PreloadState

class ResourcePreloader : public HashedObject {
public:
    static constexpr uint32_t kSliceMs = 100;

    ResourcePreloader() = default;
    ~ResourcePreloader() override { forgetList(); }

    // Ignored while loading.
    void start(uint32_t listId);
    void step();
    // 0..100.
    uint32_t getPercent() const;
    uint32_t getState() const { return m_state; }

    // Releases once each id of the list that a preloader loaded. 1, or 0
    // when the list cannot be loaded.
    static int unloadList(uint32_t listId);
    // Records of preloads looked at so far: the work tests count.
    static uint64_t probes();

private:
    void forgetList();

    uint32_t m_listId = 0;
    Resource* m_list = nullptr;
    uint32_t m_next = 0;
    uint32_t m_count = 0;
    uint64_t m_madeBefore = 0; // the manager's bytes made when the list began
    uint32_t m_state = PreloadState::Idle;
};
