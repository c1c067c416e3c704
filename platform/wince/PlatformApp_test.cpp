#include "platform/wince/PlatformApp.h"

#include "framework/properties/PropertySet.h"
#include "framework/services/AppBase.h"
#include "platform/host/HostGapi.h"
#include "platform/host/HostInstance.h"
#include "platform/host/HostKeys.h"
#include "platform/host/HostRegistry.h"
#include "platform/host/HostSystem.h"
#include "platform/host/HostTestDriver.h"
#include "platform/host/HostTime.h"
#include "platform/wince/GameHooks.h"
#include "platform/wince/PlatformEvents.h"
#include "platform/wince/WinMain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

static bool operator==(const Event& a, const Event& b)
{
    return a.id == b.id && a.arg1 == b.arg1 && a.arg2 == b.arg2;
}

namespace {

struct Recorded {
    std::vector<Event> events;
    std::vector<DWORD> frameTicks;
    int shutdowns = 0;
    int initResult = 0;
    bool useGapi = false;
    std::function<void(uint32_t)> onDispatch;
    std::function<void(size_t)> onFrame;
};

Recorded g_record;

// The game double: records what the platform hands it, at what tick.
class RecordingApp : public AppBase {
public:
    int init() override
    {
        m_useGapi = g_record.useGapi ? 1 : 0;
        return startFramework() ? g_record.initResult : 1;
    }
    void shutdown() override { ++g_record.shutdowns; }
    void frame() override
    {
        g_record.frameTicks.push_back(GetTickCount());
        if (g_record.onFrame)
            g_record.onFrame(g_record.frameTicks.size());
    }
    void dispatch(uint32_t id, uint32_t arg1, uint32_t arg2) override
    {
        g_record.events.push_back({ id, arg1, arg2 });
        if (g_record.onDispatch)
            g_record.onDispatch(id);
    }
};

AppBase* makeRecordingApp()
{
    return new RecordingApp();
}

PlatformApp* platformApp()
{
    return static_cast<PlatformApp*>(getPlatformApp());
}

std::vector<uint32_t> ids(const std::vector<Event>& events)
{
    std::vector<uint32_t> out;
    for (const Event& e : events)
        out.push_back(e.id);
    return out;
}

class PlatformAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A lock folder of this process alone: parallel runs must not find
        // each other as a running copy.
        static const struct LockFolder {
            std::string path;
            LockFolder()
            {
                char made[] = "/tmp/pf-platformapp-XXXXXX";
                path = mkdtemp(made) ? made : "";
            }
            ~LockFolder()
            {
                if (!path.empty())
                    std::filesystem::remove_all(path);
            }
        } folder;
        ASSERT_FALSE(folder.path.empty());
        hostSetInstanceFolder(folder.path);
        hostTestReset();
        hostRegistryClear();
        hostTestUseVirtualClock(1000);
        g_record = Recorded();
        setGameAppFactory(makeRecordingApp);
    }
    void TearDown() override
    {
        setGameAppFactory(nullptr);
        hostTestReset();
        hostRegistryClear();
    }

    int runTicks(uint32_t ticks)
    {
        hostTestCloseAfterTicks(ticks);
        return WinMain(nullptr, nullptr, nullptr, 0);
    }
};

TEST_F(PlatformAppTest, TicksComeThirtyMillisecondsApartAndCloseEndsTheRunOnce)
{
    ASSERT_EQ(runTicks(5), 0);

    // Five ticks and the last frame after the run end.
    ASSERT_EQ(g_record.frameTicks.size(), 6u);
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(g_record.frameTicks[i] - g_record.frameTicks[i - 1], 30u) << i;
    EXPECT_EQ(g_record.frameTicks[0], 1030u);
    ASSERT_FALSE(g_record.events.empty());
    EXPECT_EQ(g_record.events.front().id, PlatformEventId::RunStart);
    EXPECT_EQ(g_record.events.back().id, PlatformEventId::RunEnd);
    EXPECT_EQ(g_record.shutdowns, 1);
    EXPECT_EQ(getGameApp(), nullptr);
    EXPECT_EQ(getPlatformApp(), nullptr);
}

