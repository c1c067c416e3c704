#include "framework/resources/ResourceManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "framework/files/testing/MemoryFileSystem.h"
#include "framework/properties/EntryTable.h"
#include "framework/resources/DataBlock.h"
#include "framework/resources/IdList.h"
#include "framework/resources/PackFormat.h"
#include "framework/resources/ResourcePack.h"
#include "framework/resources/ResourceRef.h"
#include "framework/resources/SoundSample.h"
#include "framework/resources/TypedResources.h"
#include "tools/pack/PackWriter.h"
#include "framework/streams/MemoryInputStream.h"
#include "framework/strings/NameHash.h"
#include "framework/strings/WideString.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/ResourceWriters.h"

namespace {

constexpr uint32_t kEnglish = 0x03000020;
constexpr uint32_t kGerman = 0x03000021;
constexpr uint32_t kMenuTexts = 0x03000022;  // a string table that is no language
constexpr uint32_t kFirstAliased = 0x03000010;
constexpr uint32_t kIdListEntry = 0x03000012;
constexpr uint32_t kUnknownType = 0x03000030;
constexpr uint32_t kBadHeader = 0x03000031;
constexpr uint32_t kSurface = 0x03000032;
constexpr uint32_t kStoredSound = 0x03000033;
// Deflated entries whose zlib stream runs dry long before the size they announce.
constexpr uint32_t kHugeText = 0x03000040;
constexpr uint32_t kDryTexts[] = {0x03000041, 0x03000042};
constexpr uint32_t kDryTable = 0x03000043;
constexpr uint32_t kDryData = 0x03000044;
constexpr uint32_t kDrySound = 0x03000045;
constexpr uint32_t kTexts = 0x03000005;  // the string table whose entry number selector 5 names

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes stringTable(const std::u16string& one, const std::u16string& two)
{
    EntryTableWriter table;
    table.add(1, encodePackEntry(encodeUtf16Text(one), false), ResourceType::Utf16Text);
    table.add(2, encodePackEntry(encodeUtf8Text(two), true), ResourceType::Utf8Text);
    return table.build();
}

Bytes buildTestPack(const Bytes& resourceTable)
{
    PackWriter writer;
    writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, resourceTable, true);
    writer.add(kFirstAliased, ResourceType::Data, bytesOf("alias zero"));
    writer.add(0x03000011, ResourceType::SpanProgramRecord, bytesOf("alias one"));
    writer.add(kIdListEntry, ResourceType::IdList, encodeIdList({7, 8, 9}));
    writer.add(kEnglish, ResourceType::EntryTable, stringTable(u"Hello", u"Gr\u00FC\u00DFe"));
    writer.add(kGerman, ResourceType::Table, stringTable(u"Hallo", u"Stra\u00DFe"), true);
    writer.add(kMenuTexts, ResourceType::Table, stringTable(u"Menu", u"Men\u00FC"));
    writer.add(ResourceIds::SafeScene, ResourceType::Data, bytesOf("scene from the pack"));
    writer.add(kUnknownType, 0x12345678, bytesOf("what am I"));
    writer.add(kBadHeader, ResourceType::Data, bytesOf("BADHEADER"));
    writer.add(kSurface, ResourceType::DeviceSurface, bytesOf("pixels"));
    writer.add(kStoredSound, ResourceType::StoredSoundForms[3], bytesOf("pcm"));
    writer.add({kHugeText, ResourceType::Utf8Text, bytesOf("text"), true, 4, 0xFFFFFFFF});
    writer.add({kDryTexts[0], ResourceType::Utf8Text, bytesOf("text"), true, 4, PackFormat::MaxUnpackedSize});
    writer.add({kDryTexts[1], ResourceType::Utf16Text, bytesOf("text"), true, 4, PackFormat::MaxUnpackedSize});
    writer.add({kDryTable, ResourceType::Table, stringTable(u"a", u"b"), true, 4, PackFormat::MaxUnpackedSize});
    writer.add({kDryData, ResourceType::Data, bytesOf("data"), true, 4, PackFormat::MaxUnpackedSize});
    writer.add({kDrySound, ResourceType::OggVorbis, bytesOf("OggS"), true, 4, PackFormat::MaxUnpackedSize});
    Bytes pack;
    EXPECT_TRUE(writer.build(PackIndexForm::Sorted, pack));
    // A header length beyond the entry's end.
    auto marker = std::search(pack.begin(), pack.end(), std::begin("BADHEADER"), std::end("BADHEADER") - 1);
    EXPECT_NE(marker, pack.end());
    marker[-4] = 0xFF;
    marker[-3] = 0x7F;
    return pack;
}

