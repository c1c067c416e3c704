// The game run as a test fixture.
#pragma once

#include <gtest/gtest.h>

#include "game/shell/GameRunSetup.h"

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
