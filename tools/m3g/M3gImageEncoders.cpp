// Image record encoders, field by field in file order.
#include "tools/m3g/M3gImageEncoders.h"

void m3gWriteImage2D(M3gRecordWriter& out, const M3gImage2DFields& fields)
{
    m3gWriteObject3D(out, fields.object);
    out.byte(fields.format);
    out.boolean(fields.isMutable);
    out.uint32(fields.width);
    out.uint32(fields.height);
    if (!fields.isMutable) {
        out.byteArray(fields.palette);
        out.byteArray(fields.pixels);
    }
}

M3gRecord m3gImage2DRecord(const M3gImage2DFields& fields)
{
    return m3gRecord(kM3gTypeImage2D, fields);
}

M3gRecord m3gTexture2DRecord(const M3gTexture2DFields& fields)
{
    return m3gRecord(kM3gTypeTexture2D, fields.transformable, [&](M3gRecordWriter& out) {
        out.objectIndex(fields.image);
        out.colorRgb(fields.blendColor);
        out.byte(fields.blending);
        out.byte(fields.wrappingS);
        out.byte(fields.wrappingT);
        out.byte(fields.levelFilter);
        out.byte(fields.imageFilter);
    });
}

M3gRecord m3gSpriteRecord(const M3gSpriteFields& fields)
{
    return m3gRecord(kM3gTypeSprite, fields.node, [&](M3gRecordWriter& out) {
        out.objectIndex(fields.image);
        out.objectIndex(fields.appearance);
        out.boolean(fields.scaled);
        for (int32_t value : fields.crop)
            out.int32(value);
    });
}

M3gRecord m3gPlasmaRecord(const M3gPlasmaFields& fields)
{
    return m3gRecord(kM3gTypePlasmaImage, fields.object, [&](M3gRecordWriter& out) {
        out.uint32(fields.seed);
        out.byte(fields.widthExponent);
        out.byte(fields.heightExponent);
        out.int32(fields.detailDepth);
        out.float32(fields.turbulence);
        out.byte(fields.cellMode);
        out.byte(fields.cellWidthExponent);
        out.byte(fields.cellHeightExponent);
        for (uint32_t colour : fields.colours)
            out.uint32(colour);
        uint32_t mask = 0;
        for (int i = 0; i < 16; ++i) {
            mask |= fields.weightsA[i] != 0.0f ? 1u << i : 0;
            mask |= fields.weightsB[i] != 0.0f ? 1u << (i + 16) : 0;
        }
        out.uint32(mask);
        for (float weight : fields.weightsA)
            if (weight != 0.0f)
                out.float32(weight);
        for (float weight : fields.weightsB)
            if (weight != 0.0f)
                out.float32(weight);
        for (const M3gWarpMapFields& map : fields.warpMaps) {
            out.boolean(map.smooth);
            out.uint32(static_cast<uint32_t>(map.knots.size()));
            for (const auto& knot : map.knots)
                out.float32(knot[0]).float32(knot[1]);
        }
    });
}

M3gRecord m3gStagesetRecord(const M3gStagesetFields& fields)
{
    return m3gRecord(kM3gTypeStageset, fields.image, [&](M3gRecordWriter& out) {
        out.float32(fields.depthOffset);
        out.float32(fields.depthScale);
        if (!fields.image.isMutable)
            for (uint16_t value : fields.depth)
                out.uint16(value);
    });
}

M3gRecord m3gCompressedImageRecord(const M3gCompressedImageFields& fields)
{
    return m3gRecord(kM3gTypeCompressedImage2D, fields.object, [&](M3gRecordWriter& out) {
        out.int32(fields.format);
        out.int32(fields.width);
        out.int32(fields.height);
        out.byteArray(fields.levels.empty() ? std::vector<uint8_t>{} : fields.levels[0]);
        out.boolean(fields.levels.size() > 1);
        for (size_t i = 1; i < fields.levels.size(); ++i)
            out.byteArray(fields.levels[i]);
    });
}
