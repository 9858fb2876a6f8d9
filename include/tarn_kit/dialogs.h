// Windows and dialogs.
//
// Classes in this file:
//   CWnd        - an object bound to a window handle through the process-wide registry
//   CDialog     - a modal or modeless dialog from a template, routed to virtual handlers
//   CTipDlg     - a small caption-less tip window shown during long work
//   CWaitCursor - shows a cursor (the wait cursor by default) for exactly its lifetime
//   CBrowseForFolderDlg - picks a folder in a lazily filled tree of the drives
//   CFileDlg    - picks a file from a folder listing with filters
// Free functions: BrowseForFolder (the system's folder picker), GetSpecialFolderLocation.
#pragma once

#include "config.h"
#include "objects.h"
#include "ustring.h"

#include <commctrl.h>

#include <map>
#include <vector>

namespace tarn_kit {

struct WndTestAccess;

// Base of the library's windows: one window handle and the parent it was given.
class TARNKIT_API CWnd
{
public:
    // Construction
    explicit CWnd(HWND hWndParent = nullptr);
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    /// Destroys a window that still exists, then removes its registry entry.
    virtual ~CWnd();

    /// Sees every message of a routed dialog first; true takes it away from the
    /// standard handlers. pResult is NULL on the dialog path.
    virtual bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

protected:
    virtual int OnCreate(CREATESTRUCTW* pcs);
    virtual void OnDestroy();
    virtual void OnEraseBkgnd(HDC hdc);

    // Styles; each clears the last error first, so a genuine 0 can be told apart.
    static LONG GetStyle(HWND hWnd);
    static bool ModifyStyle(HWND hWnd, LONG remove, LONG add);
    /// Returns the previous control id.
    static LONG SetDlgCtrlId(HWND hWnd, LONG id);

    // Registry of bound objects, guarded by m_cs
    /// False, and the entry unchanged, when hWnd is already registered.
    static bool RegisterInstance(HWND hWnd, CWnd* pWnd);
    static bool UnregisterInstance(HWND hWnd);
    static CWnd* FindInstance(HWND hWnd);

    /// Centres the window on the parent, or on the desktop without one.
    void CenterWindow();

    HWND m_hWnd;
    HWND m_hWndParent;

private:
    static CCriticalSection m_cs;
    static std::map<HWND, CWnd*> m_map;

    friend struct WndTestAccess;
};

// A dialog from a template resource or an in-memory template, modal or modeless.
class TARNKIT_API CDialog : public CWnd
{
public:
    // Construction
    CDialog(HINSTANCE hInstance, UINT nIDTemplate, HWND hWndParent);
    ~CDialog() override;

    // Creation
    /// Copies the template in the global memory handle hTemplate (the caller keeps it);
    /// false for a NULL handle or a failed lock.
    virtual bool InitModalIndirect(HINSTANCE hInstance, void* hTemplate, HWND hParent);
    /// Runs the dialog; the value given to EndDialog, or the platform call's failure value.
    virtual int DoModal();
    /// Creates the dialog modeless; the caller's message loop must feed it.
    virtual bool Create();

    // Handlers
    /// Registers the object; overrides call it first.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnAbort();
    virtual void OnRetry();
    virtual void OnIgnore();
    virtual void OnYes();
    virtual void OnNo();

    // Item texts
    virtual bool SetDlgItemTextW(int nID, const wchar_t* text);
    /// The control's text; returns its length.
    virtual unsigned GetDlgItemTextW(int nID, ustring& text);
    virtual unsigned GetDlgItemTextLength(int nID);

protected:
    /// The one dialog procedure of every CDialog; lParam of the creation is the object.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_hInstance;
    UINT m_nIDTemplate;
    void* m_hTemplate;
};

// A small tip window without caption: an information icon and one centred text,
// painted at once and removed when the object is destroyed.
class TARNKIT_API CTipDlg : public CDialog
{
public:
    /// With bDeferred false the tip is created, centred, shown and painted here;
    /// with true nothing is created until Create() or DoModal().
    CTipDlg(HWND hParent, const wchar_t* text, bool bDeferred);
    ~CTipDlg() override;

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    bool OnInitDialog() override;

private:
    void PaintText();

    ustring m_strText;
};

// Shows a cursor from construction to destruction and then puts the previous one back.
class TARNKIT_API CWaitCursor
{
public:
    /// Both NULL hides the cursor; otherwise LoadCursorW(hInstance, name).
    /// The default name is the system wait cursor, IDC_WAIT (32514).
    explicit CWaitCursor(HINSTANCE hInstance = nullptr,
                         const wchar_t* name = MAKEINTRESOURCEW(32514));
    // Copies restore the same cursor as the original: a scope guard handed on.
    CWaitCursor(const CWaitCursor&) = default;
    CWaitCursor& operator=(const CWaitCursor&) = default;
    virtual ~CWaitCursor();

