// Resource pack: opening and validation, id lookup, raw entry access.
#include "framework/resources/ResourcePack.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "framework/files/File.h"
#include "framework/files/FileSystem.h"
#include "framework/streams/FileInputStream.h"
#include "framework/util/BinarySearch.h"
#include "framework/util/FirstClaims.h"

int ResourcePack::open(const char16_t* path)
{
    close();
    FileSystem* fileSystem = getFileSystem();
    if (fileSystem == nullptr || path == nullptr)
        return 0;
    return openFile(fileSystem->open(path, kOpenRead));
}

void ResourcePack::close()
{
    delete m_file;
    m_file = nullptr;
    m_readFailed = false;
    m_indexCount = 0;
    m_blockCount = 0;
    m_sortedIds.reset();
    m_ranges.reset();
    m_rangeEntries.reset();
    m_blockTable.reset();
}

int ResourcePack::openFile(File* file)
{
    close();
    if (file == nullptr)
        return 0;
    m_file = file;
    bool opened = file->seek(0, kSeekEnd);
    const uint64_t fileSize = opened ? file->tell() : 0;
    opened = opened && file->seek(0, kSeekBegin) && readBody(fileSize);
    if (opened)
        return 1;
    const bool readFailed = file->readErrors() != 0;
    close();
    m_readFailed = readFailed;
    return 0;
}

namespace {

// Reads count records of recordSize bytes at offset when they lie inside the file.
bool readRecords(File* file, uint64_t fileSize, uint32_t offset, uint64_t count,
                 uint32_t recordSize, void* out)
{
    uint64_t bytes = count * recordSize;
    if (uint64_t(offset) + bytes > fileSize)
        return false;
    return file->seek(static_cast<int32_t>(offset), kSeekBegin)
        && file->read(out, static_cast<uint32_t>(bytes)) == bytes;
}

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

int ResourcePack::readBody(uint64_t fileSize)
{
    FileInputStream header;
    if (!header.attach(m_file))
        return 0;
    header.readU32();
    header.readU8();
    header.readU8();
    uint8_t indexForm = header.readU8();
    header.skip(1);
    uint32_t indexOffset = header.readU32();
    uint32_t indexCount = header.readU32();
    uint32_t blockOffset = header.readU32();
    uint32_t blockCount = header.readU32();
    header.readU32();
    header.readU32();
    if (header.hasError())
        return 0;
    header.close();

    // Offsets reach File::seek as signed 32-bit values.
    if (fileSize > 0x7FFFFFFF)
        return 0;
    bool ranged = indexForm & PackFormat::RangeIndexBit;
    if (indexCount != 0) {
        uint32_t recordSize = ranged ? PackFormat::RangeRecordSize : PackFormat::SortedRecordSize;
        if (uint64_t(indexOffset) + uint64_t(indexCount) * recordSize > fileSize)
            return 0;
        std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[uint64_t(indexCount) * recordSize]);
        if (!raw || !readRecords(m_file, fileSize, indexOffset, indexCount, recordSize, raw.get()))
            return 0;
        if (ranged) {
            m_ranges.reset(new (std::nothrow) Range[indexCount]);
            if (!m_ranges)
                return 0;
            for (uint32_t i = 0; i < indexCount; ++i) {
                const uint8_t* r = raw.get() + i * PackFormat::RangeRecordSize;
                m_ranges[i] = Range{le32(r), le16(r + 4), le16(r + 6)};
            }
            if (!indexRanges(indexCount))
                return 0;
        } else {
            m_sortedIds.reset(new (std::nothrow) int32_t[indexCount]);
            if (!m_sortedIds)
                return 0;
            for (uint32_t i = 0; i < indexCount; ++i) {
                m_sortedIds[i] = static_cast<int32_t>(le32(raw.get() + i * PackFormat::SortedRecordSize));
                // Bisection needs the ascending order the format promises.
                if (i != 0 && m_sortedIds[i] < m_sortedIds[i - 1])
                    return 0;
            }
        }
    }
    if (blockCount != 0) {
        uint64_t records = uint64_t(blockCount) + 1;
        if (uint64_t(blockOffset) + records * PackFormat::BlockRecordSize > fileSize)
            return 0;
        std::unique_ptr<uint8_t[]> raw(new (std::nothrow) uint8_t[records * PackFormat::BlockRecordSize]);
        if (!raw || !readRecords(m_file, fileSize, blockOffset, records, PackFormat::BlockRecordSize, raw.get()))
            return 0;
        m_blockTable.reset(new (std::nothrow) Block[records]);
        if (!m_blockTable)
            return 0;
        for (uint64_t i = 0; i < records; ++i) {
            const uint8_t* r = raw.get() + i * PackFormat::BlockRecordSize;
            m_blockTable[i] = Block{le32(r), le32(r + 4)};
            // Entry sizes are differences of neighbouring offsets: they must
            // not decrease or leave the file, or a size would wrap.
            if (m_blockTable[i].offset > fileSize
                || (i != 0 && m_blockTable[i].offset < m_blockTable[i - 1].offset))
                return 0;
        }
    }
    m_indexCount = indexCount;
    m_blockCount = blockCount;
    return 1;
}

