// The engine's archive: one file holding a checksummed header with a hashed
// directory of named entries, followed by the entries' bytes in directory
// order. The loader reads "mvlarc:" members through it, and the game can open
// archives through the Archive and ArchiveMember interfaces.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/io/IkwFile.h"
#include "engine/core/runtime/CkwArray.h"
#include "engine/core/runtime/CkwRefCount.h"

// The magic, byte 12 (always 0), and the header fields after it.
constexpr uint8_t kArchiveMagic[12] = {0xAB, 'M', 'V', 'L', 'A', 'R', 'C', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kArchiveHeaderLengthOffset = 13;
constexpr uint32_t kArchiveFileSizeOffset = 17;
constexpr uint32_t kArchiveChecksumOffset = 29;
constexpr uint32_t kArchiveDirectoryOffset = 33; // the entry count, then the records
constexpr uint32_t kArchiveRecordNameOffset = 16;
constexpr uint32_t kArchiveReadBlock = 1024;

// The hash lookups compare: from the last byte to the first, each taken as
// a signed byte, h = byte + h * 1664525 + 1013904223 in 32 bits. The archive
// stores it over the lower-cased name.
uint32_t archiveNameHash(const char* name);

class CkwArchiveMember : public CkwHeapObject, public CkwRefCount {
public:
    ~CkwArchiveMember() override;
    int32_t getClassId() const override { return kClassArchiveMember; }

    // Takes one reference to the file, which keeps it open after its archive
    // is gone.
    void attach(IkwFile* file, uint32_t start, uint32_t size);
    // Reads min(count, bytes left) at the member's position; 0 without a
    // file, for a null buffer, at the end or when the file cannot seek there.
    uint32_t read(void* buffer, uint32_t count);

    uint32_t size() const { return m_size; }
    uint32_t position() const { return m_position; }

private:
    IkwFile* m_file = nullptr;
    uint32_t m_start = 0;
    uint32_t m_size = 0;
    uint32_t m_position = 0;
};

// One directory record as a lookup finds it: its place in the directory,
// which tells two names of one entry apart from two entries, and its bytes.
struct CkwArchiveEntry {
    uint32_t index;
    uint32_t start;
    uint32_t size;
};

class CkwArchive : public CkwHeapObject, public CkwRefCount {
public:
    ~CkwArchive() override;
    int32_t getClassId() const override { return kClassArchive; }

    // Leaves -1300 when already open, -2 when the file cannot be opened and
    // -1202 for any fault of the header or the directory.
    void open(const char* path);
    // A new member (reference count 0) over the first entry whose hash is
    // the lower-cased name's. Leaves -1300 when not open, -1301 when no entry
    // has the hash, -4 when memory runs out.
    CkwArchiveMember* openMember(const char* name, uint32_t* outSize);
    // The record openMember would open for the name; leaves as it does.
    CkwArchiveEntry findEntry(const char* name) const;
    // A new member over a record findEntry gave.
    CkwArchiveMember* openEntry(const CkwArchiveEntry& entry, uint32_t* outSize) const;
    // The next entry's size and a copy of its name, which the caller frees
    // with engineFree; false when not open, past the last entry, or when the
    // copy cannot be made.
    bool nextEntry(uint32_t* outSize, char** outName);
    void resetEnumeration();

    bool isOpen() const { return m_file != nullptr; }
    uint32_t entryCount() const { return m_entryCount; }

private:
    struct HashedEntry {
        uint32_t hash;
        CkwArchiveEntry entry;
    };

    // Checks every record against the block and the file, and sorts the
    // records by hash for lookups; leaves -1202, or -4 without memory.
    void checkDirectory(uint32_t fileSize);

    IkwFile* m_file = nullptr;
    uint32_t m_enumerationIndex = 0;
    uint32_t m_enumerationOffset = 0; // byte offset of that record in m_directory
    uint8_t* m_directory = nullptr;   // file bytes 33..H-1
    uint32_t m_directoryLength = 0;
    uint32_t m_dataStart = 0;         // H
    uint32_t m_entryCount = 0;
    // By hash, then directory order, so the first record of a hash is found
    // in log time however many references an archive's files hold.
    CkwArray<HashedEntry> m_lookup;
};
