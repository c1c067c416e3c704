// Scenes for the renderer's tests and benchmarks, built with the engine's own
// scene classes: boxes, quads and spheres with normals and texture
// coordinates, checker textures, lit appearances and a world with a camera.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/core/math/Quaternion.h"
#include "engine/scene/CkwAppearance.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwImage2D.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/CkwVertexBuffer.h"
#include "engine/scene/CkwWorld.h"

namespace renderkit {

// A vertex array of 16-bit components.
inline CkwVertexArray* shortArray(int32_t components, const std::vector<int16_t>& values)
{
    auto* a = static_cast<CkwVertexArray*>(CkwVertexArray::create());
    const int32_t n = static_cast<int32_t>(values.size()) / components;
    a->init(n, components, 2);
    a->setShorts(0, n, static_cast<int32_t>(values.size()), values.data());
    return a;
}

struct MeshData {
    std::vector<int16_t> positions, normals, texCoords;
    std::vector<int32_t> stripLengths;
    float positionScale = 1.0f;
    float texScale = 1.0f;
};

// Strips laid end to end, drawn from vertex 0 on.
inline CkwMesh* buildMesh(const MeshData& d, CkwAppearance* appearance)
{
    auto* vb = static_cast<CkwVertexBuffer*>(CkwVertexBuffer::create());
    const float zero[3] = {0, 0, 0};
    vb->setPositions(shortArray(3, d.positions), d.positionScale, 3, zero);
    if (!d.normals.empty())
        vb->setNormals(shortArray(3, d.normals));
    if (!d.texCoords.empty())
        vb->setTexCoords(0, shortArray(2, d.texCoords), d.texScale, 2, zero);
    auto* strips = static_cast<CkwTriangleStripArray*>(CkwTriangleStripArray::create());
    strips->initImplicit(0, static_cast<int32_t>(d.stripLengths.size()), d.stripLengths.data());
    auto* mesh = static_cast<CkwMesh*>(CkwMesh::create());
    mesh->initSingle(vb, strips, appearance);
    return mesh;
}

// The faces of a cube of the given half size, each a strip of four
// counter-clockwise seen from outside, with s across and t down the face.
inline MeshData boxData(float halfSize)
{
    static const int8_t kFaces[6][9] = {
        // normal, u, v with u x v = normal
        {1, 0, 0, 0, 0, -1, 0, 1, 0},  {-1, 0, 0, 0, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 0, 0, 0, -1},
        {0, -1, 0, 1, 0, 0, 0, 0, 1},  {0, 0, 1, 1, 0, 0, 0, 1, 0},  {0, 0, -1, -1, 0, 0, 0, 1, 0},
    };
    MeshData d;
    d.positionScale = halfSize;
    for (const auto& f : kFaces) {
        for (int32_t corner = 0; corner < 4; ++corner) {
            const int32_t a = (corner & 1) ? 1 : -1, b = (corner & 2) ? 1 : -1;
            for (int32_t i = 0; i < 3; ++i) {
                d.positions.push_back(static_cast<int16_t>(f[i] + f[3 + i] * a + f[6 + i] * b));
                d.normals.push_back(static_cast<int16_t>(f[i] * 127));
            }
            d.texCoords.push_back(static_cast<int16_t>((a + 1) / 2));
            d.texCoords.push_back(static_cast<int16_t>((1 - b) / 2));
        }
        d.stripLengths.push_back(4);
    }
    return d;
}

// A square in the z = 0 plane facing +z, corners at +-halfSize.
inline MeshData quadData(float halfSize)
{
    MeshData d;
    d.positionScale = halfSize;
    d.positions = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    d.normals = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127};
    d.texCoords = {0, 1, 1, 1, 0, 0, 1, 0};
    d.stripLengths = {4};
    return d;
}

// A unit sphere of rings x segments x 2 triangles, one strip per ring.
inline MeshData sphereData(int32_t rings, int32_t segments, float radius)
{
    MeshData d;
    d.positionScale = radius / 16384.0f;
    d.texScale = 1.0f / 1024.0f;
    const float pi = 3.14159265f;
    for (int32_t r = 0; r < rings; ++r) {
        for (int32_t s = 0; s <= segments; ++s) {
            for (int32_t k = 1; k >= 0; --k) {
                const float theta = pi * (r + k) / rings, phi = 2 * pi * s / segments;
                const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = -std::sin(theta) * std::sin(phi);
                d.positions.insert(d.positions.end(), {static_cast<int16_t>(x * 16384), static_cast<int16_t>(y * 16384),
                                                       static_cast<int16_t>(z * 16384)});
                d.normals.insert(d.normals.end(), {static_cast<int16_t>(x * 32767), static_cast<int16_t>(y * 32767),
                                                   static_cast<int16_t>(z * 32767)});
                d.texCoords.insert(d.texCoords.end(), {static_cast<int16_t>(4096 * s / segments),
                                                       static_cast<int16_t>(4096 * (r + k) / rings)});
            }
        }
        d.stripLengths.push_back(2 * (segments + 1));
    }
    return d;
}

// size x size RGB checker of cells x cells squares, colours 0xRRGGBB.
inline CkwImage2D* checkerImage(int32_t size, int32_t cells, uint32_t a, uint32_t b)
{
    std::vector<uint8_t> rgb;
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x) {
            const uint32_t c = ((x * cells / size) + (y * cells / size)) % 2 ? b : a;
            rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        }
    auto* image = static_cast<CkwImage2D*>(CkwImage2D::create());
    image->initWithData(kImageFormatRgb, size, size, static_cast<int32_t>(rgb.size()), rgb.data());
    return image;
}

inline CkwTexture2D* texture(CkwImage2D* image, int32_t function)
{
    auto* t = static_cast<CkwTexture2D*>(CkwTexture2D::create());
    t->setImage(image);
    t->setBlending(function);
    t->setFiltering(kTextureFilterBaseLevel, kTextureFilterNearest);
    return t;
}

inline CkwMaterial* material(uint32_t diffuse, uint32_t ambient)
{
    auto* m = static_cast<CkwMaterial*>(CkwMaterial::create());
    m->setColor(CkwMaterial::kDiffuse, diffuse);
    m->setColor(CkwMaterial::kAmbient, ambient);
    return m;
}

inline CkwLight* light(int32_t mode, uint32_t color, float intensity)
{
    auto* l = static_cast<CkwLight*>(CkwLight::create());
    l->setMode(mode);
    l->setColor(color);
    l->setIntensity(intensity);
    return l;
}

// Rotation by degrees about an axis, as a quaternion.
inline void rotate(CkwNode* node, float degrees, float ax, float ay, float az)
{
    const float half = degrees * 3.14159265f / 360.0f;
    const float len = std::sqrt(ax * ax + ay * ay + az * az);
    const float q[4] = {ax / len * std::sin(half), ay / len * std::sin(half), az / len * std::sin(half), std::cos(half)};
    node->postRotate(q);
}

// A world with a perspective camera at (0, 0, distance) looking down -z.
inline CkwWorld* worldWithCamera(float fovy, float aspect, float near, float far, float distance)
{
    auto* world = static_cast<CkwWorld*>(CkwWorld::create());
    auto* camera = static_cast<CkwCamera*>(CkwCamera::create());
    camera->setPerspective(fovy, aspect, near, far);
    camera->setTranslation(0, 0, distance);
    world->addChild(camera);
    world->setActiveCamera(camera);
    return world;
}

} // namespace renderkit
