// Digit parsing and small text helpers.
#include "framework/util/NumberParse.h"

namespace {

template <class Ch>
uint32_t parseDecimalText(const Ch** text)
{
    if (text == nullptr || *text == nullptr)
        return 0;
    const Ch* p = *text;
    uint32_t v = 0;
    while (*p >= Ch('0') && *p <= Ch('9'))
        v = v * 10u + static_cast<uint32_t>(*p++ - Ch('0'));
    *text = p;
    return v;
}

template <class Ch>
size_t boundedLength(const Ch* text, size_t max)
{
    if (text == nullptr)
        return 0;
    size_t n = 0;
    while (n < max && text[n] != 0)
        ++n;
    return n;
}

} // namespace

int isDigit(int c)
{
    return c >= '0' && c <= '9';
}

int isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

uint32_t parseDecimal(const char** text)
{
    return parseDecimalText(text);
}

uint32_t parseDecimal(const char16_t** text)
{
    return parseDecimalText(text);
}

size_t strnlenNarrow(const char* text, size_t max)
{
    return boundedLength(text, max);
}

size_t strnlenWide(const char16_t* text, size_t max)
{
    return boundedLength(text, max);
}

uint32_t divideInPlace(uint32_t* value, const uint32_t* divisor)
{
    if (*divisor == 0) {
        *value = UINT32_MAX;
        return 0;
    }
    const uint32_t remainder = *value % *divisor;
    *value /= *divisor;
    return remainder;
}

uint32_t parseHex(const char* text, const char** stop)
{
    uint32_t v = 0;
    const char* p = text;
    if (p != nullptr) {
        for (;; ++p) {
            const char c = *p;
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
            else
                break;
            v = (v << 4) | digit;
        }
    }
    if (stop != nullptr)
        *stop = p;
    return v;
}
