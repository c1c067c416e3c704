// libFuzzer target: arbitrary bytes read as palettes and BMP images and
// decoded as PNG and BMP into pixel buffers. Seeds come from imageseeds.
#include "tools/image/ImageFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readImageFuzzInput(data, size);
    return 0;
}
