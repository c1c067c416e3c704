#include "engine/core/io/CkwArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/io/IoTestKit.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"
#include "tools/archive/ArchiveWriter.h"

namespace {

void putU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class ArchiveTest : public ::testing::Test {
protected:
    ~ArchiveTest() override { delete m_archive; }

    int32_t open(const std::vector<uint8_t>& bytes)
    {
        delete m_archive;
        m_archive = new (std::nothrow) CkwArchive;
        const std::string path = m_folder.write("a.arc", bytes);
        return engineTrap([&] { m_archive->open(path.c_str()); });
    }

    std::string readMember(const char* name, int32_t& code)
    {
        std::string text;
        code = engineTrap([&] {
            CkwCleanupPtr<CkwArchiveMember> member(m_archive->openMember(name, nullptr));
            char buffer[3];
            for (uint32_t n; (n = member->read(buffer, sizeof buffer)) > 0;)
                text.append(buffer, n);
        });
        return text;
    }

    ScopedEngine m_engine;
    ScratchFolder m_folder;
    CkwArchive* m_archive = nullptr;
};

TEST_F(ArchiveTest, HashMatchesTheWriterAndIgnoresLetterCase)
{
    EXPECT_EQ(archiveNameHash(""), 0u);
    EXPECT_EQ(archiveNameHash("a"), 97u + 1013904223u);
    EXPECT_EQ(archiveNameHash("\xE9"), static_cast<uint32_t>(-23 + 1013904223));
    EXPECT_EQ(archiveWriterNameHash("Scene\\World.M3G"), archiveNameHash("scene\\world.m3g"));
}

TEST_F(ArchiveTest, MembersReadTheirOwnBytesWhateverTheCase)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("first.txt", "hello"));
    ASSERT_TRUE(writer.add("Data\\Second.bin", "0123456789"));
    ASSERT_TRUE(writer.add("empty", ""));
    ASSERT_EQ(open(writer.finish()), 0);

    const struct {
        const char* name;
        const char* text;
    } cases[] = {{"first.txt", "hello"}, {"FIRST.TXT", "hello"}, {"data\\second.BIN", "0123456789"}, {"empty", ""}};
    for (const auto& c : cases) {
        int32_t code = -1;
        EXPECT_EQ(readMember(c.name, code), c.text) << c.name;
        EXPECT_EQ(code, 0);
    }
    int32_t code = 0;
    readMember("third", code);
    EXPECT_EQ(code, KErrIllegalArgument);

    // Two records of one hash (the first given the second's): the first in
    // the directory wins.
    ArchiveWriter pair;
    ASSERT_TRUE(pair.add("b", "first") && pair.add("a", "second"));
    std::vector<uint8_t> bytes = pair.finish();
    std::copy_n(bytes.begin() + 37 + 18 + 12, 4, bytes.begin() + 37 + 12);
    archiveSealChecksum(bytes);
    ASSERT_EQ(open(bytes), 0);
    EXPECT_EQ(readMember("a", code), "first");
    const std::string again = m_folder.write("b.arc", writer.finish());
    EXPECT_EQ(engineTrap([&] { m_archive->open(again.c_str()); }), KErrIllegalState);
}

TEST_F(ArchiveTest, EnumeratesEntriesInDirectoryOrder)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("one", "1"));
    ASSERT_TRUE(writer.add("Two", "22"));
    ASSERT_EQ(open(writer.finish()), 0);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::pair<std::string, uint32_t>> seen;
        uint32_t size = 0;
        char* name = nullptr;
        while (m_archive->nextEntry(&size, &name)) {
            seen.emplace_back(name, size);
            engineFree(name);
        }
        EXPECT_EQ(seen, (std::vector<std::pair<std::string, uint32_t>>{{"one", 1}, {"Two", 2}}));
        m_archive->resetEnumeration();
    }
}

TEST_F(ArchiveTest, WriterRefusesNamesWhoseHashesCollide)
{
    ArchiveWriter writer;
    EXPECT_TRUE(writer.add("Name", "x"));
    EXPECT_FALSE(writer.add("nAME", "y"));
    EXPECT_FALSE(writer.add("", "y"));
}

TEST_F(ArchiveTest, HeaderLongerThanOneBlockIsCheckedAcrossReads)
{
    ArchiveWriter writer;
    for (int i = 0; i < 120; ++i)
        ASSERT_TRUE(writer.add("entry-number-" + std::to_string(i), std::to_string(i)));
    std::vector<uint8_t> bytes = writer.finish();
    ASSERT_GT(bytes[14] | bytes[15] << 8, 4);
    ASSERT_EQ(open(bytes), 0);
    int32_t code = -1;
    EXPECT_EQ(readMember("ENTRY-NUMBER-119", code), "119");
    EXPECT_EQ(code, 0);

    bytes[3000] ^= 1; // inside the directory, past the first block
    EXPECT_EQ(open(bytes), KErrCorruptData);
}

