// The scene tool's render: loads a 3D file, draws its first World through its
// active camera (or its first node through a default camera when there is no
// World) at a size and world time, and writes the picture as a PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SceneRenderOptions {
    int32_t width = 240;
    int32_t height = 320;
    int32_t timeMs = 0;
};

// Draws into pixels (RGB565, width x height). Returns 0, or a message in error.
int renderSceneFile(const std::string& path, const SceneRenderOptions& options, std::vector<uint16_t>& pixels,
                    std::string& error);
// Returns the process exit code: 0 written, 1 failed (message in error).
int renderSceneToPng(const std::string& path, const std::string& pngPath, const SceneRenderOptions& options,
                     std::string& error);
