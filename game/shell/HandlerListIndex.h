// The event router's index: a hash map from entry key to entry beside the
// router's list, so finding an event's handler list costs one lookup.
#pragma once

#include "framework/events/HandlerList.h"
#include "framework/services/IdHashMap.h"

class HandlerListIndex : public HandlerListDelegate {
public:
    HandlerListIndex();

    // 1 when the map could be set up.
    int init(uint32_t bucketHint, uint32_t nodesPerBlock);

    void insert(HandlerEntry* entry) override;
    void unlink(HandlerEntry* entry) override;
    void reset() override;
    // Key 0 asks the list; owner key 0 finds by key alone; otherwise the
    // entry found by key must belong to the owner.
    int find(uint32_t ownerKey, uint32_t key, HandlerEntry** out) override;
    void attach(HandlerList* list) override;

private:
    // Sets busy while the list does the work itself.
    class Busy {
    public:
        explicit Busy(HandlerListIndex& index) : m_index(index) { m_index.m_busy = 1; }
        ~Busy() { m_index.m_busy = 0; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

    private:
        HandlerListIndex& m_index;
    };

    HandlerList* m_list = nullptr;
    IdHashMap m_map;
};
