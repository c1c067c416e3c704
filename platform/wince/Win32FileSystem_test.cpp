#include "platform/wince/Win32FileSystem.h"

#include "framework/files/SavedFiles.h"
#include "framework/services/AppBase.h"
#include "framework/services/ServiceAccessors.h"
#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/HostFileTestKit.h"
#include "platform/host/HostText.h"
#include "platform/wince/Win32File.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class Win32FileSystemTest : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ProgramFolderTest::SetUp());
        m_app = std::make_unique<TestApp>();
        ASSERT_TRUE(m_app->started());
        installFileSystemCreator();
        m_fs = getFileSystem();
        ASSERT_NE(m_fs, nullptr);
        m_handlesBefore = hostLiveHandleCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(hostLiveHandleCount(), m_handlesBefore);
        m_app.reset();
        setFileSystemCreator(nullptr);
        ProgramFolderTest::TearDown();
    }

    std::u16string path(const std::string& name)
    {
        return std::u16string(m_fs->getRootPath()) + m_fs->getSeparator() + hostUtf8ToUtf16(name);
    }
    std::unique_ptr<TestApp> m_app;
    FileSystem* m_fs = nullptr;
    uint32_t m_handlesBefore = 0;
};

TEST_F(Win32FileSystemTest, FoldersAreTheProgramFolder)
{
    const std::u16string folder = hostUtf8ToUtf16(m_folder.string());
    EXPECT_EQ(std::u16string(m_fs->getRootPath()), folder);
    EXPECT_EQ(std::u16string(m_fs->getDataPath()), folder);
    EXPECT_EQ(std::u16string(m_fs->getSeparator()), u"/");
    EXPECT_EQ(m_fs->maxFileSize(), 0x7FFFFFFFu);
    EXPECT_EQ(m_fs->m_typeId, FileSystem::kServiceId);
    EXPECT_EQ(findService(0x70FA1BDF), m_fs);
}

TEST_F(Win32FileSystemTest, OpenModesTruncateOrKeep)
{
    struct Case {
        int32_t mode;
        bool existing;
        bool opens;
        const char* after; // after writing "AB" at the start, where writable
    };
    const Case cases[] = {
        { kOpenRead, true, true, "hello" },   { kOpenRead, false, false, nullptr },
        { kOpenWrite, true, true, "AB" },     { kOpenWrite, false, true, "AB" },
        { kOpenModify, true, true, "ABllo" }, { kOpenModify, false, true, "AB" },
        { kOpenCreate, true, false, "hello" }, { kOpenCreate, false, true, "AB" },
        { 4, true, false, "hello" },          { -1, true, false, "hello" },
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        fs::remove(m_folder / "f.dat");
        if (c.existing)
            put("f.dat", "hello");
        const uint32_t syncs = hostFileSyncCount();
        File* file = m_fs->open(path("f.dat").c_str(), c.mode);
        ASSERT_EQ(file != nullptr, c.opens);
        if (file) {
            EXPECT_EQ(file->isOpen(), 1);
            EXPECT_EQ(file->m_typeId, File::kTypeId);
            EXPECT_EQ(file->tell(), 0u);
            if (c.mode != kOpenRead) {
                EXPECT_EQ(file->write("AB", 2), 2u);
                char byte = 0;
                EXPECT_EQ(file->read(&byte, 1), 0u);
                EXPECT_EQ(file->readErrors(), 1u) << "a read the system refuses";
            }
            // A flush that landed leaves the close nothing to push.
            EXPECT_EQ(file->flush(), 1);
            m_fs->close(file);
        }
        EXPECT_EQ(hostFileSyncCount() - syncs, c.opens && c.mode != kOpenRead ? 1u : 0u) << "only what was written, once";
        if (c.after) {
            EXPECT_EQ(get("f.dat"), c.after);
        }
    }
    EXPECT_EQ(m_fs->open(nullptr, kOpenRead), nullptr);
    m_fs->close(nullptr);
}

