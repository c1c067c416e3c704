// Skinned meshes: which two bindings drive a vertex and the palette entries
// vertices share, the checks of bindings and skeletons, skinned positions
// against a plain float skinning written here, copies that map their bones
// into their own skeleton, and the record as assembled.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "engine/core/math/CkwTransform.h"
#include "engine/scene/AnimationTestKit.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/CkwTriangleStripArray.h"
#include "engine/scene/testing/SceneKit.h"
#include "tools/m3g/M3gAnimationEncoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SkinnedMeshTest : public AnimationTest {
protected:
    CkwVertexBuffer* buffer(const std::vector<int32_t>& positions, float scale = 1.0f, const float* bias = nullptr)
    {
        auto* b = hold(new CkwVertexBuffer);
        EXPECT_EQ(trap([&] { b->setPositions(kitVertexArray(3, 2, positions), scale, bias ? 3 : 0, bias); }), KErrNone);
        return b;
    }

    // A skeleton with bones at the given translations, each a child of it.
    CkwGroup* skeleton(const std::vector<std::vector<float>>& bones)
    {
        CkwGroup* s = group();
        for (const auto& t : bones) {
            CkwGroup* bone = group();
            bone->setTranslation(t[0], t[1], t[2]);
            EXPECT_EQ(trap([&] { s->addChild(bone); }), KErrNone);
        }
        return s;
    }

    CkwSkinnedMesh* mesh(CkwVertexBuffer* vertices, CkwGroup* skeleton)
    {
        auto* m = hold(new CkwSkinnedMesh);
        EXPECT_EQ(trap([&] { m->initSingle(vertices, strip(), nullptr, skeleton); }), KErrNone);
        return m;
    }

    static CkwNode* bone(CkwGroup* skeleton, int32_t i) { return skeleton->getChild(i); }

    // n bones below s, each the child of the one before (a chain) or of s,
    // raised by lift; added sees each once it is in place. Leaves on failure.
    std::vector<CkwGroup*> growBones(CkwGroup* s, int32_t n, bool chain, float lift,
                                     const std::function<void(CkwGroup*, int32_t)>& added)
    {
        std::vector<CkwGroup*> out;
        for (CkwGroup* above = s; static_cast<int32_t>(out.size()) < n; above = chain ? out.back() : s) {
            out.push_back(group());
            if (lift != 0)
                out.back()->setTranslation(0, lift, 0);
            above->addChild(out.back());
            added(out.back(), static_cast<int32_t>(out.size()) - 1);
        }
        return out;
    }

    static std::vector<uint16_t> paletteIndices(CkwSkinnedMesh* m)
    {
        const CkwArray<uint16_t>* indices = nullptr;
        EXPECT_EQ(trap([&] { indices = &m->getVertexPaletteIndices(); }), KErrNone);
        return indices ? std::vector<uint16_t>(indices->begin(), indices->end()) : std::vector<uint16_t>{};
    }

    struct BoneVertices {
        std::vector<int32_t> indices;
        std::vector<float> weights;
        bool operator==(const BoneVertices&) const = default;
    };
    static BoneVertices boneVertices(CkwSkinnedMesh* m, CkwNode* bone)
    {
        BoneVertices out;
        int32_t count = 0;
        EXPECT_EQ(trap([&] { count = m->getBoneVertices(bone, 0, nullptr, 0, nullptr); }), KErrNone);
        out.indices.resize(static_cast<size_t>(count));
        out.weights.resize(static_cast<size_t>(count));
        EXPECT_EQ(trap([&] { m->getBoneVertices(bone, count, out.indices.data(), count, out.weights.data()); }), KErrNone);
        return out;
    }
};