TEST_F(PlatformAppTest, SlowFrameDelaysTheNextTickWithoutCatchingUp)
{
    g_record.onFrame = [](size_t frame) {
        if (frame == 2)
            hostTestAdvanceClock(100);
    };
    ASSERT_EQ(runTicks(4), 0);
    ASSERT_EQ(g_record.frameTicks.size(), 5u);
    // Frame 2 started at 1060 and took 100 ms; the timer is armed after it.
    EXPECT_EQ(g_record.frameTicks[1], 1060u);
    EXPECT_EQ(g_record.frameTicks[2], 1060u + 130u);
    EXPECT_EQ(g_record.frameTicks[3], 1060u + 160u);
    EXPECT_EQ(hostTestTimerMessageCount(), 4u);
}

TEST_F(PlatformAppTest, EventsPostedDuringDeliveryAreDeliveredInTheSamePass)
{
    g_record.onDispatch = [](uint32_t id) {
        if (id == PlatformEventId::RunStart)
            platformApp()->eventQueue().post(PlatformEventId::AppMessage, 7, 8);
    };
    g_record.onFrame = [](size_t frame) {
        if (frame == 1) {
            EXPECT_EQ(g_record.events.size(), 4u); // start, redraws, then the posted one
        }
    };
    ASSERT_EQ(runTicks(1), 0);
    const std::vector<uint32_t> got = ids(g_record.events);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0], PlatformEventId::RunStart);
    EXPECT_EQ(got[got.size() - 1], PlatformEventId::RunEnd);
    EXPECT_NE(std::find(got.begin(), got.end(), PlatformEventId::AppMessage), got.end());
}

TEST_F(PlatformAppTest, FailedStartUpsEndCleanlyWithExitCodeOne)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        int shutdowns;
    };
    const Case cases[] = {
        { "window creation fails", [] { hostWindowSetFailures(false, true); }, 0 },
        { "no game application", [] { setGameAppFactory(nullptr); }, 0 },
        { "init fails", [] { g_record.initResult = 1; }, 1 },
        { "AllKeys fails", [] { hostShellSetAllKeysFailure(true); }, 1 },
        { "GAPI display fails", [] { g_record.useGapi = true; hostGapiSetFailures(true, false); }, 1 },
        { "GAPI input fails", [] { g_record.useGapi = true; hostGapiSetFailures(false, true); }, 1 },
    };
    for (const Case& c : cases) {
        SetUp();
        c.arrange();
        EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1) << c.name;
        EXPECT_EQ(g_record.shutdowns, c.shutdowns) << c.name;
        EXPECT_EQ(*hostLastMessageBoxText() == 0, g_record.initResult != 0) << c.name << ": the game tells its own";
        EXPECT_TRUE(g_record.frameTicks.empty()) << c.name;
        EXPECT_FALSE(hostGapiState().displayOpen) << c.name;
        EXPECT_FALSE(hostGapiState().inputOpen) << c.name;
        EXPECT_EQ(getGameApp(), nullptr) << c.name;
    }
}

TEST_F(PlatformAppTest, GapiOpensOnRequestUnlessTheDeviceIsAku5)
{
    g_record.useGapi = true;
    g_record.onFrame = [](size_t) { EXPECT_TRUE(hostGapiState().displayOpen && hostGapiState().inputOpen); };
    ASSERT_EQ(runTicks(1), 0);
    EXPECT_FALSE(hostGapiState().displayOpen);

    SetUp();
    g_record.useGapi = true;
    // The AKU text reads like ".5.2": its second character is the major version.
    const char16_t aku[] = u".5.2";
    hostRegistrySetValue(HKEY_LOCAL_MACHINE, u"SYSTEM\\Versions", u"AKU", REG_SZ, aku, sizeof aku);
    g_record.onFrame = [](size_t) { EXPECT_FALSE(hostGapiState().displayOpen); };
    ASSERT_EQ(runTicks(1), 0);
}

TEST_F(PlatformAppTest, ClassRegistrationFailureShowsTheMessage)
{
    hostWindowSetFailures(true, false);
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_STREQ(hostLastMessageBoxText(), "Error Registering wndClass");
}