ResourceTableImage testTable()
{
    ResourceTableImage table;
    table.aliases = {kFirstAliased, 0x03000011, kIdListEntry};
    table.attributeWidth = 2;
    table.nameLength = 16;
    table.languages = {{kEnglish, {1, 2}, "English"}, {kGerman, {3, 4}, "Deutsch"}};
    table.stringTables = {kEnglish, kGerman, kMenuTexts};
    return table;
}

std::u16string textOf(Resource* resource)
{
    if (resource == nullptr || resource->m_typeId != ResourceClassId::Text)
        return u"<not a text>";
    const WideString* text = static_cast<TextResource*>(resource)->text();
    return text->chars() ? std::u16string(text->chars()) : std::u16string();
}

// An id that reaches the pack entry (or, for a string id, the table entry)
// of id and differs from it above the low 15 bits; variant 0 is id itself.
uint32_t variantOf(uint32_t id, uint32_t variant)
{
    if (id & ResourceIdBits::String)  // bit 15 and the kind are free
        return id ^ (variant & 1) << 15 ^ (variant >> 1 & 0x1F) << 24;
    if (variant-- == 0)
        return id;
    // Kinds from 7 up: 6 names tables of ids.
    return (7 + variant / 512) << 24 | (variant % 512) << 15 | resourceEntry(id);
}

struct ResourceManagerTest : ::testing::Test {
    ResourcePack pack;
    TestApp app;
    MemoryFileSystem* fs = new MemoryFileSystem();
    ResourceManager* manager = new ResourceManager();

    ResourceManagerTest()
    {
        app.m_fileSystem = fs;
        app.m_resourceManager = manager;
    }
    ~ResourceManagerTest() override { delete fs; }

    void open(const Bytes& table = encodeResourceTable(testTable()))
    {
        ASSERT_EQ(pack.openFile(new MemoryFile(buildTestPack(table))), 1);
        ASSERT_EQ(manager->openTable(&pack, 500, 33, true), 1);
    }
    uint32_t refs(uint32_t id)
    {
        Resource* r = manager->held(id);
        return r ? r->refCount() : 0;
    }
};

} // namespace

TEST_F(ResourceManagerTest, ReadsTheResourceTable)
{
    open();
    EXPECT_EQ(manager->aliasCount(), 3u);
    EXPECT_EQ(manager->languageCount(), 2u);
    EXPECT_EQ(manager->languageId(1), kGerman);
    EXPECT_EQ(std::u16string(manager->languageName(0)), u"English");
    EXPECT_EQ(manager->languageAttributes(1)[0], 3);
    EXPECT_EQ(manager->languageAttributes(1)[1], 4);
    EXPECT_EQ(manager->stringTableCount(), 3u);
    EXPECT_EQ(manager->resolveId(0x06010002), kIdListEntry);
    EXPECT_EQ(manager->resolveId(0x06010003), 0u);
    EXPECT_EQ(manager->resolveId(0x86010002), 0x86010002u);
}

TEST_F(ResourceManagerTest, CountsReferencesAndDeletesOnLastRelease)
{
    open();
    Resource* first = nullptr;
    Resource* second = nullptr;
    EXPECT_EQ(manager->loadById(kFirstAliased, &first), ResourceResult::Loaded);
    EXPECT_EQ(manager->loadById(kFirstAliased, &second), ResourceResult::AlreadyLoaded);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->refCount(), 2u);
    EXPECT_EQ(first->owner(), manager);
    EXPECT_EQ(first->memorySize(), 10u + 20u);
    const auto* block = static_cast<const DataBlock*>(first->payload());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block->data()), block->size()), "alias zero");
    EXPECT_EQ(block->tag(), ResourceType::Data);

    EXPECT_EQ(manager->releaseRef(&first), 1);
    EXPECT_EQ(refs(kFirstAliased), 1u);
    EXPECT_EQ(manager->releaseRef(&second), 1);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(manager->held(kFirstAliased), nullptr);
    manager->releaseById(kFirstAliased);  // a third release finds nothing
    EXPECT_EQ(manager->held(kFirstAliased), nullptr);
}

