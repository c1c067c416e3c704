// The submesh pipeline at the edges of its number ranges: lights far away,
// geometry far larger than the view volume, and attenuation that would
// overflow; each against the answer a double-precision reference gives.
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/CkwClipVertex.h"
#include "engine/render/testing/RasterTestKit.h"
#include "engine/render/testing/RenderTestKit.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/scene/CkwBackground.h"
#include "engine/scene/CkwFog.h"
#include "engine/scene/CkwGraphics3D.h"
#include "engine/scene/CkwGroup.h"
#include "engine/scene/CkwSkinnedMesh.h"
#include "engine/scene/SceneTestKit.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

constexpr int32_t kW = 120, kH = 90;
constexpr float kFovy = 40.0f;
constexpr uint32_t kSky = 0x0000FF, kGround = 0xFF0000;  // exact in RGB565

// 0xRRGGBB of an RGB565 pixel, each channel widened by bit replication.
uint32_t rgbOf565(uint16_t p)
{
    const uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// A render context that keeps its renderer, and so its vertex caches,
// from frame to frame.
struct Screen {
    RasterTarget target{kW, kH};
    CkwGraphics3D* g = nullptr;
    int32_t code = 0;
    ~Screen()
    {
        if (g != nullptr)
            g->release();
    }
    // The world drawn into the kW x kH target; empty when rendering left.
    std::vector<uint32_t> draw(CkwWorld* world)
    {
        code = engineTrap([&] {
            if (g == nullptr) {
                g = CkwGraphics3D::create();
                g->addRef();
            }
            g->bindTarget(kW, kH, kW * 2, target.color.data());
            g->renderWorld(world);
            g->releaseTarget();
        });
        std::vector<uint32_t> out;
        if (code == 0)
            for (int32_t y = 0; y < kH; ++y)
                for (int32_t x = 0; x < kW; ++x)
                    out.push_back(rgbOf565(target.at(x, y)));
        return out;
    }
};

std::vector<uint32_t> draw(CkwWorld* world) { return Screen().draw(world); }

CkwWorld* worldWith(SceneTest& test, float near, float far, float x, float y, float z, uint32_t sky)
{
    CkwWorld* world = test.hold(renderkit::worldWithCamera(kFovy, float(kW) / kH, near, far, 0.0f));
    static_cast<CkwCamera*>(world->getActiveCamera())->setTranslation(x, y, z);
    auto* background = static_cast<CkwBackground*>(CkwBackground::create());
    background->setColor(0xFF000000 | sky);
    world->setBackground(background);
    return world;
}

using Dress = std::function<void(CkwWorld*, CkwMesh*, CkwAppearance*)>;

// A white square facing the camera 5 units ahead, dressed with a light, fog,
// colours or a texture.
std::vector<uint32_t> dressedSquare(const Dress& dress)
{
    SceneTest test;
    std::vector<uint32_t> pixels;
    EXPECT_EQ(SceneTest::trap([&] {
        CkwWorld* world = worldWith(test, 1.0f, 10.0f, 0, 0, 5, 0);
        auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
        CkwMesh* square = renderkit::quad(1.0f, 0xFFFFFFFF, appearance);
        world->addChild(square);
        dress(world, square, appearance);
        pixels = draw(world);
    }), 0);
    return pixels;
}

// An omni light on the square's axis, distance in front of it.
Dress omni(float distance, float constant, float quadratic)
{
    return [=](CkwWorld* world, CkwMesh*, CkwAppearance* look) {
        look->setMaterial(renderkit::material(0xFFFFFFFF, 0));
        CkwLight* light = renderkit::light(CkwLight::kOmni, 0xFFFFFF, 1.0f);
        light->setAttenuation(constant, 0, quadratic);
        light->setTranslation(0, 0, distance);
        world->addChild(light);
    };
}

// A skinned mesh over source's geometry, its one bone driving all four
// vertices.
CkwSkinnedMesh* skinOver(CkwMesh* source, CkwAppearance* look, CkwGroup*& bone)
{
    auto* skeleton = static_cast<CkwGroup*>(CkwGroup::create());
    bone = static_cast<CkwGroup*>(CkwGroup::create());
    skeleton->addChild(bone);
    auto* skin = static_cast<CkwSkinnedMesh*>(CkwSkinnedMesh::create());
    skin->initSingle(source->getVertexBuffer(), source->getIndexBuffer(0), look, skeleton);
    skin->addTransform(bone, 1, 0, 4);
    return skin;
}

CkwPolygonMode* polygonMode(CkwAppearance* look)
{
    auto* polygon = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
    look->setPolygonMode(polygon);
    return polygon;
}

} // namespace