TEST_F(PlatformAppTest, DeactivationDuringAFrameLeavesTheTimerStopped)
{
    g_record.onFrame = [](size_t frame) {
        if (frame == 2) {
            SendMessageW(hostTestMainWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
            hostTestPost(WM_CLOSE, 0, 0);
        }
    };
    hostTestCloseAfterTicks(50);
    ASSERT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(hostTestTimerMessageCount(), 2u);
    // The pause is delivered inside frame 2 without a frame of its own; the
    // third frame is the run end's.
    EXPECT_EQ(g_record.frameTicks.size(), 3u);
    EXPECT_EQ(std::count(g_record.events.begin(), g_record.events.end(), Event{ PlatformEventId::Pause, 0, 0 }), 1);
}

// Translation of single messages, with the application made but not run.
class MessageTableTest : public PlatformAppTest {
protected:
    void SetUp() override
    {
        PlatformAppTest::SetUp();
        ASSERT_NE(RegisterClassW(&windowClass()), 0);
        m_app = new PlatformApp(nullptr);
        ASSERT_EQ(m_app->createWindow(), 1);
        m_game = new RecordingApp();
        setGameApp(m_game);
        ASSERT_EQ(m_game->init(), 0);
        // The window's own start-up messages are not part of these cases.
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        m_app->eventQueue().resetCount();
    }
    void TearDown() override
    {
        setGameApp(nullptr);
        delete m_game;
        delete m_app;
        PlatformAppTest::TearDown();
    }
    static const WNDCLASSW& windowClass()
    {
        static WNDCLASSW c{ 0, windowProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, kWindowTitle };
        return c;
    }
    std::vector<Event> send(const std::vector<MSG>& messages)
    {
        for (const MSG& m : messages)
            m_app->handleMessage(m_app->window(), m.message, m.wParam, m.lParam);
        std::vector<Event> out;
        for (uint32_t i = 0; i < m_app->eventQueue().count(); ++i) {
            Event e;
            m_app->eventQueue().get(i, &e);
            out.push_back(e);
        }
        m_app->eventQueue().resetCount();
        return out;
    }

    PlatformApp* m_app = nullptr;
    RecordingApp* m_game = nullptr;
};

MSG msg(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    MSG m{};
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    return m;
}

constexpr LPARAM kDown = KEY_REPEAT_ONE;
constexpr LPARAM kRepeat = KEY_REPEAT_ONE | KEY_PREVIOUS_DOWN;
constexpr LPARAM kUp = KEY_REPEAT_ONE | KEY_PREVIOUS_DOWN | KEY_TRANSITION_UP;

TEST_F(MessageTableTest, MessagesBecomeTheirEvents)
{
    using namespace PlatformEventId;
    struct Case {
        const char* name;
        std::vector<MSG> messages;
        std::vector<Event> events;
    };
    const std::vector<Case> cases = {
        { "held key gives one key-down", { msg(WM_KEYDOWN, VK_LEFT, kDown), msg(WM_KEYDOWN, VK_LEFT, kRepeat), msg(WM_KEYUP, VK_LEFT, kUp) },
            { { KeyDown, 6, 0 }, { KeyUp, 6, 0 } } },
        { "soft keys fire once on release", { msg(WM_KEYDOWN, VK_F1, kDown), msg(WM_KEYUP, VK_F1, kUp), msg(WM_KEYDOWN, VK_F2, kDown), msg(WM_KEYUP, VK_F2, kUp) },
            { { KeyDown, 15, 0 }, { KeyDown, 16, 0 } } },
        { "escape fires once on release", { msg(WM_KEYDOWN, VK_ESCAPE, kDown), msg(WM_KEYUP, VK_ESCAPE, kUp) }, { { KeyDown, 12, 0 } } },
        { "backspace is back with an up", { msg(WM_KEYDOWN, VK_BACK, kDown), msg(WM_KEYUP, VK_BACK, kUp) }, { { KeyDown, 12, 0 }, { KeyUp, 12, 0 } } },
        { "key-up without a press is ignored", { msg(WM_KEYUP, VK_RETURN, KEY_REPEAT_ONE) }, {} },
        { "an unlisted key is a press of its own", { msg(WM_KEYDOWN, 200, kDown), msg(WM_KEYUP, 200, kUp) },
            { { KeyDown, 0x1C8, 0 }, { KeyUp, 0x1C8, 0 } } },
        { "tap", { msg(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 201)), msg(WM_LBUTTONUP, 0, MAKELPARAM(100, 201)) },
            { { ButtonDown, 0, (201u << 16) | 100 }, { ButtonUp, 0, (201u << 16) | 100 } } },
        { "drag with buttons", { msg(WM_MOUSEMOVE, MK_LBUTTON | MK_MBUTTON, MAKELPARAM(3, 4)) }, { { PointerMove, 5, (4u << 16) | 3 } } },
        { "right and middle buttons", { msg(WM_RBUTTONDOWN, 0, MAKELPARAM(1, 2)), msg(WM_MBUTTONDBLCLK, 0, MAKELPARAM(1, 2)) },
            { { ButtonDown, 1, (2u << 16) | 1 }, { DoubleClick, 2, (2u << 16) | 1 } } },
        { "paint coalesces until delivery", { msg(WM_PAINT), msg(WM_PAINT) }, { { Redraw, 0, 0 } } },
        { "activation while active redraws", { msg(WM_ACTIVATE, WA_ACTIVE) }, { { Redraw, 0, 0 } } },
        { "message 1023", { msg(1023) }, { { AppMessage, 0, 0 } } },
        { "message 2047 is not it", { msg(WM_USER + 0x3ff) }, {} },
    };
    for (const Case& c : cases) {
        // Each case starts with nothing pending.
        m_app->processEvents();
        g_record.events.clear();
        EXPECT_EQ(send(c.messages), c.events) << c.name;
    }
}

