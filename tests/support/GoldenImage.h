// Small PNG goldens for picture tests: a picture is compared exactly with a
// PNG kept beside its test; UPDATE_GOLDENS=1 rewrites the golden instead.
// On a mismatch the actual picture and a difference image are written
// under the build tree's "golden-failures" folder.
#pragma once

#include <cstdint>

#include <gtest/gtest.h>

// pixels: width x height words 0xAARRGGBB, rows top first. goldenPath is
// relative to the source tree. Pictures larger than 128 x 96 are refused.
::testing::AssertionResult matchesGolden(const char* goldenPath, const uint32_t* pixels, int width, int height);
