#include "engine/core/port/Port.h"

#include "platform/host/HostTime.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

size_t kwStrlen(const char* text)
{
    return std::strlen(text);
}

char* kwStrdup(const char* text)
{
    if (!text)
        return nullptr;
    const size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
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

const char* kwStrstr(const char* text, const char* part)
{
    return std::strstr(text, part);
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

uint32_t kwGetTickCount()
{
    return GetTickCount();
}

void kwExit()
{
    std::exit(1);
}

void kwDebugPrint(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
}
