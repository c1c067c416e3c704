// Scan conversion against a reference coverage test written here (pixel
// centres inside the exact polygon, half-open on the right and bottom), the
// tiling rule (meshes cover every pixel exactly once), clipping, the row
// rule, degenerate and off-target input, and the drawArrays set-ups.
#include "gfx2d/span/ScanConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/UnalignedAccess.h"

namespace {

constexpr int kW = 64, kH = 48;

struct Point {
    Fixed x, y;
};

// One byte a pixel; the counting span adds 1 to every pixel it covers.
struct Canvas {
    RasterState rs;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(kW * kH, 0);
    RenderTargetView view;
    ScanConverter sc{rs};

    explicit Canvas(int32_t driver = kDriverTriangle, int32_t pool = 200)
    {
        rs.init(pool);
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
        view.colour = {pixels.data(), kW, static_cast<uint32_t>(pixels.size()), PixelFormat::L8};
        rs.bindTarget(&view);
        setClipRectangle(rs, 0, 0, kW, kH);
        sc.bindNativeSpan(driver == kDriverTriangle ? countX : countEdges, 0, driver);
    }
    template <class Paint>
    static void add(RasterState& state, Fixed l, Fixed r, Paint paint)
    {
        const RasterStateBlock& s = state.block();
        const int32_t x0 = std::max((l + 0x7FFF) >> 16, s.scissorx0), x1 = std::min((r + 0x7FFF) >> 16, s.scissorx1);
        for (int32_t x = x0; x < x1; ++x)
            paint(*state.addressSpace().writable(s.destptr + static_cast<uint32_t>(x), 1), x);
    }
    static void count(uint8_t& p, int32_t) { ++p; }
    static void countX(RasterState& state, uint32_t a, uint32_t b) { add(state, Fixed(a), Fixed(b), count); }
    // The polygon driver hands over its edge records.
    static Fixed edge(RasterState& state, uint32_t e, int word)
    {
        return loadUnaligned<Fixed>(state.addressSpace().translate(e, 80) + 4 * word);
    }
    static void countEdges(RasterState& state, uint32_t a, uint32_t b)
    {
        add(state, edge(state, a, kVertexScreenX), edge(state, b, kVertexScreenX), count);
    }
    // The texel of an 8 x 8 picture at each pixel centre, 0x80 | u << 3 | v:
    // from the triangle driver's plane, or between the polygon driver's edges.
    static void texel(uint8_t& p, double u, double v)
    {
        p = uint8_t(0x80 | (int(std::floor(u)) & 7) << 3 | (int(std::floor(v)) & 7));
    }
    static void texelsX(RasterState& state, uint32_t a, uint32_t b)
    {
        const RasterStateBlock& s = state.block();
        auto at = [&](int k, int32_t x) {
            return Fixed(uint32_t(s.intp[k]) + uint32_t(x) * uint32_t(s.intdp[k]) + uint32_t(s.intdp[k] >> 1)) / 65536.0;
        };
        add(state, Fixed(a), Fixed(b), [&](uint8_t& p, int32_t x) { texel(p, at(1, x), at(2, x)); });
    }
    static void texelsEdges(RasterState& state, uint32_t a, uint32_t b)
    {
        const Fixed xa = edge(state, a, kVertexScreenX), xb = edge(state, b, kVertexScreenX);
        auto at = [&](int k, int32_t x) {
            const double ua = edge(state, a, kVertexInterpolants + k), ub = edge(state, b, kVertexInterpolants + k);
            return (ua + (x * 65536.0 + 32768 - xa) * (ub - ua) / (xb - xa)) / 65536;
        };
        add(state, xa, xb, [&](uint8_t& p, int32_t x) { texel(p, at(1, x), at(2, x)); });
    }
    // drawList over screen-space points (the 2D pipeline's words 4 and 5).
    void draw(const std::vector<Point>& points)
    {
        std::vector<Fixed> records(points.size() * 20, 0);
        std::vector<Fixed*> list;
        for (size_t i = 0; i < points.size(); ++i) {
            Fixed* v = &records[i * 20];
            v[0] = points[i].x, v[1] = points[i].y, v[kVertexInW] = kFixedOne;
            rs.block().viewportMappingMode = 1;
            affineTransformPoint(rs.block().matrix2D.entries[0], v[0], v[1], v + kVertexOutX);
            v[kVertexOutW] = kFixedOne;
            rs.outcode2D(v);
            list.push_back(v);
        }
        sc.drawList(list.data(), static_cast<uint32_t>(list.size()), false);
    }
};

// Exact coverage of a convex polygon (either winding) at pixel centres:
// inside when strictly inside each edge, and on an edge only when the edge
// bounds the polygon from the left or from above (the half-open rule).
std::vector<uint8_t> referenceCoverage(const std::vector<Point>& p, int x0, int y0, int x1, int y1)
{
    std::vector<uint8_t> out(kW * kH, 0);
    const size_t n = p.size();
    for (int y = std::max(y0, 0); y < std::min(y1, kH); ++y) {
        // Exact crossing interval of the row's centre line, as rationals compared by cross-multiplying.
        const int64_t cy = (static_cast<int64_t>(y) << 16) + 0x8000;
        double lo = 1e18, hi = -1e18;
        bool any = false;
        for (size_t i = 0; i < n; ++i) {
            const Point a = p[i], b = p[(i + 1) % n];
            const Point top = a.y < b.y ? a : b, bottom = a.y < b.y ? b : a;
            if (!(cy >= top.y && cy < bottom.y))
                continue;
            const double x = top.x + static_cast<double>(bottom.x - top.x) * static_cast<double>(cy - top.y) / (bottom.y - top.y);
            lo = std::min(lo, x), hi = std::max(hi, x), any = true;
        }
        if (!any)
            continue;
        for (int x = std::max(x0, 0); x < std::min(x1, kW); ++x) {
            const double cx = x * 65536.0 + 32768.0;
            if (cx >= lo && cx < hi)
                out[y * kW + x] = 1;
        }
    }
    return out;
}

// Pixels whose centre lies within 1/64 pixel of an edge may go either way:
// the edge steps come from a reciprocal table.
bool nearAnEdge(const std::vector<Point>& p, int x, int y)
{
    const double cx = x + 0.5, cy = y + 0.5;
    for (size_t i = 0; i < p.size(); ++i) {
        const double ax = p[i].x / 65536.0, ay = p[i].y / 65536.0;
        const double bx = p[(i + 1) % p.size()].x / 65536.0, by = p[(i + 1) % p.size()].y / 65536.0;
        const double dx = bx - ax, dy = by - ay, len = std::sqrt(dx * dx + dy * dy);
        if (len == 0)
            continue;
        const double t = std::clamp(((cx - ax) * dx + (cy - ay) * dy) / (len * len), 0.0, 1.0);
        if (std::hypot(ax + t * dx - cx, ay + t * dy - cy) < 1.0 / 64)
            return true;
    }
    return false;
}

void expectCoverage(const Canvas& c, const std::vector<Point>& p, int x0, int y0, int x1, int y1, const char* what)
{
    const std::vector<uint8_t> want = referenceCoverage(p, x0, y0, x1, y1);
    int differences = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (c.pixels[y * kW + x] != want[y * kW + x] && !nearAnEdge(p, x, y))
                ++differences;
    EXPECT_EQ(differences, 0) << what;
}

Point pt(double x, double y) { return {static_cast<Fixed>(x * 65536), static_cast<Fixed>(y * 65536)}; }

}  // namespace

