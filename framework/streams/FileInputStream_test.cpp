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
