// The game run as a test fixture, and a run that goes straight from start-up
// to a page of the test's own in the main menu's place.
#pragma once

#include <gtest/gtest.h>

#include "game/level/GameRunSetup.h"
#include "game/shell/FlowManager.h"
#include "game/shell/GameMode.h"
#include "game/shell/ShellIds.h"

class GameRunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = startGameRun();
        ASSERT_FALSE(m_folder.empty());
    }
    void TearDown() override { endGameRun(m_folder); }
    static void reinstall() { reinstallGameRun(); }

    std::string m_folder;
};

// A start-up that hands over at once.
class InstantStartup : public GameMode {
public:
    int update(uint32_t) override
    {
        setResult(1);
        return 1;
    }
};

class LaunchRunFixture : public GameRunFixture {
protected:
    explicit LaunchRunFixture(FlowModeCreator launch) : m_launch(launch) {}
    void SetUp() override
    {
        GameRunFixture::SetUp();
        launchAtOnce();
    }
    void TearDown() override
    {
        setFlowModeCreator(FlowModeId::Startup, nullptr);
        setFlowModeCreator(FlowModeId::MainMenu, nullptr);
        GameRunFixture::TearDown();
    }
    // Again after reinstall(), whose game brings back its own front end.
    void launchAtOnce()
    {
        setFlowModeCreator(FlowModeId::Startup, [] { return static_cast<GameMode*>(new InstantStartup()); });
        setFlowModeCreator(FlowModeId::MainMenu, m_launch);
    }

    FlowModeCreator m_launch;
};
