// Abstract byte source with typed little-endian readers (big-endian when the
// swap flag is set). Errors are sticky: a short read or skip sets the flag and
// yields zeros, and callers test the flag once after a run of reads.
#pragma once

#include <cstdint>

class InputStream {
public:
    explicit InputStream(uint8_t swapBytes = 0) : m_swapBytes(swapBytes) {}
    virtual ~InputStream() = default;

    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // Bytes left; 0 after an error.
    virtual uint32_t available() = 0;
    virtual void skip(uint32_t n) = 0;
    // Copies n bytes; on failure sets the error flag and zero-fills all n.
    virtual void read(void* buffer, uint32_t n) = 0;

    uint8_t readU8();
    int8_t readS8() { return static_cast<int8_t>(readU8()); }
    uint16_t readU16();
    int16_t readS16() { return static_cast<int16_t>(readU16()); }
    uint32_t readU32();
    int32_t readS32() { return static_cast<int32_t>(readU32()); }
    uint64_t readU64();
    int64_t readS64() { return static_cast<int64_t>(readU64()); }

    void swapIfNeeded(void* buffer, uint32_t n) const
    {
        if (m_swapBytes)
            reverseBytes(buffer, n);
    }
    static void reverseBytes(void* buffer, uint32_t n);

    uint8_t swapBytes() const { return m_swapBytes; }
    void setSwapBytes(uint8_t swapBytes) { m_swapBytes = swapBytes; }
    int hasError() const { return m_error; }
    uint32_t size() const { return m_size; }

protected:
    uint8_t m_swapBytes = 0;
    uint8_t m_error = 0;
    uint32_t m_size = 0;  // bytes the stream covers; meaning per class
};