TEST(ScanConversion, PolygonsCoverThePixelCentresTheReferenceCovers)
{
    struct Case {
        const char* what;
        std::vector<Point> points;
    };
    const Case cases[] = {
        {"triangle", {pt(3.2, 2.7), pt(40.9, 10.1), pt(12.4, 40.6)}},
        {"other winding", {pt(3.2, 2.7), pt(12.4, 40.6), pt(40.9, 10.1)}},
        {"thin sliver", {pt(1, 1), pt(60, 3), pt(59, 3.6)}},
        {"quad", {pt(10, 5), pt(50.5, 8), pt(45, 40), pt(8, 30)}},
        {"pentagon", {pt(32, 2), pt(55, 18), pt(46, 44), pt(18, 44), pt(9, 18)}},
        {"clipped at every edge", {pt(-20, 24), pt(32, -30), pt(90, 24), pt(32, 80)}},
        {"past the left and top", {pt(-10.3, -7.7), pt(30.2, 5.5), pt(5.5, 30.2)}},
        {"past the right and bottom", {pt(60.3, 20.7), pt(70.2, 60.5), pt(20.5, 52.2)}},
        {"exact pixel corners", {pt(4, 4), pt(20, 4), pt(20, 12), pt(4, 12)}},
        {"short top edge", {pt(10, 10.3), pt(26, 10.58), pt(25.7, 26.58), pt(9.7, 26.3)}},
        {"15 vertices, one past the clip beside one on it",
         {pt(0, 24), pt(1.73, 15.87), pt(6.62, 9.14), pt(13.82, 4.98), pt(22.09, 4.11), pt(30, 6.68), pt(36.18, 12.24),
          pt(39.56, 19.84), pt(39.56, 28.16), pt(36.18, 35.76), pt(30, 41.32), pt(22.09, 43.89), pt(13.82, 43.02),
          pt(6.62, 38.86), pt(-1.01, 33.35)}},
    };
    for (const Case& c : cases) {
        for (int32_t driver : {kDriverTriangle, kDriverPolygon}) {
            Canvas canvas(driver);
            canvas.draw(c.points);
            EXPECT_GT(std::count(canvas.pixels.begin(), canvas.pixels.end(), 1), 10) << c.what;
            expectCoverage(canvas, c.points, 0, 0, kW, kH, c.what);
        }
    }
}

