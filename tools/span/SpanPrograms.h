// The span programs of the library's three span-program sets, written as ARM
// code with the encoder, and their records: opaque, colour-keyed and keyed
// constant-alpha image spans for X8R8G8B8 and R5G6B5 targets from X8R8G8B8
// and 8-bit palette images, and for R5G6B5 targets from R5G6B5 images,
// driven by the triangle driver.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/span/SpanIds.h"

enum class SpanMode : uint8_t { Opaque, Keyed, KeyedBlend };

inline constexpr RSBFormat kSpanDestinations[2] = {PixelFormat::X8R8G8B8, PixelFormat::R5G6B5};
inline constexpr RSBFormat kSpanSources[3] = {PixelFormat::X8R8G8B8, PixelFormat::P8X8R8G8B8, PixelFormat::R5G6B5};
struct SpanFormats {
    RSBFormat destination, source;
};
// The programs of each set, in the order of its record ids.
inline constexpr SpanFormats kSpanFormatPairs[kSpanSetRecordIdsPerSet] = {
    {PixelFormat::X8R8G8B8, PixelFormat::X8R8G8B8}, {PixelFormat::X8R8G8B8, PixelFormat::P8X8R8G8B8},
    {PixelFormat::R5G6B5, PixelFormat::X8R8G8B8},   {PixelFormat::R5G6B5, PixelFormat::P8X8R8G8B8},
    {PixelFormat::R5G6B5, PixelFormat::R5G6B5},
};

// Empty for a combination no program is written for.
std::vector<uint32_t> spanProgramCode(SpanMode mode, RSBFormat destination, RSBFormat source);

struct SpanRecordKeys {
    RSBFormat destination = 0;
    RSBFormat source = 0;
    int32_t interpolants = 3;
    int32_t driverKind = 3;
    int32_t depthSource = -1;
    int32_t depthInterpolant = 0;
    uint32_t bindingWord = 0;
};
// A 2960-byte record holding code and keys (the image keys 2, 0, -1, 0).
std::vector<uint8_t> spanRecord(const std::vector<uint32_t>& code, const SpanRecordKeys& keys);
std::vector<uint8_t> spanProgramRecord(SpanMode mode, RSBFormat destination, RSBFormat source);

struct SpanPackEntry {
    uint32_t id;
    uint32_t type;
    std::vector<uint8_t> payload;
};
// Every set's main entry and record entries, as a pack carries them.
std::vector<SpanPackEntry> spanPackEntries();
