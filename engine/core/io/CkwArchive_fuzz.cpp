// libFuzzer target: arbitrary bytes opened, enumerated and read as an engine
// archive. Seeds: tools/archive/corpus.
#include <cstdlib>

#include "engine/core/io/ArchiveFuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ScopedEngine engine;
    static ScratchFolder folder;
    if (!isArchiveOutcome(archiveFuzzInput(folder, {data, size})))
        std::abort();
    return 0;
}
