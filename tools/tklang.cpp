// tklang: language files for the people who translate applications.
//
// Every command that writes a file writes a temporary file beside it, reads it
// back, and only then renames it into place; a file that cannot be read as a
// table is never overwritten. Exit codes: 0 done, 1 a module or file cannot be
// read or written, 2 usage error, 3 check found problems.
#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

using tarn_kit::CFile;
using tarn_kit::CStdException;
using tarn_kit::CTranslator;
using tarn_kit::CWinException;
using tarn_kit::ustring;
typedef CTranslator::CTable CTable;

namespace {

const char kUsage[] =
    "usage: tklang gather [--prune] <module>... <output.lng> [<existing.lng>]\n"
    "       tklang merge <target.lng> <source.lng>...\n"
    "       tklang check <module> <file.lng>\n"
    "       tklang stats <file.lng>\n"
    "       tklang <command> --help\n"
    "\n"
    "gather  collects the texts of the modules' string tables, dialogs and menus\n"
    "merge   merges translations from other language files into one\n"
    "check   shows what the translations do to the module's dialogs and menus\n"
    "stats   counts the texts of a language file and how many are translated\n"
    "\n"
    "Exit codes: 0 done, 1 a module or file cannot be read or written,\n"
    "2 usage error, 3 check found problems.\n";

const char kGatherHelp[] =
    "usage: tklang gather [--prune] <module>... <output.lng> [<existing.lng>]\n"
    "\n"
    "Collects every text of the modules' string tables, dialogs and menus (an\n"
    "application and TarnKit.dll may go into one file) and writes <output.lng>.\n"
    "The translations of <existing.lng> are kept; without it an existing\n"
    "<output.lng> is updated. New texts get themselves as translation. Lists each\n"
    "new text, each text still untranslated and each text no longer in the\n"
    "modules; --prune drops the latter. The first argument ending in .lng is the\n"
    "output.\n";

const char kMergeHelp[] =
    "usage: tklang merge <target.lng> <source.lng>...\n"
    "\n"
    "Merges the sources into <target.lng> (which is read first when it exists).\n"
    "Later translations win over earlier ones; a text left untranslated never\n"
    "replaces a translation. Each conflict is listed.\n";

const char kCheckHelp[] =
    "usage: tklang check <module> <file.lng>\n"
    "\n"
    "Creates every dialog of the module invisibly with the translations applied\n"
    "and reports each control whose translated text no longer fits (measured with\n"
    "the control's font as the control draws it), each dialog or menu whose\n"
    "& accelerators collide, and each translation whose printf placeholders\n"
    "(%s, %d, %1!s!, ...) differ from the original. Exit code 3 when it finds one.\n";

const char kStatsHelp[] = "usage: tklang stats <file.lng>\n"
                          "\n"
                          "Counts the texts of a language file and how many are translated.\n";

// A module or file that cannot be read or written: exit code 1.
struct CFailure
{
    std::string message;
};

// A command line that makes no sense: exit code 2.
struct CUsageError
{
    std::string message;
    const char* help;
};

std::string U8(const ustring& s)
{
    return ustring::WideCharToMultiByte(s, CP_UTF8, 0);
}

std::string SystemMessage(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_FROM_SYSTEM,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    ustring text(buffer, n);
    ::LocalFree(buffer);
    text.trim_right(std::vector<wchar_t>{L'\r', L'\n', L' ', L'.'});
    char number[32];
    std::snprintf(number, sizeof number, " (error %lu)", code);
    return U8(text) + number;
}

// A text in quotes with line ends, tabs, quotes and control characters escaped,
// so that a line feed or a bracket inside a text is plain to see.
std::string Quote(const ustring& text)
{
    ustring out = L"\"";
    for (wchar_t c : text) {
        switch (c) {
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'"':
            out += L"\\\"";
            break;
        default:
            if (c < 0x20) {
                wchar_t hex[8];
                _snwprintf(hex, 8, L"\\x%02X", unsigned(c));
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return U8(out + L"\"");
}

bool Exists(const ustring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const ustring& path)
{
    CFile file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    char buffer[65536];
    unsigned int done = 0;
    while (file.Read(buffer, sizeof buffer, done) && done > 0)
        bytes.append(buffer, done);
    return bytes;
}

// Why a file is no language file, in words a translator can act on.
std::string Diagnose(const std::string& bytes)
{
    auto starts = [&](const char* mark) { return bytes.compare(0, 2, mark, 2) == 0; };
    if (bytes.size() < 2)
        return bytes.empty() ? "the file is empty" : "the file holds a single byte";
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return "the file is UTF-8 (it starts with EF BB BF); save it as UTF-16 LE "
               "(\"Unicode\") with byte-order mark";
    if (starts("\xFE\xFF"))
        return "the file is UTF-16 big-endian (it starts with FE FF); save it as UTF-16 LE "
               "(\"Unicode\") with byte-order mark";
    if (!starts("\xFF\xFE"))
        return "the file does not start with the UTF-16 LE byte-order mark FF FE (is it 8-bit "
               "text, UTF-8 or ANSI?); save it as UTF-16 LE (\"Unicode\") with byte-order mark";
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    std::size_t first = text.find_first_not_of(L"\r\n");
    std::size_t end = text.find_first_of(L"\r\n", first);
    ustring line = text.substr(first, std::min<std::size_t>(end - first, 60));
    return "it holds no records: each record is a line \"[text]\" and a line "
           "\"[translation]\", but the file starts with " +
           Quote(line);
}

// Reads a language file whole, or explains why it cannot.
void ReadLanguageFile(const ustring& path, CTranslator& translator)
{
    if (!Exists(path))
        throw CFailure{U8(path) + ": no such file"};
    std::string bytes;
    try {
        bytes = ReadBytes(path);
        if (!translator.LoadLanguageFile(path.c_str()))
            throw CFailure{U8(path) + ": no such file"};
    } catch (const CWinException& e) {
        if (e.GetErrorCode() != ERROR_INVALID_DATA)
            throw CFailure{U8(path) + ": cannot be read: " + SystemMessage(e.GetErrorCode())};
        throw CFailure{U8(path) + ": not a language file: " + Diagnose(bytes)};
    }
    // The reader takes what it can; a file cut short has lost its tail.
    if (bytes.size() % 2)
        throw CFailure{U8(path) +
                       ": the file ends in the middle of a character (truncated?): an odd "
                       "number of bytes cannot be UTF-16"};
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    std::size_t last = text.find_last_not_of(L"\r\n");
    if (last != std::wstring::npos && (text[last] != L']' || last + 1 == text.size())) {
        std::size_t start = text.find_last_of(L"\r\n", last);
        start = start == std::wstring::npos ? 0 : start + 1;
        throw CFailure{U8(path) + ": the last line " + Quote(text.substr(start, last + 1 - start)) +
                       " is not closed by \"]\" and a line end (truncated?)"};
    }
}

// The language file format, as the library's writer makes it.
std::wstring FileText(const CTable& table)
{
    std::wstring text(1, wchar_t(0xFEFF));
    for (const auto& entry : table)
        text += L"[" + entry.first + L"]\n[" + entry.second + L"]\n";
    return text;
}

ustring FolderOf(const ustring& path)
{
    ustring folder = path;
    std::size_t slash = folder.find_last_of(L"\\/");
    folder.erase(slash == ustring::npos ? 0 : slash + 1);
    return folder.empty() ? ustring(L".") : folder;
}

// Writes a temporary file beside path, reads it back, and renames it over path.
// A crash, a full disk or a read-only target leaves the old file whole.
void WriteLanguageFile(const ustring& path, const CTable& table)
{
    if (Exists(path)) {
        CTranslator old;
        try {
            ReadLanguageFile(path, old);
        } catch (const CFailure& failure) {
            throw CFailure{"refusing to overwrite " + failure.message};
        }
    }
    // Windows refuses to replace a read-only file; Wine replaces it. Refuse here
    // too, so the old file stays whatever the platform.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        throw CFailure{U8(path) + ": cannot replace it: the file is read-only; the file is "
                                  "unchanged"};
    wchar_t temp[MAX_PATH] = {};
    if (!::GetTempFileNameW(FolderOf(path).c_str(), L"tkl", 0, temp))
        throw CFailure{U8(path) + ": cannot create a temporary file beside it: " +
                       SystemMessage(::GetLastError())};
    try {
        {
            CFile file(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            const std::wstring text = FileText(table);
            const char* p = reinterpret_cast<const char*>(text.data());
            std::size_t left = text.size() * sizeof(wchar_t);
            while (left > 0) {
                unsigned int done = 0;
                file.Write(p, unsigned(std::min<std::size_t>(left, 1 << 20)), done);
                if (done == 0)
                    throw CFailure{U8(path) +
                                   ": cannot write: " + SystemMessage(ERROR_WRITE_FAULT)};
                p += done;
                left -= done;
            }
            file.Flush();
        }
        // What the application will see is what the reader makes of the file.
        CTranslator back;
        back.LoadLanguageFile(temp);
        if (back.GetTable() != table) {
            for (const auto& entry : table)
                if (!back.GetTable().count(entry.first) ||
                    back.GetTable().at(entry.first) != entry.second)
                    std::printf("warning: the format cannot hold %s -> %s exactly (CR becomes LF, "
                                "\"]\", a line end and \"[\" split a text)\n",
                                Quote(entry.first).c_str(), Quote(entry.second).c_str());
        }
        if (!::MoveFileExW(temp, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            throw CFailure{U8(path) + ": cannot replace it: " + SystemMessage(::GetLastError()) +
                           "; the file is unchanged"};
    } catch (const CWinException& e) {
        ::DeleteFileW(temp);
        throw CFailure{U8(path) + ": cannot write: " + SystemMessage(e.GetErrorCode()) +
                       "; the file is unchanged"};
    } catch (...) {
        ::DeleteFileW(temp);
        throw;
    }
}

// Dialogs are created for real while gathering and checking: their control
// classes must exist.
void RegisterControlClasses()
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                ICC_USEREX_CLASSES | ICC_COOL_CLASSES |
                                                ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
}

// A module loaded for its resources, freed on every path.
class CModule
{
public:
    explicit CModule(const ustring& path)
        : m_path(path), m_h(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
        if (!m_h)
            throw CFailure{U8(path) +
                           ": cannot load the module: " + SystemMessage(::GetLastError())};
    }
    ~CModule() { ::FreeLibrary(m_h); }
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;
    HMODULE Handle() const { return m_h; }
    const ustring& Path() const { return m_path; }

private:
    ustring m_path;
    HMODULE m_h;
};

bool IsLanguageFileName(const ustring& arg)
{
    return arg.size() > 4 && _wcsicmp(arg.c_str() + arg.size() - 4, L".lng") == 0;
}

// A resource's name: a number, or a text such as "CHOOSE_COLOR".
struct CResourceName
{
    unsigned id;
    ustring name;
    const wchar_t* Get() const { return name.empty() ? MAKEINTRESOURCEW(id) : name.c_str(); }
    std::string Show() const { return name.empty() ? std::to_string(id) : U8(name); }
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    auto* names = reinterpret_cast<std::vector<CResourceName>*>(param);
    if (IS_INTRESOURCE(name))
        names->push_back({unsigned(reinterpret_cast<ULONG_PTR>(name)), ustring()});
    else
        names->push_back({0, name});
    return TRUE;
}

// Numbered resources first, ascending, then named ones.
std::vector<CResourceName> ResourceNames(HMODULE hModule, const wchar_t* type)
{
    std::vector<CResourceName> names;
    ::EnumResourceNamesW(hModule, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    std::sort(names.begin(), names.end(), [](const CResourceName& a, const CResourceName& b) {
        return a.name.empty() != b.name.empty() ? a.name.empty()
                                                : (a.name.empty() ? a.id < b.id : a.name < b.name);
    });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const CResourceName& a, const CResourceName& b) {
                                return a.id == b.id && a.name == b.name;
                            }),
                names.end());
    return names;
}

// Gathered and checked dialogs never appear.
INT_PTR CALLBACK HiddenDialogProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam)
{
    if (uMsg == WM_INITDIALOG)
        ::SetWindowLongW(hDlg, GWL_STYLE, ::GetWindowLongW(hDlg, GWL_STYLE) & ~WS_VISIBLE);
    if (uMsg == WM_WINDOWPOSCHANGING) {
        WINDOWPOS* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        pos->flags = (pos->flags & ~SWP_SHOWWINDOW) | SWP_NOACTIVATE;
    }
    return FALSE;
}

// Every text of a module: the library's Gather takes the numbered resources,
// and dialogs and menus known by name (as many system modules have) are added.
void GatherModule(HMODULE hModule, CTranslator& t)
{
    t.Gather(hModule);
    t.SetMode(CTranslator::eGather);
    for (const CResourceName& r : ResourceNames(hModule, RT_DIALOG)) {
        if (r.name.empty())
            continue;
        if (HWND hDlg =
                ::CreateDialogParamW(hModule, r.Get(), ::GetDesktopWindow(), HiddenDialogProc, 0)) {
            t.XlateWnd(hDlg);
            ::DestroyWindow(hDlg);
        }
    }
    for (const CResourceName& r : ResourceNames(hModule, RT_MENU)) {
        if (r.name.empty())
            continue;
        if (HMENU hMenu = ::LoadMenuW(hModule, r.Get())) {
            t.XlateMenu(hMenu);
            ::DestroyMenu(hMenu);
        }
    }
    t.SetMode(CTranslator::eTranslate);
}

std::size_t Untranslated(const CTable& table)
{
    return std::size_t(std::count_if(table.begin(), table.end(), [](const CTable::value_type& e) {
        return e.first == e.second;
    }));
}

int Gather(const std::vector<ustring>& args)
{
    bool bPrune = false;
    std::vector<ustring> modules, files;
    for (const ustring& arg : args) {
        if (arg == L"--prune")
            bPrune = true;
        else if (arg.size() > 1 && arg[0] == L'-' && arg[1] == L'-')
            throw CUsageError{"unknown option " + U8(arg), kGatherHelp};
        else if (files.empty() && !IsLanguageFileName(arg))
            modules.push_back(arg);
        else
            files.push_back(arg);
    }
    if (modules.empty() || files.empty() || files.size() > 2)
        throw CUsageError{"gather needs modules, an output .lng file and at most one existing file",
                          kGatherHelp};
    const ustring& output = files[0];
    const ustring existing = files.size() == 2 ? files[1] : Exists(output) ? output : ustring();

    CTranslator before;
    try {
        if (!existing.empty())
            ReadLanguageFile(existing, before);
    } catch (const CFailure& failure) {
        if (_wcsicmp(existing.c_str(), output.c_str()) == 0)
            throw CFailure{"refusing to overwrite " + failure.message};
        throw;
    }
    RegisterControlClasses();
    CTranslator gathered;
    for (const ustring& path : modules) {
        CModule module(path);
        const std::size_t count = gathered.GetTable().size();
        CTranslator one;
        GatherModule(module.Handle(), one);
        gathered.SetMode(CTranslator::eGather);
        for (const auto& entry : one.GetTable()) {
            ustring text = entry.first;
            gathered.XlateEx(text);
        }
        gathered.SetMode(CTranslator::eTranslate);
        std::printf("%s: %zu texts in the module", U8(path).c_str(), one.GetTable().size());
        if (modules.size() > 1)
            std::printf(" (%zu not in an earlier module)", gathered.GetTable().size() - count);
        std::printf("\n");
    }

    CTable table = before.GetTable();
    std::size_t added = 0, gone = 0;
    for (const auto& entry : gathered.GetTable()) {
        auto it = table.find(entry.first);
        if (it == table.end()) {
            std::printf("new           %s\n", Quote(entry.first).c_str());
            table.emplace(entry.first, entry.first);
            ++added;
        } else if (it->second == it->first) {
            std::printf("untranslated  %s\n", Quote(entry.first).c_str());
        }
    }
    for (const auto& entry : before.GetTable()) {
        if (gathered.GetTable().count(entry.first))
            continue;
        ++gone;
        std::printf("%s %s\n", bPrune ? "dropped      " : "obsolete     ",
                    Quote(entry.first).c_str());
        if (bPrune)
            table.erase(entry.first);
    }
    WriteLanguageFile(output, table);
    std::printf("%s: %zu texts, %zu new, %zu untranslated, %zu no longer in the module%s\n",
                U8(output).c_str(), table.size(), added, Untranslated(table), gone,
                gone ? (bPrune ? " (dropped)" : " (kept; --prune drops them)") : "");
    return 0;
}

int Merge(const std::vector<ustring>& args)
{
    if (args.size() < 2)
        throw CUsageError{"merge needs a target and at least one source", kMergeHelp};
    const ustring& target = args[0];
    CTable table;
    std::map<ustring, ustring> origin;
    if (Exists(target)) {
        CTranslator t;
        ReadLanguageFile(target, t);
        table = t.GetTable();
        for (const auto& entry : table)
            origin[entry.first] = target;
    }
    std::size_t added = 0, taken = 0, conflicts = 0;
    for (std::size_t k = 1; k < args.size(); ++k) {
        CTranslator source;
        ReadLanguageFile(args[k], source);
        for (const auto& entry : source.GetTable()) {
            auto it = table.find(entry.first);
            if (it == table.end()) {
                table.insert(entry);
                origin[entry.first] = args[k];
                ++added;
                continue;
            }
            // An untranslated text never replaces a translation.
            if (entry.second == entry.first || entry.second == it->second)
                continue;
            if (it->second != it->first) {
                std::printf("conflict  %s: %s (%s) replaced by %s (%s)\n",
                            Quote(entry.first).c_str(), Quote(it->second).c_str(),
                            U8(origin[entry.first]).c_str(), Quote(entry.second).c_str(),
                            U8(args[k]).c_str());
                ++conflicts;
            }
            it->second = entry.second;
            origin[entry.first] = args[k];
            ++taken;
        }
    }
    WriteLanguageFile(target, table);
    std::printf("%s: %zu texts, %zu added, %zu translations taken, %zu conflicts (the later file "
                "wins), %zu untranslated\n",
                U8(target).c_str(), table.size(), added, taken, conflicts, Untranslated(table));
    return 0;
}

// Placeholders

// The printf conversions of a text in order, and its FormatMessage inserts
// (%1, %2!d!) sorted, since those may move.
std::vector<ustring> Placeholders(const ustring& text)
{
    std::vector<ustring> ordered, positional;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j < text.size() && text[j] >= L'1' && text[j] <= L'9') {
            std::size_t k = j;
            while (k < text.size() && iswdigit(text[k]))
                ++k;
            if (k < text.size() && text[k] == L'!') {
                std::size_t close = text.find(L'!', k + 1);
                if (close != ustring::npos) {
                    positional.push_back(text.substr(i, close + 1 - i));
                    i = close;
                    continue;
                }
            }
            // "%1" alone is a FormatMessage insert unless a conversion follows.
            std::size_t c = k;
            while (c < text.size() && wcschr(L".0123456789hlLI", text[c]))
                ++c;
            if (c >= text.size() || !wcschr(L"diouxXeEfFgGaAcCsSpn", text[c])) {
                positional.push_back(text.substr(i, k - i));
                i = k - 1;
                continue;
            }
        }
        while (j < text.size() && wcschr(L"-+ #0", text[j]))
            ++j;
        while (j < text.size() && (iswdigit(text[j]) || text[j] == L'*' || text[j] == L'.'))
            ++j;
        while (j < text.size() && wcschr(L"hlLqjztIw", text[j]))
            ++j;
        while (j < text.size() && iswdigit(text[j]))
            ++j; // I64, I32
        if (j < text.size() && wcschr(L"diouxXeEfFgGaAcCsSpnZ", text[j])) {
            ordered.push_back(text.substr(i, j + 1 - i));
            i = j;
        }
    }
    std::sort(positional.begin(), positional.end());
    ordered.insert(ordered.end(), positional.begin(), positional.end());
    return ordered;
}

