// Pieces the sample pack's scenes share: one square to build small meshes
// from, the camera, lights and background a scene opens with, and clips as
// the game's clip tables find them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"

namespace SceneProperty {
constexpr uint32_t Orientation = 268;
constexpr uint32_t Scale = 270;
constexpr uint32_t Translation = 275;
} // namespace SceneProperty

// One square, -1..1 in x and y, facing +z, wound counter-clockwise.
struct SceneSquare {
    uint32_t positions;
    uint32_t strip;
    uint32_t buffer;  // positions, normals and texture coordinates
};
SceneSquare addSquare(M3gFileWriter& w);
// A lit, two-sided look of the diffuse (ARGB) and ambient colours, with the
// textures.
uint32_t addLitLook(M3gFileWriter& w, uint32_t diffuse, uint32_t ambient, std::vector<uint32_t> textures = {});
uint32_t addSquareMesh(M3gFileWriter& w, const SceneSquare& square, uint32_t look, int32_t userId,
                       const M3gComponentTransform& place, std::vector<uint32_t> tracks = {});

// The camera 10 in front of the origin looking at it, an ambient and a
// tilted directional light: the first children of every scene's World.
struct SceneStage {
    uint32_t camera;
    std::vector<uint32_t> children;
};
SceneStage addStage(M3gFileWriter& w, float aspectRatio);
// A perspective camera of 60 degrees, placed.
uint32_t addCamera(M3gFileWriter& w, float aspectRatio, const M3gComponentTransform& place);
// The World over the stage and the further children, cleared to colour.
uint32_t addWorld(M3gFileWriter& w, const SceneStage& stage, uint32_t background,
                  const std::vector<uint32_t>& children);

// A sequence of three-component keyframes (translation or scale) or of
// quaternions (orientation), over its keyframes' whole range.
M3gKeyframeSequenceFields keyframes(uint32_t duration, bool loop, uint32_t components,
                                    std::vector<M3gKeyframe> keys);
// A quarter turn about the axis per keyframe, looping over four.
M3gKeyframeSequenceFields spin(float x, float y, float z, uint32_t duration);
// The quaternion of a turn by degrees about the unit axis.
std::vector<float> turn(float x, float y, float z, float degrees);

// A clip's controller: its user id is the clip's id. A table-driven clip is
// never active until the game's clip table pins it, so its tracks stay still
// wherever no table runs them.
uint32_t addController(M3gFileWriter& w, uint32_t clipId, bool tableDriven = true);
uint32_t addTrack(M3gFileWriter& w, uint32_t controller, const M3gKeyframeSequenceFields& sequence, uint32_t property);
// A clip of one track.
uint32_t addClip(M3gFileWriter& w, uint32_t clipId, const M3gKeyframeSequenceFields& sequence, uint32_t property,
                 bool tableDriven = true);
// A group with the user id, placed, with tracks and children.
uint32_t addGroup(M3gFileWriter& w, int32_t userId, const M3gComponentTransform& place,
                  std::vector<uint32_t> tracks, std::vector<uint32_t> children);

M3gComponentTransform placeAt(float x, float y, float z, float size = 1.0f);