TEST_F(ResourceManagerTest, LoadsTextsOfBothEncodingsThroughTaggedStringTables)
{
    open();
    Resource* text = nullptr;
    EXPECT_EQ(manager->loadById(0x21FF0001, &text), ResourceResult::Failed);  // no language yet
    EXPECT_EQ(text, nullptr);

    EXPECT_EQ(manager->loadListEntry(0), ResourceResult::Loaded);
    EXPECT_EQ(manager->currentLanguage(), kEnglish);
    struct Case {
        uint32_t id;
        std::u16string expected;
    };
    const Case english[] = {
        {0x21FF0001, u"Hello"},
        {0x21FF0002, u"Gr\u00FC\u00DFe"},
    };
    for (const Case& c : english) {
        EXPECT_EQ(manager->loadById(c.id, &text), ResourceResult::Loaded);
        EXPECT_EQ(textOf(text), c.expected);
        manager->releaseRef(&text);
    }
    EXPECT_EQ(manager->loadById(0x21FF0009, &text), ResourceResult::Failed);  // no such row

    // A table named by its sub-kind must be loaded first.
    EXPECT_EQ(manager->loadById(0x21220001, &text), ResourceResult::Failed);
    EXPECT_EQ(manager->loadById(kMenuTexts, nullptr), ResourceResult::Loaded);
    EXPECT_EQ(manager->loadById(0x21220002, &text), ResourceResult::Loaded);
    EXPECT_EQ(textOf(text), u"Men\u00FC");
    EXPECT_EQ(text->memorySize(), (4u + 2u) * 2u);
    manager->releaseRef(&text);

    EXPECT_EQ(manager->loadListEntry(1), ResourceResult::Loaded);
    EXPECT_EQ(manager->held(kEnglish), nullptr);
    EXPECT_EQ(manager->loadById(0x21FF0001, &text), ResourceResult::Loaded);
    EXPECT_EQ(textOf(text), u"Hallo");
    manager->releaseRef(&text);
    EXPECT_EQ(manager->loadListEntry(2), 0);
    EXPECT_EQ(manager->currentLanguage(), 0u);
    EXPECT_EQ(manager->held(kGerman), nullptr);
}

TEST_F(ResourceManagerTest, ShowIdsReplacesCurrentLanguageTextsByTheirId)
{
    open();
    manager->setShowIds(1);
    Resource* text = nullptr;
    EXPECT_EQ(manager->loadById(0x21FF0005, &text), ResourceResult::Loaded);
    EXPECT_EQ(textOf(text), u"0x21ff0005");
    EXPECT_EQ(manager->held(kEnglish), nullptr);
    manager->releaseRef(&text);
    // Other kinds still need their table.
    EXPECT_EQ(manager->loadById(0x22FF0005, &text), ResourceResult::Failed);
}

TEST_F(ResourceManagerTest, LanguageSwitchNeverTakesAnotherHoldersReference)
{
    open();
    Resource* holder = nullptr;
    ASSERT_EQ(manager->loadById(kEnglish, &holder), ResourceResult::Loaded);
    EXPECT_EQ(manager->loadListEntry(0), ResourceResult::AlreadyLoaded);
    EXPECT_EQ(refs(kEnglish), 2u);
    EXPECT_EQ(manager->loadListEntry(7), 0);  // out of range: releases the language once
    EXPECT_EQ(manager->loadListEntry(7), 0);  // and not again
    EXPECT_EQ(refs(kEnglish), 1u);
    EXPECT_EQ(manager->currentLanguage(), 0u);
}

TEST_F(ResourceManagerTest, AliasesResolveInRangeAndReleaseOnlyByTheResolvedId)
{
    open();
    Resource* r = nullptr;
    EXPECT_EQ(manager->loadById(0x06010002, &r), ResourceResult::Loaded);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->id(), kIdListEntry);
    const auto* list = static_cast<const IdList*>(r->payload());
    EXPECT_EQ(list->count(), 3u);
    EXPECT_EQ(list->get(2), 9u);
    EXPECT_EQ(list->get(3), 0u);
    EXPECT_EQ(manager->loadById(0x06010003, &r), ResourceResult::Failed);
    EXPECT_EQ(r, nullptr);

    manager->releaseById(0x06010002);
    EXPECT_EQ(refs(kIdListEntry), 1u);
    EXPECT_EQ(manager->findLoaded(0x06010002, &r), 1);
    manager->releaseById(kIdListEntry);
    EXPECT_EQ(manager->held(kIdListEntry), nullptr);
}

