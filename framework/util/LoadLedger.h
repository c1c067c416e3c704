// What loads make, counted where it is made. A pack's loads share one ledger
// of what is held: every resource keeps the bytes its load made counted until
// it is freed, and a load that fails gives back what it made. A load in
// progress, with every load nested in it, has its own allowance of bytes
// made, which freeing does not give back. Memory a library makes from the
// pack's data outside its loads (the 3D engine's objects) counts block by
// block while it lives.
#pragma once

#include <cstdint>

// The most bytes one load, with every load nested in it, may make: as the 3D
// loader allows one load and the files it references.
constexpr uint64_t kMaxBytesPerLoad = uint64_t(64) << 20;
// The most bytes a pack's resources and the engine's objects may hold
// together, however many ids its lists name: the game was made for a 32 MB
// process, and four times that leaves the largest load room beside the rest.
constexpr uint64_t kMaxBytesPerPack = uint64_t(128) << 20;

class LoadLedger {
public:
    explicit LoadLedger(uint64_t limit = kMaxBytesPerPack) : m_limit(limit) {}
    // Blocks still out are freed uncounted from then on.
    ~LoadLedger();
    LoadLedger(const LoadLedger&) = delete;
    LoadLedger& operator=(const LoadLedger&) = delete;

    // Bytes held now: what live resources' loads made and live blocks.
    uint64_t held() const { return m_held; }
    // Bytes ever charged, by loads and by blocks: the work tests count, and
    // what a list's loads are held to.
    uint64_t made() const { return m_made; }
    // Bytes that may still be held.
    uint64_t room() const { return m_limit - (m_held < m_limit ? m_held : m_limit); }
    // The most bytes the loads of one list of ids may make together (blocks
    // the engine makes for them included), what they keep and what they let
    // go again: what the pack may hold, and as much again read and freed on
    // the way. Without it, descriptions that each make large sources and let
    // them go would make without end while holding little.
    uint64_t listLimit() const { return 2 * m_limit; }

    // Makes this ledger the one blocks count against, until it goes or
    // another one takes them.
    void takeBlocks();
    // A block of size bytes that counts against the ledger taking blocks
    // while it lives; null past that ledger's limit or when memory runs
    // out. Without such a ledger the block counts nowhere.
    static void* allocateBlock(uint32_t size);
    // Frees a block of allocateBlock (null is ignored).
    static void freeBlock(void* block);
    // Blocks refused so far, past a ledger's limit or for want of memory:
    // work that meets one did not get all it asked for.
    static uint64_t blocksRefused();

private:
    friend class LoadScope;
    bool fits(uint64_t bytes) const { return bytes <= room(); }
    void add(uint64_t bytes);
    void remove(uint64_t bytes) { m_held -= bytes < m_held ? bytes : m_held; }

    uint64_t m_limit;
    uint64_t m_held = 0;
    uint64_t m_made = 0;
};

// While one lives, blocks count against no ledger: what the program makes
// for the screen (the renderer's depth buffer, sized by the display) is not
// the pack's, so whether a pack plays never depends on the screen it plays on.
class UncountedBlocks {
public:
    UncountedBlocks();
    ~UncountedBlocks();
    UncountedBlocks(const UncountedBlocks&) = delete;
    UncountedBlocks& operator=(const UncountedBlocks&) = delete;

private:
    LoadLedger* m_ledger;
    uint64_t m_serial;
};

// One load in progress, innermost last. Charges go to the innermost load and
// its ledger; the outermost one holds the allowance they all share.
class LoadScope {
public:
    // ledger may be null: the load then counts only against its allowance.
    explicit LoadScope(LoadLedger* ledger);
    // What no resource took goes back to the ledger: the load failed, and
    // what it made is freed with it.
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;

    static bool active() { return s_innermost != nullptr; }
    // Counts bytes about to be made; false, with nothing counted, when the
    // load or its pack may make no more. Outside any load it always succeeds.
    static bool charge(uint64_t bytes);
    // The load in progress is refused for where it runs (too deep in a chain
    // of sharers, or naming a load it is nested in), not for its bytes: it
    // and the loads around it, but the outermost, would load elsewhere.
    static void refuseHere();
    // Bytes the load in progress made and has freed again (rows it decoded, a
    // sound it unpacked): still spent from its allowance, no longer held.
    static void release(uint64_t bytes);
    // A resource that kept bytes of ledger gives them back when it is freed.
    static void giveBack(LoadLedger* ledger, uint64_t bytes);

    // The bytes this load made, for the resource that keeps them.
    uint64_t take();
    // True when a failure of this load tells nothing of its own bytes: it or
    // a load nested in it was refused for where it ran or for room the loads
    // around it had used, or memory ran out.
    bool failureTellsNothing() const { return m_tellsNothing; }
    // 0, or when the pack had no room for this load or one nested in it, the
    // room it needs at least: what it had made then and what it asked for.
    uint64_t roomNeeded() const { return m_roomNeeded; }

private:
    // The new-handler while a load runs: marks every load of the chain, then
    // fails the allocation as it would have failed.
    static void ranOutOfMemory();

    static LoadScope* s_innermost;
    LoadScope* m_outer;
    LoadScope* m_outermost;
    LoadLedger* m_ledger;
    uint64_t m_own = 0;   // charged while innermost and not yet taken
    uint64_t m_made = 0;  // the outermost's: bytes made by it and every nested load
    uint64_t m_heldAtStart;
    uint64_t m_roomNeeded = 0;
    bool m_tellsNothing = false;
    void (*m_outerNewHandler)() = nullptr;  // the outermost's, given back when it ends
};
