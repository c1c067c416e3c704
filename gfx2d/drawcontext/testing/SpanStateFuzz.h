// One span-state fuzz input through the drawing context: the image drawn
// with the input's span program, every vertex-run mode over the input's
// vertices, and the image again, meeting what the first draw left.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tools/span/SpanStateFuzzInput.h"

struct SpanStateScene : DrawScene {
    static constexpr int kWidth = 40, kHeight = 30;
    MemorySurface image;
    SpanProgramSet set;

    SpanStateScene() : DrawScene(kWidth, kHeight)
    {
        makeImage(image, 24, 20, [](int x, int y) { return 0xFF000000u | uint32_t(x * 0x0A0B0C + y * 0x10203); });
    }
    // The image through the span path with the set's first record.
    void drawImage()
    {
        const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne}, t[2] = {3 << 16, 2 << 16};
        dc.loadMatrix(sheared, t);
        dc.setCustomSpans(1);
        dc.setCustomSpanSet(&set);
        dc.drawImage(&image, 0, nullptr);
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
        drawImage();
        drawArrays(c.vertices);
        drawImage();
        dc.setYDown(1);
        return 1;
    }
};
