// A doubly linked list whose links live in the nodes. The list does not own
// its nodes; a node is in at most one list, and either side unlinks itself
// when destroyed so no dangling link survives.
#pragma once

#include <cstdint>

class IntrusiveList;

class ListNode {
public:
    ListNode() = default;
    virtual ~ListNode();

    ListNode(const ListNode&) = delete;
    ListNode& operator=(const ListNode&) = delete;

    // Takes the node out of whichever list holds it; nothing when it is in none.
    void unlink();
    // Zeroes the links without touching any list.
    void reset();

    IntrusiveList* owner() const { return m_owner; }
    ListNode* next() const { return m_next; }
    ListNode* prev() const { return m_prev; }
    uintptr_t value() const { return m_value; }

private:
    friend class IntrusiveList;

    IntrusiveList* m_owner = nullptr;
    ListNode* m_next = nullptr;
    ListNode* m_prev = nullptr;
    uintptr_t m_value = 0;
};

// Ordering and matching callbacks; value and key are the caller's word.
using ListCompare = int (*)(ListNode* node, uintptr_t value);
using ListPredicate = int (*)(ListNode* node, uintptr_t key);

class IntrusiveList {
public:
    IntrusiveList() = default;
    virtual ~IntrusiveList();

    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;

    // The inserts first take the node out of any list it is in. A value of 0
    // stores the node's own address. They return 1, or 0 when the node is null
    // or the anchor node belongs to another list.
    int pushFront(ListNode* node, uintptr_t value = 0);
    int pushBack(ListNode* node, uintptr_t value = 0);
    // Before the anchor, or at the head when it is null.
    int insertBefore(ListNode* before, ListNode* node, uintptr_t value = 0);
    // After the anchor, or at the tail when it is null.
    int insertAfter(ListNode* after, ListNode* node, uintptr_t value = 0);
    // Before the first node n with compare(n, value) <= 0, else at the tail.
    int insertSorted(ListCompare compare, ListNode* node, uintptr_t value = 0);

    // Unlinks the node from the list that owns it, whichever that is.
    static void remove(ListNode* node);
    void clear();

    // First node from start (or the head) that the predicate accepts or, without
    // a predicate, whose value equals key; null if none.
    ListNode* find(ListNode* start, ListPredicate predicate, uintptr_t key) const;

    // Zeroes the fields without unlinking anything.
    void reset();

    ListNode* head() const { return m_head; }
    ListNode* tail() const { return m_tail; }
    uint32_t count() const { return m_count; }

private:
    void link(ListNode* node, ListNode* prev, ListNode* next, uintptr_t value);

    ListNode* m_head = nullptr;
    ListNode* m_tail = nullptr;
    uint32_t m_count = 0;
};
