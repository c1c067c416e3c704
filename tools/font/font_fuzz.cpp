// libFuzzer target: arbitrary bytes loaded as a font file, then looked up,
// measured, placed and laid out. Seeds come from fontseeds.
#include "tools/font/FontFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readFontFuzzInput(data, size);
    return 0;
}
