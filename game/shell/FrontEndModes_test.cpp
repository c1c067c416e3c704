// The whole flow through the real program on the sample pack: start-up
// pages, the main menu's loading and launch pages, the running level, a
// pause and resume, the front end's error mode and the quit; and the page
// that a damaged save brings in.
#include "game/shell/FrontEndModes.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/services/AppStateFlags.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/GameRunFixture.h"
#include "game/shell/GameWorld.h"
#include "game/shell/InGameMode.h"
#include "game/ui/GameLaunchPage.h"
#include "platform/host/HostDirectDraw.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/WinMain.h"

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

bool g_damaged = false;

class FlowRun : public GameRunFixture {
protected:
    void SetUp() override
    {
        GameRunFixture::SetUp();
        FrontEndHooks hooks;
        hooks.saveDamaged = [] { return g_damaged; };
        setFrontEndHooks(hooks);
    }
    void TearDown() override
    {
        setFrontEndHooks({});
        GameRunFixture::TearDown();
    }
};

Stage currentStage()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    if (!flow || !flow->activeMode())
        return {0, 0};
    const ModeStack* mode = dynamic_cast<const ModeStack*>(flow->activeMode());
    return {flow->activeId(), mode ? mode->activeId() : 0};
}

GameWorld* runningWorld()
{
    GameApp* game = getGame();
    FlowManager* flow = game ? game->flowManager() : nullptr;
    const MainMenuMode* menu = flow ? dynamic_cast<const MainMenuMode*>(flow->findMode(FlowModeId::MainMenu)) : nullptr;
    GameLaunchPage* launch = menu ? menu->launchPage() : nullptr;
    return launch && launch->inGame() ? launch->inGame()->world() : nullptr;
}

void press(int scancode)
{
    hostTestPushKey(scancode, true);
    hostTestPushKey(scancode, false);
}

TEST_F(FlowRun, PagesFollowInOrderFromStartUpToTheRunningLevelAndOut)
{
    struct Case {
        bool damaged;
        std::vector<Stage> stages;
    };
    const Case cases[] = {
        {false, {{1, 2}, {1, 7}, {1, 8}, {1, 10}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
        // A damaged save is told once, between the splash and the menu.
        {true, {{1, 2}, {1, 7}, {1, 8}, {1, 10}, {1, 11}, {3, 9}, {3, 10}, {2, 10}, {3, 10}}},
    };
    for (const Case& c : cases) {
        g_damaged = c.damaged;
        std::vector<Stage> seen;
        int32_t clockAtPause = -1;
        int32_t clockAfterResume = -1;
        int phase = 0;
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
            // Confirm the questions once each, as a player would.
            if (entered && (stage == Stage{1, 2} || stage == Stage{1, 11} || stage.mode == FlowModeId::FrontEnd))
                press(SDL_SCANCODE_RETURN);
            GameWorld* world = runningWorld();
            if (stage != Stage{3, 10} || !world || world->isLoading())
                return;
            switch (phase++) {
            case 0:
                // Both in one pump: while paused no frame tick comes.
                clockAtPause = world->getClock();
                hostTestPushFocus(false);
                hostTestPushFocus(true);
                break;
            case 2:
                clockAfterResume = world->getClock();
                // A failed save write brings in the front end's error page.
                getAppStateFlags()->m_flags[AppFlag::SaveFailed] = 1;
                press(SDL_SCANCODE_LEFT);
                break;
            case 3:
                hostTestPushKey(SDL_SCANCODE_F4, true);
                break;
            default:
                break;
            }
        });
        hostTestCloseAfterTicks(400);
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(seen, c.stages) << "damaged " << c.damaged;
        EXPECT_GT(clockAfterResume, clockAtPause);
        reinstall();
    }
}

// What the player sees at each stage: the last frame presented while it
// lasted is not blank, and each differs from the one before.
TEST_F(FlowRun, EachStageShowsAPictureOfItsOwn)
{
    g_damaged = false;
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
        std::string name = stage == Stage{1, 2}    ? "sound question"
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
        if (entered && name == "sound question")
            press(SDL_SCANCODE_RETURN);
        // A few frames of play, then the pause screen, then quit from it.
        if (name == "level" && ++levelFrames == 5)
            game->m_paused = 1;
        if (name == "pause")
            hostTestPushKey(SDL_SCANCODE_F4, true);
    });
    hostTestCloseAfterTicks(400);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);

    std::vector<std::string> stages;
    for (const Shot& shot : shots)
        stages.push_back(shot.stage);
    const std::vector<std::string> expected = {"sound question", "logo", "preload", "splash", "loading", "level",
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