TEST_F(ResourceManagerTest, FailedLoadsLeaveNothingBehind)
{
    open();
    const uint32_t ids[] = {
        kUnknownType,  // no class for the type word
        kBadHeader,    // entry header runs past the entry
        kSurface,      // no surface class registered
        0x03000077,    // not in the pack
        0x06000000,    // composite
        0x06000001,    // composite beyond the aliases
        kHugeText,     // announces 4 GiB
        kDryTexts[0], kDryTexts[1], kDryTable, kDryData, kDrySound,
    };
    for (uint32_t id : ids) {
        Resource* r = reinterpret_cast<Resource*>(1);
        // A host that cannot give 1 MiB at once: what arrived fits, what is only announced does not.
        AllocationWatch watch(1 << 20);
        int result = -1;
        EXPECT_NO_THROW(result = manager->loadById(id, &r)) << std::hex << id;
        EXPECT_EQ(result, ResourceResult::Failed) << std::hex << id;
        EXPECT_LE(watch.largest(), kFirstReadBlock) << std::hex << id;
        EXPECT_EQ(r, nullptr);
        EXPECT_EQ(manager->held(id), nullptr);
    }
    // What they made went back with them, and each entry fails again at once
    // by any id that reaches it: a list naming it many times reads it once.
    EXPECT_EQ(manager->ledger().held(), 0u);
    const uint64_t loads = manager->loads(), made = manager->ledger().made();
    for (uint32_t id : {kDryTexts[0], kDryTable, kDryData, kDrySound})
        for (uint32_t variant = 0; variant < 4; ++variant)
            EXPECT_EQ(manager->loadById(variantOf(id, variant), nullptr), ResourceResult::Failed);
    EXPECT_EQ(manager->loads(), loads);
    EXPECT_EQ(manager->ledger().made(), made);

    // Memory that runs out at any allocation of a load, the id table's
    // growth among them: refused, nothing of it held, the others as they were.
    ASSERT_EQ(manager->openTable(&pack, 1, 33, true), 1);
    Resource* kept = nullptr;
    ASSERT_EQ(manager->loadById(kEnglish, &kept), ResourceResult::Loaded);
    ResourceLoadRecord fillers[8] = {};  // seven more fill the smallest table: the loads below grow it
    for (uint32_t i = 0; i < 7; ++i)
        fillers[i] = {ResourceType::Data, nullptr, 0x40000001 + i};
    ASSERT_EQ(manager->loadRecordArray(fillers), 1);
    for (uint32_t id : {kFirstAliased, kIdListEntry, kMenuTexts, kTexts})
        for (size_t failAt = 1, more = 1; more; ++failAt) {
            Resource* r = nullptr;
            int result = ResourceResult::Failed;
            {
                AllocationWatch watch(SIZE_MAX, failAt);
                EXPECT_NO_THROW(result = manager->loadById(id, &r)) << std::hex << id << " " << failAt;
                more = watch.requests() >= failAt;
            }
            EXPECT_EQ(r != nullptr, result != ResourceResult::Failed) << std::hex << id << " " << failAt;
            manager->releaseRef(&r);
            EXPECT_EQ(manager->held(id), nullptr) << std::hex << id << " " << failAt;
            EXPECT_EQ(manager->held(kEnglish), kept);
            EXPECT_EQ(kept->refCount(), 1u);
        }

    // Step by step, with the room the pack has left set by a block: an entry
    // that failed for room ("alias zero" makes 10 bytes) fails at once until
    // the pack has the room it needs, and is read again as soon as it has;
    // one that loaded is read again after; a damaged entry waits for more
    // room than it had when it last failed; a read error is not remembered.
    ResourcePack local;
    fs->files[u"/pack.big"] = buildTestPack(encodeResourceTable(testTable()));
    ASSERT_EQ(local.open(u"/pack.big"), 1);
    ResourceManager budgeted(1 << 20);
    ASSERT_EQ(budgeted.openTable(&local, 50, 8, true), 1);
    budgeted.ledger().takeBlocks();
    void* fill = nullptr;
    const struct {
        uint64_t room;
        uint32_t id;
        int shortReads, result;
        uint64_t reads;  // payloads read, again after a read error included
    } steps[] = {
        {0, kFirstAliased, 0, ResourceResult::Failed, 1}, {9, kFirstAliased, 0, ResourceResult::Failed, 0},
        {10, kFirstAliased, 0, ResourceResult::Loaded, 1}, {0, kFirstAliased, 0, ResourceResult::Failed, 1},
        {5, kBadHeader, 0, ResourceResult::Failed, 1},     {5, kBadHeader, 0, ResourceResult::Failed, 0},
        {6, kBadHeader, 0, ResourceResult::Failed, 1},     {6, kBadHeader, 0, ResourceResult::Failed, 0},
        {64, kIdListEntry, 99, ResourceResult::Failed, kReadAttempts},
        {64, kIdListEntry, 0, ResourceResult::Loaded, 1},
    };
    for (const auto& step : steps) {
        LoadLedger::freeBlock(fill);
        fill = LoadLedger::allocateBlock(uint32_t(budgeted.ledger().room() - step.room - 16));
        ASSERT_EQ(budgeted.ledger().room(), step.room);
        fs->faults.shortReads = step.shortReads;
        const uint64_t reads = budgeted.loads();
        Resource* r = nullptr;
        EXPECT_EQ(budgeted.loadById(step.id, &r), step.result) << std::hex << step.id << " " << step.room;
        EXPECT_EQ(budgeted.loads() - reads, step.reads) << std::hex << step.id << " " << step.room;
        budgeted.releaseRef(&r);
    }
    LoadLedger::freeBlock(fill);
    // A resource taken out of the table takes its bytes out of the count.
    Resource* r = nullptr;
    ASSERT_EQ(budgeted.loadById(kFirstAliased, &r), ResourceResult::Loaded);
    EXPECT_EQ(budgeted.ledger().held(), 10u);
    ASSERT_EQ(budgeted.remove(r), 1);
    EXPECT_EQ(budgeted.ledger().held(), 0u);
    delete r;
}

