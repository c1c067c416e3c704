#include "gfx2d/blit/BlitterRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "framework/streams/MemoryInputStream.h"
#include "tests/support/TestApp.h"

namespace {

using namespace PixelFormat;
using Bytes = std::vector<uint8_t>;

// Slow references written from the loops' definitions, pixel by pixel.
uint32_t w5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t w6(uint32_t v) { return (v << 2) | (v >> 4); }
uint32_t rgbOf565(uint32_t p) { return w5(p >> 11) << 16 | w6((p >> 5) & 63) << 8 | w5(p & 31); }
uint32_t to565(uint32_t rgb) { return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31); }
uint32_t blendRef(uint32_t dst, uint32_t src, uint32_t a)
{
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8)
        out |= ((((dst >> s) & 255) * (255 - a) + ((src >> s) & 255) * a) >> 8) << s;
    return out;
}

uint32_t load(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    std::memcpy(&v, p, bytes);
    return v;
}
void store(uint8_t* p, int bytes, uint32_t v)
{
    std::memcpy(p, &v, bytes);
}

struct BlitterTest : ::testing::Test {
    TestApp app;
    std::mt19937 random{1234};
    BlitterTest() { registerBlitters(); }

    Bytes noise(size_t n)
    {
        Bytes b(n);
        for (uint8_t& v : b)
            v = uint8_t(random());
        return b;
    }
    std::vector<uint32_t> palette()
    {
        std::vector<uint32_t> p(256);
        for (uint32_t i = 0; i < 256; ++i)
            p[i] = i % 5 == 1 ? (random() & 0xFF000000) | kKeyRgb : uint32_t(random());
        return p;
    }
    BlitFunction find(RSBFormat src, RSBFormat dst, uint32_t key, uint32_t alphaTest, uint32_t blend, uint32_t op)
    {
        BlitKey q{src, dst, key, alphaTest, blend, op, nullptr};
        return findBlitter(q);
    }
};

TEST_F(BlitterTest, RegistrationIsIdempotentAndFindFollowsTheTableRules)
{
    BlitterRegistry* registry = BlitterRegistry::instance();
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->count(), 38u);
    EXPECT_EQ(registerBlitters(), 1);
    EXPECT_EQ(registry->count(), 38u);

    const BlitFunction constAlpha = find(P8X8R8G8B8, R5G6B5, 2, 0, 1, 0);
    ASSERT_NE(constAlpha, nullptr);
    EXPECT_EQ(find(P8X8R8G8B8, R5G6B5, 2, 0, 2, 0), constAlpha);
    EXPECT_EQ(find(P8X8R8G8B8, R5G6B5, 2, 0, 5, 0), constAlpha);
    EXPECT_EQ(find(0x12345, X8R8G8B8, 0, 1, 4, 1), registry->entry(17).function);
    EXPECT_EQ(find(A8R8G8B8, R5G6B5, 0, 0, 0, 3), registry->entry(18).function);
    EXPECT_EQ(find(P8X8R8G8B8, R5G6B5, 1, 0, 0, 2), find(P8X8R8G8B8, R5G6B5, 0, 0, 0, 2));
    BlitKey missing{0, A1R5G5B5, 0, 0, 0, 1, constAlpha};
    EXPECT_EQ(registry->find(missing), 0);
    EXPECT_EQ(missing.function, nullptr);
    EXPECT_EQ(find(R5G6B5, R5G6B5, 0, 1, 0, 0), nullptr);
    EXPECT_EQ(find(R5G6B5, R5G6B5, 2, 0, 3, 0), nullptr);

    for (uint32_t i = registry->count(); i < BlitterRegistry::kCapacity; ++i)
        EXPECT_EQ(BlitterRegistry::add(1, 2, 3, 4, 5, 6, constAlpha), 1);
    EXPECT_EQ(BlitterRegistry::add(1, 2, 3, 4, 5, 6, constAlpha), 0);
    EXPECT_EQ(registry->count(), BlitterRegistry::kCapacity);
}

