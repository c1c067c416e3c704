#include "framework/events/Subscription.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/events/CallbackHandler.h"
#include "framework/events/HandlerList.h"
#include "framework/events/Message.h"
#include "tests/support/TestApp.h"

namespace {
constexpr uint32_t Ping = 0x1111;
constexpr uint32_t Pong = 0x2222;

// A handler whose owner records calls and can act on other handlers.
struct Recorder : HashedObject {
    explicit Recorder(int tag, std::vector<int>* log) : HashedObject(0x5eed), tag(tag), log(log) {}
    int tag;
    std::vector<int>* log;
    int result = 0;
    std::vector<uint32_t> args;
    CallbackHandler* unsubscribeOnCall = nullptr;
    CallbackHandler* deleteOnCall = nullptr;
    bool redispatch = false;
};

int record(Message& message, CallbackHandler& handler)
{
    auto* r = static_cast<Recorder*>(handler.m_owner);
    r->log->push_back(r->tag);
    r->args = {message.arg(0), message.arg(1), message.arg(2)};
    if (r->redispatch) {
        r->redispatch = false;
        getGameApp()->dispatch(message.m_eventId, 0, 0);
    }
    if (r->unsubscribeOnCall)
        unsubscribeAll(r->unsubscribeOnCall);
    if (r->deleteOnCall) {
        unsubscribeAll(r->deleteOnCall);
        delete r->deleteOnCall;
        r->deleteOnCall = nullptr;
    }
    return r->result;
}

struct Fixture {
    TestApp app;
    std::vector<int> log;
};

int routerSize()
{
    return int(findEventRouter()->count());
}
} // namespace

