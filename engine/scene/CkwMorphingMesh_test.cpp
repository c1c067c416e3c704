// Morphing meshes: the 8.8 blend of every attribute against values worked out
// by hand, targets that share the base's arrays, colours clamped as unsigned
// bytes, the checks that refuse mismatched targets, MORPH_WEIGHTS driven by a
// track, and the record as assembled.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <vector>

#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/AnimationTestKit.h"
#include "engine/scene/CkwMorphingMesh.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/ImageTestKit.h"
#include "engine/scene/testing/SceneKit.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MorphingMeshTest : public AnimationTest {
protected:
    // A buffer of two vertices with 16-bit positions and, when given, 8-bit
    // normals and RGB colours.
    CkwVertexBuffer* buffer(const std::vector<int32_t>& positions, const std::vector<int32_t>& colors = {},
                            const std::vector<int32_t>& normals = {})
    {
        auto* b = hold(new CkwVertexBuffer);
        EXPECT_EQ(trap([&] {
                      b->setPositions(kitVertexArray(3, 2, positions), 1.0f, 0, nullptr);
                      if (!colors.empty())
                          b->setColors(kitVertexArray(3, 1, colors));
                      if (!normals.empty())
                          b->setNormals(kitVertexArray(3, 1, normals));
                  }),
                  KErrNone);
        return b;
    }

    CkwMorphingMesh* mesh(CkwVertexBuffer* base, const std::vector<CkwVertexBuffer*>& targets)
    {
        auto* m = hold(new CkwMorphingMesh);
        CkwTriangleStripArray* s = strip();
        EXPECT_EQ(trap([&] { m->initSingle(base, static_cast<int32_t>(targets.size()), targets.data(), s, nullptr); }),
                  KErrNone);
        return m;
    }

    // The attribute's values in the blended buffer.
    static std::vector<int32_t> values(const CkwVertexArray* array)
    {
        std::vector<int32_t> out;
        for (int32_t v = 0; v < array->getVertexCount(); ++v)
            for (int32_t c = 0; c < array->getComponentCount(); ++c)
                out.push_back(array->getElement(v, c));
        return out;
    }
};

