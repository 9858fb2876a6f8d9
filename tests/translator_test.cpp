// CTranslator: lookups, the language file byte for byte, windows, menus and
// toolbars translated for real, Gather over this program's own resources and a
// real module, and the process-wide instance.
#include "test_common.h"

#include <tarn_kit/translator.h>

#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
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
typedef CTranslator::CTable CTable;
using tarn_kit_test::BesideModule;
using tarn_kit_test::ReadBytes;
using tarn_kit_test::Utf16;
using tarn_kit_test::WriteBytes;

namespace {

// A language file written by the test itself, independent of the library's writer.
std::string LanguageFile(const CTable& table)
{
    std::wstring text = L"\uFEFF";
    for (const auto& entry : table)
        text += L"[" + entry.first + L"]\n[" + entry.second + L"]\n";
    return Utf16(text);
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
    g_setTextCount += uMsg == WM_SETTEXT;
    return ::CallWindowProcW(g_staticProc, hWnd, uMsg, wParam, lParam);
}

class TranslatorTest : public tarn_kit_test::TempDirTest
{
protected:
    // A translator holding exactly the given table, loaded from a file the test wrote.
    void Fill(CTranslator& t, const CTable& table)
    {
        WriteBytes(Path(L"fill.lng"), LanguageFile(table));
        ASSERT_TRUE(t.LoadLanguageFile(Path(L"fill.lng").c_str()));
        ASSERT_EQ(table, t.GetTable());
    }
};

// The ids of the string tables of one language in a script that windres decompiled:
// lines `  114, "text"` between STRINGTABLE and END.
std::vector<unsigned> StringIds(const std::wstring& script, const std::string& language)
{
    std::vector<unsigned> ids;
    const std::string text = ReadBytes(script);
    std::string current, line;
    bool inTable = false;
    for (std::size_t pos = 0, end = 0; end != std::string::npos; pos = end + 1) {
        line = text.substr(pos, (end = text.find('\n', pos)) - pos);
        if (line.compare(0, 9, "LANGUAGE ") == 0)
            current = line.substr(9);
        inTable = line == "STRINGTABLE" ? current == language : inTable && line != "END";
        if (inTable && line.find('"') != std::string::npos)
            ids.push_back(unsigned(std::atoi(line.c_str())));
    }
    return ids;
}

} // namespace

TEST_F(TranslatorTest, XlateExTranslatesOrGathers)
{
    CTranslator t;
    ustring text(L"Open");
    EXPECT_FALSE(t.XlateEx(text));
    EXPECT_EQ(CTranslator::eTranslate, t.SetMode(CTranslator::eGather));
    ustring empty;
    EXPECT_TRUE(t.XlateEx(text) && t.XlateEx(text) && t.XlateEx(empty));
    EXPECT_EQ((CTable{{L"", L""}, {L"Open", L"Open"}}), t.GetTable());

    Fill(t, {{L"Open", L"\u00D6ffnen"}});
    t.SetMode(CTranslator::eGather);
    ustring close(L"Close");
    EXPECT_TRUE(t.XlateEx(text) && t.XlateEx(close));
    EXPECT_EQ((CTable{{L"Close", L"Close"}, {L"Open", L"\u00D6ffnen"}}), t.GetTable());
    // Any mode but gathering translates; keys are whole and case-sensitive.
    t.SetMode(static_cast<CTranslator::EMode>(7));
    EXPECT_TRUE(t.XlateEx(text));
    EXPECT_EQ(ustring(L"\u00D6ffnen"), text);
    for (const wchar_t* miss : {L"open", L"&Open", L"Open\tCtrl+O"}) {
        ustring other(miss);
        EXPECT_FALSE(t.XlateEx(other));
        EXPECT_EQ(ustring(miss), other);
    }
}

TEST_F(TranslatorTest, WritesTheDocumentedBytes)
{
    CTranslator t;
    const std::wstring path = Path(L"out.lng");
    t.SaveLanguageFile(path.c_str());
    EXPECT_EQ(std::string("\xFF\xFE"), ReadBytes(path));
    EXPECT_TRUE(t.LoadLanguageFile(path.c_str()) && t.GetTable().empty());
    Fill(t, {{L"OK", L"OK"}, {L"Cancel", L"Abbrechen"}});
    t.SaveLanguageFile(path.c_str());
    EXPECT_EQ(Utf16(L"\uFEFF[Cancel]\n[Abbrechen]\n[OK]\n[OK]\n"), ReadBytes(path));
}