// The square's centre against the equations in double precision, within
// RGB565's steps. Facing light reaches it at full strength however far the
// light is; an attenuation whose square overflows 64 bits lights nothing.
// Flat shading takes the newest vertex's colour; a local viewer dims a
// directional light's highlight by each corner's place; exponential fog thickens
// with the distance, and a NaN density is none; a texture whose q is 1 + s / 2 is read at s / q = 0.4.
// Of many lights, a submesh takes the first 8 in its scope that are not
// ambient and the first 8 ambient ones, however many lights of other scopes
// come before them.
TEST(SubmeshPipeline, SquareCentresTakeWhatTheEquationsGive)
{
    const uint32_t fogged = static_cast<uint32_t>(std::lround(255 * std::exp(-5 * 0.2)));
    // A local viewer sees a corner (x, +-4) off the axis by an angle whose
    // cosine is 5 / sqrt(41 + x^2); shininess 2 gives the half angle's cosine
    // squared, (1 + cos) / 2. The centre lies an eighth of the way from the
    // corners at x = -1 to those at 7.
    const auto half = [](double x) { return (1 + 5 / std::sqrt(41 + x * x)) / 2; };
    const uint32_t local = static_cast<uint32_t>(std::lround(255 * (half(-1) * 7 + half(7)) / 8));
    const struct {
        Dress dress;
        uint32_t expected;
        int32_t tolerance = 8;  // a channel's RGB565 step; the bright 5-bit ones round up a step more
    } cases[] = {
        {omni(1000, 1, 0), 0xFFFFFF},
        {omni(20000, 1, 0), 0xFFFFFF},
        {omni(3e6f, 1, 0), 0xFFFFFF},
        {omni(1000, 1, 10000), 0x000000},
        {[](CkwWorld*, CkwMesh* square, CkwAppearance* look) {
             square->getVertexBuffer()->setColors(kitVertexArray(3, 1, {255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0}));
             polygonMode(look)->setShading(CkwPolygonMode::kShadeFlat);
         }, 0x00FF00},
        {[](CkwWorld* world, CkwMesh* square, CkwAppearance* look) {
             square->setScale(4, 4, 4);
             square->setTranslation(3, 0, 0);
             CkwMaterial* shiny = renderkit::material(0xFF000000, 0);
             shiny->setColor(CkwMaterial::kSpecular, 0xFFFFFF);
             shiny->setShininess(2);
             look->setMaterial(shiny);
             polygonMode(look)->setLocalCameraLightingEnable(true);
             world->addChild(renderkit::light(CkwLight::kDirectional, 0xFFFFFF, 1));
         }, local * 0x010101, 12},
        {[](CkwWorld* world, CkwMesh* square, CkwAppearance* look) {
             // Taking turns, ambient and directional: 40 red lights of other
             // scopes, then green and blue parts of 16, 8 of each, and 2 red
             // lights of each kind past them.
             look->setMaterial(renderkit::material(0xFFFFFFFF, 0xFFFFFF));
             square->setScope(0x10);
             for (int32_t i = 0; i < 60; ++i) {
                 const bool ambient = i % 2 == 0;
                 const uint32_t colour = i < 40 || i >= 56 ? 0x400000 : (ambient ? 0x001000 : 0x000010);
                 CkwLight* light = renderkit::light(ambient ? CkwLight::kAmbient : CkwLight::kDirectional, colour, 1);
                 light->setScope(i < 40 ? 0x2F : (ambient ? -1 : 0x30));
                 world->addChild(light);
             }
         }, 0x008080},
        {[](CkwWorld*, CkwMesh*, CkwAppearance* look) {
             auto* fog = static_cast<CkwFog*>(CkwFog::create());
             fog->setMode(CkwFog::kExponential);
             fog->setDensity(0.2f);
             fog->setColor(0x0000FF);
             look->setFog(fog);
         }, fogged << 16 | fogged << 8 | 0xFF},
        {[](CkwWorld*, CkwMesh*, CkwAppearance* look) {
             auto* fog = static_cast<CkwFog*>(CkwFog::create());
             fog->setMode(CkwFog::kExponential);
             fog->setDensity(std::nanf(""));
             look->setFog(fog);
         }, 0xFFFFFF},
        {[](CkwWorld*, CkwMesh*, CkwAppearance* look) {
             // t / q is 0.3 everywhere, so the checker tells column 3 from 2.
             CkwTexture2D* checker = renderkit::texture(renderkit::checkerImage(8, 8, 0xFF0000, 0x00FF00), kTextureFuncReplace);
             const float projective[16] = {1, 0, 0, 0, 0.15f, 0, 0, 0.3f, 0, 0, 1, 0, 0.5f, 0, 0, 1};
             CkwTransform transform;
             transform.setMatrix(16, projective);
             checker->setTransform(&transform);
             look->setTexture(0, checker);
             polygonMode(look)->setPerspectiveCorrectionEnable(true);
         }, 0x00FF00},
    };
    for (const auto& c : cases) {
        const std::vector<uint32_t> pixels = dressedSquare(c.dress);
        ASSERT_EQ(pixels.size(), size_t(kW * kH));
        for (int32_t shift : {16, 8, 0})
            EXPECT_NEAR(int32_t(pixels[kH / 2 * kW + kW / 2] >> shift & 255), int32_t(c.expected >> shift & 255), c.tolerance)
                << "case " << &c - cases;
    }
}

