// Engine files over the porting layer's read-only whole-file mappings: the
// file is opened unshared, mapped once, and every read is one copy out of the
// view.
#pragma once

#include <cstdint>

#include "engine/core/io/IkwFile.h"

class CkwWinCEFile : public IkwFile {
public:
    ~CkwWinCEFile() override;

    // Opens and maps the whole file; leaves -2 when it cannot be had.
    void mapL(const char16_t* path);

    bool seek(int32_t origin, int32_t offset) override;
    uint32_t read(void* buffer, uint32_t count) override;
    uint32_t size() const override { return m_size; }

private:
    void* m_mapped = nullptr;
    const uint8_t* m_view = nullptr;
    int32_t m_position = 0;
    uint32_t m_size = 0;
};

class CkwWinCEFileManager : public IkwFileManager {
public:
    // A new manager with reference count 0 on every call; leaves -4.
    static CkwWinCEFileManager* create();

    IkwFile* open(const char16_t* path) override;
    IkwFile* openNarrow(const char* path, int32_t mode) override;
};
