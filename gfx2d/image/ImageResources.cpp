// BMP and palette resources and their place in the resource factory.
#include "gfx2d/image/ImageResources.h"

#include <new>

#include "framework/resources/ResourceTypes.h"
#include "gfx2d/image/BmpImage.h"
#include "gfx2d/image/Palette.h"

namespace {
constexpr uint32_t kBmpImageSize = 88;
constexpr uint32_t kPaletteOverheadWords = 5;
} // namespace

uint32_t BmpImageResource::memorySize() const
{
    return m_payload ? kBmpImageSize : 0;
}
BmpImage* BmpImageResource::image() const
{
    return static_cast<BmpImage*>(m_payload);
}
HashedObject* BmpImageResource::makePayload()
{
    return new (std::nothrow) BmpImage();
}
int BmpImageResource::loadPayload(InputStream& stream, uint32_t)
{
    return image()->load(stream);
}

uint32_t PaletteResource::memorySize() const
{
    return m_payload ? (palette()->count() + kPaletteOverheadWords) * 4 : 0;
}
Palette* PaletteResource::palette() const
{
    return static_cast<Palette*>(m_payload);
}
HashedObject* PaletteResource::makePayload()
{
    return new (std::nothrow) Palette();
}
int PaletteResource::loadPayload(InputStream& stream, uint32_t tag)
{
    return palette()->load(stream, tag);
}

int registerImageResourceTypes()
{
    int ok = 1;
    for (uint32_t type : {ResourceType::BmpImage, ResourceType::BmpFile, ResourceType::PngFile})
        ok &= registerResourceType(type, makeResource<BmpImageResource>);
    for (uint32_t type : {ResourceType::Palette, ResourceType::PngPalette, ResourceType::RawPalette})
        ok &= registerResourceType(type, makeResource<PaletteResource>);
    return ok;
}
