// The resource cache's operations: what the game and the libraries may ask
// of the one resource manager. Loads answer with ResourceResult codes.
#pragma once

#include <cstdint>

#include "framework/resources/ResourceIds.h"
#include "framework/services/HashedObject.h"

class InputStream;
class Resource;
class ResourcePack;

// Loads of data the caller supplies, keyed by id, by name or by wide name.
// Arrays of them end with a record whose third word is 0.
struct ResourceLoadRecord {
    uint32_t tag;
    InputStream* stream;
    uint32_t id;
};
struct NamedResourceRecord {
    uint32_t tag;
    InputStream* stream;
    const char* name;
};
struct WideNamedResourceRecord {
    uint32_t tag;
    InputStream* stream;
    const char16_t* name;
};

class ResourceCache : public HashedObject {
public:
    explicit ResourceCache(uint32_t typeId = ResourceClassId::ResourceCache) : HashedObject(typeId) {}

    virtual int openTable(ResourcePack* pack, uint32_t bucketHint, uint32_t nodesPerBlock, bool grow) = 0;
    virtual void close() = 0;
    virtual int insert(Resource* resource) = 0;
    virtual int remove(Resource* resource) = 0;
    virtual int removeById(uint32_t id) = 0;
    virtual int load(Resource** out, uint32_t id, uint32_t tag, InputStream* stream) = 0;
    virtual int loadWideNamed(const WideNamedResourceRecord& record, Resource** out) = 0;
    virtual int loadNamed(const NamedResourceRecord& record, Resource** out) = 0;
    virtual int loadRecord(const ResourceLoadRecord& record, Resource** out) = 0;
    virtual int loadById(uint32_t id, Resource** out) = 0;
    virtual int loadWideNamedArray(const WideNamedResourceRecord* records) = 0;
    virtual int loadNamedArray(const NamedResourceRecord* records) = 0;
    virtual int loadRecordArray(const ResourceLoadRecord* records) = 0;
    virtual int loadIds(const uint32_t* ids) = 0;
    virtual int findByName(const char* name, Resource** out) = 0;
    virtual int findLoaded(uint32_t id, Resource** out) = 0;
    virtual int releaseRef(Resource** resource) = 0;
    virtual void releaseByName(const char* name) = 0;
    virtual void releaseById(uint32_t id) = 0;
    virtual void releaseIds(const uint32_t* ids) = 0;
    virtual void deleteById(uint32_t id) = 0;
    virtual void deleteAll() = 0;
    virtual void deleteIds(const uint32_t* ids) = 0;
};
