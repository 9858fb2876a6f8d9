// The receiver console end to end, as a person uses it: the fake receiver and the
// console run as programs of their own; the test types into the console's window with
// posted input, reads what the window shows and what the logs hold, and saves
// screenshots into test-output/receiver_test.
#include "test_common.h"

#include <tarn_kit/settings.h>
#include <tarn_kit/translator.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "../examples/receiver/resource.h"

using namespace tarn_kit;
using namespace tarn_kit_test;

namespace {

// Wide text for failure messages.
std::string U8(const std::wstring& s)
{
    return ustring::WideCharToMultiByte(s.c_str(), s.size(), CP_UTF8, 0);
}

const wchar_t kKey[] = L"SOFTWARE\\TarnKit\\receiver";
// The file-name field of the library's file dialog.
constexpr int kFileNameField = 1019;
// The tree of the library's folder browser.
constexpr int kFolderTree = 1014;

std::wstring OutputDir()
{
    std::wstring dir = BesideModule(nullptr, L"");
    dir.erase(dir.find_last_of(L'\\', dir.size() - 2) + 1); // beside bin/
    for (const wchar_t* part : {L"test-output", L"\\receiver_test"})
        ::CreateDirectoryW((dir += part).c_str(), nullptr);
    return dir + L"\\";
}

// The UTF-16 log files as text; empty when missing.
std::wstring ReadLog(const std::wstring& path)
{
    const std::string bytes = ReadBytes(path);
    return bytes.size() < 2 ? std::wstring()
                            : std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                                           (bytes.size() - 2) / 2);
}

// Polls until the condition holds; false after a generous limit (never a timing claim).
template <class Condition>
bool WaitUntil(Condition condition, int nSeconds = 30)
{
    for (int i = 0; i < nSeconds * 20; ++i) {
        if (condition())
            return true;
        ::Sleep(50);
    }
    return condition();
}

std::wstring TextOf(HWND h)
{
    wchar_t buffer[1024] = {};
    DWORD_PTR n = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, 1024, LPARAM(buffer), SMTO_ABORTIFHUNG, 5000, &n);
    return buffer;
}

// A program of this build's bin folder, ended with the test unless it ends first.
class CProcess
{
public:
    CProcess(const std::wstring& commandLine)
    {
        std::wstring line = commandLine;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        m_bStarted = ::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &si, &m_pi) != FALSE;
        EXPECT_TRUE(m_bStarted) << "cannot start " << U8(commandLine);
    }
    ~CProcess()
    {
        if (!m_bStarted)
            return;
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 10000);
        ::CloseHandle(m_pi.hProcess);
        ::CloseHandle(m_pi.hThread);
    }
    DWORD Id() const { return m_pi.dwProcessId; }
    HANDLE Handle() const { return m_pi.hProcess; }
    /// Pulls the plug: the process ends at once, its sockets close.
    void Kill()
    {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 10000);
    }
    bool Ended(int nSeconds = 30)
    {
        return ::WaitForSingleObject(m_pi.hProcess, nSeconds * 1000) == WAIT_OBJECT_0;
    }

private:
    PROCESS_INFORMATION m_pi = {};
    bool m_bStarted = false;
};

