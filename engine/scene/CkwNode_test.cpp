// Node bases on real groups: attach and detach with depth and dirty marking,
// world transforms, transforms between nodes, alignment, duplication with its
// alignment remapping, animation through the tree, and trees far deeper than
// any call stack could follow.
#include "engine/core/scene/CkwNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/scene/CkwAnimationTrackBase.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/core/testing/ReferenceTransform.h"
#include "engine/scene/SceneTestKit.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/scene/CkwGraphics3D.h"

namespace {

class NodeTest : public ::testing::Test, public SceneTest {};

constexpr uint16_t kDirty = CkwNode::kNodeWorldDirty;

TEST_F(NodeTest, AttachDetachKeepDepthsCountsAndDirtyMarks)
{
    CkwGroup* root = group();
    CkwGroup* middle = group();
    CkwNode* leaf = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        middle->addChild(leaf);
        root->addChild(middle);
    }),
              KErrNone);
    EXPECT_EQ(leaf->getDepth(), 2);
    EXPECT_EQ(middle->getDepth(), 1);
    EXPECT_EQ(leaf->refCount(), 2);

    root->getWorldTransform();
    leaf->getWorldTransform();
    EXPECT_FALSE(leaf->nodeFlags() & kDirty);
    EXPECT_FALSE(middle->nodeFlags() & kDirty);
    // A change above marks everything below.
    ASSERT_EQ(trap([&] { middle->setTranslation(1, 0, 0); }), KErrNone);
    EXPECT_TRUE(middle->nodeFlags() & kDirty);
    EXPECT_TRUE(leaf->nodeFlags() & kDirty);
    EXPECT_FALSE(root->nodeFlags() & kDirty);
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(0, 3), 1.0f);

    ASSERT_EQ(trap([&] { root->removeChild(middle); }), KErrNone);
    EXPECT_EQ(middle->getParent(), nullptr);
    EXPECT_EQ(middle->getDepth(), 0);
    EXPECT_EQ(leaf->getDepth(), 1);
    // Detached, its own transform no longer counts: a root's world is identity.
    EXPECT_EQ(leaf->getWorldTransform().getClass(), kMatrixIdentity);
    EXPECT_EQ(root->getChildCount(), 0);
}

TEST_F(NodeTest, SetWorldTransformHoldsUntilInvalidated)
{
    CkwGroup* root = group();
    CkwGroup* middle = group();
    CkwNode* leaf = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        root->setTranslation(0, 5, 0);
        middle->setTranslation(1, 0, 0);
        leaf->setTranslation(0, 0, 2);
        middle->addChild(leaf);
        root->addChild(middle);
    }),
              KErrNone);
    CkwMatrix given;
    given.setIdentity();
    given.translate(10, 0, 0);
    given.classify();
    middle->setWorldTransform(given);
    EXPECT_TRUE(root->nodeFlags() & kDirty);
    EXPECT_FALSE(middle->nodeFlags() & kDirty);
    EXPECT_TRUE(leaf->nodeFlags() & kDirty);
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(0, 3), 10.0f);
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(2, 3), 2.0f);

    middle->invalidateWorldTransform();
    EXPECT_TRUE(middle->nodeFlags() & kDirty);
    EXPECT_TRUE(leaf->nodeFlags() & kDirty);
    // The root's own transform is ignored: it is the root.
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(0, 3), 1.0f);
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(1, 3), 0.0f);
    EXPECT_FLOAT_EQ(leaf->getWorldTransform().element(2, 3), 2.0f);
}

TEST_F(NodeTest, DetachOfTheLastHolderDeletesTheNode)
{
    CkwGroup* root = group();
    auto* child = new CkwGroup;
    int32_t destroyed = 0;
    static int32_t* counter;
    counter = &destroyed;
    child->setDestroyCallback([](CkwRefCount*) { ++*counter; });
    ASSERT_EQ(trap([&] { root->addChild(child); }), KErrNone);
    EXPECT_EQ(child->refCount(), 1);
    ASSERT_EQ(trap([&] { root->removeChild(child); }), KErrNone);
    EXPECT_EQ(destroyed, 1);
}

TEST_F(NodeTest, TransformBetweenSiblingsAndToTheWorld)
{
    CkwWorld* world = this->world();
    CkwGroup* parent = group();
    CkwNode* a = node(kClassMesh);
    CkwNode* b = node(kClassMesh);
    CkwNode* stranger = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        parent->setTranslation(0, 0, 3);
        a->setTranslation(1, 0, 0);
        b->setTranslation(0, 2, 0);
        parent->addChild(a);
        parent->addChild(b);
        world->addChild(parent);
    }),
              KErrNone);

    CkwTransform t;
    bool shared = false;
    ASSERT_EQ(trap([&] { shared = a->getTransformTo(b, t); }), KErrNone);
    ASSERT_TRUE(shared);
    float m[16];
    ASSERT_EQ(trap([&] { t.get(16, m); }), KErrNone);
    EXPECT_FLOAT_EQ(m[3], 1.0f);
    EXPECT_FLOAT_EQ(m[7], -2.0f);
    EXPECT_FLOAT_EQ(m[11], 0.0f);

    CkwMatrix out;
    CkwNode* meeting = nullptr;
    ASSERT_EQ(trap([&] { meeting = a->getTransformTo(world, out); }), KErrNone);
    EXPECT_EQ(meeting, world);
    EXPECT_FLOAT_EQ(out.element(0, 3), 1.0f);
    EXPECT_FLOAT_EQ(out.element(2, 3), 3.0f);

    ASSERT_EQ(trap([&] { meeting = b->getTransformTo(a, out); }), KErrNone);
    EXPECT_EQ(meeting, parent);
    ASSERT_EQ(trap([&] { meeting = a->getTransformTo(a, out); }), KErrNone);
    EXPECT_EQ(meeting, a);
    ASSERT_EQ(trap([&] { shared = a->getTransformTo(stranger, t); }), KErrNone);
    EXPECT_FALSE(shared);

    // A singular path to the target cannot be inverted.
    ASSERT_EQ(trap([&] { b->setScale(0, 1, 1); }), KErrNone);
    EXPECT_EQ(trap([&] { a->getTransformTo(b, out); }), KErrArithmetic);
}

// A node's transform parts with none of them trivial; its composite by the
// reference is T R S M.
struct Pose {
    float translation[3];
    float scale[3];
    RefRotation rotation;
    float general[16]; // row-major, affine

