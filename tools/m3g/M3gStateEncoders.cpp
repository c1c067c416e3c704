// Camera, light and rendering-state record encoders, each field in file order.
#include "tools/m3g/M3gStateEncoders.h"

M3gRecord m3gCameraRecord(const M3gCameraFields& f)
{
    M3gRecordWriter out;
    m3gWriteNode(out, f.node);
    out.byte(f.projection);
    if (f.projection == 48)
        return out.matrix(f.generalRowMajor).record(kM3gTypeCamera);
    out.float32(f.fovyOrHeight).float32(f.aspectRatio).float32(f.near).float32(f.far);
    return out.record(kM3gTypeCamera);
}

M3gRecord m3gLightRecord(const M3gLightFields& f)
{
    M3gRecordWriter out;
    m3gWriteNode(out, f.node);
    out.float32(f.attenuationConstant).float32(f.attenuationLinear).float32(f.attenuationQuadratic);
    out.colorRgb(f.color).byte(f.mode).float32(f.intensity).float32(f.spotAngle).float32(f.spotExponent);
    return out.record(kM3gTypeLight);
}

M3gRecord m3gAppearanceRecord(const M3gAppearanceFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.byte(static_cast<uint8_t>(f.layer));
    out.objectIndex(f.compositingMode).objectIndex(f.fog).objectIndex(f.polygonMode).objectIndex(f.material);
    out.uint32Array(f.textures);
    return out.record(kM3gTypeAppearance);
}

M3gRecord m3gMaterialRecord(const M3gMaterialFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.colorRgb(f.ambientColor).colorRgba(f.diffuseColor).colorRgb(f.emissiveColor).colorRgb(f.specularColor);
    out.float32(f.shininess).boolean(f.vertexColorTracking);
    return out.record(kM3gTypeMaterial);
}

M3gRecord m3gPolygonModeRecord(const M3gPolygonModeFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.byte(f.culling).byte(f.shading).byte(f.winding);
    out.boolean(f.twoSidedLighting).boolean(f.localCameraLighting).boolean(f.perspectiveCorrection);
    return out.record(kM3gTypePolygonMode);
}

M3gRecord m3gCompositingModeRecord(const M3gCompositingModeFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.boolean(f.depthTest).boolean(f.depthWrite).boolean(f.colorWrite).boolean(f.alphaWrite);
    out.byte(f.blending).byte(f.alphaThreshold).float32(f.depthOffsetFactor).float32(f.depthOffsetUnits);
    return out.record(kM3gTypeCompositingMode);
}

M3gRecord m3gFogRecord(const M3gFogFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.colorRgb(f.color).byte(f.mode);
    if (f.mode == 80)
        out.float32(f.density);
    else
        out.float32(f.near).float32(f.far);
    return out.record(kM3gTypeFog);
}

M3gRecord m3gBackgroundRecord(const M3gBackgroundFields& f)
{
    M3gRecordWriter out;
    m3gWriteObject3D(out, f.object);
    out.colorRgba(f.color).objectIndex(f.image).byte(f.imageModeX).byte(f.imageModeY);
    for (int32_t value : f.crop)
        out.int32(value);
    out.boolean(f.depthClear).boolean(f.colorClear);
    return out.record(kM3gTypeBackground);
}
