// The translator's workflow with tklang, run as a real process with its output
// checked: files it must refuse, safe writing, gathering, merging and checking
// against this program's own resources and Wine's comdlg32.dll.
#include "test_common.h"

#include <tarn_kit/translator.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using tarn_kit::CTranslator;
using tarn_kit::ustring;
using tarn_kit_test::ReadBytes;
using tarn_kit_test::RunProgram;
using tarn_kit_test::WriteBytes;
typedef CTranslator::CTable CTable;

namespace {

// A language file in the writer's form, written by the test itself; line_end
// and between let it look as an editor left it.
std::string LanguageFile(const CTable& table, const std::wstring& lineEnd = L"\n",
                         const std::wstring& between = L"")
{
    std::wstring text = L"\uFEFF";
    for (const auto& entry : table) {
        std::wstring record = L"[" + entry.first + L"]\n[" + entry.second + L"]\n";
        std::wstring edited;
        for (wchar_t c : record)
            edited += c == L'\n' ? lineEnd : std::wstring(1, c);
        text += edited + between;
    }
    return tarn_kit_test::Utf16(text);
}

std::string U8(const std::wstring& s)
{
    return ustring::WideCharToMultiByte(s, CP_UTF8, 0);
}

// Keeps the judge's dialog from appearing (Wine shows a WS_VISIBLE template).
INT_PTR CALLBACK HiddenDialogProc(HWND, UINT uMsg, WPARAM, LPARAM lParam)
{
    if (uMsg == WM_WINDOWPOSCHANGING)
        reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~SWP_SHOWWINDOW;
    return FALSE;
}

bool Contains(const std::string& output, const std::string& text)
{
    return output.find(text) != std::string::npos;
}

class TklangTest : public tarn_kit_test::TempDirTest
{
protected:
    // Runs tklang with the arguments, each quoted.
    DWORD Tool(const std::vector<std::wstring>& args, std::string& output)
    {
        std::wstring line = L"\"" + tarn_kit_test::BesideModule(nullptr, L"tklang.exe") + L"\"";
        for (const std::wstring& arg : args)
            line += L" \"" + arg + L"\"";
        return RunProgram(line, output);
    }
    CTable Load(const wchar_t* name)
    {
        CTranslator t;
        EXPECT_TRUE(t.LoadLanguageFile(Path(name).c_str())) << U8(name);
        return t.GetTable();
    }
    // Files in the test's folder other than the expected ones: left-over temporaries.
    std::size_t FileCount()
    {
        WIN32_FIND_DATAW fd;
        std::size_t n = 0;
        HANDLE h = ::FindFirstFileW((m_dir + L"\\*").c_str(), &fd);
        do
            n += !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        while (::FindNextFileW(h, &fd));
        ::FindClose(h);
        return n;
    }

    const std::wstring m_module = tarn_kit_test::BesideModule(nullptr, L"tklang_test.exe");
};

const CTable kGerman = {
    {L"Start:", L"Startfrequenz des Wobbeldurchlaufs:"},
    {L"Stop:", L"Stopp:"},
    {L"&Repeat", L"&Wiederholen"},
    {L"&Log", L"&Werte"},
    {L"&Save", L"&Speichern"},
    {L"E&xit", L"&Schlie\u00DFen"},
    {L"Sweep %d of %d", L"Durchlauf %d von"},
    {L"Level %1!d! dBm at %2!s!", L"Pegel bei %2!s!: %1!d! dBm"},
    {L"Measurement finished.\nSave the results?", L"Messung beendet.\nErgebnisse speichern?"}};

} // namespace

