// Entry-table image: flags, count, ids (or a base id), offsets, the end
// offset and optional tags, all little-endian.
#include "framework/properties/EntryTable.h"

#include <cstring>
#include <new>

#include "framework/streams/MemoryInputStream.h"
#include "framework/util/LoadLedger.h"

void EntryTable::clear()
{
    m_count = 0;
    m_tags.reset();
    m_offsets.reset();
    m_data.reset();
    m_dataSize = 0;
    m_firstEntries.clear();
}

int EntryTable::load(InputStream& stream)
{
    clear();
    const uint32_t n = stream.available();
    if (n == 0)
        return 0;
    std::unique_ptr<uint8_t[]> data = readAnnounced<uint8_t>(stream, n);
    if (!data)
        return 0;

    MemoryInputStream image;
    image.open(data.get(), n);
    uint16_t flags = image.readU16();
    uint32_t count = image.readU16();
    if (image.hasError())
        return 0;
    if (count == 0) {
        m_data = std::move(data);
        m_dataSize = n;
        return 1;
    }

    // The fields of every entry must be in the image before arrays are
    // sized for them.
    const bool consecutive = flags & EntryTableFlag::ConsecutiveIds;
    const bool wideOffsets = flags & EntryTableFlag::WideOffsets;
    const bool tagged = flags & EntryTableFlag::HasTags;
    const uint64_t perEntry = (consecutive ? 0 : 2) + (wideOffsets ? 4 : 2) + (tagged ? 4 : 0);
    if ((consecutive ? 2 : 0) + count * perEntry + 4 > image.available())
        return 0;
    // The arrays count against the load: two image bytes name an entry.
    if (!LoadScope::charge((uint64_t(count) * (tagged ? 3 : 2) + 1) * sizeof(uint32_t)))
        return 0;
    std::unique_ptr<uint32_t[]> ids(new (std::nothrow) uint32_t[count]);
    std::unique_ptr<uint32_t[]> offsets(new (std::nothrow) uint32_t[count + 1]);
    std::unique_ptr<uint32_t[]> tags;
    if (!ids || !offsets)
        return 0;
    uint32_t base = consecutive ? image.readU16() : 0;
    for (uint32_t i = 0; i < count; ++i) {
        ids[i] = consecutive ? base + i : image.readU16();
        offsets[i] = wideOffsets ? image.readU32() : image.readU16();
    }
    offsets[count] = image.readU32();
    if (tagged) {
        tags.reset(new (std::nothrow) uint32_t[count]);
        if (!tags)
            return 0;
        for (uint32_t i = 0; i < count; ++i)
            tags[i] = image.readU32();
    }
    if (image.hasError())
        return 0;
    // Every entry must lie inside the image: offsets never decrease and the
    // end offset is inside, so each size is exact and no copy overreads.
    for (uint32_t i = 0; i <= count; ++i) {
        if (offsets[i] > n || (i != 0 && offsets[i] < offsets[i - 1]))
            return 0;
    }
    // Ids past 15 bits never match a masked id; of equal ids the first wins.
    // With room made for every id, no claim can fail.
    if (!m_firstEntries.reserve(count))
        return 0;
    for (uint32_t i = 0; i < count; ++i)
        if (ids[i] <= kEntryIdMask)
            m_firstEntries.claim(ids[i], static_cast<int32_t>(i));

    // The ids live on in the index alone.
    ids.reset();
    LoadScope::release(uint64_t(count) * sizeof(uint32_t));
    m_count = static_cast<int32_t>(count);
    m_offsets = std::move(offsets);
    m_tags = std::move(tags);
    m_data = std::move(data);
    m_dataSize = n;
    return 1;
}

uint64_t EntryTable::heldBytes() const
{
    const uint64_t words = m_count == 0 ? 0 : uint64_t(m_count) + 1 + (m_tags ? m_count : 0);
    return m_dataSize + words * sizeof(uint32_t) + m_firstEntries.heldBytes();
}

int32_t EntryTable::indexOf(uint32_t id) const
{
    const int32_t* first = m_firstEntries.find(id & kEntryIdMask);
    return first ? *first : -1;
}

uint32_t EntryTable::tagAt(int32_t i) const
{
    return i < 0 || i >= m_count || !m_tags ? 0 : m_tags[i];
}

uint32_t EntryTable::sizeAt(int32_t i) const
{
    return i < 0 || i >= m_count ? 0 : m_offsets[i + 1] - m_offsets[i];
}

int EntryTable::copyEntry(uint32_t id, void* destination, uint32_t capacity) const
{
    const int32_t i = indexOf(id);
    const uint32_t size = sizeAt(i);
    if (size == 0 || destination == nullptr || size > capacity)
        return 0;
    std::memcpy(destination, m_data.get() + m_offsets[i], size);
    return 1;
}

int EntryTable::openAt(int32_t i, MemoryInputStream& stream) const
{
    const uint32_t size = sizeAt(i);
    if (size == 0)
        return 0;
    return stream.open(m_data.get() + m_offsets[i], size);
}
