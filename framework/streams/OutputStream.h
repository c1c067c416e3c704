// Abstract byte sink with typed writers mirroring InputStream's readers:
// little-endian, big-endian when the swap flag is set, sticky error flag.
#pragma once

#include <cstdint>

class OutputStream {
public:
    explicit OutputStream(uint8_t swapBytes = 0) : m_swapBytes(swapBytes) {}
    virtual ~OutputStream() = default;

    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // Returns the bytes written.
    virtual uint32_t write(const void* buffer, uint32_t n) = 0;

    uint32_t writeU8(uint8_t value) { return write(&value, 1); }
    uint32_t writeS8(int8_t value) { return writeU8(static_cast<uint8_t>(value)); }
    uint32_t writeU16(uint16_t value);
    uint32_t writeS16(int16_t value) { return writeU16(static_cast<uint16_t>(value)); }
    uint32_t writeU32(uint32_t value);
    uint32_t writeS32(int32_t value) { return writeU32(static_cast<uint32_t>(value)); }
    uint32_t writeU64(uint64_t value);
    uint32_t writeS64(int64_t value) { return writeU64(static_cast<uint64_t>(value)); }

    void swapIfNeeded(void* buffer, uint32_t n) const
    {
        if (m_swapBytes)
            reverseBytes(buffer, n);
    }
    static void reverseBytes(void* buffer, uint32_t n);

    uint8_t swapBytes() const { return m_swapBytes; }
    void setSwapBytes(uint8_t swapBytes) { m_swapBytes = swapBytes; }
    int hasError() const { return m_error; }

protected:
    uint8_t m_swapBytes = 0;
    uint8_t m_error = 0;
};
