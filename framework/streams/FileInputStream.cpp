// File input stream.
#include "framework/streams/FileInputStream.h"

#include <cstring>

#include "framework/files/File.h"
#include "framework/files/FileSystem.h"

int FileInputStream::open(const char16_t* path)
{
    close();
    m_error = 1;
    FileSystem* fileSystem = getFileSystem();
    if (fileSystem == nullptr || path == nullptr)
        return 0;
    uint32_t size = fileSystem->fileSize(path);
    if (size == 0)
        return 0;
    m_file = fileSystem->open(path, kOpenRead);
    if (m_file == nullptr)
        return 0;
    m_ownsFile = 1;
    m_size = size;
    m_position = 0;
    m_error = 0;
    return 1;
}

int FileInputStream::attach(File* file)
{
    close();
    m_error = 1;
    if (file == nullptr)
        return 0;
    m_file = file;
    uint32_t start = file->tell();
    if (!file->seek(0, kSeekEnd))
        return 0;
    m_size = file->tell();
    if (!file->seek(static_cast<int32_t>(start), kSeekBegin))
        return 0;
    m_position = start;
    m_error = 0;
    return 1;
}

void FileInputStream::close()
{
    if (m_ownsFile)
        delete m_file;
    m_file = nullptr;
    m_ownsFile = 0;
    m_size = 0;
    m_position = 0;
}

uint32_t FileInputStream::available()
{
    if (m_file == nullptr || m_error || m_position > m_size)
        return 0;
    return m_size - m_position;
}

int FileInputStream::reposition()
{
    if (m_file->tell() == m_position)
        return 1;
    return m_file->seek(static_cast<int32_t>(m_position), kSeekBegin);
}

void FileInputStream::skip(uint32_t n)
{
    if (n == 0)
        return;
    if (available() >= n && m_file->seek(static_cast<int32_t>(m_position + n), kSeekBegin))
        m_position += n;
    else
        m_error = 1;
}

void FileInputStream::read(void* buffer, uint32_t n)
{
    if (buffer == nullptr || n == 0)
        return;
    if (available() >= n && reposition()) {
        uint32_t got = m_file->read(buffer, n);
        m_position += got;
        if (got != n)
            m_error = 1;
    } else {
        m_error = 1;
    }
    if (m_error)
        std::memset(buffer, 0, n);
}
