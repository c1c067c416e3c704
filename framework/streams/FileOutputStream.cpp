// File output stream.
#include "framework/streams/FileOutputStream.h"

#include "framework/files/File.h"
#include "framework/files/FileSystem.h"

int FileOutputStream::open(const char16_t* path)
{
    close();
    FileSystem* fileSystem = getFileSystem();
    m_file = fileSystem != nullptr ? fileSystem->open(path, kOpenWrite) : nullptr;
    if (m_file == nullptr) {
        m_error = 1;
        return 0;
    }
    m_error = 0;
    return 1;
}

void FileOutputStream::close()
{
    delete m_file;
    m_file = nullptr;
}

uint32_t FileOutputStream::write(const void* buffer, uint32_t n)
{
    if (buffer == nullptr || n == 0)
        return 0;
    uint32_t written = m_file != nullptr ? m_file->write(buffer, n) : 0;
    if (written != n)
        m_error = 1;
    return written;
}
