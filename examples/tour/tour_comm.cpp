// Tour: a short exchange with a receiver over loopback TCP. A background thread plays the
// receiver "TK-100"; its error replies such as "{2,,value out of range}" become
// CCommException, whose user text the application shows.
#include <winsock2.h>

#include "tour.h"

#include <tarn_kit/exceptions.h>
#include <tarn_kit/socket.h>

#include <cstdio>
#include <string>
#include <thread>

using namespace tarn_kit;

namespace {

// The receiver: one reply line per command line, until the client closes.
void PlayReceiver(SOCKET s)
{
    std::string pending, freq = "100.0";
    char buffer[256];
    int n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0) {
        pending.append(buffer, n);
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string command = pending.substr(0, end), reply;
            pending.erase(0, end + 1);
            if (command == "*IDN?")
                reply = "TK-100,0042,1.0";
            else if (command == "FREQ?")
                reply = freq;
            else if (command.rfind("FREQ ", 0) == 0) {
                double mhz = std::atof(command.c_str() + 5);
                if (mhz < 20 || mhz > 3000)
                    reply = "{2,,value out of range}";
                else {
                    freq = command.substr(5);
                    reply = "OK";
                }
            } else
                reply = "{2,,wrong command}";
            reply += '\n';
            ::send(s, reply.data(), int(reply.size()), 0);
        }
    }
    ::closesocket(s);
}

// Sends one command and returns the reply line; an error reply throws CCommException.
std::string Ask(CWSASocket& sock, const std::string& command)
{
    std::string line = command + "\n", reply;
    unsigned int n = 0;
    (void)sock.Send(line.data(), unsigned(line.size()), n);
    char c = 0;
    DWORD flags = 0;
    while (sock.Recv(&c, 1, n, flags) && n == 1 && c != '\n')
        reply += c;
    std::printf("  > %-12s < %s\n", command.c_str(), reply.c_str());
    if (!reply.empty() && reply.front() == '{')
        throw CCommException(__LINE__, L".\\tour_comm", L"Ask",
                             ustring::MultiByteToWideChar(reply, CP_UTF8, 0), L"Receiver");
    return reply;
}

} // namespace

void TourComm()
{
    std::printf("\n== Sockets: a receiver over loopback TCP\n\n");
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;

    // The receiver listens on a free port of 127.0.0.1 and serves one connection.
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 1);
    std::thread receiver([listener] { PlayReceiver(::accept(listener, nullptr, nullptr)); });

    try {
        CWSASocket sock;
        sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        sock.ConnectLL(&address, sizeof address);
        Ask(sock, "*IDN?");
        Ask(sock, "FREQ 100.5");
        Ask(sock, "FREQ?");
        try {
            Ask(sock, "FREQ 9000");
        } catch (const CStdException& e) {
            CStdException::CExInfo info(e);
            std::printf("  %s says: %s (reply %s)\n", U8(info.GetSource()).c_str(),
                        U8(info.GetErrorMessageUI()).c_str(), U8(info.GetErrorMessage()).c_str());
        }
        // Close sends what is still queued and ends the stream; the receiver then stops.
    } catch (const CWinException& e) {
        CStdException::CExInfo info(e);
        std::printf("  %s failed: %s\n", U8(info.GetFunction()).c_str(),
                    U8(info.GetErrorMessageUI()).c_str());
    }
    receiver.join();
    ::closesocket(listener);

    // A connection nobody accepts: the failure names the call and the system's text.
    CWSASocket sock;
    try {
        sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        sock.ConnectLL(&address, sizeof address); // the listener is gone
    } catch (const CWinException& e) {
        CStdException::CExInfo info(e);
        std::printf("  %s from %s: error %lu, %s\n", U8(info.GetFunction()).c_str(),
                    U8(info.GetFileName()).c_str(), e.GetErrorCode(),
                    U8(info.GetErrorMessageUI()).c_str());
    }
    sock.Close();
    ::WSACleanup();
}
