// File input streams over a shared file: own positions, sticky errors,
// attach reading from the file's current position.
#include "framework/streams/FileInputStream.h"

#include <gtest/gtest.h>

#include "tools/pack/HostFiles.h"

namespace {

TEST(FileInputStream, AttachedStreamsKeepTheirOwnPositions)
{
    MemoryFile file(Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    file.seek(2, kSeekBegin);
    FileInputStream a;
    ASSERT_EQ(a.attach(&file), 1);
    EXPECT_EQ(a.size(), 10u);
    EXPECT_EQ(a.available(), 8u);
    file.seek(6, kSeekBegin);
    FileInputStream b;
    ASSERT_EQ(b.attach(&file), 1);
    EXPECT_EQ(a.readU8(), 2);
    EXPECT_EQ(b.readU8(), 6);
    EXPECT_EQ(a.readU16(), 0x0403);
    a.skip(2);
    EXPECT_EQ(b.readU8(), 7);
    EXPECT_EQ(a.readU8(), 7);
    EXPECT_FALSE(a.hasError());
}

TEST(FileInputStream, ShortReadIsStickyAndSkipZeroKeepsIt)
{
    MemoryFile file(Bytes{1, 2, 3});
    FileInputStream stream;
    ASSERT_EQ(stream.attach(&file), 1);
    EXPECT_EQ(stream.readU32(), 0u);
    EXPECT_TRUE(stream.hasError());
    stream.skip(0);
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(stream.available(), 0u);
    EXPECT_EQ(stream.readU8(), 0);
    ASSERT_EQ(stream.attach(&file), 1);
    EXPECT_FALSE(stream.hasError());
}

} // namespace

#include <filesystem>

#include "framework/files/FileSystem.h"
#include "framework/resources/ResourcePack.h"
#include "framework/streams/FileOutputStream.h"
#include "tests/support/TestApp.h"

namespace {

// A file system over host paths (ASCII), registered like the platform's.
class HostFileSystemDouble : public FileSystem {
public:
    const char16_t* getRootPath() override { return u"."; }
    const char16_t* getDataPath() override { return u"."; }
    const char16_t* getSeparator() override { return u"/"; }
    File* open(const char16_t* path, int32_t mode, int* = nullptr) override
    {
        if (path == nullptr || (mode != kOpenRead && mode != kOpenWrite))
            return nullptr;
        return HostFile::open(narrow(path), mode == kOpenWrite);
    }
    void close(File* file) override { delete file; }
    int exists(const char16_t* path) override { return std::filesystem::exists(narrow(path)); }
    uint32_t fileSize(const char16_t* path, int* answer) override
    {
        std::error_code error;
        auto size = std::filesystem::file_size(narrow(path), error);
        if (answer)
            *answer = error ? kFileMissing : kFileThere;
        return error ? 0 : static_cast<uint32_t>(size);
    }
    int rename(const char16_t*, const char16_t*) override { return 0; }
    int remove(const char16_t*) override { return 0; }
    uint32_t maxFileSize() override { return 0x7FFFFFFF; }

    static std::string narrow(const char16_t* path)
    {
        std::string out;
        for (; *path; ++path)
            out += static_cast<char>(*path);
        return out;
    }
};

std::u16string widen(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

TEST(FileStreams, OpenThroughTheFileSystemService)
{
    TestApp app;
    ASSERT_TRUE(app.started());
    // Registers itself and the application deletes it; cached the way the
    // platform's creator would leave it.
    app.m_fileSystem = new HostFileSystemDouble;
    std::string dir = std::filesystem::temp_directory_path() / "h5_file_streams";
    std::filesystem::create_directories(dir);
    std::u16string data = widen(dir + "/data.bin");
    std::u16string empty = widen(dir + "/empty.bin");

    FileOutputStream out;
    ASSERT_EQ(out.open(data.c_str()), 1);
    EXPECT_EQ(out.writeU32(0xA1B2C3D4), 4u);
    out.close();
    ASSERT_EQ(out.open(empty.c_str()), 1);
    out.close();

    FileInputStream in;
    ASSERT_EQ(in.open(data.c_str()), 1);
    EXPECT_EQ(in.available(), 4u);
    EXPECT_EQ(in.readU32(), 0xA1B2C3D4u);
    EXPECT_EQ(in.open(empty.c_str()), 0);
    EXPECT_TRUE(in.hasError());
    EXPECT_EQ(in.open(widen(dir + "/missing").c_str()), 0);

    PackWriter writer;
    writer.add(3, 4, Bytes{5});
    Bytes image;
    ASSERT_TRUE(writer.build(PackIndexForm::Sorted, image));
    ASSERT_TRUE(writeHostFile(dir + "/pack.big", image));
    ResourcePack pack;
    ASSERT_EQ(pack.open(widen(dir + "/pack.big").c_str()), 1);
    EXPECT_EQ(pack.typeOf(3), 4u);
    EXPECT_EQ(pack.open(data.c_str()), 0);
    std::filesystem::remove_all(dir);
}

} // namespace
