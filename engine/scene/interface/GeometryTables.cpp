// The VertexArray, VertexBuffer, TriangleStripArray, Mesh and
// RayIntersection tables: the argument checks of each entry before the class
// is called.
#include "engine/scene/interface/GeometryTables.h"

#include "engine/core/interface/CommonEntries.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwMorphingMesh.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwTriangleStripArray.h"

namespace {

// The objects behind n handles; a null handle gives a null entry.
template <class T>
void fillObjects(CkwArray<T*>& out, uint32_t n, EngineHandle* const* handles, uint32_t iid)
{
    if (n != 0 && handles == nullptr)
        leave(KErrNullArgument);
    out.setCount(sizeArgument(n));
    for (int32_t i = 0; i < out.count(); ++i)
        out[i] = argumentOf<T>(handles[i], iid);
}

CkwVertexArray* arrayArgument(EngineHandle* handle) { return argumentOf<CkwVertexArray>(handle, kIidVertexArray); }

// The checks the entries make before the class's own: a negative count is
// illegal and the values must be there.
template <class T>
T* valuesArgument(int32_t count, T* values)
{
    if (count < 0)
        leave(KErrIllegalArgument);
    return &requireOut(values);
}

void initMeshL(CkwMesh& mesh, EngineHandle* vertexBuffer, uint32_t submeshCount, EngineHandle* const* indexBuffers,
               uint32_t appearanceCount, EngineHandle* const* appearances)
{
    CkwVertexBuffer& buffer = requireArgument<CkwVertexBuffer>(vertexBuffer, kIidVertexBuffer);
    if (submeshCount == 0)
        leave(KErrNullArgument);
    CkwCleanupPtr<CkwArray<CkwIndexBuffer*>> indexObjects(new CkwArray<CkwIndexBuffer*>);
    fillObjects(*indexObjects.get(), submeshCount, indexBuffers, kIidIndexBuffer);
    CkwCleanupPtr<CkwArray<CkwAppearance*>> appearanceObjects(new CkwArray<CkwAppearance*>);
    fillObjects(*appearanceObjects.get(), appearanceCount, appearances, kIidAppearance);
    // No appearances at all is a mesh whose submeshes have none.
    mesh.init(&buffer, indexObjects->count(), indexObjects->data(), appearanceObjects->count(),
              appearanceCount != 0 ? appearanceObjects->data() : nullptr);
}

} // namespace

constexpr IkwVertexArrayTable kVertexArrayTable = {
    kObject3DEntries,
    trapped<+[](CkwVertexArray& a, uint32_t vertices, uint32_t components, uint32_t size) {
        // Ranges written with < only: a > would end the template argument.
        if (vertices < 1 || CkwVertexArray::kMaxVertices < vertices || components < 2 || 4 < components || size < 1
            || 2 < size)
            leave(KErrIllegalArgument);
        a.init(static_cast<int32_t>(vertices), static_cast<int32_t>(components), static_cast<int32_t>(size));
    }>,
    plain<+[](CkwVertexArray& a, uint32_t* out) { *out = static_cast<uint32_t>(a.getVertexCount()); }>,
    plain<+[](CkwVertexArray& a, uint32_t* out) { *out = static_cast<uint32_t>(a.getComponentCount()); }>,
    plain<+[](CkwVertexArray& a, uint32_t* out) { *out = static_cast<uint32_t>(a.getComponentSize()); }>,
    trapped<+[](CkwVertexArray& a, int32_t first, int32_t count, uint32_t length, int16_t* values) {
        a.getShorts(first, count, sizeArgument(length), valuesArgument(count, values));
    }>,
    trapped<+[](CkwVertexArray& a, int32_t first, int32_t count, uint32_t length, const int16_t* values) {
        a.setShorts(first, count, sizeArgument(length), valuesArgument(count, values));
    }>,
    trapped<+[](CkwVertexArray& a, int32_t first, int32_t count, uint32_t length, int8_t* values) {
        a.getBytes(first, count, sizeArgument(length), valuesArgument(count, values));
    }>,
    trapped<+[](CkwVertexArray& a, int32_t first, int32_t count, uint32_t length, const int8_t* values) {
        a.setBytes(first, count, sizeArgument(length), valuesArgument(count, values));
    }>,
};

