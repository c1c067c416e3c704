// Float handling at the engine's edges: the validity check every float from
// outside passes, the exponential, conversions between floats and 16.16, the
// rounding built on the one saturating float-to-integer conversion
// (saturateToInt, shared with the layers below), and colour word packing.
#pragma once

#include <bit>
#include <cstdint>

#include "engine/core/math/FixedMath.h"
#include "framework/util/Saturate.h"

inline uint32_t floatBits(float f) { return std::bit_cast<uint32_t>(f); }
inline float bitsFloat(uint32_t bits) { return std::bit_cast<float>(bits); }

// Zeros and denormals become +0.0; NaN and infinity leave with -1001;
// anything else comes back unchanged.
uint32_t checkFloat(uint32_t bits);
inline float checkFloat(float f) { return bitsFloat(checkFloat(floatBits(f))); }

// e^x: 0 -> 1.0, below -88 -> 0, above 88 -> the largest finite float.
float floatExp(float x);
Fixed floatToFixed(uint32_t bits);
inline Fixed floatToFixed(float f) { return floatToFixed(floatBits(f)); }
// The float of a 16.16 value, its bits stored low byte first.
void fixedToFloatBytes(Fixed x, uint8_t* out);
float fixedToFloat(Fixed x);
void storeWordBytes(uint32_t word, uint8_t* out);

// The engine's float-to-integer rounding (crops, backgrounds, picking): half
// away from zero, saturated to the int32 range, then clamped to [low, high]
// (results <= low give low).
int32_t roundClamp(float x, int32_t low, int32_t high);
// (int)(v * 65536 + 0.5), saturated: a float to 16.16 as the engine rounds.
inline int32_t roundToFixed(float v) { return saturateToInt(v * 65536.0f + 0.5f); }

// Colour words 0xAARRGGBB. Channel bytes are (int)(c * 255 + 0.5).
void colorSetRgb(uint32_t* colour, float r, float g, float b); // clamps to [0, 1]
int32_t colorSetRed(uint32_t* colour, float c);
int32_t colorSetGreen(uint32_t* colour, float c);
int32_t colorSetBlue(uint32_t* colour, float c);
int32_t colorSetAlpha(uint32_t* colour, float c);
inline void colorInitOpaqueBlack(uint32_t* colour) { *colour = 0xFF000000u; }
inline void colorSetWord(uint32_t* colour, uint32_t word) { *colour = word; }

inline uint32_t* wordAt(uint32_t* base, int32_t i) { return base + i; }