TEST_F(ArchiveTest, AnyChangedHeaderByteIsRefusedAndEntryDataIsNot)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("a", "payload"));
    const std::vector<uint8_t> good = writer.finish();
    const size_t headerLength = good.size() - 7;
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> bytes = good;
        bytes[i] ^= 0x40;
        SCOPED_TRACE(i);
        EXPECT_EQ(open(bytes), i < headerLength ? KErrCorruptData : 0);
    }
}

TEST_F(ArchiveTest, CorruptLengthsAreRefusedAtOpen)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("a", "payload"));
    ASSERT_TRUE(writer.add("b", "more"));
    const std::vector<uint8_t> good = writer.finish();
    constexpr size_t kRecord = 37; // the first record
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"header length below the count", 13, 20},
        {"header length zero", 13, 0},
        {"header length past the file", 13, 0x10000},
        {"entry count past the block", 33, 3},
        {"entry count huge", 33, 0xFFFFFFFF},
        {"record length zero", kRecord, 0},
        {"record length without a name", kRecord, 16},
        {"record length past the block", kRecord, 0x1000},
        {"name without terminator", kRecord, 17},
        {"data size past the file", kRecord + 8, 0xFFFFFFF0},
        {"data sizes overflowing 32 bits", kRecord + 8, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        putU32(bytes, c.at, c.value);
        if (c.at == kRecord && c.value == 17)
            bytes[kRecord + 16] = 'x'; // name "a" loses its terminator
        archiveSealChecksum(bytes);
        EXPECT_EQ(open(bytes), KErrCorruptData);
    }

    std::vector<uint8_t> cut(good.begin(), good.begin() + 37);
    EXPECT_EQ(open(cut), KErrCorruptData);
}

TEST_F(ArchiveTest, MemberKeepsTheFileAfterItsArchiveIsGone)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.add("a", "abc"));
    ASSERT_EQ(open(writer.finish()), 0);
    CkwArchiveMember* member = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(engineTrap([&] { member = m_archive->openMember("a", &size); }), 0);
    EXPECT_EQ(size, 3u);
    delete m_archive;
    m_archive = nullptr;
    char buffer[8] = {};
    EXPECT_EQ(member->read(nullptr, 2), 0u);
    EXPECT_EQ(member->read(buffer, 8), 3u);
    EXPECT_EQ(std::string(buffer), "abc");
    EXPECT_EQ(member->read(buffer, 8), 0u);
    delete member;

    CkwArchiveMember unattached;
    EXPECT_EQ(unattached.read(buffer, 8), 0u);
}

// A file that refuses every seek until told otherwise.
class StuckFile : public IkwFile {
public:
    bool seek(int32_t origin, int32_t offset) override
    {
        if (!m_seekable || origin != kSeekBegin)
            return false;
        m_position = static_cast<uint32_t>(offset);
        return true;
    }
    uint32_t read(void* buffer, uint32_t count) override
    {
        const uint32_t n = count < 8 - m_position ? count : 8 - m_position;
        std::memcpy(buffer, &"01234567"[m_position], n);
        m_position += n;
        return n;
    }
    uint32_t size() const override { return 8; }

    bool m_seekable = false;
    uint32_t m_position = 0;
};

TEST_F(ArchiveTest, MemberReadsNothingWhereItsFileCannotSeek)
{
    auto* file = new StuckFile;
    CkwArchiveMember member;
    member.attach(file, 5, 3);
    char buffer[4] = {};
    EXPECT_EQ(member.read(buffer, 3), 0u); // not the bytes at the file's own position
    EXPECT_EQ(member.position(), 0u);
    EXPECT_EQ(std::string(buffer), "");
    file->m_seekable = true;
    EXPECT_EQ(member.read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer), "567");
}

TEST_F(ArchiveTest, MissingFileLeavesMinusTwoAndClosedArchiveRefusesMembers)
{
    CkwArchive archive;
    const std::string missing = m_folder.path() + "/none.arc";
    EXPECT_EQ(engineTrap([&] { archive.open(missing.c_str()); }), KErrFileOpen);
    EXPECT_EQ(engineTrap([&] { archive.openMember("a", nullptr); }), KErrIllegalState);
    EXPECT_FALSE(archive.nextEntry(nullptr, nullptr));
}

} // namespace
