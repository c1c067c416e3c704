// Animation controller: world time to sequence time, activity and the file data.
#include "engine/scene/CkwAnimationController.h"

#include <cmath>

#include "engine/core/loader/CkwSerializeBufferObjectsIn.h"
#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"

namespace {

// Beyond this distance from the reference the position drops whole loops.
constexpr int64_t kLoopReduceDistance = 10000000;

} // namespace

IkwSerializable* CkwAnimationController::create() { return new CkwAnimationController; }

bool CkwAnimationController::isActive(int32_t worldTime) const
{
    return m_activeStart == m_activeEnd || (worldTime >= m_activeStart && worldTime < m_activeEnd);
}

float CkwAnimationController::getPosition(int32_t worldTime) const
{
    // In 64 bits: times on both sides of zero can be 2^32 apart.
    const int64_t delta = static_cast<int64_t>(worldTime) - m_refWorldTime;
    if (m_speed == 1.0f)
        return m_refSequenceTime + static_cast<float>(delta);
    return m_refSequenceTime + static_cast<float>(delta) * m_speed;
}

float CkwAnimationController::getLoopingPosition(int32_t worldTime, int32_t duration) const
{
    const int64_t delta = static_cast<int64_t>(worldTime) - m_refWorldTime;
    if (m_speed == 1.0f) {
        if ((delta >= -kLoopReduceDistance && delta <= kLoopReduceDistance) || duration == 0)
            return m_refSequenceTime + static_cast<float>(delta);
        // Whole loops removed exactly, so long runs still loop at the duration.
        return m_refSequenceTime + static_cast<float>(delta % duration);
    }
    const float p = static_cast<float>(delta) * m_speed;
    if ((p >= -1e7f && p <= 1e7f) || duration == 0 || m_speed == 0.0f)
        return m_refSequenceTime + p;
    // The remainder in double: a loop count of a long run overflows int32.
    return m_refSequenceTime + static_cast<float>(std::fmod(static_cast<double>(delta) * m_speed, duration));
}

void CkwAnimationController::setPosition(float sequenceTime, int32_t worldTime)
{
    m_refSequenceTime = sequenceTime;
    m_refWorldTime = worldTime;
}

void CkwAnimationController::setSpeed(float speed, int32_t worldTime)
{
    m_refSequenceTime = getPosition(worldTime);
    m_refWorldTime = worldTime;
    m_speed = speed;
}

void CkwAnimationController::setActiveInterval(int32_t start, int32_t end)
{
    if (start > end)
        leave(KErrIllegalArgument);
    m_activeStart = start;
    m_activeEnd = end;
}

void CkwAnimationController::deserialize(CkwSerializeBufferObjectsIn& buffer)
{
    CkwObject3D::deserialize(buffer);
    m_speed = buffer.readFloat();
    m_weight = buffer.readFloat();
    if (m_weight < 0.0f)
        leave(KErrCorruptData);
    m_activeStart = buffer.readInt32();
    m_activeEnd = buffer.readInt32();
    if (m_activeStart > m_activeEnd)
        leave(KErrCorruptData);
    m_refSequenceTime = buffer.readFloat();
    m_refWorldTime = buffer.readInt32();
}

CkwObject3D* CkwAnimationController::duplicate() const
{
    CkwCleanupPtr<CkwAnimationController> copy(new CkwAnimationController);
    copy->copyFrom(*this);
    copy->m_activeStart = m_activeStart;
    copy->m_activeEnd = m_activeEnd;
    copy->m_refSequenceTime = m_refSequenceTime;
    copy->m_refWorldTime = m_refWorldTime;
    copy->m_speed = m_speed;
    copy->m_weight = m_weight;
    return copy.release();
}
