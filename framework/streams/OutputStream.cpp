// Typed writers shared by every output stream.
#include "framework/streams/OutputStream.h"

#include "framework/streams/InputStream.h"

namespace {

template <typename T>
uint32_t writeValue(OutputStream& stream, T value)
{
    uint8_t bytes[sizeof(T)];
    for (unsigned i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    stream.swapIfNeeded(bytes, sizeof(T));
    return stream.write(bytes, sizeof(T));
}

} // namespace

uint32_t OutputStream::writeU16(uint16_t value) { return writeValue(*this, value); }
uint32_t OutputStream::writeU32(uint32_t value) { return writeValue(*this, value); }
uint32_t OutputStream::writeU64(uint64_t value) { return writeValue(*this, value); }

void OutputStream::reverseBytes(void* buffer, uint32_t n)
{
    InputStream::reverseBytes(buffer, n);
}
