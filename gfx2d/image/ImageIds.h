// Ids and codes of the image classes: payload type ids, decoder tags, the
// PNG chunk codes the readers map chunk types to.
#pragma once

#include <cstdint>

namespace ImageTypeId {
constexpr uint32_t BmpImage = 0x0275A643;
constexpr uint32_t Palette = 0xA6EFB9A2;
} // namespace ImageTypeId

// Tags of the colour-table variants Palette::load reads.
namespace PaletteTag {
constexpr uint32_t PngChunks = 0x40546F85;  // PLTE chunk, optional tRNS chunk
constexpr uint32_t RawTable = 0x40547DA2;   // u32 colours as stored
} // namespace PaletteTag

namespace DecoderTag {
constexpr uint32_t Png = 0xB7178678;
constexpr uint32_t Bmp = 0xB717945F;
} // namespace DecoderTag

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
