// The sample pack's level scene: a World with a camera, two lights, a
// background and three animated meshes: a flat-coloured square turning at
// the centre of the view and two lit, textured squares spinning above and
// below it.
#pragma once

#include <cstdint>
#include <vector>

namespace LevelSceneLook {
constexpr uint32_t Background = 0xFF203050;
// The centre square is unlit and untextured: it shows this colour exactly.
constexpr uint32_t CentreColour = 0xFFF0C020;
constexpr float CameraAspect = 4.0f / 3.0f;
} // namespace LevelSceneLook

std::vector<uint8_t> sampleLevelScene();
