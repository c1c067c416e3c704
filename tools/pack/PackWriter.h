// Writer of resource packs and entry tables, for the pack tool, the sample
// game data and tests. Entries are encoded in the pack's entry layout, plain
// or deflated, with a header of any length from 4 bytes up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// One entry as stored: u16 header length, u8 flags, padding to the header
// length, then (deflated) the unpacked and zlib sizes and the zlib stream,
// or (plain) the payload. A deflated entry may announce more than its
// payload (announced not 0): its zlib stream then runs dry, and is padded so
// that the announced size stays within the ratio deflate can reach.
Bytes encodePackEntry(const Bytes& payload, bool deflate, uint16_t headerLength = 4, uint32_t announced = 0);

enum class PackIndexForm { Sorted, Range };

class PackWriter {
public:
    struct Entry {
        uint32_t id;  // masked to 15 bits when the pack is built
        uint32_t type;
        Bytes payload;
        bool deflate = false;
        uint16_t headerLength = 4;
        uint32_t announced = 0;  // see encodePackEntry
    };

    void add(Entry entry) { m_entries.push_back(std::move(entry)); }
    void add(uint32_t id, uint32_t type, Bytes payload, bool deflate = false, uint16_t headerLength = 4)
    {
        add(Entry{id, type, std::move(payload), deflate, headerLength});
    }
    const std::vector<Entry>& entries() const { return m_entries; }

    // The pack image: header, index, block table, then the entries in id
    // order. False (with a reason) for duplicate ids a header length below 4 or an empty plain entry.
    bool build(PackIndexForm form, Bytes& out, std::string* error = nullptr) const;

private:
    std::vector<Entry> m_entries;
};

// Entry-table image: ids consecutive from a base when they are, offsets as
// u16 when they fit, a tag per entry when any tag is non-zero.
class EntryTableWriter {
public:
    // bytes are stored as given: encode them with encodePackEntry for tables
    // whose entries are opened as pack entries.
    void add(uint32_t id, Bytes bytes, uint32_t tag = 0) { m_entries.push_back({id & 0x7FFF, std::move(bytes), tag}); }
    Bytes build() const;

private:
    struct Entry {
        uint32_t id;
        Bytes bytes;
        uint32_t tag;
    };
    std::vector<Entry> m_entries;
};

void putU16(Bytes& out, uint16_t value);
void putU32(Bytes& out, uint32_t value);
