// Winsock sockets.
//
// Classes in this file:
//   CWSASocket - owner of one Winsock 2 socket
//
// Include this header, any other TarnKit header or winsock2.h before windows.h: windows.h
// brings the older winsock.h, after which winsock2.h cannot follow.
// The application calls WSAStartup before the first socket and WSACleanup after the
// last; the library does neither.
#pragma once

#include <winsock2.h>

#include "config.h"
#include "exceptions.h"

namespace tarn_kit {

// Owns one Winsock 2 socket for connected stream or datagram use, synchronous or
// overlapped. Every failure throws CWinException with the call's name and WSAGetLastError().
class TARNKIT_API CWSASocket
{
public:
    // Construction
    CWSASocket() noexcept;
    CWSASocket(const CWSASocket&) = delete;
    CWSASocket& operator=(const CWSASocket&) = delete;
    /// Closes as Close does; a failure is dropped.
    virtual ~CWSASocket();

    // Attributes
    bool IsCreated() const noexcept { return m_s != INVALID_SOCKET; }
    operator SOCKET() const noexcept { return m_s; }

    // Operations
    /// Closes the socket owned so far, then WSASocketW with the arguments unchanged
    /// (WSA_FLAG_OVERLAPPED in dwFlags for overlapped use).
    void Create(int nAf, int nType, int nProtocol, WSAPROTOCOL_INFOW* pInfo = nullptr,
                GROUP group = 0, DWORD dwFlags = WSA_FLAG_OVERLAPPED);
    /// Turns lingering off (queued data is still sent after closesocket returns), then
    /// closes. The object is empty afterwards, also when it throws. Nothing owned: no-op.
    void Close();
    /// SD_RECEIVE, SD_SEND or SD_BOTH.
    void Shutdown(int nHow);
    /// WSAConnect; every error throws, WSAEWOULDBLOCK of a non-blocking socket included.
    void ConnectLL(const void* pAddress, unsigned int nAddressLength, WSABUF* pCallerData = nullptr,
                   WSABUF* pCalleeData = nullptr, QOS* pSocketQos = nullptr,
                   QOS* pGroupQos = nullptr);
    void SetSockOptLL(int nLevel, int nName, const void* pValue, unsigned int nLength);
    /// nLength is the size of pValue; the length the platform reports is not returned.
    void GetSockOptLL(int nLevel, int nName, void* pValue, unsigned int nLength);
    void IoctlSocket(long nCommand, unsigned long& nArgument);
    /// WSASend of one buffer. False only while an overlapped send is under way.
    [[nodiscard]] bool Send(const void* pData, unsigned int nSize, unsigned int& nSent,
                            DWORD dwFlags = 0, OVERLAPPED* pOverlapped = nullptr);
    /// WSARecv into one buffer. False only while an overlapped receive is under way; a count
    /// of 0 on a stream socket means the peer closed its side.
    [[nodiscard]] bool Recv(void* pData, unsigned int nSize, unsigned int& nReceived,
                            DWORD& dwFlags, OVERLAPPED* pOverlapped = nullptr);
    /// WSAGetOverlappedResult. False only when bWait is FALSE and the operation still runs.
    [[nodiscard]] bool GetOverlappedResult(OVERLAPPED* pOverlapped, unsigned int& nDone, BOOL bWait,
                                           DWORD& dwFlags);

    /// select over the three sets, which the platform updates; empty the sets of no interest.
    /// 0xFFFFFFFF waits without limit, 0 polls; any other value is a limit in milliseconds,
    /// also above 32 bits. Returns the number of ready sockets, 0 on time-out.
    static int Select(fd_set& readSet, fd_set& writeSet, fd_set& exceptSet,
                      unsigned __int64 nTimeoutMs);

private:
    SOCKET m_s;
};

} // namespace tarn_kit
