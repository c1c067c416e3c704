// What loads make, counted where it is made. A pack's loads share one ledger:
// every resource keeps the bytes its load made counted against its pack until
// it is freed. A load in progress, with every load nested in it, has its own
// allowance of bytes made, which freeing does not give back.
#pragma once

#include <cstdint>

// The most bytes one load, with every load nested in it, may make: as the 3D
// loader allows one load and the files it references.
constexpr uint64_t kMaxBytesPerLoad = uint64_t(64) << 20;
// The most bytes a pack's resources may hold together, however many ids its
// lists name: the game was made for a 32 MB process, and four times that
// leaves the largest load room beside the rest.
constexpr uint64_t kMaxBytesPerPack = uint64_t(128) << 20;

class LoadLedger {
public:
    explicit LoadLedger(uint64_t limit = kMaxBytesPerPack) : m_limit(limit) {}

    // Bytes counted now: those live resources hold, and those of loads that
    // failed, which stay counted (a list naming a failing load a thousand
    // times would otherwise make its bytes a thousand times).
    uint64_t held() const { return m_held; }
    // Bytes ever charged: the work tests count.
    uint64_t made() const { return m_made; }

private:
    friend class LoadScope;
    uint64_t m_limit;
    uint64_t m_held = 0;
    uint64_t m_made = 0;
};

// One load in progress, innermost last. Charges go to the innermost load and
// its ledger; the outermost one holds the allowance they all share.
class LoadScope {
public:
    // ledger may be null: the load then counts only against its allowance.
    explicit LoadScope(LoadLedger* ledger);
    // Bytes no resource took stay counted: a nested load's pass to the load
    // around it, the outermost's stay in the ledger.
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

    static bool active() { return s_innermost != nullptr; }
    // Counts bytes about to be made; false, with nothing counted, when the
    // load or its pack may make no more. Outside any load it always succeeds.
    static bool charge(uint64_t bytes);
    // A resource that kept bytes of ledger gives them back when it is freed;
    // freed while a load of the same ledger runs, they stay counted as that
    // load's.
    static void giveBack(LoadLedger* ledger, uint64_t bytes);

    // The bytes this load made, for the resource that keeps them.
    uint64_t take();

private:
    static LoadScope* s_innermost;
    LoadScope* m_outer;
    LoadScope* m_outermost;
    LoadLedger* m_ledger;
    uint64_t m_own = 0;   // charged while innermost, and passed on by nested loads
    uint64_t m_made = 0;  // the outermost's: bytes made by it and every nested load
};
