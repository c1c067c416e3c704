// Tracks and controllers: world time to sequence time, validities in world
// time, weighted blending in the animation pass, and a writer-made animated
// World whose node transforms are checked at several world times.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/core/scene/SceneIds.h"
#include "engine/scene/AnimationTestKit.h"
#include "engine/scene/CkwMorphingMesh.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tests/support/SharedFiles.h"

namespace {

using Seq = CkwKeyframeSequence;

// An object with two morph weights and two guard floats behind them.
class TwoWeights : public CkwObject3D {
public:
    int32_t getClassId() const override { return kClassMorphingMesh; }
    CkwObject3D* duplicate() const override { return nullptr; }
    bool isAnimatable(int32_t property) const override { return property == kPropertyMorphWeights; }
    void applyAnimatedProperty(int32_t, int32_t components, const float*) override { applied = components; }

    float weights[4] = {0, 0, -7, -7};
    int32_t applied = 0;

protected:
    float* getMorphWeights(int32_t& count) override
    {
        count = 2;
        return weights;
    }
};

std::vector<float> translationOf(const CkwTransformable& t)
{
    return {t.getTranslation()[0], t.getTranslation()[1], t.getTranslation()[2]};
}

class AnimationTrackTest : public AnimationTest {};

TEST_F(AnimationTrackTest, ControllerMapsWorldTimeToSequenceTime)
{
    CkwAnimationController c;
    EXPECT_TRUE(c.isActive(INT_MIN));
    ASSERT_EQ(trap([&] { c.setActiveInterval(-5, 10); }), KErrNone);
    EXPECT_FALSE(c.isActive(-6));
    EXPECT_TRUE(c.isActive(-5));
    EXPECT_TRUE(c.isActive(9));
    EXPECT_FALSE(c.isActive(10));
    EXPECT_EQ(trap([&] { c.setActiveInterval(11, 10); }), KErrIllegalArgument);
    EXPECT_EQ(c.getActiveIntervalStart(), -5);

    c.setPosition(100, 1000);
    EXPECT_EQ(c.getPosition(1250), 350.0f);
    c.setSpeed(2, 1250);
    EXPECT_EQ(c.getPosition(1250), 350.0f);
    EXPECT_EQ(c.getPosition(1300), 450.0f);
    c.setSpeed(-0.5f, 1300);
    EXPECT_EQ(c.getPosition(1500), 350.0f);
    // World times on both sides of zero, further apart than int32 reaches.
    c.setPosition(0, INT_MIN);
    c.setSpeed(1, INT_MIN);
    EXPECT_EQ(c.getPosition(INT_MAX), 4294967295.0f);

    // A looping sequence keeps looping exactly at its duration after runs far
    // longer than ten million milliseconds, at any speed.
    Seq* ramp = sequence(Seq::kLinear, Seq::kLoop, 3000, {{0, {0}}, {1000, {10}}, {2000, {30}}});
    const struct {
        float speed;
        int32_t reference;
        int32_t time;
        float expected;
    } runs[] = {
        {1, 0, 30000500, 5},       {1, -2000000000, 2000000000 - 1500, 15}, {2, 0, 15000250, 5},
        {0.5f, 0, 60001000, 5},   {-1, 0, -30000500, 5},                   {1, 0, -30000500, 15},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.time);
        CkwAnimationController looping;
        looping.setPosition(0, r.reference);
        looping.setSpeed(r.speed, r.reference);
        float out = 0.0f;
        ASSERT_EQ(trap([&] { ramp->sample(r.time, &looping, 1, &out, 1.0f); }), KErrNone);
        EXPECT_EQ(out, r.expected);
    }
}

