#include "game/shell/ModeStack.h"

#include "framework/events/CallbackHandler.h"
#include "framework/events/EventIdCounter.h"
#include "framework/events/FrameTicker.h"
#include "framework/events/InputAction.h"
#include "framework/events/Message.h"
#include "framework/events/Subscription.h"
#include "framework/services/AppStateFlags.h"
#include "game/shell/FlowManager.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::string> g_journal;

// A mode that writes every call it gets into the journal under its name.
class JournalMode : public GameMode {
public:
    explicit JournalMode(std::string name, int enterResult = 0, int draws = 0)
        : m_name(std::move(name)), m_enterResult(enterResult), m_draws(draws)
    {
    }
    ~JournalMode() override { note("delete"); }
    int enter() override
    {
        note("enter");
        return m_enterResult;
    }
    void exit() override { note("exit"); }
    void setActive(bool isTop) override { note(isTop ? "top" : "below"); }
    int handleEvent(uint32_t id, uint32_t, uint32_t) override
    {
        note(id == PlatformEventId::Redraw ? "redraw" : "event " + std::to_string(id));
        return 7;
    }
    int update(uint32_t ms) override
    {
        note("update " + std::to_string(ms));
        return 0;
    }
    int paint() override
    {
        note("paint");
        return m_draws;
    }

private:
    void note(const std::string& what) { g_journal.push_back(m_name + " " + what); }

    std::string m_name;
    int m_enterResult;
    int m_draws;
};

// Makes modes named by id: "m<id>"; id 9 fails its enter, id 8 draws.
class TestStack : public ModeStack {
public:
    int createMode(int32_t id, GameMode** out) override
    {
        *out = id == 0 ? nullptr : new JournalMode("m" + std::to_string(id), id == 9 ? 5 : 0, id == 8 ? 1 : 0);
        return 0;
    }
    void onModeResult(int32_t id, GameMode* mode) override
    {
        g_journal.push_back("result " + std::to_string(id) + " " + std::to_string(mode->getResult()));
    }
};

std::vector<int32_t> ids(const ModeStack& stack)
{
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < stack.count(); ++i)
        out.push_back(stack.idAt(i));
    return out;
}

TEST(ModeStack, TransitionsApplyAtTheNextUpdateInTheirOrderOfCalls)
{
    struct Case {
        const char* name;
        std::vector<int32_t> before;
        std::vector<std::pair<int32_t, int32_t>> requests;  // (id, kind), all before one update
        std::vector<int32_t> after;
        std::vector<std::string> journal;
    };
    const Case cases[] = {
        {"push onto an empty stack", {}, {{1, Transition::Push}}, {1}, {"m1 enter", "m1 update 30"}},
        {"only the last of two requests", {1}, {{2, Transition::Push}, {3, Transition::Push}}, {1, 3},
         {"m1 below", "m1 redraw", "m3 enter", "m3 update 30"}},
        {"replace pops, then pushes", {1, 2}, {{3, Transition::Replace}}, {1, 3},
         {"m2 exit", "m2 delete", "m1 top", "m1 redraw", "m1 below", "m1 redraw", "m3 enter", "m3 update 30"}},
        {"clear, then push", {1, 2}, {{4, Transition::ClearAndPush}}, {4},
         {"m1 exit", "m1 delete", "m2 exit", "m2 delete", "m4 enter", "m4 update 30"}},
        {"pop tells every mode left, the new top included", {1, 2, 3}, {{0, Transition::Pop}}, {1, 2},
         {"m3 exit", "m3 delete", "m1 below", "m1 redraw", "m2 top", "m2 redraw", "m2 update 30"}},
        {"pop down to an id exits each mode once", {1, 2, 3}, {{1, Transition::PopTo}}, {1},
         {"m3 exit", "m3 delete", "m1 below", "m1 redraw", "m2 top", "m2 redraw", "m2 exit", "m2 delete", "m1 top",
          "m1 redraw", "m1 update 30"}},
        {"pop down to a missing id empties, then pushes", {1}, {{5, Transition::PopTo}}, {5},
         {"m1 exit", "m1 delete", "m5 enter", "m5 update 30"}},
        {"a failed enter deletes the new mode", {1}, {{9, Transition::Push}}, {1},
         {"m1 below", "m1 redraw", "m9 enter", "m9 delete", "m1 top", "m1 redraw", "m1 update 30"}},
        {"no mode made: nothing changes", {1}, {{0, Transition::Push}}, {1}, {"m1 update 30"}},
        {"pop of an empty stack does nothing", {}, {{0, Transition::Pop}}, {}, {}},
        {"a full stack deletes the new mode", {1, 2, 3, 4, 5, 6, 7, 1, 2, 3}, {{4, Transition::Push}},
         {1, 2, 3, 4, 5, 6, 7, 1, 2, 3}, {"m4 delete", "m3 update 30"}},
    };
    for (const Case& c : cases) {
        TestStack stack;
        for (int32_t id : c.before)
            stack.pushNew(id);
        g_journal.clear();
        for (const auto& [id, kind] : c.requests)
            stack.requestTransition(id, kind);
        stack.update(30);
        EXPECT_EQ(ids(stack), c.after) << c.name;
        EXPECT_EQ(g_journal, c.journal) << c.name;
        EXPECT_EQ(stack.activeId(), c.after.empty() ? 0 : c.after.back()) << c.name;
        g_journal.clear();
        // Applied once: a second update changes nothing.
        stack.update(0);
        EXPECT_EQ(ids(stack), c.after) << c.name;
    }
}

