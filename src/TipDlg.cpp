// CTipDlg: a caption-less tip window that paints itself at once, for work that
// does not pump messages.
#include <tarn_kit/dialogs.h>

#include "module.h"

namespace tarn_kit {

namespace {

constexpr UINT kTipTemplate = 109;
constexpr int kTextArea = 1012;

} // namespace

CTipDlg::CTipDlg(HWND hParent, const wchar_t* text, bool bDeferred)
    : CDialog(detail::LibraryModule(), kTipTemplate, hParent), m_strText(text)
{
    if (bDeferred)
        return;
    Create();
    CenterWindow();
    ::ShowWindow(m_hWnd, SW_SHOW);
    // Paint what lies beneath first, then the tip itself: the caller is about to
    // work without pumping messages.
    for (HWND h = hParent; h; h = ::GetParent(h))
        ::UpdateWindow(h);
    ::UpdateWindow(m_hWnd);
}

CTipDlg::~CTipDlg() = default;

bool CTipDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    return true;
}

// WM_PAINT: the text first; default processing then paints the rest of the tip.
bool CTipDlg::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (uMsg == WM_PAINT && hWnd == m_hWnd)
        PaintText();
    return CWnd::OnWindowProc(hWnd, uMsg, wParam, lParam, pResult);
}

void CTipDlg::PaintText()
{
    HWND hArea = ::GetDlgItem(m_hWnd, kTextArea);
    RECT wr;
    if (!hArea || !::GetWindowRect(hArea, &wr))
        return;
    // Painting the control validates it, so it does not paint over the text.
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(hArea, &ps);
    if (!hdc)
        return;
    HGDIOBJ hOldFont =
        ::SelectObject(hdc, reinterpret_cast<HFONT>(::SendMessageW(hArea, WM_GETFONT, 0, 0)));
    ::SetBkMode(hdc, TRANSPARENT);

    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    RECT r = {0, 0, w, h};
    ::SetBkColor(hdc, ::GetSysColor(COLOR_MENU));
    ::ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);

    // Measuring narrows r to the text; the drawing keeps the whole width so that
    // DT_CENTER centres in the area.
    const int t =
        ::DrawTextW(hdc, m_strText.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    r.left = 0;
    r.right = w;
    if (t <= h) {
        r.top = (h - t) / 2;
        r.bottom = h - (h - t) / 2;
        ::DrawTextW(hdc, m_strText.c_str(), -1, &r, DT_WORDBREAK | DT_CENTER);
    } else {
        ::DrawTextW(hdc, m_strText.c_str(), -1, &r, DT_WORDBREAK | DT_CENTER | DT_END_ELLIPSIS);
    }

    ::SelectObject(hdc, hOldFont);
    ::EndPaint(hArea, &ps);
}

} // namespace tarn_kit
