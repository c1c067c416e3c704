// The system socket calls behind the socket stand-in (HostWinSock.cpp holds
// the phone's side of them).
#include "platform/host/internal/HostNet.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

int hostNetOpenStream()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd >= 0 ? fd : -errno;
}

int hostNetConnect(int fd, uint32_t address, uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = port;
    to.sin_addr.s_addr = address;
    return connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
}

int hostNetTakeError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : -errno;
}

long hostNetSend(int fd, const void* data, size_t length)
{
    const ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
    return n >= 0 ? n : -errno;
}

long hostNetReceive(int fd, void* buffer, size_t length)
{
    const ssize_t n = recv(fd, buffer, length, 0);
    return n >= 0 ? n : -errno;
}

int hostNetShutdown(int fd, int how)
{
    const int mode = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    return shutdown(fd, mode) == 0 ? 0 : errno;
}

bool hostNetResolve(const char* name, uint32_t& address, std::string& canonicalName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &list) != 0) {
        hints.ai_flags = AI_CANONNAME;
        list = nullptr;
        if (getaddrinfo(name, nullptr, &hints, &list) != 0)
            return false;
    }
    const bool found = list != nullptr && list->ai_addr != nullptr && list->ai_addrlen >= sizeof(sockaddr_in);
    if (found) {
        sockaddr_in at;
        std::memcpy(&at, list->ai_addr, sizeof at);
        address = at.sin_addr.s_addr;
        canonicalName = list->ai_canonname != nullptr ? list->ai_canonname : name;
    }
    freeaddrinfo(list);
    return found;
}

uint32_t hostNetParseAddress(const char* text)
{
    return inet_addr(text);
}
