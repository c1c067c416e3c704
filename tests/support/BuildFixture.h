// Test data that tools/ writes into the build tree while the project builds
// (Ogg tones, packs), found through PF_BUILD_DIR.
#pragma once

#include <cstdint>
#include <vector>

// The whole file at PF_BUILD_DIR/relativePath; empty when it is missing.
std::vector<uint8_t> readBuildFixture(const char* relativePath);
