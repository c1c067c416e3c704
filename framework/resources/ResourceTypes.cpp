// The factory table of resource classes by type word.
#include "framework/resources/ResourceTypes.h"

#include "framework/resources/ResourceIds.h"
#include "framework/resources/TypedResources.h"
#include "framework/services/ResourceFactory.h"

namespace {

struct TypeEntry {
    uint32_t typeId;
    ResourceMaker maker;
};

// 28 type words are known in all; room for a few more without growing.
constexpr uint32_t kCapacity = 40;

struct TypeTable {
    TypeEntry entries[kCapacity];
    uint32_t count = 0;

    TypeTable()
    {
        const TypeEntry framework[] = {
            {ResourceType::Table, makeResource<TableResource>},
            {ResourceType::EntryTable, makeResource<TableResource>},
            {ResourceType::Data, makeResource<DataResource>},
            {ResourceType::SpanProgramRecord, makeResource<DataResource>},
            {ResourceType::IdList, makeResource<IdListResource>},
            {ResourceType::Sound, makeResource<SoundResource>},
            {ResourceType::OggVorbis, makeResource<SoundResource>},
            {ResourceType::RawPcm, makeResource<SoundResource>},
            {ResourceType::Utf16Text, makeResource<TextResource>},
            {ResourceType::Utf8Text, makeResource<TextResource>},
        };
        for (const TypeEntry& e : framework)
            entries[count++] = e;
        for (uint32_t type : ResourceType::StoredSoundForms)
            entries[count++] = {type, makeResource<SoundResource>};
    }
};

TypeTable& table()
{
    static TypeTable s_table;
    return s_table;
}

HashedObject* createForFactory(uint32_t typeId)
{
    return createResourceOfType(typeId);
}

} // namespace

int registerResourceType(uint32_t typeId, ResourceMaker maker)
{
    if (maker == nullptr)
        return 0;
    TypeTable& t = table();
    for (uint32_t i = 0; i < t.count; ++i) {
        if (t.entries[i].typeId == typeId) {
            t.entries[i].maker = maker;
            return 1;
        }
    }
    if (t.count == kCapacity)
        return 0;
    t.entries[t.count++] = {typeId, maker};
    installResourceTypes();
    return 1;
}

Resource* createResourceOfType(uint32_t typeId)
{
    const TypeTable& t = table();
    for (uint32_t i = 0; i < t.count; ++i)
        if (t.entries[i].typeId == typeId)
            return t.entries[i].maker();
    return nullptr;
}

void installResourceTypes()
{
    setResourceTypeCreator(createForFactory);
}
