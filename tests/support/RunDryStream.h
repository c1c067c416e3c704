// A stream that announces more than it holds, as a deflated pack entry whose
// zlib stream ends early: it inflates payload and then fails.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/streams/InflateStream.h"
#include "framework/streams/MemoryInputStream.h"

class RunDryStream : public InflateStream {
public:
    RunDryStream(const std::vector<uint8_t>& payload, uint32_t announced);

private:
    std::vector<uint8_t> m_zlib;
    MemoryInputStream m_source;
};
