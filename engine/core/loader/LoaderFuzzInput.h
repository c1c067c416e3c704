// One fuzz input for the loader: the bytes loaded from memory by a new Loader
// through the interface, with the chunk budget the first byte chooses (0 =
// none), so both the one-call and the stepped paths are reached.
#pragma once

#include <cstdint>
#include <span>

#include "engine/core/interface/EngineHandle.h"
#include "engine/core/loader/LoaderTestKit.h"

// Engine is anything with the root's api(): the loader tests' engine of
// stand-in objects or one with the real scene classes.
template <class Engine>
EngineResult loadFuzzInput(const Engine& engine, std::span<const uint8_t> input)
{
    const uint32_t budget = input.empty() ? 0 : input[0] % 4;
    EngineHandle* loader = nullptr;
    EngineResult result = engine.api().createEngineObject(kIidLoader, &loader);
    if (result != 0)
        return result;
    const auto& l = tableOf<IkwLoaderTable>(loader);
    for (int calls = 0; calls < 100000; ++calls) {
        result = l.loadBuffer(loader, static_cast<uint32_t>(input.size()), input.data(), &budget);
        if (result != 0 || l.getState(loader) != CkwBrewLoader::kLoading)
            break;
    }
    unknownRelease(loader);
    return result;
}

// Every result a memory load over arbitrary bytes may give: success; the
// parser's codes (-7..-11); no memory for a reference path or nested loader
// (2); a referenced file that cannot be opened (0x10000); memory exhausted,
// as when a record declares a huge size (0x10001); input ending inside a
// section (0x10008); a bad section length (0x10009); a file that references
// itself (0x1000A). Archive and state failures need a name or a second call.
inline bool isLoadOutcome(EngineResult result)
{
    switch (result) {
    case 0: case -7: case -8: case -9: case -10: case -11: case 2:
    case 0x10000: case 0x10001: case 0x10008: case 0x10009: case 0x1000A:
        return true;
    default:
        return false;
    }
}
