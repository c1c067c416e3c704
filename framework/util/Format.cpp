// One formatting engine, instantiated for byte text and for UTF-16 text. Output
// goes through a bounded sink: padding and digits past the end are dropped, so a
// huge width costs nothing and never runs past the caller's buffer.
#include "framework/util/Format.h"

#include <climits>

namespace {

const char kLowerDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
const char kUpperDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Widths and precisions beyond this are clipped; no buffer is that large and
// the arithmetic on them must not overflow.
constexpr int kMaxField = 1 << 24;

template <class Ch>
struct Sink {
    Ch* p;
    Ch* end; // one past the last unit that may be written

    void put(Ch c)
    {
        if (p < end)
            *p++ = c;
    }

    void fill(Ch c, int count)
    {
        while (count-- > 0 && p < end)
            *p++ = c;
    }
};

template <class Ch>
bool number(Sink<Ch>& out, uint64_t value, int base, int width, int precision, uint32_t flags)
{
    const char* digitSet = (flags & kFormatUpper) ? kUpperDigits : kLowerDigits;
    if (base < 2 || base > 36)
        return false;
    if (flags & kFormatLeft)
        flags &= ~kFormatZeroPad;
    const Ch pad = (flags & kFormatZeroPad) ? Ch('0') : Ch(' ');

    Ch sign = 0;
    if (flags & kFormatSigned) {
        if (static_cast<int64_t>(value) < 0) {
            sign = Ch('-');
            value = 0 - value;
        } else if (flags & kFormatPlus) {
            sign = Ch('+');
        } else if (flags & kFormatSpace) {
            sign = Ch(' ');
        }
        if (sign)
            --width;
    }
    if (flags & kFormatAlternate) {
        if (base == 16)
            width -= 2;
        else if (base == 8)
            --width;
    }

    char digits[64];
    int count = 0;
    if (value == 0) {
        digits[count++] = '0';
    } else {
        const uint64_t b = static_cast<uint64_t>(base);
        while (value != 0) {
            digits[count++] = digitSet[value % b];
            value /= b;
        }
    }

    if (precision < count)
        precision = count;
    width -= precision;

    if (!(flags & (kFormatLeft | kFormatZeroPad))) {
        out.fill(Ch(' '), width);
        width = 0;
    }
    if (sign)
        out.put(sign);
    if (flags & kFormatAlternate) {
        if (base == 8) {
            out.put(Ch('0'));
        } else if (base == 16) {
            out.put(Ch('0'));
            out.put((flags & kFormatUpper) ? Ch('X') : Ch('x'));
        }
    }
    if (!(flags & kFormatLeft)) {
        out.fill(pad, width);
        width = 0;
    }
    out.fill(Ch('0'), precision - count);
    while (count > 0)
        out.put(Ch(digits[--count]));
    out.fill(Ch(' '), width);
    return true;
}

template <class Ch>
int parseField(const Ch*& f)
{
    int v = 0;
    while (*f >= Ch('0') && *f <= Ch('9')) {
        if (v < kMaxField)
            v = v * 10 + (*f - Ch('0'));
        ++f;
    }
    return v < kMaxField ? v : kMaxField;
}

int clipField(int v)
{
    return v < kMaxField ? v : kMaxField;
}

template <class Ch>
size_t boundedLength(const Ch* s, int max)
{
    size_t n = 0;
    const size_t limit = max < 0 ? SIZE_MAX : static_cast<size_t>(max);
    while (n < limit && s[n] != 0)
        ++n;
    return n;
}

template <class Ch>
int vformat(Ch* buffer, size_t capacity, const Ch* f, va_list args, const Ch* nullText)
{
    if (buffer == nullptr || capacity == 0)
        return 0;
    Sink<Ch> out{buffer, buffer + (capacity - 1)};
    if (f == nullptr) {
        *out.p = 0;
        return 0;
    }

    for (; *f; ++f) {
        if (*f != Ch('%')) {
            out.put(*f);
            continue;
        }

        uint32_t flags = 0;
        for (;;) {
            const Ch c = *++f;
            if (c == Ch('-'))
                flags |= kFormatLeft;
            else if (c == Ch('+'))
                flags |= kFormatPlus;
            else if (c == Ch(' '))
                flags |= kFormatSpace;
            else if (c == Ch('#'))
                flags |= kFormatAlternate;
            else if (c == Ch('0'))
                flags |= kFormatZeroPad;
            else
                break;
        }

        int width = -1;
        if (*f >= Ch('0') && *f <= Ch('9')) {
            width = parseField(f);
        } else if (*f == Ch('*')) {
            ++f;
            const int w = va_arg(args, int);
            if (w < 0) {
                flags |= kFormatLeft;
                width = w == INT_MIN ? kMaxField : clipField(-w);
            } else {
                width = clipField(w);
            }
        }

        int precision = -1;
        if (*f == Ch('.')) {
            ++f;
            if (*f >= Ch('0') && *f <= Ch('9'))
                precision = parseField(f);
            else if (*f == Ch('*')) {
                ++f;
                precision = clipField(va_arg(args, int));
            } else {
                precision = 0;
            }
            if (precision < 0)
                precision = 0;
        }

        while (*f == Ch('h') || *f == Ch('l') || *f == Ch('L'))
            ++f;

        int base = 10;
        switch (*f) {
        case Ch('c'): {
            const Ch c = static_cast<Ch>(va_arg(args, int));
            if (!(flags & kFormatLeft))
                out.fill(Ch(' '), width - 1);
            out.put(c);
            if (flags & kFormatLeft)
                out.fill(Ch(' '), width - 1);
            continue;
        }
        case Ch('s'):
        case Ch('U'): {
            const Ch* s = va_arg(args, const Ch*);
            if (s == nullptr)
                s = nullText;
            const size_t len = boundedLength(s, precision);
            const int padding = width - static_cast<int>(len < size_t(kMaxField) ? len : kMaxField);
            if (!(flags & kFormatLeft))
                out.fill(Ch(' '), padding);
            for (size_t i = 0; i < len && out.p < out.end; ++i)
                out.put(s[i]);
            if (flags & kFormatLeft)
                out.fill(Ch(' '), padding);
            continue;
        }
        case Ch('p'):
            if (width == -1) {
                width = 8;
                flags |= kFormatZeroPad;
            }
            number(out, reinterpret_cast<uintptr_t>(va_arg(args, void*)), 16, width, precision,
                   flags);
            continue;
        case Ch('n'): {
            int* written = va_arg(args, int*);
            if (written != nullptr)
                *written = static_cast<int>(out.p - buffer);
            continue;
        }
        case Ch('%'):
            out.put(Ch('%'));
            continue;
        case Ch('o'):
            base = 8;
            break;
        case Ch('X'):
            flags |= kFormatUpper;
            [[fallthrough]];
        case Ch('x'):
            base = 16;
            break;
        case Ch('d'):
        case Ch('i'):
            flags |= kFormatSigned;
            break;
        case Ch('u'):
            break;
        default:
            out.put(Ch('%'));
            if (*f == 0)
                --f; // a lone '%' ends the format
            else
                out.put(*f);
            continue;
        }

        const uint32_t raw = va_arg(args, uint32_t);
        const uint64_t value = (flags & kFormatSigned)
                                   ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(raw)))
                                   : raw;
        number(out, value, base, width, precision, flags);
    }
    *out.p = 0;
    return static_cast<int>(out.p - buffer);
}

