// A file of the framework over a platform file handle. A closed file (an
// invalid handle) answers 0 to everything.
#pragma once

#include "framework/files/File.h"
#include "platform/host/HostTypes.h"

class Win32File : public File {
public:
    Win32File() = default;
    // Closes an open handle, flushing it first when bytes were written since
    // the last flush.
    ~Win32File() override;

    // Opens in one of the file system's modes; false leaves the file closed.
    bool open(const char16_t* path, int32_t mode);

    int isOpen() override;
    bool seek(int32_t offset, int32_t origin) override;
    uint32_t tell() override;
    uint32_t read(void* buffer, uint32_t n) override;
    uint32_t write(const void* buffer, uint32_t n) override;
    int flush() override;
    uint32_t readErrors() override { return m_readErrors; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_writable = false;
    bool m_unpushed = false;  // written since the last flush that landed
    uint32_t m_readErrors = 0;
};
