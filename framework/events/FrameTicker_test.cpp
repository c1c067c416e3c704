#include "framework/events/FrameTicker.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/events/TaskList.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint32_t g_now = 0;
uint32_t fakeClock()
{
    return g_now;
}

struct CountingClient : TickClient {
    void update() override
    {
        ++updates;
        steps.push_back(ticker->m_stepMs);
    }
    void render() override { ++renders; }
    bool isDrawingSuspended() override { return suspended; }

    FrameTicker* ticker = nullptr;
    int updates = 0;
    int renders = 0;
    bool suspended = false;
    std::vector<int32_t> steps;
};

struct TickerFixture : ::testing::Test {
    TickerFixture()
    {
        g_now = 1000;
        ticker.setClock(&fakeClock);
        ticker.setClient(&client);
        client.ticker = &ticker;
        EXPECT_EQ(ticker.init(), 1);
    }

    FrameTicker ticker;
    CountingClient client;
};

TEST_F(TickerFixture, StepIsMeasuredCappedAndConvertedTo16_16)
{
    ticker.start();
    EXPECT_EQ(client.updates, 0); // the start frame only measures
    struct Step {
        uint32_t gapMs;
        int32_t stepMs;
        int32_t stepSeconds;
    };
    const Step steps[] = {{40, 40, 2621}, {5000, 1000, 65536}, {30, 30, 1966}, {0, 0, 0}, {1000, 1000, 65536},
                          {1001, 1000, 65536}, {1, 1, 65}};
    for (const Step& s : steps) {
        g_now += s.gapMs;
        ticker.frame();
        EXPECT_EQ(ticker.m_stepMs, s.stepMs) << s.gapMs;
        EXPECT_EQ(ticker.m_stepSeconds, s.stepSeconds) << s.gapMs;
        EXPECT_EQ(ticker.getLastTick(), g_now);
    }
    EXPECT_EQ(client.updates, 7);
    EXPECT_EQ(client.renders, 7);
    EXPECT_EQ(ticker.m_phase, TickerPhase::Full);
}

TEST_F(TickerFixture, TickCountWrapGivesTrueGap)
{
    g_now = 0xFFFFFFF0u;
    ticker.start();
    g_now = 0x10; // 32 ms later, past the wrap
    ticker.frame();
    EXPECT_EQ(ticker.m_stepMs, 32);
}

TEST_F(TickerFixture, PauseSuppressesTicksUntilResume)
{
    ticker.start();
    g_now += 30;
    ticker.frame();
    ticker.pause();
    for (int i = 0; i < 5; ++i) {
        g_now += 30;
        ticker.frame();
    }
    EXPECT_EQ(client.updates, 1);
    EXPECT_EQ(client.renders, 1);
    ticker.stop();
    g_now += 30;
    ticker.frame();
    EXPECT_EQ(client.updates, 1);
}

TEST_F(TickerFixture, ResumeRendersWithoutUpdatingAndMeasuresFromResume)
{
    ticker.start();
    g_now += 30;
    ticker.frame();
    ticker.pause();
    g_now += 10000;
    ticker.resume();
    EXPECT_EQ(ticker.getLastTick(), g_now);
    EXPECT_EQ(client.updates, 1);
    EXPECT_EQ(client.renders, 1);

    g_now += 70; // the next frame only renders
    ticker.frame();
    EXPECT_EQ(client.updates, 1);
    EXPECT_EQ(client.renders, 2);

    g_now += 20; // and the one after measures from the resume: 90 ms
    ticker.frame();
    EXPECT_EQ(client.updates, 2);
    EXPECT_EQ(client.steps.back(), 90);
}

TEST_F(TickerFixture, SuspendedDrawingSkipsRenderButKeepsPhases)
{
    client.suspended = true;
    ticker.start();
    g_now += 30;
    ticker.frame();
    EXPECT_EQ(client.updates, 1);
    EXPECT_EQ(client.renders, 0);
    EXPECT_EQ(ticker.m_phase, TickerPhase::Full);
}

TEST_F(TickerFixture, InitFilesTheTwoStandardGroups)
{
    TaskList* tasks = ticker.findGroup(TaskKey::Tasks);
    TaskList* actions = ticker.findGroup(TaskKey::InputActions);
    ASSERT_NE(tasks, nullptr);
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(tasks->m_typeId, TypeId::TaskList);
    EXPECT_EQ(actions->m_typeId, TypeId::InputActionList);
    HandlerEntry* entry = nullptr;
    ASSERT_EQ(ticker.taskList()->find(0, TaskKey::InputActions, &entry), 1);
    EXPECT_EQ(entry->m_ownerKey, TypeId::InputActionList);
    EXPECT_EQ(entry->m_priority, DefaultPriority);
    EXPECT_EQ(ticker.findGroup(0x1234), nullptr);
}

