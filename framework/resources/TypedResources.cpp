// Payloads of the framework's typed resources and what each one holds.
#include "framework/resources/TypedResources.h"

#include <new>

#include "framework/properties/EntryTable.h"
#include "framework/resources/IdList.h"
#include "framework/resources/SoundSample.h"
#include "framework/strings/WideString.h"

namespace {
// Bookkeeping bytes each class reports beside its payload's own bytes.
constexpr uint32_t kTableSize = 32;
constexpr uint32_t kBlockOverhead = 20;
constexpr uint32_t kIdListSize = 12;
} // namespace

uint32_t TableResource::memorySize() const
{
    return m_payload ? kTableSize : 0;
}
EntryTable* TableResource::table() const
{
    return static_cast<EntryTable*>(m_payload);
}
HashedObject* TableResource::makePayload()
{
    return new (std::nothrow) EntryTable();
}
int TableResource::loadPayload(InputStream& stream, uint32_t)
{
    return table()->load(stream);
}

uint32_t DataResource::memorySize() const
{
    return m_payload ? block()->size() + kBlockOverhead : 0;
}
DataBlock* DataResource::block() const
{
    return static_cast<DataBlock*>(m_payload);
}
HashedObject* DataResource::makePayload()
{
    return new (std::nothrow) DataBlock();
}
int DataResource::loadPayload(InputStream& stream, uint32_t tag)
{
    return block()->read(stream, tag);
}

uint32_t IdListResource::memorySize() const
{
    return m_payload ? kIdListSize : 0;
}
IdList* IdListResource::list() const
{
    return static_cast<IdList*>(m_payload);
}
HashedObject* IdListResource::makePayload()
{
    return new (std::nothrow) IdList();
}
int IdListResource::loadPayload(InputStream& stream, uint32_t)
{
    return list()->read(stream);
}

uint32_t SoundResource::memorySize() const
{
    return m_payload ? sample()->size() + kBlockOverhead : 0;
}
SoundSample* SoundResource::sample() const
{
    return static_cast<SoundSample*>(m_payload);
}
HashedObject* SoundResource::makePayload()
{
    return new (std::nothrow) SoundSample();
}
int SoundResource::loadPayload(InputStream& stream, uint32_t tag)
{
    return sample()->read(stream, tag);
}

uint32_t TextResource::memorySize() const
{
    return m_payload ? (text()->length() + 2) * 2 : 0;
}
WideString* TextResource::text() const
{
    return static_cast<WideString*>(m_payload);
}
HashedObject* TextResource::makePayload()
{
    return new (std::nothrow) WideString();
}
int TextResource::loadPayload(InputStream& stream, uint32_t tag)
{
    return text()->read(stream, tag);
}
