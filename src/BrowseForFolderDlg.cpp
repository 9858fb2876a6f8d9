// CBrowseForFolderDlg: the library's folder picker, a tree of the drives read from the
// disk as the user unfolds it. BrowseForFolder and GetSpecialFolderLocation: the
// shell's picker and special folders.
#include <tarn_kit/dialogs.h>
#include <tarn_kit/file.h>
#include <tarn_kit/shell.h>
#include <tarn_kit/translator.h>

#include "module.h"

#include <shlobj.h>

#include <set>

namespace tarn_kit {

namespace {

constexpr UINT kTemplate = 110;
constexpr UINT kTemplateHighDPI = 111;
constexpr int kPrompt = 1015;
constexpr int kTree = 1014;

RECT ClientRectOf(HWND hDlg, HWND hCtrl)
{
    RECT r = {};
    ::GetWindowRect(hCtrl, &r);
    ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
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

// The folder as a directory: C:\a\b gives drive C: and directory \a\b (MakePath adds
// the separators).
void FolderAsDirectory(const wchar_t* folder, ustring& drive, ustring& dir)
{
    ustring name, ext;
    CFile::SplitPath(folder, drive, dir, name, ext);
    dir += name;
    dir += ext;
}

bool IsDots(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsSubfolder(const WIN32_FIND_DATAW& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(data.cFileName);
}

// The shell's item lists are freed through its allocator.
void FreeItemList(LPITEMIDLIST pidl)
{
    IMalloc* pMalloc = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&pMalloc)) && pMalloc) {
        pMalloc->Free(pidl);
        pMalloc->Release();
    }
}

// An empty item gives a folder its expand button until the folder is read.
void InsertPlaceholder(HWND hTree, HTREEITEM hParent)
{
    TVINSERTSTRUCTW placeholder = {};
    placeholder.hParent = hParent;
    placeholder.hInsertAfter = TVI_LAST;
    ::SendMessageW(hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&placeholder));
}

// Posted, not sent: the picker selects only once it has finished initialising.
int CALLBACK BrowseCallback(HWND hWnd, UINT uMsg, LPARAM, LPARAM lpData)
{
    if (uMsg == BFFM_INITIALIZED)
        ::PostMessageW(hWnd, BFFM_SETSELECTIONW, TRUE, lpData);
    return 0;
}

} // namespace

CBrowseForFolderDlg::CBrowseForFolderDlg(HWND hParent, const wchar_t* title, unsigned flags,
                                         ustring& path)
    : CDialog(detail::LibraryModule(), IsHighDPI() ? kTemplateHighDPI : kTemplate, hParent),
      m_strTitle(title), m_nFlags(flags), m_pPath(&path), m_bInitialized(false),
      m_bHighDPI(IsHighDPI()), m_hWndTitle(nullptr), m_hWndTree(nullptr), m_hWndOK(nullptr),
      m_hWndCancel(nullptr), m_rcClient()
{
    // The template names the tree view class, which must exist before the dialog does.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
}

CBrowseForFolderDlg::~CBrowseForFolderDlg() = default;

bool CBrowseForFolderDlg::OnInitDialog()
{
    CTranslatorInstance::Ref().XlateWnd(m_hWnd);
    CDialog::OnInitDialog();

    ::GetClientRect(m_hWnd, &m_rcClient);
    m_mapRects.clear();
    HWND* const handles[] = {&m_hWndTitle, &m_hWndTree, &m_hWndOK, &m_hWndCancel};
    const int ids[] = {kPrompt, kTree, IDOK, IDCANCEL};
    for (int i = 0; i < 4; ++i) {
        *handles[i] = ::GetDlgItem(m_hWnd, ids[i]);
        m_mapRects[*handles[i]] = ClientRectOf(m_hWnd, *handles[i]);
    }

    ::SetWindowTextW(m_hWndTitle, m_strTitle.c_str());
    // Nothing is selected yet.
    ::EnableWindow(m_hWndOK, FALSE);
    m_bInitialized = true;

    HTREEITEM hRoot =
        reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWndTree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    DrawLevel(hRoot, nullptr, true);
    return true;
}

