// The span-state fuzz target's input: a span program made of stores into the
// raster-state record or through the addresses it holds (then an image span
// or a plain return) and the vertices that the drawing context's vertex runs
// take after it. Layout:
// flags (bits 0-1 the tail: return, opaque, keyed, keyed blend; bits 2-3
// the driver kind - 1; bits 4-6 the interpolant count; bit 7 y up), the
// scene byte (bits 0-4 the store count; kSpanSceneSharer, kSpanSceneIndexed),
// six bytes a store, then 16-bit x, y pairs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// where, bit 15: a byte store, else a word store; bit 14: through the
// address in word where & 0x7FF, at ((where >> 11) & 7) * 64 bytes past it;
// else into the record: at byte where & 0x3FFF, or word where % words.
struct SpanStateStore {
    uint16_t where;
    uint32_t value;
};
inline constexpr uint16_t kSpanStoreByte = 0x8000, kSpanStoreThrough = 0x4000;

// Bits of the scene byte: the store count, taken modulo kSpanStateMaxStores
// + 1; draws into a sharer with depth and stencil planes of its own, whose
// source is made again at another size between them; 8-bit pictures, the
// first without its colours, and a program that reads 8-bit pictures.
inline constexpr uint8_t kSpanSceneStores = 0x1F, kSpanSceneSharer = 0x20, kSpanSceneIndexed = 0x40;

struct SpanStateCase {
    std::vector<uint8_t> record;  // empty when the input is too short
    std::vector<int16_t> vertices;
    bool yUp = false;
    bool sharer = false;
    bool indexed = false;
};

inline constexpr uint32_t kSpanStateMaxStores = 24;

SpanStateCase readSpanStateInput(const uint8_t* data, size_t size);
std::vector<uint8_t> spanStateInput(uint8_t flags, const std::vector<SpanStateStore>& stores,
                                    const std::vector<int16_t>& vertices, uint8_t scene = 0);
// A sweep that stores at every word of the record, a few values a word, and
// the review's findings.
std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSpanStateSeeds();
