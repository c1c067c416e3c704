#include "game/level/SceneAssets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/core/interface/InterfaceIds.h"
#include "game/level/GameUtils.h"
#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/level/MenuEngine.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "tests/support/TestApp.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"

namespace {

constexpr uint16_t kBlank = 0x1111;

// A 2 x 2 mark whose first pixel is transparent, stamped on a 64-wide list.
TEST(ListMarks, FiveMarksARowThenTheLowerRowEachPixelClippedToTheImage)
{
    constexpr int32_t w = 64, h = 80, guard = 256;
    const uint16_t mark[4] = {0xF800, 1, 2, 3};
    const auto stamp = [&](int32_t count, int32_t height) {
        std::vector<uint16_t> list(size_t(w * h + guard), kBlank);
        stampListMarks(list.data(), w, height, mark, 2, 2, count);
        return list;
    };
    const std::vector<uint16_t> blank(size_t(w * h + guard), kBlank);
    EXPECT_EQ(stamp(0, h), blank);
    EXPECT_EQ(stamp(-3, h), blank);

    const std::vector<uint16_t> six = stamp(6, h);
    const struct {
        const char* what;
        int32_t index;
        uint16_t pixel;
    } pixels[] = {
        // Mark 0 at offset -90: (9 / 2) + row 76 of the half-width rows.
        {"mark 0, transparent corner", 2436, kBlank},
        {"mark 0, top right", 2437, 1},
        {"mark 0, bottom left", 2468, 2},
        {"mark 0, bottom right", 2469, 3},
        // Mark 4 at offset -2: (97 / 2) + 2432.
        {"mark 4, top right", 2481, 1},
        // Mark 5 at offset 20 opens the lower row: 10 + row 98.
        {"mark 5, top right", 3147, 1},
        {"mark 5, bottom left", 3178, 2},
        {"mark 5, bottom right", 3179, 3},
        {"no mark 6", 3158, kBlank},
    };
    for (const auto& p : pixels)
        EXPECT_EQ(six[size_t(p.index)], p.pixel) << p.what;
    size_t painted = 0;
    for (const uint16_t p : six)
        painted += p != kBlank;
    EXPECT_EQ(painted, 6u * 3u);

    // Past ten the marks run on along the lower row and beyond, each pixel
    // clipped to the image: against a plain painter of every mark.
    const auto reference = [&](int64_t count, int32_t height) {
        std::vector<uint16_t> list(size_t(w * h + guard), kBlank);
        for (int64_t i = 0; i < count; ++i) {
            const int64_t o = -90 + 22 * i;
            for (int64_t r = 0; r < 2; ++r)
                for (int64_t c = 0; c < 2; ++c) {
                    const int64_t at = (o < 20 ? (o + 99) / 2 + (r + 76) * w / 2 : o / 2 + (r + 98) * w / 2) + c;
                    if (mark[r * 2 + c] != mark[0] && at >= 0 && at < int64_t(w) * height)
                        list[size_t(at)] = mark[r * 2 + c];
                }
        }
        return list;
    };
    for (const int32_t count : {11, 40, 1000})
        EXPECT_EQ(stamp(count, h), reference(count, h)) << count;
    // A count from a save file may be anything: the marks past the image end.
    EXPECT_EQ(stamp(INT32_MAX, h), reference(1000, h));
    const std::vector<uint16_t> shallow = stamp(1000, 49);
    EXPECT_EQ(shallow, reference(1000, 49));
    for (size_t i = size_t(w * 49); i < shallow.size(); ++i)
        ASSERT_EQ(shallow[i], kBlank) << i;
}

class Models : public ::testing::Test {
protected:
    Models()
    {
        // Slot 0: model 42 placed at (5, 5, 5), a clip of its own, a named
        // and an unnamed part.
        M3gFileWriter w;
        w.beginSection(kM3gSchemeZlib);
        M3gAnimationControllerFields c;
        c.object.userId = kClip;
        M3gKeyframeSequenceFields s;
        s.componentCount = 3;
        s.keyframes = {{0, {0, 0, 0}}};
        const uint32_t track = w.addObject(m3gAnimationTrackRecord(
            {{}, w.addObject(m3gKeyframeSequenceRecord(s)), w.addObject(m3gAnimationControllerRecord(c)), 275}));
        const auto group = [&](int32_t id, std::vector<uint32_t> children) {
            M3gGroupFields g;
            g.node.transformable.object.userId = id;
            g.children = std::move(children);
            return g;
        };
        M3gGroupFields model = group(42, {w.addObject(m3gGroupRecord(group(7, {}))), w.addObject(m3gGroupRecord(group(0, {})))});
        M3gComponentTransform away;
        away.translation = {5, 5, 5};
        model.node.transformable.components = away;
        model.node.transformable.object.animationTracks = {track};
        M3gWorldFields world;
        world.group.children = {w.addObject(m3gGroupRecord(model))};
        w.addObject(m3gWorldRecord(world));
        const std::vector<uint8_t> file = w.finish();
        m_world.m_sceneSlots[0] = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
        // A level in play: its clip table is the one a detach refreshes.
        int32_t error = LevelError::None;
        m_world.m_level = new Level(&m_world, error);
        m_world.m_menu->close();
        m_world.m_world = createEngineObject(kIidWorld);
        m_world.m_levelClips = new AnimTable(&m_world);
        m_world.m_levelClips->bind(&m_world.m_world, false);
    }