TEST(Subscription, PrioritiesFiveNineFiveAreCalledNineFiveFive)
{
    Fixture f;
    Recorder a(1, &f.log), b(2, &f.log), c(3, &f.log);
    CallbackHandler ha(&a, 0x80000001, record), hb(&b, 0x80000002, record), hc(&c, 0x80000003, record);
    ASSERT_EQ(subscribe(&ha, Ping, 5), 1);
    ASSERT_EQ(subscribe(&hb, Ping, 9), 1);
    ASSERT_EQ(subscribe(&hc, Ping, 5), 1);
    f.app.dispatch(Ping, 7, 8);
    EXPECT_EQ(f.log, (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(a.args, (std::vector<uint32_t>{7, 8, 0}));
    unsubscribeAll(&ha);
    unsubscribeAll(&hb);
    unsubscribeAll(&hc);
    EXPECT_EQ(routerSize(), 0);
}

TEST(Subscription, MessageWithoutSubscribersReachesNobodyAndReturnsZero)
{
    Fixture f;
    auto* message = new Message(&f.app, Pong);
    EXPECT_EQ(message->run(0, TickInfo{}), 0);
    EXPECT_EQ(message->m_handled, 0);
    delete message;
    EXPECT_EQ(subscribe(nullptr, Ping), 0);
}

TEST(Subscription, DeliveryReturnsLastResultAndFlagsAnyHandled)
{
    Fixture f;
    Recorder a(1, &f.log), b(2, &f.log);
    a.result = 1;
    CallbackHandler ha(&a, 0x80000001, record), hb(&b, 0x80000002, record);
    subscribe(&ha, Ping, 9);
    subscribe(&hb, Ping, 1);
    Message message(&f.app, Ping);
    EXPECT_EQ(message.run(1, TickInfo{}), 0); // b answers last; the walk goes on after a
    EXPECT_EQ(message.m_handled, 1);
    EXPECT_EQ(message.m_handledAny, 1);
    EXPECT_EQ(f.log, (std::vector<int>{1, 2}));

    // A target key reaches only that handler.
    f.log.clear();
    Message targeted(&f.app, Ping, 0x80000002);
    targeted.run(1, TickInfo{});
    EXPECT_EQ(f.log, (std::vector<int>{2}));
    unsubscribeAll(&ha);
    unsubscribeAll(&hb);
}

TEST(Subscription, SubscribeManyAndUnsubscribeOfLastHandlerEmptiesRouter)
{
    Fixture f;
    Recorder a(1, &f.log);
    CallbackHandler ha(&a, 0x80000001, record);
    const uint32_t ids[] = {Ping, Pong, 0};
    ASSERT_EQ(subscribeMany(&ha, ids), 1);
    EXPECT_EQ(routerSize(), 2);
    removeHandlerFromEvent(&ha, Ping, findEventRouter());
    EXPECT_EQ(routerSize(), 1);
    EXPECT_EQ(findEventList(findEventRouter(), Ping), nullptr);
    subscribe(&ha, Ping);
    unsubscribeMany(&ha, ids);
    EXPECT_EQ(routerSize(), 0);
}

TEST(Subscription, HandlerSubscribedTwiceOrWithOwnerKeyZeroLeavesNothingBehind)
{
    Fixture f;
    Recorder a(1, &f.log), b(2, &f.log);
    CallbackHandler twice(&a, 0x80000001, record), keyless(&b, 0, record);
    subscribe(&twice, Ping);
    subscribe(&twice, Ping);
    subscribe(&keyless, Ping);
    f.app.dispatch(Ping, 0, 0);
    EXPECT_EQ(f.log, (std::vector<int>{1, 1, 2}));
    unsubscribeAll(&twice);
    unsubscribeAll(&keyless);
    EXPECT_EQ(routerSize(), 0);
}

TEST(Subscription, HandlersSharingAnOwnerKeyAreRemovedOneByOne)
{
    Fixture f;
    Recorder a(1, &f.log), b(2, &f.log);
    CallbackHandler ha(&a, 0x80000005, record), hb(&b, 0x80000005, record);
    subscribe(&ha, Ping);
    subscribe(&hb, Ping);
    unsubscribeAll(&hb);
    f.app.dispatch(Ping, 0, 0);
    EXPECT_EQ(f.log, (std::vector<int>{1}));
    unsubscribeAll(&ha);
}

// Callbacks that unsubscribe or delete handlers while the list is walked.
TEST(Subscription, ReentrantUnsubscribeDuringDeliveryIsSafe)
{
    enum Act { Self, Next, DeleteNext, LastSelf, Redispatch };
    const struct {
        Act act;
        std::vector<int> firstRun, secondRun;
        int routerAfter;
    } cases[] = {
        {Self, {1, 2, 3}, {2, 3}, 1},
        {Next, {1, 3}, {1, 3}, 1},
        {DeleteNext, {1, 3}, {1, 3}, 1},
        {Redispatch, {1, 1, 2, 3, 2, 3}, {1, 2, 3}, 1},
    };
    for (const auto& c : cases) {
        Fixture f;
        Recorder a(1, &f.log), b(2, &f.log), d(3, &f.log);
        auto* ha = new CallbackHandler(&a, 0x80000001, record, 9);
        auto* hb = new CallbackHandler(&b, 0x80000002, record, 5);
        auto* hd = new CallbackHandler(&d, 0x80000003, record, 1);
        subscribe(ha, Ping, ha->m_priority);
        subscribe(hb, Ping, hb->m_priority);
        subscribe(hd, Ping, hd->m_priority);
        if (c.act == Self)
            a.unsubscribeOnCall = ha;
        if (c.act == Next)
            a.unsubscribeOnCall = hb;
        if (c.act == DeleteNext) {
            a.deleteOnCall = hb;
            hb = nullptr;
        }
        if (c.act == Redispatch)
            a.redispatch = true;
        f.app.dispatch(Ping, 0, 0);
        EXPECT_EQ(f.log, c.firstRun) << c.act;
        a.unsubscribeOnCall = nullptr;
        f.log.clear();
        f.app.dispatch(Ping, 0, 0);
        EXPECT_EQ(f.log, c.secondRun) << c.act;
        EXPECT_EQ(routerSize(), c.routerAfter);
        for (CallbackHandler* h : {ha, hb, hd}) {
            if (h) {
                unsubscribeAll(h);
                delete h;
            }
        }
        EXPECT_EQ(routerSize(), 0);
    }
}

TEST(Subscription, LastHandlerUnsubscribingItselfTakesTheListOutAfterDelivery)
{
    Fixture f;
    Recorder a(1, &f.log);
    auto* ha = new CallbackHandler(&a, 0x80000001, record);
    subscribe(ha, Ping);
    a.deleteOnCall = ha;
    f.app.dispatch(Ping, 0, 0);
    EXPECT_EQ(f.log, (std::vector<int>{1}));
    EXPECT_EQ(routerSize(), 0);
}

TEST(Subscription, LifecycleEventsReachTheTickerHookAfterHandlers)
{
    Fixture f;
    Recorder a(1, &f.log);
    CallbackHandler ha(&a, 0x80000001, record);
    subscribe(&ha, EventId::Pause);
    std::vector<uint32_t> lifecycle;
    f.app.onLifecycle = [&](uint32_t id) {
        EXPECT_EQ(f.log.size(), 1u);
        lifecycle.push_back(id);
    };
    f.app.dispatch(EventId::Pause, 0, 0);
    f.app.dispatch(Ping, 0, 0);
    EXPECT_EQ(lifecycle, (std::vector<uint32_t>{EventId::Pause}));
    unsubscribeAll(&ha);
}
