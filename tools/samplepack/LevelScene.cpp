// Builds the sample level scene with the 3D file writer.
#include "tools/samplepack/LevelScene.h"

#include <array>

#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {

constexpr uint8_t kLightAmbient = 128;
constexpr uint8_t kLightDirectional = 129;
constexpr uint8_t kPerspective = 50;
constexpr uint8_t kCullNone = 162;
constexpr uint8_t kSlerp = 177;
constexpr uint8_t kLoop = 193;
constexpr uint32_t kOrientation = 268;
constexpr uint32_t kScale = 270;
constexpr uint32_t kTranslation = 275;
constexpr uint8_t kImageRgb = 99;

// A quarter turn about the axis per keyframe, looping over four.
M3gKeyframeSequenceFields spin(float x, float y, float z, uint32_t duration)
{
    constexpr float s = 0.70710678f;
    M3gKeyframeSequenceFields sequence;
    sequence.interpolation = kSlerp;
    sequence.repeatMode = kLoop;
    sequence.duration = duration;
    sequence.componentCount = 4;
    sequence.validRangeLast = 3;
    const uint32_t quarter = duration / 4;
    sequence.keyframes = {
        {0, {0, 0, 0, 1}},
        {int32_t(quarter), {x * s, y * s, z * s, s}},
        {int32_t(2 * quarter), {x, y, z, 0}},
        {int32_t(3 * quarter), {x * s, y * s, z * s, -s}},
    };
    return sequence;
}

} // namespace

