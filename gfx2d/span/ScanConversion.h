// Primitive set-up, clipping and scan conversion: the drawing context's
// textured quads and vertex runs, and the 3D pipeline's primitives, become
// vertex records from the raster state's pool, are clipped, mapped to the
// screen and walked row by row, with the bound span program run once per
// row (interpreted, or called natively for host spans).
#pragma once

#include <cstdint>

#include "gfx2d/raster/RasterState.h"
#include "gfx2d/raster/VertexArray.h"
#include "gfx2d/span/ArmInterpreter.h"

// Vertex record words beyond the position, transform and outcode words.
inline constexpr int kVertexScreenX = 9;
inline constexpr int kVertexScreenY = 10;
inline constexpr int kVertexDepth = 11;
inline constexpr int kVertexInterpolants = 14;
inline constexpr uint32_t kPolygonMaxVertices = 15;
inline constexpr int32_t kDriverTriangle = 3;
inline constexpr uint32_t kOutlineColour = 0xFFFFFF;

// What interpreted spans are granted, on top of the frame's words
// (kSpanFrameWords): every span its own words and words for each pixel it
// covers inside the scissor, over twice what the heaviest stored program
// spends setting up a span and four times what it spends on a pixel. A
// program that never ends thus costs a frame no more than drawing its
// pixels a few times over, however large the pictures' bounding boxes and
// however many draws the frame makes.
inline constexpr uint64_t kSpanWordsPerSpan = 256;
inline constexpr uint64_t kSpanWordsPerPixel = 256;

// A rectangle fill: first pixel, pitch in bytes, A8R8G8B8 colour, width, height.
using FillRoutine = void (*)(uint8_t* pixels, int32_t pitch, uint32_t colour, int32_t width, int32_t height);
// A span in host code, called with the raster state and the driver's a, b.
using NativeSpan = void (*)(RasterState& state, uint32_t a, uint32_t b);
// Sees each 3D vertex after projection, before the polygon function.
using AttributeCallback = void (*)(void* context, Fixed* vertex, uint32_t index);

// How the span runs of the draws so far ended; a run that did not return
// was stopped where it went wrong.
struct SpanRunCounts {
    uint32_t returned = 0;
    uint32_t faults = 0;
    uint32_t timeouts = 0;
    uint32_t leftCode = 0;
};

class ScanConverter {
public:
    explicit ScanConverter(RasterState& state) : m_rs(state) { takeScissor(); }

    // Installs a host span with the native-call flag set; the triangle driver
    // hands it the row's x range as a, b.
    void bindNativeSpan(NativeSpan span, int32_t interpolants, int32_t driverKind = kDriverTriangle,
                        int32_t depthInterpolant = -1);
    void bindNativeSpan(NativeSpan span, SpanBinding binding);
    void setAttributeCallback(AttributeCallback callback, void* context)
    {
        m_attribute = callback;
        m_attributeContext = context;
    }
    // Words one interpreted span may run; spans together run at most the
    // frame's allowance (above).
    void setSpanBudget(uint32_t budget) { m_budget = budget; }
    // The bound code decoded by its owner, used while it is the code bound.
    void useProgram(const ArmProgram* program) { m_given = program; }

    // w, h: the image size in 16.16; u, v: texel coordinates of the corners
    // (0, 0), (0, h), (w, h), (w, 0); at: where the matrix finds corner
    // (0, 0), in whole pixels.
    void drawTexturedQuad(Fixed w, Fixed h, const Fixed* u, const Fixed* v, bool flipY, int32_t atX = 0,
                          int32_t atY = 0);
    // drawArrays: one polygon (at most 15 vertices), count / 2 rectangles
    // from corner pairs, count / 2 segments filled as bounding rectangles.
    void drawPolygon(const VertexBinding& binding, uint32_t first, uint32_t count, bool flipY);
    void drawRectangles(const VertexBinding& binding, uint32_t first, uint32_t count, bool flipY);
    void drawSegments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill, bool flipY);

    // The 3D pipeline: vertices transformed by the projection stack's top,
    // clipped in z, x and y and mapped projectively (or by the viewport).
    void drawPolygons3D(const VertexBinding& binding, uint32_t first, uint32_t count, uint32_t perPolygon);
    // The same over vertices by index, positions turned by the top's 3x3 alone.
    void drawIndexedPolygons3D(const VertexBinding& binding, const uint16_t* indices, uint32_t count,
                               uint32_t perPolygon);
    // A vertex whose input w has its sign bit set restarts the strip.
    void drawStrip3D(const VertexBinding& binding, uint32_t first, uint32_t count, bool fan);
    void drawSegments3D(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill);

    // The polygon function over vertex records whose words 4-8 are set.
    void drawList(Fixed* const* list, uint32_t count, bool projected);

    const SpanRunCounts& counts() const { return m_counts; }
    // The last draw ended early: a span did not return (it faulted, ran out
    // of time or off its code) or the draw used up its allowance. Such a
    // program is not to be run again.
    bool stopped() const { return m_stopped; }