TEST(ModeStack, LifecycleIdsReachEveryModeOthersOnlyTheActiveOne)
{
    TestStack stack;
    stack.pushNew(1);
    stack.pushNew(2);
    const struct {
        uint32_t id;
        int result;
        std::vector<std::string> journal;
    } cases[] = {
        {0x54246de3, 1, {"m1 event 1411673571", "m2 event 1411673571"}},
        {0x75424363, 1, {"m1 event 1967276899", "m2 event 1967276899"}},
        {0x6740942f, 1, {"m1 event 1732285487", "m2 event 1732285487"}},
        {0x8408f369, 1, {"m1 event 2215179113", "m2 event 2215179113"}},
        {0x5152a73b, 1, {"m1 event 1364371259", "m2 event 1364371259"}},
        {0x518e1a3b, 1, {"m1 event 1368267323", "m2 event 1368267323"}},
        {0x32b482c3, 1, {"m1 event 850690755", "m2 event 850690755"}},
        {0x24314258, 1, {"m1 redraw", "m2 redraw"}},
        // The first screen-size notice is no lifecycle id.
        {0x747ab255, 7, {"m2 event 1954198101"}},
        {PlatformEventId::KeyDown, 7, {"m2 event 3343010790"}},
    };
    for (const auto& c : cases) {
        g_journal.clear();
        EXPECT_EQ(stack.dispatch(c.id, 0, 0), c.result) << c.id;
        EXPECT_EQ(g_journal, c.journal) << c.id;
    }
    stack.clear();
    EXPECT_EQ(stack.dispatch(PlatformEventId::KeyDown, 0, 0), 0);
}

TEST(ModeStack, ModesAboveOneThatDrewAreToldToRedrawFirst)
{
    TestStack stack;
    stack.pushNew(1);
    stack.pushNew(8);
    stack.pushNew(2);
    g_journal.clear();
    EXPECT_EQ(stack.paint(), 1);
    EXPECT_EQ(g_journal, (std::vector<std::string>{"m1 paint", "m8 paint", "m2 redraw", "m2 paint"}));
}

TEST(ModeStack, TheFirstResultWinsAndIsReportedUntilTheModeIsActivatedAgain)
{
    TestStack stack;
    stack.pushNew(1);
    stack.activeMode()->setResult(4);
    stack.activeMode()->setResult(6);
    g_journal.clear();
    stack.update(0);
    stack.update(0);
    EXPECT_EQ(g_journal, (std::vector<std::string>{"m1 update 0", "result 1 4", "m1 update 0", "result 1 4"}));
    stack.pushNew(2);
    stack.pop();
    EXPECT_EQ(stack.activeMode()->getResult(), 0u);
}

// A second start re-initialises the flow: what the stack held leaves it,
// and the next push finds an empty, working stack.
TEST(ModeStack, InitAgainEmptiesTheStackAndDeletesWhatItHeld)
{
    TestStack stack;
    stack.pushNew(1);
    stack.pushNew(2);
    g_journal.clear();
    EXPECT_EQ(stack.init(), 0);
    EXPECT_EQ(g_journal, (std::vector<std::string>{"m1 exit", "m1 delete", "m2 exit", "m2 delete"}));
    EXPECT_EQ(stack.count(), 0u);
    EXPECT_EQ(stack.activeMode(), nullptr);
    stack.requestTransition(3, Transition::Push);
    stack.update(0);
    EXPECT_EQ(ids(stack), std::vector<int32_t>{3});
    EXPECT_EQ(stack.activeId(), 3);
}

// The top-level modes for the flow manager's tests.
GameMode* makeStartup() { return new JournalMode("startup"); }
GameMode* makeFrontEnd() { return new JournalMode("frontend"); }
GameMode* makeMainMenu() { return new JournalMode("menu"); }

