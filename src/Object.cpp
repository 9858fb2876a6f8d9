// Kernel handles, events, critical sections, mutexes and overlapped records.
#include <winsock2.h>

#include <tarn_kit/objects.h>

#include "throw.h"

namespace {
constexpr const wchar_t* kModule = L".\\Object";
}

namespace tarn_kit {

// CHandle

CHandle::CHandle(void* nullValue) noexcept : m_hNull(nullValue), m_h(nullValue) {}

CHandle::~CHandle()
{
    // Only a foreign handle given to Attach can fail to close here; an exception
    // leaving a destructor during unwinding would end the process.
    try {
        CloseOwned();
    } catch (...) {
    }
}

bool CHandle::IsCreated() const noexcept
{
    return m_h != m_hNull;
}

void CHandle::Close()
{
    CloseOwned();
}

bool CHandle::Attach(void* h) noexcept
{
    if (IsCreated())
        return false;
    m_h = h;
    return true;
}

void* CHandle::Detach() noexcept
{
    void* h = m_h;
    m_h = m_hNull;
    return h;
}

// The destructor's close: never a derived override.
void CHandle::CloseOwned()
{
    if (m_h == m_hNull)
        return;
    BOOL bClosed = ::CloseHandle(m_h);
    // Forget first: a handle that failed to close is not ours any more either.
    m_h = m_hNull;
    if (!bClosed)
        TK_THROW_LAST_ERROR(L"CloseHandle");
}

// CEvent

CEvent::CEvent(SECURITY_ATTRIBUTES* pSA, BOOL bManualReset, BOOL bInitialState,
               const wchar_t* szName)
    : CHandle(nullptr)
{
    m_h = ::CreateEventW(pSA, bManualReset, bInitialState, szName);
    if (!m_h)
        TK_THROW_LAST_ERROR(L"CreateEventW");
}

CEvent::CEvent(DWORD dwAccess, BOOL bInheritHandle, const wchar_t* szName) : CHandle(nullptr)
{
    m_h = ::OpenEventW(dwAccess, bInheritHandle, szName);
    if (!m_h)
        TK_THROW_LAST_ERROR(L"OpenEventW");
}

void CEvent::Set()
{
    if (!::SetEvent(m_h))
        TK_THROW_LAST_ERROR(L"SetEvent");
}

void CEvent::Reset()
{
    if (!::ResetEvent(m_h))
        TK_THROW_LAST_ERROR(L"ResetEvent");
}

// CCriticalSection

CCriticalSection::CCriticalSection() noexcept : CHandle(nullptr)
{
    ::InitializeCriticalSection(&m_cs);
}

CCriticalSection::~CCriticalSection()
{
    ::DeleteCriticalSection(&m_cs);
}

bool CCriticalSection::Lock(bool bWait) noexcept
{
    if (!bWait)
        return ::TryEnterCriticalSection(&m_cs) != FALSE;
    ::EnterCriticalSection(&m_cs);
    return true;
}

void CCriticalSection::Unlock() noexcept
{
    ::LeaveCriticalSection(&m_cs);
}

// CMutex

CMutex::CMutex(SECURITY_ATTRIBUTES* pSA, BOOL bInitialOwner, const wchar_t* szName)
    : CHandle(nullptr)
{
    m_h = ::CreateMutexW(pSA, bInitialOwner, szName);
    if (!m_h)
        TK_THROW_LAST_ERROR(L"CreateMutexW");
}

bool CMutex::Lock(DWORD dwTimeout)
{
    switch (::WaitForSingleObject(m_h, dwTimeout)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED: // the owner ended without releasing it; now it is ours
        return true;
    case WAIT_TIMEOUT:
        return false;
    default:
        TK_THROW_LAST_ERROR(L"WaitForSingleObject");
    }
}

void CMutex::Unlock()
{
    if (!::ReleaseMutex(m_h))
        TK_THROW_LAST_ERROR(L"ReleaseMutex");
}

// CLocker

namespace {
// The lock result is ignored: without a time limit a mutex is acquired or throws.
void Acquire(CMutex& mutex)
{
    (void)mutex.Lock(INFINITE);
}

void Acquire(CCriticalSection& cs) noexcept
{
    cs.Lock(true);
}
} // namespace

template <class T>
CLocker<T>::CLocker(T& obj) : m_pObj(&obj)
{
    Acquire(obj);
}

template <class T>
CLocker<T>::~CLocker()
{
    try {
        m_pObj->Unlock();
    } catch (...) {
        // Only a mutex can fail to unlock, and a destructor must not throw.
    }
}

template class TARNKIT_API CLocker<CMutex>;
template class TARNKIT_API CLocker<CCriticalSection>;

// COverlapped

COverlapped::COverlapped(SECURITY_ATTRIBUTES* pSA, BOOL bManualReset, BOOL bInitialState,
                         const wchar_t* szName)
    : OVERLAPPED(), m_Event(pSA, bManualReset, bInitialState, szName)
{
    hEvent = m_Event;
}

COverlapped::~COverlapped() = default;

void COverlapped::SetEvent()
{
    m_Event.Set();
}

void COverlapped::ResetEvent()
{
    m_Event.Reset();
}

// CWSAEvent

CWSAEvent::CWSAEvent() : CHandle(nullptr)
{
    m_h = ::WSACreateEvent();
    if (m_h == WSA_INVALID_EVENT)
        TK_THROW_WSA_ERROR(L"WSACreateEvent");
}

void CWSAEvent::Close()
{
    if (!IsCreated())
        return;
    // The handle is kept on failure: the object stays created.
    if (!::WSACloseEvent(m_h))
        TK_THROW_WSA_ERROR(L"WSACloseEvent");
    m_h = m_hNull;
}

void CWSAEvent::Set()
{
    if (!::SetEvent(m_h))
        TK_THROW_LAST_ERROR(L"SetEvent");
}

void CWSAEvent::Reset()
{
    if (!::ResetEvent(m_h))
        TK_THROW_LAST_ERROR(L"ResetEvent");
}

// CWSAOverlapped

CWSAOverlapped::CWSAOverlapped() : OVERLAPPED(), m_Event()
{
    hEvent = m_Event;
}

CWSAOverlapped::~CWSAOverlapped() = default;

void CWSAOverlapped::SetEvent()
{
    m_Event.Set();
}

void CWSAOverlapped::ResetEvent()
{
    m_Event.Reset();
}

} // namespace tarn_kit
