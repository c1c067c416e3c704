// The sample pack's level scene: a World with a camera, two lights, a
// background and three animated meshes: a flat-coloured square turning at
// the centre of the view and two lit, textured squares spinning above and
// below it; and, behind the camera, a character with two named clips for the
// game's clip table, the empty groups where level ten places its cast, and
// the camera and spots of the level's end.
#pragma once

#include <cstdint>
#include <vector>

namespace LevelSceneLook {
constexpr uint32_t Background = 0xFF203050;
// The centre square is unlit and untextured: it shows this colour exactly.
constexpr uint32_t CentreColour = 0xFFF0C020;
constexpr float CameraAspect = 4.0f / 3.0f;
} // namespace LevelSceneLook

// The character: the group "hero", which the clips "walk" and "wave" move,
// holding the mesh "boy". Ids are the game's node-name hashes of the names.
namespace LevelSceneCharacter {
constexpr uint32_t GroupId = 0x045656cd; // "hero" + "Transform"
constexpr uint32_t MeshId = 0x298bfd31;
constexpr uint32_t WalkId = 0x3c187dd5;
constexpr uint32_t WaveId = 0x2f9b1eb9;
// Translation (0, 0, Z) at 0 ms, (WalkX, 0, Z) from 500 ms to the clip's end.
constexpr int32_t WalkLength = 1000;
constexpr float WalkX = 10.0f;
constexpr float Z = 20.0f;
// Scale 1 at 0 ms to 2 at 400 ms, held to the end.
constexpr int32_t WaveLength = 800;
} // namespace LevelSceneCharacter

std::vector<uint8_t> sampleLevelScene();
