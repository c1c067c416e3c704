// Keyframe sequences: every interpolation at and between keyframes against
// values worked out by hand, both repeat modes across the ends, equal key
// times, wrapped ranges and validities; the three keyframe encodings as hand
// assembled records, and the records the loader must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "engine/core/factory/CkwObjectFactory.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/CkwAnimationController.h"
#include "engine/scene/CkwAnimationTrack.h"
#include "engine/scene/CkwKeyframeSequence.h"
#include "engine/scene/AnimationTestKit.h"
#include "tools/m3g/M3gAnimationEncoders.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Seq = CkwKeyframeSequence;

class KeyframeSequenceTest : public AnimationTest {
protected:
    // The sample at sequence position p (world time 0), added into zeros.
    static std::vector<float> at(Seq* s, float p, float* validity = nullptr, int32_t length = -1, float weight = 1.0f)
    {
        CkwAnimationController controller;
        controller.setPosition(p, 0);
        std::vector<float> out(length < 0 ? s->getComponentCount() : length, 0.0f);
        float v = 0.0f;
        EXPECT_EQ(trap([&] { v = s->sample(0, &controller, static_cast<int32_t>(out.size()), out.data(), weight); }),
                  KErrNone);
        if (validity != nullptr)
            *validity = v;
        return out;
    }
};

