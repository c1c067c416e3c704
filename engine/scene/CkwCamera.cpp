// Camera: projection parameters, the lazily rebuilt matrix, animation of the
// planes and the field of view, and the camera's file data.
#include "engine/scene/CkwCamera.h"

#include <cmath>
#include <limits>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"

namespace {

constexpr float kSmallestNormal = std::numeric_limits<float>::min();
constexpr float kWidestFovy = 179.99998f;

// A perspective plane must stay in front of the eye.
float positivePlane(int32_t kind, float value)
{
    return kind == CkwCamera::kPerspective && value <= 0.0f ? kSmallestNormal : value;
}

} // namespace

IkwSerializable* CkwCamera::create() { return new CkwCamera; }

void CkwCamera::setPerspective(float fovy, float aspectRatio, float near, float far)
{
    m_fovy = fovy;
    m_aspectRatio = aspectRatio;
    m_near = near;
    m_far = far;
    m_projectionKind = kPerspective;
    m_projectionDirty = true;
}

void CkwCamera::setParallel(float height, float aspectRatio, float near, float far)
{
    m_height = height;
    m_aspectRatio = aspectRatio;
    m_near = near;
    m_far = far;
    m_projectionKind = kParallel;
    m_projectionDirty = true;
}

void CkwCamera::setGeneric(const CkwTransform& transform)
{
    if (!CkwTransform::isInvertible(transform))
        leave(KErrIllegalArgument);
    m_projectionKind = kGeneric;
    m_projection = transform.matrix();
    m_projectionDirty = false;
}

int32_t CkwCamera::getProjectionParams(int32_t count, float* out) const
{
    if (out == nullptr)
        return m_projectionKind;
    if (count < 4)
        leave(KErrIllegalArgument);
    if (m_projectionKind == kGeneric)
        return m_projectionKind;
    out[0] = m_projectionKind == kPerspective ? m_fovy : m_height;
    out[1] = m_aspectRatio;
    out[2] = m_near;
    out[3] = m_far;
    return m_projectionKind;
}

void CkwCamera::checkDepthRange() const
{
    if (std::fabs(m_far - m_near) <= kSceneEpsilon)
        leave(KErrArithmetic);
}

int32_t CkwCamera::getProjection(CkwTransform* out)
{
    checkDepthRange();
    if (out != nullptr)
        out->matrix() = getProjectionMatrix();
    return m_projectionKind;
}

const CkwMatrix& CkwCamera::getProjectionMatrix()
{
    updateProjection();
    return m_projection;
}

const CkwMatrix& CkwCamera::getCheckedProjectionMatrix()
{
    checkDepthRange();
    return getProjectionMatrix();
}

void CkwCamera::updateProjection()
{
    if (m_projectionKind == kGeneric || !m_projectionDirty)
        return;
    const float n = m_near;
    const float f = m_far;
    float* m = m_projection.m;
    for (int i = 0; i < 16; ++i)
        m[i] = 0.0f;
    // Element (row r, column c) is m[4c + r].
    if (m_projectionKind == kParallel) {
        m[0] = 1.0f / m_height * 2.0f / m_aspectRatio;
        m[5] = 2.0f / m_height;
        m[10] = -2.0f / (f - n);
        m[14] = -(n + f) / (f - n);
        m[15] = 1.0f;
        m_projection.setClass(kMatrixAffine);
    } else {
        const float half = m_fovy * kDegreesToRadians * 0.5f;
        const float t = 1.0f / static_cast<float>(std::tan(static_cast<double>(half)));
        m[0] = t / m_aspectRatio;
        m[5] = t;
        m[10] = -(n + f) / (f - n);
        m[14] = n * f * -2.0f / (f - n);
        m[11] = -1.0f;
        m_projection.setClass(kMatrixGeneral);
    }
    m_projectionDirty = false;
}

bool CkwCamera::isAnimatable(int32_t property) const
{
    return property == kPropertyFar || property == kPropertyFieldOfView || property == kPropertyNear
        || CkwNode::isAnimatable(property);
}

void CkwCamera::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    const float v = values[0];
    switch (property) {
    case kPropertyFar:
        m_far = positivePlane(m_projectionKind, v);
        break;
    case kPropertyNear:
        m_near = positivePlane(m_projectionKind, v);
        break;
    case kPropertyFieldOfView:
        if (m_projectionKind == kParallel)
            m_height = v <= 0.0f ? kSceneEpsilon : v;
        else
            m_fovy = v <= 0.0f ? kSceneEpsilon : (v >= 180.0f ? kWidestFovy : v);
        break;
    default:
        CkwNode::applyAnimatedProperty(property, components, values);
        return;
    }
    m_projectionDirty = true;
}

void CkwCamera::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwNode::deserialize(buffer);
    const int32_t kind = buffer.readByteInRange(kGeneric - 1, kPerspective + 1);
    m_projectionKind = kind;
    if (kind == kGeneric) {
        buffer.readMatrix(m_projection);
        return;
    }
    const float first = buffer.readFloat();
    if (kind == kPerspective ? !(first > 0.0f && first < 180.0f) : !(first > 0.0f))
        leave(KErrCorruptData);
    (kind == kPerspective ? m_fovy : m_height) = first;
    m_aspectRatio = buffer.readFloat();
    if (!(m_aspectRatio > 0.0f))
        leave(KErrCorruptData);
    m_near = buffer.readFloat();
    m_far = buffer.readFloat();
    if (!(std::fabs(m_near - m_far) > kSceneEpsilon))
        leave(KErrCorruptData);
    if (kind == kPerspective && !(m_near > 0.0f && m_far > 0.0f))
        leave(KErrCorruptData);
}

CkwNode* CkwCamera::copyNode() const
{
    CkwCleanupPtr<CkwCamera> copy(new CkwCamera);
    copy->copyNodeFields(*this);
    copy->m_projectionKind = m_projectionKind;
    copy->m_projectionDirty = m_projectionDirty;
    copy->m_projection = m_projection;
    copy->m_fovy = m_fovy;
    copy->m_height = m_height;
    copy->m_aspectRatio = m_aspectRatio;
    copy->m_near = m_near;
    copy->m_far = m_far;
    return copy.release();
}
