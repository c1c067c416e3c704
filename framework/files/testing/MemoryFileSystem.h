// Test double of the file system service: files in memory, folders "/prog"
// and "/data", separator "/", and switches that make open, write, flush,
// close, remove, rename, reads, seeks and the folder's answers (stat and
// size) fail the way a full or failing disk would, always, at chosen calls or
// from one call on. A rename never replaces an existing target, as on the phone.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/files/FileSystem.h"

class MemoryFileSystem : public FileSystem {
public:
    using Bytes = std::vector<uint8_t>;

    struct Faults {
        bool open = false;    // every open for writing fails
        bool write = false;   // writes store only half the bytes
        bool flush = false;   // flushes report that the bytes did not land
        bool close = false;   // closing loses the second half of what was written
        bool remove = false;  // removes fail and change nothing
        bool rename = false;  // renames fail and change nothing
        int shortReads = 0;   // so many next reads deliver half the bytes
        int readOpens = 0;    // so many next opens for reading fail while the file is there; < 0 all
        bool stat = false;    // exists cannot tell
        bool size = false;    // fileSize cannot tell
    } faults;
    // The steps a disk can fail one call of, each counted on its own.
    enum Step { OpenWrite, Write, Flush, Close, Remove, Rename, OpenRead, Read, Stat, Size, Seek, StepCount };
    static constexpr const char* kStepNames[StepCount] = {"open", "write", "flush", "close", "remove", "rename",
                                                          "read open", "read", "stat", "size", "seek"};
    int calls[StepCount] = {};             // calls of each step so far
    std::set<int> failing[StepCount] = {};  // the calls (by that count, from 1) that fail
    int failingFrom[StepCount] = {};        // this call and every later one fail (0: none)
    std::set<std::u16string> failedOn;      // the names a failing open, read, seek, stat or size named
    int changesLeft = -1;  // the program dies after so many more changes: change() is false (< 0 never)

    std::map<std::u16string, Bytes> files;
    std::set<std::u16string> folders;  // names taken by folders: no open, remove or rename reaches them
    std::vector<Bytes> written;  // what each handle open for writing held at its close
    int renames = 0;
    std::u16string lastRenameFrom;

    const char16_t* getRootPath() override { return u"/prog"; }
    const char16_t* getDataPath() override { return u"/data"; }
    const char16_t* getSeparator() override { return u"/"; }

    // A failing open answers missing when nothing takes the name, else unknown.
    File* open(const char16_t* path, int32_t mode, int* answer = nullptr) override
    {
        if (answer != nullptr)
            *answer = path != nullptr && !files.count(path) && !folders.count(path) ? kFileMissing : kFileUnknown;
        if (path == nullptr || mode < kOpenRead || mode > kOpenCreate)
            return nullptr;
        auto it = files.find(path);
        if (mode == kOpenRead)
            return it == files.end() || step(OpenRead, failRead(), path) ? nullptr : new Handle(*this, path, false);
        if (step(OpenWrite, faults.open) || folders.count(path) != 0 || (mode == kOpenCreate && it != files.end()) ||
            !change())
            return nullptr;
        if (mode != kOpenModify || it == files.end())
            files[path].clear();
        return new Handle(*this, path, true);
    }
    void close(File* file) override
    {
        auto* handle = static_cast<Handle*>(file);
        if (handle != nullptr && handle->writing && step(Close, faults.close)) {
            Bytes& bytes = files[handle->path];
            bytes.resize(bytes.size() / 2);
        }
        if (handle != nullptr && handle->writing)
            written.push_back(files[handle->path]);
        delete handle;
    }
    int exists(const char16_t* path) override
    {
        if (step(Stat, faults.stat, path))
            return kFileUnknown;
        return path != nullptr && (files.count(path) != 0 || folders.count(path) != 0) ? kFileThere : kFileMissing;
    }
    uint32_t fileSize(const char16_t* path, int* answer = nullptr) override
    {
        auto it = path != nullptr ? files.find(path) : files.end();
        const int found = step(Size, faults.size, path) ? kFileUnknown
                          : it != files.end() || (path != nullptr && folders.count(path) != 0) ? kFileThere
                                                                                                : kFileMissing;
        if (answer != nullptr)
            *answer = found;
        return found == kFileThere && it != files.end() ? static_cast<uint32_t>(it->second.size()) : 0;
    }
    int rename(const char16_t* from, const char16_t* to) override
    {
        if (from == nullptr || to == nullptr || step(Rename, faults.rename) || !files.count(from) || files.count(to) ||
            folders.count(to) || !change())
            return 0;
        ++renames;
        lastRenameFrom = from;
        Bytes moved = std::move(files[from]);
        files.erase(from);
        files[to] = std::move(moved);
        return 1;
    }
    int remove(const char16_t* path) override
    {
        return path != nullptr && !step(Remove, faults.remove) && change() && files.erase(path) != 0;
    }
    uint32_t maxFileSize() override { return 0x7FFFFFFF; }

