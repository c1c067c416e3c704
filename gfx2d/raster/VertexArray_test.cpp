// Vertex fetch for every element type, component count and stride against a
// reference conversion written here.
#include "gfx2d/raster/VertexArray.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>


namespace {

struct TypeRef {
    uint8_t code;
    int size;
    bool isSigned;
    int lastShift;  // -1: the last component is shifted like the others
};

const TypeRef kTypes[] = {
    {1, 1, true, -1},  {9, 1, false, -1}, {17, 1, true, 24}, {2, 2, true, -1},  {10, 2, false, -1},
    {18, 2, true, 16}, {4, 4, true, -1},  {12, 4, false, -1}, {20, 4, true, 0}, {3, 2, true, -1},  // unlisted: s16
};

int64_t readElement(const uint8_t* p, const TypeRef& t)
{
    uint32_t raw = 0;
    std::memcpy(&raw, p, t.size);
    if (t.size == 4 && t.isSigned)
        return static_cast<int32_t>(raw);
    if (t.size == 4)
        return raw;
    const int bits = 8 * t.size;
    if (t.isSigned && (raw >> (bits - 1)))
        return static_cast<int64_t>(raw) - (int64_t{1} << bits);
    return raw;
}

// The conversion as the format states it, in 64-bit arithmetic.
int32_t reference(int64_t e, int32_t shift, bool isSigned)
{
    if (shift >= 0)
        return shift >= 32 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(e << shift));
    const int n = -shift;
    if (n >= 32)
        return isSigned && e < 0 ? -1 : 0;
    return static_cast<int32_t>(isSigned ? e >> n : static_cast<uint32_t>(e) >> n);
}

TEST(VertexArray, EveryTypeCountStrideAndShiftMatchesTheReference)
{
    // Bytes that exercise signs in every width; the base is odd, so every
    // element is unaligned.
    std::vector<uint8_t> bytes(512);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 77 + 0x85);
    const uint8_t* base = bytes.data() + 201;
    for (const TypeRef& t : kTypes)
        for (uint32_t count = 0; count <= 5; ++count)
            for (int32_t stride : {0, 7, 16, -13})
                for (int32_t shift : {0, 5, -3, -8, 31, 32, 40, -31, -32, -40})
                    for (uint32_t vertex : {0u, 3u}) {
                        int32_t out[8];
                        std::memset(out, 0xAB, sizeof out);
                        const uint8_t* end =
                            fetchElements(out, vertex, 2, stride, base, t.code, count, shift);
                        const uint8_t* p = base + static_cast<int64_t>(vertex) * stride;
                        const bool valid = count >= 1 && count <= 4;
                        EXPECT_EQ(end, p + (valid ? count * t.size : 0));
                        for (uint32_t c = 0; c < 8; ++c) {
                            const bool written = valid && c >= 2 && c < 2 + count;
                            if (!written) {
                                EXPECT_EQ(out[c], static_cast<int32_t>(0xABABABAB)) << "slot " << c;
                                continue;
                            }
                            const int64_t e = readElement(p + (c - 2) * t.size, t);
                            const bool last = c == 1 + count;
                            const int32_t want = last && t.lastShift >= 0
                                                     ? static_cast<int32_t>(static_cast<uint32_t>(e) << t.lastShift)
                                                     : reference(e, shift, t.isSigned);
                            EXPECT_EQ(out[c], want) << "type " << int(t.code) << " count " << count << " stride "
                                                    << stride << " shift " << shift << " component " << c - 2;
                        }
                    }
}

TEST(VertexArray, IndicesDescriptorsAndTextureCoordinates)
{
    const uint16_t values[] = {0xFF00, 0x0100, 0x8000, 0x0002};
    VertexArray a;
    a.set(values, 2, kVertexU16, -8, 1, 4);
    int32_t out[4] = {};
    fetchAttribute(a, out, 0);
    fetchAttribute(a, out, 0);  // a negative shift is applied afresh each time
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0x01);
    EXPECT_EQ(a.shift, -8);

    const uint8_t idx8[] = {1, 0, 255};
    a.indices = idx8;
    a.indexType = kVertexU8;
    EXPECT_EQ(resolveIndex(a, 0), 1);
    EXPECT_EQ(resolveIndex(a, 2), 255);
    fetchIndexed(a, out, 0);
    EXPECT_EQ(out[1], 0x80);
    const int32_t idx32[] = {-1, 7};
    a.indices = reinterpret_cast<const uint8_t*>(idx32);
    a.indexType = kVertexRaw32;
    EXPECT_EQ(resolveIndex(a, 0), -1);
    const uint16_t idx16[] = {0xFFFF};
    a.indices = reinterpret_cast<const uint8_t*>(idx16);
    a.indexType = 99;
    EXPECT_EQ(resolveIndex(a, 0), 0xFFFF);

    // Texture coordinates: v is the next element, flipped against 1 << (s2 + 8).
    const int16_t uv[] = {0x40, 0x10, 0x80, 0x20};
    VertexArray tc;
    tc.set(uv, 2, kVertexS16, 8, 0, 4);
    tc.shift2 = 8;
    tc.texCoordMode = 0;
    int32_t o[2];
    fetchVertex(tc, o, 1, nullptr);
    EXPECT_EQ(o[0], 0x80 << 8);
    EXPECT_EQ(o[1], 0x10000 - (0x20 << 8));
    Fixed m[16] = {};
    m[0] = 0x20000;   // u' = 2u + v + 0.5
    m[1] = 0x10000;
    m[12] = 0x8000;
    m[5] = 0x10000;   // v' = v - 1
    m[13] = -0x10000;
    tc.textureMatrix = 1;
    fetchVertex(tc, o, 1, m);
    EXPECT_EQ(o[0], 2 * (0x80 << 8) + (0x10000 - (0x20 << 8)) + 0x8000);
    EXPECT_EQ(o[1], -(0x20 << 8));
    tc.shift2 = 30;  // 1 << 38 does not exist: the flip base is 0
    tc.textureMatrix = 0;
    fetchVertex(tc, o, 0, nullptr);
    EXPECT_EQ(o[1], 0);
}

TEST(VertexArray, BoundCallAppendsItsTwoWords)
{
    struct Recorder : BoundCall {
        int32_t invoke(int32_t a, int32_t b, uint32_t first, uint32_t second) override
        {
            seen = {uint32_t(a), uint32_t(b), first, second};
            return a + b;
        }
        std::vector<uint32_t> seen;
    } call;
    EXPECT_EQ(call.m_typeId, kBoundCallTypeId);
    EXPECT_EQ(call.forward(3, 4), 7);
    EXPECT_EQ(call.seen, (std::vector<uint32_t>{3, 4, 0, 0}));  // cleared when made
    call.bind(0xCAFE, 0xF00D);
    call.forward(-1, 9);
    EXPECT_EQ(call.seen, (std::vector<uint32_t>{0xFFFFFFFF, 9, 0xCAFE, 0xF00D}));
}

}  // namespace
