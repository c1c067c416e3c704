// The span fuzz target's reading of its input: 25 bytes of span arguments
// (left and right x, u and its step, v and its step, a row) and then one
// span-program record, loaded through a set, run over one span and over a
// textured quad; and the seeds of its corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gfx2d/span/ArmInterpreter.h"

struct SpanFuzzOutcome {
    int loaded = 0;
    SpanRun span = SpanRun::LeftCode;
    uint32_t quadSpansReturned = 0;
};

SpanFuzzOutcome runSpanFuzzInput(const uint8_t* data, size_t size);

// Named seeds: "ok-" seeds load and run whole; "bad-" ones are refused or
// stopped; the others need only end.
std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSpanSeeds();
