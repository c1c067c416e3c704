// Basic types of the stand-in for the phone's system interfaces.
// The platform layer is written against these names; sizes follow the phone's
// 32-bit ABI for integers, while pointers and handles are native.
#pragma once

#include <cstdint>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using BOOL = int32_t;
using WCHAR = char16_t;
using LPWSTR = char16_t*;
using LPCWSTR = const char16_t*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// Every kernel object is an entry of the handle table (HandleTable.h).
using HANDLE = void*;
using HWND = HANDLE;
using HINSTANCE = HANDLE;
using HMODULE = HANDLE;
using HKEY = HANDLE;

// Results of the component-style interfaces: negative is a failure.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);

inline bool SUCCEEDED(HRESULT result)
{
    return result >= 0;
}

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~uintptr_t(0));

// The phone's path buffer size; kept for callers that size fixed buffers, the
// host itself never limits a path to it.
constexpr DWORD MAX_PATH = 260;