TEST_F(ResourceManagerTest, SafeSceneFileReplacesThePackEntry)
{
    open();
    Resource* r = nullptr;
    ASSERT_EQ(manager->loadById(ResourceIds::SafeScene, &r), ResourceResult::Loaded);
    auto bytesOfResource = [](Resource* res) {
        const auto* b = static_cast<const DataBlock*>(res->payload());
        return std::string(reinterpret_cast<const char*>(b->data()), b->size());
    };
    EXPECT_EQ(bytesOfResource(r), "scene from the pack");
    manager->releaseRef(&r);

    fs->put(u"safe.m3g", "scene from the loose file");
    ASSERT_EQ(manager->loadById(ResourceIds::SafeScene, &r), ResourceResult::Loaded);
    EXPECT_EQ(bytesOfResource(r), "scene from the loose file");
    manager->releaseRef(&r);
}

TEST_F(ResourceManagerTest, IdArraysEndAtTheTerminator)
{
    open();
    const uint32_t none[] = {0};
    EXPECT_EQ(manager->loadIds(none), 1);
    EXPECT_EQ(manager->loadIds(nullptr), 1);
    manager->releaseIds(none);
    manager->deleteIds(none);

    const uint32_t some[] = {kFirstAliased, kIdListEntry, 0, 0x03000011};
    EXPECT_EQ(manager->loadIds(some), 1);
    EXPECT_NE(manager->held(kIdListEntry), nullptr);
    EXPECT_EQ(manager->held(0x03000011), nullptr);
    const uint32_t withBad[] = {kUnknownType, 0x03000011, 0};
    EXPECT_EQ(manager->loadIds(withBad), 0);
    EXPECT_NE(manager->held(0x03000011), nullptr);
    manager->deleteIds(some);
    EXPECT_EQ(manager->held(kFirstAliased), nullptr);
    EXPECT_EQ(manager->held(kIdListEntry), nullptr);
}

TEST_F(ResourceManagerTest, CallerDataLoadsByNameAndRecord)
{
    open();
    const char16_t hello[] = u"hi";
    MemoryInputStream stream;
    stream.open(hello, 4);
    Resource* r = nullptr;
    NamedResourceRecord named{ResourceType::Utf16Text, &stream, "greeting"};
    EXPECT_EQ(manager->loadNamed(named, &r), ResourceResult::Loaded);
    EXPECT_EQ(r->id(), hashName("greeting") | ResourceIdBits::Name);
    Resource* found = nullptr;
    EXPECT_EQ(manager->findByName("greeting", &found), 1);
    EXPECT_EQ(found, r);
    EXPECT_EQ(textOf(found), u"hi");

    // Without a stream the resource is made empty.
    ResourceLoadRecord records[] = {{ResourceType::Data, nullptr, 0x40000001}, {0, nullptr, 0}};
    EXPECT_EQ(manager->loadRecordArray(records), 1);
    EXPECT_EQ(manager->findLoaded(0x40000001, &found), 1);
    EXPECT_EQ(found->memorySize(), 20u);
    WideNamedResourceRecord wide[] = {{0x12345678, nullptr, u"nothing"}, {0, nullptr, nullptr}};
    EXPECT_EQ(manager->loadWideNamedArray(wide), 0);

    manager->releaseByName("greeting");
    EXPECT_EQ(manager->findByName("greeting", &found), 0);
}

TEST_F(ResourceManagerTest, FailedReloadInPlaceKeepsNoReference)
{
    open();
    auto* text = new TextResource();
    MemoryInputStream stream;
    stream.open(u"abc", 6);
    ASSERT_EQ(text->createAndRegister(0x40000010, &stream, ResourceType::Utf16Text), ResourceResult::Loaded);
    EXPECT_EQ(text->refCount(), 1u);
    EXPECT_EQ(text->createAndRegister(0x40000010, nullptr, 0), 0);  // this manager owns it already

    // A resource without its payload is no longer handed out as loaded.
    text->unload();
    EXPECT_EQ(text->isLoaded(), 0);
    Resource* r = nullptr;
    EXPECT_EQ(manager->findLoaded(0x40000010, &r), 0);
    MemoryInputStream empty;
    empty.open(nullptr, 0);
    EXPECT_EQ(manager->load(&r, 0x40000010, ResourceType::Utf16Text, &empty), ResourceResult::Failed);
    EXPECT_EQ(text->refCount(), 1u);
    EXPECT_EQ(r, nullptr);

    stream.open(u"xyz", 6);
    EXPECT_EQ(manager->load(&r, 0x40000010, ResourceType::Utf16Text, &stream), ResourceResult::Loaded);
    EXPECT_EQ(r, text);
    EXPECT_EQ(textOf(r), u"xyz");
    EXPECT_EQ(text->refCount(), 2u);
}

