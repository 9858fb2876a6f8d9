// Sockets: CWSASocket over loopback against raw Winsock peers. Every failure is judged by
// the raw call on a raw socket in the same state, since Wine and Windows differ in codes.
#include <winsock2.h>

#include "test_common.h"

#include <tarn_kit/objects.h>
#include <tarn_kit/socket.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

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

bool ExpectLikeRaw(const wchar_t* call, const std::function<BOOL()>& raw,
                   const std::function<void()>& wrapped)
{
    return tarn_kit_test::ExpectLikeRaw(kSocket, call, raw, wrapped);
}

sockaddr_in Loopback(u_short port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

sockaddr* Sa(sockaddr_in& a)
{
    return reinterpret_cast<sockaddr*>(&a);
}

u_short PortOf(SOCKET s)
{
    sockaddr_in a = {};
    int n = sizeof a;
    ::getsockname(s, Sa(a), &n);
    return ntohs(a.sin_port);
}

// A raw socket bound to 127.0.0.1 on a free port; listening when it is a stream.
SOCKET Bound(int type, bool listening = true)
{
    SOCKET s = ::WSASocketW(AF_INET, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sockaddr_in a = Loopback(0);
    EXPECT_EQ(0, ::bind(s, Sa(a), sizeof a));
    if (type == SOCK_STREAM && listening) {
        EXPECT_EQ(0, ::listen(s, 4));
    }
    return s;
}

// Connects through dial to a fresh listener; returns the accepted peer.
SOCKET Accepted(const std::function<void(sockaddr_in&)>& dial)
{
    SOCKET listener = Bound(SOCK_STREAM);
    sockaddr_in a = Loopback(PortOf(listener));
    dial(a);
    SOCKET peer = ::accept(listener, nullptr, nullptr);
    ::closesocket(listener);
    return peer;
}

// A datagram socket of the library connected to a raw peer, which learnt its address from the
// first datagram ("*IDN?").
struct DatagramPair
{
    DatagramPair() : peer(Bound(SOCK_DGRAM))
    {
        sockaddr_in to = Loopback(PortOf(peer));
        sock.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        sock.ConnectLL(&to, sizeof to);
        unsigned int n = 0;
        EXPECT_TRUE(sock.Send("*IDN?", 5, n) && n == 5);
        char buffer[64];
        int got = ::recvfrom(peer, buffer, sizeof buffer, 0, Sa(from), &fromLength);
        first.assign(buffer, got > 0 ? got : 0);
    }
    ~DatagramPair() { ::closesocket(peer); }
    void Answer(const char* text)
    {
        ::sendto(peer, text, int(strlen(text)), 0, Sa(from), fromLength);
    }

    SOCKET peer;
    CWSASocket sock;
    sockaddr_in from = {};
    int fromLength = sizeof from;
    std::string first;
};

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
        m_peer = Accepted([this](sockaddr_in& a) {
            m_sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
            m_sock.ConnectLL(&a, sizeof a);
        });
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
        m_server = std::thread(ServeLines, m_peer);
        m_peer = INVALID_SOCKET;
    }

    void Send(const std::string& text)
    {
        unsigned int sent = 0;
        ASSERT_TRUE(m_sock.Send(text.data(), unsigned(text.size()), sent));
        ASSERT_EQ(text.size(), sent);
    }

    std::string Ask(const std::string& command)
    {
        Send(command + "\n");
        std::string line;
        char c = 0;
        unsigned int n = 0;
        DWORD flags = 0;
        while (m_sock.Recv(&c, 1, n, flags) && n == 1 && c != '\n')
            line += c;
        return line;
    }

    CWSASocket m_sock;
    SOCKET m_peer = INVALID_SOCKET;
    std::thread m_server;
};

} // namespace