TEST_F(MorphingMeshTest, AttributesBlendByWeight)
{
    CkwVertexBuffer* base = buffer({10, -10, 0, 1000, -32768, 7}, {200, 0, 255, 10, 20, 30}, {0, 127, 0, 0, 0, 127});
    CkwVertexBuffer* up = buffer({20, 10, 100, 1000, -32000, 7}, {250, 255, 255, 10, 20, 30});
    CkwVertexBuffer* far = buffer({30, -30, 0, 2000, -32768, -7}, {100, 0, 0, 10, 20, 30}, {127, 0, 0, 0, 0, 127});
    // A target whose positions are the base's own array.
    auto* same = hold(new CkwVertexBuffer);
    ASSERT_EQ(trap([&] {
                  same->setPositions(base->getPositions(), 1.0f, 0, nullptr);
                  same->setColors(base->getColors());
              }),
              KErrNone);
    CkwMorphingMesh* m = mesh(base, {up, far, same});
    const struct {
        const char* what;
        std::vector<float> weights;
        std::vector<int32_t> positions;
        std::vector<int32_t> colors; // as unsigned bytes
    } cases[] = {
        {"all zero is the base", {0, 0, 0}, {10, -10, 0, 1000, -32768, 7}, {200, 0, 255, 10, 20, 30}},
        {"half way", {0.5f, 0, 0}, {15, 0, 50, 1000, -32384, 7}, {225, 127, 255, 10, 20, 30}},
        {"weight 1 is the target", {1, 0, 0}, {20, 10, 100, 1000, -32000, 7}, {250, 255, 255, 10, 20, 30}},
        {"the base's own array gives to the base", {0, 0.5f, 0.5f}, {20, -20, 0, 1500, -32768, 0}, {150, 0, 127, 10, 20, 30}},
        {"colours clamp at 255", {2, 0, 0}, {30, 30, 200, 1000, -31232, 7}, {255, 255, 255, 10, 20, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(trap([&] { m->setWeights(3, c.weights.data()); }), KErrNone);
        CkwVertexBuffer* blended = nullptr;
        ASSERT_EQ(trap([&] { blended = m->getRenderVertexBuffer(0); }), KErrNone);
        EXPECT_EQ(values(blended->getPositions()), c.positions);
        std::vector<int32_t> colors = values(blended->getColors());
        for (int32_t& v : colors)
            v &= 0xFF;
        EXPECT_EQ(colors, c.colors);
        // The first target has no normals: they stay the base's.
        EXPECT_EQ(blended->getNormals(), base->getNormals());
    }
}

TEST_F(MorphingMeshTest, RefusalsAndMismatchedTargets)
{
    CkwVertexBuffer* base = buffer({1, 2, 3, 4, 5, 6});
    CkwVertexBuffer* colored = buffer({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6});
    auto* longer = hold(new CkwVertexBuffer);
    ASSERT_EQ(trap([&] { longer->setPositions(kitVertexArray(3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9}), 1.0f, 0, nullptr); }),
              KErrNone);
    const float nan[] = {std::numeric_limits<float>::quiet_NaN()};
    const float one[] = {1};
    CkwMorphingMesh* m = mesh(base, {colored});
    auto* empty = hold(new CkwMorphingMesh);
    CkwVertexBuffer* none = nullptr;
    CkwVertexBuffer* two[] = {colored, colored};
    CkwTriangleStripArray* other = strip();
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"no weights", [&] { m->setWeights(0, one); }, KErrIllegalArgument},
        {"NaN weight", [&] { m->setWeights(1, nan); }, KErrInvalidFloat},
        {"short weights out", [&] { float w; m->getWeights(0, &w); }, KErrIllegalArgument},
        {"target 1", [&] { m->getMorphTarget(1); }, KErrIndexOutOfRange},
        {"no targets", [&] { empty->initSingle(base, 0, nullptr, nullptr, nullptr); }, KErrIllegalArgument},
        {"a null target", [&] { empty->initSingle(base, 1, &none, nullptr, nullptr); }, KErrNullArgument},
        {"no memory for more targets", [&] { FailingAllocHooks hooks; FailingAllocator::start(0); m->initSingle(colored, 2, two, other, nullptr); }, KErrNoMemory},
        // Colours in a target the base lacks refuse to draw, at any weight.
        {"colours only in the target", [&] { m->getRenderVertexBuffer(0); }, KErrIllegalState},
        {"a target of other counts", [&] {
             CkwMorphingMesh* wrong = mesh(base, {longer});
             wrong->setWeights(1, one);
             wrong->getRenderVertexBuffer(0);
         }, KErrIllegalState},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;
    // The refused init kept the mesh as it was.
    EXPECT_EQ(m->getVertexBuffer(), base);
}

// n targets naming one buffer of n vertices, every weight set: the blend of
// 2n costs no more than about twice that of n, since a mesh past its budget
// of targets x vertices is refused when made.
TEST_F(MorphingMeshTest, SharedTargetsStayWithinTheBudget)
{
    const auto codes = expectVisitsInProportion(1100, [&](int32_t n) {
        std::vector<CkwVertexBuffer*> targets(n, buffer(std::vector<int32_t>(3 * n, 9)));
        const std::vector<float> weights(n, 0.5f / n);
        CkwMorphingMesh* m = hold(new CkwMorphingMesh);
        m->initSingle(buffer(std::vector<int32_t>(3 * n, 1)), n, targets.data(), strip(), nullptr);
        m->setWeights(n, weights.data());
        m->getRenderVertexBuffer(0);
    });
    EXPECT_EQ(codes, (std::vector<int32_t>{KErrNone, KErrNoMemory}));
}