TEST(FlowManager, FinishedModesLeadOnAndTheMainMenuIsNeverHeldTwice)
{
    TestApp app;
    setFlowModeCreator(FlowModeId::Startup, makeStartup);
    setFlowModeCreator(FlowModeId::FrontEnd, makeFrontEnd);
    setFlowModeCreator(FlowModeId::MainMenu, makeMainMenu);
    {
        FlowManager flow;
        flow.requestTransition(FlowModeId::Startup, Transition::Push);
        flow.update(0);
        flow.activeMode()->setResult(1);
        flow.update(0);  // reports; the replace comes next
        flow.update(0);
        EXPECT_EQ(ids(flow), (std::vector<int32_t>{FlowModeId::MainMenu}));
        GameMode* menu = flow.activeMode();

        // Whatever the main menu reports, the front end replaces it.
        menu->setResult(1);
        flow.update(0);
        flow.update(0);
        EXPECT_EQ(ids(flow), (std::vector<int32_t>{FlowModeId::FrontEnd}));

        // A front end over a main menu that finishes with "OK" replaces itself
        // by the main menu: the one below is uncovered, not pushed again.
        flow.clear();
        flow.pushNew(FlowModeId::MainMenu);
        menu = flow.activeMode();
        flow.pushNew(FlowModeId::FrontEnd);
        g_journal.clear();
        flow.activeMode()->setResult(1);
        flow.update(0);
        flow.update(0);
        EXPECT_EQ(ids(flow), (std::vector<int32_t>{FlowModeId::MainMenu}));
        EXPECT_EQ(flow.activeMode(), menu);
        EXPECT_EQ(getAppStateFlags()->m_flags[AppFlag::LaunchKind], 0);
        for (const std::string& line : g_journal)
            EXPECT_NE(line, "menu delete");

        // Result 2 goes on with the game: launch kind 1, back down to the menu.
        flow.pushNew(FlowModeId::FrontEnd);
        flow.activeMode()->setResult(2);
        flow.update(0);
        flow.update(0);
        EXPECT_EQ(ids(flow), (std::vector<int32_t>{FlowModeId::MainMenu}));
        EXPECT_EQ(flow.activeMode(), menu);
        EXPECT_EQ(getAppStateFlags()->m_flags[AppFlag::LaunchKind], 1);
    }
    setFlowModeCreator(FlowModeId::Startup, nullptr);
    setFlowModeCreator(FlowModeId::FrontEnd, nullptr);
    setFlowModeCreator(FlowModeId::MainMenu, nullptr);
}

uint32_t g_clock = 0;
uint32_t testClock() { return g_clock; }
// (action id, the time the key event fired it) of every action delivered.
std::vector<std::pair<uint32_t, uint32_t>> g_actions;
int recordAction(Message& message, CallbackHandler&)
{
    g_actions.emplace_back(message.m_eventId, message.arg(1));
    return 1;
}

// The bindings on a running ticker: a press fires at once, a held menu move
// again after 500 ms and every 500 ms, a release on the key's way up.
TEST(FlowManager, BoundKeysFireAtPressRepeatEvery500MsAndOnRelease)
{
    TestApp app;
    FrameTicker* ticker = app.startTicker(&testClock);
    ASSERT_NE(ticker, nullptr);
    FlowManager::bindInputActions();
    CallbackHandler handler(nullptr, takeSequenceKey(), &recordAction);
    using Fired = std::vector<std::pair<uint32_t, uint32_t>>;
    const struct {
        uint32_t key;
        uint32_t heldMs;
        Fired fired; // in order of delivery; frames of 50 ms
    } cases[] = {
        {PlatformKey::Up, 1100,
         {{0x3f972120, 0}, {0x20174fb7, 0}, {0x3f972120, 550}, {0x3f972120, 1050}, {0x51938a16, 1100}}},
        {'2', 600, {{0x3f972120, 0}, {0x117e0f7d, 0}, {0x3f972120, 550}, {0x117e0f73, 600}}},
        {'5', 600, {{0x2074d009, 0}, {0x117e0f7a, 0}, {0x172e9965, 0}, {0x117e0f70, 600}}},
        {PlatformKey::Select, 600, {{0x2074d009, 0}, {0x172e9965, 0}, {0xb38b3814, 600}}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> ids;
        for (const auto& [id, at] : c.fired)
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
                ids.push_back(id);
                subscribe(&handler, id);
            }
        g_actions.clear();
        const uint32_t start = g_clock;
        app.dispatch(InputEventId::KeyDown, c.key, 0);
        while (g_clock < start + c.heldMs) {
            g_clock += 50;
            ticker->frame();
        }
        app.dispatch(InputEventId::KeyUp, c.key, 0);
        g_clock += 50;
        ticker->frame();
        Fired fired;
        for (const auto& [id, at] : g_actions)
            fired.emplace_back(id, at - start);
        EXPECT_EQ(fired, c.fired) << c.key;
        unsubscribeAll(&handler);
    }
    removeInputActions(TaskKey::InputActions);
}

} // namespace