TEST_F(Win32FileSystemTest, FileReadsSeeksAndTells)
{
    put("f.dat", "0123456789");
    File* file = m_fs->open(path("f.dat").c_str(), kOpenRead);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(file->read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file->tell(), 4u);
    EXPECT_TRUE(file->seek(-2, kSeekEnd));
    EXPECT_EQ(file->read(buffer, 16), 2u);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_TRUE(file->seek(1, kSeekBegin));
    EXPECT_TRUE(file->seek(2, kSeekCurrent));
    EXPECT_EQ(file->tell(), 3u);
    EXPECT_FALSE(file->seek(0, 3));
    EXPECT_FALSE(file->seek(-1, kSeekBegin));
    EXPECT_EQ(file->tell(), 3u);
    EXPECT_EQ(file->write("x", 1), 0u); // opened for reading
    EXPECT_EQ(file->readErrors(), 0u) << "the end of the file and a bad position are no read error";
    // A descriptor the system will no longer seek, as a failing card: each
    // seek and tell it refuses is counted.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd"))
        if (std::error_code e; fs::read_symlink(fd.path(), e) == fs::canonical(m_folder / "f.dat"))
            dup2(ends[0], std::stoi(fd.path().filename().string()));
    close(ends[0]);
    close(ends[1]);
    EXPECT_FALSE(file->seek(0, kSeekEnd));
    EXPECT_EQ(file->tell(), 0u);
    EXPECT_EQ(file->readErrors(), 2u);
    m_fs->close(file);
}

TEST_F(Win32FileSystemTest, ClosedFileAnswersZeroToEverything)
{
    Win32File file;
    char buffer[4] = {};
    EXPECT_EQ(file.isOpen(), 0);
    EXPECT_FALSE(file.seek(0, kSeekBegin));
    EXPECT_EQ(file.tell(), 0u);
    EXPECT_EQ(file.read(buffer, 4), 0u);
    EXPECT_EQ(file.write(buffer, 4), 0u);
    EXPECT_FALSE(file.open(path("missing.dat").c_str(), kOpenRead));
    EXPECT_EQ(file.isOpen(), 0);
}

// The folder's answer for each kind of name: a missing file and an empty one
// both size 0, and only the answer tells them apart; a folder that cannot
// answer (a link that loops, as a failing card would) is neither there nor
// missing.
TEST_F(Win32FileSystemTest, TheFolderAnswersThereMissingOrCannotTell)
{
    put("empty.dat", "");
    put("five.dat", "12345");
    ASSERT_EQ(mkfifo((m_folder / "pipe").c_str(), 0600), 0);
    fs::create_directory(m_folder / "dir");
    fs::create_symlink("loop", m_folder / "loop");
    // Holes take no room: a size past 32 bits, which no caller can hold.
    put("huge.dat", "");
    fs::resize_file(m_folder / "huge.dat", (uint64_t(1) << 32) + 5);
    const struct {
        const char* name;  // null: no path
        int answer;
        uint32_t size;
        bool sizeUnknown = false;  // there, but its size past what the answer holds
    } cases[] = {
        {"missing.dat", kFileMissing, 0}, {"empty.dat", kFileThere, 0},     {"five.dat", kFileThere, 5},
        {"pipe", kFileThere, 0},          {"dir", kFileThere, 0},           {"five.dat/x", kFileMissing, 0},
        {"loop", kFileUnknown, 0},        {nullptr, kFileMissing, 0},       {"huge.dat", kFileThere, 0, true},
    };
    const uint32_t syncs = hostFileSyncCount();
    for (const auto& c : cases) {
        const std::u16string name = c.name ? path(c.name) : std::u16string();
        const char16_t* p = c.name ? name.c_str() : nullptr;
        int answer = 99;
        EXPECT_EQ(m_fs->fileSize(p, &answer), c.size) << (c.name ? c.name : "null");
        EXPECT_EQ(answer, c.sizeUnknown ? kFileUnknown : c.answer) << (c.name ? c.name : "null");
        EXPECT_EQ(m_fs->fileSize(p), c.size) << (c.name ? c.name : "null");
        EXPECT_EQ(m_fs->exists(p), c.answer) << (c.name ? c.name : "null");
    }
    EXPECT_EQ(hostFileSyncCount(), syncs) << "asking opens and syncs nothing";
}

