// Ray picking: the engine's pick state, the walk over a group's subtree, the
// box, triangle, mesh and sprite tests, and the group's two pick entry points.
#include "engine/scene/CkwPick.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwCamera.h"
#include "engine/scene/CkwCompositingMode.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwMesh.h"
#include "engine/scene/CkwPolygonMode.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwRayIntersection.h"
#include "engine/scene/CkwSprite.h"
#include "engine/scene/CkwTexture2D.h"
#include "engine/scene/CkwTriangleStripArray.h"

namespace {

using SkwPickRay = CkwPickData::SkwPickRay;

// Below this a direction component, a determinant or a depth step counts as zero.
constexpr float kPickEpsilon = 1.5e-5f;
// Widens each triangle a little along its third edge, so a ray through the
// edge two triangles share finds one of them.
constexpr float kEdgeTolerance = 1.000015f;
constexpr uint32_t kPolygonModeMask = 2047;
// Stack entries of a viewport pick.
constexpr int32_t kDeviceRay = 0;
constexpr int32_t kCameraRay = 1;

void cross(const float* a, const float* b, float* out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

void difference(const float* a, const float* b, float* out)
{
    vector3Copy(out, a);
    vec3SubInPlace(out, b);
}

// A zero vector stays zero.
void normalize(float* v)
{
    CkwVector3D n = {v[0], v[1], v[2]};
    CkwVector3D::normalize(n);
    vector3Set(v, n.x, n.y, n.z);
}

// Both points, without projective division.
void transformPoints(SkwPickRay& ray, const CkwMatrix& matrix)
{
    for (float* point : {ray.start, ray.end}) {
        CkwVector3D p = {point[0], point[1], point[2]};
        matrix.transformPoint(p, p);
        vector3Set(point, p.x, p.y, p.z);
    }
}

// Vertices relative to the ray start, so the ray starts at the origin. The
// comparisons are written so that NaN from degenerate data misses.
bool rayTriangleTest(const float* direction, const float* a, const float* b, const float* c, uint32_t cullFlags,
                     float& outT, float& outU, float& outV)
{
    float e1[3], e2[3], p[3], q[3];
    difference(a, c, e1);
    difference(b, c, e2);
    cross(direction, e2, p);
    const float det = vec3Dot(e1, p);
    if (!(std::fabs(det) >= kPickEpsilon))
        return false;
    if ((det > 0.0f && (cullFlags & CkwPolygonMode::kBitCullFront)) || (det < 0.0f && (cullFlags & CkwPolygonMode::kBitCullBack)))
        return false;
    const float s[3] = {-c[0], -c[1], -c[2]};
    const float u = vec3Dot(s, p);
    if (det > 0.0f ? (u < 0.0f || u > det) : (u > 0.0f || u < det))
        return false;
    cross(s, e1, q);
    const float v = vec3Dot(direction, q);
    if (det > 0.0f ? (v < 0.0f || u + v > det * kEdgeTolerance) : (v > 0.0f || u + v < det * kEdgeTolerance))
        return false;
    const float t = vec3Dot(e2, q) / det;
    if (!(t >= 0.0f))
        return false;
    outT = t;
    outU = u / det;
    outV = v / det;
    return true;
}

bool withinBox(const float* point, const float* min, const float* max, int32_t skipAxis)
{
    for (int32_t i = 0; i < 3; ++i)
        if (i != skipAxis && !(point[i] >= min[i] && point[i] <= max[i]))
            return false;
    return true;
}

// The ray runs on past its end point; only the start bounds it.
bool rayBoxTest(const SkwPickRay& ray, const float* min, const float* max)
{
    if (withinBox(ray.start, min, max, -1))
        return true;
    float d[3];
    difference(ray.end, ray.start, d);
    for (int32_t axis = 2; axis >= 0; --axis) {
        if (!(std::fabs(d[axis]) > kPickEpsilon))
            continue;
        const float face = d[axis] < 0.0f ? max[axis] : min[axis];
        const float t = (face - ray.start[axis]) / d[axis];
        if (!(t >= 0.0f))
            continue;
        float point[3];
        vector3Add(ray.start, vector3ScaleTo(d, point, t), point);
        if (withinBox(point, min, max, axis))
            return true;
    }
    return false;
}

// Component c of a vertex, 0 past the array's components.
float component(const CkwVertexArray& array, int32_t vertex, int32_t c)
{
    return c < array.getComponentCount() ? static_cast<float>(array.getElement(vertex, c)) : 0.0f;
}

// value(c) + (value(a) - value(c)) u + (value(b) - value(c)) v.
float interpolate(const float* values, float u, float v)
{
    return values[2] + (values[0] - values[2]) * u + (values[1] - values[2]) * v;
}

// One triangle of a mesh as the hit needs it: its vertex indices, its
// positions in the raw units of the position array, the barycentric weights
// of a and b.
struct TriangleHit {
    int32_t index[3];
    float position[3][3];
    float u;
    float v;
};

// The texture coordinates of a unit at the hit, through the texture's
// transform, scale and bias; zero without coordinates or an image.
void hitTexCoords(CkwVertexBuffer& buffer, const CkwAppearance& appearance, int32_t unit, const TriangleHit& hit,
                  float& outS, float& outT)
{
    outS = 0.0f;
    outT = 0.0f;
    const CkwVertexArray* coords = buffer.getTexCoords(unit);
    CkwTexture2D* texture = appearance.getTexture(unit);
    if (coords == nullptr || texture == nullptr || texture->getImage() == nullptr)
        return;
    CkwMatrix x = texture->getTransformMatrix();
    const float* bias = buffer.getTexCoordBias(unit);
    const float scale = buffer.getTexCoordScale(unit);
    x.multiply(CkwMatrix::translation(bias[0], bias[1], bias[2]));
    x.multiply(CkwMatrix::scaling(scale, scale, scale));
    float s[3], t[3], w[3];
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t vertex = hit.index[k];
        const CkwVector3D p = {component(*coords, vertex, 0), component(*coords, vertex, 1),
                               component(*coords, vertex, 2)};
        CkwVector3D out;
        x.transformPointW(p, out, w[k]);
        s[k] = out.x;
        t[k] = out.y;
    }
    CkwVector3D st;
    CkwVector3D::fromHomogeneous(st, interpolate(s, hit.u, hit.v), interpolate(t, hit.u, hit.v), 0.0f,
                                 interpolate(w, hit.u, hit.v));
    outS = st.x;
    outT = st.y;
}

// The vertex normals interpolated, or the normal of the face's front side:
// the side a front face's vertex normals point to, so a mesh reports the
// same side with normals or without.
void hitNormal(CkwVertexBuffer& buffer, const TriangleHit& hit, float* out)
{
    if (const CkwVertexArray* normals = buffer.getNormals()) {
        float n[3][3];
        for (int32_t k = 0; k < 3; ++k) {
            for (int32_t c = 0; c < 3; ++c)
                n[k][c] = component(*normals, hit.index[k], c);
            normalize(n[k]);
        }
        for (int32_t c = 0; c < 3; ++c) {
            const float values[3] = {n[0][c], n[1][c], n[2][c]};
            out[c] = interpolate(values, hit.u, hit.v);
        }
    } else {
        float ac[3], bc[3];
        difference(hit.position[0], hit.position[2], ac);
        difference(hit.position[1], hit.position[2], bc);
        cross(ac, bc, out);
    }
    normalize(out);
}

void recordMeshHit(CkwPickData& data, CkwMesh& mesh, CkwVertexBuffer& buffer, int32_t submesh, float t,
                   const TriangleHit& hit)
{
    CkwRayIntersection& record = *data.result;
    const CkwAppearance& appearance = *mesh.getAppearance(submesh);
    float s[2], tt[2], normal[3];
    for (int32_t unit = 0; unit < CkwVertexBuffer::kTextureUnits; ++unit)
        hitTexCoords(buffer, appearance, unit, hit, s[unit], tt[unit]);
    hitNormal(buffer, hit, normal);
    record.setIntersected(&mesh);
    record.setHit(submesh, t, s, tt, normal);
}

// The triangles of one submesh against the current ray, already in the raw
// units of the positions.
void pickSubmesh(CkwPickData& data, CkwMesh& mesh, CkwVertexBuffer& buffer, int32_t submesh)
{
    const CkwAppearance* appearance = mesh.getAppearance(submesh);
    if (appearance == nullptr)
        return;
    const CkwPolygonMode* mode = appearance->getPolygonMode();
    const uint32_t cull = mode != nullptr ? mode->getModeBits() & kPolygonModeMask : CkwPolygonMode::kDefaultBits;
    const CkwIndexBuffer* indexBuffer = mesh.getIndexBuffer(submesh);
    const int32_t vertexCount = buffer.getVertexCount();
    if (static_cast<int64_t>(indexBuffer->maxIndex()) >= vertexCount)
        leave(KErrIllegalState);
    const auto* strips = dynamic_cast<const CkwTriangleStripArray*>(indexBuffer);
    if (strips == nullptr)
        return;
    const CkwVertexArray& positions = *buffer.getPositions();
    const bool implicit = strips->isImplicit();
    const CkwArray<uint16_t>& indices = strips->getIndices();
    float direction[3];
    difference(data.ray.end, data.ray.start, direction);
    int32_t first = 0;
    uint64_t tested = 0;
    struct Count {
        uint64_t& tested;
        ~Count() { countEngineVisits(tested); }
    } count{tested};
    for (uint16_t length : strips->getStripLengths()) {
        if (!implicit && first + length > indices.count())
            return;
        tested += length > 2 ? static_cast<uint64_t>(length - 2) : 0;
        for (int32_t k = 2; k < length; ++k) {
            TriangleHit hit;
            for (int32_t j = 0; j < 3; ++j)
                hit.index[j] = implicit ? strips->getFirstIndex() + first + k - 2 + j : indices[first + k - 2 + j];
            if (!implicit && (hit.index[0] == hit.index[1] || hit.index[1] == hit.index[2] || hit.index[0] == hit.index[2]))
                continue;
            // Every second triangle of a strip runs the other way round;
            // clockwise winding turns them all.
            if (((k & 1) != 0) != ((cull & CkwPolygonMode::kBitWindingCw) != 0))
                std::swap(hit.index[0], hit.index[1]);
            for (int32_t j = 0; j < 3; ++j) {
                for (int32_t c = 0; c < 3; ++c)
                    hit.position[j][c] = component(positions, hit.index[j], c);
                vec3SubInPlace(hit.position[j], data.ray.start);
            }
            float t;
            if (rayTriangleTest(direction, hit.position[0], hit.position[1], hit.position[2], cull, t, hit.u, hit.v)
                && t < data.result->getDistance())
                recordMeshHit(data, mesh, buffer, submesh, t, hit);
        }
        first += length;
    }
}

// The buffer a mesh is drawn from: a skinned mesh's skinned positions, a
// morphing mesh's morphed ones.
CkwVertexBuffer* pickBuffer(CkwMesh& mesh)
{
    if (auto* skinned = dynamic_cast<CkwSkinnedMesh*>(&mesh))
        return skinned->getSkinnedVertexBuffer(false);
    return mesh.getVertexBuffer() != nullptr ? mesh.getRenderVertexBuffer(0) : nullptr;
}

void pickMesh(CkwPickData& data, CkwMesh& mesh)
{
    if ((data.scope & mesh.getScope()) == 0)
        return;
    CkwVertexBuffer* drawn = pickBuffer(mesh);
    if (drawn == nullptr)
        return;
    // What the renderer refuses to draw is refused here too.
    if (drawn->getPositions() == nullptr || !drawn->keepsSetterShapes())
        leave(KErrIllegalState);
    CkwVertexBuffer& buffer = *drawn;
    CkwVertexArray& positions = *buffer.getPositions();
    const float scale = buffer.getPositionScale();
    const float* bias = buffer.getPositionBias();
    // A mesh squeezed to a point by scale 0 has no area to hit and the ray
    // could not be brought into its units.
    if (scale == 0.0f || buffer.getVertexCount() < 1)
        return;
    float min[3], max[3];
    positions.getBoundsMin(scale, bias, min);
    positions.getBoundsMax(scale, bias, max);
    for (int32_t i = 0; i < 3; ++i)
        if (min[i] > max[i]) // a negative scale turns the box over
            std::swap(min[i], max[i]);
    if (!rayBoxTest(data.ray, min, max))
        return;
    // Into the integer units of the positions, so triangles are read as stored.
    const SkwPickRay saved = data.ray;
    CkwMatrix toRaw;
    toRaw.translate(-bias[0], -bias[1], -bias[2]);
    toRaw.scaleUniform(1.0f / scale);
    transformPoints(data.ray, toRaw);
    // Strips that submeshes or meshes name again are walked again: a pick
    // that would walk past the bound is refused before the mesh that passes it.
    for (int32_t i = 0; i < mesh.getSubmeshCount(); ++i)
        if (mesh.getAppearance(i) != nullptr)
            data.walkedIndices += CkwTriangleStripArray::walkedIndicesOf(mesh.getIndexBuffer(i));
    if (data.walkedIndices > CkwTriangleStripArray::kMaxWalkedIndices)
        leave(KErrIllegalState);
    for (int32_t i = 0; i < mesh.getSubmeshCount(); ++i)
        pickSubmesh(data, mesh, buffer, i);
    data.ray = saved;
}

// The sprite's rectangle faces the camera, so it is tested in device
// coordinates against the pick point, its depth along the camera-space ray.
void pickSprite(CkwPickData& data, CkwSprite& sprite)
{
    if (data.camera == nullptr || (data.scope & sprite.getScope()) == 0 || !sprite.isScaled()
        || sprite.getAppearance() == nullptr || sprite.getImage() == nullptr
        || roundClamp(sprite.getCropWidth(), INT32_MIN, INT32_MAX) == 0
        || roundClamp(sprite.getCropHeight(), INT32_MIN, INT32_MAX) == 0)
        return;
    CkwPickData::SkwCameraStep& meeting = data.cameraPath[std::max(data.onCameraPath - 1, 0)];
    if (!meeting.inverted) {
        if (!meeting.toCamera.invert())
            leave(KErrArithmetic);
        meeting.inverted = true;
    }
    CkwMatrix toCamera = meeting.toCamera;
    toCamera.multiply(data.pathStack.top());
    const SkwPickRay& device = data.rayStack.array()[kDeviceRay];
    const SkwPickRay& view = data.rayStack.array()[kCameraRay];
    CkwVector3D p;
    toCamera.transformPoint(p, {0.0f, 0.0f, 0.0f});
    const float depthStep = view.end[2] - view.start[2];
    if (!(std::fabs(depthStep) > kPickEpsilon))
        return;
    const float tz = (p.z - view.start[2]) / depthStep;
    if (!(tz >= 0.0f && tz < data.result->getDistance()))
        return;
    const float hx = vec3Length(toCamera.m) * 0.5f;
    const float hy = vec3Length(toCamera.m + 4) * 0.5f;
    const CkwMatrix& projection = data.camera->getCheckedProjectionMatrix();
    CkwVector3D topLeft, bottomRight;
    float w = 1.0f;
    projection.transformProject(topLeft, {p.x - hx, p.y + hy, p.z}, w);
    w = 1.0f;
    projection.transformProject(bottomRight, {p.x + hx, p.y - hy, p.z}, w);
    const float nx = device.start[0];
    const float ny = device.start[1];
    if (!(topLeft.x <= nx && nx < bottomRight.x && bottomRight.y <= ny && ny < topLeft.y))
        return;
    int32_t left, top, right, bottom;
    if (!sprite.computeCropCoords(left, top, right, bottom))
        return;
    const int64_t fx = roundToFixed((nx - topLeft.x) / (bottomRight.x - topLeft.x));
    const int64_t fy = roundToFixed((ny - topLeft.y) / (bottomRight.y - topLeft.y));
    const int64_t s = left + ((int64_t{right - left} * fx) >> 16);
    const int64_t t = top + ((int64_t{bottom - top} * fy) >> 16);
    // Off the image nothing is drawn, on either side; a negative place would
    // also read before the texels.
    if (s < 0 || t < 0 || s >= 0x10000 || t >= 0x10000)
        return;
    CkwImage2D& image = *sprite.getImage();
    const CkwCompositingMode* mode = sprite.getAppearance()->getCompositingMode();
    const uint8_t* alpha = image.getAlphaPlane();
    if (mode != nullptr && mode->getAlphaThreshold() > 0.0f && imageFormatHasAlpha(image.getFormat())
        && alpha != nullptr) {
        const int64_t width = image.getWidth();
        const int64_t texel = ((t * image.getHeight()) >> 16) * width + ((s * width) >> 16);
        const uint8_t* indices = image.hasPalette() ? image.getPixels() : nullptr;
        const int32_t a = indices != nullptr ? alpha[indices[texel]] : alpha[texel];
        if (a < saturateToInt(mode->getAlphaThreshold() * 255.0f))
            return;
    }
    const float hitS[2] = {static_cast<float>(s) / 65536.0f, 0.0f};
    const float hitT[2] = {static_cast<float>(t) / 65536.0f, 0.0f};
    const float normal[3] = {0.0f, 0.0f, 1.0f};
    data.result->setIntersected(&sprite);
    data.result->setHit(0, tz, hitS, hitT, normal);
}

// Climbs from the camera and from root to where they meet, as
// getTransformTo does, listing the camera's side from the meeting node down;
// returns root's path from there.
CkwMatrix meetCamera(CkwPickData& data, CkwNode& root)
{
    CkwArray<CkwPickData::SkwCameraStep>& steps = data.cameraPath;
    steps.setCount(0);
    CkwNode* a = data.camera;
    CkwNode* b = &root;
    int32_t depthA = a->getDepth();
    int32_t depthB = b->getDepth();
    CkwMatrix toCamera;
    CkwMatrix rootPath;
    uint64_t climbed = 0;
    const auto climbCamera = [&] {
        toCamera.preMultiply(a->updateCompositeTransform());
        a = a->getParent();
        steps.append({a, toCamera, false});
    };
    const auto climbRoot = [&] {
        rootPath.preMultiply(b->updateCompositeTransform());
        b = b->getParent();
        ++climbed;
    };
    for (; depthA > depthB; --depthA)
        climbCamera();
    for (; depthB > depthA; --depthB)
        climbRoot();
    while (a != b) {
        if (a == nullptr || b == nullptr)
            leave(KErrIllegalState);
        climbCamera();
        climbRoot();
    }
    countEngineVisits(climbed + static_cast<uint64_t>(steps.count()));
    std::reverse(steps.begin(), steps.end());
    data.onCameraPath = a == &root ? 1 : 0;
    return rootPath;
}

// Tests node when it is pickable; returns the child to walk into, if any.
CkwNode* visit(CkwPickData& data, CkwNode& node)
{
    if (!node.isPickingEnabled())
        return nullptr;
    switch (node.getClassId()) {
    case kClassGroup:
    case kClassWorld:
        return node.getFirstChild();
    case kClassMesh:
    case kClassMorphingMesh:
        if (auto* mesh = dynamic_cast<CkwMesh*>(&node))
            pickMesh(data, *mesh);
        return nullptr;
    case kClassSkinnedMesh:
        if (auto* mesh = dynamic_cast<CkwSkinnedMesh*>(&node)) {
            pickMesh(data, *mesh);
            return mesh->getSkeleton();
        }
        return nullptr;
    case kClassSprite:
        pickSprite(data, static_cast<CkwSprite&>(node));
        return nullptr;
    default:
        return nullptr;
    }
}

} // namespace

