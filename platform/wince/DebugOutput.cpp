#include "platform/wince/DebugOutput.h"

#include "framework/util/Format.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The device's debug buffers; longer texts are cut to fit.
constexpr size_t kDebugBuffer = 260;
constexpr size_t kDebugBufferDirect = 280;
constexpr size_t kAssertReport = 256;
constexpr uint32_t kHexDumpLine = 8;
constexpr size_t kHexDumpLabel = 9;

DebugOutputHook g_hook = nullptr;

void emit(const char* text)
{
    if (g_hook)
        g_hook(text);
}

} // namespace

void vdebugPrintf(const char* format, va_list args)
{
    char buffer[kDebugBuffer];
    std::vsnprintf(buffer, sizeof buffer, format ? format : "", args);
    emit(buffer);
}

void debugPrintf(const char* format, ...)
{
    char buffer[kDebugBufferDirect];
    buffer[0] = '\0';
    va_list args;
    va_start(args, format);
    if (format)
        std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    emit(buffer);
}

int formatNarrowInto(char* buffer, size_t capacity, const char* format, va_list args)
{
    return vformatNarrow(buffer, capacity, format, args);
}

int formatWideInto(char16_t* buffer, size_t capacity, const char16_t* format, va_list args)
{
    return vformatWide(buffer, capacity, format, args);
}

void hexDump(const char* label, const void* data, uint32_t length)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes)
        return;
    for (uint32_t offset = 0; offset < length; offset += kHexDumpLine) {
        const uint32_t count = length - offset < kHexDumpLine ? length - offset : kHexDumpLine;
        // Label, offset, 8 hex columns, the gap and 8 characters always fit.
        char line[80];
        int at = std::snprintf(line, sizeof line, "%.*s: %04x: ", int(kHexDumpLabel), label ? label : "", offset);
        for (uint32_t i = 0; i < kHexDumpLine; ++i)
            at += i < count ? std::snprintf(line + at, sizeof line - at, "%02x ", bytes[offset + i])
                            : std::snprintf(line + at, sizeof line - at, "   ");
        at += std::snprintf(line + at, sizeof line - at, "  ");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t c = bytes[offset + i];
            line[at++] = c < 32 || c >= 127 ? '.' : static_cast<char>(c);
        }
        line[at] = '\0';
        debugPrintf("%s", line);
    }
}

void assertCheck(int condition, const char* fileName, int line)
{
    if (condition)
        return;
    debugPrintf("ASSERT FAILED - File: %s, Line: %i", fileName ? fileName : "", line);
    // The device shows this text in a message box; here it goes to stderr.
    char report[kAssertReport];
    std::snprintf(report, sizeof report, "File: %s, Line: %i", fileName ? fileName : "", line);
    std::fprintf(stderr, "ASSERT FAILED - %s\n", report);
    std::fflush(stderr);
    std::exit(EXIT_FAILURE);
}

void setDebugOutputHook(DebugOutputHook hook)
{
    g_hook = hook;
}
