// The TCP client connection the networking library drives by polling: a
// request is only queued, and update (called with the elapsed time) advances
// it without ever blocking. Results and codes are in PlatformIds.h.
#pragma once

#include "framework/services/HashedObject.h"

#include <cstdint>

class NetworkSocket : public HashedObject {
public:
    explicit NetworkSocket(uint32_t typeId) : HashedObject(typeId) {}

    // 1 while a request is under way.
    virtual int isBusy() = 0;
    // SocketResult::Busy while busy, else the last request's result.
    virtual int32_t getResult() = 0;
    // The platform's error behind a failed request; 0 after a success.
    virtual uint32_t getLastError() = 0;
    virtual void* getBuffer() = 0;
    // Bytes the current or last request moved.
    virtual int32_t getTransferred() = 0;

    // A time limit of 0 or less means none. connect returns 0 when connected
    // or under way; send and receive 0 when queued. A connection to the same
    // host and port is kept across connect calls.
    virtual int32_t connect(const char* host, uint32_t port, int32_t timeLimit) = 0;
    virtual void close() = 0;
    virtual int32_t send(const void* data, int32_t length, int32_t timeLimit) = 0;
    // Ends after the first read that brings data, however little.
    virtual int32_t receive(void* buffer, int32_t size, int32_t timeLimit) = 0;
    virtual void update(uint32_t elapsedMs) = 0;
};
