// The software rasterizer's state: the record that span programs address
// (RasterStateBlock) plus what only the host touches: the lookup tables'
// memory, the vertex pool, the texture store, the span address space and
// the host's view of each texture unit.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx2d/display/SurfaceFlags.h"
#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterStateBlock.h"
#include "gfx2d/raster/TexelFetch.h"
#include "gfx2d/raster/TextureStore.h"

// Plane flags the raster state reads from a render target, beside
// SurfaceFlag::RasterTarget.
inline constexpr uint32_t kTargetColourPlane = 0x10000;
inline constexpr uint32_t kTargetDepthPlane = 0x20000;
inline constexpr uint32_t kTargetStencilPlane = 0x80000;

inline constexpr int32_t kDriverPolygon = 1;
// Interpreted span words a frame may run beyond what its spans are granted
// for their pixels (the scan converter's grant): room for a program's
// set-up on small pictures, once a frame however many it draws.
inline constexpr uint64_t kSpanFrameWords = 1u << 16;
inline constexpr int32_t kPoolWordsPerVertex = 20;

// One plane of a render target as its owner measured it: bytes is what
// its own memory holds, never a size taken from another plane.
struct TargetPlane {
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    uint32_t bytes = 0;
    RSBFormat format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// What the raster state needs of the current render target.
struct RenderTargetView {
    uint32_t flags = 0;
    TargetPlane colour;
    TargetPlane depth;
    TargetPlane stencil;
};

// The span binding the host draws by. The record keeps a copy for span
// programs to read; what they write there decides nothing.
struct SpanBinding {
    bool native = false;
    int32_t interpolants = 0;
    // Edge values the triangle driver pre-steps beyond the interpolants.
    int32_t extraPrestep = 0;
    int32_t depthInterpolant = -1;
    int32_t perspectiveMask = 0;
    int32_t driverKind = kDriverPolygon;
};

// Whoever lends a unit pixels beyond one draw: asked before spans read
// them whether it still holds them there, and it takes them back
// (RasterState::releasePixels) before they go away.
class RasterState;
class TextureLender {
public:
    virtual bool stillLends(const uint8_t* pixels, uint32_t bytes, const uint8_t* palette) const = 0;
    // The state let go of the lender's pixels in its last unit, or goes.
    virtual void lendingEnded(const RasterState& state) const = 0;

protected:
    ~TextureLender() = default;
};

// Pixels a texture object hands to a unit (its storage's plane 0).
struct TexturePixels {
    RSBFormat format = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    const uint8_t* pixels = nullptr;
    uint32_t bytes = 0;
    const uint8_t* palette = nullptr;  // 256 X8R8G8B8 words of palette formats
    uint32_t paletteBytes = 0;
    // Null for pixels lent for one draw, which the drawer unbinds itself.
    const TextureLender* lender = nullptr;
};

class RasterState {
public:
    RasterState();
    ~RasterState();

    RasterState(const RasterState&) = delete;
    RasterState& operator=(const RasterState&) = delete;

    // Tables, texture store and a pool of poolVertices vertex records.
    void init(int32_t poolVertices);
    void teardown();

    RasterStateBlock& block() { return m_block; }
    const RasterStateBlock& block() const { return m_block; }
    // Null before init and after teardown.
    const RasterTables* tables() const { return m_tables.get(); }
    TextureStore* textureStore() { return m_store.get(); }
    const SpanAddressSpace& addressSpace() const { return m_space; }
    // Words of the vertex pool, cleared; null when they do not fit. The used
    // count and the capacity are the host's: the record's words only mirror them.
    int32_t* reservePool(uint64_t words);
    void resetPool();
    // Back to a used count taken before (never forward).
    void rewindPool(uint32_t mark);
    uint32_t poolUsed() const { return m_poolUsed; }

    void setViewport(int32_t x, int32_t y, int32_t w, int32_t h, int32_t nearValue, int32_t farValue);
    void setOrtho(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f);
    void setFrustum(Fixed l, Fixed r, Fixed b, Fixed t, Fixed n, Fixed f);
    // 0 when any of the three store entries cannot be made.
    int createRenderBuffers(uint32_t w, uint32_t h, RSBFormat format);

    // Binds nothing without a target or without SurfaceFlag::RasterTarget,
    // nothing when its stencil plane is not S8, nothing when a depth or
    // stencil plane is not the colour plane's size (spans step all three by
    // the same rows and pixels), and nothing when a plane is larger than a
    // span block maps or its pitch is not a positive 16-bit value; false
    // then, and the planes bound before stay bound.
    bool bindTarget(const RenderTargetView* target);
    // Also begins a span frame.
    void beginFrame(const RenderTargetView* target);
    // The same with the screen context's current render target.
    bool bindTarget();
    void beginFrame();
    void resetStacks();
    // On the projection stack. Both return 0 (and change nothing) when the
    // stack is full. n: a 3x3, v: a vector; either may be null.
    int pushTransform(const Fixed* n, const Fixed* v);
    int pushInverse(const Fixed* m);

