// The whole flow through the real program on the sample pack: start-up
// pages, the main menu's loading and launch pages, the running level, a
// pause and resume, the front end's error mode and the quit; and the page
// that a damaged save brings in.
#include "game/shell/FrontEndModes.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "framework/services/AppStateFlags.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/GameWorld.h"
#include "game/shell/InGameMode.h"
#include "game/ui/GameLaunchPage.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/WinMain.h"
#include "tests/support/BuildFixture.h"

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

class FlowRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/pf-flow-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("PENNYFALL_HOME", folder, 1);
        hostSetInstanceFolder(m_folder);
        hostTestReset();
        hostRegistryClear();
        hostTestUseVirtualClock(1000);
        installPlatformServices();
        installGame();
        FrontEndHooks hooks;
        hooks.saveDamaged = [] { return g_damaged; };
        setFrontEndHooks(hooks);
        const std::vector<uint8_t> pack = readBuildFixture("pennyfall.big");
        ASSERT_FALSE(pack.empty());
        std::ofstream(m_folder + "/pennyfall.big", std::ios::binary)
            .write(reinterpret_cast<const char*>(pack.data()), std::streamsize(pack.size()));
    }
    void TearDown() override
    {
        setFrontEndHooks({});
        setGameAppFactory(nullptr);
        hostTestSetPumpHook(nullptr);
        hostTestReset();
        unsetenv("PENNYFALL_HOME");
        std::remove((m_folder + "/pennyfall.big").c_str());
        std::remove(hostInstanceLockPath(kWindowTitle).c_str());
        hostSetInstanceFolder("");
        rmdir(m_folder.c_str());
    }

    std::string m_folder;
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
        hostTestSetPumpHook(nullptr);
        hostTestReset();
        hostRegistryClear();
        hostTestUseVirtualClock(1000);
        installPlatformServices();
        installGame();
    }
}

} // namespace