std::string List(const std::vector<ustring>& items)
{
    if (items.empty())
        return "none";
    std::string s;
    for (const ustring& item : items)
        s += (s.empty() ? "" : " ") + U8(item);
    return s;
}

// Accelerators

// The letter after a single "&" (upper case), or 0.
wchar_t Accelerator(const ustring& text)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return wchar_t(reinterpret_cast<ULONG_PTR>(
            ::CharUpperW(reinterpret_cast<wchar_t*>(ULONG_PTR(text[i + 1])))));
    }
    return 0;
}

// Reports each letter used by more than one of the texts; returns the count of
// those the translation made (a clash the original has too is shown, not counted).
std::size_t Collisions(const std::string& where, const std::vector<ustring>& texts,
                       const std::vector<ustring>& originals)
{
    std::map<wchar_t, std::vector<ustring>> byLetter;
    for (const ustring& text : texts)
        if (wchar_t c = Accelerator(text))
            byLetter[c].push_back(text);
    std::size_t count = 0;
    for (const auto& letter : byLetter) {
        if (letter.second.size() < 2)
            continue;
        std::string list;
        bool bOriginal = true;
        for (const ustring& text : letter.second) {
            list += (list.empty() ? "" : ", ") + Quote(text);
            bOriginal =
                bOriginal && std::find(originals.begin(), originals.end(), text) != originals.end();
        }
        std::printf("accelerator   %s: &%s in %s%s\n", where.c_str(),
                    U8(ustring(1, letter.first)).c_str(), list.c_str(),
                    bOriginal ? " (as in the original)" : "");
        count += !bOriginal;
    }
    return count;
}

