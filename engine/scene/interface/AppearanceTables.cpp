// The rendering-state tables: appearance and its components (material,
// compositing and polygon modes, fog) and the background. Each opens with the
// Object3D entries; setters of enumerations and bounded floats check before
// the class is called, untrapped setters of references ignore a handle of
// another kind.
#include "engine/scene/interface/AppearanceTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/FloatBits.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwTexture2D.h"

namespace {

inline uint8_t flag(bool on) { return on ? 1 : 0; }

// A component setter of the appearance: untrapped, null clears.
template <class T, uint32_t Iid, void (CkwAppearance::*Set)(T*)>
void setComponent(CkwAppearance& a, EngineHandle* handle)
{
    if (T* component; optionalArgument(handle, Iid, component))
        (a.*Set)(component);
}

int32_t cropPixels(float value, int32_t low) { return roundClamp(value, low, INT32_MAX); }

} // namespace

constexpr IkwAppearanceTable kAppearanceTable = {
    kObject3DEntries,
    plain<+[](CkwAppearance& a, int32_t* out) { *out = a.getLayer(); }>,
    trapped<+[](CkwAppearance& a, int32_t layer) {
        if (layer < -CkwAppearance::kMaxLayer || (layer > CkwAppearance::kMaxLayer))
            leave(KErrIndexOutOfRange);
        a.setLayer(layer);
    }>,
    handing<+[](CkwAppearance& a) -> CkwObject3D* { return a.getMaterial(); }>,
    plain<&setComponent<CkwMaterial, kIidMaterial, &CkwAppearance::setMaterial>>,
    handing<+[](CkwAppearance& a) -> CkwObject3D* { return a.getFog(); }>,
    plain<&setComponent<CkwFog, kIidFog, &CkwAppearance::setFog>>,
    handing<+[](CkwAppearance& a) -> CkwObject3D* { return a.getCompositingMode(); }>,
    plain<&setComponent<CkwCompositingMode, kIidCompositingMode, &CkwAppearance::setCompositingMode>>,
    handing<+[](CkwAppearance& a) -> CkwObject3D* { return a.getPolygonMode(); }>,
    plain<&setComponent<CkwPolygonMode, kIidPolygonMode, &CkwAppearance::setPolygonMode>>,
    handing<+[](CkwAppearance& a, uint32_t unit) { return a.getTexture(sizeArgument(unit)); }>,
    trapped<+[](CkwAppearance& a, uint32_t unit, EngineHandle* texture) {
        a.setTexture(sizeArgument(unit), argumentOf<CkwObject3D>(texture, kIidTexture2D));
    }>,
};

constexpr IkwMaterialTable kMaterialTable = {
    kObject3DEntries,
    plain<+[](CkwMaterial& m, float* out) { *out = m.getShininess(); }>,
    trapped<+[](CkwMaterial& m, float shininess) { m.setShininess(checkFloatInL(shininess, 0.0f, 128.0f)); }>,
    plain<+[](CkwMaterial& m, uint8_t* out) { *out = flag(m.isVertexColorTrackingEnabled()); }>,
    plain<+[](CkwMaterial& m, uint32_t enable) { m.setVertexColorTrackingEnable(enable != 0); }>,
    trapped<+[](CkwMaterial& m, uint32_t target, uint32_t* out) {
        switch (target) {
        case CkwMaterial::kAmbient:
        case CkwMaterial::kDiffuse:
        case CkwMaterial::kEmissive:
        case CkwMaterial::kSpecular:
            requireOut(out) = m.getColor(static_cast<int32_t>(target));
            return;
        default:
            leave(KErrIllegalArgument);
        }
    }>,
    trapped<+[](CkwMaterial& m, uint32_t targets, uint32_t argb) { m.setColor(static_cast<int32_t>(targets), argb); }>,
};

