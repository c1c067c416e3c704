#include "platform/wince/Win32File.h"

#include "framework/files/FileSystem.h"
#include "platform/host/HandleTable.h"
#include "platform/host/HostFile.h"
#include "platform/host/LastError.h"

Win32File::~Win32File()
{
    if (m_handle != INVALID_HANDLE_VALUE) {
        // Only what was written since the last push has anything to push.
        if (m_unpushed)
            FlushFileBuffers(m_handle);
        CloseHandle(m_handle);
    }
}

bool Win32File::open(const char16_t* path, int32_t mode)
{
    DWORD access;
    DWORD creation;
    switch (mode) {
    case kOpenRead: access = GENERIC_READ, creation = OPEN_EXISTING; break;
    case kOpenWrite: access = GENERIC_WRITE, creation = CREATE_ALWAYS; break;
    case kOpenModify: access = GENERIC_WRITE, creation = OPEN_ALWAYS; break;
    case kOpenCreate: access = GENERIC_WRITE, creation = CREATE_NEW; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return false;
    }
    if (!path || m_handle != INVALID_HANDLE_VALUE)
        return false;
    m_handle = CreateFileW(path, access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_writable = access == GENERIC_WRITE;
    return m_handle != INVALID_HANDLE_VALUE;
}

int Win32File::isOpen()
{
    return m_handle != INVALID_HANDLE_VALUE ? 1 : 0;
}

bool Win32File::seek(int32_t offset, int32_t origin)
{
    DWORD method;
    switch (origin) {
    case kSeekBegin: method = FILE_BEGIN; break;
    case kSeekCurrent: method = FILE_CURRENT; break;
    case kSeekEnd: method = FILE_END; break;
    default: return false;
    }
    if (m_handle == INVALID_HANDLE_VALUE)
        return false;
    if (SetFilePointer(m_handle, offset, nullptr, method) != INVALID_SET_FILE_POINTER)
        return true;
    // A position the file cannot take is the caller's; anything else the disk's.
    const DWORD error = GetLastError();
    if (error != ERROR_NEGATIVE_SEEK && error != ERROR_INVALID_PARAMETER)
        ++m_readErrors;
    return false;
}

uint32_t Win32File::tell()
{
    if (m_handle == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD position = SetFilePointer(m_handle, 0, nullptr, FILE_CURRENT);
    if (position != INVALID_SET_FILE_POINTER)
        return position;
    ++m_readErrors;
    return 0;
}

uint32_t Win32File::read(void* buffer, uint32_t n)
{
    DWORD done = 0;
    // The end of the file reads short without an error.
    if (m_handle != INVALID_HANDLE_VALUE && !ReadFile(m_handle, buffer, n, &done, nullptr))
        ++m_readErrors;
    return done;
}

uint32_t Win32File::write(const void* buffer, uint32_t n)
{
    DWORD done = 0;
    if (m_handle != INVALID_HANDLE_VALUE)
        WriteFile(m_handle, buffer, n, &done, nullptr);
    m_unpushed = m_unpushed || done != 0;
    return done;
}

int Win32File::flush()
{
    if (m_handle == INVALID_HANDLE_VALUE)
        return 0;
    if (!m_writable)
        return 1;
    // A failed push is tried again at the close.
    m_unpushed = !FlushFileBuffers(m_handle);
    return m_unpushed ? 0 : 1;
}
