// One run of the image readers over arbitrary bytes, shared by the libFuzzer
// target and the corpus replay test: the bytes are read as palettes, as a
// BMP image (in place and from a stream) and decoded as PNG and BMP into
// pixel buffers of several formats, plain, keyed, mirrored and transposed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/image/ImageWriters.h"

struct ImageFuzzOutcome {
    uint32_t pngDecodes = 0;  // buffer formats a PNG decoded into
    uint32_t bmpDecodes = 0;  // likewise for BMP
    int bmpLoaded = 0;        // BmpImage::load succeeded
};

ImageFuzzOutcome readImageFuzzInput(const uint8_t* data, size_t size);
// Buffer formats a decode is tried into; a whole palette picture reaches all.
constexpr uint32_t kImageFuzzDecodes = 4;

// Named seeds: "ok-" ones decode (24-bit BMPs into every format but the keyed
// one), "bad-" ones decode into none.
std::vector<std::pair<std::string, ImageBytes>> makeImageSeeds();
