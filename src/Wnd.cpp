// CWnd: the registry that binds objects to window handles, and the window helpers.
#include <tarn_kit/dialogs.h>

namespace tarn_kit {

CWnd::CWnd(HWND hWndParent) : m_hWnd(nullptr), m_hWndParent(hWndParent) {}

CWnd::~CWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
    UnregisterInstance(m_hWnd);
}

bool CWnd::OnWindowProc(HWND, UINT, WPARAM, LPARAM, LRESULT*)
{
    return false;
}

// WM_CREATE: binds the object; nothing in the library routes it here.
int CWnd::OnCreate(CREATESTRUCTW*)
{
    RegisterInstance(m_hWnd, this);
    return 0;
}

// WM_DESTROY: the window is going; no further message may reach the object.
void CWnd::OnDestroy()
{
    UnregisterInstance(m_hWnd);
    m_hWnd = nullptr;
}

// WM_ERASEBKGND: the client area in the button face colour.
void CWnd::OnEraseBkgnd(HDC hdc)
{
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    ::SetBkColor(hdc, ::GetSysColor(COLOR_BTNFACE));
    ::ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

LONG CWnd::GetStyle(HWND hWnd)
{
    ::SetLastError(0);
    return ::GetWindowLongW(hWnd, GWL_STYLE);
}

bool CWnd::ModifyStyle(HWND hWnd, LONG remove, LONG add)
{
    ::SetLastError(0);
    LONG old = ::GetWindowLongW(hWnd, GWL_STYLE);
    // A previous style of 0 is a success that SetWindowLongW reports as 0.
    return ::SetWindowLongW(hWnd, GWL_STYLE, (old & ~remove) | add) != 0 || ::GetLastError() == 0;
}

LONG CWnd::SetDlgCtrlId(HWND hWnd, LONG id)
{
    ::SetLastError(0);
    return ::SetWindowLongW(hWnd, GWL_ID, id);
}

bool CWnd::RegisterInstance(HWND hWnd, CWnd* pWnd)
{
    CLocker<CCriticalSection> lock(m_cs);
    return m_map.emplace(hWnd, pWnd).second;
}

bool CWnd::UnregisterInstance(HWND hWnd)
{
    CLocker<CCriticalSection> lock(m_cs);
    return m_map.erase(hWnd) != 0;
}

CWnd* CWnd::FindInstance(HWND hWnd)
{
    CLocker<CCriticalSection> lock(m_cs);
    auto it = m_map.find(hWnd);
    return it == m_map.end() ? nullptr : it->second;
}

void CWnd::CenterWindow()
{
    if (m_hWndParent && !::IsWindow(m_hWndParent))
        return;
    if (!::IsWindow(m_hWnd))
        return;
    RECT r, w;
    ::GetWindowRect(m_hWndParent ? m_hWndParent : ::GetDesktopWindow(), &r);
    ::GetWindowRect(m_hWnd, &w);
    // C++ division truncates toward zero, as the placement rule wants; an odd
    // size comes out one pixel smaller.
    const LONG cx = (r.left + r.right) / 2, hx = (w.right - w.left) / 2;
    const LONG cy = (r.top + r.bottom) / 2, hy = (w.bottom - w.top) / 2;
    ::MoveWindow(m_hWnd, cx - hx, cy - hy, 2 * hx, 2 * hy, TRUE);
}

} // namespace tarn_kit