TEST_F(KeyframeSequenceTest, EveryInterpolationAtAndBetweenKeyframes)
{
    const std::vector<Key> ramp = {{0, {0}}, {1000, {10}}, {2000, {30}}};
    const std::vector<Key> quarters = {{0, aboutZ(0)}, {1000, aboutZ(60)}, {2000, aboutZ(120)}, {3000, aboutZ(180)}};
    const std::vector<Key> shared = {{0, {0}}, {1000, {10}}, {1000, {20}}, {1000, {30}}, {2000, {40}}};
    const std::vector<Key> flat = {{0, {1}}, {1000, {1}}, {2000, {3}}};
    const float inf = Seq::kForever;
    const struct {
        const char* what;
        int32_t interpolation;
        int32_t repeat;
        int32_t duration;
        std::vector<Key> keys;
        float position;
        std::vector<float> expected;
        float validity;
        float tolerance = 0.0f;
    } cases[] = {
        {"linear between", Seq::kLinear, Seq::kConstant, 3000, ramp, 1500, {20}, 0},
        {"linear on a key", Seq::kLinear, Seq::kConstant, 3000, ramp, 1000, {10}, 0},
        {"linear before the first, clamped", Seq::kLinear, Seq::kConstant, 3000, {{200, {4}}, {900, {8}}}, 50, {4}, 150},
        {"linear after the last", Seq::kLinear, Seq::kConstant, 3000, ramp, 2500, {30}, inf},
        {"linear past the duration", Seq::kLinear, Seq::kConstant, 3000, ramp, 9000, {30}, inf},
        {"linear loop across the end", Seq::kLinear, Seq::kLoop, 3000, ramp, 2500, {15}, 0},
        {"linear loop, negative position", Seq::kLinear, Seq::kLoop, 3000, ramp, -500, {15}, 0},
        {"linear loop, later loop", Seq::kLinear, Seq::kLoop, 3000, ramp, 6500, {5}, 0},
        {"linear loop, on the last key", Seq::kLinear, Seq::kLoop, 3000, ramp, 2000, {30}, 0},
        // 3e13 (as a float, 30000000532480) loops past int32: the remainder
        // 1480 is taken in double.
        {"linear loop, far position", Seq::kLinear, Seq::kLoop, 3000, ramp, 3e13f, {(30 - 10) * (480.0f / 1000) + 10}, 0},
        {"linear, equal key times", Seq::kLinear, Seq::kConstant, 3000, shared, 1000, {30}, 0},
        {"linear, equal key times, after", Seq::kLinear, Seq::kConstant, 3000, shared, 1500, {35}, 0},
        {"linear, value holds to the next key", Seq::kLinear, Seq::kConstant, 3000, flat, 400, {1}, 600},
        {"step holds to the next key", Seq::kStep, Seq::kConstant, 3000, flat, 400, {1}, 600},
        {"step changes at the next key", Seq::kStep, Seq::kConstant, 3000, flat, 1999, {1}, 0},
        {"step loop holds across the end", Seq::kStep, Seq::kLoop, 2500, {{0, {5}}, {1000, {5}}}, 1800, {5}, 700},
        {"single keyframe", Seq::kLinear, Seq::kLoop, 3000, {{700, {9}}}, 123, {9}, inf},
        // Tangents (out, in): first key -10/-10 in a loop (0 when constant),
        // middle 15/15, last -5/-5; Hermite at s = 0.5 is (a + b) / 2 + (out_a - in_b) / 8.
        {"spline loop", Seq::kSpline, Seq::kLoop, 3000, ramp, 500, {1.875f}, 0},
        {"spline constant", Seq::kSpline, Seq::kConstant, 3000, ramp, 500, {3.125f}, 0},
        {"spline loop across the end", Seq::kSpline, Seq::kLoop, 3000, ramp, 2500, {15.625f}, 0},
        {"spline on a key", Seq::kSpline, Seq::kLoop, 3000, ramp, 1000, {10}, 0},
        {"spline loop of the longest duration: the first key is flat", Seq::kSpline, Seq::kLoop, INT32_MAX, ramp, 500, {3.125f}, 0, 1e-4f},
        // Three keys at 1000: the next segment's tangents come from key 3
        // (in 0, out 20) and the zero tangents of the last key.
        {"spline, three keys at one time", Seq::kSpline, Seq::kConstant, 3000, shared, 1500, {37.5f}, 0},
        {"slerp between", Seq::kSlerp, Seq::kConstant, 4000, quarters, 1500, aboutZ(90), 0, 2e-4f},
        {"slerp on a key", Seq::kSlerp, Seq::kConstant, 4000, quarters, 1000, aboutZ(60), 0, 1e-6f},
        // Coaxial keys: squad interpolates angles; the constant ends bend the
        // first and last segments by half a step (22.5 and 157.5 degrees).
        {"squad middle segment", Seq::kSquad, Seq::kConstant, 4000, quarters, 1500, aboutZ(90), 0, 3e-4f},
        {"squad first segment", Seq::kSquad, Seq::kConstant, 4000, quarters, 500, aboutZ(22.5), 0, 3e-4f},
        {"squad last segment", Seq::kSquad, Seq::kConstant, 4000, quarters, 2500, aboutZ(157.5), 0, 3e-4f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Seq* s = sequence(c.interpolation, c.repeat, c.duration, c.keys);
        float validity = -1.0f;
        const std::vector<float> out = at(s, c.position, &validity);
        ASSERT_EQ(out.size(), c.expected.size());
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_NEAR(out[i], c.expected[i], c.tolerance) << i;
        EXPECT_EQ(validity, c.validity);
    }
}

// Splines and squads through keys at uneven times against double-precision
// curves written here: each key's outgoing tangent takes the share of the time
// after it and the incoming one the share before it; CONSTANT flattens the end
// keys (a squad still bends there) and samples a position at or past the
// duration at duration - 1, so a last key at the duration is reached only
// along its segment. Squad keys turn about z, 10 degrees a unit of the spline
// values, so their logarithms are half-angle differences and slerps blend them.
TEST_F(KeyframeSequenceTest, UnevenSplinesAndSquadsAgainstADoubleReference)
{
    const struct {
        int32_t repeat, duration;
        std::vector<Key> keys;
    } sequences[] = {
        {Seq::kLoop, 1000, {{0, {0}}, {100, {10}}, {350, {4}}, {600, {20}}}},
        {Seq::kLoop, 1000, {{150, {3}}, {200, {-6}}, {900, {8}}}},
        {Seq::kConstant, 1000, {{100, {0}}, {130, {12}}, {600, {-4}}, {1000, {9}}}},
    };
    for (int32_t row = 0; row < 6; ++row) {
        SCOPED_TRACE(row);
        const auto& q = sequences[row % 3];
        const bool squad = row >= 3;
        std::vector<Key> keys = q.keys;
        for (Key& k : keys)
            k.value = squad ? aboutZ(10 * k.value[0]) : k.value;
        Seq* seq = sequence(squad ? Seq::kSquad : Seq::kSpline, q.repeat, q.duration, keys);
        const bool loop = q.repeat == Seq::kLoop;
        const int32_t n = static_cast<int32_t>(q.keys.size());
        const double dur = q.duration;
        const auto time = [&](int32_t k) { return double(q.keys[size_t(k)].time); };
        // A spline's value, or a squad key's half angle.
        const auto value = [&](int32_t k) { return q.keys[size_t(k)].value[0] * (squad ? M_PI / 36 : 1.0); };
        // Tangents (outgoing, incoming) of key k; a squad's are the half
        // angles of its quaternions a and b.
        const auto tangents = [&](int32_t k, double& out, double& in) {
            const int32_t p = (k + n - 1) % n, x = (k + 1) % n;
            const double tp = time(p) - (k == 0 ? dur : 0), tn = time(x) + (k == n - 1 ? dur : 0);
            const double d = (!loop && (k == 0 || k == n - 1) ? 0 : value(x) - value(p)) / (tn - tp);
            const double a = value(k) - value(p), b = value(x) - value(k);
            out = d * (tn - time(k));
            in = d * (time(k) - tp);
            if (squad) {
                out = value(k) + (out - b) / 2;
                in = value(k) + (a - in) / 2;
            }
        };
        const auto reference = [&](double position) {
            if (loop) {
                position = std::fmod(position, dur);
                if (position < 0)
                    position += dur;
            } else {
                if (position < time(0))
                    return value(0);
                if (position >= dur)
                    position = dur - 1;
                if (position > time(n - 1))
                    return value(n - 1);
            }
            int32_t i = n - 1;
            double s;
            if (position >= time(0) && position < time(n - 1)) {
                i = 0;
                while (position >= time(i + 1))
                    ++i;
                s = (position - time(i)) / (time(i + 1) - time(i));
            } else if (!loop || position == time(n - 1)) {
                return value(n - 1);
            } else {
                const double gap = dur - time(n - 1), span = gap + time(0);
                s = position < time(0) ? (gap + position) / span : (position - time(n - 1)) / span;
            }
            const int32_t j = (i + 1) % n;
            double out0, in0, out1, in1;
            tangents(i, out0, in0);
            tangents(j, out1, in1);
            const double s2 = s * s, s3 = s2 * s;
            if (squad) {
                const double along = value(i) + (value(j) - value(i)) * s, bent = out0 + (in1 - out0) * s;
                return along + (bent - along) * 2 * s * (1 - s);
            }
            return value(i) * (2 * s3 - 3 * s2 + 1) + out0 * (s3 - 2 * s2 + s) + in1 * (s3 - s2)
                 + value(j) * (3 * s2 - 2 * s3);
        };
        for (double position = -230; position <= 1300; position += 37) {
            const std::vector<float> out = at(seq, float(position));
            EXPECT_NEAR(squad ? std::atan2(out[2], out[3]) : out[0], reference(position), 2e-4) << position;
        }
    }
}

TEST_F(KeyframeSequenceTest, RangesOutputsAndWeights)
{
    // Keyframes 2, 3, 0, 1 in range order; the times rise across the wrap.
    Seq* wrapped = sequence(Seq::kLinear, Seq::kConstant, 3000, {{1000, {10}}, {1500, {15}}, {0, {0}}, {500, {5}}});
    ASSERT_EQ(trap([&] { wrapped->setValidRange(2, 1); }), KErrNone);
    EXPECT_EQ(at(wrapped, 750), std::vector<float>{7.5f});
    EXPECT_EQ(at(wrapped, 1600), std::vector<float>{15});
    // Keyframes 1, 2 only.
    ASSERT_EQ(trap([&] { wrapped->setValidRange(1, 2); }), KErrNone);
    CkwAnimationController c;
    float out = 0.0f;
    EXPECT_EQ(trap([&] { wrapped->sample(0, &c, 1, &out, 1.0f); }), KErrIllegalState);
    ASSERT_EQ(trap([&] { wrapped->setValidRange(1, 0); }), KErrNone);
    EXPECT_EQ(trap([&] { wrapped->sample(0, &c, 1, &out, 1.0f); }), KErrIllegalState);
    ASSERT_EQ(trap([&] { wrapped->setValidRange(0, 1); }), KErrNone);
    EXPECT_EQ(at(wrapped, 1200), std::vector<float>{12});
    // A last keyframe after the duration cannot be sampled, nor a new
    // sequence, even when the duration was shortened after the validation.
    wrapped->setDuration(1400);
    EXPECT_EQ(trap([&] { wrapped->sample(0, &c, 1, &out, 1.0f); }), KErrIllegalState);
    ASSERT_EQ(trap([&] { wrapped->setValidRange(0, 1); }), KErrNone);
    EXPECT_EQ(trap([&] { wrapped->sample(0, &c, 1, &out, 1.0f); }), KErrIllegalState);
    EXPECT_EQ(trap([&] { hold(new Seq)->sample(0, &c, 1, &out, 1.0f); }), KErrIllegalState);

    // Outputs shorter than the value take only their length, quaternions too
    // (a MORPH_WEIGHTS buffer of two weights under a 4-component track).
    Seq* xyz = sequence(Seq::kLinear, Seq::kConstant, 3000, {{0, {1, 2, 3}}, {1000, {3, 4, 5}}});
    EXPECT_EQ(at(xyz, 500, nullptr, 2), (std::vector<float>{2, 3}));
    Seq* turn = sequence(Seq::kSlerp, Seq::kConstant, 3000, {{0, aboutZ(0)}, {1000, aboutZ(90)}});
    for (float p : {0.0f, 500.0f}) {
        float guarded[4] = {0, 0, -7, -7};
        CkwAnimationController controller;
        controller.setPosition(p, 0);
        ASSERT_EQ(trap([&] { turn->sample(0, &controller, 2, guarded, 1.0f); }), KErrNone);
        EXPECT_EQ(guarded[2], -7.0f);
        EXPECT_EQ(guarded[3], -7.0f);
    }
    // A weight scales the sample before it is added.
    EXPECT_EQ(at(xyz, 500, nullptr, 3, 0.5f), (std::vector<float>{1, 1.5f, 2}));
    // The validity compares the sequence's own value, not the sum another
    // track has already added to.
    Seq* holding = sequence(Seq::kStep, Seq::kConstant, 3000, {{0, {1}}, {1000, {1}}, {2000, {3}}});
    CkwAnimationController position;
    position.setPosition(400, 0);
    float summed = 5.0f;
    float validity = 0.0f;
    ASSERT_EQ(trap([&] { validity = holding->sample(0, &position, 1, &summed, 1.0f); }), KErrNone);
    EXPECT_EQ(summed, 6.0f);
    EXPECT_EQ(validity, 600.0f);
    // A duration but no keyframes yet: nothing to add, nothing to fail.
    Seq* unset = hold(new Seq);
    unset->setDuration(10);
    ASSERT_EQ(trap([&] { validity = unset->sample(0, &position, 1, &summed, 1.0f); }), KErrNone);
    EXPECT_EQ(validity, 0.0f);

    // A keyframe inside the range clears the cached tangents; outside it not.
    Seq* spline = sequence(Seq::kSpline, Seq::kLoop, 3000, {{0, {0}}, {1000, {10}}, {2000, {30}}});
    EXPECT_EQ(at(spline, 500), std::vector<float>{1.875f});
    const float moved[] = {40};
    ASSERT_EQ(trap([&] { spline->setKeyframe(2, 2000, 1, moved); }), KErrNone);
    // Key 0's tangent is now (10 - 40) / 2 and key 1's (40 - 0) / 2.
    EXPECT_EQ(at(spline, 500), std::vector<float>{0.625f});
}

// The segment search against a walk from the first keyframe, over random
// ranges (wrapped ones too) with runs of equal times and values, LINEAR and
// STEP, both repeat modes, at every keyframe time and between.
TEST_F(KeyframeSequenceTest, SegmentSearchAgreesWithAWalkFromTheFirst)
{
    std::mt19937 random(12345);
    const auto below = [&](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
    for (int32_t round = 0; round < 300; ++round) {
        const int32_t count = 2 + below(40);
        const int32_t first = below(count);
        const int32_t length = 2 + below(count - 1);
        std::vector<Key> keys(count, {0, {9}});
        for (int32_t r = 0, time = below(3); r < length; ++r, time += below(3) * (1 + below(5)))
            keys[(first + r) % count] = {time, {static_cast<float>(below(3))}};
        const auto timeAt = [&](int32_t r) { return static_cast<float>(keys[(first + r) % count].time); };
        const auto valueAt = [&](int32_t r) { return keys[(first + r) % count].value[0]; };
        const bool linear = below(2) == 0;
        Seq* s = sequence(linear ? Seq::kLinear : Seq::kStep, below(2) ? Seq::kConstant : Seq::kLoop,
                          static_cast<int32_t>(timeAt(length - 1)) + 1, keys);
        ASSERT_EQ(trap([&] { s->setValidRange(first, (first + length - 1) % count); }), KErrNone);
        for (float p = timeAt(0); p < timeAt(length - 1); p += 0.5f) {
            int32_t r = 0;
            while (r + 2 < length && p >= timeAt(r + 1))
                ++r;
            const float a = valueAt(r);
            const float b = valueAt(r + 1);
            const float value = p != timeAt(r) && linear ? (b - a) * ((p - timeAt(r)) / (timeAt(r + 1) - timeAt(r))) + a : a;
            float validity = 0.0f;
            EXPECT_EQ(at(s, p, &validity), std::vector<float>{value}) << round << " at " << p;
            EXPECT_EQ(validity, value == b ? timeAt(r + 1) - p : 0.0f) << round << " at " << p;
        }
    }
}

TEST_F(KeyframeSequenceTest, SettersRefuseWhatTheStoreCannotHold)
{
    Seq* s = hold(new Seq);
    const float nan[] = {std::numeric_limits<float>::quiet_NaN(), 1};
    const float pair[] = {1, 2};
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"slerp of three", [&] { s->init(2, 3, Seq::kSlerp); }, KErrIllegalArgument},
        {"squad of four", [&] { s->init(3, 4, Seq::kSquad); }, KErrNone},
        {"a store above 2^31 words", [&] { s->init(0x10000000, 4, Seq::kSpline); }, KErrNoMemory},
        {"a store whose size overflows 64 bits", [&] { s->init(0x7FFFFFFF, 0x7FFFFFFF, Seq::kSpline); },
         KErrNoMemory},
        {"two pairs", [&] { s->init(2, 2, Seq::kLinear); }, KErrNone},
        {"index 2", [&] { s->setKeyframe(2, 0, 2, pair); }, KErrIndexOutOfRange},
        {"short value", [&] { s->setKeyframe(0, 0, 1, pair); }, KErrIllegalArgument},
        {"NaN", [&] { s->setKeyframe(1, 5, 2, nan); }, KErrInvalidFloat},
        {"range past the end", [&] { s->setValidRange(0, 2); }, KErrIndexOutOfRange},
        {"negative range", [&] { s->setValidRange(-1, 1); }, KErrIndexOutOfRange},
        {"get past the end", [&] { s->getKeyframe(-1, 2, nullptr); }, KErrIndexOutOfRange},
        {"get into a short array", [&] { float one; s->getKeyframe(0, 1, &one); }, KErrIllegalArgument},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;
    // The refused NaN stored nothing; the new range end is count - 1.
    float value[2] = {-1, -1};
    int32_t time = -1;
    ASSERT_EQ(trap([&] { time = s->getKeyframe(1, 2, value); }), KErrNone);
    EXPECT_EQ(time, 0);
    EXPECT_EQ(value[0], 0.0f);
    EXPECT_EQ(s->getValidRangeLast(), 1);
    // A shorter store pulls a first keyframe it no longer has back to 0.
    ASSERT_EQ(trap([&] { s->init(4, 1, Seq::kLinear); }), KErrNone);
    ASSERT_EQ(trap([&] { s->setValidRange(3, 3); }), KErrNone);
    ASSERT_EQ(trap([&] { s->init(2, 1, Seq::kLinear); }), KErrNone);
    EXPECT_EQ(s->getValidRangeFirst(), 0);
    EXPECT_EQ(s->getValidRangeLast(), 1);
}

// User id 19, no tracks, no parameters.
const Bytes kObject = {19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

M3gKeyframeSequenceFields twoKeys(uint8_t encoding)
{
    M3gKeyframeSequenceFields f;
    f.object.userId = 19;
    f.interpolation = 180;
    f.repeatMode = 193;
    f.encoding = encoding;
    f.duration = 300;
    f.validRangeFirst = 1;
    f.validRangeLast = 0;
    f.componentCount = 2;
    f.keyframes = {{100, {-1, 1}}, {200, {0.2f, 3}}};
    f.bias = {-1, 1};
    f.scale = {2, 2};
    return f;
}

TEST_F(KeyframeSequenceTest, TheThreeEncodingsReadAsAssembled)
{
    // STEP, LOOP, duration 300, range 1..0, two components, two keyframes.
    const Bytes head = {180, 193};
    const Bytes fields = {0x2C, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0};
    const Bytes scaled = {0, 0, 0x80, 0xBF, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0, 0x40};
    const struct {
        uint8_t encoding;
        Bytes bytes;
        std::vector<float> values; // both keyframes
    } cases[] = {
        {0,
         join({kObject, head, {0}, fields, {100, 0, 0, 0, 0, 0, 0x80, 0xBF, 0, 0, 0x80, 0x3F},
               {200, 0, 0, 0, 0xCD, 0xCC, 0x4C, 0x3E, 0, 0, 0x40, 0x40}}),
         {-1, 1, 0.2f, 3}},
        // q = round((v - bias) / scale x 255): 0, 0; 153, 255.
        {1, join({kObject, head, {1}, fields, scaled, {100, 0, 0, 0, 0, 0}, {200, 0, 0, 0, 153, 255}}),
         {-1, 1, 153.0f / 255.0f * 2 - 1, 3}},
        {2, join({kObject, head, {2}, fields, scaled, {100, 0, 0, 0, 0, 0, 0, 0}, {200, 0, 0, 0, 0x99, 0x99, 0xFF, 0xFF}}),
         {-1, 1, 39321.0f / 65535.0f * 2 - 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.encoding));
        EXPECT_EQ(m3gKeyframeSequenceRecord(twoKeys(c.encoding)).data, c.bytes);
        Seq* s = hold(new Seq);
        ASSERT_EQ(readRecord(*s, c.bytes), KErrNone);
        EXPECT_EQ(s->getUserID(), 19);
        EXPECT_EQ(s->getInterpolation(), Seq::kStep);
        EXPECT_EQ(s->getRepeatMode(), Seq::kLoop);
        EXPECT_EQ(s->getDuration(), 300);
        EXPECT_EQ(s->getValidRangeFirst(), 1);
        EXPECT_EQ(s->getValidRangeLast(), 0);
        std::vector<float> values(4);
        EXPECT_EQ(s->getKeyframe(0, 2, values.data()), 100);
        EXPECT_EQ(s->getKeyframe(1, 2, values.data() + 2), 200);
        EXPECT_EQ(values, c.values);
        // The range 1, 0 has decreasing times: it cannot be sampled.
        CkwAnimationController controller;
        float out[2];
        EXPECT_EQ(trap([&] { s->sample(0, &controller, 2, out, 1.0f); }), KErrIllegalState);
        // Every cut of the record runs out of bytes.
        for (size_t n = 0; n < c.bytes.size(); ++n)
            ASSERT_EQ(readRecord(*hold(new Seq), Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<ptrdiff_t>(n))),
                      KErrReadPastEnd)
                << n;
    }
    // A duplicate keeps the keyframes.
    Seq* source = hold(new Seq);
    ASSERT_EQ(readRecord(*source, cases[0].bytes), KErrNone);
    Seq* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(dynamic_cast<Seq*>(source->duplicate())); }), KErrNone);
    float value[2];
    EXPECT_EQ(copy->getKeyframe(1, 2, value), 200);
    EXPECT_EQ(value[1], 3.0f);
    EXPECT_EQ(copy->getValidRangeFirst(), 1);
}