constexpr IkwCompositingModeTable kCompositingModeTable = {
    kObject3DEntries,
    plain<+[](CkwCompositingMode& c, float* out) { *out = c.getAlphaThreshold(); }>,
    trapped<+[](CkwCompositingMode& c, float threshold) { c.setAlphaThreshold(checkFloatInL(threshold, 0.0f, 1.0f)); }>,
    plain<+[](CkwCompositingMode& c, uint32_t* out) { *out = static_cast<uint32_t>(c.getBlending()); }>,
    trapped<+[](CkwCompositingMode& c, uint32_t mode) {
        c.setBlending(static_cast<int32_t>(checkEnumL(mode, CkwCompositingMode::kAlpha, CkwCompositingMode::kReplace)));
    }>,
    plain<+[](CkwCompositingMode& c, uint8_t* out) { *out = flag(c.isColorWriteEnabled()); }>,
    plain<+[](CkwCompositingMode& c, uint32_t enable) { c.setColorWriteEnable(enable != 0); }>,
    plain<+[](CkwCompositingMode& c, uint8_t* out) { *out = flag(c.isAlphaWriteEnabled()); }>,
    plain<+[](CkwCompositingMode& c, uint32_t enable) { c.setAlphaWriteEnable(enable != 0); }>,
    plain<+[](CkwCompositingMode& c, uint8_t* out) { *out = flag(c.isDepthWriteEnabled()); }>,
    plain<+[](CkwCompositingMode& c, uint32_t enable) { c.setDepthWriteEnable(enable != 0); }>,
    plain<+[](CkwCompositingMode& c, uint8_t* out) { *out = flag(c.isDepthTestEnabled()); }>,
    plain<+[](CkwCompositingMode& c, uint32_t enable) { c.setDepthTestEnable(enable != 0); }>,
    plain<+[](CkwCompositingMode& c, float* out) { *out = c.getDepthOffsetFactor(); }>,
    plain<+[](CkwCompositingMode& c, float* out) { *out = c.getDepthOffsetUnits(); }>,
    trapped<+[](CkwCompositingMode& c, float factor, float units) { c.setDepthOffset(checkFloat(factor), checkFloat(units)); }>,
};

constexpr IkwPolygonModeTable kPolygonModeTable = {
    kObject3DEntries,
    plain<+[](CkwPolygonMode& p, uint32_t* out) { *out = static_cast<uint32_t>(p.getCulling()); }>,
    trapped<+[](CkwPolygonMode& p, uint32_t mode) {
        p.setCulling(static_cast<int32_t>(checkEnumL(mode, CkwPolygonMode::kCullBack, CkwPolygonMode::kCullNone)));
    }>,
    plain<+[](CkwPolygonMode& p, uint32_t* out) { *out = static_cast<uint32_t>(p.getShading()); }>,
    trapped<+[](CkwPolygonMode& p, uint32_t mode) {
        p.setShading(static_cast<int32_t>(checkEnumL(mode, CkwPolygonMode::kShadeFlat, CkwPolygonMode::kShadeSmooth)));
    }>,
    plain<+[](CkwPolygonMode& p, uint32_t* out) { *out = static_cast<uint32_t>(p.getWinding()); }>,
    trapped<+[](CkwPolygonMode& p, uint32_t mode) {
        p.setWinding(static_cast<int32_t>(checkEnumL(mode, CkwPolygonMode::kWindingCcw, CkwPolygonMode::kWindingCw)));
    }>,
    plain<+[](CkwPolygonMode& p, uint8_t* out) { *out = flag(p.isLocalCameraLightingEnabled()); }>,
    plain<+[](CkwPolygonMode& p, uint32_t enable) { p.setLocalCameraLightingEnable(enable != 0); }>,
    plain<+[](CkwPolygonMode& p, uint8_t* out) { *out = flag(p.isPerspectiveCorrectionEnabled()); }>,
    plain<+[](CkwPolygonMode& p, uint32_t enable) { p.setPerspectiveCorrectionEnable(enable != 0); }>,
    plain<+[](CkwPolygonMode& p, uint8_t* out) { *out = flag(p.isTwoSidedLightingEnabled()); }>,
    plain<+[](CkwPolygonMode& p, uint32_t enable) { p.setTwoSidedLightingEnable(enable != 0); }>,
};

