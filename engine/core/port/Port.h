// The engine's porting layer: the few runtime and platform functions the engine
// calls, in one place so a port replaces only this file's source.
#pragma once

#include <cstddef>
#include <cstdint>

size_t kwStrlen(const char* text);
// A heap copy for kwFree; null for a null text or when memory runs out.
char* kwStrdup(const char* text);
// Lowers ASCII A-Z in place and returns the text. Only ASCII: the archive's
// name hashes are taken over this lowering, so it must not follow a locale.
char* kwStrlwr(char* text);
int kwStrncmp(const char* a, const char* b, size_t n);
const char* kwStrchr(const char* text, int c);
const char* kwStrstr(const char* text, const char* part);

void* kwMalloc(size_t size);
void kwFree(void* block);
void* kwMemset(void* block, int value, size_t size);
void* kwMemcpy(void* to, const void* from, size_t size);

// Milliseconds, wrapping at 2^32.
uint32_t kwGetTickCount();
// Ends the process with exit code 1.
[[noreturn]] void kwExit();
// Prints the formatted text and a line end to standard output.
void kwDebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
