#include "game/level/MenuEngine.h"

#include <gtest/gtest.h>

#include <utility>

#include <vector>

#include "game/level/GameWorld.h"
#include "game/level/Level.h"
#include "game/shell/ShellIds.h"
#include "game/shell/AnimTable.h"
#include "game/shell/EngineService.h"
#include "game/ui/UiDrawing.h"
#include "game/ui/testing/UiScene.h"
#include "tests/support/GoldenImage.h"
#include "tests/support/TestApp.h"
#include "tools/samplepack/LevelScene.h"

namespace {

class Menus : public ::testing::Test {
protected:
    Menus()
    {
        int32_t error = LevelError::None;
        // No pack here: the level runs without a scene.
        m_world.m_level = new Level(&m_world, error);
        m_world.m_levelIndex = 3;
        m_world.m_menu->close();
    }

    TestApp m_app;
    struct Engine {
        Engine() { installEngineServices(); }
    } m_engine;
    GameWorld m_world;
};

TEST_F(Menus, AScreenOpensTakesKeysAndTapsAndClosesBackToTheLevel)
{
    MenuEngine& menu = *m_world.m_menu;
    m_world.update(30);
    const int32_t levelBase = m_world.m_lastClock;
    menu.setState(0x21ff01e2, 0, 0);
    ASSERT_TRUE(m_world.menuOpen());

    const struct {
        int32_t key;
        int32_t selection;
        int32_t option; // of the selected item
    } keys[] = {
        {WorldKey::Up, 0, 0},    {WorldKey::Down, 1, 0},  {WorldKey::Right, 1, 1}, {WorldKey::Right, 1, 2},
        {WorldKey::Left, 1, 1},  {WorldKey::Left, 1, 0},  {WorldKey::Left, 1, 0},  {WorldKey::Down, 2, 0},
        {WorldKey::Down, 3, 0},  {WorldKey::Down, 3, 0},
    };
    for (const auto& k : keys) {
        m_world.onKeyPressed(k.key);
        EXPECT_EQ(menu.selection(), k.selection) << k.key;
        EXPECT_EQ(menu.getOptionValue(menu.selection()), k.option) << k.key;
    }
    for (int i = 0; i < 9; ++i)
        m_world.onKeyPressed(WorldKey::Right);
    EXPECT_EQ(menu.getOptionValue(3), MenuLimit::OptionValues - 1);
    EXPECT_EQ(menu.getOptionValue(-1), 0);
    EXPECT_EQ(menu.getOptionValue(MenuLimit::Items), 0);

    // Time under the menu is not the level's; select closes the screen and
    // the level goes on from its last step.
    m_world.update(500);
    m_world.onKeyPressed(WorldKey::Select);
    EXPECT_FALSE(m_world.menuOpen());
    m_world.update(30);
    EXPECT_EQ(m_world.getClock(), levelBase + 30);

    // A tap on an open screen confirms it.
    menu.setState(0x21ff0100, 0, 0);
    m_world.onPointerPressed(120, 100);
    EXPECT_FALSE(m_world.menuOpen());
}

TEST_F(Menus, EachThreeDScreenRunsItsOwnClipTableWhileItsSceneIsLoaded)
{
    // The tables alone: the director's scripts would load their own scenes.
    struct DirectorAside {
        GameWorld& world;
        SceneDirector* director = std::exchange(world.m_director, nullptr);
        ~DirectorAside() { world.m_director = director; }
    } aside{m_world};
    for (int i = 0; i < MenuLimit::ClipTables; ++i) {
        ASSERT_TRUE(m_world.m_menuClips[i]) << i;
        EXPECT_EQ(m_world.m_menuClips[i]->m_switchOffAtEnd, i == 0 ? 0 : 1) << i;
    }
    const std::vector<uint8_t> file = sampleLevelScene();
    m_world.m_sceneSlots[6] = getEngineService()->loadBytes(file.data(), uint32_t(file.size()));
    AnimTable& map = *m_world.m_menuClips[1];
    map.addClipsFrom(m_world.m_sceneSlots[6]);
    const int32_t walk = map.findSlot(LevelSceneCharacter::WalkId);
    ASSERT_GE(walk, 0);
    map.play(walk, true, 0);

    const struct {
        uint32_t screen;
        int32_t mapPosition;
    } frames[] = {
        {MenuScreen::LevelMap, 100},
        {MenuScreen::LevelMap, 200},
        {MenuScreen::LockScene, 200}, // slot 7 is empty
        {MenuScreen::Arrest, 200},    // slot 3 is empty
        {MenuScreen::LevelMap, 300},
    };
    for (const auto& f : frames) {
        m_world.m_menu->setState(f.screen, 0, 0);
        m_world.update(100);
        EXPECT_EQ(map.getPosition(walk), f.mapPosition) << std::hex << f.screen;
    }
    EXPECT_EQ(map.m_worldTime, m_world.getClock());
    EXPECT_EQ(m_world.m_menuClips[2]->m_worldTime, 0);
}

// The open screen's name over its four items, the selected one marked and
// each item's option as a bar of six steps, then the progress's lines; once
// closed the level draws. A failed load's screen has no items: its message
// and the error's number, in the pack's words or else the game's own, and
// the arrows change nothing there.
TEST(MenuPaint, AScreenTakesAKeyPaintsItsNameAndClosesBackToTheLevel)
{
    constexpr int kW = 64, kH = 56;
    const struct {
        std::vector<TextRow> rows;
        uint32_t screen;
        int32_t selection;
        std::vector<std::u16string> title;
        std::u16string error;  // empty: the screen has items
    } cases[] = {
        {{{0x7101, "MAP"}}, textRowId(0x7101), 0, {u"MAP"}, u""},
        {{{0x15F, "NO LEVEL"}, {0x1BA, "OOPS"}}, ScreenId::LoadError, 1, {u"NO LEVEL"}, u"OOPS 1"},
        {{}, ScreenId::LoadError, 0, {u"The level could", u"not be loaded."}, u"Error 0"},
    };
    for (const auto& c : cases) {
        UiScene scene(kW, kH, uiPack(c.rows));
        installEngineServices();
        GameWorld world;
        int32_t error = LevelError::None;
        world.m_level = new Level(&world, error);
        world.m_levelIndex = 3;
        MenuEngine& menu = *world.m_menu;
        menu.setState(c.screen, c.selection, 0);
        for (int32_t key : {WorldKey::Down, WorldKey::Right, WorldKey::Right})
            world.onKeyPressed(key);
        menu.m_textLines[2].edit().append(u"TIME 42");
        world.draw();
        const std::vector<uint32_t> actual = scenePixels(scene, kW, kH);

        RefPicture ref(kW, kH, UiColour::Black);
        int y = 2;
        for (const std::u16string& line : c.title) {
            ref.centred(line, 2, 62, y, UiFont::Title);
            y += RefPicture::kLine;
        }
        y += kUiInset;
        if (c.error.empty()) {
            for (int item = 0; item < MenuLimit::Items; ++item, y += 9) {
                if (item == 1)
                    ref.fill(2, y, 62, y + 9, UiColour::Selection);
                ref.frame(4, y + 2, 56, 5, UiColour::Frame);
                // Two steps of six over the 54 columns inside.
                if (item == 1)
                    ref.fill(5, y + 3, 5 + 18, y + 6, UiColour::Bar);
            }
        } else {
            EXPECT_EQ(menu.selection(), c.selection);
            ref.centred(c.error, 2, 62, y, UiFont::Body);
            y += RefPicture::kLine;
        }
        ref.centred(u"TIME 42", 2, 62, y, UiFont::Body);
        EXPECT_EQ(actual, ref.px) << std::hex << c.screen;
        if (!c.error.empty())
            continue;
        EXPECT_TRUE(matchesGolden("game/level/testdata/menu_screen.png", actual.data(), kW, kH));

        world.onKeyPressed(WorldKey::Select);
        EXPECT_FALSE(world.menuOpen());
        fillRect(0, 0, kW, kH, UiColour::Page);
        world.draw();
        const std::vector<uint32_t> level = scenePixels(scene, kW, kH);
        EXPECT_EQ(std::count(level.begin(), level.end(), 0xFF000000u), kW * kH) << "the level's backdrop alone";
    }
}

} // namespace
