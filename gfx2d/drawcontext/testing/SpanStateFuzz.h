// One span-state fuzz input through the drawing context: the image drawn
// with the input's span program, every vertex-run mode over the input's
// vertices, and the image again, meeting what the first draw left. The
// input may send the draws to a sharer whose source is made again at
// another size between them, and may draw 8-bit pictures, the first without
// its colours. After any input a clean picture must come out as it did at
// first, and memory spans may read but never change must be as it was:
// beside the pictures, pixels with a constant palette on unit 1, a texture
// object on unit 3, a store entry on unit 5, and the tables.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/raster/RasterTexture.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tools/span/SpanStateFuzzInput.h"

// Read-only memory: a store that got through would crash.
inline const uint32_t kSpanStatePalette[256] = {0x00FF00FF, 0x00123456, 0x00ABCDEF};

struct SpanStateScene : DrawScene {
    static constexpr int kWidth = 40, kHeight = 30, kSharedSide = 4;
    MemorySurface image;
    MemorySurface indexed[2];
    // The sharer's depth and stencil planes are made at its source's first size.
    MemorySurface source, sharer;
    SpanProgramSet set;
    std::vector<uint8_t> indices = std::vector<uint8_t>(64, 2);
    MemorySurface* storage = new MemorySurface();
    RasterTexture texture{std::unique_ptr<TextureStorage>(storage), nullptr};
    int32_t slot = -1;
    std::vector<uint8_t> made;
    std::vector<uint32_t> madePicture;

    SpanStateScene() : DrawScene(kWidth, kHeight)
    {
        makeImage(image, 24, 20, [](int x, int y) { return 0xFF000000u | uint32_t(x * 0x0A0B0C + y * 0x10203); });
        makeImage(*storage, 8, 8, [](int x, int y) { return uint32_t(x * 0x1020304 + y); });
        for (int i = 0; i < 2; ++i)
            makeIndexedImage(indexed[i], 24, 20, i ? kSpanStatePalette : nullptr,
                             [](int x, int y) { return uint8_t((x + y) % 3); });
        makeSource(kSharedSide, kSharedSide);
        const SurfaceAttribute shared[] = {{SurfaceKey::Source, uintptr_t(static_cast<Surface*>(&source))},
                                           {SurfaceKey::Format0, PixelFormat::X8R8G8B8},
                                           {SurfaceKey::Format1, PixelFormat::Z32},
                                           {SurfaceKey::Format2, PixelFormat::S8},
                                           {SurfaceKey::End, 0}};
        sharer.init(shared);
        RasterState& rs = *screen.rasterState();
        rs.bindTexturePixels(1, {PixelFormat::P8X8R8G8B8, 8, 8, indices.data(), uint32_t(indices.size()),
                                 reinterpret_cast<const uint8_t*>(kSpanStatePalette), sizeof kSpanStatePalette});
        texture.bindToUnit(rs, 3);
        slot = rs.textureStore()->createEntry(8, 8, PixelFormat::X8R8G8B8, 0);
        rs.bindTextureUnit(5, slot);
        made = readOnly();
        madePicture = picture();
    }
    // Hands f each block of memory spans may only read.
    template <class Visit>
    void readOnlyBlocks(Visit f)
    {
        RasterState& rs = *screen.rasterState();
        f(indices.data(), indices.size());
        f(rs.tables(), sizeof(RasterTables));
        f(targetPixels(image), 24 * 20 * 4);
        f(targetPixels(indexed[1]), 24 * 20);
        f(targetPixels(*storage), 8 * 8 * 4);
        f(rs.entryLevel(slot, 0), 8 * 8 * 4);
    }
    std::vector<uint8_t> readOnly()
    {
        std::vector<uint8_t> bytes;
        readOnlyBlocks([&bytes](const void* p, size_t n) {
            bytes.insert(bytes.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        });
        return bytes;
    }
    // The opaque program's image and a polygon, two rectangles and a segment.
    std::vector<uint32_t> picture()
    {
        const std::vector<uint8_t> clean = spanStateInput(1 | 2 << 2 | 3 << 4, {}, {});
        const std::vector<int16_t> shapes = {2, 3, 30, 1, 38, 25, 6, 28, 10, 10, 20, 20};
        std::fill_n(const_cast<uint32_t*>(pixels()), kWidth * kHeight, 0xFF102030u);
        run(clean.data(), clean.size());
        drawArrays(shapes);
        return std::vector<uint32_t>(pixels(), pixels() + kWidth * kHeight);
    }
    bool readOnlyIntact()
    {
        size_t at = 0;
        bool same = true;
        readOnlyBlocks([&](const void* p, size_t n) {
            same = same && std::memcmp(p, made.data() + at, n) == 0;
            at += n;
        });
        return same;
    }
    bool drawsAsAtFirst() { return picture() == madePicture; }
    void makeSource(int width, int height)
    {
        makeImage(source, width, height, [](int x, int y) { return uint32_t(x ^ y); });
    }
    // A picture through the span path with the set's first record.
    void drawImage(MemorySurface& picture)
    {
        const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne}, t[2] = {3 << 16, 2 << 16};
        dc.loadMatrix(sheared, t);
        dc.setCustomSpans(1);
        dc.setCustomSpanSet(&set);
        dc.drawImage(&picture, 0, nullptr);
        dc.setCustomSpans(0);
        dc.setCustomSpanSet(nullptr);
    }
    void drawArrays(const std::vector<int16_t>& vertices)
    {
        const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne}, t[2] = {0, 0};
        dc.loadMatrix(sheared, t);
        dc.setColor(0xFF80C0E0);
        dc.vertexPointer(2, VertexType::S16, 0, vertices.data());
        const uint32_t n = uint32_t(vertices.size() / 2);
        for (uint32_t mode : {DrawMode::Lines, DrawMode::Polygon, DrawMode::Rectangles})
            dc.drawArrays(mode, 0, mode == DrawMode::Polygon ? std::min(n, kMaxPolygonVertices) : n);
    }
    // 0 when the input holds no program or its record is refused.
    int run(const uint8_t* data, size_t size)
    {
        const SpanStateCase c = readSpanStateInput(data, size);
        set.clear();
        MemoryInputStream in;
        in.open(c.record.data(), uint32_t(c.record.size()));
        if (c.record.empty() || !set.load(in, kSpanRecordTag))
            return 0;
        dc.setYDown(c.yUp ? 0 : 1);
        if (c.sharer) {
            makeSource(kWidth, kHeight);
            sharer.makeCurrent();
        }
        drawImage(c.indexed ? indexed[0] : image);
        if (c.sharer)
            makeSource(kSharedSide, kSharedSide);
        drawArrays(c.vertices);
        drawImage(c.indexed ? indexed[1] : image);
        target.makeCurrent();
        dc.setYDown(1);
        return 1;
    }
};
