#include "framework/services/AppBase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <vector>

#include "framework/events/EventIdCounter.h"
#include "framework/events/HandlerList.h"
#include "framework/services/AppStateFlags.h"
#include "framework/services/IdHashMap.h"
#include "framework/services/ResourceFactory.h"
#include "framework/services/Service.h"
#include "framework/services/ServiceAccessors.h"
#include "tests/support/TestApp.h"

namespace {
std::vector<uint32_t>* s_destroyed = nullptr;

struct Probe : Service {
    explicit Probe(uint32_t id, Service** victim = nullptr, Service** selfRef = nullptr)
        : Service(id), m_victim(victim), m_selfRef(selfRef)
    {
    }
    ~Probe() override
    {
        if (m_selfRef)
            *m_selfRef = nullptr;
        if (s_destroyed)
            s_destroyed->push_back(m_typeId);
        // A service that owns another deletes it from its own destructor.
        if (m_victim && *m_victim) {
            Service* victim = *m_victim;
            *m_victim = nullptr;
            delete victim;
        }
    }
    Service** m_victim;
    Service** m_selfRef;
};
} // namespace

TEST(AppBase, AccessorsAnswerNullWithoutApplication)
{
    ASSERT_EQ(getGameApp(), nullptr);
    EXPECT_EQ(getServiceRegistry(), nullptr);
    EXPECT_EQ(getEventDispatcher(), nullptr);
    EXPECT_EQ(findService(ServiceId::Properties), nullptr);
    EXPECT_EQ(getEventIdCounter(), nullptr);
    EXPECT_EQ(takeSequenceKey(), 0u);
    EXPECT_EQ(getAppStateFlags(), nullptr);
    EXPECT_EQ(getResourceFactory(), nullptr);
    Probe orphan(0x1234); // no registry: registers nowhere, harmlessly
}

TEST(AppBase, StartUpBuildsRegistryAndRouterAndTeardownReleasesPointer)
{
    {
        TestApp app;
        ASSERT_TRUE(app.started());
        EXPECT_EQ(getGameApp(), &app);
        ASSERT_NE(getServiceRegistry(), nullptr);
        EXPECT_EQ(getServiceRegistry()->bucketCount(), 23u);
        HandlerEntry* router = nullptr;
        EXPECT_EQ(getEventDispatcher()->find(0, DispatcherKey::EventRouter, &router), 1);
        ASSERT_NE(router, nullptr);
        EXPECT_EQ(router->m_payload->m_typeId, TypeId::HandlerList);
    }
    EXPECT_EQ(getGameApp(), nullptr);
}

TEST(AppBase, ServiceRegistersAndUnregistersByValue)
{
    TestApp app;
    auto* older = new Probe(0x77);
    auto* newer = new Probe(0x77);
    EXPECT_EQ(findService(0x77), newer);
    // The older one goes first: the newer must stay registered.
    delete older;
    EXPECT_EQ(findService(0x77), newer);
    delete newer;
    EXPECT_EQ(findService(0x77), nullptr);

    older = new Probe(0x77);
    newer = new Probe(0x77);
    delete newer;
    EXPECT_EQ(findService(0x77), older);
    delete older;
    EXPECT_EQ(getServiceRegistry()->anyNode(), nullptr);
}

TEST(AppBase, TeardownDeletesEveryServiceEvenWhenDestructorsDeleteOthers)
{
    std::vector<uint32_t> destroyed;
    s_destroyed = &destroyed;
    Service* owned = nullptr;
    {
        TestApp app;
        for (uint32_t id = 1; id <= 40; ++id)
            new Probe(id);
        owned = new Probe(100, nullptr, &owned);
        new Probe(101, &owned);
        new Probe(101); // a duplicate id
    }
    s_destroyed = nullptr;
    EXPECT_EQ(destroyed.size(), 43u);
    std::sort(destroyed.begin(), destroyed.end());
    EXPECT_EQ(std::adjacent_find(destroyed.begin(), destroyed.end(),
                                 [](uint32_t a, uint32_t b) { return a == b && a != 101; }),
              destroyed.end());
}

