#include "framework/events/HandlerList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<uint32_t> keysOf(const HandlerList& list)
{
    std::vector<uint32_t> keys;
    for (HandlerEntry* e = list.first(); e; e = list.next(e))
        keys.push_back(e->m_key);
    return keys;
}

void deleteAll(HandlerList& list)
{
    while (HandlerEntry* e = list.first())
        list.erase(e);
}
} // namespace

TEST(HandlerList, InsertKeepsDescendingPriorityAndInsertionOrderAmongEquals)
{
    const struct {
        std::vector<uint32_t> priorities;
        std::vector<uint32_t> order; // keys = 1-based insertion index
    } cases[] = {
        {{5, 9, 5}, {2, 1, 3}},
        {{1, 2, 3}, {3, 2, 1}},
        {{3, 2, 1}, {1, 2, 3}},
        {{4, 4, 4}, {1, 2, 3}},
        {{2, 7, 2, 7, 9, 0}, {5, 2, 4, 1, 3, 6}},
    };
    for (const auto& c : cases) {
        HandlerList list;
        for (size_t i = 0; i < c.priorities.size(); ++i)
            list.insert(list.createEntry(uint32_t(i + 1), nullptr, 0, c.priorities[i]));
        EXPECT_EQ(keysOf(list), c.order);
        // The ring closes through the sentinel in both directions.
        EXPECT_EQ(list.head()->m_prev, nullptr);
        EXPECT_EQ(list.tail()->m_next, list.end());
        EXPECT_EQ(list.end()->m_prev, list.tail());
        deleteAll(list);
        EXPECT_TRUE(list.isEmpty());
        EXPECT_EQ(list.head(), list.end());
    }
}

TEST(HandlerList, FindByOwnerKeyKeyOrBoth)
{
    HandlerList list;
    list.insert(list.createEntry(10, nullptr, 100, 5));
    list.insert(list.createEntry(20, nullptr, 100, 5));
    list.insert(list.createEntry(10, nullptr, 200, 5));
    const struct {
        uint32_t owner, key;
        int found;
        uint32_t foundKey, foundOwner;
    } cases[] = {
        {0, 0, 0, 0, 0}, {0, 10, 1, 10, 100}, {100, 0, 1, 10, 100}, {200, 10, 1, 10, 200},
        {100, 20, 1, 20, 100}, {200, 20, 0, 0, 0}, {0, 30, 0, 0, 0},
    };
    for (const auto& c : cases) {
        HandlerEntry* out = reinterpret_cast<HandlerEntry*>(&list);
        EXPECT_EQ(list.find(c.owner, c.key, &out), c.found) << c.owner << " " << c.key;
        if (c.found) {
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->m_key, c.foundKey);
            EXPECT_EQ(out->m_ownerKey, c.foundOwner);
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    EXPECT_EQ(list.findByKey(20)->m_ownerKey, 100u);
    deleteAll(list);
}

TEST(HandlerList, UnlinkFromEveryPositionKeepsTheRing)
{
    for (int victim = 0; victim < 3; ++victim) {
        HandlerList list;
        HandlerEntry* entries[3];
        for (int i = 0; i < 3; ++i) {
            entries[i] = list.createEntry(uint32_t(i + 1), nullptr, 0, 1);
            list.insert(entries[i]);
        }
        list.unlink(entries[victim]);
        delete entries[victim];
        EXPECT_EQ(list.count(), 2u);
        std::vector<uint32_t> expected;
        for (int i = 0; i < 3; ++i)
            if (i != victim)
                expected.push_back(uint32_t(i + 1));
        EXPECT_EQ(keysOf(list), expected);
        EXPECT_EQ(list.end()->m_prev, list.tail());
        EXPECT_EQ(list.head()->m_prev, nullptr);
        deleteAll(list);
    }
}

TEST(HandlerList, EraseDuringWalkIsDeferredToTheOutermostWalkEnd)
{
    HandlerList list;
    for (uint32_t k = 1; k <= 4; ++k)
        list.insert(list.createEntry(k, nullptr, 0, 1));
    std::vector<uint32_t> seen;
    {
        HandlerList::Walk outer(list);
        for (HandlerEntry* e = list.first(); e; e = list.next(e)) {
            seen.push_back(e->m_key);
            if (e->m_key == 1) {
                HandlerList::Walk inner(list);
                list.erase(e);              // itself
                list.erase(list.next(e));   // and the next one
            }
        }
        EXPECT_EQ(list.count(), 2u);
        HandlerEntry* out = nullptr;
        EXPECT_EQ(list.find(0, 2, &out), 0);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{1, 3, 4}));
    EXPECT_EQ(keysOf(list), (std::vector<uint32_t>{3, 4}));
    EXPECT_EQ(list.count(), 2u);
    deleteAll(list);
}

namespace {
// Index that counts what it is asked and does the work through the list.
struct CountingDelegate : HandlerListDelegate {
    CountingDelegate() : HandlerListDelegate(0x21d748ff) {}
    void insert(HandlerEntry* e) override { ++inserts; through([&] { m_list->insert(e); }); }
    void unlink(HandlerEntry* e) override { ++unlinks; through([&] { m_list->unlink(e); }); }
    void reset() override { through([&] { m_list->reset(); }); }
    int find(uint32_t owner, uint32_t key, HandlerEntry** out) override
    {
        ++finds;
        int r = 0;
        through([&] { r = m_list->find(owner, key, out); });
        return r;
    }
    void attach(HandlerList* list) override { m_list = list; }
    template <typename F> void through(F f)
    {
        m_busy = 1;
        f();
        m_busy = 0;
    }
    HandlerList* m_list = nullptr;
    int inserts = 0, unlinks = 0, finds = 0;
};
} // namespace

TEST(HandlerList, AttachedDelegateAnswersInsertUnlinkAndFind)
{
    HandlerList list;
    auto* index = new CountingDelegate;
    list.setDelegate(index);
    HandlerEntry* e = list.createEntry(5, nullptr, 0, 1);
    list.insert(e);
    HandlerEntry* out = nullptr;
    EXPECT_EQ(list.find(0, 5, &out), 1);
    EXPECT_EQ(out, e);
    list.erase(e);
    EXPECT_EQ(index->inserts, 1);
    EXPECT_EQ(index->finds, 1);
    EXPECT_EQ(index->unlinks, 1);
    EXPECT_TRUE(list.isEmpty());
}

TEST(HandlerList, PlainRunReturnsItsAmount)
{
    HandlerList list;
    EXPECT_EQ(list.run(7, TickInfo{}), 7);
    EXPECT_EQ(list.m_typeId, TypeId::HandlerList);
}
