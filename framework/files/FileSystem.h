// The file system service: names the program's folders and opens, sizes,
// renames and deletes files. Paths are null-terminated UTF-16 texts built as
// folder + separator + name; the platform layer supplies the implementation
// through the accessor's creator hook.
#pragma once

#include "framework/files/File.h"
#include "framework/services/Service.h"
#include "framework/services/ServiceIds.h"

#include <cstdint>

// Modes of FileSystem::open.
enum FileOpenMode : int32_t {
    kOpenRead = 0,     // an existing file, for reading
    kOpenWrite = 1,    // a new or truncated file, for writing
    kOpenModify = 2,   // writing, keeping an existing file's contents
    kOpenCreate = 3,   // a file made anew for writing: anything under the name (a link too) fails it
};

// What the folder says of a name. Callers that delete, truncate or replace
// data on the answer take "could not tell" for neither of the other two.
enum FileAnswer : int {
    kFileUnknown = -1,
    kFileMissing = 0,
    kFileThere = 1,
};

class FileSystem : public Service {
public:
    static constexpr uint32_t kServiceId = ServiceId::FileSystem;

    FileSystem() : Service(kServiceId) {}
    // Clears the application's cached pointer when it names this service.
    ~FileSystem() override;

    // The program's folder, without a trailing separator.
    virtual const char16_t* getRootPath() = 0;
    // The folder for user data (saves, properties).
    virtual const char16_t* getDataPath() = 0;
    virtual const char16_t* getSeparator() = 0;

    // A new open file, or null for a null path, an unknown mode or a failure;
    // answer, when given, says of a failure what the name is as exists does:
    // missing, there but refused (a folder, no permission), or unknown (the
    // disk failed).
    virtual File* open(const char16_t* path, int32_t mode, int* answer = nullptr) = 0;
    // Deletes the file (flushing and closing it); null is ignored.
    virtual void close(File* file) = 0;

    // kFileThere when the folder holds something under the name, a file
    // whether or not it can be read or a folder that takes the name;
    // kFileMissing when it holds nothing; kFileUnknown when the folder could
    // not say (a failing card). Nothing is opened.
    virtual int exists(const char16_t* path) = 0;
    // 0 for a missing file as for an empty one and for a size the folder
    // could not give; answer, when given, tells them apart as exists does (a
    // size past 32 bits is unknown). Nothing is opened either, so a file that
    // cannot be read still has its size.
    virtual uint32_t fileSize(const char16_t* path, int* answer = nullptr) = 0;
    // Never replaces an existing target (that fails, as the phone's move
    // does). 0 when either path is null or on failure.
    virtual int rename(const char16_t* from, const char16_t* to) = 0;
    virtual int remove(const char16_t* path) = 0;
    virtual uint32_t maxFileSize() = 0;
};

// The application's file system, made through the platform's creator on first
// use and cached in the application; null without either.
FileSystem* getFileSystem();
