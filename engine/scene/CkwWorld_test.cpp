// Group and World: the child-list checks, the light cache, duplication of a
// world with its camera, and worlds written by the writer that load and read
// back equal, or fail cleanly when corrupt.
#include "engine/scene/CkwWorld.h"

#include <gtest/gtest.h>

#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/AllocationSweep.h"
#include "engine/scene/ImageTestKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"

namespace {

class WorldTest : public ::testing::Test, public SceneTest {};

TEST_F(WorldTest, AddChildChecksCyclesParentsAndWorlds)
{
    CkwGroup* root = group();
    CkwGroup* child = group();
    CkwGroup* other = group();
    CkwWorld* aWorld = world();
    ASSERT_EQ(trap([&] { root->addChild(child); }), KErrNone);
    const struct {
        const char* what;
        CkwGroup* group;
        CkwNode* node;
        int32_t code;
    } cases[] = {
        {"again: nothing", root, child, KErrNone},
        {"null", root, nullptr, KErrNullArgument},
        {"itself", root, root, KErrIllegalArgument},
        {"second parent", other, child, KErrIllegalArgument},
        {"own ancestor", child, root, KErrIllegalArgument},
        {"a world", other, aWorld, KErrIllegalArgument},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trap([&] { c.group->addChild(c.node); }), c.code) << c.what;
    EXPECT_EQ(root->getChildCount(), 1);
    EXPECT_EQ(other->getChildCount(), 0);
    EXPECT_EQ(trap([&] { root->getChild(1); }), KErrIndexOutOfRange);
    EXPECT_EQ(trap([&] { root->getChild(-1); }), KErrIndexOutOfRange);

    // Removing a stranger or null does nothing; a bone cannot be removed.
    EXPECT_EQ(trap([&] { root->removeChild(other); }), KErrNone);
    EXPECT_EQ(trap([&] { root->removeChild(nullptr); }), KErrNone);
    child->setBoneMark(true);
    EXPECT_EQ(trap([&] { root->removeChild(child); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { other->removeChild(child); }), KErrIllegalArgument);
    EXPECT_EQ(root->getChildCount(), 1);
}

TEST_F(WorldTest, HundredThousandChildrenAppendInOrder)
{
    constexpr int32_t kChildren = 100000;
    CkwGroup* parent = group();
    ASSERT_EQ(trap([&] {
        for (int32_t i = 0; i < kChildren; ++i) {
            auto* child = new CkwGroup;
            child->setUserID(i);
            parent->addChild(child);
        }
    }),
              KErrNone);
    ASSERT_EQ(parent->getChildCount(), kChildren);
    for (int32_t i = 0; i < kChildren; ++i)
        ASSERT_EQ(parent->getChild(i)->getUserID(), i);
    // Linking after a child other than the cursor's shifts the indices.
    CkwNode* second = parent->getChild(1);
    CkwNode* fifth = parent->getChild(5);
    CkwNode* inserted = nullptr;
    ASSERT_EQ(trap([&] {
        inserted = new CkwGroup;
        inserted->insertAfter(second);
    }),
              KErrNone);
    EXPECT_EQ(parent->getChild(2), inserted);
    EXPECT_EQ(parent->getChild(6), fifth);
    EXPECT_EQ(parent->getChild(kChildren)->getUserID(), kChildren - 1);
    EXPECT_EQ(parent->getChildCount(), kChildren + 1);
}

TEST_F(WorldTest, LightListSkipsDisabledSubtreesAndIsCollectedAgainAfterChanges)
{
    CkwWorld* w = world();
    CkwGroup* hidden = group();
    CkwNode* lit = node(kClassLight);
    CkwNode* shaded = node(kClassLight);
    CkwNode* late = node(kClassLight);
    ASSERT_EQ(trap([&] {
        hidden->addChild(shaded);
        hidden->setRenderingEnable(false);
        w->addChild(lit);
        w->addChild(hidden);
    }),
              KErrNone);
    const CkwArray<CkwNode*>* lights = nullptr;
    ASSERT_EQ(trap([&] { lights = &w->getLights(); }), KErrNone);
    ASSERT_EQ(lights->count(), 1);
    EXPECT_EQ((*lights)[0], lit);

    ASSERT_EQ(trap([&] {
        hidden->setRenderingEnable(true);
        w->getLights();
        hidden->addChild(late);
        lights = &w->getLights();
    }),
              KErrNone);
    ASSERT_EQ(lights->count(), 3);
    EXPECT_EQ((*lights)[1], shaded);
    EXPECT_EQ((*lights)[2], late);
}

TEST_F(WorldTest, LightListThatCannotGrowIsCollectedWholeNextTime)
{
    sweepAllocationFailures([&] {
        const HookedRef<CkwWorld> w(new CkwWorld);
        CkwNode* lights[] = {node(kClassLight), node(kClassLight), node(kClassLight)};
        ASSERT_EQ(trap([&] {
            for (CkwNode* light : lights)
                w->addChild(light);
        }),
                  KErrNone);
        int32_t code = KErrNone;
        {
            FailingAllocHooks hooks;
            code = trap([&] { w->getLights(); });
        }
        const CkwArray<CkwNode*>* list = nullptr;
        ASSERT_EQ(trap([&] { list = &w->getLights(); }), KErrNone);
        ASSERT_EQ(list->count(), 3);
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_EQ((*list)[i], lights[i]);
        EXPECT_EQ(code, FailingAllocator::failed() ? KErrNoMemory : KErrNone);
    });
}

TEST_F(WorldTest, DuplicateWorldPointsAtTheCopyOfItsCamera)
{
    CkwWorld* w = world();
    CkwNode* camera = node(kClassCamera);
    CkwNode* background = node(kClassBackground);
    CkwNode* fog = node(kClassFog);
    EXPECT_EQ(trap([&] { w->setActiveCamera(fog); }), KErrIllegalArgument);
    EXPECT_EQ(trap([&] { w->setBackground(camera); }), KErrIllegalArgument);
    ASSERT_EQ(trap([&] {
        w->addChild(group());
        w->addChild(camera);
        w->setActiveCamera(camera);
        w->setBackground(background);
    }),
              KErrNone);
    CkwObject3D* copied = nullptr;
    ASSERT_EQ(trap([&] { copied = w->duplicate(); }), KErrNone);
    auto* copy = hold(static_cast<CkwWorld*>(copied));
    ASSERT_EQ(copy->getChildCount(), 2);
    EXPECT_EQ(copy->getActiveCamera(), copy->getChild(1));
    EXPECT_NE(copy->getActiveCamera(), camera);
    EXPECT_EQ(copy->getBackground(), background);

    // A camera outside the world is not carried over.
    CkwWorld* lonely = world();
    CkwNode* outside = node(kClassCamera);
    ASSERT_EQ(trap([&] {
        lonely->setActiveCamera(outside);
        copied = lonely->duplicate();
    }),
              KErrNone);
    EXPECT_EQ(hold(static_cast<CkwWorld*>(copied))->getActiveCamera(), nullptr);
}

TEST(Vec3, LengthDotAndSubtraction)
{
    const float a[3] = {3, 4, 12};
    const float ones[3] = {1, 1, 1};
    const float b[3] = {4, -5, 6};
    EXPECT_EQ(vec3Length(a), 13.0f);
    EXPECT_EQ(vec3Length(ones), 1.7320508f);
    EXPECT_EQ(vec3Dot(a, b), 12.0f - 20.0f + 72.0f);
    float c[3] = {1, 2, 3};
    vec3SubInPlace(c, b);
    EXPECT_EQ(c[0], -3.0f);
    EXPECT_EQ(c[1], 7.0f);
    EXPECT_EQ(c[2], -3.0f);
}

M3gGroupFields plainGroup(int32_t userId, std::vector<uint32_t> children = {})
{
    M3gGroupFields g;
    g.node.transformable.object.userId = userId;
    g.children = std::move(children);
    return g;
}

TEST_F(WorldTest, WriterMadeWorldLoadsAndReadsBackEqual)
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    M3gGroupFields leaf = plainGroup(3);
    leaf.node.transformable.object.userParameters = {{7, {'a', 'b', 'c'}}, {8, {}}};
    leaf.node.transformable.components = M3gComponentTransform{{1, 2, 3}, {2, 2, 2}, 90.0f, {0, 0, 1}};
    leaf.node.alphaFactor = 51;
    leaf.node.scope = 5;
    leaf.node.pickingEnabled = false;
    const uint32_t leafIndex = writer.addObject(m3gGroupRecord(leaf));
    M3gGroupFields sibling = plainGroup(4);
    sibling.node.transformable.generalRowMajor = std::array<float, 16>{1, 0, 0, 4, 0, 1, 0, 5, 0, 0, 1, 6, 0, 0, 0, 1};
    sibling.node.alignment = M3gAlignmentFields{kAlignOrigin, kAlignNone, leafIndex, 0};
    const uint32_t siblingIndex = writer.addObject(m3gGroupRecord(sibling));
    const uint32_t middle = writer.addObject(m3gGroupRecord(plainGroup(2, {leafIndex, siblingIndex})));
    M3gWorldFields worldFields;
    worldFields.group = plainGroup(1, {middle});
    writer.addObject(m3gWorldRecord(worldFields));

    CkwSerializeObjectsIn parser;
    ASSERT_EQ(loadFile(parser, writer.finish()), -1);
    ASSERT_EQ(parser.roots().count(), 1);
    auto* w = dynamic_cast<CkwWorld*>(parser.objectAt(parser.roots()[0]));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->getUserID(), 1);
    auto* mid = static_cast<CkwGroup*>(w->getChild(0));
    EXPECT_EQ(mid->getUserID(), 2);
    EXPECT_EQ(mid->getDepth(), 1);
    ASSERT_EQ(mid->getChildCount(), 2);
    CkwNode* l = mid->getChild(0);
    CkwNode* s = mid->getChild(1);
    EXPECT_EQ(l->getUserID(), 3);
    EXPECT_EQ(s->getUserID(), 4);
    // The world counted its tree's depths once, as it loaded: asking climbs nothing.
    const uint64_t visits = engineContext()->visits;
    EXPECT_EQ(l->getDepth(), 2);
    EXPECT_EQ(engineContext()->visits, visits);
    uint8_t buffer[4] = {};
    EXPECT_EQ(l->getUserParameter(7, 4, buffer), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
    EXPECT_EQ(l->getUserParameter(8, 4, buffer), 0);
    EXPECT_EQ(l->getTranslation()[2], 3.0f);
    EXPECT_EQ(l->getScale()[0], 2.0f);
    EXPECT_NEAR(l->getOrientation()[2], 0.70710678f, 1e-6f);
    EXPECT_NEAR(l->getAlphaFactor(), 0.2f, 1e-6f);
    EXPECT_EQ(l->getScope(), 5);
    EXPECT_FALSE(l->isPickingEnabled());
    EXPECT_EQ(s->getGeneralMatrix().element(1, 3), 5.0f);
    EXPECT_EQ(s->getAlignmentReference(kAlignZAxis), l);
    EXPECT_EQ(s->getAlignmentTarget(kAlignZAxis), kAlignOrigin);
    CkwObject3D* found = nullptr;
    ASSERT_EQ(trap([&] { found = w->find(4); }), KErrNone);
    EXPECT_EQ(found, s);
}

// An id met again keeps its place and takes its last value; twice the ids cost twice.
TEST_F(WorldTest, UserParametersLoadInOrderAndInProportion)
{
    uint64_t visits[2] = {};
    for (int32_t k = 0; k < 2; ++k) {
        M3gGroupFields g = plainGroup(1);
        for (int32_t i = 0; i <= (1000 << k); ++i)
            g.node.transformable.object.userParameters.push_back({i % (1000 << k), {uint8_t(i), 'b'}});
        CkwObject3D* loaded = nullptr;
        const uint64_t before = engineContext()->visits;
        ASSERT_EQ(loadRecords(*this, [&](M3gFileWriter& w) { w.addObject(m3gGroupRecord(g)); }, &loaded), -1);
        CkwObject3D* copy = nullptr;
        ASSERT_EQ(trap([&] { copy = hold(loaded->duplicate()); }), KErrNone);
        visits[k] = engineContext()->visits - before;
        uint8_t value[2] = {};
        EXPECT_EQ(copy->getUserParameterAt(0, 2, value) + value[0], 2 + uint8_t(1000 << k));
    }
    EXPECT_LT(visits[1], visits[0] * 5 / 2) << visits[0] << " then " << visits[1];
}

TEST_F(WorldTest, CorruptWorldsFailToLoad)
{
    const auto fileWith = [](const std::function<void(M3gFileWriter&)>& build) {
        M3gFileWriter writer;
        build(writer);
        return writer.finish();
    };
    const struct {
        const char* what;
        std::vector<uint8_t> file;
    } cases[] = {
        {"child count past the record", fileWith([](M3gFileWriter& w) {
             M3gRecordWriter r;
             m3gWriteNode(r, M3gNodeFields{});
             r.uint32(1000);
             w.addObject(r.record(kM3gTypeGroup));
         })},
        {"world as a child", fileWith([](M3gFileWriter& w) {
             const uint32_t inner = w.addObject(m3gWorldRecord({}));
             w.addObject(m3gGroupRecord(plainGroup(1, {inner})));
         })},
        {"null child", fileWith([](M3gFileWriter& w) { w.addObject(m3gGroupRecord(plainGroup(1, {0}))); })},
        {"child with two parents", fileWith([](M3gFileWriter& w) {
             const uint32_t leaf = w.addObject(m3gGroupRecord(plainGroup(1)));
             w.addObject(m3gGroupRecord(plainGroup(2, {leaf})));
             w.addObject(m3gGroupRecord(plainGroup(3, {leaf})));
         })},
        {"projective node matrix", fileWith([](M3gFileWriter& w) {
             M3gGroupFields g = plainGroup(1);
             g.node.transformable.generalRowMajor =
                 std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0};
             w.addObject(m3gGroupRecord(g));
         })},
        {"rotation about no axis", fileWith([](M3gFileWriter& w) {
             M3gGroupFields g = plainGroup(1);
             g.node.transformable.components = M3gComponentTransform{{0, 0, 0}, {1, 1, 1}, 45.0f, {0, 0, 0}};
             w.addObject(m3gGroupRecord(g));
         })},
        {"alignment target out of range", fileWith([](M3gFileWriter& w) {
             M3gGroupFields g = plainGroup(1);
             g.node.alignment = M3gAlignmentFields{149, 144, 0, 0};
             w.addObject(m3gGroupRecord(g));
         })},
        {"group as camera", fileWith([](M3gFileWriter& w) {
             const uint32_t g = w.addObject(m3gGroupRecord(plainGroup(1)));
             M3gWorldFields f;
             f.activeCamera = g;
             w.addObject(m3gWorldRecord(f));
         })},
    };
    for (const auto& c : cases) {
        CkwSerializeObjectsIn parser;
        EXPECT_NE(loadFile(parser, c.file), -1) << c.what;
    }
}

TEST_F(WorldTest, HundredThousandDeepFileLoadsAndIsDestroyed)
{
    constexpr uint32_t kDepth = 100000;
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    uint32_t below = writer.addObject(m3gGroupRecord(plainGroup(-1)));
    for (uint32_t i = 1; i < kDepth; ++i)
        below = writer.addObject(m3gGroupRecord(plainGroup(static_cast<int32_t>(i), {below})));
    M3gWorldFields worldFields;
    worldFields.group = plainGroup(0, {below});
    writer.addObject(m3gWorldRecord(worldFields));

    auto* parser = new CkwSerializeObjectsIn;
    ASSERT_EQ(loadFile(*parser, writer.finish()), -1);
    auto* w = static_cast<CkwWorld*>(parser->objectAt(parser->roots()[0]));
    CkwObject3D* found = nullptr;
    ASSERT_EQ(trap([&] { found = w->find(-1); }), KErrNone);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(static_cast<CkwNode*>(found)->getDepth(), static_cast<int32_t>(kDepth));
    // The parser's counts go first, then the world takes the chain with it.
    hold(w);
    delete parser;
}

} // namespace
