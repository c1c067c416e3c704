// Texts the shell and the pages build: the version and build banner, texts
// by resource id, property values as wide text, and the scanners of the
// configuration readers. printf-style formatting is framework/util/Format.h.
#pragma once

#include <cstdint>

class WideString;

constexpr char kVersionKey[] = "KOR_VERSION";

// The "KOR_VERSION" property (its first kMaxPackTextLength characters, as a
// text of the pack is cut), else "0.0.0".
void buildVersionString(WideString& out);
void buildBanner(WideString& out);

// The most characters of a pack's text the game takes: a laid-out line
// indexes its text in 16 bits, and the copies pages, menus and the pause
// keep stay as small as the game's own code makes them.
constexpr uint32_t kMaxPackTextLength = 0xFFFF;

// The text of the id, or empty when the pack has none; its first
// kMaxPackTextLength characters.
void loadTextById(WideString& out, uint32_t id);
// The text of the id, cut as loadTextById cuts it, appended to what out holds.
void loadTextResource(WideString& out, uint32_t id);

// The value with each backslash-n as a line break, at most length - 1 units
// and always terminated; 0 when the key is absent (or no room at all).
int getPropertyWide(const char* key, char16_t* buffer, uint32_t length);

// A text of the pack used as a printf format with up to four integers. It
// is used only when each conversion is an integer one (c d i o u x X, flags,
// width and precision as digits) or "%%", at most count of them; otherwise
// the text stands as it is, since a pack cannot be trusted to match.
void formatPackText(WideString& out, const char16_t* format, uint32_t count, const int32_t* args);

// Configuration text scanners, bounded by end.
bool isConfigBlank(char c);
bool isConfigTokenChar(char c);
const char* skipBlanks(const char* p, const char* end);
const char* tokenEnd(const char* p, const char* end);