// Floors and facing squares of 16-bit positions over their whole range, far
// larger than the view volume, against a ray cast in double precision: each
// pixel shows the square where its ray meets it between the near and far
// planes. The last floor and square lie past what integer clip coordinates
// place exactly: the floor's far cut may be a row off, and what they cannot
// place at all is skipped whole.
TEST(SubmeshPipeline, HugeGeometryIsCutAtTheFarPlaneOrSkippedWhole)
{
    const struct {
        double half, height, pitch, far;
        bool facing, coarse;
    } cases[] = {{1e4, 10, 0, 100, false, false},   {1e5, 10, 0, 100, false, false},  {1e6, 10, 0, 100, false, false},
                 {1e7, 10, 0, 100, false, true},    {4e3, 667, -35, 1e3, false, false}, {4e3, 667, -20, 1e4, false, false},
                 {3e4, 667, -20, 1e4, false, false}, {1e7, 6, 0, 100, true, false},     {1e10, 6, 0, 100, true, true}};
    for (const auto& c : cases) {
        SceneTest test;
        ASSERT_EQ(SceneTest::trap([&] {
            const float height = float(c.height);
            CkwWorld* world = worldWith(test, 0.1f, float(c.far), 0, c.facing ? 0 : height, c.facing ? height : 0, kSky);
            renderkit::rotate(static_cast<CkwCamera*>(world->getActiveCamera()), float(c.pitch), 1, 0, 0);
            CkwMesh* square = renderkit::quad(1, 0xFF000000 | kGround, static_cast<CkwAppearance*>(CkwAppearance::create()));
            const float zero[3] = {};
            const std::vector<int32_t> corners = {-32767, -32767, 0, 32767, -32767, 0, -32767, 32767, 0, 32767, 32767, 0};
            square->getVertexBuffer()->setPositions(kitVertexArray(3, 2, corners), float(c.half / 32767), 3, zero);
            if (!c.facing)
                renderkit::rotate(square, -90, 1, 0, 0);
            world->addChild(square);
            const std::vector<uint32_t> pixels = draw(world);
            ASSERT_EQ(pixels.size(), size_t(kW * kH));
            // The pixel's ray meets y = 0 (a floor) or z = 0 at eye depth s.
            const double t = std::tan(kFovy * M_PI / 360.0), pitch = c.pitch * M_PI / 180.0;
            const int axis = c.facing ? 2 : 1;
            auto ground = [&](double px, double py) {
                const double x = (2.0 * px / kW - 1.0) * t * kW / kH, y = (1.0 - 2.0 * py / kH) * t;
                const double d[3] = {x, y * std::cos(pitch) + std::sin(pitch), y * std::sin(pitch) - std::cos(pitch)};
                const double s = -c.height / d[axis];
                return s >= 0.1 && s <= c.far && std::fabs(s * d[0]) <= c.half && std::fabs(s * d[3 - axis]) <= c.half;
            };
            int32_t wrong = 0, sky = 0;
            for (uint32_t p : pixels)
                sky += p == kSky;
            for (int32_t y = 0; y < kH; ++y)
                for (int32_t x = 0; x < kW; ++x) {
                    const bool expected = ground(x + 0.5, y + 0.5);
                    // Pixels the outline passes through may go either way.
                    bool stable = true;
                    for (int32_t k = 0; k < 9; ++k)
                        stable &= ground(x - 0.5 + k % 3, y - 0.5 + k / 3) == expected;
                    wrong += stable && pixels[y * kW + x] != (expected ? kGround : kSky);
                }
            EXPECT_TRUE(wrong == 0 || (c.coarse && (wrong <= kW || sky == kW * kH)))
                << wrong << " pixels wrong, " << (c.facing ? "square" : "floor") << " of half-size " << c.half;
        }), 0);
    }
}

