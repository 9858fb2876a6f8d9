// A fake "TK-100" receiver for trying the console without the instrument: it answers a
// small command set over TCP and over a serial port and logs what it received.
//
//   fake_receiver.exe [--tcp <port>] [--port-file <file>] [--serial <COMn>]
//                     [--slow <ms>] [--log <file>]
//
// --tcp 0 takes a free port and writes its number to --port-file. Commands, one a line:
//   *IDN?        TK-100,0042,1.0
//   FREQ <MHz>   OK, or an error reply when the value is missing, no number or not 20..3000
//   FREQ?        the frequency set, "100.000" at first
//   MEAS?        a level in dBm, after --slow milliseconds (1500 by default)
//   other        {2,,wrong command}
// It runs until it is ended.
#include <winsock2.h>

#include <tarn_kit/comm_port.h>
#include <tarn_kit/exceptions.h>
#include <tarn_kit/log_file.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

using namespace tarn_kit;

namespace {

CLogFile g_log;
DWORD g_dwSlowMs = 1500;
std::mutex g_mutex; // the frequency is shared by every line
double g_dFreq = 100.0;

ustring Wide(const std::string& s)
{
    return ustring::MultiByteToWideChar(s, CP_UTF8, 0);
}

std::string Answer(const std::string& command)
{
    const std::string name = command.substr(0, command.find(' '));
    const std::string argument =
        name.size() < command.size() ? command.substr(name.size() + 1) : "";
    if (command == "*IDN?")
        return "TK-100,0042,1.0";
    if (command == "FREQ?") {
        std::lock_guard<std::mutex> lock(g_mutex);
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", g_dFreq);
        return text;
    }
    if (name == "FREQ") {
        if (argument.empty())
            return "{2,,1st parameter missed}";
        char* end = nullptr;
        const double mhz = std::strtod(argument.c_str(), &end);
        if (end == argument.c_str() || *end)
            return "{2,,wrong 1st parameter}";
        if (mhz < 20 || mhz > 3000)
            return "{2,,value out of range}";
        std::lock_guard<std::mutex> lock(g_mutex);
        g_dFreq = mhz;
        return "OK";
    }
    if (command == "MEAS?") {
        ::Sleep(g_dwSlowMs);
        return "-42.7 dBm";
    }
    return "{2,,wrong command}";
}

// Splits the bytes that arrive into lines and answers each; false when the line is gone.
class CLineServer
{
public:
    explicit CLineServer(const wchar_t* szWhere) : m_strWhere(szWhere) {}

    template <class Send>
    void Feed(const char* pData, unsigned n, Send send)
    {
        m_strPending.append(pData, n);
        std::string::size_type end;
        while ((end = m_strPending.find('\n')) != std::string::npos) {
            std::string command = m_strPending.substr(0, end);
            m_strPending.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r')
                command.pop_back();
            if (command.empty())
                continue;
            g_log.Write(L"%ls received: %ls", m_strWhere.c_str(), Wide(command).c_str());
            const std::string reply = Answer(command);
            g_log.Write(L"%ls replied: %ls", m_strWhere.c_str(), Wide(reply).c_str());
            send(reply + "\n");
        }
    }

private:
    ustring m_strWhere;
    std::string m_strPending;
};

void ServeClient(SOCKET s)
{
    CLineServer server(L"TCP");
    char buffer[256];
    int n;
    while ((n = ::recv(s, buffer, sizeof buffer, 0)) > 0)
        server.Feed(buffer, unsigned(n), [s](const std::string& reply) {
            ::send(s, reply.data(), int(reply.size()), 0);
        });
    g_log.Write(L"TCP client left");
    ::closesocket(s);
}

void ServeSerial(const std::wstring& port)
{
    try {
        CCommPort com((L"\\\\.\\" + port).c_str(), 0);
        DCB dcb = {};
        com.GetCommState(dcb);
        dcb.BaudRate = 9600;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
        com.SetCommState(dcb);
        // A read returns with the first bytes, or empty after a second.
        COMMTIMEOUTS t = {MAXDWORD, MAXDWORD, 1000, 0, 2000};
        com.SetCommTimeouts(t);
        g_log.Write(L"Serial line %ls open", port.c_str());
        CLineServer server(port.c_str());
        for (;;) {
            char buffer[256];
            unsigned n = 0;
            try {
                (void)com.Read(buffer, sizeof buffer, n);
            } catch (const CWinException& e) {
                if (e.GetErrorCode() != ERROR_TIMEOUT) // a time-out is no error
                    throw;
            }
            server.Feed(buffer, n, [&com](const std::string& reply) {
                unsigned nDone = 0;
                (void)com.Write(reply.data(), unsigned(reply.size()), nDone);
            });
        }
    } catch (const CStdException& e) {
        CStdException::CExInfo info(e);
        g_log.Write(L"Serial line %ls: %ls failed: %ls", port.c_str(), info.GetFunction().c_str(),
                    info.GetErrorMessage().c_str());
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring portFile, serial, logFile = L"fake_receiver.log";
    int nTcpPort = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--tcp")
            nTcpPort = _wtoi(argv[i + 1]);
        else if (option == L"--port-file")
            portFile = argv[i + 1];
        else if (option == L"--serial")
            serial = argv[i + 1];
        else if (option == L"--slow")
            g_dwSlowMs = DWORD(_wtoi(argv[i + 1]));
        else if (option == L"--log")
            logFile = argv[i + 1];
    }
    if (!g_log.Open(logFile.c_str()))
        std::fprintf(stderr, "fake_receiver: cannot open the log\n");
    g_log.Write(L"TK-100 fake receiver started");
    if (!serial.empty())
        std::thread(ServeSerial, serial).detach();

    WSADATA wsa;
    if (nTcpPort < 0 || ::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        ::Sleep(INFINITE); // serial only
        return 0;
    }
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(nTcpPort));
    int length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::fprintf(stderr, "fake_receiver: cannot listen: %d\n", ::WSAGetLastError());
        return 1;
    }
    const unsigned port = ntohs(address.sin_port);
    g_log.Write(L"Listening on 127.0.0.1:%u", port);
    std::printf("listening on 127.0.0.1:%u\n", port);
    std::fflush(stdout);
    if (!portFile.empty()) {
        // Written whole under a temporary name, so a reader never sees half a number.
        const std::wstring temp = portFile + L".tmp";
        if (FILE* f = _wfopen(temp.c_str(), L"w")) {
            std::fprintf(f, "%u\n", port);
            std::fclose(f);
            ::MoveFileExW(temp.c_str(), portFile.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    for (SOCKET s; (s = ::accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
        g_log.Write(L"TCP client connected");
        std::thread(ServeClient, s).detach();
    }
    ::closesocket(listener);
    ::WSACleanup();
    return 0;
}
