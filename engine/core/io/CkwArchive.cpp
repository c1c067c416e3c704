// Archive header check and directory walks. Every record is checked once at
// open, so the walks after it trust the directory.
#include "engine/core/io/CkwArchive.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

#include "engine/core/io/CkwWinCEFile.h"
#include "engine/core/io/LittleEndian.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"

namespace {

// The smallest header: everything up to and including the entry count.
constexpr uint32_t kMinimumHeaderLength = kArchiveDirectoryOffset + 4;
constexpr uint32_t kMinimumHeaderRead = 38;

} // namespace

uint32_t archiveNameHash(const char* name)
{
    uint32_t h = 0;
    for (size_t i = kwStrlen(name); i > 0; --i)
        h = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(name[i - 1]))) + h * 1664525u
            + 1013904223u;
    return h;
}

CkwArchiveMember::~CkwArchiveMember()
{
    if (m_file != nullptr)
        m_file->release();
}

void CkwArchiveMember::attach(IkwFile* file, uint32_t start, uint32_t size)
{
    file->addRef();
    if (m_file != nullptr)
        m_file->release();
    m_file = file;
    m_start = start;
    m_size = size;
    m_position = 0;
}

uint32_t CkwArchiveMember::read(void* buffer, uint32_t count)
{
    if (m_file == nullptr || buffer == nullptr)
        return 0;
    const uint32_t left = m_size - m_position;
    const uint32_t n = count < left ? count : left;
    if (n == 0)
        return 0;
    // A failed seek would read from wherever the file stood.
    if (!m_file->seek(kSeekBegin, static_cast<int32_t>(m_start + m_position)))
        return 0;
    const uint32_t got = m_file->read(buffer, n);
    m_position += got;
    return got;
}

CkwArchive::~CkwArchive()
{
    if (m_file != nullptr)
        m_file->release();
    engineFree(m_directory);
}

void CkwArchive::open(const char* path)
{
    if (m_file != nullptr)
        leave(KErrIllegalState);
    CkwCleanupPtr<IkwFileManager> manager(CkwWinCEFileManager::create());
    CkwCleanupPtr<IkwFile> file(manager->openNarrow(path, 0));

    uint8_t block[kArchiveReadBlock];
    uint32_t got = file->read(block, sizeof block);
    if (got < kMinimumHeaderRead || std::memcmp(block, kArchiveMagic, sizeof kArchiveMagic) != 0
        || block[sizeof kArchiveMagic] != 0)
        leave(KErrCorruptData);
    const uint32_t headerLength = readU32(block + kArchiveHeaderLengthOffset);
    const uint32_t fileSize = file->size();
    // A length below the entry count would wrap the directory's size.
    if (readU32(block + kArchiveFileSizeOffset) != fileSize || headerLength < kMinimumHeaderLength
        || headerLength > fileSize)
        leave(KErrCorruptData);

    const uint32_t stored = readU32(block + kArchiveChecksumOffset);
    kwMemset(block + kArchiveChecksumOffset, 0, 4);
    uLong sum = adler32(1, block, headerLength < got ? headerLength : got);
    for (uint32_t total = got; total < headerLength; total += got) {
        got = file->read(block, sizeof block);
        if (got == 0)
            leave(KErrCorruptData);
        const uint32_t below = headerLength - total;
        sum = adler32(sum, block, got < below ? got : below);
    }
    if (static_cast<uint32_t>(sum) != stored)
        leave(KErrCorruptData);

    if (!file->seek(kSeekBegin, kArchiveDirectoryOffset))
        leave(KErrIndexOutOfRange);
    const uint32_t length = headerLength - kArchiveDirectoryOffset;
    auto* directory = static_cast<uint8_t*>(engineNewL(length));
    engineFree(m_directory);
    m_directory = directory;
    m_directoryLength = length;
    if (file->read(directory, length) != length)
        leave(KErrCorruptData);
    m_dataStart = headerLength;
    checkDirectory(fileSize);

    m_file = file.release();
    m_file->addRef();
    resetEnumeration();
}