// The issue as a translator met it: a file saved with CR LF and blank lines is
// gathered into itself and keeps every translation.
TEST_F(TklangTest, GatherKeepsTranslationsOfAnEditedFile)
{
    std::string out;
    ASSERT_EQ(0u, Tool({L"gather", m_module, Path(L"de.lng")}, out)) << out;
    CTable table = Load(L"de.lng");
    ASSERT_EQ(18u, table.size()) << out;
    for (const auto& entry : kGerman)
        table[entry.first] = entry.second;
    WriteBytes(Path(L"de.lng"), LanguageFile(table, L"\r\n", L"\r\n"));
    ASSERT_EQ(0u, Tool({L"stats", Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "18 texts, 9 translated, 9 untranslated")) << out;
    ASSERT_EQ(0u, Tool({L"gather", m_module, Path(L"out.lng"), Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "18 texts, 0 new, 9 untranslated, 0 no longer")) << out;
    EXPECT_EQ(table, Load(L"out.lng"));
    // Written in the writer's own form.
    EXPECT_EQ(LanguageFile(table), ReadBytes(Path(L"out.lng")));
}

// Files that cannot be read as a table: a clear message, exit code 1, and gather
// leaves them exactly as they were.
TEST_F(TklangTest, RefusesFilesItCannotRead)
{
    const std::string good = LanguageFile({{L"Open", L"\u00D6ffnen"}, {L"Stop:", L"Stopp:"}});
    const std::string utf8 = "[Open]\n[\xC3\x96\x66\x66nen]\n";
    const std::pair<std::string, const char*> cases[] = {
        {good.substr(0, good.size() - 1), "middle of a character"},
        {good.substr(0, good.size() - 8), "is not closed by \"]\" and a line end"},
        {"", "the file is empty"},
        {"\xEF\xBB\xBF" + utf8, "is UTF-8"},
        {utf8, "does not start with the UTF-16 LE byte-order mark"},
        {"\xFE\xFF" + std::string("\0[\0O\0]\0\n", 8), "UTF-16 big-endian"},
        {tarn_kit_test::Utf16(L"\uFEFFOpen = \u00D6ffnen\r\n"), "holds no records"},
    };
    for (const auto& c : cases) {
        WriteBytes(Path(L"de.lng"), c.first);
        std::string out;
        EXPECT_EQ(1u, Tool({L"stats", Path(L"de.lng")}, out));
        EXPECT_TRUE(Contains(out, c.second)) << out;
        EXPECT_EQ(1u, Tool({L"gather", m_module, Path(L"de.lng")}, out));
        EXPECT_TRUE(Contains(out, "refusing to overwrite")) << out;
        EXPECT_TRUE(Contains(out, c.second)) << out;
        EXPECT_EQ(c.first, ReadBytes(Path(L"de.lng")));
        EXPECT_EQ(1u, FileCount()) << "a temporary file was left behind";
    }
}

// A read-only target stays whole and no temporary file is left; the same for a
// missing folder.
TEST_F(TklangTest, FailedWriteKeepsTheOldFile)
{
    const std::string old = LanguageFile({{L"Open", L"\u00D6ffnen"}});
    WriteBytes(Path(L"de.lng"), old);
    ASSERT_TRUE(::SetFileAttributesW(Path(L"de.lng").c_str(), FILE_ATTRIBUTE_READONLY));
    std::string out;
    EXPECT_EQ(1u, Tool({L"gather", m_module, Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "the file is unchanged")) << out;
    EXPECT_EQ(old, ReadBytes(Path(L"de.lng")));
    EXPECT_EQ(1u, FileCount()) << "a temporary file was left behind";
    ::SetFileAttributesW(Path(L"de.lng").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1u, Tool({L"gather", m_module, Path(L"no\\such\\folder\\de.lng")}, out));
    EXPECT_TRUE(Contains(out, "cannot create a temporary file")) << out;
}

// gather lists what changed, each text escaped; --prune drops what is gone;
// several modules go into one file.
TEST_F(TklangTest, GatherListsChangesPrunesAndTakesSeveralModules)
{
    WriteBytes(
        Path(L"de.lng"),
        LanguageFile({{L"Stop:", L"Stopp:"}, {L"Start:", L"Start:"}, {L"Gone\n[old]", L"Weg"}}));
    std::string out;
    ASSERT_EQ(0u, Tool({L"gather", m_module, Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "new           \"Measurement finished.\\nSave the results?\""))
        << out;
    EXPECT_TRUE(Contains(out, "new           \"[TK-100] ready\"")) << out;
    EXPECT_TRUE(Contains(out, "untranslated  \"Start:\"")) << out;
    EXPECT_FALSE(Contains(out, "\"Stop:\"")) << out;
    EXPECT_TRUE(Contains(out, "obsolete      \"Gone\\n[old]\"")) << out;
    EXPECT_TRUE(Contains(out, "19 texts, 16 new, 17 untranslated, 1 no longer in the module (kept"))
        << out;
    EXPECT_EQ(1u, Load(L"de.lng").count(L"Gone\n[old]"));

    ASSERT_EQ(0u, Tool({L"gather", L"--prune", m_module, Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "dropped       \"Gone\\n[old]\"")) << out;
    EXPECT_EQ(0u, Load(L"de.lng").count(L"Gone\n[old]"));
    EXPECT_EQ(ustring(L"Stopp:"), Load(L"de.lng").at(L"Stop:"));

    // The application and the library in one file: every text of both.
    const std::wstring library = tarn_kit_test::BesideModule(nullptr, L"TarnKit.dll");
    ASSERT_EQ(0u, Tool({L"gather", m_module, library, Path(L"both.lng")}, out)) << out;
    CTranslator own, lib;
    HMODULE hLibrary = ::GetModuleHandleW(L"TarnKit.dll");
    ASSERT_TRUE(hLibrary);
    own.Gather(::GetModuleHandleW(nullptr));
    lib.Gather(hLibrary);
    CTable both = own.GetTable();
    both.insert(lib.GetTable().begin(), lib.GetTable().end());
    EXPECT_EQ(both, Load(L"both.lng"));
}

// Later translations win, an untranslated text never replaces a translation,
// and each conflict is listed.
TEST_F(TklangTest, MergeLaterWinsAndListsConflicts)
{
    WriteBytes(Path(L"de.lng"), LanguageFile({{L"Open", L"\u00D6ffnen"}, {L"Stop:", L"Stop:"}}));
    WriteBytes(Path(L"a.lng"), LanguageFile({{L"Open", L"Aufmachen"}, {L"Run", L"Starten"}}));
    WriteBytes(Path(L"b.lng"), LanguageFile({{L"Open", L"Open"}, {L"Stop:", L"Stopp:"}}));
    std::string out;
    ASSERT_EQ(0u, Tool({L"merge", Path(L"de.lng"), Path(L"a.lng"), Path(L"b.lng")}, out)) << out;
    EXPECT_TRUE(Contains(out, "conflict  \"Open\": \"\xC3\x96"
                              "ffnen\" (" +
                                  U8(Path(L"de.lng")) + ") replaced by \"Aufmachen\" (" +
                                  U8(Path(L"a.lng")) + ")"))
        << out;
    EXPECT_TRUE(Contains(out, "3 texts, 1 added, 2 translations taken, 1 conflicts")) << out;
    EXPECT_EQ((CTable{{L"Open", L"Aufmachen"}, {L"Run", L"Starten"}, {L"Stop:", L"Stopp:"}}),
              Load(L"de.lng"));
    // A new target; a source that cannot be read changes nothing.
    ASSERT_EQ(0u, Tool({L"merge", Path(L"new.lng"), Path(L"b.lng")}, out)) << out;
    EXPECT_EQ(Load(L"b.lng"), Load(L"new.lng"));
    WriteBytes(Path(L"bad.lng"), "[x]\n");
    const std::string before = ReadBytes(Path(L"de.lng"));
    EXPECT_EQ(1u, Tool({L"merge", Path(L"de.lng"), Path(L"bad.lng")}, out));
    EXPECT_EQ(before, ReadBytes(Path(L"de.lng")));
}

// check finds the long German text in the narrow static, the accelerators
// that collide in the dialog and the menu, and the dropped %d; a moved %1!d!
// is fine.
TEST_F(TklangTest, CheckReportsWhatTranslationsDoToDialogsAndMenus)
{
    std::string out;
    ASSERT_EQ(0u, Tool({L"gather", m_module, Path(L"de.lng")}, out));
    CTable table = Load(L"de.lng");
    ASSERT_EQ(0u, Tool({L"check", m_module, Path(L"de.lng")}, out)) << out;
    EXPECT_TRUE(Contains(out, "0 too long, 0 accelerator collisions, 0 placeholder")) << out;

    for (const auto& entry : kGerman)
        table[entry.first] = entry.second;
    WriteBytes(Path(L"de.lng"), LanguageFile(table));
    EXPECT_EQ(3u, Tool({L"check", m_module, Path(L"de.lng")}, out)) << out;
    EXPECT_TRUE(Contains(out, "too long      dialog 300 \"Sweep\", control 3101 (Static): "
                              "\"Startfrequenz des Wobbeldurchlaufs:\""))
        << out;
    EXPECT_FALSE(Contains(out, "control 3103")) << out;
    EXPECT_TRUE(Contains(out, "accelerator   dialog 300 \"Sweep\": &W in \"&Wiederholen\", "
                              "\"&Werte\""))
        << out;
    EXPECT_TRUE(Contains(out, "accelerator   menu 400 > \"&File\": &S in \"&Speichern\", "
                              "\"&Schlie\xC3\x9F"
                              "en\""))
        << out;
    EXPECT_TRUE(Contains(out, "placeholders  \"Sweep %d of %d\" -> \"Durchlauf %d von\": the "
                              "original has %d %d, the translation %d"))
        << out;
    EXPECT_FALSE(Contains(out, "Level")) << out;
    EXPECT_TRUE(Contains(out, "1 too long, 2 accelerator collisions, 1 placeholder")) << out;

    // An independent judge of the fit: the texts' one-line extents in the
    // dialog's font against the statics, which have room for one line.
    HWND hDlg = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(300), nullptr,
                                     HiddenDialogProc, 0);
    ASSERT_TRUE(hDlg);
    for (const auto& c : {std::make_pair(3101, L"Startfrequenz des Wobbeldurchlaufs:"),
                          std::make_pair(3103, L"Stopp:")}) {
        HWND hCtl = ::GetDlgItem(hDlg, c.first);
        RECT rc;
        ::GetClientRect(hCtl, &rc);
        HDC hdc = ::GetDC(hCtl);
        HGDIOBJ old = ::SelectObject(hdc, HGDIOBJ(::SendMessageW(hCtl, WM_GETFONT, 0, 0)));
        SIZE extent;
        TEXTMETRICW tm;
        ::GetTextExtentPoint32W(hdc, c.second, int(wcslen(c.second)), &extent);
        ::GetTextMetricsW(hdc, &tm);
        ::SelectObject(hdc, old);
        ::ReleaseDC(hCtl, hdc);
        EXPECT_LT(rc.bottom, 2 * tm.tmHeight) << "one line only";
        EXPECT_EQ(c.first == 3101, extent.cx > rc.right) << c.first;
    }
    ::DestroyWindow(hDlg);
}

// A module nobody here wrote: Wine's comdlg32.dll, its named and numbered
// dialogs gathered, a German text too long for the colour dialog's "Red:".
TEST_F(TklangTest, WorksOnWinesComdlg32)
{
    std::string out;
    ASSERT_EQ(0u, Tool({L"gather", L"comdlg32.dll", Path(L"de.lng")}, out)) << out;
    CTable table = Load(L"de.lng");
    for (const wchar_t* text : {L"&Red:", L"&Basic Colors:", L"Print Setup", L"Cancel"})
        ASSERT_EQ(1u, table.count(text)) << U8(text) << out;
    table[L"&Red:"] = L"&Rotanteil der Farbe:";
    table[L"&Green:"] = L"&Gr\u00FCn:";
    table[L"&Blue:"] = L"B&lau:";
    WriteBytes(Path(L"de.lng"), LanguageFile(table, L"\r\n", L"\r\n"));
    EXPECT_EQ(3u, Tool({L"check", L"comdlg32.dll", Path(L"de.lng")}, out)) << out;
    EXPECT_TRUE(Contains(out, "dialog CHOOSE_COLOR \"Color\", control 726 (Static): "
                              "\"&Rotanteil der Farbe:\""))
        << out;
    EXPECT_FALSE(Contains(out, "control 727")) << out;
    EXPECT_TRUE(Contains(out, "&L in \"B&lau:\", \"&Lum:\"")) << out;
    ASSERT_EQ(0u, Tool({L"gather", L"comdlg32.dll", Path(L"de.lng")}, out)) << out;
    EXPECT_EQ(table, Load(L"de.lng"));
}

// Usage errors exit with 2 and the usage text, --help works on every command,
// a module that cannot be loaded exits with 1 and says why.
TEST_F(TklangTest, UsageHelpAndExitCodes)
{
    std::string out;
    EXPECT_EQ(2u, Tool({}, out));
    EXPECT_TRUE(Contains(out, "usage: tklang gather")) << out;
    EXPECT_EQ(2u, Tool({L"translate"}, out));
    EXPECT_TRUE(Contains(out, "unknown command translate")) << out;
    EXPECT_EQ(0u, Tool({L"--help"}, out));
    for (const wchar_t* command : {L"gather", L"merge", L"check", L"stats"}) {
        EXPECT_EQ(0u, Tool({command, L"--help"}, out));
        EXPECT_TRUE(Contains(out, "usage: tklang " + U8(command))) << out;
        EXPECT_EQ(2u, Tool({command}, out));
        EXPECT_TRUE(Contains(out, "usage: tklang " + U8(command))) << out;
    }
    EXPECT_EQ(2u, Tool({L"gather", L"--purge", m_module, Path(L"de.lng")}, out));
    EXPECT_EQ(2u, Tool({L"gather", m_module}, out));
    EXPECT_EQ(1u, Tool({L"gather", Path(L"missing.dll"), Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "cannot load the module")) << out;
    WriteBytes(Path(L"text.dll"), "not a module");
    EXPECT_EQ(1u, Tool({L"check", Path(L"text.dll"), Path(L"de.lng")}, out));
    EXPECT_TRUE(Contains(out, "cannot load the module")) << out;
    EXPECT_EQ(1u, Tool({L"stats", Path(L"missing.lng")}, out));
    EXPECT_TRUE(Contains(out, "missing.lng: no such file")) << out;
}
