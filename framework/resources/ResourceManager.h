// The one resource manager: turns resource ids into shared, counted typed
// resources. An id's bits say where the bytes come from (pack entry, string
// table entry, alias, caller's stream); the pack's resource table (entry
// 0x101) holds the aliases, the languages and the string tables.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/resources/ResourceCache.h"
#include "framework/util/KeyIndex.h"
#include "framework/util/LoadLedger.h"

// The resource table's lists are kept for the whole run outside any load, so
// each has a stated size no game nears, and a table past one is refused: an
// alias is named by 15 bits of an id, and a phone ships a handful of
// languages with short names. Kept whole, they take at most 320 KiB.
namespace ResourceTableLimit {
constexpr uint32_t Aliases = 0x8000;
constexpr uint32_t Languages = 256;
constexpr uint32_t NameBytes = 256;
constexpr uint32_t AttributeBytes = 256;
} // namespace ResourceTableLimit

class ResourceManager : public ResourceCache {
public:
    // packBudget: the most bytes the pack's loads may hold together.
    explicit ResourceManager(uint64_t packBudget = kMaxBytesPerPack);
    // Frees whatever close has not freed yet, so no resource outlives the
    // manager with a pointer back to it.
    ~ResourceManager() override;

    int openTable(ResourcePack* pack, uint32_t bucketHint, uint32_t nodesPerBlock, bool grow) override;
    void close() override;
    int insert(Resource* resource) override;
    int remove(Resource* resource) override;
    int removeById(uint32_t id) override;
    int load(Resource** out, uint32_t id, uint32_t tag, InputStream* stream) override;
    int loadWideNamed(const WideNamedResourceRecord& record, Resource** out) override;
    int loadNamed(const NamedResourceRecord& record, Resource** out) override;
    int loadRecord(const ResourceLoadRecord& record, Resource** out) override;
    int loadById(uint32_t id, Resource** out) override;
    int loadWideNamedArray(const WideNamedResourceRecord* records) override;
    int loadNamedArray(const NamedResourceRecord* records) override;
    int loadRecordArray(const ResourceLoadRecord* records) override;
    int loadIds(const uint32_t* ids) override;
    int findByName(const char* name, Resource** out) override;
    int findLoaded(uint32_t id, Resource** out) override;
    int releaseRef(Resource** resource) override;
    void releaseByName(const char* name) override;
    void releaseById(uint32_t id) override;
    void releaseIds(const uint32_t* ids) override;
    void deleteById(uint32_t id) override;
    void deleteAll() override;
    void deleteIds(const uint32_t* ids) override;

    // Releases the current language's string table and loads language i's.
    // The load's result; 0 when i is out of range.
    uint8_t loadListEntry(uint32_t i);

    // Alias ids become the id the alias table names (0 when out of range).
    uint32_t resolveId(uint32_t id) const;
    // The string table that holds a string id's text, or 0.
    uint32_t stringTableOf(uint32_t id) const;
    // The table's resource for the id as given, loaded or not; null when absent.
    Resource* held(uint32_t id) const;

    void setShowIds(uint8_t showIds) { m_showIds = showIds; }
    uint8_t showIds() const { return m_showIds; }
    uint32_t currentLanguage() const { return m_currentLanguage; }
    ResourcePack* pack() const { return m_pack; }

    uint32_t aliasCount() const { return m_aliasCount; }
    uint32_t languageCount() const { return m_languageCount; }
    uint32_t languageId(uint32_t i) const { return i < m_languageCount ? m_languageIds[i] : 0; }
    // Language i's attribute bytes (attributeWidth of them) or null.
    const uint8_t* languageAttributes(uint32_t i) const;
    uint32_t attributeWidth() const { return m_attributeWidth; }
    // Language i's name, terminated; an empty text when there is none.
    const char16_t* languageName(uint32_t i) const;
    uint32_t stringTableCount() const { return m_stringTableCount; }
    // Index slots and list entries looked at so far: the work tests count.
    uint64_t probes() const { return m_probes + m_held.probes(); }
    // Payloads read so far, reloads included: the work tests count.
    uint64_t loads() const { return m_loads; }
    // The bytes the pack's loads and the blocks made from it hold; the
    // manager holds the one pack.
    LoadLedger& ledger() { return m_ledger; }
    const LoadLedger& ledger() const { return m_ledger; }

private:
    int readTable(InputStream& image);
    // Takes the resource out of the id table, keeping the others of its id.
    void unlink(Resource* resource);
    void forgetHeld(Resource* resource);
    void freeLists();
    // Remembers that an entry's load failed, with the room it needs.
    void rememberFailure(uint64_t entry, uint64_t needs);

    // Id to the newest resource of that id (older ones hang off it through
    // Resource::shadowed). Ids come from packs and callers, so the index
    // hashes with a seed of its own and grows with its count: a fixed
    // bucket count would let chosen ids share one chain.
    KeyIndex<Resource*> m_held;
    uint64_t m_heldCount = 0;
    // The resource taken last; the others follow it through heldBefore, so
    // teardown runs in the same order on every run.
    Resource* m_newestHeld = nullptr;
    // Resources the table may hold: none before openTable; the node block's
    // count when the table may not grow.
    uint64_t m_heldBudget = 0;
    ResourcePack* m_pack = nullptr;
    uint32_t m_currentLanguage = 0;

    uint32_t m_languageCount = 0;
    uint32_t m_attributeWidth = 0;
    uint32_t m_nameLength = 0;
    std::unique_ptr<uint32_t[]> m_languageIds;
    std::unique_ptr<uint8_t[]> m_attributes;
    std::unique_ptr<char16_t[]> m_names;  // count × name length units

    uint32_t m_stringTableCount = 0;
    // The first string-table id whose entry number equals each selector, 0
    // for none, worked out with the list: a walk of a long list for every
    // text loaded would cost the list's length per text.
    uint32_t m_tableOfSelector[ResourceIdBits::SubKindMask + 1] = {};
    mutable uint64_t m_probes = 0;
    uint64_t m_loads = 0;
    LoadLedger m_ledger;
    // Entries whose load failed (a pack entry's number, or a string table's
    // id above a text's index: every id that reaches an entry reaches its
    // key), each with the room in the pack it needs: more than the pack had
    // when it failed, and when the pack had no room for it, what it had made
    // and asked for. Such an entry fails again at once until the pack has
    // that room: a list naming it under many ids would otherwise make its
    // bytes again for every id.
    KeyIndex<uint64_t, uint64_t> m_failedEntries;
    uint32_t m_aliasCount = 0;
    std::unique_ptr<uint32_t[]> m_aliasIds;
    uint8_t m_showIds = 0;
};

// The application's resource manager; null when there is none.
ResourceManager* getResourceManager();
