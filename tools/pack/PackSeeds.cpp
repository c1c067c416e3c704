// Seed packs: built by the writer, then one header, table or entry field
// patched at the offset the layout puts it.
#include "tools/pack/PackSeeds.h"

#include "framework/resources/PackFormat.h"

namespace {

constexpr size_t kIndexCountOffset = 12;
constexpr size_t kBlockOffsetOffset = 16;
constexpr size_t kBlockCountOffset = 20;

void patchU32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t u32At(const Bytes& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

Bytes text(const char* s)
{
    return Bytes(s, s + std::char_traits<char>::length(s));
}

Bytes makePack(PackIndexForm form)
{
    Bytes big(5000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7 % 251);
    EntryTableWriter table;
    table.add(1, encodePackEntry(text("row one"), false));
    table.add(2, encodePackEntry(big, true), 0x11);
    PackWriter writer;
    writer.add(0x102, 0x0C3B6E9D, text("plain entry"));
    writer.add(0x103, 0x0C3B6E9D, big, true);
    writer.add(0x104, 0x0C3B6E9D, text("six byte header"), false, 6);
    writer.add(0x200, 0x521B2402, table.build());
    Bytes out;
    writer.build(form, out);
    return out;
}

} // namespace

std::vector<std::pair<std::string, Bytes>> makePackSeeds()
{
    std::vector<std::pair<std::string, Bytes>> seeds;
    const Bytes sorted = makePack(PackIndexForm::Sorted);
    seeds.emplace_back("ok-sorted", sorted);
    seeds.emplace_back("ok-range", makePack(PackIndexForm::Range));

    auto variant = [&](const char* name, auto patch) {
        Bytes bytes = sorted;
        patch(bytes);
        seeds.emplace_back(name, std::move(bytes));
    };
    const size_t blocks = u32At(sorted, kBlockOffsetOffset);
    const size_t firstEntry = u32At(sorted, blocks + 4);
    variant("bad-truncated", [](Bytes& b) { b.resize(b.size() / 2); });
    variant("bad-header-only", [](Bytes& b) { b.resize(PackFormat::HeaderSize); });
    variant("bad-index-count", [](Bytes& b) { patchU32(b, kIndexCountOffset, 0x40000000); });
    variant("bad-block-count", [](Bytes& b) { patchU32(b, kBlockCountOffset, 0xFFFFFFFF); });
    variant("bad-decreasing-offset", [&](Bytes& b) { patchU32(b, blocks + 8 + 4, 1); });
    variant("bad-offset-past-end", [&](Bytes& b) { patchU32(b, blocks + 4, 0x7FFFFFF0); });
    variant("bad-entry-header-length", [&](Bytes& b) { b[firstEntry] = 2; });
    variant("bad-unsorted-ids", [](Bytes& b) { patchU32(b, PackFormat::HeaderSize, 0x7FFF); });
    // The deflated entry follows the plain one; its zlib size sits 8 bytes in.
    const size_t deflated = u32At(sorted, blocks + 8 + 4);
    variant("bad-zlib-size", [&](Bytes& b) { patchU32(b, deflated + 8, 0x7FFFFFFF); });
    variant("bad-unpacked-size", [&](Bytes& b) { patchU32(b, deflated + 4, 0xFFFFFFF0); });
    variant("bad-deflate-data", [&](Bytes& b) { b[deflated + 20] ^= 0xFF; });
    const size_t table = u32At(sorted, blocks + 3 * 8 + 4);
    // Table header: flags, count, base id, then the first offset.
    variant("bad-table-offset", [&](Bytes& b) { b[table + 4 + 6] = 0xFF; b[table + 4 + 7] = 0xFF; });
    return seeds;
}
