// The engine's porting layer: the few runtime and platform functions the engine
// calls, in one place so a port replaces only this file's source.
#pragma once

#include <cstddef>
#include <cstdint>

size_t kwStrlen(const char* text);
// Lowers ASCII A-Z in place and returns the text. Only ASCII: the archive's
// name hashes are taken over this lowering, so it must not follow a locale.
char* kwStrlwr(char* text);
int kwStrncmp(const char* a, const char* b, size_t n);
const char* kwStrchr(const char* text, int c);

void* kwMalloc(size_t size);
void kwFree(void* block);
void* kwMemset(void* block, int value, size_t size);
void* kwMemcpy(void* to, const void* from, size_t size);

// The engine's files: read-only views of whole files, opened unshared. Returns
// the mapped file, or null when the file cannot be opened or mapped or holds
// more than INT32_MAX bytes; the view stays valid until kwCloseMappedFile.
void* kwOpenMappedFile(const char16_t* path, const uint8_t** view, uint32_t* size);
void kwCloseMappedFile(void* file);
// UTF-8 to a terminated UTF-16 path in out; false when it does not fit.
bool kwWidenPath(const char* path, size_t length, char16_t* out, size_t capacity);

// Ends the process with exit code 1.
[[noreturn]] void kwExit();
