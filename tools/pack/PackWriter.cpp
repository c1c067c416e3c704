// Pack and entry-table writers.
#include "tools/pack/PackWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <zlib.h>

#include "framework/properties/EntryTable.h"
#include "framework/resources/PackFormat.h"

void putU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(Bytes& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

namespace {

// Ids as the manifest and the tool's list write them.
std::string hexId(uint32_t id)
{
    char text[12];
    std::snprintf(text, sizeof text, "0x%X", id);
    return text;
}

// Appends through resize and memcpy: vector::insert of a range trips a
// false overread warning of g++ 12 at -O3.
void appendBytes(Bytes& out, const Bytes& more)
{
    if (more.empty())
        return;
    size_t at = out.size();
    out.resize(at + more.size());
    std::memcpy(out.data() + at, more.data(), more.size());
}

void setU32(Bytes& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

Bytes encodePackEntry(const Bytes& payload, bool deflate, uint16_t headerLength, uint32_t announced)
{
    Bytes out(std::max<size_t>(headerLength, PackFormat::MinEntryHeader), 0);
    out[0] = static_cast<uint8_t>(headerLength);
    out[1] = static_cast<uint8_t>(headerLength >> 8);
    out[2] = deflate ? PackFormat::EntryDeflatedBit : 0;
    if (!deflate) {
        appendBytes(out, payload);
        return out;
    }
    uLongf packed = compressBound(payload.size());
    Bytes zlib(packed);
    compress2(zlib.data(), &packed, payload.data(), payload.size(), Z_BEST_COMPRESSION);
    zlib.resize(packed);
    if (announced != 0)
        zlib.resize(std::max<size_t>(packed, (announced + PackFormat::MaxInflateRatio - 1) / PackFormat::MaxInflateRatio));
    putU32(out, announced != 0 ? announced : static_cast<uint32_t>(payload.size()));
    putU32(out, static_cast<uint32_t>(zlib.size()));
    appendBytes(out, zlib);
    return out;
}

bool PackWriter::build(PackIndexForm form, Bytes& out, std::string* error) const
{
    auto fail = [error](const std::string& reason) {
        if (error)
            *error = reason;
        return false;
    };
    std::vector<const Entry*> sorted;
    for (const Entry& entry : m_entries) {
        if (entry.headerLength < PackFormat::MinEntryHeader)
            return fail("entry header length below 4");
        // Readers refuse an entry no longer than its header.
        if (!entry.deflate && entry.payload.empty())
            return fail("plain entry " + hexId(entry.id) + " is empty: store it deflated");
        // The game refuses to inflate more than this, so such a pack would
        // build and then fail to load.
        if (entry.deflate && entry.payload.size() > PackFormat::MaxUnpackedSize)
            return fail("deflated entry " + hexId(entry.id) + " unpacks to " + std::to_string(entry.payload.size())
                        + " bytes, past the 32 MiB the game inflates: store it plain");
        sorted.push_back(&entry);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Entry* a, const Entry* b) {
        return (a->id & PackFormat::IdMask) < (b->id & PackFormat::IdMask);
    });
    for (size_t i = 1; i < sorted.size(); ++i)
        if ((sorted[i]->id & PackFormat::IdMask) == (sorted[i - 1]->id & PackFormat::IdMask))
            return fail("two entries share the id " + hexId(sorted[i]->id & PackFormat::IdMask));

    Bytes index;
    uint32_t indexCount = 0;
    if (form == PackIndexForm::Sorted) {
        for (const Entry* entry : sorted)
            putU32(index, entry->id & PackFormat::IdMask);
        indexCount = static_cast<uint32_t>(sorted.size());
    } else {
        // One record per run of consecutive ids.
        for (size_t i = 0; i < sorted.size();) {
            size_t j = i + 1;
            while (j < sorted.size() && j - i < 0xFFFF
                   && (sorted[j]->id & PackFormat::IdMask) == (sorted[j - 1]->id & PackFormat::IdMask) + 1)
                ++j;
            putU32(index, sorted[i]->id & PackFormat::IdMask);
            putU16(index, static_cast<uint16_t>(j - i));
            putU16(index, static_cast<uint16_t>(i));
            ++indexCount;
            i = j;
        }
    }

    uint32_t blockCount = static_cast<uint32_t>(sorted.size());
    size_t indexOffset = PackFormat::HeaderSize;
    size_t blockOffset = indexOffset + index.size();
    size_t dataOffset = blockOffset + (size_t(blockCount) + 1) * PackFormat::BlockRecordSize;

    out.assign(PackFormat::HeaderSize, 0);
    out[PackFormat::HeaderIndexFormOffset] = form == PackIndexForm::Range ? PackFormat::RangeIndexBit : 0;
    setU32(out, 8, static_cast<uint32_t>(indexOffset));
    setU32(out, 12, indexCount);
    setU32(out, 16, static_cast<uint32_t>(blockOffset));
    setU32(out, 20, blockCount);
    appendBytes(out, index);

    Bytes data;
    Bytes blocks;
    for (const Entry* entry : sorted) {
        putU32(blocks, entry->type);
        putU32(blocks, static_cast<uint32_t>(dataOffset + data.size()));
        Bytes encoded = encodePackEntry(entry->payload, entry->deflate, entry->headerLength, entry->announced);
        appendBytes(data, encoded);
    }
    // The extra record closes the last entry.
    putU32(blocks, 0);
    putU32(blocks, static_cast<uint32_t>(dataOffset + data.size()));
    appendBytes(out, blocks);
    appendBytes(out, data);
    return true;
}

Bytes EntryTableWriter::build() const
{
    Bytes out;
    uint16_t count = static_cast<uint16_t>(m_entries.size());
    bool consecutive = count != 0;
    bool tagged = false;
    size_t dataSize = 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].id != m_entries[0].id + i)
            consecutive = false;
        tagged |= m_entries[i].tag != 0;
        dataSize += m_entries[i].bytes.size();
    }
    size_t headerSize = 4 + (consecutive ? 2 : 2 * size_t(count)) + 2 * size_t(count) + 4 + (tagged ? 4 * size_t(count) : 0);
    bool wide = headerSize + 2 * size_t(count) + dataSize > 0xFFFF;
    if (wide)
        headerSize += 2 * size_t(count);

    uint16_t flags = (consecutive ? EntryTableFlag::ConsecutiveIds : 0) | (wide ? EntryTableFlag::WideOffsets : 0)
        | (tagged ? EntryTableFlag::HasTags : 0);
    putU16(out, flags);
    putU16(out, count);
    if (count == 0)
        return out;
    if (consecutive)
        putU16(out, static_cast<uint16_t>(m_entries[0].id));
    uint32_t offset = static_cast<uint32_t>(headerSize);
    for (const Entry& entry : m_entries) {
        if (!consecutive)
            putU16(out, static_cast<uint16_t>(entry.id));
        if (wide)
            putU32(out, offset);
        else
            putU16(out, static_cast<uint16_t>(offset));
        offset += static_cast<uint32_t>(entry.bytes.size());
    }
    putU32(out, offset);
    if (tagged)
        for (const Entry& entry : m_entries)
            putU32(out, entry.tag);
    for (const Entry& entry : m_entries)
        appendBytes(out, entry.bytes);
    return out;
}
