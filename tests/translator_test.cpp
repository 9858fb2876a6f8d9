// CTranslator: lookups, the language file byte for byte, windows, menus and
// toolbars translated for real, Gather over this program's own resources, and
// the process-wide instance.
#include "test_common.h"

#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commctrl.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace tarn_kit {

// Reaches the singleton's private parts so that destruction and rebirth can be
// tested without ending the process.
struct PhoenixSingletonTestAccess
{
    static void Kill() { CPhoenixSingleton<CTranslator>::KillPhoenixSingleton(); }
    static CTranslator* Instance() { return CPhoenixSingleton<CTranslator>::m_ptr; }
};

} // namespace tarn_kit

using tarn_kit::CTranslator;
using tarn_kit::ustring;
using tarn_kit_test::TempDirTest;
typedef CTranslator::CTable CTable;

namespace {

std::string Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// A language file written by the test itself, independent of the library's writer.
std::string LanguageFile(const CTable& table)
{
    std::wstring text(1, wchar_t(0xFEFF));
    for (const auto& entry : table)
        text += L"[" + entry.first + L"]\n[" + entry.second + L"]\n";
    return Bytes(text);
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done = 0;
    ASSERT_TRUE(::WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr));
    ::CloseHandle(h);
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[4096];
    DWORD done = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &done, nullptr) && done > 0)
        bytes.append(buffer, done);
    ::CloseHandle(h);
    return bytes;
}

// A translator holding exactly the given table, loaded from a file the test wrote.
void Fill(CTranslator& t, const CTable& table, const std::wstring& path)
{
    WriteBytes(path, LanguageFile(table));
    ASSERT_TRUE(t.LoadLanguageFile(path.c_str()));
    ASSERT_EQ(table, t.GetTable());
}

ustring WindowText(HWND hWnd)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(hWnd, text, 256);
    return text;
}

ustring MenuText(HMENU hMenu, int position)
{
    wchar_t text[256] = {};
    ::GetMenuStringW(hMenu, UINT(position), text, 256, MF_BYPOSITION);
    return text;
}

// Counts WM_SETTEXT, so a test can see that a window was left alone.
int g_setTextCount = 0;
WNDPROC g_staticProc = nullptr;
LRESULT CALLBACK CountingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_SETTEXT)
        ++g_setTextCount;
    return ::CallWindowProcW(g_staticProc, hWnd, uMsg, wParam, lParam);
}

class TranslatorFileTest : public TempDirTest
{};

} // namespace

TEST(CTranslatorTest, XlateExTranslatesOrGathers)
{
    CTranslator t;
    EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    ustring text(L"Open");
    EXPECT_FALSE(t.XlateEx(text));
    EXPECT_EQ(ustring(L"Open"), text);

    EXPECT_EQ(CTranslator::eTranslate, t.SetMode(CTranslator::eGather));
    EXPECT_TRUE(t.XlateEx(text));
    EXPECT_TRUE(t.XlateEx(text));
    ustring empty;
    EXPECT_TRUE(t.XlateEx(empty));
    EXPECT_EQ((CTable{{L"", L""}, {L"Open", L"Open"}}), t.GetTable());

    // Any mode but gathering translates.
    t.SetMode(static_cast<CTranslator::EMode>(7));
    EXPECT_TRUE(t.XlateEx(text));
    for (const wchar_t* miss : {L"open", L"&Open", L"Open\tCtrl+O", L"Open "}) {
        ustring other(miss);
        EXPECT_FALSE(t.XlateEx(other)) << miss;
        EXPECT_EQ(ustring(miss), other);
    }
    CTranslator copy(t);
    EXPECT_EQ(t.GetTable(), copy.GetTable());
    EXPECT_EQ(t.GetMode(), copy.GetMode());
}

TEST_F(TranslatorFileTest, GatheringKeepsExistingTranslations)
{
    CTranslator t;
    Fill(t, {{L"Open", L"\u00D6ffnen"}}, Path(L"de.lng"));
    t.SetMode(CTranslator::eGather);
    ustring open(L"Open");
    ustring close(L"Close");
    EXPECT_TRUE(t.XlateEx(open));
    EXPECT_TRUE(t.XlateEx(close));
    EXPECT_EQ(ustring(L"Open"), open);
    EXPECT_EQ((CTable{{L"Close", L"Close"}, {L"Open", L"\u00D6ffnen"}}), t.GetTable());
    t.SetMode(CTranslator::eTranslate);
    EXPECT_TRUE(t.XlateEx(open));
    EXPECT_EQ(ustring(L"\u00D6ffnen"), open);
}