// Shapes reaching ±32,767 pixels are clipped exactly: their pixels are those
// of the same shape cut down to ±4,000 pixels around the target first.
TEST(ScanConversion, HugeShapesDrawWhatTheirCutDownFormsDraw)
{
    const double cx = kW / 2.0, cy = kH / 2.0;
    auto around = [&](std::vector<std::pair<double, double>> offsets) {
        std::vector<std::pair<double, double>> p;
        for (auto [x, y] : offsets)
            p.push_back({cx + x, cy + y});
        return p;
    };
    const struct {
        const char* what;
        std::vector<std::pair<double, double>> points;
    } cases[] = {
        {"square of half-side 6,000", around({{-6000, -6000}, {6000, -6000}, {6000, 6000}, {-6000, 6000}})},
        {"square of half-side 20,000", around({{-20000, -20000}, {20000, -20000}, {20000, 20000}, {-20000, 20000}})},
        {"square to the coordinate limit",
         {{-32767, -32767}, {32767, -32767}, {32767, 32767}, {-32767, 32767}}},
        {"triangle of ±16,384", around({{-16384, -16384}, {16384, -16384}, {0, 16384}})},
        {"triangle of ±30,000", around({{-30000, 0}, {30000, -30000}, {30000, 30000}})},
        {"an edge across the target", around({{-30000, -15000}, {30000, 15000}, {30000, -30000}})},
        {"a sliver across the target", around({{-30000, -14990.3}, {30000, 15010.6}, {30000, 15000.1}})},
    };
    // Sutherland-Hodgman in doubles against one side of the ±4,000 box.
    auto cut = [](std::vector<std::pair<double, double>> p, bool onX, double limit, bool upper) {
        std::vector<std::pair<double, double>> out;
        auto in = [&](std::pair<double, double> v) { return upper ? (onX ? v.first : v.second) <= limit
                                                                  : (onX ? v.first : v.second) >= limit; };
        for (size_t i = 0; i < p.size(); ++i) {
            const auto a = p[i], b = p[(i + 1) % p.size()];
            if (in(a))
                out.push_back(a);
            if (in(a) != in(b)) {
                const double t = (limit - (onX ? a.first : a.second)) / ((onX ? b.first : b.second) - (onX ? a.first : a.second));
                out.push_back({a.first + t * (b.first - a.first), a.second + t * (b.second - a.second)});
            }
        }
        return out;
    };
    for (const auto& c : cases) {
        std::vector<std::pair<double, double>> small = c.points;
        for (bool onX : {true, false})
            for (bool upper : {true, false})
                small = cut(small, onX, (onX ? cx : cy) + (upper ? 4000 : -4000), upper);
        auto fixedPoints = [](const std::vector<std::pair<double, double>>& p) {
            std::vector<Point> out;
            for (auto [x, y] : p)
                out.push_back(pt(x, y));
            return out;
        };
        for (int32_t driver : {kDriverTriangle, kDriverPolygon}) {
            Canvas huge(driver), reference(driver);
            huge.draw(fixedPoints(c.points));
            reference.draw(fixedPoints(small));
            EXPECT_GT(std::count(reference.pixels.begin(), reference.pixels.end(), 1), 100) << c.what;
            EXPECT_EQ(huge.pixels, reference.pixels) << c.what << ", driver " << driver;
        }
    }
}