// The visible, enabled dialogs of a process, the one a user can act on last.
std::vector<HWND> DialogsOf(DWORD pid)
{
    struct SFind
    {
        DWORD pid;
        std::vector<HWND> found;
        static BOOL CALLBACK Each(HWND h, LPARAM p)
        {
            SFind* self = reinterpret_cast<SFind*>(p);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(h, &owner);
            wchar_t cls[64] = {};
            ::GetClassNameW(h, cls, 64);
            if (owner == self->pid && ::IsWindowVisible(h) && ::IsWindowEnabled(h) &&
                std::wstring(cls) == L"#32770")
                self->found.push_back(h);
            return TRUE;
        }
    } find{pid, {}};
    ::EnumWindows(&SFind::Each, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// The console's window and what a user does to it.
class CConsole
{
public:
    CConsole(const std::wstring& arguments = L"")
        : m_process(L"receiver.exe" + (arguments.empty() ? L"" : L" " + arguments))
    {
        WaitUntil([&] {
            for (HWND h : DialogsOf(m_process.Id()))
                if (::GetDlgItem(h, IDC_REPLIES))
                    m_hWnd = h;
            return m_hWnd != nullptr;
        });
        EXPECT_TRUE(m_hWnd) << "the console's window did not appear";
    }

    HWND Wnd() const { return m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    std::wstring Status() const { return TextOf(Item(IDC_STATUS)); }
    CProcess& Process() { return m_process; }

    /// The reply list's lines, read across the process boundary.
    std::vector<std::wstring> Replies() const
    {
        std::vector<std::wstring> lines;
        HWND list = Item(IDC_REPLIES);
        const LRESULT n = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t line[512] = {};
            if (::SendMessageW(list, LB_GETTEXTLEN, i, 0) < 511)
                ::SendMessageW(list, LB_GETTEXT, i, LPARAM(line));
            lines.push_back(line);
        }
        return lines;
    }
    bool HasReply(const std::wstring& line) const
    {
        for (const std::wstring& l : Replies())
            if (l == line)
                return true;
        return false;
    }

    void Click(int id) const
    {
        HWND h = Item(id);
        RECT r;
        ::GetClientRect(h, &r);
        const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
        ::PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(h, WM_LBUTTONUP, 0, at);
    }
    /// Characters into the command line, then the key, as the keyboard sends them.
    void Type(const std::wstring& text) const
    {
        for (wchar_t c : text)
            ::PostMessageW(Item(IDC_COMMAND), WM_CHAR, c, 1);
    }
    void Key(WPARAM vk) const
    {
        ::PostMessageW(Item(IDC_COMMAND), WM_KEYDOWN, vk, 1);
        ::PostMessageW(Item(IDC_COMMAND), WM_KEYUP, vk, 0xC0000001);
    }
    void Menu(UINT id) const { ::PostMessageW(m_hWnd, WM_COMMAND, id, 0); }

    /// Sends one command as a user does and waits for its answer in the list.
    bool Ask(const std::wstring& command, const std::wstring& answer) const
    {
        Type(command);
        Key(VK_RETURN);
        return WaitUntil([&] { return HasReply(answer); });
    }

    /// The error box over the window: its texts, then OK pressed.
    std::wstring AnswerErrorBox(const wchar_t* shot)
    {
        HWND box = nullptr;
        EXPECT_TRUE(WaitUntil([&] {
            for (HWND h : DialogsOf(m_process.Id()))
                if (h != m_hWnd && ::GetDlgItem(h, IDOK)) // not the tip
                    box = h;
            return box != nullptr;
        })) << "no error box";
        if (!box)
            return L"";
        std::wstring text;
        for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[32] = {};
            ::GetClassNameW(c, cls, 32);
            const LONG style = ::GetWindowLongW(c, GWL_STYLE);
            if (std::wstring(cls) == L"Static" && ::IsWindowVisible(c) &&
                (style & SS_TYPEMASK) != SS_ICON)
                text += TextOf(c);
        }
        if (shot)
            SaveScreenshot(shot);
        HWND ok = ::GetDlgItem(box, IDOK);
        RECT r;
        ::GetClientRect(ok, &r);
        ::PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, r.bottom / 2));
        ::PostMessageW(ok, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, r.bottom / 2));
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(box); })) << "the box did not close";
        return text;
    }

    /// The screen under the console and its boxes as an uncompressed PNG.
    void SaveScreenshot(const wchar_t* name) const;

    void Close()
    {
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        EXPECT_TRUE(m_process.Ended()) << "the console did not end";
    }

private:
    CProcess m_process;
    HWND m_hWnd = nullptr;
};

