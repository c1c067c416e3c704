// An animation track: a keyframe sequence bound to one animatable property
// under a controller. Objects hold their tracks and sample them in their
// animation step; the track turns the sequence's validity into world time.
#pragma once

#include <cstdint>

#include "engine/core/scene/CkwAnimationTrackBase.h"

class CkwAnimationController;
class CkwKeyframeSequence;

class CkwAnimationTrack : public CkwAnimationTrackBase {
public:
    static constexpr int32_t kNoProperty = 255;
    static constexpr int32_t kAnyComponents = -1;

    // The factory's creator of class id 2: no sequence, no controller.
    static IkwSerializable* create();
    // The component counts that may drive a property: bit n allows n, -1 any,
    // 0 none (255 and unknown ids).
    static int32_t componentCountMask(int32_t property);

    ~CkwAnimationTrack() override;
    void deserialize(CkwSerializeBufferObjectsIn& buffer) override;
    CkwObject3D* duplicate() const override;
    // 0 the sequence, 1 the controller, then the base's with the index less 2.
    CkwReference getReference(int32_t index) const override;

    // A sequence whose component count the property cannot take leaves -1301
    // and changes nothing. The interface has refused null and unknown ids.
    void init(CkwKeyframeSequence* sequence, int32_t property);
    void setController(CkwAnimationController* controller);
    CkwKeyframeSequence* getKeyframeSequence() const { return m_sequence; }
    CkwAnimationController* getController() const { return m_controller; }

    int32_t getTargetProperty() const override { return m_property; }
    int32_t getComponentCount() const override;
    float getControllerWeight() const override;
    bool isControllerActive(int32_t worldTime) const override;
    int32_t sample(int32_t worldTime, int32_t components, float* values, float weight) override;

private:
    CkwKeyframeSequence* m_sequence = nullptr;
    CkwAnimationController* m_controller = nullptr;
    int32_t m_property = kNoProperty;
};
