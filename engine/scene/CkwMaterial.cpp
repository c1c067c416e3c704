// Material: colour targets, animation of the colours, alpha and shininess,
// and the material's file data.
#include "engine/scene/CkwMaterial.h"

#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

constexpr float kMaxShininess = 128.0f;

} // namespace

IkwSerializable* CkwMaterial::create() { return new CkwMaterial; }

void CkwMaterial::setColor(int32_t targets, uint32_t argb)
{
    if (targets == 0 || (targets & ~kAllTargets) != 0)
        leave(KErrIllegalArgument);
    if (targets & kAmbient)
        m_ambientColor = argb & 0xFFFFFF;
    if (targets & kDiffuse)
        m_diffuseColor = argb;
    if (targets & kEmissive)
        m_emissiveColor = argb & 0xFFFFFF;
    if (targets & kSpecular)
        m_specularColor = argb & 0xFFFFFF;
}

uint32_t CkwMaterial::getColor(int32_t target) const
{
    switch (target) {
    case kAmbient:
        return m_ambientColor;
    case kDiffuse:
        return m_diffuseColor;
    case kEmissive:
        return m_emissiveColor;
    case kSpecular:
        return m_specularColor;
    default:
        return 0;
    }
}

bool CkwMaterial::isAnimatable(int32_t property) const
{
    switch (property) {
    case kPropertyAlpha:
    case kPropertyAmbientColor:
    case kPropertyDiffuseColor:
    case kPropertyEmissiveColor:
    case kPropertyShininess:
    case kPropertySpecularColor:
        return true;
    default:
        return CkwObject3D::isAnimatable(property);
    }
}

void CkwMaterial::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyAlpha:
        colorSetAlpha(&m_diffuseColor, clampFloat(values[0], 0.0f, 1.0f));
        break;
    case kPropertyAmbientColor:
        colorSetRgb(&m_ambientColor, values[0], values[1], values[2]);
        break;
    case kPropertyDiffuseColor:
        colorSetRgb(&m_diffuseColor, values[0], values[1], values[2]);
        break;
    case kPropertyEmissiveColor:
        colorSetRgb(&m_emissiveColor, values[0], values[1], values[2]);
        break;
    case kPropertySpecularColor:
        colorSetRgb(&m_specularColor, values[0], values[1], values[2]);
        break;
    case kPropertyShininess:
        m_shininess = clampFloat(values[0], 0.0f, kMaxShininess);
        break;
    default:
        CkwObject3D::applyAnimatedProperty(property, components, values);
        break;
    }
}

void CkwMaterial::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    buffer.readColor(m_ambientColor, false);
    buffer.readColor(m_diffuseColor, true);
    buffer.readColor(m_emissiveColor, false);
    buffer.readColor(m_specularColor, false);
    m_shininess = readFloatUpTo(buffer, kMaxShininess);
    m_vertexColorTracking = buffer.readBoolean();
}

CkwObject3D* CkwMaterial::duplicate() const
{
    CkwCleanupPtr<CkwMaterial> copy(new CkwMaterial);
    copy->copyFrom(*this);
    copy->m_ambientColor = m_ambientColor;
    copy->m_diffuseColor = m_diffuseColor;
    copy->m_emissiveColor = m_emissiveColor;
    copy->m_specularColor = m_specularColor;
    copy->m_vertexColorTracking = m_vertexColorTracking;
    copy->m_shininess = m_shininess;
    return copy.release();
}
