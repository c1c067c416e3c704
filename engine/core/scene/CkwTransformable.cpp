// Transformable: the copy-on-write component block, the setters with their
// tolerance, the composite transform and the transform part of file objects.
#include "engine/core/scene/CkwTransformable.h"

#include <cmath>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"

namespace {


bool differs(const float* a, float x, float y, float z)
{
    return std::fabs(a[0] - x) > kSceneEpsilon || std::fabs(a[1] - y) > kSceneEpsilon
        || std::fabs(a[2] - z) > kSceneEpsilon;
}

CkwMatrix* newMatrix(const CkwMatrix& value)
{
    auto* matrix = static_cast<CkwMatrix*>(engineNewL(static_cast<uint32_t>(sizeof(CkwMatrix))));
    *matrix = value;
    return matrix;
}

} // namespace

CkwTransformable::CkwTransformable() : m_components(engineContextL().defaultTransform) {}

CkwTransformable::~CkwTransformable() { freeComponents(); }

void CkwTransformable::freeComponents()
{
    if (!(m_flags & kFlagSharedMatrix))
        engineFree(const_cast<CkwMatrix*>(m_components->generalMatrix));
    if (!(m_flags & kFlagSharedBlock))
        engineFree(m_components);
}

void CkwTransformable::ownComponents()
{
    if (!(m_flags & kFlagSharedBlock))
        return;
    const DefaultTransformBlock* shared = m_components;
    auto* block = static_cast<DefaultTransformBlock*>(engineNewL(static_cast<uint32_t>(sizeof(DefaultTransformBlock))));
    *block = *shared;
    block->matrix.setIdentity();
    m_components = block;
    m_flags = kFlagSharedMatrix;
}

void CkwTransformable::invalidate()
{
    if (!sharesDefaultBlock())
        m_flags |= kFlagCompositeDirty;
}

void CkwTransformable::setTranslation(float x, float y, float z)
{
    if (!differs(m_components->translation, x, y, z))
        return;
    ownComponents();
    vector3Set(m_components->translation, x, y, z);
    invalidate();
}

void CkwTransformable::setScale(float x, float y, float z)
{
    if (!differs(m_components->scale, x, y, z))
        return;
    ownComponents();
    vector3Set(m_components->scale, x, y, z);
    invalidate();
}

void CkwTransformable::setOrientation(const float* q)
{
    if (quaternionEquals(m_components->orientation, q))
        return;
    ownComponents();
    quaternionCopy(m_components->orientation, q);
    invalidate();
}

void CkwTransformable::translate(float x, float y, float z)
{
    if (std::fabs(x) <= kSceneEpsilon && std::fabs(y) <= kSceneEpsilon && std::fabs(z) <= kSceneEpsilon)
        return;
    ownComponents();
    float* t = m_components->translation;
    vector3Set(t, t[0] + x, t[1] + y, t[2] + z);
    invalidate();
}

void CkwTransformable::scale(float x, float y, float z)
{
    if (std::fabs(x - 1.0f) <= kSceneEpsilon && std::fabs(y - 1.0f) <= kSceneEpsilon
        && std::fabs(z - 1.0f) <= kSceneEpsilon)
        return;
    ownComponents();
    float* s = m_components->scale;
    vector3Set(s, s[0] * x, s[1] * y, s[2] * z);
    invalidate();
}

void CkwTransformable::preRotate(const float* q)
{
    ownComponents();
    quaternionPreMultiply(m_components->orientation, q);
    quaternionNormalize(m_components->orientation);
    invalidate();
}

void CkwTransformable::postRotate(const float* q)
{
    ownComponents();
    quaternionMultiply(m_components->orientation, q);
    quaternionNormalize(m_components->orientation);
    invalidate();
}

void CkwTransformable::setTransform(const CkwTransform* transform)
{
    if (transform == nullptr) {
        if (m_flags & kFlagSharedMatrix)
            return;
        engineFree(const_cast<CkwMatrix*>(m_components->generalMatrix));
        m_components->generalMatrix = engineContextL().identityMatrix;
        m_flags |= kFlagSharedMatrix;
        invalidate();
        return;
    }
    if (getClassId() != kClassTexture2D && !transform->matrix().isAffine())
        leave(KErrIllegalArgument);
    installTransform(transform->matrix());
}