std::vector<uint8_t> sampleLevelScene()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib);

    // One square, -1..1 in x and y, facing +z, wound counter-clockwise.
    M3gVertexArrayFields corners;
    corners.values = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    const uint32_t positions = w.addObject(m3gVertexArrayRecord(corners));
    M3gVertexArrayFields facing;
    facing.componentSize = 1;
    facing.values = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127};
    const uint32_t normals = w.addObject(m3gVertexArrayRecord(facing));
    M3gVertexArrayFields uv;
    uv.componentSize = 1;
    uv.componentCount = 2;
    uv.values = {0, 1, 1, 1, 0, 0, 1, 0};
    const uint32_t texCoords = w.addObject(m3gVertexArrayRecord(uv));
    M3gTriangleStripFields strip;
    strip.stripLengths = {4};
    const uint32_t square = w.addObject(m3gTriangleStripRecord(strip));

    M3gVertexBufferFields flat;
    flat.positions = positions;
    flat.defaultColor = LevelSceneLook::CentreColour;
    const uint32_t flatBuffer = w.addObject(m3gVertexBufferRecord(flat));
    M3gVertexBufferFields lit;
    lit.positions = positions;
    lit.normals = normals;
    lit.texCoords = {{texCoords}};
    const uint32_t litBuffer = w.addObject(m3gVertexBufferRecord(lit));

    // A 4 x 4 checker of warm and cool squares.
    M3gImage2DFields checker;
    checker.format = kImageRgb;
    checker.width = checker.height = 4;
    for (uint32_t i = 0; i < 16; ++i) {
        const bool warm = ((i % 4) / 2 + (i / 4) / 2) % 2 == 0;
        const std::array<uint8_t, 3> rgb = warm ? std::array<uint8_t, 3>{240, 96, 48} : std::array<uint8_t, 3>{48, 160, 240};
        checker.pixels.insert(checker.pixels.end(), rgb.begin(), rgb.end());
    }
    M3gTexture2DFields texture;
    texture.image = w.addObject(m3gImage2DRecord(checker));
    const uint32_t textureIndex = w.addObject(m3gTexture2DRecord(texture));
    M3gMaterialFields material;
    material.diffuseColor = 0xFFFFFFFF;
    material.ambientColor = 0x404040;
    M3gPolygonModeFields bothSides;
    bothSides.culling = kCullNone;
    bothSides.twoSidedLighting = true;
    M3gAppearanceFields litLook;
    litLook.material = w.addObject(m3gMaterialRecord(material));
    litLook.polygonMode = w.addObject(m3gPolygonModeRecord(bothSides));
    litLook.textures = {textureIndex};
    const uint32_t litAppearance = w.addObject(m3gAppearanceRecord(litLook));
    const uint32_t flatAppearance = w.addObject(m3gAppearanceRecord({}));

    M3gAnimationControllerFields clock;
    const uint32_t controller = w.addObject(m3gAnimationControllerRecord(clock));
    const auto track = [&](const M3gKeyframeSequenceFields& sequence) {
        const uint32_t s = w.addObject(m3gKeyframeSequenceRecord(sequence));
        return w.addObject(m3gAnimationTrackRecord({{}, s, controller, kOrientation}));
    };
    const auto mesh = [&](uint32_t buffer, uint32_t appearance, float y, float size, uint32_t spinTrack) {
        M3gMeshFields m;
        m.vertexBuffer = buffer;
        m.submeshes = {{square, appearance}};
        M3gComponentTransform place;
        place.translation = {0.0f, y, 0.0f};
        place.scale = {size, size, size};
        m.node.transformable.components = place;
        m.node.transformable.object.animationTracks = {spinTrack};
        return w.addObject(m3gMeshRecord(m));
    };
    const uint32_t centre = mesh(flatBuffer, flatAppearance, 0.0f, 1.5f, track(spin(0, 0, 1, 8000)));
    // Above and below the centre: the screen is taller than it is wide.
    const uint32_t top = mesh(litBuffer, litAppearance, 3.4f, 1.2f, track(spin(0, 1, 0, 4000)));
    const uint32_t bottom = mesh(litBuffer, litAppearance, -3.4f, 1.2f, track(spin(1, 0, 0, 6000)));

    M3gCameraFields camera;
    camera.projection = kPerspective;
    camera.fovyOrHeight = 60.0f;
    camera.aspectRatio = LevelSceneLook::CameraAspect;
    camera.near = 1.0f;
    camera.far = 100.0f;
    M3gComponentTransform back;
    back.translation = {0.0f, 0.0f, 10.0f};
    camera.node.transformable.components = back;
    const uint32_t cameraIndex = w.addObject(m3gCameraRecord(camera));

    M3gLightFields ambient;
    ambient.mode = kLightAmbient;
    ambient.color = 0x606060;
    M3gLightFields sun;
    sun.mode = kLightDirectional;
    M3gComponentTransform tilt;
    tilt.orientationAngle = -30.0f;
    tilt.orientationAxis = {1.0f, 0.0f, 0.0f};
    sun.node.transformable.components = tilt;

    // The character: its own controllers, named by clip, drive its tracks.
    namespace C = LevelSceneCharacter;
    const auto clip = [&](uint32_t id, const M3gKeyframeSequenceFields& sequence, uint32_t property) {
        M3gAnimationControllerFields named;
        named.object.userId = int32_t(id);
        const uint32_t c = w.addObject(m3gAnimationControllerRecord(named));
        const uint32_t s = w.addObject(m3gKeyframeSequenceRecord(sequence));
        return w.addObject(m3gAnimationTrackRecord({{}, s, c, property}));
    };
    M3gKeyframeSequenceFields walk;
    walk.duration = C::WalkLength;
    walk.componentCount = 3;
    walk.validRangeLast = 1;
    walk.keyframes = {{0, {0, 0, C::Z}}, {500, {C::WalkX, 0, C::Z}}};
    M3gKeyframeSequenceFields wave;
    wave.duration = C::WaveLength;
    wave.componentCount = 3;
    wave.validRangeLast = 1;
    wave.keyframes = {{0, {1, 1, 1}}, {400, {2, 2, 2}}};
    M3gMeshFields boy;
    boy.vertexBuffer = litBuffer;
    boy.submeshes = {{square, litAppearance}};
    boy.node.transformable.object.userId = int32_t(C::MeshId);
    M3gGroupFields hero;
    hero.node.transformable.object.userId = int32_t(C::GroupId);
    M3gComponentTransform behind;
    behind.translation = {0.0f, 0.0f, C::Z};
    hero.node.transformable.components = behind;
    hero.node.transformable.object.animationTracks = {clip(C::WalkId, walk, kTranslation), clip(C::WaveId, wave, kScale)};
    hero.children = {w.addObject(m3gMeshRecord(boy))};
    const uint32_t heroIndex = w.addObject(m3gGroupRecord(hero));

    M3gBackgroundFields sky;
    sky.color = LevelSceneLook::Background;
    M3gWorldFields world;
    world.activeCamera = cameraIndex;
    world.background = w.addObject(m3gBackgroundRecord(sky));
    world.group.children = {cameraIndex, w.addObject(m3gLightRecord(ambient)), w.addObject(m3gLightRecord(sun)),
                            centre, top, bottom, heroIndex};
    w.addObject(m3gWorldRecord(world));
    return w.finish();
}