constexpr IkwVertexBufferTable kVertexBufferTable = {
    kObject3DEntries,
    handing<+[](CkwVertexBuffer& b) { return b.getNormals(); }>,
    trapped<+[](CkwVertexBuffer& b, EngineHandle* normals) { b.setNormals(arrayArgument(normals)); }>,
    handing<+[](CkwVertexBuffer& b) { return b.getColors(); }>,
    trapped<+[](CkwVertexBuffer& b, EngineHandle* colors) { b.setColors(arrayArgument(colors)); }>,
    plain<+[](CkwVertexBuffer& b, uint32_t* out) { *out = b.getDefaultColor(); }>,
    plain<+[](CkwVertexBuffer& b, uint32_t argb) { b.setDefaultColor(argb); }>,
    plain<+[](CkwVertexBuffer& b, uint32_t* out) { *out = static_cast<uint32_t>(b.getVertexCount()); }>,
    handing<+[](CkwVertexBuffer& b, uint32_t size, float* scaleBias) {
        return b.getPositions(sizeArgument(size), scaleBias);
    }>,
    trapped<+[](CkwVertexBuffer& b, EngineHandle* positions, float scale, uint32_t biasLength, const float* bias) {
        const float s = checkFloat(scale);
        b.setPositions(arrayArgument(positions), s, sizeArgument(biasLength), bias);
    }>,
    handing<+[](CkwVertexBuffer& b, uint32_t unit, uint32_t size, float* scaleBias) {
        return b.getTexCoords(sizeArgument(unit), sizeArgument(size), scaleBias);
    }>,
    trapped<+[](CkwVertexBuffer& b, uint32_t unit, EngineHandle* texCoords, float scale, uint32_t biasLength,
                const float* bias) {
        const float s = checkFloat(scale);
        b.setTexCoords(sizeArgument(unit), arrayArgument(texCoords), s, sizeArgument(biasLength), bias);
    }>,
};

constexpr IkwTriangleStripArrayTable kTriangleStripArrayTable = {
    kIndexBufferEntries,
    trapped<+[](CkwTriangleStripArray& s, int32_t first, uint32_t stripCount, const int32_t* lengths) {
        s.initImplicit(first, sizeArgument(stripCount), &requireOut(lengths));
    }>,
    trapped<+[](CkwTriangleStripArray& s, uint32_t indexCount, const int32_t* indices, uint32_t stripCount,
                const int32_t* lengths) {
        s.initExplicit(sizeArgument(indexCount), &requireOut(indices), sizeArgument(stripCount), &requireOut(lengths));
    }>,
};

constexpr IkwMeshTable kMeshTable = {
    kNodeEntries,
    trapped<&initMeshL>,
    trapped<+[](CkwMesh& m, EngineHandle* vertexBuffer, EngineHandle* indexBuffer, EngineHandle* appearance) {
        CkwVertexBuffer& buffer = requireArgument<CkwVertexBuffer>(vertexBuffer, kIidVertexBuffer);
        CkwIndexBuffer& indices = requireArgument<CkwIndexBuffer>(indexBuffer, kIidIndexBuffer);
        m.initSingle(&buffer, &indices, argumentOf<CkwAppearance>(appearance, kIidAppearance));
    }>,
    plain<+[](CkwMesh& m, uint32_t* out) { *out = static_cast<uint32_t>(m.getSubmeshCount()); }>,
    handing<+[](CkwMesh& m) { return m.getVertexBuffer(); }>,
    handing<+[](CkwMesh& m, uint32_t index) { return m.getIndexBuffer(sizeArgument(index)); }>,
    handing<+[](CkwMesh& m, uint32_t index) { return m.getAppearance(sizeArgument(index)); }>,
    trapped<+[](CkwMesh& m, uint32_t index, EngineHandle* appearance) {
        m.setAppearance(sizeArgument(index), argumentOf<CkwAppearance>(appearance, kIidAppearance));
    }>,
};

constexpr IkwRayIntersectionTable kRayIntersectionTable = {
    kUnknownEntries,
    plain<+[](CkwRayIntersection& r, float* out) { *out = r.getDistance(); }>,
    handing<+[](CkwRayIntersection& r) { return r.getIntersected(); }>,
    plain<+[](CkwRayIntersection& r, int32_t* out) { *out = r.getSubmeshIndex(); }>,
    plain<+[](CkwRayIntersection& r, float* out) { *out = r.getNormal()[0]; }>,
    plain<+[](CkwRayIntersection& r, float* out) { *out = r.getNormal()[1]; }>,
    plain<+[](CkwRayIntersection& r, float* out) { *out = r.getNormal()[2]; }>,
    trapped<+[](CkwRayIntersection& r, uint32_t unit, float* out) { requireOut(out) = r.getTextureS(sizeArgument(unit)); }>,
    trapped<+[](CkwRayIntersection& r, uint32_t unit, float* out) { requireOut(out) = r.getTextureT(sizeArgument(unit)); }>,
    trapped<+[](CkwRayIntersection& r, uint32_t size, float* ray) { r.getRay(sizeArgument(size), &requireOut(ray)); }>,
};

