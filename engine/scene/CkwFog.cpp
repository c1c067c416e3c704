// Fog: animation of colour, density and distances, and the fog's file data.
#include "engine/scene/CkwFog.h"

#include <cmath>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"

IkwSerializable* CkwFog::create() { return new CkwFog; }

bool CkwFog::isAnimatable(int32_t property) const
{
    return property == kPropertyColor || property == kPropertyDensity || property == kPropertyFar
        || property == kPropertyNear || CkwObject3D::isAnimatable(property);
}

void CkwFog::applyAnimatedProperty(int32_t property, int32_t components, const float* values)
{
    switch (property) {
    case kPropertyColor:
        colorSetRgb(&m_color, values[0], values[1], values[2]);
        break;
    case kPropertyDensity:
        m_density = values[0] < 0.0f ? 0.0f : values[0];
        break;
    case kPropertyFar:
        m_farDistance = values[0];
        break;
    case kPropertyNear:
        m_nearDistance = values[0];
        break;
    default:
        CkwObject3D::applyAnimatedProperty(property, components, values);
        break;
    }
}

void CkwFog::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    buffer.readColor(m_color, false);
    m_mode = buffer.readByteInRange(kExponential - 1, kLinear + 1);
    if (m_mode == kExponential) {
        m_density = buffer.readFloat();
        return;
    }
    m_nearDistance = buffer.readFloat();
    m_farDistance = buffer.readFloat();
    if (!(std::fabs(m_farDistance - m_nearDistance) > kSceneEpsilon))
        leave(KErrCorruptData);
}

CkwObject3D* CkwFog::duplicate() const
{
    CkwCleanupPtr<CkwFog> copy(new CkwFog);
    copy->copyFrom(*this);
    copy->m_color = m_color;
    copy->m_density = m_density;
    copy->m_nearDistance = m_nearDistance;
    copy->m_farDistance = m_farDistance;
    copy->m_mode = m_mode;
    return copy.release();
}
