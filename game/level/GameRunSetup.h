// A game run for tests and benchmarks: the sample pack in a fresh home
// folder, the platform on a virtual clock and the game installed; all
// undone afterwards.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "game/level/GameInstall.h"
#include "game/shell/GameApp.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostTestDriver.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformServices.h"
#include "platform/wince/WinMain.h"
#include "tests/support/BuildFixture.h"

// A fresh platform and game for the next run in the same folder.
inline void reinstallGameRun()
{
    hostTestSetPumpHook(nullptr);
    hostTestReset();
    hostRegistryClear();
    hostTestUseVirtualClock(1000);
    installPlatformServices();
    installGame();
}

// The home folder holding the sample pack; empty when either is missing.
inline std::string startGameRun()
{
    char folder[] = "/tmp/pf-gamerun-XXXXXX";
    if (!mkdtemp(folder))
        return {};
    setenv("PENNYFALL_HOME", folder, 1);
    hostSetInstanceFolder(folder);
    reinstallGameRun();
    const std::vector<uint8_t> pack = readBuildFixture("pennyfall.big");
    if (pack.empty()) {
        rmdir(folder);
        return {};
    }
    std::ofstream(std::string(folder) + "/pennyfall.big", std::ios::binary)
        .write(reinterpret_cast<const char*>(pack.data()), std::streamsize(pack.size()));
    return folder;
}

// A run's folder goes whole: the pack, the configuration, the saves and
// whatever a test put there.
inline void removeGameRunFolder(const std::string& folder)
{
    if (!folder.empty())
        std::filesystem::remove_all(folder);
}

inline void endGameRun(const std::string& folder)
{
    setGameAppFactory(nullptr);
    hostTestSetPumpHook(nullptr);
    hostTestReset();
    unsetenv("PENNYFALL_HOME");
    hostSetInstanceFolder("");
    removeGameRunFolder(folder);
}