bool ResourcePack::indexRanges(uint32_t count)
{
    constexpr int64_t keys = int64_t(PackFormat::IdMask) + 1;
    std::unique_ptr<int32_t[]> entries(new (std::nothrow) int32_t[keys]);
    std::unique_ptr<int64_t[]> next(new (std::nothrow) int64_t[keys + 1]);
    if (!entries || !next)
        return false;
    FirstClaims claims(next.get(), keys);
    std::fill(entries.get(), entries.get() + keys, -1);
    for (uint32_t i = 0; i < count; ++i) {
        const Range& range = m_ranges[i];
        // A range holds the ids whose distance above its first, taken in
        // 32 bits, is below its count: those past 2^32 - 1 wrap to 0.
        for (const int64_t first : {int64_t(range.firstId), int64_t(range.firstId) - (int64_t(1) << 32)})
            claims.claim(std::max<int64_t>(first, 0), std::min<int64_t>(first + range.count - 1, keys - 1),
                         [&](int64_t key) { entries[key] = range.firstEntry + static_cast<int32_t>(key - first); });
    }
    m_probes += count + uint64_t(keys);
    m_rangeEntries = std::move(entries);
    return true;
}

int32_t ResourcePack::indexOf(uint32_t id) const
{
    int32_t key = static_cast<int32_t>(id & PackFormat::IdMask);
    if (m_ranges) {
        ++m_probes;
        return m_rangeEntries[key];
    }
    if (m_sortedIds)
        return binarySearch(m_sortedIds.get(), static_cast<int>(m_indexCount), key, &m_probes);
    return -1;
}

int32_t ResourcePack::entryOf(uint32_t id) const
{
    int32_t entry = indexOf(id);
    return isEntry(entry) ? entry : -1;
}

uint32_t ResourcePack::typeOfEntry(int32_t entry) const
{
    return isEntry(entry) ? m_blockTable[entry].type : 0;
}

uint32_t ResourcePack::sizeOfEntry(int32_t entry) const
{
    return isEntry(entry) ? m_blockTable[entry + 1].offset - m_blockTable[entry].offset : 0;
}

int ResourcePack::seekTo(int32_t entry)
{
    if (m_file == nullptr || !isEntry(entry))
        return 0;
    return m_file->seek(static_cast<int32_t>(m_blockTable[entry].offset), kSeekBegin);
}

int ResourcePack::readEntryRaw(uint32_t id, void* buffer, uint32_t max)
{
    const int32_t entry = entryOf(id);
    if (buffer == nullptr || !seekTo(entry))
        return 0;
    uint32_t n = sizeOfEntry(entry);
    if (n > max)
        n = max;
    return m_file->read(buffer, n) == n;
}

int ResourcePack::attachEntry(int32_t entry, FileInputStream& stream)
{
    if (!seekTo(entry))
        return 0;
    return stream.attach(m_file);
}

int ResourcePack::sortedIdAt(uint32_t i, uint32_t& id) const
{
    if (!m_sortedIds || i >= m_indexCount)
        return 0;
    id = static_cast<uint32_t>(m_sortedIds[i]);
    return 1;
}

int ResourcePack::rangeAt(uint32_t i, uint32_t& firstId, uint32_t& count, uint32_t& firstEntry) const
{
    if (!m_ranges || i >= m_indexCount)
        return 0;
    firstId = m_ranges[i].firstId;
    count = m_ranges[i].count;
    firstEntry = m_ranges[i].firstEntry;
    return 1;
}