TEST_F(BlitterTest, ImageCopiesMatchTheReferenceInEveryMode)
{
    struct Row {
        RSBFormat src, dst;
        uint32_t key, blend;
    };
    const Row rows[] = {
        {R5G6B5, R5G6B5, 0, 0},         {R5G6B5, R5G6B5, 2, 0},         {R5G6B5, R5G6B5, 2, 1},
        {P8X8R8G8B8, R5G6B5, 0, 0},     {P8X8R8G8B8, R5G6B5, 2, 0},     {P8X8R8G8B8, R5G6B5, 2, 1},
        {X8R8G8B8, X8R8G8B8, 0, 0},     {X8R8G8B8, X8R8G8B8, 2, 0},     {X8R8G8B8, X8R8G8B8, 2, 1},
        {P8X8R8G8B8, X8R8G8B8, 0, 0},   {P8X8R8G8B8, X8R8G8B8, 2, 0},   {P8X8R8G8B8, X8R8G8B8, 2, 1},
    };
    // Width, height, and a shift that draws the picture onto itself moved by
    // it: the result is then that of a copy of the source taken first.
    const int sizes[][4] = {{1, 1, 0, 0}, {7, 5, 0, 0}, {13, 3, 0, 0}, {2, 9, 0, 0},
                            {7, 5, 1, 0}, {7, 5, -1, 0}, {2, 9, 0, 1},  {13, 3, 0, -1}};
    for (const Row& row : rows) {
        const BlitFunction loop = find(row.src, row.dst, row.key, 0, row.blend, 0);
        ASSERT_NE(loop, nullptr);
        const int sb = int(bytesPerPixel(row.src)), db = int(bytesPerPixel(row.dst));
        const bool paletted = row.src == P8X8R8G8B8;
        for (const auto& size : sizes)
            for (int mirror = 0; mirror < 4; ++mirror)
                for (uint32_t alpha : {0u, 1u, 128u, 255u}) {
                    const bool onItself = size[2] || size[3];
                    if ((row.blend == 0 && alpha != 255) || (onItself && paletted))
                        continue;
                    const int w = size[0], h = size[1];
                    // The rectangle sits inside larger images, so strides and
                    // every untouched neighbour are checked too.
                    const int srcPitch = (w + 3) * sb, dstPitch = onItself ? srcPitch : (w + 5) * db;
                    Bytes src = noise(size_t(srcPitch) * (h + 2));
                    for (size_t i = 0; sb == 2 && i < src.size(); i += 6)
                        store(&src[i], 2, kKey565);
                    for (size_t i = 0; sb == 4 && i < src.size(); i += 12)
                        store(&src[i], 4, (uint32_t(src[i + 3]) << 24) | kKeyRgb);
                    const std::vector<uint32_t> pal = palette();
                    const Bytes dst0 = onItself ? src : noise(size_t(dstPitch) * (h + 2));
                    Bytes dst = dst0, expected = dst0;
                    const uint8_t* s0 = src.data() + srcPitch + sb;
                    uint8_t* d0 = dst.data() + (onItself ? (1 + size[3]) * srcPitch + (1 + size[2]) * sb
                                                         : dstPitch + 2 * db);
                    for (int y = 0; y < h && !(row.blend && alpha == 0); ++y)
                        for (int x = 0; x < w; ++x) {
                            const int sx = (mirror & 1) ? w - 1 - x : x, sy = (mirror & 2) ? h - 1 - y : y;
                            const uint8_t* sp = s0 + sy * srcPitch + sx * sb;
                            uint8_t* ep = expected.data() + (d0 - dst.data()) + y * dstPitch + x * db;
                            const uint32_t raw = paletted ? pal[*sp] : load(sp, sb);
                            const bool isKey = sb == 2 ? raw == kKey565 : (raw & 0xFFFFFF) == kKeyRgb;
                            if (row.key && isKey)
                                continue;
                            const uint32_t rgb = sb == 2 ? rgbOf565(raw) : raw & 0xFFFFFF;
                            uint32_t out;
                            if (row.blend) {
                                const uint32_t under = db == 2 ? rgbOf565(load(ep, 2)) : load(ep, 4);
                                const uint32_t mixed = blendRef(under, rgb, alpha);
                                out = db == 2 ? to565(mixed) : 0xFF000000 | mixed;
                            } else if (row.src == row.dst) {
                                out = raw;
                            } else {
                                out = db == 2 ? to565(rgb) : 0xFF000000 | rgb;
                            }
                            store(ep, db, out);
                        }
                    BlitImageJob job;
                    job.srcPitch = srcPitch;
                    job.srcPixels = onItself ? dst.data() + (s0 - src.data()) : s0;
                    job.palette = pal.data();
                    job.dstPitch = dstPitch;
                    job.dstPixels = d0;
                    job.width = w;
                    job.height = h;
                    job.mirrorX = mirror & 1;
                    job.mirrorY = (mirror >> 1) & 1;
                    job.alpha = uint8_t(alpha);
                    loop(&job);
                    ASSERT_EQ(dst, expected) << formatName(row.src) << " to " << formatName(row.dst) << " key "
                                             << row.key << " blend " << row.blend << " " << w << "x" << h
                                             << " mirror " << mirror << " alpha " << alpha << " shift "
                                             << size[2] << "," << size[3];
                }
    }
}

