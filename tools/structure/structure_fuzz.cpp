// libFuzzer target: a few bytes become a large or deep scene and archive
// (StructureInput.h), which are loaded, searched, duplicated and given clips;
// a wrong outcome aborts, and a step slower than the structure allows shows
// as a timeout. Seeds come from structureseeds.
#include <cstdlib>

#include "engine/core/io/IoTestKit.h"
#include "engine/scene/SceneFuzzInput.h"
#include "tools/structure/StructureInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SceneEngine engine;
    static ScratchFolder folder;
    const StructureSpec spec = decodeStructure(data, size);
    if (!structureOutcomeHolds(spec, runStructure(engine.api(), folder.path(), spec)))
        std::abort();
    return 0;
}
