// Sockets: CWSASocket over loopback against raw Winsock peers. Every failure is judged by
// the raw call on a raw socket in the same state, since Wine and Windows differ in codes.
#include <winsock2.h>

#include "test_common.h"

#include <tarn_kit/objects.h>
#include <tarn_kit/socket.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace tarn_kit;

namespace {

const wchar_t* const kSocket = L".\\Socket";

// Winsock for the whole program, as an application starts it.
const struct WinsockUp
{
    WinsockUp()
    {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUp() { ::WSACleanup(); }
} kWinsock;

sockaddr_in Loopback(u_short port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

u_short PortOf(SOCKET s)
{
    sockaddr_in a = {};
    int n = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

// A raw socket bound to 127.0.0.1 on a free port; listening when it is a stream.
SOCKET Bound(int type, bool listening = true)
{
    SOCKET s = ::WSASocketW(AF_INET, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sockaddr_in a = Loopback(0);
    EXPECT_EQ(0, ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a));
    if (type == SOCK_STREAM && listening) {
        EXPECT_EQ(0, ::listen(s, 4));
    }
    return s;
}

// The wrapper fails exactly when the raw call fails on a raw socket in the same state.
void ExpectLikeRaw(const wchar_t* call, const std::function<bool()>& rawFails,
                   const std::function<void()>& wrapped)
{
    ::WSASetLastError(0);
    ASSERT_TRUE(rawFails()) << "the raw call was expected to fail";
    int code = ::WSAGetLastError();
    EXPECT_WIN_EXCEPTION(wrapped(), kSocket, call, code);
}

// Ends a socket at once with a reset instead of a graceful close: the peer vanishes.
void Vanish(SOCKET s)
{
    linger l = {1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    ::closesocket(s);
}

// The whole stream until the peer closes it, or until a reset.
std::string Drain(SOCKET s)
{
    std::string all;
    char buffer[4096];
    int n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
        all.append(buffer, n);
    return n == 0 ? all : all + "<reset>";
}

// The scripted receiver on the peer's end: one line per command, as on the serial line.
void ServeLines(SOCKET s)
{
    std::string pending;
    char buffer[512];
    int n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0) {
        pending.append(buffer, n);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end), reply;
            pending.erase(0, end + 1);
            if (line == "*IDN?")
                reply = "TK-100,0042,1.0";
            else if (line.rfind("ECHO ", 0) == 0)
                reply = line.substr(5);
            else if (line.rfind("LATER ", 0) == 0) {
                std::size_t space = line.find(' ', 6);
                ::Sleep(std::stoul(line.substr(6, space - 6)));
                reply = line.substr(space + 1);
            } else if (line == "VANISH") {
                Vanish(s);
                return;
            } else
                reply = "{2,,wrong command}";
            reply += '\n';
            ::send(s, reply.data(), int(reply.size()), 0);
        }
    }
    ::closesocket(s);
}

// A stream socket of the library connected to a raw one.
class CStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SOCKET listener = Bound(SOCK_STREAM);
        sockaddr_in a = Loopback(PortOf(listener));
        m_sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        m_sock.ConnectLL(&a, sizeof a);
        m_peer = ::accept(listener, nullptr, nullptr);
        ::closesocket(listener);
        ASSERT_NE(INVALID_SOCKET, m_peer);
    }
    void TearDown() override
    {
        m_sock.Close(); // ends the receiver's stream, also after a failed assertion
        if (m_server.joinable())
            m_server.join();
        else if (m_peer != INVALID_SOCKET)
            ::closesocket(m_peer);
    }

    void Serve()
    {
        SOCKET peer = m_peer;
        m_peer = INVALID_SOCKET;
        m_server = std::thread(ServeLines, peer);
    }

    void Send(const std::string& text)
    {
        unsigned int sent = 0;
        ASSERT_TRUE(m_sock.Send(text.data(), unsigned(text.size()), sent));
        ASSERT_EQ(text.size(), sent);
    }

    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        unsigned int n = 0;
        DWORD flags = 0;
        while (m_sock.Recv(&c, 1, n, flags) && n == 1 && c != '\n')
            line += c;
        return line;
    }

    std::string Ask(const std::string& command)
    {
        Send(command + "\n");
        return ReadLine();
    }

    CWSASocket m_sock;
    SOCKET m_peer = INVALID_SOCKET;
    std::thread m_server;
};

