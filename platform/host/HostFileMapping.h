// Read-only file mappings. The stand-in reads the whole file into memory when
// the mapping is made instead of mapping its pages: a real mapping of a file
// that another process truncates would fault on access, and every user of a
// view reads it whole anyway.
#pragma once

#include "platform/host/HostTypes.h"

constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD FILE_MAP_READ = 0x04;

// Only PAGE_READONLY of the whole file (maximum size 0) is supported; an empty
// file gives ERROR_FILE_INVALID. Null on failure.
HANDLE CreateFileMappingW(HANDLE file, void* security, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name);

// A read view from the offset; a length of 0 runs to the end. The view stays
// valid until unmapped, even after the mapping's handle is closed.
void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, DWORD length);
BOOL UnmapViewOfFile(LPCVOID view);
