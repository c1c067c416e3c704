// Inflate filter and one-shot inflate: slices, skips, truncated data, sizes.
#include "framework/streams/InflateStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/streams/MemoryInputStream.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes sample(size_t n)
{
    Bytes out(n);
    uint32_t seed = 7;
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245 + 12345;
        out[i] = static_cast<uint8_t>("pennyfall "[(seed >> 16) % 10]);
    }
    return out;
}

Bytes deflate(const Bytes& data)
{
    uLongf size = compressBound(data.size());
    Bytes out(size);
    compress(out.data(), &size, data.data(), data.size());
    out.resize(size);
    return out;
}

TEST(InflateStream, SlicesAndSkipsDeliverTheSameBytes)
{
    Bytes data = sample(50000);
    Bytes packed = deflate(data);
    for (uint32_t slice : {1u, 7u, 300u, 4096u, 50000u}) {
        MemoryInputStream source;
        source.open(packed.data(), static_cast<uint32_t>(packed.size()));
        InflateStream stream;
        ASSERT_EQ(stream.open(&source, static_cast<uint32_t>(packed.size()), 50000), 1);
        Bytes got;
        Bytes chunk(slice);
        bool skip = false;
        while (stream.available() != 0) {
            uint32_t n = std::min<uint32_t>(slice, stream.available());
            if (skip) {
                stream.skip(n);
                got.insert(got.end(), data.begin() + got.size(), data.begin() + got.size() + n);
            } else {
                stream.read(chunk.data(), n);
                got.insert(got.end(), chunk.begin(), chunk.begin() + n);
            }
            skip = !skip && slice > 1;
        }
        EXPECT_FALSE(stream.hasError()) << slice;
        EXPECT_EQ(got, data) << slice;
    }
}

TEST(InflateStream, TruncatedDataFailsAndZeroFills)
{
    Bytes data = sample(20000);
    Bytes packed = deflate(data);
    packed.resize(packed.size() / 2);
    MemoryInputStream source;
    source.open(packed.data(), static_cast<uint32_t>(packed.size()));
    InflateStream stream;
    ASSERT_EQ(stream.open(&source, static_cast<uint32_t>(packed.size()), 20000), 1);
    Bytes out(20000, 0xEE);
    stream.read(out.data(), 20000);
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(out, Bytes(20000, 0));
    EXPECT_EQ(stream.available(), 0u);
}

TEST(InflateStream, EmptyEntryHasNothingAvailable)
{
    MemoryInputStream source;
    source.open(nullptr, 0);
    InflateStream stream;
    ASSERT_EQ(stream.open(&source, 0, 0), 1);
    EXPECT_EQ(stream.available(), 0u);
    uint8_t byte = 5;
    stream.read(&byte, 1);
    EXPECT_TRUE(stream.hasError());
    EXPECT_EQ(byte, 0);
}

TEST(InflateBuffer, SucceedsOnlyForTheExactSize)
{
    Bytes data = sample(1000);
    Bytes packed = deflate(data);
    Bytes out(1000);
    EXPECT_EQ(inflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), out.data(), 1000), 1);
    EXPECT_EQ(out, data);
    Bytes bigger(1001);
    EXPECT_EQ(inflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), bigger.data(), 1001), 0);
    EXPECT_EQ(inflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), out.data(), 999), 0);
    // An empty source only fills an empty destination.
    EXPECT_EQ(inflateBuffer(nullptr, 0, out.data(), 0), 1);
    EXPECT_EQ(inflateBuffer(nullptr, 0, out.data(), 10), 0);
    EXPECT_EQ(inflateBuffer(packed.data(), 0, out.data(), 10), 0);
}

} // namespace