private:
    struct Edge;
    // A 2D vertex where the matrix puts it, before a record holds it in 16.16.
    struct WidePoint {
        int64_t x, y;
    };

    int32_t interpolants() const;
    // The interpolants and the extra values the triangle driver pre-steps.
    int32_t edgeValues() const;
    uint32_t recordWords() const { return kVertexInterpolants + static_cast<uint32_t>(edgeValues()); }
    Fixed* reserve(uint32_t vertices);
    bool ready();
    void takeScissor();
    // Positions past what 16.16 holds are held saturated, and returned whole.
    WidePoint project2D(Fixed* v, bool flipY, int32_t atX = 0, int32_t atY = 0) const;
    void project3D(Fixed* v, uint32_t index, bool indexed);
    // The vertex-to-screen mapping; unmapped, words 4 and 5 are the screen position.
    void mapToScreen(Fixed* v, bool mapped) const;
    uint32_t clipAxis(Fixed* const* in, uint32_t n, Fixed** out, int coordinate, int wWord, Fixed lo, Fixed hi);
    bool clipSegment(Fixed* a, Fixed* b, int coordinate, int wWord, Fixed lo, Fixed hi);
    // A 2D polygon (room for kPolygonMaxVertices) whose positions do not all
    // fit 16.16 is first cut to the clip box in 64 bits.
    void drawList2D(Fixed** list, WidePoint* at, uint32_t n);
    // plane: as runDriver's given, or three vertices of the list to take it from.
    void clipAndDraw(Fixed* const* list, uint32_t n, bool projected, Fixed* const* plane);
    uint32_t cutWide(Fixed** list, WidePoint* at, uint32_t n);
    bool cutWideSegment(Fixed* const* ends, WidePoint* at);
    // given: where a 2D polygon's plane comes from, its first three vertices:
    // the polygon before clipping, or three of a 64-bit cut's; null in 3D.
    void runDriver(Fixed* const* list, uint32_t n, Fixed* const* given);
    void triangleDriver(Fixed* const* list, uint32_t n, Fixed* const* given);
    // Edges are set up with `prestepped` values and advance `stepped` of them a row.
    void walk(Fixed* const* list, uint32_t n, int32_t prestepped, int32_t stepped, bool edgeRecords);
    void setupEdge(Edge& e, const Fixed* a, const Fixed* b, int32_t row, int32_t values);
    // pixels: what the span covers, by the host's own edges.
    void callSpan(uint32_t a, uint32_t b, uint32_t pixels);
    void outline(Fixed* const* list, uint32_t n);
    void fillSegment(Fixed* a, Fixed* b, FillRoutine fill, bool projected);
    void segments(const VertexBinding& binding, uint32_t first, uint32_t count, FillRoutine fill, bool projected,
                  bool flipY);
    void fetch(const VertexBinding& binding, Fixed* v, uint32_t i) const;
    void polygons3D(const VertexBinding& binding, uint32_t first, uint32_t count, uint32_t perPolygon,
                    const uint16_t* indices);
    // n records from the pool, vertices first.. (or those indices[first..]
    // name) fetched and projected, 2D positions whole into at; false when
    // the pool is out.
    bool fetchRun(const VertexBinding& binding, uint32_t first, uint32_t n, bool projected, bool flipY, Fixed** list,
                  WidePoint* at, const uint16_t* indices = nullptr);

    RasterState& m_rs;
    NativeSpan m_native = nullptr;
    AttributeCallback m_attribute = nullptr;
    void* m_attributeContext = nullptr;
    uint32_t m_budget = kSpanInstructionBudget;
    const ArmProgram* m_given = nullptr;
    const ArmProgram* m_program = nullptr;  // the bound code, prepared at its draw's first span
    // The scissor as the host set it (x0, y0, x1, y1), taken at each set-up
    // entry: what spans are granted for follows it, not what they store.
    int32_t m_scissor[4] = {};
    bool m_stopped = false;
    SpanRunCounts m_counts;
};

// The built-in flat span: the flat colour with the depth test and write of
// the raster state's draw bytes, for R5G6B5 and X8R8G8B8 targets.
void flatSpan(RasterState& state, uint32_t left, uint32_t right);
// The integer scissor and the 16.16 clip box of 2D drawing.
void setClipRectangle(RasterState& state, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// Viewport mapping with no offset and unit scale: segments of 2D drawing
// land where their transformed vertices lie.
void setOneToOneMapping(RasterState& state);
