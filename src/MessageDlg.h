// Internal: the library's message box and its details dialog.
//
// Classes in this file:
//   CMessageDlgEx - a resizable message box with a hidden button that opens the details
//   CInfoDlgEx    - the details of a message: source, function, file, line and text
#pragma once

#include <tarn_kit/dialogs.h>

#include <map>

namespace tarn_kit {

// The library's message box: text, icon and buttons by MessageBox flags; two clicks on
// the hidden Info area reveal the button that opens the details.
class CMessageDlgEx : public CDialog
{
public:
    CMessageDlgEx(HWND hParent, const wchar_t* text, const wchar_t* caption, const wchar_t* source,
                  const wchar_t* function, const wchar_t* file, unsigned line, unsigned type);
    ~CMessageDlgEx() override;

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnAbort() override;
    void OnRetry() override;
    void OnIgnore() override;
    void OnYes() override;
    void OnNo() override;

private:
    void OnSize(int cx, int cy);
    void OnLButtonDown(LPARAM lParam);

    HWND m_hWndOwner;
    ustring m_strText;
    ustring m_strCaption;
    ustring m_strSource;
    ustring m_strFunction;
    ustring m_strFile;
    unsigned m_nLine;
    unsigned m_nType;
    HICON m_hIcon;
    HICON m_hIconSmall;
    bool m_bInitialized;
    RECT m_rcClient;
    std::map<HWND, RECT> m_mapRects;
    int m_nInfoClicks;
    HWND m_hText;
    HWND m_hInfo;
    HWND m_hButton1001;
    HWND m_hButton1002;
    HWND m_hButton1003;
    HWND m_hButton1007;
    HWND m_hButton1008;
};

// The details behind a message box; ends with IDCANCEL by its Close button,
// Escape or the close box.
class CInfoDlgEx : public CDialog
{
public:
    CInfoDlgEx(HWND hParent, const wchar_t* text, const wchar_t* caption, const wchar_t* source,
               const wchar_t* function, const wchar_t* file, unsigned line, unsigned type);
    ~CInfoDlgEx() override;

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    bool OnInitDialog() override;

private:
    void OnSize(int cx, int cy);

    HWND m_hWndOwner;
    ustring m_strText;
    ustring m_strCaption;
    ustring m_strSource;
    ustring m_strFunction;
    ustring m_strFile;
    unsigned m_nLine;
    unsigned m_nType;
    HICON m_hIconSmall;
    bool m_bInitialized;
    RECT m_rcClient;
    std::map<HWND, RECT> m_mapRects;
    HWND m_hSource;
    HWND m_hFunction;
    HWND m_hFile;
    HWND m_hLine;
    HWND m_hText;
    HWND m_hClose;
};

} // namespace tarn_kit
