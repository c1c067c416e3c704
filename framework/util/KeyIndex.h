// Map from integer keys (32-bit unless asked) to small values, open-addressed and hashed with a
// seed each index draws for itself. Keys come from files (ids, name hashes):
// a hash they could aim would put them all in one chain, so no key a file
// chooses makes a lookup cost more than a few probes.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "framework/util/LoadLedger.h"

// A fresh seed on every call; not predictable from the keys.
uint64_t drawKeyIndexSeed();

template <class Value, class Key = uint32_t>
class KeyIndex {
public:
    KeyIndex() : m_seed(drawKeyIndexSeed()) {}

    // The value of key, or null.
    const Value* find(Key key) const
    {
        const int64_t s = slotOf(key);
        return s < 0 ? nullptr : &m_slots[s].value;
    }
    Value* find(Key key) { return const_cast<Value*>(static_cast<const KeyIndex*>(this)->find(key)); }

    // Adds key with value when key is absent; a present key keeps its value
    // (the first claim wins). The stored value, or null when memory runs out.
    Value* claim(Key key, const Value& value)
    {
        if (Value* present = find(key))
            return present;
        if (!reserve(m_count + 1))
            return nullptr;
        uint64_t s = home(key);
        for (; m_slots[s].used; s = (s + 1) & m_mask)
            ++m_probes;
        m_slots[s] = Slot{key, 1, value};
        ++m_count;
        return &m_slots[s].value;
    }

    // Takes key out; the keys behind it in its run move up, so no search
    // ever walks past a gap. 1 when it was there.
    int erase(Key key)
    {
        const int64_t slot = slotOf(key);
        if (slot < 0)
            return 0;
        uint64_t gap = static_cast<uint64_t>(slot);
        for (uint64_t s = (gap + 1) & m_mask; m_slots[s].used; s = (s + 1) & m_mask) {
            ++m_probes;
            // A key may fill the gap when its home does not lie in (gap, s].
            const uint64_t h = home(m_slots[s].key);
            if (((s - h) & m_mask) >= ((s - gap) & m_mask)) {
                m_slots[gap] = m_slots[s];
                gap = s;
            }
        }
        m_slots[gap].used = 0;
        --m_count;
        return 1;
    }

    // Room for n keys at most half full; false (and the index as it was)
    // when memory runs out.
    bool reserve(uint64_t n)
    {
        uint64_t capacity = m_slots ? m_mask + 1 : 0;
        if (2 * n <= capacity)
            return true;
        uint64_t grown = capacity ? capacity : 16;
        while (grown < 2 * n)
            grown *= 2;
        // Keys a file names cost the load that reads them.
        if (!LoadScope::charge((grown - capacity) * sizeof(Slot)))
            return false;
        std::unique_ptr<Slot[]> slots(new (std::nothrow) Slot[grown]());
        if (!slots)
            return false;
        std::swap(slots, m_slots);
        m_mask = grown - 1;
        for (uint64_t i = 0; i < capacity; ++i) {
            if (!slots[i].used)
                continue;
            uint64_t s = home(slots[i].key);
            for (; m_slots[s].used; s = (s + 1) & m_mask)
                ++m_probes;
            m_slots[s] = slots[i];
        }
        m_probes += capacity;
        return true;
    }

    void clear()
    {
        m_slots.reset();
        m_mask = 0;
        m_count = 0;
    }

    // Calls visit(key, value) for every key, in no fixed order.
    template <class Visit>
    void forEach(Visit visit) const
    {
        for (uint64_t i = 0; m_slots && i <= m_mask; ++i)
            if (m_slots[i].used)
                visit(m_slots[i].key, m_slots[i].value);
    }

    uint64_t size() const { return m_count; }
    // Bytes the slots take.
    uint64_t heldBytes() const { return m_slots ? (m_mask + 1) * sizeof(Slot) : 0; }
    // Slots looked at so far: the work tests count.
    uint64_t probes() const { return m_probes; }

private:
    struct Slot {
        Key key;
        uint8_t used;
        Value value;
    };

    // The slot that holds key, or -1.
    int64_t slotOf(Key key) const
    {
        if (m_count == 0)
            return -1;
        for (uint64_t s = home(key);; s = (s + 1) & m_mask) {
            ++m_probes;
            if (!m_slots[s].used)
                return -1;
            if (m_slots[s].key == key)
                return static_cast<int64_t>(s);
        }
    }

    uint64_t home(Key key) const
    {
        uint64_t h = (uint64_t(key) ^ m_seed) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull ^ (m_seed << 1);
        h ^= h >> 32;
        return h & m_mask;
    }

    std::unique_ptr<Slot[]> m_slots;
    uint64_t m_mask = 0;
    uint64_t m_count = 0;
    uint64_t m_seed;
    mutable uint64_t m_probes = 0;
};
