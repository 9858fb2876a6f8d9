// Serial and TCP lines. Both use overlapped I/O so that a silent receiver costs a
// time-out, never a hung thread.
#include "connection.h"

#include "resource.h"

#include <tarn_kit/exceptions.h>

#include <ws2tcpip.h>

#include <algorithm>

using namespace tarn_kit;

void ThrowWin(unsigned nLine, const wchar_t* szCall, DWORD dwCode)
{
    throw CWinException(nLine, L".\\Connection", szCall, dwCode);
}

namespace {

// Waits for an overlapped operation; false on time-out.
bool WaitFor(HANDLE hEvent, DWORD dwTimeoutMs)
{
    const DWORD r = ::WaitForSingleObject(hEvent, dwTimeoutMs);
    if (r == WAIT_FAILED)
        ThrowWin(__LINE__, L"WaitForSingleObject", ::GetLastError());
    return r == WAIT_OBJECT_0;
}

class CTcpConnection : public CConnection
{
public:
    CTcpConnection(const SLineSettings& s) : CConnection(s.dwTimeoutMs)
    {
        m_strName.sprintf(L"%ls:%lu", s.strHost.c_str(), s.dwTcpPort);
        ADDRINFOW hints = {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        ADDRINFOW* pList = nullptr;
        const ustring port = Decimal(s.dwTcpPort);
        if (int e = ::GetAddrInfoW(s.strHost.c_str(), port.c_str(), &hints, &pList))
            ThrowWin(__LINE__, L"GetAddrInfoW", e);
        // The first address that answers wins; the last failure is the one reported.
        try {
            for (ADDRINFOW* p = pList; p; p = p->ai_next) {
                try {
                    m_socket.Create(p->ai_family, p->ai_socktype, p->ai_protocol);
                    m_socket.ConnectLL(p->ai_addr, unsigned(p->ai_addrlen));
                    break;
                } catch (const CWinException&) {
                    m_socket.Close();
                    if (!p->ai_next)
                        throw;
                }
            }
        } catch (...) {
            ::FreeAddrInfoW(pList);
            throw;
        }
        ::FreeAddrInfoW(pList);
    }

    ~CTcpConnection() override
    {
        // Closing cancels what is still under way; the records must outlive that.
        m_socket.Close();
        if (m_bReadPending)
            ::WaitForSingleObject(m_ovRead.hEvent, 2000);
        if (m_bWritePending)
            ::WaitForSingleObject(m_ovWrite.hEvent, 2000);
    }

    ustring Describe() const override { return m_strName; }

protected:
    void WriteAll(const std::string& bytes, DWORD dwTimeoutMs) override
    {
        for (unsigned nDone = 0, n = 0; nDone < bytes.size(); nDone += n) {
            DWORD dwFlags = 0;
            if (!m_socket.Send(bytes.data() + nDone, unsigned(bytes.size() - nDone), n, 0,
                               &m_ovWrite)) {
                m_bWritePending = true;
                if (!WaitFor(m_ovWrite.hEvent, dwTimeoutMs))
                    ThrowWin(__LINE__, L"WSASend", ERROR_TIMEOUT);
                m_bWritePending = false;
                (void)m_socket.GetOverlappedResult(&m_ovWrite, n, TRUE, dwFlags);
            }
        }
    }

    unsigned ReadSome(char* pBuffer, unsigned nSize, DWORD dwTimeoutMs) override
    {
        unsigned n = 0;
        DWORD dwFlags = 0;
        if (!m_socket.Recv(pBuffer, nSize, n, dwFlags, &m_ovRead)) {
            m_bReadPending = true; // a time-out ends the line; closing it ends the receive
            if (!WaitFor(m_ovRead.hEvent, dwTimeoutMs))
                ThrowWin(__LINE__, L"WSARecv", ERROR_TIMEOUT);
            m_bReadPending = false;
            (void)m_socket.GetOverlappedResult(&m_ovRead, n, TRUE, dwFlags);
        }
        if (n == 0) // the receiver closed its side
            ThrowWin(__LINE__, L"WSARecv", WSAECONNRESET);
        return n;
    }

private:
    // Declared before the socket: the socket closes first, then the records go.
    CWSAOverlapped m_ovRead, m_ovWrite;
    CWSASocket m_socket;
    bool m_bReadPending = false, m_bWritePending = false;
    ustring m_strName;
};

class CSerialConnection : public CConnection
{
public:
    CSerialConnection(const SLineSettings& s) : CConnection(s.dwTimeoutMs)
    {
        static const wchar_t kParity[] = L"NOEMS";
        m_strName.sprintf(L"%ls, %lu %u%lc%ls", s.strPort.c_str(), s.dwBaud, s.nDataBits,
                          kParity[s.nParity % 5],
                          s.nStopBits == TWOSTOPBITS    ? L"2"
                          : s.nStopBits == ONE5STOPBITS ? L"1.5"
                                                        : L"1");
        // "\\.\" reaches COM10 and above as well.
        ustring device = s.strPort;
        if (device.compare(0, 4, L"\\\\.\\") != 0)
            device = L"\\\\.\\" + device;
        m_port.Open(device.c_str(), FILE_FLAG_OVERLAPPED);
        DCB dcb = {};
        m_port.GetCommState(dcb);
        dcb.BaudRate = s.dwBaud;
        dcb.ByteSize = s.nDataBits;
        dcb.Parity = s.nParity;
        dcb.StopBits = s.nStopBits;
        dcb.fBinary = TRUE;
        dcb.fParity = s.nParity != NOPARITY;
        // A receiver on three wires: no handshake of any kind.
        dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        m_port.SetCommState(dcb);
        m_port.SetupComm(4096, 4096);
        m_port.PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR);
    }

