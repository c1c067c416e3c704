// Texture store: entries, texel packing per format, and the drawing and
// mipmap operations on entries.
#include "gfx2d/raster/TextureStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gfx2d/raster/UnalignedAccess.h"

namespace {

int32_t clampByte(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

size_t entryBytes(uint32_t width, uint32_t height, RSBFormat format)
{
    return static_cast<size_t>(bytesPerPixel(format)) * (width & 0xFFFF) * (height & 0xFFFF);
}

// Offset of texel (x, y) of level 0, or -1 when it is outside the entry.
int64_t texelOffset(const TextureEntry& e, int32_t x, int32_t y)
{
    if (e.isFree() || x < 0 || y < 0 || static_cast<uint32_t>(x) >= e.width ||
        static_cast<uint32_t>(y) >= e.height)
        return -1;
    const uint32_t bpp = bytesPerPixel(e.format);
    const int64_t off = (static_cast<int64_t>(y) * e.width + x) * bpp;
    return off + bpp <= static_cast<int64_t>(e.bytes) ? off : -1;
}

struct LevelSize {
    uint32_t w, h;
};

LevelSize levelSize(const TextureEntry& e, int level)
{
    return {std::max(e.width >> level, 1u), std::max(e.height >> level, 1u)};
}

// The chain rounds each level up to a word, as texture units expect.
size_t levelBytes(LevelSize s, uint32_t bpp)
{
    return std::max<size_t>(static_cast<size_t>(s.w) * s.h * bpp, 4);
}

}  // namespace

int readTexel(const uint8_t* p, RSBFormat format, TexelColour& o)
{
    using namespace PixelFormat;
    switch (format) {
    case A8R8G8B8: {
        const uint32_t v = load32(p);
        o = {static_cast<int32_t>(v >> 24), static_cast<int32_t>(v >> 16 & 255), static_cast<int32_t>(v >> 8 & 255),
             static_cast<int32_t>(v & 255)};
        return 1;
    }
    case X14R6G6B6: {
        const uint32_t v = load32(p);
        o = {255, static_cast<int32_t>(v >> 10 & 0xFC), static_cast<int32_t>(v >> 4 & 0xFC),
             static_cast<int32_t>((v & 63) << 2)};
        return 1;
    }
    case R8G8B8: o = {255, p[0], p[1], p[2]}; return 1;
    case A4R4G4B4:
    case R4G4B4: {
        const uint32_t v = load16(p);
        o = {format == A4R4G4B4 ? static_cast<int32_t>(v >> 8 & 0xF0) : 255, static_cast<int32_t>(v >> 4 & 0xF0),
             static_cast<int32_t>(v & 0xF0), static_cast<int32_t>((v & 15) << 4)};
        return 1;
    }
    case R5G6B5: {
        const uint32_t v = load16(p);
        o = {255, static_cast<int32_t>(v >> 8 & 0xF8), static_cast<int32_t>(v >> 3 & 0xFC),
             static_cast<int32_t>((v & 31) << 3)};
        return 1;
    }
    case A1R5G5B5: {
        const uint32_t v = load16(p);
        o = {v < 0x8000 ? 0 : 255, static_cast<int32_t>(v >> 7 & 0xF8), static_cast<int32_t>(v >> 2 & 0xF8),
             static_cast<int32_t>((v & 31) << 3)};
        return 1;
    }
    case I8: o = {p[0], p[0], p[0], p[0]}; return 1;
    case L8: o = {255, p[0], p[0], p[0]}; return 1;
    case A8: o = {p[0], 0, 0, 0}; return 1;
    case A8L8: {
        const uint32_t v = load16(p);
        const int32_t l = static_cast<int32_t>(v & 255);
        o = {static_cast<int32_t>(v >> 8), l, l, l};
        return 1;
    }
    case ArgbFixed:
        o = {static_cast<int32_t>(load32(p)) >> 8, static_cast<int32_t>(load32(p + 4)) >> 8,
             static_cast<int32_t>(load32(p + 8)) >> 8, static_cast<int32_t>(load32(p + 12)) >> 8};
        return 1;
    case Z32: {
        const int32_t v = static_cast<int32_t>(load32(p) >> 8);
        o = {255, v, v, v};
        return 1;
    }
    default: return 0;
    }
}

int writeTexel(uint8_t* p, RSBFormat format, const TexelColour& c)
{
    using namespace PixelFormat;
    const uint32_t a = static_cast<uint32_t>(c.a), r = static_cast<uint32_t>(c.r);
    const uint32_t g = static_cast<uint32_t>(c.g), b = static_cast<uint32_t>(c.b);
    switch (format) {
    case A8R8G8B8: store32(p, (a & 255) << 24 | (r & 255) << 16 | (g & 255) << 8 | (b & 255)); return 1;
    case X14R6G6B6: store32(p, ((r & 255) >> 2) << 12 | ((g & 255) >> 2) << 6 | (b & 255) >> 2); return 1;
    case R8G8B8:
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
        return 1;
    case A4R4G4B4:
    case R4G4B4: store16(p, (a & 0xF0) << 8 | (r & 0xF0) << 4 | (g & 0xF0) | (b & 0xF0) >> 4); return 1;
    case R5G6B5: store16(p, rgb565(r, g, b)); return 1;
    case A1R5G5B5:
        store16(p, (a & 0x80) << 8 | (r & 0xF8) << 7 | (g & 0xF8) << 2 | (b & 255) >> 3);
        return 1;
    case I8:
    case L8: p[0] = static_cast<uint8_t>(r); return 1;
    case A8: p[0] = static_cast<uint8_t>(a); return 1;
    case A8L8: store16(p, (a & 255) << 8 | (b & 255)); return 1;
    case ArgbFixed:
        store32(p, a << 8);
        store32(p + 4, r << 8);
        store32(p + 8, g << 8);
        store32(p + 12, b << 8);
        return 1;
    case Z32: store32(p, r << 8); return 1;
    default: return 0;
    }
}

int32_t textureLog2(uint32_t n)
{
    if (n == 0 || n > 1024 || (n & (n - 1)) != 0)
        return 0;
    return __builtin_ctz(n);
}

TextureStore::TextureStore() { reinitialise(); }

bool TextureStore::reinitialise()
{
    bool ok = true;
    for (int32_t i = 0; i < kTextureSideArrays; ++i) {
        // Only the last array starts cleared; the others are scratch.
        if (i == kTextureSideArrays - 1)
            m_sideArrays[i].reset(new (std::nothrow) uint8_t[kTextureSideArrayBytes]());
        else
            m_sideArrays[i].reset(new (std::nothrow) uint8_t[kTextureSideArrayBytes]);
        ok = ok && m_sideArrays[i];
    }
    m_fontAtlas5 = m_fontAtlas10 = -1;
    m_finalWord = 0;
    return ok;
}

TextureStore::~TextureStore() { clearEntries(); }

void TextureStore::clearEntries()
{
    for (int32_t i = 0; i < m_count; ++i) {
        std::free(m_entries[i].levels[0]);
        m_entries[i] = TextureEntry{};
    }
    m_count = 0;
}

const TextureEntry* TextureStore::entry(int32_t slot) const
{
    return slot >= 0 && slot < m_count ? &m_entries[slot] : nullptr;
}

TextureEntry* TextureStore::entry(int32_t slot)
{
    return slot >= 0 && slot < m_count ? &m_entries[slot] : nullptr;
}

int32_t TextureStore::allocateEntry(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags, bool strict)
{
    const size_t bytes = entryBytes(width, height, format);
    if (strict && bytes == 0)
        return -1;
    int32_t slot = -1;
    for (int32_t i = m_count - 1; i >= 0; --i)
        if (m_entries[i].isFree()) {
            slot = i;
            break;
        }
    if (slot < 0 && m_count >= kTextureStoreCapacity)
        return -1;
    uint8_t* memory = nullptr;
    if (bytes != 0) {
        memory = static_cast<uint8_t*>(std::calloc(bytes, 1));  // new entries read as clear
        if (!memory)
            return -1;
    }
    if (slot < 0)
        slot = m_count++;
    TextureEntry& e = m_entries[slot];
    e = TextureEntry{};
    e.format = format;
    e.flags = flags & 0xFFFF;
    e.width = width & 0xFFFF;
    e.height = height & 0xFFFF;
    e.levels[0] = memory;
    e.bytes = bytes;
    touch(e);
    return slot;
}

int32_t TextureStore::createEntry(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags)
{
    return allocateEntry(width, height, format, flags, false);
}

int32_t TextureStore::createEntryStrict(uint32_t width, uint32_t height, RSBFormat format, uint32_t flags)
{
    return allocateEntry(width, height, format, flags, true);
}

void TextureStore::freeEntry(int32_t slot)
{
    TextureEntry* e = entry(slot);
    if (!e)
        return;
    std::free(e->levels[0]);
    std::memset(e->levels, 0, sizeof e->levels);
    e->bytes = 0;
    e->miptype = kMiptypeSingle;
    e->levelCount = 0;
    touch(*e);
}

void TextureStore::reformatEntry(int32_t slot, RSBFormat format, uint32_t width, uint32_t height)
{
    TextureEntry* e = entry(slot);
    if (!e)
        return;
    freeEntry(slot);
    e->format = format;
    e->width = width & 0xFFFF;
    e->height = height & 0xFFFF;
    const size_t bytes = entryBytes(width, height, format);
    if (bytes != 0 && (e->levels[0] = static_cast<uint8_t*>(std::calloc(bytes, 1))) != nullptr)
        e->bytes = bytes;
    touch(*e);
}

void TextureStore::resizeEntry(int32_t slot, uint32_t width, uint32_t height)
{
    if (const TextureEntry* e = entry(slot))
        reformatEntry(slot, e->format, width, height);
}

int TextureStore::readTexel(int32_t slot, int32_t x, int32_t y, TexelColour& out) const
{
    const TextureEntry* e = entry(slot);
    const int64_t off = e ? texelOffset(*e, x, y) : -1;
    return off < 0 ? 0 : ::readTexel(e->levels[0] + off, e->format, out);
}

int TextureStore::writeTexel(int32_t slot, int32_t x, int32_t y, const TexelColour& c)
{
    TextureEntry* e = entry(slot);
    const int64_t off = e ? texelOffset(*e, x, y) : -1;
    return off < 0 ? 0 : ::writeTexel(e->levels[0] + off, e->format, c);
}

void TextureStore::copyRect(int32_t dstSlot, int32_t srcSlot, int32_t srcX, int32_t srcY, int32_t w, int32_t h,
                            int32_t dstX, int32_t dstY)
{
    const TextureEntry* src = entry(srcSlot);
    TextureEntry* dst = entry(dstSlot);
    if (!src || !dst || src->isFree() || dst->isFree())
        return;
    int64_t sx = srcX, sy = srcY, dx = dstX, dy = dstY;
    int64_t cw = w < 0 ? src->width : w;
    int64_t ch = h < 0 ? src->height : h;
    // Clipped to both entries: the caller's rectangle is never trusted.
    const int64_t leftCut = std::max<int64_t>({0, -sx, -dx});
    const int64_t topCut = std::max<int64_t>({0, -sy, -dy});
    sx += leftCut, dx += leftCut, cw -= leftCut;
    sy += topCut, dy += topCut, ch -= topCut;
    cw = std::min({cw, static_cast<int64_t>(src->width) - sx, static_cast<int64_t>(dst->width) - dx});
    ch = std::min({ch, static_cast<int64_t>(src->height) - sy, static_cast<int64_t>(dst->height) - dy});
    if (cw <= 0 || ch <= 0)
        return;
    // Within one entry, texels are copied from the side the rectangle moves
    // toward, so none is read after it was written.
    const bool backward = srcSlot == dstSlot && (dy > sy || (dy == sy && dx > sx));
    for (int64_t i = 0; i < ch; ++i)
        for (int64_t j = 0; j < cw; ++j) {
            const int64_t row = backward ? ch - 1 - i : i, col = backward ? cw - 1 - j : j;
            TexelColour c{0, 0, 0, 0};
            readTexel(srcSlot, static_cast<int32_t>(sx + col), static_cast<int32_t>(sy + row), c);
            writeTexel(dstSlot, static_cast<int32_t>(dx + col), static_cast<int32_t>(dy + row), c);
        }
}

void TextureStore::fillRect(int32_t slot, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t a, int32_t r,
                            int32_t g, int32_t b)
{
    TextureEntry* e = entry(slot);
    if (!e || e->isFree())
        return;
    const int32_t w = static_cast<int32_t>(e->width), h = static_cast<int32_t>(e->height);
    const int32_t left = std::clamp(std::min(x0, x1), 0, w), right = std::clamp(std::max(x0, x1), 0, w);
    const int32_t top = std::clamp(std::min(y0, y1), 0, h), bottom = std::clamp(std::max(y0, y1), 0, h);
    if (left >= right || top >= bottom)
        return;
    const uint32_t bpp = bytesPerPixel(e->format);
    uint8_t texel[16];
    if (bpp == 0 || bpp > sizeof texel ||
        !::writeTexel(texel, e->format, {clampByte(a), clampByte(r), clampByte(g), clampByte(b)}))
        return;
    for (int32_t y = top; y < bottom; ++y) {
        uint8_t* p = e->levels[0] + texelOffset(*e, left, y);
        for (int32_t x = left; x < right; ++x, p += bpp)
            std::memcpy(p, texel, bpp);
    }
}

void TextureStore::drawLine(int32_t slot, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t a, int32_t r,
                            int32_t g, int32_t b)
{
    const TextureEntry* e = entry(slot);
    if (!e || e->isFree())
        return;
    const TexelColour c{clampByte(a), clampByte(r), clampByte(g), clampByte(b)};
    const int64_t ax = std::abs(static_cast<int64_t>(x1) - x0), ay = std::abs(static_cast<int64_t>(y1) - y0);
    const int32_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    const bool xMajor = ax >= ay;
    const int64_t major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    // Only the steps whose major coordinate lies in the entry are walked, so
    // a line across the whole int range costs what it can touch. Step k of
    // the walk has taken floor((2 minor k + major) / (2 major)) minor steps.
    const int64_t start = xMajor ? x0 : y0, size = xMajor ? e->width : e->height;
    const int64_t first = std::max<int64_t>(0, (xMajor ? sx : sy) > 0 ? -start : start - (size - 1));
    const int64_t last = std::min<int64_t>(major, (xMajor ? sx : sy) > 0 ? size - 1 - start : start);
    if (first > last)
        return;
    const __int128 n = static_cast<__int128>(2 * minor) * first + major;
    int64_t m = major ? static_cast<int64_t>(n / (2 * major)) : 0;
    int64_t err = static_cast<int64_t>(n - static_cast<__int128>(2 * major) * m) + 2 * (minor - major);
    for (int64_t i = first; i <= last; ++i) {
        const int64_t x = x0 + sx * (xMajor ? i : m), y = y0 + sy * (xMajor ? m : i);
        // Texels outside the entry are skipped by writeTexel.
        if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX)
            writeTexel(slot, static_cast<int32_t>(x), static_cast<int32_t>(y), c);
        if (err >= 0) {
            ++m;
            err -= 2 * major;
        }
        err += 2 * minor;
    }
}

