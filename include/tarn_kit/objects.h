// Kernel objects.
//
// Classes in this file:
//   CHandle          - owner of one kernel handle, base of every handle-owning class
//   CEvent           - a Win32 event
//   CCriticalSection - a Win32 critical section
//   CMutex           - a Win32 mutex
//   CLocker          - holds a CMutex or a CCriticalSection for exactly its lifetime
//   COverlapped      - OVERLAPPED record for file and serial I/O, with its own event
//   CWSAEvent        - a Winsock event
//   CWSAOverlapped   - OVERLAPPED record for socket I/O, with its own Winsock event
//
// Winsock events are plain kernel handles, so this header needs no winsock2.h;
// include winsock2.h before any TarnKit header when the application uses it.
#pragma once

#include "config.h"
#include "exceptions.h"

namespace tarn_kit {

// Owns one kernel handle and closes it when destroyed.
class TARNKIT_API CHandle
{
public:
    // Construction
    /// nullValue is the value meaning "nothing owned": 0, or INVALID_HANDLE_VALUE for files.
    explicit CHandle(void* nullValue = nullptr) noexcept;
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    /// Closes an owned handle with CloseHandle, whatever the derived class; a failure is dropped.
    virtual ~CHandle();

    // Attributes
    virtual bool IsCreated() const noexcept;
    /// The owned handle, or the null value when nothing is owned.
    operator void*() const noexcept { return m_h; }

    // Operations
    /// Forgets the handle, then throws "CloseHandle" if closing it failed; nothing owned: no-op.
    virtual void Close();
    /// Takes ownership of h; false, with nothing changed, when a handle is already owned.
    [[nodiscard]] bool Attach(void* h) noexcept;
    /// Gives the handle back to the caller without closing it.
    void* Detach() noexcept;

protected:
    void* const m_hNull;
    void* m_h;

private:
    void CloseOwned();
};

// Owns one Win32 event.
class TARNKIT_API CEvent : public CHandle
{
public:
    // Construction
    /// CreateEventW; the default is an unnamed, auto-reset, non-signalled event.
    explicit CEvent(SECURITY_ATTRIBUTES* pSA = nullptr, BOOL bManualReset = FALSE,
                    BOOL bInitialState = FALSE, const wchar_t* szName = nullptr);
    /// OpenEventW of an existing named event.
    CEvent(DWORD dwAccess, BOOL bInheritHandle, const wchar_t* szName);

    // Operations
    void Set();
    void Reset();
};

// A Win32 critical section; it owns no handle, so IsCreated is false and Close does nothing.
class TARNKIT_API CCriticalSection : public CHandle
{
public:
    // Construction
    CCriticalSection() noexcept;
    ~CCriticalSection() override;

    // Operations
    /// bWait false: only tries, and returns whether the section was entered. Re-entrant.
    bool Lock(bool bWait = true) noexcept;
    void Unlock() noexcept;

private:
    CRITICAL_SECTION m_cs;
};

// Owns one Win32 mutex; creating an existing named mutex opens it.
class TARNKIT_API CMutex : public CHandle
{
public:
    // Construction
    explicit CMutex(SECURITY_ATTRIBUTES* pSA = nullptr, BOOL bInitialOwner = FALSE,
                    const wchar_t* szName = nullptr);

    // Operations
    /// True when acquired, also when the previous owner ended without releasing it;
    /// false on time-out.
    [[nodiscard]] bool Lock(DWORD dwTimeout = INFINITE);
    void Unlock();
};

// Holds a CMutex or a CCriticalSection from construction to destruction. The library
// provides the two instantiations, CLocker<CMutex> and CLocker<CCriticalSection>.
template <class T>
class CLocker
{
public:
    // Construction
    /// Waits for the object without a time limit.
    explicit CLocker(T& obj);
    CLocker(const CLocker&) = delete;
    CLocker& operator=(const CLocker&) = delete;
    virtual ~CLocker();

private:
    T* m_pObj;
};

#if !defined(TARNKIT_BUILDING)
extern template class TARNKIT_API CLocker<CMutex>;
extern template class TARNKIT_API CLocker<CCriticalSection>;
#endif

// OVERLAPPED record of file and serial I/O; hEvent is its own event. Pass it where an
// OVERLAPPED* is expected; set Offset/OffsetHigh for file positions.
class TARNKIT_API COverlapped : public OVERLAPPED
{
public:
    // Construction
    /// The event is created as CEvent does; offsets and status start at 0.
    explicit COverlapped(SECURITY_ATTRIBUTES* pSA = nullptr, BOOL bManualReset = FALSE,
                         BOOL bInitialState = FALSE, const wchar_t* szName = nullptr);
    COverlapped(const COverlapped&) = delete;
    COverlapped& operator=(const COverlapped&) = delete;
    virtual ~COverlapped();

    // Operations
    void SetEvent();
    void ResetEvent();

private:
    CEvent m_Event;
};

// Owns one Winsock event (manual-reset, created non-signalled).
class TARNKIT_API CWSAEvent : public CHandle
{
public:
    // Construction
    CWSAEvent();

    // Operations
    /// WSACloseEvent; unlike CHandle::Close, a failure keeps the handle.
    void Close() override;
    void Set();
    void Reset();
};

// OVERLAPPED record of socket I/O; hEvent is its own Winsock event.
class TARNKIT_API CWSAOverlapped : public OVERLAPPED
{
public:
    // Construction
    CWSAOverlapped();
    CWSAOverlapped(const CWSAOverlapped&) = delete;
    CWSAOverlapped& operator=(const CWSAOverlapped&) = delete;
    virtual ~CWSAOverlapped();

    // Operations
    void SetEvent();
    void ResetEvent();

private:
    CWSAEvent m_Event;
};

} // namespace tarn_kit
