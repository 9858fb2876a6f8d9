// CDialog: creation from templates and the one dialog procedure that routes
// messages to the bound object.
#include <tarn_kit/dialogs.h>

#include <cstring>

namespace tarn_kit {

namespace {

// Asks the object of the dialog, then those of its registered ancestors up to
// the first one that is not a child window; true when one of them took it.
bool RunHookChain(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, bool (*isChild)(HWND),
                  CWnd* (*find)(HWND))
{
    for (HWND w = hWnd; w;) {
        if (CWnd* p = find(w))
            if (p->OnWindowProc(hWnd, uMsg, wParam, lParam, nullptr))
                return true;
        HWND parent = ::GetParent(w);
        if (!isChild(w) || !parent)
            break;
        w = parent;
    }
    return false;
}

} // namespace

CDialog::CDialog(HINSTANCE hInstance, UINT nIDTemplate, HWND hWndParent)
    : CWnd(hWndParent), m_hInstance(hInstance), m_nIDTemplate(nIDTemplate), m_hTemplate(nullptr)
{}

CDialog::~CDialog()
{
    if (m_hTemplate)
        ::GlobalFree(m_hTemplate);
}

bool CDialog::InitModalIndirect(HINSTANCE hInstance, void* hTemplate, HWND hParent)
{
    if (!hTemplate)
        return false;
    const void* source = ::GlobalLock(hTemplate);
    if (!source)
        return false;
    const SIZE_T size = ::GlobalSize(hTemplate);
    m_hWndParent = hParent;
    m_hInstance = hInstance;
    // A second template replaces the first.
    if (m_hTemplate)
        ::GlobalFree(m_hTemplate);
    m_hTemplate = ::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
    if (m_hTemplate)
        std::memcpy(m_hTemplate, source, size);
    ::GlobalUnlock(hTemplate);
    return m_hTemplate != nullptr;
}

int CDialog::DoModal()
{
    const LPARAM self = reinterpret_cast<LPARAM>(this);
    if (m_hTemplate)
        return static_cast<int>(
            ::DialogBoxIndirectParamW(m_hInstance, static_cast<const DLGTEMPLATE*>(m_hTemplate),
                                      m_hWndParent, DialogProc, self));
    return static_cast<int>(::DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(m_nIDTemplate),
                                              m_hWndParent, DialogProc, self));
}

bool CDialog::Create()
{
    const LPARAM self = reinterpret_cast<LPARAM>(this);
    HWND hWnd = m_hTemplate
                    ? ::CreateDialogIndirectParamW(m_hInstance,
                                                   static_cast<const DLGTEMPLATE*>(m_hTemplate),
                                                   m_hWndParent, DialogProc, self)
                    : ::CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(m_nIDTemplate),
                                           m_hWndParent, DialogProc, self);
    m_hWnd = hWnd;
    return m_hWnd != nullptr;
}

// WM_INITDIALOG: from here on the object receives the dialog's messages.
bool CDialog::OnInitDialog()
{
    RegisterInstance(m_hWnd, this);
    return true;
}

void CDialog::OnOK()
{
    ::EndDialog(m_hWnd, IDOK);
}

void CDialog::OnCancel()
{
    ::EndDialog(m_hWnd, IDCANCEL);
}

void CDialog::OnAbort()
{
    ::EndDialog(m_hWnd, IDABORT);
}

void CDialog::OnRetry()
{
    ::EndDialog(m_hWnd, IDRETRY);
}

void CDialog::OnIgnore()
{
    ::EndDialog(m_hWnd, IDIGNORE);
}

void CDialog::OnYes()
{
    ::EndDialog(m_hWnd, IDYES);
}

void CDialog::OnNo()
{
    ::EndDialog(m_hWnd, IDNO);
}

bool CDialog::SetDlgItemTextW(int nID, const wchar_t* text)
{
    return ::SetDlgItemTextW(m_hWnd, nID, text) != 0;
}

unsigned CDialog::GetDlgItemTextLength(int nID)
{
    return static_cast<unsigned>(::GetWindowTextLengthW(::GetDlgItem(m_hWnd, nID)));
}

unsigned CDialog::GetDlgItemTextW(int nID, ustring& text)
{
    text.clear();
    const unsigned n = GetDlgItemTextLength(nID);
    if (n != 0) {
        text.resize(n + 1);
        const UINT copied = ::GetDlgItemTextW(m_hWnd, nID, &text[0], static_cast<int>(n + 1));
        text.resize(copied);
    }
    return static_cast<unsigned>(text.size());
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (RunHookChain(
            hWnd, uMsg, wParam, lParam, [](HWND w) { return (GetStyle(w) & WS_CHILD) != 0; },
            &FindInstance))
        return TRUE;

    CDialog* pDlg = nullptr;
    if (uMsg == WM_INITDIALOG) {
        // Not registered yet: the object comes with the creation call.
        pDlg = reinterpret_cast<CDialog*>(lParam);
        if (pDlg)
            pDlg->m_hWnd = hWnd;
    } else {
        pDlg = dynamic_cast<CDialog*>(FindInstance(hWnd));
    }
    if (!pDlg)
        return FALSE;

    switch (uMsg) {
    // WM_DESTROY: unbind the object.
    case WM_DESTROY:
        pDlg->OnDestroy();
        return TRUE;
    // WM_CLOSE: the close box ends any dialog with IDCANCEL, whatever OnCancel does.
    case WM_CLOSE:
        ::EndDialog(hWnd, IDCANCEL);
        return TRUE;
    // WM_ERASEBKGND: the object paints the background.
    case WM_ERASEBKGND:
        pDlg->OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        return TRUE;
    // WM_INITDIALOG: TRUE lets the system set the focus.
    case WM_INITDIALOG:
        return pDlg->OnInitDialog() ? TRUE : FALSE;
    // WM_COMMAND: the seven standard buttons by id alone; the notification code is ignored.
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            pDlg->OnOK();
            return TRUE;
        case IDCANCEL:
            pDlg->OnCancel();
            return TRUE;
        case IDABORT:
            pDlg->OnAbort();
            return TRUE;
        case IDRETRY:
            pDlg->OnRetry();
            return TRUE;
        case IDIGNORE:
            pDlg->OnIgnore();
            return TRUE;
        case IDYES:
            pDlg->OnYes();
            return TRUE;
        case IDNO:
            pDlg->OnNo();
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace tarn_kit