// Bresenham's minor coordinate at step i, rounding halves up.
int minorAt(int i, int major, int minor)
{
    return major == 0 ? 0 : (2 * i * minor + major) / (2 * major);
}

TEST_F(BlitterTest, LinesAndFillsMatchTheReference)
{
    constexpr int kSize = 32;
    const int offsets[][2] = {{0, 0}, {5, 0}, {-5, 0}, {0, 7}, {3, -3}, {7, 2}, {-2, -9}, {1, 10}, {-11, 4}};
    struct Colour {
        RSBFormat format;
        uint32_t value;
        uint32_t argb;
    };
    // A colour in a format with no rule to A8R8G8B8 draws opaque black.
    const Colour colours[] = {{A8R8G8B8, 0x80FF4010, 0x80FF4010}, {A8R8G8B8, 0x00FFFFFF, 0x00FFFFFF},
                              {R5G6B5, 0xF81F, 0xFFFF00FF}, {A1R5G5B5, 0xFFFF, 0xFF000000},
                              {Z32, 0x123456, 0xFF000000}};
    for (RSBFormat dstFormat : {R5G6B5, X8R8G8B8})
        for (uint32_t op : {1u, 3u})
            for (uint32_t mode = 0; mode < 3; ++mode)
                for (const Colour& colour : colours) {
                    const uint32_t alphaTest = mode ? 1 : 0, blend = mode == 2 ? 3 : 0;
                    const BlitFunction loop = find(colour.format, dstFormat, 0, alphaTest, blend, op);
                    ASSERT_NE(loop, nullptr);
                    const int db = int(bytesPerPixel(dstFormat)), pitch = kSize * db;
                    const uint32_t alpha = colour.argb >> 24, rgb = colour.argb & 0xFFFFFF;
                    for (const auto& o : offsets) {
                        const Bytes dst0 = noise(size_t(pitch) * kSize);
                        Bytes dst = dst0, expected = dst0;
                        auto plot = [&](int x, int y) {
                            uint8_t* p = expected.data() + y * pitch + x * db;
                            uint32_t out = rgb;
                            if (blend)
                                out = blendRef(db == 2 ? rgbOf565(load(p, 2)) : load(p, 4), rgb, alpha);
                            store(p, db, db == 2 ? to565(out) : 0xFF000000 | out);
                        };
                        const int x0 = 16, y0 = 16, dx = o[0], dy = o[1];
                        const int ax = std::abs(dx), ay = std::abs(dy), sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
                        if (!(alphaTest && alpha == 0)) {
                            if (op == 3) {
                                for (int y = 0; y < ay; ++y)
                                    for (int x = 0; x < ax; ++x)
                                        plot(x0 - 8 + x, y0 - 8 + y);
                            } else if (ay > ax) {
                                for (int i = 0; i < std::max(ay, 1); ++i)
                                    plot(x0 + sx * minorAt(i, ay, ax), y0 + sy * i);
                            } else {
                                for (int i = 0; i < std::max(ax, 1); ++i)
                                    plot(x0 + sx * i, y0 + sy * minorAt(i, ax, ay));
                            }
                        }
                        BlitShapeJob job;
                        job.dstPitch = pitch;
                        job.dstPixels = dst.data() + (op == 3 ? (y0 - 8) * pitch + (x0 - 8) * db : y0 * pitch + x0 * db);
                        job.colorFormat = colour.format;
                        job.color = &colour.value;
                        job.width = op == 3 ? ax : dx;
                        job.height = op == 3 ? ay : dy;
                        loop(&job);
                        ASSERT_EQ(dst, expected) << formatName(dstFormat) << " op " << op << " mode " << mode
                                                 << " colour " << std::hex << colour.value << std::dec << " offset "
                                                 << dx << "," << dy;
                    }
                }
}