TEST_F(TranslatorFileTest, WritesTheDocumentedBytes)
{
    CTranslator t;
    const std::wstring path = Path(L"out.lng");
    t.SaveLanguageFile(path.c_str());
    EXPECT_EQ(std::string("\xFF\xFE", 2), ReadBytes(path));
    t.LoadLanguageFile(path.c_str());
    EXPECT_TRUE(t.GetTable().empty());

    Fill(t, {{L"OK", L"OK"}, {L"Cancel", L"Abbrechen"}}, Path(L"in.lng"));
    t.SaveLanguageFile(path.c_str());
    EXPECT_EQ(Bytes(std::wstring(1, wchar_t(0xFEFF)) + L"[Cancel]\n[Abbrechen]\n[OK]\n[OK]\n"),
              ReadBytes(path));
}

// Random tables of awkward texts survive the library's writer and reader, and
// the library reads what an independent writer wrote.
TEST_F(TranslatorFileTest, RandomTablesRoundTrip)
{
    std::mt19937 rng(42);
    const wchar_t alphabet[] = L"ab[]\n \u00E9\u4E2D";
    auto randomText = [&](std::size_t maxLength) {
        std::wstring s(rng() % (maxLength + 1), L' ');
        for (auto& c : s)
            c = alphabet[rng() % (sizeof alphabet / sizeof alphabet[0] - 1)];
        // The format cannot hold "]" LF "[" inside a text.
        std::size_t bad;
        while ((bad = s.find(L"]\n[")) != std::wstring::npos)
            s[bad + 1] = L'x';
        return ustring(s);
    };
    const std::wstring in = Path(L"in.lng");
    const std::wstring out = Path(L"out.lng");
    for (int round = 0; round < 40; ++round) {
        CTable table;
        for (int n = rng() % 60; n > 0; --n)
            table[randomText(round % 5 == 0 ? 700 : 12)] = randomText(round % 7 == 0 ? 600 : 12);
        table[L"\nstarts with a line feed"] = L"ends with ]\n";
        table[L"[bracketed]"] = L"";
        CTranslator t;
        Fill(t, table, in);
        t.SaveLanguageFile(out.c_str());
        ASSERT_EQ(ReadBytes(in), ReadBytes(out)) << "round " << round;
        CTranslator back;
        ASSERT_TRUE(back.LoadLanguageFile(out.c_str()));
        ASSERT_EQ(table, back.GetTable()) << "round " << round;
    }
}

TEST_F(TranslatorFileTest, ReaderEdgeCases)
{
    struct
    {
        const wchar_t* content;
        CTable table;
    } cases[] = {
        {L"", {}},
        {L"[k]\n[a]\nb]\n", {{L"k", L"a]\nb"}}},
        {L"[k]\n[a]\n]\n", {{L"k", L"a]\n"}}},
        {L"[]\n[empty key]\n", {{L"", L"empty key"}}},
        {L"[k]\n[v]", {{L"k", L"v]"}}},
        {L"[k]\n[v1]\n[k]\n[v2]\n", {{L"k", L"v2"}}},
        {L"[k]\n[v]\n[orphan]\n", {{L"k", L"v"}}},
        {L"\n\n[k]\n[v]\n", {{L"k", L"v"}}},
        {L"[a\rb]\n[c]\n", {{L"a\nb", L"c"}}},
        // Hand-edited CR LF files read as one long text.
        {L"[k]\r\n[v]\r\n", {}},
    };
    const std::wstring path = Path(L"edge.lng");
    for (const auto& c : cases) {
        WriteBytes(path, Bytes(std::wstring(1, wchar_t(0xFEFF)) + c.content));
        CTranslator t;
        t.SetMode(CTranslator::eGather);
        ASSERT_TRUE(t.LoadLanguageFile(path.c_str()));
        EXPECT_EQ(c.table, t.GetTable()) << c.content;
        EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    }
}

