// Memory and host file objects.
#include "tools/pack/HostFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only regular files are read: a folder opens on Linux and reads as garbage,
// a device never ends and a pipe blocks the open (hence O_NONBLOCK, which a
// regular file ignores). errno is EISDIR for a folder, EINVAL for the rest.
std::FILE* openForReading(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    int why = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (why == 0)
        if (std::FILE* file = ::fdopen(fd, "rb"))
            return file;
    why = why != 0 ? why : errno;
    ::close(fd);
    errno = why;
    return nullptr;
}

} // namespace

bool MemoryFile::seek(int32_t offset, int32_t origin)
{
    int64_t base = origin == kSeekBegin ? 0 : origin == kSeekCurrent ? m_position : origin == kSeekEnd ? int64_t(m_bytes.size()) : -1;
    if (base < 0)
        return false;
    int64_t target = base + offset;
    if (target < 0 || target > 0x7FFFFFFF)
        return false;
    m_position = static_cast<uint32_t>(target);
    return true;
}

uint32_t MemoryFile::read(void* buffer, uint32_t n)
{
    if (m_position >= m_bytes.size())
        return 0;
    uint32_t left = static_cast<uint32_t>(m_bytes.size() - m_position);
    if (n > left)
        n = left;
    std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    return n;
}

uint32_t MemoryFile::write(const void* buffer, uint32_t n)
{
    if (m_bytes.size() < size_t(m_position) + n)
        m_bytes.resize(size_t(m_position) + n);
    std::memcpy(m_bytes.data() + m_position, buffer, n);
    m_position += n;
    return n;
}

HostFile* HostFile::open(const std::string& path, bool forWriting)
{
    std::FILE* file = forWriting ? std::fopen(path.c_str(), "wb") : openForReading(path);
    return file ? new HostFile(file) : nullptr;
}

HostFile::~HostFile()
{
    if (m_file)
        std::fclose(m_file);
}

bool HostFile::seek(int32_t offset, int32_t origin)
{
    int whence = origin == kSeekBegin ? SEEK_SET : origin == kSeekCurrent ? SEEK_CUR : origin == kSeekEnd ? SEEK_END : -1;
    return whence >= 0 && std::fseek(m_file, offset, whence) == 0;
}

uint32_t HostFile::tell()
{
    long position = std::ftell(m_file);
    return position < 0 ? 0 : static_cast<uint32_t>(position);
}

uint32_t HostFile::read(void* buffer, uint32_t n)
{
    return static_cast<uint32_t>(std::fread(buffer, 1, n, m_file));
}

uint32_t HostFile::write(const void* buffer, uint32_t n)
{
    return static_cast<uint32_t>(std::fwrite(buffer, 1, n, m_file));
}

bool readHostFile(const std::string& path, Bytes& out)
{
    std::FILE* file = openForReading(path);
    if (!file)
        return false;
    out.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0)
        out.insert(out.end(), chunk, chunk + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

bool writeHostFile(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    // An empty vector may hold no storage at all, and fwrite takes no null.
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
