#include "framework/events/KeyInputService.h"

#include "framework/events/EventIds.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct KeyInputFixture : ::testing::Test {
    KeyInputFixture()
    {
        EXPECT_EQ(keys->init(), 1);
    }

    TestApp app;
    KeyInputService* keys = new KeyInputService(); // the registry owns it
};

TEST_F(KeyInputFixture, PressAndReleaseWithinOneFrameShowInPreviousState)
{
    app.dispatch(InputEventId::KeyDown, 5, 0);
    app.dispatch(InputEventId::KeyUp, 5, 0);
    keys->update(30);
    EXPECT_EQ(keys->m_previous.pressCount[5], 1);
    EXPECT_EQ(keys->m_previous.releaseCount[5], 1);
    EXPECT_EQ(keys->m_previous.downCount[5], 0);
    EXPECT_EQ(keys->m_previous.heldTime[5], 0u);
    EXPECT_EQ(keys->m_current.pressCount[5], 0);
    EXPECT_EQ(keys->m_current.releaseCount[5], 0);
}

TEST_F(KeyInputFixture, HeldTimeGrowsPerUpdateAndKeyUpClearsIt)
{
    app.dispatch(InputEventId::KeyDown, 5, 0);
    for (int i = 0; i < 3; ++i)
        keys->update(50);
    EXPECT_EQ(keys->m_current.heldTime[5], 150u);
    EXPECT_EQ(keys->m_previous.anyHeld, 1);
    EXPECT_EQ(keys->m_idleTime, 0u);
    app.dispatch(InputEventId::KeyUp, 5, 0);
    EXPECT_EQ(keys->m_current.heldTime[5], 0u);
    EXPECT_EQ(keys->m_current.downCount[5], 0);
}

TEST_F(KeyInputFixture, KeyUpWithoutKeyDownCountsOnlyTheRelease)
{
    app.dispatch(InputEventId::KeyUp, 7, 0);
    EXPECT_EQ(keys->m_current.downCount[7], 0);
    EXPECT_EQ(keys->m_current.releaseCount[7], 1);
}

TEST_F(KeyInputFixture, ResetEventsWipeAllState)
{
    for (uint32_t reset : {EventId::Resume, InputEventId::InputWipe, InputEventId::InputWipeAgain}) {
        app.dispatch(InputEventId::KeyDown, 5, 0);
        keys->update(50);
        app.dispatch(InputEventId::KeyDown, 9, 0);
        app.dispatch(reset, 0, 0);
        EXPECT_EQ(keys->m_current.downCount[5], 0) << reset;
        EXPECT_EQ(keys->m_current.pressCount[9], 0) << reset;
        EXPECT_EQ(keys->m_current.heldTime[5], 0u) << reset;
        EXPECT_EQ(keys->m_previous.pressCount[5], 0) << reset;
        EXPECT_EQ(keys->m_idleTime, 0u) << reset;
    }
}

TEST_F(KeyInputFixture, IdleTimeAccumulatesWithoutKeys)
{
    keys->update(30);
    keys->update(30);
    EXPECT_EQ(keys->m_idleTime, 60u);
    app.dispatch(InputEventId::KeyDown, 1, 0);
    EXPECT_EQ(keys->m_idleTime, 0u);
}

TEST_F(KeyInputFixture, KeyCodesOutsideTheTablesAreIgnored)
{
    const KeyInputState before = keys->m_current;
    app.dispatch(InputEventId::KeyDown, 128, 0);
    app.dispatch(InputEventId::KeyUp, 0xFFFFFFFF, 0);
    EXPECT_EQ(std::memcmp(&before, &keys->m_current, sizeof before), 0);
}

TEST_F(KeyInputFixture, ShutdownUnsubscribesAndRegistryFindsServices)
{
    EXPECT_EQ(findService(ServiceId::KeyInput), keys);
    keys->shutdown();
    keys->shutdown();
    app.dispatch(InputEventId::KeyDown, 5, 0);
    EXPECT_EQ(keys->m_current.pressCount[5], 0);
    delete keys;
    EXPECT_EQ(findService(ServiceId::KeyInput), nullptr);
    app.dispatch(InputEventId::InputWipe, 0, 0);
}

} // namespace
