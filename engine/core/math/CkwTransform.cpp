// The transform object: validation at the interface's edge (array lengths,
// float checks) around the matrix library.
#include "engine/core/math/CkwTransform.h"

#include "engine/core/math/FloatBits.h"
#include "engine/core/math/Quaternion.h"
#include "engine/core/runtime/EngineErrors.h"
#include "engine/core/runtime/Trap.h"

int32_t CkwVertexData::getComponent(int32_t vertex, int32_t component) const
{
    const int64_t index = static_cast<int64_t>(vertex) * components + component;
    if (componentBytes == 1)
        return static_cast<const int8_t*>(data)[index];
    return static_cast<const int16_t*>(data)[index];
}

IkwSerializable* CkwTransform::create()
{
    return new CkwTransform;
}

void CkwTransform::get(int32_t n, float* out) const
{
    if (n < 16)
        leave(KErrIllegalArgument);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[4 * r + c] = m_matrix.m[4 * c + r];
}

void CkwTransform::setMatrix(int32_t n, const float* in)
{
    if (n < 16)
        leave(KErrIllegalArgument);
    // General until classified: a leave part-way must not leave a class word
    // that claims more structure than the elements have.
    m_matrix.classWord = kMatrixGeneral;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m_matrix.m[4 * c + r] = checkFloat(in[4 * r + c]);
    m_matrix.classify();
}

void CkwTransform::set(const CkwTransform& other)
{
    m_matrix = other.m_matrix;
    m_matrix.classify();
}

void CkwTransform::setIdentity()
{
    m_matrix.setIdentity();
}

void CkwTransform::invert()
{
    if (!m_matrix.invert())
        leave(KErrSingularTransform);
    m_matrix.classify();
}

bool CkwTransform::isInvertible() const
{
    CkwMatrix copy = m_matrix;
    return copy.invert();
}

void CkwTransform::transpose()
{
    m_matrix.transpose();
    m_matrix.classify();
}

void CkwTransform::postMultiply(const CkwTransform& other)
{
    m_matrix.multiply(other.m_matrix);
}

void CkwTransform::postRotateQuat(const float* q)
{
    float unit[4];
    quaternionCopy(unit, q);
    quaternionNormalize(unit);
    CkwMatrix rotation;
    quaternionToMatrix(unit, rotation);
    m_matrix.multiply(rotation);
}

void CkwTransform::postScale(float sx, float sy, float sz)
{
    m_matrix.multiply(CkwMatrix::scaling(sx, sy, sz));
}

void CkwTransform::postTranslate(const float* t)
{
    m_matrix.multiply(CkwMatrix::translation(t[0], t[1], t[2]));
}

void CkwTransform::transform(int32_t n, float* vectors) const
{
    if (n < 0 || n % 4 != 0)
        leave(KErrIllegalArgument);
    for (int32_t i = 0; i < n; i += 4) {
        float* v = vectors + i;
        const float x = checkFloat(v[0]);
        const float y = checkFloat(v[1]);
        const float z = checkFloat(v[2]);
        const float w = checkFloat(v[3]);
        m_matrix.transform4(x, y, z, w, v);
    }
}

void CkwTransform::transformArray(const CkwVertexData& array, int32_t n, float* out, bool withW) const
{
    if (static_cast<int64_t>(n) < 4 * static_cast<int64_t>(array.vertexCount))
        leave(KErrIllegalArgument);
    if (array.components != 2 && array.components != 3)
        leave(KErrIllegalArgument);
    const float w = withW ? 1.0f : 0.0f;
    for (int32_t v = 0; v < array.vertexCount; ++v) {
        const float x = static_cast<float>(array.getComponent(v, 0));
        const float y = static_cast<float>(array.getComponent(v, 1));
        const float z = array.components == 3 ? static_cast<float>(array.getComponent(v, 2)) : 0.0f;
        m_matrix.transform4(x, y, z, w, out + 4 * v);
    }
}
