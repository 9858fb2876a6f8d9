// CAPC and MsgSleep: waits on the user-interface thread that keep chosen messages flowing.
#include <tarn_kit/thread.h>

#include "throw.h"

#include <exception>
#include <memory>
#include <vector>

namespace {
constexpr const wchar_t* kModule = L".\\APC";

// What Invoke shares with its worker. Both own it: a worker that outlives an Invoke left by
// an exception still writes into live memory.
struct WorkerCall
{
    tarn_kit::CAPC* pApc;
    std::exception_ptr error;
};

// Removes the queued messages and dispatches those accepted; the others are lost.
//
// The platform makes up WM_PAINT for as long as a window stays invalid, and only once no
// posted or input message is left. A paint that is discarded, or dispatched to a window that
// stays invalid, would therefore come back for ever: the round ends at such a paint, when the
// real queue is already empty.
template <class Accept>
void PumpQueue(Accept accept)
{
    std::vector<HWND> painted;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        bool bPaint = msg.message == WM_PAINT;
        if (bPaint) {
            for (HWND hWnd : painted)
                if (hWnd == msg.hwnd)
                    return;
            painted.push_back(msg.hwnd);
        }
        if (accept(msg.message)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        } else if (bPaint) {
            return;
        }
    }
}

} // namespace

namespace tarn_kit {

CAPC::CAPC(DWORD dwWakeMask) noexcept : m_dwWakeMask(dwWakeMask) {}

DWORD CAPC::Invoke()
{
    auto call = std::make_shared<WorkerCall>(WorkerCall{this, nullptr});
    auto* pWorkerShare = new std::shared_ptr<WorkerCall>(call);
    CThread thread;
    try {
        thread.Create(ThreadProc, pWorkerShare);
    } catch (...) {
        delete pWorkerShare;
        throw;
    }
    HANDLE hThread = thread;
    for (bool bRunning = true; bRunning;) {
        switch (::MsgWaitForMultipleObjects(1, &hThread, FALSE, INFINITE, m_dwWakeMask)) {
        case WAIT_OBJECT_0:
            bRunning = false;
            break;
        case WAIT_OBJECT_0 + 1: {
            DWORD dwCode = 0;
            if (::GetExitCodeThread(hThread, &dwCode) && dwCode != STILL_ACTIVE) {
                bRunning = false;
                break;
            }
            PumpQueue([this](UINT message) { return TestMessage(message); });
            break;
        }
        case WAIT_FAILED:
            TK_THROW_LAST_ERROR(L"MsgWaitForMultipleObjects");
        default:
            TK_THROW_CODE(L"MsgWaitForMultipleObjects", ERROR_INTERNAL_ERROR);
        }
    }
    // Seen through its exit code the worker may still be ending; once the handle is signalled
    // everything it wrote is visible here.
    ::WaitForSingleObject(hThread, INFINITE);
    if (call->error)
        std::rethrow_exception(call->error);
    return thread.GetExitCode();
}

bool CAPC::TestMessage(UINT message) const noexcept
{
    struct Row
    {
        DWORD dwBit;
        UINT first, last;
    };
    static const Row kRows[] = {
        {QS_KEY, WM_KEYDOWN, WM_KEYUP},
        {QS_KEY, WM_SYSKEYDOWN, WM_SYSKEYUP},
        {QS_MOUSEMOVE, WM_MOUSEMOVE, WM_MOUSEMOVE},
        {QS_MOUSEBUTTON, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK},
        {QS_POSTMESSAGE, WM_USER, 0xFFFFFFFF},
        {QS_TIMER, WM_TIMER, WM_TIMER},
        {QS_PAINT, WM_PAINT, WM_PAINT},
        {QS_HOTKEY, WM_HOTKEY, WM_HOTKEY},
    };
    for (const Row& row : kRows)
        if ((m_dwWakeMask & row.dwBit) && message >= row.first && message <= row.last)
            return true;
    return false;
}

DWORD WINAPI CAPC::ThreadProc(void* param)
{
    std::unique_ptr<std::shared_ptr<WorkerCall>> share(
        static_cast<std::shared_ptr<WorkerCall>*>(param));
    WorkerCall& call = **share;
    try {
        return call.pApc->Run();
    } catch (...) {
        // Handed to Invoke, which throws it again on the calling thread.
        call.error = std::current_exception();
        return ERROR_INTERNAL_ERROR;
    }
}

void MsgSleep(DWORD dwMilliseconds)
{
    CEvent never; // never signalled: it only gives the wait an object
    HANDLE hNever = never;
    DWORD dwStart = ::GetTickCount();
    for (;;) {
        DWORD dwLimit = INFINITE;
        if (dwMilliseconds != INFINITE) {
            DWORD dwElapsed = ::GetTickCount() - dwStart; // unsigned: right across the wrap
            if (dwElapsed >= dwMilliseconds)
                return;
            dwLimit = dwMilliseconds - dwElapsed;
        }
        switch (::MsgWaitForMultipleObjects(1, &hNever, FALSE, dwLimit, QS_ALLEVENTS)) {
        case WAIT_OBJECT_0 + 1:
            PumpQueue([](UINT message) { return message == WM_PAINT; });
            break;
        case WAIT_TIMEOUT:
            // The wait's clock may run a tick ahead of GetTickCount; the check above decides.
            break;
        default:
            return;
        }
    }
}

} // namespace tarn_kit
