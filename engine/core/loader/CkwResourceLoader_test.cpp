#include "engine/core/loader/CkwResourceLoader.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <map>
#include <zlib.h>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/io/IoTestKit.h"
#include "engine/core/loader/LoaderTestKit.h"
#include "engine/core/testing/AllocationSweep.h"
#include "tools/archive/ArchiveWriter.h"

namespace {

class LoaderTest : public ::testing::Test {
protected:
    LoaderTest()
    {
        EXPECT_TRUE(m_engine.ready());
        EXPECT_EQ(m_engine.api().createEngineObject(kIidLoader, &m_handle), 0);
    }
    ~LoaderTest() override { tableOf<IkwUnknownTable>(m_handle).release(m_handle); }

    const IkwLoaderTable& loader() const { return tableOf<IkwLoaderTable>(m_handle); }
    CkwBrewLoader& object() const { return *static_cast<CkwBrewLoader*>(m_handle->object); }
    EngineResult loadBuffer(const std::vector<uint8_t>& bytes, const uint32_t* budget = nullptr)
    {
        return loader().loadBuffer(m_handle, static_cast<uint32_t>(bytes.size()), bytes.data(), budget);
    }
    EngineResult loadName(const std::string& name) { return loader().loadName(m_handle, name.c_str(), nullptr); }
    TestObject& root(uint32_t index) const
    {
        IkwSerializable* object = nullptr;
        EXPECT_EQ(engineTrap([&] { object = object_().rootL(index); }), 0);
        return *static_cast<TestObject*>(object);
    }
    CkwBrewLoader& object_() const { return object(); }
    // The user id of what the root's first reference turned into.
    int32_t referencedUserId(uint32_t rootIndex, size_t reference = 0) const
    {
        return static_cast<TestObject*>(root(rootIndex).references.at(reference))->userId;
    }

