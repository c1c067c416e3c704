// Memory input stream.
#include "framework/streams/MemoryInputStream.h"

#include <cstring>

#include "framework/strings/ModifiedUtf8.h"

int MemoryInputStream::open(const void* data, uint32_t size)
{
    m_error = 1;
    reset();
    if (data == nullptr && size != 0)
        return 0;
    m_data = static_cast<const uint8_t*>(data);
    m_size = size;
    m_error = 0;
    return 1;
}

void MemoryInputStream::reset()
{
    m_size = 0;
    m_data = nullptr;
    m_position = 0;
}

uint32_t MemoryInputStream::available()
{
    if (m_data == nullptr || m_error)
        return 0;
    return m_size - m_position;
}

void MemoryInputStream::skip(uint32_t n)
{
    if (n == 0)
        return;
    if (available() >= n)
        m_position += n;
    else
        m_error = 1;
}

void MemoryInputStream::read(void* buffer, uint32_t n)
{
    if (buffer == nullptr || n == 0)
        return;
    if (available() >= n) {
        std::memcpy(buffer, m_data + m_position, n);
        m_position += n;
    } else {
        m_error = 1;
    }
    if (m_error)
        std::memset(buffer, 0, n);
}

uint32_t MemoryInputStream::readUtf8(uint32_t n, char16_t* out, uint32_t capacity)
{
    if (out == nullptr || capacity == 0)
        return 0;
    out[0] = 0;
    if (available() < n) {
        m_error = 1;
        return 0;
    }
    uint32_t units = utf8ToUtf16(m_data + m_position, n, out, capacity);
    m_position += n;
    return units;
}

uint32_t MemoryInputStream::readUtf8WithLength(char16_t* out, uint32_t capacity)
{
    uint8_t swap = m_swapBytes;
    m_swapBytes = 1;
    uint32_t n = readU16();
    m_swapBytes = swap;
    return readUtf8(n, out, capacity);
}