TEST_F(TranslatorFileTest, MalformedFilesThrowInvalidData)
{
    const std::wstring path = Path(L"bad.lng");
    for (const std::string& bytes :
         {std::string(), std::string("\xFF"), std::string("\xFE\xFF[\0a\0]\0\n\0", 10),
          std::string("[\0a\0]\0\n\0", 8)}) {
        WriteBytes(path, bytes);
        CTranslator t;
        Fill(t, {{L"x", L"y"}}, Path(L"good.lng"));
        t.SetMode(CTranslator::eGather);
        EXPECT_WIN_EXCEPTION(t.LoadLanguageFile(path.c_str()), L".\\Translator",
                             L"tarn_kit::CTranslator::LoadLanguageFile", ERROR_INVALID_DATA);
        EXPECT_TRUE(t.GetTable().empty()) << bytes.size();
        EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    }
}

TEST_F(TranslatorFileTest, MissingFilesAndFolders)
{
    CTranslator t;
    Fill(t, {{L"a", L"b"}}, Path(L"good.lng"));
    t.SetMode(CTranslator::eGather);
    EXPECT_FALSE(t.LoadLanguageFile(Path(L"missing.lng").c_str()));
    EXPECT_FALSE(t.LoadLanguageFile(Path(L"no\\such\\folder.lng").c_str()));
    EXPECT_EQ((CTable{{L"a", L"b"}}), t.GetTable());
    EXPECT_EQ(CTranslator::eGather, t.GetMode());
    EXPECT_WIN_EXCEPTION(t.SaveLanguageFile(Path(L"no\\such\\folder.lng").c_str()), L".\\File",
                         L"CreateFile", ERROR_PATH_NOT_FOUND);
}

TEST_F(TranslatorFileTest, LongTextsSpanReadBlocks)
{
    ustring longKey(1000, L'k');
    longKey[255] = L'\n';
    longKey[600] = L']';
    CTable table = {{longKey, ustring(3000, L'\u00FC')}, {L"short", L"s"}};
    CTranslator t;
    Fill(t, table, Path(L"long.lng"));
    t.SaveLanguageFile(Path(L"again.lng").c_str());
    CTranslator back;
    ASSERT_TRUE(back.LoadLanguageFile(Path(L"again.lng").c_str()));
    EXPECT_EQ(table, back.GetTable());
}

TEST_F(TranslatorFileTest, WindowTreeIsTranslatedInPlace)
{
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"Receiver", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hWnd);
    HWND hButton = ::CreateWindowExW(0, L"BUTTON", L"Start", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20,
                                     hWnd, nullptr, nullptr, nullptr);
    HWND hGroup = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 30, 80, 80, hWnd,
                                    nullptr, nullptr, nullptr);
    HWND hLabel = ::CreateWindowExW(0, L"STATIC", L"Level", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20,
                                    hGroup, nullptr, nullptr, nullptr);
    HMENU hBar = ::CreateMenu();
    HMENU hFile = ::CreatePopupMenu();
    ::AppendMenuW(hFile, MF_STRING | MF_CHECKED, 11, L"&Open");
    ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), L"&File");
    ::SetMenu(hWnd, hBar);
    ASSERT_TRUE(hButton && hGroup && hLabel);

    CTranslator t;
    Fill(t,
         {{L"Receiver", L"Empf\u00E4nger"},
          {L"Start", L"Starten"},
          {L"Level", L"Pegel"},
          {L"&File", L"&Datei"},
          {L"&Open", L"\u00D6&ffnen"}},
         Path(L"de.lng"));
    g_staticProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hGroup, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    g_setTextCount = 0;
    t.XlateWnd(hWnd);
    EXPECT_EQ(ustring(L"Empf\u00E4nger"), WindowText(hWnd));
    EXPECT_EQ(ustring(L"Starten"), WindowText(hButton));
    EXPECT_EQ(ustring(L"Pegel"), WindowText(hLabel));
    EXPECT_EQ(0, g_setTextCount) << "a window without an entry was set";
    EXPECT_EQ(ustring(L"&Datei"), MenuText(hBar, 0));
    EXPECT_EQ(ustring(L"\u00D6&ffnen"), MenuText(hFile, 0));
    EXPECT_EQ(hFile, ::GetSubMenu(hBar, 0));
    EXPECT_EQ(UINT(MF_CHECKED), ::GetMenuState(hFile, 0, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_EQ(11u, ::GetMenuItemID(hFile, 0));

    // Gathering records the whole tree, the empty text included, and changes nothing.
    CTranslator gather;
    gather.SetMode(CTranslator::eGather);
    gather.XlateWnd(hWnd);
    EXPECT_EQ(1u, gather.GetTable().count(L"Empf\u00E4nger"));
    EXPECT_EQ(1u, gather.GetTable().count(L""));
    EXPECT_EQ(1u, gather.GetTable().count(L"&Datei"));
    EXPECT_EQ(ustring(L"Starten"), WindowText(hButton));
    ::DestroyWindow(hWnd);
}

TEST(CTranslatorTest, MenuSkipsSeparatorsAndOwnerDrawnItems)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::AppendMenuW(hMenu, MF_STRING, 1, L"One");
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hMenu, MF_OWNERDRAW, 2, reinterpret_cast<const wchar_t*>(0x1234));
    ::AppendMenuW(hMenu, MF_STRING | MF_GRAYED, 3, L"Two");
    CTranslator t;
    t.SetMode(CTranslator::eGather);
    t.XlateMenu(hMenu);
    EXPECT_EQ((CTable{{L"One", L"One"}, {L"Two", L"Two"}}), t.GetTable());
    ::DestroyMenu(hMenu);
}

