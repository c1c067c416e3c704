// The device's system services on this platform. The platform application
// creates it before the game and deletes it after the game's shutdown; it
// also holds the device's sound, vibration and volume defaults, which seed a
// fresh preferences file.
#pragma once

#include "platform/wince/SystemServices.h"

class PlatformSystem : public SystemServices {
public:
    PlatformSystem();

    void quit() override;
    int openUrl(const char16_t* url) override;
    uint32_t getOrientation() override;
    // No direction keys are read this way on this platform: both answer 0.
    int keyState(uint32_t direction, uint32_t context) override;
    int keyEvent(uint32_t direction, uint32_t context) override;
    int rotatedKeyState(RotatedKey key, uint32_t context) override;
    int rotatedKeyEvent(RotatedKey key, uint32_t context) override;
    uint32_t keyClass(uint32_t key) override;

    uint32_t m_volume = 6; // 0..10
    uint8_t m_soundEnabled = 1;
    uint8_t m_vibrationEnabled = 1;
    // Fixed on this platform.
    uint32_t m_orientation = 1;
};

// The program-wide system services; null outside the platform application's run.
PlatformSystem* getPlatformSystem();
void setPlatformSystem(PlatformSystem* system);
// Ends the message loop through the system services, when they exist.
void quitProgram();
// A message box over everything, for what the player must read before the
// program ends (a start-up that cannot go on).
void showErrorMessage(const char16_t* text);
constexpr char16_t kNoMemoryMessage[] = u"There is not enough memory for the game. Close other programs and start the game again.";
