// libFuzzer target: arbitrary bytes loaded through the Loader interface into
// the real scene classes. Seeds: tools/m3g/corpus.
#include <cstdlib>

#include "engine/scene/SceneFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SceneEngine engine;
    if (!isLoadOutcome(loadFuzzInput(engine, {data, size})))
        std::abort();
    return 0;
}