// Fit

ustring WindowText(HWND hWnd)
{
    int length = ::GetWindowTextLengthW(hWnd);
    ustring text(std::size_t(std::max(length, 0)) + 1, L'\0');
    ::GetWindowTextW(hWnd, &text[0], length + 1);
    text.resize(std::size_t(std::max(length, 0)));
    return text;
}

ustring ClassOf(HWND hWnd)
{
    wchar_t name[64] = {};
    ::GetClassNameW(hWnd, name, 64);
    return name;
}

// How a control draws its text: the DrawTextW flags and the rectangle it has
// for it. False for controls whose text is content, not a label.
bool LabelLayout(HWND hCtl, UINT& flags, RECT& room)
{
    const ustring cls = ClassOf(hCtl);
    const LONG style = ::GetWindowLongW(hCtl, GWL_STYLE);
    ::GetClientRect(hCtl, &room);
    flags = DT_EXPANDTABS;
    if (_wcsicmp(cls.c_str(), L"Static") == 0) {
        switch (style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
            flags |= DT_WORDBREAK;
            break;
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            flags |= DT_SINGLELINE;
            break;
        default:
            return false;
        }
        if (style & SS_NOPREFIX)
            flags |= DT_NOPREFIX;
        return true;
    }
    if (_wcsicmp(cls.c_str(), L"Button") != 0 || (style & (BS_BITMAP | BS_ICON)))
        return false;
    flags |= (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    switch (style & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        // The button's edge and focus rectangle.
        ::InflateRect(&room, -(::GetSystemMetrics(SM_CXEDGE) + 1),
                      -(::GetSystemMetrics(SM_CYEDGE) + 1));
        return true;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        // The box and the gap before the text.
        room.left += ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
        return true;
    case BS_GROUPBOX:
        // The caption sits in the frame, inset on both sides.
        flags = (flags & ~DT_WORDBREAK) | DT_SINGLELINE;
        room.left += 8;
        room.right -= 8;
        return true;
    default:
        return false;
    }
}

// The size the text needs in the control's font and layout.
SIZE Needed(HWND hCtl, const ustring& text, UINT flags, const RECT& room)
{
    HDC hdc = ::GetDC(hCtl);
    HFONT hFont = reinterpret_cast<HFONT>(::SendMessageW(hCtl, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(hdc, hFont ? hFont : ::GetStockObject(SYSTEM_FONT));
    RECT rc = {0, 0, room.right - room.left, room.bottom - room.top};
    ::DrawTextW(hdc, text.c_str(), int(text.size()), &rc, flags | DT_CALCRECT);
    ::SelectObject(hdc, old);
    ::ReleaseDC(hCtl, hdc);
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

bool Fits(const SIZE& need, const RECT& room)
{
    return need.cx <= room.right - room.left && need.cy <= room.bottom - room.top;
}

struct CFindings
{
    std::size_t tooLong = 0, collisions = 0, placeholders = 0, dialogs = 0, menus = 0, unbuilt = 0;
};

void CheckDialog(HMODULE hModule, const CResourceName& id, CTranslator& translator, CFindings& f)
{
    HWND hDlg = ::CreateDialogParamW(hModule, id.Get(), ::GetDesktopWindow(), HiddenDialogProc, 0);
    if (!hDlg) {
        std::printf("dialog %s cannot be created: %s\n", id.Show().c_str(),
                    SystemMessage(::GetLastError()).c_str());
        ++f.unbuilt;
        return;
    }
    ++f.dialogs;
    // The original texts and whether they fit, before translating, in Z order.
    std::vector<std::pair<HWND, std::pair<ustring, bool>>> before;
    for (HWND h = ::GetWindow(hDlg, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        UINT flags;
        RECT room;
        const ustring text = WindowText(h);
        if (!text.empty() && LabelLayout(h, flags, room))
            before.push_back({h, {text, Fits(Needed(h, text, flags, room), room)}});
    }
    translator.XlateWnd(hDlg);
    char where[300];
    std::snprintf(where, sizeof where, "dialog %s %s", id.Show().c_str(),
                  Quote(WindowText(hDlg)).c_str());
    std::vector<ustring> labels, originals;
    for (const auto& control : before) {
        originals.push_back(control.second.first);
        HWND h = control.first;
        UINT flags;
        RECT room;
        LabelLayout(h, flags, room);
        const ustring text = WindowText(h);
        if (!(flags & DT_NOPREFIX))
            labels.push_back(text);
        const SIZE need = Needed(h, text, flags, room);
        if (Fits(need, room) || !control.second.second)
            continue;
        std::printf("too long      %s, control %d (%s): %s needs %ld x %ld pixels, has %ld x %ld "
                    "(was %s)\n",
                    where, ::GetDlgCtrlID(h), U8(ClassOf(h)).c_str(), Quote(text).c_str(), need.cx,
                    need.cy, room.right - room.left, room.bottom - room.top,
                    Quote(control.second.first).c_str());
        ++f.tooLong;
    }
    f.collisions += Collisions(where, labels, originals);
    ::DestroyWindow(hDlg);
}

ustring MenuText(HMENU hMenu, int position)
{
    wchar_t text[512] = {};
    ::GetMenuStringW(hMenu, UINT(position), text, 512, MF_BYPOSITION);
    return text;
}

// Walks the translated menu and an untranslated copy side by side, one level
// (the bar, each pop-up) at a time.
void CheckMenu(HMENU hMenu, HMENU hOriginal, const std::string& where, CFindings& f)
{
    std::vector<ustring> items, originals;
    for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i) {
        items.push_back(MenuText(hMenu, i));
        originals.push_back(MenuText(hOriginal, i));
        if (HMENU hSub = ::GetSubMenu(hMenu, i))
            CheckMenu(hSub, ::GetSubMenu(hOriginal, i), where + " > " + Quote(items.back()), f);
    }
    f.collisions += Collisions(where, items, originals);
}

int Check(const std::vector<ustring>& args)
{
    if (args.size() != 2)
        throw CUsageError{"check needs a module and a language file", kCheckHelp};
    CModule module(args[0]);
    CTranslator translator;
    ReadLanguageFile(args[1], translator);
    CFindings f;
    for (const auto& entry : translator.GetTable()) {
        if (entry.first == entry.second)
            continue;
        const std::vector<ustring> a = Placeholders(entry.first), b = Placeholders(entry.second);
        if (a == b)
            continue;
        std::printf("placeholders  %s -> %s: the original has %s, the translation %s\n",
                    Quote(entry.first).c_str(), Quote(entry.second).c_str(), List(a).c_str(),
                    List(b).c_str());
        ++f.placeholders;
    }
    RegisterControlClasses();
    for (const CResourceName& id : ResourceNames(module.Handle(), RT_DIALOG))
        CheckDialog(module.Handle(), id, translator, f);
    for (const CResourceName& id : ResourceNames(module.Handle(), RT_MENU)) {
        HMENU hMenu = ::LoadMenuW(module.Handle(), id.Get());
        HMENU hOriginal = ::LoadMenuW(module.Handle(), id.Get());
        if (hMenu && hOriginal) {
            translator.XlateMenu(hMenu);
            ++f.menus;
            CheckMenu(hMenu, hOriginal, "menu " + id.Show(), f);
        }
        ::DestroyMenu(hMenu);
        ::DestroyMenu(hOriginal);
    }
    std::printf("%s: %zu dialogs, %zu menus, %zu texts: %zu too long, %zu accelerator "
                "collisions, %zu placeholder mismatches%s\n",
                U8(args[1]).c_str(), f.dialogs, f.menus, translator.GetTable().size(), f.tooLong,
                f.collisions, f.placeholders,
                f.unbuilt ? ", some dialogs could not be created" : "");
    return f.tooLong || f.collisions || f.placeholders ? 3 : 0;
}

int Stats(const std::vector<ustring>& args)
{
    if (args.size() != 1)
        throw CUsageError{"stats needs one language file", kStatsHelp};
    CTranslator t;
    ReadLanguageFile(args[0], t);
    std::size_t untranslated = 0, units = 0, empty = 0;
    for (const auto& entry : t.GetTable()) {
        if (entry.second == entry.first) {
            ++untranslated;
            units += entry.first.size();
        }
        empty += entry.second.empty() && !entry.first.empty();
    }
    const std::size_t total = t.GetTable().size();
    std::printf("%s: %zu texts, %zu translated, %zu untranslated (%zu characters to go), "
                "%zu with an empty translation\n",
                U8(args[0]).c_str(), total, total - untranslated, untranslated, units, empty);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // A command-line tool: no message box may wait for a user.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    struct CCommand
    {
        const wchar_t* name;
        int (*run)(const std::vector<ustring>&);
        const char* help;
    };
    static const CCommand commands[] = {{L"gather", Gather, kGatherHelp},
                                        {L"merge", Merge, kMergeHelp},
                                        {L"check", Check, kCheckHelp},
                                        {L"stats", Stats, kStatsHelp}};
    const ustring name = argc > 1 ? argv[1] : L"";
    if (name == L"--help" || name == L"-h" || name == L"help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const CCommand& command : commands) {
        if (name != command.name)
            continue;
        std::vector<ustring> args(argv + 2, argv + argc);
        if (std::find(args.begin(), args.end(), ustring(L"--help")) != args.end()) {
            std::fputs(command.help, stdout);
            return 0;
        }
        try {
            return command.run(args);
        } catch (const CUsageError& e) {
            std::fprintf(stderr, "tklang: %s\n\n%s", e.message.c_str(), e.help);
            return 2;
        } catch (const CFailure& e) {
            std::fflush(stdout);
            std::fprintf(stderr, "tklang: %s\n", e.message.c_str());
            return 1;
        } catch (const CStdException& e) {
            const CStdException::CExInfo info(e);
            std::fflush(stdout);
            std::fprintf(stderr, "tklang: %s failed: %s\n", U8(info.GetFunction()).c_str(),
                         U8(info.GetErrorMessage()).c_str());
            return 1;
        }
    }
    if (!name.empty())
        std::fprintf(stderr, "tklang: unknown command %s\n\n", U8(name).c_str());
    std::fputs(kUsage, stderr);
    return 2;
}
