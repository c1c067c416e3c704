// The Image2D, Stageset, Texture2D and Sprite3D tables: the argument checks
// made before the image, texture and sprite classes are called.
#include "engine/scene/interface/ImageTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwStageset.h"
#include "engine/scene/CkwTexture2D.h"

namespace {

// Format, then width and height, as every image initialiser checks them.
void checkImageArgumentsL(uint32_t format, uint32_t width, uint32_t height)
{
    if (imageBytesPerPixel(static_cast<int32_t>(format)) == 0 || static_cast<int32_t>(width) < 1
        || static_cast<int32_t>(height) < 1)
        leave(KErrIllegalArgument);
}

void checkRangeL(uint32_t value, uint32_t low, uint32_t high)
{
    if (value < low || value > high)
        leave(KErrIllegalArgument);
}

const uint8_t* bytesOf(const void* data) { return &requireOut(static_cast<const uint8_t*>(data)); }

CkwImage2D& imageArgument(EngineHandle* image) { return requireArgument<CkwImage2D>(image, kIidImage2D); }

int32_t cropOf(float value) { return roundClamp(value, INT32_MIN, INT32_MAX); }

} // namespace

constexpr IkwImage2DTable kImage2DTable = {
    kObject3DEntries,
    trapped<+[](CkwImage2D& i, uint32_t format, uint32_t width, uint32_t height, uint32_t length, const void* pixels) {
        checkImageArgumentsL(format, width, height);
        i.initWithData(static_cast<int32_t>(format), static_cast<int32_t>(width), static_cast<int32_t>(height),
                       sizeArgument(length), bytesOf(pixels));
    }>,
    trapped<+[](CkwImage2D& i, uint32_t format, uint32_t width, uint32_t height, uint32_t indexLength,
                const void* indices, uint32_t paletteLength, const void* palette) {
        checkImageArgumentsL(format, width, height);
        const uint8_t* indexBytes = bytesOf(indices);
        i.initPalettized(static_cast<int32_t>(format), static_cast<int32_t>(width), static_cast<int32_t>(height),
                         sizeArgument(indexLength), indexBytes, sizeArgument(paletteLength), bytesOf(palette));
    }>,
    trapped<+[](CkwImage2D& i, uint32_t format, uint32_t width, uint32_t height) {
        checkImageArgumentsL(format, width, height);
        i.initBlank(static_cast<int32_t>(format), static_cast<int32_t>(width), static_cast<int32_t>(height), false);
    }>,
    trapped<+[](CkwImage2D& i, uint32_t format, uint32_t width, uint32_t height, uint32_t immutable) {
        checkImageArgumentsL(format, width, height);
        i.initBlank(static_cast<int32_t>(format), static_cast<int32_t>(width), static_cast<int32_t>(height),
                    immutable != 0);
    }>,
    plain<+[](CkwImage2D& i, uint32_t* out) { *out = static_cast<uint32_t>(i.getFormat()); }>,
    plain<+[](CkwImage2D& i, uint32_t* out) { *out = static_cast<uint32_t>(i.getWidth()); }>,
    plain<+[](CkwImage2D& i, uint32_t* out) { *out = static_cast<uint32_t>(i.getHeight()); }>,
    plain<+[](CkwImage2D& i, void** out) { *out = i.getPixels(); }>,
    plain<+[](CkwImage2D& i, void** out) { *out = i.getPalette(); }>,
    plain<+[](CkwImage2D& i, void** out) { *out = i.getAlphaPlane(); }>,
    plain<+[](CkwImage2D& i, uint8_t* out) { *out = i.isMutable() ? 1 : 0; }>,
    trapped<+[](CkwImage2D& i, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t length, const void* data) {
        if (x < 0 || y < 0 || width < 1 || height < 1)
            leave(KErrIllegalArgument);
        i.set(x, y, width, height, sizeArgument(length), bytesOf(data));
    }>,
};