TEST_F(KeyframeSequenceTest, HostileRecordsFailCleanly)
{
    const auto edited = [](auto edit) {
        M3gKeyframeSequenceFields f = twoKeys(0);
        edit(f);
        return m3gKeyframeSequenceRecord(f).data;
    };
    // Offsets in the record: 12 interpolation, 15 duration, 27 components, 31 keyframe count.
    const auto patched = [&](size_t offset, uint32_t word) {
        Bytes b = edited([](auto&) {});
        for (int i = 0; i < 4; ++i)
            b[offset + i] = static_cast<uint8_t>(word >> (8 * i));
        return b;
    };
    const auto patchedTwice = [&](size_t offset, uint32_t word, size_t offset2, uint32_t word2) {
        Bytes b = patched(offset, word);
        for (int i = 0; i < 4; ++i)
            b[offset2 + i] = static_cast<uint8_t>(word2 >> (8 * i));
        return b;
    };
    const struct {
        const char* what;
        Bytes bytes;
        int32_t code;
    } cases[] = {
        {"interpolation 181", edited([](auto& f) { f.interpolation = 181; }), KErrIndexOutOfRange},
        {"repeat mode 194", edited([](auto& f) { f.repeatMode = 194; }), KErrIndexOutOfRange},
        {"encoding 3", edited([](auto& f) { f.encoding = 3; }), KErrCorruptData},
        {"duration 0", edited([](auto& f) { f.duration = 0; }), KErrCorruptData},
        {"duration 2^31", patched(15, 0x80000000u), KErrCorruptData},
        {"no components", patched(27, 0), KErrCorruptData},
        {"slerp of two", edited([](auto& f) { f.interpolation = 177; }), KErrCorruptData},
        {"no keyframes", patched(31, 0), KErrCorruptData},
        {"a count the record cannot hold", patched(31, 0x01000000), KErrReadPastEnd},
        {"a store above 2^31 words", patched(31, 0x40000000), KErrNoMemory},
        {"a store whose size overflows 64 bits", patchedTwice(27, 0xFFFFFFFF, 31, 0xFFFFFFFF), KErrNoMemory},
        {"components the record cannot hold", patched(27, 0x10000000), KErrReadPastEnd},
        {"negative time", edited([](auto& f) { f.keyframes[1].time = -1; }), KErrCorruptData},
        {"infinite value", edited([](auto& f) { f.keyframes[1].value[0] = INFINITY; }), KErrCorruptData},
        {"range past the keyframes", edited([](auto& f) { f.validRangeFirst = 2; }), KErrIndexOutOfRange},
        // Each byte of a spline's key becomes a value and two tangents.
        {"byte keys past the load's allowance twelvefold", edited([](auto& f) {
             f.interpolation = 178;
             f.encoding = 1;
             f.componentCount = 1000;
             f.bias.assign(1000, 0);
             f.scale.assign(1000, 1);
             f.keyframes.assign(2000, {0, std::vector<float>(1000)});
         }),
         KErrNoMemory},
    };
    for (const auto& c : cases) {
        // Refused before it is made, not after.
        FailingAllocHooks hooks;
        FailingAllocator::start(-1);
        EXPECT_EQ(readRecord(*hold(new Seq), c.bytes), c.code) << c.what;
        EXPECT_LE(FailingAllocator::largest(), kLoadBytesPerFile + c.bytes.size()) << c.what;
    }
}

