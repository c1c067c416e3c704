// The instance lock: flock on a per-title file, the holder's process id
// written inside. flock locks belong to the open file, so even a second
// open in the same process sees the lock as taken.
#include "platform/host/HostInstance.h"

#include "platform/host/HostText.h"
#include "platform/host/internal/HostWindowState.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::string g_folder;
uint32_t g_raiseRequests = 0;

// Process ids fit in this many digits with room to spare.
constexpr size_t kPidTextMax = 24;

// Titles become file names: anything but letters, digits, '-' and '_' is
// replaced, so a title can never climb out of the folder.
std::string fileStem(const std::u16string& title)
{
    std::string stem;
    for (char16_t c : title) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        stem += plain ? static_cast<char>(c) : '_';
    }
    return stem;
}

} // namespace

void hostSetInstanceFolder(const std::string& folder)
{
    g_folder = folder;
}

std::string hostInstanceLockPath(const std::u16string& title)
{
    std::string folder = g_folder;
    std::string suffix;
    if (folder.empty()) {
        if (const char* dir = std::getenv("PF_INSTANCE_DIR"); dir && *dir)
            folder = dir;
        else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
            folder = runtime;
        else {
            folder = "/tmp";
            suffix = "-" + std::to_string(getuid());
        }
    }
    return folder + "/" + fileStem(title) + suffix + ".lock";
}

int hostInstanceLock(const std::u16string& title)
{
    const std::string path = hostInstanceLockPath(title);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    const std::string pid = std::to_string(getpid());
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // Without its id in the file nobody could raise us; hold the lock all
        // the same, so a second copy still stays away.
    }
    return fd;
}

void hostInstanceUnlock(int fd)
{
    if (fd >= 0)
        close(fd);
}

pid_t hostInstanceHolder(const std::u16string& title)
{
    const std::string path = hostInstanceLockPath(title);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    pid_t holder = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        char text[kPidTextMax + 1] = {};
        const ssize_t got = pread(fd, text, kPidTextMax, 0);
        if (got > 0) {
            const long value = std::strtol(text, nullptr, 10);
            holder = value > 0 && value != getpid() ? static_cast<pid_t>(value) : 0;
        }
        // Held, but the holder has not written its id yet: it still runs.
        if (holder == 0)
            holder = -1;
    }
    close(fd);
    return holder;
}

void hostNoteRaiseRequest()
{
    ++g_raiseRequests;
}

uint32_t hostRaiseRequestCount()
{
    return g_raiseRequests;
}