TEST_F(MessageTableTest, PixelDoublingHalvesPositionsAndDragsPastTheEdgeStayNegative)
{
    EXPECT_EQ(send({ msg(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0xfffe, 5)) }),
        (std::vector<Event>{ { PlatformEventId::ButtonDown, 0, (5u << 16) | 0xfffe } }));
    ASSERT_EQ(getProperties()->set("PIXEL_DOUBLING", "1"), 1);
    EXPECT_EQ(send({ msg(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 201)) }),
        (std::vector<Event>{ { PlatformEventId::ButtonDown, 0, (100u << 16) | 50 } }));
    // -3 halves to -2, not to 32766.
    EXPECT_EQ(send({ msg(WM_LBUTTONUP, 0, MAKELPARAM(0xfffd, 0xfffd)) }),
        (std::vector<Event>{ { PlatformEventId::ButtonUp, 0, 0xfffefffe } }));
}

TEST_F(MessageTableTest, DeactivationPausesAtOnceAndReactivationResumes)
{
    m_app->startTimer();
    EXPECT_TRUE(send({ msg(WM_ACTIVATE, WA_INACTIVE) }).empty()); // delivered at once
    EXPECT_EQ(ids(g_record.events), std::vector<uint32_t>{ PlatformEventId::Pause });
    EXPECT_EQ(g_record.frameTicks.size(), 1u);
    EXPECT_FALSE(m_app->isTimerRunning());

    g_record.events.clear();
    EXPECT_TRUE(send({ msg(WM_ACTIVATE, WA_INACTIVE) }).empty());
    EXPECT_TRUE(g_record.events.empty());
    EXPECT_EQ(g_record.frameTicks.size(), 1u);

    EXPECT_EQ(send({ msg(WM_ACTIVATE, WA_CLICKACTIVE) }), (std::vector<Event>{ { PlatformEventId::Resume, 0, 0 } }));
    EXPECT_TRUE(m_app->isTimerRunning());
}

// A handler (or the frame) that takes the focus away sends WM_ACTIVATE while
// events are being delivered: every event still reaches the game once, in
// order, with the pause right after what was queued, and one frame runs.
TEST_F(MessageTableTest, DeactivationDuringDeliveryDeliversEachEventOnce)
{
    using namespace PlatformEventId;
    struct Case {
        const char* name;
        uint32_t deactivateOnEvent; // 0: deactivate from the frame
    };
    const Case cases[] = {
        { "from the first event", KeyDown },
        { "from a middle event", KeyUp },
        { "from the last event", AppMessage },
        { "from the frame", 0 },
    };
    for (const Case& c : cases) {
        ASSERT_EQ(send({ msg(WM_ACTIVATE, WA_ACTIVE) }).size(), 1u);
        m_app->startTimer();
        g_record = Recorded();
        const auto deactivate = [this] { SendMessageW(m_app->window(), WM_ACTIVATE, WA_INACTIVE, 0); };
        g_record.onDispatch = [&](uint32_t id) {
            if (id == c.deactivateOnEvent)
                deactivate();
        };
        g_record.onFrame = [&](size_t) {
            if (!c.deactivateOnEvent)
                deactivate();
        };
        m_app->eventQueue().post(KeyDown, 4, 0);
        m_app->eventQueue().post(KeyUp, 4, 0);
        m_app->eventQueue().post(AppMessage, 0, 0);
        m_app->handleMessage(m_app->window(), WM_TIMER, PlatformApp::kTimerId, 0);

        const std::vector<uint32_t> expected = { KeyDown, KeyUp, AppMessage, Pause };
        EXPECT_EQ(ids(g_record.events), expected) << c.name;
        EXPECT_EQ(g_record.frameTicks.size(), 1u) << c.name;
        EXPECT_FALSE(m_app->isTimerRunning()) << c.name;

        // Nothing delivered comes back with the next walk.
        g_record.onDispatch = nullptr;
        g_record.onFrame = nullptr;
        m_app->processEvents();
        EXPECT_EQ(ids(g_record.events), expected) << c.name;
        EXPECT_EQ(m_app->eventQueue().count(), 0u) << c.name;
    }
}

