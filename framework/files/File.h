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

// A card may fail a read now and then: a read that fails is tried this many
// times in all before what it read is taken as lost.
constexpr int kReadAttempts = 3;

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
    // Seeks, tells and reads of this file the disk failed so far (its end is
    // no failure): a short answer is then no proof of a short or damaged
    // file, and a count that grew across a load tells that load met one.
    virtual uint32_t readErrors() { return 0; }
};
