// Encoders of the animation records: controller (1), track (2) and keyframe
// sequence (19), with the sequence's three keyframe encodings, and of the
// meshes animation deforms: morphing (15) and skinned (16). Enumerations
// are raw bytes so tests can write what the loader must refuse.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"

inline constexpr uint8_t kM3gTypeAnimationController = 1;
inline constexpr uint8_t kM3gTypeAnimationTrack = 2;
inline constexpr uint8_t kM3gTypeKeyframeSequence = 19;

struct M3gAnimationControllerFields {
    M3gObject3DFields object;
    float speed = 1.0f;
    float weight = 1.0f;
    int32_t activeIntervalStart = 0;
    int32_t activeIntervalEnd = 0;
    float referenceSequenceTime = 0.0f;
    int32_t referenceWorldTime = 0;
};

struct M3gAnimationTrackFields {
    M3gObject3DFields object;
    uint32_t keyframeSequence = 0;
    uint32_t animationController = 0;
    uint32_t propertyId = 275; // TRANSLATION
};

struct M3gKeyframe {
    int32_t time = 0;
    std::vector<float> value;
};

struct M3gKeyframeSequenceFields {
    M3gObject3DFields object;
    uint8_t interpolation = 176; // LINEAR 176 .. STEP 180
    uint8_t repeatMode = 192;    // CONSTANT 192, LOOP 193
    // 0 floats; 1 bytes and 2 16-bit values, each q / max x scale + bias.
    uint8_t encoding = 0;
    uint32_t duration = 1000;
    uint32_t validRangeFirst = 0;
    uint32_t validRangeLast = 0;
    uint32_t componentCount = 1;
    std::vector<M3gKeyframe> keyframes;
    // Encodings 1 and 2: the values are quantised to the nearest step of
    // bias + scale x q / max (clamped to its range).
    std::vector<float> bias;
    std::vector<float> scale;
};

M3gRecord m3gAnimationControllerRecord(const M3gAnimationControllerFields& fields);
M3gRecord m3gAnimationTrackRecord(const M3gAnimationTrackFields& fields);
M3gRecord m3gKeyframeSequenceRecord(const M3gKeyframeSequenceFields& fields);

class M3gFileWriter;
// A property held at one value: a sequence of one keyframe and a controller
// of the weight, written before the track that joins them; the track's index.
uint32_t m3gAddHeldTrack(M3gFileWriter& writer, uint32_t property, const std::vector<float>& value, float weight);

inline constexpr uint8_t kM3gTypeMorphingMesh = 15;
inline constexpr uint8_t kM3gTypeSkinnedMesh = 16;

struct M3gMorphTargetFields {
    uint32_t vertexBuffer = 0;
    float initialWeight = 0.0f;
};

struct M3gMorphingMeshFields {
    M3gMeshFields mesh;
    std::vector<M3gMorphTargetFields> targets;
};

struct M3gBoneReferenceFields {
    uint32_t node = 0;
    uint32_t firstVertex = 0;
    uint32_t vertexCount = 0;
    int32_t weight = 1;
};

struct M3gSkinnedMeshFields {
    M3gMeshFields mesh;
    uint32_t skeleton = 0;
    std::vector<M3gBoneReferenceFields> bones;
};

M3gRecord m3gMorphingMeshRecord(const M3gMorphingMeshFields& fields);
M3gRecord m3gSkinnedMeshRecord(const M3gSkinnedMeshFields& fields);

// A small animated scene for tests and fuzz seeds, in one section of the
// scheme: a World holding a skinned mesh whose two bones turn under SLERP and
// SQUAD tracks, a morphing mesh whose two weights follow a LINEAR track, and
// a group moved by SPLINE, STEP and LINEAR tracks whose keyframes use the
// three encodings; one controller at speed 1.5 drives every track.
std::vector<uint8_t> m3gSampleAnimatedScene(uint8_t scheme);
