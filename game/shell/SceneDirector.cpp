// The director's clock and timings.
#include "game/shell/SceneDirector.h"

#include "game/shell/GameWorld.h"

namespace {
// The flight's length in time units for each kind of visit.
constexpr int32_t kFlightUnitsFirstVisit = 400;
constexpr int32_t kFlightUnitsAllDone = 1200;
constexpr int32_t kFlightUnits = 750;
constexpr int32_t kUnitDivisor = 1500;
constexpr int32_t kAllDoneLevels = 9;
} // namespace

SceneDirector::~SceneDirector()
{
    m_unlockedNode.reset();
    m_levelNode.reset();
}

int32_t SceneDirector::clock() const
{
    return m_world ? m_world->getClock() : 0;
}

void SceneDirector::markIfUnset()
{
    if (m_mark == -1)
        m_mark = clock();
}

int32_t SceneDirector::planIntroTimings(int32_t* start, int32_t* duration, int32_t completedLevels)
{
    const int32_t u = *duration / kUnitDivisor;
    m_timeUnit = u;
    m_mark = -1;
    if (m_world && m_world->m_nextLevel == -1) {
        *duration = kFlightUnitsFirstVisit * u;
        m_jingle2At = 310 * u;
        m_jingleAt = 250 * u;
        m_cameraMark = -1;
        m_startClock = 0;
        return -1;
    }
    *start = 0;
    m_jingleAt = 60 * u;
    m_jingle2At = -1;
    if (completedLevels >= kAllDoneLevels) {
        *duration = kFlightUnitsAllDone * u;
        m_cameraMark = 180 * u;
        m_startClock = 800 * u;
    } else {
        *duration = kFlightUnits * u;
        m_cameraMark = -1;
        m_startClock = 500 * u;
    }
    return -1;
}

void SceneDirector::animateScene(int32_t slot)
{
    markIfUnset();
    if (!m_world || slot < 0 || uint32_t(slot) >= GameWorld::kSceneSlotCount)
        return;
    if (EngineHandle* scene = m_world->m_sceneSlots[slot].get()) {
        int32_t validity = 0;
        tableOf<IkwObject3DTable>(scene).animate(scene, clock(), &validity);
    }
}

bool SceneDirector::hasElapsed(int32_t ms)
{
    markIfUnset();
    return ms >= 0 && clock() - m_mark > ms;
}

bool SceneDirector::isHoldActive() const
{
    const int32_t e = clock() - m_mark;
    return e > 0 && e < kHoldEndMs;
}

bool SceneDirector::fireCue(int32_t& at)
{
    if (at < 0)
        return false;
    markIfUnset();
    if (clock() - m_mark <= at)
        return false;
    at = -1;
    return true;
}

void SceneDirector::setupLevelEnd(EngineHandle* /*group*/)
{
}