    void apply(CkwNode* node) const
    {
        CkwTransform m;
        m.setMatrix(16, general);
        node->setTransform(&m);
        node->setScale(scale[0], scale[1], scale[2]);
        float q[4];
        rotation.quaternion(q);
        node->setOrientation(q);
        node->setTranslation(translation[0], translation[1], translation[2]);
    }
    RefMatrix composite() const
    {
        return refTranslation(translation[0], translation[1], translation[2]) * rotation.matrix()
            * refScale(scale[0], scale[1], scale[2]) * refFromRowMajor(general);
    }
};

const Pose kPoses[] = {
    {{1, 2, -3}, {2, 0.5f, 1}, {{1, 1, 0}, 30}, {1, 0.25f, 0, 0, 0, 1, 0, 1, 0, -0.5f, 1, 0, 0, 0, 0, 1}},
    {{-2, 0, 1}, {1, 1.5f, 0.75f}, {{0, 0, 1}, -60}, {1, 0, 0.5f, 0, 0.2f, 1, 0, -1, 0, 0, 1, 0.5f, 0, 0, 0, 1}},
    {{0.5f, -1, 2}, {0.8f, 1.2f, 2}, {{1, 0, 0}, 45}, {1, 0, 0, 0, 0.3f, 1, 0, 0, 0, 0, 1, 2, 0, 0, 0, 1}},
    {{3, 1, 0}, {1.5f, 1, 0.5f}, {{2, -1, 1}, 110}, {1, -0.4f, 0, 1, 0, 1, 0, 0, 0.1f, 0, 1, 0, 0, 0, 0, 1}},
};

TEST_F(NodeTest, WorldAndBetweenNodeTransformsFollowTheReferenceOrder)
{
    // world(ignored) -> g1 -> g2 -> n, and g1 -> b.
    CkwWorld* w = world();
    CkwGroup* g1 = group();
    CkwGroup* g2 = group();
    CkwNode* n = node(kClassMesh);
    CkwNode* b = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        kPoses[3].apply(w);
        kPoses[0].apply(g1);
        kPoses[1].apply(g2);
        kPoses[2].apply(n);
        kPoses[3].apply(b);
        w->addChild(g1);
        g1->addChild(g2);
        g2->addChild(n);
        g1->addChild(b);
    }),
              KErrNone);
    const RefMatrix c1 = kPoses[0].composite(), c2 = kPoses[1].composite(), c3 = kPoses[2].composite(),
                    c4 = kPoses[3].composite();
    expectMatrixNear(n->getWorldTransform(), c1 * c2 * c3, 1e-4, "world of n");
    const struct {
        const char* what;
        CkwNode* from;
        CkwNode* to;
        CkwNode* meeting;
        RefMatrix expected;
    } cases[] = {
        {"n to b", n, b, g1, refInverse(c4) * c2 * c3},
        {"b to n", b, n, g1, refInverse(c2 * c3) * c4},
        {"n to g1", n, g1, g1, c2 * c3},
        {"g1 to n", g1, n, g1, refInverse(c2 * c3)},
        {"n to the world", n, w, w, c1 * c2 * c3},
    };
    for (const auto& c : cases) {
        CkwMatrix out;
        CkwNode* meeting = nullptr;
        ASSERT_EQ(trap([&] { meeting = c.from->getTransformTo(c.to, out); }), KErrNone) << c.what;
        EXPECT_EQ(meeting, c.meeting) << c.what;
        expectMatrixNear(out, c.expected, 1e-4, c.what);
    }
}

TEST_F(NodeTest, TwoAxisAlignmentFollowsTheReference)
{
    const auto normalise = [](double* v) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
    };
    const auto cross = [](const double* u, const double* v, double* out) {
        out[0] = u[1] * v[2] - u[2] * v[1];
        out[1] = u[2] * v[0] - u[0] * v[2];
        out[2] = u[0] * v[1] - u[1] * v[0];
    };
    // p -> aligned, p -> a -> b; Z aims at a's origin, Y along b's X axis;
    // a as placed, and 1e20 times as far, past where a distance squares.
    for (const float far : {1.0f, 1e20f}) {
        CkwGroup* p = group();
        CkwNode* aligned = node(kClassMesh);
        CkwGroup* a = group();
        CkwNode* b = node(kClassMesh);
        const float t[3] = {0.5f, -1, 2};
        const float* at = kPoses[1].translation;
        ASSERT_EQ(trap([&] {
            kPoses[0].apply(p);
            kPoses[1].apply(a);
            a->setTranslation(at[0] * far, at[1] * far, at[2] * far);
            kPoses[3].apply(b);
            aligned->setTranslation(t[0], t[1], t[2]);
            p->addChild(aligned);
            p->addChild(a);
            a->addChild(b);
            aligned->setAlignment(a, kAlignOrigin, b, kAlignXAxis);
            p->align(nullptr);
        }),
                  KErrNone);
        const RefMatrix toA = refTranslation(at[0] * (far - 1.0), at[1] * (far - 1.0), at[2] * (far - 1.0))
            * kPoses[1].composite();
        const RefMatrix toB = toA * kPoses[3].composite();
        double z[3], y[3], x[3];
        for (int i = 0; i < 3; ++i) {
            z[i] = toA.at(i, 3) - t[i];
            y[i] = toB.at(i, 0);
        }
        normalise(z);
        normalise(y);
        cross(y, z, x);
        normalise(x);
        cross(z, x, y);
        RefMatrix expected = refTranslation(t[0], t[1], t[2]);
        for (int i = 0; i < 3; ++i) {
            expected.at(i, 0) = x[i];
            expected.at(i, 1) = y[i];
            expected.at(i, 2) = z[i];
        }
        // Through a quaternion and back: float rounding reaches 2e-5.
        expectMatrixNear(aligned->updateCompositeTransform(), expected, 1e-4, far == 1 ? "aligned" : "far");
    }
}

// The direction a node's own axis (column) points to in its parent's space.
CkwVector3D axisOf(CkwNode* node, int32_t column)
{
    const CkwMatrix& m = node->updateCompositeTransform();
    return {m.element(0, column), m.element(1, column), m.element(2, column)};
}

