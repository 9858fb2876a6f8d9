// Run-time translation of user-interface texts.
//
// Classes in this file:
//   CTranslator          - translates texts, windows, menus and toolbars through a table
//   CPhoenixSingleton<T> - a process-wide instance that rises again if used after its end
//   CTranslatorInstance  - the process's translator, loading the default language file first
#pragma once

#include "config.h"
#include "ustring.h"

#include <map>

namespace tarn_kit {

class CFile;

// Translates user-interface texts by whole-text lookup in a table that maps an
// untranslated text to its translation; in gather mode it records texts instead.
class TARNKIT_API CTranslator
{
public:
    enum EMode { eGather = 0, eTranslate = 1 };
    typedef std::map<ustring, ustring> CTable;

    // Construction
    CTranslator();
    CTranslator(const CTranslator& other);
    CTranslator& operator=(const CTranslator& other);
    virtual ~CTranslator();

    // Attributes
    /// Stores the new mode and returns the previous one.
    EMode SetMode(EMode mode);
    EMode GetMode() const noexcept { return m_eMode; }
    /// The table, ordered by the untranslated text (ordinal, case-sensitive).
    const CTable& GetTable() const noexcept { return m_table; }

    // Operations
    /// Translate mode: replaces text by its translation, false when there is none.
    /// Gather mode: records text (as its own translation) and returns true.
    bool XlateEx(ustring& text);
    /// Translates a window's text, its menu and all its descendants.
    void XlateWnd(HWND hWnd);
    void XlateMenu(HMENU hMenu);
    /// Translates the button texts of a toolbar control and the menus in the buttons' dwData.
    void XlateToolbar(HWND hToolbar);
    /// Records every text of the module's string, dialog and menu resources; ends in
    /// translate mode.
    void Gather(HINSTANCE hModule);

    /// Replaces the table by the file's content; null means the executable's ".lng"
    /// file. False when the file or its folder does not exist.
    bool LoadLanguageFile(const wchar_t* szPath);
    /// Writes the table; null means the executable's ".lng" file.
    void SaveLanguageFile(const wchar_t* szPath);

protected:
    void LoadLanguageFile(CFile& file);
    void SaveLanguageFile(CFile& file);
    ustring GetDefaultFileName();
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    EMode m_eMode;
    CTable m_table;
};

struct PhoenixSingletonTestAccess;

// The one instance of T in the process, created on first use and destroyed at
// exit; a use after that destruction creates a fresh instance.
template <class T>
class CPhoenixSingleton
{
public:
    /// The instance; a static fallback instance if none can be allocated.
    static T& Ref();

private:
    static void MakeInstance();
    static void KillPhoenixSingleton();

    static T* volatile m_ptr;

    friend struct PhoenixSingletonTestAccess;
};

#if !defined(TARNKIT_BUILDING)
extern template class TARNKIT_API CPhoenixSingleton<CTranslator>;
#endif

// The process's translator; its first use loads the executable's language file.
class TARNKIT_API CTranslatorInstance
{
public:
    static CTranslator& Ref();

private:
    static bool m_bIsInitilized;

    friend struct PhoenixSingletonTestAccess;
};

} // namespace tarn_kit