    InterfaceEngine m_engine;
    ScratchFolder m_folder;
    EngineHandle* m_handle = nullptr;
};

TEST_F(LoaderTest, LoadsAllRootsFromMemory)
{
    M3gFileWriter writer;
    const uint32_t child = writer.addObject(testRecord(5));
    writer.beginSection(kM3gSchemeZlib);
    writer.addObject(testRecord(6, {child}));
    writer.addObject(testRecord(7));
    EXPECT_EQ(loader().getState(m_handle), 0u);
    EngineHandle* none = reinterpret_cast<EngineHandle*>(1);
    EXPECT_EQ(loader().getRoot(m_handle, 0, &none), 0); // never loaded: null handle
    EXPECT_EQ(none, nullptr);

    ASSERT_EQ(loadBuffer(writer.finish()), 0);
    EXPECT_EQ(loader().getState(m_handle), 2u);
    uint32_t count = 0;
    loader().getRootCount(m_handle, &count);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(root(0).userId, 6);
    EXPECT_EQ(root(1).userId, 7);
    EXPECT_EQ(referencedUserId(0), 5);
    EngineHandle* handle = nullptr;
    EXPECT_EQ(loader().getRoot(m_handle, 2, &handle), 0x10007);
    ASSERT_EQ(loader().getRoot(m_handle, 0, &handle), 0);
    EXPECT_EQ(handle->object, &root(0));
    EXPECT_EQ(unknownRelease(handle), 0u);

    // A second load is refused and fails the loader, but what it loaded stays.
    EXPECT_EQ(loadBuffer({1, 2, 3}), 0x1000C);
    EXPECT_EQ(loader().getState(m_handle), 3u);
    EXPECT_EQ(object().rootCount(), 2u);
    EXPECT_EQ(loader().getRoot(m_handle, 1, &handle), 0);
    EXPECT_EQ(handle->object, &root(1));
    EXPECT_EQ(unknownRelease(handle), 0u);
    EXPECT_EQ(loadBuffer({1, 2, 3}), 0x1000C);
    EXPECT_EQ(loader().getState(m_handle), 3u);
}

TEST_F(LoaderTest, BudgetOfOneReadsOneChunkPerCall)
{
    M3gFileWriter writer;
    for (int i = 0; i < 300; ++i)
        writer.addObject(testRecord(i));
    const std::vector<uint8_t> file = writer.finish();
    const uint32_t chunks = static_cast<uint32_t>((file.size() + kLoaderChunkSize - 1) / kLoaderChunkSize);
    ASSERT_GT(chunks, 3u);
    const uint32_t budget = 1;
    uint32_t calls = 0;
    do {
        ASSERT_EQ(loadBuffer(file, &budget), 0);
        ++calls;
    } while (loader().getState(m_handle) == 1 && calls < 1000);
    EXPECT_EQ(loader().getState(m_handle), 2u);
    EXPECT_EQ(calls, chunks + 1); // the last call reads the end
    EXPECT_EQ(object().rootCount(), 300u);
}

TEST_F(LoaderTest, BadInputsFailWithTheirCodes)
{
    M3gFileWriter writer;
    writer.addObject(testRecord(1));
    const std::vector<uint8_t> good = writer.finish();

    // The last section ends inside an object record it announces.
    std::vector<uint8_t> cutRecord;
    for (uint32_t size = 0; size == 0 || cutRecord.size() != size;) {
        size = static_cast<uint32_t>(cutRecord.size());
        cutRecord.clear();
        m3gAppendIdentifier(cutRecord, M3gFlavour::M3g);
        std::vector<uint8_t> header;
        M3gHeaderFields fields;
        fields.totalFileSize = size;
        m3gAppendRecord(header, m3gHeaderRecord(fields));
        m3gAppendSection(cutRecord, m3gSection(kM3gSchemeNone, header));
        const std::vector<uint8_t> partial = {9, 3, 0, 0, 0, 1, 2};
        m3gAppendSection(cutRecord, m3gSection(kM3gSchemeNone, partial));
    }

    // Two megabytes of zeros in one record, deflated, in a section announcing
    // that it unpacks to a gigabyte.
    M3gFileWriter bombWriter;
    bombWriter.beginSection(kM3gSchemeZlib);
    bombWriter.addObject({9, std::vector<uint8_t>(2 << 20, 0)});
    std::vector<uint8_t> bomb = bombWriter.finish();
    bomb[12 + (bomb[13] | bomb[14] << 8) + 8] = 0x40;

    // A one-pixel PNG whose header announces 16,000 x 16,000.
    std::vector<uint8_t> announcesMore = pngBytes(1, 1, PNG_COLOR_TYPE_GRAY, 0);
    announcesMore[18] = announcesMore[22] = 0x3E;
    announcesMore[19] = announcesMore[23] = 0x80;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, announcesMore.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        announcesMore[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    // Trailed by enough bytes that its rows could inflate from them.
    std::vector<uint8_t> pastAllowance = announcesMore;
    pastAllowance.resize(announcesMore.size() + 250000);

    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        EngineResult result;
    } cases[] = {
        {"empty input", {}, 0x10008},
        {"cut inside a section", std::vector<uint8_t>(good.begin(), good.end() - 3), 0x10008},
        {"neither 3D file nor PNG", {'h', 'e', 'l', 'l', 'o'}, -7},
        {"last section stops inside a record", cutRecord, -10},
        {"PNG too large for its limits", pngBytes(20000, 1, PNG_COLOR_TYPE_GRAY, 0), -7},
        {"PNG announcing more rows than its data can inflate to", announcesMore, -7},
        {"PNG past the load's allowance", pastAllowance, 0x10001},
        {"section announcing a gigabyte", bomb, 0x10009},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineHandle* fresh = nullptr;
        ASSERT_EQ(m_engine.api().createEngineObject(kIidLoader, &fresh), 0);
        FailingAllocator::start(-1);
        FailingAllocHooks hooks;
        EXPECT_EQ(tableOf<IkwLoaderTable>(fresh).loadBuffer(fresh, static_cast<uint32_t>(c.bytes.size()),
                                                            c.bytes.data(), nullptr),
                  c.result);
        EXPECT_LE(FailingAllocator::largest(), 1u << 20);
        EXPECT_EQ(tableOf<IkwLoaderTable>(fresh).getState(fresh), 3u);
        unknownRelease(fresh);
    }
}

TEST_F(LoaderTest, PngInputBecomesTheOnlyRoot)
{
    ASSERT_EQ(loadBuffer(pngBytes(3, 2, PNG_COLOR_TYPE_RGBA, 200)), 0);
    EXPECT_EQ(loader().getState(m_handle), 2u);
    uint32_t count = 0;
    loader().getRootCount(m_handle, &count);
    EXPECT_EQ(count, 1u);
    IkwSerializable* image = nullptr;
    ASSERT_EQ(engineTrap([&] { image = object().rootL(7); }), 0); // whatever the index
    auto* pixels = static_cast<TestImage*>(image);
    EXPECT_EQ(pixels->format, kImageFormatRgba);
    EXPECT_EQ(pixels->width, 3u);
    EXPECT_EQ(pixels->height, 2u);
    EXPECT_EQ(pixels->firstPixel, 200);

    // A PNG of 256 KiB arrives in 256 chunks; gathering them must not take an allocation each.
    PngSpec noise;
    noise.width = noise.height = 512;
    for (uint32_t i = 0, seed = 1; i < 512 * 512; ++i, seed = seed * 1664525 + 1013904223)
        noise.rows.push_back(static_cast<uint8_t>(seed >> 24));
    const std::vector<uint8_t> file = writePng(noise);
    ASSERT_GT(file.size(), 256u * 1024);
    EngineHandle* fresh = nullptr;
    ASSERT_EQ(m_engine.api().createEngineObject(kIidLoader, &fresh), 0);
    FailingAllocator::start(-1);
    {
        FailingAllocHooks hooks;
        EXPECT_EQ(tableOf<IkwLoaderTable>(fresh).loadBuffer(fresh, uint32_t(file.size()), file.data(), nullptr), 0);
    }
    EXPECT_LT(FailingAllocator::requests(), 40u);
    unknownRelease(fresh);
}

TEST_F(LoaderTest, ReferencesResolveAgainstTheReferringFilesFolder)
{
    m_folder.write("scenes/near.m3g", sceneReferencing(20, {}));
    m_folder.write("scenes/sub/deep.m3g", sceneReferencing(30, {}));
    m_folder.write("scenes/sub/pic.png", pngBytes(2, 2, PNG_COLOR_TYPE_GRAY, 9));
    const std::string top = m_folder.write("scenes/top.m3g",
                                           sceneReferencing(10, {"near.m3g", "sub\\deep.m3g", "sub\\pic.png"}));
    ASSERT_EQ(loadName(top), 0);
    EXPECT_EQ(root(0).userId, 10);
    EXPECT_EQ(referencedUserId(0, 0), 20);
    EXPECT_EQ(referencedUserId(0, 1), 30);
    EXPECT_EQ(static_cast<TestImage*>(root(0).references.at(2))->width, 2u);
}

TEST_F(LoaderTest, ArchiveMembersReferenceMembersOfTheSameArchive)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("Data\\Top.m3g", sceneReferencing(1, {"child.m3g"})));
    ASSERT_TRUE(writer.add("data\\child.m3g", sceneReferencing(2, {"..\\x"})));
    ASSERT_TRUE(writer.add("data\\..\\x", sceneReferencing(3, {})));
    const std::string archive = m_folder.write("pack.arc", writer.finish());
    ASSERT_EQ(loadName("mvlarc:" + archive + "!data\\top.M3G"), 0);
    EXPECT_EQ(root(0).userId, 1);
    auto* child = static_cast<TestObject*>(root(0).references.at(0));
    EXPECT_EQ(child->userId, 2);
    EXPECT_EQ(static_cast<TestObject*>(child->references.at(0))->userId, 3);
}

