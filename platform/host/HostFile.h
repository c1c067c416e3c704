// Files for the platform layer over POSIX. UTF-16 names are converted to UTF-8;
// a name that is not absolute resolves against the program folder, never the
// current directory, the way the phone resolves names without a folder.
#pragma once

#include "platform/host/HandleTable.h"
#include "platform/host/HostTypes.h"

#include <string>

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x40;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

// The environment variable that names the program folder in place of the
// executable's own folder (tests and the demo run from the build tree).
constexpr const char* kProgramFolderVariable = "PENNYFALL_HOME";

// Share modes are accepted and not enforced; security attributes, flags other
// than the attribute and templates are ignored. Anything but a regular file is
// refused with ERROR_ACCESS_DENIED; an open for writing never follows a
// symbolic link. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD shareMode, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile);

// Both loop over partial transfers; a read ends early only at the end of the
// file. The count is written even on failure.
BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* transferred, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* transferred, void* overlapped);

// With a null high word the distance is a signed 32-bit value and the new
// position must fit in 32 bits. INVALID_SET_FILE_POINTER on failure.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL FlushFileBuffers(HANDLE file);
// Syncs so far in this process, so tests can see that reads sync nothing.
uint32_t hostFileSyncCount();

// What the folder says of a name; only the standard level is known.
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 };
struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

// Asks the folder about a name without opening it, so a file that cannot be
// read is still there: FILE_ATTRIBUTE_DIRECTORY for a folder,
// FILE_ATTRIBUTE_DEVICE for a pipe or device, else FILE_ATTRIBUTE_NORMAL, and
// the size. FALSE with ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when
// nothing is there, with another error when the folder cannot say.
BOOL GetFileAttributesExW(LPCWSTR name, GET_FILEEX_INFO_LEVELS level, void* information);

// Renames atomically; an existing target is never replaced
// (ERROR_ALREADY_EXISTS).
BOOL MoveFileW(LPCWSTR from, LPCWSTR to);
BOOL DeleteFileW(LPCWSTR name);

// The program file's path: the program folder and the executable's name. When
// the buffer is too small the path is cut, the result is the buffer size and
// the last error ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// The program folder in UTF-8, without a trailing separator.
std::string hostProgramFolder();

// The UTF-8 path a UTF-16 name stands for; false for a null, empty or
// unconvertible name.
bool hostResolvePath(LPCWSTR name, std::string& out);

// The descriptor behind a file handle, or -1 (for the mapping calls).
int hostFileDescriptor(HANDLE file);