// A raw stream pair in the same state as the fixture's, for judging.
struct RawPair
{
    RawPair()
    {
        SOCKET listener = Bound(SOCK_STREAM);
        sockaddr_in a = Loopback(PortOf(listener));
        mine = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        ::WSAConnect(mine, reinterpret_cast<sockaddr*>(&a), sizeof a, nullptr, nullptr, nullptr,
                     nullptr);
        peer = ::accept(listener, nullptr, nullptr);
        ::closesocket(listener);
    }
    ~RawPair()
    {
        ::closesocket(mine);
        if (peer != INVALID_SOCKET)
            ::closesocket(peer);
    }
    SOCKET mine, peer;
};

} // namespace

TEST_F(CStreamTest, ExchangeSynchronouslyAndOverlapped)
{
    Serve();
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));
    EXPECT_EQ("{2,,wrong command}", Ask("FREQ MAX"));

    // A receive posted before anything was asked cannot have completed.
    CWSAOverlapped recvOv, sendOv;
    char buffer[16] = {};
    unsigned int n = 99;
    DWORD flags = 0;
    ASSERT_FALSE(m_sock.Recv(buffer, sizeof buffer, n, flags, &recvOv));
    EXPECT_FALSE(m_sock.GetOverlappedResult(&recvOv, n, FALSE, flags));
    const std::string command = "LATER 50 overlapped\n";
    if (!m_sock.Send(command.data(), unsigned(command.size()), n, 0, &sendOv)) {
        ASSERT_TRUE(m_sock.GetOverlappedResult(&sendOv, n, TRUE, flags));
    }
    EXPECT_EQ(command.size(), n);
    ASSERT_TRUE(m_sock.GetOverlappedResult(&recvOv, n, TRUE, flags));
    EXPECT_EQ("overlapped\n", std::string(buffer, n));
}

// Shutdown of the sending side: the peer sees end of stream and can still answer.
TEST_F(CStreamTest, ShutdownSendEndsThePeersStreamOnly)
{
    Send("last words");
    m_sock.Shutdown(SD_SEND);
    EXPECT_EQ("last words", Drain(m_peer));
    ::send(m_peer, "bye", 3, 0);
    ::closesocket(m_peer);
    m_peer = INVALID_SOCKET;
    char buffer[8];
    unsigned int n = 0;
    DWORD flags = 0;
    EXPECT_TRUE(m_sock.Recv(buffer, sizeof buffer, n, flags));
    EXPECT_EQ("bye", std::string(buffer, n));
    EXPECT_TRUE(m_sock.Recv(buffer, sizeof buffer, n, flags));
    EXPECT_EQ(0u, n); // the peer closed its side
}

