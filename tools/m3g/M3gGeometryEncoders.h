// Encoders of the geometry records: vertex arrays (20) with plain or delta
// values, vertex buffers (21), triangle strip arrays (11) in each index
// width, and meshes (14).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/m3g/M3gSceneEncoders.h"

inline constexpr uint8_t kM3gTypeTriangleStripArray = 11;
inline constexpr uint8_t kM3gTypeMesh = 14;
inline constexpr uint8_t kM3gTypeVertexArray = 20;
inline constexpr uint8_t kM3gTypeVertexBuffer = 21;

inline constexpr uint8_t kM3gVertexPlain = 0;
inline constexpr uint8_t kM3gVertexDelta = 1;

struct M3gVertexArrayFields {
    M3gObject3DFields object;
    uint8_t componentSize = 2;  // bytes
    uint8_t componentCount = 3;
    uint8_t encoding = kM3gVertexPlain;
    // Vertex-major values; the vertex count is their number over the
    // component count. Delta encoding stores each as the wrapped difference
    // from the same component of the vertex before.
    std::vector<int32_t> values;
};

struct M3gTexCoordFields {
    uint32_t array = 0;
    std::array<float, 3> bias = {0.0f, 0.0f, 0.0f};
    float scale = 1.0f;
};

struct M3gVertexBufferFields {
    M3gObject3DFields object;
    uint32_t defaultColor = 0xFFFFFFFFu;
    uint32_t positions = 0;
    std::array<float, 3> positionBias = {0.0f, 0.0f, 0.0f};
    float positionScale = 1.0f;
    uint32_t normals = 0;
    uint32_t colors = 0;
    std::vector<M3gTexCoordFields> texCoords;
};

// Encodings: 0, 1, 2 implicit with a UInt32, Byte or UInt16 start index;
// 128, 129, 130 explicit with UInt32, Byte or UInt16 indices.
struct M3gTriangleStripFields {
    M3gObject3DFields object;
    uint8_t encoding = 0;
    uint32_t startIndex = 0;
    std::vector<uint32_t> indices;
    std::vector<uint32_t> stripLengths;
};

struct M3gSubmeshFields {
    uint32_t indexBuffer = 0;
    uint32_t appearance = 0;
};

struct M3gMeshFields {
    M3gNodeFields node;
    uint32_t vertexBuffer = 0;
    std::vector<M3gSubmeshFields> submeshes;
};

M3gRecord m3gVertexArrayRecord(const M3gVertexArrayFields& fields);
M3gRecord m3gVertexBufferRecord(const M3gVertexBufferFields& fields);
M3gRecord m3gTriangleStripRecord(const M3gTriangleStripFields& fields);
// A mesh's data, which the morphing and skinned meshes start with.
void m3gWriteMesh(M3gRecordWriter& out, const M3gMeshFields& fields);
inline void m3gWriteCommon(M3gRecordWriter& out, const M3gMeshFields& fields) { m3gWriteMesh(out, fields); }
M3gRecord m3gMeshRecord(const M3gMeshFields& fields);

// A small scene for tests and fuzz seeds, in one section of the scheme: a
// group holding a mesh (user id 77) of two submeshes over one vertex buffer
// (colour 0x11223344, scale 0.5, bias 1, 2, 3) with four delta-encoded 16-bit
// positions (-100, 200, 300), (32767, -32768, 0), (5, 5, 5), (7, -7, 7) and
// four 8-bit normals; submesh 0 an implicit strip 1, 2, 3, submesh 1 the
// explicit strip 3, 2, 1, 0; no appearances.
std::vector<uint8_t> m3gSampleMeshScene(uint8_t scheme);
