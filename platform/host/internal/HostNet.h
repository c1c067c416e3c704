// The calls of the socket stand-in that need the system's socket headers.
// Those headers declare the same names as the phone's socket calls with other
// types, so they live in their own file behind this plain interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A new IPv4 TCP descriptor (close-on-exec), or -errno.
int hostNetOpenStream();

// 0, or the errno of the failed connect (EINPROGRESS while under way).
// Address and port in network byte order.
int hostNetConnect(int fd, uint32_t address, uint16_t port);

// The pending error of a socket (cleared by taking it), or -errno.
int hostNetTakeError(int fd);

// Bytes moved, or -errno. A send to a peer that has gone never signals.
long hostNetSend(int fd, const void* data, size_t length);
long hostNetReceive(int fd, void* buffer, size_t length);

// how: 0 receive, 1 send, 2 both. 0 or the errno.
int hostNetShutdown(int fd, int how);

// The first IPv4 address of a host (network order) and its canonical name;
// numeric forms are read without a resolver. False when it does not resolve.
bool hostNetResolve(const char* name, uint32_t& address, std::string& canonicalName);

// inet_addr's reading of a dotted address (network order); all ones if none.
uint32_t hostNetParseAddress(const char* text);