CkwPickData& getPickData()
{
    EngineContext& context = engineContextL();
    if (context.pickData == nullptr)
        context.pickData = new CkwPickData;
    return *context.pickData;
}

void releasePickData(EngineContext& context)
{
    CkwPickData* data = context.pickData;
    context.pickData = nullptr;
    delete data;
}

void CkwPick::pushRay(CkwPickData& data) { data.rayStack.push(data.ray); }

void CkwPick::popRay(CkwPickData& data)
{
    data.ray = data.rayStack.top();
    data.rayStack.pop();
}

void CkwPick::transformRay(CkwPickData& data, const CkwMatrix& matrix) { transformPoints(data.ray, matrix); }

bool CkwPick::runPick(CkwPickData& data, CkwNode& root, const float* origin, const float* direction,
                      CkwRayIntersection* result)
{
    CkwRayIntersection& record = CkwRayIntersection::shared();
    record.begin(origin, direction);
    data.result = &record;
    data.walkedIndices = 0;
    // The record holds a count on what it hit; a leave in the walk must not
    // keep that node alive until the next pick.
    struct Release {
        CkwRayIntersection& record;
        ~Release() { record.setIntersected(nullptr); }
    } release{record};
    // Each step down pushes the ray and brings it into the child's
    // coordinates; each step back up pops it. No recursion, so a scene of
    // any depth is walked.
    const bool viewport = data.camera != nullptr;
    if (viewport) {
        data.pathStack.array().setCount(0);
        data.pathStack.push(meetCamera(data, root));
    }
    uint64_t steps = 0;
    struct Count {
        uint64_t& steps;
        ~Count() { countEngineVisits(steps); }
    } count{steps};
    for (CkwNode* node = &root;; ++steps) {
        CkwNode* next = visit(data, *node);
        while (next == nullptr) {
            if (node == &root) {
                const bool hit = record.getIntersected() != nullptr;
                if (hit && result != nullptr)
                    result->copyFrom(record);
                return hit;
            }
            popRay(data);
            if (viewport) {
                data.pathStack.pop();
                data.onCameraPath = std::min(data.onCameraPath, data.pathStack.count());
            }
            next = node->getNextSibling();
            node = node->getParent();
            ++steps;
        }
        pushRay(data);
        const CkwMatrix& composite = next->updateCompositeTransform();
        if (viewport) {
            const int32_t level = data.pathStack.count();
            if (data.onCameraPath == level && level < data.cameraPath.count() && data.cameraPath[level].node == next) {
                ++data.onCameraPath;
                data.pathStack.push(CkwMatrix());
            } else {
                CkwMatrix path = data.pathStack.top();
                path.multiply(composite);
                data.pathStack.push(path);
            }
        }
        // A skeleton is walked in its mesh's coordinates: its bones' own
        // transforms apply, its own does not.
        if (node->getClassId() != kClassSkinnedMesh) {
            CkwMatrix inverse = composite;
            if (!inverse.invert())
                leave(KErrArithmetic);
            transformRay(data, inverse);
        }
        node = next;
    }
}

