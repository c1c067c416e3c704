// What an object's animation step needs of an animation track: the property it
// targets, the size of its keyframe values, its controller's weight and
// activity, and the weighted sampling. The track class of the scene library
// implements it; objects hold their tracks through this base.
#pragma once

#include <cstdint>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/scene/CkwObject3D.h"

class CkwAnimationTrackBase : public CkwObject3D {
public:
    int32_t getClassId() const override { return kClassAnimationTrack; }

    virtual int32_t getTargetProperty() const = 0;
    // Components of the keyframe sequence; 0 without a sequence.
    virtual int32_t getComponentCount() const = 0;
    // The controller's weight; 0 without a controller.
    virtual float getControllerWeight() const = 0;
    // False without a controller.
    virtual bool isControllerActive(int32_t worldTime) const = 0;
    // Adds weight x the sampled value into at most components floats of values
    // and returns the validity of the result in world time.
    virtual int32_t sample(int32_t worldTime, int32_t components, float* values, float weight) = 0;
};