TEST_F(TickerFixture, ShutdownTwiceAndThenDestructionFreeOnce)
{
    ticker.shutdown();
    EXPECT_EQ(ticker.taskList(), nullptr);
    ticker.shutdown();
    EXPECT_EQ(ticker.findGroup(TaskKey::Tasks), nullptr);
    // Ticking without a task list is harmless.
    ticker.start();
    g_now += 30;
    ticker.frame();
    EXPECT_EQ(client.updates, 1);
}

// A task that counts its runs.
struct CountingTask : Listener {
    int run(uint32_t, const TickInfo&) override { return ++runs; }
    int runs = 0;
};

TEST_F(TickerFixture, TaskListRunsListenersAndSkipsEverythingElse)
{
    CountingTask task;
    HashedObject notATask(0x1234);
    TaskList* list = ticker.taskList();
    list->insert(list->createEntry(1, &task, 0, DefaultPriority));
    list->insert(list->createEntry(2, &notATask, 0, DefaultPriority));
    list->insert(list->createEntry(3, nullptr, 0, DefaultPriority));
    static CountingTask resolved;
    TaskList::setResolver([](uint32_t key) -> Listener* { return key == 3 ? &resolved : nullptr; });
    ticker.start();
    g_now += 30;
    ticker.frame();
    TaskList::setResolver(nullptr);
    g_now += 30;
    ticker.frame();
    EXPECT_EQ(task.runs, 2);
    EXPECT_EQ(resolved.runs, 1);
    for (uint32_t key : {1u, 2u, 3u}) {
        HandlerEntry* e = nullptr;
        ASSERT_EQ(list->find(0, key, &e), 1);
        list->erase(e);
    }
}

TEST(FrameTicker, ClockSteppingBackStillDeliversScheduledMessages)
{
    TestApp app;
    ASSERT_TRUE(app.started());
    auto* ticker = new FrameTicker();
    app.m_frameTicker = ticker;
    g_now = 5000;
    ticker->setClock(&fakeClock);
    ASSERT_EQ(ticker->init(), 1);
    app.onLifecycle = [&](uint32_t id) { driveFrameTicker(ticker, id); };

    static int delivered = 0;
    delivered = 0;
    CallbackHandler handler(nullptr, takeSequenceKey(),
                            [](Message&, CallbackHandler&) { return ++delivered; });
    ASSERT_EQ(subscribe(&handler, EventId::Start), 1);
    app.dispatch(EventId::Start, 0, 0);
    EXPECT_EQ(delivered, 1);

    // A message scheduled like an input action's, then the clock steps back.
    auto* message = new Message(nullptr, EventId::Start);
    TaskList* list = ticker->taskList();
    list->insert(list->createEntry(takeSequenceKey(), message, TypeId::Message, ScheduledMessagePriority));
    g_now = 4000;
    ticker->frame();
    EXPECT_EQ(delivered, 2);
    EXPECT_GE(ticker->m_stepMs, 0);
    EXPECT_EQ(list->count(), 2u); // the message left with its entry
    unsubscribeAll(&handler);
}

TEST(FrameTicker, FirstTickAboveTwoToThe31DeliversMessages)
{
    TestApp app;
    auto* ticker = new FrameTicker();
    app.m_frameTicker = ticker;
    ticker->setClock(&fakeClock);
    ASSERT_EQ(ticker->init(), 1);
    static int delivered = 0;
    delivered = 0;
    CallbackHandler handler(nullptr, takeSequenceKey(), [](Message&, CallbackHandler&) { return ++delivered; });
    subscribe(&handler, 0x1111);
    TaskList* list = ticker->taskList();
    list->insert(list->createEntry(takeSequenceKey(), new Message(nullptr, 0x1111), TypeId::Message,
                                   ScheduledMessagePriority));
    // A ticker that was never started: its last tick is 0.
    ticker->setMode(TickerMode::Running);
    g_now = 0x90000000u;
    ticker->frame();
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(ticker->m_stepMs, 1000);
    unsubscribeAll(&handler);
}

TEST(FrameTicker, ShutdownFreesPendingMessages)
{
    TestApp app;
    auto* ticker = new FrameTicker();
    app.m_frameTicker = ticker;
    ASSERT_EQ(ticker->init(), 1);
    TaskList* list = ticker->taskList();
    list->insert(list->createEntry(takeSequenceKey(), new Message(nullptr, 0x2222), TypeId::Message,
                                   ScheduledMessagePriority));
    ticker->shutdown(); // the sanitizer build reports a leak otherwise
    EXPECT_EQ(getFrameTicker(), ticker);
}

} // namespace
