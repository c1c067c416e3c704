// Input stream over a block of memory the caller owns; also reads the
// modified UTF-8 texts that resources store.
#pragma once

#include <cstdint>

#include "framework/streams/InputStream.h"

class MemoryInputStream : public InputStream {
public:
    explicit MemoryInputStream(uint8_t swapBytes = 0) : InputStream(swapBytes) {}

    // Null data with a non-zero size fails; null data with size 0 is an empty stream.
    int open(const void* data, uint32_t size);
    void reset();

    uint32_t available() override;
    void skip(uint32_t n) override;
    void read(void* buffer, uint32_t n) override;

    // Decodes the next n bytes into out (at most capacity units, terminated)
    // and returns the units; 0 and the error flag when n bytes are not there.
    uint32_t readUtf8(uint32_t n, char16_t* out, uint32_t capacity);
    // The same after a big-endian u16 byte count, whatever the swap flag.
    uint32_t readUtf8WithLength(char16_t* out, uint32_t capacity);

    const uint8_t* data() const { return m_data; }
    uint32_t position() const { return m_position; }

private:
    const uint8_t* m_data = nullptr;
    uint32_t m_position = 0;
};
