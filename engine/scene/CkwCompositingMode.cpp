// Compositing mode: the file data, whose flag order differs from the fields',
// and duplication.
#include "engine/scene/CkwCompositingMode.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"

IkwSerializable* CkwCompositingMode::create() { return new CkwCompositingMode; }

void CkwCompositingMode::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    m_depthTest = buffer.readBoolean();
    m_depthWrite = buffer.readBoolean();
    m_colorWrite = buffer.readBoolean();
    m_alphaWrite = buffer.readBoolean();
    m_blending = buffer.readByteInRange(kAlpha - 1, kReplace + 1);
    m_alphaThreshold = static_cast<float>(buffer.readByte()) * 0.003921569f;
    m_depthOffsetFactor = buffer.readFloat();
    m_depthOffsetUnits = buffer.readFloat();
}

CkwObject3D* CkwCompositingMode::duplicate() const
{
    CkwCleanupPtr<CkwCompositingMode> copy(new CkwCompositingMode);
    copy->copyFrom(*this);
    copy->m_colorWrite = m_colorWrite;
    copy->m_alphaWrite = m_alphaWrite;
    copy->m_depthTest = m_depthTest;
    copy->m_depthWrite = m_depthWrite;
    copy->m_blending = m_blending;
    copy->m_alphaThreshold = m_alphaThreshold;
    copy->m_depthOffsetFactor = m_depthOffsetFactor;
    copy->m_depthOffsetUnits = m_depthOffsetUnits;
    return copy.release();
}
