// Input stream over one pack entry (in the pack file or inside an entry
// table) that hides whether the entry is stored plain or deflated. Streams
// over the pack file each keep their own position, so entries can be read
// alternately or one load can nest inside another.
#pragma once

#include <cstdint>

#include "framework/streams/FileInputStream.h"
#include "framework/streams/InflateStream.h"
#include "framework/streams/MemoryInputStream.h"

class EntryTable;
class ResourcePack;

class PackEntryStream : public InputStream {
public:
    explicit PackEntryStream(uint8_t swapBytes = 0) : InputStream(swapBytes) {}

    // Opens entry id of the pack. With allowInflate 0 a deflated entry
    // delivers its stored bytes, starting with its two size words. On failure
    // the stream is empty with its error flag set.
    int open(ResourcePack* pack, uint32_t id, int allowInflate);
    int openInTable(const EntryTable* table, uint32_t id, int allowInflate);
    // The same for an entry the caller resolved (ResourcePack::entryOf,
    // EntryTable::indexOf); id is what the stream reports as its id.
    int openEntry(ResourcePack* pack, int32_t entry, uint32_t id, int allowInflate);
    int openTableEntry(const EntryTable* table, int32_t entry, uint32_t id, int allowInflate);
    // Empties the stream; the error flag stays as it is.
    void reset();

    uint32_t available() override;
    void skip(uint32_t n) override;
    void read(void* buffer, uint32_t n) override;

    uint32_t id() const { return m_id; }
    int isDeflated() const { return m_deflated; }

private:
    int parseHeader(InputStream* inner, uint32_t id, uint32_t packedSize, int allowInflate);

    MemoryInputStream m_memory;
    FileInputStream m_file;
    InflateStream m_inflate;
    uint32_t m_id = 0;
    InputStream* m_inner = nullptr;
    uint32_t m_position = 0;  // payload bytes delivered so far
    uint8_t m_deflated = 0;
};
