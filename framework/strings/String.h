// Narrow (byte) string: the text type of the properties store and the
// network code. Shares every operation with WideString through BasicString.
#pragma once

#include <cstdint>

#include "framework/strings/BasicString.h"
#include "framework/strings/StringIds.h"

class InputStream;

class String : public BasicString<String, char, kStringTypeId> {
public:
    using BasicString::BasicString;

    void appendString(const String& other) { append(other.chars()); }

    static String concatText(const String& a, const char* text);
    static String concatTextFirst(const char* text, const String& b);

    // The byte at index i, sign-extended; 0 outside the text.
    int32_t charAt(int32_t i) const;

    // Replaces the text with the rest of the stream; tag must be kStringTypeId.
    // 1 on success; 0 (and an empty string) on an empty or failed stream.
    int read(InputStream& stream, uint32_t tag);
};

// strstr of two narrow texts.
const char* findText(const char* text, const char* pattern);
