// Id lists.
#include "framework/resources/IdList.h"

#include <cstring>

#include "framework/streams/InputStream.h"

void IdList::clear()
{
    m_count = 0;
    m_values.reset();
}

int IdList::read(InputStream& stream)
{
    clear();
    uint32_t count = stream.readU16();
    if (stream.hasError())
        return 0;
    if (count == 0)
        return 1;
    // The count comes from the file: it must fit in what the stream holds,
    // and the ids are taken as they arrive, since a deflated entry only
    // announces its size.
    if (stream.available() / 4 < count)
        return 0;
    std::unique_ptr<uint32_t[]> values = readAnnounced<uint32_t>(stream, count);
    if (!values)
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t bytes[4];
        std::memcpy(bytes, &values[i], 4);
        stream.swapIfNeeded(bytes, 4);
        values[i] = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    }
    m_values = std::move(values);
    m_count = count;
    return 1;
}
