// libFuzzer target: arbitrary bytes opened as a resource pack and every entry
// read. Seeds come from packseeds.
#include "tools/pack/PackFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readPackFuzzInput(data, size);
    return 0;
}
