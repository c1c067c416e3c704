// File objects for the pack tool and for tests that read packs without a
// platform layer: one over a byte vector in memory, one over a host file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/files/File.h"
#include "tools/pack/PackWriter.h"

class MemoryFile : public File {
public:
    explicit MemoryFile(Bytes bytes) : m_bytes(std::move(bytes)) {}

    int isOpen() override { return 1; }
    bool seek(int32_t offset, int32_t origin) override;
    uint32_t tell() override { return m_position; }
    uint32_t read(void* buffer, uint32_t n) override;
    uint32_t write(const void* buffer, uint32_t n) override;

    const Bytes& bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    uint32_t m_position = 0;
};

class HostFile : public File {
public:
    // Null when the path cannot be opened ("rb" or "wb"); only a regular
    // file opens for reading (errno EISDIR for a folder).
    static HostFile* open(const std::string& path, bool forWriting);
    ~HostFile() override;

    int isOpen() override { return m_file != nullptr; }
    bool seek(int32_t offset, int32_t origin) override;
    uint32_t tell() override;
    uint32_t read(void* buffer, uint32_t n) override;
    uint32_t write(const void* buffer, uint32_t n) override;

private:
    explicit HostFile(std::FILE* file) : m_file(file) {}
    std::FILE* m_file;
};

bool readHostFile(const std::string& path, Bytes& out);
bool writeHostFile(const std::string& path, const Bytes& bytes);