// An 8 x 8 picture turned about a corner on a clip edge, or a fraction of a
// pixel inside one, draws the pixels the same square draws as a flat polygon,
// and there the texels it draws where no clip edge cuts it.
TEST(ScanConversion, PicturesCutAtACornerDrawTheirVisiblePart)
{
    auto grid = [](std::initializer_list<int> xs, std::initializer_list<int> ys) {
        std::vector<Point> p;
        for (int x : xs)
            for (int y : ys)
                p.push_back(pt(x, y));
        return p;
    };
    std::vector<Point> inside;
    for (Fixed f : {0, 1, 16, 256, 32768})
        inside.insert(inside.end(), {{(20 << 16) + f, 24 << 16}, {(44 << 16) - f, 24 << 16},
                                     {32 << 16, (18 << 16) + f}, {32 << 16, (30 << 16) - f}});
    const struct {
        const char* what;
        int32_t clip[4];
        std::vector<Point> corners;
        double scale;
    } rows[] = {
        {"corners on the target's edges", {0, 0, kW, kH}, grid({0, 1, 32, 63, 64}, {0, 1, 10, 32, 47, 48}), 2},
        {"corners on a clip at x = 2 and x = 62", {2, 0, 62, kH}, grid({2, 62}, {10, 24}), 2},
        {"corners a fraction inside each clip edge", {20, 18, 44, 30}, inside, 1.5},
    };
    const Fixed u[4] = {0, 0, 8 << 16, 8 << 16}, v[4] = {0, 8 << 16, 8 << 16, 0};
    const int32_t whole[4] = {0, 0, kW, kH};
    for (int32_t driver : {kDriverTriangle, kDriverPolygon}) {
        Canvas quad(driver), flat(driver);
        quad.sc.bindNativeSpan(driver == kDriverTriangle ? Canvas::texelsX : Canvas::texelsEdges, 3, driver);
        for (const auto& row : rows) {
            int coverage = 0, texels = 0, drawn = 0;
            for (const Point corner : row.corners)
                for (int degrees = 0; degrees < 360; ++degrees) {
                    const double turn = degrees * M_PI / 180, c = std::cos(turn) * row.scale, s = std::sin(turn) * row.scale;
                    const Fixed m[6] = {Fixed(std::lround(c * 65536)), Fixed(std::lround(-s * 65536)),
                                        Fixed(std::lround(s * 65536)), Fixed(std::lround(c * 65536)), corner.x, corner.y};
                    auto draw = [&](Canvas& canvas, const int32_t* clip) {
                        std::copy(m, m + 6, canvas.rs.block().matrix2D.entries[0]);
                        std::fill(canvas.pixels.begin(), canvas.pixels.end(), 0);
                        canvas.rs.resetPool();
                        setClipRectangle(canvas.rs, clip[0], clip[1], clip[2], clip[3]);
                        if (&canvas == &flat)
                            canvas.draw({pt(0, 0), pt(0, 8), pt(8, 8), pt(8, 0)});
                        else
                            canvas.sc.drawTexturedQuad(8 << 16, 8 << 16, u, v, false);
                        return canvas.pixels;
                    };
                    const auto uncut = draw(quad, whole), polygon = draw(flat, row.clip), cut = draw(quad, row.clip);
                    // The polygon driver's edge values are stepped through the reciprocal table: a texel
                    // may differ where the exact one (of M^-1) lies within 1/256 of a texel's edge.
                    const double det = double(m[0]) * m[3] - double(m[1]) * m[2];
                    auto nearTexelEdge = [&](int p) {
                        const double x = (p % kW + 0.5) * 65536 - m[4], y = (p / kW + 0.5) * 65536 - m[5];
                        auto near = [](double t) { return std::abs(std::remainder(t, 1)) < 1.0 / 256; };
                        return driver == kDriverPolygon &&
                               (near((m[3] * x - m[1] * y) / det) || near((m[0] * y - m[2] * x) / det));
                    };
                    for (int p = 0; p < kW * kH; ++p) {
                        drawn += polygon[p] != 0;
                        coverage += (cut[p] != 0) != (polygon[p] != 0);
                        texels += cut[p] && uncut[p] && cut[p] != uncut[p] && !nearTexelEdge(p);
                    }
                }
            EXPECT_EQ(coverage, 0) << row.what << ", driver " << driver << ": pixels unlike the flat polygon's";
            EXPECT_EQ(texels, 0) << row.what << ", driver " << driver << ": texels unlike the uncut picture's";
            EXPECT_GT(drawn, 1000) << row.what;
        }
    }
}

TEST(ScanConversion, AdjacentPolygonsCoverEveryPixelOnceWithoutGaps)
{
    // A jittered grid over the whole target, each cell as two triangles,
    // in the fan driver, the whole-polygon driver and the edge walker.
    std::mt19937 random(5);
    constexpr int kCells = 6;
    Point grid[kCells + 1][kCells + 1];
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i) {
            const bool border = i == 0 || j == 0 || i == kCells || j == kCells;
            const double jx = border ? 0 : (random() % 1000) / 400.0 - 1.25, jy = border ? 0 : (random() % 1000) / 400.0 - 1.25;
            grid[j][i] = pt(i * 64.0 / kCells + jx, j * 48.0 / kCells + jy);
        }
    for (int32_t driver : {kDriverTriangle, kDriverPolygon}) {
        Canvas canvas(driver);
        for (int j = 0; j < kCells; ++j)
            for (int i = 0; i < kCells; ++i) {
                canvas.draw({grid[j][i], grid[j][i + 1], grid[j + 1][i + 1]});
                canvas.draw({grid[j][i], grid[j + 1][i + 1], grid[j + 1][i]});
            }
        EXPECT_EQ(std::count(canvas.pixels.begin(), canvas.pixels.end(), 1), kW * kH) << "driver " << driver;
    }
}

TEST(ScanConversion, RowsStartAtTheRowRuleAndScissoredRowsAreSteppedNotDrawn)
{
    struct Case {
        Fixed top;
        int firstRow;
    };
    // (y + 0x7FFF) >> 16: a top at 5.5 starts at row 5, whose centre it touches.
    const Case cases[] = {{0x58000, 5}, {0x58001, 6}, {0x50000, 5}, {0x57FFF, 5}};
    for (const Case& c : cases) {
        Canvas canvas;
        canvas.draw({{2 << 16, c.top}, {30 << 16, c.top}, {30 << 16, 20 << 16}, {2 << 16, 20 << 16}});
        int first = -1;
        for (int y = 0; y < kH && first < 0; ++y)
            if (canvas.pixels[y * kW + 10])
                first = y;
        EXPECT_EQ(first, c.firstRow) << c.top;
    }
    Canvas canvas;
    canvas.rs.block().scissory0 = 8;
    canvas.rs.block().scissory1 = 12;
    canvas.draw({pt(2, 2.3), pt(40, 6), pt(20, 30)});
    std::vector<Point> tri = {pt(2, 2.3), pt(40, 6), pt(20, 30)};
    expectCoverage(canvas, tri, 0, 8, kW, 12, "scissored rows");
}