TEST_F(LoaderTest, NamesAndReferencesThatCannotLoadFail)
{
    const std::string folder = m_folder.path();
    m_folder.write("a.m3g", sceneReferencing(1, {"b.m3g"}));
    m_folder.write("b.m3g", sceneReferencing(2, {"a.m3g"}));
    m_folder.write("self.m3g", sceneReferencing(1, {"self.m3g"}));
    m_folder.write("sub/up.m3g", sceneReferencing(1, {"..\\sub\\.\\up.m3g"}));
    m_folder.write("own.m3g", sceneReferencing(4, {}, M3gFlavour::Own));
    m_folder.write("m3g-over-own.m3g", sceneReferencing(5, {"own.m3g"}));
    m_folder.write("own-over-own.m3g", sceneReferencing(6, {"own.m3g"}, M3gFlavour::Own));
    m_folder.write("missing-ref.m3g", sceneReferencing(7, {"nothing.m3g"}));
    m_folder.write("rootless.m3g", M3gFileWriter().finish());
    m_folder.write("to-rootless.m3g", sceneReferencing(8, {"rootless.m3g"}));
    // Eight pictures of nearly 8 MiB take the allowance; the ninth is refused.
    m_folder.write("zeros.png", pngBytes(4096, 2040, PNG_COLOR_TYPE_GRAY, 0));
    m_folder.write("pictures.m3g", sceneReferencing(1, std::vector<std::string>(9, "zeros.png")));
    // Sections of 6 MiB each, under their cap and under the load's allowance
    // alone, past it together across a reference.
    const auto sections = [&](const std::string& name, int count, std::vector<std::string> uris = {}) {
        M3gFileWriter w;
        std::vector<uint32_t> indices;
        for (const std::string& uri : uris)
            indices.push_back(w.addExternalReference(uri));
        w.addObject(testRecord(1, indices));
        w.beginSection(kM3gSchemeZlib);
        w.addObject(testRecord(2, {}, 9, 3 << 19));
        w.repeatSection(count - 1);
        return m_folder.write(name, w.finish());
    };
    // A megabyte of plain floats: read by a dozen references, it is charged
    // as read and as unpacked and earns nothing; in front of 64 MiB of
    // deflated floats, it earns a credit past the ceiling, which holds.
    M3gFileWriter floats;
    floats.addObject(testRecord(3, {}, 9, 1 << 18));
    m_folder.write("floats.m3g", floats.finish());
    m_folder.write("dozen.m3g", sceneReferencing(1, std::vector<std::string>(12, "floats.m3g")));
    floats.beginSection(kM3gSchemeZlib);
    floats.addObject(testRecord(2, {}, 9, 1 << 21));
    floats.repeatSection(7);
    m_folder.write("ceiling.m3g", floats.finish());
    // Deflated records of a few bytes that make objects of a hundred.
    M3gFileWriter objects;
    objects.beginSection(kM3gSchemeZlib);
    for (int i = 0; i < 1000; ++i)
        objects.addObject(testRecord(0, {}, 1));
    objects.repeatSection(199);
    m_folder.write("objects.m3g", objects.finish());
    ArchiveWriter longNames;
    ASSERT_TRUE(longNames.add("0", sceneReferencing(1, {std::string(1100, 'n')})));
    ASSERT_TRUE(longNames.add(std::string(1100, 'n'), sceneReferencing(2, {})));
    m_folder.write("long.arc", longNames.finish());
    ArchiveWriter archive;
    ASSERT_TRUE(archive.add("x", "y"));
    const std::string pack = m_folder.write("p.arc", archive.finish());
    sections("section.m3g", 1);
    for (int32_t i = 1; i <= kMaxReferenceDepth + 1; ++i)
        m_folder.write("chain/" + std::to_string(i), sceneReferencing(i, {std::to_string(i + 1)}));
    m_folder.write("chain/" + std::to_string(kMaxReferenceDepth + 2), sceneReferencing(0, {}));
    const auto [d, f] = archiveFolderKeepingHash();
    ASSERT_EQ(archiveWriterNameHash(d + ("\\" + f)), archiveWriterNameHash(f));
    ArchiveWriter hidden;
    ASSERT_TRUE(hidden.add(f, sceneReferencing(1, {d + ("\\" + f)})));
    m_folder.write("hidden.arc", hidden.finish());
    // Files 0..depth, each naming the next fanOut times and carrying padding
    // floats: the loads multiply by fanOut at every level.
    const auto multiplying = [&](bool archived, size_t fanOut, int32_t depth, uint32_t padding = 0) {
        const std::string tag = "fan" + std::to_string(fanOut * 100 + depth) + "-" + std::to_string(padding);
        ArchiveWriter members;
        for (int32_t i = 0; i <= depth; ++i) {
            const std::vector<std::string> uris(i < depth ? fanOut : 0, std::to_string(i + 1));
            const std::vector<uint8_t> file = sceneReferencing(i, uris, M3gFlavour::M3g, padding);
            EXPECT_TRUE(members.add(std::to_string(i), file));
            if (!archived)
                m_folder.write(tag + "/" + std::to_string(i), file);
        }
        return archived ? "mvlarc:" + m_folder.write(tag + ".arc", members.finish()) + "!0" : folder + "/" + tag + "/0";
    };
    constexpr int32_t kAny = -1;

    const struct {
        std::string name;
        EngineResult result;
        int32_t nestedLoads = kAny;
        const char* scaling = nullptr; // rows of one name: the same file at N and 2N
    } cases[] = {
        {folder + "/a.m3g", 0x1000A, 2},
        {folder + "/self.m3g", 0x1000A, 1},
        {folder + "/sub/up.m3g", 0x1000A, 1},
        {folder + "/m3g-over-own.m3g", -7},
        {folder + "/own-over-own.m3g", 0},
        {folder + "/missing-ref.m3g", 0x10000},
        {folder + "/to-rootless.m3g", -10},
        {folder + "/none.m3g", 0x10000},
        {"mvlarc:" + folder + "/p.arc", 259},
        {"MVLARC:" + folder + "/p.arc!x", 0x10000},
        {"mvlarc:" + folder + "/p.arc!missing", 0x1000D},
        {"mvlarc:" + folder + "/a.m3g!x", 0x1000A},
        {folder + "/" + std::string(1100, 'n'), 0x10000},
        {folder + "/chain/1", 0x1000A},
        {folder + "/chain/2", 0},
        {"mvlarc:" + folder + "/hidden.arc!" + f, 0x1000A, 1},
        {folder + "/pictures.m3g", 0x10001, 9},
        {sections("sections-and-reference.m3g", 2, {"section.m3g"}), 0x10001, 1},
        {folder + "/dozen.m3g", 0x10001, 9},
        {folder + "/objects.m3g", 0x10001},
        {folder + "/ceiling.m3g", 0x10001},
        {"mvlarc:" + folder + "/long.arc!0", 0x10000, 1},
        {multiplying(false, 2, 11), 0x10001, kMaxNestedLoads, "plain, 2 a file"},
        {multiplying(false, 2, 22), 0x10001, kMaxNestedLoads, "plain, 2 a file"},
        {multiplying(false, 100, 2), 0x10001, kMaxNestedLoads, "plain, 100 a file"},
        {multiplying(false, 100, 4), 0x10001, kMaxNestedLoads, "plain, 100 a file"},
        {multiplying(true, 2, 11), 0x10001, kMaxNestedLoads, "archive, 2 a file"},
        {multiplying(true, 2, 22), 0x10001, kMaxNestedLoads, "archive, 2 a file"},
        {multiplying(true, 100, 2), 0x10001, kMaxNestedLoads, "archive, 100 a file"},
        {multiplying(true, 100, 4), 0x10001, kMaxNestedLoads, "archive, 100 a file"},
        {multiplying(false, 1, 14), 0, 14, "plain chain"},
        {multiplying(false, 1, 28), 0, 28, "plain chain"},
        {multiplying(true, 1, 14), 0, 14, "archive chain"},
        {multiplying(true, 1, 28), 0, 28, "archive chain"},
        {multiplying(true, 2, 8, 100000), 0x10001, kAny, "archive, 400 KB unpacked"},
        {multiplying(true, 2, 16, 100000), 0x10001, kAny, "archive, 400 KB unpacked"},
    };
    std::map<std::string, uint64_t> firstVisits;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 200));
        EngineHandle* fresh = nullptr;
        ASSERT_EQ(m_engine.api().createEngineObject(kIidLoader, &fresh), 0);
        // A few chunks a call: a load that nests without end fails the count.
        const uint32_t budget = 64;
        EngineResult result = 0;
        const uint64_t visits = engineContext()->visits;
        for (int calls = 0; calls < 1000 && tableOf<IkwLoaderTable>(fresh).getState(fresh) <= 1; ++calls)
            result = tableOf<IkwLoaderTable>(fresh).loadName(fresh, c.name.c_str(), &budget);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(tableOf<IkwLoaderTable>(fresh).getState(fresh), c.result == 0 ? 2u : 3u);
        const uint32_t nested = static_cast<CkwBrewLoader*>(fresh->object)->nestedLoads();
        if (c.nestedLoads != kAny) {
            EXPECT_EQ(nested, static_cast<uint32_t>(c.nestedLoads));
        }
        const uint64_t work = engineContext()->visits - visits;
        EXPECT_GE(work, nested);
        // The credit comes from the file the load was named alone.
        const CkwLoadCharges charges = static_cast<CkwBrewLoader*>(fresh->object)->charges();
        EXPECT_LE(charges.loadBytes, kMaxLoadBytes);
        if (c.result == 0 && c.name.rfind(kArchiveUriPrefix, 0) != 0) {
            EXPECT_EQ(charges.inputBytes, std::filesystem::file_size(c.name));
        }
        if (c.scaling != nullptr && !firstVisits.emplace(c.scaling, work).second) {
            EXPECT_LE(work * 10, firstVisits[c.scaling] * 23) << c.scaling;
        }
        unknownRelease(fresh);
    }
}