// An unloaded resource that is loaded again by id reads its bytes by its own
// type word, as its first load did, and comes back from the same source.
TEST_F(ResourceManagerTest, ReloadAfterUnloadKeepsTheResourcesOwnType)
{
    open();
    ASSERT_EQ(manager->loadListEntry(0), ResourceResult::Loaded);
    auto tagOf = [](Resource* r) {
        return r->m_typeId == ResourceClassId::Data ? static_cast<const DataBlock*>(r->payload())->tag()
                                                    : static_cast<const SoundSample*>(r->payload())->tag();
    };
    struct Case {
        uint32_t id;
        uint32_t type;
        std::u16string text;  // empty: not a text
    };
    const Case cases[] = {
        {0x03000011, ResourceType::SpanProgramRecord, u""},
        {kStoredSound, ResourceType::StoredSoundForms[3], u""},
        {0x21FF0001, ResourceType::Utf16Text, u"Hello"},
        {0x21FF0002, ResourceType::Utf8Text, u"Gr\u00FC\u00DFe"},
    };
    for (const Case& c : cases) {
        Resource* first = nullptr;
        ASSERT_EQ(manager->loadById(c.id, &first), ResourceResult::Loaded) << std::hex << c.id;
        first->unload();
        Resource* again = nullptr;
        ASSERT_EQ(manager->loadById(c.id, &again), ResourceResult::Loaded) << std::hex << c.id;
        EXPECT_EQ(again, first);
        EXPECT_EQ(again->type(), c.type) << std::hex << c.id;
        EXPECT_EQ(again->refCount(), 2u);
        if (c.text.empty())
            EXPECT_EQ(tagOf(again), c.type) << std::hex << c.id;
        else
            EXPECT_EQ(textOf(again), c.text) << std::hex << c.id;
    }
}

TEST_F(ResourceManagerTest, ResourceRefTakesThePayloadOfLoadedResources)
{
    open();
    ResourceRef ref{kFirstAliased, nullptr};
    EXPECT_EQ(ref.refresh(), 0);
    EXPECT_EQ(ref.payload, nullptr);
    Resource* r = nullptr;
    manager->loadById(kFirstAliased, &r);
    EXPECT_EQ(ref.refresh(), 1);
    EXPECT_EQ(ref.payload, r->payload());
}

TEST_F(ResourceManagerTest, CloseDeletesEverythingAndForgetsTheTable)
{
    open();
    manager->loadListEntry(0);
    manager->loadById(kFirstAliased, nullptr);
    manager->close();
    EXPECT_EQ(manager->held(kFirstAliased), nullptr);
    EXPECT_EQ(manager->languageCount(), 0u);
    EXPECT_EQ(manager->aliasCount(), 0u);
    EXPECT_EQ(manager->currentLanguage(), 0u);
    EXPECT_EQ(manager->pack(), nullptr);

    // Teardown runs newest first, the same on every run, ids held twice too.
    struct Logged : DataResource {
        std::vector<uint32_t>* log;
        ~Logged() override { log->push_back(id()); }
    };
    std::vector<uint32_t> deleted, expected;
    open();
    for (uint32_t i = 0; i < 40; ++i) {
        auto* r = new Logged();
        r->log = &deleted;
        r->create(0x40000000u | (i * 7 % 13), nullptr, ResourceType::Data);
        ASSERT_EQ(manager->insert(r), 1);
        expected.insert(expected.begin(), r->id());
    }
    manager->deleteAll();
    EXPECT_EQ(deleted, expected);
}

