// The phone's socket calls over POSIX descriptors kept in the handle table.
// select runs on poll; a socket whose connect is under way is watched until it
// resolves, because Linux shows a failed connect as writable and the phone
// shows it only in the error set.
#include "platform/host/HostWinSock.h"

#include "platform/host/HandleTable.h"
#include "platform/host/LastError.h"
#include "platform/host/internal/HostNet.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <string>
#include <vector>

namespace {

struct HostSocket : HostObject {
    static constexpr HandleKind kKind = HandleKind::Socket;
    explicit HostSocket(int descriptor) : HostObject(kKind), fd(descriptor) {}
    ~HostSocket() override { ::close(fd); }

    int fd;
    // A non-blocking connect is under way; select settles it.
    bool connecting = false;
    // The connect failure select found; SO_ERROR hands it out once.
    int pendingError = 0;
};

constexpr WORD kGrantedVersion = 0x0202;

int g_startups = 0;

int wsaError(int error)
{
    switch (error) {
    case EINPROGRESS:
    case EAGAIN: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EPIPE:
    case ECONNRESET: return WSAECONNRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ENETUNREACH: return WSAENETUNREACH;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EINTR: return WSAEINTR;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    default: return WSAENETDOWN;
    }
}

int fail(int error)
{
    SetLastError(static_cast<DWORD>(error));
    return SOCKET_ERROR;
}

HostSocket* lookup(SOCKET s)
{
    HostSocket* sock = hostHandleAs<HostSocket>(reinterpret_cast<HANDLE>(s));
    if (sock == nullptr)
        SetLastError(WSAENOTSOCK);
    return sock;
}

// A host name is letters, digits, hyphens and dots in labels of 1 to 63
// characters. Anything else never reaches a resolver.
bool isHostName(const char* name)
{
    size_t length = 0;
    size_t label = 0;
    for (; name[length] != '\0'; ++length) {
        const char c = name[length];
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
            if (++label > 63)
                return false;
        } else {
            return false;
        }
        if (length >= 253)
            return false;
    }
    return length > 0;
}

// A connecting socket that polled ready has either connected or failed; the
// kernel's pending error tells which.
void settleConnect(HostSocket& sock, short events)
{
    if ((events & (POLLOUT | POLLERR | POLLHUP)) == 0)
        return;
    sock.connecting = false;
    const int error = hostNetTakeError(sock.fd);
    sock.pendingError = error < 0 ? -error : error;
}

} // namespace

int WSAStartup(WORD version, WSADATA* data)
{
    if (data == nullptr)
        return WSAEFAULT;
    if ((version & 0xFF) < 2)
        return WSAVERNOTSUPPORTED;
    data->wVersion = kGrantedVersion;
    data->wHighVersion = kGrantedVersion;
    ++g_startups;
    return 0;
}

int WSACleanup()
{
    if (g_startups == 0)
        return fail(WSANOTINITIALISED);
    --g_startups;
    return 0;
}

int WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}

SOCKET socket(int family, int type, int protocol)
{
    int error = 0;
    if (g_startups == 0)
        error = WSANOTINITIALISED;
    else if (family != AF_INET)
        error = WSAEAFNOSUPPORT;
    else if (type != SOCK_STREAM)
        error = WSAESOCKTNOSUPPORT;
    else if (protocol != 0 && protocol != IPPROTO_TCP)
        error = WSAEPROTONOSUPPORT;
    if (error != 0) {
        fail(error);
        return INVALID_SOCKET;
    }
    const int fd = hostNetOpenStream();
    if (fd < 0) {
        fail(wsaError(-fd));
        return INVALID_SOCKET;
    }
    // On failure the table drops the object, which closes the descriptor.
    const HANDLE handle = hostCreateHandle(std::make_unique<HostSocket>(fd));
    if (handle == nullptr) {
        fail(WSAENOBUFS);
        return INVALID_SOCKET;
    }
    return reinterpret_cast<SOCKET>(handle);
}

