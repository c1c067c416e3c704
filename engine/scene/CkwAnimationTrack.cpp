// Animation track: the property's component rule, sampling under the
// controller's activity and speed, and the track's file data.
#include "engine/scene/CkwAnimationTrack.h"

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/math/FloatBits.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/SceneFieldHelpers.h"

namespace {

constexpr int32_t bits(int32_t n) { return 1 << n; }

// Indexed by property id - 256.
constexpr int32_t kComponentMasks[] = {
    bits(1),           // ALPHA
    bits(3),           // AMBIENT_COLOR
    bits(3),           // COLOR
    bits(2) | bits(4), // CROP
    bits(1),           // DENSITY
    bits(3),           // DIFFUSE_COLOR
    bits(3),           // EMISSIVE_COLOR
    bits(1),           // FAR_DISTANCE
    bits(1),           // FIELD_OF_VIEW
    bits(1),           // INTENSITY
    -1,                // MORPH_WEIGHTS
    bits(1),           // NEAR_DISTANCE
    bits(4),           // ORIENTATION
    bits(1),           // PICKABILITY
    bits(1) | bits(3), // SCALE
    bits(1),           // SHININESS
    bits(3),           // SPECULAR_COLOR
    bits(1),           // SPOT_ANGLE
    bits(1),           // SPOT_EXPONENT
    bits(3),           // TRANSLATION
    bits(1),           // VISIBILITY
};
static_assert(std::size(kComponentMasks) == kPropertyVisibility - kPropertyAlpha + 1);

bool fitsProperty(int32_t property, int32_t components)
{
    const int32_t mask = CkwAnimationTrack::componentCountMask(property);
    if (mask == CkwAnimationTrack::kAnyComponents)
        return true;
    return components >= 0 && components < 31 && (mask & bits(components)) != 0;
}

} // namespace

IkwSerializable* CkwAnimationTrack::create() { return new CkwAnimationTrack; }

int32_t CkwAnimationTrack::componentCountMask(int32_t property)
{
    if (property < kPropertyAlpha || property > kPropertyVisibility)
        return 0;
    return kComponentMasks[property - kPropertyAlpha];
}

CkwAnimationTrack::~CkwAnimationTrack()
{
    if (m_sequence != nullptr)
        m_sequence->release();
    if (m_controller != nullptr)
        m_controller->release();
}

void CkwAnimationTrack::init(CkwKeyframeSequence* sequence, int32_t property)
{
    if (!fitsProperty(property, sequence->getComponentCount()))
        leave(KErrIllegalArgument);
    replaceReference(m_sequence, sequence);
    m_property = property;
}

void CkwAnimationTrack::setController(CkwAnimationController* controller)
{
    replaceReference(m_controller, controller);
}

int32_t CkwAnimationTrack::getComponentCount() const
{
    return m_sequence != nullptr ? m_sequence->getComponentCount() : 0;
}

float CkwAnimationTrack::getControllerWeight() const
{
    return m_controller != nullptr ? m_controller->getWeight() : 0.0f;
}

bool CkwAnimationTrack::isControllerActive(int32_t worldTime) const
{
    return m_controller != nullptr && m_controller->isActive(worldTime);
}

int32_t CkwAnimationTrack::sample(int32_t worldTime, int32_t components, float* values, float weight)
{
    if (m_controller == nullptr || m_sequence == nullptr || !m_controller->isActive(worldTime))
        return kValidityInfinite;
    float validity = m_sequence->sample(worldTime, m_controller, components, values, weight);
    if (validity == CkwKeyframeSequence::kForever)
        return kValidityInfinite;
    const float speed = m_controller->getSpeed();
    // A stopped controller never reaches the next keyframe; playing backwards
    // the distance ahead says nothing, so the value may change at once.
    if (speed == 0.0f)
        return kValidityInfinite;
    if (speed != 1.0f)
        validity /= speed;
    return validity > 0.0f ? saturateToInt(validity) : 0;
}

CkwReference CkwAnimationTrack::getReference(int32_t index) const
{
    if (index == 0)
        return CkwReference::single(m_sequence);
    if (index == 1)
        return CkwReference::single(m_controller);
    return CkwObject3D::getReference(index - 2);
}

void CkwAnimationTrack::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    auto* sequence = readComponent<CkwKeyframeSequence>(buffer, kClassKeyframeSequence);
    if (sequence == nullptr)
        leave(KErrCorruptData);
    auto* controller = readComponent<CkwAnimationController>(buffer, kClassAnimationController);
    const uint32_t property = buffer.readUInt32();
    if (property <= kNoProperty || property > kPropertyVisibility
        || !fitsProperty(static_cast<int32_t>(property), sequence->getComponentCount()))
        leave(KErrCorruptData);
    replaceReference(m_sequence, sequence);
    replaceReference(m_controller, controller);
    m_property = static_cast<int32_t>(property);
}

CkwObject3D* CkwAnimationTrack::duplicate() const
{
    CkwCleanupPtr<CkwAnimationTrack> copy(new CkwAnimationTrack);
    copy->copyFrom(*this);
    replaceReference(copy->m_sequence, m_sequence);
    replaceReference(copy->m_controller, m_controller);
    copy->m_property = m_property;
    return copy.release();
}
