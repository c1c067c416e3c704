// Input stream over a file of the file system, either opened (and owned) by
// the stream or attached to a file the caller keeps. The stream keeps its own
// position and seeks back to it when someone else has moved the file, so
// several streams can read one shared file in turn.
#pragma once

#include <cstdint>

#include "framework/streams/InputStream.h"

class File;

class FileInputStream : public InputStream {
public:
    explicit FileInputStream(uint8_t swapBytes = 0) : InputStream(swapBytes) {}
    ~FileInputStream() override { close(); }

    // Opens the path for reading; an empty or missing file fails.
    int open(const char16_t* path);
    // Reads the caller's file from its current position up to its end.
    int attach(File* file);
    // Deletes the file when owned and forgets it.
    void close();

    uint32_t available() override;
    void skip(uint32_t n) override;
    void read(void* buffer, uint32_t n) override;

    uint32_t position() const { return m_position; }

private:
    // Puts the file at this stream's position; 0 when the seek fails.
    int reposition();

    File* m_file = nullptr;
    uint8_t m_ownsFile = 0;
    uint32_t m_position = 0;  // absolute offset in the file
};
