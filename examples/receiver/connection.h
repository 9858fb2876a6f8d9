// The line to the receiver: a serial port or a TCP connection, one command line out and
// one reply line back, overlapped with a time-out, every byte written to the log.
#pragma once

#include <tarn_kit/comm_port.h>
#include <tarn_kit/log_file.h>
#include <tarn_kit/objects.h>
#include <tarn_kit/socket.h>

#include <memory>
#include <string>

// What the connection box of the window holds.
struct SLineSettings
{
    bool bTcp = true;
    tarn_kit::ustring strPort = L"COM1"; // serial
    DWORD dwBaud = 9600;
    BYTE nDataBits = 8;
    BYTE nParity = NOPARITY;                  // NOPARITY ... SPACEPARITY
    BYTE nStopBits = ONESTOPBIT;              // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    tarn_kit::ustring strHost = L"127.0.0.1"; // TCP
    DWORD dwTcpPort = 5025;
    DWORD dwTimeoutMs = 5000; // for one reply
};

// One open line. Exchange runs on a worker thread; nothing else touches the object
// meanwhile, so it needs no lock of its own.
class CConnection
{
public:
    virtual ~CConnection() = default;

    /// Opens the line the settings name; throws CWinException when it cannot.
    static std::unique_ptr<CConnection> Open(const SLineSettings& settings);

    /// "COM7, 9600 8N1" or "127.0.0.1:5025", for the status line and the log.
    virtual tarn_kit::ustring Describe() const = 0;

    /// Sends the command, returns the reply line. An error reply "{code,,text}" throws
    /// CCommException; a time-out (ERROR_TIMEOUT on either line) or a lost line throws
    /// CWinException, after which the line is of no further use.
    tarn_kit::ustring Exchange(const tarn_kit::ustring& command, tarn_kit::CLogFile& log,
                               bool bHex);

protected:
    explicit CConnection(DWORD dwTimeoutMs) : m_dwTimeoutMs(dwTimeoutMs) {}

    /// Writes all bytes or throws.
    virtual void WriteAll(const std::string& bytes, DWORD dwTimeoutMs) = 0;
    /// Reads what is there (at least one byte) or throws on time-out and end of line.
    virtual unsigned ReadSome(char* pBuffer, unsigned nSize, DWORD dwTimeoutMs) = 0;

    DWORD m_dwTimeoutMs;

private:
    std::string m_strPending; // bytes after the last reply line
};

/// A number as plain digits: ports, baud rates and registry values must not be grouped
/// by the locale's thousands separator as ustring::ui64toa groups them.
inline tarn_kit::ustring Decimal(unsigned long n)
{
    return std::to_wstring(n).c_str();
}

/// Throws the CWinException of a failed call made by the connection classes.
[[noreturn]] void ThrowWin(unsigned nLine, const wchar_t* szCall, DWORD dwCode);