constexpr IkwStagesetTable kStagesetTable = {
    kImage2DTable,
    trapped<+[](CkwStageset& s, int32_t width, int32_t height, uint32_t length, const void* data) {
        if (width < 1 || height < 1)
            leave(KErrIllegalArgument);
        s.initWithData(width, height, sizeArgument(length), bytesOf(data));
    }>,
    trapped<+[](CkwStageset& s, int32_t width, int32_t height) {
        if (width < 1 || height < 1)
            leave(KErrIllegalArgument);
        s.initBlank(width, height);
    }>,
    plain<+[](CkwStageset& s, float* out) { *out = s.getDepthScale(); }>,
    trapped<+[](CkwStageset& s, float scale) {
        const float value = checkFloat(scale);
        if (value < 0.0f)
            leave(KErrIllegalArgument);
        s.setDepthScale(value);
    }>,
    plain<+[](CkwStageset& s, float* out) { *out = s.getDepthOffset(); }>,
    trapped<+[](CkwStageset& s, float offset) { s.setDepthOffset(checkFloat(offset)); }>,
};

constexpr IkwTexture2DTable kTexture2DTable = {
    kTransformableEntries,
    trapped<+[](CkwTexture2D& t, EngineHandle* image) { t.setImage(&imageArgument(image)); }>,
    handing<+[](CkwTexture2D& t) { return t.getImage(); }>,
    trapped<+[](CkwTexture2D& t, EngineHandle* image) { t.setImage(&imageArgument(image)); }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getBlending()); }>,
    trapped<+[](CkwTexture2D& t, uint32_t function) {
        checkRangeL(function, kTextureFuncAdd, kTextureFuncReplace);
        t.setBlending(static_cast<int32_t>(function));
    }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = t.getBlendColor(); }>,
    plain<+[](CkwTexture2D& t, uint32_t rgb) { t.setBlendColor(rgb); }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getImageFilter()); }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getLevelFilter()); }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getWrappingS()); }>,
    plain<+[](CkwTexture2D& t, uint32_t* out) { *out = static_cast<uint32_t>(t.getWrappingT()); }>,
    trapped<+[](CkwTexture2D& t, uint32_t s, uint32_t wrapT) {
        checkRangeL(s, kTextureWrapClamp, kTextureWrapRepeat);
        checkRangeL(wrapT, kTextureWrapClamp, kTextureWrapRepeat);
        t.setWrapping(static_cast<int32_t>(s), static_cast<int32_t>(wrapT));
    }>,
    trapped<+[](CkwTexture2D& t, uint32_t level, uint32_t image) {
        checkRangeL(level, kTextureFilterBaseLevel, kTextureFilterNearest);
        checkRangeL(image, kTextureFilterLinear, kTextureFilterNearest);
        t.setFiltering(static_cast<int32_t>(level), static_cast<int32_t>(image));
    }>,
};

constexpr IkwSprite3DTable kSprite3DTable = {
    kNodeEntries,
    trapped<+[](CkwSprite& s, uint32_t scaled, EngineHandle* image, EngineHandle* appearance) {
        CkwImage2D& picture = imageArgument(image);
        CkwObject3D* look = argumentOf<CkwObject3D>(appearance, kIidAppearance);
        s.setImage(&picture);
        s.setAppearance(look);
        s.setScaled((scaled & 0xFF) != 0);
    }>,
    handing<+[](CkwSprite& s) { return s.getAppearance(); }>,
    // Untrapped: a handle of another kind changes nothing rather than leave.
    plain<+[](CkwSprite& s, EngineHandle* appearance) {
        if (appearance == nullptr || appearance->object == nullptr)
            s.setAppearance(nullptr);
        else if (CkwObject3D* a = argumentOrNull<CkwObject3D>(appearance, kIidAppearance))
            s.setAppearance(a);
    }>,
    handing<+[](CkwSprite& s) { return s.getImage(); }>,
    trapped<+[](CkwSprite& s, EngineHandle* image) { s.setImage(&imageArgument(image)); }>,
    plain<+[](CkwSprite& s, int32_t* out) { *out = cropOf(s.getCropX()); }>,
    plain<+[](CkwSprite& s, int32_t* out) { *out = cropOf(s.getCropY()); }>,
    plain<+[](CkwSprite& s, int32_t* out) { *out = cropOf(s.getCropWidth()); }>,
    plain<+[](CkwSprite& s, int32_t* out) { *out = cropOf(s.getCropHeight()); }>,
    plain<+[](CkwSprite& s, uint8_t* out) { *out = s.isScaled() ? 1 : 0; }>,
    trapped<+[](CkwSprite& s, int32_t x, int32_t y, int32_t width, int32_t height) { s.setCrop(x, y, width, height); }>,
};
