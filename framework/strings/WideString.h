// Wide (UTF-16) string: the text type of every game and interface member.
// Adds the narrow-text forms and equality tests to the shared operations.
#pragma once

#include <cstdint>

#include "framework/strings/BasicString.h"
#include "framework/strings/StringIds.h"

class InputStream;

class WideString : public BasicString<WideString, char16_t, kWideStringTypeId> {
public:
    using BasicString::BasicString;

    static WideString fromNarrow(const char* text);

    // Appends a narrow text, at most its first `most` bytes, each widened to
    // one unit.
    void appendNarrow(const char* text, size_t most = SIZE_MAX);

    static WideString concatNarrow(const WideString& a, const char* text);
    static WideString concatNarrowFirst(const char* text, const WideString& b);

    // Unit-by-unit comparison up to and including the terminator; a string
    // with null chars compares as the empty text.
    int equals(const char16_t* text) const;
    int differs(const char16_t* text) const { return !equals(text); }

    // Replaces the text with the rest of the stream: tag kWideStringTypeId
    // reads little-endian UTF-16, kUtf8TextTag decodes modified UTF-8.
    // 1 on success; 0 (and an empty string) otherwise.
    int read(InputStream& stream, uint32_t tag);
};

// 1 when two UTF-16 texts are equal up to and including the terminator.
int wideTextEquals(const char16_t* a, const char16_t* b);
