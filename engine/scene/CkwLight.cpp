// Light: attenuation with its invariant, animation of colour, intensity and
// the spot cone, and the light's file data.
#include "engine/scene/CkwLight.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

constexpr float kMaxSpotAngle = 90.0f;
constexpr float kMaxSpotExponent = 128.0f;

} // namespace

IkwSerializable* CkwLight::create() { return new CkwLight; }

void CkwLight::setAttenuation(float constant, float linear, float quadratic)
{
    if (constant == 0.0f && linear == 0.0f && quadratic == 0.0f)
        leave(KErrIllegalArgument);
    m_attenuationConstant = constant;
    m_attenuationLinear = linear;
    m_attenuationQuadratic = quadratic;
}

bool CkwLight::isAnimatable(int32_t property) const
{
    return property == kPropertyColor || property == kPropertyIntensity || property == kPropertySpotAngle
        || property == kPropertySpotExponent || CkwNode::isAnimatable(property);
}

void CkwLight::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyColor:
        colorSetRgb(&m_color, values[0], values[1], values[2]);
        break;
    case kPropertyIntensity:
        m_intensity = values[0];
        break;
    case kPropertySpotAngle:
        m_spotAngle = clampFloat(values[0], 0.0f, kMaxSpotAngle);
        break;
    case kPropertySpotExponent:
        m_spotExponent = clampFloat(values[0], 0.0f, kMaxSpotExponent);
        break;
    default:
        CkwNode::applyAnimatedProperty(property, components, values);
        break;
    }
}

void CkwLight::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwNode::deserialize(buffer);
    const float constant = buffer.readFloat();
    const float linear = buffer.readFloat();
    const float quadratic = buffer.readFloat();
    if (constant < 0.0f || linear < 0.0f || quadratic < 0.0f
        || (constant == 0.0f && linear == 0.0f && quadratic == 0.0f))
        leave(KErrCorruptData);
    m_attenuationConstant = constant;
    m_attenuationLinear = linear;
    m_attenuationQuadratic = quadratic;
    buffer.readColor(m_color, false);
    m_mode = buffer.readByteInRange(kAmbient - 1, kSpot + 1);
    m_intensity = buffer.readFloat();
    m_spotAngle = readFloatUpTo(buffer, kMaxSpotAngle);
    m_spotExponent = readFloatUpTo(buffer, kMaxSpotExponent);
}

CkwNode* CkwLight::copyNode() const
{
    CkwCleanupPtr<CkwLight> copy(new CkwLight);
    copy->copyNodeFields(*this);
    copy->m_attenuationConstant = m_attenuationConstant;
    copy->m_attenuationLinear = m_attenuationLinear;
    copy->m_attenuationQuadratic = m_attenuationQuadratic;
    copy->m_color = m_color;
    copy->m_intensity = m_intensity;
    copy->m_spotAngle = m_spotAngle;
    copy->m_spotExponent = m_spotExponent;
    copy->m_mode = m_mode;
    return copy.release();
}