void CConsole::SaveScreenshot(const wchar_t* name) const
{
    ::Sleep(300); // let the window finish painting what it was sent
    RECT r;
    ::GetWindowRect(m_hWnd, &r);
    for (HWND h : DialogsOf(m_process.Id())) { // boxes and tips over it as well
        RECT o;
        if (h != m_hWnd && ::GetWindowRect(h, &o))
            ::UnionRect(&r, &r, &o);
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    // RGB rows, each led by filter byte 0, in stored deflate blocks.
    std::string raw, z = "\x78\x01", out = "\x89PNG\r\n\x1a\n", ihdr;
    const unsigned char* px = static_cast<const unsigned char*>(bits);
    for (int y = 0; y < h; ++y) {
        raw += '\0';
        for (int x = 0; x < w; ++x, px += 4)
            raw += char(px[2]), raw += char(px[1]), raw += char(px[0]);
    }
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    auto be32 = [](std::string& s, unsigned long v) {
        for (int k = 24; k >= 0; k -= 8)
            s += char((v >> k) & 0xFF);
    };
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw)
        a = (a + c) % 65521, b = (b + a) % 65521;
    for (std::size_t pos = 0, n = 0; pos < raw.size(); pos += n) {
        n = std::min<std::size_t>(65535, raw.size() - pos);
        z += char(pos + n == raw.size()), z += char(n & 0xFF), z += char(n >> 8);
        z += char(~n & 0xFF), z += char((~n >> 8) & 0xFF);
        z.append(raw, pos, n);
    }
    be32(z, (b << 16) | a);
    be32(ihdr, w), be32(ihdr, h);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    for (const auto& [type, data] :
         {std::pair<const char*, std::string>{"IHDR", ihdr}, {"IDAT", z}, {"IEND", ""}}) {
        const std::string body = type + data;
        unsigned long crc = 0xFFFFFFFFul;
        for (unsigned char c : body) {
            crc ^= c;
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
        }
        be32(out, static_cast<unsigned long>(data.size()));
        out += body;
        be32(out, ~crc & 0xFFFFFFFFul);
    }
    WriteBytes(OutputDir() + name + L".png", out);
}

// The fake receiver on a free TCP port (and a serial port when asked), logging beside
// the test's output.
class CFakeReceiver
{
public:
    explicit CFakeReceiver(const std::wstring& extra = L"")
        : m_portFile(OutputDir() + L"port.txt"),
          m_process((::DeleteFileW(m_portFile.c_str()),
                     L"fake_receiver.exe --tcp 0 --slow 1500 --port-file \"" + m_portFile +
                         L"\" --log \"" + Log() + L"\" " + extra))
    {
        EXPECT_TRUE(WaitUntil([&] { return !ReadBytes(m_portFile).empty(); }))
            << "the fake receiver did not listen";
        m_nPort = std::atoi(ReadBytes(m_portFile).c_str());
    }
    static std::wstring Log() { return OutputDir() + L"fake_receiver.log"; }
    DWORD Port() const { return DWORD(m_nPort); }
    void Kill() { m_process.Kill(); }

private:
    std::wstring m_portFile;
    CProcess m_process;
    int m_nPort = 0;
};

class ReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Wine draws the frames itself: there is no window manager under Xvfb.
        RegWriteValue(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\receiver.exe\\X11 Driver",
                      L"Managed", L"N");
        ClearSettings();
        m_logDir = OutputDir() + L"log";
        ::CreateDirectoryW(m_logDir.c_str(), nullptr);
        ::DeleteFileW(AppLog().c_str());
        ::DeleteFileW(CFakeReceiver::Log().c_str());
        Set(L"LogFolder", m_logDir.c_str());
        Set(L"Language", L"en");
    }
    void TearDown() override { ClearSettings(); }

    static void ClearSettings()
    {
        tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\Font").c_str());
        tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
    static void Set(const wchar_t* name, const wchar_t* value)
    {
        ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, kKey, name, value));
    }
    static void SetTcp(DWORD port)
    {
        Set(L"Connection", L"TCP");
        Set(L"Host", L"127.0.0.1");
        Set(L"TcpPort", std::to_wstring(port).c_str());
    }
    std::wstring AppLog() const { return m_logDir + L"\\receiver.log"; }

    std::wstring m_logDir;
};

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// A whole session over TCP: connect, commands and an error reply, the history, a
// script cancelled, a script whose receiver dies, a failed reconnection.
TEST_F(ReceiverTest, TcpSession)
{
    CFakeReceiver fake;
    SetTcp(fake.Port());
    const std::wstring script = OutputDir() + L"script.txt";
    WriteBytes(script, "# level at two frequencies\n*IDN?\nFREQ 200\nMEAS?\n\nMEAS?\nMEAS?\n"
                       "MEAS?\nFREQ?\n");
    WriteBytes(OutputDir() + L"short.txt", "*IDN?\nFREQ?\n");
    Set(L"LastScript", (OutputDir() + L"short.txt").c_str()); // the file dialog picks script
    CConsole console;
    ASSERT_TRUE(console.Wnd());

    console.Click(IDC_CONNECT);
    const std::wstring where = L"127.0.0.1:" + std::to_wstring(fake.Port());
    if (!WaitUntil([&] { return console.Status() == L"Connected to " + where + L"."; }))
        console.SaveScreenshot(L"debug_connect");
    ASSERT_EQ(L"Connected to " + where + L".", console.Status()) << U8(console.Status());
    EXPECT_FALSE(::IsWindowEnabled(console.Item(IDC_CONNECT)));

    // Commands and their replies; the error reply in the user's words.
    EXPECT_TRUE(console.Ask(L"*IDN?", L"< TK-100,0042,1.0"));
    EXPECT_TRUE(console.Ask(L"FREQ 100.5", L"< OK"));
    console.Menu(ID_VIEW_HEXLOG);
    EXPECT_TRUE(console.Ask(L"FREQ?", L"< 100.500"));
    console.Menu(ID_VIEW_HEXLOG);
    EXPECT_TRUE(console.Ask(L"FREQ 9000", L"! Value out of range   {2,,value out of range}"));
    EXPECT_TRUE(WaitUntil([&] {
        return console.Status() == L"The receiver reports: Value out of range";
    })) << U8(console.Status());
    EXPECT_TRUE(console.Ask(L"FREQ", L"! 1st parameter missed   {2,,1st parameter missed}"));
    EXPECT_TRUE(console.Ask(L"SWEEP ON", L"! Wrong command   {2,,wrong command}"));

    // Up and Down walk the history, one past the newest is empty again.
    struct
    {
        WPARAM key;
        const wchar_t* text;
    } const steps[] = {{VK_UP, L"SWEEP ON"}, {VK_UP, L"FREQ"},       {VK_UP, L"FREQ 9000"},
                       {VK_DOWN, L"FREQ"},   {VK_DOWN, L"SWEEP ON"}, {VK_DOWN, L""}};
    for (const auto& step : steps) {
        console.Key(step.key);
        EXPECT_TRUE(WaitUntil([&] { return TextOf(console.Item(IDC_COMMAND)) == step.text; }))
            << U8(step.text) << " expected, " << U8(TextOf(console.Item(IDC_COMMAND)));
    }
    console.SaveScreenshot(L"receiver_connected_en");

    // A script, cancelled while a slow measurement runs; the tip shows progress. Run
    // script... picks it in the library's file dialog, which opens on the last script's
    // folder with its name filled in; the user types another name and presses Enter.
    console.Click(IDC_RUN);
    HWND files = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND h : DialogsOf(console.Process().Id()))
            if (h != console.Wnd() && ::GetDlgItem(h, kFileNameField))
                files = h;
        return files != nullptr;
    })) << "no file dialog";
    HWND name = ::GetDlgItem(files, kFileNameField);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(name) == L"short.txt"; })) << U8(TextOf(name));
    console.SaveScreenshot(L"receiver_filedlg_en");
    ::PostMessageW(name, EM_SETSEL, 0, -1);
    for (wchar_t c : std::wstring(L"script.txt"))
        ::PostMessageW(name, WM_CHAR, c, 1);
    ::PostMessageW(name, WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(WaitUntil([&] { return console.HasReply(L"< -42.7 dBm"); }));
    EXPECT_TRUE(::IsWindowEnabled(console.Item(IDC_STOP)));
    EXPECT_FALSE(::IsWindowEnabled(console.Item(IDC_CONNECT)));
    EXPECT_TRUE(Contains(console.Status(), L"Script: ")) << U8(console.Status());
    console.SaveScreenshot(L"receiver_script_en");
    console.Click(IDC_STOP);
    ASSERT_TRUE(WaitUntil([&] { return Contains(console.Status(), L"Script cancelled after"); }))
        << U8(console.Status());
    unsigned nDone = 0, nCount = 0;
    EXPECT_EQ(
        2, swscanf(console.Status().c_str(), L"Script cancelled after %u of %u", &nDone, &nCount));
    EXPECT_EQ(7u, nCount); // comments and blank lines are no commands
    EXPECT_LT(nDone, nCount);
    EXPECT_FALSE(console.HasReply(L"< 200.000")) << "the last command ran after Cancel";
    EXPECT_TRUE(console.HasReply(L"> FREQ 200"));

    // The receiver dies in the middle of the next run: the box names the failure, the
    // window stays usable and offers Connect again.
    console.Menu(ID_FILE_RUNLAST);
    ASSERT_TRUE(WaitUntil([&] {
        auto r = console.Replies();
        return std::count(r.begin(), r.end(), L"< -42.7 dBm") >= 2;
    }));
    fake.Kill();
    const std::wstring lost = console.AnswerErrorBox(L"receiver_error_en");
    EXPECT_FALSE(lost.empty());
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == L"Connection lost."; }))
        << U8(console.Status());
    EXPECT_TRUE(::IsWindowEnabled(console.Item(IDC_CONNECT)));
    EXPECT_FALSE(::IsWindowEnabled(console.Item(IDC_DISCONNECT)));

    // Nobody listens any more: the connection fails with the system's text.
    console.Click(IDC_CONNECT);
    const std::wstring refused = console.AnswerErrorBox(nullptr);
    EXPECT_TRUE(Contains(refused, SystemText(WSAECONNREFUSED)))
        << U8(refused) << " / " << U8(SystemText(WSAECONNREFUSED));
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == L"Connection failed."; }));

    // Log folder... opens the library's folder browser with the console's prompt, on the
    // log folder; Up selects its parent, Enter takes it, and the log goes on there.
    console.Menu(ID_VIEW_LOGFOLDER);
    HWND browse = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND h : DialogsOf(console.Process().Id()))
            if (h != console.Wnd() && ::GetDlgItem(h, kFolderTree))
                browse = h;
        return browse != nullptr;
    })) << "no folder browser";
    bool bPrompt = false;
    for (HWND c = ::GetWindow(browse, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        bPrompt = bPrompt || TextOf(c) == L"Folder for the log file";
    EXPECT_TRUE(bPrompt) << "the console's prompt in the browser";
    console.SaveScreenshot(L"receiver_browse_en");
    const std::wstring parentLog = OutputDir() + L"receiver.log";
    ::DeleteFileW(parentLog.c_str());
    HWND tree = ::GetDlgItem(browse, kFolderTree);
    for (WPARAM key : {VK_UP, VK_RETURN}) {
        ::PostMessageW(tree, WM_KEYDOWN, key, 1);
        ::PostMessageW(tree, WM_KEYUP, key, 0xC0000001);
    }
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(browse); })) << "the browser stayed open";
    EXPECT_TRUE(WaitUntil([&] { return Contains(ReadLog(parentLog), L"] Log opened by"); }))
        << "no log in the parent folder";
    console.Close();

    // The console's log: every exchange, the hexadecimal bytes where asked, the failures
    // with the texts the boxes showed.
    const std::wstring log = ReadLog(AppLog());
    for (const wchar_t* line : {L"] Connected to ", L"] > *IDN?\r\n", L"] < TK-100,0042,1.0\r\n",
                                L"] < {2,,value out of range}\r\n", L"]   > 46 52 45 51 3F 0A\r\n",
                                L"]   < 31 30 30 2E 35 30 30 0A\r\n", L"] Script cancelled after ",
                                L"] Line lost: ", L"] Connection failed: "})
        EXPECT_TRUE(Contains(log, line)) << U8(line);
    EXPECT_FALSE(Contains(log, L"]   > 2A 49 44 4E 3F 0A")) << "hex only while switched on";
    // The fake receiver's log: each command as it came.
    const std::wstring fakeLog = ReadLog(CFakeReceiver::Log());
    for (const wchar_t* line : {L"] TCP received: *IDN?\r\n", L"] TCP replied: OK\r\n",
                                L"] TCP received: FREQ 9000\r\n", L"] TCP received: FREQ 200\r\n"})
        EXPECT_TRUE(Contains(fakeLog, line)) << U8(line);

    // What the window remembered.
    DWORD x = 0;
    EXPECT_TRUE(RegGetValue(HKEY_CURRENT_USER, kKey, L"WindowX", x, 0));
}

} // namespace