// What the caches keep from frame to frame goes when anything it was made
// from changes: each frame of one renderer equals a first frame.
// Arrays, strips and images made again behind their holders' backs draw as
// they now are, or are refused where they left the shapes their setters
// take (colours read past their store or from stale bytes before).
TEST(SubmeshPipeline, CachedVerticesFollowEveryChangeOfTheirKey)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        using namespace renderkit;
        CkwWorld* world = worldWith(test, 1.0f, 20.0f, 0, 0, 6, kSky);
        auto* appearance = static_cast<CkwAppearance*>(CkwAppearance::create());
        appearance->setMaterial(material(0xFFFFFFFF, 0x404040));
        appearance->getMaterial()->setVertexColorTrackingEnable(true);
        CkwImage2D* picture = checkerImage(8, 2, 0xFFFFFF, 0x00FF00);
        appearance->setTexture(0, texture(picture, kTextureFuncModulate));
        CkwMesh* mesh = quad(1.0f, 0xFFFFFFFF, appearance);
        world->addChild(mesh);
        const std::vector<int32_t> rgba{-1, 0, 0, -1, 0, -1, 0, -1, 0, 0, -1, -1, 64, 64, 64, -1};
        CkwVertexArray* colours = kitVertexArray(4, 1, rgba);
        mesh->getVertexBuffer()->setColors(colours);
        // A skinned square beside it shares its source's colours.
        CkwMesh* source = test.hold(quad(0.5f, 0xFFFFFFFF, appearance));
        CkwVertexArray* skinColours = kitVertexArray(4, 1, rgba);
        source->getVertexBuffer()->setColors(skinColours);
        CkwGroup* bone = nullptr;
        world->addChild(skinOver(source, appearance, bone));
        bone->setTranslation(-1.5f, -1.0f, 0.0f);
        world->addChild(light(CkwLight::kAmbient, 0xFFFFFF, 1.0f));
        CkwLight* sun = light(CkwLight::kDirectional, 0xFFFFFF, 1.0f);
        rotate(sun, -40, 0, 1, 0);
        world->addChild(sun);
        // More buffers than the renderer keeps cache sets, so some keep their
        // caches from frame to frame and some take turns; the first outside
        // the view and the next across its edge.
        std::vector<CkwMesh*> row;
        for (int32_t i = 0; i < 20; ++i) {
            row.push_back(quad(0.1f, 0xFFFFFFFF, appearance));
            row.back()->setTranslation(-3.1f + 0.25f * i, 1.2f, 0.0f);
            world->addChild(row.back());
        }
        CkwVertexBuffer* vb = mesh->getVertexBuffer();
        const int32_t five = 5;
        const struct {
            std::function<void()> change;
            int32_t code = 0;
        } changes[] = {
            {[&] { row[3]->setTranslation(-1.3f, 1.0f, 0.0f); }},
            {[&] { world->removeChild(row[7]); }},
            {[&] {
                const int16_t moved[3] = {-1, 0, 0};
                vb->getPositions()->setShorts(0, 1, 3, moved);
                // A bounds query, as picking makes, in between.
                vb->getPositions()->updateBounds();
            }},
            {[&] { mesh->setTranslation(0.5f, 0.25f, 0.0f); }},
            {[&] { rotate(mesh, 30, 0, 1, 0); }},
            {[&] {
                const float bias[3] = {0.25f, 0, 0};
                vb->setPositions(vb->getPositions(), 1.5f, 3, bias);
            }},
            {[&] {
                const float bias[3] = {0.25f, 0.5f, 0};
                vb->setPositions(vb->getPositions(), 1.5f, 3, bias);
            }},
            {[&] {
                const int8_t bent[3] = {60, 0, 100};
                vb->getNormals()->setBytes(3, 1, 3, bent);
            }},
            // Colours as two shorts end 4 bytes short of the last blue; as
            // two bytes they leave blue and alpha in the old store.
            {[&] { skinColours->init(4, 2, 2); }, KErrIllegalState},
            {[&] { skinColours->init(4, 4, 1); }},
            {[&] { colours->init(4, 2, 2); }, KErrIllegalState},
            {[&] { colours->init(4, 2, 1); }, KErrIllegalState},
            {[&] { colours->init(4, 3, 2); }, KErrIllegalState},
            {[&] { colours->init(4, 3, 1); }},
            {[&] { vb->getNormals()->init(4, 2, 1); }, KErrIllegalState},
            {[&] { vb->getNormals()->init(4, 3, 2); }},
            {[&] { picture->initBlank(kImageFormatRgb, 8, 6, false); }, KErrIllegalState},
            {[&] { picture->initBlank(kImageFormatRgb, 4, 4, false); }},
            {[&] { static_cast<CkwTriangleStripArray*>(mesh->getIndexBuffer(0))->initImplicit(0, 1, &five); },
             KErrIllegalState},
        };
        Screen screen;
        screen.draw(world);
        for (size_t i = 0; i < std::size(changes); ++i) {
            changes[i].change();
            const std::vector<uint32_t> again = screen.draw(world);
            EXPECT_EQ(screen.code, changes[i].code) << "change " << i;
            Screen fresh;
            EXPECT_EQ(again, fresh.draw(world)) << "change " << i;
            EXPECT_EQ(fresh.code, changes[i].code) << "change " << i;
        }
    }), 0);
}

namespace {

struct Point4 {
    double v[4];
};

// Sutherland-Hodgman in doubles, plane by plane as the clipper goes.
std::vector<Point4> clipReference(std::vector<Point4> polygon, int32_t code)
{
    for (int32_t plane = 0; plane < 6; ++plane) {
        if ((code & (1 << plane)) == 0 || polygon.empty())
            continue;
        const auto d = [&](const Point4& p) { return p.v[3] + ((plane & 1) ? p.v[plane >> 1] : -p.v[plane >> 1]); };
        std::vector<Point4> out;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const Point4& a = polygon[(i + polygon.size() - 1) % polygon.size()];
            const Point4& b = polygon[i];
            if ((d(a) < 0) != (d(b) < 0)) {
                const Point4& in = d(a) >= 0 ? a : b;
                const Point4& away = d(a) >= 0 ? b : a;
                const double t = d(in) / (d(in) - d(away));
                Point4 c;
                for (int k = 0; k < 4; ++k)
                    c.v[k] = in.v[k] + (away.v[k] - in.v[k]) * t;
                out.push_back(c);
            }
            if (d(b) >= 0)
                out.push_back(b);
        }
        polygon = out;
    }
    return polygon;
}

} // namespace

