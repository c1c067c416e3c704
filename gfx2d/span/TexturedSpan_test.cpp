// The host-code textured span against references written here: nearest
// texels packed for both targets, the depth test and write, transparent
// samples, the perspective divide and the level of detail with its cap.
#include "gfx2d/span/TexturedSpan.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "gfx2d/span/ScanConversion.h"

namespace {

using namespace PixelFormat;

// The triangle driver's native span call takes it as it stands.
static_assert(std::is_same_v<decltype(&texturedSpan), NativeSpan>);

constexpr int kW = 12;
constexpr uint32_t kColours[8] = {0xFF102030, 0xFFF0E0D0, 0x00FFFFFF, 0xFF80FF01,
                                  0xFF0000FF, 0xFFFF0000, 0xFF00FF00, 0xFF7F7F7F};

// Rows of colour and depth with an 8 x 2 texture in unit 0; texel (x, y)
// is kColours[x]. Level 1, when built, averages each pair of columns.
struct SpanRow {
    std::vector<uint8_t> colour;
    std::vector<uint32_t> depth;
    RasterState rs;
    RenderTargetView view;

    SpanRow(RSBFormat format, bool mipmaps, uint32_t rows = 1) : depth(kW * rows, 150)
    {
        const uint32_t bpp = format == R5G6B5 ? 2 : 4;
        colour.assign(kW * bpp * rows, 0);
        rs.init(16);
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane | kTargetDepthPlane;
        view.colour = {colour.data(), int32_t(kW * bpp), kW * bpp * rows, format};
        view.depth = {reinterpret_cast<uint8_t*>(depth.data()), kW * 4, kW * 4 * rows, Z32};
        rs.bindTarget(&view);
        TextureStore& store = *rs.textureStore();
        const int32_t slot = store.createEntry(8, 2, A8R8G8B8, 0);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const uint32_t c = kColours[x];
                store.writeTexel(slot, x, y, {int32_t(c >> 24), int32_t(c >> 16 & 255), int32_t(c >> 8 & 255),
                                              int32_t(c & 255)});
            }
        if (mipmaps)
            store.buildMipmaps(slot);
        rs.bindTextureUnit(0, slot);
        RasterStateBlock& s = rs.block();
        s.texture_units[0].filter_mode = kFilterNearestLevel;
        s.texture_units[0].texmode = kWrapRepeat;
        s.scissorx0 = 0, s.scissorx1 = kW;
        s.destptr = s.destbase, s.zptr = s.zbase;
        s.drawBytes[0] = s.drawBytes[1] = 0;
        // Depth 100 + 10 per pixel, u = 0.5 + x texels (one texel a pixel), v = 0.5.
        s.intp[0] = 95, s.intdp[0] = 10;
        s.intp[1] = 0, s.intdp[1] = kFixedOne;
        s.intp[2] = 0x8000, s.intdp[2] = 0;
    }
    uint32_t pixel(int x) const
    {
        if (view.colour.format == R5G6B5)
            return uint32_t(colour[2 * x] | colour[2 * x + 1] << 8);
        return uint32_t(colour[4 * x] | colour[4 * x + 1] << 8 | colour[4 * x + 2] << 16 | colour[4 * x + 3] << 24);
    }
};

uint32_t packed(RSBFormat format, uint32_t argb)
{
    return format == R5G6B5 ? rgb565(argb >> 16 & 255, argb >> 8 & 255, argb & 255) : argb & 0xFFFFFF;
}

