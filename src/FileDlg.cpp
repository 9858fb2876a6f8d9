// CFileDlg: the library's file picker over a folder listing with ".." and the
// drive list, a file-name field and a filter box.
#include <tarn_kit/dialogs.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>
#include <set>

#include "module.h"

namespace tarn_kit {

namespace {

constexpr UINT kFileTemplate = 112;

constexpr int kFolderLine = 1015;
constexpr int kList = 1016;
constexpr int kFilter = 1018;
constexpr int kFileName = 1019;

constexpr std::size_t kMaxText = 260;

// The list-view class must exist before the template's control is created.
void RegisterListView()
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
}

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

// Trailing backslashes off, but a drive root such as C:\ keeps its own.
void StripTrailingBackslashes(ustring& s)
{
    while (s.size() > 3 && s.back() == L'\\')
        s.pop_back();
}

bool IsExistingFile(const wchar_t* path)
{
    bool bIsDirectory = false;
    return CFile::FileExists(path, bIsDirectory) && !bIsDirectory;
}

ustring FolderOf(const wchar_t* path)
{
    ustring drive, dir, name, ext, out;
    CFile::SplitPath(path, drive, dir, name, ext);
    CFile::MakePath(out, drive.c_str(), dir.c_str(), nullptr, nullptr);
    return out;
}

ustring Child(const ustring& folder, const wchar_t* name)
{
    ustring out(folder);
    if (!out.empty() && out.back() != L'\\')
        out += L'\\';
    out += name;
    return out;
}

// Calls each(data) for every entry the pattern finds; a failed search finds nothing.
template <class Each>
void ForEachEntry(const ustring& pattern, Each each)
{
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(pattern.c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do
        each(data);
    while (::FindNextFileW(hFind, &data));
    ::FindClose(hFind);
}

} // namespace

CFileDlg::CFileDlg(HWND hParent, bool bOpen, const wchar_t* defExt, const wchar_t* fileName,
                   unsigned long flags, const wchar_t* filter)
    : CDialog(detail::LibraryModule(), kFileTemplate, hParent), m_bOpen(bOpen), m_strDefExt(defExt),
      m_strFileName(fileName), m_nFlags(flags), m_strFilter(filter), m_bInitialized(false),
      m_hWndFolder(nullptr), m_hWndList(nullptr), m_hWndFileName(nullptr), m_hWndFilter(nullptr),
      m_hWndOK(nullptr), m_hWndCancel(nullptr), m_rcClient()
{
    RegisterListView();
}

CFileDlg::~CFileDlg() = default;

ustring CFileDlg::GetPathName() const
{
    return m_strPathName;
}

bool CFileDlg::OnInitDialog()
{
    CTranslatorInstance::Ref().XlateWnd(m_hWnd);
    CDialog::OnInitDialog();

    ::GetClientRect(m_hWnd, &m_rcClient);
    m_hWndFolder = ::GetDlgItem(m_hWnd, kFolderLine);
    m_hWndList = ::GetDlgItem(m_hWnd, kList);
    m_hWndFileName = ::GetDlgItem(m_hWnd, kFileName);
    m_hWndFilter = ::GetDlgItem(m_hWnd, kFilter);
    m_hWndOK = ::GetDlgItem(m_hWnd, IDOK);
    m_hWndCancel = ::GetDlgItem(m_hWnd, IDCANCEL);
    m_mapRects.clear();
    for (HWND h : {m_hWndFolder, m_hWndList, m_hWndFileName, m_hWndFilter, m_hWndOK, m_hWndCancel})
        m_mapRects[h] = ClientRectOf(m_hWnd, h);
    // A combo box's height is that of its open list: kept, or the list would close up.
    RECT dropped = {};
    if (::SendMessageW(m_hWndFilter, CB_GETDROPPEDCONTROLRECT, 0,
                       reinterpret_cast<LPARAM>(&dropped)))
        m_mapRects[m_hWndFilter].bottom =
            m_mapRects[m_hWndFilter].top + dropped.bottom - dropped.top;
    m_bInitialized = true;

    if (m_strFilter.empty()) {
        ::EnableWindow(m_hWndFilter, FALSE);
    } else {
        std::vector<ustring> parts;
        ustring::split(m_strFilter.c_str(), L'|', parts, false);
        int n = 1;
        for (std::size_t i = 0; i + 1 < parts.size(); i += 2, ++n) {
            const LRESULT item = ::SendMessageW(m_hWndFilter, CB_ADDSTRING, 0,
                                                reinterpret_cast<LPARAM>(parts[i].c_str()));
            if (item == CB_ERR || item == CB_ERRSPACE)
                continue;
            if (::SendMessageW(m_hWndFilter, CB_SETITEMDATA, item, n) != CB_ERR)
                m_mapFilters[n] = parts[i + 1];
        }
        ::SendMessageW(m_hWndFilter, CB_SETCURSEL, 0, 0);
    }

    m_strPathName.clear();

    bool bIsDirectory = false;
    const bool bExists = !m_strFileName.empty() && CFile::FileExists(m_strFileName, bIsDirectory);
    if (m_strFileName.empty()) {
        DrawLevel(nullptr, false);
    } else if (bExists) {
        DrawLevel(m_strFileName.c_str(), true);
    } else {
        ustring folder = FolderOf(m_strFileName.c_str());
        StripTrailingBackslashes(folder);
        DrawLevel(CFile::FileExists(folder) ? folder.c_str() : nullptr, true);
    }

    if (!m_strFileName.empty() && !(bExists && bIsDirectory)) {
        ustring drive, dir, name, ext;
        CFile::SplitPath(m_strFileName.c_str(), drive, dir, name, ext);
        ::SetWindowTextW(m_hWndFileName, (name + ext).c_str());
    }
    return true;
}

void CFileDlg::DrawLevel(const wchar_t* path, bool select)
{
    CWaitCursor wait;

    // A visible list redrawn at every insertion takes time growing with the square
    // of the count (Wine): drawing is held until the list is complete.
    ::SendMessageW(m_hWndList, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_hWndList, LVM_DELETEALLITEMS, 0, 0);
    m_mapItems.clear();

    const ustring line = IsExistingFile(path) ? FolderOf(path) : ustring(path);
    ::SetWindowTextW(m_hWndFolder, line.c_str());
    ::SendMessageW(m_hWndFolder, EM_SETSEL, line.size(), line.size());

    std::vector<ustring> children;
    EnumChildren(path, children);

    int selected = -1;
    ustring drive, dir, name, ext;
    for (const ustring& child : children) {
        CFile::SplitPath(child.c_str(), drive, dir, name, ext);
        const ustring label = dir == L"\\" && name.empty() && ext.empty() ? drive : name + ext;

        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(::SendMessageW(m_hWndList, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<wchar_t*>(label.c_str());
        item.iImage = I_IMAGECALLBACK;
        if (select && selected < 0 && !m_strFileName.empty() &&
            m_strFileName.compareNoCase(child.c_str()) == 0) {
            item.mask |= LVIF_STATE;
            item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        }
        const int index = static_cast<int>(
            ::SendMessageW(m_hWndList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (index < 0)
            continue;
        if (item.mask & LVIF_STATE)
            selected = index;
        m_mapItems[index] = child;
    }

    ::SendMessageW(m_hWndList, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_hWndList, nullptr, TRUE);
    if (selected >= 0) {
        // A list that has not painted yet may lay out its scroll bars only when it
        // first paints, and a scroll bar takes a row off each column: printing the
        // list once settles the layout before the item is scrolled into view.
        if (HDC hdc = ::CreateCompatibleDC(nullptr)) {
            ::SendMessageW(m_hWndList, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), PRF_CLIENT);
            ::DeleteDC(hdc);
        }
        ::SendMessageW(m_hWndList, LVM_ENSUREVISIBLE, selected, FALSE);
    }
}

void CFileDlg::EnumChildren(const wchar_t* path, std::vector<ustring>& children)
{
    children.clear();
    if (!path || !*path) {
        const DWORD drives = ::GetLogicalDrives();
        wchar_t root[4] = L"A:\\";
        for (int i = 0; i < 26; ++i)
            if (drives & (1u << i)) {
                root[0] = static_cast<wchar_t>(L'A' + i);
                children.push_back(root);
            }
        return;
    }

    ustring w(path);
    StripTrailingBackslashes(w);
    ustring drive, dir, name, ext, folder;
    CFile::SplitPath(w.c_str(), drive, dir, name, ext);
    if (IsExistingFile(w.c_str())) {
        CFile::MakePath(folder, drive.c_str(), dir.c_str(), nullptr, nullptr);
    } else if (name == L"." && ext == L".") {
        CFile::MakePath(folder, drive.c_str(), dir.c_str(), nullptr, nullptr);
        StripTrailingBackslashes(folder);
        folder = FolderOf(folder.c_str());
    } else {
        CFile::MakePath(folder, drive.c_str(), dir.c_str(), name.c_str(), ext.c_str());
    }
    StripTrailingBackslashes(folder);
    m_strFolder = folder;

    ustring every;
    CFile::MakePath(every, nullptr, m_strFolder.c_str(), L"*", L"*");
    ustring pattern = every;
    const LRESULT sel = ::SendMessageW(m_hWndFilter, CB_GETCURSEL, 0, 0);
    if (sel != CB_ERR) {
        const LRESULT n = ::SendMessageW(m_hWndFilter, CB_GETITEMDATA, sel, 0);
        auto it = m_mapFilters.find(static_cast<int>(n));
        if (n != CB_ERR && it != m_mapFilters.end())
            pattern = Child(m_strFolder, it->second.c_str());
    }
    const bool bFilesApart = pattern != every;

    std::set<ustring, LessStrW> folders, files;
    bool bParentSeen = false;
    ForEachEntry(every, [&](const WIN32_FIND_DATAW& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (wcscmp(data.cFileName, L".") == 0)
                return;
            if (wcscmp(data.cFileName, L"..") == 0)
                bParentSeen = true;
            folders.insert(Child(m_strFolder, data.cFileName));
        } else if (!bFilesApart) {
            files.insert(Child(m_strFolder, data.cFileName));
        }
    });
    // The same search serves both unless a filter narrows the files.
    if (bFilesApart)
        ForEachEntry(pattern, [&](const WIN32_FIND_DATAW& data) {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                files.insert(Child(m_strFolder, data.cFileName));
        });

    children.reserve(folders.size() + files.size() + 1);
    if (!bParentSeen)
        children.push_back(Child(m_strFolder, L".."));
    children.insert(children.end(), folders.begin(), folders.end());
    children.insert(children.end(), files.begin(), files.end());
}

bool CFileDlg::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT*)
{
    if (hWnd != m_hWnd)
        return false;
    switch (uMsg) {
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return true;
    case WM_NOTIFY: {
        NMHDR* pnm = reinterpret_cast<NMHDR*>(lParam);
        if (!pnm || pnm->idFrom != static_cast<UINT_PTR>(kList))
            return false;
        switch (pnm->code) {
        case LVN_GETDISPINFOW:
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(pnm));
            return true;
        case LVN_ITEMACTIVATE:
            OnItemActivate(reinterpret_cast<NMITEMACTIVATE*>(pnm));
            return true;
        case LVN_ITEMCHANGED:
            OnItemChanged(reinterpret_cast<NMLISTVIEW*>(pnm));
            return true;
        default:
            return false;
        }
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == kFilter) {
            OnCbnSelChange();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CFileDlg::OnItemActivate(NMITEMACTIVATE*)
{
    const int index =
        static_cast<int>(::SendMessageW(m_hWndList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                        MAKELPARAM(LVNI_SELECTED | LVNI_FOCUSED, 0)));
    auto it = m_mapItems.find(index);
    if (index < 0 || it == m_mapItems.end())
        return;
    const ustring p = it->second;
    if (IsExistingFile(p.c_str())) {
        OnOK();
        return;
    }

    wchar_t text[kMaxText + 1] = {};
    LVITEMW item = {};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(kMaxText + 1);
    ::SendMessageW(m_hWndList, LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));

    ustring target = p;
    if (wcscmp(text, L"..") == 0) {
        ustring up = p;
        while (!up.empty() && up.back() == L'.')
            up.pop_back();
        while (!up.empty() && up.back() == L'\\')
            up.pop_back();
        ustring drive, dir, name, ext;
        CFile::SplitPath(up.c_str(), drive, dir, name, ext);
        target.clear();
        if (!name.empty() || !ext.empty())
            CFile::MakePath(target, drive.c_str(), dir.c_str(), nullptr, nullptr);
    }
    DrawLevel(target.c_str(), false);
}

void CFileDlg::OnItemChanged(NMLISTVIEW*)
{
    const int index =
        static_cast<int>(::SendMessageW(m_hWndList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                        MAKELPARAM(LVNI_SELECTED | LVNI_FOCUSED, 0)));
    auto it = m_mapItems.find(index);
    if (index < 0 || it == m_mapItems.end() || it->second.empty() ||
        !IsExistingFile(it->second.c_str()))
        return;
    ustring drive, dir, name, ext;
    CFile::SplitPath(it->second.c_str(), drive, dir, name, ext);
    ::SetWindowTextW(m_hWndFileName, (name + ext).c_str());
}

void CFileDlg::OnGetDispInfo(NMLVDISPINFOW* pnm)
{
    if (!(pnm->item.mask & LVIF_IMAGE))
        return;
    auto it = m_mapItems.find(pnm->item.iItem);
    if (it == m_mapItems.end()) {
        pnm->item.iImage = -1;
        return;
    }
    SHFILEINFOW info = {};
    const DWORD_PTR hList = ::SHGetFileInfoW(it->second.c_str(), 0, &info, sizeof info,
                                             SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (!hList) {
        pnm->item.iImage = -1;
        return;
    }
    // The list shares the system's image list and never destroys it.
    if (::SendMessageW(m_hWndList, LVM_GETIMAGELIST, LVSIL_SMALL, 0) != static_cast<LRESULT>(hList))
        ::SendMessageW(m_hWndList, LVM_SETIMAGELIST, LVSIL_SMALL, static_cast<LPARAM>(hList));
    pnm->item.iImage = info.iIcon;
}

void CFileDlg::OnCbnSelChange()
{
    DrawLevel(m_strFolder.c_str(), false);
}

void CFileDlg::OnOK()
{
    if (m_strFolder.empty())
        return;
    if ((m_nFlags & OFN_PATHMUSTEXIST) && !CFile::FileExists(m_strFolder))
        return;
    ustring typed;
    GetDlgItemTextW(kFileName, typed);
    if (typed.size() > kMaxText)
        typed.resize(kMaxText);
    if (typed.empty())
        return;
    ustring candidate;
    CFile::MakePath(candidate, nullptr, m_strFolder.c_str(), typed.c_str(), nullptr);
    if (!IsExistingFile(candidate.c_str()) && (m_nFlags & OFN_FILEMUSTEXIST))
        return;
    m_strPathName = candidate;
    CDialog::OnOK();
}

void CFileDlg::OnCancel()
{
    CDialog::OnCancel();
}

void CFileDlg::OnDestroy()
{
    CWnd::OnDestroy();
}

void CFileDlg::OnSize(int cx, int cy)
{
    if (!m_bInitialized)
        return;
    const int dx = cx - m_rcClient.right;
    const int dy = cy - m_rcClient.bottom;
    Place(m_mapRects, m_hWndFolder, 0, 0, dx, 0);
    Place(m_mapRects, m_hWndList, 0, 0, dx, dy);
    Place(m_mapRects, m_hWndFileName, 0, dy, dx, 0);
    Place(m_mapRects, m_hWndFilter, 0, dy, dx, 0);
    Place(m_mapRects, m_hWndOK, dx / 2, dy, 0, 0);
    Place(m_mapRects, m_hWndCancel, dx / 2, dy, 0, 0);
}

} // namespace tarn_kit