TEST_F(MorphingMeshTest, TracksDriveTheWeightsAndTheBlendFollowsTheBase)
{
    CkwVertexBuffer* base = buffer({0, 0, 0, 100, 100, 100});
    CkwVertexBuffer* a = buffer({100, 0, 0, 100, 100, 100});
    CkwVertexBuffer* b = buffer({0, 100, 0, 100, 100, 100});
    CkwMorphingMesh* m = mesh(base, {a, b});
    CkwKeyframeSequence* s =
        sequence(CkwKeyframeSequence::kLinear, CkwKeyframeSequence::kConstant, 1000, {{0, {0, 1}}, {1000, {1, 0}}});
    ASSERT_EQ(trap([&] { m->addAnimationTrack(track(s, kPropertyMorphWeights, controller())); }), KErrNone);
    ASSERT_EQ(trap([&] { m->animate(250, kNewAnimationPass); }), KErrNone);
    float weights[2];
    ASSERT_EQ(trap([&] { m->getWeights(2, weights); }), KErrNone);
    EXPECT_EQ((std::vector<float>(weights, weights + 2)), (std::vector<float>{0.25f, 0.75f}));
    CkwVertexBuffer* blended = nullptr;
    ASSERT_EQ(trap([&] { blended = m->getRenderVertexBuffer(0); }), KErrNone);
    EXPECT_EQ(values(blended->getPositions()), (std::vector<int32_t>{25, 75, 0, 100, 100, 100}));

    // A base that changes its vertex count gets a blend of the new count.
    ASSERT_EQ(trap([&] {
                  for (CkwVertexBuffer* v : {base, a, b}) {
                      v->setPositions(nullptr, 1.0f, 0, nullptr);
                      v->setPositions(kitVertexArray(3, 2, {0, 0, 0, 0, 0, 0, 40, 40, 40}), 1.0f, 0, nullptr);
                  }
                  m->setWeights(2, weights);
                  blended = m->getRenderVertexBuffer(0);
              }),
              KErrNone);
    EXPECT_EQ(values(blended->getPositions()), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 40, 40, 40}));
}

// A write to anything the blend is made of reaches it at the next draw, as
// a mesh made afresh over the same buffers blends them; a draw after no
// write blends nothing again.
TEST_F(MorphingMeshTest, WritesToTheBaseAndTargetsReachTheBlend)
{
    CkwVertexBuffer* base = buffer({10, -10, 0, 1000, -300, 7}, {200, 0, 255, 10, 20, 30}, {0, 127, 0, 0, 0, 127});
    CkwVertexBuffer* up = buffer({20, 10, 100, 1000, -32000, 7}, {250, 255, 255, 10, 20, 30}, {127, 0, 0, 0, 0, 127});
    CkwVertexBuffer* far = buffer({30, -30, 0, 2000, -32768, -7}, {100, 0, 0, 10, 20, 30}, {0, 0, 127, 0, 127, 0});
    const float weights[] = {0.5f, 0.25f};
    const auto weighted = [&] {
        CkwMorphingMesh* m = mesh(base, {up, far});
        m->setWeights(2, weights);
        return m;
    };
    const auto blendOf = [&](CkwMorphingMesh* m) {
        CkwVertexBuffer* b = nullptr;
        EXPECT_EQ(trap([&] { b = m->getRenderVertexBuffer(0); }), KErrNone);
        std::vector<double> shown = {double(b->getDefaultColor()), b->getPositionScale(), b->getPositionBias()[2]};
        for (const CkwVertexArray* a : {b->getPositions(), b->getNormals(), b->getColors()})
            for (int32_t v : values(a))
                shown.push_back(v);
        return shown;
    };
    CkwMorphingMesh* m = weighted();
    std::vector<double> before = blendOf(m);
    const int16_t shorts[] = {-5, 6, 7};
    const int32_t accumulators[] = {0x4000, 0x8000, 0xC000};
    const float bias[] = {1, 2, 3};
    const std::function<void()> writes[] = {
        [&] { up->getPositions()->setShorts(1, 1, 3, shorts); },
        [&] { base->getPositions()->setElement(1, 0, -77); },
        [&] { far->getNormals()->setElement(1, 1, -100); },
        [&] { base->getColors()->setFromAccumulator(3, 1, accumulators, true); },
        [&] { far->getColors()->init(2, 3, 1); },
        [&] { base->setDefaultColor(0x80102030); },
        [&] { up->setDefaultColor(0xFF00FF00); },
        [&] { base->setPositions(base->getPositions(), 2.0f, 3, bias); },
        [&] { up->setNormals(kitVertexArray(3, 1, {1, 2, 3, 4, 5, 6})); },
        [&] {
            CkwKeyframeSequence* s = sequence(CkwKeyframeSequence::kLinear, CkwKeyframeSequence::kConstant, 1000,
                                              {{0, {0, 0, 0}}, {1000, {1, 0.5f, 1}}});
            base->addAnimationTrack(track(s, kPropertyColor, controller()));
            m->animate(600, kNewAnimationPass);
        },
    };
    for (size_t i = 0; i < std::size(writes); ++i) {
        ASSERT_EQ(trap(writes[i]), KErrNone) << i;
        const std::vector<double> now = blendOf(m);
        EXPECT_EQ(now, blendOf(weighted())) << i;
        EXPECT_NE(now, before) << i;
        const auto blended = [&] { return m->getRenderVertexBuffer(0)->getPositions()->getRevision(); };
        EXPECT_EQ(blended(), blended()) << i;
        before = now;
    }
}

