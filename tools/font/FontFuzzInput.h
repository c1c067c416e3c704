// One run of the font reader over arbitrary bytes, shared by the libFuzzer
// target and the corpus replay test: the bytes are loaded as a font, every
// stored character is looked up, and text is measured, placed and laid out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/image/ImageWriters.h"

struct FontFuzzOutcome {
    int loaded = 0;
    int glyphs = 0;
    int overrides = 0;
    int found = 0;  // stored glyph codes the lookup finds
    int lines = 0;  // lines of the fixed text laid out at width 20
};

FontFuzzOutcome readFontFuzzInput(const uint8_t* data, size_t size);

// Named seeds: "ok-" ones load and find every glyph, "bad-" ones are refused.
std::vector<std::pair<std::string, ImageBytes>> makeFontSeeds();
