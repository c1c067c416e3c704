// The keyframe sequence, track, controller and Transform tables through the
// public interface: made by id with their tables, the results they give for
// refused values and handles, and an animation built and run by handle.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/scene/interface/AnimationTables.h"
#include "engine/scene/interface/GeometryTables.h"
#include "engine/scene/interface/TableTestKit.h"

namespace {

class AnimationTablesTest : public SceneTablesTest {
protected:
    static const IkwKeyframeSequenceTable& sequence(EngineHandle* h) { return tableOf<IkwKeyframeSequenceTable>(h); }
    static const IkwAnimationTrackTable& track(EngineHandle* h) { return tableOf<IkwAnimationTrackTable>(h); }
    static const IkwAnimationControllerTable& controller(EngineHandle* h)
    {
        return tableOf<IkwAnimationControllerTable>(h);
    }
    static const IkwTransformTable& transform(EngineHandle* h) { return tableOf<IkwTransformTable>(h); }
};

TEST_F(AnimationTablesTest, EachInterfaceIsMadeWithItsTableAndAnswersItsIds)
{
    expectMadeWithTheirTables({
        {kIidKeyframeSequence, &kKeyframeSequenceTable, {19}},
        {kIidAnimationTrack, &kAnimationTrackTable, {19}},
        {kIidAnimationController, &kAnimationControllerTable, {19}},
        {kIidTransform, &kTransformTable, {}},
    });
}

TEST_F(AnimationTablesTest, EntriesRefuseValuesAndHandles)
{
    EngineHandle* s = make(kIidKeyframeSequence);
    EngineHandle* t = make(kIidAnimationTrack);
    EngineHandle* c = make(kIidAnimationController);
    EngineHandle* m = make(kIidTransform);
    EngineHandle* g = make(kIidGroup);
    const float kNaNs[4] = {kNaN, 0, 0, 1};
    const float zeros[4] = {0, 0, 0, 0};
    const float noAxis[4] = {90, 0, 0, 0};
    const float pair[2] = {1, 2};
    float out[16];
    int32_t time = 0;
    const struct {
        const char* what;
        EngineResult result;
        std::function<EngineResult()> call;
    } calls[] = {
        {"no keyframes", 0x1000D, [&] { return sequence(s).init(s, 0, 1, 176); }},
        {"no components", 0x1000D, [&] { return sequence(s).init(s, 1, 0, 176); }},
        {"interpolation 181", 0x1000D, [&] { return sequence(s).init(s, 1, 1, 181); }},
        {"interpolation 175", 0x1000D, [&] { return sequence(s).init(s, 1, 1, 175); }},
        {"slerp of two", 0x1000D, [&] { return sequence(s).init(s, 2, 2, 177); }},
        {"step of two pairs", 0, [&] { return sequence(s).init(s, 2, 2, 180); }},
        {"duration 0", 0x1000D, [&] { return sequence(s).setDuration(s, 0); }},
        {"repeat 194", 0x1000D, [&] { return sequence(s).setRepeatMode(s, 194); }},
        {"repeat 193", 0, [&] { return sequence(s).setRepeatMode(s, 193); }},
        {"negative time", 0x1000D, [&] { return sequence(s).setKeyframe(s, 0, -1, 2, pair); }},
        {"null value", 0x1000E, [&] { return sequence(s).setKeyframe(s, 0, 0, 2, nullptr); }},
        {"keyframe 2", 0x10007, [&] { return sequence(s).setKeyframe(s, 2, 0, 2, pair); }},
        {"NaN value", 0x10006, [&] { return sequence(s).setKeyframe(s, 1, 0, 2, kNaNs); }},
        {"keyframe 1", 0, [&] { return sequence(s).setKeyframe(s, 1, 40, 2, pair); }},
        {"no time out", 0x1000E, [&] { return sequence(s).getKeyframe(s, 1, 2, out, nullptr); }},
        {"short out", 0x1000D, [&] { return sequence(s).getKeyframe(s, 1, 1, out, &time); }},
        {"range to 2", 0x10007, [&] { return sequence(s).setValidRange(s, 0, 2); }},
        {"track of no sequence", 0x1000E, [&] { return track(t).init(t, nullptr, 275); }},
        {"track of a group", 0x1000D, [&] { return track(t).init(t, g, 275); }},
        {"property 277", 0x1000D, [&] { return track(t).init(t, s, 277); }},
        {"property 255", 0x1000D, [&] { return track(t).init(t, s, 255); }},
        {"pairs as ORIENTATION", 0x1000D, [&] { return track(t).init(t, s, 268); }},
        {"pairs as CROP", 0, [&] { return track(t).init(t, s, 259); }},
        {"weight -1", 0x1000D, [&] { return controller(c).setWeight(c, -1); }},
        {"weight NaN", 0x10006, [&] { return controller(c).setWeight(c, kNaN); }},
        {"weight 0", 0, [&] { return controller(c).setWeight(c, 0); }},
        {"interval backwards", 0x1000D, [&] { return controller(c).setActiveInterval(c, 2, 1); }},
        {"position NaN", 0x10006, [&] { return controller(c).setPosition(c, kNaN, 0); }},
        {"speed infinite", 0x10006,
         [&] { return controller(c).setSpeed(c, std::numeric_limits<float>::infinity(), 0); }},
        {"zero matrix", 0, [&] { return transform(m).setMatrix(m, 16, std::vector<float>(16).data()); }},
        {"invert zero", 0x10004, [&] { return transform(m).invert(m); }},
        {"quaternion of zeros", 0x1000D, [&] { return transform(m).postRotateQuat(m, zeros); }},
        {"quaternion NaN", 0x10006, [&] { return transform(m).postRotateQuat(m, kNaNs); }},
        {"rotation about no axis", 0x1000D, [&] { return transform(m).postRotate(m, noAxis); }},
        {"six floats", 0x1000D, [&] { return transform(m).transform(m, 6, out); }},
        {"fifteen places", 0x1000D, [&] { return transform(m).get(m, 15, out); }},
        {"no array", 0x1000E, [&] { return transform(m).get(m, 16, nullptr); }},
        {"copy of nothing", 0x1000E, [&] { return transform(m).initCopy(m, nullptr); }},
        {"product with a group", 0x1000D, [&] { return transform(m).postMultiply(m, g); }},
        {"no vertex array", 0x1000E, [&] { return transform(m).transformArray(m, nullptr, 16, out, 1); }},
        {"a group as vertex array", 0x1000D, [&] { return transform(m).transformArray(m, g, 16, out, 1); }},
    };
    for (const auto& k : calls)
        EXPECT_EQ(k.call(), k.result) << k.what;

    // What the refusals left and the accepted calls stored.
    int32_t i = 0;
    uint32_t u = 0;
    sequence(s).getKeyframeCount(s, &i);
    EXPECT_EQ(i, 2);
    sequence(s).getInterpolationType(s, &u);
    EXPECT_EQ(u, 180u);
    sequence(s).getDuration(s, &i);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(sequence(s).getKeyframe(s, 1, 2, out, &time), 0);
    EXPECT_EQ(time, 40);
    EXPECT_EQ((std::vector<float>(out, out + 2)), (std::vector<float>{1, 2}));
    track(t).getTargetProperty(t, &u);
    EXPECT_EQ(u, 259u);
    // A controller handle of another kind is ignored, null clears.
    track(t).setController(t, c);
    track(t).setController(t, g);
    EngineHandle* held = nullptr;
    EXPECT_EQ(track(t).getController(t, &held), 0);
    EXPECT_EQ(held->object, c->object);
    release(held);
    track(t).setController(t, nullptr);
    EXPECT_EQ(track(t).getController(t, &held), 0);
    EXPECT_EQ(held, nullptr);
    for (EngineHandle* h : {s, t, c, m, g})
        release(h);
}

TEST_F(AnimationTablesTest, AnimationBuiltByHandleMovesAGroup)
{
    EngineHandle* s = make(kIidKeyframeSequence);
    EngineHandle* t = make(kIidAnimationTrack);
    EngineHandle* c = make(kIidAnimationController);
    EngineHandle* g = make(kIidGroup);
    const float first[3] = {0, 0, 0};
    const float second[3] = {8, -4, 2};
    ASSERT_EQ(sequence(s).init(s, 2, 3, 176), 0);
    ASSERT_EQ(sequence(s).setKeyframe(s, 0, 0, 3, first), 0);
    ASSERT_EQ(sequence(s).setKeyframe(s, 1, 400, 3, second), 0);
    ASSERT_EQ(sequence(s).setDuration(s, 1000), 0);
    ASSERT_EQ(track(t).init(t, s, 275), 0);
    track(t).setController(t, c);
    ASSERT_EQ(controller(c).setSpeed(c, 2, 0), 0);
    ASSERT_EQ(controller(c).setPosition(c, 100, 50), 0);
    ASSERT_EQ(object3D(g).addAnimationTrack(g, t), 0);
    float position = 0;
    controller(c).getPosition(c, 100, &position);
    EXPECT_EQ(position, 200.0f);
    int32_t validity = -1;
    ASSERT_EQ(object3D(g).animate(g, 100, &validity), 0);
    EXPECT_EQ(validity, 0);
    float xyz[3];
    transformable(g).getTranslation(g, xyz);
    EXPECT_EQ((std::vector<float>(xyz, xyz + 3)), (std::vector<float>{4, -2, 1}));
    ASSERT_EQ(object3D(g).animate(g, 300, &validity), 0);
    EXPECT_EQ(validity, kValidityInfinite);
    transformable(g).getTranslation(g, xyz);
    EXPECT_EQ((std::vector<float>(xyz, xyz + 3)), (std::vector<float>{8, -4, 2}));
    // The track hands out the objects it holds.
    EngineHandle* held = nullptr;
    ASSERT_EQ(track(t).getKeyframeSequence(t, &held), 0);
    EXPECT_EQ(held->object, s->object);
    release(held);

    // Transform: a translation then a quarter turn about z, applied to a point.
    const float move[3] = {1, 2, 3};
    const float quarter[4] = {90, 0, 0, 1};
    held = make(kIidTransform);
    ASSERT_EQ(transform(held).postTranslate(held, move), 0);
    ASSERT_EQ(transform(held).postRotate(held, quarter), 0);
    float point[4] = {1, 0, 0, 1};
    ASSERT_EQ(transform(held).transform(held, 4, point), 0);
    EXPECT_NEAR(point[0], 1, 1e-6);
    EXPECT_NEAR(point[1], 3, 1e-6);
    EXPECT_NEAR(point[2], 3, 1e-6);
    EngineHandle* inverse = make(kIidTransform);
    ASSERT_EQ(transform(inverse).initCopy(inverse, held), 0);
    ASSERT_EQ(transform(inverse).invert(inverse), 0);
    ASSERT_EQ(transform(inverse).postMultiply(inverse, held), 0);
    float m[16];
    ASSERT_EQ(transform(inverse).get(inverse, 16, m), 0);
    for (int k = 0; k < 16; ++k)
        EXPECT_NEAR(m[k], k % 5 == 0 ? 1 : 0, 1e-6) << k;
    const float rows[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_EQ(transform(inverse).setMatrix(inverse, 16, rows), 0);
    transform(inverse).transpose(inverse);
    ASSERT_EQ(transform(inverse).get(inverse, 16, m), 0);
    EXPECT_EQ(m[1], 5.0f);
    EXPECT_EQ(m[4], 2.0f);
    for (EngineHandle* h : {s, t, c, g, held, inverse})
        release(h);
}

TEST_F(AnimationTablesTest, MorphingAndSkinnedMeshTablesCheckTheirArguments)
{
    expectMadeWithTheirTables({
        {kIidMorphingMesh, &kMorphingMeshTable, {16, 18, 19, 27}},
        {kIidSkinnedMesh, &kSkinnedMeshTable, {16, 18, 19, 27}},
    });
    EngineHandle* morph = make(kIidMorphingMesh);
    EngineHandle* skin = make(kIidSkinnedMesh);
    EngineHandle* vertices = make(kIidVertexBuffer);
    EngineHandle* positions = make(kIidVertexArray);
    EngineHandle* strip = make(kIidTriangleStripArray);
    EngineHandle* skeleton = make(kIidGroup);
    EngineHandle* bone = make(kIidGroup);
    EngineHandle* matrix = make(kIidTransform);
    const int16_t values[9] = {10, 0, 0, 0, 10, 0, 0, 0, 10};
    const float noBias[3] = {0, 0, 0};
    const int32_t lengths[1] = {3};
    ASSERT_EQ(tableOf<IkwVertexArrayTable>(positions).init(positions, 3, 3, 2), 0);
    ASSERT_EQ(tableOf<IkwVertexArrayTable>(positions).setShorts(positions, 0, 3, 9, values), 0);
    ASSERT_EQ(tableOf<IkwVertexBufferTable>(vertices).setPositions(vertices, positions, 1, 3, noBias), 0);
    ASSERT_EQ(tableOf<IkwTriangleStripArrayTable>(strip).initImplicit(strip, 0, 1, lengths), 0);
    ASSERT_EQ(group(skeleton).addChild(skeleton, bone), 0);
    const auto& m = tableOf<IkwMorphingMeshTable>(morph);
    const auto& s = tableOf<IkwSkinnedMeshTable>(skin);
    EngineHandle* const targets[2] = {vertices, vertices};
    EngineHandle* const mixed[1] = {strip};
    const float halves[2] = {0.5f, 0.5f};
    float weights[2] = {};
    int32_t index[3];
    float weight[3];
    int32_t count = 0;
    float points[12] = {};
    const struct {
        const char* what;
        EngineResult result;
        std::function<EngineResult()> call;
    } calls[] = {
        {"no targets", 0x1000E, [&] { return m.init(morph, vertices, 0, nullptr, strip, nullptr); }},
        {"a strip as target", 0x1000D, [&] { return m.init(morph, vertices, 1, mixed, strip, nullptr); }},
        {"no index buffer", 0x1000E, [&] { return m.init(morph, vertices, 2, targets, nullptr, nullptr); }},
        {"two targets", 0, [&] { return m.init(morph, vertices, 2, targets, strip, nullptr); }},
        {"target 2", 0x10007, [&] { EngineHandle* t = nullptr; return m.getMorphTarget(morph, 2, &t); }},
        {"no weights", 0x1000E, [&] { return m.setWeights(morph, 2, nullptr); }},
        {"one weight", 0x1000D, [&] { return m.setWeights(morph, 1, halves); }},
        {"two weights", 0, [&] { return m.setWeights(morph, 2, halves); }},
        {"weights into one place", 0x1000D, [&] { return m.getWeights(morph, 1, weights); }},
        {"weights out", 0, [&] { return m.getWeights(morph, 2, weights); }},
        {"no skeleton", 0x1000E, [&] { return s.init(skin, vertices, strip, nullptr, nullptr); }},
        {"a mesh as skeleton", 0x1000D, [&] { return s.init(skin, vertices, strip, nullptr, morph); }},
        {"skeleton", 0, [&] { return s.init(skin, vertices, strip, nullptr, skeleton); }},
        {"no bone", 0x1000E, [&] { return s.addTransform(skin, nullptr, 1, 0, 3); }},
        {"weight 0", 0x1000D, [&] { return s.addTransform(skin, bone, 0, 0, 3); }},
        {"past 65535", 0x10007, [&] { return s.addTransform(skin, bone, 1, 65535, 1); }},
        {"bone", 0, [&] { return s.addTransform(skin, bone, 2, 0, 3); }},
        {"bone vertices", 0, [&] { return s.getBoneVertices(skin, bone, 3, index, 3, weight, &count); }},
        {"bone vertices, no count", 0x1000E, [&] { return s.getBoneVertices(skin, bone, 3, index, 3, weight, nullptr); }},
        {"no transform", 0x1000E, [&] { return s.getBoneTransform(skin, bone, nullptr); }},
        {"bone transform", 0, [&] { return s.getBoneTransform(skin, bone, matrix); }},
        {"points into no array", 0x1000E, [&] { return transform(matrix).transformArray(matrix, positions, 12, nullptr, 1); }},
        {"points into 11 places", 0x1000D, [&] { return transform(matrix).transformArray(matrix, positions, 11, points, 1); }},
        {"points", 0, [&] { return transform(matrix).transformArray(matrix, positions, 12, points, 1); }},
    };
    for (const auto& k : calls)
        EXPECT_EQ(k.call(), k.result) << k.what;
    EXPECT_EQ((std::vector<float>(weights, weights + 2)), (std::vector<float>{0.5f, 0.5f}));
    EXPECT_EQ(count, 3);
    EXPECT_EQ((std::vector<float>(points, points + 8)), (std::vector<float>{10, 0, 0, 1, 0, 10, 0, 1}));
    EXPECT_EQ((std::vector<float>(weight, weight + 3)), (std::vector<float>{1, 1, 1}));
    uint32_t targetsHeld = 0;
    m.getMorphTargetCount(morph, &targetsHeld);
    EXPECT_EQ(targetsHeld, 2u);
    EngineHandle* held = nullptr;
    ASSERT_EQ(s.getSkeleton(skin, &held), 0);
    EXPECT_EQ(held->object, skeleton->object);
    release(held);
    for (EngineHandle* h : {morph, skin, vertices, positions, strip, skeleton, bone, matrix})
        release(h);
}

} // namespace