    /// Sets the saved cursor again; may be called any number of times.
    void Restore();

private:
    HCURSOR m_hOldCursor;
};

// The library's folder picker: a resizable dialog with a prompt and a tree of the
// drives, read from the disk as folders are expanded. It opens unfolded down to the
// caller's folder, which is selected.
class TARNKIT_API CBrowseForFolderDlg : public CDialog
{
public:
    /// path is the initial folder on entry and the chosen one after OK; it must
    /// outlive the dialog. flags are kept and change nothing.
    CBrowseForFolderDlg(HWND hParent, const wchar_t* title, unsigned flags, ustring& path);
    ~CBrowseForFolderDlg() override;

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

protected:
    void OnDestroy() override;

    /// Rebuilds the children of hParent (the drives for folder NULL); with select,
    /// unfolds along *m_pPath.
    void DrawLevel(HTREEITEM hParent, const wchar_t* folder, bool select);
    void DeleteAllChildren(HTREEITEM hParent);
    /// The subfolders of folder, full paths in LessStrW order.
    static void EnumChildren(const wchar_t* folder, std::vector<ustring>& children);
    static bool HasChildren(const wchar_t* folder);

    void OnItemExpanding(NMTREEVIEWW* pnm);
    void OnGetDispInfo(NMTVDISPINFOW* pnm);
    void OnSelChanged(NMTREEVIEWW* pnm);
    void OnSize(int cx, int cy);

    ustring m_strTitle;
    unsigned m_nFlags;
    ustring* m_pPath;
    bool m_bInitialized;
    bool m_bHighDPI;
    HWND m_hWndTitle;
    HWND m_hWndTree;
    HWND m_hWndOK;
    HWND m_hWndCancel;
    RECT m_rcClient;
    std::map<HWND, RECT> m_mapRects;
    std::map<HTREEITEM, ustring> m_mapPaths;
};

/// The system's folder picker, opened on path; true and path set when the user chose
/// a folder with a file-system path, false (path unchanged) otherwise.
TARNKIT_API bool BrowseForFolder(HWND hOwner, const wchar_t* title, unsigned flags, ustring& path);
/// The path of a shell special folder (a CSIDL value); false, path unchanged, on failure.
TARNKIT_API bool GetSpecialFolderLocation(HWND hOwner, int nFolder, ustring& path);

// The library's file picker: the current folder, its subfolders and files (with ".."
// and the drive list), a file-name field and a filter box.
class TARNKIT_API CFileDlg : public CDialog
{
public:
    /// filter alternates display names and patterns, separated by '|'. Of flags,
    /// OFN_PATHMUSTEXIST and OFN_FILEMUSTEXIST are used. The bool and the second
    /// text are kept and change nothing.
    CFileDlg(HWND hParent, bool bOpen, const wchar_t* defExt, const wchar_t* fileName,
             unsigned long flags, const wchar_t* filter);
    ~CFileDlg() override;

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    /// The accepted full path; empty until OK succeeded.
    ustring GetPathName() const;

protected:
    void OnDestroy() override;

    /// Lists path (the drive list for NULL or empty); with select, the item equal to
    /// m_strFileName is selected and shown.
    void DrawLevel(const wchar_t* path, bool select);
    /// Sets m_strFolder, except for the drive list.
    void EnumChildren(const wchar_t* path, std::vector<ustring>& children);

    void OnGetDispInfo(NMLVDISPINFOW* pnm);
    void OnItemActivate(NMITEMACTIVATE* pnm);
    void OnItemChanged(NMLISTVIEW* pnm);
    void OnCbnSelChange();
    void OnSize(int cx, int cy);

    bool m_bOpen;
    ustring m_strDefExt;
    ustring m_strFileName;
    unsigned long m_nFlags;
    ustring m_strFilter;
    bool m_bInitialized;
    HWND m_hWndFolder;
    HWND m_hWndList;
    HWND m_hWndFileName;
    HWND m_hWndFilter;
    HWND m_hWndOK;
    HWND m_hWndCancel;
    RECT m_rcClient;
    std::map<HWND, RECT> m_mapRects;
    std::map<int, ustring> m_mapItems;
    std::map<int, ustring> m_mapFilters;
    ustring m_strFolder;
    ustring m_strPathName;
};

} // namespace tarn_kit
