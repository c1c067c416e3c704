#include "framework/util/IntrusiveList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::vector<uintptr_t> values(const IntrusiveList& list)
{
    std::vector<uintptr_t> out;
    for (ListNode* n = list.head(); n; n = n->next())
        out.push_back(n->value());
    return out;
}

// Walks both directions so a broken back link shows up too.
void expectConsistent(const IntrusiveList& list)
{
    uint32_t n = 0;
    ListNode* last = nullptr;
    for (ListNode* node = list.head(); node; node = node->next()) {
        EXPECT_EQ(node->prev(), last);
        EXPECT_EQ(node->owner(), &list);
        last = node;
        ++n;
    }
    EXPECT_EQ(list.tail(), last);
    EXPECT_EQ(list.count(), n);
}

using Values = std::vector<uintptr_t>;

TEST(IntrusiveList, InsertsLinkAtTheRequestedPlace)
{
    IntrusiveList list;
    ListNode a, b, c, d, e;
    list.pushBack(&a, 1);
    list.pushFront(&b, 2);
    list.insertAfter(&b, &c, 3);
    list.insertBefore(nullptr, &d, 4);
    list.insertAfter(nullptr, &e, 5);
    EXPECT_EQ(values(list), (Values{4, 2, 3, 1, 5}));
    expectConsistent(list);

    ListNode self;
    list.pushBack(&self);
    EXPECT_EQ(self.value(), reinterpret_cast<uintptr_t>(&self));
}

TEST(IntrusiveList, InsertSortedPlacesBeforeFirstNodeNotGreater)
{
    // Descending order: a node goes before the first whose value is <= its own.
    auto compare = [](ListNode* n, uintptr_t value) { return n->value() > value ? 1 : (n->value() == value ? 0 : -1); };
    IntrusiveList list;
    ListNode nodes[5];
    const uintptr_t order[] = {5, 9, 1, 5, 7};
    for (int i = 0; i < 5; ++i)
        list.insertSorted(compare, &nodes[i], order[i]);
    EXPECT_EQ(values(list), (Values{9, 7, 5, 5, 1}));
    EXPECT_EQ(list.find(nullptr, nullptr, 5), &nodes[3]); // the later equal goes first
    expectConsistent(list);
    EXPECT_EQ(list.insertSorted(compare, nullptr, 3), 0);
}

TEST(IntrusiveList, RemoveUnlinksFromWhicheverListOwnsTheNode)
{
    IntrusiveList first, second;
    ListNode a, b, c;
    first.pushBack(&a, 1);
    first.pushBack(&b, 2);
    second.pushBack(&c, 3);
    IntrusiveList::remove(&c);
    EXPECT_EQ(second.count(), 0u);
    EXPECT_EQ(second.head(), nullptr);
    EXPECT_EQ(c.owner(), nullptr);

    // Moving a node takes it out of its old list first.
    second.pushBack(&a, 4);
    EXPECT_EQ(values(first), (Values{2}));
    EXPECT_EQ(values(second), (Values{4}));
    expectConsistent(first);
    expectConsistent(second);

    b.unlink();
    b.unlink();
    EXPECT_EQ(first.count(), 0u);
    EXPECT_EQ(first.tail(), nullptr);
}

TEST(IntrusiveList, InsertsRejectAnchorsOfOtherLists)
{
    IntrusiveList first, second;
    ListNode a, b;
    first.pushBack(&a, 1);
    EXPECT_EQ(second.insertBefore(&a, &b, 2), 0);
    EXPECT_EQ(second.insertAfter(&a, &b, 2), 0);
    EXPECT_EQ(b.owner(), nullptr);
    EXPECT_EQ(first.insertAfter(&a, &a, 2), 0);
    expectConsistent(first);
}

TEST(IntrusiveList, FindUsesPredicateOrValueFromStart)
{
    IntrusiveList list;
    ListNode nodes[4];
    for (uintptr_t i = 0; i < 4; ++i)
        list.pushBack(&nodes[i], 10 + i);
    auto even = [](ListNode* n, uintptr_t) { return int(n->value() % 2 == 0); };
    EXPECT_EQ(list.find(nullptr, even, 0), &nodes[0]);
    EXPECT_EQ(list.find(&nodes[1], even, 0), &nodes[2]);
    EXPECT_EQ(list.find(nullptr, nullptr, 13), &nodes[3]);
    EXPECT_EQ(list.find(nullptr, nullptr, 99), nullptr);
}

TEST(IntrusiveList, DestroyingNodeOrListLeavesNoDanglingLinks)
{
    IntrusiveList list;
    ListNode a, b;
    list.pushBack(&a, 1);
    {
        ListNode temporary;
        list.insertAfter(&a, &temporary, 2);
        list.pushBack(&b, 3);
    }
    EXPECT_EQ(values(list), (Values{1, 3}));
    expectConsistent(list);

    ListNode survivor;
    {
        auto scoped = std::make_unique<IntrusiveList>();
        scoped->pushBack(&survivor, 7);
    }
    EXPECT_EQ(survivor.owner(), nullptr);
    EXPECT_EQ(survivor.next(), nullptr);

    list.clear();
    EXPECT_EQ(a.owner(), nullptr);
    EXPECT_EQ(b.prev(), nullptr);
    EXPECT_EQ(list.count(), 0u);
}

} // namespace
