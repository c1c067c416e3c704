// The one template behind String (bytes) and WideString (UTF-16 units).
// A string owns one exactly sized, NUL-terminated block and replaces it on
// every change; a string that never held text has null chars.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "framework/services/HashedObject.h"

template <typename Derived, typename Unit, uint32_t TypeId>
class BasicString : public HashedObject {
public:
    BasicString() : HashedObject(TypeId) {}
    explicit BasicString(const Unit* text) : BasicString() { append(text); }
    BasicString(const BasicString& other) : BasicString() { append(other.m_chars); }
    BasicString(BasicString&& other) noexcept : BasicString() { swap(other); }
    BasicString& operator=(const BasicString& other)
    {
        if (this != &other) {
            BasicString copy(other);
            swap(copy);
        }
        return *this;
    }
    BasicString& operator=(BasicString&& other) noexcept
    {
        swap(other);
        return *this;
    }
    ~BasicString() override
    {
        delete[] m_chars;
        m_chars = nullptr;
        m_length = 0;
    }

    const Unit* chars() const { return m_chars; }
    uint32_t length() const { return m_length; }

    void clear()
    {
        delete[] m_chars;
        m_chars = nullptr;
        m_length = 0;
    }

    // An empty text still reallocates, so appending "" turns null chars into
    // an allocated empty text.
    void append(const Unit* text)
    {
        if (text == nullptr)
            return;
        appendUnits(text, unitLength(text));
    }

    void assign(const Unit* text)
    {
        if (text == m_chars && text != nullptr)
            return;
        clear();
        append(text);
    }
    void assign(const Derived& other) { assign(other.m_chars); }

    // a + b; when one side is null or empty the result is a copy of the other.
    static Derived concat(const Derived& a, const Derived& b)
    {
        Derived result;
        result.append(a.m_chars);
        if (b.m_length != 0 || result.m_chars == nullptr)
            result.append(b.m_chars);
        return result;
    }

    // Index of the first occurrence of pattern at or after start, or -1.
    int32_t find(const Unit* pattern, int32_t start) const
    {
        if (start < 0)
            start = 0;
        uint32_t patternLength = pattern != nullptr ? unitLength(pattern) : 0;
        if (patternLength == 0)
            return static_cast<uint32_t>(start) <= m_length ? start : -1;
        if (m_length < patternLength)
            return -1;
        uint32_t last = m_length - patternLength;
        for (uint32_t i = static_cast<uint32_t>(start); i <= last; ++i) {
            if (m_chars[i] == pattern[0]
                && std::memcmp(m_chars + i, pattern, patternLength * sizeof(Unit)) == 0)
                return static_cast<int32_t>(i);
        }
        return -1;
    }

    // Index of the n-th occurrence of c (counting from 1); n == 0 asks for the last.
    int32_t findChar(uint32_t n, Unit c) const
    {
        if (n == 0) {
            for (uint32_t i = m_length; i > 0; --i)
                if (m_chars[i - 1] == c)
                    return static_cast<int32_t>(i - 1);
            return -1;
        }
        for (uint32_t i = 0; i < m_length; ++i)
            if (m_chars[i] == c && --n == 0)
                return static_cast<int32_t>(i);
        return -1;
    }

    // First index at or after start whose unit differs from c, or -1.
    int32_t skipChar(int32_t start, Unit c) const
    {
        if (start < 0)
            start = 0;
        for (uint32_t i = static_cast<uint32_t>(start); i < m_length; ++i)
            if (m_chars[i] != c)
                return static_cast<int32_t>(i);
        return -1;
    }

    // Inclusive bounds that may run either way: substring(3, 1) of "abcdef"
    // is "dcb". Reaching the terminator ends the copy, so the work is bounded
    // by the text's length whatever the bounds are.
    Derived substring(int32_t a, int32_t b) const
    {
        Derived result;
        if (a < 0)
            a = 0;
        if (b < 0)
            b = 0;
        uint32_t from = static_cast<uint32_t>(a);
        uint32_t to = static_cast<uint32_t>(b);
        if (m_length == 0 || from >= m_length) {
            result.appendUnits(nullptr, 0);
            return result;
        }
        if (to >= from) {
            uint32_t end = to < m_length - 1 ? to : m_length - 1;
            result.appendUnits(m_chars + from, end - from + 1);
        } else {
            uint32_t count = from - to + 1;
            Unit* block = result.appendUnits(nullptr, count);
            for (uint32_t i = 0; i < count; ++i)
                block[i] = m_chars[from - i];
        }
        return result;
    }

    // Without leading and trailing blank, TAB, LF, FF and CR (not VT).
    Derived trim() const
    {
        uint32_t first = 0;
        while (first < m_length && isBlank(m_chars[first]))
            ++first;
        if (first == m_length) {
            Derived result;
            result.appendUnits(nullptr, 0);
            return result;
        }
        uint32_t last = m_length - 1;
        while (isBlank(m_chars[last]))
            --last;
        return substring(static_cast<int32_t>(first), static_cast<int32_t>(last));
    }

protected:
    static uint32_t unitLength(const Unit* text)
    {
        const Unit* end = text;
        while (*end != 0)
            ++end;
        return static_cast<uint32_t>(end - text);
    }

    static bool isBlank(Unit c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D; }

    // Replaces the block by one of length + count units holding the old text
    // and then the given units, which may lie inside the old block. The sum
    // is taken in 64 bits: a text past the 32-bit length, or one the host
    // cannot address, is a failed allocation.
    Unit* appendUnits(const Unit* units, uint64_t count)
    {
        const uint64_t length = m_length + count;
        if (length > UINT32_MAX || length + 1 > SIZE_MAX / sizeof(Unit))
            throw std::bad_alloc();
        Unit* block = new Unit[length + 1];
        if (m_length != 0)
            std::memcpy(block, m_chars, m_length * sizeof(Unit));
        if (units != nullptr && count != 0)
            std::memcpy(block + m_length, units, count * sizeof(Unit));
        block[length] = 0;
        delete[] m_chars;
        m_chars = block;
        Unit* tail = block + m_length;
        m_length = static_cast<uint32_t>(length);
        return tail;
    }

    // Takes a block of length + 1 units, the last of them the terminator.
    void adoptUnits(std::unique_ptr<Unit[]> block, uint32_t length)
    {
        delete[] m_chars;
        m_chars = block.release();
        m_length = length;
    }

    void swap(BasicString& other) noexcept
    {
        Unit* chars = m_chars;
        uint32_t length = m_length;
        m_chars = other.m_chars;
        m_length = other.m_length;
        other.m_chars = chars;
        other.m_length = length;
    }

    Unit* m_chars = nullptr;
    uint32_t m_length = 0;
};
