#include "tests/support/RunDryStream.h"

#include <zlib.h>

RunDryStream::RunDryStream(const std::vector<uint8_t>& payload, uint32_t announced)
{
    uLongf size = compressBound(payload.size());
    m_zlib.resize(size);
    compress(m_zlib.data(), &size, payload.data(), payload.size());
    m_zlib.resize(size);
    m_source.open(m_zlib.data(), static_cast<uint32_t>(size));
    open(&m_source, static_cast<uint32_t>(size), announced);
}