    bool change() { return changesLeft < 0 || (changesLeft > 0 && --changesLeft >= 0); }
    bool failRead() { return faults.readOpens < 0 || (faults.readOpens > 0 && faults.readOpens--); }
    // Counts the call; true when it fails, always or as a chosen one.
    bool step(Step s, bool always, const char16_t* path = nullptr)
    {
        ++calls[s];
        const bool fails = always || failing[s].count(calls[s]) != 0 || (failingFrom[s] && calls[s] >= failingFrom[s]);
        if (fails && path != nullptr)
            failedOn.insert(path);
        return fails;
    }

    void put(const std::u16string& path, const std::string& text) { files[path] = Bytes(text.begin(), text.end()); }
    std::string text(const std::u16string& path) const
    {
        auto it = files.find(path);
        return it == files.end() ? std::string("<missing>") : std::string(it->second.begin(), it->second.end());
    }

private:
    struct Handle : File {
        Handle(MemoryFileSystem& owner, std::u16string name, bool forWriting)
            : fs(owner), path(std::move(name)), writing(forWriting)
        {
        }
        int isOpen() override { return 1; }
        bool seek(int32_t offset, int32_t origin) override
        {
            int64_t base = origin == kSeekBegin ? 0 : origin == kSeekCurrent ? position : int64_t(bytes().size());
            if (origin < kSeekBegin || origin > kSeekEnd || base + offset < 0)
                return false;
            if (fs.step(Seek, false, path.c_str()))
                return ++readErrorCount, false;
            position = static_cast<uint32_t>(base + offset);
            return true;
        }
        uint32_t tell() override { return position; }
        uint32_t read(void* buffer, uint32_t n) override
        {
            const Bytes& b = bytes();
            uint32_t got = position >= b.size() ? 0 : std::min<uint32_t>(n, uint32_t(b.size() - position));
            const bool shortRead = got != 0 && fs.faults.shortReads > 0;
            if (shortRead)
                --fs.faults.shortReads;
            if (fs.step(Read, shortRead, path.c_str()))
                got /= 2, ++readErrorCount;
            if (got != 0)
                std::memcpy(buffer, b.data() + position, got);
            position += got;
            return got;
        }
        uint32_t write(const void* buffer, uint32_t n) override
        {
            if (!writing || !fs.change())
                return 0;
            uint32_t stored = fs.step(Write, fs.faults.write) ? n / 2 : n;
            Bytes& b = bytes();
            if (b.size() < size_t(position) + stored)
                b.resize(size_t(position) + stored);
            std::memcpy(b.data() + position, buffer, stored);
            position += stored;
            return stored;
        }
        int flush() override { return fs.step(Flush, fs.faults.flush) ? 0 : 1; }
        uint32_t readErrors() override { return readErrorCount; }
        Bytes& bytes() { return fs.files[path]; }

        MemoryFileSystem& fs;
        std::u16string path;
        bool writing;
        uint32_t position = 0;
        uint32_t readErrorCount = 0;
    };
};