bool CBrowseForFolderDlg::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM, LPARAM lParam, LRESULT*)
{
    if (hWnd != m_hWnd)
        return false;
    switch (uMsg) {
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return true;
    case WM_NOTIFY: {
        NMHDR* pHdr = reinterpret_cast<NMHDR*>(lParam);
        if (!pHdr || pHdr->idFrom != kTree)
            return false;
        switch (pHdr->code) {
        case TVN_ITEMEXPANDINGW:
            OnItemExpanding(reinterpret_cast<NMTREEVIEWW*>(pHdr));
            break;
        case TVN_GETDISPINFOW:
            OnGetDispInfo(reinterpret_cast<NMTVDISPINFOW*>(pHdr));
            break;
        case TVN_SELCHANGEDW:
            OnSelChanged(reinterpret_cast<NMTREEVIEWW*>(pHdr));
            break;
        default:
            break;
        }
        return true;
    }
    default:
        return false;
    }
}

void CBrowseForFolderDlg::OnDestroy()
{
    CWnd::OnDestroy();
}

void CBrowseForFolderDlg::OnOK()
{
    HTREEITEM hItem =
        reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWndTree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!hItem)
        return;
    *m_pPath = m_mapPaths[hItem];
    CDialog::OnOK();
}

void CBrowseForFolderDlg::OnCancel()
{
    CDialog::OnCancel();
}

void CBrowseForFolderDlg::DrawLevel(HTREEITEM hParent, const wchar_t* folder, bool select)
{
    CWaitCursor wait;
    DeleteAllChildren(hParent);

    std::vector<ustring> children;
    if (!folder) {
        const DWORD drives = ::GetLogicalDrives();
        for (int i = 0; i < 26; ++i)
            if (drives & (1u << i))
                children.push_back(ustring(1, wchar_t(L'A' + i)) + L":\\");
    } else {
        EnumChildren(folder, children);
    }

    for (const ustring& child : children) {
        ustring drive, dir, name, ext, label;
        CFile::SplitPath(child.c_str(), drive, dir, name, ext);
        if (dir == L"\\" && name.empty() && ext.empty())
            label = drive.empty() ? ustring(L"\\") : drive;
        else
            CFile::MakePath(label, nullptr, nullptr, name.c_str(), ext.c_str());

        TVINSERTSTRUCTW tvis = {};
        tvis.hParent = hParent;
        tvis.hInsertAfter = TVI_LAST;
        tvis.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        tvis.item.pszText = const_cast<wchar_t*>(label.c_str());
        tvis.item.iImage = I_IMAGECALLBACK;
        tvis.item.iSelectedImage = I_IMAGECALLBACK;
        HTREEITEM hItem = reinterpret_cast<HTREEITEM>(
            ::SendMessageW(m_hWndTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvis)));
        if (!hItem)
            continue;
        m_mapPaths[hItem] = child;

        if (HasChildren(child.c_str()))
            InsertPlaceholder(m_hWndTree, hItem);

        if (!select)
            continue;
        if (child.compareNoCase(m_pPath->c_str()) == 0) {
            ::SendMessageW(m_hWndTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem));
        } else if (CFile::IsParentFolder(m_pPath->c_str(), child.c_str())) {
            ::SendMessageW(m_hWndTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem));
            ::SendMessageW(m_hWndTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(hItem));
            DrawLevel(hItem, child.c_str(), true);
        }
    }
}

void CBrowseForFolderDlg::DeleteAllChildren(HTREEITEM hParent)
{
    for (;;) {
        HTREEITEM hChild = reinterpret_cast<HTREEITEM>(::SendMessageW(
            m_hWndTree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(hParent)));
        if (!hChild)
            break;
        m_mapPaths.erase(hChild);
        ::SendMessageW(m_hWndTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(hChild));
    }
}