// Random tables of awkward texts, some spanning many read blocks: the library's writer gives
// the independent writer's bytes, and both that file and an editor's copy of it (CR LF, blank
// lines between records) read back as the table.
TEST_F(TranslatorTest, RandomTablesRoundTrip)
{
    std::mt19937 rng(42);
    auto randomText = [&](std::size_t maxLength) {
        std::wstring s(rng() % (maxLength + 1), L' ');
        for (auto& c : s)
            c = L"ab[]\n \u00E9\u4E2D"[rng() % 8];
        // What no reading can tell from a record boundary: "]", line ends, "[".
        for (std::size_t i = 0; (i = s.find(L']', i)) != std::wstring::npos; ++i) {
            const std::size_t j = s.find_first_not_of(L'\n', i + 1);
            if (j != i + 1 && j != std::wstring::npos && s[j] == L'[')
                s[j] = L'x';
        }
        return ustring(s);
    };
    for (int round = 0; round < 60; ++round) {
        CTable table = {{L"\nstarts with a line feed", L"ends with ]\n"}, {L"[bracketed]", L""}};
        for (int n = rng() % 60; n > 0; --n)
            table[randomText(round % 5 == 0 ? 700 : 12)] = randomText(round % 7 == 0 ? 600 : 12);
        CTranslator t, back, edited;
        Fill(t, table);
        t.SaveLanguageFile(Path(L"out.lng").c_str());
        ASSERT_EQ(ReadBytes(Path(L"fill.lng")), ReadBytes(Path(L"out.lng"))) << round;
        ASSERT_TRUE(back.LoadLanguageFile(Path(L"out.lng").c_str()));
        ASSERT_EQ(table, back.GetTable()) << round;

        std::wstring text = L"\uFEFF";
        for (const auto& entry : table) {
            text += L"[" + entry.first + L"]\n[" + entry.second + L"]\n";
            text.append(rng() % 3, L'\n');
        }
        for (std::size_t i = 0; round % 2 && (i = text.find(L'\n', i)) != std::wstring::npos;
             i += 2)
            text.insert(i, 1, L'\r');
        WriteBytes(Path(L"edited.lng"), Utf16(text));
        ASSERT_TRUE(edited.LoadLanguageFile(Path(L"edited.lng").c_str()));
        ASSERT_EQ(table, edited.GetTable()) << round;
    }
}

TEST_F(TranslatorTest, ReaderEdgeCases)
{
    const std::pair<const wchar_t*, CTable> cases[] = {
        {L"", {}},
        {L"[k]\n[a]\nb]\n", {{L"k", L"a]\nb"}}},
        {L"[k]\n[a]\n]\n", {{L"k", L"a]\n"}}},
        {L"[]\n[empty key]\n", {{L"", L"empty key"}}},
        {L"[k]\n[v]", {{L"k", L"v]"}}},
        {L"[k]\n[v1]\n[k]\n[v2]\n", {{L"k", L"v2"}}},
        {L"[k]\n[v]\n[orphan]\n", {{L"k", L"v"}}},
        {L"\n\n[k]\n[v]\n", {{L"k", L"v"}}},
        {L"[a\rb]\n[c]\n", {{L"a\nb", L"c"}}},
        {L"[k]\r\n[v]\r\n", {{L"k", L"v"}}}, // CR LF line ends from an editor
        {L"\r\n\r\n[k]\r\n[v]\n[a]\n[b]\r\n\r\n", {{L"k", L"v"}, {L"a", L"b"}}},
        {L"\r\n\r\n", {}},
    };
    for (const auto& c : cases) {
        WriteBytes(Path(L"edge.lng"), Utf16(L"\uFEFF" + std::wstring(c.first)));
        CTranslator t;
        t.SetMode(CTranslator::eGather);
        ASSERT_TRUE(t.LoadLanguageFile(Path(L"edge.lng").c_str()));
        EXPECT_EQ(c.second, t.GetTable()) << c.first;
        EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    }
    // The writer's own form reads exactly, even texts that hold "]", blank lines and "[".
    CTranslator t;
    Fill(t, {{L"a", L"x]\n\n[y"}, {L"c]\n\n[d", L"v"}, {L"e]\n", L"\n[f"}});
}