TEST_F(NodeTest, SingleAxisAlignmentTurnsTheAxisOntoTheTarget)
{
    const float kOne = 1 / std::sqrt(14.0f); // (1, 2, 3) made a unit
    const struct {
        const char* what;
        int32_t axis;
        float target[3];
        float expected[3];
        float holderScale = 1; // of a group between the root and the target
        float far = 0;         // where the group and the aligned node lie, on each axis
        bool inWorld = false;
    } cases[] = {
        {"Z toward +Y", kAlignZAxis, {0, 1, 0}, {0, 1, 0}},
        {"Z toward -Z", kAlignZAxis, {0, 0, -3}, {0, 0, -1}},
        {"Y toward -Y", kAlignYAxis, {0, -2, 0}, {0, -1, 0}},
        {"Y toward +X", kAlignYAxis, {4, 0, 0}, {1, 0, 0}},
        // So nearly opposite that the shortest rotation's quaternion is too
        // small to normalise.
        {"Z toward -Z, a hair off", kAlignZAxis, {0, 1e-20f, -3}, {0, 0, -1}},
        {"Y toward -Y, a hair off", kAlignYAxis, {0, -2, 1e-20f}, {0, -1, 0}},
        // So far, or so near, that the distance's square leaves the floats.
        {"Z toward +Y, 1e20 away", kAlignZAxis, {0, 1e20f, 0}, {0, 1, 0}},
        {"Y toward -X, 3e38 away", kAlignYAxis, {-3e38f, 0, 0}, {-1, 0, 0}},
        {"Z toward +X, 1e-25 away", kAlignZAxis, {1, 0, 0}, {1, 0, 0}, 1e-25f},
        // Both far out below where they meet: what the paths differ by stays.
        {"Z toward a model beside it at 1e7 in a World", kAlignZAxis, {3, 6, 9}, {kOne, 2 * kOne, 3 * kOne}, 0.1f, 1e7f,
         true},
        {"Z toward a model scaled 1e-3 at 1e5 in a World", kAlignZAxis, {3, 6, 9}, {kOne, 2 * kOne, 3 * kOne}, 1e-3f,
         1e5f, true},
        {"Y toward a model beside it at 1e7 in a group", kAlignYAxis, {3, 6, 9}, {kOne, 2 * kOne, 3 * kOne}, 0.1f, 1e7f},
    };
    for (const auto& c : cases) {
        CkwGroup* root = c.inWorld ? world() : group();
        CkwNode* aligned = node(kClassMesh);
        CkwGroup* holder = group();
        CkwNode* target = node(kClassMesh);
        ASSERT_EQ(trap([&] {
            target->setTranslation(c.target[0], c.target[1], c.target[2]);
            holder->setScale(c.holderScale, c.holderScale, c.holderScale);
            holder->setTranslation(c.far, c.far, c.far);
            aligned->setTranslation(c.far, c.far, c.far);
            root->addChild(aligned);
            root->addChild(holder);
            holder->addChild(target);
            if (c.axis == kAlignZAxis)
                aligned->setAlignment(target, kAlignOrigin, nullptr, kAlignNone);
            else
                aligned->setAlignment(nullptr, kAlignNone, target, kAlignOrigin);
            root->align(nullptr);
        }),
                  KErrNone)
            << c.what;
        const CkwVector3D axis = axisOf(aligned, c.axis == kAlignZAxis ? 2 : 1);
        EXPECT_NEAR(axis.x, c.expected[0], 1e-4f) << c.what;
        EXPECT_NEAR(axis.y, c.expected[1], 1e-4f) << c.what;
        EXPECT_NEAR(axis.z, c.expected[2], 1e-4f) << c.what;
    }
}

TEST_F(NodeTest, OriginTargetAimsAtTheReferenceWhateverItsOwnTurn)
{
    // The reference's own rotation and scale turn its axes, never where its
    // origin lies.
    const float halfTurnAboutY[4] = {0, 1, 0, 0};
    CkwGroup* root = group();
    CkwNode* aligned = node(kClassMesh);
    CkwNode* target = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        aligned->setTranslation(0, 0, 5);
        target->setTranslation(3, 0, 1);
        target->setOrientation(halfTurnAboutY);
        target->setScale(2, 2, 2);
        root->addChild(aligned);
        root->addChild(target);
        aligned->setAlignment(target, kAlignOrigin, nullptr, kAlignNone);
        aligned->align(nullptr);
    }),
              KErrNone);
    const CkwVector3D axis = axisOf(aligned, 2);
    EXPECT_NEAR(axis.x, 0.6f, 1e-5f);
    EXPECT_NEAR(axis.y, 0.0f, 1e-5f);
    EXPECT_NEAR(axis.z, -0.8f, 1e-5f);
}

// Bytes the engine allocates while a row runs, with countingAlloc as its hook.
uint64_t g_allocated = 0;

void* countingAlloc(uint32_t size, uint32_t)
{
    g_allocated += size;
    return std::malloc(size);
}

