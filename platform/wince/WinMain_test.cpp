// End to end: the test runs itself again as a separate process that starts
// the platform with a recording game double, headless on SDL's dummy driver.
// The child writes what the game received and the parent checks it along
// with the exit code.
#include "platform/wince/WinMain.h"

#include "framework/events/Event.h"
#include "framework/services/AppBase.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostTestDriver.h"
#include "platform/host/HostTime.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformEvents.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The child's game: records events and, in the scripted mode, presses keys
// and closes the window through SDL as a user would.
class ChildApp : public AppBase {
public:
    int init() override { return startFramework() ? 0 : 1; }
    void dispatch(uint32_t id, uint32_t arg1, uint32_t arg2) override { m_events.push_back({ id, arg1, arg2 }); }
    void frame() override
    {
        ++m_frames;
        const std::string mode = env("PF_E2E_MODE");
        if (mode == "wait" && m_frames == 1)
            std::ofstream(std::string(env("PF_E2E_RECORD")) + ".ready") << "ready\n";
        if (mode != "keys")
            return;
        switch (m_frames) {
        case 2:
            hostTestPushKey(SDL_SCANCODE_RIGHT, true);
            hostTestPushKey(SDL_SCANCODE_RIGHT, true, true);
            break;
        case 3:
            hostTestPushKey(SDL_SCANCODE_RIGHT, false);
            break;
        case 4:
            hostTestPushKey(SDL_SCANCODE_ESCAPE, true);
            hostTestPushKey(SDL_SCANCODE_ESCAPE, false);
            break;
        case 5:
            hostTestPushClose();
            break;
        default:
            break;
        }
    }
    void shutdown() override
    {
        ++m_shutdowns;
        std::ofstream out(env("PF_E2E_RECORD"));
        for (const Event& e : m_events)
            out << "event " << e.id << ' ' << e.arg1 << ' ' << e.arg2 << '\n';
        out << "shutdowns " << m_shutdowns << '\n';
        out << "raises " << hostRaiseRequestCount() << '\n';
    }

private:
    std::vector<Event> m_events;
    uint32_t m_frames = 0;
    int m_shutdowns = 0;
};

AppBase* makeChildApp()
{
    return new ChildApp();
}

struct ChildRecord {
    std::vector<Event> events;
    int shutdowns = -1;
    int raises = -1;
};

ChildRecord readRecord(const std::string& path)
{
    ChildRecord record;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "event") {
            Event e{};
            words >> e.id >> e.arg1 >> e.arg2;
            record.events.push_back(e);
        } else if (kind == "shutdowns") {
            words >> record.shutdowns;
        } else if (kind == "raises") {
            words >> record.raises;
        }
    }
    return record;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/pf-winmain-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_folder = folder;
        m_record = m_folder + "/record.txt";
    }
    void TearDown() override
    {
        if (m_child > 0) {
            kill(m_child, SIGKILL);
            waitpid(m_child, nullptr, 0);
        }
        hostSetInstanceFolder("");
        std::remove((m_record + ".ready").c_str());
        std::remove(m_record.c_str());
        std::remove(hostInstanceLockPath(kWindowTitle).c_str());
        rmdir(m_folder.c_str());
    }

    void start(const char* mode)
    {
        std::vector<std::string> vars = { "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy",
            std::string("PF_E2E_MODE=") + mode, "PF_E2E_RECORD=" + m_record, "PF_INSTANCE_DIR=" + m_folder };
        std::vector<char*> envp;
        for (std::string& v : vars)
            envp.push_back(v.data());
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "PF_E2E_", 7) != 0 && std::strncmp(*e, "PF_INSTANCE_DIR=", 16) != 0)
                envp.push_back(*e);
        }
        envp.push_back(nullptr);
        std::string self = "/proc/self/exe";
        std::string filter = "--gtest_filter=WinMainChild.DISABLED_RunsThePlatform";
        std::string disabled = "--gtest_also_run_disabled_tests";
        char* argv[] = { self.data(), filter.data(), disabled.data(), nullptr };
        ASSERT_EQ(posix_spawn(&m_child, "/proc/self/exe", nullptr, nullptr, argv, envp.data()), 0);
    }

    // The child's exit code, or -1 when it did not exit by itself in time.
    int waitForExit()
    {
        for (int i = 0; i < 2000; ++i) {
            int status = 0;
            if (waitpid(m_child, &status, WNOHANG) == m_child) {
                m_child = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    bool waitForFile(const std::string& path)
    {
        for (int i = 0; i < 1000; ++i) {
            if (access(path.c_str(), F_OK) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    std::string m_folder;
    std::string m_record;
    pid_t m_child = 0;
};

TEST_F(EndToEnd, KeysAndACloseThroughSdlReachTheGameInOrder)
{
    start("keys");
    ASSERT_EQ(waitForExit(), 0);
    const ChildRecord record = readRecord(m_record);
    EXPECT_EQ(record.shutdowns, 1);
    std::vector<Event> input;
    for (const Event& e : record.events) {
        if (e.id == PlatformEventId::KeyDown || e.id == PlatformEventId::KeyUp)
            input.push_back(e);
    }
    // Right: one key-down despite the repeat, then its key-up; Esc: one back.
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[0].id, PlatformEventId::KeyDown);
    EXPECT_EQ(input[0].arg1, 7u);
    EXPECT_EQ(input[1].id, PlatformEventId::KeyUp);
    EXPECT_EQ(input[1].arg1, 7u);
    EXPECT_EQ(input[2].id, PlatformEventId::KeyDown);
    EXPECT_EQ(input[2].arg1, 12u);
    ASSERT_FALSE(record.events.empty());
    EXPECT_EQ(record.events.front().id, PlatformEventId::RunStart);
    EXPECT_EQ(record.events.back().id, PlatformEventId::RunEnd);
}

TEST_F(EndToEnd, SecondCopyRaisesTheFirstAndExitsZero)
{
    start("wait");
    ASSERT_TRUE(waitForFile(m_record + ".ready"));
    hostSetInstanceFolder(m_folder);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    // The raise is seen on the first copy's next message wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(kill(m_child, SIGTERM), 0);
    ASSERT_EQ(waitForExit(), 0);
    const ChildRecord record = readRecord(m_record);
    EXPECT_EQ(record.shutdowns, 1);
    EXPECT_EQ(record.raises, 1);
    ASSERT_FALSE(record.events.empty());
    EXPECT_EQ(record.events.back().id, PlatformEventId::RunEnd);
}

TEST(WinMainChild, DISABLED_RunsThePlatform)
{
    const std::string mode = env("PF_E2E_MODE");
    if (mode.empty())
        GTEST_SKIP() << "runs only as the end-to-end child";
    if (mode == "keys")
        hostTestUseVirtualClock(0);
    setGameAppFactory(makeChildApp);
    std::fflush(nullptr);
    std::_Exit(WinMain(nullptr, nullptr, nullptr, 0));
}

} // namespace