TEST_F(Win32FileSystemTest, DirectoryIsNotAFile)
{
    fs::create_directory(m_folder / "dir");
    for (int32_t mode : { kOpenRead, kOpenWrite, kOpenModify, kOpenCreate }) {
        int answer = 99;
        EXPECT_EQ(m_fs->open(path("dir").c_str(), mode, &answer), nullptr);
        EXPECT_EQ(answer, kFileThere) << "refused, not missing";
    }
    // The name is taken: a save of that name is told, never taken for missing.
    EXPECT_EQ(m_fs->exists(path("dir").c_str()), kFileThere);
    EXPECT_EQ(m_fs->fileSize(path("dir").c_str()), 0u);
    EXPECT_EQ(m_fs->remove(path("dir").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(m_folder / "dir"));
    // Nor is a link one to write through: a save makes its temp file anew
    // in place of a link (to the saved file, to another file, to nothing),
    // and one that cannot (a folder) fails, keeping the saved file.
    put("savegame.dat", "old");
    put("other.dat", "other");
    fs::create_symlink("savegame.dat", m_folder / "temp.dat");
    EXPECT_EQ(m_fs->open(path("temp.dat").c_str(), kOpenModify), nullptr);
    EXPECT_EQ(writeFileSafely(path("savegame.dat").c_str(), "new", 3), 1);
    fs::create_hard_link(m_folder / "other.dat", m_folder / "temp.dat");
    EXPECT_EQ(writeFileSafely(path("savegame.dat").c_str(), "new", 3), 1);
    fs::create_symlink("nowhere", m_folder / "temp.dat");
    EXPECT_EQ(writeFileSafely(path("savegame.dat").c_str(), "new", 3), 1);
    fs::create_directory(m_folder / "temp.dat");
    EXPECT_EQ(writeFileSafely(path("savegame.dat").c_str(), "lost", 4), 0);
    EXPECT_EQ(get("savegame.dat") + get("other.dat"), "newother");
}

TEST_F(Win32FileSystemTest, RenameRefusesAnExistingFile)
{
    put("temp.dat", "fresh");
    put("savegame.dat", "stale");
    EXPECT_EQ(m_fs->rename(path("temp.dat").c_str(), path("savegame.dat").c_str()), 0);
    EXPECT_EQ(get("savegame.dat"), "stale");
    EXPECT_EQ(m_fs->remove(path("savegame.dat").c_str()), 1);
    EXPECT_EQ(m_fs->rename(path("temp.dat").c_str(), path("savegame.dat").c_str()), 1);
    EXPECT_EQ(get("savegame.dat"), "fresh");
    EXPECT_EQ(m_fs->exists(path("temp.dat").c_str()), 0);
    EXPECT_EQ(m_fs->rename(path("temp.dat").c_str(), path("savegame.dat").c_str()), 0);
    EXPECT_EQ(m_fs->rename(nullptr, path("savegame.dat").c_str()), 0);
    EXPECT_EQ(m_fs->rename(path("savegame.dat").c_str(), nullptr), 0);
    EXPECT_EQ(m_fs->remove(path("savegame.dat").c_str()), 1);
    EXPECT_EQ(m_fs->remove(path("savegame.dat").c_str()), 0);
    EXPECT_EQ(m_fs->remove(nullptr), 0);
}

TEST_F(Win32FileSystemTest, BareNamesResolveInTheProgramFolder)
{
    put("safe.m3g", "m3g");
    EXPECT_EQ(m_fs->exists(u"safe.m3g"), 1);
    EXPECT_EQ(m_fs->fileSize(u"safe.m3g"), 3u);
}

TEST_F(Win32FileSystemTest, ProgramFolderDeeperThan260Characters)
{
    fs::path deep = m_folder;
    for (int i = 0; i < 10; ++i)
        deep /= std::string(40, char('a' + i));
    fs::create_directories(deep);
    ASSERT_GT(deep.string().size(), 400u);
    setenv(kProgramFolderVariable, deep.c_str(), 1);
    std::unique_ptr<FileSystem> deepFs(createFileSystem());
    ASSERT_NE(deepFs, nullptr);
    EXPECT_EQ(std::u16string(deepFs->getRootPath()), hostUtf8ToUtf16(deep.string()));

    const std::u16string name = std::u16string(deepFs->getRootPath()) + deepFs->getSeparator() + u"hs.dat";
    File* file = deepFs->open(name.c_str(), kOpenWrite);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->write("1234", 4), 4u);
    deepFs->close(file);
    EXPECT_EQ(deepFs->fileSize(name.c_str()), 4u);
    EXPECT_TRUE(fs::exists(deep / "hs.dat"));
}

TEST_F(Win32FileSystemTest, DestroyingTheServiceClearsTheCachedPointer)
{
    ASSERT_EQ(m_app->m_fileSystem, m_fs);
    delete m_fs;
    EXPECT_EQ(m_app->m_fileSystem, nullptr);
    EXPECT_EQ(findService(FileSystem::kServiceId), nullptr);
    // The accessor makes a new one on the next use.
    EXPECT_NE(getFileSystem(), nullptr);
}

} // namespace