void CkwTransformable::installTransform(const CkwMatrix& matrix)
{
    CkwMatrix value = matrix;
    value.classify();
    if (sharesDefaultBlock() && value.getClass() == kMatrixIdentity)
        return;
    ownComponents();
    if (m_flags & kFlagSharedMatrix) {
        m_components->generalMatrix = newMatrix(value);
        m_flags &= static_cast<uint8_t>(~kFlagSharedMatrix);
    } else {
        *const_cast<CkwMatrix*>(m_components->generalMatrix) = value;
    }
    invalidate();
}

void CkwTransformable::getTransform(CkwTransform& out) const { out.matrix() = getGeneralMatrix(); }

void CkwTransformable::buildComposite(CkwMatrix& out) const
{
    out = getGeneralMatrix();
    const float* s = m_components->scale;
    out.scale(s[0], s[1], s[2]);
    const float* q = m_components->orientation;
    if (q[3] != 1.0f && q[3] != -1.0f) {
        CkwMatrix rotation;
        quaternionToMatrix(q, rotation);
        out.preMultiply(rotation);
    }
    const float* t = m_components->translation;
    out.translate(t[0], t[1], t[2]);
}

void CkwTransformable::getCompositeTransform(CkwTransform& out) const { buildComposite(out.matrix()); }

const CkwMatrix& CkwTransformable::updateCompositeTransform()
{
    if (m_flags & kFlagCompositeDirty) {
        buildComposite(m_components->matrix);
        m_flags &= static_cast<uint8_t>(~kFlagCompositeDirty);
    }
    return m_components->matrix;
}

void CkwTransformable::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    if (buffer.readBoolean()) {
        float v[3];
        buffer.readVector3(v);
        setTranslation(v[0], v[1], v[2]);
        buffer.readVector3(v);
        setScale(v[0], v[1], v[2]);
        const float angle = buffer.readFloat() * kDegreesToRadians;
        buffer.readVector3(v);
        if (angle != 0.0f) {
            if (v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f)
                leave(KErrIllegalArgument);
            float q[4];
            quaternionFromAxisAngle(q, angle, v);
            setOrientation(q);
        }
    }
    if (buffer.readBoolean()) {
        CkwMatrix matrix;
        buffer.readMatrix(matrix);
        installTransform(matrix);
    }
    invalidate();
}

bool CkwTransformable::isAnimatable(int32_t property) const
{
    return property == kPropertyOrientation || property == kPropertyScale || property == kPropertyTranslation
        || CkwObject3D::isAnimatable(property);
}

void CkwTransformable::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyOrientation: {
        float q[4] = {values[0], values[1], values[2], values[3]};
        quaternionNormalize(q);
        setOrientation(q);
        break;
    }
    case kPropertyScale:
        setScale(values[0], values[1], values[2]);
        break;
    case kPropertyTranslation:
        setTranslation(values[0], values[1], values[2]);
        break;
    default:
        CkwObject3D::applyAnimatedProperty(property, components, values);
        break;
    }
}

void CkwTransformable::copyFrom(const CkwTransformable& source)
{
    CkwObject3D::copyFrom(source);
    if (source.sharesDefaultBlock()) {
        freeComponents();
        m_components = source.m_components;
        m_flags = source.m_flags;
        return;
    }
    ownComponents();
    CkwMatrix* general = nullptr;
    if (!(source.m_flags & kFlagSharedMatrix))
        general = newMatrix(source.getGeneralMatrix());
    if (!(m_flags & kFlagSharedMatrix))
        engineFree(const_cast<CkwMatrix*>(m_components->generalMatrix));
    vector3Copy(m_components->translation, source.m_components->translation);
    vector3Copy(m_components->scale, source.m_components->scale);
    quaternionCopy(m_components->orientation, source.m_components->orientation);
    m_components->matrix = source.m_components->matrix;
    m_components->generalMatrix = general != nullptr ? general : source.m_components->generalMatrix;
    m_flags = source.m_flags;
}
