// Output stream into a buffer the caller owns; also writes modified UTF-8
// texts, alone or behind their big-endian u16 byte count.
#pragma once

#include <cstdint>

#include "framework/streams/OutputStream.h"

class MemoryOutputStream : public OutputStream {
public:
    explicit MemoryOutputStream(uint8_t swapBytes = 0) : OutputStream(swapBytes) {}

    int open(void* data, uint32_t capacity);
    void reset();

    // Stores what fits; the error flag when not all of it did.
    uint32_t write(const void* buffer, uint32_t n) override;

    // Encodes the terminated text into at most min(n, room) bytes, whole
    // units only; the error flag when the text was cut. Returns the bytes written.
    uint32_t writeUtf8(uint32_t n, const char16_t* text);
    // The byte count of the first n units (as big-endian u16) and then those
    // bytes; the count always equals the bytes that follow it. The error flag
    // when the text was cut to the room.
    uint32_t writeUtf8WithLength(const char16_t* text, uint32_t n);

    uint8_t* data() const { return m_data; }
    uint32_t capacity() const { return m_capacity; }
    uint32_t position() const { return m_position; }

private:
    uint32_t clipToRoom(uint32_t n);
    uint32_t encodeWholeUnits(const char16_t* units, uint32_t count, uint32_t room);

    uint32_t m_capacity = 0;
    uint8_t* m_data = nullptr;
    uint32_t m_position = 0;
};