void CkwArchive::checkDirectory(uint32_t fileSize)
{
    const uint32_t count = readU32(m_directory);
    uint32_t offset = 4;
    uint64_t dataEnd = m_dataStart;
    m_lookup.setCount(0);
    // The count is a claim; the records that fit in the block are not.
    m_lookup.setCapacity(static_cast<int32_t>(
        std::min(count, (m_directoryLength - 4) / (kArchiveRecordNameOffset + 1))));
    for (uint32_t i = 0; i < count; ++i) {
        if (m_directoryLength - offset < kArchiveRecordNameOffset + 1)
            leave(KErrCorruptData);
        const uint8_t* record = m_directory + offset;
        const uint32_t recordLength = readU32(record);
        if (recordLength <= kArchiveRecordNameOffset || recordLength > m_directoryLength - offset)
            leave(KErrCorruptData);
        if (std::memchr(record + kArchiveRecordNameOffset, 0, recordLength - kArchiveRecordNameOffset) == nullptr)
            leave(KErrCorruptData);
        const uint32_t size = readU32(record + 8);
        if (dataEnd + size > fileSize)
            leave(KErrCorruptData);
        m_lookup.append({readU32(record + 12), {i, static_cast<uint32_t>(dataEnd), size}});
        dataEnd += size;
        offset += recordLength;
    }
    std::sort(m_lookup.begin(), m_lookup.end(), [](const HashedEntry& a, const HashedEntry& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.entry.index < b.entry.index;
    });
    m_entryCount = count;
}

CkwArchiveMember* CkwArchive::openMember(const char* name, uint32_t* outSize)
{
    return openEntry(findEntry(name), outSize);
}

CkwArchiveEntry CkwArchive::findEntry(const char* name) const
{
    if (m_file == nullptr)
        leave(KErrIllegalState);
    if (name == nullptr)
        leave(KErrNullArgument);
    const size_t length = kwStrlen(name);
    char* lowered = static_cast<char*>(engineNewL(static_cast<uint64_t>(length) + 1, 1));
    kwMemcpy(lowered, name, length + 1);
    const uint32_t hash = archiveNameHash(kwStrlwr(lowered));
    engineFree(lowered);

    const HashedEntry* found = std::lower_bound(m_lookup.begin(), m_lookup.end(), hash,
                                                [](const HashedEntry& e, uint32_t h) { return e.hash < h; });
    if (found == m_lookup.end() || found->hash != hash)
        leave(KErrIllegalArgument);
    return found->entry;
}

CkwArchiveMember* CkwArchive::openEntry(const CkwArchiveEntry& entry, uint32_t* outSize) const
{
    auto* member = new CkwArchiveMember;
    member->attach(m_file, entry.start, entry.size);
    if (outSize != nullptr)
        *outSize = entry.size;
    return member;
}

bool CkwArchive::nextEntry(uint32_t* outSize, char** outName)
{
    if (m_file == nullptr || m_enumerationIndex >= m_entryCount)
        return false;
    const uint8_t* record = m_directory + m_enumerationOffset;
    const char* name = reinterpret_cast<const char*>(record + kArchiveRecordNameOffset);
    const size_t length = kwStrlen(name);
    auto* copy = static_cast<char*>(engineAlloc(static_cast<uint32_t>(length + 1), 0));
    if (copy == nullptr)
        return false;
    kwMemcpy(copy, name, length + 1);
    if (outName != nullptr)
        *outName = copy;
    else
        engineFree(copy);
    if (outSize != nullptr)
        *outSize = readU32(record + 8);
    ++m_enumerationIndex;
    m_enumerationOffset += readU32(record);
    return true;
}

void CkwArchive::resetEnumeration()
{
    m_enumerationIndex = 0;
    m_enumerationOffset = 4;
}
