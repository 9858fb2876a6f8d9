// CMessageDlgEx and CInfoDlgEx: the library's message box and its details dialog,
// both from the library's own templates and translated when they open.
#include "MessageDlg.h"

#include <tarn_kit/shell.h>
#include <tarn_kit/translator.h>

#include "module.h"

namespace tarn_kit {

namespace {

// Both dialogs open at this size and can only be enlarged.
constexpr int kWidth = 400;
constexpr int kHeight = 250;

constexpr UINT kMessageTemplate = 107;
constexpr UINT kInfoTemplate = 108;

// Controls of the message box.
constexpr int kIcon = 1004;
constexpr int kText = 1005;
constexpr int kInfo = 1006;
constexpr int kLeftOfThree = 1001;
constexpr int kMiddleOfThree = 1002;
constexpr int kRightOfThree = 1003;
constexpr int kLeftOfTwo = 1007;
constexpr int kRightOfTwo = 1008;

// Controls of the details dialog.
constexpr int kSource = 1007;
constexpr int kFunction = 1008;
constexpr int kFile = 1009;
constexpr int kLine = 1010;

// The button captions in the string table: "OK" at 106 up to "No" at 112.
enum ECaption { eOK, eCancel, eAbort, eRetry, eIgnore, eYes, eNo, eCaptions };
constexpr UINT kFirstCaption = 106;

UINT IconGroup(unsigned type)
{
    switch (type & 0xF0) {
    case MB_ICONHAND:
        return 105;
    case MB_ICONQUESTION:
        return 108;
    case MB_ICONEXCLAMATION:
        return 106;
    default:
        return 107;
    }
}

// The image of the group that has the requested size.
HICON LoadGroupIcon(UINT group, int cxMetric, int cyMetric)
{
    return LoadIconW(detail::LibraryModule(), group, ::GetSystemMetrics(cxMetric),
                     ::GetSystemMetrics(cyMetric), 0);
}

// The control's window rectangle in the client coordinates of hDlg.
RECT ClientRectOf(HWND hDlg, HWND hCtrl)
{
    RECT r = {};
    ::GetWindowRect(hCtrl, &r);
    POINT tl = {r.left, r.top}, br = {r.right, r.bottom};
    ::ScreenToClient(hDlg, &tl);
    ::ScreenToClient(hDlg, &br);
    return RECT{tl.x, tl.y, br.x, br.y};
}

void RecordLayout(HWND hDlg, const int* ids, int count, RECT& rcClient, std::map<HWND, RECT>& rects)
{
    ::GetClientRect(hDlg, &rcClient);
    rects.clear();
    for (int i = 0; i < count; ++i) {
        HWND hCtrl = ::GetDlgItem(hDlg, ids[i]);
        rects[hCtrl] = ClientRectOf(hDlg, hCtrl);
    }
}

// Opens the dialog 400 x 250 pixels, centred on the owner or on the screen.
void PlaceCentred(HWND hDlg, HWND hOwner)
{
    RECT r;
    if (!::GetWindowRect(hOwner, &r))
        r = RECT{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    const LONG cx = r.left + (r.right - r.left) / 2;
    const LONG cy = r.top + (r.bottom - r.top) / 2;
    ::MoveWindow(hDlg, cx - kWidth / 2, cy - kHeight / 2, kWidth, kHeight, TRUE);
}

void LimitSize(LPARAM lParam)
{
    MINMAXINFO* p = reinterpret_cast<MINMAXINFO*>(lParam);
    p->ptMinTrackSize = POINT{kWidth, kHeight};
    p->ptMaxSize = POINT{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    p->ptMaxTrackSize = p->ptMaxSize;
}

// Places a control from its recorded rectangle: moved by (mx, my), grown by (gx, gy).
void Place(const std::map<HWND, RECT>& rects, HWND hCtrl, int mx, int my, int gx, int gy)
{
    auto it = rects.find(hCtrl);
    if (it == rects.end())
        return;
    const RECT& r = it->second;
    ::MoveWindow(hCtrl, r.left + mx, r.top + my, r.right - r.left + gx, r.bottom - r.top + gy,
                 TRUE);
}

} // namespace

// CMessageDlgEx

CMessageDlgEx::CMessageDlgEx(HWND hParent, const wchar_t* text, const wchar_t* caption,
                             const wchar_t* source, const wchar_t* function, const wchar_t* file,
                             unsigned line, unsigned type)
    : CDialog(detail::LibraryModule(), kMessageTemplate, hParent), m_hWndOwner(hParent),
      m_strText(text), m_strCaption(caption), m_strSource(source), m_strFunction(function),
      m_strFile(file), m_nLine(line), m_nType(type), m_hIcon(nullptr), m_hIconSmall(nullptr),
      m_bInitialized(false), m_rcClient(), m_nInfoClicks(0), m_hText(nullptr), m_hInfo(nullptr),
      m_hButton1001(nullptr), m_hButton1002(nullptr), m_hButton1003(nullptr),
      m_hButton1007(nullptr), m_hButton1008(nullptr)
{
    const UINT group = IconGroup(type);
    m_hIcon = LoadGroupIcon(group, SM_CXICON, SM_CYICON);
    m_hIconSmall = LoadGroupIcon(group, SM_CXSMICON, SM_CYSMICON);
}

CMessageDlgEx::~CMessageDlgEx()
{
    if (m_hIcon)
        ::DestroyIcon(m_hIcon);
    if (m_hIconSmall)
        ::DestroyIcon(m_hIconSmall);
}

bool CMessageDlgEx::OnInitDialog()
{
    CTranslatorInstance::Ref().XlateWnd(m_hWnd);
    CDialog::OnInitDialog();

    static const int kLaidOut[] = {kText,         kInfo,      kLeftOfThree, kMiddleOfThree,
                                   kRightOfThree, kLeftOfTwo, kRightOfTwo};
    RecordLayout(m_hWnd, kLaidOut, 7, m_rcClient, m_mapRects);

    ::SetWindowTextW(m_hWnd, m_strCaption.c_str());
    ::SendDlgItemMessageW(m_hWnd, kIcon, STM_SETIMAGE, IMAGE_ICON,
                          reinterpret_cast<LPARAM>(m_hIcon));
    ::SetDlgItemTextW(m_hWnd, kText, m_strText.c_str());

    m_hText = ::GetDlgItem(m_hWnd, kText);
    m_hInfo = ::GetDlgItem(m_hWnd, kInfo);
    m_hButton1001 = ::GetDlgItem(m_hWnd, kLeftOfThree);
    m_hButton1002 = ::GetDlgItem(m_hWnd, kMiddleOfThree);
    m_hButton1003 = ::GetDlgItem(m_hWnd, kRightOfThree);
    m_hButton1007 = ::GetDlgItem(m_hWnd, kLeftOfTwo);
    m_hButton1008 = ::GetDlgItem(m_hWnd, kRightOfTwo);

    ustring captions[eCaptions];
    for (int i = 0; i < eCaptions; ++i)
        captions[i].xload(detail::LibraryModule(), kFirstCaption + i);

    struct SButton
    {
        HWND hWnd;
        ECaption caption;
        int id;
    };
    // The buttons in use, left to right; every other button is hidden.
    SButton used[3] = {};
    int count = 0;
    switch (m_nType & 0x0F) {
    case MB_OKCANCEL:
        used[count++] = {m_hButton1007, eOK, IDOK};
        used[count++] = {m_hButton1008, eCancel, IDCANCEL};
        break;
    case MB_ABORTRETRYIGNORE:
        used[count++] = {m_hButton1001, eAbort, IDABORT};
        used[count++] = {m_hButton1002, eRetry, IDRETRY};
        used[count++] = {m_hButton1003, eIgnore, IDIGNORE};
        break;
    case MB_YESNOCANCEL:
        used[count++] = {m_hButton1001, eYes, IDYES};
        used[count++] = {m_hButton1002, eNo, IDNO};
        used[count++] = {m_hButton1003, eCancel, IDCANCEL};
        break;
    case MB_YESNO:
        used[count++] = {m_hButton1007, eYes, IDYES};
        used[count++] = {m_hButton1008, eNo, IDNO};
        break;
    case MB_RETRYCANCEL:
        used[count++] = {m_hButton1007, eRetry, IDRETRY};
        used[count++] = {m_hButton1008, eCancel, IDCANCEL};
        break;
    default:
        used[count++] = {m_hButton1002, eOK, IDOK};
        break;
    }
    const HWND all[] = {m_hButton1001, m_hButton1002, m_hButton1003, m_hButton1007, m_hButton1008};
    for (HWND hButton : all) {
        bool inUse = false;
        for (int i = 0; i < count; ++i)
            inUse = inUse || used[i].hWnd == hButton;
        if (!inUse)
            ::ShowWindow(hButton, SW_HIDE);
    }
    for (int i = 0; i < count; ++i) {
        ::SetWindowTextW(used[i].hWnd, captions[used[i].caption].c_str());
        SetDlgCtrlId(used[i].hWnd, used[i].id);
    }
    // The left button, which gets the focus, is the default: Wine would leave the
    // template's default (1001, hidden in most sets) in place, and Enter would do nothing.
    ::SendMessageW(m_hWnd, DM_SETDEFID, static_cast<WPARAM>(used[0].id), 0);

    m_bInitialized = true;
    m_nInfoClicks = 0;
    PlaceCentred(m_hWnd, m_hWndOwner);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    return true;
}

bool CMessageDlgEx::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    if (hWnd != m_hWnd)
        return false;
    switch (uMsg) {
    // WM_SIZE: the text grows with the window, the buttons keep to the bottom centre.
    case WM_SIZE:
        if (!m_bInitialized)
            return false;
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return true;
    // WM_GETMINMAXINFO: never smaller than the opening size.
    case WM_GETMINMAXINFO:
        if (!m_bInitialized)
            return false;
        LimitSize(lParam);
        return true;
    // WM_LBUTTONDOWN: a click on the hidden Info button's area counts towards revealing it.
    case WM_LBUTTONDOWN:
        OnLButtonDown(lParam);
        return true;
    // WM_COMMAND from the Info button: the details, modal over this box.
    case WM_COMMAND:
        if (LOWORD(wParam) != kInfo)
            return false;
        {
            CInfoDlgEx details(m_hWnd, m_strText.c_str(), m_strCaption.c_str(), m_strSource.c_str(),
                               m_strFunction.c_str(), m_strFile.c_str(), m_nLine, m_nType);
            details.DoModal();
        }
        return true;
    default:
        return false;
    }
}

void CMessageDlgEx::OnSize(int cx, int cy)
{
    const int dx = cx - m_rcClient.right;
    const int dy = cy - m_rcClient.bottom;
    Place(m_mapRects, m_hText, 0, 0, dx, dy);
    for (HWND hButton : {m_hButton1001, m_hButton1002, m_hButton1003, m_hButton1007, m_hButton1008})
        Place(m_mapRects, hButton, dx / 2, dy, 0, 0);
}

void CMessageDlgEx::OnLButtonDown(LPARAM lParam)
{
    POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    RECT r;
    if (!::ClientToScreen(m_hWnd, &pt) || !::GetWindowRect(m_hInfo, &r))
        return;
    // Bounds included on all four sides.
    if (pt.x >= r.left && pt.x <= r.right && pt.y >= r.top && pt.y <= r.bottom) {
        if (++m_nInfoClicks >= 2)
            ::ShowWindow(m_hInfo, SW_SHOW);
    }
}

void CMessageDlgEx::OnOK()
{
    CDialog::OnOK();
}

// Escape closes only the boxes that have a Cancel button.
void CMessageDlgEx::OnCancel()
{
    const unsigned buttons = m_nType & 0x0F;
    if (buttons == MB_OKCANCEL || buttons == MB_YESNOCANCEL || buttons == MB_RETRYCANCEL)
        CDialog::OnCancel();
}

void CMessageDlgEx::OnAbort()
{
    CDialog::OnAbort();
}

void CMessageDlgEx::OnRetry()
{
    CDialog::OnRetry();
}

void CMessageDlgEx::OnIgnore()
{
    CDialog::OnIgnore();
}

void CMessageDlgEx::OnYes()
{
    CDialog::OnYes();
}

void CMessageDlgEx::OnNo()
{
    CDialog::OnNo();
}

// CInfoDlgEx

CInfoDlgEx::CInfoDlgEx(HWND hParent, const wchar_t* text, const wchar_t* caption,
                       const wchar_t* source, const wchar_t* function, const wchar_t* file,
                       unsigned line, unsigned type)
    : CDialog(detail::LibraryModule(), kInfoTemplate, hParent), m_hWndOwner(hParent),
      m_strText(text), m_strCaption(caption), m_strSource(source), m_strFunction(function),
      m_strFile(file), m_nLine(line), m_nType(type), m_hIconSmall(nullptr), m_bInitialized(false),
      m_rcClient(), m_hSource(nullptr), m_hFunction(nullptr), m_hFile(nullptr), m_hLine(nullptr),
      m_hText(nullptr), m_hClose(nullptr)
{
    m_hIconSmall = LoadGroupIcon(IconGroup(type), SM_CXSMICON, SM_CYSMICON);
}

CInfoDlgEx::~CInfoDlgEx()
{
    if (m_hIconSmall)
        ::DestroyIcon(m_hIconSmall);
}

bool CInfoDlgEx::OnInitDialog()
{
    CTranslatorInstance::Ref().XlateWnd(m_hWnd);
    CDialog::OnInitDialog();

    static const int kLaidOut[] = {kSource, kFunction, kFile, kLine, kText, IDCANCEL};
    RecordLayout(m_hWnd, kLaidOut, 6, m_rcClient, m_mapRects);

    ::SetWindowTextW(m_hWnd, m_strCaption.c_str());
    ::SetDlgItemTextW(m_hWnd, kSource, m_strSource.c_str());
    ::SetDlgItemTextW(m_hWnd, kFunction, m_strFunction.c_str());
    ::SetDlgItemTextW(m_hWnd, kFile, m_strFile.c_str());
    ::SetDlgItemTextW(m_hWnd, kLine, ustring::ui64toa(m_nLine).c_str());
    ::SetDlgItemTextW(m_hWnd, kText, m_strText.c_str());

    m_hSource = ::GetDlgItem(m_hWnd, kSource);
    m_hFunction = ::GetDlgItem(m_hWnd, kFunction);
    m_hFile = ::GetDlgItem(m_hWnd, kFile);
    m_hLine = ::GetDlgItem(m_hWnd, kLine);
    m_hText = ::GetDlgItem(m_hWnd, kText);
    m_hClose = ::GetDlgItem(m_hWnd, IDCANCEL);

    m_bInitialized = true;
    PlaceCentred(m_hWnd, m_hWndOwner);
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    return true;
}

bool CInfoDlgEx::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM, LPARAM lParam, LRESULT*)
{
    if (hWnd != m_hWnd)
        return false;
    switch (uMsg) {
    // WM_SIZE: the fields grow with the window, Close keeps to the bottom centre.
    case WM_SIZE:
        if (!m_bInitialized)
            return false;
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return true;
    // WM_GETMINMAXINFO: never smaller than the opening size.
    case WM_GETMINMAXINFO:
        if (!m_bInitialized)
            return false;
        LimitSize(lParam);
        return true;
    default:
        return false;
    }
}

void CInfoDlgEx::OnSize(int cx, int cy)
{
    const int dx = cx - m_rcClient.right;
    const int dy = cy - m_rcClient.bottom;
    for (HWND hField : {m_hSource, m_hFunction, m_hFile, m_hLine})
        Place(m_mapRects, hField, 0, 0, dx, 0);
    Place(m_mapRects, m_hText, 0, 0, dx, dy);
    Place(m_mapRects, m_hClose, dx / 2, dy, 0, 0);
}

} // namespace tarn_kit