// A node's composite T R S (no general matrix) from its own fields, in double.
RefMatrix refComposite(const CkwNode* node)
{
    const float* t = node->getTranslation();
    const float* s = node->getScale();
    const double x = node->getOrientation()[0], y = node->getOrientation()[1], z = node->getOrientation()[2],
                 w = node->getOrientation()[3];
    const double k = 2 / (x * x + y * y + z * z + w * w);
    RefMatrix r;
    const double rows[3][3] = {{1 - k * (y * y + z * z), k * (x * y - z * w), k * (x * z + y * w)},
                               {k * (x * y + z * w), 1 - k * (x * x + z * z), k * (y * z - x * w)},
                               {k * (x * z - y * w), k * (y * z + x * w), 1 - k * (x * x + y * y)}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.at(i, j) = rows[i][j];
    return refTranslation(t[0], t[1], t[2]) * r * refScale(s[0], s[1], s[2]);
}

// A spine of 200 groups, each a step up from its parent and holding a leaf a
// step ahead, each node from the 40th on aiming its Z axis at the leaf 40
// levels up. However far from the origin the spine's top lies, and however
// small the spine is, every turn matches a double-precision reference taken
// from where the two paths meet, as closely as a float climb comes; and the
// call holds no memory.
TEST_F(NodeTest, AlignedSpinesTurnAsADoublePrecisionReference)
{
    constexpr int32_t kNodes = 200;
    constexpr int32_t kUp = 40;
    const struct {
        const char* what;
        float topAt; // on each axis
        float topScale;
        float scale; // of every other node
        int32_t zeroAt; // the node scaled to nothing
        int32_t from;   // the node align is called on
        int32_t result;
    } cases[] = {
        {"top at the origin", 0, 1, 1, kNodes, 0, KErrNone},
        {"top at 1e7", 1e7f, 1, 1, kNodes, 0, KErrNone},
        {"top at 1e8", 1e8f, 1, 1, kNodes, 0, KErrNone},
        {"top scaled 0.001 at 1e5", 1e5f, 1e-3f, 1, kNodes, 0, KErrNone},
        {"each node scaled by 2^(-1.5)", 0, 1, 0.35355339f, kNodes, 0, KErrNone},
        {"top at 1e8, called on the node 100 deep", 1e8f, 1, 1, kNodes, 100, KErrNone},
        {"the node 60 deep scaled to nothing", 0, 1, 1, 60, 0, KErrArithmetic},
    };
    const EngineAllocHook alloc = engineAllocHook();
    const EngineFreeHook free = engineFreeHook();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CkwGroup* root = group();
        std::vector<CkwNode*> spine;
        std::vector<CkwNode*> leaves;
        ASSERT_EQ(trap([&] {
            for (int32_t i = 0; i < kNodes; ++i) {
                spine.push_back(group());
                const float scale = i == 0 ? c.topScale : i == c.zeroAt ? 0.0f : c.scale;
                spine[i]->setScale(scale, scale, scale);
                spine[i]->setTranslation(i == 0 ? c.topAt : 0, i == 0 ? c.topAt : 1, i == 0 ? c.topAt : 0);
                static_cast<CkwGroup*>(i == 0 ? root : spine[i - 1])->addChild(spine[i]);
                leaves.push_back(group());
                leaves[i]->setTranslation(0, 0, 1);
                static_cast<CkwGroup*>(spine[i])->addChild(leaves[i]);
                if (i >= kUp)
                    spine[i]->setAlignment(leaves[i - kUp], kAlignOrigin, nullptr, kAlignNone);
            }
        }),
                  KErrNone);
        g_allocated = 0;
        setEngineAllocHooks(countingAlloc, free);
        EXPECT_EQ(trap([&] { spine[c.from]->align(nullptr); }), c.result);
        setEngineAllocHooks(alloc, free);
        EXPECT_EQ(g_allocated, 0u);
        double worst = 0;
        for (int32_t j = std::max(kUp, c.from); c.result == KErrNone && j < kNodes; ++j) {
            RefMatrix down;
            for (int32_t i = j - kUp + 1; i < j; ++i)
                down = down * refComposite(spine[i]);
            const RefMatrix leaf = refInverse(down) * refComposite(leaves[j - kUp]);
            const RefMatrix turn = refComposite(spine[j]);
            // From the node's own place in its parent's space to the leaf.
            const double aim[3] = {leaf.at(0, 3), leaf.at(1, 3) - 1, leaf.at(2, 3)};
            const double axis[3] = {turn.at(0, 2), turn.at(1, 2), turn.at(2, 2)};
            const double cross[3] = {aim[1] * axis[2] - aim[2] * axis[1], aim[2] * axis[0] - aim[0] * axis[2],
                                     aim[0] * axis[1] - aim[1] * axis[0]};
            worst = std::max(worst, std::atan2(std::hypot(cross[0], cross[1], cross[2]),
                                               aim[0] * axis[0] + aim[1] * axis[1] + aim[2] * axis[2]));
        }
        EXPECT_LT(worst, 1e-5);
    }
}

