// Ids and codes of the image classes: payload type ids and the PNG chunk
// codes the readers map chunk types to. Palette variants and decoders are
// picked by the resource type words (framework/resources/ResourceIds.h).
#pragma once

#include <cstdint>

#include "framework/resources/ResourceIds.h"

namespace ImageTypeId {
constexpr uint32_t BmpImage = 0x0275A643;  // the root's default: BMP images keep it
} // namespace ImageTypeId

namespace PngChunk {
constexpr uint32_t Other = 0;
constexpr uint32_t IHDR = 1;
constexpr uint32_t PLTE = 2;
constexpr uint32_t tRNS = 3;
constexpr uint32_t IDAT = 4;
constexpr uint32_t IEND = 5;
} // namespace PngChunk

namespace PngColourType {
constexpr uint8_t Palette = 3;
} // namespace PngColourType

// A colour table never holds more entries than one index byte can name.
constexpr uint32_t kMaxPaletteColours = 256;