// Random triangles around the view volume, cut in integer clip space,
// against the same cuts in doubles: at most 9 vertices, the same polygon on
// screen within 1/1024 of the view, and colours carried along the edges.
// Every third triangle is small, in 16.16; the others reach 1e4 or 1e5 units
// out from a corner 0.2 to 3 units before the eye, in units that take them
// to 2^30.
TEST(SubmeshPipeline, ClipperCutsLikeTheDoublePrecisionReference)
{
    std::mt19937 random(43);
    std::uniform_real_distribution<double> coordinate(-2.5, 2.5), depth(0.2, 3.0), far(-1.0, 1.0);
    int32_t cut = 0;
    for (int32_t trial = 0; trial < 3000; ++trial) {
        const double size = trial % 3 == 0 ? 0 : (trial % 3 == 1 ? 1e4 : 1e5);
        const double unit = size > 0 ? std::ldexp(1.0, 30) / size : 65536;
        CkwClipVertex v[kClipVertexCapacity]{};
        std::vector<Point4> reference;
        int32_t code = 0;
        for (int32_t j = 0; j < 3; ++j) {
            const double w = depth(random);
            const bool away = j > 0 && size > 0;
            v[j] = {};
            v[j].x = int32_t(std::lround((away ? far(random) * size : coordinate(random) * w) * unit));
            v[j].y = int32_t(std::lround((away ? far(random) * size : coordinate(random) * w) * unit));
            v[j].z = int32_t(std::lround((away ? far(random) * size : coordinate(random) * w) * unit));
            v[j].w = int32_t(std::lround((away ? far(random) * size : w) * unit));
            v[j].r = v[j].x;  // a colour that must follow x
            const Point4 p{{double(v[j].x), double(v[j].y), double(v[j].z), double(v[j].w)}};
            reference.push_back(p);
            for (int32_t plane = 0; plane < 6; ++plane) {
                const double c = p.v[plane >> 1];
                code |= ((plane & 1) ? c < -p.v[3] : c > p.v[3]) ? 1 << plane : 0;
            }
        }
        int32_t end = 3;
        const int32_t start = clipPolygon(v, 0, end, code);
        ASSERT_LE(end - start, 9);
        std::vector<Point4> got;
        for (int32_t i = start; i < end; ++i) {
            got.push_back({{double(v[i].x), double(v[i].y), double(v[i].z), double(v[i].w)}});
            EXPECT_EQ(v[i].r, v[i].x);
        }
        std::vector<Point4> expected = clipReference(reference, code);
        // Compared divided by w, as drawn: a rounded cut may slide far along
        // an edge nearly parallel to the next plane, which no picture shows.
        for (std::vector<Point4>* polygon : {&got, &expected})
            for (Point4& p : *polygon)
                p = {{p.v[0] / std::max(p.v[3], 1.0), p.v[1] / std::max(p.v[3], 1.0), p.v[2] / std::max(p.v[3], 1.0), 0}};
        // A cut within rounding of a corner may add or drop a sliver vertex,
        // so the polygons are compared as shapes: each vertex of one lies on
        // the outline of the other.
        const auto onOutline = [&](const Point4& p, const std::vector<Point4>& polygon) {
            for (size_t i = 0; i < polygon.size(); ++i) {
                const Point4& a = polygon[i];
                const Point4& b = polygon[(i + 1) % polygon.size()];
                double ab = 0, ap = 0;
                for (int k = 0; k < 4; ++k) {
                    ab += (b.v[k] - a.v[k]) * (b.v[k] - a.v[k]);
                    ap += (p.v[k] - a.v[k]) * (b.v[k] - a.v[k]);
                }
                const double t = ab > 0 ? std::clamp(ap / ab, 0.0, 1.0) : 0.0;
                double d = 0;
                for (int k = 0; k < 4; ++k)
                    d = std::max(d, std::fabs(a.v[k] + (b.v[k] - a.v[k]) * t - p.v[k]));
                if (d <= 1.0 / 1024)
                    return true;
            }
            return false;
        };
        ASSERT_EQ(got.empty(), expected.empty()) << "trial " << trial;
        cut += expected.size() != 3;
        for (const Point4& p : got)
            EXPECT_TRUE(onOutline(p, expected)) << "trial " << trial;
        for (const Point4& p : expected)
            EXPECT_TRUE(onOutline(p, got)) << "trial " << trial;
    }
    EXPECT_GT(cut, 500);
}

