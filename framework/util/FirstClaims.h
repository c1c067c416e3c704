// Slots handed out to the first of a run of intervals that covers each:
// intervals claim in the order that decides between overlapping ones, and
// every slot is visited once however they overlap, so n intervals over m
// slots cost n + m steps and never n x m.
#pragma once

#include <cstdint>
#include <numeric>
#include <utility>

class FirstClaims {
public:
    // Slots 0 .. count - 1, none claimed, kept in next: count + 1 words of
    // the caller's, so each layer allocates them its own way.
    FirstClaims(int64_t* next, int64_t count) : m_next(next) { std::iota(next, next + count + 1, int64_t{0}); }

    // take(slot) for each slot of [low, high] that no earlier claim took.
    template <class Take>
    void claim(int64_t low, int64_t high, Take take)
    {
        if (low > high)
            return;
        for (int64_t s = unclaimed(low); s <= high; s = unclaimed(s)) {
            take(s);
            m_next[s] = s + 1;
        }
    }

private:
    // The first slot at or above s not yet claimed; the path is shortened on
    // the way so later searches skip what this one walked.
    int64_t unclaimed(int64_t s)
    {
        int64_t root = s;
        while (m_next[root] != root)
            root = m_next[root];
        while (m_next[s] != root)
            s = std::exchange(m_next[s], root);
        return root;
    }

    int64_t* m_next;  // one past the last slot stays unclaimed
};