TEST_F(KeyframeSequenceTest, TrackAndControllerRecords)
{
    Seq* position = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {1, 2, 3}}});
    Seq* single = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {1}}});
    auto* controller = hold(new CkwAnimationController);
    auto* group = this->group();
    M3gAnimationControllerFields cf;
    cf.object.userId = 1;
    cf.speed = 2;
    cf.weight = 0.5f;
    cf.activeIntervalStart = -10;
    cf.activeIntervalEnd = 100;
    cf.referenceSequenceTime = 1;
    cf.referenceWorldTime = -2;
    const Bytes controllerBytes = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0x3F, 0xF6, 0xFF, 0xFF, 0xFF,
                                   100, 0, 0, 0, 0, 0, 0x80, 0x3F, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(m3gAnimationControllerRecord(cf).data, controllerBytes);
    auto* c = hold(new CkwAnimationController);
    ASSERT_EQ(readRecord(*c, controllerBytes), KErrNone);
    EXPECT_EQ(c->getSpeed(), 2.0f);
    EXPECT_EQ(c->getWeight(), 0.5f);
    EXPECT_EQ(c->getActiveIntervalStart(), -10);
    EXPECT_EQ(c->getActiveIntervalEnd(), 100);
    EXPECT_EQ(c->getPosition(3), 11.0f);

    M3gAnimationTrackFields tf;
    tf.object.userId = 2;
    tf.keyframeSequence = 2;
    tf.animationController = 3;
    const Bytes trackBytes = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0x13, 1, 0, 0};
    EXPECT_EQ(m3gAnimationTrackRecord(tf).data, trackBytes);
    auto* t = hold(new CkwAnimationTrack);
    ASSERT_EQ(readRecord(*t, trackBytes, {position, controller}), KErrNone);
    EXPECT_EQ(t->getKeyframeSequence(), position);
    EXPECT_EQ(t->getController(), controller);
    EXPECT_EQ(t->getTargetProperty(), kPropertyTranslation);
    CkwObject3D* refs[3] = {};
    EXPECT_EQ(t->getReferences(3, refs), 2);
    EXPECT_EQ(refs[0], position);
    EXPECT_EQ(refs[1], controller);

    const auto track = [&](auto edit) {
        M3gAnimationTrackFields f = tf;
        edit(f);
        return m3gAnimationTrackRecord(f).data;
    };
    const auto controllerRecord = [&](auto edit) {
        M3gAnimationControllerFields f = cf;
        edit(f);
        return m3gAnimationControllerRecord(f).data;
    };
    constexpr int32_t T = kClassAnimationTrack;
    constexpr int32_t C = kClassAnimationController;
    const struct {
        const char* what;
        int32_t classId;
        Bytes bytes;
        std::vector<CkwObject3D*> loaded;
        int32_t code;
    } cases[] = {
        {"no sequence", T, track([](auto& f) { f.keyframeSequence = 0; }), {position}, KErrCorruptData},
        {"a group as sequence", T, track([](auto&) {}), {group, controller}, KErrCorruptData},
        {"a sequence as controller", T, track([](auto& f) { f.animationController = 2; }), {position}, KErrCorruptData},
        {"no controller", T, track([](auto& f) { f.animationController = 0; }), {position}, KErrNone},
        {"property 255", T, track([](auto& f) { f.propertyId = 255; }), {position, controller}, KErrCorruptData},
        {"property 277", T, track([](auto& f) { f.propertyId = 277; }), {position, controller}, KErrCorruptData},
        {"three on ORIENTATION", T, track([](auto& f) { f.propertyId = 268; }), {position, controller}, KErrCorruptData},
        {"one on SCALE", T, track([](auto& f) { f.propertyId = 270; }), {single, controller}, KErrNone},
        {"one on CROP", T, track([](auto& f) { f.propertyId = 259; }), {single, controller}, KErrCorruptData},
        {"any on MORPH_WEIGHTS", T, track([](auto& f) { f.propertyId = 266; }), {position, controller}, KErrNone},
        {"negative weight", C, controllerRecord([](auto& f) { f.weight = -1; }), {}, KErrCorruptData},
        {"interval backwards", C, controllerRecord([](auto& f) { f.activeIntervalEnd = -11; }), {}, KErrCorruptData},
        {"empty interval", C, controllerRecord([](auto& f) { f.activeIntervalEnd = -10; }), {}, KErrNone},
    };
    for (const auto& k : cases) {
        IkwSerializable* object = nullptr;
        ASSERT_EQ(trap([&] { object = engineContextL().factory->create(k.classId); }), KErrNone);
        EXPECT_EQ(readRecord(*hold(dynamic_cast<CkwObject3D*>(object)), k.bytes, k.loaded), k.code) << k.what;
    }
}

} // namespace
