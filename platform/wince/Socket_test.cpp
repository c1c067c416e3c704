#include "platform/wince/Socket.h"

#include "platform/host/HandleTable.h"
#include "platform/wince/PlatformIds.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// The platform's error codes the tests expect.
constexpr uint32_t kInvalidArgument = 10022;
constexpr uint32_t kBadAddress = 10014;
constexpr uint32_t kConnectionReset = 10054;
constexpr uint32_t kConnectionRefused = 10061;
constexpr uint32_t kHostNotFound = 11001;

// Every wait on the peer's side is bounded, so a broken socket fails a test
// instead of hanging it.
constexpr int kWaitMs = 2000;

bool waitFor(int fd, short events, int waitMs = kWaitMs)
{
    pollfd p{ fd, events, 0 };
    return poll(&p, 1, waitMs) == 1;
}

// A descriptor bound to a free port of 127.0.0.1; -1 on failure.
int bindLoopback(bool listening, uint16_t& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || (listening && listen(fd, 4) != 0)
        || getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(at.sin_port);
    return fd;
}

// The far end: a listener on 127.0.0.1 and the connections it accepted.
struct Peer {
    Peer() { listener = bindLoopback(true, port); }
    ~Peer()
    {
        for (int fd : fds)
            ::close(fd);
        ::close(listener);
    }
    int accept()
    {
        if (!waitFor(listener, POLLIN))
            return -1;
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            fds.push_back(fd);
        return fd;
    }
    void drop(int fd)
    {
        std::erase(fds, fd);
        ::close(fd);
    }

    int listener = -1;
    uint16_t port = 0;
    std::vector<int> fds;
};

