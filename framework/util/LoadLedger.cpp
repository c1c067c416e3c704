// Load ledgers: the chain of loads in progress and what each has made. The
// program loads on one thread, so the innermost load is one pointer.
#include "framework/util/LoadLedger.h"

#include <algorithm>

LoadScope* LoadScope::s_innermost = nullptr;

LoadScope::LoadScope(LoadLedger* ledger)
    : m_outer(s_innermost), m_outermost(m_outer ? m_outer->m_outermost : this), m_ledger(ledger)
{
    s_innermost = this;
}

LoadScope::~LoadScope()
{
    s_innermost = m_outer;
    if (m_outer != nullptr)
        m_outer->m_own += m_own;
}

bool LoadScope::charge(uint64_t bytes)
{
    LoadScope* scope = s_innermost;
    if (scope == nullptr)
        return true;
    LoadScope* outermost = scope->m_outermost;
    LoadLedger* ledger = scope->m_ledger;
    if (bytes > kMaxBytesPerLoad - outermost->m_made
        || (ledger != nullptr && bytes > ledger->m_limit - std::min(ledger->m_held, ledger->m_limit)))
        return false;
    outermost->m_made += bytes;
    scope->m_own += bytes;
    if (ledger != nullptr) {
        ledger->m_held += bytes;
        ledger->m_made += bytes;
    }
    return true;
}

void LoadScope::giveBack(LoadLedger* ledger, uint64_t bytes)
{
    if (ledger == nullptr)
        return;
    if (s_innermost != nullptr && s_innermost->m_ledger == ledger)
        s_innermost->m_own += bytes;
    else
        ledger->m_held -= std::min(bytes, ledger->m_held);
}

uint64_t LoadScope::take()
{
    const uint64_t own = m_own;
    m_own = 0;
    return own;
}