TEST_F(ResourceManagerTest, HostileResourceTablesFailOrStayInBounds)
{
    auto words = [](std::initializer_list<uint32_t> values) {
        Bytes out;
        for (uint32_t v : values)
            putU32(out, v);
        return out;
    };
    const auto tableOf = [](uint32_t aliases, uint32_t languages, uint32_t width, uint32_t nameLength) {
        ResourceTableImage table;
        table.aliases.assign(aliases, kFirstAliased);
        table.attributeWidth = width;
        table.nameLength = nameLength;
        table.languages.assign(languages, {kEnglish, {}, "English"});
        return encodeResourceTable(table);
    };
    struct Case {
        const char* what;
        Bytes image;
        int opens;
    };
    const Case cases[] = {
        {"huge alias count", words({0xFFFFFFFF, 1, 2}), 0},
        {"truncated alias list", words({3, 1, 2}), 0},
        {"language product beyond 32 bits", words({0, 0x10000, 0x10000, 0x10000, 0}), 0},
        {"languages cut short", words({0, 2, 1, 4, 0x03000020}), 0},
        {"no string-table count", words({0, 0, 0, 0}), 0},
        {"huge string-table count", words({0, 0, 0, 0, 0x40000000}), 0},
        {"attribute width 0 means no languages", words({0, 5, 0, 8, 0}), 1},
        {"empty table", words({0, 0, 0, 0, 0}), 1},
        // Past the stated sizes, with every byte there.
        {"more aliases than ids reach", tableOf(ResourceTableLimit::Aliases + 1, 0, 0, 0), 0},
        {"more languages than a phone ships", tableOf(0, ResourceTableLimit::Languages + 1, 1, 1), 0},
        {"a language name too long", tableOf(0, 2, 1, ResourceTableLimit::NameBytes + 1), 0},
        {"language attributes too wide", tableOf(0, 2, ResourceTableLimit::AttributeBytes + 1, 1), 0},
    };
    for (const Case& c : cases) {
        ResourcePack hostilePack;
        ASSERT_EQ(hostilePack.openFile(new MemoryFile(buildTestPack(c.image))), 1);
        ResourceManager local;
        EXPECT_EQ(local.openTable(&hostilePack, 50, 8, true), c.opens) << c.what;
        EXPECT_EQ(local.languageCount(), 0u) << c.what;
        EXPECT_EQ(local.loadListEntry(0), 0) << c.what;
    }
}

TEST_F(ResourceManagerTest, OpenTableFailsWithoutTheTableEntry)
{
    PackWriter writer;
    writer.add(kFirstAliased, ResourceType::Data, bytesOf("x"));
    Bytes bytes;
    ASSERT_TRUE(writer.build(PackIndexForm::Range, bytes));
    ASSERT_EQ(pack.openFile(new MemoryFile(bytes)), 1);
    EXPECT_EQ(manager->openTable(&pack, 500, 33, true), 0);
    EXPECT_EQ(manager->openTable(nullptr, 500, 33, true), 0);
}