int closesocket(SOCKET s)
{
    if (!hostCloseHandle(reinterpret_cast<HANDLE>(s), HandleKind::Socket))
        return fail(WSAENOTSOCK);
    return 0;
}

int ioctlsocket(SOCKET s, DWORD command, ULONG* argument)
{
    HostSocket* sock = lookup(s);
    if (sock == nullptr)
        return SOCKET_ERROR;
    if (command != FIONBIO)
        return fail(WSAEINVAL);
    if (argument == nullptr)
        return fail(WSAEFAULT);
    const int flags = fcntl(sock->fd, F_GETFL);
    if (flags < 0)
        return fail(wsaError(errno));
    const int wanted = *argument != 0 ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
    if (fcntl(sock->fd, F_SETFL, wanted) < 0)
        return fail(wsaError(errno));
    return 0;
}

int connect(SOCKET s, const SOCKADDR* address, int length)
{
    HostSocket* sock = lookup(s);
    if (sock == nullptr)
        return SOCKET_ERROR;
    if (address == nullptr || length < static_cast<int>(sizeof(SOCKADDR_IN)))
        return fail(WSAEFAULT);
    SOCKADDR_IN to;
    std::copy_n(reinterpret_cast<const char*>(address), sizeof to, reinterpret_cast<char*>(&to));
    if (to.sin_family != AF_INET)
        return fail(WSAEAFNOSUPPORT);
    const int error = hostNetConnect(sock->fd, to.sin_addr, to.sin_port);
    if (error == EINPROGRESS)
        sock->connecting = true;
    return error == 0 ? 0 : fail(wsaError(error));
}

int select(int, SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet, const TIMEVAL* timeout)
{
    SocketSet* const sets[3] = { readSet, writeSet, errorSet };
    constexpr short kWatch[3] = { POLLIN, POLLOUT, POLLPRI };

    // One poll entry for each distinct socket named in any set.
    std::vector<SOCKET> ids;
    std::vector<pollfd> polls;
    std::vector<HostSocket*> sockets;
    for (int k = 0; k < 3; ++k) {
        if (sets[k] == nullptr)
            continue;
        if (sets[k]->fd_count > kSocketSetSize)
            return fail(WSAEINVAL);
        for (UINT i = 0; i < sets[k]->fd_count; ++i) {
            const SOCKET id = sets[k]->fd_array[i];
            HostSocket* sock = lookup(id);
            if (sock == nullptr)
                return SOCKET_ERROR;
            const size_t at = std::find(ids.begin(), ids.end(), id) - ids.begin();
            if (at == ids.size()) {
                ids.push_back(id);
                polls.push_back({ sock->fd, 0, 0 });
                sockets.push_back(sock);
            }
            polls[at].events = static_cast<short>(polls[at].events | kWatch[k]);
        }
    }
    if (ids.empty())
        return fail(WSAEINVAL);

    int waitMs = -1;
    if (timeout != nullptr) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0)
            return fail(WSAEINVAL);
        const int64_t ms = int64_t(timeout->tv_sec) * 1000 + (int64_t(timeout->tv_usec) + 999) / 1000;
        waitMs = static_cast<int>(std::min<int64_t>(ms, INT32_MAX));
    }
    if (poll(polls.data(), polls.size(), waitMs) < 0)
        return fail(wsaError(errno));

    // Which of the three sets each socket belongs in, bit k for set k.
    std::vector<uint8_t> holds(ids.size());
    for (size_t at = 0; at < ids.size(); ++at) {
        HostSocket& sock = *sockets[at];
        const short events = polls[at].revents;
        if (sock.connecting) {
            // Until it resolves, a connect shows as nothing, writable or failed.
            settleConnect(sock, events);
            if (!sock.connecting)
                holds[at] = sock.pendingError == 0 ? 2 : 4;
            continue;
        }
        holds[at] = static_cast<uint8_t>(((events & (POLLIN | POLLHUP | POLLERR)) != 0 ? 1 : 0)
                                         | ((events & POLLOUT) != 0 && (events & POLLERR) == 0 ? 2 : 0)
                                         | ((events & POLLPRI) != 0 ? 4 : 0));
    }
    int ready = 0;
    for (int k = 0; k < 3; ++k) {
        SocketSet* set = sets[k];
        if (set == nullptr)
            continue;
        UINT kept = 0;
        for (UINT i = 0; i < set->fd_count; ++i) {
            const size_t at = std::find(ids.begin(), ids.end(), set->fd_array[i]) - ids.begin();
            if (holds[at] & (1 << k))
                set->fd_array[kept++] = set->fd_array[i];
        }
        set->fd_count = kept;
        ready += static_cast<int>(kept);
    }
    return ready;
}