TEST_F(AnimationTrackTest, ValidityInWorldTime)
{
    // STEP holds 1 until 1000; after 2000 nothing changes any more.
    Seq* steps = sequence(Seq::kStep, Seq::kConstant, 3000, {{0, {1}}, {1000, {1}}, {2000, {3}}});
    const struct {
        const char* what;
        float speed;
        int32_t time;
        std::vector<int32_t> interval;
        int32_t validity;
        float added;
    } cases[] = {
        {"speed 1", 1, 800, {}, 200, 1},
        {"speed 2 halves it", 2, 400, {}, 100, 1},
        {"stopped", 0, 400, {}, kValidityInfinite, 1},
        {"backwards", -1, -100, {}, 0, 1},
        {"after the last keyframe", 1, 2500, {}, kValidityInfinite, 3},
        {"inactive", 1, 800, {0, 800}, kValidityInfinite, 0},
        {"before the first keyframe", 4, -1000, {}, 1000, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CkwAnimationController* controller = this->controller(c.speed);
        if (!c.interval.empty()) {
            ASSERT_EQ(trap([&] { controller->setActiveInterval(c.interval[0], c.interval[1]); }), KErrNone);
        }
        CkwAnimationTrack* t = track(steps, kPropertyAlpha, controller);
        float out = 0.0f;
        int32_t validity = 0;
        ASSERT_EQ(trap([&] { validity = t->sample(c.time, 1, &out, 1.0f); }), KErrNone);
        EXPECT_EQ(validity, c.validity);
        EXPECT_EQ(out, c.added);
    }
    Seq* late = sequence(Seq::kStep, Seq::kConstant, 3000, {{1000, {1}}, {2000, {2}}});
    float out = 0.0f;
    int32_t validity = 0;
    ASSERT_EQ(trap([&] { validity = track(late, kPropertyAlpha, controller(2))->sample(100, 1, &out, 1.0f); }), KErrNone);
    EXPECT_EQ(validity, 400);
}

TEST_F(AnimationTrackTest, PassBlendsTracksByWeight)
{
    Seq* left = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {2, 0, 4}}});
    Seq* right = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {6, 2, 0}}});
    Seq* two = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {2}}});
    CkwGroup* g = group();
    CkwAnimationController* half = controller(1, 0.5f);
    CkwAnimationController* off = controller(1, 0);
    ASSERT_EQ(trap([&] {
                  g->addAnimationTrack(track(left, kPropertyTranslation, half));
                  g->addAnimationTrack(track(right, kPropertyTranslation, half));
                  g->addAnimationTrack(track(right, kPropertyTranslation, off));
                  g->addAnimationTrack(track(two, kPropertyScale, controller()));
              }),
              KErrNone);
    int32_t validity = 0;
    ASSERT_EQ(trap([&] { validity = g->animate(0, kNewAnimationPass); }), KErrNone);
    EXPECT_EQ(translationOf(*g), (std::vector<float>{4, 1, 2}));
    EXPECT_EQ((std::vector<float>{g->getScale()[0], g->getScale()[1], g->getScale()[2]}), (std::vector<float>{2, 2, 2}));
    EXPECT_EQ(validity, kValidityInfinite);
    // Weights are not normalised: 0.5 + 1.5 overshoots.
    half->setWeight(1.5f);
    off->setWeight(0.5f);
    ASSERT_EQ(trap([&] { g->animate(0, kNewAnimationPass); }), KErrNone);
    EXPECT_EQ(translationOf(*g), (std::vector<float>{15, 4, 6}));

    // A quaternion track on two morph weights fills only those two.
    TwoWeights* weights = hold(new TwoWeights);
    Seq* turn = sequence(Seq::kSlerp, Seq::kConstant, 3000, {{0, aboutZ(0)}, {1000, aboutZ(90)}});
    ASSERT_EQ(trap([&] { weights->addAnimationTrack(track(turn, kPropertyMorphWeights, controller())); }), KErrNone);
    for (int32_t time : {0, 500, 1000}) {
        ASSERT_EQ(trap([&] { weights->animate(time, kNewAnimationPass); }), KErrNone);
        EXPECT_EQ(weights->applied, 2);
        EXPECT_EQ(weights->weights[2], -7.0f);
        EXPECT_EQ(weights->weights[3], -7.0f);
    }
}

