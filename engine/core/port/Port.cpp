#include "engine/core/port/Port.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/HostFileMapping.h"
#include "platform/host/HostText.h"

#include <cstdlib>
#include <cstring>
#include <new>

size_t kwStrlen(const char* text)
{
    return std::strlen(text);
}

char* kwStrlwr(char* text)
{
    if (text)
        for (char* c = text; *c; ++c)
            if (*c >= 'A' && *c <= 'Z')
                *c = static_cast<char>(*c + ('a' - 'A'));
    return text;
}

int kwStrncmp(const char* a, const char* b, size_t n)
{
    return std::strncmp(a, b, n);
}

const char* kwStrchr(const char* text, int c)
{
    return std::strchr(text, c);
}

void* kwMalloc(size_t size)
{
    return std::malloc(size);
}

void kwFree(void* block)
{
    std::free(block);
}

void* kwMemset(void* block, int value, size_t size)
{
    return std::memset(block, value, size);
}

void* kwMemcpy(void* to, const void* from, size_t size)
{
    return size ? std::memcpy(to, from, size) : to;
}

namespace {

struct MappedFile {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    const void* view = nullptr;
};

} // namespace

void* kwOpenMappedFile(const char16_t* path, const uint8_t** view, uint32_t* size)
{
    auto* mapped = new (std::nothrow) MappedFile;
    if (mapped == nullptr)
        return nullptr;
    mapped->file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mapped->file != INVALID_HANDLE_VALUE)
        mapped->mapping = CreateFileMappingW(mapped->file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapped->mapping != nullptr)
        mapped->view = MapViewOfFile(mapped->mapping, FILE_MAP_READ, 0, 0, 0);
    DWORD high = 0;
    const DWORD low = mapped->view != nullptr ? GetFileSize(mapped->file, &high) : INVALID_FILE_SIZE;
    // Engine files count their positions in 32 signed bits.
    if (low == INVALID_FILE_SIZE || high != 0 || low > INT32_MAX) {
        kwCloseMappedFile(mapped);
        return nullptr;
    }
    *view = static_cast<const uint8_t*>(mapped->view);
    *size = low;
    return mapped;
}

void kwCloseMappedFile(void* file)
{
    auto* mapped = static_cast<MappedFile*>(file);
    if (mapped == nullptr)
        return;
    if (mapped->view != nullptr)
        UnmapViewOfFile(mapped->view);
    if (mapped->mapping != nullptr)
        CloseHandle(mapped->mapping);
    if (mapped->file != INVALID_HANDLE_VALUE)
        CloseHandle(mapped->file);
    delete mapped;
}

bool kwWidenPath(const char* path, size_t length, char16_t* out, size_t capacity)
{
    const std::u16string wide = hostUtf8ToUtf16(std::string_view(path, length));
    if (wide.size() >= capacity)
        return false;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    return true;
}

void kwExit()
{
    std::exit(1);
}