int getsockopt(SOCKET s, int level, int option, char* value, int* length)
{
    HostSocket* sock = lookup(s);
    if (sock == nullptr)
        return SOCKET_ERROR;
    if (level != SOL_SOCKET || option != SO_ERROR)
        return fail(WSAENOPROTOOPT);
    if (value == nullptr || length == nullptr || *length < static_cast<int>(sizeof(int)))
        return fail(WSAEFAULT);
    int error = sock->pendingError;
    sock->pendingError = 0;
    if (error == 0) {
        error = hostNetTakeError(sock->fd);
        if (error < 0)
            return fail(wsaError(-error));
    }
    const int code = error == 0 ? 0 : wsaError(error);
    std::copy_n(reinterpret_cast<const char*>(&code), sizeof code, value);
    *length = sizeof code;
    return 0;
}

namespace {

// send and recv share their checks and their result.
template <class Move>
int transfer(SOCKET s, const void* buffer, int length, int flags, Move move)
{
    HostSocket* sock = lookup(s);
    if (sock == nullptr)
        return SOCKET_ERROR;
    if (flags != 0 || length < 0)
        return fail(WSAEINVAL);
    if (buffer == nullptr && length > 0)
        return fail(WSAEFAULT);
    const long n = move(sock->fd, static_cast<size_t>(length));
    return n >= 0 ? static_cast<int>(n) : fail(wsaError(static_cast<int>(-n)));
}

} // namespace

int send(SOCKET s, const char* data, int length, int flags)
{
    return transfer(s, data, length, flags, [data](int fd, size_t n) { return hostNetSend(fd, data, n); });
}

int recv(SOCKET s, char* buffer, int length, int flags)
{
    return transfer(s, buffer, length, flags, [buffer](int fd, size_t n) { return hostNetReceive(fd, buffer, n); });
}

int shutdown(SOCKET s, int how)
{
    HostSocket* sock = lookup(s);
    if (sock == nullptr)
        return SOCKET_ERROR;
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH)
        return fail(WSAEINVAL);
    const int error = hostNetShutdown(sock->fd, how);
    return error == 0 ? 0 : fail(wsaError(error));
}

HOSTENT* gethostbyname(const char* name)
{
    struct Entry {
        std::string name;
        uint32_t address = 0;
        char* addresses[2] = {};
        HOSTENT host = {};
    };
    thread_local Entry entry;

    int error = 0;
    if (g_startups == 0)
        error = WSANOTINITIALISED;
    else if (name == nullptr)
        error = WSAEFAULT;
    else if (!isHostName(name) || !hostNetResolve(name, entry.address, entry.name))
        error = WSAHOST_NOT_FOUND;
    if (error != 0) {
        fail(error);
        return nullptr;
    }
    entry.addresses[0] = reinterpret_cast<char*>(&entry.address);
    entry.addresses[1] = nullptr;
    entry.host = { entry.name.data(), AF_INET, sizeof entry.address, entry.addresses };
    return &entry.host;
}

ULONG inet_addr(const char* text)
{
    return text != nullptr ? hostNetParseAddress(text) : INADDR_NONE;
}

WORD htons(WORD value)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<WORD>((value << 8) | (value >> 8));
    return value;
}