// One animation pass over n tracks sharing a sequence of 8n keyframes, all
// sampled near its end, costs the engine's count of visits n log n.
TEST_F(AnimationTrackTest, APassVisitsInProportionToTheTracks)
{
    const auto codes = expectVisitsInProportion(200, [&](int32_t n) {
        std::vector<Key> keys;
        for (int32_t k = 0; k < 8 * n; ++k)
            keys.push_back({10 * k, {float(k), 0, 0}});
        Seq* shared = sequence(Seq::kLinear, Seq::kConstant, 80 * n + 10, keys);
        CkwGroup* g = group();
        for (int32_t t = 0; t < n; ++t)
            g->addAnimationTrack(track(shared, kPropertyTranslation, controller()));
        engineContext()->visits = 0;
        g->animate(80 * n - 25, kNewAnimationPass);
    });
    EXPECT_EQ(codes, (std::vector<int32_t>{KErrNone, KErrNone}));
}

TEST_F(AnimationTrackTest, WriterMadeWorldMovesAsItsTracksSay)
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    // A: x runs 0 -> 10 over a second and back over the next, looping.
    M3gKeyframeSequenceFields slide;
    slide.repeatMode = 193;
    slide.duration = 2000;
    slide.validRangeLast = 1;
    slide.componentCount = 3;
    slide.keyframes = {{0, {0, 0, 0}}, {1000, {10, 0, 0}}};
    const uint32_t slideSeq = writer.addObject(m3gKeyframeSequenceRecord(slide));
    // B: scale steps from 1 to 3 at sequence time 700, played at speed 2
    // from world time 100 on; the controller is active until 1000.
    M3gKeyframeSequenceFields grow;
    grow.interpolation = 180;
    grow.duration = 1000;
    grow.validRangeLast = 2;
    grow.keyframes = {{0, {1}}, {500, {1}}, {700, {3}}};
    const uint32_t growSeq = writer.addObject(m3gKeyframeSequenceRecord(grow));
    M3gAnimationControllerFields always;
    const uint32_t alwaysController = writer.addObject(m3gAnimationControllerRecord(always));
    M3gAnimationControllerFields fast;
    fast.speed = 2;
    fast.referenceWorldTime = 100;
    fast.activeIntervalEnd = 1000;
    const uint32_t fastController = writer.addObject(m3gAnimationControllerRecord(fast));
    const uint32_t slideTrack = writer.addObject(m3gAnimationTrackRecord({{}, slideSeq, alwaysController, 275}));
    const uint32_t growTrack = writer.addObject(m3gAnimationTrackRecord({{}, growSeq, fastController, 270}));
    M3gGroupFields a;
    a.node.transformable.object.userId = 1;
    a.node.transformable.object.animationTracks = {slideTrack};
    M3gGroupFields b;
    b.node.transformable.object.userId = 2;
    b.node.transformable.object.animationTracks = {growTrack};
    const uint32_t groupA = writer.addObject(m3gGroupRecord(a));
    const uint32_t groupB = writer.addObject(m3gGroupRecord(b));
    M3gWorldFields world;
    world.group.children = {groupA, groupB};
    writer.addObject(m3gWorldRecord(world));

    CkwSerializeObjectsIn parser;
    ASSERT_EQ(loadFile(parser, writer.finish()), -1);
    ASSERT_EQ(parser.roots().count(), 1);
    auto* w = dynamic_cast<CkwWorld*>(parser.objectAt(parser.roots()[0]));
    ASSERT_NE(w, nullptr);
    auto* movingA = dynamic_cast<CkwGroup*>(w->getChild(0));
    auto* growingB = dynamic_cast<CkwGroup*>(w->getChild(1));
    ASSERT_NE(growingB, nullptr);
    const struct {
        int32_t time;
        float x;
        float scale;
        int32_t validityOfB;
    } frames[] = {
        // B's position is 2 x (t - 100); it holds 1 until 500 (world 350).
        {0, 0, 1, 100},     {250, 2.5f, 1, 100}, {350, 3.5f, 1, 0}, {500, 5, 3, kValidityInfinite},
        {1500, 5, 3, kValidityInfinite}, {2250, 2.5f, 3, kValidityInfinite},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.time);
        int32_t validity = 0;
        ASSERT_EQ(trap([&] { validity = w->animate(f.time, kNewAnimationPass); }), KErrNone);
        EXPECT_EQ(translationOf(*movingA), (std::vector<float>{f.x, 0, 0}));
        EXPECT_EQ(growingB->getScale()[1], f.scale);
        // A interpolates and so holds for no time.
        EXPECT_EQ(validity, 0);
        ASSERT_EQ(trap([&] { validity = growingB->animate(f.time, kNewAnimationPass); }), KErrNone);
        EXPECT_EQ(validity, f.validityOfB);
    }
}

