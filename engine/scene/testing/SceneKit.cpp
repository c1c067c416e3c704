// The kit's geometry: vertex data computed here, handed to the classes
// through their setters as a game would.
#include "engine/scene/testing/SceneKit.h"

#include <cmath>

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwLight.h"
#include "engine/scene/CkwMaterial.h"

namespace {

struct KitGeometry {
    std::vector<int32_t> positions; // xyz, 16-bit
    float positionScale = 1.0f;
    std::vector<int32_t> normals;   // xyz, 8-bit
    std::vector<int32_t> texCoords; // st, 16-bit
    float texCoordScale = 1.0f;
};

// Hands a held object to its new holder: the holder has counted it, so the
// cleanup stack lets go of it (it is the top entry). The setters take their
// count as their last step, so no leave can find a piece both counted and
// still on the stack.
template <class T>
void handOver(CkwCleanupPtr<T>& held)
{
    held.release();
}

CkwVertexBuffer* makeBuffer(const KitGeometry& g)
{
    CkwCleanupPtr<CkwVertexBuffer> buffer(new CkwVertexBuffer);
    {
        CkwCleanupPtr<CkwVertexArray> positions(kitVertexArray(3, 2, g.positions));
        buffer->setPositions(positions.get(), g.positionScale, 0, nullptr);
        handOver(positions);
    }
    {
        CkwCleanupPtr<CkwVertexArray> normals(kitVertexArray(3, 1, g.normals));
        buffer->setNormals(normals.get());
        handOver(normals);
    }
    {
        CkwCleanupPtr<CkwVertexArray> texCoords(kitVertexArray(2, 2, g.texCoords));
        buffer->setTexCoords(0, texCoords.get(), g.texCoordScale, 0, nullptr);
        handOver(texCoords);
    }
    return buffer.release();
}

CkwMesh* makeMesh(const KitGeometry& g, CkwTriangleStripArray* strips, CkwAppearance* appearance)
{
    CkwCleanupPtr<CkwTriangleStripArray> heldStrips(strips);
    CkwCleanupPtr<CkwMesh> mesh(new CkwMesh);
    CkwCleanupPtr<CkwVertexBuffer> buffer(makeBuffer(g));
    mesh->initSingle(buffer.get(), strips, appearance);
    handOver(buffer);
    CkwMesh* done = mesh.release();
    heldStrips.release();
    return done;
}

int32_t toUnit16(double v) { return static_cast<int32_t>(std::lround(v * 32767.0)); }
int32_t toUnit8(double v) { return static_cast<int32_t>(std::lround(v * 127.0)); }

} // namespace

CkwVertexArray* kitVertexArray(int32_t componentCount, int32_t componentSize, const std::vector<int32_t>& values)
{
    CkwCleanupPtr<CkwVertexArray> array(new CkwVertexArray);
    const auto vertices = static_cast<int32_t>(values.size()) / componentCount;
    array->init(vertices, componentCount, componentSize);
    for (int32_t i = 0; i < vertices * componentCount; ++i)
        array->setElement(i / componentCount, i % componentCount, values[static_cast<size_t>(i)]);
    return array.release();
}

CkwMesh* kitBox(float halfSize, CkwAppearance* appearance)
{
    // Each face: normal n and in-plane axes u, v with u x v = n, so the
    // strip n-u-v, n+u-v, n-u+v, n+u+v runs counter-clockwise about n.
    static constexpr int32_t kFaces[6][3][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},   {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},   {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    KitGeometry g;
    g.positionScale = halfSize;
    for (const auto& face : kFaces) {
        for (int32_t corner = 0; corner < 4; ++corner) {
            const int32_t su = (corner & 1) != 0 ? 1 : -1;
            const int32_t sv = (corner & 2) != 0 ? 1 : -1;
            for (int32_t axis = 0; axis < 3; ++axis) {
                g.positions.push_back(face[0][axis] + su * face[1][axis] + sv * face[2][axis]);
                g.normals.push_back(face[0][axis] * 127);
            }
            g.texCoords.push_back(su > 0 ? 1 : 0);
            g.texCoords.push_back(sv > 0 ? 0 : 1);
        }
    }
    CkwCleanupPtr<CkwTriangleStripArray> strips(new CkwTriangleStripArray);
    const int32_t lengths[6] = {4, 4, 4, 4, 4, 4};
    strips->initImplicit(0, 6, lengths);
    return makeMesh(g, strips.release(), appearance);
}

CkwMesh* kitSphere(int32_t segments, float radius, CkwAppearance* appearance)
{
    const int32_t bands = segments / 2 < 2 ? 2 : segments / 2;
    if (segments < 3 || (bands + 1) * (segments + 1) > CkwVertexArray::kMaxVertices)
        leave(KErrIllegalArgument);
    const double pi = std::acos(-1.0);
    KitGeometry g;
    g.positionScale = radius / 32767.0f;
    g.texCoordScale = 1.0f / 32767.0f;
    // Ring r at polar angle pi r / bands; x = sin t cos p, y = cos t,
    // z = -sin t sin p, so the strip top, bottom, top' is counter-clockwise
    // from outside.
    for (int32_t r = 0; r <= bands; ++r) {
        const double theta = pi * r / bands;
        for (int32_t j = 0; j <= segments; ++j) {
            const double phi = 2.0 * pi * j / segments;
            const double n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), -std::sin(theta) * std::sin(phi)};
            for (double c : n) {
                g.positions.push_back(toUnit16(c));
                g.normals.push_back(toUnit8(c));
            }
            g.texCoords.push_back(toUnit16(static_cast<double>(j) / segments));
            g.texCoords.push_back(toUnit16(static_cast<double>(r) / bands));
        }
    }
    std::vector<int32_t> indices;
    std::vector<int32_t> lengths;
    for (int32_t r = 0; r < bands; ++r) {
        for (int32_t j = 0; j <= segments; ++j) {
            indices.push_back(r * (segments + 1) + j);
            indices.push_back((r + 1) * (segments + 1) + j);
        }
        lengths.push_back(2 * (segments + 1));
    }
    CkwCleanupPtr<CkwTriangleStripArray> strips(new CkwTriangleStripArray);
    strips->initExplicit(static_cast<int32_t>(indices.size()), indices.data(), bands, lengths.data());
    return makeMesh(g, strips.release(), appearance);
}

CkwAppearance* kitAppearance(uint32_t argb)
{
    CkwCleanupPtr<CkwAppearance> appearance(new CkwAppearance);
    CkwCleanupPtr<CkwMaterial> material(new CkwMaterial);
    material->setColor(CkwMaterial::kAmbient | CkwMaterial::kDiffuse, argb);
    appearance->setMaterial(material.get());
    handOver(material);
    return appearance.release();
}

CkwWorld* kitLitWorld(CkwNode* content, float distance, float aspectRatio)
{
    CkwCleanupPtr<CkwWorld> world(new CkwWorld);
    {
        CkwCleanupPtr<CkwCamera> camera(new CkwCamera);
        camera->setPerspective(60.0f, aspectRatio, 0.1f, 100.0f);
        camera->setTranslation(0.0f, 0.0f, distance);
        world->addChild(camera.get());
        handOver(camera);
        world->setActiveCamera(world->getChild(0));
    }
    {
        CkwCleanupPtr<CkwLight> light(new CkwLight);
        light->setMode(CkwLight::kDirectional);
        light->setColor(0xFFFFFF);
        light->setTranslation(0.0f, 0.0f, distance);
        world->addChild(light.get());
        handOver(light);
    }
    if (content != nullptr)
        world->addChild(content);
    return world.release();
}
