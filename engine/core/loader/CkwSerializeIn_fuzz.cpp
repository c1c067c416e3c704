// libFuzzer target: arbitrary bytes, cut into pieces the input chooses, fed
// to the 3D file parser. Seeds come from m3gseeds.
#include <cstdlib>

#include "engine/core/loader/SerializeFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TestEngine engine;
    if (!isParserOutcome(parseFuzzInput({data, size})))
        std::abort();
    return 0;
}