TEST_F(AnimationTrackTest, InitAndDuplicateKeepTheirReferences)
{
    Seq* xyz = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {1, 2, 3}}});
    Seq* one = sequence(Seq::kLinear, Seq::kConstant, 1000, {{0, {1}}});
    CkwAnimationController* c = controller();
    CkwAnimationTrack* t = track(xyz, kPropertyTranslation, c);
    // A sequence the property cannot take changes nothing.
    EXPECT_EQ(trap([&] { t->init(one, kPropertyOrientation); }), KErrIllegalArgument);
    EXPECT_EQ(t->getKeyframeSequence(), xyz);
    EXPECT_EQ(t->getTargetProperty(), kPropertyTranslation);
    CkwAnimationTrack* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(dynamic_cast<CkwAnimationTrack*>(t->duplicate())); }), KErrNone);
    EXPECT_EQ(copy->getKeyframeSequence(), xyz);
    EXPECT_EQ(copy->getController(), c);
    EXPECT_EQ(copy->getTargetProperty(), kPropertyTranslation);
    CkwAnimationController* controllerCopy = nullptr;
    c->setPosition(5, 7);
    ASSERT_EQ(trap([&] { c->setActiveInterval(1, 9); }), KErrNone);
    ASSERT_EQ(trap([&] { controllerCopy = hold(dynamic_cast<CkwAnimationController*>(c->duplicate())); }), KErrNone);
    EXPECT_EQ(controllerCopy->getPosition(8), 6.0f);
    EXPECT_EQ(controllerCopy->getActiveIntervalEnd(), 9);
    const struct {
        int32_t property;
        int32_t mask;
    } masks[] = {{255, 0}, {256, 2}, {259, 4 | 16}, {266, -1}, {268, 16}, {270, 2 | 8}, {275, 8}, {277, 0}};
    for (const auto& m : masks)
        EXPECT_EQ(CkwAnimationTrack::componentCountMask(m.property), m.mask) << m.property;
}

