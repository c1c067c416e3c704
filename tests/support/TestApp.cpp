// Application double.
#include "tests/support/TestApp.h"

#include "framework/events/EventIds.h"
#include "framework/events/FrameTicker.h"

TestApp::TestApp()
{
    setGameApp(this);
    m_started = startFramework() != 0;
}

TestApp::~TestApp()
{
    // Services' destructors still find the registry through getGameApp();
    // the base destructor lets go of the pointer last.
}

void TestApp::frame()
{
    if (onFrame)
        onFrame();
}

void TestApp::dispatch(uint32_t eventId, uint32_t arg1, uint32_t arg2)
{
    deliverEvent(eventId, arg1, arg2);
    if (onLifecycle && (eventId == EventId::Start || eventId == EventId::End || eventId == EventId::Pause ||
                        eventId == EventId::Resume))
        onLifecycle(eventId);
}

FrameTicker* TestApp::startTicker(uint32_t (*clock)())
{
    auto* ticker = new FrameTicker();
    m_frameTicker = ticker;
    ticker->setClock(clock);
    if (ticker->init() != 1)
        return nullptr;
    onLifecycle = [ticker](uint32_t id) { driveFrameTicker(ticker, id); };
    dispatch(EventId::Start, 0, 0);
    return ticker;
}
