// The screen shown in an SDL window: the stand-in's presents made visible on
// a desktop, scaled by the window's factor.
#include "platform/host/internal/HostScreen.h"
#include "platform/host/internal/HostWindowState.h"

void hostShowScreen(const HostScreen& screen, HWND window)
{
    SDL_Window* sdl = hostSdlWindow(window ? window : hostMainWindow());
    SDL_Surface* target = sdl ? SDL_GetWindowSurface(sdl) : nullptr;
    if (!target)
        return;
    const uint32_t bpp = hostBytesPerPixel(screen.format);
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(screen.pixels.data()),
        int(screen.width), int(screen.height), int(bpp * 8), int(screen.width * bpp),
        hostScreenFormat(screen.format).sdlFormat);
    if (!frame)
        return;
    const int scale = hostWindowScale();
    SDL_Rect to { 0, 0, int(screen.width) * scale, int(screen.height) * scale };
    SDL_BlitScaled(frame, nullptr, target, &to);
    SDL_FreeSurface(frame);
    SDL_UpdateWindowSurface(sdl);
}
