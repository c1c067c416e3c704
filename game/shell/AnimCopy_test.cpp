#include "game/shell/AnimCopy.h"

#include <gtest/gtest.h>

#include <unordered_map>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/runtime/EngineContext.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

constexpr uint32_t kWalk = 0x3c187dd5;
constexpr uint32_t kSpin = 0x2f9b1eb9;
constexpr uint32_t kProp = 5;
constexpr uint32_t kCupboard = 6;
constexpr uint32_t kCup = 7;
constexpr uint32_t kTranslation = 275;
constexpr uint32_t kScale = 270;

struct Models {
    EngineRef source;
    EngineRef target;
};

// Deeper than any thread's stack could follow by recursion.
constexpr uint32_t kDeep = 100000;

// Source: the boy, moved and scaled by one controller "walk", and a prop
// under "spin" (or under an unnamed controller). Target: the girl and,
// one level down, the prop; the target's models carry no tracks. With a
// depth, both props sit at the bottom of a chain of that many groups. With a
// decoy, a group before the shelf is animated by a controller that carries
// the prop's id, so a search of the target for that id meets it first. A
// cupboard (6) holds a cup (7) in the source; the target's cupboard is
// empty and its cup stands beside it, where the cupboard's search must not
// reach.
Models writeModels(bool namedSpin, uint32_t depth = 0, bool decoy = false)
{
    M3gFileWriter w;
    // Plain: compressing a deep chain takes longer than walking it.
    w.beginSection(depth ? kM3gSchemeNone : kM3gSchemeZlib);
    const auto controller = [&](uint32_t id) {
        M3gAnimationControllerFields c;
        c.object.userId = int32_t(id);
        return w.addObject(m3gAnimationControllerRecord(c));
    };
    const auto track = [&](uint32_t c, uint32_t property, uint32_t duration) {
        M3gKeyframeSequenceFields s;
        s.duration = duration;
        s.componentCount = 3;
        s.validRangeLast = 1;
        s.keyframes = {{0, {0, 0, 0}}, {100, {1, 2, 3}}};
        return w.addObject(m3gAnimationTrackRecord({{}, w.addObject(m3gKeyframeSequenceRecord(s)), c, property}));
    };
    const auto group = [&](uint32_t id, std::vector<uint32_t> tracks, std::vector<uint32_t> children) {
        M3gGroupFields g;
        g.node.transformable.object.userId = int32_t(id);
        g.node.transformable.object.animationTracks = std::move(tracks);
        g.children = std::move(children);
        return w.addObject(m3gGroupRecord(g));
    };
    const auto chain = [&](uint32_t node) {
        for (uint32_t i = 0; i < depth; ++i)
            node = group(1000 + i, {}, {node});
        return node;
    };
    const uint32_t walk = controller(kWalk);
    const uint32_t spin = controller(namedSpin ? kSpin : 0);
    const uint32_t boy = group(ModelId::Boy, {track(walk, kTranslation, 400), track(walk, kScale, 900)}, {});
    const uint32_t prop = chain(group(kProp, {track(spin, kTranslation, 600)}, {}));
    const uint32_t cupboard = group(kCupboard, {}, {group(kCup, {track(spin, kScale, 300)}, {})});
    const uint32_t source = group(1, {}, {boy, prop, cupboard});
    const uint32_t girl = group(ModelId::Girl, {}, {});
    const uint32_t shelf = group(3, {}, {chain(group(kProp, {}, {}))});
    std::vector<uint32_t> parts = {girl, shelf, group(kCupboard, {}, {}), group(kCup, {}, {})};
    if (decoy)
        parts.insert(parts.begin() + 1, group(4, {track(controller(kProp), kScale, 100)}, {}));
    const uint32_t target = group(2, {}, parts);
    M3gWorldFields world;
    world.group.children = {source, target};
    w.addObject(m3gWorldRecord(world));
    const std::vector<uint8_t> file = w.finish();
    EngineRef scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
    const auto find = [&](uint32_t id) {
        EngineRef found;
        if (scene)
            scene.table<IkwObject3DTable>().find(scene.get(), id, found.out());
        return found.as(kIidGroup);
    };
    return {find(1), find(2)};
}

