// Name hashing.
#include "framework/strings/NameHash.h"

#include <cstring>
#include <memory>
#include <new>

#include "framework/strings/ModifiedUtf8.h"

namespace {
uint32_t mix(uint32_t h, const char* begin, const char* end)
{
    for (const char* p = begin; p != end; ++p) {
        const int32_t c = static_cast<signed char>(*p);
        h = ((h << 4) | (h >> 28)) ^ static_cast<uint32_t>(c);
    }
    return h;
}
} // namespace

uint32_t hashName(const char* text)
{
    if (!text)
        return 0;
    const size_t length = std::strlen(text);
    return mix(uint32_t(length), text, text + length);
}

uint32_t hashNameRange(const char* begin, const char* end, uint32_t seed)
{
    if (!begin || !end || end < begin)
        return seed;
    return mix(seed, begin, end);
}

uint32_t hashName(const char16_t* text)
{
    if (!text)
        return 0;
    size_t units = 0;
    while (text[units])
        ++units;
    char small[64];
    std::unique_ptr<char[]> large;
    char* narrow = small;
    if (units + 1 > sizeof small) {
        large.reset(new (std::nothrow) char[units + 1]);
        if (!large)
            return 0;
        narrow = large.get();
    }
    wideToNarrow(narrow, units + 1, text);
    return hashName(narrow);
}
