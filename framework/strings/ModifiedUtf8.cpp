// Modified UTF-8 and narrow text conversions.
#include "framework/strings/ModifiedUtf8.h"

namespace {
bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Decodes one unit at bytes[*pos]; false on a bad sequence.
bool decodeUnit(const uint8_t* bytes, uint32_t byteCount, uint32_t* pos, char16_t* unit)
{
    const uint32_t i = *pos;
    const uint8_t lead = bytes[i];
    if (lead < 0x80) {
        *unit = lead;
        *pos = i + 1;
        return true;
    }
    if (lead >= 0xC0 && lead <= 0xDF) {
        if (byteCount - i < 2 || !isContinuation(bytes[i + 1]))
            return false;
        *unit = char16_t(((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F));
        *pos = i + 2;
        return true;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (byteCount - i < 3 || !isContinuation(bytes[i + 1]) || !isContinuation(bytes[i + 2]))
            return false;
        *unit = char16_t(((lead & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F));
        *pos = i + 3;
        return true;
    }
    return false;
}

uint32_t unitSize(char16_t u)
{
    if (u >= 1 && u <= 0x7F)
        return 1;
    return u <= 0x7FF ? 2 : 3;
}
} // namespace

uint32_t utf8ToUtf16(const uint8_t* bytes, uint32_t byteCount, char16_t* out, uint32_t capacity)
{
    if (!bytes || !out || byteCount == 0 || capacity == 0)
        return 0;
    // The terminator needs the last slot, so no decoded unit is lost to it.
    uint32_t count = 0;
    uint32_t pos = 0;
    while (pos < byteCount && count < capacity - 1) {
        char16_t unit;
        if (!decodeUnit(bytes, byteCount, &pos, &unit)) {
            out[0] = 0;
            return count;
        }
        out[count++] = unit;
    }
    out[count] = 0;
    return count;
}

uint32_t utf16LengthOfUtf8(const uint8_t* bytes, uint32_t byteCount)
{
    if (!bytes || byteCount == 0)
        return 0;
    uint32_t count = 0;
    uint32_t pos = 0;
    while (pos < byteCount) {
        char16_t unit;
        if (!decodeUnit(bytes, byteCount, &pos, &unit))
            return 0;
        ++count;
    }
    return count;
}

uint32_t utf8SizeOfUtf16(const char16_t* units, uint32_t unitCount)
{
    if (!units)
        return 0;
    uint32_t size = 0;
    for (uint32_t i = 0; i < unitCount; ++i)
        size += unitSize(units[i]);
    return size;
}

uint32_t utf16ToUtf8(const char16_t* units, uint32_t unitCount, uint8_t* out, uint32_t capacity)
{
    if (!units || !out || unitCount == 0 || capacity < 3)
        return 0;
    uint32_t written = 0;
    for (uint32_t i = 0; i < unitCount && written < capacity - 3; ++i) {
        const char16_t u = units[i];
        switch (unitSize(u)) {
        case 1:
            out[written++] = uint8_t(u);
            break;
        case 2:
            out[written++] = uint8_t(0xC0 | (u >> 6));
            out[written++] = uint8_t(0x80 | (u & 0x3F));
            break;
        default:
            out[written++] = uint8_t(0xE0 | (u >> 12));
            out[written++] = uint8_t(0x80 | ((u >> 6) & 0x3F));
            out[written++] = uint8_t(0x80 | (u & 0x3F));
            break;
        }
    }
    return utf8SizeOfUtf16(units, unitCount);
}

uint32_t utf8SizeWithPrefix(const char16_t* units, uint32_t unitCount)
{
    return utf8SizeOfUtf16(units, unitCount) + 2;
}

size_t wideToNarrow(char* out, size_t n, const char16_t* in)
{
    if (!out || n == 0)
        return 0;
    size_t i = 0;
    if (in) {
        for (; i + 1 < n && in[i]; ++i)
            out[i] = in[i] <= 0xFF ? char(in[i]) : '?';
    }
    out[i] = 0;
    return i;
}

size_t narrowToWide(char16_t* out, size_t n, const char* in)
{
    if (!out || n == 0)
        return 0;
    size_t i = 0;
    if (in) {
        for (; i + 1 < n && in[i]; ++i)
            out[i] = char16_t(static_cast<unsigned char>(in[i]));
    }
    out[i] = 0;
    return i;
}
