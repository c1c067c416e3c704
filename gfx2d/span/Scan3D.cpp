// The 3D pipeline's set-ups: polygon runs, indexed polygons, strips and
// fans, and segments, transformed by the projection stack's top and clipped
// in z as well.
#include "gfx2d/span/ScanConversion.h"

#include "gfx2d/raster/RasterMath.h"

void ScanConverter::drawPolygons3D(const VertexBinding& binding, uint32_t first, uint32_t count, uint32_t perPolygon)
{
    polygons3D(binding, first, count, perPolygon, nullptr);
}

void ScanConverter::drawIndexedPolygons3D(const VertexBinding& binding, const uint16_t* indices, uint32_t count,
                                          uint32_t perPolygon)
{
    if (indices)
        polygons3D(binding, 0, count, perPolygon, indices);
}

void ScanConverter::polygons3D(const VertexBinding& binding, uint32_t first, uint32_t count, uint32_t perPolygon,
                               const uint16_t* indices)
{
    if (perPolygon < 3 || perPolygon > kPolygonMaxVertices || !ready())
        return;
    for (uint32_t k = 0; k + perPolygon <= count; k += perPolygon) {
        Fixed* list[kPolygonMaxVertices];
        if (!fetchRun(binding, first + k, perPolygon, true, false, list, nullptr, indices))
            return;
        drawList(list, perPolygon, true);
    }
}

void ScanConverter::drawStrip3D(const VertexBinding& binding, uint32_t first, uint32_t count, bool fan)
{
    if (!ready())
        return;
    Fixed* window[3] = {};
    uint32_t have = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Fixed* v = reserve(1);
        if (!v)
            return;
        fetch(binding, v, first + i);
        const bool restart = v[kVertexInW] < 0;
        if (restart)
            v[kVertexInW] = static_cast<Fixed>(static_cast<uint32_t>(v[kVertexInW]) & 0x7FFFFFFF);
        project3D(v, first + i, false);
        if (restart)
            have = 0;
        if (have < 3) {
            window[have++] = v;
        } else if (fan) {
            window[1] = window[2];
            window[2] = v;
        } else {
            window[0] = window[1];
            window[1] = window[2];
            window[2] = v;
        }
        if (have == 3)
            drawList(window, 3, true);
    }
}

void ScanConverter::drawSegments3D(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill)
{
    segments(binding, first, count, fill, true, false);
}
