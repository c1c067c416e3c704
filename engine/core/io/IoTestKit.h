// Test helpers for engine files: a scratch folder removed with the test, and
// an engine context so leaves have a trap to reach.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>

#include "engine/core/runtime/EngineContext.h"

class ScratchFolder {
public:
    ScratchFolder()
    {
        static int serial = 0;
        m_path = std::filesystem::temp_directory_path()
                 / ("pf_io_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(m_path); }

    // Writes the bytes to name (folders made as needed); returns the full path.
    std::string write(const std::string& name, std::span<const uint8_t> bytes) const
    {
        const std::filesystem::path file = m_path / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

struct ScopedEngine {
    ScopedEngine() { engineInit(); }
    ~ScopedEngine() { engineShutdown(); }
};