template <class Ch>
Ch* formatNumberInto(Ch* out, Ch* end, uint32_t value, int base, int width, int precision,
                     uint32_t flags)
{
    if (out == nullptr || end < out)
        return nullptr;
    Sink<Ch> sink{out, end};
    const uint64_t v = (flags & kFormatSigned)
                           ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)))
                           : value;
    if (!number(sink, v, base, clipField(width), clipField(precision), flags))
        return nullptr;
    return sink.p;
}

const char16_t kWideNull[] = u"NULL";

} // namespace

int vformatNarrow(char* buffer, size_t capacity, const char* format, va_list args)
{
    return vformat(buffer, capacity, format, args, "<NULL>");
}

int vformatWide(char16_t* buffer, size_t capacity, const char16_t* format, va_list args)
{
    return vformat(buffer, capacity, format, args, kWideNull);
}

int formatNarrow(char* buffer, size_t capacity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = vformatNarrow(buffer, capacity, format, args);
    va_end(args);
    return n;
}

int formatWide(char16_t* buffer, size_t capacity, const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = vformatWide(buffer, capacity, format, args);
    va_end(args);
    return n;
}

char* formatNumber(char* out, char* end, uint32_t value, int base, int width, int precision,
                   uint32_t flags)
{
    return formatNumberInto(out, end, value, base, width, precision, flags);
}

char16_t* formatNumber(char16_t* out, char16_t* end, uint32_t value, int base, int width,
                       int precision, uint32_t flags)
{
    return formatNumberInto(out, end, value, base, width, precision, flags);
}