// Morphing and skinned meshes continue the Mesh table. Their initialisers
// convert the handle arrays as the mesh's does and check what is theirs
// before the mesh part changes.
namespace {

void initMorphingMeshL(CkwMorphingMesh& mesh, EngineHandle* base, uint32_t targetCount, EngineHandle* const* targets,
                       uint32_t submeshCount, EngineHandle* const* indexBuffers, uint32_t appearanceCount,
                       EngineHandle* const* appearances)
{
    if (targetCount == 0)
        leave(KErrNullArgument);
    CkwCleanupPtr<CkwArray<CkwVertexBuffer*>> targetObjects(new CkwArray<CkwVertexBuffer*>);
    fillObjects(*targetObjects.get(), targetCount, targets, kIidVertexBuffer);
    CkwMorphingMesh::checkTargets(targetObjects->count(), targetObjects->data());
    initMeshL(mesh, base, submeshCount, indexBuffers, appearanceCount, appearances);
    mesh.setTargets(targetObjects->count(), targetObjects->data());
}

CkwGroup* skeletonArgument(EngineHandle* skeleton) { return argumentOf<CkwGroup>(skeleton, kIidGroup); }

} // namespace

constexpr IkwMorphingMeshTable kMorphingMeshTable = {
    kMeshTable,
    trapped<&initMorphingMeshL>,
    trapped<+[](CkwMorphingMesh& m, EngineHandle* base, uint32_t targetCount, EngineHandle* const* targets,
                EngineHandle* indexBuffer, EngineHandle* appearance) {
        requireArgument<CkwVertexBuffer>(base, kIidVertexBuffer);
        requireArgument<CkwIndexBuffer>(indexBuffer, kIidIndexBuffer);
        initMorphingMeshL(m, base, targetCount, targets, 1, &indexBuffer, 1, &appearance);
    }>,
    plain<+[](CkwMorphingMesh& m, uint32_t* out) { *out = static_cast<uint32_t>(m.getMorphTargetCount()); }>,
    handing<+[](CkwMorphingMesh& m, uint32_t index) { return m.getMorphTarget(sizeArgument(index)); }>,
    trapped<+[](CkwMorphingMesh& m, uint32_t size, float* weights) { m.getWeights(sizeArgument(size), &requireOut(weights)); }>,
    trapped<+[](CkwMorphingMesh& m, uint32_t size, const float* weights) {
        m.setWeights(sizeArgument(size), &requireOut(weights));
    }>,
};

constexpr IkwSkinnedMeshTable kSkinnedMeshTable = {
    kMeshTable,
    trapped<+[](CkwSkinnedMesh& m, EngineHandle* vertexBuffer, uint32_t submeshCount, EngineHandle* const* indexBuffers,
                uint32_t appearanceCount, EngineHandle* const* appearances, EngineHandle* skeleton) {
        CkwGroup* s = skeletonArgument(skeleton);
        initMeshL(m, vertexBuffer, submeshCount, indexBuffers, appearanceCount, appearances);
        m.setSkeleton(s);
    }>,
    trapped<+[](CkwSkinnedMesh& m, EngineHandle* vertexBuffer, EngineHandle* indexBuffer, EngineHandle* appearance,
                EngineHandle* skeleton) {
        CkwVertexBuffer& buffer = requireArgument<CkwVertexBuffer>(vertexBuffer, kIidVertexBuffer);
        CkwIndexBuffer& indices = requireArgument<CkwIndexBuffer>(indexBuffer, kIidIndexBuffer);
        m.initSingle(&buffer, &indices, argumentOf<CkwAppearance>(appearance, kIidAppearance), skeletonArgument(skeleton));
    }>,
    handing<+[](CkwSkinnedMesh& m) -> CkwObject3D* { return m.getSkeleton(); }>,
    trapped<+[](CkwSkinnedMesh& m, EngineHandle* bone, int32_t weight, int32_t first, int32_t count) {
        m.addTransform(argumentOf<CkwNode>(bone, kIidNode), weight, first, count);
    }>,
    trapped<+[](CkwSkinnedMesh& m, EngineHandle* bone, int32_t indicesLength, int32_t* indices, int32_t weightsLength,
                float* weights, int32_t* count) {
        requireOut(count) = m.getBoneVertices(argumentOf<CkwNode>(bone, kIidNode), indicesLength, indices,
                                              weightsLength, weights);
    }>,
    trapped<+[](CkwSkinnedMesh& m, EngineHandle* bone, EngineHandle* transform) {
        m.getBoneTransform(argumentOf<CkwNode>(bone, kIidNode), argumentOf<CkwTransform>(transform, kIidTransform));
    }>,
};