TEST_F(CStreamTest, ExchangeSynchronouslyAndOverlapped)
{
    Serve();
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));

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
// stream, even though the socket was set to reset on close. Create over an owned socket closes
// it the same way.
TEST_F(CStreamTest, CloseAndCreateSendQueuedDataWhateverTheLingerSetting)
{
    const std::string data(64 * 1024, 'q');
    const linger abortive = {1, 0};
    linger back = {};
    m_sock.SetSockOptLL(SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    m_sock.GetSockOptLL(SOL_SOCKET, SO_LINGER, &back, sizeof back);
    EXPECT_EQ(1, back.l_onoff);
    Send(data);
    m_sock.Close();
    m_sock.Close(); // twice: nothing
    EXPECT_EQ(INVALID_SOCKET, SOCKET(m_sock));
    EXPECT_TRUE(Drain(m_peer) == data) << "after Close";
    ::closesocket(m_peer);
    m_peer = Accepted([&](sockaddr_in& a) {
        m_sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        m_sock.ConnectLL(&a, sizeof a);
        m_sock.SetSockOptLL(SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    });
    Send(data);
    m_sock.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    EXPECT_TRUE(Drain(m_peer) == data) << "after Create";
}

// The peer vanishes (reset) mid-exchange: a receive under way and the next calls fail as the
// raw calls do on a raw pair whose peer vanished the same way.
TEST_F(CStreamTest, PeerVanishingMidExchange)
{
    Serve();
    EXPECT_EQ("TK-100,0042,1.0", Ask("*IDN?"));

    SOCKET raw = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    SOCKET rawPeer = Accepted([raw](sockaddr_in& a) {
        ::WSAConnect(raw, Sa(a), sizeof a, nullptr, nullptr, nullptr, nullptr);
    });
    CWSAOverlapped rawOv, ov;
    char rawBuffer[8], buffer[8];
    WSABUF rawBuf = {sizeof rawBuffer, rawBuffer};
    DWORD rawN = 0, rawFlags = 0, flags = 0;
    unsigned int n = 0;
    ASSERT_EQ(SOCKET_ERROR, ::WSARecv(raw, &rawBuf, 1, &rawN, &rawFlags, &rawOv, nullptr));
    Vanish(rawPeer);
    ASSERT_FALSE(m_sock.Recv(buffer, sizeof buffer, n, flags, &ov));
    Send("VANISH\n");
    // The receive under way ends as the raw one does (Wine: success with 0 bytes), then
    // sending and receiving on a vanished peer.
    if (ExpectLikeRaw(
            L"WSAGetOverlappedResult",
            [&] { return ::WSAGetOverlappedResult(raw, &rawOv, &rawN, TRUE, &rawFlags); },
            [&] { EXPECT_TRUE(m_sock.GetOverlappedResult(&ov, n, TRUE, flags)); })) {
        EXPECT_EQ(rawN, n);
    }
    EXPECT_FALSE(ExpectLikeRaw(
        L"WSASend", [&] { return ::WSASend(raw, &rawBuf, 1, &rawN, 0, nullptr, nullptr) == 0; },
        [&] { (void)m_sock.Send(buffer, sizeof buffer, n); }));
    if (ExpectLikeRaw(
            L"WSARecv",
            [&] { return ::WSARecv(raw, &rawBuf, 1, &rawN, &rawFlags, nullptr, nullptr) == 0; },
            [&] { EXPECT_TRUE(m_sock.Recv(buffer, sizeof buffer, n, flags)); })) {
        EXPECT_EQ(rawN, n);
    }
    ::closesocket(raw);
}

TEST(CWSASocketTest, DatagramsSynchronouslyAndOverlapped)
{
    DatagramPair d;
    EXPECT_EQ("*IDN?", d.first);
    CWSAOverlapped ov;
    char buffer[64];
    unsigned int n = 0;
    DWORD flags = 0;
    ASSERT_FALSE(d.sock.Recv(buffer, sizeof buffer, n, flags, &ov));
    d.Answer("TK-100");
    ASSERT_TRUE(d.sock.GetOverlappedResult(&ov, n, TRUE, flags));
    EXPECT_EQ("TK-100", std::string(buffer, n));

    // A datagram larger than the buffer: the same failure as a raw socket's.
    SOCKET raw = Bound(SOCK_DGRAM, false);
    sockaddr_in rawAddress = Loopback(PortOf(raw));
    ::sendto(d.peer, "0123456789", 10, 0, Sa(rawAddress), sizeof rawAddress);
    d.Answer("0123456789");
    char small[4];
    WSABUF rawBuf = {sizeof small, small};
    DWORD rawN = 0, rawFlags = 0;
    flags = 0;
    EXPECT_FALSE(ExpectLikeRaw(
        L"WSARecv",
        [&] { return ::WSARecv(raw, &rawBuf, 1, &rawN, &rawFlags, nullptr, nullptr) == 0; },
        [&] { (void)d.sock.Recv(small, sizeof small, n, flags); }));
    ::closesocket(raw);
}

// Select: 0 polls, a finite limit is a limit also above 32 bits, 0xFFFFFFFF waits without
// one. A value cut to 32 bits would poll for 0x100000000 and miss the late datagram.
TEST(CWSASocketTest, SelectTimeouts)
{
    const struct
    {
        unsigned __int64 timeout;
        bool dataLater;
        int expected;
    } rows[] = {{0, true, 0},
                {300, false, 0},
                {1500, true, 1},
                {0xFFFFFFFFull, true, 1},
                {0x100000000ull, true, 1},
                {0x1000000000000ull, true, 1}};
    fd_set readSet, writeSet, exceptSet;
    for (const auto& r : rows) {
        DatagramPair d;
        std::thread later;
        if (r.dataLater)
            later = std::thread([&] {
                ::Sleep(100);
                d.Answer("y");
            });
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&exceptSet);
        FD_SET(SOCKET(d.sock), &readSet);
        EXPECT_EQ(r.expected, CWSASocket::Select(readSet, writeSet, exceptSet, r.timeout))
            << r.timeout;
        EXPECT_EQ(r.expected, int(readSet.fd_count)) << r.timeout;
        if (later.joinable())
            later.join();
    }
    FD_ZERO(&readSet);
    timeval zero = {};
    EXPECT_FALSE(ExpectLikeRaw(
        L"select",
        [&] { return ::select(0, &readSet, &writeSet, &exceptSet, &zero) != SOCKET_ERROR; },
        [&] { CWSASocket::Select(readSet, writeSet, exceptSet, 0); }));
}

// Every wrapper's failure: call name and the code a raw socket gets in the same state, once
// unconnected and once closed behind the wrapper's back.
TEST(CWSASocketTest, ErrorPathsLikeARawSocket)
{
    CWSASocket sock;
    EXPECT_FALSE(ExpectLikeRaw(
        L"WSASocket",
        [] { return ::WSASocketW(12345, SOCK_STREAM, 0, nullptr, 0, 0) != INVALID_SOCKET; },
        [&] { sock.Create(12345, SOCK_STREAM, 0, nullptr, 0, 0); }));
    EXPECT_FALSE(sock.IsCreated());

    // A bound socket that does not listen refuses connections.
    SOCKET closedDoor = Bound(SOCK_STREAM, false);
    sockaddr_in door = Loopback(PortOf(closedDoor));
    int bogus = 1;
    char* const opt = reinterpret_cast<char*>(&bogus);
    unsigned long arg = 0;
    char buffer[4];
    WSABUF buf = {sizeof buffer, buffer};
    DWORD n = 0, flags = 0;
    unsigned int un = 0;
    SOCKET raw = INVALID_SOCKET;
    const struct
    {
        const wchar_t* call;
        std::function<int()> raw; // SOCKET_ERROR on failure
        std::function<void()> wrapped;
    } rows[] = {
        {L"WSASend", [&] { return ::WSASend(raw, &buf, 1, &n, 0, nullptr, nullptr); },
         [&] { (void)sock.Send(buffer, sizeof buffer, un); }},
        {L"WSARecv", [&] { return ::WSARecv(raw, &buf, 1, &n, &flags, nullptr, nullptr); },
         [&] { (void)sock.Recv(buffer, sizeof buffer, un, flags); }},
        {L"shutdown", [&] { return ::shutdown(raw, SD_BOTH); }, [&] { sock.Shutdown(SD_BOTH); }},
        {L"setsockopt", [&] { return ::setsockopt(raw, SOL_SOCKET, 0x7777, opt, sizeof bogus); },
         [&] { sock.SetSockOptLL(SOL_SOCKET, 0x7777, &bogus, sizeof bogus); }},
        {L"getsockopt",
         [&] {
             int length = sizeof bogus;
             return ::getsockopt(raw, SOL_SOCKET, 0x7777, opt, &length);
         },
         [&] { sock.GetSockOptLL(SOL_SOCKET, 0x7777, &bogus, sizeof bogus); }},
        {L"ioctlsocket", [&] { return ::ioctlsocket(raw, 0x7777, &arg); },
         [&] { sock.IoctlSocket(0x7777, arg); }},
        {L"WSAConnect",
         [&] {
             return ::WSAConnect(raw, Sa(door), sizeof door, nullptr, nullptr, nullptr, nullptr);
         },
         [&] { sock.ConnectLL(&door, sizeof door); }},
    };
    sock.Create(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    raw = ::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    for (const auto& r : rows) // unconnected (Wine and Windows differ on the codes)
        EXPECT_FALSE(ExpectLikeRaw(
            r.call, [&] { return r.raw() == 0; }, r.wrapped));
    ::closesocket(raw);

    // Non-blocking: the connect that would block throws as well.
    SOCKET listener = Bound(SOCK_STREAM);
    door = Loopback(PortOf(listener));
    unsigned long on = 1;
    raw = ::WSASocketW(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    ::ioctlsocket(raw, FIONBIO, &on);
    sock.Create(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sock.IoctlSocket(FIONBIO, on);
    EXPECT_FALSE(ExpectLikeRaw(
        rows[6].call, [&] { return rows[6].raw() == 0; }, rows[6].wrapped));
    ::closesocket(raw);
    ::closesocket(listener);
    ::closesocket(closedDoor);

    // Closed behind the wrapper's back: every call fails like the raw call on that value,
    // and Close reports the option that it can no longer set, leaving the object empty.
    // (No socket is created meanwhile: Wine hands out a freed value again at once.)
    raw = sock;
    ASSERT_EQ(0, ::closesocket(raw));
    for (const auto& r : rows)
        EXPECT_FALSE(ExpectLikeRaw(
            r.call, [&] { return r.raw() == 0; }, r.wrapped));
    BOOL on4 = TRUE;
    EXPECT_FALSE(ExpectLikeRaw(
        L"setsockopt",
        [&] {
            return ::setsockopt(raw, SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<char*>(&on4),
                                sizeof on4) == 0;
        },
        [&] { sock.Close(); }));
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
