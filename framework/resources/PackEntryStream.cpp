// Pack entry stream: entry header parsing and bounded reads through the
// memory, file or inflate stream the entry is read with.
#include "framework/resources/PackEntryStream.h"

#include <cstring>

#include "framework/properties/EntryTable.h"
#include "framework/resources/PackFormat.h"
#include "framework/resources/ResourcePack.h"

int PackEntryStream::open(ResourcePack* pack, uint32_t id, int allowInflate)
{
    return openEntry(pack, pack != nullptr ? pack->entryOf(id) : -1, id, allowInflate);
}

int PackEntryStream::openInTable(const EntryTable* table, uint32_t id, int allowInflate)
{
    return openTableEntry(table, table != nullptr ? table->indexOf(id) : -1, id, allowInflate);
}

int PackEntryStream::openEntry(ResourcePack* pack, int32_t entry, uint32_t id, int allowInflate)
{
    m_error = 1;
    reset();
    if (pack != nullptr && pack->attachEntry(entry, m_file)
        && parseHeader(&m_file, id, pack->sizeOfEntry(entry), allowInflate))
        return 1;
    reset();
    m_error = 1;
    return 0;
}

int PackEntryStream::openTableEntry(const EntryTable* table, int32_t entry, uint32_t id, int allowInflate)
{
    m_error = 1;
    reset();
    if (table != nullptr && table->openAt(entry, m_memory)
        && parseHeader(&m_memory, id, table->sizeAt(entry), allowInflate))
        return 1;
    reset();
    m_error = 1;
    return 0;
}

void PackEntryStream::reset()
{
    m_memory.reset();
    m_file.close();
    m_inflate.reset();
    m_id = 0;
    m_inner = nullptr;
    m_position = 0;
    m_size = 0;
    m_deflated = 0;
}

int PackEntryStream::parseHeader(InputStream* inner, uint32_t id, uint32_t packedSize, int allowInflate)
{
    if (packedSize < PackFormat::MinEntryHeader)
        return 0;
    uint32_t headerLength = inner->readU16();
    uint8_t flags = inner->readU8();
    inner->skip(1);
    // A header shorter than its own fixed fields would make the skip below wrap.
    if (headerLength < PackFormat::MinEntryHeader || packedSize <= headerLength)
        return 0;
    if (headerLength > PackFormat::MinEntryHeader)
        inner->skip(headerLength - PackFormat::MinEntryHeader);
    if (inner->hasError())
        return 0;
    m_position = 0;
    m_deflated = (flags & PackFormat::EntryDeflatedBit) != 0;
    m_id = id;
    m_inner = inner;
    m_size = packedSize - headerLength;
    m_error = 0;
    if (!m_deflated || !allowInflate)
        return 1;

    if (packedSize <= headerLength + PackFormat::DeflatedSizesSize)
        return 0;
    uint32_t unpackedSize = inner->readU32();
    uint32_t zlibSize = inner->readU32();
    if (inner->hasError())
        return 0;
    // The zlib stream must lie inside the entry, and no deflate stream
    // expands by more than MaxInflateRatio.
    uint32_t room = packedSize - headerLength - PackFormat::DeflatedSizesSize;
    if (zlibSize > room || uint64_t(unpackedSize) > uint64_t(zlibSize) * PackFormat::MaxInflateRatio
        || unpackedSize > PackFormat::MaxUnpackedSize)
        return 0;
    if (!m_inflate.open(inner, zlibSize, unpackedSize))
        return 0;
    m_inner = &m_inflate;
    m_size = unpackedSize;
    return 1;
}

uint32_t PackEntryStream::available()
{
    if (m_error || m_inner == nullptr)
        return 0;
    return m_size - m_position;
}

void PackEntryStream::skip(uint32_t n)
{
    if (n == 0)
        return;
    if (available() >= n) {
        m_inner->skip(n);
        m_position += n;
        m_error = static_cast<uint8_t>(m_inner->hasError());
    } else {
        m_error = 1;
    }
}

void PackEntryStream::read(void* buffer, uint32_t n)
{
    if (n == 0 || buffer == nullptr)
        return;
    if (available() >= n) {
        m_inner->read(buffer, n);
        m_position += n;
        m_error = static_cast<uint8_t>(m_inner->hasError());
    } else {
        m_error = 1;
    }
    if (m_error)
        std::memset(buffer, 0, n);
}
