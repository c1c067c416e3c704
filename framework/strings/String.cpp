// Narrow string operations that have no wide twin.
#include "framework/strings/String.h"

#include <cstring>

#include "framework/streams/InputStream.h"

String String::concatText(const String& a, const char* text)
{
    return concat(a, String(text));
}

String String::concatTextFirst(const char* text, const String& b)
{
    return concat(String(text), b);
}

int32_t String::charAt(int32_t i) const
{
    if (i < 0 || static_cast<uint32_t>(i) >= m_length)
        return 0;
    return static_cast<signed char>(m_chars[i]);
}

int String::read(InputStream& stream, uint32_t tag)
{
    clear();
    const uint32_t n = stream.available();
    if (n == 0 || tag != kStringTypeId)
        return 0;
    // Read as the bytes arrive: a truncated stream fails having taken little.
    std::unique_ptr<char[]> block = readAnnounced<char>(stream, n, 1);
    if (!block)
        return 0;
    adoptUnits(std::move(block), n);
    return 1;
}

const char* findText(const char* text, const char* pattern)
{
    return std::strstr(text, pattern);
}
