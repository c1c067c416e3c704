// The platform's file system service: every relative path is rooted in the
// folder that holds the program file, which is also the folder for user data.
#pragma once

#include "framework/files/FileSystem.h"

#include <string>

class Win32FileSystem : public FileSystem {
public:
    // Takes the program folder from the program file's path.
    Win32FileSystem();

    const char16_t* getRootPath() override;
    const char16_t* getDataPath() override;
    const char16_t* getSeparator() override;
    File* open(const char16_t* path, int32_t mode, int* answer = nullptr) override;
    void close(File* file) override;
    int exists(const char16_t* path) override;
    uint32_t fileSize(const char16_t* path, int* answer = nullptr) override;
    int rename(const char16_t* from, const char16_t* to) override;
    int remove(const char16_t* path) override;
    uint32_t maxFileSize() override;

private:
    std::u16string m_folder;
};

// Makes and registers the platform's file system; null when memory runs out.
FileSystem* createFileSystem();

// Lets getFileSystem make the platform's file system on first use.
void installFileSystemCreator();
