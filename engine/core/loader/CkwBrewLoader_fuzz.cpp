// libFuzzer target: arbitrary bytes loaded through the engine's Loader
// interface. Seeds: tools/m3g/corpus.
#include <cstdlib>

#include "engine/core/loader/LoaderFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static InterfaceEngine engine;
    if (!isLoadOutcome(loadFuzzInput(engine, {data, size})))
        std::abort();
    return 0;
}
