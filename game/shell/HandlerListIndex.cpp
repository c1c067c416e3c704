// The router index: list operations mirrored into the key map.
#include "game/shell/HandlerListIndex.h"

#include "game/shell/ShellIds.h"

HandlerListIndex::HandlerListIndex() : HandlerListDelegate(TypeId::HandlerListIndex) {}

int HandlerListIndex::init(uint32_t bucketHint, uint32_t nodesPerBlock)
{
    return m_map.init(bucketHint, nodesPerBlock, true);
}

void HandlerListIndex::insert(HandlerEntry* entry)
{
    if (!m_list || !entry)
        return;
    {
        Busy busy(*this);
        m_list->insert(entry);
    }
    m_map.insert(entry->m_key, entry);
}

void HandlerListIndex::unlink(HandlerEntry* entry)
{
    if (!m_list || !entry)
        return;
    {
        Busy busy(*this);
        m_list->unlink(entry);
    }
    m_map.removeValue(entry->m_key, entry);
}

void HandlerListIndex::reset()
{
    if (m_list) {
        Busy busy(*this);
        m_list->reset();
    }
    m_map.clear();
}

int HandlerListIndex::find(uint32_t ownerKey, uint32_t key, HandlerEntry** out)
{
    if (key == 0 && m_list) {
        Busy busy(*this);
        return m_list->find(ownerKey, key, out);
    }
    void* value = nullptr;
    HandlerEntry* entry = m_map.find(key, &value) ? static_cast<HandlerEntry*>(value) : nullptr;
    if (entry && ownerKey != 0 && entry->m_ownerKey != ownerKey)
        entry = nullptr;
    if (out)
        *out = entry;
    return entry ? 1 : 0;
}

void HandlerListIndex::attach(HandlerList* list)
{
    m_list = list;
    m_map.clear();
    if (!list)
        return;
    for (HandlerEntry* e = list->first(); e; e = list->next(e))
        m_map.insert(e->m_key, e);
}