namespace {

// The same window in German: every text from receiver.de.lng, the error reply's user
// text as the library's table and the language file give it.
TEST_F(ReceiverTest, GermanWindow)
{
    CTranslator german;
    ASSERT_TRUE(german.LoadLanguageFile(BesideModule(nullptr, L"receiver.de.lng").c_str()));
    auto de = [&](const wchar_t* text) {
        ustring s = text;
        EXPECT_TRUE(german.XlateEx(s)) << U8(text) << " has no German text";
        return std::wstring(s);
    };
    CFakeReceiver fake;
    SetTcp(fake.Port());
    CConsole console(L"/lang de");
    ASSERT_TRUE(console.Wnd());
    EXPECT_EQ(de(L"TK-100 Receiver Console"), TextOf(console.Wnd()));
    EXPECT_EQ(de(L"&Connect"), TextOf(console.Item(IDC_CONNECT)));

    console.Click(IDC_CONNECT);
    const std::wstring where = L"127.0.0.1:" + std::to_wstring(fake.Port());
    ustring connected;
    connected.sprintf(de(L"Connected to %s.").c_str(), where.c_str());
    ASSERT_TRUE(WaitUntil([&] { return console.Status() == connected; })) << U8(console.Status());
    EXPECT_TRUE(console.Ask(L"*IDN?", L"< TK-100,0042,1.0"));
    EXPECT_TRUE(
        console.Ask(L"FREQ 5", L"! " + de(L"Value out of range") + L"   {2,,value out of range}"));
    console.SaveScreenshot(L"receiver_connected_de");

    fake.Kill();
    console.Type(L"FREQ?");
    console.Key(VK_RETURN);
    const std::wstring lost = console.AnswerErrorBox(L"receiver_error_de");
    EXPECT_FALSE(lost.empty());
    EXPECT_TRUE(console.HasReply(L"! " + lost.substr(0, lost.find_last_not_of(L"\r\n") + 1)))
        << "the failed command in the list: " << U8(console.Replies().back());
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == de(L"Connection lost."); }))
        << U8(console.Status());
    console.Close();
}

