// Four flag bytes and two words of the application's state, through which
// distant parts of the game signal each other; the first byte stops drawing.
#pragma once

#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

// Which byte of m_flags says what.
namespace AppFlag {
constexpr uint32_t DrawingSuppressed = 0; // frames update but draw nothing
constexpr uint32_t VolumeKeysOff = 1;
constexpr uint32_t LaunchKind = 2;        // how the front end left the game to start
constexpr uint32_t SaveFailed = 3;        // the saved game could not be written
} // namespace AppFlag

class AppStateFlags : public Service {
public:
    AppStateFlags() : Service(ServiceId::AppStateFlags) {}

    bool noDrawing() const { return m_flags[AppFlag::DrawingSuppressed] != 0; }

    uint8_t m_flags[4] = {};
    int32_t m_word = 0;
    // The last game's score, for the score page and the high-score steps.
    int32_t m_score = 0;
};

AppStateFlags* getAppStateFlags();
