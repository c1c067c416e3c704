// File handles own a POSIX descriptor; closing the handle closes it.
#include "platform/host/HostFile.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostText.h"
#include "platform/host/LastError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class HostFileObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::File;
    explicit HostFileObject(int fd) : HostObject(kKind), m_fd(fd) {}
    ~HostFileObject() override { ::close(m_fd); }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

uint32_t g_syncs = 0;

void setErrno()
{
    SetLastError(hostErrorFromErrno(errno));
}

// The loop reads and writes share: moves size bytes through step, a read or a
// write at an offset, retrying interrupted calls. A step that moves nothing
// ends the transfer; stalledError says whether that is a failure (a full disk)
// or not (the end of the file).
template <class Step>
BOOL transferAll(HANDLE file, bool hasBuffer, DWORD size, DWORD* transferred, DWORD stalledError, Step step)
{
    if (transferred)
        *transferred = 0;
    const int fd = hostFileDescriptor(file);
    if (fd < 0)
        return FALSE;
    if (!hasBuffer && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD done = 0;
    BOOL ok = TRUE;
    while (done < size) {
        const ssize_t n = step(fd, done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            setErrno();
            ok = FALSE;
            break;
        }
        if (n == 0) {
            if (stalledError != ERROR_SUCCESS) {
                SetLastError(stalledError);
                ok = FALSE;
            }
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (transferred)
        *transferred = done;
    return ok;
}

std::string executablePath()
{
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string stripTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string executableName()
{
    const std::string path = executablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string hostProgramFolder()
{
    if (const char* home = std::getenv(kProgramFolderVariable); home && *home) {
        if (*home == '/')
            return stripTrailingSeparators(home);
        // Fixed against the directory at the time of asking, so that later
        // names do not follow the current directory.
        // getcwd sizes its own buffer, so a directory of any depth fits.
        const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
        if (!cwd)
            return stripTrailingSeparators(home);
        return stripTrailingSeparators(std::string(cwd.get()) + "/" + home);
    }
    const std::string path = executablePath();
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool hostResolvePath(LPCWSTR name, std::string& out)
{
    out.clear();
    if (!name || !*name)
        return false;
    std::string utf8;
    if (!hostUtf16ToUtf8(name, utf8))
        return false;
    if (utf8.front() == '/') {
        out = std::move(utf8);
        return true;
    }
    out = hostProgramFolder();
    if (out.back() != '/')
        out += '/';
    out += utf8;
    return true;
}

int hostFileDescriptor(HANDLE file)
{
    const HostFileObject* object = hostHandleAs<HostFileObject>(file);
    return object ? object->fd() : -1;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD creation, DWORD, HANDLE)
{
    std::string path;
    if (!hostResolvePath(name, path)) {
        SetLastError(name && *name ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC | O_NONBLOCK; // a FIFO must not block the open
    const bool read = access & GENERIC_READ;
    const bool write = access & GENERIC_WRITE;
    if (read && write)
        flags |= O_RDWR;
    else if (write)
        flags |= O_WRONLY;
    else if (read)
        flags |= O_RDONLY;
    else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool truncate = false;
    switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT; truncate = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: truncate = true; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    // A write never goes through a symbolic link: the phone has none, and
    // one under a name the program writes (its temp file, say) would send
    // the bytes into whatever file the link names.
    if (write)
        flags |= O_NOFOLLOW;
    if (truncate && !write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        setErrno();
        return INVALID_HANDLE_VALUE;
    }
    // Truncate only after the check, so that naming a device cannot empty it.
    // A status the disk could not give keeps the disk's error.
    struct stat info {};
    const bool stated = ::fstat(fd, &info) == 0;
    if (!stated || !S_ISREG(info.st_mode)) {
        const DWORD error = stated ? ERROR_ACCESS_DENIED : hostErrorFromErrno(errno);
        ::close(fd);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if ((truncate && ::ftruncate(fd, 0) != 0) || status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        setErrno();
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = hostCreateHandle(std::make_unique<HostFileObject>(fd));
    if (!handle)
        return INVALID_HANDLE_VALUE;
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* transferred, void*)
{
    const auto step = [buffer](int fd, DWORD at, DWORD left) {
        return ::read(fd, static_cast<char*>(buffer) + at, left);
    };
    return transferAll(file, buffer != nullptr, size, transferred, ERROR_SUCCESS, step);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* transferred, void*)
{
    const auto step = [buffer](int fd, DWORD at, DWORD left) {
        return ::write(fd, static_cast<const char*>(buffer) + at, left);
    };
    return transferAll(file, buffer != nullptr, size, transferred, ERROR_DISK_FULL, step);
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method)
{
    const int fd = hostFileDescriptor(file);
    if (fd < 0)
        return INVALID_SET_FILE_POINTER;
    int whence;
    switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    int64_t offset = distance;
    if (distanceHigh)
        offset = static_cast<int64_t>((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance));
    // Work out the target first: lseek would accept a position that the
    // caller's 32-bit result cannot express, and a failed seek must not move.
    int64_t base = 0;
    if (whence == SEEK_CUR) {
        const off_t where = ::lseek(fd, 0, SEEK_CUR);
        if (where < 0) {
            setErrno();
            return INVALID_SET_FILE_POINTER;
        }
        base = where;
    } else if (whence == SEEK_END) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            setErrno();
            return INVALID_SET_FILE_POINTER;
        }
        base = info.st_size;
    }
    const int64_t target = base + offset;
    if (target < 0 || (!distanceHigh && target > int64_t(0xFFFFFFFE))) {
        SetLastError(target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (::lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        setErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(uint64_t(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh)
{
    const int fd = hostFileDescriptor(file);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0)
            setErrno();
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file)
{
    const int fd = hostFileDescriptor(file);
    if (fd < 0)
        return FALSE;
    ++g_syncs;
    if (::fsync(fd) != 0) {
        setErrno();
        return FALSE;
    }
    return TRUE;
}

uint32_t hostFileSyncCount()
{
    return g_syncs;
}

BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, void* information)
{
    std::string path;
    if (!hostResolvePath(name, path)) {
        SetLastError(name && *name ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (level != GetFileExInfoStandard || !information) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        setErrno();
        return FALSE;
    }
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data->dwFileAttributes = S_ISDIR(info.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
                             : S_ISREG(info.st_mode) ? FILE_ATTRIBUTE_NORMAL
                                                     : FILE_ATTRIBUTE_DEVICE;
    const uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to)
{
    std::string source, target;
    if (!hostResolvePath(from, source) || !hostResolvePath(to, target)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // The phone's move never replaces an existing target: callers that
    // replace a file delete it first, and they must fail here as there.
    int result = ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace move: test, then move.
        struct stat existing;
        if (::lstat(target.c_str(), &existing) == 0)
            errno = EEXIST;
        else
            result = ::rename(source.c_str(), target.c_str());
    }
    if (result != 0) {
        if (errno == EEXIST)
            SetLastError(ERROR_ALREADY_EXISTS);
        else
            setErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR name)
{
    std::string path;
    if (!hostResolvePath(name, path)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        setErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size)
{
    std::string path = hostProgramFolder();
    if (path.back() != '/')
        path += '/';
    path += executableName();
    const std::u16string wide = hostUtf8ToUtf16(path);
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (wide.size() >= size) {
        wide.copy(buffer, size - 1);
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    wide.copy(buffer, wide.size());
    buffer[wide.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(wide.size());
}
