// CTranslator, its language-file reader and writer, the process-wide instance
// and ustring::xload.
#include <tarn_kit/translator.h>

#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>
#include <tarn_kit/objects.h>

#include "throw.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

namespace tarn_kit {

namespace {

constexpr const wchar_t* kModule = L".\\Translator";
constexpr const wchar_t* kLoadFunction = L"tarn_kit::CTranslator::LoadLanguageFile";

constexpr unsigned int kReadBlock = 512;
// The writer collects lines and writes them in blocks of about this many bytes.
constexpr std::size_t kWriteBlock = 64 * 1024;
constexpr wchar_t kByteOrderMark = 0xFEFF;

void WriteAll(CFile& file, const std::wstring& text)
{
    const char* p = reinterpret_cast<const char*>(text.data());
    std::size_t left = text.size() * sizeof(wchar_t);
    while (left > 0) {
        unsigned int done = 0;
        file.Write(p, static_cast<unsigned int>(left), done, nullptr);
        if (done == 0)
            TK_THROW_CODE(L"WriteFile", ERROR_WRITE_FAULT);
        p += done;
        left -= done;
    }
}

// The executable's path with the extension of its file name replaced by ".lng".
ustring LanguageFileOf(const wchar_t* szModulePath)
{
    ustring drive, dir, name, ext, path;
    CFile::SplitPath(szModulePath, drive, dir, name, ext);
    CFile::MakePath(path, drive, dir, name, L".lng");
    return path;
}

BOOL CALLBACK CollectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<unsigned int>*>(param)->push_back(
            static_cast<unsigned int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

// The numbered resources of one type in a module, ascending. Asking the
// platform spares 65,535 failed lookups per type; the texts found are the same.
std::vector<unsigned int> ResourceIds(HINSTANCE hModule, const wchar_t* type)
{
    std::vector<unsigned int> ids;
    ::EnumResourceNamesW(hModule, type, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

// Cuts a language file's text (after the byte-order mark, line ends already LF)
// into its texts. A record line is "[" text "]" and a line end; a cut lies after
// "]" and its line end where the next line opens with "[", or at the very end.
// Strict: the line end is one LF, as the writer makes it. Lenient: a run of LFs,
// i.e. blank lines between the lines. Text after the last cut stays in the last
// piece. Throws when the first line is no record line.
//
// bWellFormed tells whether the pieces look like whole records: ended by a
// record's line end, keys and translations in pairs, keys ascending as the
// writer orders them, and (lenient) blank lines only between records.
std::vector<ustring> CutRecords(const ustring& text, bool bLenient, bool& bWellFormed)
{
    std::vector<ustring> pieces;
    const std::size_t n = text.size();
    std::size_t begin = text.find_first_not_of(L'\n');
    bWellFormed = bLenient || begin == 0 || n == 0;
    if (begin == ustring::npos)
        return pieces;
    if (text[begin] != L'[')
        TK_THROW_CODE(kLoadFunction, ERROR_INVALID_DATA);
    ++begin;
    bool bEnded = false;
    for (std::size_t i = begin; i + 1 < n; ++i) {
        if (text[i] != L']' || text[i + 1] != L'\n')
            continue;
        std::size_t next = i + 2;
        if (bLenient)
            while (next < n && text[next] == L'\n')
                ++next;
        if (next == n) {
            pieces.push_back(text.substr(begin, i - begin));
            bEnded = true;
            break;
        }
        if (text[next] == L'[') {
            pieces.push_back(text.substr(begin, i - begin));
            // A blank line between a key and its translation is no hand edit.
            if (next > i + 2 && pieces.size() % 2 != 0)
                bWellFormed = false;
            begin = next + 1;
            i = next;
        }
    }
    if (!bEnded)
        pieces.push_back(text.substr(begin));
    bWellFormed = bWellFormed && bEnded && pieces.size() % 2 == 0;
    for (std::size_t k = 2; bWellFormed && k < pieces.size(); k += 2)
        bWellFormed = !(pieces[k] < pieces[k - 2]);
    return pieces;
}

// Chooses the reading. Files edited by hand may have CR LF line ends and blank
// lines between records, and read as the writer's form would. A file in the
// writer's form is read exactly as written, even where a text holds "]", blank
// lines and "[" in a row, unless the same bytes read as well-formed records
// separated by blank lines.
std::vector<ustring> ReadPieces(ustring text)
{
    bool bBareLineFeed = false, bCarriageReturn = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bBareLineFeed = bBareLineFeed || (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'));
        bCarriageReturn = bCarriageReturn || text[i] == L'\r';
    }
    bool bStrictForm = false, bLenientForm = false;
    if (bCarriageReturn && !bBareLineFeed) {
        // Every line end is CR LF: saved by an editor, texts included.
        text.replace(ustring(L"\r\n"), ustring(L"\n"));
        std::replace(text.begin(), text.end(), L'\r', L'\n');
        return CutRecords(text, true, bLenientForm);
    }
    std::replace(text.begin(), text.end(), L'\r', L'\n');
    std::vector<ustring> strict = CutRecords(text, false, bStrictForm);
    std::vector<ustring> lenient = CutRecords(text, true, bLenientForm);
    return bStrictForm && !bLenientForm ? strict : lenient;
}

// The texts of a language file, keys and translations in turn. Content that
// yields no record at all is an error, never an empty table.
std::vector<ustring> ReadRecords(const ustring& text)
{
    std::vector<ustring> pieces = ReadPieces(text);
    if (pieces.size() < 2 && text.find_first_not_of(L"\r\n") != ustring::npos)
        TK_THROW_CODE(kLoadFunction, ERROR_INVALID_DATA);
    return pieces;
}

} // namespace

// CTranslator

CTranslator::CTranslator() : m_eMode(eTranslate) {}

CTranslator::CTranslator(const CTranslator& other) = default;

CTranslator& CTranslator::operator=(const CTranslator& other) = default;

CTranslator::~CTranslator() = default;

CTranslator::EMode CTranslator::SetMode(EMode mode)
{
    EMode previous = m_eMode;
    m_eMode = mode;
    return previous;
}

bool CTranslator::XlateEx(ustring& text)
{
    if (m_eMode != eGather) {
        CTable::const_iterator it = m_table.find(text);
        if (it == m_table.end())
            return false;
        text = it->second;
        return true;
    }
    // An entry that already holds a translation keeps it.
    m_table.emplace(text, text);
    return true;
}

void CTranslator::XlateWnd(HWND hWnd)
{
    if (HMENU hMenu = ::GetMenu(hWnd)) {
        XlateMenu(hMenu);
        ::DrawMenuBar(hWnd);
    }
    int length = ::GetWindowTextLengthW(hWnd);
    if (length < 0)
        length = 0;
    ustring text(size_t(length) + 1, L'\0');
    ::GetWindowTextW(hWnd, &text[0], length + 1);
    text.resize(size_t(length));
    if (XlateEx(text) && m_eMode == eTranslate)
        ::SetWindowTextW(hWnd, text.c_str());
    for (HWND hChild = ::GetWindow(hWnd, GW_CHILD); hChild;
         hChild = ::GetWindow(hChild, GW_HWNDNEXT))
        XlateWnd(hChild);
}

void CTranslator::XlateMenu(HMENU hMenu)
{
    // The count is asked again at every step: translating may not change it,
    // but a menu that does is still walked safely.
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i) {
        UINT state = ::GetMenuState(hMenu, UINT(i), MF_BYPOSITION);
        // A pop-up's high byte is its item count.
        if (state & MF_POPUP)
            state &= 0xFF;
        if (state & (MF_OWNERDRAW | MF_MENUBARBREAK | MF_MENUBREAK | MF_SEPARATOR))
            continue;
        HMENU hSubMenu = ::GetSubMenu(hMenu, i);
        if (hSubMenu)
            XlateMenu(hSubMenu);
        int length = ::GetMenuStringW(hMenu, UINT(i), nullptr, 0, MF_BYPOSITION);
        if (length < 0)
            length = 0;
        ustring text(size_t(length) + 1, L'\0');
        ::GetMenuStringW(hMenu, UINT(i), &text[0], length + 1, MF_BYPOSITION);
        text.resize(size_t(length));
        if (XlateEx(text) && m_eMode == eTranslate) {
            UINT_PTR id = (state & MF_POPUP) ? reinterpret_cast<UINT_PTR>(hSubMenu)
                                             : ::GetMenuItemID(hMenu, i);
            ::ModifyMenuW(hMenu, UINT(i), state | MF_BYPOSITION, id, text.c_str());
        }
    }
}

void CTranslator::XlateToolbar(HWND hToolbar)
{
    for (int i = 0;; ++i) {
        TBBUTTON button = {};
        if (!::SendMessageW(hToolbar, TB_GETBUTTON, WPARAM(i), reinterpret_cast<LPARAM>(&button)))
            break;
        // Values below 0x10000 are string-pool indexes, never text pointers.
        if (!IS_INTRESOURCE(button.iString)) {
            ustring text(reinterpret_cast<const wchar_t*>(button.iString));
            if (XlateEx(text) && m_eMode == eTranslate) {
                button.iString = reinterpret_cast<INT_PTR>(text.c_str());
                ::SendMessageW(hToolbar, TB_INSERTBUTTONW, WPARAM(i),
                               reinterpret_cast<LPARAM>(&button));
                ::SendMessageW(hToolbar, TB_DELETEBUTTON, WPARAM(i + 1), 0);
            }
        }
        // Buttons may carry the handle of their drop-down menu; anything else
        // makes GetMenuItemCount fail and nothing happens.
        XlateMenu(reinterpret_cast<HMENU>(button.dwData));
    }
}

void CTranslator::Gather(HINSTANCE hModule)
{
    SetMode(eGather);
    // String table block b holds the ids (b - 1) * 16 to (b - 1) * 16 + 15.
    ustring text;
    for (unsigned int block : ResourceIds(hModule, RT_STRING))
        for (unsigned int id = (block - 1) * 16; id < block * 16; ++id)
            if (id >= 1 && text.load(hModule, id))
                XlateEx(text);
    for (unsigned int id : ResourceIds(hModule, RT_DIALOG)) {
        HWND hDlg = ::CreateDialogParamW(hModule, MAKEINTRESOURCEW(id), ::GetDesktopWindow(),
                                         DialogProc, 0);
        if (hDlg) {
            XlateWnd(hDlg);
            ::DestroyWindow(hDlg);
        }
    }
    for (unsigned int id : ResourceIds(hModule, RT_MENU)) {
        HMENU hMenu = ::LoadMenuW(hModule, MAKEINTRESOURCEW(id));
        if (hMenu) {
            XlateMenu(hMenu);
            ::DestroyMenu(hMenu);
        }
    }
    SetMode(eTranslate);
}

// Gathered dialogs never appear and take their children with them.
INT_PTR CALLBACK CTranslator::DialogProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        ::SetWindowLongW(hDlg, GWL_STYLE, ::GetWindowLongW(hDlg, GWL_STYLE) & ~WS_VISIBLE);
        break;
    case WM_WINDOWPOSCHANGING: {
        // The dialog manager may still show the dialog by its template's style
        // (Wine does); refuse the show and the activation too. Destroying an
        // activated window also costs Wine a two-second wait.
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        pos->flags = (pos->flags & ~SWP_SHOWWINDOW) | SWP_NOACTIVATE;
        break;
    }
    case WM_DESTROY:
        for (HWND hChild; (hChild = ::GetWindow(hDlg, GW_CHILD)) != nullptr;)
            ::DestroyWindow(hChild);
        break;
    default:
        break;
    }
    return FALSE;
}

ustring CTranslator::GetDefaultFileName()
{
    wchar_t path[MAX_PATH] = {};
    if (!::GetModuleFileNameW(nullptr, path, MAX_PATH))
        TK_THROW_LAST_ERROR(L"GetModuleFileName");
    return LanguageFileOf(path);
}

bool CTranslator::LoadLanguageFile(const wchar_t* szPath)
{
    const ustring path = szPath ? ustring(szPath) : GetDefaultFileName();
    try {
        CFile file(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LoadLanguageFile(file);
        file.Close();
        return true;
    } catch (const CWinException& e) {
        if (e.GetErrorCode() == ERROR_FILE_NOT_FOUND || e.GetErrorCode() == ERROR_PATH_NOT_FOUND)
            return false;
        throw;
    }
}

void CTranslator::SaveLanguageFile(const wchar_t* szPath)
{
    const ustring path = szPath ? ustring(szPath) : GetDefaultFileName();
    CFile file(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    SaveLanguageFile(file);
}

// Language file: FF FE, then per entry "[key]" LF "[translation]" LF, texts as
// they are, no escaping.

void CTranslator::SaveLanguageFile(CFile& file)
{
    file.Seek(0, FILE_BEGIN);
    file.SetLength(0);
    std::wstring block(1, kByteOrderMark);
    block.reserve(kWriteBlock / sizeof(wchar_t) + 256);
    for (const CTable::value_type& entry : m_table) {
        block += L'[';
        block += entry.first;
        block += L"]\n[";
        block += entry.second;
        block += L"]\n";
        if (block.size() * sizeof(wchar_t) >= kWriteBlock) {
            WriteAll(file, block);
            block.clear();
        }
    }
    WriteAll(file, block);
    file.Close();
}

void CTranslator::LoadLanguageFile(CFile& file)
{
    file.Seek(0, FILE_BEGIN);
    m_eMode = eTranslate;
    m_table.clear();

    if (file.GetLength() < 2)
        TK_THROW_CODE(kLoadFunction, ERROR_INVALID_DATA);
    ustring text;
    wchar_t buffer[kReadBlock / sizeof(wchar_t)];
    unsigned int read = 0;
    do {
        file.Read(buffer, kReadBlock, read, nullptr);
        std::size_t units = read / sizeof(wchar_t);
        if (text.empty()) {
            if (units < 1 || buffer[0] != kByteOrderMark)
                TK_THROW_CODE(kLoadFunction, ERROR_INVALID_DATA);
            text.append(buffer + 1, units - 1);
        } else {
            text.append(buffer, units);
        }
    } while (read == kReadBlock);

    const std::vector<ustring> texts = ReadRecords(text);
    for (std::size_t k = 0; k + 1 < texts.size(); k += 2)
        m_table[texts[k]] = texts[k + 1];
}

// CPhoenixSingleton

template <class T>
T* volatile CPhoenixSingleton<T>::m_ptr = nullptr;

template <class T>
T& CPhoenixSingleton<T>::Ref()
{
    if (!m_ptr)
        MakeInstance();
    T* p = m_ptr;
    if (!p) {
        static T fake;
        return fake;
    }
    return *p;
}

template <class T>
void CPhoenixSingleton<T>::MakeInstance()
{
    static CMutex mtx(nullptr, FALSE, nullptr);
    CLocker<CMutex> lock(mtx);
    if (!m_ptr) {
        T* p = new (std::nothrow) T;
        if (!p)
            return;
        // Published whole: the interlocked exchange is a full barrier.
        ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_ptr), p);
        std::atexit(&KillPhoenixSingleton);
    }
}

template <class T>
void CPhoenixSingleton<T>::KillPhoenixSingleton()
{
    T* p = m_ptr;
    m_ptr = nullptr;
    delete p;
}

template class TARNKIT_API CPhoenixSingleton<CTranslator>;

// CTranslatorInstance

bool CTranslatorInstance::m_bIsInitilized = false;

CTranslator& CTranslatorInstance::Ref()
{
    if (!m_bIsInitilized) {
        m_bIsInitilized = true;
        wchar_t path[MAX_PATH] = {};
        if (::GetModuleFileNameW(nullptr, path, MAX_PATH)) {
            // A missing, unreadable or malformed default file leaves the
            // translator empty and quiet.
            try {
                CPhoenixSingleton<CTranslator>::Ref().LoadLanguageFile(LanguageFileOf(path));
            } catch (const CStdException&) {
            }
        }
    }
    return CPhoenixSingleton<CTranslator>::Ref();
}

// ustring::xload lives here: it is where strings meet the translator.
bool ustring::xload(HINSTANCE module, unsigned int id)
{
    if (!load(module, id))
        return false;
    CTranslatorInstance::Ref().XlateEx(*this);
    return true;
}

} // namespace tarn_kit
