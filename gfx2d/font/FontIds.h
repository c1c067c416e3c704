// Ids and codes of the text classes: type ids, the font file's layout and
// the character classes text layout breaks lines by.
#pragma once

#include <cstdint>

namespace FontTypeId {
constexpr uint32_t FontBase = 0x00170994;
constexpr uint32_t BitmapFont = 0x6EFF79D2;
constexpr uint32_t TextLayout = 0xF166A300;
} // namespace FontTypeId

namespace FontFile {
constexpr uint32_t HeaderSize = 12;
constexpr int8_t TextCodes = 2;  // codes stored as modified UTF-8 blocks before the records
constexpr uint32_t GlyphRecordSize = 12;
constexpr uint32_t GlyphRecordSizeTextCodes = 10;
constexpr uint32_t OverrideRecordSize = 4;
constexpr uint32_t OverrideRecordSizeTextCodes = 2;
// Header byte offsets.
constexpr uint32_t Format = 0;
constexpr uint32_t Height = 5;
constexpr uint32_t Spacing = 6;
constexpr uint32_t LineGap = 7;
constexpr uint32_t GlyphCount = 8;
constexpr uint32_t OverrideCount = 10;
} // namespace FontFile

namespace CharClass {
constexpr int Other = 0;
constexpr int Nul = 1;
constexpr int Space = 2;
constexpr int Tab = 3;
constexpr int Newline = 4;
} // namespace CharClass
