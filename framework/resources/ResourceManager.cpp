// The resource manager: id resolution, the load pipeline (type and source
// by id kind, factory, payload read, table insert), counted release and the
// resource table image of the pack.
#include "framework/resources/ResourceManager.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "framework/files/FileSystem.h"
#include "framework/properties/EntryTable.h"
#include "framework/resources/PackEntryStream.h"
#include "framework/resources/Resource.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/ResourceTypes.h"
#include "framework/resources/TypedResources.h"
#include "framework/services/AppBase.h"
#include "framework/services/IdHashMap.h"
#include "framework/services/ResourceFactory.h"
#include "framework/strings/ModifiedUtf8.h"
#include "framework/strings/NameHash.h"
#include "framework/streams/FileInputStream.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/util/Format.h"

namespace {

// "0x" and eight hex digits: what showIds puts in place of a text.
constexpr uint32_t kIdTextUnits = 10;

uint32_t nameId(uint32_t hash)
{
    return hash | ResourceIdBits::Name;
}

Resource* newResourceOfType(uint32_t type)
{
    HashedObject* object = nullptr;
    if (ResourceFactory* factory = getResourceFactory())
        factory->create(type, &object);
    else
        object = createResourceOfType(type);
    return static_cast<Resource*>(object);
}

// Reads count little-endian u32 values into a new array; the count comes
// from the file, so it must fit in what the stream still holds.
bool readIds(InputStream& image, uint32_t count, std::unique_ptr<uint32_t[]>& out)
{
    out.reset();
    if (count == 0)
        return true;
    if (uint64_t(count) * 4 > image.available())
        return false;
    out.reset(new (std::nothrow) uint32_t[count]);
    if (!out)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        out[i] = image.readU32();
    return !image.hasError();
}

} // namespace

ResourceManager::ResourceManager(uint64_t packBudget)
    : ResourceCache(ResourceClassId::ResourceManager), m_ledger(packBudget)
{
    installResourceTypes();
}

ResourceManager::~ResourceManager()
{
    close();
}

void ResourceManager::freeLists()
{
    m_languageCount = 0;
    m_attributeWidth = 0;
    m_nameLength = 0;
    m_languageIds.reset();
    m_attributes.reset();
    m_names.reset();
    m_stringTableCount = 0;
    std::fill(std::begin(m_tableOfSelector), std::end(m_tableOfSelector), 0u);
    m_aliasCount = 0;
    m_aliasIds.reset();
}

int ResourceManager::openTable(ResourcePack* pack, uint32_t bucketHint, uint32_t nodesPerBlock, bool grow)
{
    m_pack = pack;
    // The table starts with room for the hinted count's prime and grows
    // from there; a table that may not grow holds one block of nodes. Like
    // a fresh id table, it forgets what an earlier one held.
    m_held.clear();
    m_heldCount = 0;
    m_newestHeld = nullptr;
    m_failedEntries.clear();
    m_heldBudget = nodesPerBlock == 0 ? 0 : grow ? UINT64_MAX : nodesPerBlock;
    if (!m_held.reserve(nextPrime(bucketHint))) {
        close();
        return 0;
    }
    // The counts are checked against the bytes that are there, so the image
    // is read whole first: a deflated entry only announces its size.
    PackEntryStream entry;
    const uint32_t size = entry.open(pack, ResourceIds::ResourceTableEntry, 1) ? entry.available() : 0;
    std::unique_ptr<uint8_t[]> bytes = readAnnounced<uint8_t>(entry, size);
    MemoryInputStream image;
    if (!bytes || !image.open(bytes.get(), size) || !readTable(image)) {
        close();
        return 0;
    }
    return 1;
}

