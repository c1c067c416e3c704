#include "framework/util/ActivityAccumulator.h"

#include "framework/events/EventIds.h"
#include "framework/events/TaskIds.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

namespace {

TEST(ActivityAccumulator, AddsUntilAResetEvent)
{
    for (uint32_t reset : {EventId::Resume, InputEventId::InputWipe, InputEventId::InputWipeAgain}) {
        TestApp app;
        auto* activity = new ActivityAccumulator(); // the registry owns it
        EXPECT_EQ(findService(ServiceId::ActivityAccumulator), activity);
        activity->m_flag = 1;
        activity->add(5);
        activity->add(7);
        EXPECT_EQ(activity->m_total, 12u);
        EXPECT_EQ(activity->m_lastFlag, 1);
        // Widget events pass through without touching the sum.
        app.dispatch(InputEventId::WidgetPress, 0, 0);
        EXPECT_EQ(activity->m_total, 12u);
        app.dispatch(reset, 0, 0);
        EXPECT_EQ(activity->m_total, 0u) << reset;
        EXPECT_EQ(activity->m_flag, 0) << reset;
        EXPECT_EQ(activity->m_lastFlag, 0) << reset;
    }
}

TEST(ActivityAccumulator, DestructionUnsubscribesAndLeavesRegistry)
{
    TestApp app;
    auto* activity = new ActivityAccumulator();
    delete activity;
    EXPECT_EQ(findService(ServiceId::ActivityAccumulator), nullptr);
    app.dispatch(EventId::Resume, 0, 0);
}

} // namespace