// Twice the pack costs at most 2.3 times the counted work (probes, loads and
// bytes made), with ids chosen to collide, to spread and to reach one entry.
// Past a pack's budget loads fail; when the rest is released, only what the
// refused loads made stays counted.
TEST_F(ResourceManagerTest, LoadsStayInProportionToThePack)
{
    enum Names { Texts, Data, Aliases };
    const struct {
        const char* what;
        Names names;
        uint32_t tableIds, stride, dataBase;
        uint32_t perEntry;  // ids reaching one entry, differing above the low 15 bits; 0: all of them
        bool oneId;         // those ids are one id instead
        bool deflate;       // texts deflated inside the deflated table
        uint32_t bytes, budget;
    } rows[] = {
        {"string-table ids naming no selector, the real table last", Texts, 1, 1, 0, 1, false, false, 1, 0},
        {"every text of one table", Texts, 0, 1, 0, 1, false, false, 1, 0},
        {"texts whose ids share their low bits", Texts, 0, 4, 0, 1, false, false, 1, 0},
        {"texts deflated inside a deflated table", Texts, 0, 1, 0, 1, false, true, 1, 0},
        {"deflated texts each reached by 64 ids", Texts, 0, 1, 0, 64, false, true, 1, 0},
        {"data ids in one bucket of 503", Data, 0, 503, 0, 1, false, false, 1, 0},
        {"spread data ids", Data, 0, 1, 0x03001000, 1, false, false, 1, 0},
        {"ids reaching one entry", Data, 0, 1, 0x03001000, 0, false, false, 1, 0},
        {"aliases naming one id", Aliases, 0, 1, 0x03001000, 0, true, false, 1, 0},
        {"aliases naming the ids that reach one entry", Aliases, 0, 1, 0x03001000, 0, false, false, 1, 0},
        {"ids reaching one entry, past the budget", Data, 0, 1, 0x03001000, 0, false, false, 1 << 16, 8 << 20},
        {"deflated texts of a deflated table, past the budget", Texts, 0, 1, 0, 64, false, true, 1 << 13, 8 << 20},
    };
    for (const auto& row : rows) {
        const Bytes text = encodePackEntry(Bytes(row.bytes, 'a'), row.deflate);
        uint64_t work[2][3] = {};
        for (uint32_t k = 0, n = 2048; k < 2; ++k, n *= 2) {
            ResourceTableImage image;
            for (uint32_t i = 0; i < n * row.tableIds; ++i)
                image.stringTables.push_back(0x03000100u + i % 0x7F00u);
            image.stringTables.push_back(kTexts);
            PackWriter writer;
            EntryTableWriter texts;
            std::vector<uint32_t> ids{kTexts};  // loaded in order, ended by 0
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t per = row.perEntry ? row.perEntry : n;
                const uint32_t entry = i / per * row.stride;
                const uint32_t id = row.names == Texts ? 0x21050000u | entry : row.dataBase + entry + row.stride;
                ids.push_back(row.oneId ? id : variantOf(id, i % per));
                if (i % per != 0)
                    continue;
                if (row.names == Texts)
                    texts.add(entry, text, ResourceType::Utf8Text);
                else
                    writer.add(id & PackFormat::IdMask, ResourceType::Data, Bytes(row.bytes, 1));
            }
            if (row.names == Aliases) {
                image.aliases.assign(ids.begin() + 1, ids.end());
                for (uint32_t i = 1; i <= n; ++i)
                    ids[i] = 0x06010000u | (i - 1);
            }
            ids.push_back(0);
            writer.add(ResourceIds::ResourceTableEntry, ResourceType::Data, encodeResourceTable(image), true);
            writer.add(kTexts, ResourceType::Table, texts.build(), true);
            Bytes bytes;
            ASSERT_TRUE(writer.build(PackIndexForm::Sorted, bytes)) << row.what;
            ResourcePack local;
            ResourceManager loader(row.budget ? row.budget : kMaxBytesPerPack);
            ASSERT_EQ(local.openFile(new MemoryFile(bytes)), 1);
            ASSERT_EQ(loader.openTable(&local, 500, 33, true), 1);
            EXPECT_EQ(loader.loadIds(ids.data()), row.budget ? 0 : 1) << row.what;
            EXPECT_EQ(loader.findLoaded(ids[n], nullptr), row.budget ? 0 : 1) << row.what;
            EXPECT_LE(loader.ledger().held(), row.budget ? row.budget : kMaxBytesPerPack) << row.what;
            work[k][0] = loader.probes() + local.probes()
                         + static_cast<TableResource*>(loader.held(kTexts))->table()->probes();
            work[k][1] = loader.loads();
            work[k][2] = loader.ledger().made();
            for (uint32_t id : ids)
                loader.releaseById(loader.resolveId(id));
            EXPECT_LT(loader.ledger().held(), 4 * row.bytes) << row.what;
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_LE(work[1][c] * 10, work[0][c] * 23)
                << row.what << ", counter " << c << ": " << work[0][c] << " then " << work[1][c];
    }
}

// Over random packs, inserts and removals, the manager answers as the walks
// it replaces: the first string-table id of a selector, the newest resource
// inserted under an id.
TEST_F(ResourceManagerTest, LookupsMatchTheirWalksOverRandomPacks)
{
    std::mt19937 random(61);
    for (int round = 0; round < 40; ++round) {
        ResourceTableImage image;
        for (uint32_t i = random() % 600; i > 0; --i)
            image.stringTables.push_back((random() & 0x0FFF0000u) | random() % (i % 2 ? 0x140u : 0x8000u));
        ResourcePack local;
        ASSERT_EQ(local.openFile(new MemoryFile(buildTestPack(encodeResourceTable(image)))), 1);
        ResourceManager loader;
        ASSERT_EQ(loader.openTable(&local, 50, 8, round % 2 == 0), 1);  // odd rounds hold 8 at most
        for (uint32_t selector = 0; selector < 255; ++selector) {
            auto first = std::find_if(image.stringTables.begin(), image.stringTables.end(),
                                      [&](uint32_t id) { return resourceEntry(id) == selector; });
            ASSERT_EQ(loader.stringTableOf(0x21000000u | selector << 16), first == image.stringTables.end() ? 0 : *first);
        }
        std::vector<Resource*> held;  // newest last
        for (int step = 0; step < 2000; ++step) {
            const uint32_t id = 0x40000000u | random() % (round % 2 ? 20 : 400);
            if (held.empty() || random() % 3 != 0) {
                auto* resource = new DataResource();
                resource->create(id, nullptr, ResourceType::Data);
                const int fits = round % 2 == 0 || held.size() < 8;
                EXPECT_EQ(loader.insert(resource), fits);
                fits ? held.push_back(resource) : delete resource;
            } else {
                const auto at = held.begin() + random() % held.size();
                EXPECT_EQ(loader.remove(*at), 1);
                delete *at;
                held.erase(at);
            }
            auto newest = std::find_if(held.rbegin(), held.rend(), [&](Resource* r) { return r->id() == id; });
            ASSERT_EQ(loader.held(id), newest == held.rend() ? nullptr : *newest) << round << " " << step;
        }
    }
}
