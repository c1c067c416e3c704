// What the renderer's tests and benchmarks add to the scene kit: squares,
// checker textures, materials, lights, rotations and a world with a camera.
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
#include "engine/scene/testing/SceneKit.h"

namespace renderkit {

// A square in the z = 0 plane facing +z, corners at +-halfSize, one strip,
// with texture coordinates 0..1 (t down) and the default colour argb.
inline CkwMesh* quad(float halfSize, uint32_t argb, CkwAppearance* appearance)
{
    auto* vb = static_cast<CkwVertexBuffer*>(CkwVertexBuffer::create());
    const float zero[3] = {0, 0, 0};
    vb->setPositions(kitVertexArray(3, 2, {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0}), halfSize, 3, zero);
    vb->setNormals(kitVertexArray(3, 1, {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127}));
    vb->setTexCoords(0, kitVertexArray(2, 2, {0, 1, 1, 1, 0, 0, 1, 0}), 1.0f, 2, zero);
    vb->setDefaultColor(argb);
    auto* strips = static_cast<CkwTriangleStripArray*>(CkwTriangleStripArray::create());
    const int32_t length = 4;
    strips->initImplicit(0, 1, &length);
    auto* mesh = static_cast<CkwMesh*>(CkwMesh::create());
    mesh->initSingle(vb, strips, appearance);
    return mesh;
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
