#include "platform/host/HostMessages.h"

#include "platform/host/HostKeys.h"
#include "platform/host/HostSystem.h"
#include "platform/host/HostTestDriver.h"
#include "platform/host/HostTime.h"
#include "platform/host/HostWindow.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Seen> g_seen;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    g_seen.push_back({ message, wParam, lParam });
    // Closing is the test's business, not the default's.
    return message == WM_CLOSE ? 0 : DefWindowProcW(window, message, wParam, lParam);
}

class HostMessagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hostTestReset();
        hostTestUseVirtualClock(500);
        g_seen.clear();
        WNDCLASSW c{ 0, recordingProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"Test" };
        ASSERT_NE(RegisterClassW(&c), 0);
        m_window = CreateWindowExW(0, u"Test", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 240, 320, nullptr,
            nullptr, nullptr, nullptr);
        ASSERT_NE(m_window, nullptr);
        EXPECT_TRUE(SetForegroundWindow(m_window));
    }
    void TearDown() override { hostTestReset(); }

    // Takes and dispatches whatever waits, without waiting.
    std::vector<Seen> drain()
    {
        g_seen.clear();
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) && m.message != WM_QUIT)
            DispatchMessageW(&m);
        return g_seen;
    }

    HWND m_window = nullptr;
};

std::vector<UINT> messagesOf(const std::vector<Seen>& seen)
{
    std::vector<UINT> out;
    for (const Seen& s : seen)
        out.push_back(s.message);
    return out;
}

TEST_F(HostMessagesTest, PostedThenQuitThenPaintThenTimer)
{
    ASSERT_NE(SetTimer(m_window, 1, 30, nullptr), 0u);
    hostTestAdvanceClock(30);
    PostMessageW(m_window, WM_USER, 1, 2);
    PostQuitMessage(3);
    MSG m;
    for (UINT expected : { WM_ACTIVATE, WM_SETFOCUS, WM_USER }) {
        ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
        EXPECT_EQ(m.message, expected);
    }
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_PAINT); // the new visible window is invalid
    DispatchMessageW(&m);           // the default procedure validates it
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 1u);
}

TEST_F(HostMessagesTest, LateTimerGivesOneMessageAndIdleWaitJumpsToTheDueTime)
{
    drain();
    SetTimer(m_window, 7, 30, nullptr);
    hostTestAdvanceClock(1000);
    MSG m;
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)); // no pile-up
    const DWORD before = GetTickCount();
    ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(GetTickCount() - before, 30u);
    EXPECT_TRUE(KillTimer(m_window, 7));
    EXPECT_FALSE(KillTimer(m_window, 7));
    EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(uintptr_t(0x1234)), 1, 30, nullptr), 0u);
}

TEST_F(HostMessagesTest, SdlInputBecomesWindowMessages)
{
    drain();
    struct Case {
        const char* name;
        std::function<void()> push;
        std::vector<Seen> expected;
    };
    const LPARAM up = KEY_REPEAT_ONE | KEY_PREVIOUS_DOWN | KEY_TRANSITION_UP;
    const std::vector<Case> cases = {
        { "key press and release", [] { hostTestPushKey(SDL_SCANCODE_UP, true); hostTestPushKey(SDL_SCANCODE_UP, false); },
            { { WM_KEYDOWN, VK_UP, KEY_REPEAT_ONE }, { WM_KEYUP, VK_UP, up } } },
        { "auto-repeat sets bit 30", [] { hostTestPushKey(SDL_SCANCODE_KP_5, true, true); },
            { { WM_KEYDOWN, '5', KEY_REPEAT_ONE | KEY_PREVIOUS_DOWN } } },
        { "space is select", [] { hostTestPushKey(SDL_SCANCODE_SPACE, true); }, { { WM_KEYDOWN, VK_RETURN, KEY_REPEAT_ONE } } },
        { "other keys are presses too", [] { hostTestPushKey(SDL_SCANCODE_Q, true); hostTestPushKey(SDL_SCANCODE_LSHIFT, true); },
            { { WM_KEYDOWN, 'Q', KEY_REPEAT_ONE }, { WM_KEYDOWN, VK_SHIFT, KEY_REPEAT_ONE } } },
        { "a key of no name", [] { hostTestPushKey(SDL_SCANCODE_GRAVE, true); }, { { WM_KEYDOWN, VK_UNNAMED, KEY_REPEAT_ONE } } },
        { "stylus drag clamps at the edges", [] {
             hostTestPushMouseMove(5, 5); // no button: no message
             hostTestPushMouseButton(true, 10, 20);
             hostTestPushMouseMove(-40, 400);
             hostTestPushMouseButton(false, 300, 10);
         },
            { { WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20) }, { WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(0, 319) },
                { WM_LBUTTONUP, 0, MAKELPARAM(239, 10) } } },
        { "one finger is the stylus", [] {
             hostTestPushFinger(SDL_FINGERDOWN, 1, 0.5f, 0.25f);
             hostTestPushFinger(SDL_FINGERDOWN, 2, 0.1f, 0.1f); // a second finger is ignored
             hostTestPushFinger(SDL_FINGERUP, 1, 0.5f, 1.5f);
         },
            { { WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 80) }, { WM_LBUTTONUP, 0, MAKELPARAM(120, 319) } } },
        { "a finger off every scale", [] { hostTestPushFinger(SDL_FINGERDOWN, 1, NAN, -1e10f); hostTestPushFinger(SDL_FINGERUP, 1, 1e10f, NAN); },
            { { WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 0) }, { WM_LBUTTONUP, 0, MAKELPARAM(239, 0) } } },
        // Sent to the background, the window gets the phone's message first.
        { "focus loss and gain", [] { hostTestPushFocus(false); hostTestPushFocus(false); hostTestPushFocus(true); },
            { { kPhoneBackgroundMessage, 0, 0 }, { WM_ACTIVATE, WA_INACTIVE, 0 }, { WM_KILLFOCUS, 0, 0 },
                { WM_ACTIVATE, WA_ACTIVE, 0 }, { WM_SETFOCUS, 0, 0 } } },
        { "minimised alone", [] { hostTestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED); hostTestPushFocus(true); },
            { { kPhoneBackgroundMessage, 0, 0 }, { WM_ACTIVATE, WA_INACTIVE, 0 }, { WM_KILLFOCUS, 0, 0 },
                { WM_ACTIVATE, WA_ACTIVE, 0 }, { WM_SETFOCUS, 0, 0 } } },
        { "minimised, then shown again without the focus", [] { hostTestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
             hostTestPushFocus(false); hostTestPushWindowEvent(SDL_WINDOWEVENT_RESTORED); },
            { { kPhoneBackgroundMessage, 0, 0 }, { WM_ACTIVATE, WA_INACTIVE, 0 }, { WM_KILLFOCUS, 0, 0 } } },
        { "window close then quit is one close", [] { hostTestPushClose(); hostTestPushQuit(); }, { { WM_CLOSE, 0, 0 } } },
    };
    for (const Case& c : cases) {
        c.push();
        const std::vector<Seen> got = drain();
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].message, c.expected[i].message) << c.name << " " << i;
            EXPECT_EQ(got[i].wParam, c.expected[i].wParam) << c.name << " " << i;
            EXPECT_EQ(got[i].lParam, c.expected[i].lParam) << c.name << " " << i;
        }
    }
}