EngineRef child(const EngineRef& root, uint32_t id)
{
    EngineRef found;
    root.table<IkwObject3DTable>().find(root.get(), id, found.out());
    return found;
}

// The user ids of the object's track controllers, in track order.
std::vector<uint32_t> controllerIds(const EngineRef& object)
{
    std::vector<uint32_t> ids;
    uint32_t count = 0;
    object.table<IkwObject3DTable>().getAnimationTrackCount(object.get(), &count);
    for (uint32_t i = 0; i < count; ++i) {
        EngineRef track;
        EngineRef controller;
        object.table<IkwObject3DTable>().getAnimationTrack(object.get(), i, track.out());
        track.table<IkwAnimationTrackTable>().getController(track.get(), controller.out());
        uint32_t id = 0;
        controller.table<IkwObject3DTable>().getUserID(controller.get(), &id);
        ids.push_back(id);
    }
    return ids;
}

class Copying : public ::testing::Test {
protected:
    Copying() { installEngineServices(); }
    TestApp m_app;
};

TEST_F(Copying, CopiesKeepTheClipIdsPlusTheVariantOffsetAndTheGirlTakesTheBoysClips)
{
    // Offset 2: a controller of the prop's id met before the prop does not
    // keep the prop from its copies, since only nodes take tracks.
    for (const uint32_t offset : {0u, 1u, 2u, 3u}) {
        Models m = writeModels(true, offset == 3 ? kDeep : 0, offset == 2);
        ASSERT_TRUE(m.source && m.target);
        assignAnimationIds(m.source, m.target, offset);
        const EngineRef girl = child(m.target, ModelId::Girl);
        const EngineRef prop = offset == 2 ? std::move(childrenOf(child(m.target, 3)).at(0)) : child(m.target, kProp);
        EXPECT_EQ(!child(m.target, kProp).as(kIidGroup), offset == 2) << "the search meets the decoy first";
        EXPECT_EQ(controllerIds(girl), (std::vector<uint32_t>{kWalk + offset, kWalk + offset})) << offset;
        EXPECT_EQ(controllerIds(prop), (std::vector<uint32_t>{kSpin + offset})) << offset;
        EXPECT_EQ(controllerIds(child(m.target, kCup)), std::vector<uint32_t>{}) << "outside the cupboard";
        // The source keeps its own controllers.
        EXPECT_EQ(controllerIds(child(m.source, ModelId::Boy)), (std::vector<uint32_t>{kWalk, kWalk})) << offset;

        // The two copied tracks share one new controller: renaming it
        // through the first track renames the second's.
        EngineRef track;
        EngineRef shared;
        girl.table<IkwObject3DTable>().getAnimationTrack(girl.get(), 0, track.out());
        track.table<IkwAnimationTrackTable>().getController(track.get(), shared.out());
        shared.table<IkwObject3DTable>().setUserID(shared.get(), 77);
        EXPECT_EQ(controllerIds(girl), (std::vector<uint32_t>{77, 77})) << offset;
        shared.table<IkwObject3DTable>().setUserID(shared.get(), kWalk + offset);

        // The clip table finds the copies under their ids, with the longest
        // of the shared tracks as the clip's length.
        AnimTable table(nullptr);
        table.bind(&m.target, true);
        const int32_t walk = table.findSlot(kWalk + offset);
        EXPECT_GE(walk, 0) << offset;
        EXPECT_EQ(table.getLength(walk), 900) << offset;
        EXPECT_EQ(table.getLength(table.findSlot(kSpin + offset)), 600) << offset;
    }
}

// The models each row grows with n.
enum class Shape {
    LackingChildren,  // a clip group of children the target lacks onto a deep chain
    LackingChain,     // a chain onto it, a child it lacks on every level
    Tracks,           // tracks under controllers of their own
    CollidingIds,     // the same, ids all in one bucket of the standard library's table
    SharedTexture,    // skinned meshes sharing one texture of n tracks, on both sides
    SharedTextureFew, // the same with four tracks
    TargetTextures,   // the source's shared texture against a texture of its own for each target mesh
};