TEST_F(TranslatorFileTest, ToolbarButtonsAndTheirMenus)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    HWND hWnd = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    HWND hToolbar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | TBSTYLE_LIST, 0, 0,
                                      0, 0, hWnd, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hToolbar);
    ::SendMessageW(hToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    HMENU hDrop = ::CreatePopupMenu();
    ::AppendMenuW(hDrop, MF_STRING, 7, L"Sweep");
    TBBUTTON buttons[3] = {};
    buttons[0].idCommand = 100;
    buttons[0].fsState = TBSTATE_ENABLED;
    buttons[0].iString = reinterpret_cast<INT_PTR>(L"Run");
    buttons[1].idCommand = 101;
    buttons[1].fsState = TBSTATE_ENABLED;
    buttons[1].iString = reinterpret_cast<INT_PTR>(L"Mode");
    buttons[1].dwData = reinterpret_cast<DWORD_PTR>(hDrop);
    buttons[2].idCommand = 102;
    buttons[2].fsState = TBSTATE_ENABLED;
    buttons[2].iString = reinterpret_cast<INT_PTR>(L"Untouched");
    ASSERT_TRUE(::SendMessageW(hToolbar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(buttons)));

    CTranslator t;
    Fill(t, {{L"Run", L"Ausf\u00FChren"}, {L"Mode", L"Modus"}, {L"Sweep", L"Wobbeln"}},
         Path(L"de.lng"));
    t.XlateToolbar(hToolbar);
    ASSERT_EQ(3, ::SendMessageW(hToolbar, TB_BUTTONCOUNT, 0, 0));
    const wchar_t* expected[] = {L"Ausf\u00FChren", L"Modus", L"Untouched"};
    for (int i = 0; i < 3; ++i) {
        TBBUTTON b = {};
        ASSERT_TRUE(
            ::SendMessageW(hToolbar, TB_GETBUTTON, WPARAM(i), reinterpret_cast<LPARAM>(&b)));
        EXPECT_EQ(100 + i, b.idCommand) << i;
        wchar_t text[64] = {};
        ::SendMessageW(hToolbar, TB_GETBUTTONTEXTW, WPARAM(b.idCommand),
                       reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(ustring(expected[i]), ustring(text)) << i;
    }
    EXPECT_EQ(ustring(L"Wobbeln"), MenuText(hDrop, 0));
    ::DestroyWindow(hWnd);
    ::DestroyMenu(hDrop);
}

TEST(CTranslatorTest, GatherFindsStringsDialogsAndMenus)
{
    CTranslator t;
    t.SetMode(CTranslator::eGather);
    t.Gather(::GetModuleHandleW(nullptr));
    EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    const CTable& table = t.GetTable();
    for (const wchar_t* text : {L"Open", L"&File", L"Measurement finished.\nSave the results?",
                                L"Receiver settings", L"Frequency:", L"Remember", L"OK", L"Cancel",
                                L"&Open...\tCtrl+O", L"E&xit", L"&Help", L"&About"}) {
        auto it = table.find(text);
        ASSERT_NE(table.end(), it) << text;
        EXPECT_EQ(ustring(text), it->second);
    }
    // The gathered dialog is gone and was never shown: nothing took the focus.
    EXPECT_FALSE(::FindWindowW(nullptr, L"Receiver settings"));
    EXPECT_EQ(nullptr, ::GetActiveWindow());
}

// Eight threads asking at once for a translator that does not exist yet get
// one instance; one used after its end rises again, empty.
TEST(CPhoenixSingletonTest, OneInstanceAndRebirth)
{
    using Access = tarn_kit::PhoenixSingletonTestAccess;
    Access::Kill();
    ASSERT_EQ(nullptr, Access::Instance());
    std::atomic<int> ready(0);
    std::vector<CTranslator*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < 8)
                std::this_thread::yield();
            seen[i] = &tarn_kit::CPhoenixSingleton<CTranslator>::Ref();
        });
    for (auto& thread : threads)
        thread.join();
    for (CTranslator* p : seen)
        EXPECT_EQ(Access::Instance(), p);

    ustring text(L"remember me");
    tarn_kit::CPhoenixSingleton<CTranslator>::Ref().SetMode(CTranslator::eGather);
    tarn_kit::CPhoenixSingleton<CTranslator>::Ref().XlateEx(text);
    Access::Kill();
    CTranslator& reborn = tarn_kit::CTranslatorInstance::Ref();
    EXPECT_TRUE(reborn.GetTable().empty());
    EXPECT_EQ(CTranslator::eTranslate, reborn.GetMode());
    EXPECT_EQ(&reborn, Access::Instance());
}