TEST_F(NodeTest, AlignmentArgumentsAndUnresolvedReferences)
{
    CkwGroup* root = group();
    CkwNode* a = node(kClassMesh);
    CkwNode* b = node(kClassMesh);
    ASSERT_EQ(trap([&] {
        root->addChild(a);
        root->addChild(b);
    }),
              KErrNone);
    EXPECT_EQ(trap([&] { a->setAlignment(a, kAlignOrigin, nullptr, kAlignNone); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { a->setAlignment(b, kAlignZAxis, b, kAlignZAxis); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { a->setAlignment(b, 150, nullptr, kAlignNone); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { a->getAlignmentTarget(kAlignXAxis); }), KErrIllegalArgument);
    EXPECT_EQ(a->getAlignment(), nullptr);

    ASSERT_EQ(trap([&] { a->setAlignment(b, kAlignOrigin, b, kAlignXAxis); }), KErrNone);
    EXPECT_EQ(a->getAlignmentReference(kAlignZAxis), b);
    EXPECT_EQ(a->getAlignmentTarget(kAlignYAxis), kAlignXAxis);
    // A reference outside the tree is refused; one below the node cannot align it.
    CkwNode* outside = node(kClassMesh);
    EXPECT_EQ(trap([&] { a->align(outside); }), KErrIllegalArgument);
    ASSERT_EQ(trap([&] { b->setAlignment(nullptr, kAlignOrigin, nullptr, kAlignNone); }), KErrNone);
    EXPECT_EQ(trap([&] { b->align(nullptr); }), KErrIllegalState);
    // Nor can a stored one below the node, in another tree or lost, on either
    // axis, under a group or a World, nor the node itself for a null one, nor
    // any on a node without a parent, nor one seen through a parent scaled to
    // nothing (-1000); the node aligned ahead is left as it was, and the call
    // counts the nodes it met.
    enum Unreachable { kBelow, kOutside, kLost, kItself, kNoParent, kSingular };
    for (const Unreachable kind : {kBelow, kOutside, kLost, kItself, kNoParent, kSingular})
        for (const bool inWorld : {false, true})
            for (const int32_t axis : {kAlignZAxis, kAlignYAxis}) {
                SCOPED_TRACE(testing::Message() << kind << inWorld << axis);
                CkwGroup* top = inWorld ? world() : group();
                CkwGroup* ahead = group();
                CkwGroup* aligned = group();
                CkwNode* below = node(kClassMesh);
                auto* doomed = new PlainNode(kClassMesh);
                CkwNode* const references[] = {below, outside, doomed, nullptr, below, ahead};
                CkwGroup* parent = kind == kSingular ? group() : top;
                ASSERT_EQ(trap([&] {
                    ahead->setTranslation(0, 1, 0);
                    top->addChild(ahead);
                    top->addChild(doomed);
                    if (parent != top) {
                        parent->setScale(0, 1, 1);
                        top->addChild(parent);
                    }
                    if (kind != kNoParent)
                        parent->addChild(aligned);
                    aligned->addChild(below);
                    ahead->setAlignment(aligned, kAlignOrigin, nullptr, kAlignNone);
                    const bool z = axis == kAlignZAxis;
                    aligned->setAlignment(z ? references[kind] : nullptr, z ? kAlignOrigin : kAlignNone,
                                          z ? nullptr : references[kind], z ? kAlignNone : kAlignOrigin);
                    top->removeChild(doomed);
                }),
                          KErrNone);
                CkwNode* const called = kind == kItself || kind == kNoParent ? aligned : top;
                const uint64_t visits = engineContext()->visits;
                EXPECT_EQ(trap([&] { called->align(nullptr); }), kind == kSingular ? KErrArithmetic : KErrIllegalState);
                EXPECT_EQ(ahead->getOrientation()[3], 1.0f);
                EXPECT_GE(engineContext()->visits - visits, called == top ? 3u : 1u);
            }

    // A destroyed reference becomes lost, and aligning then fails.
    auto* doomed = new PlainNode(kClassMesh);
    ASSERT_EQ(trap([&] {
        root->addChild(doomed);
        a->setAlignment(doomed, kAlignOrigin, nullptr, kAlignNone);
        root->removeChild(doomed);
    }),
              KErrNone);
    ASSERT_NE(a->getAlignment(), nullptr);
    EXPECT_TRUE(a->getAlignment()->zLost);
    EXPECT_EQ(a->getAlignmentReference(kAlignZAxis), nullptr);
    EXPECT_EQ(trap([&] { a->align(nullptr); }), KErrIllegalState);

    // A target farther than the range of floats still has a direction.
    ASSERT_EQ(trap([&] {
        b->setAlignment(nullptr, kAlignNone, nullptr, kAlignNone);
        a->setTranslation(0, -3e38f, 0);
        b->setTranslation(0, 3e38f, 0);
        a->setAlignment(b, kAlignOrigin, nullptr, kAlignNone);
    }),
              KErrNone);
    EXPECT_EQ(trap([&] { root->align(nullptr); }), KErrNone);
    EXPECT_NEAR(axisOf(a, 2).y, 1.0f, 1e-6f);

    // Leaves below a chain of 512, each aligned to its top, climb the whole
    // budget and turn; one step more, taken last, and the call is refused
    // before any node turns.
    constexpr int32_t kDepth = 512;
    CkwGroup* top = group();
    CkwGroup* foot = top;
    CkwNode* last = node(kClassMesh);
    std::vector<CkwNode*> leaves(CkwNode::kAlignStepsPerCall / kDepth);
    ASSERT_EQ(trap([&] {
        for (int32_t i = 0; i < kDepth; ++i) {
            foot->addChild(group());
            foot = static_cast<CkwGroup*>(foot->getChild(0));
            foot->setTranslation(0, 1, 0);
        }
        for (CkwNode*& leaf : leaves) {
            foot->addChild(leaf = node(kClassMesh));
            leaf->setTranslation(1, 0, 0);
            leaf->setAlignment(top, kAlignOrigin, nullptr, kAlignNone);
        }
        static_cast<CkwGroup*>(top->getChild(0))->addChild(last);
        last->setAlignment(top, kAlignOrigin, nullptr, kAlignNone);
    }),
              KErrNone);
    EXPECT_EQ(trap([&] { top->align(nullptr); }), KErrIllegalState);
    EXPECT_EQ(leaves.front()->getOrientation()[3], 1.0f);
    ASSERT_EQ(trap([&] { last->setAlignment(nullptr, kAlignNone, nullptr, kAlignNone); }), KErrNone);
    EXPECT_EQ(trap([&] { top->align(nullptr); }), KErrNone);
    EXPECT_NEAR(axisOf(leaves.back(), 2).y, -1.0f, 1e-5f);

    // Nodes on the shared transform block take blocks of their own before
    // any turns: whichever allocation fails, none turns or all three do.
    sweepAllocationFailures([&] {
        const HookedRef<CkwGroup> parent(new CkwGroup);
        CkwNode* turning[3];
        EXPECT_EQ(trap([&] {
            for (CkwNode*& n : turning) {
                parent->addChild(n = new CkwGroup);
                n->setAlignment(parent.get(), kAlignXAxis, nullptr, kAlignNone);
            }
        }),
                  KErrNone);
        FailingAllocHooks hooks;
        const int32_t code = trap([&] { parent->align(nullptr); });
        for (CkwNode* n : turning)
            EXPECT_EQ(n->getOrientation()[3] != 1.0f, code == KErrNone) << code;
        return code == KErrNone;
    });
}

TEST_F(NodeTest, DuplicateCopiesTheSubtreeInOrderAndRemapsAlignment)
{
    CkwGroup* root = group();
    CkwGroup* inner = group();
    CkwNode* first = node(kClassMesh);
    CkwNode* second = node(kClassLight);
    CkwNode* outside = node(kClassMesh);
    CkwGroup* top = group();
    const uint8_t value[] = {9};
    ASSERT_EQ(trap([&] {
        top->addChild(root);
        top->addChild(outside);
        inner->addChild(first);
        inner->addChild(second);
        root->addChild(inner);
        root->setUserID(10);
        first->setUserID(11);
        second->setUserID(12);
        second->setTranslation(1, 2, 3);
        second->setUserParameter(4, 1, value);
        first->setAlignment(second, kAlignOrigin, outside, kAlignYAxis);
        second->setRenderingEnable(false);
        second->setAlphaFactor(0.5f);
    }),
              KErrNone);

    CkwObject3D* copied = nullptr;
    ASSERT_EQ(trap([&] { copied = root->duplicate(); }), KErrNone);
    auto* copy = hold(static_cast<CkwGroup*>(copied));
    ASSERT_EQ(copy->getChildCount(), 1);
    auto* innerCopy = static_cast<CkwGroup*>(copy->getChild(0));
    ASSERT_EQ(innerCopy->getChildCount(), 2);
    CkwNode* firstCopy = innerCopy->getChild(0);
    CkwNode* secondCopy = innerCopy->getChild(1);
    EXPECT_NE(firstCopy, first);
    EXPECT_EQ(firstCopy->getUserID(), 11);
    EXPECT_EQ(secondCopy->getUserID(), 12);
    EXPECT_EQ(secondCopy->getClassId(), kClassLight);
    EXPECT_EQ(secondCopy->getTranslation()[2], 3.0f);
    EXPECT_EQ(secondCopy->getUserParameter(4, 0, nullptr), 1);
    EXPECT_FALSE(secondCopy->isRenderingEnabled());
    EXPECT_EQ(secondCopy->getAlphaFactor(), 0.5f);
    EXPECT_EQ(secondCopy->getDepth(), 2);
    EXPECT_EQ(copy->getParent(), nullptr);
    // Inside the copied subtree the reference follows the copy; outside it stays.
    EXPECT_EQ(firstCopy->getAlignmentReference(kAlignZAxis), secondCopy);
    EXPECT_EQ(firstCopy->getAlignmentReference(kAlignYAxis), outside);
}

TEST_F(NodeTest, AnimateReachesTheWholeTreeAndClampsAlpha)
{
    CkwGroup* root = group();
    CkwGroup* middle = group();
    CkwNode* low = node(kClassMesh);
    CkwNode* high = node(kClassMesh);
    auto* below = hold(new ConstantTrack(kPropertyAlpha, -0.5f));
    auto* above = hold(new ConstantTrack(kPropertyAlpha, 2.0f));
    auto* hide = hold(new ConstantTrack(kPropertyVisibility, 0.25f));
    ASSERT_EQ(trap([&] {
        low->addAnimationTrack(below);
        high->addAnimationTrack(above);
        middle->addAnimationTrack(hide);
        middle->addChild(low);
        root->addChild(middle);
        root->addChild(high);
    }),
              KErrNone);
    int32_t validity = 0;
    ASSERT_EQ(trap([&] { validity = root->animate(0, kNewAnimationPass); }), KErrNone);
    EXPECT_EQ(validity, 40);
    EXPECT_EQ(low->getAlphaFactor(), 0.0f);
    EXPECT_EQ(high->getAlphaFactor(), 1.0f);
    EXPECT_FALSE(middle->isRenderingEnabled());
    EXPECT_EQ(trap([&] { low->addAnimationTrack(hold(new ConstantTrack(kPropertyDensity, 1))); }),
              KErrIllegalArgument);
}

// Chains longer than the walk's ring, listed on the heap or, without memory,
// cleaned a ring's worth at a time, give the same sums.
TEST_F(NodeTest, LongDirtyChainsCleanFromTheTopWithOrWithoutMemory)
{
    constexpr int32_t kDepth = 600;
    CkwGroup* root = group();
    CkwNode* deepest = root;
    ASSERT_EQ(trap([&] {
        for (int32_t i = 0; i < kDepth; ++i) {
            CkwGroup* next = group();
            next->setTranslation(1, 0, static_cast<float>(i));
            static_cast<CkwGroup*>(deepest)->addChild(next);
            deepest = next;
        }
    }),
              KErrNone);
    const EngineAllocHook alloc = engineAllocHook();
    const EngineFreeHook free = engineFreeHook();
    for (bool memory : {true, false}) {
        root->invalidateWorldTransform();
        if (!memory)
            setEngineAllocHooks([](uint32_t, uint32_t) -> void* { return nullptr; }, free);
        const CkwMatrix& world = deepest->getWorldTransform();
        setEngineAllocHooks(alloc, free);
        EXPECT_EQ(world.element(0, 3), static_cast<float>(kDepth)) << memory;
        EXPECT_EQ(world.element(2, 3), static_cast<float>(kDepth * (kDepth - 1) / 2)) << memory;
        for (CkwNode* node = deepest; node != nullptr; node = node->getParent())
            ASSERT_FALSE(node->nodeFlags() & kDirty) << memory;
    }
}

// An object holding n counted references to one other, or to nothing.
class Fan : public CkwObject3D {
public:
    Fan(CkwObject3D* to, int32_t n)
    {
        for (int32_t i = 0; to != nullptr && i < n; ++i, to->addRef())
            m_references.append(to);
    }
    ~Fan() override
    {
        for (CkwObject3D* to : m_references)
            to->release();
    }
    int32_t getClassId() const override { return kClassGroup; }
    CkwObject3D* duplicate() const override { return nullptr; }
    CkwReference getReference(int32_t index) const override
    {
        return index == 0 ? CkwReference::list(m_references) : CkwReference::end();
    }

private:
    CkwArray<CkwObject3D*> m_references;
};

// The work an operation on a scene of n nodes or tracks costs, the engine's
// visits plus the bytes it allocates, grows with n (or n log n), never with
// its square: a step each node takes to its ancestors, its siblings or a list
// from the start would make 2n cost four times n.
TEST_F(NodeTest, CopiesAndSearchesVisitInProportionToTheScene)
{
    // A chain of n groups below parent; returns its foot.
    const auto chain = [&](CkwNode* parent, int32_t n) {
        for (int32_t i = 0; i < n; ++i) {
            auto* next = new CkwGroup;
            static_cast<CkwGroup*>(parent)->addChild(next);
            parent = next;
        }
        return static_cast<CkwGroup*>(parent);
    };
    // top with a chain of n groups below it.
    const auto above = [&](auto* top, int32_t n) {
        chain(top, n);
        return top;
    };
    // n groups added below parent, each then handed to each.
    const auto children = [](auto* parent, int32_t n, const std::function<void(CkwNode*, int32_t)>& each = {}) {
        for (int32_t i = 0; i < n; ++i) {
            auto* child = new CkwGroup;
            parent->addChild(child);
            if (each)
                each(child, i);
        }
        return parent;
    };
    // n tracks of one property given to target.
    const auto tracks = [&](CkwObject3D* target, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            target->addAnimationTrack(hold(new ConstantTrack(kPropertyAlpha, 1.0f)));
        return target;
    };
    std::vector<uint16_t> pixels(16 * 16);
    CkwGraphics3D* graphics = nullptr;
    // A lit world with a camera, and a target bound to draw it into.
    const auto drawable = [&] {
        if (graphics == nullptr) {
            graphics = hold(CkwGraphics3D::create());
            graphics->bindTarget(16, 16, 32, pixels.data());
        }
        return hold(kitLitWorld(nullptr));
    };
    // n small squares, each nearer than the last.
    const auto squares = [&](int32_t n, bool transparent) {
        CkwWorld* world = drawable();
        auto* blend = static_cast<CkwCompositingMode*>(CkwCompositingMode::create());
        blend->setBlending(transparent ? CkwCompositingMode::kAlphaAdd : CkwCompositingMode::kReplace);
        CkwAppearance* appearance = kitAppearance(0xFFFFFFFF);
        appearance->setCompositingMode(blend);
        for (int32_t i = 0; i < n; ++i) {
            CkwMesh* square = renderkit::quad(0.01f, 0xFF808080, appearance);
            square->setTranslation(0, 0, -10.0f + 12.0f * static_cast<float>(i) / static_cast<float>(n));
            world->addChild(square);
        }
        return world;
    };
    const auto draw = [&](CkwObject3D* world, int32_t) { graphics->renderWorld(static_cast<CkwWorld*>(world)); };
    const auto copy = [&](CkwObject3D* scene, int32_t) { hold(scene->duplicate()); };
    const auto align = [](CkwObject3D* scene, int32_t) { static_cast<CkwNode*>(scene)->align(nullptr); };
    // A chain of n groups below a top, each a step up and ahead of its
    // parent, aiming Z or Y at the top or at the foot of a chain beside it,
    // or at the node at its depth there, and with two axes Y along the top's
    // X axis.
    const auto aimedChain = [&](int32_t n, bool beside, int32_t axis, bool twoAxes, bool level = false) {
        CkwGroup* top = group();
        CkwNode* aim = beside ? chain(top, n) : top;
        aim->setTranslation(5, 0, 0);
        for (CkwNode* node = chain(top, n); node != top; node = node->getParent()) {
            node->setTranslation(0, 1, 1);
            if (axis == kAlignZAxis)
                node->setAlignment(aim, kAlignOrigin, twoAxes ? top : nullptr, twoAxes ? kAlignXAxis : kAlignNone);
            else
                node->setAlignment(nullptr, kAlignNone, aim, kAlignOrigin);
            aim = level ? aim->getParent() : aim;
        }
        return top;
    };
    // Aligns. The climbs of these shapes grow with the square of the chain,
    // so by 2,000 nodes they pass the call's budget and the call is refused
    // before any node turns; where it is made, every aligned node's axis is
    // held on its target as the climb between them sees it, to a thousandth.
    // The checks are not counted.
    const auto alignAimed = [](CkwObject3D* scene, int32_t n) {
        auto* root = static_cast<CkwNode*>(scene);
        const auto turns = [root] {
            std::vector<float> all;
            for (CkwNode* node = root; node != nullptr; node = CkwNode::nextInSubtree(node, root, true))
                all.insert(all.end(), node->getOrientation(), node->getOrientation() + 4);
            return all;
        };
        const std::vector<float> unturned = turns();
        const int32_t result = trap([root] { root->align(nullptr); });
        EXPECT_TRUE(result == KErrIllegalState || (result == KErrNone && n < 2000)) << result;
        if (result != KErrNone) {
            EXPECT_EQ(turns(), unturned);
        }
        const uint64_t visits = engineContext()->visits;
        for (CkwNode* node = root; result == KErrNone && node != nullptr; node = CkwNode::nextInSubtree(node, root, true))
            if (const CkwNode::Alignment* a = node->getAlignment()) {
                const int32_t along = a->zTarget == kAlignOrigin ? 14 : 13; // the aimed axis' coordinate
                CkwMatrix m;
                ASSERT_NE((along == 14 ? a->zReference : a->yReference)->getTransformTo(node, m), nullptr);
                EXPECT_LE(std::fabs(m.m[12]) + std::fabs(m.m[27 - along]), 1e-3f * m.m[along]);
            }
        engineContext()->visits = visits;
    };
    // A chain whose nodes each hold a leaf aimed at the leaf at half its
    // depth or at the last, the chain's first node scaled by scale.
    const auto leafChain = [&](int32_t n, float scale, bool toLast) {
        CkwGroup* top = group();
        std::vector<CkwNode*> leaves;
        for (CkwNode* node = top; leaves.size() < static_cast<size_t>(n);) {
            (node = chain(node, 1))->setTranslation(0, 1, 1);
            leaves.push_back(chain(node, 1));
            leaves.back()->setTranslation(5, 0, 0);
        }
        for (size_t i = 1; i + 1 < leaves.size() + (toLast ? 0 : 1); ++i)
            leaves[i]->setAlignment(leaves[toLast ? leaves.size() - 1 : i / 2], kAlignOrigin, nullptr, kAlignNone);
        top->getFirstChild()->setScale(scale, scale, scale);
        return top;
    };
    const struct {
        const char* what;
        std::function<CkwObject3D*(int32_t n)> build;
        std::function<void(CkwObject3D* scene, int32_t n)> run;
    } cases[] = {
        {"siblings aligned to the last, copied",
         [&](int32_t n) {
             CkwGroup* root = group();
             for (int32_t i = 0; i < n; ++i)
                 root->addChild(node(kClassGroup));
             for (int32_t i = 0; i + 1 < n; ++i)
                 root->getChild(i)->setAlignment(root->getChild(n - 1), kAlignOrigin, nullptr, kAlignNone);
             return root;
         },
         copy},
        {"a chain aligned to its top, copied",
         [&](int32_t n) {
             CkwGroup* top = group();
             for (CkwNode* node = chain(top, n); node != top; node = node->getParent())
                 node->setAlignment(top, kAlignOrigin, nullptr, kAlignNone);
             return top;
         },
         copy},
        {"objects shared n times, twice over, searched",
         [&](int32_t n) { return hold(new Fan(hold(new Fan(hold(new Fan(nullptr, 0)), n)), n)); },
         [&](CkwObject3D* scene, int32_t) { EXPECT_EQ(scene->find(7), nullptr); }},
        {"a chain of groups drawn in one frame",
         [&](int32_t n) {
             CkwWorld* world = drawable();
             chain(world, n)->addChild(renderkit::quad(0.5f, 0xFF808080, kitAppearance(0xFFFFFFFF)));
             return world;
         },
         draw},
        {"transparent squares queued each nearer than the last", [&](int32_t n) { return squares(n, true); }, draw},
        {"opaque squares queued under one key", [&](int32_t n) { return squares(n, false); }, draw},
        {"a chain each aligned to a node beside it",
         [&](int32_t n) {
             CkwGroup* top = group();
             for (CkwNode* node = chain(top, n); node != top; node = node->getParent()) {
                 CkwGroup* beside = chain(node->getParent(), 1);
                 beside->setTranslation(1, 2, 3);
                 node->setAlignment(beside, kAlignZAxis, nullptr, kAlignNone);
             }
             return top;
         },
         align},
        {"children of a world aligned to the foot of a chain beside them",
         [&](int32_t n) {
             CkwWorld* w = world();
             CkwGroup* foot = chain(w, n);
             return children(w, n, [&](CkwNode* child, int32_t) {
                 child->setAlignment(foot, kAlignZAxis, nullptr, kAlignNone);
             });
         },
         alignAimed},
        {"a chain each aligned to its top", [&](int32_t n) { return aimedChain(n, false, kAlignZAxis, false); }, alignAimed},
        {"a chain each aligned by Y to a node beside its foot",
         [&](int32_t n) { return aimedChain(n, true, kAlignYAxis, false); },
         alignAimed},
        {"a chain each aligned by Z to a node beside its foot and by Y to its top",
         [&](int32_t n) { return aimedChain(n, true, kAlignZAxis, true); },
         alignAimed},
        {"a world's children in one group aligned to one deep node",
         [&](int32_t n) {
             CkwWorld* w = world();
             CkwGroup* foot = chain(w, n);
             foot->setTranslation(0, 0, -5);
             children(chain(w, 1), n, [&](CkwNode* child, int32_t i) {
                 child->setTranslation(static_cast<float>(i), 0, 0);
                 child->setAlignment(foot, kAlignOrigin, nullptr, kAlignNone);
             });
             return w;
         },
         alignAimed},
        {"a chain whose every node holds a leaf aimed at the leaf at half its depth",
         [&](int32_t n) { return leafChain(n, 1.0f, false); },
         alignAimed},
        {"the same below a node scaled to nothing", [&](int32_t n) { return leafChain(n, 0.0f, false); }, alignAimed},
        {"a chain whose every node holds a leaf aimed at the last",
         [&](int32_t n) { return leafChain(n, 1.0f, true); },
         alignAimed},
        {"a chain each aimed at the node at its depth in a chain beside it",
         [&](int32_t n) { return aimedChain(n, true, kAlignZAxis, false, true); },
         alignAimed},
        {"one group given n tracks of one property, copied",
         [&](int32_t) { return group(); },
         [&](CkwObject3D* scene, int32_t n) { hold(tracks(scene, n)->duplicate()); }},
        {"one group's n tracks read in order, each removed and added again, then each removed",
         [&](int32_t n) { return tracks(group(), n); },
         [&](CkwObject3D* scene, int32_t n) {
             std::vector<CkwObject3D*> tracks;
             for (int32_t i = 0; i < n; ++i)
                 tracks.push_back(scene->getAnimationTrack(i));
             for (CkwObject3D* track : tracks) {
                 scene->removeAnimationTrack(track);
                 scene->addAnimationTrack(track);
             }
             EXPECT_EQ(scene->getAnimationTrack(0), tracks.back());
             for (CkwObject3D* track : tracks)
                 scene->removeAnimationTrack(track);
         }},
        {"a chain built from its top", [&](int32_t) { return world(); }, [&](CkwObject3D* w, int32_t n) { chain(static_cast<CkwNode*>(w), n); }},
        {"every node of a chain asked whether its top lies above it",
         [&](int32_t n) { return above(group(), n); },
         [&](CkwObject3D* scene, int32_t) {
             auto* top = static_cast<CkwNode*>(scene);
             for (CkwNode* node = top->getFirstChild(); node != nullptr; node = node->getFirstChild())
                 ASSERT_TRUE(top->isAncestorOf(node));
         }},
        {"children removed from the last",
         [&](int32_t n) { return children(group(), n); },
         [&](CkwObject3D* scene, int32_t) {
             auto* root = static_cast<CkwGroup*>(scene);
             while (root->getChildCount() > 0)
                 root->removeChild(root->getChild(root->getChildCount() - 1));
         }},
        {"a chain in a world hidden and shown node by node",
         [&](int32_t n) { return above(world(), n); },
         [&](CkwObject3D* scene, int32_t) {
             auto* root = static_cast<CkwNode*>(scene);
             for (CkwNode* node = root; node != nullptr; node = CkwNode::nextInSubtree(node, root, true)) {
                 node->setRenderingEnable(false);
                 node->setRenderingEnable(true);
             }
         }},
    };
    const EngineAllocHook alloc = engineAllocHook();
    const EngineFreeHook free = engineFreeHook();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        uint64_t work[2] = {};
        for (int32_t k = 0; k < 2; ++k) {
            ASSERT_EQ(trap([&] {
                const int32_t n = 1000 << k;
                CkwObject3D* scene = c.build(n);
                const uint64_t before = engineContext()->visits;
                g_allocated = 0;
                setEngineAllocHooks(countingAlloc, free);
                c.run(scene, n);
                work[k] = engineContext()->visits - before + g_allocated;
            }),
                      KErrNone);
            setEngineAllocHooks(alloc, free);
        }
        EXPECT_LE(work[1] * 10, work[0] * 23) << work[0] << " then " << work[1];
    }
}

TEST_F(NodeTest, HundredThousandDeepChainWorksWithoutRecursion)
{
    constexpr int32_t kDepth = 100000;
    CkwWorld* world = this->world();
    static int32_t destroyed;
    destroyed = 0;
    const auto countDestroyed = [](CkwRefCount*) { ++destroyed; };
    auto* deepest = new CkwGroup;
    deepest->setDestroyCallback(countDestroyed);
    CkwGroup* top = deepest;
    // Built bottom up, as a file builds it.
    ASSERT_EQ(trap([&] {
        deepest->setUserID(99);
        deepest->setTranslation(0, 0, 1);
        for (int32_t i = 1; i < kDepth; ++i) {
            auto* above = new CkwGroup;
            above->setDestroyCallback(countDestroyed);
            above->addChild(top);
            top = above;
        }
        top->setTranslation(1, 0, 0);
        world->addChild(top);
    }),
              KErrNone);
    EXPECT_EQ(deepest->getDepth(), kDepth);
    EXPECT_FLOAT_EQ(deepest->getWorldTransform().element(0, 3), 1.0f);
    EXPECT_FLOAT_EQ(deepest->getWorldTransform().element(2, 3), 1.0f);

    CkwObject3D* found = nullptr;
    ASSERT_EQ(trap([&] {
        found = world->find(99);
        world->animate(0, kNewAnimationPass);
    }),
              KErrNone);
    EXPECT_EQ(found, deepest);

    CkwObject3D* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = top->duplicate(); }), KErrNone);
    copy->addRef();
    copy->release();
    // Removing the top destroys the whole chain.
    EXPECT_EQ(destroyed, 0);
    ASSERT_EQ(trap([&] { world->removeChild(top); }), KErrNone);
    EXPECT_EQ(world->getChildCount(), 0);
    EXPECT_EQ(destroyed, kDepth);
}

} // namespace
