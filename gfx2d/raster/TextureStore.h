// The rasterizer's own table of pixel buffers: render buffers and textures
// are entries addressed by slot, each with a pixel format, a size, a mip
// arrangement and its pixel memory. Also per-texel read and write of every
// format, rectangle copy with conversion, fills, lines and mipmaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/SpanAddress.h"

inline constexpr int32_t kTextureStoreCapacity = 2048;
// The store carries three side arrays of this size that nothing reads yet.
inline constexpr size_t kTextureSideArrayBytes = 2000;
inline constexpr int32_t kTextureSideArrays = 3;

inline constexpr int32_t kMiptypeSingle = 0;
inline constexpr int32_t kMiptypeChain = 1;
inline constexpr int32_t kMiptypeInterleaved = 2;  // rows stored twice as far apart

// Channels 0-255 for every format but ARGB_fixed and Z32, whose reads keep
// the wider values they hold.
struct TexelColour {
    int32_t a, r, g, b;
};

struct TextureEntry {
    RSBFormat format = 0;
    uint32_t flags = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    const uint32_t* palette = nullptr;
    int32_t miptype = kMiptypeSingle;
    int32_t levelCount = 0;  // levels beyond the base, for a chain
    uint8_t* levels[kTextureLevelCount] = {};
    size_t bytes = 0;  // size of the block levels[0] heads
    // Changes with every change the store makes to the entry's memory or
    // shape: a bound unit compares it to tell a re-made entry that happens
    // to sit where the old one did.
    uint32_t revision = 0;

    bool isFree() const { return levels[0] == nullptr; }
};

// 1 when the format is one the table knows; else 0 and out untouched.
int readTexel(const uint8_t* p, RSBFormat format, TexelColour& out);
int writeTexel(uint8_t* p, RSBFormat format, const TexelColour& c);

// log2 of a power of two from 1 to 1024, else 0.
int32_t textureLog2(uint32_t n);

class TextureStore {
public:
    // Entries cleared, side arrays allocated (the last one zeroed), no font
    // atlases.
    TextureStore();
    ~TextureStore();

    // Allocates the side arrays afresh (the last one zeroed), forgets the font
    // atlases and clears the final word; entries are kept. False when the
    // memory cannot be had (the arrays are then absent).
    bool reinitialise();

    TextureStore(const TextureStore&) = delete;
    TextureStore& operator=(const TextureStore&) = delete;

    // The last free entry below count is reused before count grows. -1 when
    // all entries are in use or the memory cannot be had; a 0-byte entry
    // gets no memory and so reads as free at once.
    int32_t createEntry(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags);
    // Also -1 for a size of 0.
    int32_t createEntryStrict(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags);
    void freeEntry(int32_t slot);
    void resizeEntry(int32_t slot, uint32_t width, uint32_t height);
    void reformatEntry(int32_t slot, RSBFormat format, uint32_t width, uint32_t height);
    void clearEntries();

    int32_t count() const { return m_count; }
    // Null for a slot outside 0..count - 1.
    const TextureEntry* entry(int32_t slot) const;
    TextureEntry* entry(int32_t slot);

    // Texels of level 0; 0 for a free entry or a texel outside it.
    int readTexel(int32_t slot, int32_t x, int32_t y, TexelColour& out) const;
    int writeTexel(int32_t slot, int32_t x, int32_t y, const TexelColour& c);

    // w or h below 0 take the source's; the rectangle is clipped to both entries.
    void copyRect(int32_t dstSlot, int32_t srcSlot, int32_t srcX, int32_t srcY, int32_t w, int32_t h,
                  int32_t dstX, int32_t dstY);
    void fillRect(int32_t slot, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t a, int32_t r, int32_t g,
                  int32_t b);
    void drawLine(int32_t slot, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t a, int32_t r, int32_t g,
                  int32_t b);

    void buildMipmaps(int32_t slot);
    void dropMipmaps(int32_t slot);
    void compactRows(int32_t slot);
    void interleaveRows(int32_t slot);

    // Atlas entries of the debug overlay's two fonts; -1 while none is made.
    int32_t fontAtlas(int32_t size) const { return size == 1 ? m_fontAtlas10 : m_fontAtlas5; }
    void setFontAtlas(int32_t size, int32_t slot) { (size == 1 ? m_fontAtlas10 : m_fontAtlas5) = slot; }

    // Null for i outside 0..2 or while the memory could not be had.
    uint8_t* sideArray(int32_t i) const
    {
        return i >= 0 && i < kTextureSideArrays ? m_sideArrays[i].get() : nullptr;
    }
    uint32_t finalWord() const { return m_finalWord; }

private:
    int32_t allocateEntry(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags, bool strict);
    // Replaces an entry's memory with a fresh block of `bytes`; false (and
    // nothing changed) when it cannot be had.
    bool replaceMemory(TextureEntry& e, uint8_t* block, size_t bytes);
    void touch(TextureEntry& e) { e.revision = ++m_revisions; }

    int32_t m_count = 0;
    int32_t m_fontAtlas5 = -1;
    int32_t m_fontAtlas10 = -1;
    uint32_t m_finalWord = 0;
    uint32_t m_revisions = 0;
    std::unique_ptr<uint8_t[]> m_sideArrays[kTextureSideArrays];
    TextureEntry m_entries[kTextureStoreCapacity];
};