bool readExactly(int fd, void* out, size_t n)
{
    auto* at = static_cast<char*>(out);
    while (n > 0) {
        if (!waitFor(fd, POLLIN))
            return false;
        const ssize_t got = ::recv(fd, at, n, 0);
        if (got <= 0)
            return false;
        at += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

// True when the far end reads the end of the data within the wait.
bool endOfData(int fd, int waitMs = kWaitMs)
{
    char c;
    return waitFor(fd, POLLIN, waitMs) && ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

// Updates until the request ends. Loopback settles within a few calls; the
// bound stops a request that never would.
int32_t settle(NetworkSocket& s)
{
    for (int i = 0; i < 2000 && s.isBusy(); ++i) {
        s.update(0);
        if (s.isBusy())
            poll(nullptr, 0, 1);
    }
    return s.getResult();
}

// The connect result once it is no longer under way.
int32_t connectTo(NetworkSocket& s, uint16_t port)
{
    const int32_t queued = s.connect("127.0.0.1", port, 0);
    return queued == SocketResult::Ok ? settle(s) : queued;
}

std::vector<uint8_t> pattern(size_t n, uint32_t seed)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>((i * seed) ^ (i >> 8));
    return bytes;
}

struct SocketTest : ::testing::Test {
    void SetUp() override { m_liveHandles = hostLiveHandleCount(); }
    void TearDown() override
    {
        net.reset();
        EXPECT_EQ(hostLiveHandleCount(), m_liveHandles) << "a socket was left open";
    }

    std::unique_ptr<NetworkSocket> net{ createSocket() };
    uint32_t m_liveHandles = 0;
};

TEST_F(SocketTest, TransfersMoveAtMost2048BytesAnUpdate)
{
    Peer peer;
    ASSERT_EQ(net->m_typeId, PlatformTypeId::Socket);
    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    // The would-block of the connect under way is no error of the request.
    EXPECT_EQ(net->getLastError(), 0u);
    const int fd = peer.accept();
    ASSERT_GE(fd, 0);

    const std::vector<uint8_t> out = pattern(5000, 7);
    EXPECT_EQ(net->send(nullptr, 10, 0), SocketResult::NothingQueued);
    EXPECT_EQ(net->send(out.data(), 0, 0), SocketResult::NothingQueued);
    ASSERT_EQ(net->send(out.data(), 5000, 0), SocketResult::Ok);
    EXPECT_EQ(net->getResult(), SocketResult::Busy);
    EXPECT_EQ(net->send(out.data(), 1, 0), SocketResult::Busy);
    for (int32_t sent : { 2048, 4096, 5000 }) {
        net->update(0);
        EXPECT_EQ(net->getTransferred(), sent);
    }
    EXPECT_TRUE(net->isBusy());
    net->update(0);
    EXPECT_FALSE(net->isBusy());
    EXPECT_EQ(net->getResult(), SocketResult::Ok);
    std::vector<uint8_t> arrived(5000);
    ASSERT_TRUE(readExactly(fd, arrived.data(), arrived.size()));
    EXPECT_EQ(arrived, out);

    // One receive per request: 5000 waiting bytes take three.
    const std::vector<uint8_t> back = pattern(5000, 13);
    ASSERT_EQ(::send(fd, back.data(), back.size(), 0), 5000);
    std::vector<uint8_t> in(5000);
    size_t at = 0;
    for (int32_t chunk : { 2048, 2048, 904 }) {
        ASSERT_EQ(net->receive(in.data() + at, static_cast<int32_t>(in.size() - at), 0), SocketResult::Ok);
        EXPECT_EQ(net->getBuffer(), in.data() + at);
        EXPECT_EQ(settle(*net), SocketResult::Ok);
        EXPECT_EQ(net->getTransferred(), chunk);
        at += static_cast<size_t>(chunk);
    }
    EXPECT_EQ(in, back);

    // Room for nothing reads nothing and keeps the connection.
    EXPECT_EQ(net->receive(nullptr, 10, 0), SocketResult::NothingQueued);
    ASSERT_EQ(net->receive(in.data(), 0, 0), SocketResult::Ok);
    EXPECT_EQ(settle(*net), SocketResult::Ok);
    EXPECT_EQ(net->getTransferred(), 0);

    // A receive waiting for data ends with the first that comes, and the
    // would-blocks before it leave no error behind.
    char buffer[100];
    ASSERT_EQ(net->receive(buffer, sizeof buffer, 0), SocketResult::Ok);
    net->update(0);
    EXPECT_TRUE(net->isBusy());
    ASSERT_EQ(::send(fd, "forty", 5, 0), 5);
    EXPECT_EQ(settle(*net), SocketResult::Ok);
    EXPECT_EQ(net->getTransferred(), 5);
    EXPECT_EQ(net->getLastError(), 0u);
}

TEST_F(SocketTest, RequestsThatCannotRunEndWithTheirCodes)
{
    uint16_t closedPort = 0;
    // Bound but not listening: the port stays ours and refuses connections.
    const int closed = bindLoopback(false, closedPort);
    ASSERT_GE(closed, 0);
    char buffer[8];
    struct Case {
        const char* what;
        std::function<int32_t(NetworkSocket&)> run;
        int32_t result;
        uint32_t lastError;
    };
    const Case cases[] = {
        { "a name no host can have", [](NetworkSocket& s) { return s.connect("no such host!", 80, 0); },
          SocketResult::HostNotFound, kHostNotFound },
        { "no name", [](NetworkSocket& s) { return s.connect(nullptr, 80, 0); }, SocketResult::HostNotFound,
          kBadAddress },
        { "a port beyond 16 bits",
          [&](NetworkSocket& s) { return s.connect("127.0.0.1", 0x10000u + closedPort, 0); },
          SocketResult::ConnectFailed, kInvalidArgument },
        { "a closed port", [&](NetworkSocket& s) { return connectTo(s, closedPort); }, SocketResult::ConnectFailed,
          kConnectionRefused },
        { "a send without a connection", [&](NetworkSocket& s) { return s.send(buffer, 8, 0); },
          SocketResult::Closed, 0 },
        { "a receive without a connection", [&](NetworkSocket& s) { return s.receive(buffer, 8, 0); },
          SocketResult::Closed, 0 },
    };
    for (const Case& c : cases) {
        std::unique_ptr<NetworkSocket> s(createSocket());
        EXPECT_EQ(c.run(*s), c.result) << c.what;
        EXPECT_EQ(s->getResult(), c.result) << c.what;
        EXPECT_EQ(s->getLastError(), c.lastError) << c.what;
        EXPECT_FALSE(s->isBusy()) << c.what;
    }
    ::close(closed);
}

TEST_F(SocketTest, ClosedConnectionsEndTheRequestAndTheSocketConnectsAgain)
{
    Peer peer;
    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    int fd = peer.accept();
    ASSERT_GE(fd, 0);
    peer.drop(fd);
    char buffer[16];
    ASSERT_EQ(net->receive(buffer, sizeof buffer, 0), SocketResult::Ok);
    EXPECT_EQ(settle(*net), SocketResult::Closed);
    EXPECT_EQ(net->send("x", 1, 0), SocketResult::Closed);

    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    fd = peer.accept();
    ASSERT_GE(fd, 0);
    net->close();
    EXPECT_TRUE(endOfData(fd));
    EXPECT_FALSE(net->isBusy());

    // Sending to a peer that has gone fails the request; it must not end
    // the process.
    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    fd = peer.accept();
    ASSERT_GE(fd, 0);
    peer.drop(fd);
    const std::vector<uint8_t> data = pattern(2048, 3);
    int32_t result = SocketResult::Ok;
    for (int i = 0; i < 50 && result == SocketResult::Ok; ++i) {
        ASSERT_EQ(net->send(data.data(), 2048, 0), SocketResult::Ok);
        result = settle(*net);
    }
    EXPECT_EQ(result, SocketResult::SendFailed);
    EXPECT_EQ(net->getLastError(), kConnectionReset);
}

TEST_F(SocketTest, ConnectingToTheSamePeerKeepsTheConnection)
{
    Peer peer;
    Peer other;
    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    const int first = peer.accept();
    ASSERT_GE(first, 0);

    EXPECT_EQ(net->connect("127.0.0.1", peer.port, 0), SocketResult::Ok);
    EXPECT_FALSE(net->isBusy());
    ASSERT_EQ(net->send("k", 1, 0), SocketResult::Ok);
    EXPECT_EQ(settle(*net), SocketResult::Ok);
    char c = 0;
    ASSERT_TRUE(readExactly(first, &c, 1));
    EXPECT_EQ(c, 'k');
    EXPECT_FALSE(waitFor(peer.listener, POLLIN, 0)) << "a second connection was made";

    ASSERT_EQ(connectTo(*net, other.port), SocketResult::Ok);
    EXPECT_TRUE(endOfData(first));
    EXPECT_GE(other.accept(), 0);
}

TEST_F(SocketTest, TimeLimitsAndTheIdlePeriodCountUpdateTime)
{
    Peer peer;
    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    int fd = peer.accept();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(net->send("a", 1, 0), SocketResult::Ok);
    ASSERT_EQ(settle(*net), SocketResult::Ok);
    char c;
    ASSERT_TRUE(readExactly(fd, &c, 1));
    net->update(29'999);
    EXPECT_FALSE(endOfData(fd, 0));
    net->update(1);
    EXPECT_TRUE(endOfData(fd));
    EXPECT_EQ(net->send("a", 1, 0), SocketResult::Closed);

    ASSERT_EQ(connectTo(*net, peer.port), SocketResult::Ok);
    fd = peer.accept();
    ASSERT_GE(fd, 0);
    char buffer[8];
    ASSERT_EQ(net->receive(buffer, sizeof buffer, 500), SocketResult::Ok);
    net->update(300);
    EXPECT_EQ(net->getResult(), SocketResult::Busy);
    net->update(300);
    EXPECT_EQ(net->getResult(), SocketResult::TimedOut);
    EXPECT_TRUE(endOfData(fd));
}

} // namespace
