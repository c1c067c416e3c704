// Saved files through the file system service.
#include "framework/files/SavedFiles.h"

#include "framework/files/FileSystem.h"

namespace {

void makePath(WideString& out, const char16_t* folder, const char16_t* name)
{
    FileSystem* files = getFileSystem();
    out.clear();
    out.append(folder);
    if (out.length() != 0 && files != nullptr)
        out.append(files->getSeparator());
    out.append(name);
}

// Index of the last unit of the path that starts a separator, or -1.
int32_t lastSeparator(const WideString& path)
{
    FileSystem* files = getFileSystem();
    const char16_t* separator = files != nullptr ? files->getSeparator() : nullptr;
    if (separator == nullptr || separator[0] == 0)
        return -1;
    return path.findChar(0, separator[0]);
}

} // namespace

void makeProgramFilePath(WideString& out, const char16_t* name)
{
    FileSystem* files = getFileSystem();
    makePath(out, files != nullptr ? files->getRootPath() : nullptr, name);
}

void makeUserFilePath(WideString& out, const char16_t* name)
{
    FileSystem* files = getFileSystem();
    makePath(out, files != nullptr ? files->getDataPath() : nullptr, name);
}

void directoryOf(WideString& out, const char16_t* path)
{
    out.clear();
    if (path == nullptr)
        return;
    WideString whole(path);
    int32_t at = lastSeparator(whole);
    if (at > 0)
        out = whole.substring(0, at - 1);
}

void fileNameOf(WideString& out, const char16_t* path)
{
    out.clear();
    if (path == nullptr)
        return;
    WideString whole(path);
    int32_t at = lastSeparator(whole);
    if (at < 0)
        out = whole;
    else if (uint32_t(at) + 1 < whole.length())
        out = whole.substring(at + 1, int32_t(whole.length()) - 1);
}

int readFileExact(const char16_t* path, void* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0)
        return 1;
    FileSystem* files = getFileSystem();
    File* file = files != nullptr ? files->open(path, kOpenRead) : nullptr;
    if (file == nullptr)
        return 0;
    uint32_t got = file->read(buffer, size);
    files->close(file);
    return got == size;
}

int writeFileDirect(const char16_t* path, const void* data, uint32_t size)
{
    if (data == nullptr || size == 0)
        return 0;
    FileSystem* files = getFileSystem();
    File* file = files != nullptr ? files->open(path, kOpenWrite) : nullptr;
    if (file == nullptr)
        return 0;
    uint32_t written = file->write(data, size);
    files->close(file);
    return written == size;
}

int writeFileSafely(const char16_t* path, const void* data, uint32_t size)
{
    FileSystem* files = getFileSystem();
    if (files == nullptr || path == nullptr)
        return 0;
    if (data == nullptr || size == 0) {
        files->remove(path);
        return 1;
    }
    // The temporary file sits in the target's own folder, so the rename
    // never crosses folders; a bare name keeps it bare, never in the root.
    WideString whole(path);
    int32_t at = lastSeparator(whole);
    WideString temp;
    if (at >= 0)
        temp = whole.substring(0, at);
    temp.append(kSafeWriteTempName);

    File* file = files->open(temp.chars(), kOpenWrite);
    if (file == nullptr)
        return 0;
    bool ok = file->write(data, size) == size;
    ok = file->flush() != 0 && ok;
    files->close(file);
    // Close reports nothing: the size on disk proves the bytes landed.
    ok = ok && files->fileSize(temp.chars()) == size;
    // The rename replaces the target in one step: until it succeeds the old
    // file is untouched, so no failure can lose the previous save.
    ok = ok && files->rename(temp.chars(), path);
    if (!ok)
        files->remove(temp.chars());
    return ok ? 1 : 0;
}

namespace {

template <int (*Operation)(const char16_t*, void*, uint32_t)>
int onUserPath(const char16_t* name, void* buffer, uint32_t size)
{
    WideString path;
    makeUserFilePath(path, name);
    return Operation(path.chars(), buffer, size);
}

template <int (*Operation)(const char16_t*, const void*, uint32_t)>
int onUserPath(const char16_t* name, const void* data, uint32_t size)
{
    WideString path;
    makeUserFilePath(path, name);
    return Operation(path.chars(), data, size);
}

} // namespace

int readProgramFile(const char16_t* name, void* buffer, uint32_t size)
{
    WideString path;
    makeProgramFilePath(path, name);
    return readFileExact(path.chars(), buffer, size);
}

int readUserFile(const char16_t* name, void* buffer, uint32_t size)
{
    return onUserPath<readFileExact>(name, buffer, size);
}

int readSaveGameFile(const char16_t* name, void* buffer, uint32_t size)
{
    return onUserPath<readFileExact>(name, buffer, size);
}

int writeUserFileDirect(const char16_t* name, const void* data, uint32_t size)
{
    return onUserPath<writeFileDirect>(name, data, size);
}

int writeUserFileDirect2(const char16_t* name, const void* data, uint32_t size)
{
    return onUserPath<writeFileDirect>(name, data, size);
}

int writeUserFile(const char16_t* name, const void* data, uint32_t size)
{
    return onUserPath<writeFileSafely>(name, data, size);
}

int writeSaveGameFile(const char16_t* name, const void* data, uint32_t size)
{
    return onUserPath<writeFileSafely>(name, data, size);
}