constexpr IkwFogTable kFogTable = {
    kObject3DEntries,
    plain<+[](CkwFog& f, uint32_t* out) { *out = f.getColor(); }>,
    plain<+[](CkwFog& f, uint32_t rgb) { f.setColor(rgb); }>,
    plain<+[](CkwFog& f, float* out) { *out = f.getDensity(); }>,
    trapped<+[](CkwFog& f, float density) {
        const float d = checkFloat(density);
        if (d < 0.0f)
            leave(KErrIllegalArgument);
        f.setDensity(d);
    }>,
    plain<+[](CkwFog& f, uint32_t* out) { *out = static_cast<uint32_t>(f.getMode()); }>,
    trapped<+[](CkwFog& f, uint32_t mode) { f.setMode(static_cast<int32_t>(checkEnumL(mode, CkwFog::kExponential, CkwFog::kLinear))); }>,
    plain<+[](CkwFog& f, float* out) { *out = f.getNearDistance(); }>,
    plain<+[](CkwFog& f, float* out) { *out = f.getFarDistance(); }>,
    trapped<+[](CkwFog& f, float near, float far) { f.setLinear(checkFloat(near), checkFloat(far)); }>,
};

constexpr IkwBackgroundTable kBackgroundTable = {
    kObject3DEntries,
    plain<+[](CkwBackground& b, uint32_t* out) { *out = b.getColor(); }>,
    plain<+[](CkwBackground& b, uint32_t argb) { b.setColor(argb); }>,
    handing<+[](CkwBackground& b) { return b.getImage(); }>,
    trapped<+[](CkwBackground& b, EngineHandle* image) {
        CkwImage2D* picture = argumentOf<CkwImage2D>(image, kIidImage2D);
        if (picture != nullptr && picture->getFormat() != kImageFormatRgb && picture->getFormat() != kImageFormatRgba)
            leave(KErrIllegalArgument);
        b.setImage(picture);
    }>,
    plain<+[](CkwBackground& b, uint32_t* out) { *out = static_cast<uint32_t>(b.getImageModeX()); }>,
    plain<+[](CkwBackground& b, uint32_t* out) { *out = static_cast<uint32_t>(b.getImageModeY()); }>,
    plain<+[](CkwBackground& b, int32_t* out) { *out = cropPixels(b.getCropX(), INT32_MIN); }>,
    plain<+[](CkwBackground& b, int32_t* out) { *out = cropPixels(b.getCropY(), INT32_MIN); }>,
    plain<+[](CkwBackground& b, int32_t* out) { *out = cropPixels(b.getCropWidth(), 0); }>,
    plain<+[](CkwBackground& b, int32_t* out) { *out = cropPixels(b.getCropHeight(), 0); }>,
    plain<+[](CkwBackground& b, uint8_t* out) { *out = flag(b.isDepthClearEnabled()); }>,
    plain<+[](CkwBackground& b, uint32_t enable) { b.setDepthClearEnable(enable != 0); }>,
    plain<+[](CkwBackground& b, uint8_t* out) { *out = flag(b.isColorClearEnabled()); }>,
    plain<+[](CkwBackground& b, uint32_t enable) { b.setColorClearEnable(enable != 0); }>,
    trapped<+[](CkwBackground& b, uint32_t modeX, uint32_t modeY) {
        const uint32_t x = checkEnumL(modeX, CkwBackground::kBorder, CkwBackground::kRepeat);
        const uint32_t y = checkEnumL(modeY, CkwBackground::kBorder, CkwBackground::kRepeat);
        b.setImageMode(static_cast<int32_t>(x), static_cast<int32_t>(y));
    }>,
    trapped<+[](CkwBackground& b, int32_t x, int32_t y, int32_t width, int32_t height) {
        if (width < 0 || height < 0)
            leave(KErrIllegalArgument);
        b.setCrop(static_cast<float>(x), static_cast<float>(y), static_cast<float>(width), static_cast<float>(height));
    }>,
};
