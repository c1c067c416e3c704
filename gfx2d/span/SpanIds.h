// Resource ids of the span-program sets and of the record entries each set
// loads, the record entries' tag, and the constants span programs share
// with the code that draws through them.
#pragma once

#include <cstdint>

inline constexpr uint32_t kSpanRecordTag = 0xF4E02223;  // pack type word of one span-program record
inline constexpr uint32_t kSpanSetMaxRecords = 30;
inline constexpr uint32_t kSpanSetRecordIdsPerSet = 5;
inline constexpr uint32_t kSpanSetCount = 3;

inline constexpr uint32_t kSpanSetOpaque = 0x030001CE;      // plain copies
inline constexpr uint32_t kSpanSetKeyed = 0x03000160;       // colour-keyed copies
inline constexpr uint32_t kSpanSetKeyedBlend = 0x030002B9;  // keyed copies blended with a constant alpha

struct SpanSetIds {
    uint32_t set;
    uint32_t records[kSpanSetRecordIdsPerSet];  // zero ids are skipped
};

// The first two record ids of each set are the library's own; the other
// three carry the destination and source formats those two do not cover.
inline constexpr SpanSetIds kSpanSets[kSpanSetCount] = {
    {kSpanSetOpaque, {0x03000159, 0x03000185, 0x03000600, 0x03000601, 0x03000606}},
    {kSpanSetKeyed, {0x030002AB, 0x03000227, 0x03000602, 0x03000603, 0x03000607}},
    {kSpanSetKeyedBlend, {0x03000141, 0x0300026C, 0x03000604, 0x03000605, 0x03000608}},
};

// Key words the drawing context asks for besides the two formats.
inline constexpr uint32_t kSpanKey3Image = 2;
inline constexpr uint32_t kSpanKey4Image = 0;
inline constexpr uint32_t kSpanKey5Image = 0xFFFFFFFF;  // -1: no depth
inline constexpr uint32_t kSpanKey6Image = 0;

// Record word indices of the key words.
inline constexpr uint32_t kSpanWordKey1 = 609;
inline constexpr uint32_t kSpanWordKey4 = 611;
inline constexpr uint32_t kSpanWordKey6 = 614;
inline constexpr uint32_t kSpanWordKey5 = 640;
inline constexpr uint32_t kSpanWordKey2 = 700;
inline constexpr uint32_t kSpanWordKey3 = 724;
inline constexpr uint32_t kSpanKeyWordBase = 609;  // getKeyWord(record, i) reads word 609 + i

inline constexpr uint32_t kSpanCodeBytes = 2432;
inline constexpr int32_t kSpanMaxInterpolants = 6;

// Image spans: interpolants 1 and 2 are u and v in texels (16.16); the
// blend spans take their alpha (0-255) from span constant 0 and keep their
// channel mask in CPU word 0.
inline constexpr uint32_t kSpanInterpolantU = 1;
inline constexpr uint32_t kSpanInterpolantV = 2;
inline constexpr uint32_t kSpanConstantAlpha = 0;
inline constexpr uint32_t kSpanColourKey = 0xFF00FF;
inline constexpr uint32_t kSpanColourKey565 = 0xF81F;  // of 5-6-5 pictures
