// A shared, reference-counted asset known by its resource id. The typed
// classes say which payload object they make and how it reads a stream; the
// resource manager that holds a resource (its owner) counts its users.
#pragma once

#include <cstdint>

#include "framework/resources/ResourceIds.h"
#include "framework/services/HashedObject.h"

class InputStream;
class LoadLedger;
class ResourceManager;

class Resource : public HashedObject {
public:
    explicit Resource(uint32_t typeId = ResourceClassId::Resource) : HashedObject(typeId) {}
    // Deletes the payload and takes itself out of its owner's table.
    ~Resource() override;

    // Deletes the payload and clears the loaded flag, so a table-held
    // resource without a payload is never handed out as loaded.
    virtual void unload();
    virtual uint32_t memorySize() const { return 0; }
    virtual HashedObject* payload() const { return m_payload; }
    // Stores the id and makes the payload; with a stream the payload reads
    // it. ResourceResult::Loaded, Empty (no stream) or Failed.
    virtual int create(uint32_t id, InputStream* stream, uint32_t tag);
    virtual void reset();

    // create, then hand the resource to the application's resource manager,
    // which takes the first reference. 0 when either step fails.
    int createAndRegister(uint32_t id, InputStream* stream, uint32_t tag);
    int createAndRegister(const char* name, InputStream* stream, uint32_t tag);

    uint32_t id() const { return m_id; }
    // The type word of the last create that worked: what a reload by id
    // reads by.
    uint32_t type() const { return m_type; }
    int isLoaded() const { return m_loaded; }
    void setLoaded(int loaded) { m_loaded = loaded ? 1 : 0; }
    uint32_t refCount() const { return m_refCount; }
    void addRef() { ++m_refCount; }
    void dropRef()
    {
        if (m_refCount != 0)
            --m_refCount;
    }
    void setRefCount(uint32_t count) { m_refCount = count; }
    ResourceManager* owner() const { return m_owner; }
    void setOwner(ResourceManager* owner) { m_owner = owner; }
    // An older resource of the same id that this one shadows in its owner's
    // table; the owner keeps the link.
    Resource* shadowed() const { return m_shadowed; }
    void setShadowed(Resource* older) { m_shadowed = older; }
    // Neighbours in the order the owner took its resources in; the owner
    // keeps the links.
    Resource* heldAfter() const { return m_heldAfter; }
    Resource* heldBefore() const { return m_heldBefore; }
    void setHeldNeighbours(Resource* before, Resource* after)
    {
        m_heldBefore = before;
        m_heldAfter = after;
    }
    // The bytes its load made, counted against ledger until the payload goes
    // or the resource leaves its owner.
    void keepMadeBytes(LoadLedger* ledger, uint64_t bytes);
    void giveBackMadeBytes();

    uint32_t m_priority = kResourcePriority;

protected:
    // A new, empty payload; null when it cannot be made.
    virtual HashedObject* makePayload() { return nullptr; }
    // Fills m_payload from the stream; 1 on success.
    virtual int loadPayload(InputStream& stream, uint32_t tag);
    // Classes that cannot take a stream (textures made in memory) refuse one.
    virtual bool acceptsStream() const { return true; }

    HashedObject* m_payload = nullptr;

private:
    uint32_t m_id = 0;
    uint32_t m_type = 0;
    uint8_t m_loaded = 0;
    uint32_t m_refCount = 0;
    ResourceManager* m_owner = nullptr;
    Resource* m_shadowed = nullptr;
    Resource* m_heldBefore = nullptr;
    Resource* m_heldAfter = nullptr;
    LoadLedger* m_ledger = nullptr;
    uint64_t m_madeBytes = 0;
};
