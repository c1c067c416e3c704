// Word indices of a stored span-program record that the raster state's
// binding reads. A record is 740 little-endian words; its code starts at
// byte 4.
#pragma once

#include <cstdint>

#include "gfx2d/raster/UnalignedAccess.h"

inline constexpr uint32_t kSpanRecordBytes = 2960;
inline constexpr uint32_t kSpanRecordCodeOffset = 4;
inline constexpr uint32_t kSpanWordBinding = 637;  // copied to the raster state, read by no one
inline constexpr uint32_t kSpanWordPerspectiveMask = 638;
inline constexpr uint32_t kSpanWordDepthSource = 640;
inline constexpr uint32_t kSpanWordDepthInterpolant = 641;
inline constexpr uint32_t kSpanWordInterpolantCount = 646;
inline constexpr uint32_t kSpanWordExtraPrestep = 647;  // edge values the triangle driver pre-steps beyond the interpolants
inline constexpr uint32_t kSpanWordDriverKind = 651;
inline constexpr int32_t kSpanInterpolantBase = 128;  // depth interpolants are stored offset by this

inline int32_t spanRecordWord(const uint8_t* record, uint32_t i)
{
    return loadUnaligned<int32_t>(record + 4 * i);
}
inline int32_t spanRecordInterpolantCount(const uint8_t* record)
{
    return spanRecordWord(record, kSpanWordInterpolantCount);
}
inline int32_t spanRecordExtraPrestep(const uint8_t* record) { return spanRecordWord(record, kSpanWordExtraPrestep); }
// -1 when the program interpolates no depth.
inline int32_t spanRecordDepthInterpolant(const uint8_t* record)
{
    return spanRecordWord(record, kSpanWordDepthSource) < 0
               ? -1
               : static_cast<int32_t>(static_cast<uint32_t>(spanRecordWord(record, kSpanWordDepthInterpolant)) -
                                      static_cast<uint32_t>(kSpanInterpolantBase));
}
