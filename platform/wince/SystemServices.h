// The system services the game asks of the device: quitting, opening a web
// address, the screen orientation and key queries that follow it. The
// platform layer implements them in PlatformSystem.
#pragma once

#include "framework/services/HashedObject.h"

#include <cstdint>

// The queries whose direction turns with the screen: three rotations and one
// direction that never turns.
enum RotatedKey : uint32_t {
    kRotatedA = 0,
    kRotatedB = 1,
    kRotatedC = 2,
    kRotatedFixed = 3,
};

// The direction code a rotated query asks for at an orientation (1..4);
// 0 for an orientation outside that range.
uint32_t rotatedDirection(RotatedKey key, uint32_t orientation);

class SystemServices : public HashedObject {
public:
    explicit SystemServices(uint32_t typeId) : HashedObject(typeId) {}

    // Ends the message loop.
    virtual void quit() = 0;
    // 1 when the address was handed to the browser (the program then quits).
    virtual int openUrl(const char16_t* url) = 0;
    // 1..4; 1 is the screen's natural orientation.
    virtual uint32_t getOrientation() = 0;
    virtual int keyState(uint32_t direction, uint32_t context) = 0;
    virtual int keyEvent(uint32_t direction, uint32_t context) = 0;
    // keyState / keyEvent for the direction the query stands for at the
    // current orientation.
    virtual int rotatedKeyState(RotatedKey key, uint32_t context) = 0;
    virtual int rotatedKeyEvent(RotatedKey key, uint32_t context) = 0;
    // 3 for the left soft key (15), 4 for any other key.
    virtual uint32_t keyClass(uint32_t key) = 0;
};
