// What the DirectDraw stand-in shares with its window output and frame
// capture: the screen's formats and its one buffer.
#pragma once

#include "platform/host/HostDirectDraw.h"

#include <SDL2/SDL.h>

#include <cstdint>
#include <vector>

struct HostScreenFormat {
    DWORD bits;
    DWORD red;
    DWORD green;
    DWORD blue;
    uint32_t sdlFormat;
};

// In the order of HostDisplayFormat.
inline constexpr HostScreenFormat kHostScreenFormats[] = {
    { 16, 0xF800, 0x07E0, 0x001F, SDL_PIXELFORMAT_RGB565 },
    { 32, 0xFF0000, 0x00FF00, 0x0000FF, SDL_PIXELFORMAT_RGB888 },
    { 16, 0x7C00, 0x03E0, 0x001F, SDL_PIXELFORMAT_RGB555 },
};

inline const HostScreenFormat& hostScreenFormat(HostDisplayFormat format)
{
    return kHostScreenFormats[static_cast<int>(format)];
}

inline uint32_t hostBytesPerPixel(HostDisplayFormat format)
{
    return hostScreenFormat(format).bits / 8;
}

struct HostScreen {
    uint32_t width;
    uint32_t height;
    HostDisplayFormat format;
    std::vector<uint8_t> pixels;
};

// The screen in the window (the main one when window is null), scaled for a
// desktop; nothing without a window.
void hostShowScreen(const HostScreen& screen, HWND window);
// The screen as it stands, shown in the window again; nothing before the
// first primary.
void hostShowScreenAgain(HWND window);
// The frame as numbered PNG into the folder PENNYFALL_CAPTURE names; the
// first failure is reported once, through warned.
void hostCaptureFrame(const HostFrame& frame, uint32_t serial, bool& warned);