int ResourceManager::readTable(InputStream& image)
{
    freeLists();
    uint32_t aliasCount = image.readU32();
    if (image.hasError() || aliasCount > ResourceTableLimit::Aliases || !readIds(image, aliasCount, m_aliasIds))
        return 0;
    m_aliasCount = aliasCount;

    uint32_t languageCount = image.readU32();
    uint32_t width = image.readU32();
    uint32_t nameLength = image.readU32();
    if (image.hasError() || languageCount > ResourceTableLimit::Languages || width > ResourceTableLimit::AttributeBytes
        || nameLength > ResourceTableLimit::NameBytes)
        return 0;
    // Without attributes the image carries no language part at all, and
    // then there are no languages to index.
    if (languageCount != 0 && width != 0) {
        uint64_t attributeBytes = uint64_t(languageCount) * width;
        uint64_t nameBytes = uint64_t(languageCount) * nameLength;
        if (uint64_t(languageCount) * 4 + attributeBytes + nameBytes > image.available())
            return 0;
        if (!readIds(image, languageCount, m_languageIds))
            return 0;
        m_attributes.reset(new (std::nothrow) uint8_t[attributeBytes]);
        if (!m_attributes)
            return 0;
        image.read(m_attributes.get(), static_cast<uint32_t>(attributeBytes));
        if (nameLength != 0) {
            std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[nameLength]);
            m_names.reset(new (std::nothrow) char16_t[nameBytes]());
            if (!scratch || !m_names)
                return 0;
            for (uint32_t i = 0; i < languageCount; ++i) {
                image.read(scratch.get(), nameLength);
                utf8ToUtf16(scratch.get(), nameLength, &m_names[uint64_t(i) * nameLength], nameLength);
            }
        }
        if (image.hasError())
            return 0;
        m_languageCount = languageCount;
        m_attributeWidth = width;
        m_nameLength = nameLength;
    }

    // The list is needed only to work out each selector's table.
    uint32_t stringTableCount = image.readU32();
    std::unique_ptr<uint32_t[]> stringTableIds;
    if (image.hasError() || !readIds(image, stringTableCount, stringTableIds))
        return 0;
    m_stringTableCount = stringTableCount;
    // Only entry numbers a selector can name take a slot; the first id wins.
    bool claimed[ResourceIdBits::SubKindMask + 1] = {};
    for (uint32_t i = 0; i < stringTableCount; ++i) {
        const uint32_t selector = resourceEntry(stringTableIds[i]);
        if (selector <= ResourceIdBits::SubKindMask && !claimed[selector]) {
            claimed[selector] = true;
            m_tableOfSelector[selector] = stringTableIds[i];
        }
    }
    m_probes += stringTableCount;
    return 1;
}

const uint8_t* ResourceManager::languageAttributes(uint32_t i) const
{
    return i < m_languageCount ? &m_attributes[uint64_t(i) * m_attributeWidth] : nullptr;
}

const char16_t* ResourceManager::languageName(uint32_t i) const
{
    if (i >= m_languageCount || m_nameLength == 0)
        return u"";
    return &m_names[uint64_t(i) * m_nameLength];
}

void ResourceManager::close()
{
    if (m_currentLanguage != 0) {
        releaseById(m_currentLanguage);
        m_currentLanguage = 0;
    }
    deleteAll();
    m_held.clear();
    m_failedEntries.clear();
    m_heldBudget = 0;
    freeLists();
    m_pack = nullptr;
    m_showIds = 0;
}

int ResourceManager::insert(Resource* resource)
{
    if (resource == nullptr || resource->owner() == this || m_heldCount >= m_heldBudget)
        return 0;
    // A second resource of a held id shadows the first until it goes.
    if (Resource** newest = m_held.find(resource->id())) {
        resource->setShadowed(*newest);
        *newest = resource;
    } else if (m_held.claim(resource->id(), resource)) {
        resource->setShadowed(nullptr);
    } else {
        return 0;
    }
    ++m_heldCount;
    resource->setHeldNeighbours(m_newestHeld, nullptr);
    if (m_newestHeld != nullptr)
        m_newestHeld->setHeldNeighbours(m_newestHeld->heldBefore(), resource);
    m_newestHeld = resource;
    resource->addRef();
    resource->setOwner(this);
    return 1;
}

int ResourceManager::remove(Resource* resource)
{
    if (resource == nullptr || resource->owner() != this)
        return 0;
    resource->setOwner(nullptr);
    resource->setRefCount(0);
    resource->giveBackMadeBytes();
    unlink(resource);
    return 1;
}

int ResourceManager::removeById(uint32_t id)
{
    Resource* resource = held(id);
    return resource ? remove(resource) : 0;
}

void ResourceManager::unlink(Resource* resource)
{
    Resource** newest = m_held.find(resource->id());
    if (newest == nullptr)
        return;
    if (*newest == resource) {
        if (resource->shadowed() != nullptr)
            *newest = resource->shadowed();
        else
            m_held.erase(resource->id());
    } else {
        // Only resources that shadow one another share a chain, and only a
        // caller's own inserts of one id make them.
        Resource* newer = *newest;
        for (; newer->shadowed() != nullptr && newer->shadowed() != resource; newer = newer->shadowed())
            ++m_probes;
        if (newer->shadowed() != resource)
            return;
        newer->setShadowed(resource->shadowed());
    }
    resource->setShadowed(nullptr);
    forgetHeld(resource);
    --m_heldCount;
}