// Settings leave through an INI file and come back through one; the platform's own
// profile reader is the judge of what was written.
TEST_F(ReceiverTest, SettingsThroughIni)
{
    const std::wstring ini = OutputDir() + L"exported.ini";
    ::DeleteFileW(ini.c_str());
    Set(L"Connection", L"Serial");
    Set(L"Port", L"COM7");
    Set(L"Baud", L"19200");
    Set(L"TcpPort", L"50250");
    std::string output;
    EXPECT_EQ(0u, RunProgram(L"receiver.exe /export \"" + ini + L"\"", output)) << output;
    auto read = [&](const wchar_t* key) {
        wchar_t value[256] = {};
        ::GetPrivateProfileStringW(L"Receiver", key, L"<missing>", value, 256, ini.c_str());
        return std::wstring(value);
    };
    EXPECT_EQ(L"Serial", read(L"Connection"));
    EXPECT_EQ(L"COM7", read(L"Port"));
    EXPECT_EQ(L"19200", read(L"Baud"));
    EXPECT_EQ(L"50250", read(L"TcpPort"));
    EXPECT_EQ(m_logDir, read(L"LogFolder"));

    // Another machine's file: TCP to another host, a font for the reply list.
    ::WritePrivateProfileStringW(L"Receiver", L"Connection", L"TCP", ini.c_str());
    ::WritePrivateProfileStringW(L"Receiver", L"Host", L"tk100.example", ini.c_str());
    ::WritePrivateProfileStringW(L"Font", L"Face", L"Courier New", ini.c_str());
    ::WritePrivateProfileStringW(L"Font", L"Height", L"-13", ini.c_str());
    {
        CConsole console(L"/import \"" + ini + L"\"");
        ASSERT_TRUE(console.Wnd());
        EXPECT_EQ(L"tk100.example", TextOf(console.Item(IDC_HOST)));
        EXPECT_EQ(L"50250", TextOf(console.Item(IDC_TCPPORT)));
        EXPECT_EQ(BST_CHECKED, ::SendMessageW(console.Item(IDC_TCP), BM_GETCHECK, 0, 0));
        console.Close();
    }
    ustring host, face;
    EXPECT_TRUE(RegGetValue(HKEY_CURRENT_USER, kKey, L"Host", host, L""));
    EXPECT_EQ(L"tk100.example", host);
    CLogFont font;
    font.GetProfile((std::wstring(kKey) + L"\\Font").c_str());
    EXPECT_STREQ(L"Courier New", font.lfFaceName);
    EXPECT_EQ(-13, font.lfHeight);
}

} // namespace

