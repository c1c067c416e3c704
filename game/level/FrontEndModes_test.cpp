// The whole flow through the real program on the sample pack: start-up
// pages, the main menu's loading and launch pages, the running level, a
// pause and resume, the front end's error mode and the quit; the save files
// the first tick writes, the page a damaged save brings in, and the error
// mode a save that cannot be written brings in.
#include "game/ui/FrontEndModes.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "framework/resources/ResourceManager.h"
#include "framework/services/AppStateFlags.h"
#include "game/level/GameLaunchPage.h"
#include "game/level/GameRunFixture.h"
#include "game/level/GameWorld.h"
#include "game/level/InGameMode.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/SaveFiles.h"
#include "game/ui/UiPage.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/PlatformEvents.h"
#include "platform/wince/WinMain.h"
#include "tests/support/TestApp.h"

namespace {

struct Stage {
    int32_t mode;
    int32_t page;
    bool operator==(const Stage&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Stage& s)
{
    return out << '(' << s.mode << ',' << s.page << ')';
}

class FlowRun : public GameRunFixture {
protected:
    std::string path(const char* name) const { return m_folder + "/" + name; }
    std::vector<uint8_t> readFile(const char* name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// CRC-32 as the save files keep it, bit by bit: polynomial 0x04C11DB7 most
// significant bit first, all ones in, complemented out.
uint32_t referenceCrc(const uint8_t* bytes, size_t size)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= uint32_t(bytes[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000 ? crc << 1 ^ 0x04C11DB7 : crc << 1;
    }
    return ~crc;
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16
           | uint32_t(bytes[at + 3]) << 24;
}

Stage currentStage()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    if (!flow || !flow->activeMode())
        return {0, 0};
    const ModeStack* mode = dynamic_cast<const ModeStack*>(flow->activeMode());
    return {flow->activeId(), mode ? mode->activeId() : 0};
}

template <class Page>
const Page* activePage()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    const ModeStack* mode = flow ? dynamic_cast<const ModeStack*>(flow->activeMode()) : nullptr;
    return mode ? dynamic_cast<const Page*>(mode->activeMode()) : nullptr;
}

GameWorld* runningWorld()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    const MainMenuMode* menu = flow ? dynamic_cast<const MainMenuMode*>(flow->findMode(FlowModeId::MainMenu)) : nullptr;
    GameLaunchPage* launch = menu ? dynamic_cast<GameLaunchPage*>(menu->launchPage()) : nullptr;
    return launch && launch->inGame() ? launch->inGame()->world() : nullptr;
}

void press(int scancode)
{
    hostTestPushKey(scancode, true);
    hostTestPushKey(scancode, false);
}

TEST_F(FlowRun, TheFirstTickWritesTheThreeSavesAndAsksForALanguage)
{
    std::vector<Stage> stages;
    std::vector<size_t> sizes;
    hostTestSetPumpHook([&] {
        if (hostTestTimerMessageCount() != 1 || !sizes.empty())
            return;
        stages.push_back(currentStage());
        for (const char* name : {"hs.dat", "prefs.dat", "savegame.dat"})
            sizes.push_back(readFile(name).size());
    });
    hostTestCloseAfterTicks(2);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(stages, std::vector<Stage>{(Stage{FlowModeId::Startup, 1})});
    EXPECT_EQ(sizes, (std::vector<size_t>{96, 16, 9876}));
}

TEST_F(FlowRun, PagesFollowInOrderFromStartUpToTheRunningLevelAndOut)
{
    // Past Damaged the saved game cannot be read when the world starts.
    enum class Save { Intact, TempLinked, TempDangling, TempFolder, Damaged, Unwritable, Unreadable, ReadLater };
    struct Case {
        Save save;
        std::vector<Stage> stages;
    };
    const Case cases[] = {
        {Save::Intact, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // A second name of the saved game, or a link to nothing, in the temp
        // file's place: no save writes through it, and every save lands.
        {Save::TempLinked, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        {Save::TempDangling, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // A folder in the temp file's place fails every save: told at start.
        {Save::TempFolder, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {1, 13}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // Read at start, unreadable when the world reads it again: its page
        // says so, and the fresh progress is not saved over it.
        {Save::ReadLater, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // A damaged save is told once, between the splash and the menu.
        {Save::Damaged, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {1, 11}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // A folder in the file's place is told as an unreadable file, and
        // the game's first save fails: the front end's error page, then on.
        {Save::Unwritable, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {1, 12}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        {Save::Unreadable, {{1, 1}, {1, 2}, {1, 7}, {1, 8}, {1, 10}, {1, 12}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
    };
    for (const Case& c : cases) {
        if (c.save == Save::Damaged) {
            std::vector<uint8_t> damaged(9876, 0);
            damaged[4000] = 1;
            std::ofstream(path("savegame.dat"), std::ios::binary)
                .write(reinterpret_cast<const char*>(damaged.data()), std::streamsize(damaged.size()));
        }
        // A folder in the file's place: every write of the saved game fails.
        if (c.save == Save::Unwritable) {
            std::remove(path("savegame.dat").c_str());
            ASSERT_EQ(mkdir(path("savegame.dat").c_str(), 0700), 0);
        }
        ASSERT_TRUE(c.save != Save::Unreadable || mkfifo(path("savegame.dat").c_str(), 0600) == 0);
        ASSERT_TRUE(c.save != Save::TempFolder || mkdir(path("temp.dat").c_str(), 0700) == 0);
        // The start repairs the missing scores before it reads the saved game.
        ASSERT_TRUE(c.save != Save::TempLinked || (std::remove(path("hs.dat").c_str()) == 0 &&
                                                   link(path("savegame.dat").c_str(), path("temp.dat").c_str()) == 0));
        ASSERT_TRUE(c.save != Save::TempDangling || symlink("nowhere", path("temp.dat").c_str()) == 0);
        std::vector<Stage> seen;
        int32_t clockAtPause = -1;
        int32_t clockAfterResume = -1;
        uint32_t language = 0;
        int phase = 0;
        int languageStep = 0;
        uint32_t lastTick = 0;
        hostTestSetPumpHook([&] {
            const uint32_t tick = hostTestTimerMessageCount();
            if (tick == lastTick)
                return;
            lastTick = tick;
            const Stage stage = currentStage();
            if (stage.mode == 0)
                return;
            const bool entered = seen.empty() || !(seen.back() == stage);
            if (entered)
                seen.push_back(stage);
            // The language page lists the pack's language names.
            if (entered && stage == Stage{1, 1}) {
                const ChoicePage* page = activePage<ChoicePage>();
                ASSERT_NE(page, nullptr);
                ASSERT_EQ(page->itemCount(), 2u);
                EXPECT_EQ(std::u16string(page->itemText(0)), u"English");
                EXPECT_EQ(std::u16string(page->itemText(1)), u"Deutsch");
            }
            // Deutsch, through a pause: the key that leaves it only leaves it.
            if (stage == Stage{1, 1} && languageStep++ == 0) {
                hostTestPost(kAppMessage, 0, 0);
                press(SDL_SCANCODE_DOWN);
            } else if (stage == Stage{1, 1} && languageStep == 2) {
                press(SDL_SCANCODE_DOWN);
                press(SDL_SCANCODE_RETURN);
            }
            if (entered && stage == Stage{1, 2})
                language = getResourceManager()->currentLanguage();
            // Answer the other questions once each, as a player would.
            if (entered && c.save == Save::ReadLater && stage == Stage{3, 9}) {
                std::remove(path("savegame.dat").c_str());
                ASSERT_EQ(mkfifo(path("savegame.dat").c_str(), 0600), 0);
            }
            if (entered && stage.mode == FlowModeId::FrontEnd) {
                const MessagePage* page = activePage<MessagePage>();
                ASSERT_NE(page, nullptr);
                EXPECT_EQ(page->textId(), c.save > Save::Damaged ? FrontEndText::UnreadableText : FrontEndText::ErrorText);
            }
            if (entered && (stage == Stage{1, 2} || stage == Stage{1, 11} || stage == Stage{1, 12} || stage == Stage{1, 13}
                            || stage.mode == FlowModeId::FrontEnd))
                press(SDL_SCANCODE_RETURN);
            GameWorld* world = runningWorld();
            if (stage != Stage{3, 10} || !world || world->isLoading())
                return;
            switch (phase++) {
            case 0:
                // Away and back in one pump: the window comes back to the
                // pause screen, which a key leaves.
                clockAtPause = world->getClock();
                hostTestPushFocus(false);
                hostTestPushFocus(true);
                break;
            case 1:
                press(SDL_SCANCODE_LCTRL);  // any key, one the phone has not too
                break;
            case 3:
                clockAfterResume = world->getClock();
                // A failed save write brings in the front end's error page.
                if (c.save < Save::Unwritable)
                    getAppStateFlags()->m_flags[AppFlag::SaveFailed] = 1;
                press(SDL_SCANCODE_LEFT);
                break;
            case 4:
                hostTestPushKey(SDL_SCANCODE_F4, true);
                break;
            default:
                break;
            }
        });
        hostTestCloseAfterTicks(400);
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(seen, c.stages) << "save " << int(c.save);
        EXPECT_EQ(language, 0x03007F03u) << "save " << int(c.save);
        EXPECT_GT(clockAfterResume, clockAtPause);
        EXPECT_EQ(readFile("prefs.dat").at(8), 0) << "Enter answered No to sound";
        if (c.save == Save::Unwritable) {
            EXPECT_EQ(rmdir(path("savegame.dat").c_str()), 0);
        } else if (c.save >= Save::Unreadable) {
            EXPECT_TRUE(std::filesystem::is_fifo(path("savegame.dat")));
            EXPECT_EQ(std::remove(path("savegame.dat").c_str()), 0);
        } else {
            EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(path("temp.dat"))), c.save == Save::TempFolder);
            // Rewritten whole: a true CRC over the rest, and the fresh game's block.
            const std::vector<uint8_t> saved = readFile("savegame.dat");
            ASSERT_EQ(saved.size(), 9876u);
            EXPECT_EQ(le32(saved, 0), referenceCrc(saved.data() + 4, saved.size() - 4));
            EXPECT_EQ(le32(saved, 8), 41u);
            EXPECT_EQ(saved[5], 0) << "a lost game once told is not told again";
        }
        ASSERT_TRUE(c.save != Save::TempFolder || rmdir(path("temp.dat").c_str()) == 0);
        reinstall();
    }
}

// What the player sees at each stage: the last frame presented while it
// lasted is not blank, and each differs from the one before.
TEST_F(FlowRun, EachStageShowsAPictureOfItsOwn)
{
    struct Shot {
        std::string stage;
        std::vector<uint32_t> pixels;
    };
    std::vector<Shot> shots;
    uint32_t lastTick = 0;
    int levelFrames = 0;
    int32_t levelPlayed = -1;
    hostTestSetPumpHook([&] {
        const uint32_t tick = hostTestTimerMessageCount();
        GameApp* game = getGame();
        if (tick == lastTick || !game || hostPresentCount() == 0)
            return;
        lastTick = tick;
        const Stage stage = currentStage();
        GameWorld* world = runningWorld();
        std::string name = stage == Stage{1, 1}    ? "language"
                           : stage == Stage{1, 2}  ? "sound question"
                           : stage == Stage{1, 7}  ? "logo"
                           : stage == Stage{1, 8}  ? "preload"
                           : stage == Stage{1, 10} ? "splash"
                           : stage.mode == 3       ? "loading"
                                                   : "";
        if (stage == Stage{3, 10} && world && !world->isLoading()) {
            name = game->m_paused ? "pause" : "level";
            levelPlayed = world->m_levelIndex;
        }
        if (name.empty())
            return;
        const bool entered = shots.empty() || shots.back().stage != name;
        if (entered)
            shots.push_back({name, {}});
        shots.back().pixels = hostLastFrame().pixels;
        if (entered && (name == "language" || name == "sound question"))
            press(SDL_SCANCODE_RETURN);
        // A few frames of play, then the window loses the focus and gets it
        // back: the pause screen, then quit from it.
        if (name == "level" && ++levelFrames == 5) {
            hostTestPushFocus(false);
            hostTestPushFocus(true);
        }
        if (name == "pause")
            hostTestPushKey(SDL_SCANCODE_F4, true);
    });
    hostTestCloseAfterTicks(400);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);

    std::vector<std::string> stages;
    for (const Shot& shot : shots)
        stages.push_back(shot.stage);
    const std::vector<std::string> expected = {"language", "sound question", "logo", "preload", "splash", "loading", "level",
                                               "pause"};
    ASSERT_EQ(stages, expected);
    EXPECT_EQ(levelPlayed, 10);
    for (size_t i = 0; i < shots.size(); ++i) {
        const std::vector<uint32_t>& px = shots[i].pixels;
        ASSERT_FALSE(px.empty()) << shots[i].stage;
        EXPECT_NE(std::count(px.begin(), px.end(), px[0]), std::ptrdiff_t(px.size())) << shots[i].stage << " is blank";
        if (i > 0) {
            EXPECT_NE(px, shots[i - 1].pixels) << shots[i].stage << " looks as " << shots[i - 1].stage;
        }
    }
}

} // namespace

namespace {

// The start-up's timed pages end by themselves: the splash after 2000 ms,
// or at once on any key, as it says.
TEST(StartupPages, TheSplashEndsAfterTwoSecondsOrOnAnyKey)
{
    StartupMode mode;
    GameMode* page = nullptr;
    ASSERT_EQ(mode.createMode(10, &page), 0);
    ASSERT_NE(dynamic_cast<SplashPage*>(page), nullptr);
    page->update(1000);
    page->update(999);
    EXPECT_EQ(page->getResult(), 0u);
    page->update(1);
    EXPECT_EQ(page->getResult(), uint32_t(PageResult::Ok));
    delete page;
    for (const uint32_t key : {PlatformKey::Down, PlatformKey::Left, PlatformKey::Back, uint32_t('1'), PlatformKey::SoftRight}) {
        SplashPage splash;
        splash.handleEvent(PlatformEventId::KeyDown, key, 0);
        EXPECT_EQ(splash.getResult(), uint32_t(PageResult::Ok)) << key;
    }
}

// A failed save of the options says so before they close; each page of a
// failed save says whether its file could not be read or be written.
TEST(OptionsPages, AFailedSaveShowsItsMessageBeforeTheOptionsClose)
{
    ASSERT_EQ(getPrefs(), nullptr);  // no preferences to write: every save fails
    OptionsMode mode;
    mode.enter();
    for (int32_t page : {1, 1, 2, 2}) {
        mode.update(0);
        EXPECT_EQ(mode.activeId(), page);
        mode.activeMode()->setResult(PageResult::Ok);
    }
    EXPECT_EQ(mode.getResult(), 1u);

    TestApp app;
    installSaveFileCreators();
    MainMenuMode menu;
    FrontEndMode frontEnd;
    const std::tuple<PageStack&, int32_t, SaveFile*> pages[] = {
        {mode, 2, getPrefs()}, {menu, 17, getSaveGame()}, {menu, 20, getHighScoreTable()}, {frontEnd, 10, getSaveGame()}};
    for (const auto& [stack, id, file] : pages) {
        for (const uint32_t unreadable : {0u, 1u}) {
            file->m_unreadable = unreadable;
            GameMode* page = nullptr;
            stack.createMode(id, &page);
            std::unique_ptr<MessagePage> message(dynamic_cast<MessagePage*>(page));
            ASSERT_TRUE(message) << id;
            EXPECT_EQ(message->textId(), unreadable ? FrontEndText::UnreadableText : FrontEndText::ErrorText) << id;
        }
    }
}

} // namespace