    // Clears write only what lies inside the bound plane.
    void clearColor(uint32_t w, uint32_t h);
    void clearDepth(uint32_t w, uint32_t h);
    void clearStencil(uint32_t w, uint32_t h);
    void clear();

    // Interpreted span words left to the frame: kSpanFrameWords when it
    // begins, plus the scan converter's grants, less the words spans ran,
    // and never more than kSpanFrameWords between spans. A draw whose spans
    // use it up stops there.
    void beginSpanFrame() { m_spanWordsLeft = kSpanFrameWords; }
    uint64_t& spanWordsLeft() { return m_spanWordsLeft; }

    // record: a stored span-program record, or null to unbind.
    void bindSpanProgram(const uint8_t* record);
    // A span in host code (binding.native is set here).
    void bindHostSpan(SpanBinding binding);
    const uint8_t* spanCode() const { return m_spanCode; }
    const SpanBinding& spanBinding() const { return m_binding; }
    // Pixel format of the bound colour plane (0 when none).
    RSBFormat targetFormat() const { return m_targetFormat; }

    // Spans may read what a unit maps, never write it. Both return false
    // (and leave the unit unbound) when there is no such unit, entry or
    // pixels, more bytes than a span block maps, or a palette format
    // without its 256 colours.
    bool bindTextureUnit(uint32_t unit, int32_t slot);
    bool bindTexturePixels(uint32_t unit, const TexturePixels& pixels);
    void unbindTextureUnit(uint32_t unit);
    // Unbinds every unit holding pixels the lender lent.
    void releasePixels(const TextureLender* lender);
    int32_t findTextureUnit(int32_t slot) const;
    // Units keep their binding until rebound, but a store entry can be freed,
    // made again or given other colours meanwhile, and a lender's pixels
    // move: this unbinds every unit whose memory or shape is no longer what
    // was mapped. Run before spans read texture memory.
    void refreshTextureUnits();
    // Before a draw runs spans: the units refreshed, and the words the host
    // keeps in the record for spans to read (the tables' addresses and
    // sizes, every unit's binding but the filter and wrap modes callers set)
    // written again, so that what a program stored there does not reach the
    // next draw.
    void prepareForSpans();
    // The unit as the host samples it; filter mode and wrap come from the
    // record's filter_mode and texmode words. Empty while its store entry
    // no longer holds the memory it was bound with.
    SamplerUnit sampler(uint32_t unit) const;

    void computeClipFactors(int setBox);
    uint32_t outcode3D(Fixed* vertex) const;
    uint32_t outcode2D(Fixed* vertex) const;
    static Fixed mipLevel(Fixed scale);

    RSBFormat entryFormat(int32_t slot) const;
    const uint8_t* entryLevel(int32_t slot, uint32_t level) const;
    // The first word of an entry's pixels, little-endian; an entry of fewer
    // bytes gives what it has, a free one 0.
    uint32_t entryPixelWord(int32_t slot) const;

private:
    void buildTables();
    void resetUnit(uint32_t unit);
    void writeTableWords();
    bool unitIsCurrent(uint32_t unit) const;
    bool bindPalette(uint32_t unit, RSBFormat format, const uint8_t* palette, uint32_t bytes);
    void mapPlane(uint32_t region, const TargetPlane* plane, SpanAddress& base, int32_t& stride);
    static bool planeFits(const TargetPlane& plane);
    Fixed tableDivide(int64_t a, Fixed d, int32_t shiftAdjust = 0) const;

    RasterStateBlock m_block{};
    std::unique_ptr<RasterTables> m_tables;
    std::unique_ptr<int32_t[]> m_pool;
    uint32_t m_poolUsed = 0;
    uint32_t m_poolCapacity = 0;
    std::unique_ptr<TextureStore> m_store;
    const uint8_t* m_spanCode = nullptr;
    SpanBinding m_binding;
    uint64_t m_spanWordsLeft = kSpanFrameWords;
    RSBFormat m_targetFormat = 0;
    SamplerUnit m_units[kTextureUnitCount];
    int32_t m_boundSlots[kTextureUnitCount];
    uint32_t m_boundRevisions[kTextureUnitCount] = {};  // the entries' revisions when bound
    const TextureLender* m_lenders[kTextureUnitCount] = {};
    TextureUnit m_unitWords[kTextureUnitCount];  // each unit's record words as bound
    SpanAddressSpace m_space;
};
