// The sample scenes' shared pieces, written with the 3D file writer.
#include "tools/samplepack/ScenePieces.h"

#include <cmath>
#include <utility>

#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gStateEncoders.h"

namespace {
constexpr uint8_t kLightAmbient = 128;
constexpr uint8_t kLightDirectional = 129;
constexpr uint8_t kPerspective = 50;
constexpr uint8_t kCullNone = 162;
constexpr uint8_t kSlerp = 177;
constexpr uint8_t kRepeatLoop = 193;
// An interval that has ended before any world time the game runs at.
constexpr int32_t kNeverActive = -2;
} // namespace

SceneSquare addSquare(M3gFileWriter& w)
{
    SceneSquare square;
    M3gVertexArrayFields corners;
    corners.values = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    square.positions = w.addObject(m3gVertexArrayRecord(corners));
    M3gVertexArrayFields facing;
    facing.componentSize = 1;
    facing.values = {0, 0, 127, 0, 0, 127, 0, 0, 127, 0, 0, 127};
    M3gVertexArrayFields uv;
    uv.componentSize = 1;
    uv.componentCount = 2;
    uv.values = {0, 1, 1, 1, 0, 0, 1, 0};
    M3gVertexBufferFields lit;
    lit.positions = square.positions;
    lit.normals = w.addObject(m3gVertexArrayRecord(facing));
    lit.texCoords = {{w.addObject(m3gVertexArrayRecord(uv))}};
    square.buffer = w.addObject(m3gVertexBufferRecord(lit));
    M3gTriangleStripFields strip;
    strip.stripLengths = {4};
    square.strip = w.addObject(m3gTriangleStripRecord(strip));
    return square;
}

uint32_t addLitLook(M3gFileWriter& w, uint32_t diffuse, uint32_t ambient, std::vector<uint32_t> textures)
{
    M3gMaterialFields material;
    material.diffuseColor = diffuse;
    material.ambientColor = ambient;
    M3gPolygonModeFields bothSides;
    bothSides.culling = kCullNone;
    bothSides.twoSidedLighting = true;
    M3gAppearanceFields look;
    look.material = w.addObject(m3gMaterialRecord(material));
    look.polygonMode = w.addObject(m3gPolygonModeRecord(bothSides));
    look.textures = std::move(textures);
    return w.addObject(m3gAppearanceRecord(look));
}

uint32_t addSquareMesh(M3gFileWriter& w, const SceneSquare& square, uint32_t look, int32_t userId,
                       const M3gComponentTransform& place, std::vector<uint32_t> tracks)
{
    M3gMeshFields mesh;
    mesh.vertexBuffer = square.buffer;
    mesh.submeshes = {{square.strip, look}};
    mesh.node.transformable.object.userId = userId;
    mesh.node.transformable.components = place;
    mesh.node.transformable.object.animationTracks = std::move(tracks);
    return w.addObject(m3gMeshRecord(mesh));
}

uint32_t addCamera(M3gFileWriter& w, float aspectRatio, const M3gComponentTransform& place)
{
    M3gCameraFields camera;
    camera.projection = kPerspective;
    camera.fovyOrHeight = 60.0f;
    camera.aspectRatio = aspectRatio;
    camera.near = 1.0f;
    camera.far = 100.0f;
    camera.node.transformable.components = place;
    return w.addObject(m3gCameraRecord(camera));
}

SceneStage addStage(M3gFileWriter& w, float aspectRatio)
{
    M3gLightFields ambient;
    ambient.mode = kLightAmbient;
    ambient.color = 0x606060;
    M3gLightFields sun;
    sun.mode = kLightDirectional;
    M3gComponentTransform tilt;
    tilt.orientationAngle = -30.0f;
    tilt.orientationAxis = {1.0f, 0.0f, 0.0f};
    sun.node.transformable.components = tilt;
    SceneStage stage;
    stage.camera = addCamera(w, aspectRatio, placeAt(0.0f, 0.0f, 10.0f));
    stage.children = {stage.camera, w.addObject(m3gLightRecord(ambient)), w.addObject(m3gLightRecord(sun))};
    return stage;
}

uint32_t addWorld(M3gFileWriter& w, const SceneStage& stage, uint32_t background,
                  const std::vector<uint32_t>& children)
{
    M3gBackgroundFields sky;
    sky.color = background;
    M3gWorldFields world;
    world.activeCamera = stage.camera;
    world.background = w.addObject(m3gBackgroundRecord(sky));
    world.group.children = stage.children;
    world.group.children.insert(world.group.children.end(), children.begin(), children.end());
    return w.addObject(m3gWorldRecord(world));
}

M3gKeyframeSequenceFields keyframes(uint32_t duration, bool loop, uint32_t components, std::vector<M3gKeyframe> keys)
{
    M3gKeyframeSequenceFields sequence;
    if (loop)
        sequence.repeatMode = kRepeatLoop;
    sequence.duration = duration;
    sequence.componentCount = components;
    sequence.validRangeLast = uint32_t(keys.size()) - 1;
    sequence.keyframes = std::move(keys);
    return sequence;
}

M3gKeyframeSequenceFields spin(float x, float y, float z, uint32_t duration)
{
    constexpr float s = 0.70710678f;
    const int32_t quarter = int32_t(duration / 4);
    M3gKeyframeSequenceFields sequence = keyframes(duration, true, 4,
        {{0, {0, 0, 0, 1}}, {quarter, {x * s, y * s, z * s, s}}, {2 * quarter, {x, y, z, 0}},
         {3 * quarter, {x * s, y * s, z * s, -s}}});
    sequence.interpolation = kSlerp;
    return sequence;
}

std::vector<float> turn(float x, float y, float z, float degrees)
{
    const float half = degrees * 3.14159265f / 360.0f;
    const float s = std::sin(half);
    // The file takes no -0.0, which a zero axis component times a negative sine gives.
    return {x * s + 0.0f, y * s + 0.0f, z * s + 0.0f, std::cos(half)};
}

uint32_t addController(M3gFileWriter& w, uint32_t clipId, bool tableDriven)
{
    M3gAnimationControllerFields named;
    named.object.userId = int32_t(clipId);
    if (tableDriven) {
        named.activeIntervalStart = kNeverActive;
        named.activeIntervalEnd = kNeverActive + 1;
    }
    return w.addObject(m3gAnimationControllerRecord(named));
}

uint32_t addTrack(M3gFileWriter& w, uint32_t controller, const M3gKeyframeSequenceFields& sequence, uint32_t property)
{
    const uint32_t s = w.addObject(m3gKeyframeSequenceRecord(sequence));
    return w.addObject(m3gAnimationTrackRecord({{}, s, controller, property}));
}

uint32_t addClip(M3gFileWriter& w, uint32_t clipId, const M3gKeyframeSequenceFields& sequence, uint32_t property,
                 bool tableDriven)
{
    return addTrack(w, addController(w, clipId, tableDriven), sequence, property);
}

uint32_t addGroup(M3gFileWriter& w, int32_t userId, const M3gComponentTransform& place, std::vector<uint32_t> tracks,
                  std::vector<uint32_t> children)
{
    M3gGroupFields group;
    group.node.transformable.object.userId = userId;
    group.node.transformable.object.animationTracks = std::move(tracks);
    group.node.transformable.components = place;
    group.children = std::move(children);
    return w.addObject(m3gGroupRecord(group));
}

M3gComponentTransform placeAt(float x, float y, float z, float size)
{
    M3gComponentTransform place;
    place.translation = {x, y, z};
    place.scale = {size, size, size};
    return place;
}
