// CThread: thread creation and control.
#include <tarn_kit/thread.h>

#include "throw.h"

namespace {
constexpr const wchar_t* kModule = L".\\Thread";
}

namespace tarn_kit {

CThread::CThread() noexcept : CHandle(nullptr), m_dwId(0) {}

void CThread::Create(LPTHREAD_START_ROUTINE proc, void* param)
{
    Create(nullptr, 0, proc, param, 0);
}

void CThread::Create(SECURITY_ATTRIBUTES* pSA, DWORD dwStackSize, LPTHREAD_START_ROUTINE proc,
                     void* param, DWORD dwFlags)
{
    Close();
    DWORD dwId = 0;
    HANDLE h = ::CreateThread(pSA, dwStackSize, proc, param, dwFlags, &dwId);
    if (!h)
        TK_THROW_LAST_ERROR(L"CreateThread");
    m_h = h;
    m_dwId = dwId;
}

void CThread::Close()
{
    m_dwId = 0;
    CHandle::Close();
}

void CThread::Terminate(DWORD dwExitCode)
{
    m_dwId = 0;
    if (!::TerminateThread(m_h, dwExitCode))
        TK_THROW_LAST_ERROR(L"TerminateThread");
}

DWORD CThread::Suspend()
{
    DWORD dwCount = ::SuspendThread(m_h);
    if (dwCount == static_cast<DWORD>(-1))
        TK_THROW_LAST_ERROR(L"SuspendThread");
    return dwCount;
}

DWORD CThread::Resume()
{
    DWORD dwCount = ::ResumeThread(m_h);
    if (dwCount == static_cast<DWORD>(-1))
        TK_THROW_LAST_ERROR(L"ResumeThread");
    return dwCount;
}

int CThread::GetPriority() const
{
    int nPriority = ::GetThreadPriority(m_h);
    if (nPriority == THREAD_PRIORITY_ERROR_RETURN)
        TK_THROW_LAST_ERROR(L"GetThreadPriority");
    return nPriority;
}

void CThread::SetThreadPriority(int nPriority)
{
    if (!::SetThreadPriority(m_h, nPriority))
        TK_THROW_LAST_ERROR(L"SetThreadPriority");
}

DWORD CThread::GetExitCode()
{
    DWORD dwCode = 0;
    if (!::GetExitCodeThread(m_h, &dwCode))
        TK_THROW_LAST_ERROR(L"GetExitCodeThread");
    return dwCode;
}

} // namespace tarn_kit