TEST_F(MessageTableTest, F4ReleaseQuitsAfterItsKeyUp)
{
    EXPECT_EQ(send({ msg(WM_KEYDOWN, VK_F4, kDown), msg(WM_KEYUP, VK_F4, kUp) }),
        (std::vector<Event>{ { PlatformEventId::KeyDown, 3, 0 }, { PlatformEventId::KeyUp, 3, 0 } }));
    MSG quit;
    EXPECT_EQ(GetMessageW(&quit, nullptr, 0, 0), 0);
    EXPECT_EQ(quit.message, WM_QUIT);
}

TEST_F(MessageTableTest, ScreenResetPostsItsThreeEventsWithTheNewSize)
{
    ASSERT_EQ(hostSetScreenSize(320, 240), 1);
    MSG m;
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
    ASSERT_EQ(m.message, WM_SETTINGCHANGE);
    EXPECT_EQ(send({ m }), (std::vector<Event>{ { PlatformEventId::ScreenSizeChanged, 0, 0 },
                               { PlatformEventId::ScreenSizeSettled, 0, 0 }, { PlatformEventId::Redraw, 0, 0 } }));
    EXPECT_EQ(m_app->width(), 320);
    EXPECT_EQ(m_app->height(), 240);
    EXPECT_TRUE(send({ msg(WM_SETTINGCHANGE, 0) }).empty());
}

TEST_F(MessageTableTest, BuiltInKeyTableAndTheGameMapFirst)
{
    const std::pair<uint32_t, uint32_t> table[] = {
        { VK_BACK, 12 }, { VK_ESCAPE, 12 }, { VK_RETURN, 11 }, { VK_LEFT, 6 }, { VK_UP, 4 }, { VK_RIGHT, 7 },
        { VK_DOWN, 5 }, { '0', '0' }, { '9', '9' }, { VK_F1, 15 }, { VK_F2, 16 }, { VK_F3, 2 }, { VK_F4, 3 },
        { VK_F6, 17 }, { VK_F7, 18 }, { VK_F8, 42 }, { VK_F9, 35 }, { 129, 1 }, { 9, 9 }, { 10, 10 }, { 19, 19 },
        { 32, 32 }, { 'A', 'A' }, { 127, 127 }, { 0, 0 }, { VK_F5, VK_F5 }, { 0x1234, 0 },
        { 31, 0x11F }, { VK_SHIFT, 0x110 }, { 128, 0x180 }, { VK_UNNAMED, 0x1FF }, // apart from every game key
    };
    for (const auto& [native, game] : table)
        EXPECT_EQ(m_app->mapKey(native), game) << native;

    static int map;
    m_game->m_keyCodeMap = reinterpret_cast<HashedObject*>(&map);
    setKeyCodeLookup([](HashedObject*, uint32_t key) -> uint32_t { return key == 'A' ? 16 : 0; });
    EXPECT_EQ(m_app->mapKey('A'), 16u);
    EXPECT_EQ(m_app->mapKey(VK_UP), 4u);
    // A key the game maps to a soft key fires once, on release.
    EXPECT_EQ(send({ msg(WM_KEYDOWN, 'A', kDown), msg(WM_KEYUP, 'A', kUp) }),
        (std::vector<Event>{ { PlatformEventId::KeyDown, 16, 0 } }));
    setKeyCodeLookup(nullptr);
    m_game->m_keyCodeMap = nullptr;
}

} // namespace
