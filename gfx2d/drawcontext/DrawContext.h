// The 2D drawing interface: a small immediate-mode state machine (matrix
// stack, colour, clip, attribute flags with push and pop, a vertex array)
// with drawArrays for lines, polygons and rectangles and drawImage for
// surfaces. A pure translation draws through the blit loops; any other
// matrix, and polygons, go through the raster state and the span programs.
#pragma once

#include <cstdint>

#include "framework/services/Service.h"
#include "framework/strings/Rect16.h"
#include "gfx2d/blit/BlitKey.h"
#include "gfx2d/raster/FixedPoint.h"
#include "lib/fixmath/FixMath.h"

class RasterState;
class SpanProgramSet;
class Surface;
struct ClipRect;

inline constexpr uint32_t kDrawContextServiceId = 0x66E79740;
inline constexpr uint32_t kDrawContextKind = 2;

namespace DrawGroup {
constexpr uint32_t AlphaTest = 0;
constexpr uint32_t Blend = 1;
constexpr uint32_t Colour = 2;
constexpr uint32_t ColourKey = 3;
constexpr uint32_t Count = 4;
} // namespace DrawGroup

namespace DrawMode {
constexpr uint32_t Lines = 1;
constexpr uint32_t Polygon = 2;
constexpr uint32_t Rectangles = 3;
} // namespace DrawMode

namespace DrawBlend {
constexpr uint32_t SourceAlpha = 0;  // blended by the colour's alpha
constexpr uint32_t AlphaTested = 2;  // the default
} // namespace DrawBlend

namespace VertexType {
constexpr uint32_t S8 = 0x2F978;
constexpr uint32_t S16 = 0x3F9726;
constexpr uint32_t Fixed32 = 0x30EE34;
} // namespace VertexType

namespace DrawMirror {
constexpr uint32_t X = 1;
constexpr uint32_t Y = 2;
} // namespace DrawMirror

// Room of the stacks: three attribute entries a group, twenty matrices, and
// fifteen polygon vertices (what the scan converter takes).
inline constexpr uint32_t kAttributeDepth = 3;
inline constexpr uint32_t kMatrixDepth = 20;
inline constexpr uint32_t kMaxPolygonVertices = 15;

struct DrawColour {
    uint32_t packed = 0;
    int32_t channels[4] = {};  // A, R, G, B
};

// Registers under the drawing context's service id; the destructor clears
// the application's cached drawing-context word and takes the id out.
class DrawService : public Service {
public:
    DrawService() : Service(kDrawContextServiceId) {}
    ~DrawService() override;
};

class DrawContext : public DrawService {
public:
    DrawContext() = default;
    ~DrawContext() override;

    int open(uint32_t a, uint32_t b);
    void close(uint32_t a, uint32_t b);
    uint32_t getKind() const { return kDrawContextKind; }
    int beginDraw();
    void endDraw();

    void setYDown(uint32_t v) { m_yDown = v; }
    void setCustomSpans(uint32_t v) { m_customSpans = v; }
    void setCustomSpanSet(SpanProgramSet* set) { m_customSpanSet = set; }

    void setColor(uint32_t argb);
    void setColorv(const int32_t* channels);
    void setColor4(int32_t a, int32_t r, int32_t g, int32_t b);
    void enable(uint32_t group) { setFlag(group, 1); }
    void disable(uint32_t group) { setFlag(group, 0); }
    // Both return 0 and change nothing when the group's stack is full or at
    // its last entry, or before begin.
    int pushAttributes(uint32_t group);
    int popAttributes(uint32_t group);
    void setBlendMode(uint32_t mode);

    // Matrix operations act on the top of the raster state's 2D stack; before
    // begin there is none and they do nothing.
    void loadIdentity();
    // m: (w0, w2, w1, w3), t: (w4, w5).
    void loadMatrix(const Fixed* m, const Fixed* t);
    void multMatrix(const Fixed* m);
    void translate(Fixed dx, Fixed dy);
    // 16.16 degrees.
    void rotate(Fixed angle);
    void scale(Fixed sx, Fixed sy);
    int pushMatrix();
    int popMatrix();
    void getMatrix(const Fixed** m, const Fixed** t);

    void vertexPointer(uint32_t size, uint32_t type, uint32_t stride, const void* pointer);
    void setClipRect(const int16_t* rect);
    void setClip(int32_t x, int32_t y, int32_t w, int32_t h);
    const Rect16* getClip() const { return &m_clip; }
    const Rect16& effectiveClip() const { return m_effectiveClip; }

