// The decoder's view of an Ogg stream held in memory: stdio-like callbacks
// over a cursor, every one bounded to the block.
#pragma once

#include <cstddef>
#include <cstdint>

struct OggMemoryCursor {
    const uint8_t* data;
    uint64_t size;
    uint64_t position;
};

size_t oggCursorRead(void* out, size_t size, size_t count, void* cursor);
// 0 on success; -1 for an unknown origin or a target outside [0, size],
// which leaves the position where it was.
int oggCursorSeek(void* cursor, int64_t offset, int whence);
int oggCursorClose(void* cursor);
long oggCursorTell(void* cursor);
