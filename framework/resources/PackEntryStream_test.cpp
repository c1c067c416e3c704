// Packs built by the writer, read back by id through ResourcePack and
// PackEntryStream: both index forms, plain and deflated entries, header
// lengths 4 and 6, slices, alternating and nested reads, hostile headers.
#include "framework/resources/PackEntryStream.h"

#include <gtest/gtest.h>

#include "framework/properties/EntryTable.h"
#include "framework/resources/PackFormat.h"
#include "framework/resources/ResourcePack.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackWriter.h"

namespace {

Bytes pattern(size_t n, uint32_t seed)
{
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525 + 1013904223;
        out[i] = static_cast<uint8_t>((seed >> 24) % 7 + 'a');  // compressible, not trivial
    }
    return out;
}

struct Built {
    ResourcePack pack;
    std::vector<Bytes> payloads;
};

void buildPack(ResourcePack& pack, PackIndexForm form, const PackWriter& writer)
{
    Bytes image;
    ASSERT_TRUE(writer.build(form, image));
    ASSERT_EQ(pack.openFile(new MemoryFile(image)), 1);
}

// Raw entries go into an entry table, which stores bytes as given.
void loadTable(EntryTable& table, const EntryTableWriter& writer)
{
    Bytes image = writer.build();
    MemoryInputStream source;
    source.open(image.data(), static_cast<uint32_t>(image.size()));
    ASSERT_EQ(table.load(source), 1);
}

Bytes readAll(PackEntryStream& stream, uint32_t slice)
{
    Bytes out;
    Bytes chunk(slice);
    while (stream.available() != 0) {
        uint32_t n = std::min(slice, stream.available());
        stream.read(chunk.data(), n);
        out.insert(out.end(), chunk.begin(), chunk.begin() + n);
    }
    return out;
}

TEST(PackEntryStream, EntriesReadBackWholeAndInSlices)
{
    struct Spec {
        uint32_t id;
        bool deflate;
        uint16_t header;
        size_t size;
    };
    const Spec specs[] = {
        {0x03000102, false, 4, 1}, {0x03000103, true, 4, 3000}, {0x03000104, false, 6, 700},
        {0x03000200, true, 6, 70000}, {0x03000201, true, 4, 0}, {0x03000300, false, 4, 301},  // last entry
    };
    for (PackIndexForm form : {PackIndexForm::Sorted, PackIndexForm::Range}) {
        PackWriter writer;
        for (const Spec& s : specs)
            writer.add(s.id, s.id ^ 0x5A5A, pattern(s.size, s.id), s.deflate, s.header);
        ResourcePack pack;
        buildPack(pack, form, writer);
        for (const Spec& s : specs) {
            Bytes expected = pattern(s.size, s.id);
            EXPECT_EQ(pack.typeOf(s.id), s.id ^ 0x5A5A);
            for (uint32_t slice : {1u, 7u, 300u, 1u << 20}) {
                PackEntryStream stream;
                ASSERT_EQ(stream.open(&pack, s.id, 1), 1) << std::hex << s.id;
                EXPECT_EQ(stream.size(), s.size);
                EXPECT_EQ(readAll(stream, slice), expected) << std::hex << s.id << " slice " << std::dec << slice;
                EXPECT_FALSE(stream.hasError());
            }
        }
    }
}

TEST(PackEntryStream, DeflatedEntryWithoutInflationDeliversStoredBytes)
{
    PackWriter writer;
    Bytes payload = pattern(500, 9);
    writer.add(5, 1, payload, true, 6);
    ResourcePack pack;
    buildPack(pack, PackIndexForm::Sorted, writer);
    Bytes stored = encodePackEntry(payload, true, 6);
    PackEntryStream stream;
    ASSERT_EQ(stream.open(&pack, 5, 0), 1);
    EXPECT_EQ(stream.size(), pack.entrySize(5) - 6);
    EXPECT_EQ(readAll(stream, 64), Bytes(stored.begin() + 6, stored.end()));
}

TEST(PackEntryStream, TwoEntriesReadAlternatelyKeepTheirOwnBytes)
{
    for (bool deflate : {false, true}) {
        PackWriter writer;
        Bytes a = pattern(40000, 1), b = pattern(40000, 2);
        writer.add(1, 0, a, deflate);
        writer.add(2, 0, b, deflate);
        ResourcePack pack;
        buildPack(pack, PackIndexForm::Sorted, writer);
        PackEntryStream first, second;
        ASSERT_EQ(first.open(&pack, 1, 1), 1);
        ASSERT_EQ(second.open(&pack, 2, 1), 1);
        Bytes gotA, gotB;
        uint8_t chunk[333];
        while (first.available() != 0) {
            uint32_t n = std::min<uint32_t>(sizeof chunk, first.available());
            first.read(chunk, n);
            gotA.insert(gotA.end(), chunk, chunk + n);
            // A nested load in between moves the shared file as well.
            Bytes raw(16);
            pack.readEntryRaw(2, raw.data(), 16);
            n = std::min<uint32_t>(sizeof chunk, second.available());
            second.read(chunk, n);
            gotB.insert(gotB.end(), chunk, chunk + n);
        }
        EXPECT_EQ(gotA, a) << deflate;
        EXPECT_EQ(gotB, b) << deflate;
    }
}

