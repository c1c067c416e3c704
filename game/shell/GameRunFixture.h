// Tests' game run: the sample pack in a fresh home folder, the platform on
// a virtual clock and the game installed; all undone afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "game/shell/GameApp.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/WinMain.h"
#include "tests/support/BuildFixture.h"

class GameRunFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/pf-gamerun-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        setenv("PENNYFALL_HOME", folder, 1);
        hostSetInstanceFolder(m_folder);
        reinstall();
        const std::vector<uint8_t> pack = readBuildFixture("pennyfall.big");
        ASSERT_FALSE(pack.empty());
        std::ofstream(m_folder + "/pennyfall.big", std::ios::binary)
            .write(reinterpret_cast<const char*>(pack.data()), std::streamsize(pack.size()));
    }
    void TearDown() override
    {
        setGameAppFactory(nullptr);
        hostTestSetPumpHook(nullptr);
        hostTestReset();
        unsetenv("PENNYFALL_HOME");
        std::remove((m_folder + "/pennyfall.big").c_str());
        std::remove(hostInstanceLockPath(kWindowTitle).c_str());
        hostSetInstanceFolder("");
        rmdir(m_folder.c_str());
    }
    // A fresh platform and game for the next run in the same folder.
    static void reinstall()
    {
        hostTestSetPumpHook(nullptr);
        hostTestReset();
        hostRegistryClear();
        hostTestUseVirtualClock(1000);
        installPlatformServices();
        installGame();
    }

    std::string m_folder;
};