namespace {

// Runs a command line, collecting what it writes to stdout and stderr.
DWORD RunProgram(std::wstring commandLine, std::string& output)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &sa, 0))
        return DWORD(-1);
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    PROCESS_INFORMATION pi = {};
    BOOL started = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &si, &pi);
    ::CloseHandle(hWrite);
    output.clear();
    if (!started) {
        ::CloseHandle(hRead);
        return DWORD(-1);
    }
    char buffer[1024];
    DWORD done = 0;
    while (::ReadFile(hRead, buffer, sizeof buffer, &done, nullptr) && done > 0)
        output.append(buffer, done);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(hRead);
    return code;
}

std::wstring BesideThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s = path;
    return s.substr(0, s.rfind(L'\\') + 1) + name;
}

std::wstring Quoted(const std::wstring& s)
{
    return L"\"" + s + L"\"";
}

// The strings of a resource script as windres writes them: "..." or L"..."
// with C escapes, octal and hexadecimal.
ustring UnescapeRcString(const std::string& quoted)
{
    ustring out;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        char c = quoted[i];
        if (c != '\\') {
            out += wchar_t(static_cast<unsigned char>(c));
            continue;
        }
        char e = quoted[++i];
        switch (e) {
        case 'n':
            out += L'\n';
            break;
        case 'r':
            out += L'\r';
            break;
        case 't':
            out += L'\t';
            break;
        case 'a':
            out += L'\a';
            break;
        case 'x': {
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && i + 1 < quoted.size() &&
                   std::isxdigit((unsigned char)quoted[i + 1])) {
                char h = quoted[++i];
                value = value * 16 +
                        unsigned(std::isdigit((unsigned char)h) ? h - '0' : (h | 0x20) - 'a' + 10);
                ++digits;
            }
            out += wchar_t(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = unsigned(e - '0');
                for (int k = 0;
                     k < 2 && i + 1 < quoted.size() && quoted[i + 1] >= '0' && quoted[i + 1] <= '7';
                     ++k)
                    value = value * 8 + unsigned(quoted[++i] - '0');
                out += wchar_t(value);
            } else {
                out += wchar_t(static_cast<unsigned char>(e));
            }
        }
    }
    return out;
}