    ~CSerialConnection() override
    {
        if (m_bReadPending) {
            try {
                m_port.CancelIo();
            } catch (const CStdException&) {
            }
            ::WaitForSingleObject(m_ovRead.hEvent, 2000);
        }
    }

    ustring Describe() const override { return m_strName; }

protected:
    void WriteAll(const std::string& bytes, DWORD dwTimeoutMs) override
    {
        SetTimeouts(dwTimeoutMs);
        for (unsigned nDone = 0, n = 0; nDone < bytes.size(); nDone += n) {
            if (!m_port.Write(bytes.data() + nDone, unsigned(bytes.size() - nDone), n,
                              &m_ovWrite)) {
                if (!WaitFor(m_ovWrite.hEvent, dwTimeoutMs + 1000))
                    ThrowWin(__LINE__, L"WriteFile", ERROR_TIMEOUT);
                (void)m_port.GetOverlappedResult(&m_ovWrite, n, TRUE);
            }
            if (n == 0)
                ThrowWin(__LINE__, L"WriteFile", ERROR_TIMEOUT);
        }
    }

    unsigned ReadSome(char* pBuffer, unsigned nSize, DWORD dwTimeoutMs) override
    {
        // Reads only what the driver holds, so a read never waits for more. (Wine's serial
        // driver ignores the interval time-out that would end a read at its first byte.)
        SetTimeouts(dwTimeoutMs);
        const DWORD dwStart = ::GetTickCount();
        for (;;) {
            DWORD dwErrors = 0;
            COMSTAT status = {};
            m_port.ClearCommError(dwErrors, status);
            if (status.cbInQue) {
                unsigned n = 0;
                if (!m_port.Read(pBuffer, std::min<unsigned>(nSize, status.cbInQue), n,
                                 &m_ovRead)) {
                    m_bReadPending = true;
                    if (!WaitFor(m_ovRead.hEvent, dwTimeoutMs + 1000))
                        ThrowWin(__LINE__, L"ReadFile", ERROR_TIMEOUT);
                    m_bReadPending = false;
                    (void)m_port.GetOverlappedResult(&m_ovRead, n, TRUE);
                }
                if (n)
                    return n;
            }
            if (::GetTickCount() - dwStart >= dwTimeoutMs)
                ThrowWin(__LINE__, L"ReadFile", ERROR_TIMEOUT);
            ::Sleep(10);
        }
    }

private:
    void SetTimeouts(DWORD dwTimeoutMs)
    {
        if (dwTimeoutMs == m_dwLastTimeout)
            return;
        COMMTIMEOUTS t = {0, 0, dwTimeoutMs, 0, dwTimeoutMs};
        m_port.SetCommTimeouts(t);
        m_dwLastTimeout = dwTimeoutMs;
    }

    CCommPort m_port;
    COverlapped m_ovRead, m_ovWrite;
    bool m_bReadPending = false;
    DWORD m_dwLastTimeout = 0;
    ustring m_strName;
};

// "2A 49 44 4E 3F 0A" as wide text for the log.
ustring Hex(const std::string& bytes)
{
    return ustring::MultiByteToWideChar(CLogFile::Bin2Hex(bytes.data(), unsigned(bytes.size())),
                                        CP_ACP, 0);
}

} // namespace

std::unique_ptr<CConnection> CConnection::Open(const SLineSettings& settings)
{
    if (settings.bTcp)
        return std::make_unique<CTcpConnection>(settings);
    return std::make_unique<CSerialConnection>(settings);
}

ustring CConnection::Exchange(const ustring& command, CLogFile& log, bool bHex)
{
    const std::string out = ustring::WideCharToMultiByte(command, CP_UTF8, 0) + "\n";
    log.Write(L"> %ls", command.c_str());
    if (bHex)
        log.Write(L"  > %ls", Hex(out).c_str());
    WriteAll(out, m_dwTimeoutMs);

    // One reply line within the time-out, however the bytes arrive.
    const DWORD dwStart = ::GetTickCount();
    std::string::size_type end;
    while ((end = m_strPending.find('\n')) == std::string::npos) {
        const DWORD dwSpent = ::GetTickCount() - dwStart;
        if (dwSpent >= m_dwTimeoutMs)
            ThrowWin(__LINE__, L"ReadFile", ERROR_TIMEOUT);
        char buffer[512];
        const unsigned n = ReadSome(buffer, sizeof buffer, m_dwTimeoutMs - dwSpent);
        if (bHex)
            log.Write(L"  < %ls", Hex(std::string(buffer, n)).c_str());
        m_strPending.append(buffer, n);
    }
    std::string line = m_strPending.substr(0, end);
    m_strPending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const ustring reply = ustring::MultiByteToWideChar(line, CP_UTF8, 0);
    log.Write(L"< %ls", reply.c_str());
    if (!reply.empty() && reply[0] == L'{') {
        ustring source;
        source.xload(nullptr, IDS_RECEIVER);
        throw CCommException(__LINE__, L".\\Connection", L"CConnection::Exchange", reply.c_str(),
                             source.c_str());
    }
    return reply;
}
