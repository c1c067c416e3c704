#include "platform/host/HostShell.h"

#include "platform/host/HostText.h"
#include "platform/host/LastError.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

ShellRecorder g_recorder = nullptr;

bool startsWithNoCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

// A web address: http or https, something after the scheme, and no control
// characters that an opener could take for anything but the address.
bool isWebAddress(const std::string& address)
{
    const size_t schemeLength = startsWithNoCase(address, "https://") ? 8 : startsWithNoCase(address, "http://") ? 7 : 0;
    if (schemeLength == 0 || address.size() == schemeLength)
        return false;
    for (const char c : address)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool runOpener(const std::string& address)
{
    char program[] = "xdg-open";
    std::string argument = address;
    char* argv[] = { program, argument.data(), nullptr };
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info)
{
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFO) || !info->lpFile) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string verb = "open";
    std::string address;
    if ((info->lpVerb && !hostUtf16ToUtf8(info->lpVerb, verb)) || !hostUtf16ToUtf8(info->lpFile, address)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (verb != "open" || !isWebAddress(address)) {
        SetLastError(ERROR_NO_ASSOCIATION);
        return FALSE;
    }
    const bool ok = g_recorder ? g_recorder(verb, address) : runOpener(address);
    if (!ok) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    info->hInstApp = reinterpret_cast<HINSTANCE>(uintptr_t(33)); // the shell's "above 32 is success"
    return TRUE;
}

void hostSetShellRecorder(ShellRecorder recorder)
{
    g_recorder = recorder;
}