TEST_F(BlitterTest, StreamConversionsMatchTheReference)
{
    struct Row {
        RSBFormat src, dst;
        uint32_t key;
    };
    const Row rows[] = {
        {R8G8B8, R5G6B5, 0},          {P4X8R8G8B8, R5G6B5, 0},      {P8X8R8G8B8, R5G6B5, 0},
        {P8X8R8G8B8, R5G6B5, 1},      {P4X8R8G8B8, A1R5G5B5, 1},    {P8X8R8G8B8, A1R5G5B5, 1},
        {P8X8R8G8B8, A4R4G4B4, 1},    {P4X8R8G8B8, X14R6G6B6, 0},   {P8X8R8G8B8, X14R6G6B6, 0},
        {R8G8B8, X8R8G8B8, 0},        {P4X8R8G8B8, X8R8G8B8, 0},    {P8X8R8G8B8, X8R8G8B8, 0},
        {P4X8R8G8B8, P8X8R8G8B8, 0},  {P8X8R8G8B8, P8X8R8G8B8, 0},
    };
    const uint32_t key = 0x123456;
    for (const Row& row : rows) {
        const BlitFunction loop = find(row.src, row.dst, row.key, 0, 0, 2);
        ASSERT_NE(loop, nullptr);
        const int db = int(bytesPerPixel(row.dst));
        // Only the keyed loops of rows 29-31 apply the key.
        const bool applyKey = row.key && row.dst != R5G6B5;
        for (int w : {1, 5, 8})
            for (int h : {1, 3})
                for (int flags = 0; flags < 8; ++flags)
                    for (uint32_t skip : {0u, 3u}) {
                        const bool transpose = flags & 1, mirrorX = flags & 2, mirrorY = flags & 4;
                        const int rowBytes = row.src == R8G8B8 ? 3 * w : (row.src == P8X8R8G8B8 ? w : (w + 1) / 2);
                        Bytes stream = noise(size_t(rowBytes + skip) * h + 1);
                        std::vector<uint32_t> pal = palette();
                        pal[3] = 0x7F000000 | key;
                        if (row.src == R8G8B8)
                            std::memcpy(&stream[0], "\x56\x34\x12", 3);
                        else
                            stream[0] = row.src == P4X8R8G8B8 ? 0x33 : 3;
                        const int bw = transpose ? h : w, bh = transpose ? w : h, pitch = bw * db + 4;
                        const Bytes dst0 = noise(size_t(pitch) * bh);
                        Bytes dst = dst0, expected = dst0;
                        for (int r = 0; r < h; ++r)
                            for (int c = 0; c < w; ++c) {
                                const uint8_t* in = &stream[size_t(r) * (rowBytes + skip)];
                                uint32_t index = 0, colour;
                                if (row.src == R8G8B8) {
                                    colour = in[3 * c] | in[3 * c + 1] << 8 | in[3 * c + 2] << 16;
                                } else {
                                    index = row.src == P8X8R8G8B8 ? in[c] : (c & 1 ? in[c / 2] & 15 : in[c / 2] >> 4);
                                    colour = pal[index] & 0xFFFFFF;
                                }
                                if (applyKey && colour == key)
                                    continue;
                                const uint32_t r8 = colour >> 16, g8 = (colour >> 8) & 255, b8 = colour & 255;
                                uint32_t out = 0;
                                if (row.dst == R5G6B5)
                                    out = to565(colour);
                                else if (row.dst == A1R5G5B5)
                                    out = 0x8000 | (r8 >> 3) << 10 | (g8 >> 3) << 5 | b8 >> 3;
                                else if (row.dst == A4R4G4B4)
                                    out = 0xF000 | (r8 >> 4) << 8 | (g8 >> 4) << 4 | b8 >> 4;
                                else if (row.dst == X14R6G6B6)
                                    out = (r8 >> 2) << 12 | (g8 >> 2) << 6 | b8 >> 2;
                                else if (row.dst == X8R8G8B8)
                                    out = 0xFF000000 | colour;
                                else
                                    out = index;
                                const int x = transpose ? (mirrorX ? h - 1 - r : r) : (mirrorX ? w - 1 - c : c);
                                const int y = transpose ? (mirrorY ? w - 1 - c : c) : (mirrorY ? h - 1 - r : r);
                                store(&expected[size_t(y) * pitch + x * db], db, out);
                            }
                        MemoryInputStream in;
                        in.open(stream.data(), uint32_t(stream.size()));
                        BlitStreamJob job;
                        job.stream = &in;
                        job.rowSkip = skip;
                        job.palette = pal.data();
                        job.dstPitch = pitch;
                        job.dstPixels = dst.data();
                        job.width = w;
                        job.height = h;
                        job.keyBlue = key & 255;
                        job.keyGreen = (key >> 8) & 255;
                        job.keyRed = key >> 16;
                        job.transpose = transpose;
                        job.mirrorX = mirrorX;
                        job.mirrorY = mirrorY;
                        loop(&job);
                        EXPECT_EQ(in.available(), 1u);
                        ASSERT_EQ(dst, expected) << formatName(row.src) << " to " << formatName(row.dst) << " "
                                                 << w << "x" << h << " flags " << flags << " skip " << skip;
                    }
    }
}

} // namespace