TEST_F(LoaderTest, ArchiveInterfaceEnumeratesAndReadsMembers)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("One", "first"));
    ASSERT_TRUE(writer.add("two", "second"));
    const std::string path = m_folder.write("p.arc", writer.finish());
    EngineHandle* archive = nullptr;
    ASSERT_EQ(m_engine.api().createEngineObject(kIidArchive, &archive), 0);
    const IkwArchiveTable& a = tableOf<IkwArchiveTable>(archive);
    EngineHandle* member = reinterpret_cast<EngineHandle*>(1);
    EXPECT_EQ(a.openMember(archive, "one", nullptr, &member), 0x1000C); // not open yet
    EXPECT_EQ(member, nullptr);
    EXPECT_EQ(a.open(archive, (path + "x").c_str()), 0x10000);
    ASSERT_EQ(a.open(archive, path.c_str()), 0);
    EXPECT_EQ(a.open(archive, path.c_str()), 0x1000C);

    uint32_t size = 0;
    char* name = nullptr;
    ASSERT_EQ(a.nextEntry(archive, &size, &name), 1u);
    EXPECT_STREQ(name, "One");
    EXPECT_EQ(size, 5u);
    engineFree(name);
    EXPECT_EQ(a.openMember(archive, "three", nullptr, &member), 0x1000D);
    // Neither a missing name nor a missing out pointer may crash or leak a member.
    EXPECT_EQ(a.openMember(archive, nullptr, nullptr, &member), 0x1000E);
    EXPECT_EQ(a.openMember(archive, "two", nullptr, nullptr), 0x1000E);
    ASSERT_EQ(a.openMember(archive, "TWO", &size, &member), 0);
    EXPECT_EQ(size, 6u);
    unknownRelease(archive); // the member keeps the file open
    char buffer[8] = {};
    const IkwArchiveMemberTable& m = tableOf<IkwArchiveMemberTable>(member);
    EXPECT_EQ(m.read(member, nullptr, 4), 0u);
    EXPECT_EQ(m.read(member, buffer, 4), 4u);
    EXPECT_EQ(m.read(member, buffer + 4, 8), 2u);
    EXPECT_EQ(m.read(member, buffer, 8), 0u);
    EXPECT_STREQ(buffer, "second");
    unknownRelease(member);

    ASSERT_EQ(m_engine.api().createEngineObject(kIidArchiveMember, &member), 0);
    EXPECT_EQ(tableOf<IkwArchiveMemberTable>(member).read(member, buffer, 8), 0u);
    unknownRelease(member);
}

} // namespace

namespace {

// Without memory for the combined path the load fails; it never falls back to
// the bare reference, which names another file (here, none at all).
TEST(LoaderMemory, NoPathMemoryFailsInsteadOfOpeningTheBareReference)
{
    ScratchFolder folder;
    folder.write("scenes/near.m3g", sceneReferencing(20, {}));
    const std::string top = folder.write("scenes/top.m3g", sceneReferencing(10, {"near.m3g"}));
    sweepAllocationFailures([&] {
        InterfaceEngine engine(&FailingAllocator::alloc, &FailingAllocator::free);
        if (!engine.ready())
            return false;
        EngineHandle* loader = nullptr;
        if (engine.api().createEngineObject(kIidLoader, &loader) != 0)
            return false;
        const EngineResult result = tableOf<IkwLoaderTable>(loader).loadName(loader, top.c_str(), nullptr);
        EXPECT_NE(result, 0x10000) << "a file was looked for under another name";
        tableOf<IkwUnknownTable>(loader).release(loader);
        return result == 0;
    });
}

} // namespace