// A lit skinned square whose one bone moved draws where the same square
// moved as a whole draws, lit alike: its vertices and normals go through
// the palette's integer matrices, the normals without the bone's move.
TEST(SubmeshPipeline, SkinnedVerticesGoThroughTheirPaletteEntry)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        using namespace renderkit;
        auto litWorld = [&] {
            CkwWorld* world = worldWith(test, 1.0f, 20.0f, 0, 0, 6, kSky);
            CkwLight* sun = light(CkwLight::kDirectional, 0xFFFFFF, 1.0f);
            rotate(sun, -50, 1, 1, 0);
            world->addChild(sun);
            return world;
        };
        auto litSquare = [&] {
            auto* look = static_cast<CkwAppearance*>(CkwAppearance::create());
            look->setMaterial(material(0xFFFF0000, 0));
            return quad(1.0f, 0xFFFFFFFF, look);
        };
        CkwWorld* moved = litWorld();
        CkwMesh* plain = litSquare();
        plain->setTranslation(0.75f, -0.5f, 0.0f);
        moved->addChild(plain);
        const std::vector<uint32_t> expected = draw(moved);

        CkwWorld* skinned = litWorld();
        CkwMesh* source = test.hold(litSquare());
        CkwGroup* bone = nullptr;
        skinned->addChild(skinOver(source, source->getAppearance(0), bone));
        bone->setTranslation(0.75f, -0.5f, 0.0f);
        const std::vector<uint32_t> drawn = draw(skinned);
        ASSERT_EQ(drawn.size(), size_t(kW * kH));
        EXPECT_EQ(drawn, expected);
        EXPECT_NE(drawn[kH / 2 * kW + kW / 2], kSky);
    }), 0);
}

// What the strip walk decided for a node that did not move serves the next
// frame only while all it read stays the same: vertices, strips, culling,
// winding and two-sided lighting. Every frame, whether something changed
// before it or nothing did, equals a first frame of a new renderer.
TEST(SubmeshPipeline, KeptTriangleDecisionsFollowEveryChangeOfTheirKey)
{
    SceneTest test;
    ASSERT_EQ(SceneTest::trap([&] {
        using namespace renderkit;
        CkwWorld* world = worldWith(test, 1.0f, 20.0f, 0, 0, 6, kSky);
        world->addChild(light(CkwLight::kAmbient, 0x404040, 1.0f));
        CkwLight* sun = light(CkwLight::kDirectional, 0xFFFFFF, 1.0f);
        rotate(sun, -30, 1, 1, 0);
        world->addChild(sun);
        auto* polygon = static_cast<CkwPolygonMode*>(CkwPolygonMode::create());
        auto* look = static_cast<CkwAppearance*>(CkwAppearance::create());
        look->setMaterial(material(0xFFFFFFFF, 0xFFFFFF));
        look->setPolygonMode(polygon);
        // Two submeshes over one buffer, bands 0-1 and 4-5 of six, so the
        // inside shows through the gap; a second sphere across the view's
        // edge is clipped.
        CkwMesh* sphere = kitSphere(12, 1.5f);
        rotate(sphere, 35, 1, 0, 0);
        world->addChild(sphere);
        CkwMesh* edge = kitSphere(12, 1.0f, look);
        edge->setTranslation(-2.9f, -1.0f, 0.0f);
        world->addChild(edge);
        CkwVertexBuffer* vb = test.hold(sphere->getVertexBuffer());
        const auto* whole = test.hold(static_cast<CkwTriangleStripArray*>(sphere->getIndexBuffer(0)));
        const auto bands = [&](int32_t first, int32_t count) {
            std::vector<int32_t> indices, lengths;
            for (int32_t s = first; s < first + count; ++s) {
                lengths.push_back(whole->getStrip(s, 0, nullptr));
                indices.resize(indices.size() + lengths.back());
                whole->getStrip(s, lengths.back(), indices.data() + indices.size() - lengths.back());
            }
            auto* strips = static_cast<CkwTriangleStripArray*>(CkwTriangleStripArray::create());
            strips->initExplicit(int32_t(indices.size()), indices.data(), count, lengths.data());
            return strips;
        };
        const auto setSubmeshes = [&](CkwIndexBuffer* lower) {
            CkwIndexBuffer* const submeshes[2] = {bands(0, 2), lower};
            CkwAppearance* const looks[2] = {look, look};
            sphere->init(vb, 2, submeshes, 2, looks);
        };
        setSubmeshes(bands(4, 2));
        // A skinned square whose bone moves: its vertices are made anew.
        CkwMesh* source = test.hold(quad(0.5f, 0xFFFFFFFF, look));
        CkwGroup* bone = nullptr;
        CkwSkinnedMesh* skin = skinOver(source, look, bone);
        skin->setTranslation(1.8f, 1.2f, 0.0f);
        world->addChild(skin);

        const std::function<void()> changes[] = {
            [&] { static_cast<CkwCamera*>(world->getActiveCamera())->setTranslation(1.0f, 0.5f, 5.0f); },
            [&] { rotate(sphere, 70, 1, 0, 0); },
            [&] { bone->setTranslation(0.0f, -0.4f, 0.0f); },
            [&] { polygon->setCulling(CkwPolygonMode::kCullFront); },
            [&] { polygon->setCulling(CkwPolygonMode::kCullNone); },
            [&] { polygon->setTwoSidedLightingEnable(true); },
            [&] { polygon->setWinding(CkwPolygonMode::kWindingCw); },
            [&] { polygon->setCulling(CkwPolygonMode::kCullBack); },
            // Another index buffer over the same vertices, then one made
            // after that one is freed, likely at its address.
            [&] { setSubmeshes(bands(2, 3)); },
            [&] { setSubmeshes(bands(4, 2)); },
            [&] { setSubmeshes(bands(3, 1)); },
        };
        Screen screen;
        std::vector<uint32_t> before = screen.draw(world);
        for (size_t i = 0; i < std::size(changes); ++i) {
            changes[i]();
            // The first frame after the change, then the same again.
            for (int32_t frame = 0; frame < 2; ++frame) {
                const std::vector<uint32_t> now = screen.draw(world);
                ASSERT_EQ(now.size(), size_t(kW * kH));
                EXPECT_EQ(now, draw(world)) << "change " << i << ", frame " << frame;
                EXPECT_EQ(now != before, frame == 0) << "change " << i << ", frame " << frame;
                before = now;
            }
        }
    }), 0);
}

