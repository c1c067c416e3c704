// libpng from memory. libpng reports errors by longjmp, so everything that
// owns memory across png_* calls is released on the one error path. Grey,
// RGB and palette PNGs keep their own form; low grey depths are stretched to
// 8 bits after libpng unpacks them.
#include "engine/core/loader/CkwPngImage.h"

#include <csetjmp>
#include <png.h>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/port/Port.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

void pngReadFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* cursor = static_cast<PngReadCursor*>(png_get_io_ptr(png));
    if (cursor == nullptr || count > static_cast<png_size_t>(cursor->end - cursor->position))
        png_error(png, "Read Error");
    kwMemcpy(out, cursor->position, count);
    cursor->position += count;
}

// The loader reports failures by its result, so libpng stays silent.
[[noreturn]] void pngQuietError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void pngQuietWarning(png_structp, png_const_charp) {}

struct Decoded {
    int32_t format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t* pixels = nullptr;  // engineAlloc
    png_bytep* rows = nullptr;  // engineAlloc
    uint8_t* palette = nullptr; // engineAlloc; palette images only
    uint32_t paletteLength = 0;
    bool outOfMemory = false;
};

// libpng's errors end the decoding with 1, a buffer it cannot have with -4.
template <class T>
T* allocateOrFail(png_structp png, Decoded& out, uint64_t count)
{
    auto* block = static_cast<T*>(engineAlloc(static_cast<uint32_t>(count * sizeof(T)), 0));
    if (block == nullptr) {
        out.outOfMemory = true;
        png_error(png, "Memory");
    }
    return block;
}

// Deflate cannot expand data by more than this factor.
constexpr uint64_t kMaxInflateRatio = 1032;

// Grey samples of 1, 2 and 4 bits stretched to 8: 255 / (2^depth - 1).
constexpr uint8_t kDepthScale[9] = {0, 255, 85, 36, 17, 8, 4, 2, 1};

// A palette of entries x 3 bytes, or x 4 with the tRNS alphas (opaque past them).
void readPalette(png_structp png, png_infop info, png_bytep alphas, int alphaCount, bool withAlpha, Decoded& out)
{
    png_colorp plte = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &plte, &entries) == 0 || entries < 1)
        png_error(png, "Palette");
    const uint32_t stride = withAlpha ? 4 : 3;
    out.paletteLength = static_cast<uint32_t>(entries) * stride;
    out.palette = allocateOrFail<uint8_t>(png, out, out.paletteLength);
    for (int i = 0; i < entries; ++i) {
        uint8_t* entry = out.palette + static_cast<uint32_t>(i) * stride;
        entry[0] = plte[i].red;
        entry[1] = plte[i].green;
        entry[2] = plte[i].blue;
        if (withAlpha)
            entry[3] = i < alphaCount ? alphas[i] : 255;
    }
}

// Widens rows of channels samples in place, from the right end, by an alpha
// that is 0 exactly where every sample equals the key.
void applyKey(Decoded& out, uint32_t channels, const uint8_t* key)
{
    for (uint32_t y = 0; y < out.height; ++y) {
        uint8_t* row = out.rows[y];
        for (uint32_t x = out.width; x-- > 0;) {
            const uint8_t* src = row + size_t{x} * channels;
            uint8_t* dst = row + size_t{x} * (channels + 1);
            bool matches = true;
            for (uint32_t c = channels; c-- > 0;) {
                matches = matches && src[c] == key[c];
                dst[c] = src[c];
            }
            dst[channels] = matches ? 0 : 255;
        }
    }
}