TEST(AppBase, EventIdCounterHandsOutSequenceKeysAndIsCached)
{
    TestApp app;
    EventIdCounter* counter = getEventIdCounter();
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(app.m_eventIdCounter, counter);
    EXPECT_EQ(findService(ServiceId::EventIdCounter), counter);
    EXPECT_EQ(getEventIdCounter(), counter);
    EXPECT_EQ(takeSequenceKey(), 0x40000001u);
    EXPECT_EQ(takeSequenceKey(), 0x40000002u);
    counter->m_count = 0x3ffffffe;
    EXPECT_EQ(counter->takeKey(), 0x7fffffffu);
    EXPECT_EQ(counter->takeKey(), 0x40000000u); // wraps within the 30 bits
    delete counter;
    EXPECT_EQ(app.m_eventIdCounter, nullptr);
}

TEST(AppBase, MakeKeyFormsNameAndSequenceKeys)
{
    const struct {
        uint32_t value, level, key;
    } cases[] = {
        {0x12345678, 0, 0x92345678}, {0xffffffff, 0, 0xffffffff}, {0x12345678, 1, 0x52345678},
        {0xc0000001, 1, 0x40000001}, {0x0, 31, 0x1},                {0x3, 30, 0x3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(makeKey(c.value, c.level), c.key) << c.value << " " << c.level;
    EXPECT_EQ(sequenceKey(0), makeKey(1, 1));
}

TEST(AppBase, LookupOrCreateCreatesOnceAndCreatorsAreInstalledById)
{
    TestApp app;
    AppStateFlags* flags = getAppStateFlags();
    ASSERT_NE(flags, nullptr);
    EXPECT_EQ(getAppStateFlags(), flags);
    EXPECT_FALSE(flags->noDrawing());

    EXPECT_EQ(findOrCreateCachedService(ServiceId::SoundDevice, &AppBase::m_soundDevice), nullptr);
    static int made = 0;
    setSoundDeviceCreator([]() -> HashedObject* {
        ++made;
        return new (std::nothrow) Probe(ServiceId::SoundDevice);
    });
    HashedObject* sound = findOrCreateCachedService(ServiceId::SoundDevice, &AppBase::m_soundDevice);
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(findOrCreateCachedService(ServiceId::SoundDevice, &AppBase::m_soundDevice), sound);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(findService(ServiceId::SoundDevice), sound);
    setSoundDeviceCreator(nullptr);
    EXPECT_EQ(getServiceCreator(ServiceId::SoundDevice), nullptr);
}

TEST(AppBase, CachedLookupFindsAServiceMadeWithoutItsAccessor)
{
    TestApp app;
    Probe* direct = new Probe(ServiceId::NullService);
    static int made = 0;
    setNullServiceCreator([]() -> HashedObject* {
        ++made;
        return nullptr;
    });
    EXPECT_EQ(findOrCreateCachedService(ServiceId::NullService, &AppBase::m_nullService), direct);
    EXPECT_EQ(app.m_nullService, direct);
    EXPECT_EQ(made, 0);
    setNullServiceCreator(nullptr);
    app.m_nullService = nullptr;
}

TEST(AppBase, ResourceFactoryMakesWhatTheTypeTableMakes)
{
    TestApp app;
    ResourceFactory* factory = getResourceFactory();
    ASSERT_NE(factory, nullptr);
    HashedObject* out = &app;
    EXPECT_EQ(factory->create(5, &out), 0);
    EXPECT_EQ(out, nullptr);
    setResourceTypeCreator([](uint32_t type) -> HashedObject* {
        return type == 5 ? new (std::nothrow) HashedObject(5) : nullptr;
    });
    EXPECT_EQ(factory->create(6, &out), 0);
    ASSERT_EQ(factory->create(5, &out), 1);
    EXPECT_EQ(out->m_typeId, 5u);
    delete out;
    setResourceTypeCreator(nullptr);
}
