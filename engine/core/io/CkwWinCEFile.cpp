// Engine files on the platform's file and mapping calls.
#include "engine/core/io/CkwWinCEFile.h"

#include <cstring>
#include <string>

#include "engine/core/runtime/CleanupStack.h"
#include "engine/core/runtime/Trap.h"
#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/HostFileMapping.h"
#include "platform/host/HostText.h"

CkwWinCEFile::~CkwWinCEFile()
{
    if (m_view != nullptr)
        UnmapViewOfFile(m_view);
    if (m_mappingHandle != nullptr)
        CloseHandle(m_mappingHandle);
    if (m_fileHandle != nullptr)
        CloseHandle(m_fileHandle);
}

void CkwWinCEFile::mapL(void* fileHandle)
{
    m_fileHandle = fileHandle;
    m_mappingHandle = CreateFileMappingW(m_fileHandle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (m_mappingHandle == nullptr)
        leave(KErrFileOpen);
    m_view = static_cast<const uint8_t*>(MapViewOfFile(m_mappingHandle, FILE_MAP_READ, 0, 0, 0));
    if (m_view == nullptr)
        leave(KErrFileOpen);
    DWORD high = 0;
    m_size = GetFileSize(m_fileHandle, &high);
    // Positions are 32-bit signed: larger files are not engine files.
    if (m_size == INVALID_FILE_SIZE || high != 0 || m_size > INT32_MAX)
        leave(KErrFileOpen);
}

bool CkwWinCEFile::seek(int32_t origin, int32_t offset)
{
    int64_t target;
    switch (origin) {
    case kSeekCurrent: target = int64_t{m_position} + offset; break;
    case kSeekBegin: target = offset; break;
    case kSeekFromEnd: target = int64_t{m_size} - offset; break;
    default: return false;
    }
    if (target < 0 || target >= int64_t{m_size})
        return false;
    m_position = static_cast<int32_t>(target);
    return true;
}

uint32_t CkwWinCEFile::read(void* buffer, uint32_t count)
{
    const uint32_t position = static_cast<uint32_t>(m_position);
    if (uint64_t{position} + count > UINT32_MAX || position >= m_size)
        return 0;
    const uint32_t left = m_size - position;
    const uint32_t n = count < left ? count : left;
    std::memcpy(buffer, m_view + position, n);
    m_position += static_cast<int32_t>(n);
    return n;
}

CkwWinCEFileManager* CkwWinCEFileManager::create()
{
    return new CkwWinCEFileManager;
}

IkwFile* CkwWinCEFileManager::open(const char16_t* path)
{
    // The object exists before the handle, so no failure can strand the handle.
    CkwCleanupPtr<CkwWinCEFile> file(new CkwWinCEFile);
    HANDLE handle = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        leave(KErrFileOpen);
    file->mapL(handle);
    return file.release();
}

IkwFile* CkwWinCEFileManager::openNarrow(const char* path, int32_t)
{
    if (path == nullptr)
        leave(KErrFileOpen);
    // The phone converted into a fixed buffer of kMaxEnginePath characters;
    // a longer path cannot name an engine file.
    const size_t length = std::strlen(path);
    if (length >= kMaxEnginePath)
        leave(KErrFileOpen);
    const std::u16string wide = hostUtf8ToUtf16(std::string_view(path, length));
    return open(wide.c_str());
}