void CBrowseForFolderDlg::EnumChildren(const wchar_t* folder, std::vector<ustring>& children)
{
    children.clear();
    ustring drive, dir, pattern;
    FolderAsDirectory(folder, drive, dir);
    CFile::MakePath(pattern, drive.c_str(), dir.c_str(), L"*", L"*");

    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(pattern.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    std::set<ustring, LessStrW> sorted;
    do {
        if (IsSubfolder(data)) {
            ustring child;
            CFile::MakePath(child, drive.c_str(), dir.c_str(), data.cFileName, nullptr);
            sorted.insert(child);
        }
    } while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    children.assign(sorted.begin(), sorted.end());
}

bool CBrowseForFolderDlg::HasChildren(const wchar_t* folder)
{
    ustring drive, dir, pattern;
    FolderAsDirectory(folder, drive, dir);
    CFile::MakePath(pattern, drive.c_str(), dir.c_str(), L"*", L"*");

    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(pattern.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do
        found = IsSubfolder(data);
    while (!found && ::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
    return found;
}

// Expanding reads the folder again; collapsing frees the subtree and leaves a
// placeholder if there is something to unfold.
void CBrowseForFolderDlg::OnItemExpanding(NMTREEVIEWW* pnm)
{
    CWaitCursor wait;
    HTREEITEM hItem = pnm->itemNew.hItem;
    const ustring path = m_mapPaths[hItem];
    if (pnm->action == TVE_EXPAND) {
        DeleteAllChildren(hItem);
        DrawLevel(hItem, path.c_str(), false);
    } else if (pnm->action == TVE_COLLAPSE) {
        DeleteAllChildren(hItem);
        if (HasChildren(path.c_str()))
            InsertPlaceholder(m_hWndTree, hItem);
    }
}

void CBrowseForFolderDlg::OnGetDispInfo(NMTVDISPINFOW* pnm)
{
    if (!(pnm->item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)))
        return;
    auto it = m_mapPaths.find(pnm->item.hItem);
    if (it == m_mapPaths.end())
        return;
    SHFILEINFOW info = {};
    HIMAGELIST hList = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoW(
        it->second.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (!hList)
        return;
    if (reinterpret_cast<HIMAGELIST>(
            ::SendMessageW(m_hWndTree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0)) != hList)
        ::SendMessageW(m_hWndTree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(hList));
    pnm->item.iImage = info.iIcon;
    pnm->item.iSelectedImage = info.iIcon;
}

void CBrowseForFolderDlg::OnSelChanged(NMTREEVIEWW* pnm)
{
    ::EnableWindow(m_hWndOK, pnm->itemNew.hItem != nullptr);
}

// The prompt widens, the tree grows both ways; the buttons follow the bottom edge,
// in the right-hand column of the high-DPI layout and centred otherwise.
void CBrowseForFolderDlg::OnSize(int cx, int cy)
{
    if (!m_bInitialized)
        return;
    const int dx = cx - m_rcClient.right;
    const int dy = cy - m_rcClient.bottom;
    Place(m_mapRects, m_hWndTitle, 0, 0, dx, 0);
    Place(m_mapRects, m_hWndTree, 0, 0, dx, dy);
    const int mx = m_bHighDPI ? dx : dx / 2;
    Place(m_mapRects, m_hWndOK, mx, dy, 0, 0);
    Place(m_mapRects, m_hWndCancel, mx, dy, 0, 0);
}

bool BrowseForFolder(HWND hOwner, const wchar_t* title, unsigned flags, ustring& path)
{
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, MAX_PATH - 1);

    BROWSEINFOW bi = {};
    bi.hwndOwner = hOwner;
    bi.pidlRoot = nullptr;
    bi.pszDisplayName = buffer;
    bi.lpszTitle = title;
    bi.ulFlags = flags;
    bi.lpfn = &BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(buffer);
    LPITEMIDLIST pidl = ::SHBrowseForFolderW(&bi);
    if (!pidl)
        return false;
    const bool chosen = ::SHGetPathFromIDListW(pidl, buffer) != FALSE;
    FreeItemList(pidl);
    if (chosen)
        path = buffer;
    return chosen;
}

bool GetSpecialFolderLocation(HWND hOwner, int nFolder, ustring& path)
{
    LPITEMIDLIST pidl = nullptr;
    const HRESULT hr = ::SHGetSpecialFolderLocation(hOwner, nFolder, &pidl);
    bool found = false;
    if (SUCCEEDED(hr) && pidl) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(pidl, buffer)) {
            path = buffer;
            found = true;
        }
    }
    if (pidl)
        FreeItemList(pidl);
    return found;
}

} // namespace tarn_kit