TEST(TexturedSpan, NearestTexelsDepthAndTransparencyMatchTheReference)
{
    const struct {
        RSBFormat format;
        uint8_t test, write;
        int32_t perspective;  // 0 off, else (depth - offset) in 1/2^20 and the depth offset
    } cases[] = {
        {X8R8G8B8, 0, 0, 0}, {R5G6B5, 0, 0, 0}, {X8R8G8B8, 1, 0, 0},
        {R5G6B5, 1, 1, 0},   {X8R8G8B8, 0, 1, 0}, {X8R8G8B8, 0, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << formatName(c.format) << " test " << int(c.test) << " write "
                                        << int(c.write) << " perspective " << c.perspective);
        SpanRow row(c.format, false);
        RasterStateBlock& s = row.rs.block();
        s.drawBytes[0] = c.test, s.drawBytes[1] = c.write;
        if (c.perspective) {
            // Coordinates stored multiplied by (depth - offset) >> 20, with a
            // constant depth: the divide must give back the plain ones.
            s.perspective = 1;
            s.depthrange_n = 0x1000;
            s.intp[0] = 0x1000 + (c.perspective << 20), s.intdp[0] = 0;
            s.intp[1] *= c.perspective, s.intdp[1] *= c.perspective;
            s.intp[2] *= c.perspective, s.intdp[2] *= c.perspective;
        }
        texturedSpan(row.rs, 2 << 16, 10 << 16);
        for (int x = 0; x < kW; ++x) {
            const int32_t depth = c.perspective ? s.intp[0] : 100 + 10 * x;
            const bool covered = x >= 2 && x < 10 && !(c.test && depth <= 150);
            const uint32_t texel = kColours[x % 8];
            const bool drawn = covered && (texel >> 24) != 0;
            EXPECT_EQ(row.pixel(x), drawn ? packed(c.format, texel) : 0u) << x;
            EXPECT_EQ(row.depth[x], drawn && c.write ? uint32_t(depth) : 150u) << x;
        }
    }
}

// The level of detail is the larger x gradient of u and v: one texel a
// pixel selects level 1 of a chain (each of its texels averages a pair of
// columns), two texels a pixel on a single level stays on level 0.
TEST(TexturedSpan, LevelOfDetailComesFromTheGradients)
{
    for (bool mipmaps : {false, true}) {
        SCOPED_TRACE(mipmaps);
        SpanRow row(X8R8G8B8, mipmaps);
        RasterStateBlock& s = row.rs.block();
        s.intdp[1] = mipmaps ? kFixedOne : 2 * kFixedOne;
        texturedSpan(row.rs, 0, 4 << 16);
        for (int x = 0; x < 4; ++x) {
            uint32_t want = kColours[2 * x + 1];
            if (mipmaps) {
                const uint32_t a = kColours[x / 2 * 2], b = kColours[x / 2 * 2 + 1];
                want = 0;
                for (int shift : {16, 8, 0})
                    want |= (((a >> shift & 255) + (b >> shift & 255)) >> 1) << shift;
            }
            EXPECT_EQ(row.pixel(x), want & 0xFFFFFF) << x;
        }
    }
}

// Bound as the triangle driver's native span, it fills a textured quad:
// an 8 x 2 quad at (2, 1) with u running from 8 down to 0 shows texel
// column 9 - x at pixel x, and leaves the transparent one alone.
TEST(TexturedSpan, FillsAQuadThroughTheTriangleDriver)
{
    for (RSBFormat format : {X8R8G8B8, R5G6B5}) {
        SCOPED_TRACE(formatName(format));
        SpanRow quad(format, false, 4);
        setClipRectangle(quad.rs, 0, 0, kW, 4);
        Fixed* m = quad.rs.block().matrix2D.entries[0];
        m[4] = 2 << 16, m[5] = 1 << 16;
        ScanConverter sc(quad.rs);
        sc.bindNativeSpan(texturedSpan, 3);
        const Fixed u[4] = {8 << 16, 8 << 16, 0, 0}, v[4] = {0, 2 << 16, 2 << 16, 0};
        sc.drawTexturedQuad(8 << 16, 2 << 16, u, v, false);
        EXPECT_EQ(sc.counts().returned, 2u);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < kW; ++x) {
                const bool inside = x >= 2 && x < 10 && y >= 1 && y < 3;
                const uint32_t texel = inside ? kColours[9 - x] : 0;
                EXPECT_EQ(quad.pixel(y * kW + x), texel >> 24 ? packed(format, texel) : 0u) << x << "," << y;
            }
    }
}

TEST(TexturedSpan, PackingKeepsEachChannelsTopBits)
{
    const uint32_t c[4] = {0xFFFF, 0xABAB, 0x5C5C, 0x3737};
    EXPECT_EQ(packTexelRgb565(c), rgb565(0xAB, 0x5C, 0x37));
    EXPECT_EQ(packTexelXrgb8888(c), 0xAB5C37u);
}

} // namespace