    // Both return 1 when drawn (a draw the clip leaves nothing of included)
    // and 0 when refused: no target, a state nothing draws, or neither a
    // blit loop nor a span program for the formats.
    int drawArrays(uint32_t mode, uint32_t first, uint32_t count);
    // mirror: DrawMirror bits; srcRect (x, y, w, h) or null for the whole surface.
    int drawImage(Surface* surface, uint32_t mirror, const int16_t* srcRect);

    int begin(uint32_t a, uint32_t b);
    void end(uint32_t a, uint32_t b);
    int attach();
    void detach();

    bool isOpened() const { return m_opened != 0; }
    bool isBegun() const { return m_begun != 0; }
    bool isActive() const { return m_active != 0; }
    const DrawColour& colour() const { return m_colours[top(DrawGroup::Colour)]; }
    uint32_t blendMode() const { return m_blendModes[top(DrawGroup::Blend)]; }
    bool flag(uint32_t group) const;
    // The state taken at attach, while the screen still holds it: the screen
    // may shut down or start again while the context is open.
    RasterState* raster() const;

private:
    struct Effective;
    struct Target;

    void setFlag(uint32_t group, uint8_t value);
    // The top entry; entry 0 while the stacks are not set up.
    uint32_t top(uint32_t group) const { return m_counts[group] ? m_counts[group] - 1 : 0; }
    Fixed* topMatrix();
    bool pureTranslation(const Fixed* m) const;
    bool resolve(Effective& e, bool image) const;
    bool openTarget(Target& t);
    void updateEffectiveClip(uint32_t width, uint32_t height);
    BlitFunction findLoop(const BlitKey& query);
    bool fetchVertex(uint32_t i, Fixed* out) const;
    // Vertex pairs as rectangles or lines through the operation's blit loop.
    int drawPairs(Target& t, BlitFunction loop, uint32_t operation, uint32_t first, uint32_t count);
    int blitImage(Target& t, BlitFunction copy, Surface* surface, uint32_t mirror, const Rect16& src);
    // Where the blit loops put the rectangle src of a sw x sh picture: at
    // the translation's whole pixels, cut to the picture and the clip, in
    // 32 bits. src becomes the part drawn, (x, y) its place; false when
    // nothing remains.
    bool placeBlit(const Target& t, uint32_t sw, uint32_t sh, uint32_t mirror, Rect16& src, int32_t& x,
                   int32_t& y);
    // The span-program path; nothing is drawn when it cannot run.
    // Binds the target and sets scissor and flat colour; false when the
    // target's colour plane does not bind.
    bool prepareRaster(const Target& t);
    int drawArraysSpans(Target& t, const Effective& e, uint32_t mode, uint32_t first, uint32_t count);
    // loopless: the blit query of a translated picture the table has no loop
    // for, or null for the general path.
    int drawImageSpans(Target& t, const Effective& e, const BlitKey* loopless, Surface* surface, uint32_t mirror,
                       const Rect16& src);

    uint8_t m_opened = 0;
    uint8_t m_begun = 0;
    uint8_t m_active = 0;
    uint32_t m_yDown = 1;
    uint32_t m_customSpans = 0;
    SpanProgramSet* m_customSpanSet = nullptr;

    uint32_t m_counts[DrawGroup::Count] = {};
    uint8_t m_flags[DrawGroup::Count][kAttributeDepth] = {};
    uint32_t m_blendModes[kAttributeDepth] = {};
    DrawColour m_colours[kAttributeDepth];

    Mat2 m_matrixOut;
    Fixed m_translationOut[2] = {};
    struct {
        uint32_t size = 0;
        uint32_t type = 0;
        uint32_t stride = 0;
        const uint8_t* pointer = nullptr;
    } m_vertices;
    Rect16 m_clip;
    Rect16 m_effectiveClip;
    RasterState* m_raster = nullptr;
    uint32_t m_rasterGeneration = 0;
    const uint8_t* m_spanProgram = nullptr;
    BlitKey m_blitKey;
};

// The drawing context: the application's cached one, the registered one, or
// one from the installed creator. Null without any.
DrawContext* getDrawContext();

// The game's drawing functions. Rectangles run from (x0, y0) to (x1, y1),
// the far edges excluded.
void fillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t argb, uint32_t mode = DrawMode::Rectangles);
// rect: x, y, w, h; skipMask bits 1, 2, 4, 8 leave out the top, bottom, left
// and right bar.
void drawFrame(const int16_t* rect, uint32_t argb, int32_t thickness, uint32_t skipMask);
// Covers (x0, y0)-(x1, y1) with copies of the surface from (x0, y0), the
// last row and column cut to the rectangle.
void tileImage(Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
