// The engine's software rasterizer: scan-converts screen-space triangles and
// sprite quads into an RGB565 target with a 16-bit depth buffer and an
// optional alpha plane, and fills and blits the background. The renderer
// owns one, binds its target and sets the state before each submesh.
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwHeapObject.h"
#include "engine/render/RasterTypes.h"
#include "engine/render/SpanRoutines.h"

class CkwRasterizerStandard : public CkwHeapObject {
public:
    CkwRasterizerStandard();

    // pitch in bytes; the depth buffer has width entries per row, or is null.
    void setTarget(uint16_t* colorBuffer, int32_t width, int32_t height, int32_t pitch, uint16_t* depthBuffer,
                   bool depthEnabled);
    void setColorBuffer(uint16_t* colorBuffer);
    void setDepthEnabled(bool enabled);
    void setAlphaPlane(uint8_t* alphaPlane, int32_t alphaPitch);
    void setCompositingMode(const SkwRasterCompositing& mode);
    // fogColor 0xRRGGBB, or null for no fog.
    void setFog(const uint32_t* fogColor);
    // texture null (or without an image) leaves the unit unused.
    void setTexture(int32_t unit, const SkwRasterTextureSource* texture, int32_t polygonBits);
    void setBlitImage(const SkwRasterImage* image, int32_t function);
    void resetState();

    void drawTriangle(SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c);
    // Whether drawTriangle may write into its vertices under the current
    // state: the polygon offset moves z, and a triangle wholly in fog takes
    // the fog colour.
    bool writesIntoVertices() const { return m_offsetActive || (m_stateFlags & kRasterFog); }
    // a top-left, b bottom-left, c top-right, d bottom-right.
    void drawQuad(bool scaled, SkwRasterVertex* a, SkwRasterVertex* b, SkwRasterVertex* c, SkwRasterVertex* d);
    void fillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint16_t color565, uint8_t alpha);
    // s0, t0, ds, dt: 16.16 texel positions and steps.
    void blitImage(int32_t x, int32_t y, int32_t w, int32_t h, int32_t s0, int32_t t0, int32_t ds, int32_t dt);

    // Tests and benchmarks hold the fast span routines against the general ones.
    void setGeneralSpansOnly(bool on)
    {
        m_generalSpansOnly = on;
        stateChanged();
    }
    SpanFamily lastSpanFamily() const { return m_spans->family; }

private:
    // A span routine picked for one set of triangle flags, with the set-up
    // it reads. The triangles of a submesh switch between a few such sets
    // (shaded or flat, clamped or not); each keeps its own.
    struct ChosenSpans {
        uint32_t generation = 0;  // of the state it was picked for; 0 for none
        int32_t flags = 0;
        bool white = false;
        SpanFamily family = SpanFamily::General;
        SpanRoutine routine = nullptr;
        SpanStage fogStage = nullptr;
        SkwSpanSetup setup;
    };

    bool texturedQuad(bool scaled, const SkwRasterVertex* a, const SkwRasterVertex* b, const SkwRasterVertex* c);
    // Every state setter makes the chosen routines stale.
    void stateChanged();
    // What the state alone makes of a triangle's flags (before its colours
    // and fog have a say) and of its lane set's texture units.
    void resolveStateFlags();
    void chooseSpanRoutine(ChosenSpans& chosen, bool white);
    // One instance per set of attributes a triangle interpolates: the
    // left side carries Left, the right side Right (perspective only).
    template <uint32_t Left, uint32_t Right>
    void drawLanes();
    void clipAndDrawSpan();
    bool unitInUse(int32_t unit) const;

    SkwSpan m_span{};
    SkwRasterTexture m_units[2];
    int32_t m_ytop = 0, m_ybottom = 0, m_topVertex = 0;

    int32_t m_triangleFlags = 0;
    int32_t m_alphaThreshold = 0;
    uint8_t* m_alphaPlane = nullptr;
    int32_t m_alphaPitch = 0;
    int32_t m_blending = kBlendReplace;
    int32_t m_textureCount = 0;
    int32_t m_fogRed = 0, m_fogGreen = 0, m_fogBlue = 0;
    uint16_t* m_colorBuffer = nullptr;
    int32_t m_width = 0, m_height = 0, m_pitch = 0;
    int32_t m_stateFlags = 0;
    SkwRasterVertex* m_vertices[3] = {};
    uint16_t* m_depthBuffer = nullptr;
    bool m_depthEnabled = true;
    bool m_offsetActive = false;
    int32_t m_offsetFactor = 0;
    int32_t m_offsetUnits = 0;
    bool m_generalSpansOnly = false;
    ChosenSpans m_chosen[4];
    ChosenSpans* m_spans = m_chosen;  // the current triangle's
    uint32_t m_stateGeneration = 1;
    uint32_t m_flagsGeneration = 0;  // of the state resolveStateFlags read; 0 for none
    int32_t m_stateTriangleFlags = 0;
    int32_t m_stateUnitLanes = 0;
};