TEST_F(SkinnedMeshTest, TwoBindingsDriveAVertexAndEqualBindingsShareAnEntry)
{
    CkwGroup* s = skeleton({{5, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    CkwSkinnedMesh* m = mesh(buffer(std::vector<int32_t>(30, 1)), s);
    CkwNode* b1 = bone(s, 0);
    CkwNode* b2 = bone(s, 1);
    CkwNode* b3 = bone(s, 2);
    ASSERT_EQ(trap([&] {
                  m->addTransform(b1, 1, 0, 2);
                  m->addTransform(b2, 3, 0, 2);
                  m->addTransform(b3, 2, 0, 1); // not above 3: vertex 0 keeps 1 and 3
                  m->addTransform(b3, 5, 1, 1); // above 3: replaces the 1 of vertex 1
                  m->addTransform(b1, 2, 2, 1);
                  m->addTransform(b1, 2, 3, 1); // same bone and weight as the one before
                  m->addTransform(b2, 2, 4, 1);
                  m->addTransform(b3, 2, 4, 1);
                  m->addTransform(b1, 4, 4, 1); // the two kept weigh the same: replaces the first
                  m->addTransform(b1, 1, 5, 1);
                  m->addTransform(b2, 3, 5, 1);
                  m->addTransform(b3, 3, 5, 1); // as heavy as the largest, not above: vertex 5 is vertex 0's
              }),
              KErrNone);
    EXPECT_EQ(boneVertices(m, b1), (BoneVertices{{0, 2, 3, 4, 5}, {0.25f, 1, 1, 4 / 6.0f, 0.25f}}));
    EXPECT_EQ(boneVertices(m, b2), (BoneVertices{{0, 1, 5}, {0.75f, 0.375f, 0.75f}}));
    EXPECT_EQ(boneVertices(m, b3), (BoneVertices{{1, 4}, {0.625f, 2 / 6.0f}}));
    EXPECT_EQ(paletteIndices(m), (std::vector<uint16_t>{1, 2, 3, 3, 4, 1, 0, 0, 0, 0}));
    EXPECT_EQ(m->getPaletteCount(), 5);

    // The rest pose of a bound bone; an unbound node leaves the transform.
    CkwTransform rest;
    ASSERT_EQ(trap([&] { m->getBoneTransform(b1, &rest); }), KErrNone);
    EXPECT_EQ(rest.matrix().element(0, 3), -5.0f);
    CkwGroup* unbound = group();
    ASSERT_EQ(trap([&] { dynamic_cast<CkwGroup*>(b1)->addChild(unbound); }), KErrNone);
    CkwTransform kept;
    kept.matrix() = CkwMatrix::translation(7, 7, 7);
    ASSERT_EQ(trap([&] { m->getBoneTransform(unbound, &kept); }), KErrNone);
    EXPECT_EQ(kept.matrix().element(1, 3), 7.0f);

    int32_t index[2];
    float weight[3];
    CkwGroup* outside = group();
    CkwSkinnedMesh* probe = mesh(buffer(std::vector<int32_t>(30, 1)), skeleton({{0, 0, 0}}));
    CkwGroup* parented = skeleton({{0, 0, 0}});
    CkwWorld* world = this->world();
    CkwGroup* flat = group();
    flat->setScale(0, 0, 0);
    ASSERT_EQ(trap([&] { s->addChild(flat); }), KErrNone);
    const struct {
        const char* what;
        std::function<void()> call;
        int32_t code;
    } cases[] = {
        {"outputs too short", [&] { m->getBoneVertices(b1, 2, index, 3, weight); }, KErrIllegalArgument},
        {"a bone outside the skeleton", [&] { m->getBoneVertices(outside, 0, nullptr, 0, nullptr); }, KErrIllegalArgument},
        {"no bone", [&] { m->addTransform(nullptr, 1, 0, 1); }, KErrNullArgument},
        {"weight 0", [&] { m->addTransform(b1, 0, 0, 1); }, KErrIllegalArgument},
        {"no vertices", [&] { m->addTransform(b1, 1, 0, 0); }, KErrIllegalArgument},
        {"bound outside", [&] { m->addTransform(outside, 1, 0, 1); }, KErrIllegalArgument},
        {"a bone the mesh cannot be seen from", [&] { m->addTransform(flat, 9, 0, 6); }, KErrArithmetic},
        {"first -1", [&] { m->addTransform(b1, 1, -1, 1); }, KErrIndexOutOfRange},
        {"to 65536", [&] { probe->addTransform(probe->getSkeleton(), 1, 65000, 536); }, KErrIndexOutOfRange},
        {"to 65535", [&] { probe->addTransform(probe->getSkeleton(), 1, 65000, 535); }, KErrNone},
        {"past the vertices", [&] { probe->getVertexPaletteIndices(); }, KErrIllegalState},
        {"no transform", [&] { m->getBoneTransform(b1, nullptr); }, KErrNullArgument},
        {"a parented skeleton", [&] {
             outside->addChild(parented);
             probe->initSingle(m->getVertexBuffer(), strip(), nullptr, parented);
         }, KErrIllegalArgument},
        {"a World skeleton", [&] { probe->initSingle(m->getVertexBuffer(), strip(), nullptr, world); }, KErrIllegalArgument},
        {"no skeleton", [&] { probe->initSingle(m->getVertexBuffer(), strip(), nullptr, nullptr); }, KErrNullArgument},
        {"its own parent as skeleton", [&] {
             CkwSkinnedMesh* child = mesh(m->getVertexBuffer(), skeleton({}));
             CkwGroup* above = group();
             above->addChild(child);
             child->initSingle(m->getVertexBuffer(), strip(), nullptr, above);
         }, KErrIllegalArgument},
        {"bindings covering more than the budget",
         [&] { for (int32_t i = 0; i <= CkwSkinnedMesh::kBoundVerticesPerMesh / 65535; ++i) probe->addTransform(probe->getSkeleton(), 1, 0, 65535); },
         KErrNoMemory},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap(c.call), c.code) << c.what;
    // Refusals leave nothing behind for the next binding to find.
    EXPECT_NE(probe->getVertexBuffer(), m->getVertexBuffer());
    ASSERT_EQ(trap([&] { m->addTransform(b1, 1, 9, 1); }), KErrNone);
    EXPECT_EQ(boneVertices(m, b1), (BoneVertices{{0, 2, 3, 4, 5, 9}, {0.25f, 1, 1, 4 / 6.0f, 0.25f, 1}}));
    EXPECT_EQ(boneVertices(m, flat), BoneVertices{});
}

// Where bone i takes point p of the mesh: a pure move by delta, or a turn
// about z by degrees around the origin.
struct BoneMotion {
    double delta[3];
    double degrees;
    void apply(const double* p, double* out) const
    {
        const double r = degrees * M_PI / 180.0;
        out[0] = std::cos(r) * p[0] - std::sin(r) * p[1] + delta[0];
        out[1] = std::sin(r) * p[0] + std::cos(r) * p[1] + delta[1];
        out[2] = p[2] + delta[2];
    }
};

TEST_F(SkinnedMeshTest, TheLargestWeightsShareAVertexEvenly)
{
    CkwGroup* s = skeleton({{0, 0, 0}, {0, 0, 0}});
    CkwSkinnedMesh* m = mesh(buffer(std::vector<int32_t>(30, 1)), s);
    ASSERT_EQ(trap([&] {
                  m->addTransform(bone(s, 0), INT32_MAX, 0, 1);
                  m->addTransform(bone(s, 1), INT32_MAX, 0, 1);
              }),
              KErrNone);
    EXPECT_EQ(boneVertices(m, bone(s, 0)), (BoneVertices{{0}, {0.5f}}));
    EXPECT_EQ(boneVertices(m, bone(s, 1)), (BoneVertices{{0}, {0.5f}}));
}

// Random bindings of few weights and bones, so that keys repeat, against a
// scan of every binding per vertex and a search of the palette from its start.
TEST_F(SkinnedMeshTest, InfluencesAgreeWithAScanOfEveryBinding)
{
    std::mt19937 random(99);
    const auto below = [&](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
    for (int32_t round = 0; round < 40; ++round) {
        const int32_t vertices = 1 + below(60);
        CkwGroup* s = skeleton({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
        CkwSkinnedMesh* m = mesh(buffer(std::vector<int32_t>(3 * vertices, 1)), s);
        std::vector<std::array<int32_t, 4>> bindings(below(40)); // bone, weight, first, count
        for (auto& b : bindings) {
            b = {below(3), 1 + below(4), below(vertices), 0};
            b[3] = 1 + below(vertices - b[2]);
            ASSERT_EQ(trap([&] { m->addTransform(bone(s, b[0]), b[1], b[2], b[3]); }), KErrNone);
        }
        std::vector<std::array<int32_t, 2>> palette = {{-1, -1}};
        std::vector<uint16_t> expected;
        for (int32_t v = 0; v < vertices; ++v) {
            std::array<int32_t, 2> kept = {-1, -1};
            int32_t largest = 0;
            for (int32_t i = 0; i < static_cast<int32_t>(bindings.size()); ++i) {
                const auto& b = bindings[i];
                if (v >= b[2] && v < b[2] + b[3]) {
                    if (kept[1] < 0)
                        kept[kept[0] < 0 ? 0 : 1] = i;
                    else if (b[1] > largest)
                        kept[bindings[kept[1]][1] < bindings[kept[0]][1] ? 1 : 0] = i;
                    largest = std::max(largest, b[1]);
                }
            }
            const auto same = [&](int32_t a, int32_t b) {
                return a == b || (a >= 0 && b >= 0 && bindings[a][0] == bindings[b][0] && bindings[a][1] == bindings[b][1]);
            };
            size_t e = kept[0] < 0 ? 0 : 1;
            while (e > 0 && e < palette.size() && !(same(palette[e][0], kept[0]) && same(palette[e][1], kept[1])))
                ++e;
            if (e == palette.size())
                palette.push_back(kept);
            expected.push_back(static_cast<uint16_t>(e));
        }
        EXPECT_EQ(paletteIndices(m), expected) << round;
        ASSERT_EQ(m->getPaletteCount(), static_cast<int32_t>(palette.size())) << round;
        for (size_t e = 1; e < palette.size(); ++e)
            for (int32_t slot = 0; slot < 2; ++slot)
                EXPECT_EQ(m->getPaletteEntry(static_cast<int32_t>(e)).binding[slot], static_cast<uint16_t>(palette[e][slot]));
    }
}

TEST_F(SkinnedMeshTest, SkinnedPositionsMatchAPlainFloatSkinning)
{
    const std::vector<int32_t> stored = {100, 0, 0, -300, 200, 50, 1000, -1000, 30, 0, 640, -640, 32767, -32768, 5, 7, 7, 7};
    const float bias[3] = {1, 2, 3};
    CkwVertexBuffer* source = buffer(stored, 0.5f, bias);
    CkwGroup* s = skeleton({{10, 0, 0}, {0, 0, 0}});
    CkwSkinnedMesh* m = mesh(source, s);
    ASSERT_EQ(trap([&] {
                  m->addTransform(bone(s, 0), 1, 0, 4);
                  m->addTransform(bone(s, 1), 3, 2, 4);
              }),
              KErrNone);
    // Bone 0 moves up by 5; bone 1 turns a quarter about z.
    bone(s, 0)->translate(0, 5, 0);
    const float quarter[4] = {0, 0, std::sqrt(0.5f), std::sqrt(0.5f)};
    bone(s, 1)->setOrientation(quarter);
    const BoneMotion motions[] = {{{0, 5, 0}, 0}, {{0, 0, 0}, 90}};
    const int32_t weights[6][2] = {{1, 0}, {1, 0}, {1, 3}, {1, 3}, {0, 3}, {0, 3}};

    CkwVertexBuffer* skinned = nullptr;
    ASSERT_EQ(trap([&] {
                  m->markChangedBones();
                  skinned = m->getSkinnedVertexBuffer(false);
              }),
              KErrNone);
    const float factor = m->getFixedPointFactor();
    EXPECT_EQ(skinned->getPositionScale(), 1.0f / factor);
    float scaleBias[4];
    ASSERT_EQ(trap([&] { EXPECT_TRUE(m->getPositionScaleBias(scaleBias)); }), KErrNone);
    EXPECT_EQ(scaleBias[0], 1.0f / factor);
    EXPECT_EQ(scaleBias[1], 0.0f);
    for (int32_t v = 0; v < 6; ++v) {
        SCOPED_TRACE(v);
        const double p[3] = {stored[3 * v] * 0.5 + 1, stored[3 * v + 1] * 0.5 + 2, stored[3 * v + 2] * 0.5 + 3};
        double expected[3] = {0, 0, 0};
        const double total = weights[v][0] + weights[v][1];
        for (int32_t b = 0; b < 2; ++b) {
            double moved[3];
            motions[b].apply(p, moved);
            for (int32_t c = 0; c < 3; ++c)
                expected[c] += moved[c] * weights[v][b] / total;
        }
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(skinned->getPositions()->getElement(v, c) / factor, expected[c], 2.0 / factor) << c;
    }
    // Nothing moved: the buffer is handed back as it is.
    ASSERT_EQ(trap([&] {
                  m->markChangedBones();
                  EXPECT_EQ(m->getSkinnedVertexBuffer(false), skinned);
              }),
              KErrNone);
    // A pose past the float range cannot be held; the poses after it keep the factor.
    ASSERT_EQ(trap([&] {
                  for (float scale : {1e38f, 1.0f}) {
                      bone(s, 1)->setScale(scale, scale, scale);
                      m->markChangedBones();
                      skinned = m->getSkinnedVertexBuffer(false);
                  }
                  EXPECT_NEAR(skinned->getPositionScale() * factor, 1.0f, 1e-3f);
              }),
              KErrNone);

    // A source of fewer vertices gets palette indices and positions of its
    // own count.
    CkwSkinnedMesh* small = mesh(buffer({100, 0, 0, 0, 100, 0, 0, 0, 100, 1, 1, 1}), skeleton({{0, 0, 0}}));
    ASSERT_EQ(trap([&] {
                  small->addTransform(small->getSkeleton(), 1, 0, 2);
                  small->getSkinnedVertexBuffer(false);
                  CkwVertexBuffer* vertices = small->getVertexBuffer();
                  vertices->setPositions(nullptr, 1.0f, 0, nullptr);
                  vertices->setPositions(kitVertexArray(3, 2, {100, 0, 0, 0, 100, 0, 0, 0, 100}), 1.0f, 0, nullptr);
                  skinned = small->getSkinnedVertexBuffer(true);
              }),
              KErrNone);
    EXPECT_EQ(small->getVertexPaletteIndices().count(), 3);
    EXPECT_EQ(skinned->getPositions()->getVertexCount(), 3);
    EXPECT_NEAR(skinned->getPositions()->getElement(2, 2) * skinned->getPositionScale(), 100.0f, 0.01f);

    // Texture coordinates replaced on the source reach the skinned buffer,
    // though nothing moved.
    for (int32_t i = 0; i < 2; ++i) {
        CkwVertexArray* uv = nullptr;
        ASSERT_EQ(trap([&] { uv = kitVertexArray(2, 2, {i, 0, 1, 0, 0, 1}); small->getVertexBuffer()->setTexCoords(0, uv, 1.0f, 0, nullptr);
                             skinned = small->getSkinnedVertexBuffer(false); }), KErrNone);
        EXPECT_EQ(skinned->getTexCoords(0), uv);
    }
    // Positions of two components lie at z = 0 before the bone moves them.
    CkwVertexBuffer* flat = hold(new CkwVertexBuffer);
    const float noBias[3] = {0, 0, 0};
    CkwGroup* lifted = skeleton({{0, 0, 0}});
    ASSERT_EQ(trap([&] {
                  flat->takePositions(kitVertexArray(2, 2, {100, 0, 0, 100, 10, 7}), 1.0f, noBias, KErrIllegalArgument);
                  CkwSkinnedMesh* plane = mesh(flat, lifted);
                  plane->addTransform(bone(lifted, 0), 1, 0, 3);
                  bone(lifted, 0)->translate(3, 0, 5);
                  skinned = plane->getSkinnedVertexBuffer(false);
              }),
              KErrNone);
    const float moved[3][3] = {{103, 0, 5}, {3, 100, 5}, {13, 7, 5}};
    for (int32_t v = 0; v < 3; ++v)
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(skinned->getPositions()->getElement(v, c) * skinned->getPositionScale(), moved[v][c], 0.01f);
}

// A bone's matrix is its climb to the mesh times its rest matrix: to the
// bit down to 32 nodes below the mesh, and close below that.
TEST_F(SkinnedMeshTest, BoneMatricesAreAClimbToTheMesh)
{
    CkwGroup* s = skeleton({});
    CkwSkinnedMesh* m = mesh(buffer(std::vector<int32_t>(3 * 40, 1)), s);
    std::vector<CkwGroup*> bones;
    ASSERT_EQ(trap([&] { bones = growBones(s, 40, true, 0, [&](CkwGroup* b, int32_t i) { m->addTransform(b, 1, i, 1); }); }), KErrNone);
    for (int32_t pose = 0; pose < 2; ++pose) {
        for (size_t i = pose; i < bones.size(); i += 3) {
            const float q[4] = {std::sin(0.3f * i + pose), 0.3f, std::cos(0.7f * i), 0.8f};
            bones[i]->setOrientation(q);
            bones[i]->setTranslation(0.37f * i, 1.13f, -0.71f * pose);
        }
        ASSERT_EQ(trap([&] { m->markChangedBones(); }), KErrNone);
        for (size_t i = 0; i < bones.size(); ++i) {
            CkwMatrix expected;
            CkwTransform rest;
            ASSERT_EQ(trap([&] { bones[i]->getTransformTo(m, expected); m->getBoneTransform(bones[i], &rest); }), KErrNone);
            expected.multiply(rest.matrix());
            const CkwMatrix& got = m->getPaletteMatrix(m->getVertexPaletteIndices()[static_cast<int32_t>(i)]);
            for (int32_t e = 0; e < 16; ++e)
                EXPECT_NEAR(got.m[e], expected.m[e], i + 2 <= 32 ? 0.0f : 1e-3f) << i << " " << e; // the skeleton is 1
        }
    }
}

TEST_F(SkinnedMeshTest, CopiesMapTheirBonesIntoOneCopiedSkeleton)
{
    CkwGroup* s = skeleton({{10, 0, 0}});
    CkwSkinnedMesh* m = mesh(buffer({100, 0, 0, 0, 100, 0, 0, 0, 100}), s);
    ASSERT_EQ(trap([&] { m->addTransform(bone(s, 0), 2, 0, 3); }), KErrNone);
    bone(s, 0)->translate(0, 0, 50); // after binding: the copy keeps the rest pose
    CkwGroup* character = group();
    ASSERT_EQ(trap([&] { character->addChild(m); }), KErrNone);
    CkwGroup* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = hold(dynamic_cast<CkwGroup*>(character->duplicate())); }), KErrNone);
    auto* twin = dynamic_cast<CkwSkinnedMesh*>(copy->getChild(0));
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin->childCount(), 1);
    CkwNode* twinBone = twin->getSkeleton()->getChild(0);
    EXPECT_NE(twinBone, bone(s, 0));
    EXPECT_EQ(boneVertices(twin, twinBone), (BoneVertices{{0, 1, 2}, {1, 1, 1}}));
    EXPECT_EQ(trap([&] { twin->getBoneVertices(bone(s, 0), 0, nullptr, 0, nullptr); }), KErrIllegalArgument);
    CkwVertexBuffer* a = nullptr;
    CkwVertexBuffer* b = nullptr;
    ASSERT_EQ(trap([&] {
                  a = m->getSkinnedVertexBuffer(true);
                  b = twin->getSkinnedVertexBuffer(true);
              }),
              KErrNone);
    for (int32_t v = 0; v < 3; ++v)
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_EQ(a->getPositions()->getElement(v, c) * a->getPositionScale(),
                      b->getPositions()->getElement(v, c) * b->getPositionScale());
    EXPECT_NEAR(b->getPositions()->getElement(0, 2) * b->getPositionScale(), 50.0f, 0.01f);
}

// Binding (by calls or from a record), the first frame, a frame with nothing
// moved and one with a bone moved cost the engine's count of visits in
// proportion to the bones, bindings and vertices. Once skinned, a pose skins
// the vertices bound, not the whole source.
TEST_F(SkinnedMeshTest, WorkGrowsWithTheSkeletonAndTheBindings)
{
    expectVisitsInProportion(500, [&](int32_t n) {
        CkwGroup* s = skeleton({{0, 0, 0}});
        CkwSkinnedMesh* m = mesh(buffer(std::vector<int32_t>(3 * n, 1)), s);
        m->addTransform(bone(s, 0), 1, 0, 1);
        const uint64_t deformed = engineContext()->deformSteps;
        for (int32_t pose = 0; pose < n; ++pose) {
            bone(s, 0)->setTranslation(0, 0, float(pose % 2));
            const CkwVertexBuffer* skinned = m->getSkinnedVertexBuffer(false);
            EXPECT_NEAR(skinned->getPositions()->getElement(0, 2) * skinned->getPositionScale(), 1 + pose % 2, 1e-3);
        }
        // A pose walks the whole skinned copy once, for its bounds, and
        // skins only the vertex the moving bone binds.
        EXPECT_LE(engineContext()->deformSteps - deformed, uint64_t(n) * (n + 8));
    });
    enum Shape { kSiblings, kChain, kChainFromARecord };
    for (const Shape shape : {kSiblings, kChain, kChainFromARecord}) {
        SCOPED_TRACE(shape);
        expectVisitsInProportion(500, [&](int32_t n) {
            CkwGroup* s = skeleton({});
            std::vector<CkwObject3D*> loaded = {buffer(std::vector<int32_t>(6 * n, 1)), strip(), s};
            M3gSkinnedMeshFields f{{{}, 2, {{3, 0}}}, 4, {}};
            const uint32_t per = shape == kSiblings ? 2 : 1;
            const std::vector<CkwGroup*> bones = growBones(s, n, shape != kSiblings, 1, [&](CkwGroup* b, int32_t i) {
                f.bones.push_back({static_cast<uint32_t>(loaded.size() + 2), per * static_cast<uint32_t>(i), per, 1});
                loaded.push_back(b);
            });
            CkwSkinnedMesh* m = hold(new CkwSkinnedMesh);
            if (shape == kChainFromARecord) {
                EXPECT_EQ(readRecord(*m, m3gSkinnedMeshRecord(f).data, loaded), KErrNone);
            } else {
                m->initSingle(static_cast<CkwVertexBuffer*>(loaded[0]), strip(), nullptr, s);
                for (const auto& b : f.bones)
                    m->addTransform(static_cast<CkwNode*>(loaded[b.node - 2]), 1, b.firstVertex, b.vertexCount);
                // Each call climbs to the mesh for its rest pose; only a
                // record binds a chain in one walk, so weigh the frames alone.
                if (shape == kChain)
                    engineContext()->visits = 0;
            }
            for (int32_t frame = 0; frame < 3; ++frame) {
                if (frame == 2)
                    (shape == kSiblings ? bones.back() : bones.front())->translate(0, 0, 4);
                m->markChangedBones();
                EXPECT_EQ(m->getPaletteMatrix(m->getPaletteCount() - 1).element(2, 3), frame == 2 ? 4.0f : 0.0f);
            }
        });
    }
}

TEST_F(SkinnedMeshTest, RecordAsAssembled)
{
    CkwVertexBuffer* vertices = buffer({1, 2, 3, 4, 5, 6, 7, 8, 9});
    CkwTriangleStripArray* indices = strip();
    CkwGroup* s = skeleton({{0, 0, 0}});
    CkwGroup* parented = skeleton({});
    ASSERT_EQ(trap([&] { group()->addChild(parented); }), KErrNone);
    M3gSkinnedMeshFields f;
    f.mesh.node.transformable.object.userId = 16;
    f.mesh.vertexBuffer = 2;
    f.mesh.submeshes = {{3, 0}};
    f.skeleton = 4;
    f.bones = {{5, 1, 2, 7}};
    Bytes record = {16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0,
                    2, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0};
    for (uint8_t b : {4, 0, 0, 0, 1, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0})
        record.push_back(b);
    EXPECT_EQ(m3gSkinnedMeshRecord(f).data, record);
    auto* m = hold(new CkwSkinnedMesh);
    ASSERT_EQ(readRecord(*m, record, {vertices, indices, s, bone(s, 0)}), KErrNone);
    EXPECT_EQ(m->getSkeleton(), s);
    EXPECT_EQ(boneVertices(m, bone(s, 0)), (BoneVertices{{1, 2}, {1, 1}}));

    const auto edited = [&](auto edit) {
        M3gSkinnedMeshFields e = f;
        edit(e);
        return m3gSkinnedMeshRecord(e).data;
    };
    // The objects a record names, with a skeleton of its own each time.
    const auto objects = [&] {
        CkwGroup* fresh = skeleton({{0, 0, 0}});
        return std::vector<CkwObject3D*>{vertices, indices, fresh, bone(fresh, 0)};
    };
    Bytes twoReferences = record;
    twoReferences[42] = 2;
    const struct {
        const char* what;
        Bytes bytes;
        std::vector<CkwObject3D*> loaded;
        int32_t code;
    } cases[] = {
        {"no skeleton", edited([](auto& e) { e.skeleton = 0; }), objects(), KErrNullArgument},
        {"a strip as skeleton", edited([](auto& e) { e.skeleton = 3; }), objects(), KErrCorruptData},
        {"a parented skeleton", edited([](auto& e) { e.bones = {}; }), {vertices, indices, parented}, KErrIllegalArgument},
        {"more references than bytes", twoReferences, objects(), KErrReadPastEnd},
        {"a first vertex above 2^31", edited([](auto& e) { e.bones[0].firstVertex = 0x90000000u; }), objects(), KErrIndexOutOfRange},
        {"weight 0", edited([](auto& e) { e.bones[0].weight = 0; }), objects(), KErrIllegalArgument},
        {"a bone outside the skeleton", edited([](auto& e) { e.bones[0].node = 3; }), objects(), KErrCorruptData},
    };
    for (const auto& c : cases)
        EXPECT_EQ(readRecord(*hold(new CkwSkinnedMesh), c.bytes, c.loaded), c.code) << c.what;
}

} // namespace

// The fixed palette: the factor from the extent with its 1.25 margin, each
// element rounded by + 0.5 and truncated; directions turned by it without
// the translation, shifts past the word giving 0 or the matrix sign.
TEST_F(SkinnedMeshTest, FixedPaletteAndDirectionsFollowTheirRounding)
{
    CkwGroup* s = skeleton({{3, 0, 0}});
    CkwSkinnedMesh* m = mesh(buffer({100, 0, 0, 0, -250, 0, 0, 0, 40}), s);
    ASSERT_EQ(trap([&] { m->addTransform(bone(s, 0), 1, 0, 3); }), KErrNone);
    const float turn[4] = {0, 0, std::sin(0.3f), std::cos(0.3f)};
    bone(s, 0)->setOrientation(turn);
    ASSERT_EQ(trap([&] {
                  m->markChangedBones();
                  m->getSkinnedVertexBuffer(false);
              }),
              KErrNone);
    const CkwSkinnedMesh::SkwPaletteEntry& entry = m->getPaletteEntry(1);
    float extent = 0.0f;
    for (int32_t r = 0; r < 3; ++r) {
        const float x = (std::fabs(entry.matrix.element(r, 0)) + std::fabs(entry.matrix.element(r, 1))
                         + std::fabs(entry.matrix.element(r, 2))) * 250.0f + std::fabs(entry.matrix.element(r, 3));
        if (x > extent) // the margin rides on the extent compared against
            extent = 1.25f * x;
    }
    EXPECT_EQ(m->getFixedPointFactor(), 32000.0f / extent);
    const float factor = m->getFixedPointFactor();
    for (int32_t column = 0; column < 4; ++column)
        for (int32_t r = 0; r < 3; ++r)
            EXPECT_EQ(entry.fixed[3 * column + r],
                      static_cast<int32_t>(entry.matrix.element(r, column) * factor * 65536.0f + 0.5f));

    const int32_t source[9] = {0x10000, 0, 0, 0, -0x8000, 0x100, 7, 7, 7};
    const struct {
        int32_t matrixShift, sourceShift;
    } shifts[] = {{0, 0}, {4, 2}, {32, 0}, {0, 32}};
    for (const auto& c : shifts) {
        SCOPED_TRACE(c.matrixShift * 100 + c.sourceShift);
        int32_t out[9] = {};
        m->skinDirections(out, source, c.matrixShift, c.sourceShift);
        for (int32_t v = 0; v < 3; ++v)
            for (int32_t k = 0; k < 3; ++k) {
                int64_t sum = 0;
                for (int32_t j = 0; j < 3; ++j) {
                    const int64_t in = c.sourceShift >= 32 ? 0 : int64_t{source[3 * v + j]} << c.sourceShift;
                    const int64_t f = entry.fixed[3 * j + k] >> std::min(c.matrixShift, 31);
                    sum += in * f;
                }
                EXPECT_EQ(out[3 * v + k], static_cast<int32_t>(static_cast<uint32_t>(sum)) >> 16) << v << "," << k;
            }
    }
}