    static bool renders(const EngineRef& node)
    {
        uint8_t on = 0;
        node.table<IkwNodeTable>().isRenderingEnabled(node.get(), &on);
        return on != 0;
    }
    static EngineRef childAt(const EngineRef& group, uint32_t index)
    {
        EngineRef child;
        group.table<IkwGroupTable>().getChild(group.get(), index, child.out());
        return child;
    }

    static constexpr int32_t kClip = 0x77;
    TestApp m_app;
    struct Engine {
        Engine() { installEngineServices(); }
    } m_engine;
    GameWorld m_world;
};

TEST_F(Models, ACopyShowsOnlyItsUnnamedPartsAndSitsAtItsParentsOrigin)
{
    ASSERT_TRUE(m_world.m_sceneSlots[0] && m_world.m_world);
    const EngineRef parent = m_world.m_world.as(kIidGroup);
    EngineRef copy;
    ASSERT_TRUE(instantiateModel(&m_world, copy, 42, parent, true, false));
    ASSERT_TRUE(copy);
    EXPECT_FALSE(renders(childAt(copy, 0)));
    EXPECT_TRUE(renders(childAt(copy, 1)));
    EXPECT_TRUE(renders(copy));
    EngineRef under;
    copy.table<IkwNodeTable>().getParent(copy.get(), under.out());
    EXPECT_EQ(under.get() ? 1 : 0, 1);
    float at[3] = {9, 9, 9};
    copy.table<IkwTransformableTable>().getTranslation(copy.get(), at);
    EXPECT_EQ(at[0] + at[1] + at[2], 0.0f);
    // The model in its scene stays as it was.
    EngineRef original;
    m_world.m_sceneSlots[0].table<IkwObject3DTable>().find(m_world.m_sceneSlots[0].get(), 42, original.out());
    EXPECT_TRUE(renders(childAt(original.as(kIidGroup), 0)));
    // The copy's clip joined the level's table.
    EXPECT_GE(m_world.m_levelClips->findSlot(kClip), 0);

    // An id no scene has gives a new empty group, hung there too.
    EngineRef made;
    ASSERT_TRUE(instantiateModel(&m_world, made, 99, parent, false, false));
    uint32_t children = 0;
    parent.table<IkwGroupTable>().getChildCount(parent.get(), &children);
    EXPECT_EQ(children, 2u);
    made.table<IkwGroupTable>().getChildCount(made.get(), &children);
    EXPECT_EQ(children, 0u);

    // Taken out again, the clip goes from the table with it.
    m_world.m_utils->detachNode(copy, parent, true);
    EXPECT_FALSE(copy);
    EXPECT_EQ(m_world.m_levelClips->findSlot(kClip), -1);
}

TEST_F(Models, EachThiefWearsTheOutfitsPalettesAndTheOutfitScreenShowsItsOptions)
{
    MenuEngine& menu = *m_world.m_menu;
    const struct {
        const char* what;
        int32_t character;
        int32_t outfit[3];
        bool choosing; // options 1-3 are 2, 0, 5
        uint32_t palettes[3];
    } cases[] = {
        {"boy, the outfit at start", 0, {6, 4, 6}, false, {0x3000261, 0x300018d, 0x3000261}},
        {"girl: part 1 from the third, part 2 from the second", 1, {6, 4, 6}, false, {0x3000166, 0x3000284, 0x300015b}},
        {"boy on the outfit screen", 0, {6, 4, 6}, true, {0x300025c, 0x300020e, 0x30001d9}},
        {"girl on the outfit screen", 1, {6, 4, 6}, true, {0x3000220, 0x3000209, 0x3000146}},
        {"first entries", 0, {0, 0, 0}, false, {0x30001c9, 0x300020e, 0x30001c9}},
    };
    for (const auto& c : cases) {
        std::copy(c.outfit, c.outfit + 3, m_world.m_outfit);
        menu.close();
        if (c.choosing) {
            const int32_t options[3] = {2, 0, 5};
            for (int32_t item = 1; item <= 3; ++item) {
                menu.setState(SceneAssetId::OutfitScreen, item, 0);
                for (int i = 0; i < 6; ++i)
                    menu.onKeyPressed(WorldKey::Left);
                for (int i = 0; i < options[item - 1]; ++i)
                    menu.onKeyPressed(WorldKey::Right);
            }
        }
        uint32_t palettes[3] = {};
        ASSERT_TRUE(outfitPaletteIds(&m_world, c.character, palettes)) << c.what;
        EXPECT_EQ(std::vector<uint32_t>(palettes, palettes + 3), std::vector<uint32_t>(c.palettes, c.palettes + 3))
            << c.what;
    }
    // The third character keeps its texture's own palette.
    uint32_t palettes[3] = {};
    EXPECT_FALSE(outfitPaletteIds(&m_world, 2, palettes));
}

} // namespace
