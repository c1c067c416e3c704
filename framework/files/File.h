// An open file as the framework sees it. The file system service hands these
// out and takes them back; streams, the resource pack and saved files read and
// write through them and never touch the platform's file calls.
#pragma once

#include "framework/services/HashedObject.h"

#include <cstdint>

// Origins of File::seek.
enum FileSeekOrigin : int32_t {
    kSeekBegin = 0,
    kSeekCurrent = 1,
    kSeekEnd = 2,
};

class File : public HashedObject {
public:
    static constexpr uint32_t kTypeId = 0x02D70FA5;

    File() : HashedObject(kTypeId) {}

    // 1 while the file is open; a closed file answers 0 to everything.
    virtual int isOpen() = 0;
    // false for an unknown origin or a position the file cannot take.
    virtual bool seek(int32_t offset, int32_t origin) = 0;
    virtual uint32_t tell() = 0;
    // The number of bytes transferred.
    virtual uint32_t read(void* buffer, uint32_t n) = 0;
    virtual uint32_t write(const void* buffer, uint32_t n) = 0;
    // Pushes written bytes to the disk; 0 when they may not have landed. A
    // file that buffers nothing has nothing to push.
    virtual int flush() { return isOpen(); }
    // 1 once the disk failed a seek, tell or read of this file (never for
    // its end): a short answer is then no proof of a short or damaged file.
    virtual int hasReadError() { return 0; }
};
