// Image copy loops: one instance per source format, destination format, key
// and blend; the mirror direction of a row is picked once per blit.
#pragma once

#include <cstring>
#include <type_traits>

#include "gfx2d/blit/PixelRows.h"
#include "gfx2d/blit/internal/PixelTraits.h"

template <class Src, class Dst, bool Keyed, bool Blend, bool MirrorX>
void copyImageRows(const BlitImageJob& job)
{
    const BlitDirection dir =
        blitDirection(Src::kBytes, job.srcPitch, job.width, job.height, MirrorX, job.mirrorY != 0);
    const uint8_t* srcRow = static_cast<const uint8_t*>(job.srcPixels) + dir.start;
    auto* dstRow = static_cast<uint8_t*>(job.dstPixels);
    constexpr intptr_t kSrcStep = MirrorX ? -Src::kBytes : Src::kBytes;
    const uint32_t alpha = job.alpha;
    const int32_t width = job.width;
    for (int32_t y = 0; y < job.height; ++y, srcRow += dir.yStep, dstRow += job.dstPitch) {
        if constexpr (std::is_same_v<Src, Dst> && !Keyed && !Blend && !MirrorX) {
            std::memcpy(dstRow, srcRow, size_t(width) * Dst::kBytes);
            continue;
        }
        const uint8_t* s = srcRow;
        uint8_t* d = dstRow;
        for (int32_t x = 0; x < width; ++x, s += kSrcStep, d += Dst::kBytes) {
            const uint32_t v = fetchSource<Src>(s, job.palette);
            if constexpr (Blend) {
                const typename Dst::Raw under = Dst::load(d);
                const typename Dst::Raw blended = Dst::fromRgb(blendRgb(Dst::rgb(under), Src::rgb(v), alpha));
                Dst::store(d, Keyed && Src::isKey(v) ? under : blended);
            } else if constexpr (Keyed) {
                // A select rather than a branch keeps the row vectorisable.
                Dst::store(d, Src::isKey(v) ? Dst::load(d) : convertValue<Src, Dst>(v));
            } else {
                Dst::store(d, convertValue<Src, Dst>(v));
            }
        }
    }
}

// Opaque palette copies look the index up in the palette already converted
// to the destination's layout, so the row does no per-pixel conversion.
template <class Dst, bool Keyed, bool MirrorX>
void copyIndexedRows(const BlitImageJob& job, const typename Dst::Raw* table, const bool* key)
{
    const BlitDirection dir = blitDirection(1, job.srcPitch, job.width, job.height, MirrorX, job.mirrorY != 0);
    const uint8_t* srcRow = static_cast<const uint8_t*>(job.srcPixels) + dir.start;
    auto* dstRow = static_cast<uint8_t*>(job.dstPixels);
    for (int32_t y = 0; y < job.height; ++y, srcRow += dir.yStep, dstRow += job.dstPitch) {
        uint8_t* d = dstRow;
        for (int32_t x = 0; x < job.width; ++x, d += Dst::kBytes) {
            const uint8_t index = srcRow[MirrorX ? -x : x];
            if constexpr (Keyed)
                Dst::store(d, key[index] ? Dst::load(d) : table[index]);
            else
                Dst::store(d, table[index]);
        }
    }
}

template <class Src, class Dst, bool Keyed, bool Blend>
void runCopy(const BlitImageJob& job)
{
    if constexpr (Src::kPaletted && !Blend) {
        typename Dst::Raw table[256];
        bool key[256];
        for (uint32_t i = 0; i < 256; ++i) {
            table[i] = convertValue<Src, Dst>(job.palette[i]);
            key[i] = Keyed && Src::isKey(job.palette[i]);
        }
        if (job.mirrorX)
            copyIndexedRows<Dst, Keyed, true>(job, table, key);
        else
            copyIndexedRows<Dst, Keyed, false>(job, table, key);
        return;
    }
    if (job.mirrorX)
        copyImageRows<Src, Dst, Keyed, Blend, true>(job);
    else
        copyImageRows<Src, Dst, Keyed, Blend, false>(job);
}

template <class Src, class Dst, bool Keyed, bool Blend>
void copyImage(const void* p)
{
    const auto& job = *static_cast<const BlitImageJob*>(p);
    if (job.width <= 0 || job.height <= 0 || job.srcPixels == nullptr || job.dstPixels == nullptr)
        return;
    if (Src::kPaletted && job.palette == nullptr)
        return;
    if (Blend && job.alpha == 0)
        return;
    const PixelRows from{job.srcPixels, job.srcPitch, job.height, size_t(job.width) * Src::kBytes};
    if (!rowsOverlap(from, {job.dstPixels, job.dstPitch, job.height, size_t(job.width) * Dst::kBytes})) {
        runCopy<Src, Dst, Keyed, Blend>(job);
        return;
    }
    // A picture drawn onto itself (a scroll) reads a copy of its rows taken
    // first: no order of rows and pixels makes a mirrored copy safe in place.
    const std::unique_ptr<uint8_t[]> rows = packRows(from);
    if (!rows)
        return;
    BlitImageJob fromCopy = job;
    fromCopy.srcPixels = rows.get();
    fromCopy.srcPitch = int32_t(from.rowBytes);
    runCopy<Src, Dst, Keyed, Blend>(fromCopy);
}
