// The timing of animation tracks: maps world time to sequence time through a
// reference point and a speed, says when its tracks are active and with what
// weight they blend.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwAnimationController : public CkwObject3D {
public:
    // The factory's creator of class id 1: always active, speed and weight 1.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassAnimationController; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // An empty interval means always active.
    bool isActive(int32_t worldTime) const;
    float getPosition(int32_t worldTime) const;
    // The position with whole loops of a sequence of duration whole removed
    // once it runs far from the reference, so the float keeps its precision.
    float getLoopingPosition(int32_t worldTime, int32_t duration) const;
    void setPosition(float sequenceTime, int32_t worldTime);
    // Keeps the position at worldTime where it was.
    void setSpeed(float speed, int32_t worldTime);
    // start > end leaves -1301.
    void setActiveInterval(int32_t start, int32_t end);
    // The interface refuses negative weights.
    void setWeight(float weight) { m_weight = weight; }

    int32_t getActiveIntervalStart() const { return m_activeStart; }
    int32_t getActiveIntervalEnd() const { return m_activeEnd; }
    float getRefSequenceTime() const { return m_refSequenceTime; }
    int32_t getRefWorldTime() const { return m_refWorldTime; }
    float getSpeed() const { return m_speed; }
    float getWeight() const { return m_weight; }

private:
    int32_t m_activeStart = 0;
    int32_t m_activeEnd = 0;
    float m_refSequenceTime = 0.0f;
    int32_t m_refWorldTime = 0;
    float m_speed = 1.0f;
    float m_weight = 1.0f;
};
