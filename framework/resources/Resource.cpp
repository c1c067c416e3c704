// The resource base: the create pattern every typed class shares, and the
// registration of resources made by game code.
#include "framework/resources/Resource.h"

#include "framework/resources/ResourceManager.h"
#include "framework/strings/NameHash.h"
#include "framework/util/LoadLedger.h"

Resource::~Resource()
{
    delete m_payload;
    m_payload = nullptr;
    giveBackMadeBytes();
    if (m_owner != nullptr)
        m_owner->remove(this);
}

void Resource::unload()
{
    delete m_payload;
    m_payload = nullptr;
    m_loaded = 0;
    giveBackMadeBytes();
}

void Resource::keepMadeBytes(LoadLedger* ledger, uint64_t bytes)
{
    giveBackMadeBytes();
    m_ledger = ledger;
    m_madeBytes = bytes;
}

void Resource::giveBackMadeBytes()
{
    LoadScope::giveBack(m_ledger, m_madeBytes);
    m_ledger = nullptr;
    m_madeBytes = 0;
}

int Resource::loadPayload(InputStream&, uint32_t)
{
    return 0;
}

int Resource::create(uint32_t id, InputStream* stream, uint32_t tag)
{
    m_id = id;
    if (m_payload == nullptr)
        m_payload = makePayload();
    if (m_payload == nullptr)
        return ResourceResult::Failed;
    if (stream == nullptr) {
        m_type = tag;
        m_loaded = 1;
        return ResourceResult::Empty;
    }
    if (!acceptsStream() || !loadPayload(*stream, tag)) {
        unload();
        return ResourceResult::Failed;
    }
    m_type = tag;
    m_loaded = 1;
    return ResourceResult::Loaded;
}

void Resource::reset()
{
    m_priority = kResourcePriority;
    m_id = 0;
    m_refCount = 0;
}

int Resource::createAndRegister(uint32_t id, InputStream* stream, uint32_t tag)
{
    int result = create(id, stream, tag);
    if (result == ResourceResult::Failed)
        return 0;
    ResourceManager* manager = getResourceManager();
    if (manager == nullptr || !manager->insert(this)) {
        unload();
        return 0;
    }
    return result;
}

int Resource::createAndRegister(const char* name, InputStream* stream, uint32_t tag)
{
    return createAndRegister(hashName(name) | ResourceIdBits::Name, stream, tag);
}