// The source (id 1) and the target (id 2) under one World.
std::vector<uint8_t> writeCopyModels(Shape shape, uint32_t n)
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeNone);
    const auto group = [&](uint32_t id, std::vector<uint32_t> children, std::vector<uint32_t> tracks = {}) {
        M3gGroupFields g;
        g.node.transformable.object.userId = int32_t(id);
        g.node.transformable.object.animationTracks = std::move(tracks);
        g.children = std::move(children);
        return w.addObject(m3gGroupRecord(g));
    };
    M3gKeyframeSequenceFields s;
    s.duration = 100;
    s.componentCount = 3;
    s.validRangeLast = 0;
    s.keyframes = {{0, {0, 0, 0}}};
    const uint32_t sequence = w.addObject(m3gKeyframeSequenceRecord(s));
    // Ids that are multiples of the bucket count the standard library's
    // table settles on for n keys all hash to its first bucket.
    std::unordered_map<uint32_t, int> probe;
    for (uint32_t i = 0; i < n; ++i)
        probe.emplace(i, 0);
    const uint32_t buckets = uint32_t(probe.bucket_count());
    const auto tracks = [&](uint32_t count) {
        std::vector<uint32_t> made;
        for (uint32_t i = 0; i < count; ++i) {
            M3gAnimationControllerFields c;
            // The meshes' rows share four clips among their tracks.
            const uint32_t clip = shape == Shape::Tracks ? i : i % 4;
            c.object.userId = int32_t(shape == Shape::CollidingIds ? (i + 1) * buckets : 0x100 + clip);
            made.push_back(w.addObject(
                m3gAnimationTrackRecord({{}, sequence, w.addObject(m3gAnimationControllerRecord(c)), kTranslation})));
        }
        return made;
    };
    uint32_t source = 0, target = 0;
    switch (shape) {
    case Shape::LackingChildren:
    case Shape::LackingChain: {
        const bool chain = shape == Shape::LackingChain;
        target = group(1000, {});
        source = chain ? group(1000, {group(9000, {})}) : 0;
        std::vector<uint32_t> lacking;
        for (uint32_t i = 1; i < n; ++i) {
            target = group(1000 + i, {target});
            if (chain)
                source = group(1000 + i, {source, group(9000 + i, {})});
            else
                lacking.push_back(group(5000 + i, {}));
        }
        source = group(1, chain ? std::vector<uint32_t>{source} : lacking);
        target = group(2, {target});
        break;
    }
    case Shape::Tracks:
    case Shape::CollidingIds:
        source = group(1, {}, tracks(n));
        target = group(2, {});
        break;
    default: {
        M3gVertexArrayFields positions;
        positions.values = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        M3gVertexBufferFields b;
        b.positions = w.addObject(m3gVertexArrayRecord(positions));
        const uint32_t vertices = w.addObject(m3gVertexBufferRecord(b));
        M3gTriangleStripFields strip;
        strip.stripLengths = {3};
        const uint32_t indices = w.addObject(m3gTriangleStripRecord(strip));
        M3gImage2DFields image;
        image.width = image.height = 1;
        image.pixels.assign(3, 0x80);
        const uint32_t picture = w.addObject(m3gImage2DRecord(image));
        const auto textured = [&](std::vector<uint32_t> trackList) {
            M3gTexture2DFields t;
            t.image = picture;
            t.transformable.object.animationTracks = std::move(trackList);
            M3gAppearanceFields a;
            a.textures = {w.addObject(m3gTexture2DRecord(t))};
            return w.addObject(m3gAppearanceRecord(a));
        };
        const auto meshes = [&](uint32_t id, uint32_t shared) {
            std::vector<uint32_t> made;
            for (uint32_t i = 0; i < n; ++i) {
                M3gSkinnedMeshFields m;
                m.mesh.node.transformable.object.userId = int32_t(100 + i);
                m.mesh.vertexBuffer = vertices;
                m.mesh.submeshes = {{indices, shared ? shared : textured({})}};
                m.skeleton = group(0, {});
                made.push_back(w.addObject(m3gSkinnedMeshRecord(m)));
            }
            return group(id, made);
        };
        source = meshes(1, textured(tracks(shape == Shape::SharedTextureFew ? 4 : n)));
        target = meshes(2, shape == Shape::TargetTextures ? 0 : textured({}));
        break;
    }
    }
    M3gWorldFields world;
    world.group.children = {source, target};
    w.addObject(m3gWorldRecord(world));
    return w.finish();
}

