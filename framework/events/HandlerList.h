// Intrusive list of entries in descending priority (equal priorities in
// insertion order), circular through a sentinel. It carries event
// subscriptions and timed tasks alike.
//
// Walks are safe against removal: entries erased while any walk of the list
// is running are only marked dead, and freed when the outermost walk ends.
#pragma once

#include "framework/events/HandlerEntry.h"
#include "framework/events/Listener.h"

class HandlerList;

// An index that answers a list's lookups: while attached and not busy, the
// list forwards insert, unlink, reset and find to it; it sets busy while it
// works through the list itself.
class HandlerListDelegate : public HashedObject {
public:
    explicit HandlerListDelegate(uint32_t typeId) : HashedObject(typeId) {}

    virtual void insert(HandlerEntry* entry) = 0;
    virtual void unlink(HandlerEntry* entry) = 0;
    virtual void reset() = 0;
    virtual int find(uint32_t ownerKey, uint32_t key, HandlerEntry** out) = 0;
    virtual void attach(HandlerList* list) = 0;

    uint8_t m_busy = 0;
};

class HandlerList : public Listener {
public:
    HandlerList();
    explicit HandlerList(uint32_t typeId);
    // Deletes the delegate only: the entries belong to their owners.
    ~HandlerList() override;

    // A plain list does nothing and returns the amount.
    int run(uint32_t amount, const TickInfo& tick) override;

    // Null when memory runs out; the caller inserts the entry.
    virtual HandlerEntry* createKeyEntry(uint32_t key, uint32_t priority);
    virtual HandlerEntry* createEntry(uint32_t key, HashedObject* payload, uint32_t ownerKey, uint32_t priority);
    virtual void insert(HandlerEntry* entry);
    // Unlinks without deleting.
    virtual void unlink(HandlerEntry* entry);
    // Forgets every entry without deleting any.
    virtual void reset();
    // Owner key 0 finds by key, key 0 by owner key, both by both; neither finds nothing.
    virtual int find(uint32_t ownerKey, uint32_t key, HandlerEntry** out);

    // The first live entry whose key matches, walking from the head.
    HandlerEntry* findByKey(uint32_t key) const;

    // Unlinks and deletes the entry, or marks it dead while the list is walked.
    void erase(HandlerEntry* entry);

    void setDelegate(HandlerListDelegate* delegate);
    HandlerListDelegate* delegate() const { return m_delegate; }

    HandlerEntry* head() const { return m_head; }
    HandlerEntry* tail() const { return m_tail; }
    const HandlerEntry* end() const { return &m_sentinel; }
    // First live entry, and the live entry after e; null past the last.
    HandlerEntry* first() const { return live(m_head); }
    HandlerEntry* next(const HandlerEntry* e) const { return live(e->m_next); }
    bool isEmpty() const { return m_count == m_deadCount; }
    uint32_t count() const { return m_count - m_deadCount; }

    // Brackets a walk that may call out to code able to erase entries.
    void beginWalk() { ++m_walkDepth; }
    void endWalk();
    bool isWalking() const { return m_walkDepth != 0; }

    class Walk {
    public:
        explicit Walk(HandlerList& list) : m_list(list) { list.beginWalk(); }
        ~Walk() { m_list.endWalk(); }
        Walk(const Walk&) = delete;
        Walk& operator=(const Walk&) = delete;

    private:
        HandlerList& m_list;
    };

protected:
    bool delegateActive() const { return m_delegate && m_delegate->m_busy == 0; }

private:
    HandlerEntry* live(HandlerEntry* e) const;
    int scan(uint32_t ownerKey, uint32_t key, HandlerEntry** out) const;
    void purgeDead();

    HandlerEntry m_sentinel;
    HandlerEntry* m_head;
    HandlerEntry* m_tail;
    HandlerListDelegate* m_delegate = nullptr;
    uint32_t m_count = 0;
    uint32_t m_deadCount = 0;
    uint32_t m_walkDepth = 0;
};
