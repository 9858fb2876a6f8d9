// Serial ports.
//
// Classes in this file:
//   CCommPort - a CFile opened on a communications device, one method per comm call
#pragma once

#include "config.h"
#include "file.h"

namespace tarn_kit {

// Owns one serial-port handle; reads and writes through the CFile members, configures the
// line through one wrapper per Win32 comm call. It sets nothing of its own: baud rate,
// queues and time-outs are the caller's.
class TARNKIT_API CCommPort : public CFile
{
public:
    // Construction
    CCommPort() noexcept;
    /// Opens at once, as Open does.
    CCommPort(const wchar_t* szName, DWORD dwFlagsAndAttributes);
    ~CCommPort() override;

    // Operations
    using CFile::Open;
    /// Closes the port owned so far, then opens szName for reading and writing, exclusive,
    /// OPEN_EXISTING; FILE_FLAG_OVERLAPPED in dwFlagsAndAttributes for overlapped use.
    /// szName goes to CreateFileW unchanged ("COM1", or "\\.\COM10" above 9).
    virtual void Open(const wchar_t* szName, DWORD dwFlagsAndAttributes);

    // Each wrapper calls the Win32 function of the same name with the port handle and
    // throws CWinException with that name and GetLastError() when it fails.
    /// Driver queue sizes in bytes.
    void SetupComm(DWORD dwInQueue, DWORD dwOutQueue);
    /// PURGE_TXABORT, PURGE_RXABORT, PURGE_TXCLEAR, PURGE_RXCLEAR.
    void PurgeComm(DWORD dwFlags);
    /// SETDTR, CLRDTR, SETRTS, CLRRTS, SETXON, SETXOFF, SETBREAK, CLRBREAK.
    void EscapeCommFunction(DWORD dwFunction);
    void ClearCommError(DWORD& dwErrors, COMSTAT& status);
    void ClearCommBreak();
    /// MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON bits.
    void GetCommModemStatus(DWORD& dwStatus);
    void GetCommProperties(COMMPROP& properties);
    /// Sets dcb.DCBlength to sizeof(DCB) before the call.
    void GetCommState(DCB& dcb);
    /// DCBlength is passed as the caller left it.
    void SetCommState(const DCB& dcb);
    void GetCommMask(DWORD& dwMask);
    /// EV_RXCHAR, EV_TXEMPTY, EV_BREAK, ... bits.
    void SetCommMask(DWORD dwMask);
    void GetCommTimeouts(COMMTIMEOUTS& timeouts);
    void SetCommTimeouts(const COMMTIMEOUTS& timeouts);
    void TransmitCommChar(char c);
    /// True when an event occurred (dwMask holds it). False when the wait goes on in the
    /// background on an overlapped port: wait on pOverlapped->hEvent, then read dwMask.
    [[nodiscard]] bool WaitCommEvent(DWORD& dwMask, OVERLAPPED* pOverlapped = nullptr);
};

} // namespace tarn_kit
