// Whole-stream byte blocks.
#include "framework/resources/DataBlock.h"

#include "framework/streams/InputStream.h"

void DataBlock::clear()
{
    m_data.reset();
    m_size = 0;
    m_tag = 0;
}

void DataBlock::adopt(std::unique_ptr<uint8_t[]> data, uint32_t size, uint32_t tag)
{
    m_data = std::move(data);
    m_size = m_data ? size : 0;
    m_tag = tag;
}

int DataBlock::read(InputStream& stream, uint32_t tag)
{
    clear();
    const uint32_t n = stream.available();
    if (n == 0)
        return 0;
    std::unique_ptr<uint8_t[]> bytes = readAnnounced<uint8_t>(stream, n);
    if (!bytes)
        return 0;
    adopt(std::move(bytes), n, tag);
    return 1;
}
