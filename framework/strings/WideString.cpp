// Wide string operations: narrow-text forms, equality and reading UTF-16 or
// modified UTF-8 text from a stream.
#include "framework/strings/WideString.h"

#include <bit>
#include <cstring>
#include <memory>

#include "framework/streams/InputStream.h"
#include "framework/strings/ModifiedUtf8.h"
#include "framework/util/LoadLedger.h"

WideString WideString::fromNarrow(const char* text)
{
    WideString result;
    result.appendNarrow(text);
    return result;
}

void WideString::appendNarrow(const char* text, size_t most)
{
    if (text == nullptr)
        return;
    size_t count = strnlen(text, most);
    char16_t* tail = appendUnits(nullptr, count);
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
    const uint32_t n = stream.available();
    if (n == 0 || (tag != kWideStringTypeId && tag != kUtf8TextTag))
        return 0;
    // What n announces is read as it arrives; the text is built only from
    // bytes that came, so a stream that ends early fails having taken little.
    std::unique_ptr<char16_t[]> block;
    uint32_t units = 0;
    if (tag == kWideStringTypeId) {
        units = n / 2;
        block = readAnnounced<char16_t>(stream, units, 1);
        if (block && std::endian::native == std::endian::big) {
            for (uint32_t i = 0; i < units; ++i)
                block[i] = static_cast<char16_t>((block[i] >> 8) | (block[i] << 8));
        }
        // An odd trailing byte still belongs to the stream's text.
        if (block && (n & 1))
            stream.skip(1);
    } else if (std::unique_ptr<uint8_t[]> bytes = readAnnounced<uint8_t>(stream, n)) {
        // The decoder counts in 32 bits: 2^32 - 1 bytes would lose their last unit.
        const uint32_t capacity = n < UINT32_MAX ? n + 1 : n;
        if (LoadScope::charge((uint64_t(n) + 1) * sizeof(char16_t)))
            block.reset(new (std::nothrow) char16_t[uint64_t(n) + 1]);
        if (block)
            utf8ToUtf16(bytes.get(), n, block.get(), capacity);
        while (block && block[units] != 0)
            ++units;
        // Only the text it decoded stays.
        LoadScope::release(n);
    }
    // A truncated stream must not load as a whole text.
    if (!block || stream.hasError())
        return 0;
    adoptUnits(std::move(block), units);
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