bool TextureStore::replaceMemory(TextureEntry& e, uint8_t* block, size_t bytes)
{
    if (!block)
        return false;
    std::free(e.levels[0]);
    std::memset(e.levels, 0, sizeof e.levels);
    e.levels[0] = block;
    e.bytes = bytes;
    touch(e);
    return true;
}

void TextureStore::buildMipmaps(int32_t slot)
{
    TextureEntry* e = entry(slot);
    if (!e || e->isFree() || e->miptype == kMiptypeChain)
        return;
    if (e->miptype == kMiptypeInterleaved)
        compactRows(slot);
    const uint32_t bpp = bytesPerPixel(e->format);
    // The levels array bounds the chain: a 1024-texel side would need 11.
    const int levels = std::min<int32_t>(std::max(textureLog2(e->width), textureLog2(e->height)),
                                         kTextureLevelCount - 1);
    // Sized from each level's real extent: a side that stops halving at one
    // texel keeps a level larger than a quarter of the one before.
    size_t offsets[kTextureLevelCount] = {};
    size_t total = 0;
    for (int i = 0; i <= levels; ++i) {
        offsets[i] = total;
        total += levelBytes(levelSize(*e, i), bpp);
    }
    if (bpp == 0 || total == 0)
        return;
    uint8_t* block = static_cast<uint8_t*>(std::calloc(total, 1));
    if (!block)
        return;
    std::memcpy(block, e->levels[0], std::min(e->bytes, static_cast<size_t>(e->width) * e->height * bpp));
    replaceMemory(*e, block, total);
    for (int i = 1; i <= levels; ++i)
        e->levels[i] = block + offsets[i];
    e->miptype = kMiptypeChain;
    e->levelCount = levels;

    for (int i = 1; i <= levels; ++i) {
        const LevelSize prev = levelSize(*e, i - 1), cur = levelSize(*e, i);
        const uint8_t* src = e->levels[i - 1];
        uint8_t* dst = e->levels[i];
        auto at = [&](uint32_t x, uint32_t y) {
            TexelColour c{0, 0, 0, 0};
            ::readTexel(src + (static_cast<size_t>(std::min(y, prev.h - 1)) * prev.w + std::min(x, prev.w - 1)) * bpp,
                        e->format, c);
            return c;
        };
        for (uint32_t y = 0; y < cur.h; ++y)
            for (uint32_t x = 0; x < cur.w; ++x) {
                TexelColour c;
                if (prev.w == 1 || prev.h == 1) {
                    // A one-texel side: average the two texels along the other.
                    const TexelColour p = at(2 * x, 2 * y);
                    const TexelColour q = prev.w == 1 ? at(0, 2 * y + 1) : at(2 * x + 1, 0);
                    c = {(p.a + q.a) >> 1, (p.r + q.r) >> 1, (p.g + q.g) >> 1, (p.b + q.b) >> 1};
                } else {
                    const TexelColour p = at(2 * x, 2 * y), q = at(2 * x + 1, 2 * y);
                    const TexelColour s = at(2 * x, 2 * y + 1), t = at(2 * x + 1, 2 * y + 1);
                    c = {(p.a + q.a + s.a + t.a) >> 2, (p.r + q.r + s.r + t.r) >> 2, (p.g + q.g + s.g + t.g) >> 2,
                         (p.b + q.b + s.b + t.b) >> 2};
                }
                ::writeTexel(dst + (static_cast<size_t>(y) * cur.w + x) * bpp, e->format, c);
            }
    }
}

