// Typed readers shared by every input stream. Values are assembled from
// little-endian bytes, so the result does not depend on the host's order.
#include "framework/streams/InputStream.h"

#include <utility>

namespace {

template <typename T>
T readValue(InputStream& stream)
{
    uint8_t bytes[sizeof(T)];
    stream.read(bytes, sizeof(T));
    return stream.decode<T>(bytes);
}

} // namespace

uint8_t InputStream::readU8()
{
    uint8_t byte;
    read(&byte, 1);
    return byte;
}

uint16_t InputStream::readU16() { return readValue<uint16_t>(*this); }
uint32_t InputStream::readU32() { return readValue<uint32_t>(*this); }
uint64_t InputStream::readU64() { return readValue<uint64_t>(*this); }

void InputStream::reverseBytes(void* buffer, uint32_t n)
{
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0, j = n; i + 1 < j; ++i, --j)
        std::swap(bytes[i], bytes[j - 1]);
}