TEST(ScanConversion, DegenerateCulledAndOffTargetPolygonsDrawNothing)
{
    struct Case {
        const char* what;
        std::vector<Point> points;
        bool cull;
    };
    const Case cases[] = {
        {"zero area", {pt(1, 1), pt(20, 20), pt(40, 40)}, false},
        {"all left of the clip", {pt(-30, 1), pt(-1, 20), pt(-10, 40)}, false},
        {"all below", {pt(1, 49), pt(20, 60), pt(40, 50)}, false},
        {"a point", {pt(5, 5), pt(5, 5), pt(5, 5)}, false},
        {"two vertices", {pt(5, 5), pt(25, 25)}, false},
        {"culled face", {pt(3.2, 2.7), pt(40.9, 10.1), pt(12.4, 40.6)}, true},
    };
    for (const Case& c : cases) {
        Canvas canvas;
        canvas.rs.block().cullEnabled = c.cull;
        canvas.rs.block().culledFace = 1;
        const int32_t pool = canvas.rs.block().poolUsed;
        canvas.draw(c.points);
        EXPECT_EQ(std::count(canvas.pixels.begin(), canvas.pixels.end(), 0), kW * kH) << c.what;
        EXPECT_EQ(canvas.rs.block().poolUsed, pool) << c.what << ": rejected without clipping";
    }
    // A picture placed at the far ends of the matrix and its offset lies
    // wholly off the target, its sums kept in range.
    Canvas far;
    const Fixed m[6] = {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN};
    std::copy(m, m + 6, far.rs.block().matrix2D.entries[0]);
    const Fixed u[4] = {}, v[4] = {};
    far.sc.drawTexturedQuad(INT32_MAX, INT32_MAX, u, v, false, INT32_MAX, INT32_MAX);
    EXPECT_EQ(std::count(far.pixels.begin(), far.pixels.end(), 0), kW * kH) << "far picture";
    // A pool that cannot hold the clipper's new vertices ends the draw.
    Canvas starved(kDriverTriangle, 0);
    starved.draw({pt(-20, 24), pt(32, -30), pt(90, 24), pt(32, 80)});
    EXPECT_EQ(std::count(starved.pixels.begin(), starved.pixels.end(), 0), kW * kH);
}