void TextureStore::dropMipmaps(int32_t slot)
{
    TextureEntry* e = entry(slot);
    if (!e || e->isFree())
        return;
    if (e->miptype == kMiptypeInterleaved) {
        compactRows(slot);
        return;
    }
    if (e->miptype != kMiptypeChain)
        return;
    const size_t bytes = entryBytes(e->width, e->height, e->format);
    uint8_t* block = static_cast<uint8_t*>(std::malloc(std::max<size_t>(bytes, 1)));
    if (!block)
        return;
    std::memcpy(block, e->levels[0], std::min(bytes, e->bytes));
    replaceMemory(*e, block, bytes);
    e->miptype = kMiptypeSingle;
    e->levelCount = 0;
}

void TextureStore::compactRows(int32_t slot)
{
    TextureEntry* e = entry(slot);
    if (!e || e->isFree() || e->miptype != kMiptypeInterleaved)
        return;
    const uint32_t bpp = bytesPerPixel(e->format);
    const size_t rowBytes = static_cast<size_t>(e->width) * bpp;
    const size_t bytes = rowBytes * e->height;
    uint8_t* block = static_cast<uint8_t*>(std::calloc(std::max<size_t>(bytes, 1), 1));
    if (!block)
        return;
    // Stored rows past the block stay clear: the block holds only what it was given.
    for (uint32_t y = 0; y < e->height && (2 * static_cast<size_t>(y) + 1) * rowBytes <= e->bytes; ++y)
        for (uint32_t x = 0; x < e->width; ++x) {
            TexelColour c{0, 0, 0, 0};
            ::readTexel(e->levels[0] + 2 * y * rowBytes + x * bpp, e->format, c);
            ::writeTexel(block + y * rowBytes + x * bpp, e->format, c);
        }
    replaceMemory(*e, block, bytes);
    e->miptype = kMiptypeSingle;
    e->levelCount = 0;
}

void TextureStore::interleaveRows(int32_t slot)
{
    TextureEntry* e = entry(slot);
    if (!e || e->isFree())
        return;
    if (e->miptype == kMiptypeChain)
        dropMipmaps(slot);
    e->miptype = kMiptypeInterleaved;
    touch(*e);
}
