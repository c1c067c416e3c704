// Geometry record encoders, in the field order the engine reads them.
#include "tools/m3g/M3gGeometryEncoders.h"

#include "tools/m3g/M3gFileWriter.h"

namespace {

// A value in one of the three index widths the strip encodings use.
void writeWidth(M3gRecordWriter& out, uint8_t width, uint32_t value)
{
    if (width == 1)
        out.byte(static_cast<uint8_t>(value));
    else if (width == 2)
        out.uint16(static_cast<uint16_t>(value));
    else
        out.uint32(value);
}

} // namespace

M3gRecord m3gVertexArrayRecord(const M3gVertexArrayFields& fields)
{
    return m3gRecord(kM3gTypeVertexArray, fields.object, [&](M3gRecordWriter& out) {
        const size_t components = fields.componentCount != 0 ? fields.componentCount : 1;
        out.byte(fields.componentSize).byte(fields.componentCount).byte(fields.encoding);
        out.uint16(static_cast<uint16_t>(fields.values.size() / components));
        for (size_t i = 0; i < fields.values.size(); ++i) {
            int32_t value = fields.values[i];
            if (fields.encoding == kM3gVertexDelta && i >= components)
                value -= fields.values[i - components];
            if (fields.componentSize == 1)
                out.byte(static_cast<uint8_t>(value));
            else
                out.int16(static_cast<int16_t>(value));
        }
    });
}

M3gRecord m3gVertexBufferRecord(const M3gVertexBufferFields& fields)
{
    return m3gRecord(kM3gTypeVertexBuffer, fields.object, [&](M3gRecordWriter& out) {
        out.colorRgba(fields.defaultColor);
        out.objectIndex(fields.positions);
        out.vector3(fields.positionBias[0], fields.positionBias[1], fields.positionBias[2]);
        out.float32(fields.positionScale);
        out.objectIndex(fields.normals);
        out.objectIndex(fields.colors);
        out.int32(static_cast<int32_t>(fields.texCoords.size()));
        for (const M3gTexCoordFields& unit : fields.texCoords) {
            out.objectIndex(unit.array);
            out.vector3(unit.bias[0], unit.bias[1], unit.bias[2]);
            out.float32(unit.scale);
        }
    });
}

M3gRecord m3gTriangleStripRecord(const M3gTriangleStripFields& fields)
{
    return m3gRecord(kM3gTypeTriangleStripArray, fields.object, [&](M3gRecordWriter& out) {
        out.byte(fields.encoding);
        // Widths 0, 1, 2 stand for UInt32, Byte and UInt16 in both forms.
        const uint8_t width = fields.encoding & 0x7F;
        if ((fields.encoding & 0x80) == 0) {
            writeWidth(out, width, fields.startIndex);
        } else {
            out.uint32(static_cast<uint32_t>(fields.indices.size()));
            for (uint32_t index : fields.indices)
                writeWidth(out, width, index);
        }
        out.uint32Array(fields.stripLengths);
    });
}

void m3gWriteMesh(M3gRecordWriter& out, const M3gMeshFields& fields)
{
    m3gWriteNode(out, fields.node);
    out.objectIndex(fields.vertexBuffer);
    out.uint32(static_cast<uint32_t>(fields.submeshes.size()));
    for (const M3gSubmeshFields& submesh : fields.submeshes)
        out.objectIndex(submesh.indexBuffer).objectIndex(submesh.appearance);
}

M3gRecord m3gMeshRecord(const M3gMeshFields& fields)
{
    return m3gRecord(kM3gTypeMesh, fields);
}

std::vector<uint8_t> m3gSampleMeshScene(uint8_t scheme)
{
    M3gFileWriter w;
    w.beginSection(scheme);
    M3gVertexArrayFields positions;
    positions.encoding = kM3gVertexDelta;
    positions.values = {-100, 200, 300, 32767, -32768, 0, 5, 5, 5, 7, -7, 7};
    const uint32_t p = w.addObject(m3gVertexArrayRecord(positions));
    M3gVertexArrayFields normals;
    normals.componentSize = 1;
    normals.values = {0, 0, 127, 0, 127, 0, 127, 0, 0, -128, 0, 0};
    const uint32_t n = w.addObject(m3gVertexArrayRecord(normals));
    M3gVertexBufferFields vb;
    vb.defaultColor = 0x11223344;
    vb.positions = p;
    vb.positionBias = {1.0f, 2.0f, 3.0f};
    vb.positionScale = 0.5f;
    vb.normals = n;
    const uint32_t b = w.addObject(m3gVertexBufferRecord(vb));
    M3gTriangleStripFields implicit;
    implicit.encoding = 1;
    implicit.startIndex = 1;
    implicit.stripLengths = {3};
    const uint32_t s0 = w.addObject(m3gTriangleStripRecord(implicit));
    M3gTriangleStripFields listed;
    listed.encoding = 130;
    listed.indices = {3, 2, 1, 0};
    listed.stripLengths = {4};
    const uint32_t s1 = w.addObject(m3gTriangleStripRecord(listed));
    M3gMeshFields mesh;
    mesh.node.transformable.object.userId = 77;
    mesh.vertexBuffer = b;
    mesh.submeshes = {{s0, 0}, {s1, 0}};
    const uint32_t m = w.addObject(m3gMeshRecord(mesh));
    M3gGroupFields group;
    group.children = {m};
    w.addObject(m3gGroupRecord(group));
    return w.finish();
}
