// libpng from memory. libpng reports errors by longjmp, so everything that
// owns memory across png_* calls is released on the one error path.
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
    uint8_t* pixels = nullptr; // engineAlloc
    png_bytep* rows = nullptr; // engineAlloc
};

// Returns 0 or 1; the buffers in out are the caller's either way.
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
        return 1;
    }
    png_set_user_limits(png, kMaxPngDimension, kMaxPngDimension);
    png_set_read_fn(png, &cursor, &pngReadFromMemory);
    png_read_info(png, info);

    png_set_strip_16(png);
    png_set_packing(png);
    png_set_expand(png); // palette to RGB, low gray depths to 8 bits, tRNS to alpha
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const uint32_t width = png_get_image_width(png, info);
    const uint32_t height = png_get_image_height(png, info);
    const uint32_t channels = png_get_channels(png, info);
    static constexpr int32_t kFormats[] = {0, kImageFormatLuminance, kImageFormatLuminanceAlpha, kImageFormatRgb,
                                           kImageFormatRgba};
    if (channels < 1 || channels > 4 || png_get_rowbytes(png, info) != size_t{width} * channels)
        png_error(png, "Format");
    // 64 bits: a 32-bit product of these could wrap below the buffer's size.
    const uint64_t size = uint64_t{width} * height * channels;
    if (size >= 0x7FFFFFFF || uint64_t{height} * sizeof(png_bytep) >= 0x7FFFFFFF)
        png_error(png, "Size");
    out.pixels = static_cast<uint8_t*>(engineAlloc(static_cast<uint32_t>(size), 0));
    out.rows = static_cast<png_bytep*>(engineAlloc(static_cast<uint32_t>(height * sizeof(png_bytep)), 0));
    if (out.pixels == nullptr || out.rows == nullptr)
        png_error(png, "Memory");
    for (uint32_t y = 0; y < height; ++y)
        out.rows[y] = out.pixels + size_t{y} * width * channels;
    png_read_image(png, out.rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    out.format = kFormats[channels];
    out.width = width;
    out.height = height;
    return 0;
}

} // namespace

int32_t decodePngToImage2D(uint32_t length, const uint8_t* data, IkwSerializable** out)
{
    *out = nullptr;
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
    return result;
}
