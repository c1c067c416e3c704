#include "platform/host/HostFile.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostFileTestKit.h"
#include "platform/host/HostText.h"
#include "platform/host/LastError.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class HostFile : public ProgramFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(ProgramFolderTest::SetUp());
        m_handlesBefore = hostLiveHandleCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(hostLiveHandleCount(), m_handlesBefore);
        ProgramFolderTest::TearDown();
    }

    uint32_t m_handlesBefore = 0;
};

HANDLE openFile(const char16_t* name, DWORD access, DWORD creation)
{
    return CreateFileW(name, access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string readAll(HANDLE file)
{
    char buffer[64] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    return std::string(buffer, got);
}

TEST_F(HostFile, CreationModesTruncateOrKeep)
{
    struct Case {
        DWORD access;
        DWORD creation;
        bool existing;
        bool opens;
        std::string afterWritingX;
    };
    const Case cases[] = {
        { GENERIC_READ, OPEN_EXISTING, true, true, "hello" },
        { GENERIC_READ, OPEN_EXISTING, false, false, "" },
        { GENERIC_WRITE, CREATE_ALWAYS, true, true, "X" },
        { GENERIC_WRITE, CREATE_ALWAYS, false, true, "X" },
        { GENERIC_WRITE, OPEN_ALWAYS, true, true, "Xello" },
        { GENERIC_WRITE, OPEN_ALWAYS, false, true, "X" },
        { GENERIC_WRITE, CREATE_NEW, true, false, "hello" },
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(n++);
        fs::remove(m_folder / "f.dat");
        if (c.existing)
            put("f.dat", "hello");
        HANDLE file = openFile(u"f.dat", c.access, c.creation);
        ASSERT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 0u);
        if (c.access & GENERIC_WRITE) {
            DWORD put = 0;
            EXPECT_TRUE(WriteFile(file, "X", 1, &put, nullptr));
            EXPECT_EQ(put, 1u);
        }
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(get("f.dat"), c.afterWritingX);
    }
}

TEST_F(HostFile, MissingFileReportsNotFound)
{
    SetLastError(0);
    EXPECT_EQ(openFile(u"missing.dat", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(HostFile, AnythingButARegularFileIsRefused)
{
    fs::create_directory(m_folder / "dir");
    ASSERT_EQ(mkfifo((m_folder / "pipe").c_str(), 0600), 0);
    const char16_t* names[] = { u"dir", u"pipe", u"/dev/null" };
    for (const char16_t* name : names) {
        for (DWORD creation : { OPEN_EXISTING, OPEN_ALWAYS }) {
            SetLastError(0);
            const DWORD access = creation == OPEN_EXISTING ? GENERIC_READ : GENERIC_WRITE;
            EXPECT_EQ(openFile(name, access, creation), INVALID_HANDLE_VALUE);
            EXPECT_NE(GetLastError(), ERROR_SUCCESS);
        }
    }
}

TEST_F(HostFile, NamesWithoutAFolderResolveAgainstTheProgramFolder)
{
    put("safe.m3g", "abc");
    const fs::path elsewhere = m_folder / "cwd";
    fs::create_directory(elsewhere);
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere);
    HANDLE file = openFile(u"safe.m3g", GENERIC_READ, OPEN_EXISTING);
    fs::current_path(before);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(file), "abc");
    CloseHandle(file);

    const std::u16string absolute = hostUtf8ToUtf16((m_folder / "safe.m3g").string());
    file = openFile(absolute.c_str(), GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST_F(HostFile, SeekTellAndSizeFollowTheFile)
{
    put("f.dat", "0123456789");
    HANDLE file = openFile(u"f.dat", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 10u);
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
    EXPECT_EQ(readAll(file), "789");
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(file, 20, nullptr, FILE_BEGIN), 20u); // past the end is allowed
    EXPECT_EQ(readAll(file), "");

    // A failed seek leaves the position alone.
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(SetFilePointer(file, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, 7), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 4u);
    CloseHandle(file);
}

TEST_F(HostFile, ClosedHandlesAreRefused)
{
    put("f.dat", "abc");
    HANDLE file = openFile(u"f.dat", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    char buffer[4];
    DWORD got = 99;
    EXPECT_FALSE(ReadFile(file, buffer, 4, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(FlushFileBuffers(nullptr));
}

TEST_F(HostFile, MoveRefusesAnExistingTarget)
{
    put("temp.dat", "new");
    put("hs.dat", "old");
    EXPECT_FALSE(MoveFileW(u"temp.dat", u"hs.dat"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(get("hs.dat"), "old");
    EXPECT_EQ(get("temp.dat"), "new");
    EXPECT_TRUE(DeleteFileW(u"hs.dat"));
    EXPECT_TRUE(MoveFileW(u"temp.dat", u"hs.dat"));
    EXPECT_EQ(get("hs.dat"), "new");
    EXPECT_FALSE(fs::exists(m_folder / "temp.dat"));
    EXPECT_FALSE(MoveFileW(u"temp.dat", u"hs.dat"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(MoveFileW(nullptr, u"hs.dat"));
}

TEST_F(HostFile, DeleteRemovesFilesOnly)
{
    put("f.dat", "x");
    fs::create_directory(m_folder / "dir");
    EXPECT_TRUE(DeleteFileW(u"f.dat"));
    EXPECT_FALSE(DeleteFileW(u"f.dat"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(u"dir"));
    EXPECT_TRUE(fs::exists(m_folder / "dir"));
    EXPECT_FALSE(DeleteFileW(u""));
}

TEST_F(HostFile, ModuleFileNameLiesInTheProgramFolder)
{
    DWORD size = 4096;
    std::u16string buffer(size, u'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
    ASSERT_GT(n, 0u);
    ASSERT_LT(n, size);
    std::string path;
    ASSERT_TRUE(hostUtf16ToUtf8(buffer.substr(0, n), path));
    EXPECT_EQ(fs::path(path).parent_path(), m_folder);
    EXPECT_EQ(fs::path(path).filename(), "platform_host_HostFile_test");

    char16_t small[5];
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small[4], 0);
}

TEST_F(HostFile, RelativeProgramFolderIsTakenFromTheCurrentDirectory)
{
    fs::create_directory(m_folder / "home");
    const fs::path before = fs::current_path();
    fs::current_path(m_folder);
    setenv(kProgramFolderVariable, "home/", 1);
    const std::string folder = hostProgramFolder();
    fs::current_path(before);
    EXPECT_EQ(folder, (m_folder / "home").string());
}

TEST_F(HostFile, RelativeProgramFolderUnderACurrentDirectoryDeeperThanPathMax)
{
    // Built and removed one level at a time: no single call may name the
    // whole path, which is longer than the kernel takes.
    const fs::path before = fs::current_path();
    fs::current_path(m_folder);
    const std::string level(200, 'd');
    std::string expected = m_folder.string();
    int depth = 0;
    while (expected.size() <= PATH_MAX && ::mkdir(level.c_str(), 0700) == 0 && ::chdir(level.c_str()) == 0) {
        expected += "/" + level;
        ++depth;
    }
    setenv(kProgramFolderVariable, "home", 1);
    const std::string folder = hostProgramFolder();
    for (; depth > 0; --depth)
        if (::chdir("..") != 0 || ::rmdir(level.c_str()) != 0)
            break;
    fs::current_path(before);
    ASSERT_GT(expected.size(), size_t(PATH_MAX));
    EXPECT_EQ(folder, expected + "/home");
}

TEST_F(HostFile, ProgramFolderDeeperThanTheOldPathLimit)
{
    fs::path deep = m_folder;
    for (int i = 0; i < 12; ++i)
        deep /= std::string(30, char('a' + i));
    fs::create_directories(deep);
    ASSERT_GT(deep.string().size(), 300u);
    setenv(kProgramFolderVariable, (deep.string() + "/").c_str(), 1);
    EXPECT_EQ(hostProgramFolder(), deep.string());

    HANDLE file = openFile(u"prefs.dat", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    EXPECT_TRUE(WriteFile(file, "deep", 4, &put, nullptr));
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(deep / "prefs.dat"));
}

} // namespace