void ResourceManager::forgetHeld(Resource* resource)
{
    Resource* before = resource->heldBefore();
    Resource* after = resource->heldAfter();
    if (before != nullptr)
        before->setHeldNeighbours(before->heldBefore(), after);
    if (after != nullptr)
        after->setHeldNeighbours(before, after->heldAfter());
    else
        m_newestHeld = before;
    resource->setHeldNeighbours(nullptr, nullptr);
}

Resource* ResourceManager::held(uint32_t id) const
{
    Resource* const* newest = m_held.find(id);
    return newest ? *newest : nullptr;
}

uint32_t ResourceManager::resolveId(uint32_t id) const
{
    if (id & ResourceIdBits::Name)
        return id;
    if ((id & ResourceIdBits::CallerData) == 0 && resourceKind(id) == ResourceIdBits::KindTableDriven
        && resourceSubKind(id) == ResourceIdBits::SubKindAlias) {
        uint32_t i = resourceEntry(id);
        return i < m_aliasCount ? m_aliasIds[i] : 0;
    }
    return id;
}

uint32_t ResourceManager::stringTableOf(uint32_t id) const
{
    uint32_t selector = resourceSubKind(id);
    if (selector == ResourceIdBits::SubKindCurrentLanguage)
        return m_currentLanguage;
    ++m_probes;
    return m_tableOfSelector[selector];
}

