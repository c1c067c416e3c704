#include "framework/events/InputAction.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/FrameTicker.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/events/TaskList.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr uint32_t kAction = 0x0ACE0001;
constexpr uint32_t kOtherAction = 0x0ACE0002;
constexpr uint32_t kSelect = 11;

uint32_t g_now = 0;
uint32_t fakeClock()
{
    return g_now;
}

// (game key, tick) of every action message delivered.
std::vector<std::pair<uint32_t, uint32_t>> g_received;

int record(Message& message, CallbackHandler&)
{
    g_received.emplace_back(message.arg(0), message.arg(1));
    return 1;
}

// An application with a started ticker, fed through dispatch like the platform.
struct ActionFixture : ::testing::Test {
    ActionFixture() : handler(nullptr, takeSequenceKey(), &record)
    {
        g_now = 0;
        g_received.clear();
        ticker = new FrameTicker();
        app.m_frameTicker = ticker;
        ticker->setClock(&fakeClock);
        EXPECT_EQ(ticker->init(), 1);
        app.onLifecycle = [this](uint32_t id) { driveFrameTicker(ticker, id); };
        subscribe(&handler, kAction);
        app.dispatch(EventId::Start, 0, 0);
    }
    ~ActionFixture() override { unsubscribeAll(&handler); }

    // Frames of stepMs until the clock reaches untilMs.
    void runFrames(uint32_t stepMs, uint32_t untilMs)
    {
        while (g_now < untilMs) {
            g_now += stepMs;
            ticker->frame();
        }
    }

    std::vector<uint32_t> fireTicks() const
    {
        std::vector<uint32_t> ticks;
        for (const auto& r : g_received)
            ticks.push_back(r.second);
        return ticks;
    }

    uint32_t actionCount() { return ticker->findGroup(TaskKey::InputActions)->count(); }

    TestApp app;
    FrameTicker* ticker = nullptr;
    CallbackHandler handler;
};

TEST_F(ActionFixture, KeyDownReachesActionAndNextTickDeliversKeyAndTick)
{
    ASSERT_EQ(addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Press, 0, 0, 1), 1);
    g_now = 120;
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    EXPECT_TRUE(g_received.empty()); // scheduled, not delivered yet
    g_now = 150;
    ticker->frame();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0], std::make_pair(kSelect, 120u));
    EXPECT_EQ(ticker->taskList()->count(), 2u); // the message is gone
}

TEST_F(ActionFixture, PressModeFiresOncePerPressAndNotOnRelease)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Press, 0, 0, 1);
    for (int i = 0; i < 3; ++i) {
        app.dispatch(InputEventId::KeyDown, kSelect, 0);
        runFrames(50, g_now + 200);
        app.dispatch(InputEventId::KeyUp, kSelect, 0);
        runFrames(50, g_now + 100);
    }
    app.dispatch(InputEventId::KeyDown, kSelect + 1, 0);
    runFrames(50, g_now + 100);
    EXPECT_EQ(g_received.size(), 3u);
}

TEST_F(ActionFixture, ReleaseModeFiresOnKeyUp)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Release, 0, 0, 1);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    runFrames(50, 100);
    EXPECT_TRUE(g_received.empty());
    app.dispatch(InputEventId::KeyUp, kSelect, 0);
    runFrames(50, 150);
    EXPECT_EQ(fireTicks(), std::vector<uint32_t>{100});
}

TEST_F(ActionFixture, HeldKeyRepeatsAfterDelayAt350Then450)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Hold, 300, 100, 1);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    runFrames(50, 1000);
    EXPECT_EQ(fireTicks(), (std::vector<uint32_t>{350, 450, 550, 650, 750, 850, 950}));
}

TEST_F(ActionFixture, LongFrameCatchesUpOnRepeats)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Hold, 300, 100, 1);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    runFrames(50, 350);
    EXPECT_EQ(g_received.size(), 0u); // fired at 350, delivered next frame
    g_now = 850;
    ticker->frame();
    g_now = 900;
    ticker->frame();
    EXPECT_EQ(fireTicks(), (std::vector<uint32_t>{350, 850, 850, 850, 850, 850}));
}

TEST_F(ActionFixture, ZeroRepeatFiresEveryFrameAfterDelayOnlyWithRepeatFlag)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Hold, 100, 0, 1);
    addInputAction(TaskKey::InputActions, kOtherAction, kSelect, InputMode::Hold, 100, 0, 0);
    static int others = 0;
    others = 0;
    CallbackHandler other(nullptr, takeSequenceKey(), [](Message&, CallbackHandler&) { return ++others; });
    subscribe(&other, kOtherAction);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    runFrames(50, 400);
    EXPECT_EQ(fireTicks(), (std::vector<uint32_t>{150, 200, 250, 300, 350}));
    EXPECT_EQ(others, 1);
    unsubscribeAll(&other);
}

TEST_F(ActionFixture, ResumeClearsHeldKeys)
{
    addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Hold, 300, 100, 1);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    runFrames(50, 200);
    app.dispatch(EventId::Pause, 0, 0);
    g_now += 50;
    app.dispatch(EventId::Resume, 0, 0);
    runFrames(50, 2000);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(ActionFixture, RemovalMatchesActionIdAndKey)
{
    addInputAction(TaskKey::InputActions, kAction, 4, InputMode::Press, 0, 0, 1);
    addInputAction(TaskKey::InputActions, kAction, 5, InputMode::Press, 0, 0, 1);
    addInputAction(TaskKey::InputActions, kOtherAction, 5, InputMode::Press, 0, 0, 1);
    EXPECT_EQ(actionCount(), 3u);
    removeInputActionsMatching(TaskKey::InputActions, kAction, 5);
    EXPECT_EQ(actionCount(), 2u);
    removeInputActionsMatching(TaskKey::InputActions, 0, 5);
    EXPECT_EQ(actionCount(), 1u);
    removeInputActions(TaskKey::InputActions);
    EXPECT_EQ(actionCount(), 0u);

    // Removed actions no longer listen.
    app.dispatch(InputEventId::KeyDown, 4, 0);
    runFrames(50, 100);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(ActionFixture, AddFailsWithoutGroup)
{
    EXPECT_EQ(addInputAction(0x12345678, kAction, kSelect, InputMode::Press, 0, 0, 1), 0);
    app.m_frameTicker = nullptr;
    EXPECT_EQ(addInputAction(TaskKey::InputActions, kAction, kSelect, InputMode::Press, 0, 0, 1), 0);
    app.m_frameTicker = ticker;
}

TEST_F(ActionFixture, ActionWithIdZeroNeverSchedules)
{
    addInputAction(TaskKey::InputActions, 0, kSelect, InputMode::Press, 0, 0, 1);
    app.dispatch(InputEventId::KeyDown, kSelect, 0);
    EXPECT_EQ(ticker->taskList()->count(), 2u);
}

} // namespace
