// One run of the pack readers over arbitrary bytes, shared by the libFuzzer
// target and the corpus replay test: the bytes are opened as a pack, every
// indexed entry is read whole and in slices, with and without inflation, and
// each entry is also loaded as an entry table whose entries are read in turn.
#pragma once

#include <cstddef>
#include <cstdint>

struct PackFuzzOutcome {
    int opened = 0;           // ResourcePack::openFile succeeded
    uint32_t entriesRead = 0; // entries that opened and read to their end
    uint32_t rowsRead = 0;    // entry-table rows likewise
};

PackFuzzOutcome readPackFuzzInput(const uint8_t* data, size_t size);
