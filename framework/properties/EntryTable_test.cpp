// Entry tables: both id forms, u16 and u32 offsets, tags, masked lookups and
// images whose offsets leave the image.
#include "framework/properties/EntryTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "tests/support/AllocationWatch.h"
#include "tools/pack/PackWriter.h"

namespace {

int load(EntryTable& table, const Bytes& image)
{
    MemoryInputStream in;
    in.open(image.data(), static_cast<uint32_t>(image.size()));
    return table.load(in);
}

TEST(EntryTable, ConsecutiveIdsAreMaskedTo15Bits)
{
    Bytes image;
    putU16(image, 0x8000);
    putU16(image, 3);
    putU16(image, 10);
    for (uint16_t offset : {16, 17, 19})
        putU16(image, offset);
    putU32(image, 22);
    image.insert(image.end(), {'a', 'b', 'c', 'd', 'e', 'f'});
    EntryTable table;
    ASSERT_EQ(load(table, image), 1);
    EXPECT_EQ(table.indexOf(0x800B), 1);
    EXPECT_EQ(table.sizeOf(12), 3u);
    EXPECT_EQ(table.tagOf(10), 0u);
    char out[4] = {};
    EXPECT_EQ(table.copyEntry(11, out, 1), 0);  // does not fit
    EXPECT_EQ(table.copyEntry(11, out, 2), 1);
    EXPECT_EQ(std::string(out, 2), "bc");
    MemoryInputStream entry;
    ASSERT_EQ(table.openEntry(12, entry), 1);
    EXPECT_EQ(entry.readU8(), 'd');
    EXPECT_EQ(table.has(13), 0);
}

TEST(EntryTable, WriterFormsRoundTrip)
{
    for (size_t big : {10u, 70000u}) {
        EntryTableWriter writer;
        writer.add(0x21FF0005, Bytes(big, 'x'), 0xF686AADC);
        writer.add(3, Bytes{1, 2}, 0);
        EntryTable table;
        ASSERT_EQ(load(table, writer.build()), 1) << big;
        EXPECT_EQ(table.count(), 2);
        EXPECT_EQ(table.sizeOf(5), big);
        EXPECT_EQ(table.tagOf(5), 0xF686AADCu);
        EXPECT_EQ(table.sizeOf(3), 2u);
        EXPECT_EQ(isStringId(0x21FF0005), 1);
        EXPECT_EQ(isStringId(0x03000005), 0);
    }

    // Random images with repeated ids and ids past 15 bits answer as a scan
    // does: the first entry of the masked id.
    std::mt19937 random(61);
    for (int round = 0; round < 200; ++round) {
        const uint32_t count = 1 + random() % 300, spread = 1 + random() % 0x10000;
        std::vector<uint32_t> ids;
        Bytes image{0, 0, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
        for (uint32_t i = 0; i < count; ++i)
            putU32(image, ids.emplace_back(random() % spread));  // a 16-bit id, its entry empty
        putU32(image, 0);
        EntryTable table;
        ASSERT_EQ(load(table, image), 1) << round;
        for (uint32_t id = 0; id < 0x10000; id += 1 + random() % 29) {
            const auto first = std::find(ids.begin(), ids.end(), id & kEntryIdMask);
            ASSERT_EQ(table.indexOf(id), first == ids.end() ? -1 : first - ids.begin()) << round << " " << id;
        }
    }
}

TEST(EntryTable, EmptyAndHostileImages)
{
    EntryTable table;
    EXPECT_EQ(load(table, Bytes{0, 0, 0, 0}), 1);
    EXPECT_EQ(table.indexOf(0), -1);
    EXPECT_EQ(load(table, Bytes{}), 0);

    EntryTableWriter writer;
    writer.add(1, Bytes{1, 2, 3});
    writer.add(2, Bytes{4, 5});
    const Bytes good = writer.build();  // consecutive, u16 offsets: 6, 8, end at 10
    const struct {
        const char* name;
        size_t at;
        uint8_t value;
    } cases[] = {
        {"end offset beyond the image", 10, 0x40},
        {"decreasing offsets", 8, 0x02},
        {"offset beyond the image", 6, 0xF0},
        {"cut header", 0, 0},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        if (c.at == 0)
            bad.resize(7);
        else
            bad[c.at] = c.value;
        EXPECT_EQ(load(table, bad), 0) << c.name;
        EXPECT_EQ(table.count(), 0) << c.name;
    }
    // Memory that runs out at any allocation of a load, its index's among
    // them: an empty table, or the whole one.
    for (size_t failAt = 1, more = 1; more; ++failAt) {
        int ok = -1;
        {
            AllocationWatch watch(SIZE_MAX, failAt);
            ok = load(table, good);
            more = watch.requests() >= failAt;
        }
        EXPECT_EQ(table.count(), ok ? 2 : 0) << failAt;
        EXPECT_EQ(table.indexOf(2), ok ? 1 : -1) << failAt;
    }
}

} // namespace
