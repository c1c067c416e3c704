// The frame surface: an image surface whose pixels are a DirectDraw
// off-screen surface, shown by blitting it onto the screen's primary surface.
// Its plane 0 points at the off-screen memory only while it is locked; locks
// nest, and the last unlock gives the memory back to DirectDraw.
#pragma once

#include "gfx2d/display/Surface.h"

#include <cstdint>

class IDirectDrawSurface;

class DirectDrawSurface : public ImageSurface {
public:
    DirectDrawSurface();
    ~DirectDrawSurface() override;

    int kind() const override { return 1; }
    int init(const SurfaceAttribute* attributes) override;
    void releaseAll() override;
    void makeCurrent() override;
    int lock(uint8_t** address, int32_t* pitch, uint32_t lockFlags, const Rect16* rect) override;
    void unlock() override;
    int getSize(uint32_t* width, uint32_t* height) const override;

    IDirectDrawSurface* primary() const { return m_primary; }
    IDirectDrawSurface* back() const { return m_back; }
    uint32_t lockCount() const { return m_lockCount; }

private:
    IDirectDrawSurface* m_primary = nullptr;
    IDirectDrawSurface* m_back = nullptr;
    uint32_t m_lockCount = 0;
};

// The list the display context builds its frame surface with.
extern const SurfaceAttribute kFrameSurfaceAttributes[];
