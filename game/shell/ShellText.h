// Texts the shell and the pages build: the version and build banner, texts
// by resource id, property values as wide text, and the scanners of the
// configuration readers. printf-style formatting is framework/util/Format.h.
#pragma once

#include <cstdint>

class WideString;

constexpr char kVersionKey[] = "KOR_VERSION";

// The "KOR_VERSION" property, else "0.0.0".
void buildVersionString(WideString& out);
void buildBanner(WideString& out);

// The text of the id, or empty when the pack has none.
void loadTextById(WideString& out, uint32_t id);
// The text of the id appended to what out holds.
void loadTextResource(WideString& out, uint32_t id);

// The value with each backslash-n as a line break, at most length - 1 units
// and always terminated; 0 when the key is absent (or no room at all).
int getPropertyWide(const char* key, char16_t* buffer, uint32_t length);

// Configuration text scanners, bounded by end.
bool isConfigBlank(char c);
bool isConfigTokenChar(char c);
const char* skipBlanks(const char* p, const char* end);
const char* tokenEnd(const char* p, const char* end);
