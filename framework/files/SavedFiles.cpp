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

namespace {

FileRead readWhole(const char16_t* path, void* buffer, uint32_t size)
{
    FileSystem* files = getFileSystem();
    if (files == nullptr)
        return FileRead::Missing;
    File* file = files->open(path, kOpenRead);
    // A folder that cannot say whether the file is there may hold it.
    if (file == nullptr)
        return files->exists(path) == kFileMissing ? FileRead::Missing : FileRead::Unreadable;
    const uint32_t got = file->read(buffer, size);
    files->close(file);
    if (got == size)
        return FileRead::Whole;
    // Fewer bytes from a file that holds them all, or of a size the folder
    // cannot give, is a failing read, not a cut file.
    int answer = kFileUnknown;
    const uint32_t held = files->fileSize(path, &answer);
    return answer == kFileThere && held < size ? FileRead::Cut : FileRead::Unreadable;
}

} // namespace

int readFileExact(const char16_t* path, void* buffer, uint32_t size)
{
    return buffer == nullptr || size == 0 || readWhole(path, buffer, size) == FileRead::Whole;
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

namespace {

// "temp.dat" in the target's own folder, so the rename never crosses
// folders; a bare name keeps it bare, never in the root.
void makeTempPath(WideString& temp, const char16_t* path)
{
    WideString whole(path);
    int32_t at = lastSeparator(whole);
    temp.clear();
    if (at >= 0)
        temp = whole.substring(0, at);
    temp.append(kSafeWriteTempName);
}

// Where the newest data of a saved file lies when it is read or before any
// save writes the folder's temp file.
enum class Pending {
    None,      // under its own name, or nowhere
    Finished,  // it was in "temp.dat" and is now under its own name
    Stuck,     // it may lie only in "temp.dat", which cannot be moved (or the
               // folder cannot say): nothing may write the temp file
};

// A safe write that failed after it deleted the old file left the complete
// new file as "temp.dat" and nothing under the target's name. The folder's
// one temp file serves every save, so it is taken only when it holds exactly
// the size asked for (each saved file has its own fixed size, and its reader
// checks the CRC it carries); then the move is finished.
Pending finishSafeWrite(const char16_t* path, uint32_t size)
{
    FileSystem* files = getFileSystem();
    if (files == nullptr || path == nullptr)
        return Pending::None;
    const int there = files->exists(path);
    if (there != kFileMissing)
        return there == kFileThere ? Pending::None : Pending::Stuck;
    WideString temp;
    makeTempPath(temp, path);
    int tempAnswer = kFileUnknown;
    const uint32_t tempSize = files->fileSize(temp.chars(), &tempAnswer);
    if (tempAnswer == kFileMissing || (tempAnswer == kFileThere && tempSize != size))
        return Pending::None;
    if (tempAnswer == kFileThere && files->rename(temp.chars(), path))
        return Pending::Finished;
    return Pending::Stuck;
}

FileRead readRecoveringSafeWrite(const char16_t* path, void* buffer, uint32_t size)
{
    const FileRead found = readWhole(path, buffer, size);
    if (found != FileRead::Missing)
        return found;
    // Newest data that cannot be put in place is kept, not taken for none.
    switch (finishSafeWrite(path, size)) {
    case Pending::Finished: return readWhole(path, buffer, size);
    case Pending::Stuck: return FileRead::Unreadable;
    default: return FileRead::Missing;
    }
}

} // namespace

int writeFileSafely(const char16_t* path, const void* data, uint32_t size)
{
    FileSystem* files = getFileSystem();
    if (files == nullptr || path == nullptr)
        return 0;
    if (data == nullptr || size == 0) {
        files->remove(path);
        return 1;
    }
    WideString temp;
    makeTempPath(temp, path);

    // The temp file is made anew, never written through whatever stands
    // under its name: a link to the target or to another file, which the
    // write would empty. A stale one goes first (a pending save in it was
    // the caller's to finish); one that will not go fails the save.
    files->remove(temp.chars());
    File* file = files->open(temp.chars(), kOpenCreate);
    if (file == nullptr)
        return 0;
    bool ok = file->write(data, size) == size;
    ok = file->flush() != 0 && ok;
    files->close(file);
    // Close reports nothing: the size on disk proves the bytes landed. The
    // old file is untouched so far, so an unproven temp file can go.
    int answer = kFileUnknown;
    if (!ok || files->fileSize(temp.chars(), &answer) != size || answer != kFileThere) {
        files->remove(temp.chars());
        return 0;
    }
    // The move never replaces a file, so the old one goes first; its remove
    // fails harmlessly when there is none yet. From here on the complete new
    // file is on disk under one of the two names at every moment.
    files->remove(path);
    if (files->rename(temp.chars(), path))
        return 1;
    // With the old file still there the new one is dropped; without it, or
    // when the folder cannot say, "temp.dat" may be the only copy, and the
    // next read or save takes it up.
    if (files->exists(path) == kFileThere)
        files->remove(temp.chars());
    return 0;
}

namespace {

template <int (*Operation)(const char16_t*, const void*, uint32_t)>
int onUserPath(const char16_t* name, const void* data, uint32_t size)
{
    WideString path;
    makeUserFilePath(path, name);
    return Operation(path.chars(), data, size);
}

} // namespace

int finishInterruptedUserFileWrite(const char16_t* name, uint32_t size)
{
    WideString path;
    makeUserFilePath(path, name);
    return finishSafeWrite(path.chars(), size) != Pending::Stuck;
}

int readProgramFile(const char16_t* name, void* buffer, uint32_t size)
{
    WideString path;
    makeProgramFilePath(path, name);
    return readFileExact(path.chars(), buffer, size);
}

int readUserFile(const char16_t* name, void* buffer, uint32_t size, FileRead* found)
{
    if (buffer == nullptr || size == 0) {
        if (found != nullptr)
            *found = FileRead::Whole;
        return 1;
    }
    WideString path;
    makeUserFilePath(path, name);
    const FileRead read = readRecoveringSafeWrite(path.chars(), buffer, size);
    if (found != nullptr)
        *found = read;
    return read == FileRead::Whole;
}

int readSaveGameFile(const char16_t* name, void* buffer, uint32_t size)
{
    return readUserFile(name, buffer, size);
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