// Returns 0, 1 or -4; the buffers in out are the caller's either way.
int32_t decodePixels(uint32_t length, const uint8_t* data, Decoded& out)
{
    if (length < 8 || png_sig_cmp(data, 0, 8) != 0)
        return 1;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &pngQuietError, &pngQuietWarning);
    if (png == nullptr)
        return 1;
    png_infop info = png_create_info_struct(png);
    PngReadCursor cursor{data, data + length};
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        return out.outOfMemory ? KErrNoMemory : 1;
    }
    png_set_user_limits(png, kMaxPngDimension, kMaxPngDimension);
    // A chunk's length is a claim, and libpng allocates what a text, profile,
    // calibration or palette-suggestion chunk announces before reading a byte
    // of it; its chunk limit only warns. None is used here: they are skipped.
    static constexpr png_byte kUnused[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnused, static_cast<int>(sizeof kUnused / 5));
    png_set_read_fn(png, &cursor, &pngReadFromMemory);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
    // The rows come from deflated data, which expands at most kMaxInflateRatio
    // times: a picture that needs more than the file can give is refused
    // before anything is sized by the size it announces.
    if ((uint64_t{png_get_rowbytes(png, info)} + 1) * height > uint64_t{length} * kMaxInflateRatio)
        png_error(png, "Size");
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p keyColour = nullptr;
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (hasTrns)
        png_get_tRNS(png, info, &alphas, &alphaCount, &keyColour);
    if (depth == 16)
        png_set_strip_16(png);
    if (depth < 8)
        png_set_packing(png);

    // A key of 16-bit samples is ignored; 8-bit keys are reduced as the samples are.
    const bool keyed = hasTrns && keyColour != nullptr && depth != 16
                       && (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_RGB);
    const uint8_t scale = depth < 8 ? kDepthScale[depth] : 1;
    uint8_t key[3] = {};
    uint32_t channels = 0;
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        channels = 1;
        out.format = keyed ? kImageFormatLuminanceAlpha : kImageFormatLuminance;
        if (keyed)
            key[0] = static_cast<uint8_t>(keyColour->gray * scale);
        break;
    case PNG_COLOR_TYPE_RGB:
        channels = 3;
        out.format = keyed ? kImageFormatRgba : kImageFormatRgb;
        if (keyed) {
            key[0] = static_cast<uint8_t>(keyColour->red);
            key[1] = static_cast<uint8_t>(keyColour->green);
            key[2] = static_cast<uint8_t>(keyColour->blue);
        }
        break;
    case PNG_COLOR_TYPE_PALETTE:
        channels = 1;
        out.format = hasTrns ? kImageFormatRgba : kImageFormatRgb;
        readPalette(png, info, alphas, hasTrns ? alphaCount : 0, hasTrns, out);
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        channels = 2;
        out.format = kImageFormatLuminanceAlpha;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        channels = 4;
        out.format = kImageFormatRgba;
        break;
    default:
        png_error(png, "Format");
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // libpng writes exactly this many bytes per row; anything else would pass the rows.
    if (png_get_rowbytes(png, info) != size_t{width} * channels)
        png_error(png, "Format");
    const uint32_t rowSize = width * (keyed ? channels + 1 : channels);
    // 64 bits: a 32-bit product of these could wrap below the buffer's size.
    const uint64_t size = uint64_t{rowSize} * height;
    if (size >= 0x7FFFFFFF || uint64_t{height} * sizeof(png_bytep) >= 0x7FFFFFFF)
        png_error(png, "Size");
    out.pixels = allocateOrFail<uint8_t>(png, out, size);
    out.rows = allocateOrFail<png_bytep>(png, out, height);
    for (uint32_t y = 0; y < height; ++y)
        out.rows[y] = out.pixels + size_t{y} * rowSize;
    png_read_image(png, out.rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    out.width = width;
    out.height = height;
    if (scale != 1 && colourType == PNG_COLOR_TYPE_GRAY)
        for (uint64_t i = 0; i < size; ++i)
            out.pixels[i] = static_cast<uint8_t>(out.pixels[i] * scale);
    if (keyed)
        applyKey(out, channels, key);
    return 0;
}

} // namespace

int32_t decodePngToImage2D(uint32_t length, const uint8_t* data, IkwSerializable** out, uint64_t* allowance)
{
    *out = nullptr;
    // Decoding runs outside any record, so no other allowance is installed.
    uint64_t* const outer = allowance != nullptr ? setEngineAllocAllowance(allowance) : nullptr;
    Decoded decoded;
    int32_t result = decodePixels(length, data, decoded);
    engineFree(decoded.rows);
    if (result == 0) {
        const int32_t code = engineTrap([&] {
            IkwSerializable* image = engineContextL().factory->create(kClassImage2D);
            if (image == nullptr)
                leave(KErrCorruptData);
            image->addRef();
            *out = image;
            auto* import = dynamic_cast<IkwPixelImport*>(image);
            if (import == nullptr)
                leave(KErrCorruptData);
            if (decoded.palette != nullptr)
                import->importPalettized(decoded.format, decoded.width, decoded.height, decoded.pixels,
                                         decoded.paletteLength, decoded.palette);
            else
                import->importPixels(decoded.format, decoded.width, decoded.height, decoded.pixels);
        });
        if (code != KErrNone) {
            if (*out != nullptr)
                (*out)->release();
            *out = nullptr;
            result = code;
        }
    }
    engineFree(decoded.pixels);
    engineFree(decoded.palette);
    if (allowance != nullptr)
        setEngineAllocAllowance(outer);
    return result;
}