TEST(ScanConversion, DrawArraysRectanglesPolygonsAndSegments)
{
    // drawArrays rectangles from corner pairs with the built-in flat span.
    std::vector<uint16_t> target(kW * kH, 0);
    RasterState rs;
    rs.init(64);
    RenderTargetView view;
    view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
    view.colour = {reinterpret_cast<uint8_t*>(target.data()), kW * 2, kW * kH * 2, PixelFormat::R5G6B5};
    rs.bindTarget(&view);
    setClipRectangle(rs, 0, 0, kW, kH);
    RasterStateBlock& s = rs.block();
    s.drawBytes[0] = s.drawBytes[1] = 0;
    const uint8_t argb[4] = {255, 0x12, 0x34, 0x56};
    std::memcpy(s.flatColour, argb, 4);
    ScanConverter sc(rs);
    sc.bindNativeSpan(flatSpan, 1);
    const int16_t corners[] = {10, 10, 20, 30, 30, 2, 35, 6, 40, 40, 50, 60};
    VertexBinding binding;
    binding.position.set(corners, 2, kVertexS16, 16, 0, 4);
    sc.drawRectangles(binding, 0, 6, false);
    const uint16_t colour = ((0x12 & 0xF8) << 8) | ((0x34 & 0xFC) << 3) | (0x56 >> 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool inside = (x >= 10 && x < 20 && y >= 10 && y < 30) || (x >= 30 && x < 35 && y >= 2 && y < 6) ||
                                (x >= 40 && x < 50 && y >= 40);
            ASSERT_EQ(target[y * kW + x], inside ? colour : 0) << x << "," << y;
        }
    // Each pair's records go back to the pool once it is drawn: a pool of 64
    // vertices (16 rectangles at a time) draws all 300 one-pixel rectangles.
    std::fill(target.begin(), target.end(), 0);
    rs.resetPool();
    std::vector<int16_t> pixels;
    for (int i = 0; i < 300; ++i)
        pixels.insert(pixels.end(), {int16_t(i % kW), int16_t(i / kW), int16_t(i % kW + 1), int16_t(i / kW + 1)});
    binding.position.set(pixels.data(), 2, kVertexS16, 16, 0, 4);
    sc.drawRectangles(binding, 0, 600, false);
    EXPECT_EQ(std::count(target.begin(), target.end(), colour), 300);
    EXPECT_EQ(rs.poolUsed(), 0u);

    // Mode 2 with flipY: y becomes destheight - y; more than 15 vertices is refused.
    std::fill(target.begin(), target.end(), 0);
    s.destheight = kH;
    rs.resetPool();
    const int16_t polygon[] = {4, 4, 12, 4, 12, 8, 4, 8};
    binding.position.set(polygon, 2, kVertexS16, 16, 0, 4);
    sc.drawPolygon(binding, 0, 4, true);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(target[y * kW + x], x >= 4 && x < 12 && y >= kH - 8 && y < kH - 4 ? colour : 0) << x << "," << y;
    std::vector<int16_t> many(32, 3);
    binding.position.set(many.data(), 2, kVertexS16, 16, 0, 4);
    std::fill(target.begin(), target.end(), 0);
    sc.drawPolygon(binding, 0, 16, false);
    EXPECT_EQ(std::count(target.begin(), target.end(), 0), kW * kH);

    // Segments: clipped, then the bounding rectangle goes to the fill routine.
    struct Fill {
        int32_t x, y, w, h;
        uint32_t colour;
    };
    static std::vector<Fill> fills;
    static const uint8_t* origin;
    origin = reinterpret_cast<const uint8_t*>(target.data());
    fills.clear();
    const FillRoutine record = [](uint8_t* p, int32_t pitch, uint32_t c, int32_t w, int32_t h) {
        const int32_t at = static_cast<int32_t>(p - origin);
        fills.push_back({at % pitch / 2, at / pitch, w, h, c});
    };
    const int16_t segments[] = {5, 7, 25, 7, -10, 20, 100, 20, 70, 70, 90, 90};
    binding.position.set(segments, 2, kVertexS16, 16, 0, 4);
    rs.resetPool();
    setOneToOneMapping(rs);
    sc.drawSegments(binding, 0, 6, record, false);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[0].x, 5);
    EXPECT_EQ(fills[0].y, 6);
    EXPECT_EQ(fills[0].w, 21);
    EXPECT_EQ(fills[0].h, 1);
    EXPECT_EQ(fills[0].colour, 0xFF123456u);
    EXPECT_EQ(fills[1].x, 0);
    EXPECT_EQ(fills[1].w, kW);
    // A crossing rounds to the nearest 1/65536: 2/3 of 4/65536 left of
    // x = 10 + 2/65536 is pixel 9's last step, not pixel 10.
    fills.clear();
    const Fixed crossing[] = {(10 << 16) - 2, -kFixedOne, (10 << 16) + 2, 2 * kFixedOne};
    binding.position.set(crossing, 2, kVertexS32, 0, 0, 8);
    sc.drawSegments(binding, 0, 2, record, false);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].x, 9);
    // Segments give their records back as rectangles do: the 64-vertex pool
    // fills all 300 one-pixel segments.
    fills.clear();
    rs.resetPool();
    binding.position.set(pixels.data(), 2, kVertexS16, 16, 0, 4);
    sc.drawSegments(binding, 0, 600, [](uint8_t*, int32_t, uint32_t c, int32_t w, int32_t h) {
        fills.push_back({0, 0, w, h, c});
    }, false);
    EXPECT_EQ(fills.size(), 300u);
    EXPECT_EQ(rs.poolUsed(), 0u);

    // Segments are mapped to the screen after clipping: x' = 3 + 2x,
    // y' = 1 + y, by the viewport mapping or (w = 1) the projective one.
    for (uint8_t viewport : {1, 0}) {
        fills.clear();
        rs.resetPool();
        s.viewportMappingMode = viewport;
        s.cfx0 = 3 << 16, s.cfx1 = 2 << 16, s.cfy0 = 1 << 16, s.cfy1 = kFixedOne;
        binding.position.set(segments, 2, kVertexS16, 16, 0, 4);
        sc.drawSegments(binding, 0, 2, record, false);
        ASSERT_EQ(fills.size(), 1u) << int(viewport);
        EXPECT_EQ(fills[0].x, 13) << int(viewport);
        EXPECT_EQ(fills[0].y, 7) << int(viewport);
        EXPECT_EQ(fills[0].w, 41) << int(viewport);
        EXPECT_EQ(fills[0].h, 1) << int(viewport);
    }

    // A stride a span stored, under which 20 rows wrap to 20 bytes, leaves
    // the rectangle outside the plane: nothing is filled.
    fills.clear();
    rs.resetPool();
    setOneToOneMapping(rs);
    s.deststride = static_cast<int32_t>(0x80000001u);
    const int16_t tall[] = {5, 0, 5, 21};
    binding.position.set(tall, 2, kVertexS16, 16, 0, 4);
    sc.drawSegments(binding, 0, 2, [](uint8_t*, int32_t, uint32_t c, int32_t w, int32_t h) {
        fills.push_back({0, 0, w, h, c});
    }, false);
    ASSERT_EQ(fills.size(), 0u) << fills[0].h << " rows";
}

