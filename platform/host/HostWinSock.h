// The phone's socket calls (IPv4 TCP clients only) over POSIX sockets. Sockets
// are handle-table entries, so a closed or foreign socket value is refused
// instead of reaching some other descriptor. Errors go to the thread's
// last-error value as the phone's codes below.
//
// The BSD names here also exist in POSIX with other types: never include this
// header together with the system's socket headers.
#pragma once

#include "platform/host/HostTypes.h"

using SOCKET = uintptr_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;

constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// ioctlsocket: switch blocking off (argument non-zero) or on.
constexpr DWORD FIONBIO = 0x8004667Eu;

constexpr int SOL_SOCKET = 0xFFFF;
// The error a failed non-blocking connect left behind; reading it clears it.
constexpr int SO_ERROR = 0x1007;

// inet_addr's answer for a text that is not an address.
constexpr ULONG INADDR_NONE = 0xFFFFFFFFu;

constexpr int WSAEINTR = 10004;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};

struct SOCKADDR {
    WORD sa_family;
    char sa_data[14];
};

// Port and address in network byte order.
struct SOCKADDR_IN {
    short sin_family;
    WORD sin_port;
    ULONG sin_addr;
    char sin_zero[8];
};

// A resolved host: its official name and its addresses (network order, four
// bytes each, null-terminated list). Valid until the thread's next lookup.
struct HOSTENT {
    char* h_name;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

struct TIMEVAL {
    int32_t tv_sec;
    int32_t tv_usec;
};

// select's socket sets; select keeps in each only the sockets that are ready.
constexpr UINT kSocketSetSize = 64;
struct SocketSet {
    UINT fd_count;
    SOCKET fd_array[kSocketSetSize];
};

inline bool socketSetHas(const SocketSet& set, SOCKET s)
{
    for (UINT i = 0; i < set.fd_count && i < kSocketSetSize; ++i)
        if (set.fd_array[i] == s)
            return true;
    return false;
}

// Version 2.0 and above is granted as 2.2. Returns the error code itself.
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();
int WSAGetLastError();

SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET s);
int ioctlsocket(SOCKET s, DWORD command, ULONG* argument);

// A non-blocking connect under way fails with WSAEWOULDBLOCK; select then
// shows the socket writable once connected, or in the error set when the
// attempt failed (SO_ERROR gives the reason).
int connect(SOCKET s, const SOCKADDR* address, int length);
// Readable: data, the peer's end or an error waits. A null time-out waits for
// ever. The count of sockets is ignored. Returns how many set entries remain.
int select(int count, SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet, const TIMEVAL* timeout);
// Only SOL_SOCKET / SO_ERROR, into an int.
int getsockopt(SOCKET s, int level, int option, char* value, int* length);

// Flags must be 0. A send to a peer that has gone fails; it never signals.
int send(SOCKET s, const char* data, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int shutdown(SOCKET s, int how);

// Dotted addresses resolve to themselves without a resolver. Texts that
// cannot be host names fail before any lookup.
HOSTENT* gethostbyname(const char* name);
ULONG inet_addr(const char* text);
WORD htons(WORD value);