int ResourceManager::load(Resource** out, uint32_t id, uint32_t tag, InputStream* stream)
{
    if (out != nullptr)
        *out = nullptr;
    uint32_t r = resolveId(id);
    if (r == 0)
        return ResourceResult::Failed;

    // Locals that may serve as the source; all are gone when the load returns.
    PackEntryStream entry;
    FileInputStream safeFile;
    MemoryInputStream idText;
    char16_t idUnits[kIdTextUnits + 1];

    Resource* resource = held(r);
    if (resource != nullptr && resource->isLoaded()) {
        resource->addRef();
        if (out != nullptr)
            *out = resource;
        return ResourceResult::AlreadyLoaded;
    }
    // A held resource that was unloaded finds its source like a new one and
    // reloads in place.
    const bool isNew = resource == nullptr;
    uint32_t type = tag;
    InputStream* source = stream;
    // The pack entry of a pack id, resolved once for its type and its bytes.
    int32_t packEntry = -1;
    // The entry the bytes come from, as m_failedEntries keys it; 0 when they
    // come from elsewhere (a caller's stream, a loose file, the id itself).
    uint64_t failureKey = 0;
    if (!isPackBackedId(r)) {
        // The caller's tag and stream, as they are.
    } else if (resourceKind(r) == ResourceIdBits::KindTableDriven
               && resourceSubKind(r) == ResourceIdBits::SubKindComposite) {
        // A composite would join an image entry, a value and a palette entry
        // into one record of live pointers. No class reads such a record (the
        // image class wants a BMP file), so the load fails without building it.
        return ResourceResult::Failed;
    } else if (r & ResourceIdBits::String) {
        if (stream == nullptr) {
            if (m_showIds && resourceKind(r) == ResourceIdBits::KindShownAsId
                && resourceSubKind(r) == ResourceIdBits::SubKindCurrentLanguage) {
                formatWide(idUnits, u"0x%8.8x", r);
                idText.open(idUnits, kIdTextUnits * sizeof(char16_t));
                type = ResourceType::Utf16Text;
                source = &idText;
            } else {
                Resource* table = nullptr;
                if (!findLoaded(stringTableOf(r), &table) || table->m_typeId != ResourceClassId::Table)
                    return ResourceResult::Failed;
                const EntryTable* strings = static_cast<TableResource*>(table)->table();
                const int32_t text = strings->indexOf(resourceEntry(r));
                if (!entry.openTableEntry(strings, text, resourceEntry(r), 1))
                    return ResourceResult::Failed;
                type = strings->tagAt(text);
                source = &entry;
                if (isPackBackedId(table->id()))
                    failureKey = uint64_t(table->id()) << 32 | uint32_t(text);
            }
        }
    } else {
        packEntry = m_pack != nullptr ? m_pack->entryOf(r) : -1;
        type = m_pack != nullptr ? m_pack->typeOfEntry(packEntry) : 0;
        if (stream == nullptr && packEntry >= 0 && r != ResourceIds::SafeScene)
            failureKey = uint64_t(packEntry) + 1;
    }
    if (failureKey != 0) {
        const uint64_t* needs = m_failedEntries.find(failureKey);
        if (needs != nullptr && m_ledger.room() < *needs)
            return ResourceResult::Failed;
    }

    if (isNew) {
        resource = newResourceOfType(type);
        if (resource == nullptr)
            return ResourceResult::Failed;
    } else if (type == 0) {
        // The type word decides how the payload reads its bytes (Ogg or raw
        // sound, UTF-8 or UTF-16 text, a data block's tag); a reload by id
        // has none from its caller, so the resource's own stands.
        type = resource->type();
    }

    if (r == ResourceIds::SafeScene) {
        FileSystem* files = getFileSystem();
        if (files != nullptr && files->exists(kSafeSceneFileName) && safeFile.open(kSafeSceneFileName))
            source = &safeFile;
    }
    // Counted from before the entry's header is read.
    uint32_t readErrors = m_pack != nullptr ? m_pack->readErrors() : 0;
    if (source == nullptr && isPackBackedId(r)) {
        entry.openEntry(m_pack, packEntry, r, 1);
        source = &entry;
    }

    int result = ResourceResult::Failed;
    uint64_t made = 0;
    bool tellsNothing = false;
    uint64_t roomNeeded = 0;
    bool readError = false;
    // A disk that failed a read of the pack may read it the next time: a
    // load of its own entry reads it again from its start. Bytes it is
    // handed come again only with the load around it, which tells.
    const bool rereads = source == &entry && packEntry >= 0;
    const bool nested = LoadScope::active();
    for (int attempt = 1;; ++attempt) {
        {
            // What the payload makes counts against the pack until the
            // resource goes; what a failed load made goes back with it.
            LoadScope scope(&m_ledger);
            ++m_loads;
            result = resource->create(r, source, type);
            // What a failed read delivered is no data, whatever the payload
            // made of it.
            readError = m_pack != nullptr && m_pack->readErrors() != readErrors;
            if (result != ResourceResult::Failed && readError) {
                resource->unload();
                result = ResourceResult::Failed;
            }
            if (result != ResourceResult::Failed)
                made = scope.take();
            tellsNothing = scope.failureTellsNothing();
            roomNeeded = scope.roomNeeded();
        }
        if (result != ResourceResult::Failed || !readError)
            break;
        if (!rereads || attempt == kReadAttempts || m_pack->readFailed()) {
            if (rereads || !nested)
                m_pack->markReadFailed();
            break;
        }
        readErrors = m_pack->readErrors();
        entry.openEntry(m_pack, packEntry, r, 1);
    }
    safeFile.close();
    if (result == ResourceResult::Failed) {
        if (isNew)
            delete resource;
        // A failure for where the load ran or for want of memory says
        // nothing of the entry, nor does a read error, which the pack tells:
        // the entry is read again. Any other is tried again once the pack
        // has more room than now, and no sooner.
        if (failureKey != 0 && !tellsNothing && !readError)
            rememberFailure(failureKey, std::max(roomNeeded, m_ledger.room() + 1));
        return ResourceResult::Failed;
    }
    if (failureKey != 0)
        m_failedEntries.erase(failureKey);
    resource->keepMadeBytes(&m_ledger, made);
    if (isNew) {
        if (!insert(resource)) {
            delete resource;
            return ResourceResult::Failed;
        }
    } else {
        // Only a reload that worked takes its reference.
        resource->addRef();
    }
    if (out != nullptr)
        *out = resource;
    return result;
}

void ResourceManager::rememberFailure(uint64_t entry, uint64_t needs)
{
    if (uint64_t* known = m_failedEntries.find(entry))
        *known = needs;
    else
        m_failedEntries.claim(entry, needs);
}

int ResourceManager::loadWideNamed(const WideNamedResourceRecord& record, Resource** out)
{
    return load(out, nameId(hashName(record.name)), record.tag, record.stream);
}

int ResourceManager::loadNamed(const NamedResourceRecord& record, Resource** out)
{
    return load(out, nameId(hashName(record.name)), record.tag, record.stream);
}

int ResourceManager::loadRecord(const ResourceLoadRecord& record, Resource** out)
{
    return load(out, record.id, record.tag, record.stream);
}