TEST_F(TranslatorTest, BadFilesMissingFilesAndFolders)
{
    CTranslator t;
    for (const std::string& bytes :
         {std::string(), std::string("\xFF"), std::string("\xFE\xFF[\0a\0]\0\n\0", 10),
          std::string("[\0a\0]\0\n\0", 8), Utf16(L"\uFEFFhello\r\nworld\r\n"),
          Utf16(L"\uFEFF[k]\r\n"), Utf16(L"\uFEFFk]\n[v]\n"), Utf16(L"\uFEFF[k]")}) {
        WriteBytes(Path(L"bad.lng"), bytes);
        Fill(t, {{L"x", L"y"}});
        t.SetMode(CTranslator::eGather);
        EXPECT_WIN_EXCEPTION(t.LoadLanguageFile(Path(L"bad.lng").c_str()), L".\\Translator",
                             L"tarn_kit::CTranslator::LoadLanguageFile", ERROR_INVALID_DATA);
        EXPECT_TRUE(t.GetTable().empty() && t.GetMode() == CTranslator::eTranslate);
    }
    Fill(t, {{L"a", L"b"}});
    t.SetMode(CTranslator::eGather);
    EXPECT_FALSE(t.LoadLanguageFile(Path(L"missing.lng").c_str()));
    EXPECT_FALSE(t.LoadLanguageFile(Path(L"no\\such\\folder.lng").c_str()));
    EXPECT_EQ((CTable{{L"a", L"b"}}), t.GetTable());
    EXPECT_EQ(CTranslator::eGather, t.GetMode());
    EXPECT_WIN_EXCEPTION(t.SaveLanguageFile(Path(L"no\\such\\folder.lng").c_str()), L".\\File",
                         L"CreateFile", ERROR_PATH_NOT_FOUND);
}

TEST_F(TranslatorTest, WindowTreeIsTranslatedInPlace)
{
    auto create = [](const wchar_t* cls, const wchar_t* text, DWORD style, HWND parent) {
        return ::CreateWindowExW(0, cls, text, style, 0, 0, 80, 20, parent, nullptr, nullptr,
                                 nullptr);
    };
    HWND hWnd = create(L"STATIC", L"Receiver", WS_OVERLAPPEDWINDOW, nullptr);
    HWND hButton = create(L"BUTTON", L"Start", WS_CHILD, hWnd);
    HWND hGroup = create(L"STATIC", L"", WS_CHILD, hWnd);
    HWND hLabel = create(L"STATIC", L"Level", WS_CHILD, hGroup);
    HMENU hBar = ::CreateMenu(), hFile = ::CreatePopupMenu();
    ::AppendMenuW(hFile, MF_STRING | MF_CHECKED, 11, L"&Open");
    ::AppendMenuW(hFile, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hFile, MF_OWNERDRAW, 12, reinterpret_cast<const wchar_t*>(0x1234));
    ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), L"&File");
    ::SetMenu(hWnd, hBar);
    ASSERT_TRUE(hButton && hGroup && hLabel);

    // Gathering records the whole tree, never a separator or an owner-drawn item.
    CTranslator gather;
    gather.SetMode(CTranslator::eGather);
    gather.XlateWnd(hWnd);
    EXPECT_EQ((CTable{{L"", L""},
                      {L"&File", L"&File"},
                      {L"&Open", L"&Open"},
                      {L"Level", L"Level"},
                      {L"Receiver", L"Receiver"},
                      {L"Start", L"Start"}}),
              gather.GetTable());

    CTranslator t;
    Fill(t, {{L"Receiver", L"Empf\u00E4nger"},
             {L"Start", L"Starten"},
             {L"Level", L"Pegel"},
             {L"&File", L"&Datei"},
             {L"&Open", L"\u00D6&ffnen"}});
    g_staticProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hGroup, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    t.XlateWnd(hWnd);
    wchar_t text[64];
    for (auto window : {std::make_pair(hWnd, L"Empf\u00E4nger"),
                        std::make_pair(hButton, L"Starten"), std::make_pair(hLabel, L"Pegel")}) {
        ::GetWindowTextW(window.first, text, 64);
        EXPECT_STREQ(window.second, text);
    }
    EXPECT_EQ(0, g_setTextCount) << "a window without an entry was set";
    EXPECT_EQ(ustring(L"&Datei"), MenuText(hBar, 0));
    EXPECT_EQ(ustring(L"\u00D6&ffnen"), MenuText(hFile, 0));
    EXPECT_EQ(hFile, ::GetSubMenu(hBar, 0));
    EXPECT_EQ(UINT(MF_CHECKED), ::GetMenuState(hFile, 0, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_EQ(11u, ::GetMenuItemID(hFile, 0));
    ::DestroyWindow(hWnd);
}

TEST_F(TranslatorTest, ToolbarButtonsAndTheirMenus)
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
    const wchar_t* texts[] = {L"Run", L"Mode", L"Untouched"};
    TBBUTTON buttons[3] = {};
    for (int i = 0; i < 3; ++i) {
        buttons[i].idCommand = 100 + i;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].iString = reinterpret_cast<INT_PTR>(texts[i]);
    }
    buttons[1].dwData = reinterpret_cast<DWORD_PTR>(hDrop);
    ASSERT_TRUE(::SendMessageW(hToolbar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(buttons)));

    CTranslator t;
    Fill(t, {{L"Run", L"Ausf\u00FChren"}, {L"Mode", L"Modus"}, {L"Sweep", L"Wobbeln"}});
    t.XlateToolbar(hToolbar);
    ASSERT_EQ(3, ::SendMessageW(hToolbar, TB_BUTTONCOUNT, 0, 0));
    const wchar_t* expected[] = {L"Ausf\u00FChren", L"Modus", L"Untouched"};
    for (int i = 0; i < 3; ++i) {
        TBBUTTON b = {};
        ::SendMessageW(hToolbar, TB_GETBUTTON, WPARAM(i), reinterpret_cast<LPARAM>(&b));
        wchar_t text[64] = {};
        ::SendMessageW(hToolbar, TB_GETBUTTONTEXTW, WPARAM(b.idCommand), LPARAM(text));
        EXPECT_EQ(100 + i, b.idCommand);
        EXPECT_STREQ(expected[i], text);
    }
    EXPECT_EQ(ustring(L"Wobbeln"), MenuText(hDrop, 0));
    ::DestroyWindow(hWnd);
    ::DestroyMenu(hDrop);
}

