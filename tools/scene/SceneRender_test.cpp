// The scene tool's render of writer-made files: a lit square in a World seen
// through its camera over its background, a lone mesh through the default
// camera, and files that cannot be drawn.
#include "tools/scene/SceneRender.h"

#include <gtest/gtest.h>

#include "engine/core/io/IoTestKit.h"
#include "engine/core/scene/SceneIds.h"
#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

// The World's light: its mode, its height over the square, and properties
// each held by a track under a controller of its own weight.
struct SceneLight {
    uint8_t mode = 129;
    float z = 0.0f;
    struct Held { int32_t property; std::vector<float> value; float weight; };
    std::vector<Held> tracks;
};

// A square of half size 1 facing +z, red in a material, under a white
// light travelling down -z; with a World, camera at z 5 and a grey
// background. Positions of other than three components lie 10 units off to
// the side, out of the view of a camera that does not frame them.
std::vector<uint8_t> squareScene(bool withWorld, const SceneLight& lit = {}, uint8_t components = 3)
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeNone);
    M3gVertexArrayFields positions;
    positions.componentCount = components;
    for (int32_t corner = 0; corner < 4; ++corner) {
        const int32_t xyzw[4] = {corner % 2 * 2 - 1, corner / 2 * 2 - 1, 0, 1};
        positions.values.insert(positions.values.end(), xyzw, xyzw + components);
    }
    const uint32_t p = w.addObject(m3gVertexArrayRecord(positions));
    M3gVertexArrayFields normals;
    normals.componentSize = 1;
    normals.values = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127};
    const uint32_t n = w.addObject(m3gVertexArrayRecord(normals));
    M3gVertexBufferFields vb;
    vb.positions = p;
    vb.positionBias[0] = components == 3 ? 0.0f : 10.0f;
    vb.normals = n;
    const uint32_t b = w.addObject(m3gVertexBufferRecord(vb));
    M3gTriangleStripFields strip;
    strip.stripLengths = {4};
    const uint32_t s = w.addObject(m3gTriangleStripRecord(strip));
    M3gMaterialFields material;
    material.diffuseColor = 0xFFFF0000;
    material.ambientColor = 0;
    const uint32_t m = w.addObject(m3gMaterialRecord(material));
    M3gAppearanceFields appearance;
    appearance.material = m;
    const uint32_t a = w.addObject(m3gAppearanceRecord(appearance));
    M3gMeshFields mesh;
    mesh.vertexBuffer = b;
    mesh.submeshes = {{s, a}};
    const uint32_t square = w.addObject(m3gMeshRecord(mesh));
    if (withWorld) {
        M3gCameraFields camera;
        camera.projection = 50;
        camera.fovyOrHeight = 60.0f;
        camera.aspectRatio = 32.0f / 24.0f;
        camera.node.transformable.components = M3gComponentTransform{};
        camera.node.transformable.components->translation = {0.0f, 0.0f, 5.0f};
        const uint32_t c = w.addObject(m3gCameraRecord(camera));
        M3gLightFields light;
        light.mode = lit.mode;
        light.node.transformable.components = M3gComponentTransform{};
        light.node.transformable.components->translation = {0.0f, 0.0f, lit.z};
        for (const SceneLight::Held& t : lit.tracks)
            light.node.transformable.object.animationTracks.push_back(m3gAddHeldTrack(w, t.property, t.value, t.weight));
        const uint32_t l = w.addObject(m3gLightRecord(light));
        M3gBackgroundFields background;
        background.color = 0xFF808080;
        const uint32_t g = w.addObject(m3gBackgroundRecord(background));
        M3gWorldFields world;
        world.group.children = {c, l, square};
        world.activeCamera = c;
        world.background = g;
        w.addObject(m3gWorldRecord(world));
    }
    return w.finish();
}

} // namespace

TEST(SceneRender, DrawsWorldsAndLoneNodesAndRefusesTheRest)
{
    ScratchFolder folder;
    const std::vector<uint8_t> world = squareScene(true);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
        uint16_t corner, centre;
    } cases[] = {
        {"world", world, 0, 0x8410, 0xF800},
        // No World: the default camera frames the square, its own head light
        // shines on it, and the clear is black.
        {"lone mesh", squareScene(false), 0, 0x0000, 0xF800},
        {"lone mesh of four-component positions", squareScene(false, {}, 4), 0, 0x0000, 0xF800},
        {"lone mesh of two-component positions", squareScene(false, {}, 2), 0, 0x0000, 0xF800},
        // Animation past the float range: a light turned by a quaternion or
        // axis whose square overflows still shines down; one whose axis or
        // cone is NaN lights nothing; a NaN spot exponent counts as 0.
        {"light turned by a huge quaternion", squareScene(true, {129, 0, {{kPropertyOrientation, {0, 0, 3.4e38f, 3.4e38f}, 1}}}), 0, 0x8410, 0xF800},
        {"light's z scale of 1e20", squareScene(true, {129, 0, {{kPropertyScale, {1, 1, 1e20f}, 1}}}), 0, 0x8410, 0xF800},
        {"light's z scale at infinity", squareScene(true, {129, 0, {{kPropertyScale, {1, 1, 3.4e38f}, 3.4e38f}}}), 0, 0x8410, 0x0000},
        {"spot angle of +inf and -inf", squareScene(true, {131, 3, {{kPropertySpotAngle, {3.4e38f}, 2}, {kPropertySpotAngle, {-3.4e38f}, 2}}}), 0, 0x8410, 0x0000},
        {"spot exponent of +inf and -inf", squareScene(true, {131, 3, {{kPropertySpotExponent, {3.4e38f}, 2}, {kPropertySpotExponent, {-3.4e38f}, 2}}}), 0, 0x8410, 0xE800},
        {"cut short", std::vector<uint8_t>(world.begin(), world.end() - 9), 1, 0, 0},
        {"header only", M3gFileWriter().finish(), 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SceneRenderOptions options;
        options.width = 32;
        options.height = 24;
        std::vector<uint16_t> pixels;
        std::string error;
        ASSERT_EQ(renderSceneFile(folder.write("f.m3g", c.bytes), options, pixels, error), c.code) << error;
        if (c.code != 0)
            continue;
        EXPECT_EQ(pixels[0], c.corner);
        EXPECT_EQ(pixels[12 * 32 + 16], c.centre);
    }
    const std::string png = folder.path() + "/out.png";
    std::string error;
    EXPECT_EQ(renderSceneToPng(folder.write("w.m3g", world), png, SceneRenderOptions{}, error), 0) << error;
    EXPECT_TRUE(std::filesystem::file_size(png) > 0);
}
