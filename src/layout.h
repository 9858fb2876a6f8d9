// Internal: the resizable dialogs record their controls' rectangles once and place
// every control from that record on each WM_SIZE, so rounding never accumulates.
#pragma once

#include <windows.h>

#include <map>

namespace tarn_kit {
namespace detail {

/// The control's window rectangle in the client coordinates of hDlg.
inline RECT ClientRectOf(HWND hDlg, HWND hCtrl)
{
    RECT r = {};
    ::GetWindowRect(hCtrl, &r);
    ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

/// Records the client rectangle and the rectangles of the controls with the given ids.
inline void RecordLayout(HWND hDlg, const int* ids, int count, RECT& rcClient,
                         std::map<HWND, RECT>& rects)
{
    ::GetClientRect(hDlg, &rcClient);
    rects.clear();
    for (int i = 0; i < count; ++i) {
        HWND hCtrl = ::GetDlgItem(hDlg, ids[i]);
        rects[hCtrl] = ClientRectOf(hDlg, hCtrl);
    }
}

/// Places a control from its recorded rectangle: moved by (mx, my), grown by (gx, gy).
inline void Place(const std::map<HWND, RECT>& rects, HWND hCtrl, int mx, int my, int gx, int gy)
{
    auto it = rects.find(hCtrl);
    if (it == rects.end())
        return;
    const RECT& r = it->second;
    ::MoveWindow(hCtrl, r.left + mx, r.top + my, r.right - r.left + gx, r.bottom - r.top + gy,
                 TRUE);
}

} // namespace detail
} // namespace tarn_kit
