// CWSASocket: one Winsock 2 socket.
#include <winsock2.h>

#include <tarn_kit/socket.h>

#include "throw.h"

#include <climits>

namespace {
constexpr const wchar_t* kModule = L".\\Socket";
} // namespace

namespace tarn_kit {

CWSASocket::CWSASocket() noexcept : m_s(INVALID_SOCKET) {}

CWSASocket::~CWSASocket()
{
    try {
        Close();
    } catch (...) {
        // Close has already emptied the object; a destructor reports nothing.
    }
}

void CWSASocket::Create(int nAf, int nType, int nProtocol, WSAPROTOCOL_INFOW* pInfo, GROUP group,
                        DWORD dwFlags)
{
    Close();
    SOCKET s = ::WSASocketW(nAf, nType, nProtocol, pInfo, group, dwFlags);
    if (s == INVALID_SOCKET)
        TK_THROW_WSA_ERROR(L"WSASocket");
    m_s = s;
}

void CWSASocket::Close()
{
    if (m_s == INVALID_SOCKET)
        return;
    // Forget first: whatever fails below, the object ends up empty.
    SOCKET s = m_s;
    m_s = INVALID_SOCKET;
    // Linger off, whatever the socket had: closesocket returns at once and the data still
    // queued is sent in the background instead of being discarded with a reset.
    BOOL bDontLinger = TRUE;
    if (::setsockopt(s, SOL_SOCKET, SO_DONTLINGER, reinterpret_cast<const char*>(&bDontLinger),
                     sizeof bDontLinger) == SOCKET_ERROR) {
        // Still closed, so that the handle is not lost; the option's code is the one reported.
        int nCode = ::WSAGetLastError();
        ::closesocket(s);
        ::WSASetLastError(nCode);
        TK_THROW_WSA_ERROR(L"setsockopt");
    }
    if (::closesocket(s) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"closesocket");
}

void CWSASocket::Shutdown(int nHow)
{
    if (::shutdown(m_s, nHow) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"shutdown");
}

void CWSASocket::ConnectLL(const void* pAddress, unsigned int nAddressLength, WSABUF* pCallerData,
                           WSABUF* pCalleeData, QOS* pSocketQos, QOS* pGroupQos)
{
    if (::WSAConnect(m_s, static_cast<const sockaddr*>(pAddress), static_cast<int>(nAddressLength),
                     pCallerData, pCalleeData, pSocketQos, pGroupQos) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"WSAConnect");
}

void CWSASocket::SetSockOptLL(int nLevel, int nName, const void* pValue, unsigned int nLength)
{
    if (::setsockopt(m_s, nLevel, nName, static_cast<const char*>(pValue),
                     static_cast<int>(nLength)) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"setsockopt");
}

void CWSASocket::GetSockOptLL(int nLevel, int nName, void* pValue, unsigned int nLength)
{
    int n = static_cast<int>(nLength);
    if (::getsockopt(m_s, nLevel, nName, static_cast<char*>(pValue), &n) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"getsockopt");
}

void CWSASocket::IoctlSocket(long nCommand, unsigned long& nArgument)
{
    if (::ioctlsocket(m_s, nCommand, &nArgument) == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"ioctlsocket");
}

bool CWSASocket::Send(const void* pData, unsigned int nSize, unsigned int& nSent, DWORD dwFlags,
                      OVERLAPPED* pOverlapped)
{
    // WSABUF has no const form; WSASend only reads the buffer.
    WSABUF buffer = {nSize, static_cast<char*>(const_cast<void*>(pData))};
    DWORD n = 0;
    int nResult = ::WSASend(m_s, &buffer, 1, &n, dwFlags, pOverlapped, nullptr);
    nSent = n;
    if (nResult == 0)
        return true;
    if (::WSAGetLastError() == WSA_IO_PENDING)
        return false;
    TK_THROW_WSA_ERROR(L"WSASend");
}

bool CWSASocket::Recv(void* pData, unsigned int nSize, unsigned int& nReceived, DWORD& dwFlags,
                      OVERLAPPED* pOverlapped)
{
    WSABUF buffer = {nSize, static_cast<char*>(pData)};
    DWORD n = 0;
    int nResult = ::WSARecv(m_s, &buffer, 1, &n, &dwFlags, pOverlapped, nullptr);
    nReceived = n;
    if (nResult == 0)
        return true;
    if (::WSAGetLastError() == WSA_IO_PENDING)
        return false;
    TK_THROW_WSA_ERROR(L"WSARecv");
}

bool CWSASocket::GetOverlappedResult(OVERLAPPED* pOverlapped, unsigned int& nDone, BOOL bWait,
                                     DWORD& dwFlags)
{
    DWORD n = 0;
    BOOL bOk = ::WSAGetOverlappedResult(m_s, pOverlapped, &n, bWait, &dwFlags);
    nDone = n;
    if (bOk)
        return true;
    if (::WSAGetLastError() == WSA_IO_INCOMPLETE)
        return false;
    TK_THROW_WSA_ERROR(L"WSAGetOverlappedResult");
}

int CWSASocket::Select(fd_set& readSet, fd_set& writeSet, fd_set& exceptSet,
                       unsigned __int64 nTimeoutMs)
{
    // INFINITE in a 64-bit value; any larger value is a real (if very long) limit.
    timeval limit = {};
    timeval* pLimit = nullptr;
    if (nTimeoutMs != INFINITE) {
        // tv_sec is a 32-bit long: beyond 68 years the limit is cut to the largest it holds.
        unsigned __int64 nSeconds = nTimeoutMs / 1000;
        limit.tv_sec = nSeconds > LONG_MAX ? LONG_MAX : static_cast<long>(nSeconds);
        limit.tv_usec = static_cast<long>(nTimeoutMs % 1000) * 1000;
        pLimit = &limit;
    }
    int nReady = ::select(0, &readSet, &writeSet, &exceptSet, pLimit);
    if (nReady == SOCKET_ERROR)
        TK_THROW_WSA_ERROR(L"select");
    return nReady;
}

} // namespace tarn_kit
