// Wide string operations: narrow-text forms, equality and reading UTF-16 or
// modified UTF-8 text from a stream.
#include "framework/strings/WideString.h"

#include <bit>
#include <cstring>
#include <memory>

#include "framework/streams/InputStream.h"
#include "framework/strings/ModifiedUtf8.h"

WideString WideString::fromNarrow(const char* text)
{
    WideString result;
    result.appendNarrow(text);
    return result;
}

void WideString::appendNarrow(const char* text)
{
    if (text == nullptr)
        return;
    size_t count = std::strlen(text);
    char16_t* tail = appendUnits(nullptr, static_cast<uint32_t>(count));
    narrowToWide(tail, count + 1, text);
}

WideString WideString::concatNarrow(const WideString& a, const char* text)
{
    return concat(a, fromNarrow(text));
}

WideString WideString::concatNarrowFirst(const char* text, const WideString& b)
{
    return concat(fromNarrow(text), b);
}

int WideString::equals(const char16_t* text) const
{
    static const char16_t empty[1] = {0};
    return wideTextEquals(m_chars != nullptr ? m_chars : empty, text != nullptr ? text : empty);
}

int WideString::read(InputStream& stream, uint32_t tag)
{
    clear();
    uint32_t n = stream.available();
    if (n == 0)
        return 0;
    if (tag == kWideStringTypeId) {
        uint32_t units = n / 2;
        char16_t* block = appendUnits(nullptr, units);
        stream.read(block, units * 2);
        if constexpr (std::endian::native == std::endian::big) {
            for (uint32_t i = 0; i < units; ++i)
                block[i] = static_cast<char16_t>((block[i] >> 8) | (block[i] << 8));
        }
        // An odd trailing byte still belongs to the stream's text.
        if (n & 1)
            stream.skip(1);
    } else if (tag == kUtf8TextTag) {
        std::unique_ptr<uint8_t[]> scratch(new uint8_t[n]);
        stream.read(scratch.get(), n);
        if (!stream.hasError()) {
            char16_t* block = appendUnits(nullptr, n);
            utf8ToUtf16(scratch.get(), n, block, n + 1);
            uint32_t units = 0;
            while (block[units] != 0)
                ++units;
            m_length = units;
        }
    } else {
        return 0;
    }
    // A truncated stream must not load as a whole text.
    if (stream.hasError()) {
        clear();
        return 0;
    }
    return 1;
}

int wideTextEquals(const char16_t* a, const char16_t* b)
{
    for (;; ++a, ++b) {
        if (*a != *b)
            return 0;
        if (*a == 0)
            return 1;
    }
}
