// Id lists.
#include "framework/resources/IdList.h"

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
    for (uint32_t i = 0; i < count; ++i)
        values[i] = stream.decode<uint32_t>(reinterpret_cast<uint8_t*>(&values[i]));
    m_values = std::move(values);
    m_count = count;
    return 1;
}
