// The game run as a test fixture.
#pragma once

#include <gtest/gtest.h>

#include "game/shell/GameMode.h"
#include "game/shell/GameRunSetup.h"

// A start-up that hands over at once, so the main menu's place comes next.
class InstantStartup : public GameMode {
public:
    int update(uint32_t) override
    {
        setResult(1);
        return 1;
    }
};

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