// A copy's engine visits, tracks copied and index probes, and the tracks a
// clip table reads from the source, grow with the models, never with a
// product of two of their relations: a search of the model per source child,
// ids aimed at one bucket, or a shared texture met once per mesh would.
TEST_F(Copying, CopyingWorksInProportionToTheModels)
{
    const struct {
        const char* what;
        Shape shape;
        uint32_t n;
    } rows[] = {
        {"a clip group onto a deep chain", Shape::LackingChildren, 2000},
        {"a chain onto it, a child it lacks on every level", Shape::LackingChain, 2000},
        {"tracks", Shape::Tracks, 2000},
        {"tracks whose ids collide", Shape::CollidingIds, 2000},
        {"meshes sharing a texture of four tracks", Shape::SharedTextureFew, 50},
        {"meshes sharing a texture, with its tracks", Shape::SharedTexture, 50},
    };
    for (const auto& row : rows) {
        uint64_t work[2][4] = {};
        for (int k = 0; k < 2; ++k) {
            const std::vector<uint8_t> file = writeCopyModels(row.shape, row.n << k);
            const EngineRef scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
            ASSERT_TRUE(scene) << row.what;
            const EngineRef source = child(scene, 1);
            const uint64_t before = engineContext()->visits;
            const CopyWork copied = assignAnimationIds(source, child(scene, 2), 0);
            AnimTable table(nullptr);
            work[k][0] = engineContext()->visits - before;
            work[k][1] = copied.tracks;
            work[k][2] = copied.probes;
            work[k][3] = table.collectClips(source.get());
        }
        // Four clips' probes follow where the index's seed puts them: the
        // rows of many ids hold the probes.
        const bool manyIds = row.shape == Shape::Tracks || row.shape == Shape::CollidingIds;
        for (int i = 0; i < 4; ++i) {
            if (i == 2 && !manyIds)
                continue;
            EXPECT_LE(work[1][i] * 10, work[0][i] * 23)
                << row.what << ", count " << i << ": " << work[0][i] << " then " << work[1][i];
        }
    }

    // A texture of its own for each target mesh takes the shared texture's
    // tracks, up to the copy's budget.
    const std::vector<uint8_t> file = writeCopyModels(Shape::TargetTextures, 130);
    const EngineRef scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
    ASSERT_TRUE(scene);
    EXPECT_EQ(assignAnimationIds(child(scene, 1), child(scene, 2), 0).tracks, kMaxCopiedTracks);
    const EngineRef first = std::move(childrenOf(child(scene, 2)).at(0));
    EXPECT_EQ(controllerIds(meshTexture(first, 0)).size(), 130u);
}

TEST_F(Copying, FindsTheFirstAnimatedObjectAndMeasuresItsTracks)
{
    Models named = writeModels(true);
    Models unnamed = writeModels(false);
    Models deep = writeModels(true, kDeep);
    const struct {
        const char* what;
        EngineRef node;
        bool found;
        uint8_t named, direct;
        int32_t longest;
    } cases[] = {
        // The scan stops at the first track under a named controller.
        {"boy: the scale track after the first is not measured", child(named.source, ModelId::Boy), true, 1, 1, 400},
        {"model: its first animated child", named.source.share(), true, 1, 1, 400},
        {"prop, unnamed: every track measured", child(unnamed.source, kProp), true, 0, 1, 600},
        {"target before copying", named.target.share(), false, 0, 0, 0},
        {"prop at the bottom of a deep chain", child(deep.source, 1000 + kDeep - 1), true, 1, 1, 600},
    };
    for (const auto& c : cases) {
        uint8_t isNamed = 0, direct = 0;
        int32_t longest = 0;
        EXPECT_EQ(findAnimatedObject(c.node, isNamed, direct, &longest), c.found) << c.what;
        EXPECT_EQ(isNamed, c.named) << c.what;
        EXPECT_EQ(direct, c.direct) << c.what;
        EXPECT_EQ(longest, c.longest) << c.what;
    }
}

} // namespace
