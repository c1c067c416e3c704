// Load ledgers: the chain of loads in progress, what each has made, and the
// blocks a library makes from a pack. The program loads on one thread, so the
// innermost load and the ledger taking blocks are one pointer each.
#include "framework/util/LoadLedger.h"

#include <cstdlib>
#include <new>

LoadScope* LoadScope::s_innermost = nullptr;

namespace {

// Each block carries what it counted and the ledger it counted against, by
// serial: a ledger that has gone never has its serial taken again.
struct alignas(16) BlockHeader {
    uint64_t counted;
    uint64_t serial;
};

LoadLedger* g_blockLedger = nullptr;
uint64_t g_blockSerial = 0;  // g_blockLedger's; 0 for none
uint64_t g_lastSerial = 0;
uint64_t g_blocksRefused = 0;

} // namespace

LoadLedger::~LoadLedger()
{
    if (g_blockLedger == this) {
        g_blockLedger = nullptr;
        g_blockSerial = 0;
    }
}

void LoadLedger::add(uint64_t bytes)
{
    m_held += bytes;
    m_made += bytes;
}

void LoadLedger::takeBlocks()
{
    g_blockLedger = this;
    g_blockSerial = ++g_lastSerial;
}

void* LoadLedger::allocateBlock(uint32_t size)
{
    LoadLedger* ledger = g_blockLedger;
    const uint64_t counted = uint64_t(size) + sizeof(BlockHeader);
    auto* header = ledger == nullptr || ledger->fits(counted) ? static_cast<BlockHeader*>(std::malloc(counted)) : nullptr;
    if (header == nullptr) {
        ++g_blocksRefused;
        return nullptr;
    }
    *header = BlockHeader{counted, ledger != nullptr ? g_blockSerial : 0};
    if (ledger != nullptr)
        ledger->add(counted);
    return header + 1;
}

void LoadLedger::freeBlock(void* block)
{
    if (block == nullptr)
        return;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->serial != 0 && header->serial == g_blockSerial)
        g_blockLedger->remove(header->counted);
    std::free(header);
}

uint64_t LoadLedger::blocksRefused()
{
    return g_blocksRefused;
}

UncountedBlocks::UncountedBlocks() : m_ledger(g_blockLedger), m_serial(g_blockSerial)
{
    g_blockLedger = nullptr;
    g_blockSerial = 0;
}

UncountedBlocks::~UncountedBlocks()
{
    g_blockLedger = m_ledger;
    g_blockSerial = m_serial;
}

LoadScope::LoadScope(LoadLedger* ledger)
    : m_outer(s_innermost),
      m_outermost(m_outer ? m_outer->m_outermost : this),
      m_ledger(ledger),
      m_heldAtStart(ledger ? ledger->held() : 0)
{
    s_innermost = this;
    if (m_outermost == this)
        m_outerNewHandler = std::set_new_handler(&LoadScope::ranOutOfMemory);
}

LoadScope::~LoadScope()
{
    s_innermost = m_outer;
    if (m_ledger != nullptr)
        m_ledger->remove(m_own);
    if (m_outermost == this)
        std::set_new_handler(m_outerNewHandler);
}

void LoadScope::ranOutOfMemory()
{
    for (LoadScope* scope = s_innermost; scope != nullptr; scope = scope->m_outer)
        scope->m_tellsNothing = true;
    throw std::bad_alloc();
}

bool LoadScope::charge(uint64_t bytes)
{
    LoadScope* scope = s_innermost;
    if (scope == nullptr)
        return true;
    LoadScope* outermost = scope->m_outermost;
    LoadLedger* ledger = scope->m_ledger;
    if (bytes > kMaxBytesPerLoad - outermost->m_made) {
        // Only the outermost load's failure is its own: a nested one may have
        // found the allowance used up by the loads around it.
        refuseHere();
        return false;
    }
    if (ledger != nullptr && !ledger->fits(bytes)) {
        // Each load of the chain needs room for what it made since it began
        // and for what was asked.
        const uint64_t held = ledger->held();
        for (LoadScope* s = scope; s != nullptr; s = s->m_outer) {
            const uint64_t need = held - (s->m_heldAtStart < held ? s->m_heldAtStart : held) + bytes;
            if (s->m_ledger == ledger && need > s->m_roomNeeded)
                s->m_roomNeeded = need;
        }
        return false;
    }
    outermost->m_made += bytes;
    scope->m_own += bytes;
    if (ledger != nullptr)
        ledger->add(bytes);
    return true;
}

void LoadScope::refuseHere()
{
    for (LoadScope* scope = s_innermost; scope != nullptr && scope != scope->m_outermost; scope = scope->m_outer)
        scope->m_tellsNothing = true;
}

void LoadScope::release(uint64_t bytes)
{
    LoadScope* scope = s_innermost;
    if (scope == nullptr)
        return;
    bytes = bytes < scope->m_own ? bytes : scope->m_own;
    scope->m_own -= bytes;
    if (scope->m_ledger != nullptr)
        scope->m_ledger->remove(bytes);
}

void LoadScope::giveBack(LoadLedger* ledger, uint64_t bytes)
{
    if (ledger != nullptr)
        ledger->remove(bytes);
}

uint64_t LoadScope::take()
{
    const uint64_t own = m_own;
    m_own = 0;
    return own;
}
