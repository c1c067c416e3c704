// Abstract byte source with typed little-endian readers (big-endian when the
// swap flag is set). Errors are sticky: a short read or skip sets the flag and
// yields zeros, and callers test the flag once after a run of reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "framework/util/LoadLedger.h"

class InputStream {
public:
    explicit InputStream(uint8_t swapBytes = 0) : m_swapBytes(swapBytes) {}
    virtual ~InputStream() = default;

    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;

    // Bytes left; 0 after an error.
    virtual uint32_t available() = 0;
    virtual void skip(uint32_t n) = 0;
    // Copies n bytes; on failure sets the error flag and zero-fills all n.
    virtual void read(void* buffer, uint32_t n) = 0;

    uint8_t readU8();
    int8_t readS8() { return static_cast<int8_t>(readU8()); }
    uint16_t readU16();
    int16_t readS16() { return static_cast<int16_t>(readU16()); }
    uint32_t readU32();
    int32_t readS32() { return static_cast<int32_t>(readU32()); }
    uint64_t readU64();
    int64_t readS64() { return static_cast<int64_t>(readU64()); }

    void swapIfNeeded(void* buffer, uint32_t n) const
    {
        if (m_swapBytes)
            reverseBytes(buffer, n);
    }
    static void reverseBytes(void* buffer, uint32_t n);
    // The value of sizeof(T) bytes as this stream orders them; the bytes are
    // put in little-endian order in place.
    template <typename T>
    T decode(uint8_t* bytes) const
    {
        swapIfNeeded(bytes, sizeof(T));
        T value = 0;
        for (unsigned i = sizeof(T); i > 0; --i)
            value = static_cast<T>((value << 8) | bytes[i - 1]);
        return value;
    }

    uint8_t swapBytes() const { return m_swapBytes; }
    void setSwapBytes(uint8_t swapBytes) { m_swapBytes = swapBytes; }
    int hasError() const { return m_error; }
    uint32_t size() const { return m_size; }

protected:
    uint8_t m_swapBytes = 0;
    uint8_t m_error = 0;
    uint32_t m_size = 0;  // bytes the stream covers; meaning per class
};

// A size a stream announces is a claim, not memory: an inflating stream may
// announce 32 MiB and end after a few bytes. These reads take the units into
// a block that doubles as they arrive, from kFirstReadBlock bytes up, so a
// stream that ends early has cost no more than twice what it delivered.
constexpr uint64_t kFirstReadBlock = 64 * 1024;
// One read of the stream takes at most this, so that its byte count fits in 32 bits.
constexpr uint64_t kLargestReadSlice = uint64_t(1) << 30;

// Replaces block by one of `to` units holding its first filled units; false
// (and block as it was) when memory runs out or the load in progress may
// make no more.
template <typename Unit>
bool growBlock(std::unique_ptr<Unit[]>& block, uint64_t& capacity, uint64_t filled, uint64_t to)
{
    if (to > capacity && !LoadScope::charge((to - capacity) * sizeof(Unit)))
        return false;
    std::unique_ptr<Unit[]> grown(new (std::nothrow) Unit[to]);
    if (!grown)
        return false;
    if (filled != 0)
        std::memcpy(grown.get(), block.get(), filled * sizeof(Unit));
    block = std::move(grown);
    capacity = to;
    return true;
}

// Reads n units behind the `filled` units that block holds in its `capacity`,
// doubling it as they arrive, to at most `limit` units. false on a short
// stream or when memory runs out; the block then still holds its first
// filled units.
template <typename Unit>
bool readGrowing(InputStream& stream, std::unique_ptr<Unit[]>& block, uint64_t& capacity, uint64_t& filled,
                 uint64_t n, uint64_t limit)
{
    const uint64_t target = filled + n;
    if (target < filled || limit < target || limit > SIZE_MAX / sizeof(Unit))
        return false;
    while (filled < target) {
        const uint64_t next = std::min(limit, std::max(2 * capacity, kFirstReadBlock / sizeof(Unit)));
        if (filled == capacity && !growBlock(block, capacity, filled, next))
            return false;
        const uint64_t take = std::min({capacity, target, filled + kLargestReadSlice / sizeof(Unit)}) - filled;
        stream.read(block.get() + filled, static_cast<uint32_t>(take * sizeof(Unit)));
        if (stream.hasError())
            return false;
        filled += take;
    }
    return true;
}

// The n units a stream announces, in a block of exactly n + spare units whose
// spare units are zero; null on a short stream or when memory runs out.
template <typename Unit>
std::unique_ptr<Unit[]> readAnnounced(InputStream& stream, uint64_t n, uint64_t spare = 0)
{
    std::unique_ptr<Unit[]> block;
    uint64_t capacity = 0, filled = 0;
    // The doubling stops at n + spare, so the spare units fit unless the
    // last doubling ended between n and n + spare.
    if (!readGrowing(stream, block, capacity, filled, n, n + spare)
        || ((!block || capacity < n + spare) && !growBlock(block, capacity, filled, n + spare)))
        return nullptr;
    std::fill(block.get() + n, block.get() + n + spare, Unit(0));
    return block;
}
