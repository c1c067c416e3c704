// The platform's socket: a non-blocking WinSock TCP client. A request moves
// through connecting, sending or receiving to finishing inside update; after
// one that ended well the connection idles open for 30 seconds of updates.
#pragma once

#include "framework/strings/String.h"
#include "platform/wince/NetworkSocket.h"

class Socket : public NetworkSocket {
public:
    enum State : uint32_t {
        kIdle = 0,
        kConnecting = 1,
        kSending = 2,
        kReceiving = 3,
        kFinishing = 4,
        kFinished = 5,
    };

    Socket();
    ~Socket() override;

    int isBusy() override;
    int32_t getResult() override;
    uint32_t getLastError() override;
    void* getBuffer() override;
    int32_t getTransferred() override;
    int32_t connect(const char* host, uint32_t port, int32_t timeLimit) override;
    void close() override;
    int32_t send(const void* data, int32_t length, int32_t timeLimit) override;
    int32_t receive(void* buffer, int32_t size, int32_t timeLimit) override;
    void update(uint32_t elapsedMs) override;

private:
    void clearRequest();
    void closeHandle();
    int32_t refuse(int32_t result, uint32_t error);
    int32_t queue(State state, void* buffer, int32_t length, int32_t timeLimit);
    void finish(int32_t result, uint32_t error);
    bool countDown(uint32_t elapsedMs);
    void stepConnecting();
    void stepSending();
    void stepReceiving();
    void stepFinishing();

    // The WinSock socket, all ones when there is none (the socket type stays
    // out of this header, which callers above the platform include).
    uintptr_t m_handle;
    String m_hostName;
    uint32_t m_port = 0;
    uint32_t m_address = 0; // IPv4, network order
    void* m_buffer = nullptr;
    int32_t m_length = 0;
    int32_t m_done = 0;
    uint32_t m_state = kIdle;
    int32_t m_result = 0;
    uint32_t m_lastError = 0;
    // Of the request while busy, else of the idle period.
    int32_t m_timeLeft = 0;
    bool m_started;
};

// Null without memory.
NetworkSocket* createSocket();
