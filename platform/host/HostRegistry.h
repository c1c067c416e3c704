// The registry: an in-memory tree that is empty unless a test fills it. Key
// paths and value names compare without regard to ASCII case, as on the phone.
#pragma once

#include "platform/host/HostTypes.h"

using REGSAM = DWORD;

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t(0x80000000u));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t(0x80000002u));

constexpr REGSAM KEY_READ = 0x20019;

constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

// Results are error codes (ERROR_SUCCESS on success); a key exists once a
// value has been set below it.
LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);

// Without a data buffer only the type and size are reported. A value larger
// than the buffer gives ERROR_MORE_DATA with the size needed and leaves the
// buffer untouched.
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegCloseKey(HKEY key);

// Test hooks: set a value (creating its key) and empty the registry.
void hostRegistrySetValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD type, const void* data, DWORD size);
void hostRegistryClear();