// The triangle driver pre-steps the interpolants and the bound program's
// extra values of its edges once per edge; rows step x alone.
TEST(ScanConversion, TriangleDriverPrestepsTheExtraEdgeValues)
{
    static std::vector<std::pair<Fixed, Fixed>> seen;
    const struct {
        int32_t extra;
        Fixed word15;
    } cases[] = {{0, 0x5A5A}, {1, 99 << 16}, {9, 99 << 16}};
    for (const auto& c : cases) {
        Canvas canvas;
        SpanBinding b;
        b.interpolants = 1;
        b.extraPrestep = c.extra;
        b.driverKind = kDriverTriangle;
        canvas.sc.bindNativeSpan([](RasterState& state, uint32_t, uint32_t) {
            seen.emplace_back(state.block().re[14], state.block().re[15]);
        }, b);
        canvas.rs.block().re[15] = 0x5A5A;
        // The right chain runs (0, 0) to (0, 32): values 0 to 32 and 100 to 36.
        Fixed records[3][20] = {};
        const Fixed at[3][4] = {{0, 0, 0, 100 << 16}, {0, 32 << 16, 32 << 16, 36 << 16}, {32 << 16, 0, 0, 0}};
        Fixed* list[3];
        for (int i = 0; i < 3; ++i) {
            Fixed* v = list[i] = records[i];
            v[kVertexOutX] = at[i][0], v[kVertexOutY] = at[i][1], v[kVertexOutW] = kFixedOne;
            v[kVertexInterpolants] = at[i][2], v[kVertexInterpolants + 1] = at[i][3];
        }
        seen.clear();
        canvas.sc.drawList(list, 3, false);
        ASSERT_EQ(seen.size(), 32u) << c.extra;
        for (const auto& [word14, word15] : seen) {
            EXPECT_EQ(word14, 0x8000) << c.extra;
            EXPECT_EQ(word15, c.word15) << c.extra;
        }
    }
}

// Indexed polygons take their vertices by index and turn them by the
// projection top's 3x3 alone: a translation there moves runs, not them.
TEST(ScanConversion, IndexedPolygonsIgnoreTheTranslation)
{
    const int16_t vertices[] = {50, 40, 0, 8, 10, 0, 8, 40, 0, 50, 10, 0};
    const int16_t ordered[] = {8, 40, 0, 8, 10, 0, 50, 10, 0, 50, 40, 0};
    const uint16_t indices[] = {2, 1, 3, 0};
    static std::vector<uint32_t> seen;
    Canvas indexed, plain, moved;
    const Fixed shift[3] = {6 << 16, 0, 0};
    for (Canvas* c : {&indexed, &plain, &moved}) {
        c->rs.setViewport(0, 0, kW, kH, 0, 1);
        c->rs.setOrtho(0, kW << 16, 0, kH << 16, -kFixedOne, kFixedOne);
        c->rs.computeClipFactors(1);
        if (c != &plain)
            c->rs.pushTransform(nullptr, shift);
    }
    VertexBinding byIndex, inOrder;
    byIndex.position.set(vertices, 3, kVertexS16, 16, 0, 6);
    inOrder.position.set(ordered, 3, kVertexS16, 16, 0, 6);
    indexed.sc.setAttributeCallback([](void*, Fixed*, uint32_t i) { seen.push_back(i); }, nullptr);
    indexed.sc.drawIndexedPolygons3D(byIndex, indices, 4, 4);
    plain.sc.drawPolygons3D(inOrder, 0, 4, 4);
    moved.sc.drawPolygons3D(inOrder, 0, 4, 4);
    EXPECT_EQ(seen, (std::vector<uint32_t>{2, 1, 3, 0}));
    EXPECT_EQ(std::count(plain.pixels.begin(), plain.pixels.end(), 1), 42 * 30);
    EXPECT_EQ(indexed.pixels, plain.pixels);
    EXPECT_NE(moved.pixels, plain.pixels);
}

TEST(ScanConversion, ThreeDStripsAndPolygonsMatchTheirScreenSpaceDraw)
{
    // Orthographic projection onto the whole target: a strip of four
    // vertices covers the same pixels as the 2D quad with those corners.
    Canvas canvas;
    RasterState& rs = canvas.rs;
    rs.setViewport(0, 0, kW, kH, 0, 1);
    rs.setOrtho(0, kW << 16, 0, kH << 16, -kFixedOne, kFixedOne);
    rs.computeClipFactors(1);
    const int16_t strip[] = {8, 40, 0, 8, 10, 0, 50, 40, 0, 50, 10, 0, 60, -20, 5, 70, 30, 0};
    VertexBinding binding;
    binding.position.set(strip, 3, kVertexS16, 16, 0, 6);
    canvas.sc.drawStrip3D(binding, 0, 4, false);
    Canvas flat;
    // Screen y grows downwards: y' = 48 - y.
    flat.draw({pt(8, 8), pt(8, 38), pt(50, 38), pt(50, 8)});
    EXPECT_EQ(canvas.pixels, flat.pixels);
    // A vertex outside the z range is clipped away with its part.
    std::fill(canvas.pixels.begin(), canvas.pixels.end(), 0);
    rs.resetPool();
    canvas.sc.drawPolygons3D(binding, 3, 3, 3);
    const long drawn = std::count(canvas.pixels.begin(), canvas.pixels.end(), 1);
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, 300);
}