// Close turns lingering off: data still queued reaches the peer, followed by a clean end of
// stream, even though the socket was set to reset on close.
TEST_F(CStreamTest, CloseSendsQueuedDataWhateverTheLingerSetting)
{
    const std::string data(64 * 1024, 'q');
    const linger abortive = {1, 0};
    m_sock.SetSockOptLL(SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    linger back = {};
    m_sock.GetSockOptLL(SOL_SOCKET, SO_LINGER, &back, sizeof back);
    EXPECT_EQ(1, back.l_onoff);
    Send(data);
    m_sock.Close();
    EXPECT_FALSE(m_sock.IsCreated());
    EXPECT_EQ(INVALID_SOCKET, SOCKET(m_sock));
    std::string got = Drain(m_peer);
    EXPECT_TRUE(got == data) << got.size() << " bytes: " << got.substr(data.size() - 10);
    m_sock.Close(); // twice: nothing
    EXPECT_FALSE(m_sock.IsCreated());
}

// Create on an object that owns a socket closes that socket first.
TEST_F(CStreamTest, CreateClosesTheSocketOwnedBefore)
{
    Send("first");
    m_sock.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    EXPECT_TRUE(m_sock.IsCreated());
    EXPECT_EQ("first", Drain(m_peer));
}

// The peer vanishes (reset) mid-exchange: a receive under way and the next calls fail as the
// raw calls do on a raw pair whose peer vanished the same way.
TEST_F(CStreamTest, PeerVanishingMidExchange)
{
    Serve();
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));

    RawPair raw;
    CWSAOverlapped rawOv;
    char rawBuffer[8];
    WSABUF rawBuf = {sizeof rawBuffer, rawBuffer};
    DWORD rawN = 0, rawFlags = 0;
    ASSERT_EQ(SOCKET_ERROR, ::WSARecv(raw.mine, &rawBuf, 1, &rawN, &rawFlags, &rawOv, nullptr));
    Vanish(raw.peer);
    raw.peer = INVALID_SOCKET;

    CWSAOverlapped ov;
    char buffer[8];
    unsigned int n = 0;
    DWORD flags = 0;
    ASSERT_FALSE(m_sock.Recv(buffer, sizeof buffer, n, flags, &ov));
    Send("VANISH\n");
    // The receive under way ends as the raw one does (Wine: success with 0 bytes).
    ::WSASetLastError(0);
    BOOL rawOk = ::WSAGetOverlappedResult(raw.mine, &rawOv, &rawN, TRUE, &rawFlags);
    int rawCode = ::WSAGetLastError();
    if (rawOk) {
        EXPECT_TRUE(m_sock.GetOverlappedResult(&ov, n, TRUE, flags));
        EXPECT_EQ(rawN, n);
    } else {
        EXPECT_WIN_EXCEPTION((void)m_sock.GetOverlappedResult(&ov, n, TRUE, flags), kSocket,
                             L"WSAGetOverlappedResult", rawCode);
    }
    // Sending to a vanished peer fails; the raw socket shows with which code.
    ExpectLikeRaw(
        L"WSASend",
        [&] { return ::WSASend(raw.mine, &rawBuf, 1, &rawN, 0, nullptr, nullptr) == SOCKET_ERROR; },
        [&] { (void)m_sock.Send(buffer, sizeof buffer, n); });
    ::WSASetLastError(0);
    int rawResult = ::WSARecv(raw.mine, &rawBuf, 1, &rawN, &rawFlags, nullptr, nullptr);
    rawCode = ::WSAGetLastError();
    if (rawResult == 0) {
        EXPECT_TRUE(m_sock.Recv(buffer, sizeof buffer, n, flags));
        EXPECT_EQ(rawN, n);
    } else {
        EXPECT_WIN_EXCEPTION((void)m_sock.Recv(buffer, sizeof buffer, n, flags), kSocket,
                             L"WSARecv", rawCode);
    }
}

