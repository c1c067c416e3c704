// The framework's own typed resources: entry tables, byte blocks, id lists,
// sounds and texts. Each says which payload it makes and how the payload
// reads a stream; classes of the 2D library register theirs beside these.
#pragma once

#include <cstdint>

#include "framework/resources/Resource.h"

class DataBlock;
class EntryTable;
class IdList;
class SoundSample;
class WideString;

class TableResource : public Resource {
public:
    TableResource() : Resource(ResourceClassId::Table) {}
    uint32_t memorySize() const override;
    EntryTable* table() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

class DataResource : public Resource {
public:
    DataResource() : Resource(ResourceClassId::Data) {}
    uint32_t memorySize() const override;
    DataBlock* block() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

class IdListResource : public Resource {
public:
    IdListResource() : Resource(ResourceClassId::IdList) {}
    uint32_t memorySize() const override;
    IdList* list() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

class SoundResource : public Resource {
public:
    SoundResource() : Resource(ResourceClassId::Sound) {}
    uint32_t memorySize() const override;
    SoundSample* sample() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};

class TextResource : public Resource {
public:
    TextResource() : Resource(ResourceClassId::Text) {}
    uint32_t memorySize() const override;
    WideString* text() const;

protected:
    HashedObject* makePayload() override;
    int loadPayload(InputStream& stream, uint32_t tag) override;
};
