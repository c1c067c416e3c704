// The read-only resource pack: index and block table held in memory, entries
// read on demand from the pack's one open file. A failed open leaves an
// empty pack that answers every lookup with -1 or 0.
#pragma once

#include <cstdint>
#include <memory>

#include "framework/files/File.h"
#include "framework/services/HashedObject.h"
#include "framework/resources/PackFormat.h"

class FileInputStream;

class ResourcePack : public HashedObject {
public:
    ResourcePack() : HashedObject(kResourcePackTypeId) {}
    ~ResourcePack() override { close(); }

    // Opens the path through the file system; 1 on success.
    int open(const char16_t* path);
    // Takes ownership of an open file and reads the pack from it; 1 on
    // success. The header, index and block table are validated against the
    // file's size, so later reads never leave the file or wrap a size.
    int openFile(File* file);
    void close();
    // Seeks and reads of the open pack's file the disk failed so far: a load
    // that saw the count grow met one, and its bytes said nothing.
    uint32_t readErrors() const { return m_file != nullptr ? m_file->readErrors() : 0; }
    // 1 once a read of the pack failed for good, in the last open or in a
    // load that met the failure every time it was tried: its bytes then say
    // nothing of whether it is a pack, or of what it holds.
    int readFailed() const { return m_readFailed; }
    void markReadFailed() { m_readFailed = true; }

    // Entry number of id & 0x7FFF, or -1.
    int32_t indexOf(uint32_t id) const;
    // Entry number of an id when it is below the block count, else -1: the
    // operations by id resolve it here once, the ones by entry take what a
    // caller resolved.
    int32_t entryOf(uint32_t id) const;
    uint32_t typeOf(uint32_t id) const { return typeOfEntry(entryOf(id)); }
    // Bytes the entry occupies in the file (header included).
    uint32_t entrySize(uint32_t id) const { return sizeOfEntry(entryOf(id)); }
    int seekToEntry(uint32_t id) { return seekTo(entryOf(id)); }
    // Reads min(entry size, max) bytes of the entry as stored.
    int readEntryRaw(uint32_t id, void* buffer, uint32_t max);
    // Attaches stream to the pack's file at the entry's offset.
    int attachStream(uint32_t id, FileInputStream& stream) { return attachEntry(entryOf(id), stream); }

    // The same for an entry number from entryOf; -1 reads as absent.
    uint32_t typeOfEntry(int32_t entry) const;
    uint32_t sizeOfEntry(int32_t entry) const;
    int seekTo(int32_t entry);
    int attachEntry(int32_t entry, FileInputStream& stream);

    uint32_t indexCount() const { return m_indexCount; }
    uint32_t blockCount() const { return m_blockCount; }
    int isRangeIndex() const { return m_ranges != nullptr; }
    // Index records as stored, for listing: record i of the sorted form, or
    // of the range form. 0 when i is out of range or the form differs.
    int sortedIdAt(uint32_t i, uint32_t& id) const;
    int rangeAt(uint32_t i, uint32_t& firstId, uint32_t& count, uint32_t& firstEntry) const;
    // Index records looked at so far: a count of work that tests read to
    // hold lookups in proportion to the pack.
    uint64_t probes() const { return m_probes; }

private:
    struct Range {
        uint32_t firstId;
        uint16_t count;
        uint16_t firstEntry;
    };
    struct Block {
        uint32_t type;
        uint32_t offset;
    };

    bool isEntry(int32_t entry) const { return entry >= 0 && static_cast<uint32_t>(entry) < m_blockCount; }
    int readBody(uint64_t fileSize);
    bool indexRanges(uint32_t count);

    File* m_file = nullptr;
    bool m_readFailed = false;
    uint32_t m_indexCount = 0;
    uint32_t m_blockCount = 0;
    std::unique_ptr<int32_t[]> m_sortedIds;
    std::unique_ptr<Range[]> m_ranges;
    // The entry of every masked id under the first range holding it, or -1,
    // worked out at open: a pack may hold thousands of ranges, and a walk of
    // them for every lookup would cost their count for each entry loaded.
    std::unique_ptr<int32_t[]> m_rangeEntries;
    std::unique_ptr<Block[]> m_blockTable;  // blockCount + 1 records
    mutable uint64_t m_probes = 0;
};
