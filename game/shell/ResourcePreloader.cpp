// Sliced preloading of an id list and its release.
#include "game/shell/ResourcePreloader.h"

#include <vector>

#include "framework/resources/IdList.h"
#include "framework/resources/ResourceManager.h"
#include "framework/resources/TypedResources.h"
#include "framework/util/Clock.h"

namespace {

// One reference a preloader took: released by unloadList, and only in the
// manager that gave it.
struct Preloaded {
    const ResourceManager* manager;
    uint32_t listId;
    uint32_t id;
};

std::vector<Preloaded>& preloaded()
{
    static std::vector<Preloaded> records;
    return records;
}

const IdList* idsOf(Resource* list)
{
    if (!list || list->m_typeId != ResourceClassId::IdList)
        return nullptr;
    return static_cast<IdListResource*>(list)->list();
}

} // namespace

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
        if (manager->loadById(id, nullptr) == ResourceResult::Failed) {
            m_state = PreloadState::Failed;
            break;
        }
        preloaded().push_back(Preloaded{manager, m_listId, id});
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
    std::vector<Preloaded>& records = preloaded();
    std::vector<Preloaded> kept;
    for (const Preloaded& record : records) {
        if (record.listId != listId)
            kept.push_back(record);
        else if (record.manager == manager)
            manager->releaseById(record.id);
        // Records of a manager that is gone are dropped: its references went with it.
    }
    records.swap(kept);
    if (!manager)
        return 0;
    Resource* list = nullptr;
    manager->loadById(listId, &list);
    const int ok = idsOf(list) ? 1 : 0;
    if (list)
        manager->releaseRef(&list);
    return ok;
}