TEST_F(MorphingMeshTest, RecordAsAssembled)
{
    CkwVertexBuffer* base = buffer({1, 2, 3, 4, 5, 6});
    auto* strip = hold(new CkwTriangleStripArray);
    const int32_t lengths[] = {3};
    ASSERT_EQ(trap([&] { strip->initImplicit(0, 1, lengths); }), KErrNone);
    M3gMorphingMeshFields f;
    f.mesh.node.transformable.object.userId = 15;
    f.mesh.vertexBuffer = 2;
    f.mesh.submeshes = {{3, 0}};
    f.targets = {{2, 0.5f}, {2, -1}};
    const Bytes mesh = {15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,
                        2, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
    Bytes record = mesh;
    for (uint8_t b : {2, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0x3F, 2, 0, 0, 0, 0, 0, 0x80, 0xBF})
        record.push_back(b);
    EXPECT_EQ(m3gMorphingMeshRecord(f).data, record);
    auto* m = hold(new CkwMorphingMesh);
    ASSERT_EQ(readRecord(*m, record, {base, strip}), KErrNone);
    EXPECT_EQ(m->getMorphTargetCount(), 2);
    float w[2];
    ASSERT_EQ(trap([&] { m->getWeights(2, w); }), KErrNone);
    EXPECT_EQ((std::vector<float>(w, w + 2)), (std::vector<float>{0.5f, -1}));
    CkwObject3D* references[4] = {};
    EXPECT_EQ(m->getReferences(4, references), 4); // two targets, buffer, strip
    // A count the record cannot hold, and a null target.
    Bytes hostile = mesh;
    for (uint8_t b : {0, 0, 0, 0x10})
        hostile.push_back(b);
    EXPECT_EQ(readRecord(*hold(new CkwMorphingMesh), hostile, {base, strip}), KErrReadPastEnd);
    f.targets = {{0, 1}};
    EXPECT_EQ(readRecord(*hold(new CkwMorphingMesh), m3gMorphingMeshRecord(f).data, {base, strip}), KErrCorruptData);
    f.targets = {};
    EXPECT_EQ(readRecord(*hold(new CkwMorphingMesh), m3gMorphingMeshRecord(f).data, {base, strip}), KErrNone);
    // Targets over a base of 65535 vertices: as many as the budget holds
    // load (each blend also takes a pass over the base), one more is refused.
    CkwVertexBuffer* large = buffer(std::vector<int32_t>(3 * 65535, 1));
    for (int64_t extra : {0, 1}) {
        f.targets.assign(static_cast<size_t>(CkwMorphingMesh::kBlendStepsPerMesh / 65535 - 1 + extra), {2, 0});
        EXPECT_EQ(readRecord(*hold(new CkwMorphingMesh), m3gMorphingMeshRecord(f).data, {large, strip}),
                  extra == 0 ? KErrNone : KErrNoMemory);
    }
    // The meshes of one file share one allowance, skinned ones too: each
    // mesh here fits its own budget, and two of them pass the file's. Skins
    // binding one vertex of one source each pay for all its vertices, and
    // morphs for every attribute blended from every target and the base: as
    // many as the allowance holds load, one more is refused. What skins and
    // morphs make shares the load's allowance with the images it makes.
    constexpr int32_t kVertices = 16384;
    const auto steps = static_cast<uint32_t>(kDeformStepsPerFile / kVertices / 2 + 1);
    enum Kind { kMorphs, kSkins, kSkinsOfOneVertex, kMorphsOfEveryAttribute, kMorphAfterImages, kSkinAfterImages };
    for (const Kind kind : {kMorphs, kSkins, kSkinsOfOneVertex, kMorphsOfEveryAttribute, kMorphAfterImages, kSkinAfterImages}) {
        const int32_t fitting = kind == kSkinsOfOneVertex        ? int32_t(kDeformStepsPerFile / (kVertices + 1))
                              : kind == kMorphsOfEveryAttribute ? int32_t(kDeformStepsPerFile / (5 * 2 * kVertices))
                              : kind >= kMorphAfterImages       ? 0
                                                                : 1;
        for (const int32_t meshes : {fitting, fitting + 1}) {
            const int32_t code = loadRecords(*this, [&](M3gFileWriter& w) {
                // 96 KiB short of the allowance.
                if (kind >= kMorphAfterImages)
                    w.addObject(m3gImage2DRecord({{}, kImageFormatRgb, true, 8192, 4090, {}, {}}));
                const auto array = [&](uint8_t components) {
                    return w.addObject(m3gVertexArrayRecord({{}, 1, components, kM3gVertexPlain, std::vector<int32_t>(components * kVertices, 1)}));
                };
                M3gVertexBufferFields b;
                b.positions = array(3);
                if (kind == kMorphsOfEveryAttribute) {
                    b.normals = array(3);
                    b.colors = array(4);
                    b.texCoords = {{array(2)}, {array(2)}};
                }
                const uint32_t vertices = w.addObject(m3gVertexBufferRecord(b));
                M3gTriangleStripFields t;
                t.stripLengths = {3};
                const M3gMeshFields shape{{}, vertices, {{w.addObject(m3gTriangleStripRecord(t)), 0}}};
                for (int32_t i = 0; i < meshes; ++i) {
                    if (kind == kMorphs || kind == kMorphsOfEveryAttribute || kind == kMorphAfterImages) {
                        const uint32_t targets = kind == kMorphs ? steps : 1;
                        w.addObject(m3gMorphingMeshRecord({shape, std::vector<M3gMorphTargetFields>(targets, {vertices, 0})}));
                    } else {
                        const uint32_t bone = w.addObject(m3gGroupRecord({}));
                        const uint32_t top = w.addObject(m3gGroupRecord({{}, {bone}}));
                        const M3gBoneReferenceFields binding{bone, 0, kind == kSkins ? uint32_t{kVertices} : 1u, 1};
                        w.addObject(m3gSkinnedMeshRecord({shape, top, std::vector<M3gBoneReferenceFields>(kind == kSkins ? steps : 1, binding)}));
                    }
                }
            });
            EXPECT_EQ(code == -1, meshes == fitting) << kind << " " << meshes;
        }
    }
}

} // namespace