namespace {

// The console and the fake receiver on the two ends of one serial pair (COM7 and COM8
// of the test prefix): commands, an error reply and a script over the serial line.
TEST_F(ReceiverTest, SerialSession)
{
    const std::wstring serial = BesideModule(nullptr, L"..\\serial\\");
    if (::GetFileAttributesW((serial + L"com7").c_str()) == INVALID_FILE_ATTRIBUTES ||
        ::GetFileAttributesW((serial + L"com8").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the serial pair COM7/COM8 is not running; see build/<arch>/serial";
    CFakeReceiver fake(L"--serial COM8");
    Set(L"Connection", L"Serial");
    Set(L"Port", L"COM7");
    Set(L"Baud", L"19200");
    const std::wstring script = OutputDir() + L"serial_script.txt";
    WriteBytes(script, "*IDN?\r\nMEAS?\r\nFREQ?\r\n");
    Set(L"LastScript", script.c_str());
    CConsole console;
    ASSERT_TRUE(console.Wnd());
    console.Click(IDC_CONNECT);
    ASSERT_TRUE(WaitUntil([&] { return console.Status() == L"Connected to COM7, 19200 8N1."; }))
        << U8(console.Status());
    EXPECT_TRUE(console.Ask(L"*IDN?", L"< TK-100,0042,1.0"));
    EXPECT_TRUE(console.Ask(L"FREQ 433.92", L"< OK"));
    EXPECT_TRUE(console.Ask(L"FREQ 43x", L"! Wrong 1st parameter   {2,,wrong 1st parameter}"));
    console.Menu(ID_FILE_RUNLAST);
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == L"Script finished: 3 commands."; }))
        << U8(console.Status());
    EXPECT_TRUE(console.HasReply(L"< 433.920"));
    console.SaveScreenshot(L"receiver_serial_en");
    console.Click(IDC_DISCONNECT);
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == L"Disconnected."; }));
    console.Close();

    const std::wstring fakeLog = ReadLog(CFakeReceiver::Log());
    for (const wchar_t* line :
         {L"] COM8 received: *IDN?\r\n", L"] COM8 replied: OK\r\n", L"] COM8 received: MEAS?\r\n"})
        EXPECT_TRUE(Contains(fakeLog, line)) << U8(line);
    EXPECT_TRUE(Contains(ReadLog(AppLog()), L"] Disconnected from COM7, 19200 8N1 by the user"));
}

} // namespace

namespace {

// A receiver that answers later than the time-out: the box names the time-out, the line
// is closed (a late reply would be taken for the next one) and the window stays usable.
TEST_F(ReceiverTest, SilentReceiver)
{
    CFakeReceiver fake(L"--slow 4000");
    SetTcp(fake.Port());
    Set(L"Timeout", L"1000");
    CConsole console;
    ASSERT_TRUE(console.Wnd());
    console.Click(IDC_CONNECT);
    ASSERT_TRUE(WaitUntil([&] { return Contains(console.Status(), L"Connected to"); }));
    console.Type(L"MEAS?");
    console.Key(VK_RETURN);
    const std::wstring text = console.AnswerErrorBox(nullptr);
    // One code for both lines: Wine has no text for WSAETIMEDOUT.
    EXPECT_FALSE(SystemText(ERROR_TIMEOUT).empty());
    EXPECT_EQ(U8(SystemText(ERROR_TIMEOUT)), U8(text));
    EXPECT_TRUE(WaitUntil([&] { return console.Status() == L"Connection lost."; }));
    EXPECT_TRUE(::IsWindowEnabled(console.Item(IDC_CONNECT)));
    console.Close();
    EXPECT_TRUE(Contains(ReadLog(AppLog()), L"] Line lost: "));
}

} // namespace
