// Memory output stream.
#include "framework/streams/MemoryOutputStream.h"

#include <cstring>

#include "framework/strings/ModifiedUtf8.h"

namespace {

uint32_t unitSize(char16_t unit)
{
    return utf8SizeOfUtf16(&unit, 1);
}

// Units of the text before its terminator.
uint32_t textLength(const char16_t* text)
{
    uint32_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// How many units from the start of units encode within room bytes, whole;
// bytes receives the size of their encoding.
uint32_t wholeUnitsWithin(const char16_t* units, uint32_t count, uint32_t room, uint32_t& bytes)
{
    bytes = 0;
    uint32_t fit = 0;
    while (fit < count && bytes + unitSize(units[fit]) <= room)
        bytes += unitSize(units[fit++]);
    return fit;
}

} // namespace

int MemoryOutputStream::open(void* data, uint32_t capacity)
{
    m_error = 1;
    reset();
    if (data == nullptr && capacity != 0)
        return 0;
    m_data = static_cast<uint8_t*>(data);
    m_capacity = capacity;
    m_error = 0;
    return 1;
}

void MemoryOutputStream::reset()
{
    m_capacity = 0;
    m_data = nullptr;
    m_position = 0;
}

uint32_t MemoryOutputStream::write(const void* buffer, uint32_t n)
{
    if (buffer == nullptr || n == 0)
        return 0;
    if (m_data == nullptr) {
        m_error = 1;
        return 0;
    }
    n = clipToRoom(n);
    std::memcpy(m_data + m_position, buffer, n);
    m_position += n;
    return n;
}

// A request past the end is cut to what is left, and flags the error.
uint32_t MemoryOutputStream::clipToRoom(uint32_t n)
{
    const uint32_t room = m_capacity - m_position;
    if (n <= room)
        return n;
    m_error = 1;
    return room;
}

// Encodes the longest prefix of whole units that fits in room bytes at the
// position and returns its size; the position is not moved.
uint32_t MemoryOutputStream::encodeWholeUnits(const char16_t* units, uint32_t count, uint32_t room)
{
    uint32_t bytes = 0;
    const uint32_t fit = wholeUnitsWithin(units, count, room, bytes);
    if (fit != 0) {
        // The encoder stops three bytes short of its capacity; handing it the
        // exact size plus three makes it write exactly these units.
        utf16ToUtf8(units, fit, m_data + m_position, bytes + 3);
    }
    if (fit < count)
        m_error = 1;
    return bytes;
}

uint32_t MemoryOutputStream::writeUtf8(uint32_t n, const char16_t* text)
{
    if (text == nullptr || m_data == nullptr) {
        m_error = 1;
        return 0;
    }
    uint32_t bytes = encodeWholeUnits(text, textLength(text), clipToRoom(n));
    m_position += bytes;
    return bytes;
}

uint32_t MemoryOutputStream::writeUtf8WithLength(const char16_t* text, uint32_t n)
{
    if (m_data == nullptr || (text == nullptr && n != 0) || m_capacity - m_position < 2) {
        m_error = 1;
        return 0;
    }
    // The prefix is 16 bits, so the text is also cut to 65535 bytes.
    uint32_t room = m_capacity - m_position - 2;
    if (room > 0xFFFF)
        room = 0xFFFF;
    uint32_t bytes = 0;
    const uint32_t fit = wholeUnitsWithin(text, n, room, bytes);
    m_data[m_position] = static_cast<uint8_t>(bytes >> 8);
    m_data[m_position + 1] = static_cast<uint8_t>(bytes);
    m_position += 2;
    uint32_t written = encodeWholeUnits(text, fit, bytes);
    m_position += written;
    if (fit < n)
        m_error = 1;
    return written + 2;
}
