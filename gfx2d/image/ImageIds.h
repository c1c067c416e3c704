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

// Texture-ready images: the description's OpenGL ES enumeration values,
// the type word that marks a TGA stream and the pixel image's type id.
namespace GlFormat {
constexpr uint32_t Rgb = 0x1907;
constexpr uint32_t Rgba = 0x1908;
constexpr uint32_t Luminance = 0x1909;
} // namespace GlFormat

namespace GlType {
constexpr uint32_t UnsignedByte = 0x1401;
constexpr uint32_t Short565 = 0x8363;
constexpr uint32_t Short4444 = 0x8033;
constexpr uint32_t Short5551 = 0x8034;
constexpr uint32_t Short4444AlphaFirst = 0x8023;
constexpr uint32_t Short1555AlphaFirst = 0x8024;
} // namespace GlType

namespace ImageTypeId {
constexpr uint32_t PixelImage = 0x622F3249;  // "I2/b"
constexpr uint32_t TgaImage = 0x02626411;
} // namespace ImageTypeId

constexpr uint32_t kTgaImageTag = 0xB71782EE;

namespace TgaField {
constexpr uint32_t HeaderSize = 18;
constexpr uint32_t IdLength = 0;
constexpr uint32_t ColourMapType = 1;
constexpr uint32_t ImageType = 2;
constexpr uint32_t Width = 12;
constexpr uint32_t Height = 14;
constexpr uint32_t Depth = 16;
constexpr uint8_t TrueColour = 2;
constexpr uint8_t Grey = 3;
constexpr uint8_t TrueColourRle = 10;
constexpr uint8_t GreyRle = 11;
} // namespace TgaField