namespace {

// Files for the counted rows, as an exporter writes them: lit meshes over
// buffers of rows of two vertices (x -1 and 1, y -1, 0 and 1 in turn), in a
// World seen from (0, 0, 20) with a directional light.
struct FileMaker {
    M3gFileWriter w{M3gFlavour::Own};
    std::vector<uint32_t> nodes;

    uint32_t look(int32_t layer = 0, bool lit = true)
    {
        return w.addObject(m3gAppearanceRecord({{}, int8_t(layer), 0, 0, 0, lit ? w.addObject(m3gMaterialRecord({})) : 0, {}}));
    }
    uint32_t buffer(uint32_t rows)
    {
        std::vector<int32_t> p, normals;
        for (uint32_t i = 0; i < 2 * rows; ++i) {
            p.insert(p.end(), {int32_t(i % 2) * 2 - 1, int32_t(i / 2 % 3) - 1, 0});
            normals.insert(normals.end(), {0, 0, 127});
        }
        const uint32_t positions = w.addObject(m3gVertexArrayRecord({{}, 2, 3, kM3gVertexPlain, p}));
        const uint32_t facing = w.addObject(m3gVertexArrayRecord({{}, 1, 3, kM3gVertexPlain, normals}));
        return w.addObject(m3gVertexBufferRecord({{}, ~0u, positions, {}, 1, facing, 0, {}}));
    }
    // Explicit, with a tail of odd indices that no strip reaches, or implicit.
    uint32_t strip(std::vector<uint32_t> indices, uint32_t tail)
    {
        for (uint32_t j = 0; j < tail; ++j)
            indices.push_back(2 * j + 1);
        return w.addObject(m3gTriangleStripRecord({{}, 130, 0, indices, {uint32_t(indices.size() - tail)}}));
    }
    uint32_t strip(uint32_t first, uint32_t length) { return w.addObject(m3gTriangleStripRecord({{}, 0, first, {}, {length}})); }
    std::vector<uint8_t> finish()
    {
        M3gCameraFields camera;
        camera.node.transformable.components = M3gComponentTransform{{0, 0, 20}};
        camera.projection = 50;
        nodes.insert(nodes.end(), {w.addObject(m3gCameraRecord(camera)), w.addObject(m3gLightRecord({}))});
        w.addObject(m3gWorldRecord({{{}, nodes}, nodes[nodes.size() - 2], 0}));
        return w.finish();
    }
};

// n meshes at their own places, of 8 scopes, taking turns at 5 strips over
// one buffer, each of a row's two vertices and the buffer's last, at (1, 1),
// and a tail of every other index; n omni lights over the scopes.
std::vector<uint8_t> meshesCyclingTailedStrips(uint32_t n)
{
    FileMaker f;
    const uint32_t buffer = f.buffer(3 * n + 3), look = f.look();
    std::vector<uint32_t> strips;
    for (uint32_t row : {0, 1, 3, 4, 6})
        strips.push_back(f.strip({2 * row, 2 * row + 1, 6 * n + 5}, 3 * n + 3));
    for (uint32_t i = 0; i < n; ++i)
        for (bool light : {false, true}) {
            const M3gNodeFields node{{{}, M3gComponentTransform{{0.001f * float(i), 1, float(light)}}, {}}, true, true, 255, 1u << (i % 8), {}};
            f.nodes.push_back(f.w.addObject(light ? m3gLightRecord({node, 1, 0, 0, 0xFFFFFF, 130, 1, 45, 0})
                                                  : m3gMeshRecord({node, buffer, {{strips[i % 5], look}}})));
        }
    return f.finish();
}

// A skinned mesh of n submeshes whose skeleton binds n vertices with n
// weights (n palette entries), taking turns by layer with the n submeshes of
// a morphing mesh of n targets.
std::vector<uint8_t> skinAndMorphInterleavedByLayers(uint32_t n)
{
    FileMaker f;
    M3gSkinnedMeshFields skin{{{}, f.buffer(n + 1), {}}, f.w.addObject(m3gGroupRecord({})), {}};
    M3gMorphingMeshFields morph{{{}, f.buffer(2), {}}, {}};
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t look = f.look(int32_t(i % 127) - 63);
        skin.mesh.submeshes.push_back({f.strip(2 * i, 4), look});
        skin.bones.push_back({skin.skeleton, 2 * i, 1, int32_t(i + 1)});
        morph.mesh.submeshes.push_back({f.strip(0, 4), look});
        morph.targets.push_back({morph.mesh.vertexBuffer, 0.0f});
    }
    f.nodes = {f.w.addObject(m3gSkinnedMeshRecord(skin)), f.w.addObject(m3gMorphingMeshRecord(morph))};
    return f.finish();
}

