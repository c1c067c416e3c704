// A compact table of small byte entries keyed by 15-bit ids: the payload of
// table resources and the form of string tables (a tag per entry says how
// its bytes are encoded). Entries use the pack's entry layout.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/services/HashedObject.h"
#include "framework/util/KeyIndex.h"

class InputStream;
class MemoryInputStream;

namespace EntryTableFlag {
constexpr uint16_t ConsecutiveIds = 0x8000;  // ids are base + i
constexpr uint16_t WideOffsets = 0x4000;     // offsets are u32, else u16
constexpr uint16_t HasTags = 0x2000;         // a u32 tag per entry follows the offsets
} // namespace EntryTableFlag

constexpr uint32_t kEntryTableTypeId = 0x521B2402;
constexpr uint32_t kEntryIdMask = 0x7FFF;

class EntryTable : public HashedObject {
public:
    EntryTable() : HashedObject(kEntryTableTypeId) {}

    // Reads the whole rest of the stream as a table image. Fails on an empty
    // stream, a short read, or offsets that decrease or leave the image.
    int load(InputStream& stream);
    void clear();

    // The first entry of id & 0x7FFF, or -1. The operations by id resolve
    // it here once; the ones by index take what a caller resolved.
    int32_t indexOf(uint32_t id) const;
    int has(uint32_t id) const { return indexOf(id) >= 0; }
    uint32_t tagOf(uint32_t id) const { return tagAt(indexOf(id)); }
    uint32_t sizeOf(uint32_t id) const { return sizeAt(indexOf(id)); }
    // Copies the entry into destination when it fits in capacity; 0 when
    // absent, empty or larger than capacity.
    int copyEntry(uint32_t id, void* destination, uint32_t capacity) const;
    // Attaches stream to the entry's bytes inside the image; 0 when absent or empty.
    int openEntry(uint32_t id, MemoryInputStream& stream) const { return openAt(indexOf(id), stream); }

    // The same for entry i; an i that is not an entry (-1) reads as absent.
    uint32_t tagAt(int32_t i) const;
    uint32_t sizeAt(int32_t i) const;
    int openAt(int32_t i, MemoryInputStream& stream) const;

    int32_t count() const { return m_count; }
    // Bytes the table holds: its image, offsets, tags and index.
    uint64_t heldBytes() const;
    // Index slots looked at so far: the work tests count.
    uint64_t probes() const { return m_firstEntries.probes(); }

private:
    int32_t m_count = 0;
    std::unique_ptr<uint32_t[]> m_tags;
    std::unique_ptr<uint32_t[]> m_offsets;  // count + 1, the last one the end
    std::unique_ptr<uint8_t[]> m_data;
    uint32_t m_dataSize = 0;
    // The first entry of each id, worked out at load: a string table is read
    // entry by entry, and a scan of its ids for each would cost the square
    // of the table.
    KeyIndex<int32_t> m_firstEntries;
};

// Bit 29 of a resource id: the text is an entry of a string table.
inline int isStringId(uint32_t id) { return (id >> 29) & 1; }
