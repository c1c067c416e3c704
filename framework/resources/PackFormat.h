// Layout constants of the resource pack: a 32-byte header, a sorted id or
// range index, a block table of {type, offset} records closed by one extra
// record, and entries with a small header. All integers are little-endian.
#pragma once

#include <cstdint>

namespace PackFormat {
constexpr uint32_t HeaderSize = 32;
constexpr uint32_t HeaderIndexFormOffset = 6;
constexpr uint8_t RangeIndexBit = 0x80;   // in the index-form byte
constexpr uint32_t SortedRecordSize = 4;  // u32 id
constexpr uint32_t RangeRecordSize = 8;   // u32 first id, u16 count, u16 first entry
constexpr uint32_t BlockRecordSize = 8;   // u32 type, u32 offset

constexpr uint32_t MinEntryHeader = 4;    // u16 header length, u8 flags, u8 unused
constexpr uint8_t EntryDeflatedBit = 0x80;
constexpr uint32_t DeflatedSizesSize = 8; // u32 unpacked size, u32 zlib size
// Deflate cannot expand data by more than this factor, so a larger ratio
// between unpacked and zlib size marks a corrupt entry.
constexpr uint64_t MaxInflateRatio = 1032;
// The most bytes a deflated entry may unpack to. The game was made for a
// Windows CE process, whose whole address space is a 32 MB slot, so none of
// its data can be larger; past this an announced size only costs time (a
// 4 MiB entry may inflate to 4 GiB) and is refused before anything is read.
constexpr uint32_t MaxUnpackedSize = 32u << 20;

constexpr uint32_t IdMask = 0x7FFF;       // ids are looked up by their low 15 bits
} // namespace PackFormat

constexpr uint32_t kResourcePackTypeId = 0xAA37812D;
// The key under which the event dispatcher holds the one open pack; its owner
// key is the pack's type id.
constexpr uint32_t kResourcePackKey = 0xA0D7812D;
constexpr char16_t kResourcePackName[] = u"pennyfall.big";
