// Benchmarks: request/reply round trips with a receiver over loopback TCP and over the test
// serial line (COM5, see scripts/serial-line.sh), through the library and through raw calls.
#include <winsock2.h>

#include "bench.h"

#include <tarn_kit/comm_port.h>
#include <tarn_kit/socket.h>

#include <cstring>
#include <functional>
#include <thread>

using namespace tarn_kit;

namespace {

const char kCommand[] = "*IDN?\n";
const unsigned int kCommandSize = sizeof kCommand - 1;

// Round trips per second of exchange(), best of three runs of about a second each.
double RoundTripsPerSecond(const std::function<void()>& exchange)
{
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        CBenchTimer t;
        int n = 0;
        do {
            exchange();
            ++n;
        } while (t.Seconds() < 1.0);
        double rate = n / t.Seconds();
        if (rate > best)
            best = rate;
    }
    return best;
}

void Row(const char* what, double rate)
{
    std::printf("  %-44s %9.0f round trips/s  %7.1f us each\n", what, rate, 1e6 / rate);
}

// Receiver thread: answers every line with the identification.
void Receiver(SOCKET s)
{
    const char reply[] = "TK-100,0042,1.0\n";
    char buffer[256];
    int n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
        for (int i = 0; i < n; ++i)
            if (buffer[i] == '\n')
                ::send(s, reply, sizeof reply - 1, 0);
    ::closesocket(s);
}

// A connected pair: the client socket (raw) and a receiver thread on the far end.
SOCKET Connect(sockaddr_in& address, SOCKET listener, std::thread& receiver, bool raw,
               CWSASocket& lib)
{
    SOCKET s = INVALID_SOCKET;
    if (raw) {
        s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
        ::WSAConnect(s, reinterpret_cast<sockaddr*>(&address), sizeof address, nullptr, nullptr,
                     nullptr, nullptr);
    } else {
        lib.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
        lib.ConnectLL(&address, sizeof address);
        s = lib;
    }
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    SOCKET peer = ::accept(listener, nullptr, nullptr);
    ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    receiver = std::thread(Receiver, peer);
    return s;
}

void BenchTcp()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 2);

    for (int round = 0; round < 2; ++round) {
        {
            CWSASocket sock;
            std::thread receiver;
            Connect(address, listener, receiver, false, sock);
            char reply[64];
            Row("TCP loopback, CWSASocket Send/Recv", RoundTripsPerSecond([&] {
                    unsigned int n = 0;
                    DWORD flags = 0;
                    (void)sock.Send(kCommand, kCommandSize, n);
                    do {
                        (void)sock.Recv(reply, sizeof reply, n, flags);
                    } while (n > 0 && reply[n - 1] != '\n');
                }));
            sock.Close();
            receiver.join();
        }
        {
            CWSASocket unused;
            std::thread receiver;
            SOCKET s = Connect(address, listener, receiver, true, unused);
            char reply[64];
            Row("TCP loopback, raw WSASend/WSARecv", RoundTripsPerSecond([&] {
                    WSABUF out = {kCommandSize, const_cast<char*>(kCommand)};
                    WSABUF in = {sizeof reply, reply};
                    DWORD n = 0, flags = 0;
                    ::WSASend(s, &out, 1, &n, 0, nullptr, nullptr);
                    do {
                        flags = 0;
                        ::WSARecv(s, &in, 1, &n, &flags, nullptr, nullptr);
                    } while (n > 0 && reply[n - 1] != '\n');
                }));
            ::closesocket(s);
            receiver.join();
        }
    }
    ::closesocket(listener);
    ::WSACleanup();
}

void BenchSerial()
{
    CCommPort port;
    try {
        port.Open(L"COM5", 0);
    } catch (const CWinException& e) {
        std::printf("  serial: COM5 cannot be opened (error %lu), no test serial line\n",
                    e.GetErrorCode());
        return;
    }
    // A read returns 1 ms after the bytes stop coming (Wine does not honour the
    // return-at-once form MAXDWORD, MAXDWORD, n: every read then waits the full n).
    COMMTIMEOUTS to = {1, 0, 2000, 0, 0};
    port.SetCommTimeouts(to);
    port.PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR);
    char reply[64];
    for (int round = 0; round < 2; ++round) {
        Row("pty serial line, CCommPort Write/Read", RoundTripsPerSecond([&] {
                unsigned int n = 0;
                (void)port.Write(kCommand, kCommandSize, n);
                do {
                    (void)port.Read(reply, sizeof reply, n);
                } while (n > 0 && reply[n - 1] != '\n');
            }));
        HANDLE h = port;
        Row("pty serial line, raw WriteFile/ReadFile", RoundTripsPerSecond([&] {
                DWORD n = 0;
                ::WriteFile(h, kCommand, kCommandSize, &n, nullptr);
                do {
                    ::ReadFile(h, reply, sizeof reply, &n, nullptr);
                } while (n > 0 && reply[n - 1] != '\n');
            }));
    }
}

} // namespace

void BenchComm()
{
    std::printf("\ncomm (request \"*IDN?\", reply \"TK-100,0042,1.0\")\n");
    BenchTcp();
    BenchSerial();
}
