// Rows of pixels as memory: whether two sets of rows share bytes, and a
// packed copy of rows. A copy whose source and destination meet (a picture
// drawn onto itself) reads such a copy instead, as it would another picture.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

struct PixelRows {
    const void* first;  // the first row's first byte
    intptr_t pitch;     // bytes from one row to the next; negative bottom-up
    int32_t count;
    size_t rowBytes;
};

inline bool rowsOverlap(const PixelRows& a, const PixelRows& b)
{
    if (a.count <= 0 || b.count <= 0 || a.rowBytes == 0 || b.rowBytes == 0)
        return false;
    const auto extent = [](const PixelRows& r, uintptr_t& low, uintptr_t& high) {
        const uintptr_t start = reinterpret_cast<uintptr_t>(r.first);
        const intptr_t last = r.pitch * (r.count - 1);
        low = start + uintptr_t(std::min<intptr_t>(last, 0));
        high = start + uintptr_t(std::max<intptr_t>(last, 0)) + r.rowBytes;
    };
    uintptr_t aLow, aHigh, bLow, bHigh;
    extent(a, aLow, aHigh);
    extent(b, bLow, bHigh);
    return aLow < bHigh && bLow < aHigh;
}

// The rows one after another, rowBytes apart; null when memory runs out.
inline std::unique_ptr<uint8_t[]> packRows(const PixelRows& r)
{
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[r.rowBytes * size_t(std::max(r.count, 0))]);
    for (int32_t y = 0; out && y < r.count; ++y)
        std::memcpy(out.get() + r.rowBytes * size_t(y), static_cast<const uint8_t*>(r.first) + r.pitch * y,
                    r.rowBytes);
    return out;
}
