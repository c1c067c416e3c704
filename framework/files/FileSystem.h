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

    // A new open file, or null for a null path, an unknown mode or a failure.
    virtual File* open(const char16_t* path, int32_t mode) = 0;
    // Deletes the file (flushing and closing it); null is ignored.
    virtual void close(File* file) = 0;

    // 1 when a file is there, whether or not it can be read; nothing is
    // opened. A folder is no file.
    virtual int exists(const char16_t* path) = 0;
    // 0 for a missing file as for an empty one: use exists to tell them
    // apart. Nothing is opened either, so a file that cannot be read still
    // has its size.
    virtual uint32_t fileSize(const char16_t* path) = 0;
    // Never replaces an existing target (that fails, as the phone's move
    // does). 0 when either path is null or on failure.
    virtual int rename(const char16_t* from, const char16_t* to) = 0;
    virtual int remove(const char16_t* path) = 0;
    virtual uint32_t maxFileSize() = 0;
};

// The application's file system, made through the platform's creator on first
// use and cached in the application; null without either.
FileSystem* getFileSystem();