bool CkwGroup::pickViewport(int32_t scope, float x, float y, CkwCamera& camera, CkwRayIntersection* result)
{
    if (!isInSameTree(this, &camera))
        leave(KErrIllegalState);
    CkwPickData& data = getPickData();
    data.rayStack.array().setCount(0);
    data.scope = scope;
    data.camera = &camera;
    CkwMatrix inverse = camera.getCheckedProjectionMatrix();
    if (!inverse.invert())
        leave(KErrIllegalState);
    const float nx = 2.0f * x - 1.0f;
    const float ny = 1.0f - 2.0f * y;
    data.ray = {{nx, ny, -1.0f}, {nx, ny, 1.0f}};
    pushRay(data);
    // Divided by any w but 0: a far plane past 1 / 1.5e-5 units gives the far
    // point a w that transformProject would leave undivided.
    for (float* point : {data.ray.start, data.ray.end}) {
        float p[4];
        inverse.transform4(point[0], point[1], point[2], 1.0f, p);
        const float w = p[3] != 0.0f ? p[3] : 1.0f;
        vector3Set(point, p[0] / w, p[1] / w, p[2] / w);
    }
    pushRay(data);
    CkwMatrix toGroup;
    camera.getTransformTo(this, toGroup);
    toGroup.classify();
    transformRay(data, toGroup);
    float direction[3];
    difference(data.ray.end, data.ray.start, direction);
    const bool hit = runPick(data, *this, data.ray.start, direction, result);
    popRay(data);
    popRay(data);
    return hit;
}

bool CkwGroup::pickRay(int32_t scope, const float* origin, const float* direction, CkwRayIntersection* result)
{
    if (!(std::fabs(direction[0]) > kPickEpsilon || std::fabs(direction[1]) > kPickEpsilon
          || std::fabs(direction[2]) > kPickEpsilon))
        leave(KErrIllegalArgument);
    CkwPickData& data = getPickData();
    data.scope = scope;
    data.camera = nullptr;
    data.rayStack.array().setCount(0);
    vector3Copy(data.ray.start, origin);
    vector3Add(origin, data.ray.end, direction);
    return runPick(data, *this, origin, direction, result);
}
