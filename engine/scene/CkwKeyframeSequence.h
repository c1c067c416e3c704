// Timed vectors of floats and the sampling that turns a controller's position
// into an interpolated value: clamping or looping, the segment search, five
// interpolations with cached spline tangents, and the validity of the result
// (how long the sampled value stays as it is).
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwAnimationController;

class CkwKeyframeSequence : public CkwObject3D {
public:
    static constexpr int32_t kLinear = 176;
    static constexpr int32_t kSlerp = 177;
    static constexpr int32_t kSpline = 178;
    static constexpr int32_t kSquad = 179;
    static constexpr int32_t kStep = 180;
    static constexpr int32_t kConstant = 192;
    static constexpr int32_t kLoop = 193;
    // The validity of a value that will not change again.
    static constexpr float kForever = 3.4028235e38f;

    // The factory's creator of class id 19: no keyframes, LINEAR, CONSTANT.
    static IkwSerializable* create();

    int32_t getClassId() const override { return kClassKeyframeSequence; }
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;

    // SLERP and SQUAD need 4 components (-1301); a store above 2^31 words
    // leaves -4. The interface has checked counts >= 1 and the interpolation.
    void init(int32_t keyframeCount, int32_t componentCount, int32_t interpolation);
    // The interface refuses durations below 1 and other repeat modes.
    void setDuration(int32_t duration);
    void setRepeatMode(int32_t mode) { m_repeatMode = mode; }
    // Each end outside the keyframes leaves -1101.
    void setValidRange(int32_t first, int32_t last);
    // -1101 outside the keyframes, -1301 for a value shorter than the
    // components, -1001 for NaN or infinity (nothing stored then).
    void setKeyframe(int32_t index, int32_t time, int32_t length, const float* value);
    // The keyframe's time; its value copied into out when given.
    int32_t getKeyframe(int32_t index, int32_t length, float* out) const;

    // Adds weight x the value at the controller's position into the first
    // min(length, components) floats of out; returns the validity in
    // sequence time. Leaves -1300 for a sequence that cannot be sampled.
    float sample(int32_t worldTime, const CkwAnimationController* controller, int32_t length, float* out,
                 float weight);

    int32_t getInterpolation() const { return m_interpolation; }
    int32_t getRepeatMode() const { return m_repeatMode; }
    int32_t getDuration() const { return m_duration; }
    int32_t getValidRangeFirst() const { return m_validFirst; }
    int32_t getValidRangeLast() const { return m_validLast; }
    int32_t getComponentCount() const { return m_componentCount; }
    int32_t getKeyframeCount() const { return m_keyframeCount; }

private:
    bool hasTangents() const { return m_interpolation == kSpline || m_interpolation == kSquad; }
    // Floats per keyframe: the value, and for the spline modes the outgoing
    // and incoming tangents after it.
    int32_t valueStride() const { return hasTangents() ? 3 * m_componentCount : m_componentCount; }
    int32_t rangeLength() const;
    // Keyframe of the r-th position of the valid range.
    int32_t keyAt(int32_t r) const { return (m_validFirst + r) % m_keyframeCount; }
    int32_t timeAt(int32_t r) const { return m_times[keyAt(r)]; }
    float* valueAt(int32_t r) { return m_values.at(keyAt(r) * valueStride()); }
    float* outgoingAt(int32_t r) { return valueAt(r) + m_componentCount; }
    float* incomingAt(int32_t r) { return valueAt(r) + 2 * m_componentCount; }
    // Sizes an empty store; the fields are set only once it exists.
    void allocate(int32_t keyframeCount, int32_t componentCount, int32_t interpolation);
    // Checks the range (-1300) and brings quaternions and tangents up to date.
    void validate();
    void computeTangents();

    int32_t m_interpolation = kLinear;
    int32_t m_repeatMode = kConstant;
    float m_durationFloat = 0.0f;
    int32_t m_duration = 0;
    int32_t m_validFirst = 0;
    int32_t m_validLast = 0;
    int32_t m_componentCount = 0;
    int32_t m_keyframeCount = 0;
    CkwArray<int32_t> m_times;
    CkwArray<float> m_values;
    bool m_prepared = false;
};
