// The engine's own file interfaces. The loader and the archive read through
// them and never touch the platform, so a port replaces only the one
// implementation (CkwWinCEFile).
#pragma once

#include <cstdint>

#include "engine/core/runtime/CkwRefCount.h"

// Leave code of every failure to open or map a file.
constexpr int32_t KErrFileOpen = -2;
// Paths are converted into a buffer of this many wide characters, terminator
// included; longer ones cannot be opened.
constexpr uint32_t kMaxEnginePath = 1024;

enum SeekOrigin : int32_t {
    kSeekCurrent = 0,
    kSeekBegin = 1,
    kSeekFromEnd = 2, // position = size - offset
};

// Reference count starts at 0: users take their references explicitly.
class IkwFile : public CkwRefCount, public CkwHeapObject {
public:
    // Moves only to a position inside the file (0 <= p < size); says whether
    // it moved. Seeking to exactly the end is refused.
    virtual bool seek(int32_t origin, int32_t offset) = 0;
    // Copies min(count, size - position) bytes and advances; 0 at the end.
    virtual uint32_t read(void* buffer, uint32_t count) = 0;
    virtual uint32_t size() const = 0;
};

class IkwFileManager : public CkwRefCount, public CkwHeapObject {
public:
    // Both leave -2 when the file cannot be opened; the file comes back with
    // reference count 0 at position 0.
    virtual IkwFile* open(const char16_t* path) = 0;
    // The mode is passed on and not used: engine files are read-only.
    virtual IkwFile* openNarrow(const char* path, int32_t mode) = 0;
};