// id -> text of every string table of one language in a decompiled script.
std::map<unsigned, ustring> StringTables(const std::wstring& script, const char* language)
{
    std::map<unsigned, ustring> strings;
    HANDLE h = ::CreateFileW(script.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return strings;
    std::string text;
    char buffer[65536];
    DWORD done = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &done, nullptr) && done > 0)
        text.append(buffer, done);
    ::CloseHandle(h);

    std::string currentLanguage;
    bool inTable = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line =
            text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (line.compare(0, 9, "LANGUAGE ") == 0)
            currentLanguage = line.substr(9);
        else if (line == "STRINGTABLE")
            inTable = currentLanguage == language;
        else if (line == "END")
            inTable = false;
        else if (inTable) {
            std::size_t comma = line.find(',');
            std::size_t open = line.find('"');
            if (comma == std::string::npos || open == std::string::npos || line.back() != '"')
                continue;
            unsigned id = unsigned(std::atoi(line.c_str()));
            strings[id] = UnescapeRcString(line.substr(open + 1, line.size() - open - 2));
        }
    }
    return strings;
}

} // namespace

TEST_F(TranslatorFileTest, ToolGathersMergesAndCounts)
{
    const std::wstring tool = Quoted(BesideThisProgram(L"tklang.exe"));
    const std::wstring module = Quoted(BesideThisProgram(L"translator_test.exe"));
    const std::wstring fresh = Path(L"fresh.lng");
    std::string output;
    ASSERT_EQ(0u, RunProgram(tool + L" gather " + module + L" " + Quoted(fresh), output)) << output;
    CTranslator gathered;
    ASSERT_TRUE(gathered.LoadLanguageFile(fresh.c_str()));
    const std::size_t moduleTexts = gathered.GetTable().size();
    EXPECT_EQ(1u, gathered.GetTable().count(L"Receiver settings"));
    for (const auto& entry : gathered.GetTable())
        EXPECT_EQ(entry.first, entry.second);

    const std::wstring existing = Path(L"de.lng");
    WriteBytes(existing,
               LanguageFile({{L"Open", L"\u00D6ffnen"}, {L"Gone from the module", L"Weg"}}));
    const std::wstring merged = Path(L"merged.lng");
    ASSERT_EQ(0u, RunProgram(tool + L" gather " + module + L" " + Quoted(merged) + L" " +
                                 Quoted(existing),
                             output))
        << output;
    char expected[160];
    std::snprintf(expected, sizeof expected,
                  "%zu texts, %zu new, %zu untranslated, 1 no longer in the module",
                  moduleTexts + 1, moduleTexts - 1, moduleTexts - 1);
    EXPECT_NE(std::string::npos, output.find(expected)) << output;
    CTranslator result;
    ASSERT_TRUE(result.LoadLanguageFile(merged.c_str()));
    EXPECT_EQ(ustring(L"\u00D6ffnen"), result.GetTable().at(L"Open"));
    EXPECT_EQ(ustring(L"Weg"), result.GetTable().at(L"Gone from the module"));
    EXPECT_EQ(ustring(L"Receiver settings"), result.GetTable().at(L"Receiver settings"));

    ASSERT_EQ(0u, RunProgram(tool + L" stats " + Quoted(merged), output)) << output;
    std::snprintf(expected, sizeof expected, "%zu texts, 2 translated, %zu untranslated",
                  moduleTexts + 1, moduleTexts - 1);
    EXPECT_NE(std::string::npos, output.find(expected)) << output;
    EXPECT_EQ(2u, RunProgram(tool + L" unknown", output));
    EXPECT_EQ(1u, RunProgram(tool + L" stats " + Quoted(Path(L"missing.lng")), output));
}

// A real module nobody here wrote: Wine's own comdlg32.dll, its English string
// tables as windres decompiles them (made by the build beside this program).
TEST(CTranslatorTest, GatherAgreesWithWindresOnARealModule)
{
    const std::map<unsigned, ustring> english =
        StringTables(BesideThisProgram(L"comdlg32.rc"), "9, 1");
    if (english.empty())
        GTEST_SKIP() << "no decompiled comdlg32.rc beside the test program";
    HMODULE hModule = ::LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(hModule) << ::GetLastError();
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CTranslator t;
    t.Gather(hModule);
    for (const auto& entry : english) {
        ustring loaded;
        EXPECT_TRUE(loaded.load(hModule, entry.first)) << entry.first;
        EXPECT_EQ(entry.second, loaded) << entry.first;
        EXPECT_EQ(1u, t.GetTable().count(entry.second)) << entry.first;
    }
    EXPECT_GT(english.size(), 20u);
    EXPECT_GT(t.GetTable().size(), english.size());
    ::FreeLibrary(hModule);
}