TEST_F(AnimationTrackTest, WriterMadeAnimatedSceneDeformsAtSeveralTimes)
{
    CkwSerializeObjectsIn parser;
    ASSERT_EQ(loadFile(parser, m3gSampleAnimatedScene(kM3gSchemeZlib)), -1);
    auto* w = dynamic_cast<CkwWorld*>(parser.objectAt(parser.roots()[0]));
    ASSERT_NE(w, nullptr);
    auto* skinned = dynamic_cast<CkwSkinnedMesh*>(w->getChild(0));
    auto* morphing = dynamic_cast<CkwMorphingMesh*>(w->getChild(1));
    CkwNode* moving = w->getChild(2);
    ASSERT_NE(skinned, nullptr);
    ASSERT_NE(morphing, nullptr);
    // The controller runs at 1.5: world times 200 and 500 are sequence
    // times 300 and 750.
    const struct {
        int32_t time;
        float scale;
        float alpha;
        std::vector<float> weights;
        std::vector<float> morphed; // vertex 0
        // Vertex 1, turned with bone 0: 90 degrees at 300; at 750 the loop
        // segment from 180 back to 0 degrees is 3/8 done.
        std::vector<float> skinned;
    } frames[] = {
        {0, 1, 1, {0, 1}, {-50, 0, 0}, {100, 0, 0}},
        {200, 1, 1 - 300.0f / 900, {0.6f, 0.4f}, {-20, 0, 30}, {0, 100, 0}},
        {500, 2, 1 - 750.0f / 900, {0.5f, 0.5f}, {-25, 0, 25}, {-38.268343f, 92.387953f, 0}},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.time);
        CkwVertexBuffer* blend = nullptr;
        CkwVertexBuffer* skin = nullptr;
        ASSERT_EQ(trap([&] {
                      w->animate(f.time, kNewAnimationPass);
                      blend = morphing->getRenderVertexBuffer(0);
                      skinned->markChangedBones();
                      skin = skinned->getSkinnedVertexBuffer(false);
                  }),
                  KErrNone);
        EXPECT_EQ(moving->getScale()[2], f.scale);
        EXPECT_NEAR(moving->getAlphaFactor(), f.alpha, 1e-6f);
        float weights[2];
        ASSERT_EQ(trap([&] { morphing->getWeights(2, weights); }), KErrNone);
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_NEAR(weights[i], f.weights[i], 1e-6f);
            EXPECT_NEAR(blend->getPositions()->getElement(0, i), f.morphed[i], 1.0f);
        }
        EXPECT_NEAR(blend->getPositions()->getElement(0, 2), f.morphed[2], 1.0f);
        const float scale = skin->getPositionScale();
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(skin->getPositions()->getElement(1, c) * scale, f.skinned[c], 2 * scale) << c;
    }
}

TEST_F(AnimationTrackTest, RealExporterAnimationPlaysThroughItsLoop)
{
    // A file from another exporter, read where the shared folder lies.
    const std::filesystem::path file = realFilesFolder() / "m3x-nokia_on_ice.m3g";
    std::ifstream in(file, std::ios::binary);
    if (!in)
        GTEST_SKIP() << "no shared folder of real 3D files";
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CkwSerializeObjectsIn parser;
    ASSERT_EQ(loadFile(parser, bytes), -1);
    int32_t tracks = 0;
    // Every node's pose at one time, to see the animation move them.
    const auto poses = [&] {
        std::vector<float> out;
        for (int32_t i = 0; i < parser.objectCount(); ++i) {
            if (auto* t = dynamic_cast<CkwTransformable*>(parser.objectAt(i))) {
                out.insert(out.end(), t->getTranslation(), t->getTranslation() + 3);
                out.insert(out.end(), t->getOrientation(), t->getOrientation() + 4);
            }
        }
        return out;
    };
    std::vector<float> previous;
    int32_t moves = 0;
    for (int32_t time = 0; time <= 10000; time += 125) {
        for (int32_t r = 0; r < parser.roots().count(); ++r) {
            auto* root = dynamic_cast<CkwObject3D*>(parser.objectAt(parser.roots()[r]));
            int32_t validity = -1;
            ASSERT_EQ(trap([&] { validity = root->animate(time, kNewAnimationPass); }), KErrNone) << time;
            EXPECT_GE(validity, 0);
        }
        const std::vector<float> now = poses();
        moves += !previous.empty() && now != previous ? 1 : 0;
        previous = now;
    }
    EXPECT_GT(moves, 40);
    for (int32_t i = 0; i < parser.objectCount(); ++i)
        tracks += dynamic_cast<CkwAnimationTrack*>(parser.objectAt(i)) != nullptr ? 1 : 0;
    EXPECT_EQ(tracks, 22);
}

} // namespace
