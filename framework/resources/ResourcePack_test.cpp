// Pack opening, validation of hostile headers and id lookup.
#include "framework/resources/ResourcePack.h"

#include <gtest/gtest.h>

#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"

namespace {

Bytes samplePack(PackIndexForm form)
{
    PackWriter writer;
    writer.add(0x03000102, 0x69E4C505, Bytes{1, 2, 3, 4, 5});
    writer.add(0x03000103, 0x521B2402, Bytes(100, 7), true);
    writer.add(0x03000200, 0x11, Bytes{9}, false, 6);
    Bytes image;
    EXPECT_TRUE(writer.build(form, image));
    return image;
}

void setU32(Bytes& image, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TEST(ResourcePack, LooksUpIdsMaskedTo15BitsInBothForms)
{
    for (PackIndexForm form : {PackIndexForm::Sorted, PackIndexForm::Range}) {
        ResourcePack pack;
        ASSERT_EQ(pack.openFile(new MemoryFile(samplePack(form))), 1);
        EXPECT_EQ(pack.isRangeIndex(), form == PackIndexForm::Range);
        EXPECT_EQ(pack.indexOf(0x03000102), 0);
        EXPECT_EQ(pack.indexOf(0x0102), 0);
        EXPECT_EQ(pack.indexOf(0x03000103), 1);
        EXPECT_EQ(pack.indexOf(0x8200), 2);
        EXPECT_EQ(pack.indexOf(0x0201), -1);
        EXPECT_EQ(pack.typeOf(0x0103), 0x521B2402u);
        EXPECT_EQ(pack.typeOf(0x0999), 0u);
        EXPECT_EQ(pack.entrySize(0x0102), 4u + 5u);
        // The last entry's size comes from the extra block-table record.
        EXPECT_EQ(pack.entrySize(0x0200), 6u + 1u);
        uint8_t raw[16] = {};
        ASSERT_EQ(pack.readEntryRaw(0x0102, raw, sizeof raw), 1);
        EXPECT_EQ(raw[0], 4);
        EXPECT_EQ(raw[4], 1);
        EXPECT_EQ(raw[8], 5);
    }
}

TEST(ResourcePack, RangeRecordMapsOffsetIds)
{
    // Header, one range {100, 5, 20}, a block table of 25 one-byte-payload entries.
    Bytes image(32, 0);
    image[6] = 0xFF;  // bit 7: range form; the other bits carry nothing
    setU32(image, 8, 32);
    setU32(image, 12, 1);
    setU32(image, 16, 40);
    setU32(image, 20, 25);
    putU32(image, 100);
    putU16(image, 5);
    putU16(image, 20);
    uint32_t data = 40 + 26 * 8;
    for (uint32_t i = 0; i <= 25; ++i) {
        putU32(image, i);
        putU32(image, data + 5 * i);
    }
    for (uint32_t i = 0; i < 25; ++i) {
        Bytes entry = encodePackEntry(Bytes{static_cast<uint8_t>(i)}, false);
        image.insert(image.end(), entry.begin(), entry.end());
    }
    ResourcePack pack;
    ASSERT_EQ(pack.openFile(new MemoryFile(image)), 1);
    EXPECT_EQ(pack.indexOf(103), 23);
    EXPECT_EQ(pack.indexOf(100), 20);
    EXPECT_EQ(pack.indexOf(105), -1);
    EXPECT_EQ(pack.indexOf(99), -1);
    EXPECT_EQ(pack.typeOf(103), 23u);

    image[6] = 0x7F;  // sorted form: the range record now reads as two ids
    ASSERT_EQ(pack.openFile(new MemoryFile(image)), 1);
    EXPECT_EQ(pack.isRangeIndex(), 0);
    EXPECT_EQ(pack.indexOf(100), 0);
}

// The first of overlapping ranges answers, past 2^32 - 1 ids go on from 0; twice the ranges cost twice.
TEST(ResourcePack, RangesAnswerInOrderAndInProportion)
{
    uint64_t probes[2] = {};
    for (uint32_t k = 0; k < 2; ++k) {
        const uint32_t n = 2000u << k;
        Bytes image(32, 0);
        image[6] = 0x80;
        setU32(image, 8, 32);
        setU32(image, 12, n + 2);
        for (uint32_t i = 0; i < n + 2; ++i) {
            putU32(image, i == 0 ? 0xFFFFFFFEu : 100 + i * (i > 1));
            putU32(image, i < 2 ? 4u | 7u << 16 : 1u | (48 + i) << 16);
        }
        ResourcePack pack;
        ASSERT_EQ(pack.openFile(new MemoryFile(image)), 1);
        const uint64_t before = pack.probes();
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_EQ(pack.indexOf(102 + i), int32_t(i < 2 ? 9 + i : 50 + i));
        probes[k] = pack.probes() - before;
        EXPECT_EQ(pack.indexOf(0x8001), 10);
    }
    EXPECT_LT(probes[1], probes[0] * 5 / 2) << probes[0] << " then " << probes[1];
}

TEST(ResourcePack, EmptyIndexHoldsNoIds)
{
    PackWriter writer;
    Bytes image;
    ASSERT_TRUE(writer.build(PackIndexForm::Sorted, image));
    ResourcePack pack;
    ASSERT_EQ(pack.openFile(new MemoryFile(image)), 1);
    EXPECT_EQ(pack.indexOf(0), -1);
    EXPECT_EQ(pack.entrySize(0), 0u);
    EXPECT_EQ(pack.seekToEntry(0), 0);
}

// Each hostile pack is refused at open, and the pack is left empty.
TEST(ResourcePack, HostileHeadersAndTablesAreRefused)
{
    const Bytes good = samplePack(PackIndexForm::Sorted);
    const size_t blocks = 32 + 3 * 4;
    const struct {
        const char* name;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"block count 0xFFFFFFFF", 20, 0xFFFFFFFF},
        {"block count beyond the file", 20, 1000},
        {"block table offset beyond the file", 16, 0x7FFFFFF0},
        {"index offset beyond the file", 8, 0xFFFFFFF0},
        {"index count beyond the file", 12, 0x40000000},
        {"decreasing block offset", blocks + 8 + 4, 10},
        {"block offset beyond the file", blocks + 8 + 4, 0x10000},
        {"closing record beyond the file", blocks + 24 + 4, 0x10000},
        {"ids out of order", 32, 0x0300},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        setU32(bad, c.at, c.value);
        ResourcePack pack;
        EXPECT_EQ(pack.openFile(new MemoryFile(bad)), 0) << c.name;
        EXPECT_EQ(pack.indexCount(), 0u) << c.name;
        EXPECT_EQ(pack.blockCount(), 0u) << c.name;
        EXPECT_EQ(pack.indexOf(0x0102), -1) << c.name;
        EXPECT_EQ(pack.seekToEntry(0x0102), 0) << c.name;
    }
    ResourcePack pack;
    EXPECT_EQ(pack.openFile(new MemoryFile(Bytes(good.begin(), good.begin() + 31))), 0);
    EXPECT_EQ(pack.openFile(nullptr), 0);
}

} // namespace
