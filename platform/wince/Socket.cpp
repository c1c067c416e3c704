// Every platform call here is non-blocking except the name lookup in connect.
// lastError holds the error of the call that failed a request and nothing
// else: a would-block along the way is not an error, and reporting it after a
// success would mislead the caller.
#include "platform/wince/Socket.h"

#include "platform/host/HostWinSock.h"
#include "platform/wince/PlatformIds.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr WORD kWinSockVersion = 0x0202;
// A send or receive moves at most this much per update.
constexpr int32_t kChunk = 2048;
constexpr int32_t kIdleMs = 30000;
constexpr uint32_t kMaxPort = 0xFFFF;

} // namespace

Socket::Socket() : NetworkSocket(PlatformTypeId::Socket), m_handle(INVALID_SOCKET)
{
    WSADATA data;
    m_started = WSAStartup(kWinSockVersion, &data) == 0;
}

Socket::~Socket()
{
    closeHandle();
    clearRequest();
    if (m_started)
        WSACleanup();
}

int Socket::isBusy()
{
    return m_state != kIdle && m_state != kFinished ? 1 : 0;
}

int32_t Socket::getResult()
{
    return isBusy() ? SocketResult::Busy : m_result;
}

uint32_t Socket::getLastError()
{
    return m_lastError;
}

void* Socket::getBuffer()
{
    return m_buffer;
}

int32_t Socket::getTransferred()
{
    return m_done;
}

void Socket::clearRequest()
{
    m_buffer = nullptr;
    m_length = 0;
    m_done = 0;
    m_state = kIdle;
    m_result = SocketResult::Ok;
    m_timeLeft = 0;
}

void Socket::closeHandle()
{
    if (m_handle == INVALID_SOCKET)
        return;
    // The send side first, so the peer reads an orderly end of the data.
    ::shutdown(m_handle, SD_SEND);
    ::shutdown(m_handle, SD_BOTH);
    closesocket(m_handle);
    m_handle = INVALID_SOCKET;
}

// A request that fails at once leaves its result for getResult as well.
int32_t Socket::refuse(int32_t result, uint32_t error)
{
    m_result = result;
    m_lastError = error;
    return result;
}

int32_t Socket::connect(const char* host, uint32_t port, int32_t timeLimit)
{
    if (isBusy())
        return SocketResult::Busy;
    clearRequest();
    m_lastError = 0;
    // A wider port would connect to its low 16 bits.
    if (port > kMaxPort)
        return refuse(SocketResult::ConnectFailed, WSAEINVAL);

    ULONG address;
    const char* name = host;
    const HOSTENT* entry = gethostbyname(host);
    if (entry != nullptr && entry->h_length == sizeof address && entry->h_addr_list != nullptr
        && entry->h_addr_list[0] != nullptr) {
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
        name = entry->h_name;
    } else {
        // A dotted address stands for itself. Its name is not needed, and a
        // reverse lookup fails wherever none is set up.
        const int error = WSAGetLastError();
        address = inet_addr(host);
        if (address == INADDR_NONE)
            return refuse(SocketResult::HostNotFound, error);
    }

    if (m_handle != INVALID_SOCKET && (address != m_address || port != m_port))
        closeHandle();
    m_hostName.assign(name);
    m_port = port;
    m_address = address;
    // Still connected to this peer: connecting again would fail on it.
    if (m_handle != INVALID_SOCKET)
        return SocketResult::Ok;

    m_handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_handle == INVALID_SOCKET)
        return refuse(SocketResult::NoSocket, WSAGetLastError());
    ULONG nonBlocking = 1;
    if (ioctlsocket(m_handle, FIONBIO, &nonBlocking) != 0) {
        refuse(SocketResult::ConnectFailed, WSAGetLastError());
        closeHandle();
        return SocketResult::ConnectFailed;
    }
    SOCKADDR_IN to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<WORD>(port));
    to.sin_addr = address;
    if (::connect(m_handle, reinterpret_cast<const SOCKADDR*>(&to), sizeof to) == 0)
        return SocketResult::Ok;
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
        refuse(SocketResult::ConnectFailed, error);
        closeHandle();
        return SocketResult::ConnectFailed;
    }
    m_state = kConnecting;
    m_timeLeft = timeLimit;
    return SocketResult::Ok;
}

void Socket::close()
{
    closeHandle();
    clearRequest();
}

