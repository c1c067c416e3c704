#include "game/shell/AnimCopy.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/runtime/EngineAlloc.h"
#include "engine/core/runtime/EngineContext.h"
#include "framework/util/LoadLedger.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/structure/StructureScaling.h"

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
// reach. With parameter bytes, every track and controller carries a user
// parameter of that many bytes and 6,144 empty ones.
Models writeModels(bool namedSpin, uint32_t depth = 0, bool decoy = false, uint32_t parameterBytes = 0)
{
    M3gFileWriter w;
    // Plain: compressing a deep chain takes longer than walking it.
    w.beginSection(depth ? kM3gSchemeNone : kM3gSchemeZlib);
    std::vector<M3gUserParameter> parameters(parameterBytes ? 6145 : 0);
    for (size_t i = 0; i < parameters.size(); ++i)
        parameters[i] = {int32_t(i), std::vector<uint8_t>(i ? 0 : parameterBytes)};
    const auto controller = [&](uint32_t id) {
        M3gAnimationControllerFields c;
        c.object.userId = int32_t(id);
        c.object.userParameters = parameters;
        return w.addObject(m3gAnimationControllerRecord(c));
    };
    const auto track = [&](uint32_t c, uint32_t property, uint32_t duration) {
        M3gKeyframeSequenceFields s;
        s.duration = duration;
        s.componentCount = 3;
        s.validRangeLast = 1;
        s.keyframes = {{0, {0, 0, 0}}, {100, {1, 2, 3}}};
        M3gAnimationTrackFields t{{}, w.addObject(m3gKeyframeSequenceRecord(s)), c, property};
        t.object.userParameters = parameters;
        return w.addObject(m3gAnimationTrackRecord(t));
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

// A copy's engine visits, tracks copied and index probes, and the tracks a
// clip table reads from the source, grow with the models, never with a
// product of two of their relations: a search of the model per source child,
// ids aimed at one bucket, or a shared texture met once per mesh would.
TEST_F(Copying, CopyingWorksInProportionToTheModels)
{
    const struct {
        int shape;
        uint32_t n;
    } rows[] = {
        {ClipCopyShape::MissingChildren, 2000}, {ClipCopyShape::MissingOnEveryLevel, 2000},
        {ClipCopyShape::Tracks, 2000},          {ClipCopyShape::CollidingIds, 2000},
        {ClipCopyShape::SharedTextureFew, 50},  {ClipCopyShape::SharedTexture, 50},
    };
    for (const auto& row : rows) {
        uint64_t work[2][4] = {};
        for (int k = 0; k < 2; ++k) {
            const std::vector<uint8_t> file = clipCopyModels(row.shape, row.n << k);
            const EngineRef scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
            ASSERT_TRUE(scene) << row.shape;
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
        const bool manyIds = row.shape == ClipCopyShape::Tracks || row.shape == ClipCopyShape::CollidingIds;
        for (int i = 0; i < 4; ++i) {
            if (i == 2 && !manyIds)
                continue;
            EXPECT_LE(work[1][i] * 10, work[0][i] * 23)
                << "shape " << row.shape << ", count " << i << ": " << work[0][i] << " then " << work[1][i];
        }
    }

    // A texture of its own for each target mesh takes the shared texture's
    // tracks, parameters and all, within the copy's budget: 90 x 90 tracks
    // and their four controllers fit, 91 x 91 do not, nor three tracks and
    // two controllers whose parameters the budget meets only with their
    // values, their entries and the controllers' all counted. Past it the
    // copy is refused whole, the target left as it was, and what the engine
    // made stays within the budget. A copy the engine runs out of memory for
    // part way, a megabyte left in the pack, is refused the same way.
    const auto textures = [](uint32_t n) {
        const std::vector<uint8_t> file = clipCopyModels(ClipCopyShape::TargetTextures, n);
        const EngineRef scene = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
        return Models{child(scene, 1), child(scene, 2)};
    };
    const struct {
        Models models;
        size_t tracks; // of the last target mesh's texture
        uint64_t room; // left in the pack that takes the engine's memory; 0: no pack
    } budgets[] = {{textures(90), 90, 0},
                   {textures(91), 0, 0},
                   {writeModels(true, 0, false, 1 << 19), 0, 0},
                   {textures(90), 0, 1 << 20}};
    for (const auto& row : budgets) {
        ASSERT_TRUE(row.models.source && row.models.target);
        std::optional<LoadLedger> pack;
        if (row.room) {
            pack.emplace(row.room);
            pack->takeBlocks();
        }
        const uint64_t before = engineAllocatedBytes();
        const CopyWork copied = assignAnimationIds(row.models.source, row.models.target, 0);
        EXPECT_LE(engineAllocatedBytes() - before, kMaxCopyBytes) << row.tracks;
        EXPECT_LE(copied.tracks, kMaxCopyBytes / kCopyObjectBytes + 1) << "tried past the refusal";
        uint8_t named = 0, direct = 0;
        EXPECT_EQ(findAnimatedObject(row.models.target, named, direct, nullptr), row.tracks > 0);
        if (row.tracks) {
            EXPECT_EQ(controllerIds(meshTexture(childrenOf(row.models.target).back(), 0)).size(), row.tracks);
        }
    }
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
