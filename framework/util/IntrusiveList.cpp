// Intrusive doubly linked list.
#include "framework/util/IntrusiveList.h"

ListNode::~ListNode()
{
    unlink();
}

void ListNode::unlink()
{
    IntrusiveList::remove(this);
}

void ListNode::reset()
{
    m_owner = nullptr;
    m_next = nullptr;
    m_prev = nullptr;
    m_value = 0;
}

IntrusiveList::~IntrusiveList()
{
    clear();
}

void IntrusiveList::link(ListNode* node, ListNode* prev, ListNode* next, uintptr_t value)
{
    node->m_owner = this;
    node->m_prev = prev;
    node->m_next = next;
    node->m_value = value != 0 ? value : reinterpret_cast<uintptr_t>(node);
    if (prev)
        prev->m_next = node;
    else
        m_head = node;
    if (next)
        next->m_prev = node;
    else
        m_tail = node;
    ++m_count;
}

int IntrusiveList::pushFront(ListNode* node, uintptr_t value)
{
    return insertBefore(nullptr, node, value);
}

int IntrusiveList::pushBack(ListNode* node, uintptr_t value)
{
    return insertAfter(nullptr, node, value);
}

int IntrusiveList::insertBefore(ListNode* before, ListNode* node, uintptr_t value)
{
    if (node == nullptr || node == before || (before && before->m_owner != this))
        return 0;
    remove(node);
    if (before)
        link(node, before->m_prev, before, value);
    else
        link(node, nullptr, m_head, value);
    return 1;
}

int IntrusiveList::insertAfter(ListNode* after, ListNode* node, uintptr_t value)
{
    if (node == nullptr || node == after || (after && after->m_owner != this))
        return 0;
    remove(node);
    if (after)
        link(node, after, after->m_next, value);
    else
        link(node, m_tail, nullptr, value);
    return 1;
}

int IntrusiveList::insertSorted(ListCompare compare, ListNode* node, uintptr_t value)
{
    if (node == nullptr)
        return 0;
    remove(node);
    const uintptr_t key = value != 0 ? value : reinterpret_cast<uintptr_t>(node);
    ListNode* n = m_head;
    if (compare) {
        while (n && compare(n, key) > 0)
            n = n->m_next;
    } else {
        n = nullptr;
    }
    return n ? insertBefore(n, node, value) : insertAfter(nullptr, node, value);
}

void IntrusiveList::remove(ListNode* node)
{
    if (node == nullptr || node->m_owner == nullptr)
        return;
    IntrusiveList* list = node->m_owner;
    if (node->m_prev)
        node->m_prev->m_next = node->m_next;
    else
        list->m_head = node->m_next;
    if (node->m_next)
        node->m_next->m_prev = node->m_prev;
    else
        list->m_tail = node->m_prev;
    --list->m_count;
    node->m_owner = nullptr;
    node->m_next = nullptr;
    node->m_prev = nullptr;
}

void IntrusiveList::clear()
{
    while (m_head)
        remove(m_head);
}

ListNode* IntrusiveList::find(ListNode* start, ListPredicate predicate, uintptr_t key) const
{
    if (start && start->m_owner != this)
        return nullptr;
    for (ListNode* n = start ? start : m_head; n; n = n->m_next) {
        if (predicate ? predicate(n, key) != 0 : n->m_value == key)
            return n;
    }
    return nullptr;
}

void IntrusiveList::reset()
{
    m_head = nullptr;
    m_tail = nullptr;
    m_count = 0;
}