TEST(PackEntryStream, OverlongReadZeroFillsAndStaysFailed)
{
    PackWriter writer;
    writer.add(1, 0, Bytes{1, 2, 3});
    ResourcePack pack;
    buildPack(pack, PackIndexForm::Sorted, writer);
    PackEntryStream stream;
    ASSERT_EQ(stream.open(&pack, 1, 1), 1);
    uint8_t buffer[4] = {9, 9, 9, 9};
    stream.read(buffer, 4);
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(4, 0));
    EXPECT_EQ(stream.available(), 0u);
    EXPECT_EQ(stream.readU8(), 0);
}

// Entries whose header lies: each must be refused at open.
TEST(PackEntryStream, HostileEntryHeadersAreRefused)
{
    auto entryWith = [](std::initializer_list<uint8_t> bytes) { return Bytes(bytes); };
    Bytes zlib = encodePackEntry(pattern(100, 3), true, 4);
    Bytes zlibTooBig = zlib;
    zlibTooBig[8] = 0xFF;  // zlib size beyond the entry
    Bytes bomb = zlib;
    bomb[4] = 0;
    bomb[5] = 0;
    bomb[6] = 0x10;  // unpacked size 1 MiB from a tiny zlib stream
    const struct {
        const char* name;
        Bytes raw;
    } cases[] = {
        {"packed size 3", entryWith({4, 0, 0})},
        {"header length below 4", entryWith({2, 0, 0, 0, 'a', 'b'})},
        {"header length 0", entryWith({0, 0, 0, 0, 'a', 'b'})},
        {"packed size equals header", entryWith({6, 0, 0, 0, 0, 0})},
        {"deflated of packed size h + 8", entryWith({4, 0, 0x80, 0, 1, 0, 0, 0, 1, 0, 0, 0})},
        {"zlib size beyond the entry", zlibTooBig},
        {"unpacked size out of proportion", bomb},
        {"unpacked size one byte past 32 MiB", encodePackEntry(pattern(100, 3), true, 4, PackFormat::MaxUnpackedSize + 1)},
    };
    for (const auto& c : cases) {
        EntryTableWriter tableWriter;
        tableWriter.add(1, c.raw);
        EntryTable table;
        ASSERT_NO_FATAL_FAILURE(loadTable(table, tableWriter)) << c.name;
        PackEntryStream stream;
        EXPECT_EQ(stream.openInTable(&table, 1, 1), 0) << c.name;
        EXPECT_TRUE(stream.hasError()) << c.name;
        EXPECT_EQ(stream.available(), 0u) << c.name;
    }
}

TEST(PackEntryStream, EntryInTableInflates)
{
    Bytes payload = pattern(2000, 4);
    EntryTableWriter tableWriter;
    tableWriter.add(0x2100000A, encodePackEntry(payload, true, 6), 7);
    EntryTable table;
    ASSERT_NO_FATAL_FAILURE(loadTable(table, tableWriter));
    PackEntryStream stream;
    ASSERT_EQ(stream.openInTable(&table, 0xA, 1), 1);
    EXPECT_EQ(readAll(stream, 7), payload);
}

TEST(PackEntryStream, CorruptDeflateDataFailsTheRead)
{
    Bytes payload = pattern(5000, 5);
    Bytes entry = encodePackEntry(payload, true, 4);
    entry.resize(entry.size() - 40);  // cut the zlib stream, fix the sizes to match
    uint32_t zlibSize = static_cast<uint32_t>(entry.size() - 12);
    for (int i = 0; i < 4; ++i)
        entry[8 + i] = static_cast<uint8_t>(zlibSize >> (8 * i));
    EntryTableWriter tableWriter;
    tableWriter.add(1, entry);
    EntryTable table;
    ASSERT_NO_FATAL_FAILURE(loadTable(table, tableWriter));
    PackEntryStream stream;
    ASSERT_EQ(stream.openInTable(&table, 1, 1), 1);
    Bytes out(payload.size(), 0xEE);
    stream.read(out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(out, Bytes(payload.size(), 0));
}

} // namespace
