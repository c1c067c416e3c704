// libFuzzer target: a few bytes become a large or deep scene and archive
// (StructureInput.h), which are loaded, searched, duplicated and given clips;
// a wrong outcome aborts, and so does work past kWorkPerInputByte per byte
// of the files made (the engine's counted steps and allocated bytes); a
// step slower than the structure allows and not counted shows as a timeout.
// Seeds come from structureseeds.
#include <cstdlib>

#include "engine/core/io/IoTestKit.h"
#include "tools/structure/StructureInput.h"
#include "tools/structure/StructureScaling.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CountingEngine engine;
    static ScratchFolder folder;
    const StructurePlan plan = decodeStructure(data, size);
    if (!structureOutcomeHolds(plan, runStructure(engine.api(), folder.path(), plan)))
        std::abort();
    return 0;
}
