#include "platform/host/HostFileMapping.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/HostFileTestKit.h"
#include "platform/host/LastError.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

class HostFileMapping : public ProgramFolderTest {
protected:
    HANDLE openWith(const std::string& contents)
    {
        put("e.m3g", contents);
        return CreateFileW(u"e.m3g", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

TEST_F(HostFileMapping, ViewHoldsTheWholeFileAndOutlivesItsHandles)
{
    const uint32_t before = hostLiveHandleCount();
    HANDLE file = openWith("0123456789");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const char* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    const char* tail = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 7, 3));
    ASSERT_NE(tail, nullptr);

    // The file's position is not moved by the mapping.
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 0u);
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(hostLiveHandleCount(), before);

    // Truncating the file afterwards cannot fault the views.
    std::ofstream(m_folder / "e.m3g", std::ios::binary | std::ios::trunc);
    EXPECT_EQ(std::memcmp(view, "0123456789", 10), 0);
    EXPECT_EQ(std::memcmp(tail, "789", 3), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(UnmapViewOfFile(tail));
    EXPECT_FALSE(UnmapViewOfFile(view));
}

TEST_F(HostFileMapping, RefusesWhatItCannotServe)
{
    HANDLE empty = openWith("");
    ASSERT_NE(empty, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMappingW(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_INVALID);
    CloseHandle(empty);

    HANDLE file = openWith("abc");
    EXPECT_EQ(CreateFileMappingW(file, nullptr, 0x04 /* read-write */, 0, 0, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 100, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 3, 0), nullptr);  // offset at the end
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 1, 3), nullptr);  // runs past the end
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 1, 0, 0), nullptr);
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr);     // not a mapping
    CloseHandle(mapping);
    CloseHandle(file);
}

} // namespace
