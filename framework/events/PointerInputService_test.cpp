#include "framework/events/PointerInputService.h"

#include "framework/events/EventIds.h"
#include "tests/support/TestApp.h"

#include <gtest/gtest.h>

namespace {

TEST(PointerInputService, PointerEventsChangeNothingAndUpdateCopiesFlag)
{
    TestApp app;
    auto* pointer = new PointerInputService(); // the registry owns it
    ASSERT_EQ(pointer->init(), 1);
    EXPECT_EQ(findService(ServiceId::PointerInput), pointer);
    pointer->m_pressed = 1;
    pointer->update(20);
    for (uint32_t id : {InputEventId::PointerMove, InputEventId::ButtonDown, InputEventId::ButtonUp,
                        InputEventId::DoubleClick})
        app.dispatch(id, 0, 0x00100010);
    EXPECT_EQ(pointer->m_previousPressed, 1);
    EXPECT_EQ(pointer->m_time, 20u);
    app.dispatch(InputEventId::InputWipeAgain, 0, 0);
    EXPECT_EQ(pointer->m_pressed, 0);
    EXPECT_EQ(pointer->m_previousPressed, 0);
    EXPECT_EQ(pointer->m_time, 0u);
    delete pointer;
    EXPECT_EQ(findService(ServiceId::PointerInput), nullptr);
    app.dispatch(InputEventId::InputWipe, 0, 0);
}

} // namespace