TEST_F(TranslatorTest, GatherFindsStringsDialogsAndMenus)
{
    CTranslator t;
    t.Gather(::GetModuleHandleW(nullptr));
    EXPECT_EQ(CTranslator::eTranslate, t.GetMode());
    for (const wchar_t* text :
         {L"Open", L"&File", L"Measurement finished.\nSave the results?", L"Receiver settings",
          L"Frequency:", L"Remember", L"OK", L"Cancel", L"&Open...\tCtrl+O", L"E&xit", L"&About"})
        EXPECT_EQ(1u, t.GetTable().count(text)) << text;
    // The gathered dialog is gone and was never shown: nothing took the focus.
    EXPECT_FALSE(::FindWindowW(nullptr, L"Receiver settings"));
    EXPECT_EQ(nullptr, ::GetActiveWindow());
}

// A module nobody here wrote: Wine's own comdlg32.dll. Which English strings it has, windres
// says (a decompiled script made by the build beside this program); their texts, LoadStringW.
TEST_F(TranslatorTest, GatherAgreesWithWindresOnARealModule)
{
    const std::vector<unsigned> english = StringIds(BesideModule(nullptr, L"comdlg32.rc"), "9, 1");
    if (english.empty())
        GTEST_SKIP() << "no decompiled comdlg32.rc beside the test program";
    HMODULE hModule = ::LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(hModule);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CTranslator t;
    t.Gather(hModule);
    EXPECT_GT(english.size(), 20u);
    for (unsigned id : english) {
        const wchar_t* text = nullptr;
        const int n = ::LoadStringW(hModule, id, reinterpret_cast<wchar_t*>(&text), 0);
        ASSERT_GT(n, 0) << id;
        EXPECT_EQ(1u, t.GetTable().count(ustring(text, std::size_t(n)))) << id;
    }
    ::FreeLibrary(hModule);
}

// Eight threads asking at once for a translator that does not exist yet get
// one instance; one used after its end rises again, empty.
TEST(CPhoenixSingletonTest, OneInstanceAndRebirth)
{
    using Access = tarn_kit::PhoenixSingletonTestAccess;
    Access::Kill();
    std::atomic<int> ready(0);
    std::vector<CTranslator*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            for (++ready; ready < 8;)
                std::this_thread::yield();
            seen[i] = &tarn_kit::CPhoenixSingleton<CTranslator>::Ref();
        });
    for (auto& thread : threads)
        thread.join();
    ASSERT_NE(nullptr, Access::Instance());
    for (CTranslator* p : seen)
        EXPECT_EQ(Access::Instance(), p);

    ustring text(L"remember me");
    seen[0]->SetMode(CTranslator::eGather);
    seen[0]->XlateEx(text);
    Access::Kill();
    CTranslator& reborn = tarn_kit::CTranslatorInstance::Ref();
    EXPECT_TRUE(reborn.GetTable().empty() && reborn.GetMode() == CTranslator::eTranslate);
    EXPECT_EQ(&reborn, Access::Instance());
}
