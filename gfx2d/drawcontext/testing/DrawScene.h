// Drawing tests' common ground: the library started on a test screen with
// the span-program sets of a pack built in memory, a width x height
// X8R8G8B8 target made current and the drawing context open and begun.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/resources/ResourceManager.h"
#include "framework/resources/ResourcePack.h"
#include "gfx2d/display/testing/TestScreen.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "tests/support/TestApp.h"
#include "tools/pack/HostFiles.h"
#include "tools/pack/PackManifest.h"
#include "tools/pack/ResourceManifest.h"

struct SpanPack {
    ResourcePack pack;
    SpanPack()
    {
        PackManifest manifest;
        std::string error;
        std::vector<uint8_t> bytes;
        if (parseResourceManifest("0x101 0x374F8659 plain 4 restable\nspanprograms deflated 4\n", "", manifest,
                                  error) &&
            manifest.writer.build(manifest.form, bytes))
            pack.openFile(new MemoryFile(bytes));
    }
};

struct DrawScene {
    SpanPack spans;
    TestApp app;
    ResourceManager* manager = new ResourceManager();
    bool tableOpen = (app.m_resourceManager = manager, manager->openTable(&spans.pack, 50, 8, true) == 1);
    TestScreen screen;
    MemorySurface target;
    DrawContext dc;

    DrawScene(uint32_t width, uint32_t height)
    {
        screen.init();
        makeTarget(target, width, height);
        dc.open(0, 0);
        dc.beginDraw();
    }
    ~DrawScene()
    {
        dc.endDraw();
        dc.close(0, 0);
    }
    const uint32_t* pixels() { return targetPixels(target); }
};

// An X8R8G8B8 picture from a colour function of (x, y).
inline int makeImage(MemorySurface& s, int w, int h, const std::function<uint32_t(int, int)>& colour)
{
    const SurfaceAttribute list[] = {{SurfaceKey::Width, uint32_t(w)},
                                     {SurfaceKey::Height, uint32_t(h)},
                                     {SurfaceKey::Format0, PixelFormat::X8R8G8B8},
                                     {SurfaceKey::End, 0}};
    if (!s.init(list))
        return 0;
    auto* p = const_cast<uint32_t*>(targetPixels(s));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[y * w + x] = colour(x, y);
    return 1;
}

// An 8-bit picture of indices into the palette given under key 11, or made
// without one when palette is null.
inline int makeIndexedImage(MemorySurface& s, int w, int h, const uint32_t* palette,
                            const std::function<uint8_t(int, int)>& index)
{
    const SurfaceAttribute list[] = {{SurfaceKey::Width, uint32_t(w)},
                                     {SurfaceKey::Height, uint32_t(h)},
                                     {SurfaceKey::Format0, PixelFormat::P8X8R8G8B8},
                                     {palette ? SurfaceKey::Palette : SurfaceKey::End, uintptr_t(palette)},
                                     {SurfaceKey::End, 0}};
    if (!s.init(list))
        return 0;
    auto* p = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(targetPixels(s)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[y * w + x] = index(x, y);
    return 1;
}