// One mesh of n / 4 unlit submeshes and one of 3 n / 4, all naming one strip
// over the n^2 / 8 + 2 vertices of the buffer.
std::vector<uint8_t> submeshesSharingAStrip(uint32_t n)
{
    FileMaker f;
    const uint32_t length = n * n / 8 + 2, buffer = f.buffer(length / 2), strip = f.strip(0, length);
    const uint32_t look = f.look(0, false);
    for (uint32_t count : {n / 4, 3 * n / 4})
        f.nodes.push_back(f.w.addObject(m3gMeshRecord({{}, buffer, std::vector<M3gSubmeshFields>(count, {strip, look})})));
    return f.finish();
}

} // namespace

// A frame, the frame again and a pick of a file at n and 2n each count some
// steps, and the frames some vertices and light evaluations; twice the file
// costs at most 2.3 times as much. A frame makes exactly the vertices its
// strips reach, per node and pose (so many per n, so many once), and normals
// where it shades. Strips named past the walk's bound are refused.
TEST(SubmeshPipeline, WorkAtTwiceTheFileStaysWithinTwiceAndABit)
{
    const struct {
        const char* name;
        std::vector<uint8_t> (*make)(uint32_t);
        uint32_t n;
        uint64_t made[3];  // the frame's per n and once, the frame again's per n
        uint64_t walked = 0;  // strip indices the frame at n walks at least
        bool refusedAtTwice = false;
    } rows[] = {
        // Positions and eye positions per mesh; one key's normals serve all.
        {"meshes-cycling-tailed-strips", meshesCyclingTailedStrips, 256, {6, 11, 6}},
        // The skin's positions and normals and the morph's own; its blend
        // is a deform step, not a transform.
        {"skin-and-morph-interleaved-by-layers", skinAndMorphInterleavedByLayers, 128, {4, 12, 0}},
        {"submeshes-sharing-a-strip", submeshesSharingAStrip, 128, {0, 2050, 0}, 128 * 2050, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::array<uint64_t, 3> work[2][3];  // at n and 2n, per operation: visits, vertices, lights
        for (int32_t k = 0; k < 2; ++k) {
            const uint32_t n = row.n << k;
            SceneTest test;
            CkwSerializeObjectsIn parser;
            CkwGraphics3D* g = nullptr;
            ASSERT_EQ(SceneTest::trap([&] { g = test.hold(CkwGraphics3D::create()); }), 0);
            ASSERT_EQ(SceneTest::trap([&] { EXPECT_EQ(loadFile(parser, row.make(n)), -1); }), 0);
            auto* world = static_cast<CkwWorld*>(parser.objectAt(parser.roots()[parser.roots().count() - 1]));
            RasterTarget target{16, 16};
            const float origin[3] = {0.1f, 0.1f, 50.0f}, direction[3] = {0.0f, 0.0f, -1.0f};
            for (int32_t op = 0; op < 3; ++op) {
                const EngineContext before = *engineContext();
                const int32_t code = SceneTest::trap([&] {
                    if (op == 2)
                        world->pickRay(-1, origin, direction, nullptr);
                    else
                        g->bindTarget(16, 16, 32, target.color.data()), g->renderWorld(world);
                });
                g->releaseTarget();
                const EngineContext& c = *engineContext();
                work[k][op] = {c.visits - before.visits, c.vertexTransforms - before.vertexTransforms,
                               c.lightEvaluations - before.lightEvaluations};
                EXPECT_EQ(code, k == 1 && row.refusedAtTwice ? KErrIllegalState : KErrNone) << op;
                const uint64_t made = op == 0 ? row.made[0] * n + row.made[1] : row.made[2] * n;
                EXPECT_TRUE(op == 2 || code != KErrNone || work[k][op][1] == made) << op << ": " << work[k][op][1];
                EXPECT_TRUE(op > 0 || k > 0 || work[k][op][0] >= row.walked) << work[k][op][0];
            }
        }
        for (int32_t op = 0; op < 3; ++op)
            for (int32_t c = 0; c < 3; ++c) {
                // The strip walked again and again is not lit.
                EXPECT_TRUE(work[0][op][c] > 0 || (c > 0 && op > 0) || (c == 2 && row.walked > 0)) << op << " " << c;
                // What a refused call did is held by the bound instead.
                EXPECT_TRUE(row.refusedAtTwice || work[1][op][c] <= work[0][op][c] * 23 / 10) << op << " " << c;
            }
    }
}
