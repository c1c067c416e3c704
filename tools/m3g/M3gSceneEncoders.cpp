// Scene record encoders: the common data in file order, then Group and World.
#include "tools/m3g/M3gSceneEncoders.h"

void m3gWriteObject3D(M3gRecordWriter& out, const M3gObject3DFields& fields)
{
    out.int32(fields.userId);
    out.uint32Array(fields.animationTracks);
    out.uint32(static_cast<uint32_t>(fields.userParameters.size()));
    for (const M3gUserParameter& p : fields.userParameters) {
        out.int32(p.id);
        out.byteArray(p.value);
    }
}

void m3gWriteTransformable(M3gRecordWriter& out, const M3gTransformableFields& fields)
{
    m3gWriteObject3D(out, fields.object);
    out.boolean(fields.components.has_value());
    if (const auto& c = fields.components) {
        out.vector3(c->translation[0], c->translation[1], c->translation[2]);
        out.vector3(c->scale[0], c->scale[1], c->scale[2]);
        out.float32(c->orientationAngle);
        out.vector3(c->orientationAxis[0], c->orientationAxis[1], c->orientationAxis[2]);
    }
    out.boolean(fields.generalRowMajor.has_value());
    if (fields.generalRowMajor)
        out.matrix(*fields.generalRowMajor);
}

void m3gWriteNode(M3gRecordWriter& out, const M3gNodeFields& fields)
{
    m3gWriteTransformable(out, fields.transformable);
    out.boolean(fields.renderingEnabled);
    out.boolean(fields.pickingEnabled);
    out.byte(fields.alphaFactor);
    out.uint32(fields.scope);
    out.boolean(fields.alignment.has_value());
    if (const auto& a = fields.alignment) {
        out.byte(a->zTarget);
        out.byte(a->yTarget);
        out.objectIndex(a->zReference);
        out.objectIndex(a->yReference);
    }
}

void m3gWriteGroup(M3gRecordWriter& out, const M3gGroupFields& fields)
{
    m3gWriteNode(out, fields.node);
    out.uint32Array(fields.children);
}

M3gRecord m3gGroupRecord(const M3gGroupFields& fields)
{
    return m3gRecord(kM3gTypeGroup, fields);
}

M3gRecord m3gWorldRecord(const M3gWorldFields& fields)
{
    return m3gRecord(kM3gTypeWorld, fields.group, [&](M3gRecordWriter& out) {
        out.objectIndex(fields.activeCamera);
        out.objectIndex(fields.background);
    });
}
