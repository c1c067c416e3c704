// Test helpers of the animation classes: keyframe sequences, controllers and
// tracks built through their setters, held until the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwAnimationTrack.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/SceneTestKit.h"

struct Key {
    int32_t time;
    std::vector<float> value;
};

// A rotation about z by degrees, as x, y, z, w.
inline std::vector<float> aboutZ(double degrees)
{
    const double h = degrees * M_PI / 360.0;
    return {0.0f, 0.0f, static_cast<float>(std::sin(h)), static_cast<float>(std::cos(h))};
}

class AnimationTest : public ::testing::Test, public SceneTest {
protected:
    CkwKeyframeSequence* sequence(int32_t interpolation, int32_t repeat, int32_t duration, const std::vector<Key>& keys)
    {
        auto* s = hold(new CkwKeyframeSequence);
        const int32_t components = static_cast<int32_t>(keys[0].value.size());
        EXPECT_EQ(trap([&] {
                      s->init(static_cast<int32_t>(keys.size()), components, interpolation);
                      for (size_t k = 0; k < keys.size(); ++k)
                          s->setKeyframe(static_cast<int32_t>(k), keys[k].time, components, keys[k].value.data());
                  }),
                  KErrNone);
        s->setRepeatMode(repeat);
        s->setDuration(duration);
        return s;
    }

    // One strip over the first three vertices, as the meshes' tests draw.
    CkwTriangleStripArray* strip()
    {
        auto* s = hold(new CkwTriangleStripArray);
        const int32_t lengths[] = {3};
        EXPECT_EQ(trap([&] { s->initImplicit(0, 1, lengths); }), KErrNone);
        return s;
    }

    CkwAnimationController* controller(float speed = 1.0f, float weight = 1.0f)
    {
        auto* c = hold(new CkwAnimationController);
        c->setSpeed(speed, 0);
        c->setWeight(weight);
        return c;
    }

    // run(n) and run(2n), each under a trap whose code it returns: the
    // engine's count of visits of the second stays within 2.3 times the
    // first, which counts some. run may zero the count where the work it
    // weighs begins.
    std::vector<int32_t> expectVisitsInProportion(int32_t n, const std::function<void(int32_t)>& run)
    {
        std::vector<int32_t> codes;
        uint64_t visits[2] = {};
        for (int32_t k = 0; k < 2; ++k) {
            engineContext()->visits = 0;
            codes.push_back(trap([&] { run(n << k); }));
            visits[k] = engineContext()->visits;
        }
        EXPECT_GT(visits[0], 0u);
        EXPECT_LE(visits[1], visits[0] * 23 / 10) << visits[0] << " then " << visits[1];
        return codes;
    }

    CkwAnimationTrack* track(CkwKeyframeSequence* s, int32_t property, CkwAnimationController* c)
    {
        auto* t = hold(new CkwAnimationTrack);
        EXPECT_EQ(trap([&] { t->init(s, property); }), KErrNone);
        t->setController(c);
        return t;
    }
};
