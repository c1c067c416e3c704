// Sliced preloading of an id list and its release.
#include "game/shell/ResourcePreloader.h"

#include <new>
#include <vector>

#include "framework/resources/IdList.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/TypedResources.h"
#include "framework/util/Clock.h"
#include "framework/util/KeyIndex.h"

namespace {

// One reference a preloader took: released by unloadList, and only in the
// manager that gave it.
struct Preloaded {
    const ResourceManager* manager;
    uint32_t id;
};

// The references of each list, found by its id: an unload looks at its own
// list's records and no other.
struct PreloadRecords {
    KeyIndex<uint32_t> groupOf;
    std::vector<std::vector<Preloaded>> groups;
    uint64_t probes = 0;

    std::vector<Preloaded>* group(uint32_t listId)
    {
        const uint32_t* at = groupOf.find(listId);
        return at ? &groups[*at] : nullptr;
    }
};

PreloadRecords& preloaded()
{
    static PreloadRecords records;
    return records;
}

const IdList* idsOf(Resource* list)
{
    if (!list || list->m_typeId != ResourceClassId::IdList)
        return nullptr;
    return static_cast<IdListResource*>(list)->list();
}

// Without a record the reference stays with the manager, which frees it
// when it closes; a list's slot is claimed only once its group is there.
void recordPreload(uint32_t listId, const Preloaded& record)
{
    PreloadRecords& records = preloaded();
    try {
        std::vector<Preloaded>* group = records.group(listId);
        if (!group) {
            records.groups.emplace_back();
            if (!records.groupOf.claim(listId, uint32_t(records.groups.size() - 1))) {
                records.groups.pop_back();
                return;
            }
            group = &records.groups.back();
        }
        group->push_back(record);
    } catch (const std::bad_alloc&) {
    }
}

} // namespace

uint64_t ResourcePreloader::probes()
{
    return preloaded().probes + preloaded().groupOf.probes();
}

void ResourcePreloader::forgetList()
{
    if (!m_list)
        return;
    if (ResourceManager* manager = getResourceManager())
        manager->releaseRef(&m_list);
    m_list = nullptr;
}

void ResourcePreloader::start(uint32_t listId)
{
    if (m_state == PreloadState::Loading)
        return;
    forgetList();
    m_listId = listId;
    m_next = 0;
    m_count = 0;
    m_state = PreloadState::Failed;
    ResourceManager* manager = getResourceManager();
    if (!manager)
        return;
    m_madeBefore = manager->ledger().made();
    manager->loadById(listId, &m_list);
    if (const IdList* ids = idsOf(m_list)) {
        m_count = ids->count();
        m_state = PreloadState::Loading;
    } else {
        forgetList();
    }
}

void ResourcePreloader::step()
{
    ResourceManager* manager = getResourceManager();
    const IdList* ids = idsOf(m_list);
    if (m_state == PreloadState::Loading && (!manager || !ids))
        m_state = PreloadState::Failed;
    const uint32_t began = tickCountNow();
    while (m_state == PreloadState::Loading && tickCountNow() - began < kSliceMs) {
        // An empty list is done at once.
        if (m_next >= m_count) {
            m_state = PreloadState::Done;
            break;
        }
        const uint32_t id = ids->get(m_next);
        if (manager->ledger().made() - m_madeBefore > manager->ledger().listLimit() ||
            manager->loadById(id, nullptr) == ResourceResult::Failed) {
            m_state = PreloadState::Failed;
            break;
        }
        recordPreload(m_listId, Preloaded{manager, id});
        if (++m_next >= m_count)
            m_state = PreloadState::Done;
    }
    if (m_state != PreloadState::Loading)
        forgetList();
}

uint32_t ResourcePreloader::getPercent() const
{
    if (m_state != PreloadState::Loading || m_count == 0)
        return 100;
    return static_cast<uint32_t>(uint64_t(100) * m_next / m_count);
}

int ResourcePreloader::unloadList(uint32_t listId)
{
    ResourceManager* manager = getResourceManager();
    PreloadRecords& records = preloaded();
    if (std::vector<Preloaded>* group = records.group(listId)) {
        std::vector<Preloaded> taken;
        taken.swap(*group);
        records.probes += taken.size();
        // Records of a manager that is gone are dropped: its references went with it.
        for (const Preloaded& record : taken)
            if (record.manager == manager)
                manager->releaseById(record.id);
    }
    if (!manager)
        return 0;
    Resource* list = nullptr;
    manager->loadById(listId, &list);
    const int ok = idsOf(list) ? 1 : 0;
    if (list)
        manager->releaseRef(&list);
    return ok;
}
