// Output stream into a file of the file system, created or truncated on open.
#pragma once

#include <cstdint>

#include "framework/streams/OutputStream.h"

class File;

class FileOutputStream : public OutputStream {
public:
    explicit FileOutputStream(uint8_t swapBytes = 0) : OutputStream(swapBytes) {}
    ~FileOutputStream() override { close(); }

    int open(const char16_t* path);
    // Deletes the file object, which flushes and closes it.
    void close();

    // The error flag unless the file took all n bytes.
    uint32_t write(const void* buffer, uint32_t n) override;

private:
    File* m_file = nullptr;
};