TEST_F(HostMessagesTest, ForegroundAndSignalsAndScreenChanges)
{
    drain();
    // Already in front: asking again makes no activation.
    EXPECT_TRUE(SetForegroundWindow(m_window));
    EXPECT_TRUE(drain().empty());

    std::raise(SIGTERM);
    EXPECT_EQ(messagesOf(drain()), std::vector<UINT>{ WM_CLOSE });

    ASSERT_EQ(hostSetScreenSize(320, 240), 1);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 240);
    const std::vector<Seen> seen = drain();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_SETTINGCHANGE);
    EXPECT_EQ(seen[0].wParam, SETTINGCHANGE_RESET);
    EXPECT_EQ(hostSetScreenSize(0, 240), 0);
    EXPECT_EQ(hostSetScreenSize(320, 100000), 0);
}

TEST_F(HostMessagesTest, MoveKeepsLogicalSizesAndDestroyDropsTimersAndMessages)
{
    drain();
    g_seen.clear();
    ASSERT_TRUE(MoveWindow(m_window, 0, 0, 320, 240, TRUE));
    RECT r;
    ASSERT_TRUE(GetClientRect(m_window, &r));
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 240);
    EXPECT_EQ(messagesOf(g_seen), std::vector<UINT>{ WM_WINDOWPOSCHANGED });
    EXPECT_EQ(messagesOf(drain()), std::vector<UINT>{ WM_PAINT });
    EXPECT_FALSE(MoveWindow(m_window, 0, 0, -1, 240, TRUE));

    SetTimer(m_window, 1, 30, nullptr);
    PostMessageW(m_window, WM_USER, 0, 0);
    ASSERT_TRUE(DestroyWindow(m_window));
    EXPECT_EQ(messagesOf(g_seen).back(), WM_DESTROY);
    MSG m;
    hostTestAdvanceClock(100);
    EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(IsWindow(m_window));
    EXPECT_FALSE(PostMessageW(m_window, WM_USER, 0, 0));
    EXPECT_TRUE(UnregisterClassW(u"Test", nullptr));
}

TEST_F(HostMessagesTest, ClassesAreUniqueAndHeldWhileWindowsExist)
{
    WNDCLASSW c{ 0, recordingProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"Test" };
    EXPECT_EQ(RegisterClassW(&c), 0);
    WNDCLASSW noProc{ 0, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, u"Other" };
    EXPECT_EQ(RegisterClassW(&noProc), 0);
    EXPECT_FALSE(UnregisterClassW(u"Test", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"Missing", nullptr));
    EXPECT_EQ(CreateWindowExW(0, u"Missing", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(FindWindowW(u"Test", u""), m_window);
    EXPECT_EQ(FindWindowW(u"Test", u"Other title"), nullptr);
}

} // namespace
