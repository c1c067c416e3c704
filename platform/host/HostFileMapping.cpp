#include "platform/host/HostFileMapping.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/LastError.h"

#include <cerrno>
#include <map>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Contents {
    std::unique_ptr<uint8_t[]> bytes;
    uint64_t size = 0;
};

class HostMappingObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::FileMapping;
    explicit HostMappingObject(std::shared_ptr<Contents> contents)
        : HostObject(kKind), m_contents(std::move(contents))
    {
    }
    const std::shared_ptr<Contents>& contents() const { return m_contents; }

private:
    std::shared_ptr<Contents> m_contents;
};

// Live views by address; two views of one offset share an address, hence
// the multimap.
std::multimap<const void*, std::shared_ptr<Contents>>& views()
{
    static std::multimap<const void*, std::shared_ptr<Contents>> v;
    return v;
}

// Reads the file whole without moving its position.
std::shared_ptr<Contents> readWhole(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        SetLastError(hostErrorFromErrno(errno));
        return nullptr;
    }
    if (info.st_size <= 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
    }
    auto contents = std::make_shared<Contents>();
    contents->size = static_cast<uint64_t>(info.st_size);
    contents->bytes.reset(new (std::nothrow) uint8_t[contents->size]);
    if (!contents->bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    uint64_t done = 0;
    while (done < contents->size) {
        const ssize_t n = ::pread(fd, contents->bytes.get() + done, contents->size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Shrunk under us or unreadable: no view of a file we cannot hold.
            SetLastError(n < 0 ? hostErrorFromErrno(errno) : ERROR_FILE_INVALID);
            return nullptr;
        }
        done += static_cast<uint64_t>(n);
    }
    return contents;
}

} // namespace

HANDLE CreateFileMappingW(HANDLE file, void*, DWORD protect, DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCWSTR)
{
    const int fd = hostFileDescriptor(file);
    if (fd < 0)
        return nullptr;
    if (protect != PAGE_READONLY || maximumSizeHigh != 0 || maximumSizeLow != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Contents> contents = readWhole(fd);
    if (!contents)
        return nullptr;
    return hostCreateHandle(std::make_unique<HostMappingObject>(std::move(contents)));
}

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, DWORD length)
{
    const HostMappingObject* object = hostHandleAs<HostMappingObject>(mapping);
    if (!object)
        return nullptr;
    const Contents& contents = *object->contents();
    const uint64_t offset = (uint64_t(offsetHigh) << 32) | offsetLow;
    if (access != FILE_MAP_READ || offset >= contents.size || length > contents.size - offset) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uint8_t* view = contents.bytes.get() + offset;
    views().emplace(view, object->contents());
    return view;
}

BOOL UnmapViewOfFile(LPCVOID view)
{
    auto& live = views();
    const auto it = live.find(view);
    if (it == live.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    live.erase(it);
    return TRUE;
}
