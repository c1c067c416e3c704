// Camera, light and rendering-state record encoders, each field in file order.
#include "tools/m3g/M3gStateEncoders.h"

M3gRecord m3gCameraRecord(const M3gCameraFields& f)
{
    return m3gRecord(kM3gTypeCamera, f.node, [&](M3gRecordWriter& out) {
        out.byte(f.projection);
        if (f.projection == 48)
            out.matrix(f.generalRowMajor);
        else
            out.float32(f.fovyOrHeight).float32(f.aspectRatio).float32(f.near).float32(f.far);
    });
}

M3gRecord m3gLightRecord(const M3gLightFields& f)
{
    return m3gRecord(kM3gTypeLight, f.node, [&](M3gRecordWriter& out) {
        out.float32(f.attenuationConstant).float32(f.attenuationLinear).float32(f.attenuationQuadratic);
        out.colorRgb(f.color).byte(f.mode).float32(f.intensity).float32(f.spotAngle).float32(f.spotExponent);
    });
}

M3gRecord m3gAppearanceRecord(const M3gAppearanceFields& f)
{
    return m3gRecord(kM3gTypeAppearance, f.object, [&](M3gRecordWriter& out) {
        out.byte(static_cast<uint8_t>(f.layer));
        out.objectIndex(f.compositingMode).objectIndex(f.fog).objectIndex(f.polygonMode).objectIndex(f.material);
        out.uint32Array(f.textures);
    });
}

M3gRecord m3gMaterialRecord(const M3gMaterialFields& f)
{
    return m3gRecord(kM3gTypeMaterial, f.object, [&](M3gRecordWriter& out) {
        out.colorRgb(f.ambientColor).colorRgba(f.diffuseColor).colorRgb(f.emissiveColor).colorRgb(f.specularColor);
        out.float32(f.shininess).boolean(f.vertexColorTracking);
    });
}

M3gRecord m3gPolygonModeRecord(const M3gPolygonModeFields& f)
{
    return m3gRecord(kM3gTypePolygonMode, f.object, [&](M3gRecordWriter& out) {
        out.byte(f.culling).byte(f.shading).byte(f.winding);
        out.boolean(f.twoSidedLighting).boolean(f.localCameraLighting).boolean(f.perspectiveCorrection);
    });
}

M3gRecord m3gCompositingModeRecord(const M3gCompositingModeFields& f)
{
    return m3gRecord(kM3gTypeCompositingMode, f.object, [&](M3gRecordWriter& out) {
        out.boolean(f.depthTest).boolean(f.depthWrite).boolean(f.colorWrite).boolean(f.alphaWrite);
        out.byte(f.blending).byte(f.alphaThreshold).float32(f.depthOffsetFactor).float32(f.depthOffsetUnits);
    });
}

M3gRecord m3gFogRecord(const M3gFogFields& f)
{
    return m3gRecord(kM3gTypeFog, f.object, [&](M3gRecordWriter& out) {
        out.colorRgb(f.color).byte(f.mode);
        if (f.mode == 80)
            out.float32(f.density);
        else
            out.float32(f.near).float32(f.far);
    });
}

M3gRecord m3gBackgroundRecord(const M3gBackgroundFields& f)
{
    return m3gRecord(kM3gTypeBackground, f.object, [&](M3gRecordWriter& out) {
        out.colorRgba(f.color).objectIndex(f.image).byte(f.imageModeX).byte(f.imageModeY);
        for (int32_t value : f.crop)
            out.int32(value);
        out.boolean(f.depthClear).boolean(f.colorClear);
    });
}