int ResourceManager::loadById(uint32_t id, Resource** out)
{
    return load(out, id, 0, nullptr);
}

int ResourceManager::loadWideNamedArray(const WideNamedResourceRecord* records)
{
    int ok = 1;
    for (; records != nullptr && records->name != nullptr; ++records)
        if (!loadWideNamed(*records, nullptr))
            ok = 0;
    return ok;
}

int ResourceManager::loadNamedArray(const NamedResourceRecord* records)
{
    int ok = 1;
    for (; records != nullptr && records->name != nullptr; ++records)
        if (!loadNamed(*records, nullptr))
            ok = 0;
    return ok;
}

int ResourceManager::loadRecordArray(const ResourceLoadRecord* records)
{
    int ok = 1;
    for (; records != nullptr && records->id != 0; ++records)
        if (!loadRecord(*records, nullptr))
            ok = 0;
    return ok;
}

int ResourceManager::loadIds(const uint32_t* ids)
{
    const uint64_t madeBefore = m_ledger.made();
    int ok = 1;
    for (; ids != nullptr && *ids != 0; ++ids) {
        if (m_ledger.made() - madeBefore > m_ledger.listLimit())
            return 0;
        if (!loadById(*ids, nullptr))
            ok = 0;
    }
    return ok;
}

int ResourceManager::findByName(const char* name, Resource** out)
{
    return findLoaded(nameId(hashName(name)), out);
}

int ResourceManager::findLoaded(uint32_t id, Resource** out)
{
    uint32_t r = resolveId(id);
    Resource* resource = r != 0 ? held(r) : nullptr;
    if (resource == nullptr || !resource->isLoaded())
        return 0;
    if (out != nullptr)
        *out = resource;
    return 1;
}

int ResourceManager::releaseRef(Resource** resource)
{
    if (resource == nullptr || *resource == nullptr || (*resource)->id() == 0)
        return 0;
    Resource* r = *resource;
    r->dropRef();
    if (r->refCount() > 0)
        return 1;
    remove(r);
    delete r;
    *resource = nullptr;
    return 1;
}

void ResourceManager::releaseByName(const char* name)
{
    releaseById(nameId(hashName(name)));
}

void ResourceManager::releaseById(uint32_t id)
{
    Resource* resource = held(id);
    if (resource != nullptr)
        releaseRef(&resource);
}

void ResourceManager::releaseIds(const uint32_t* ids)
{
    for (; ids != nullptr && *ids != 0; ++ids)
        releaseById(*ids);
}

void ResourceManager::deleteById(uint32_t id)
{
    Resource* resource = held(id);
    if (resource == nullptr)
        return;
    remove(resource);
    delete resource;
}

void ResourceManager::deleteAll()
{
    // Every resource leaves the table before any is deleted: a payload's
    // destructor that releases by id must not find one half gone. Newest
    // first, and again for any that such a destructor loads.
    while (m_newestHeld != nullptr) {
        Resource* doomed = m_newestHeld;
        m_newestHeld = nullptr;
        m_held.clear();
        m_heldCount = 0;
        while (doomed != nullptr) {
            Resource* resource = doomed;
            doomed = resource->heldBefore();
            resource->setHeldNeighbours(nullptr, nullptr);
            resource->setShadowed(nullptr);
            resource->setOwner(nullptr);
            delete resource;
        }
    }
}

void ResourceManager::deleteIds(const uint32_t* ids)
{
    for (; ids != nullptr && *ids != 0; ++ids)
        deleteById(*ids);
}

uint8_t ResourceManager::loadListEntry(uint32_t i)
{
    // Forget the language before anything else: a second call must not
    // release it again, and a failed load must not leave a stale id.
    if (m_currentLanguage != 0) {
        uint32_t previous = m_currentLanguage;
        m_currentLanguage = 0;
        releaseById(previous);
    }
    if (i >= m_languageCount)
        return 0;
    int result = loadById(m_languageIds[i], nullptr);
    if (result != ResourceResult::Failed)
        m_currentLanguage = m_languageIds[i];
    return static_cast<uint8_t>(result);
}

ResourceManager* getResourceManager()
{
    AppBase* app = getGameApp();
    if (app == nullptr || app->m_resourceManager == nullptr
        || app->m_resourceManager->m_typeId != ResourceClassId::ResourceManager)
        return nullptr;
    return static_cast<ResourceManager*>(app->m_resourceManager);
}
