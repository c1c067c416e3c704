// The Group and World tables through the public interface: the Object3D,
// Transformable and Node entries they open with, their own entries, and a
// writer-made World whose roots come out of a Loader as handles.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/core/interface/InterfaceMetadata.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/Trap.h"
#include "engine/scene/CkwWorld.h"
#include "engine/scene/interface/SceneNodeTables.h"
#include "engine/scene/interface/TableTestKit.h"
#include "engine/scene/testing/SceneKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gSceneEncoders.h"

namespace {

TEST_F(SceneTablesTest, GroupAndWorldRowsCarryTheirTables)
{
    EXPECT_EQ(interfaceTable(*interfaceById(kIidGroup)), &kGroupTable);
    EXPECT_EQ(interfaceTable(*interfaceById(kIidWorld)), &kWorldTable);
    EngineHandle* w = make(kIidWorld);
    EXPECT_EQ(w->table, &kWorldTable);
    EXPECT_EQ(api().getObjectType(w), kIidWorld);
    // The World's table serves it as a Group and a Node too.
    for (uint32_t iid : {kIidGroup, kIidNode, kIidObject3D, kIidTransformable}) {
        EngineHandle* q = nullptr;
        EXPECT_EQ(unknownQueryInterface(w, iid, &q), 0) << iid;
        EXPECT_EQ(q, w);
        EXPECT_EQ(release(q), 1u);
    }
    EngineHandle* q = nullptr;
    EXPECT_EQ(unknownQueryInterface(w, kIidMesh, &q), 3);
    EXPECT_EQ(release(w), 0u);
}

TEST_F(SceneTablesTest, Object3DEntriesCheckBeforeTheyCallTheClass)
{
    EngineHandle* g = make(kIidGroup);
    EngineHandle* other = make(kIidGroup);
    const auto& o = object3D(g);
    uint32_t count = 99;
    o.getAnimationTrackCount(g, &count);
    EXPECT_EQ(count, 0u);
    EngineHandle* out = nullptr;
    EXPECT_EQ(o.getAnimationTrack(g, 0, &out), 0x10007);
    EXPECT_EQ(o.addAnimationTrack(g, nullptr), 0x1000E);
    EXPECT_EQ(o.addAnimationTrack(g, other), 0x1000D); // a group is no track
    o.removeAnimationTrack(g, other);
    o.removeAnimationTrack(g, nullptr);
    int32_t validity = 0;
    EXPECT_EQ(o.animate(g, 10, &validity), 0);
    EXPECT_EQ(validity, 0x7FFFFFFF);
    EXPECT_EQ(o.animate(g, 10, nullptr), 0x1000E);

    EXPECT_EQ(group(g).addChild(g, other), 0);
    count = 0;
    EXPECT_EQ(o.getReferences(g, 0, nullptr, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(o.getReferences(g, 2, nullptr, &count), 0x1000D);
    EngineHandle* references[2] = {};
    EXPECT_EQ(o.getReferences(g, 2, references, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(references[0]->object, other->object);
    EXPECT_EQ(references[1], nullptr);
    EXPECT_EQ(release(references[0]), 0u);

    o.setUserID(g, 0xFFFFFFFE);
    uint32_t userId = 0;
    o.getUserID(g, &userId);
    EXPECT_EQ(userId, 0xFFFFFFFEu);
    EXPECT_EQ(o.find(g, 0xFFFFFFFE, &out), 0);
    EXPECT_EQ(out->object, g->object); // the object itself is tried first
    EXPECT_EQ(release(out), 0u);
    EXPECT_EQ(o.find(g, 12345, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(release(other), 0u); // the group still holds the object
    uint32_t children = 0;
    group(g).getChildCount(g, &children);
    EXPECT_EQ(children, 1u);
}

TEST_F(SceneTablesTest, UserParametersByIdAndByPosition)
{
    EngineHandle* g = make(kIidGroup);
    const auto& o = object3D(g);
    const uint8_t value[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(o.setUserParameter(g, 7, 5, value), 0);
    EXPECT_EQ(o.setUserParameter(g, 9, 2, value), 0);
    EXPECT_EQ(o.setUserParameter(g, 9, 0x80000000u, value), 0x1000D);
    int32_t length = 0;
    o.getUserParameter(g, 8, 0, nullptr, &length);
    EXPECT_EQ(length, -1);
    o.getUserParameter(g, 7, 0, nullptr, &length);
    EXPECT_EQ(length, 5);
    uint8_t buffer[8] = {};
    o.getUserParameter(g, 7, 3, buffer, &length); // never past the given size
    EXPECT_EQ(length, 5);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 2, 3, 0}));
    uint32_t id = 0;
    o.getUserParameterId(g, 1, &id);
    EXPECT_EQ(id, 9u);
    id = 77;
    o.getUserParameterId(g, 2, &id);
    EXPECT_EQ(id, 77u);
    o.getUserParameterAt(g, 1, sizeof buffer, buffer, &length);
    EXPECT_EQ(length, 2);
    o.getUserParameterAt(g, 2, sizeof buffer, buffer, &length);
    EXPECT_EQ(length, -1);
    o.getUserParameterAt(g, 0xFFFFFFFF, sizeof buffer, buffer, &length);
    EXPECT_EQ(length, -1);

    EngineHandle* copy = nullptr;
    EXPECT_EQ(o.duplicate(g, &copy), 0);
    EXPECT_NE(copy->object, g->object);
    o.removeUserParameters(g);
    o.getUserParameterAt(g, 0, 0, nullptr, &length);
    EXPECT_EQ(length, -1);
    o.getUserParameter(copy, 7, 0, nullptr, &length);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(release(copy), 0u);
    EXPECT_EQ(release(g), 0u);
}

int32_t g_destroyed = 0;

TEST_F(SceneTablesTest, DestroyCallbackSeesTheObjectGo)
{
    EngineHandle* g = make(kIidGroup);
    CkwRefCount* object = g->object;
    static CkwRefCount* s_expected;
    s_expected = object;
    g_destroyed = 0;
    object3D(g).setDestroyCallback(g, +[](CkwRefCount* o) { g_destroyed += o == s_expected ? 1 : 100; });
    EXPECT_EQ(release(g), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(SceneTablesTest, TransformableEntriesCheckFloatsAndAxes)
{
    EngineHandle* g = make(kIidGroup);
    const auto& t = transformable(g);
    const float move[3] = {1, 2, 3};
    EXPECT_EQ(t.setTranslation(g, move), 0);
    EXPECT_EQ(t.translate(g, move), 0);
    float v[4] = {};
    t.getTranslation(g, v);
    EXPECT_EQ(std::vector<float>(v, v + 3), (std::vector<float>{2, 4, 6}));
    const float bad[3] = {1, kNaN, 3};
    EXPECT_EQ(t.setTranslation(g, bad), 0x10006);
    EXPECT_EQ(t.setTranslation(g, nullptr), 0x1000E);
    t.getTranslation(g, v);
    EXPECT_EQ(v[1], 4.0f); // unchanged by the refused call
    const float twice[3] = {2, 2, 2};
    EXPECT_EQ(t.setScale(g, twice), 0);
    EXPECT_EQ(t.scale(g, twice), 0);
    t.getScale(g, v);
    EXPECT_EQ(std::vector<float>(v, v + 3), (std::vector<float>{4, 4, 4}));

    const float quarter[4] = {90, 0, 0, 1};
    EXPECT_EQ(t.setOrientation(g, quarter), 0);
    t.getOrientation(g, v);
    EXPECT_NEAR(v[0], 90.0f, 1e-3f);
    EXPECT_NEAR(v[3], 1.0f, 1e-5f);
    const float noAxis[4] = {90, 0, 0, 0};
    EXPECT_EQ(t.setOrientation(g, noAxis), 0x1000D);
    EXPECT_EQ(t.preRotate(g, noAxis), 0x1000D);
    EXPECT_EQ(t.postRotate(g, noAxis), 0x1000D);
    t.getOrientation(g, v);
    EXPECT_NEAR(v[0], 90.0f, 1e-3f);
    const float none[4] = {0, 0, 0, 0};
    EXPECT_EQ(t.setOrientation(g, none), 0); // no angle needs no axis
    EXPECT_EQ(t.postRotate(g, quarter), 0);
    EXPECT_EQ(t.preRotate(g, quarter), 0);
    t.getOrientation(g, v);
    EXPECT_NEAR(v[0], 180.0f, 1e-2f);

    // Transform arguments: required, and of the right kind.
    CkwTransform* transform = static_cast<CkwTransform*>(CkwTransform::create());
    transform->addRef();
    EngineHandle th = {nullptr, transform, 1, nullptr};
    EngineHandle* other = make(kIidGroup);
    EXPECT_EQ(t.getTransform(g, nullptr), 0x1000E);
    EXPECT_EQ(t.getCompositeTransform(g, nullptr), 0x1000E);
    EXPECT_EQ(t.getTransform(g, other), 0x1000D);
    EXPECT_EQ(t.setTransform(g, other), 0x1000D);
    EXPECT_EQ(t.getCompositeTransform(g, &th), 0);
    float m[16];
    transform->get(16, m);
    EXPECT_NEAR(m[3], 2.0f, 1e-5f); // row-major: the translation ends each row
    EXPECT_EQ(t.setTransform(g, &th), 0);
    EXPECT_EQ(t.setTransform(g, nullptr), 0);
    EXPECT_EQ(t.getTransform(g, &th), 0);
    transform->get(16, m);
    EXPECT_EQ(m[3], 0.0f);
    transform->release();
    release(other);
    release(g);
}

TEST_F(SceneTablesTest, NodeEntriesCheckRangesBeforeChangingAnything)
{
    EngineHandle* parent = make(kIidGroup);
    EngineHandle* child = make(kIidGroup);
    const auto& n = node(child);
    const struct {
        float alpha;
        EngineResult result;
    } alphas[] = {{1.0f, 0}, {1.0001f, 0x1000D}, {-0.0001f, 0x1000D}, {kNaN, 0x10006}, {0.0f, 0}, {0.25f, 0}};
    for (const auto& a : alphas)
        EXPECT_EQ(n.setAlphaFactor(child, a.alpha), a.result) << a.alpha;
    float alpha = 0;
    n.getAlphaFactor(child, &alpha);
    EXPECT_EQ(alpha, 0.25f);

    uint8_t flag = 9;
    n.setRenderingEnable(child, 0);
    n.isRenderingEnabled(child, &flag);
    EXPECT_EQ(flag, 0);
    n.setPickingEnable(child, 0x100); // only the low byte counts
    n.isPickingEnabled(child, &flag);
    EXPECT_EQ(flag, 0);
    n.setScope(child, 0x80000001u);
    uint32_t scope = 0;
    n.getScope(child, &scope);
    EXPECT_EQ(scope, 0x80000001u);

    EXPECT_EQ(n.setAlignment(child, nullptr, 149, nullptr, 144), 0x1000D);
    EXPECT_EQ(n.setAlignment(child, nullptr, 144, nullptr, 143), 0x1000D);
    EXPECT_EQ(n.setAlignment(child, parent, 145, nullptr, 144), 0);
    uint32_t target = 0;
    EXPECT_EQ(n.getAlignmentTarget(child, 148, &target), 0);
    EXPECT_EQ(target, 145u);
    EXPECT_EQ(n.getAlignmentTarget(child, 146, &target), 0x1000D);
    EngineHandle* reference = nullptr;
    EXPECT_EQ(n.getAlignmentReference(child, 148, &reference), 0);
    EXPECT_EQ(reference->object, parent->object);
    release(reference);
    EXPECT_EQ(n.getAlignmentReference(child, 147, &reference), 0);
    EXPECT_EQ(reference, nullptr);

    EngineHandle* up = nullptr;
    EXPECT_EQ(n.getParent(child, &up), 0);
    EXPECT_EQ(up, nullptr);
    EXPECT_EQ(group(parent).addChild(parent, child), 0);
    EXPECT_EQ(n.getParent(child, &up), 0);
    EXPECT_EQ(up->object, parent->object);
    release(up);
    EXPECT_EQ(n.align(child, nullptr), 0);

    CkwTransform* transform = static_cast<CkwTransform*>(CkwTransform::create());
    transform->addRef();
    EngineHandle th = {nullptr, transform, 1, nullptr};
    uint8_t shared = 9;
    EXPECT_EQ(n.getTransformTo(child, nullptr, &th, &shared), 0x1000E);
    EXPECT_EQ(n.getTransformTo(child, parent, nullptr, &shared), 0x1000E);
    EXPECT_EQ(n.getTransformTo(child, parent, parent, &shared), 0x1000D);
    EXPECT_EQ(n.getTransformTo(child, parent, &th, &shared), 0);
    EXPECT_EQ(shared, 1);
    EngineHandle* stranger = make(kIidGroup);
    EXPECT_EQ(n.getTransformTo(child, stranger, &th, &shared), 0);
    EXPECT_EQ(shared, 0);
    transform->release();
    release(stranger);
    release(child);
    release(parent);
}

TEST_F(SceneTablesTest, GroupChildrenAndPicking)
{
    EngineHandle* g = make(kIidGroup);
    EngineHandle* a = make(kIidGroup);
    EngineHandle* w = make(kIidWorld);
    const auto& t = group(g);
    EXPECT_EQ(t.addChild(g, nullptr), 0x1000E);
    EXPECT_EQ(t.addChild(g, g), 0x1000D);
    EXPECT_EQ(t.addChild(g, w), 0x1000D);
    EXPECT_EQ(t.addChild(g, a), 0);
    EXPECT_EQ(t.addChild(g, a), 0);
    uint32_t count = 0;
    t.getChildCount(g, &count);
    EXPECT_EQ(count, 1u);
    EngineHandle* child = nullptr;
    EXPECT_EQ(t.getChild(g, 1, &child), 0x10007);
    EXPECT_EQ(t.getChild(g, 0xFFFFFFFF, &child), 0x10007);
    EXPECT_EQ(t.getChild(g, 0, &child), 0);
    EXPECT_EQ(child->object, a->object);
    release(child);
    EXPECT_EQ(t.removeChild(g, a), 0);
    t.getChildCount(g, &count);
    EXPECT_EQ(count, 0u);

    const float origin[3] = {0, 0, 0};
    const float down[3] = {0, 0, -1};
    const float bad[3] = {0, std::numeric_limits<float>::infinity(), 0};
    uint8_t hit = 9;
    EXPECT_EQ(t.pickRay(g, ~0u, origin, down, nullptr, &hit), 0);
    EXPECT_EQ(hit, 0);
    EXPECT_EQ(t.pickRay(g, ~0u, origin, bad, nullptr, &hit), 0x10006);
    EXPECT_EQ(t.pickRay(g, ~0u, nullptr, down, nullptr, &hit), 0x1000E);
    EXPECT_EQ(t.pickViewport(g, ~0u, 0.5f, 0.5f, nullptr, nullptr, &hit), 0x1000E);
    EXPECT_EQ(t.pickViewport(g, ~0u, 0.5f, 0.5f, a, nullptr, &hit), 0x1000D); // a group is no camera
    EXPECT_EQ(t.pickViewport(g, ~0u, kNaN, 0.5f, a, nullptr, &hit), 0x10006);
    release(w);
    release(a);
    release(g);
}

// A hit comes back through the RayIntersection table; a miss writes 0 and
// leaves the record as it was.
TEST_F(SceneTablesTest, PicksFillTheRayIntersectionThroughItsTable)
{
    EngineHandle* g = make(kIidGroup);
    EngineHandle* r = make(kIidRayIntersection);
    EngineHandle* camera = make(kIidCamera);
    EngineHandle* mesh = nullptr;
    ASSERT_EQ(engineTrap([&] { ASSERT_EQ(wrapObject(kitBox(1.0f, kitAppearance(~0u)), &mesh), 0); }), 0);
    const auto& t = group(g);
    ASSERT_EQ(t.addChild(g, mesh), 0);
    const auto& ri = tableOf<IkwRayIntersectionTable>(r);
    const float origin[3] = {0.5f, 0.25f, 10};
    const float down[3] = {0, 0, -2};
    uint8_t hit = 0;
    ASSERT_EQ(t.pickRay(g, ~0u, origin, down, r, &hit), 0);
    EXPECT_EQ(hit, 1);
    float distance = 0;
    ri.getDistance(r, &distance);
    EXPECT_FLOAT_EQ(distance, 4.5f);
    EngineHandle* intersected = nullptr;
    EXPECT_EQ(ri.getIntersected(r, &intersected), 0);
    EXPECT_EQ(intersected->object, mesh->object);
    release(intersected);
    float normal[3] = {};
    ri.getNormalX(r, &normal[0]);
    ri.getNormalY(r, &normal[1]);
    ri.getNormalZ(r, &normal[2]);
    EXPECT_NEAR(normal[2], 1.0f, 1e-5f);
    float ray[6] = {};
    EXPECT_EQ(ri.getRay(r, 6, ray), 0);
    EXPECT_EQ((std::vector<float>(ray, ray + 6)), (std::vector<float>{0.5f, 0.25f, 10, 0, 0, -2}));

    const float away[3] = {0, 0, 1};
    EXPECT_EQ(t.pickRay(g, ~0u, origin, away, r, &hit), 0);
    EXPECT_EQ(hit, 0);
    ri.getDistance(r, &distance);
    EXPECT_FLOAT_EQ(distance, 4.5f);
    EXPECT_EQ(t.pickRay(g, 0, origin, down, nullptr, &hit), 0); // no scope bit shared
    EXPECT_EQ(hit, 0);

    // Handles of the wrong kind, a camera outside the tree, no direction.
    EXPECT_EQ(t.pickRay(g, ~0u, origin, down, g, &hit), 0x1000D);
    EXPECT_EQ(t.pickViewport(g, ~0u, 0.5f, 0.5f, camera, mesh, &hit), 0x1000D);
    EXPECT_EQ(t.pickViewport(g, ~0u, 0.5f, 0.5f, camera, r, &hit), 0x1000C);
    const float none[3] = {0, 1e-6f, 0};
    EXPECT_EQ(t.pickRay(g, ~0u, origin, none, r, &hit), 0x1000D);
    EXPECT_EQ(t.pickRay(g, ~0u, origin, down, r, nullptr), 0x1000E);
    release(mesh);
    release(camera);
    release(r);
    release(g);
}

TEST_F(SceneTablesTest, WorldCameraAndBackground)
{
    EngineHandle* w = make(kIidWorld);
    EngineHandle* g = make(kIidGroup);
    const auto& t = world(w);
    EngineHandle* out = reinterpret_cast<EngineHandle*>(1);
    EXPECT_EQ(t.getActiveCamera(w, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(t.setActiveCamera(w, nullptr), 0x1000E);
    EXPECT_EQ(t.setActiveCamera(w, g), 0x1000D);
    t.setBackground(w, g); // not a background: nothing changes, nothing leaves
    t.setBackground(w, nullptr);
    out = reinterpret_cast<EngineHandle*>(1);
    EXPECT_EQ(t.getBackground(w, &out), 0);
    EXPECT_EQ(out, nullptr);
    // The World's table continues the Group's.
    EXPECT_EQ(t.group.addChild(w, g), 0);
    uint32_t count = 0;
    t.group.getChildCount(w, &count);
    EXPECT_EQ(count, 1u);
    release(g);
    release(w);
}

TEST_F(SceneTablesTest, WriterMadeWorldLoadsAndHandsOutItsRoots)
{
    M3gFileWriter writer;
    writer.beginSection(kM3gSchemeZlib);
    M3gGroupFields leaf;
    leaf.node.transformable.object.userId = 3;
    const uint32_t a = writer.addObject(m3gGroupRecord(leaf));
    leaf.node.transformable.object.userId = 4;
    const uint32_t b = writer.addObject(m3gGroupRecord(leaf));
    M3gWorldFields scene;
    scene.group.node.transformable.object.userId = 1;
    scene.group.children = {a, b};
    writer.addObject(m3gWorldRecord(scene));
    M3gGroupFields loose;
    loose.node.transformable.object.userId = 2;
    writer.addObject(m3gGroupRecord(loose));
    const std::vector<uint8_t> file = writer.finish();

    EngineHandle* loader = make(kIidLoader);
    const auto& l = tableOf<IkwLoaderTable>(loader);
    ASSERT_EQ(l.loadBuffer(loader, static_cast<uint32_t>(file.size()), file.data(), nullptr), 0);
    uint32_t roots = 0;
    l.getRootCount(loader, &roots);
    ASSERT_EQ(roots, 2u);
    EngineHandle* root = nullptr;
    ASSERT_EQ(l.getRoot(loader, 0, &root), 0);
    EXPECT_EQ(api().getObjectType(root), kIidWorld);
    uint32_t userId = 0;
    object3D(root).getUserID(root, &userId);
    EXPECT_EQ(userId, 1u);
    uint32_t children = 0;
    world(root).group.getChildCount(root, &children);
    EXPECT_EQ(children, 2u);
    EngineHandle* child = nullptr;
    ASSERT_EQ(world(root).group.getChild(root, 1, &child), 0);
    object3D(child).getUserID(child, &userId);
    EXPECT_EQ(userId, 4u);
    EXPECT_EQ(api().getObjectType(child), kIidGroup);
    EngineHandle* second = nullptr;
    ASSERT_EQ(l.getRoot(loader, 1, &second), 0);
    EXPECT_EQ(api().getObjectType(second), kIidGroup);
    EXPECT_EQ(l.getRoot(loader, 2, &second), 0x10007);
    // The handles outlive the loader.
    release(loader);
    object3D(child).getUserID(child, &userId);
    EXPECT_EQ(userId, 4u);
    release(child);
    release(root);
}

} // namespace
