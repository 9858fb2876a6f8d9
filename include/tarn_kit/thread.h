// Threads and message-pumping waits.
//
// Classes in this file:
//   CThread - owner of one Win32 thread handle
//   CAPC    - runs work on a worker thread while the calling thread keeps pumping chosen messages
// and the free function MsgSleep, a wait that keeps windows repainting.
#pragma once

#include "config.h"
#include "exceptions.h"
#include "objects.h"

namespace tarn_kit {

// Owns one thread handle and the thread's identifier; closing the handle does not stop the thread.
class TARNKIT_API CThread : public CHandle
{
public:
    // Construction
    CThread() noexcept;

    // Operations
    /// Create(nullptr, 0, proc, param, 0).
    void Create(LPTHREAD_START_ROUTINE proc, void* param);
    /// Closes the handle held so far (that thread keeps running), then CreateThread with the
    /// arguments unchanged; throws "CreateThread".
    void Create(SECURITY_ATTRIBUTES* pSA, DWORD dwStackSize, LPTHREAD_START_ROUTINE proc,
                void* param, DWORD dwFlags);
    /// Identifier becomes 0, then the handle is closed.
    void Close() override;
    /// Identifier becomes 0 even when TerminateThread then fails; the handle stays open.
    void Terminate(DWORD dwExitCode);
    /// Previous suspend count.
    DWORD Suspend();
    /// Previous suspend count.
    DWORD Resume();

    // Attributes
    DWORD GetId() const noexcept { return m_dwId; }
    int GetPriority() const;
    void SetThreadPriority(int nPriority);
    /// STILL_ACTIVE (259) while the thread runs.
    DWORD GetExitCode();

private:
    DWORD m_dwId;
};

// Runs Run() on a worker thread; meanwhile the calling thread, which owns the windows,
// dispatches only the messages of the kinds in the wake mask and discards the others.
//
//   QS_KEY          WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP
//   QS_MOUSEMOVE    WM_MOUSEMOVE
//   QS_MOUSEBUTTON  WM_LBUTTONDOWN .. WM_MBUTTONDBLCLK
//   QS_POSTMESSAGE  WM_USER and above
//   QS_TIMER        WM_TIMER
//   QS_PAINT        WM_PAINT
//   QS_HOTKEY       WM_HOTKEY
class TARNKIT_API CAPC
{
public:
    // Construction
    /// dwWakeMask: QS_... bits; the default keeps windows repainting and nothing else.
    explicit CAPC(DWORD dwWakeMask = QS_PAINT) noexcept;

    // Operations
    /// Starts Run() on a new thread, pumps until it ends and returns its result. An exception
    /// that leaves Run() is thrown again here, on the calling thread.
    virtual DWORD Invoke();
    /// The work; runs on the worker thread.
    virtual DWORD Run() = 0;

protected:
    // Not deleted through a CAPC pointer: the class has no virtual destructor.
    ~CAPC() = default;

private:
    bool TestMessage(UINT message) const noexcept;
    static DWORD WINAPI ThreadProc(void* param);

    DWORD m_dwWakeMask;
};

/// Waits dwMilliseconds (INFINITE: for ever) while repainting the calling thread's windows;
/// every other message that arrives meanwhile, input and WM_QUIT included, is lost.
TARNKIT_API void MsgSleep(DWORD dwMilliseconds);

} // namespace tarn_kit