TEST(CWSASocketTest, DatagramsSynchronouslyAndOverlapped)
{
    SOCKET peer = Bound(SOCK_DGRAM);
    sockaddr_in to = Loopback(PortOf(peer));
    CWSASocket sock;
    sock.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sock.ConnectLL(&to, sizeof to);
    unsigned int n = 0;
    ASSERT_TRUE(sock.Send("*IDN?", 5, n));
    EXPECT_EQ(5u, n);
    char buffer[64];
    sockaddr_in from = {};
    int fromLength = sizeof from;
    int got =
        ::recvfrom(peer, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    EXPECT_EQ("*IDN?", std::string(buffer, got > 0 ? got : 0));

    CWSAOverlapped ov;
    DWORD flags = 0;
    ASSERT_FALSE(sock.Recv(buffer, sizeof buffer, n, flags, &ov));
    ::sendto(peer, "TK-100", 6, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    ASSERT_TRUE(sock.GetOverlappedResult(&ov, n, TRUE, flags));
    EXPECT_EQ("TK-100", std::string(buffer, n));

    // A datagram larger than the buffer: the same failure as a raw socket's.
    SOCKET raw = Bound(SOCK_DGRAM, false);
    sockaddr_in rawAddress = Loopback(PortOf(raw));
    ::sendto(peer, "0123456789", 10, 0, reinterpret_cast<sockaddr*>(&rawAddress),
             sizeof rawAddress);
    ::sendto(peer, "0123456789", 10, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    char small[4];
    WSABUF rawBuf = {sizeof small, small};
    DWORD rawN = 0, rawFlags = 0;
    flags = 0;
    ExpectLikeRaw(
        L"WSARecv",
        [&] {
            return ::WSARecv(raw, &rawBuf, 1, &rawN, &rawFlags, nullptr, nullptr) == SOCKET_ERROR;
        },
        [&] { (void)sock.Recv(small, sizeof small, n, flags); });
    ::closesocket(raw);
    ::closesocket(peer);
}

// Select: 0 polls, a finite limit is a limit also above 32 bits, 0xFFFFFFFF waits without
// one. A value cut to 32 bits would poll for 0x100000000 and miss the late datagram.
TEST(CWSASocketTest, SelectTimeouts)
{
    struct Row
    {
        unsigned __int64 timeout;
        bool dataLater;
        int expected;
    } rows[] = {{0, false, 0},
                {0, true, 0},
                {300, false, 0},
                {1500, true, 1},
                {0xFFFFFFFFull, true, 1},
                {0x100000000ull, true, 1},
                {0x1000000000000ull, true, 1}};
    for (const Row& r : rows) {
        SOCKET peer = Bound(SOCK_DGRAM);
        CWSASocket sock;
        sock.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        sockaddr_in a = Loopback(PortOf(peer));
        sock.ConnectLL(&a, sizeof a);
        unsigned int n = 0;
        ASSERT_TRUE(sock.Send("x", 1, n)); // the peer learns where to answer
        char c;
        sockaddr_in from = {};
        int fromLength = sizeof from;
        ::recvfrom(peer, &c, 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        std::thread later;
        if (r.dataLater)
            later = std::thread([&] {
                ::Sleep(100);
                ::sendto(peer, "y", 1, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
            });
        fd_set readSet, writeSet, exceptSet;
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&exceptSet);
        FD_SET(SOCKET(sock), &readSet);
        EXPECT_EQ(r.expected, CWSASocket::Select(readSet, writeSet, exceptSet, r.timeout))
            << r.timeout;
        EXPECT_EQ(r.expected, int(readSet.fd_count)) << r.timeout;
        if (later.joinable())
            later.join();
        ::closesocket(peer);
    }

    fd_set empty1, empty2, empty3;
    FD_ZERO(&empty1);
    FD_ZERO(&empty2);
    FD_ZERO(&empty3);
    timeval zero = {};
    ExpectLikeRaw(
        L"select", [&] { return ::select(0, &empty1, &empty2, &empty3, &zero) == SOCKET_ERROR; },
        [&] { CWSASocket::Select(empty1, empty2, empty3, 0); });
}

// Every wrapper's failure: call name and the code a raw socket gets in the same state.
TEST(CWSASocketTest, ErrorPathsLikeARawSocket)
{
    CWSASocket sock;
    ExpectLikeRaw(
        L"WSASocket",
        [] {
            SOCKET s = ::WSASocketW(12345, SOCK_STREAM, 0, nullptr, 0, 0);
            return s == INVALID_SOCKET;
        },
        [&] { sock.Create(12345, SOCK_STREAM, 0, nullptr, 0, 0); });
    EXPECT_FALSE(sock.IsCreated());

    // A bound socket that does not listen refuses connections.
    SOCKET closedDoor = Bound(SOCK_STREAM, false);
    sockaddr_in door = Loopback(PortOf(closedDoor));
    SOCKET raw = ::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sock.Create(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);

    int bogus = 1;
    unsigned long arg = 0;
    char buffer[4];
    WSABUF buf = {sizeof buffer, buffer};
    DWORD n = 0, flags = 0;
    unsigned int un = 0;
    // Unconnected: send, receive and shutdown fail (Wine and Windows differ on the codes).
    ExpectLikeRaw(
        L"WSASend",
        [&] { return ::WSASend(raw, &buf, 1, &n, 0, nullptr, nullptr) == SOCKET_ERROR; },
        [&] { (void)sock.Send(buffer, sizeof buffer, un); });
    ExpectLikeRaw(
        L"WSARecv",
        [&] { return ::WSARecv(raw, &buf, 1, &n, &flags, nullptr, nullptr) == SOCKET_ERROR; },
        [&] { (void)sock.Recv(buffer, sizeof buffer, un, flags); });
    ExpectLikeRaw(
        L"shutdown", [&] { return ::shutdown(raw, SD_BOTH) == SOCKET_ERROR; },
        [&] { sock.Shutdown(SD_BOTH); });
    ExpectLikeRaw(
        L"setsockopt",
        [&] {
            return ::setsockopt(raw, SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&bogus),
                                sizeof bogus) == SOCKET_ERROR;
        },
        [&] { sock.SetSockOptLL(SOL_SOCKET, 0x7777, &bogus, sizeof bogus); });
    ExpectLikeRaw(
        L"getsockopt",
        [&] {
            int length = sizeof bogus;
            return ::getsockopt(raw, SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&bogus),
                                &length) == SOCKET_ERROR;
        },
        [&] { sock.GetSockOptLL(SOL_SOCKET, 0x7777, &bogus, sizeof bogus); });
    ExpectLikeRaw(
        L"ioctlsocket", [&] { return ::ioctlsocket(raw, 0x7777, &arg) == SOCKET_ERROR; },
        [&] { sock.IoctlSocket(0x7777, arg); });
    ExpectLikeRaw(
        L"WSAConnect",
        [&] {
            return ::WSAConnect(raw, reinterpret_cast<sockaddr*>(&door), sizeof door, nullptr,
                                nullptr, nullptr, nullptr) == SOCKET_ERROR;
        },
        [&] { sock.ConnectLL(&door, sizeof door); });

    // Non-blocking: the connect that would block throws as well.
    SOCKET listener = Bound(SOCK_STREAM);
    sockaddr_in open = Loopback(PortOf(listener));
    unsigned long on = 1;
    ::closesocket(raw);
    raw = ::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    ::ioctlsocket(raw, FIONBIO, &on);
    sock.Create(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sock.IoctlSocket(FIONBIO, on);
    ExpectLikeRaw(
        L"WSAConnect",
        [&] {
            return ::WSAConnect(raw, reinterpret_cast<sockaddr*>(&open), sizeof open, nullptr,
                                nullptr, nullptr, nullptr) == SOCKET_ERROR;
        },
        [&] { sock.ConnectLL(&open, sizeof open); });
    ::closesocket(raw);
    ::closesocket(listener);
    ::closesocket(closedDoor);

    // Closed behind the wrapper's back: every call fails like the raw call on that value,
    // and Close reports the option that it can no longer set, leaving the object empty.
    // (No socket is created meanwhile: Wine hands out a freed value again at once.)
    SOCKET dead = sock;
    ASSERT_EQ(0, ::closesocket(dead));
    std::vector<std::pair<const wchar_t*, std::function<bool()>>> rawCalls = {
        {L"shutdown", [&] { return ::shutdown(dead, SD_BOTH) == SOCKET_ERROR; }},
        {L"setsockopt",
         [&] {
             return ::setsockopt(dead, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&bogus),
                                 sizeof bogus) == SOCKET_ERROR;
         }},
        {L"ioctlsocket", [&] { return ::ioctlsocket(dead, FIONREAD, &arg) == SOCKET_ERROR; }},
        {L"WSASend",
         [&] { return ::WSASend(dead, &buf, 1, &n, 0, nullptr, nullptr) == SOCKET_ERROR; }},
        {L"WSARecv",
         [&] { return ::WSARecv(dead, &buf, 1, &n, &flags, nullptr, nullptr) == SOCKET_ERROR; }},
    };
    std::vector<std::function<void()>> wrapped = {
        [&] { sock.Shutdown(SD_BOTH); },
        [&] { sock.SetSockOptLL(SOL_SOCKET, SO_KEEPALIVE, &bogus, sizeof bogus); },
        [&] { sock.IoctlSocket(FIONREAD, arg); },
        [&] { (void)sock.Send(buffer, sizeof buffer, un); },
        [&] { (void)sock.Recv(buffer, sizeof buffer, un, flags); },
    };
    for (std::size_t i = 0; i < wrapped.size(); ++i)
        ExpectLikeRaw(rawCalls[i].first, rawCalls[i].second, wrapped[i]);
    BOOL on4 = TRUE;
    ExpectLikeRaw(
        L"setsockopt",
        [&] {
            return ::setsockopt(dead, SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<char*>(&on4),
                                sizeof on4) == SOCKET_ERROR;
        },
        [&] { sock.Close(); });
    EXPECT_FALSE(sock.IsCreated());
    sock.Close(); // empty now: nothing
}

// 10,000 sockets created and closed lose no handle slot; the destructor closes too.
TEST(CWSASocketTest, CreateCloseCyclesLoseNoHandle)
{
    tarn_kit_test::ExpectNoHandleLeak([] {
        for (int i = 0; i < 5; ++i) {
            CWSASocket a, b;
            a.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
            a.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, 0); // over the first
            a.Close();
            b.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0); // closed by ~CWSASocket
        }
    });
}