// A 32-bit colour plane with a depth plane.
struct DepthTarget {
    std::vector<uint32_t> target = std::vector<uint32_t>(kW * kH, 0), depth = std::vector<uint32_t>(kW * kH, 0);
    RasterState rs;
    RenderTargetView view;
    DepthTarget()
    {
        rs.init(64);
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane | kTargetDepthPlane;
        view.colour = {reinterpret_cast<uint8_t*>(target.data()), kW * 4, kW * kH * 4, PixelFormat::X8R8G8B8};
        view.depth = {reinterpret_cast<uint8_t*>(depth.data()), kW * 4, kW * kH * 4, PixelFormat::Z32};
        rs.bindTarget(&view);
    }
};

TEST(ScanConversion, FlatSpanDepthAndOutlineMode)
{
    DepthTarget planes;
    std::vector<uint32_t>& target = planes.target;
    std::vector<uint32_t>& depth = planes.depth;
    RasterState& rs = planes.rs;
    setClipRectangle(rs, 0, 0, kW, kH);
    RasterStateBlock& s = rs.block();
    const uint8_t argb[4] = {0, 1, 2, 3};
    std::memcpy(s.flatColour, argb, 4);
    // Depth 100 + 10 per pixel from x = 0; stored depths 150 everywhere.
    std::fill(depth.begin(), depth.end(), 150);
    s.intp[0] = 100 - 5;
    s.intdp[0] = 10;
    struct Case {
        uint8_t test, write;
        uint32_t colouredFrom;  // first pixel written of 2..9
        int32_t depthAt8;
    };
    const Case cases[] = {{0, 0, 2, 150}, {1, 0, 6, 150}, {0, 1, 2, 180}, {1, 1, 6, 180}};
    for (const Case& c : cases) {
        std::fill(target.begin(), target.end(), 0);
        std::fill(depth.begin(), depth.end(), 150);
        s.drawBytes[0] = c.test, s.drawBytes[1] = c.write;
        s.destptr = s.destbase, s.zptr = s.zbase;
        flatSpan(rs, 2 << 16, 10 << 16);
        for (uint32_t x = 0; x < 12; ++x)
            EXPECT_EQ(target[x], x >= c.colouredFrom && x < 10 ? 0xFF010203u : 0u) << x;
        EXPECT_EQ(static_cast<int32_t>(depth[8]), c.depthAt8);
    }

    // Outline mode draws the edges in white instead of filling.
    std::fill(target.begin(), target.end(), 0);
    ScanConverter sc(rs);
    sc.bindNativeSpan(flatSpan, 1);
    s.outlineMode = 1;
    const int16_t square[] = {4, 4, 12, 4, 12, 8, 4, 8};
    VertexBinding binding;
    binding.position.set(square, 2, kVertexS16, 16, 0, 4);
    sc.drawPolygon(binding, 0, 4, false);
    EXPECT_EQ(target[4 * kW + 4], 0xFFFFFFFFu);
    EXPECT_EQ(target[8 * kW + 12], 0xFFFFFFFFu);
    EXPECT_EQ(target[6 * kW + 12], 0xFFFFFFFFu);
    EXPECT_EQ(target[6 * kW + 8], 0u);
    EXPECT_EQ(std::count(target.begin(), target.end(), 0xFFFFFFFFu), 2 * 9 + 2 * 3);
}

TEST(ScanConversion, ProjectedDepthReachesTheDepthInterpolant)
{
    DepthTarget planes;
    std::vector<uint32_t>& target = planes.target;
    std::vector<uint32_t>& depth = planes.depth;
    RasterState& rs = planes.rs;
    rs.setViewport(0, 0, kW, kH, 0, 1);
    rs.setOrtho(0, kW << 16, 0, kH << 16, -kFixedOne, kFixedOne);
    rs.computeClipFactors(1);
    ScanConverter sc(rs);
    sc.bindNativeSpan(flatSpan, 1, kDriverTriangle, 0);
    RasterStateBlock& s = rs.block();
    s.drawBytes[0] = 0, s.drawBytes[1] = 1;
    // A triangle at z = 0.25 everywhere: every covered pixel stores cfz0 - z * cfz1.
    const int32_t triangle[] = {4 << 16, 4 << 16, 0x4000, 40 << 16, 4 << 16, 0x4000, 4 << 16, 30 << 16, 0x4000};
    VertexBinding binding;
    binding.position.set(triangle, 3, kVertexS32, 0, 0, 12);
    sc.drawPolygons3D(binding, 0, 3, 3);
    const int32_t expected = wrapSub(s.cfz0, fixMul(0x4000, s.cfz1));
    EXPECT_NE(expected, 0);
    const int32_t inside = (kH - 8) * kW + 8;  // y = 8 in the projection is row 40
    EXPECT_EQ(target[inside], 0xFF000000u);
    EXPECT_EQ(static_cast<int32_t>(depth[inside]), expected);
    EXPECT_EQ(depth[0], 0u);
}
