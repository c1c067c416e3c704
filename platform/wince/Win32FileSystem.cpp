#include "platform/wince/Win32FileSystem.h"

#include "framework/services/ServiceAccessors.h"
#include "platform/host/HostFile.h"
#include "platform/host/LastError.h"
#include "platform/wince/Win32File.h"

#include <cstdint>
#include <new>

namespace {

constexpr char16_t kSeparator[] = u"/";
constexpr uint32_t kMaxFileSize = 0x7FFFFFFF;

// The program file's full path; the buffer grows until the path fits, so a
// deep folder is never cut.
std::u16string programFilePath()
{
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

bool isNotFound(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

// Asked of the folder, not by opening: a file that is there but cannot be
// read is there and has its size, and callers must not take it for a missing
// one. A folder that takes the name is there too, with no size. Only "not
// found" is no file: a folder that cannot answer may hold it.
int askFolder(const char16_t* path, uint64_t& size)
{
    size = 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path)
        return kFileMissing;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        return kFileThere;
    }
    const DWORD error = GetLastError();
    return isNotFound(error) ? kFileMissing : kFileUnknown;
}

// What the error of a failed open says of the name: a refusal (a folder, no
// permission, a loop of links, a name taken) is a file there; a device that
// failed could not tell.
int answerOfError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_CANT_RESOLVE_FILENAME: return kFileThere;
    default: return isNotFound(error) ? kFileMissing : kFileUnknown;
    }
}

HashedObject* createFileSystemService()
{
    return createFileSystem();
}

} // namespace

Win32FileSystem::Win32FileSystem()
{
    m_folder = programFilePath();
    const size_t cut = m_folder.rfind(kSeparator[0]);
    // The root folder keeps its separator; anything else loses the trailing one.
    m_folder.resize(cut == std::u16string::npos ? 0 : cut == 0 ? 1 : cut);
}

const char16_t* Win32FileSystem::getRootPath()
{
    return m_folder.c_str();
}

const char16_t* Win32FileSystem::getDataPath()
{
    return m_folder.c_str();
}

const char16_t* Win32FileSystem::getSeparator()
{
    return kSeparator;
}

File* Win32FileSystem::open(const char16_t* path, int32_t mode, int* answer)
{
    if (answer)
        *answer = path ? kFileUnknown : kFileMissing;
    if (!path)
        return nullptr;
    Win32File* file = new (std::nothrow) Win32File;
    if (file && !file->open(path, mode)) {
        delete file;
        if (answer)
            *answer = answerOfError(GetLastError());
        return nullptr;
    }
    return file;
}

void Win32FileSystem::close(File* file)
{
    delete file;
}

int Win32FileSystem::exists(const char16_t* path)
{
    uint64_t size = 0;
    return askFolder(path, size);
}

uint32_t Win32FileSystem::fileSize(const char16_t* path, int* answer)
{
    uint64_t size = 0;
    int found = askFolder(path, size);
    // Too large for the callers' 32-bit sizes is a size nobody can use.
    if (size > UINT32_MAX)
        found = kFileUnknown;
    if (answer)
        *answer = found;
    return found == kFileThere ? uint32_t(size) : 0;
}

int Win32FileSystem::rename(const char16_t* from, const char16_t* to)
{
    if (!from || !to)
        return 0;
    return MoveFileW(from, to) ? 1 : 0;
}

int Win32FileSystem::remove(const char16_t* path)
{
    if (!path)
        return 0;
    return DeleteFileW(path) ? 1 : 0;
}

uint32_t Win32FileSystem::maxFileSize()
{
    return kMaxFileSize;
}

FileSystem* createFileSystem()
{
    return new (std::nothrow) Win32FileSystem;
}

void installFileSystemCreator()
{
    setFileSystemCreator(createFileSystemService);
}