int32_t Socket::queue(State state, void* buffer, int32_t length, int32_t timeLimit)
{
    clearRequest();
    m_lastError = 0;
    m_buffer = buffer;
    m_length = length;
    m_state = state;
    m_timeLeft = timeLimit;
    return SocketResult::Ok;
}

int32_t Socket::send(const void* data, int32_t length, int32_t timeLimit)
{
    if (isBusy())
        return SocketResult::Busy;
    if (m_handle == INVALID_SOCKET)
        return refuse(SocketResult::Closed, 0);
    if (data == nullptr || length <= 0)
        return SocketResult::NothingQueued;
    // getBuffer hands back what was queued; a send never writes through it.
    return queue(kSending, const_cast<void*>(data), length, timeLimit);
}

int32_t Socket::receive(void* buffer, int32_t size, int32_t timeLimit)
{
    if (isBusy())
        return SocketResult::Busy;
    if (m_handle == INVALID_SOCKET)
        return refuse(SocketResult::Closed, 0);
    if (buffer == nullptr)
        return SocketResult::NothingQueued;
    return queue(kReceiving, buffer, size, timeLimit);
}

void Socket::finish(int32_t result, uint32_t error)
{
    m_result = result;
    m_lastError = error;
    m_state = kFinishing;
}

// True when the time ran out. 64 bits, so a long step cannot wrap it.
bool Socket::countDown(uint32_t elapsedMs)
{
    const int64_t left = int64_t(m_timeLeft) - elapsedMs;
    m_timeLeft = left > 0 ? static_cast<int32_t>(left) : 0;
    return left <= 0;
}

void Socket::update(uint32_t elapsedMs)
{
    if (!isBusy()) {
        if (m_timeLeft > 0 && countDown(elapsedMs))
            closeHandle();
        return;
    }
    if (m_timeLeft > 0 && countDown(elapsedMs))
        finish(SocketResult::TimedOut, m_lastError);
    switch (m_state) {
    case kConnecting: stepConnecting(); break;
    case kSending: stepSending(); break;
    case kReceiving: stepReceiving(); break;
    case kFinishing: stepFinishing(); break;
    default: break;
    }
}

void Socket::stepConnecting()
{
    if (m_handle == INVALID_SOCKET)
        return finish(SocketResult::Closed, 0);
    SocketSet readSet{ 1, { m_handle } };
    SocketSet writeSet = readSet;
    SocketSet errorSet = readSet;
    const TIMEVAL noWait{ 0, 0 };
    const int ready = select(0, &readSet, &writeSet, &errorSet, &noWait);
    if (ready == 0)
        return;
    if (ready == SOCKET_ERROR)
        return finish(SocketResult::ConnectFailed, WSAGetLastError());
    if (!socketSetHas(writeSet, m_handle)) {
        int error = 0;
        int size = sizeof error;
        getsockopt(m_handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        return finish(SocketResult::ConnectFailed, static_cast<uint32_t>(error));
    }
    m_state = kFinishing;
}

void Socket::stepSending()
{
    const int32_t chunk = std::min(m_length - m_done, kChunk);
    const int n = ::send(m_handle, static_cast<const char*>(m_buffer) + m_done, chunk, 0);
    if (n > 0) {
        m_done += n;
        if (m_done >= m_length)
            m_state = kFinishing;
    } else if (n == 0) {
        finish(SocketResult::Closed, 0);
    } else if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
        finish(SocketResult::SendFailed, error);
    }
}

void Socket::stepReceiving()
{
    const int32_t room = std::min(m_length - m_done, kChunk);
    // Nowhere to put data ends the request at once: a read of nothing would
    // return 0, which means the peer closed.
    if (room <= 0) {
        m_state = kFinishing;
        return;
    }
    const int n = recv(m_handle, static_cast<char*>(m_buffer) + m_done, room, 0);
    if (n > 0) {
        m_done += n;
        m_state = kFinishing;
    } else if (n == 0) {
        finish(SocketResult::Closed, 0);
    } else if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK) {
        finish(SocketResult::ReceiveFailed, error);
    }
}

void Socket::stepFinishing()
{
    if (m_result == SocketResult::Ok)
        m_timeLeft = kIdleMs;
    else
        closeHandle();
    m_state = kFinished;
}

NetworkSocket* createSocket()
{
    return new (std::nothrow) Socket;
}
