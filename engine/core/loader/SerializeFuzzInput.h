// One fuzz input run through the 3D file parser: the first byte k says how
// many piece sizes follow; the next k bytes are the sizes (cycled, 0 meaning
// 256), and the rest is the file, fed in those pieces. Bit 7 of the first
// byte refuses the engine's own format. Shared by the libFuzzer target and
// the corpus replay test. Needs a TestEngine alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/core/loader/SerializeTestKit.h"

// The code the parse ended with (-1 for a clean load).
inline int32_t parseFuzzInput(std::span<const uint8_t> input)
{
    if (input.empty())
        return -1;
    const bool allowOwn = (input[0] & 0x80) == 0;
    const size_t k = std::min<size_t>(input[0] & 0x7F, input.size() - 1);
    const std::span<const uint8_t> sizes = input.subspan(1, k);
    const std::span<const uint8_t> file = input.subspan(1 + k);
    size_t next = 0;
    const PieceSize piece = [&](uint32_t) -> uint32_t {
        if (sizes.empty())
            return 1u << 30;
        const uint32_t n = sizes[next++ % sizes.size()];
        return n == 0 ? 256 : n;
    };
    CkwSerializeObjectsIn parser;
    return feedFile(parser, file, piece, allowOwn);
}

// Every code a parse may end with.
inline bool isParserOutcome(int32_t code)
{
    switch (code) {
    case -1:
    case kSerializeBadIdentifier:
    case kSerializeBadData:
    case kSerializeBadChecksum:
    case kSerializeUnfinishedObject:
    case kSerializePastFileSize:
    case kSerializeLeaveWrongState:
    case kSerializeLeaveBadLength:
    case KErrNoMemory:
        return true;
    default:
        return false;
    }
}
