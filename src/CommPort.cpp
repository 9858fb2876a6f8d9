// CCommPort: one wrapper per Win32 serial communications call.
#include <tarn_kit/comm_port.h>

#include "throw.h"

namespace {
constexpr const wchar_t* kModule = L".\\CommPort";
} // namespace

namespace tarn_kit {

CCommPort::CCommPort() noexcept = default;

CCommPort::CCommPort(const wchar_t* szName, DWORD dwFlagsAndAttributes)
    : CFile(szName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, dwFlagsAndAttributes,
            nullptr)
{}

CCommPort::~CCommPort() = default;

void CCommPort::Open(const wchar_t* szName, DWORD dwFlagsAndAttributes)
{
    // Share mode 0: a port is never shared with another handle.
    CFile::Open(szName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                dwFlagsAndAttributes, nullptr);
}

void CCommPort::SetupComm(DWORD dwInQueue, DWORD dwOutQueue)
{
    if (!::SetupComm(m_h, dwInQueue, dwOutQueue))
        TK_THROW_LAST_ERROR(L"SetupComm");
}

void CCommPort::PurgeComm(DWORD dwFlags)
{
    if (!::PurgeComm(m_h, dwFlags))
        TK_THROW_LAST_ERROR(L"PurgeComm");
}

void CCommPort::EscapeCommFunction(DWORD dwFunction)
{
    if (!::EscapeCommFunction(m_h, dwFunction))
        TK_THROW_LAST_ERROR(L"EscapeCommFunction");
}

void CCommPort::ClearCommError(DWORD& dwErrors, COMSTAT& status)
{
    if (!::ClearCommError(m_h, &dwErrors, &status))
        TK_THROW_LAST_ERROR(L"ClearCommError");
}

void CCommPort::ClearCommBreak()
{
    if (!::ClearCommBreak(m_h))
        TK_THROW_LAST_ERROR(L"ClearCommBreak");
}

void CCommPort::GetCommModemStatus(DWORD& dwStatus)
{
    if (!::GetCommModemStatus(m_h, &dwStatus))
        TK_THROW_LAST_ERROR(L"GetCommModemStatus");
}

void CCommPort::GetCommProperties(COMMPROP& properties)
{
    if (!::GetCommProperties(m_h, &properties))
        TK_THROW_LAST_ERROR(L"GetCommProperties");
}

void CCommPort::GetCommState(DCB& dcb)
{
    // The platform checks the length of the record it fills.
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(m_h, &dcb))
        TK_THROW_LAST_ERROR(L"GetCommState");
}

void CCommPort::SetCommState(const DCB& dcb)
{
    DCB copy = dcb;
    if (!::SetCommState(m_h, &copy))
        TK_THROW_LAST_ERROR(L"SetCommState");
}

void CCommPort::GetCommMask(DWORD& dwMask)
{
    if (!::GetCommMask(m_h, &dwMask))
        TK_THROW_LAST_ERROR(L"GetCommMask");
}

void CCommPort::SetCommMask(DWORD dwMask)
{
    if (!::SetCommMask(m_h, dwMask))
        TK_THROW_LAST_ERROR(L"SetCommMask");
}

void CCommPort::GetCommTimeouts(COMMTIMEOUTS& timeouts)
{
    if (!::GetCommTimeouts(m_h, &timeouts))
        TK_THROW_LAST_ERROR(L"GetCommTimeouts");
}

void CCommPort::SetCommTimeouts(const COMMTIMEOUTS& timeouts)
{
    COMMTIMEOUTS copy = timeouts;
    if (!::SetCommTimeouts(m_h, &copy))
        TK_THROW_LAST_ERROR(L"SetCommTimeouts");
}

void CCommPort::TransmitCommChar(char c)
{
    if (!::TransmitCommChar(m_h, c))
        TK_THROW_LAST_ERROR(L"TransmitCommChar");
}

bool CCommPort::WaitCommEvent(DWORD& dwMask, OVERLAPPED* pOverlapped)
{
    if (::WaitCommEvent(m_h, &dwMask, pOverlapped))
        return true;
    if (::GetLastError() == ERROR_IO_PENDING)
        return false;
    TK_THROW_LAST_ERROR(L"WaitCommEvent");
}

} // namespace tarn_kit
