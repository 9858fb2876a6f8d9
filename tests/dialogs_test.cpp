// Windows and dialogs: the registry and routing of CWnd and CDialog, the library's
// message box and details dialog through ReportError, the tip and the wait cursor.
// Real windows under Xvfb, driven by the messages a user's input causes (clicks
// posted at screen points, keys, WM_COMMAND, WM_CLOSE) from a thread timer while
// the modal loop runs, and judged through the controls' own state.
#include "test_common.h"

#include <tarn_kit/dialogs.h>
#include <tarn_kit/drawing.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tarn_kit {

// Reads the registry's size under its lock.
struct WndTestAccess
{
    static std::size_t Count()
    {
        CLocker<CCriticalSection> lock(CWnd::m_cs);
        return CWnd::m_map.size();
    }
};

} // namespace tarn_kit

using namespace tarn_kit;
using Info = CStdException::CExInfo;

namespace {

// Many dialogs open and close here: without the window manager's part of Wine's X11
// driver every close of a captioned window costs two seconds. Set before the first window.
const bool kUnmanaged = [] {
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Wine\\AppDefaults\\dialogs_test.exe\\X11 Driver", 0, nullptr,
                          0, KEY_SET_VALUE, nullptr, &hKey, nullptr) == ERROR_SUCCESS) {
        ::RegSetValueExW(hKey, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 4);
        ::RegCloseKey(hKey);
    }
    return true;
}();

HMODULE Library()
{
    return ::GetModuleHandleW(L"TarnKit.dll");
}

std::wstring ClassOf(HWND h)
{
    wchar_t name[64] = {};
    ::GetClassNameW(h, name, 64);
    return name;
}

ustring TextOf(HWND h)
{
    wchar_t text[512] = {};
    ::GetWindowTextW(h, text, 512);
    return text;
}

RECT WindowRect(HWND h)
{
    RECT r = {};
    ::GetWindowRect(h, &r);
    return r;
}

// A control's rectangle in its dialog's client coordinates.
RECT ClientRectOf(HWND hDlg, HWND hCtrl)
{
    RECT r = WindowRect(hCtrl);
    ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The enabled, visible dialogs of this thread: the one a user can act on is the
// last one opened (its owners are disabled while it runs).
HWND ActiveDialog()
{
    struct SFind
    {
        static BOOL CALLBACK Each(HWND h, LPARAM p)
        {
            if (::IsWindowVisible(h) && ::IsWindowEnabled(h) && ClassOf(h) == L"#32770")
                *reinterpret_cast<HWND*>(p) = h;
            return TRUE;
        }
    };
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &SFind::Each, reinterpret_cast<LPARAM>(&found));
    return found;
}

// What a user's click causes: button down and up at a screen point, posted to the
// window that lies there.
void ClickAt(POINT screen)
{
    HWND target = ::WindowFromPoint(screen);
    ASSERT_TRUE(target) << "no window at " << screen.x << "," << screen.y;
    POINT pt = screen;
    ::ScreenToClient(target, &pt);
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(target, WM_LBUTTONUP, 0, at);
}

void ClickCentreOf(HWND h)
{
    RECT r = WindowRect(h);
    ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

// A key press, posted to the focused control as the keyboard would.
void PressKey(WPARAM vk)
{
    HWND focus = ::GetFocus();
    ASSERT_TRUE(focus);
    ::PostMessageW(focus, WM_KEYDOWN, vk, 1);
    ::PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
}

// Runs a script of steps from a thread timer while the test's body sits in a modal
// loop. A step returns true when it is done; the next tick runs the next step. Steps
// only post input, so they never nest. A script that stalls fails the test and its
// dialogs are closed, so that a fault never hangs the run.
class CDriver
{
public:
    typedef std::function<bool()> Step;

    CDriver& Then(Step step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }
    /// The active dialog, once there is one; `into` receives it.
    CDriver& WaitForDialog(HWND& into, HWND other = nullptr)
    {
        return Then([&into, other] {
            HWND h = ActiveDialog();
            return h && h != other && (into = h);
        });
    }
    CDriver& Do(std::function<void()> action)
    {
        return Then([action] { return action(), true; });
    }
    /// Lets the loop run for n ticks (a posted input is handled by then).
    CDriver& Pause(int n = 3)
    {
        auto left = std::make_shared<int>(n);
        return Then([left] { return --*left <= 0; });
    }

    /// Two clicks in the box's hidden Info area reveal it; a click on it opens the details.
    CDriver& OpenDetails(HWND& box, HWND& details)
    {
        Do([&box] {
            const RECT info = WindowRect(::GetDlgItem(box, 1006));
            for (int k = 1; k <= 2; ++k)
                ClickAt(POINT{info.left + k, info.top + k});
        });
        Pause().Do([&box] { ClickCentreOf(::GetDlgItem(box, 1006)); });
        return WaitForDialog(details, box);
    }

    template <class Body>
    auto Run(Body body)
    {
        s_pActive = this;
        m_nTicks = 0;
        const UINT_PTR id = ::SetTimer(nullptr, 0, 10, &CDriver::Tick);
        auto result = body();
        ::KillTimer(nullptr, id);
        s_pActive = nullptr;
        EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " steps did not run";
        return result;
    }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        CDriver* p = s_pActive;
        if (!p || p->m_bInTick)
            return;
        p->m_bInTick = true;
        if (++p->m_nTicks > 1500) {
            ADD_FAILURE() << "the script stalled with " << p->m_steps.size() << " steps left";
            p->m_steps.clear();
            for (HWND h; (h = ActiveDialog()) != nullptr;)
                ::EndDialog(h, -2), ::DestroyWindow(h);
        } else if (!p->m_steps.empty() && p->m_steps.front()()) {
            p->m_steps.pop_front();
        }
        p->m_bInTick = false;
    }

    std::deque<Step> m_steps;
    int m_nTicks = 0;
    bool m_bInTick = false;
    inline static CDriver* s_pActive = nullptr;
};

// The pixels of a window (frame included) as the screen shows them, rows from the top.
struct SShot
{
    int w = 0, h = 0;
    std::vector<COLORREF> px;
};

SShot Capture(HWND h)
{
    ::RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::GdiFlush();
    const RECT r = WindowRect(h);
    SShot shot{r.right - r.left, r.bottom - r.top, {}};
    HDC screen = ::GetDC(nullptr);
    CCompatibleDC mem;
    if (mem.Create(screen, SIZE{shot.w, shot.h}) &&
        ::BitBlt(mem, 0, 0, shot.w, shot.h, screen, r.left, r.top, SRCCOPY) && ::GdiFlush())
        for (int y = 0; y < shot.h; ++y)
            for (int x = 0; x < shot.w; ++x)
                shot.px.push_back(mem.GetPixel(x, y));
    ::ReleaseDC(nullptr, screen);
    return shot;
}

// The window as an uncompressed PNG in build/<arch>/test-output/dialogs_test: RGB rows,
// each led by filter byte 0, in stored deflate blocks.
void SaveScreenshot(HWND h, const wchar_t* name)
{
    const SShot shot = Capture(h);
    auto be32 = [](std::string& out, unsigned long v) {
        for (int s = 24; s >= 0; s -= 8)
            out += char((v >> s) & 0xFF);
    };
    std::string raw, z = "\x78\x01", out = "\x89PNG\r\n\x1a\n", ihdr;
    for (std::size_t i = 0; i < shot.px.size(); ++i) {
        if (i % shot.w == 0)
            raw += '\0';
        raw += char(GetRValue(shot.px[i])), raw += char(GetGValue(shot.px[i]));
        raw += char(GetBValue(shot.px[i]));
    }
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
    be32(ihdr, shot.w), be32(ihdr, shot.h);
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
    std::wstring dir = tarn_kit_test::BesideModule(nullptr, L"");
    dir.erase(dir.find_last_of(L'\\', dir.size() - 2) + 1); // beside bin/
    for (const wchar_t* part : {L"test-output", L"\\dialogs_test"})
        ::CreateDirectoryW((dir += part).c_str(), nullptr);
    tarn_kit_test::WriteBytes(dir + L"\\" + name + L".png", out);
}

// The colour pixels of an icon, for telling icons apart by their image.
std::vector<unsigned char> IconPixels(HICON hIcon)
{
    std::vector<unsigned char> out;
    ICONINFO ii = {};
    if (!hIcon || !::GetIconInfo(hIcon, &ii))
        return out;
    BITMAP bm = {};
    ::GetObjectW(ii.hbmColor, sizeof bm, &bm);
    BITMAPINFO bi = {};
    bi.bmiHeader = {
        sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    out.resize(std::size_t(bm.bmWidth) * bm.bmHeight * 4);
    HDC dc = ::GetDC(nullptr);
    ::GetDIBits(dc, ii.hbmColor, 0, bm.bmHeight, out.data(), &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(ii.hbmColor);
    ::DeleteObject(ii.hbmMask);
    return out;
}

std::vector<unsigned char> GroupPixels(UINT group)
{
    HICON h = static_cast<HICON>(::LoadImageW(Library(), MAKEINTRESOURCEW(group), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXICON),
                                              ::GetSystemMetrics(SM_CYICON), 0));
    std::vector<unsigned char> px = IconPixels(h);
    ::DestroyIcon(h);
    return px;
}

// The visible push buttons of a dialog, left to right.
std::vector<HWND> VisibleButtons(HWND hDlg)
{
    std::vector<HWND> out;
    for (HWND c = ::GetWindow(hDlg, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (ClassOf(c) == L"Button" && ::IsWindowVisible(c))
            out.push_back(c);
    std::sort(out.begin(), out.end(),
              [](HWND a, HWND b) { return WindowRect(a).left < WindowRect(b).left; });
    return out;
}

// Every test leaves the registry as it found it: empty.
class DialogTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(0u, WndTestAccess::Count()); }
    void TearDown() override
    {
        EXPECT_EQ(0u, WndTestAccess::Count()) << "objects left in the window registry";
        EXPECT_FALSE(ActiveDialog()) << "a dialog was left open";
    }
};

// In-memory dialog templates: DLGTEMPLATE and its items in global memory.
class CTemplate
{
public:
    CTemplate(DWORD style, short cx, short cy, const wchar_t* title = L"")
    {
        Put<DWORD>(style | DS_SETFONT), Put<DWORD>(0), Put<WORD>(0);
        Put<short>(0), Put<short>(0), Put<short>(cx), Put<short>(cy);
        Put<WORD>(0), Put<WORD>(0), PutText(title);
        Put<WORD>(8), PutText(L"Tahoma");
    }
    /// atom: 0x80 button, 0x81 edit, 0x82 static.
    CTemplate& Item(WORD atom, int id, DWORD style, short x, short y, short cx, short cy,
                    const wchar_t* text = L"")
    {
        while (m_data.size() % 4)
            m_data.push_back(0);
        Put<DWORD>(style | WS_CHILD | WS_VISIBLE), Put<DWORD>(0);
        Put<short>(x), Put<short>(y), Put<short>(cx), Put<short>(cy), Put<WORD>(WORD(id));
        Put<WORD>(0xFFFF), Put<WORD>(atom), PutText(text), Put<WORD>(0);
        ++reinterpret_cast<DLGTEMPLATE*>(m_data.data())->cdit;
        return *this;
    }
    /// A global memory handle the caller frees.
    HGLOBAL Global() const
    {
        HGLOBAL h = ::GlobalAlloc(GMEM_MOVEABLE, m_data.size());
        std::memcpy(::GlobalLock(h), m_data.data(), m_data.size());
        ::GlobalUnlock(h);
        return h;
    }

private:
    template <class T>
    void Put(T v)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(&v);
        m_data.insert(m_data.end(), p, p + sizeof v);
    }
    void PutText(const wchar_t* s)
    {
        do
            Put<WORD>(WORD(*s));
        while (*s++);
    }
    std::vector<unsigned char> m_data;
};

const CTemplate& SmallTemplate()
{
    static const CTemplate t = CTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU, 120, 60, L"Sample")
                                   .Item(0x81, 100, WS_BORDER, 4, 4, 80, 12)
                                   .Item(0x80, 1, BS_DEFPUSHBUTTON, 4, 40, 40, 14, L"OK")
                                   .Item(0x80, 2, 0, 50, 40, 40, 14, L"Cancel");
    return t;
}

// A dialog that opens every protected operation to the tests and records the handlers.
class CTestDialog : public CDialog
{
public:
    explicit CTestDialog(HWND hParent = nullptr) : CDialog(nullptr, 0, hParent) {}

    bool FromTemplate(const CTemplate& t, HWND hParent)
    {
        HGLOBAL h = t.Global();
        const bool b = InitModalIndirect(::GetModuleHandleW(nullptr), h, hParent);
        ::GlobalFree(h);
        return b;
    }
    /// The small sample dialog, modeless.
    bool Open(HWND hParent = nullptr) { return FromTemplate(SmallTemplate(), hParent) && Create(); }

    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        if (uMsg >= WM_APP)
            m_seen.push_back(hWnd);
        if (uMsg == WM_APP + 1 && m_bTakeApp1)
            return true;
        return CDialog::OnWindowProc(hWnd, uMsg, wParam, lParam, pResult);
    }
    void OnCancel() override
    {
        m_calls += L"cancel;";
        if (m_bCancelCloses)
            CDialog::OnCancel();
    }
    void OnOK() override
    {
        m_calls += L"ok;";
        CDialog::OnOK();
    }
    void OnNo() override
    {
        m_calls += L"no;";
        CDialog::OnNo();
    }

    HWND Hwnd() const { return m_hWnd; }
    void Centre() { CenterWindow(); }
    using CWnd::FindInstance;
    using CWnd::GetStyle;
    using CWnd::ModifyStyle;
    using CWnd::RegisterInstance;
    using CWnd::SetDlgCtrlId;
    using CWnd::UnregisterInstance;

    std::vector<HWND> m_seen; // the windows that asked about WM_APP and up
    std::wstring m_calls;
    bool m_bCancelCloses = true;
    bool m_bTakeApp1 = false;
};

} // namespace

// ---------------------------------------------------------------------------------
// The framework

TEST_F(DialogTest, RegistryRefusesSecondRegistrationAndUnknownRemovals)
{
    CTestDialog a, b;
    HWND key = reinterpret_cast<HWND>(0x1234);
    EXPECT_TRUE(CTestDialog::RegisterInstance(key, &a));
    EXPECT_FALSE(CTestDialog::RegisterInstance(key, &b));
    EXPECT_EQ(&a, CTestDialog::FindInstance(key));
    EXPECT_FALSE(CTestDialog::UnregisterInstance(reinterpret_cast<HWND>(0x5678)));
    EXPECT_TRUE(CTestDialog::RegisterInstance(nullptr, &b)) << "NULL is an ordinary key";
    EXPECT_EQ(2u, WndTestAccess::Count());
    EXPECT_TRUE(CTestDialog::UnregisterInstance(key));
    EXPECT_FALSE(CTestDialog::UnregisterInstance(key));
    EXPECT_EQ(nullptr, CTestDialog::FindInstance(key));
    EXPECT_TRUE(CTestDialog::UnregisterInstance(nullptr));
}

// The registry is shared by every thread of the process: each thread's entries come
// and go under the lock while the others work on theirs.
TEST_F(DialogTest, RegistryServesManyThreadsAtOnce)
{
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<CTestDialog> objects(kThreads);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                HWND key = reinterpret_cast<HWND>(UINT_PTR(0x10000 * (t + 1) + (i % 64) * 4));
                if (!CTestDialog::RegisterInstance(key, &objects[t]) ||
                    CTestDialog::FindInstance(key) != &objects[t] ||
                    !CTestDialog::UnregisterInstance(key))
                    ++wrong;
            }
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(0, wrong.load());
}

TEST_F(DialogTest, StyleAndItemHelpersTellZeroFromAFailure)
{
    CTestDialog dlg;
    ASSERT_TRUE(dlg.Open());
    HWND edit = ::GetDlgItem(dlg.Hwnd(), 100);
    ::SetWindowLongW(edit, GWL_STYLE, 0);
    EXPECT_EQ(0, CTestDialog::GetStyle(edit));
    EXPECT_EQ(DWORD(0), ::GetLastError());
    EXPECT_TRUE(CTestDialog::ModifyStyle(edit, 0, 0)) << "the previous style was 0";
    EXPECT_TRUE(CTestDialog::ModifyStyle(edit, 0, WS_CHILD | WS_BORDER | WS_VISIBLE));
    EXPECT_TRUE(CTestDialog::ModifyStyle(edit, WS_BORDER, 0));
    EXPECT_EQ(LONG(WS_CHILD | WS_VISIBLE), ::GetWindowLongW(edit, GWL_STYLE));
    EXPECT_FALSE(CTestDialog::ModifyStyle(reinterpret_cast<HWND>(0xDEAD0), 0, WS_BORDER));

    ustring text = L"left over";
    EXPECT_EQ(0u, dlg.GetDlgItemTextW(100, text));
    EXPECT_EQ(ustring(), text);
    EXPECT_TRUE(dlg.SetDlgItemTextW(100, L"abc"));
    EXPECT_EQ(3u, dlg.GetDlgItemTextLength(100));
    EXPECT_EQ(3u, dlg.GetDlgItemTextW(100, text));
    EXPECT_EQ(ustring(L"abc"), text);
    EXPECT_FALSE(dlg.SetDlgItemTextW(999, L"x")) << "no such control";
    EXPECT_EQ(100, CTestDialog::SetDlgCtrlId(edit, 222));
    EXPECT_EQ(edit, ::GetDlgItem(dlg.Hwnd(), 222));
}

// Modeless life: bound at WM_INITDIALOG, unbound at WM_DESTROY, or by the destructor.
TEST_F(DialogTest, ModelessDialogIsBoundUntilDestroyed)
{
    {
        CTestDialog dlg;
        EXPECT_FALSE(dlg.InitModalIndirect(nullptr, nullptr, nullptr));
        ASSERT_TRUE(dlg.Open());
        EXPECT_EQ(&dlg, CTestDialog::FindInstance(dlg.Hwnd()));
        EXPECT_EQ(ustring(L"Sample"), TextOf(dlg.Hwnd()));
        HWND h = dlg.Hwnd();
        ::DestroyWindow(h);
        EXPECT_EQ(nullptr, dlg.Hwnd());
        EXPECT_EQ(nullptr, CTestDialog::FindInstance(h));
    }
    HWND h = nullptr;
    {
        CTestDialog dlg;
        ASSERT_TRUE(dlg.Open());
        h = dlg.Hwnd();
    }
    EXPECT_FALSE(::IsWindow(h)) << "the destructor destroys a window that still exists";
    // A template that does not exist: the platform call's own failure value.
    CDialog missing(Library(), 4711, nullptr);
    EXPECT_EQ(-1, missing.DoModal());
    EXPECT_FALSE(missing.Create());
}

// Standard buttons by id alone, the close box, Escape and Enter through a modal loop.
TEST_F(DialogTest, ModalDialogRoutesTheStandardCommands)
{
    struct SCase
    {
        const wchar_t* name;
        std::function<void(HWND)> input;
        bool cancelCloses;
        int result;
        const wchar_t* calls;
    };
    const SCase cases[] = {
        {L"OK button clicked", [](HWND h) { ClickCentreOf(::GetDlgItem(h, 1)); }, true, 1, L"ok;"},
        {L"id 1 with any notification code",
         [](HWND h) { ::PostMessageW(h, WM_COMMAND, MAKEWPARAM(1, 0x1234), 0); }, true, 1, L"ok;"},
        {L"Enter on the default button", [](HWND) { PressKey(VK_RETURN); }, true, 1, L"ok;"},
        {L"Escape", [](HWND) { PressKey(VK_ESCAPE); }, true, 2, L"cancel;"},
        {L"close box, OnCancel refusing", [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); }, false,
         2, L""},
        {L"id 7", [](HWND h) { ::PostMessageW(h, WM_COMMAND, IDNO, 0); }, true, 7, L"no;"},
    };
    for (const SCase& c : cases) {
        CTestDialog dlg;
        dlg.m_bCancelCloses = c.cancelCloses;
        ASSERT_TRUE(dlg.FromTemplate(SmallTemplate(), nullptr));
        HWND h = nullptr;
        CDriver driver;
        driver.WaitForDialog(h)
            .Do([&] {
                // Ids from 8 on are left to default processing.
                ::PostMessageW(h, WM_COMMAND, 8, 0);
                ::PostMessageW(h, WM_COMMAND, 100, 0);
            })
            .Pause()
            .Do([&] {
                EXPECT_TRUE(::IsWindowVisible(h)) << c.name;
                c.input(h);
            });
        EXPECT_EQ(c.result, driver.Run([&] { return dlg.DoModal(); })) << c.name;
        EXPECT_EQ(std::wstring(c.calls), dlg.m_calls) << c.name;
        EXPECT_EQ(nullptr, dlg.Hwnd()) << c.name;
    }
}

TEST_F(DialogTest, CenterWindowUsesTruncatingHalves)
{
    auto centred = [](CTestDialog& dlg, int x, int y) {
        ::MoveWindow(dlg.Hwnd(), x, y, 301, 201, FALSE);
        dlg.Centre();
        return WindowRect(dlg.Hwnd());
    };
    CTestDialog parent, child, alone;
    ASSERT_TRUE(parent.Open());
    ::MoveWindow(parent.Hwnd(), 0, 0, 1024, 768, FALSE);
    ASSERT_TRUE(child.Open(parent.Hwnd()));
    RECT r = centred(child, 5, 7);
    EXPECT_TRUE(r.left == 362 && r.top == 284 && r.right == 662 && r.bottom == 484)
        << r.left << "," << r.top << " " << r.right - r.left << " x " << r.bottom - r.top;

    // No parent: the desktop, whatever its size.
    ASSERT_TRUE(alone.Open());
    r = centred(alone, 0, 0);
    const RECT d = WindowRect(::GetDesktopWindow());
    EXPECT_EQ((d.left + d.right) / 2 - 150, r.left);
    EXPECT_EQ((d.top + d.bottom) / 2 - 100, r.top);

    // A parent that is gone: nothing moves.
    HWND gone = parent.Hwnd();
    ::DestroyWindow(gone);
    EXPECT_FALSE(::IsWindow(child.Hwnd())) << "owned windows go with their owner";
    ASSERT_TRUE(alone.FromTemplate(SmallTemplate(), gone)); // only records the parent
    r = centred(alone, 3, 4);
    EXPECT_TRUE(r.left == 3 && r.top == 4);
}

// A child dialog embedded in a registered dialog: its messages reach the parent's hook
// (with the child's handle) after the child's own hook declined them.
TEST_F(DialogTest, HookChainAsksRegisteredAncestors)
{
    CTestDialog outer;
    ASSERT_TRUE(outer.Open());
    CTestDialog inner;
    ASSERT_TRUE(inner.FromTemplate(CTemplate(WS_CHILD | WS_VISIBLE, 40, 20), outer.Hwnd()));
    ASSERT_TRUE(inner.Create());
    ASSERT_EQ(outer.Hwnd(), ::GetParent(inner.Hwnd()));

    ::SendMessageW(inner.Hwnd(), WM_APP, 0, 0);
    ASSERT_EQ(1u, inner.m_seen.size());
    ASSERT_EQ(1u, outer.m_seen.size());
    EXPECT_EQ(inner.Hwnd(), outer.m_seen[0]);
    inner.m_bTakeApp1 = true;
    ::SendMessageW(inner.Hwnd(), WM_APP + 1, 0, 0);
    EXPECT_EQ(2u, inner.m_seen.size());
    EXPECT_EQ(1u, outer.m_seen.size()) << "the child took it";
    // A top-level dialog does not pass its messages to its owner.
    CTestDialog owned;
    ASSERT_TRUE(owned.Open(outer.Hwnd()));
    ::SendMessageW(owned.Hwnd(), WM_APP, 0, 0);
    EXPECT_EQ(1u, outer.m_seen.size());
}

// ---------------------------------------------------------------------------------
// The message box through ReportError

namespace {

struct SButtonSet
{
    unsigned type;
    std::vector<std::wstring> english;
    std::vector<std::wstring> german;
    std::vector<int> ids;
    bool escapeCloses;
    const wchar_t* name; // screenshot name; null for the sets that show as another
};

// clang-format off
const SButtonSet kButtonSets[] = {
    {MB_OK, {L"OK"}, {L"OK"}, {IDOK}, false, L"ok"},
    {MB_OKCANCEL, {L"OK", L"Cancel"}, {L"OK", L"Abbrechen"}, {IDOK, IDCANCEL}, true, L"okcancel"},
    {MB_ABORTRETRYIGNORE, {L"Abort", L"Retry", L"Ignore"},
     {L"Abbrechen", L"Wiederholen", L"Ignorieren"}, {IDABORT, IDRETRY, IDIGNORE}, false,
     L"abortretryignore"},
    {MB_YESNOCANCEL, {L"Yes", L"No", L"Cancel"}, {L"Ja", L"Nein", L"Abbrechen"},
     {IDYES, IDNO, IDCANCEL}, true, L"yesnocancel"},
    {MB_YESNO, {L"Yes", L"No"}, {L"Ja", L"Nein"}, {IDYES, IDNO}, false, L"yesno"},
    {MB_RETRYCANCEL, {L"Retry", L"Cancel"}, {L"Wiederholen", L"Abbrechen"}, {IDRETRY, IDCANCEL},
     true, L"retrycancel"},
    {6, {L"OK"}, {L"OK"}, {IDOK}, false, nullptr},  // MB_CANCELTRYCONTINUE
    {15, {L"OK"}, {L"OK"}, {IDOK}, false, nullptr}, // no such set
};
// clang-format on

// The icon bits and the group whose image the box must show.
struct SIcon
{
    unsigned bits;
    UINT group;
};
const SIcon kIcons[] = {{0x00, 107},
                        {MB_ICONHAND, 105},
                        {MB_ICONQUESTION, 108},
                        {MB_ICONEXCLAMATION, 106},
                        {MB_ICONASTERISK, 107},
                        {0x50, 107},
                        {0xF0, 107}};

const Info& FileNotFound()
{
    static const Info info(CWinException(321, L".\\File", L"CreateFile", ERROR_FILE_NOT_FOUND));
    return info;
}

bool Overlap(const RECT& a, const RECT& b)
{
    RECT r;
    return ::IntersectRect(&r, &a, &b) != 0;
}

// A caption fits its button when its text extent leaves room for the frame.
// The extent of text in a control's font.
SIZE TextSize(HWND hControl, const ustring& text)
{
    HDC dc = ::GetDC(hControl);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(hControl, WM_GETFONT, 0, 0)));
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(hControl, dc);
    return size;
}

bool CaptionFits(HWND hButton)
{
    const SIZE size = TextSize(hButton, TextOf(hButton));
    const RECT r = WindowRect(hButton);
    // A push button's text may run to its 2-pixel edges.
    return size.cx + 4 <= r.right - r.left && size.cy + 4 <= r.bottom - r.top;
}

// Everything a user sees of an open message box, against what the flags chose.
void ExpectMessageBox(HWND h, const std::vector<std::wstring>& captions,
                      const std::vector<int>& ids, UINT group, const ustring& text,
                      const ustring& caption)
{
    SCOPED_TRACE(::testing::Message() << "box " << ustring::WideCharToMultiByte(text, CP_UTF8, 0));
    EXPECT_EQ(caption, TextOf(h));
    EXPECT_EQ(text, TextOf(::GetDlgItem(h, 1005)));
    RECT w = WindowRect(h);
    EXPECT_EQ(400, w.right - w.left);
    EXPECT_EQ(250, w.bottom - w.top);

    const std::vector<HWND> buttons = VisibleButtons(h);
    ASSERT_EQ(captions.size(), buttons.size());
    RECT client;
    ::GetClientRect(h, &client);
    const RECT textRect = ClientRectOf(h, ::GetDlgItem(h, 1005));
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(ustring(captions[i].c_str()), TextOf(buttons[i])) << i;
        EXPECT_EQ(ids[i], ::GetDlgCtrlID(buttons[i])) << i;
        EXPECT_TRUE(CaptionFits(buttons[i])) << "clipped caption " << i;
        const RECT b = ClientRectOf(h, buttons[i]);
        EXPECT_TRUE(b.left >= 0 && b.top >= 0 && b.right <= client.right &&
                    b.bottom <= client.bottom)
            << "button " << i << " outside the client area";
        EXPECT_FALSE(Overlap(b, textRect)) << "button " << i << " over the text";
        if (i > 0) {
            EXPECT_FALSE(Overlap(b, ClientRectOf(h, buttons[i - 1]))) << i;
        }
    }
    // The row stays centred (the template's rows are centred to a dialog unit).
    const int rowCentre =
        (ClientRectOf(h, buttons.front()).left + ClientRectOf(h, buttons.back()).right) / 2;
    EXPECT_NEAR(client.right / 2, rowCentre, 2);
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(h, 1006))) << "Info is hidden at first";
    // The default button is the left one, and it has the focus.
    EXPECT_TRUE(::SendMessageW(buttons.front(), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON);
    EXPECT_EQ(buttons.front(), ::GetFocus());

    const HICON icon = reinterpret_cast<HICON>(::SendDlgItemMessageW(h, 1004, STM_GETICON, 0, 0));
    EXPECT_EQ(GroupPixels(group), IconPixels(icon)) << "expected icon group " << group;
    EXPECT_TRUE(::SendMessageW(h, WM_GETICON, ICON_SMALL, 0)) << "small window icon";
    EXPECT_FALSE(::SendMessageW(h, WM_GETICON, ICON_BIG, 0)) << "no large window icon";
}

// Enlarged by 100 x 60, each control whose id shift() knows moves by its offsets (left,
// top, right, bottom); shrunk below its opening size, the dialog keeps that size and its
// controls go back to where they were.
void ExpectResizing(HWND h, const std::function<bool(int, RECT&)>& shift)
{
    std::vector<std::pair<HWND, RECT>> before;
    for (HWND c = ::GetWindow(h, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        before.push_back({c, ClientRectOf(h, c)});
    ::SetWindowPos(h, nullptr, 0, 0, 500, 310, SWP_NOMOVE | SWP_NOZORDER);
    for (const auto& [c, o] : before) {
        RECT d = {}, a = ClientRectOf(h, c);
        if (shift(::GetDlgCtrlID(c), d)) {
            EXPECT_TRUE(a.left == o.left + d.left && a.top == o.top + d.top &&
                        a.right == o.right + d.right && a.bottom == o.bottom + d.bottom)
                << "control " << ::GetDlgCtrlID(c);
        }
    }
    ::SetWindowPos(h, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);
    const RECT w = WindowRect(h);
    EXPECT_EQ(400, w.right - w.left) << "never below the opening size";
    EXPECT_EQ(250, w.bottom - w.top);
    for (const auto& [c, o] : before) {
        RECT d, a = ClientRectOf(h, c);
        if (shift(::GetDlgCtrlID(c), d)) {
            EXPECT_TRUE(::EqualRect(&a, &o)) << "laid out again from the record";
        }
    }
}

int Report(CDriver& driver, const Info& info, HWND hParent, unsigned type)
{
    return driver.Run([&] { return CStdException::ReportError(info, hParent, type); });
}

} // namespace

// Every button set with every icon choice: what shows, what each button returns, and
// what Enter, Escape and the close box do.
TEST_F(DialogTest, MessageBoxButtonSetsIconsAndKeys)
{
    const ustring text = tarn_kit_test::SystemText(ERROR_FILE_NOT_FOUND);
    const ustring caption = CStdException::GetAppName();
    std::size_t nIcon = 0;
    for (const SButtonSet& set : kButtonSets) {
        SCOPED_TRACE(::testing::Message() << "type " << set.type);
        const SIcon& icon = kIcons[nIcon++ % (sizeof kIcons / sizeof kIcons[0])];
        const unsigned type = set.type | icon.bits;
        HWND h = nullptr;

        // Enter presses the default button, the left one.
        CDriver enter;
        enter.WaitForDialog(h).Pause().Do([&] {
            ExpectMessageBox(h, set.english, set.ids, icon.group, text, caption);
            if (set.name)
                SaveScreenshot(h, (std::wstring(L"message_") + set.name + L"_en").c_str());
            PressKey(VK_RETURN);
        });
        EXPECT_EQ(set.ids.front(), Report(enter, FileNotFound(), nullptr, type));

        for (std::size_t i = 0; i < set.ids.size(); ++i) {
            CDriver click;
            click.WaitForDialog(h).Pause().Do([&] { ClickCentreOf(VisibleButtons(h)[i]); });
            EXPECT_EQ(set.ids[i], Report(click, FileNotFound(), nullptr, type)) << "button " << i;
        }

        // Escape closes only the boxes with a Cancel button; the close box closes all.
        CDriver escape;
        escape.WaitForDialog(h).Do([] { PressKey(VK_ESCAPE); });
        if (!set.escapeCloses)
            escape.Pause(5).Do([&] {
                EXPECT_TRUE(::IsWindowVisible(h)) << "Escape closed a box without Cancel";
                ::PostMessageW(h, WM_CLOSE, 0, 0);
            });
        EXPECT_EQ(IDCANCEL, Report(escape, FileNotFound(), nullptr, type));
    }
}

// Two clicks on the hidden Info button's area reveal it (its edges count, a pixel
// outside does not); it opens the details, modal over the still-open box, as often
// as the user likes, closed by Escape, the close box or Close.
TEST_F(DialogTest, InfoAreaRevealsTheDetails)
{
    HWND box = nullptr, details = nullptr;
    RECT info = {};
    // A click dx, dy from the top-left corner of the Info area, or its bottom-right one.
    auto clickInfoArea = [&](int dx, int dy, bool br) {
        return [&, dx, dy, br] {
            ClickAt(POINT{(br ? info.right : info.left) + dx, (br ? info.bottom : info.top) + dy});
        };
    };
    auto infoShown = [&](bool shown, const char* when) {
        return [&, shown, when] {
            EXPECT_EQ(shown, ::IsWindowVisible(::GetDlgItem(box, 1006)) != 0) << when;
        };
    };
    auto openDetails = [&](CDriver& d) {
        d.Do([&] { ClickCentreOf(::GetDlgItem(box, 1006)); }).WaitForDialog(details, box).Do([&] {
            EXPECT_FALSE(::IsWindowEnabled(box)) << "the box waits under its details";
            EXPECT_EQ(2u, WndTestAccess::Count());
        });
    };
    auto backToBox = [&](CDriver& d) {
        d.Then([&] { return ActiveDialog() == box; }).Do([&] {
            EXPECT_FALSE(::IsWindow(details));
            EXPECT_TRUE(::IsWindowVisible(box));
        });
    };

    CDriver d;
    d.WaitForDialog(box).Do([&] {
        info = WindowRect(::GetDlgItem(box, 1006));
        EXPECT_GT(info.right - info.left, 10);
    });
    // One pixel outside on each side, twice each: no count.
    for (POINT o : {POINT{-1, 0}, POINT{0, -1}, POINT{1, 0}, POINT{0, 1}})
        d.Do(clickInfoArea(o.x, o.y, o.x + o.y > 0)).Do(clickInfoArea(o.x, o.y, o.x + o.y > 0));
    d.Pause()
        .Do(infoShown(false, "after clicks outside"))
        // Exactly on the right and bottom edge: the first click; on the top-left corner: the
        // second.
        .Do(clickInfoArea(0, 0, true))
        .Pause()
        .Do(infoShown(false, "after one click"))
        .Do(clickInfoArea(0, 0, false))
        .Pause()
        .Do(infoShown(true, "after two clicks"))
        .Do([&] { SaveScreenshot(box, L"message_info_revealed"); });
    openDetails(d);
    d.Pause(5).Do([&] {
        EXPECT_EQ(ustring(L"TK-100 Monitor"), TextOf(details));
        const std::pair<int, ustring> fields[] = {
            {1007, L"Win32"},
            {1008, L"CreateFile"},
            {1009, L".\\File"},
            {1010, ustring::ui64toa(~0u)},
            {1005, tarn_kit_test::SystemText(ERROR_ACCESS_DENIED)},
            {IDCANCEL, L"Close"}};
        for (const auto& f : fields)
            EXPECT_EQ(f.second, TextOf(::GetDlgItem(details, f.first))) << f.first;
        RECT w = WindowRect(details), b = WindowRect(box);
        EXPECT_TRUE(::EqualRect(&w, &b)) << "the box's size, centred on it";
        EXPECT_TRUE(::SendMessageW(details, WM_GETICON, ICON_SMALL, 0));
        SaveScreenshot(details, L"details_en");
        // The fields widen, the message grows, Close follows the corner.
        ExpectResizing(details, [](int id, RECT& d) {
            const bool close = id == IDCANCEL, message = id == 1005;
            d = {close ? 50 : 0, close ? 60 : 0, close ? 50 : 100, close || message ? 60 : 0};
            return close || message || (id >= 1007 && id <= 1010);
        });
        PressKey(VK_ESCAPE);
    });
    backToBox(d);
    openDetails(d);
    d.Do([&] { ::PostMessageW(details, WM_CLOSE, 0, 0); });
    backToBox(d);
    openDetails(d);
    d.Pause().Do([&] { ClickCentreOf(::GetDlgItem(details, IDCANCEL)); });
    backToBox(d);
    d.Do([&] { ClickCentreOf(::GetDlgItem(box, IDOK)); });

    CStdException::SetAppName(L"TK-100 Monitor");
    try {
        throw CWinException(~0u, L".\\File", L"CreateFile", ERROR_ACCESS_DENIED);
    } catch (const CStdException& e) {
        // The virtual form, on the caught exception.
        EXPECT_EQ(IDOK, d.Run([&] { return e.ReportError(nullptr, MB_OK | MB_ICONHAND); }));
    }
    CStdException::SetAppName(nullptr);
}

// The text grows with the box and the buttons keep to the bottom centre; the box
// cannot be made smaller than it opened.
TEST_F(DialogTest, MessageBoxResizesAndKeepsItsMinimum)
{
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Do([&] {
        // Without an owner the box is centred on the screen.
        RECT w = WindowRect(h);
        const int cx = ::GetSystemMetrics(SM_CXSCREEN), cy = ::GetSystemMetrics(SM_CYSCREEN);
        EXPECT_EQ(cx / 2 - 200, w.left);
        EXPECT_EQ(cy / 2 - 125, w.top);
        MINMAXINFO mmi = {};
        ::SendMessageW(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        EXPECT_EQ(cx, mmi.ptMaxTrackSize.x);
        EXPECT_EQ(cy, mmi.ptMaxSize.y);
        // 1004 icon and 1006 Info stay, 1005 text grows, the buttons of the row move.
        ExpectResizing(h, [](int id, RECT& d) {
            const bool fixed = id == 1004 || id == 1006, text = id == 1005;
            const int mx = fixed || text ? 0 : 50, my = fixed || text ? 0 : 60;
            d = {mx, my, mx + (text ? 100 : 0), my + (text ? 60 : 0)};
            return true;
        });
        ::PostMessageW(h, WM_COMMAND, IDNO, 0);
    });
    EXPECT_EQ(IDNO, Report(d, FileNotFound(), nullptr, MB_YESNOCANCEL | MB_ICONQUESTION));
}

// A box opens centred on its owner; when the owner is destroyed the box goes with it,
// the modal loop ends and nothing stays registered.
TEST_F(DialogTest, OwnerCentresTheBoxAndTakesItAlongWhenDestroyed)
{
    CTestDialog owner;
    ASSERT_TRUE(owner.Open());
    ::MoveWindow(owner.Hwnd(), 100, 120, 601, 401, TRUE);
    ::ShowWindow(owner.Hwnd(), SW_SHOW);
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Do([&] {
        RECT w = WindowRect(h);
        EXPECT_EQ(100 + 300 - 200, w.left);
        EXPECT_EQ(120 + 200 - 125, w.top);
        EXPECT_EQ(owner.Hwnd(), ::GetWindow(h, GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(owner.Hwnd()));
        ::DestroyWindow(owner.Hwnd());
    });
    const int result = Report(d, FileNotFound(), owner.Hwnd(), MB_OKCANCEL);
    EXPECT_FALSE(::IsWindow(h));
    EXPECT_EQ(nullptr, owner.Hwnd());
    EXPECT_TRUE(result == 0 || result == -1 || result == IDCANCEL) << result;
}

// A dialog of the application opens the box, which opens its details: three modal
// loops deep, and each level unwinds to the one below.
TEST_F(DialogTest, NestedModalDialogsUnwindInOrder)
{
    struct CApp : CTestDialog
    {
        bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                          LRESULT* pResult) override
        {
            if (hWnd == m_hWnd && uMsg == WM_COMMAND && LOWORD(wParam) == 300) {
                m_nBoxResult = CStdException::ReportError(FileNotFound(), m_hWnd, MB_YESNO);
                return true;
            }
            return CTestDialog::OnWindowProc(hWnd, uMsg, wParam, lParam, pResult);
        }
        int m_nBoxResult = 0;
    } app;
    ASSERT_TRUE(app.FromTemplate(CTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU, 150, 80, L"TK-100")
                                     .Item(0x80, 300, 0, 10, 10, 60, 14, L"Report")
                                     .Item(0x80, IDOK, 0, 10, 50, 40, 14, L"OK"),
                                 nullptr));
    HWND appWnd = nullptr, box = nullptr, details = nullptr;
    CDriver d;
    d.WaitForDialog(appWnd)
        .Do([&] { ::MoveWindow(appWnd, 400, 300, 300, 200, TRUE); })
        .Pause()
        .Do([&] { ClickCentreOf(::GetDlgItem(appWnd, 300)); })
        .WaitForDialog(box, appWnd)
        .OpenDetails(box, details)
        .Do([&] {
            EXPECT_EQ(3u, WndTestAccess::Count());
            EXPECT_FALSE(::IsWindowEnabled(appWnd));
            EXPECT_FALSE(::IsWindowEnabled(box));
            PressKey(VK_ESCAPE);
        })
        .Then([&] { return ActiveDialog() == box; })
        .Do([&] {
            EXPECT_EQ(2u, WndTestAccess::Count());
            ClickCentreOf(VisibleButtons(box).back());
        })
        .Then([&] { return ActiveDialog() == appWnd; })
        .Do([&] {
            EXPECT_EQ(1u, WndTestAccess::Count());
            EXPECT_EQ(IDNO, app.m_nBoxResult);
            ClickCentreOf(::GetDlgItem(appWnd, IDOK));
        });
    EXPECT_EQ(IDOK, d.Run([&] { return app.DoModal(); }));
}

// The library's German language file: every text of the box, its details and the
// device replies in German.
TEST_F(DialogTest, GermanLanguageFileTranslatesTheBox)
{
    const std::wstring path = tarn_kit_test::BesideModule(nullptr, L"TarnKit.de.lng");
    CTranslator& t = CTranslatorInstance::Ref();
    ASSERT_TRUE(t.LoadLanguageFile(path.c_str())) << "TarnKit.de.lng beside the test";
    for (const auto& entry : t.GetTable())
        EXPECT_EQ(entry.first.empty(), entry.second.empty()) << "an empty translation";

    const Info reply(
        CCommException(77, L".\\Receiver", L"Query", L"{2,,value out of range}", L"Receiver"));
    for (const SButtonSet& set : kButtonSets) {
        if (!set.name)
            continue;
        HWND h = nullptr, details = nullptr;
        CDriver d;
        d.WaitForDialog(h).Pause().Do([&] {
            ExpectMessageBox(h, set.german, set.ids, 106, L"Wert außerhalb des Bereichs",
                             CStdException::GetAppName());
            SaveScreenshot(h, (std::wstring(L"message_") + set.name + L"_de").c_str());
        });
        if (set.type == MB_YESNOCANCEL) {
            d.OpenDetails(h, details)
                .Pause(5)
                .Do([&] {
                    EXPECT_EQ(ustring(L"Details"), TextOf(::GetDlgItem(h, 1006)));
                    EXPECT_EQ(ustring(L"Schließen"), TextOf(::GetDlgItem(details, IDCANCEL)));
                    std::vector<ustring> labels;
                    for (HWND c = ::GetWindow(details, GW_CHILD); c;
                         c = ::GetWindow(c, GW_HWNDNEXT))
                        if (ClassOf(c) == L"Static")
                            labels.push_back(TextOf(c));
                    EXPECT_EQ((std::vector<ustring>{L"Quelle:", L"Funktion:", L"Datei:", L"Zeile:",
                                                    L"Meldung:"}),
                              labels);
                    SaveScreenshot(details, L"details_de");
                    ::PostMessageW(details, WM_CLOSE, 0, 0);
                })
                .Then([&] { return ActiveDialog() == h; });
        }
        d.Do([&] { ::PostMessageW(h, WM_CLOSE, 0, 0); });
        EXPECT_EQ(IDCANCEL, Report(d, reply, nullptr, set.type | MB_ICONEXCLAMATION));
    }
    t = CTranslator();
}

namespace {

// Runs cycle warmUp times (what the platform sets up on first use is not counted), then
// n times: afterwards the process holds as many kernel, user (windows, icons, menus) and
// GDI slots as before. A leak of one object per cycle would show as n; a few slots move
// with the platform's caches (and, for user slots, other processes of the desktop).
void ExpectNoSlotLeak(const char* what, const std::function<void()>& cycle, int n, int warmUp = 1)
{
    using tarn_kit_test::GdiSlots;
    using tarn_kit_test::UserSlots;
    for (int i = 0; i < warmUp; ++i)
        cycle();
    const long userBefore = UserSlots(), gdiBefore = GdiSlots();
    tarn_kit_test::ExpectNoHandleLeak(cycle, n);
    const long userAfter = UserSlots(), gdiAfter = GdiSlots();
    EXPECT_NEAR(userBefore, userAfter, 8) << "user slots leaked";
    EXPECT_NEAR(gdiBefore, gdiAfter, 8) << "GDI slots leaked";
    std::printf("slots in use before/after %d %s: user %ld/%ld, GDI %ld/%ld\n", n, what, userBefore,
                userAfter, gdiBefore, gdiAfter);
}

} // namespace

// Boxes with every icon, button set and translation leak nothing.
TEST_F(DialogTest, BoxesLeakNoSlot)
{
    int n = 0;
    ExpectNoSlotLeak(
        "boxes",
        [&] {
            HWND h = nullptr;
            CDriver d;
            d.WaitForDialog(h).Do([&] { ::PostMessageW(h, WM_COMMAND, IDOK, 0); });
            const unsigned type = (n % 6) | kIcons[n % 7].bits;
            ++n;
            Report(d, FileNotFound(), nullptr, type);
        },
        300, 42); // every button set with every icon first: GDI caches what each draws
}

// ---------------------------------------------------------------------------------
// Tip and wait cursor

namespace {

const wchar_t kTipText[] = L"Reading the sweep from TK-100";

struct CTestTip : CTipDlg
{
    using CTipDlg::CTipDlg;
    HWND Hwnd() const { return m_hWnd; }
};

// The box around the pixels of the tip's text area that are not its menu-colour fill.
RECT InkBounds(HWND tip)
{
    const SShot shot = Capture(tip);
    const RECT a = WindowRect(::GetDlgItem(tip, 1012)), t = WindowRect(tip);
    RECT ink = {LONG_MAX, LONG_MAX, -1, -1};
    for (LONG y = 0; y < a.bottom - a.top; ++y)
        for (LONG x = 0; x < a.right - a.left; ++x)
            if (shot.px[std::size_t(y + a.top - t.top) * shot.w + (x + a.left - t.left)] !=
                ::GetSysColor(COLOR_MENU))
                ink = RECT{std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
                           std::max(ink.bottom, y + 1)};
    return ink;
}

} // namespace

TEST_F(DialogTest, TipShowsCentredTextAtOnce)
{
    {
        CTestTip deferred(nullptr, L"not yet", true);
        EXPECT_EQ(nullptr, deferred.Hwnd()) << "no window until Create";
    }
    HWND gone = nullptr;
    {
        CTestTip tip(nullptr, kTipText, false);
        HWND h = tip.Hwnd();
        gone = h;
        ASSERT_TRUE(h);
        EXPECT_TRUE(::IsWindowVisible(h));
        EXPECT_FALSE(::GetWindowLongW(h, GWL_STYLE) & WS_CAPTION & ~WS_BORDER);
        RECT w = WindowRect(h), d = WindowRect(::GetDesktopWindow());
        EXPECT_NEAR((d.left + d.right) / 2, (w.left + w.right) / 2, 1);
        EXPECT_NEAR((d.top + d.bottom) / 2, (w.top + w.bottom) / 2, 1);
        // Painted without a message loop: the text is there, centred both ways.
        RECT area = WindowRect(::GetDlgItem(h, 1012));
        const RECT ink = InkBounds(h);
        ASSERT_LT(ink.left, ink.right) << "no text painted";
        // Centred as measured: Wine draws Tahoma up to a tenth narrower than it
        // measures it, so the ink's right margin can be wider than its left.
        EXPECT_NEAR(ink.left,
                    ((area.right - area.left) - TextSize(::GetDlgItem(h, 1012), kTipText).cx) / 2,
                    3);
        EXPECT_NEAR(ink.top, (area.bottom - area.top) - ink.bottom, 3);
        SaveScreenshot(h, L"tip");
    }
    EXPECT_FALSE(::IsWindow(gone)) << "the tip goes with its object";

    // Too tall for the area: drawn from the top and clipped at the bottom.
    std::wstring tall;
    for (int i = 0; i < 12; ++i)
        tall += L"Line " + std::to_wstring(i) + L" of the receiver's long report\n";
    CTestTip tip(nullptr, tall.c_str(), false);
    const RECT ink = InkBounds(tip.Hwnd());
    RECT area = WindowRect(::GetDlgItem(tip.Hwnd(), 1012));
    EXPECT_LE(ink.top, 2);
    EXPECT_GE(ink.bottom, area.bottom - area.top - 4);
    SaveScreenshot(tip.Hwnd(), L"tip_tall");
}

// Showing a tip over a window paints that window first, then the tip.
TEST_F(DialogTest, TipOverAnOwnerPaintsBothAndCentresOnIt)
{
    CTestDialog owner;
    ASSERT_TRUE(owner.Open());
    ::MoveWindow(owner.Hwnd(), 40, 50, 500, 300, TRUE);
    ::ShowWindow(owner.Hwnd(), SW_SHOW);
    ::InvalidateRect(owner.Hwnd(), nullptr, TRUE);
    CTestTip tip(owner.Hwnd(), L"Saving", false);
    RECT o = WindowRect(owner.Hwnd()), w = WindowRect(tip.Hwnd());
    EXPECT_NEAR((o.left + o.right) / 2, (w.left + w.right) / 2, 1);
    EXPECT_NEAR((o.top + o.bottom) / 2, (w.top + w.bottom) / 2, 1);
    RECT update;
    EXPECT_FALSE(::GetUpdateRect(owner.Hwnd(), &update, FALSE)) << "the owner was painted";
    EXPECT_FALSE(::GetUpdateRect(tip.Hwnd(), &update, FALSE)) << "the tip was painted";
    EXPECT_LT(InkBounds(tip.Hwnd()).left, LONG_MAX);
}

TEST(CWaitCursorTest, ShowsACursorForItsLifetime)
{
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    HCURSOR wait = ::LoadCursorW(nullptr, IDC_WAIT);
    HCURSOR cross = ::LoadCursorW(nullptr, IDC_CROSS);
    ::SetCursor(arrow);
    {
        CWaitCursor busy;
        EXPECT_EQ(wait, ::GetCursor());
        {
            CWaitCursor hidden(nullptr, nullptr);
            EXPECT_EQ(nullptr, ::GetCursor());
            CWaitCursor copy(hidden);
            ::SetCursor(cross);
            copy.Restore();
            EXPECT_EQ(wait, ::GetCursor()) << "a copy restores the same cursor";
            hidden.Restore();
            hidden.Restore();
            EXPECT_EQ(wait, ::GetCursor());
            CWaitCursor own(nullptr, IDC_CROSS);
            EXPECT_EQ(cross, ::GetCursor());
        }
        EXPECT_EQ(wait, ::GetCursor()) << "nested guards unwind in reverse";
    }
    EXPECT_EQ(arrow, ::GetCursor());
}

// A snapshot that was cleared: an empty message under the application's name.
TEST_F(DialogTest, ClearedSnapshotShowsAnEmptyMessage)
{
    Info info(CWinException(5, L".\\File", L"CreateFile", ERROR_ACCESS_DENIED));
    info.Clear();
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Do([&] {
        EXPECT_EQ(ustring(), TextOf(::GetDlgItem(h, 1005)));
        EXPECT_EQ(CStdException::GetAppName(), TextOf(h));
        ::PostMessageW(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, Report(d, info, nullptr, MB_OK));
}

// ---------------------------------------------------------------------------------
// The file dialog

namespace {

constexpr int kFolderLine = 1015, kList = 1016, kFilterBox = 1018, kFileField = 1019;
const wchar_t* const kTwoFilters = L"Text files (*.txt)|*.txt|All files (*.*)|*.*";

// The texts of the list, top to bottom.
std::vector<ustring> Items(HWND h)
{
    HWND list = ::GetDlgItem(h, kList);
    std::vector<ustring> out;
    const int n = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[MAX_PATH] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
        out.push_back(text);
    }
    return out;
}

int Focused(HWND h)
{
    return static_cast<int>(
        ::SendDlgItemMessageW(h, kList, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED | LVNI_FOCUSED));
}

int IndexOf(HWND h, const wchar_t* label)
{
    const std::vector<ustring> items = Items(h);
    auto it = std::find(items.begin(), items.end(), ustring(label));
    return it == items.end() ? -1 : int(it - items.begin());
}

// Item i lies wholly inside the list's client area.
bool ItemVisible(HWND h, int i)
{
    HWND list = ::GetDlgItem(h, kList);
    RECT item = {LVIR_BOUNDS, 0, 0, 0}, client = {};
    ::SendMessageW(list, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
    ::GetClientRect(list, &client);
    return item.left >= 0 && item.top >= 0 && item.right <= client.right &&
           item.bottom <= client.bottom;
}

// What a user's double-click on the item with that label causes.
void DoubleClick(HWND h, const wchar_t* label)
{
    HWND list = ::GetDlgItem(h, kList);
    const int i = IndexOf(h, label);
    ASSERT_GE(i, 0) << "no item " << ::testing::PrintToString(ustring(label));
    ::SendMessageW(list, LVM_ENSUREVISIBLE, i, FALSE);
    RECT r = {LVIR_LABEL, 0, 0, 0};
    ::SendMessageW(list, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(list, WM_LBUTTONUP, 0, at);
    ::PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    ::PostMessageW(list, WM_LBUTTONUP, 0, at);
}

// What the filter box tells its dialog when the user picks entry i.
void PickFilter(HWND h, int i)
{
    HWND box = ::GetDlgItem(h, kFilterBox);
    ::SendMessageW(box, CB_SETCURSEL, i, 0);
    ::PostMessageW(h, WM_COMMAND, MAKEWPARAM(kFilterBox, CBN_SELCHANGE), LPARAM(box));
}

// The drive labels as the system lists its drive roots ("C:\", NUL, ...).
std::vector<ustring> DriveLabels()
{
    wchar_t roots[256] = {};
    std::vector<ustring> out;
    ::GetLogicalDriveStringsW(255, roots);
    for (const wchar_t* p = roots; *p; p += wcslen(p) + 1)
        out.push_back(ustring(p).substr(0, 2));
    return out;
}

struct SFileRun
{
    int result;
    ustring path;
};

// Opens a CFileDlg on file; script(driver, dialog) adds the steps run while it is open.
SFileRun RunFileDlg(const ustring& file, unsigned long flags, const wchar_t* filter,
                    const std::function<void(CDriver&, HWND&)>& script)
{
    CFileDlg dlg(nullptr, true, L"txt", file.c_str(), flags, filter);
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Pause();
    script(d, h);
    const int result = d.Run([&] { return dlg.DoModal(); });
    return {result, dlg.GetPathName()};
}

// A folder tree in the temp folder: folders and files whose case-insensitive order
// differs from a natural one, names with spaces and non-Latin letters.
class FileDlgTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_root = ustring(temp) + L"TK-100 files";
        ::CreateDirectoryW(m_root.c_str(), nullptr);
        for (const wchar_t* dir : {L"Zeta", L"sub2", L"alpha", L"Ωmega", L"Ordner B", L"sub10"})
            ::CreateDirectoryW((m_root + L"\\" + dir).c_str(), nullptr);
        for (const wchar_t* file : {L"file2.txt", L"read me.txt", L"File1.TXT", L"дата.txt",
                                    L"notes.dat", L"file10.txt", L"sub2\\deep.txt"})
            tarn_kit_test::WriteBytes(m_root + L"\\" + file, "x");
        for (int i = 0; i < 80; ++i)
            tarn_kit_test::WriteBytes(
                m_root + L"\\sub10\\f" + (i < 10 ? L"0" : L"") + ustring::ui64toa(i) + L".dat", "");
    }
    void TearDown() override
    {
        tarn_kit_test::RemoveTree(m_root);
        EXPECT_FALSE(CFile::FileExists(m_root.c_str()));
        DialogTest::TearDown();
    }
    ustring Path(const wchar_t* name) const { return m_root + L"\\" + name; }

    ustring m_root;
    // The root's listing: "..", folders, then files, each by _wcsicmp.
    const std::vector<ustring> kFolders = {L"..",   L"alpha", L"Ordner B", L"sub10",
                                           L"sub2", L"Zeta",  L"Ωmega"};
    const std::vector<ustring> kTexts = {L"File1.TXT", L"file10.txt", L"file2.txt", L"read me.txt",
                                         L"дата.txt"};
    const std::vector<ustring> kAll = {L"File1.TXT", L"file10.txt",  L"file2.txt",
                                       L"notes.dat", L"read me.txt", L"дата.txt"};
    std::vector<ustring> Listing(const std::vector<ustring>& files) const
    {
        std::vector<ustring> out = kFolders;
        out.insert(out.end(), files.begin(), files.end());
        return out;
    }
};

} // namespace

// Filters: pairs in the box, the first chosen; folders always listed; choosing another
// entry lists the folder again.
TEST_F(FileDlgTest, FiltersChooseTheFilesFoldersAlwaysListed)
{
    struct SCase
    {
        const wchar_t* filter;
        std::vector<ustring> entries, first, second; // second: after picking entry 1
    };
    const SCase cases[] = {
        {L"", {}, Listing(kAll), {}},
        {kTwoFilters, {L"Text files (*.txt)", L"All files (*.*)"}, Listing(kTexts), Listing(kAll)},
        {L"Data|*.dat|Dangling", {L"Data"}, Listing({L"notes.dat"}), {}},
    };
    for (const SCase& c : cases) {
        RunFileDlg(m_root, 0, c.filter, [&](CDriver& d, HWND& h) {
            d.Do([&] {
                HWND box = ::GetDlgItem(h, kFilterBox);
                EXPECT_EQ(!c.entries.empty(), ::IsWindowEnabled(box) != FALSE);
                std::vector<ustring> entries;
                for (int i = 0; i < ::SendMessageW(box, CB_GETCOUNT, 0, 0); ++i) {
                    wchar_t text[64] = {};
                    ::SendMessageW(box, CB_GETLBTEXT, i, LPARAM(text));
                    entries.push_back(text);
                }
                EXPECT_EQ(c.entries, entries);
                EXPECT_EQ(c.entries.empty() ? CB_ERR : 0, ::SendMessageW(box, CB_GETCURSEL, 0, 0));
                EXPECT_EQ(c.first, Items(h));
                EXPECT_EQ(m_root, TextOf(::GetDlgItem(h, kFolderLine)));
                if (!c.second.empty()) {
                    PickFilter(h, 1);
                }
            });
            d.Pause().Do([&] {
                if (!c.second.empty()) {
                    EXPECT_EQ(c.second, Items(h));
                }
                ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
            });
        });
    }
}

// The opening state: folder line, listing, the selected item and the file-name field.
TEST_F(FileDlgTest, OpensOnFilesFoldersAndMissingPaths)
{
    std::vector<ustring> sub10 = {L".."};
    for (int i = 0; i < 80; ++i)
        sub10.push_back(ustring(i < 10 ? L"f0" : L"f") + ustring::ui64toa(i) + L".dat");
    struct SCase
    {
        ustring file, line;
        std::vector<ustring> items;
        const wchar_t* focused; // and visible
        const wchar_t* field;
    };
    const SCase cases[] = {
        {Path(L"sub10\\f79.dat"), Path(L"sub10\\"), sub10, L"f79.dat", L"f79.dat"},
        {Path(L"дата.txt"), m_root + L"\\", Listing(kAll), L"дата.txt", L"дата.txt"},
        {Path(L"missing.txt"), m_root, Listing(kAll), nullptr, L"missing.txt"},
        {Path(L"Ordner B"), Path(L"Ordner B"), {L".."}, nullptr, L""},
        {Path(L"nope\\x.txt"), L"", DriveLabels(), nullptr, L"x.txt"},
        {L"", L"", DriveLabels(), nullptr, L""},
    };
    for (const SCase& c : cases) {
        const SFileRun run = RunFileDlg(c.file, 0, nullptr, [&](CDriver& d, HWND& h) {
            d.Do([&] {
                const std::string name = ::testing::PrintToString(c.file);
                EXPECT_EQ(c.line, TextOf(::GetDlgItem(h, kFolderLine))) << name;
                // The folder line is no tab stop: the list takes the focus.
                EXPECT_EQ(::GetDlgItem(h, kList), ::GetFocus()) << name;
                EXPECT_EQ(c.items, Items(h)) << name;
                const int focused = Focused(h);
                EXPECT_EQ(c.focused ? IndexOf(h, c.focused) : -1, focused) << name;
                if (c.focused) {
                    EXPECT_TRUE(ItemVisible(h, focused)) << name;
                }
                EXPECT_EQ(ustring(c.field), TextOf(::GetDlgItem(h, kFileField))) << name;
                ::PostMessageW(h, WM_CLOSE, 0, 0);
            });
        });
        EXPECT_EQ(IDCANCEL, run.result);
        EXPECT_EQ(ustring(), run.path) << "nothing chosen after Cancel";
    }
}

// Walking: into a folder, up twice, up to the drive root, its ".." to the drive list,
// a drive to its root. With OFN_PATHMUSTEXIST, OK does nothing at a drive root.
TEST_F(FileDlgTest, ActivationWalksFoldersDriveRootsAndTheDriveList)
{
    ustring temp = m_root.substr(0, m_root.rfind(L'\\') + 1), root;
    auto line = [](HWND h) { return TextOf(::GetDlgItem(h, kFolderLine)); };
    const SFileRun run =
        RunFileDlg(Path(L"file2.txt"), OFN_PATHMUSTEXIST, nullptr, [&](CDriver& d, HWND& h) {
            d.Do([&] { DoubleClick(h, L"sub2"); }).Pause().Do([&] {
                EXPECT_EQ(Path(L"sub2"), line(h));
                EXPECT_EQ((std::vector<ustring>{L"..", L"deep.txt"}), Items(h));
                DoubleClick(h, L"..");
            });
            d.Pause().Do([&] {
                EXPECT_EQ(m_root + L"\\", line(h));
                EXPECT_EQ(Listing(kAll), Items(h));
                DoubleClick(h, L"..");
            });
            d.Pause().Do([&] { EXPECT_EQ(temp, line(h)); });
            d.Then([&] {
                if (line(h).size() == 3)
                    return true;
                DoubleClick(h, L"..");
                return false;
            });
            d.Do([&] {
                root = line(h);
                EXPECT_EQ(ustring(L".."), Items(h).at(0));
                ::SetDlgItemTextW(h, kFileField, L"x.txt");
                ::PostMessageW(h, WM_COMMAND, IDOK, 0);
            });
            d.Pause().Do([&] {
                EXPECT_TRUE(::IsWindowVisible(h)) << "OK at a drive root";
                DoubleClick(h, L"..");
            });
            d.Pause().Do([&] {
                EXPECT_EQ(ustring(), line(h));
                EXPECT_EQ(DriveLabels(), Items(h));
                DoubleClick(h, root.substr(0, 2).c_str());
            });
            d.Pause().Do([&] {
                EXPECT_EQ(root, line(h));
                EXPECT_EQ(ustring(L".."), Items(h).at(0));
                PressKey(VK_ESCAPE);
            });
        });
    EXPECT_EQ(IDCANCEL, run.result);
    EXPECT_EQ(ustring(), run.path);
}

// OK: the typed name joined with the folder, refused only as the flags say; a
// double-clicked file is accepted with the name its selection put in the field.
TEST_F(FileDlgTest, OkAcceptsByTheFlags)
{
    struct SCase
    {
        ustring open;
        unsigned long flags;
        const wchar_t* typed;  // nullptr: double-click this name instead
        const wchar_t* chosen; // nullptr: the dialog stays open
    };
    const SCase cases[] = {
        {m_root, OFN_FILEMUSTEXIST, L"missing.txt", nullptr},
        {m_root, OFN_FILEMUSTEXIST, L"alpha", nullptr},
        {m_root, OFN_FILEMUSTEXIST, L"", nullptr},
        {L"", 0, L"x.txt", nullptr}, // only the drive list so far
        {m_root, OFN_FILEMUSTEXIST, L"read me.txt", L"read me.txt"},
        {m_root, 0, L"missing.txt", L"missing.txt"},
        {m_root, OFN_PATHMUSTEXIST, L"new file.txt", L"new file.txt"},
        {Path(L"file2.txt"), OFN_FILEMUSTEXIST, nullptr, L"дата.txt"},
        {m_root, 0, nullptr, L"read me.txt"},
    };
    for (const SCase& c : cases) {
        const SFileRun run = RunFileDlg(c.open, c.flags, nullptr, [&](CDriver& d, HWND& h) {
            d.Do([&] {
                if (c.typed) {
                    ::SetDlgItemTextW(h, kFileField, c.typed);
                    ::PostMessageW(h, WM_COMMAND, IDOK, 0);
                } else {
                    DoubleClick(h, c.chosen);
                }
            });
            if (!c.chosen)
                d.Pause().Do([&] {
                    EXPECT_TRUE(::IsWindowVisible(h));
                    ::PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                });
        });
        const std::string name = ::testing::PrintToString(ustring(c.typed ? c.typed : c.chosen));
        EXPECT_EQ(c.chosen ? IDOK : IDCANCEL, run.result) << name;
        EXPECT_EQ(c.chosen ? Path(c.chosen) : ustring(), run.path) << name;
    }
}

// Resizing: the folder line and the list grow, the field and the box move down and
// widen, the buttons move by half the widening and the full heightening.
TEST_F(FileDlgTest, ResizingMovesTheControls)
{
    RunFileDlg(m_root, 0, kTwoFilters, [&](CDriver& d, HWND& h) {
        d.Do([&] {
            const int ids[] = {kFolderLine, kList, kFileField, kFilterBox, IDOK, IDCANCEL};
            RECT before[6], client;
            for (int i = 0; i < 6; ++i)
                before[i] = ClientRectOf(h, ::GetDlgItem(h, ids[i]));
            ::GetClientRect(h, &client);
            const RECT w = WindowRect(h);
            for (const SIZE grow : {SIZE{121, 80}, SIZE{-30, -20}}) {
                ::SetWindowPos(h, nullptr, 0, 0, w.right - w.left + grow.cx,
                               w.bottom - w.top + grow.cy, SWP_NOMOVE | SWP_NOZORDER);
                RECT now;
                ::GetClientRect(h, &now);
                const int dx = now.right - client.right, dy = now.bottom - client.bottom;
                ASSERT_EQ(grow.cx, dx);
                // left, top, right, bottom moves of each control
                const int moves[6][4] = {
                    {0, 0, dx, 0},   {0, 0, dx, dy},           {0, dy, dx, dy},
                    {0, dy, dx, dy}, {dx / 2, dy, dx / 2, dy}, {dx / 2, dy, dx / 2, dy}};
                for (int i = 0; i < 6; ++i) {
                    const RECT r = ClientRectOf(h, ::GetDlgItem(h, ids[i]));
                    const RECT& b = before[i];
                    EXPECT_EQ((std::vector<LONG>{b.left + moves[i][0], b.top + moves[i][1],
                                                 b.right + moves[i][2], b.bottom + moves[i][3]}),
                              (std::vector<LONG>{r.left, r.top, r.right, r.bottom}))
                        << "control " << ids[i] << " after " << grow.cx << "," << grow.cy;
                }
            }
            ::PostMessageW(h, WM_CLOSE, 0, 0);
        });
    });
}

// Both languages, a filter chosen and a file selected; the screenshots are judged by eye.
TEST_F(FileDlgTest, ScreenshotsInEnglishAndGerman)
{
    CTranslator& t = CTranslatorInstance::Ref();
    for (const bool german : {false, true}) {
        if (german) {
            ASSERT_TRUE(t.LoadLanguageFile(
                tarn_kit_test::BesideModule(nullptr, L"TarnKit.de.lng").c_str()));
        }
        RunFileDlg(Path(L"file2.txt"), 0, kTwoFilters, [&](CDriver& d, HWND& h) {
            d.Do([&] {
                EXPECT_EQ(ustring(german ? L"Dateiauswahl" : L"File Dialog"), TextOf(h));
                EXPECT_EQ(ustring(german ? L"Abbrechen" : L"Cancel"),
                          TextOf(::GetDlgItem(h, IDCANCEL)));
                PickFilter(h, 1);
            });
            d.Pause().Do([&] {
                const int i = IndexOf(h, L"read me.txt");
                HWND list = ::GetDlgItem(h, kList);
                LVITEMW item = {};
                item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                ::SendMessageW(list, LVM_SETITEMSTATE, i, LPARAM(&item));
                ::SetFocus(list);
                EXPECT_EQ(ustring(L"read me.txt"), TextOf(::GetDlgItem(h, kFileField)));
            });
            d.Pause(5).Do([&] {
                SaveScreenshot(h, german ? L"file_de" : L"file_en");
                ::PostMessageW(h, WM_CLOSE, 0, 0);
            });
        });
    }
    t = CTranslator();
}

// Dialogs over the tree: no kernel, user or GDI slot is lost.
TEST_F(FileDlgTest, ManyDialogsLeakNoSlot)
{
    ExpectNoSlotLeak(
        "file dialogs",
        [&] {
            RunFileDlg(Path(L"file2.txt"), 0, kTwoFilters, [](CDriver& d, HWND& h) {
                d.Do([&] { ::PostMessageW(h, WM_CLOSE, 0, 0); });
            });
        },
        50);
}

// ---------------------------------------------------------------------------------
// The folder browser

namespace {

std::string Utf8(const ustring& s)
{
    return ustring::WideCharToMultiByte(s, CP_UTF8, 0);
}

HTREEITEM TreeNext(HWND tree, UINT code, HTREEITEM from = nullptr)
{
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(from)));
}

ustring ItemText(HWND tree, HTREEITEM item)
{
    wchar_t text[MAX_PATH] = {};
    TVITEMW it = {};
    it.mask = TVIF_TEXT;
    it.hItem = item;
    it.pszText = text;
    it.cchTextMax = MAX_PATH;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
    return text;
}

bool IsExpanded(HWND tree, HTREEITEM item)
{
    return ::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_EXPANDED) &
           TVIS_EXPANDED;
}

std::vector<HTREEITEM> Children(HWND tree, HTREEITEM parent)
{
    std::vector<HTREEITEM> out;
    for (HTREEITEM c = TreeNext(tree, parent ? TVGN_CHILD : TVGN_ROOT, parent); c;
         c = TreeNext(tree, TVGN_NEXT, c))
        out.push_back(c);
    return out;
}

std::vector<ustring> ChildLabels(HWND tree, HTREEITEM parent)
{
    std::vector<ustring> out;
    for (HTREEITEM c : Children(tree, parent))
        out.push_back(ItemText(tree, c));
    return out;
}

HTREEITEM FindChild(HWND tree, HTREEITEM parent, const ustring& label)
{
    for (HTREEITEM c : Children(tree, parent))
        if (ItemText(tree, c) == label)
            return c;
    return nullptr;
}

// The labels from the top level down to the selected item; every one above it expanded.
std::vector<ustring> SelectedChain(HWND tree)
{
    std::vector<ustring> chain;
    HTREEITEM sel = TreeNext(tree, TVGN_CARET);
    for (HTREEITEM i = sel; i; i = TreeNext(tree, TVGN_PARENT, i)) {
        chain.insert(chain.begin(), ItemText(tree, i));
        EXPECT_TRUE(i == sel || IsExpanded(tree, i)) << "not unfolded: " << Utf8(ItemText(tree, i));
    }
    return chain;
}

// A path with every component as the disk spells it (the judge of the returned case).
ustring OnDisk(const ustring& path)
{
    std::vector<ustring> parts;
    ustring::split(path, L'\\', parts, false);
    ustring out = parts.empty() ? ustring() : ustring(1, wchar_t(::towupper(parts[0][0]))) + L":";
    for (std::size_t i = 1; i < parts.size(); ++i) {
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileW((out + L"\\" + parts[i]).c_str(), &fd);
        out += L"\\";
        out += h == INVALID_HANDLE_VALUE ? parts[i] : ustring(fd.cFileName);
        if (h != INVALID_HANDLE_VALUE)
            ::FindClose(h);
    }
    return out;
}

// "C:\a\b" as the tree labels it: C:, a, b.
std::vector<ustring> Labels(const ustring& path)
{
    std::vector<ustring> parts;
    ustring::split(path, L'\\', parts, false);
    return parts;
}

ustring InCase(ustring s, bool upper)
{
    for (wchar_t& ch : s)
        ch = upper ? wchar_t(::towupper(ch)) : wchar_t(::towlower(ch));
    return s;
}

// A folder tree in the temporary folder, removed afterwards.
class BrowseTest : public DialogTest
{
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        m_root = OnDisk(ustring(base) + L"tk-browse-" + ustring::ui64toa(::GetCurrentProcessId()));
        tarn_kit_test::RemoveTree(m_root);
        for (const wchar_t* dir :
             {L"", L"\\Alpha Beta", L"\\Alpha Beta\\inner", L"\\Alpha Beta\\inner\\deep",
              L"\\files only", L"\\empty", L"\\Mixed Case", L"\\Mixed Case\\Sub", L"\\Ελληνικά",
              L"\\Ελληνικά\\Кириллица", L"\\Ελληνικά\\Кириллица\\漢字 フォルダ"})
            ASSERT_TRUE(::CreateDirectoryW((m_root + dir).c_str(), nullptr)) << Utf8(dir);
        tarn_kit_test::WriteBytes(m_root + L"\\files only\\sweep.csv", "1,2\r\n");
    }
    void TearDown() override
    {
        tarn_kit_test::RemoveTree(m_root);
        DialogTest::TearDown();
    }
    ustring Path(const wchar_t* relative) const { return m_root + L"\\" + relative; }

    ustring m_root;
};

INT_PTR CALLBACK TemplateOnly(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

HWND TreeOf(HWND h)
{
    return ::GetDlgItem(h, 1014);
}

// A static control's text fits its rectangle.
bool TextFits(HWND h)
{
    HDC dc = ::GetDC(h);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(h, WM_GETFONT, 0, 0)));
    const ustring text = TextOf(h);
    SIZE size = {};
    ::GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(h, dc);
    const RECT r = WindowRect(h);
    return size.cx <= r.right - r.left && size.cy <= r.bottom - r.top;
}

// A click on the label of the item next to the selection in the given direction
// (TVGN_PARENT, TVGN_NEXT, ...) or on the selection itself (TVGN_CARET).
void ClickItem(HWND tree, UINT code)
{
    HTREEITEM item = TreeNext(tree, TVGN_CARET);
    if (code != TVGN_CARET)
        item = TreeNext(tree, code, item);
    RECT r = {};
    std::memcpy(&r, &item, sizeof item); // TVM_GETITEMRECT takes the item in the rectangle
    ASSERT_TRUE(::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
    ::MapWindowPoints(tree, nullptr, reinterpret_cast<POINT*>(&r), 2);
    ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

} // namespace

// The drive list alone: every drive of GetLogicalDrives, labelled "C:", nothing
// selected, OK disabled and deaf; the close box leaves the path alone.
TEST_F(BrowseTest, EmptyPathOpensOnTheDrivesOnly)
{
    std::vector<ustring> drives;
    for (int i = 0; i < 26; ++i)
        if (::GetLogicalDrives() & (1u << i))
            drives.push_back(ustring(1, wchar_t(L'A' + i)) + L":");
    ustring path;
    CBrowseForFolderDlg dlg(nullptr, L"Choose the sweep folder", 0, path);
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Pause().Do([&] {
        EXPECT_EQ(ustring(L"Browse for Folder"), TextOf(h));
        EXPECT_EQ(ustring(L"Choose the sweep folder"), TextOf(::GetDlgItem(h, 1015)));
        EXPECT_EQ(drives, ChildLabels(TreeOf(h), nullptr));
        EXPECT_FALSE(TreeNext(TreeOf(h), TVGN_CARET));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(h, IDOK)));
        ::PostMessageW(h, WM_COMMAND, IDOK, 0); // no selection: nothing happens
    });
    d.Pause().Do([&] {
        EXPECT_EQ(h, ActiveDialog());
        ::PostMessageW(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, d.Run([&] { return dlg.DoModal(); }));
    EXPECT_EQ(ustring(), path);
}

// The tree opens unfolded along the initial path in any letter case; OK returns the
// path as the disk spells it, a drive root with its backslash, and a path that does not
// exist stops at its deepest existing folder.
TEST_F(BrowseTest, OpensUnfoldedAlongTheInitialPath)
{
    struct SCase
    {
        ustring initial, chosen;
    };
    const SCase cases[] = {
        {InCase(Path(L"Alpha Beta\\inner"), true), Path(L"Alpha Beta\\inner")},
        {InCase(Path(L"Ελληνικά\\Кириллица\\漢字 フォルダ"), false),
         Path(L"Ελληνικά\\Кириллица\\漢字 フォルダ")},
        {Path(L"Alpha Beta\\gone\\deeper"), Path(L"Alpha Beta")},
        {Path(L"Mixed Case\\"), Path(L"Mixed Case")},
        {L"c:\\", L"C:\\"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(Utf8(c.initial));
        ustring path = c.initial;
        CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
        HWND h = nullptr;
        CDriver d;
        d.WaitForDialog(h).Pause().Do([&] {
            std::vector<ustring> labels = Labels(c.chosen);
            EXPECT_EQ(labels, SelectedChain(TreeOf(h)));
            EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(h, IDOK)));
            ClickCentreOf(::GetDlgItem(h, IDOK));
        });
        EXPECT_EQ(IDOK, d.Run([&] { return dlg.DoModal(); }));
        EXPECT_EQ(c.chosen, path);
    }
}

// Folders are read from the disk on every expansion: collapsing frees the subtree and
// re-expanding shows what was created meanwhile; only folders with subfolders get an
// expand button; a folder that vanished while shown unfolds to nothing.
TEST_F(BrowseTest, ExpandsLazilyFromTheDisk)
{
    ustring path = Path(L"");
    path.erase(path.size() - 1);
    CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
    HWND h = nullptr, tree = nullptr;
    HTREEITEM root = nullptr, alpha = nullptr;
    CDriver d;
    // Keys go to the tree, which has the focus: + expands, - collapses the selection.
    auto key = [&](WPARAM vk) { return [&, vk] { PressKey(vk); }; };
    d.WaitForDialog(h).Pause().Do([&] {
        tree = TreeOf(h);
        root = TreeNext(tree, TVGN_CARET);
        EXPECT_EQ(Labels(m_root), SelectedChain(tree));
        EXPECT_FALSE(IsExpanded(tree, root));
        EXPECT_EQ(::GetFocus(), ::GetDlgItem(h, IDOK)) << "the focus starts on OK";
        ClickItem(tree, TVGN_CARET);
    });
    d.Pause().Do([&] { EXPECT_EQ(::GetFocus(), tree); });
    d.Do(key(VK_ADD)).Pause().Do([&] {
        EXPECT_EQ((std::vector<ustring>{L"Alpha Beta", L"empty", L"files only", L"Mixed Case",
                                        L"Ελληνικά"}),
                  ChildLabels(tree, root));
        for (const auto& [label, button] : {std::pair<const wchar_t*, bool>{L"Alpha Beta", true},
                                            {L"empty", false},
                                            {L"files only", false},
                                            {L"Mixed Case", true},
                                            {L"Ελληνικά", true}}) {
            HTREEITEM item = FindChild(tree, root, label);
            EXPECT_EQ(button, TreeNext(tree, TVGN_CHILD, item) != nullptr) << Utf8(label);
            if (button) {
                EXPECT_EQ(std::vector<ustring>{L""}, ChildLabels(tree, item)) << "a placeholder";
            }
        }
        alpha = FindChild(tree, root, L"Alpha Beta");
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(alpha));
        ::CreateDirectoryW(Path(L"Alpha Beta\\new one").c_str(), nullptr);
    });
    d.Do(key(VK_ADD)).Pause().Do([&] {
        EXPECT_EQ((std::vector<ustring>{L"inner", L"new one"}), ChildLabels(tree, alpha));
        ::CreateDirectoryW(Path(L"Alpha Beta\\later").c_str(), nullptr);
    });
    d.Do(key(VK_SUBTRACT)).Pause().Do([&] {
        EXPECT_FALSE(IsExpanded(tree, alpha));
        EXPECT_EQ(std::vector<ustring>{L""}, ChildLabels(tree, alpha)) << "the subtree is freed";
    });
    d.Do(key(VK_ADD)).Pause().Do([&] {
        EXPECT_EQ((std::vector<ustring>{L"inner", L"later", L"new one"}), ChildLabels(tree, alpha));
        // inner still shows its button; then it vanishes from the disk.
        HTREEITEM inner = FindChild(tree, alpha, L"inner");
        EXPECT_TRUE(TreeNext(tree, TVGN_CHILD, inner));
        tarn_kit_test::RemoveTree(Path(L"Alpha Beta\\inner"));
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(inner));
    });
    d.Do(key(VK_ADD)).Pause().Do([&] {
        HTREEITEM inner = TreeNext(tree, TVGN_CARET);
        EXPECT_EQ(ustring(L"inner"), ItemText(tree, inner));
        EXPECT_FALSE(TreeNext(tree, TVGN_CHILD, inner)) << "a vanished folder has no children";
        ::PostMessageW(h, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, d.Run([&] { return dlg.DoModal(); }));
    EXPECT_EQ(Path(L"Alpha Beta\\inner"), path);
}

// Cancel, Escape and the close box end the dialog with 2 and leave the path alone,
// also after the user selected another folder.
TEST_F(BrowseTest, CancelEscapeAndCloseBoxKeepThePath)
{
    const std::function<void(HWND)> ways[] = {
        [](HWND h) { ClickCentreOf(::GetDlgItem(h, IDCANCEL)); },
        [](HWND) { PressKey(VK_ESCAPE); },
        [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); },
    };
    for (const auto& way : ways) {
        const ustring initial = InCase(Path(L"Mixed Case\\Sub"), false);
        ustring path = initial;
        CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
        HWND h = nullptr;
        CDriver d;
        d.WaitForDialog(h).Pause().Do([&] { ClickItem(TreeOf(h), TVGN_PARENT); }).Pause().Do([&] {
            EXPECT_EQ(ustring(L"Mixed Case"), ItemText(TreeOf(h), TreeNext(TreeOf(h), TVGN_CARET)));
            way(h);
        });
        EXPECT_EQ(IDCANCEL, d.Run([&] { return dlg.DoModal(); }));
        EXPECT_EQ(initial, path);
    }
}

// The templates' layouts in dialog units, and the re-layout from the recorded rectangles:
// the prompt widens, the tree grows both ways, the buttons keep to the bottom centre.
TEST_F(BrowseTest, LayoutFollowsTheTemplatesAndTheWindowSize)
{
    struct SLayout
    {
        UINT id;
        RECT client, prompt, tree, ok, cancel; // x, y, cx, cy in dialog units
    };
    const SLayout layouts[] = {
        {110,
         {0, 0, 154, 164},
         {2, 4, 150, 8},
         {2, 15, 150, 128},
         {23, 146, 50, 14},
         {81, 146, 50, 14}},
        {111,
         {0, 0, 210, 113},
         {2, 4, 152, 8},
         {2, 15, 151, 97},
         {157, 78, 50, 14},
         {157, 97, 50, 14}},
    };
    // Position and size are converted apart, as the dialog manager does.
    auto pixels = [](HWND h, RECT dlu) {
        ::MapDialogRect(h, &dlu);
        return RECT{dlu.left, dlu.top, dlu.left + dlu.right, dlu.top + dlu.bottom};
    };
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    for (const SLayout& l : layouts) {
        HWND h = ::CreateDialogParamW(Library(), MAKEINTRESOURCEW(l.id), nullptr, &TemplateOnly, 0);
        ASSERT_TRUE(h) << l.id;
        RECT client = {};
        ::GetClientRect(h, &client);
        const RECT wantClient = pixels(h, l.client);
        EXPECT_TRUE(::EqualRect(&client, &wantClient));
        for (const auto& [id, r] : {std::pair<int, RECT>{1015, l.prompt},
                                    {1014, l.tree},
                                    {IDOK, l.ok},
                                    {IDCANCEL, l.cancel}}) {
            const RECT actual = ClientRectOf(h, ::GetDlgItem(h, id)), want = pixels(h, r);
            EXPECT_TRUE(::EqualRect(&actual, &want)) << l.id << " control " << id;
        }
        EXPECT_EQ(ustring(L"Browse for Folder"), TextOf(h));
        EXPECT_EQ(ClassOf(::GetDlgItem(h, 1014)), std::wstring(L"SysTreeView32"));
        ::DestroyWindow(h);
    }

    ustring path = Path(L"Alpha Beta");
    CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Pause().Do([&] {
        const int ids[] = {1015, 1014, IDOK, IDCANCEL};
        RECT before[4], client0 = {};
        ::GetClientRect(h, &client0);
        for (int i = 0; i < 4; ++i)
            before[i] = ClientRectOf(h, ::GetDlgItem(h, ids[i]));
        const RECT w0 = WindowRect(h);
        for (const SIZE grow : {SIZE{101, 60}, SIZE{-41, -33}, SIZE{250, 0}}) {
            ::SetWindowPos(h, nullptr, 0, 0, w0.right - w0.left + grow.cx,
                           w0.bottom - w0.top + grow.cy, SWP_NOMOVE | SWP_NOZORDER);
            RECT client = {};
            ::GetClientRect(h, &client);
            const int dx = client.right - client0.right, dy = client.bottom - client0.bottom;
            EXPECT_EQ(grow.cx, dx);
            RECT want[4] = {before[0], before[1], before[2], before[3]};
            want[0].right += dx;
            want[1].right += dx, want[1].bottom += dy;
            ::OffsetRect(&want[2], dx / 2, dy);
            ::OffsetRect(&want[3], dx / 2, dy);
            for (int i = 0; i < 4; ++i) {
                const RECT actual = ClientRectOf(h, ::GetDlgItem(h, ids[i]));
                EXPECT_TRUE(::EqualRect(&want[i], &actual))
                    << "control " << ids[i] << " after " << dx << "," << dy << ": " << actual.left
                    << "," << actual.top << "," << actual.right << "," << actual.bottom;
            }
        }
        ::PostMessageW(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, d.Run([&] { return dlg.DoModal(); }));
}

// Nesting as deep as CreateDirectoryW allows, past MAX_PATH if the platform lets it:
// the tree unfolds as far as FindFirstFileW can list each parent, the judge here.
TEST_F(BrowseTest, LongPathsUnfoldAsFarAsTheyCanBeListed)
{
    const ustring name = L"sweep folder with a rather long name 0123456789";
    std::vector<ustring> levels = {m_root};
    while (levels.back().size() < 400) {
        const ustring next = levels.back() + L"\\" + name;
        if (!::CreateDirectoryW(next.c_str(), nullptr))
            break;
        levels.push_back(next);
    }
    std::size_t listed = 0;
    while (listed + 1 < levels.size()) {
        WIN32_FIND_DATAW fd;
        HANDLE hFind = ::FindFirstFileW((levels[listed] + L"\\*.*").c_str(), &fd);
        if (hFind == INVALID_HANDLE_VALUE)
            break;
        ::FindClose(hFind);
        ++listed;
    }
    std::printf("deepest folder created: %u characters; deepest listed: %u characters\n",
                unsigned(levels.back().size()), unsigned(levels[listed].size()));
    ASSERT_GT(levels.back().size(), std::size_t(MAX_PATH - 20));

    ustring path = levels.back();
    CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
    HWND h = nullptr;
    CDriver d;
    d.WaitForDialog(h).Pause().Do([&] {
        EXPECT_EQ(Labels(levels[listed]), SelectedChain(TreeOf(h)));
        ::PostMessageW(h, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(IDOK, d.Run([&] { return dlg.DoModal(); }));
    EXPECT_EQ(levels[listed], path);
    // RemoveTree cannot reach that deep with plain paths: unwind from the bottom.
    for (auto it = levels.rbegin(); it + 1 != levels.rend(); ++it)
        ::RemoveDirectoryW(it->c_str());
}

// The system's picker: opened on the initial folder (the selection posted from its
// callback), OK returns that folder, Cancel leaves the path alone. A path longer than
// MAX_PATH - 1 characters is cut: here its first 259 characters name a folder.
TEST_F(BrowseTest, SystemPickerOpensOnTheInitialFolder)
{
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const ustring inner = Path(L"Alpha Beta\\inner");
    ustring longest = inner + L"\\";
    longest.append(MAX_PATH - 1 - longest.size(), L'x');
    ASSERT_TRUE(::CreateDirectoryW(longest.c_str(), nullptr));
    struct SCase
    {
        ustring initial;
        bool ok;
        ustring label, chosen;
    };
    // Wine's picker ignores the selection in the first picker of a process (its tree
    // opens on the desktop), so a first round is only a warm-up.
    const SCase cases[] = {
        {inner, false, L"", inner},
        {inner, true, L"inner", inner},
        {inner, false, L"inner", inner},
        {longest + L"\\beyond", true, longest.substr(inner.size() + 1), longest},
    };
    for (const SCase& c : cases) {
        ustring path = c.initial, selected;
        HWND h = nullptr;
        CDriver d;
        int ticks = 0;
        // The picker unfolds its tree to the posted selection in its own time.
        d.WaitForDialog(h).Then([&] {
            HWND tree = ::FindWindowExW(h, nullptr, L"SysTreeView32", nullptr);
            selected = ItemText(tree, TreeNext(tree, TVGN_CARET));
            return selected == c.label || ++ticks > (&c == cases ? 50 : 300);
        });
        d.Do([&] { ClickCentreOf(::GetDlgItem(h, c.ok ? IDOK : IDCANCEL)); });
        EXPECT_EQ(c.ok, d.Run([&] {
            return BrowseForFolder(nullptr, L"Choose the sweep folder", BIF_RETURNONLYFSDIRS, path);
        }));
        if (&c == cases) {
            std::printf("the first picker of the process opened on \"%s\"\n",
                        Utf8(selected).c_str());
            continue;
        }
        EXPECT_EQ(c.label, selected);
        EXPECT_EQ(c.ok ? c.chosen : c.initial, path);
    }
    if (SUCCEEDED(com))
        ::CoUninitialize();
}

// File-system folders against SHGetFolderPathW (Wine's spelling differs in case and a
// trailing backslash); virtual folders and unknown values give false and leave the path,
// except that Wine's SHGetPathFromIDListW names a virtual folder "::{CLSID}".
TEST(BrowseFunctionsTest, SpecialFolderLocationsMatchTheShell)
{
    auto bare = [](ustring s) {
        if (s.size() > 3 && s.back() == L'\\')
            s.pop_back();
        return s;
    };
    for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA,
                      CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_FONTS,
                      CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_RESOURCES}) {
        wchar_t judge[MAX_PATH] = {};
        ASSERT_EQ(S_OK, ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, judge));
        ustring path = L"unchanged";
        EXPECT_TRUE(GetSpecialFolderLocation(nullptr, csidl, path)) << "CSIDL " << csidl;
        EXPECT_EQ(0, bare(path).compareNoCase(bare(judge).c_str()))
            << "CSIDL " << csidl << ": " << Utf8(path) << " against " << Utf8(judge);
    }
    for (int csidl : {CSIDL_DRIVES, CSIDL_BITBUCKET, CSIDL_CONTROLS, 0x7F, -1}) {
        ustring path = L"unchanged";
        const bool b = GetSpecialFolderLocation(nullptr, csidl, path);
        if (b)
            EXPECT_EQ(0u, path.find(L"::{")) << "CSIDL " << csidl << ": " << Utf8(path);
        else
            EXPECT_EQ(ustring(L"unchanged"), path) << "CSIDL " << csidl;
    }
}

// The folder and document icon groups for applications: every size loads, and the
// pictures differ from each other and from the message icons.
TEST(BrowseFunctionsTest, FolderAndDocumentIconGroupsLoad)
{
    std::vector<std::vector<unsigned char>> seen;
    for (UINT group : {105u, 106u, 107u, 108u, 111u, 112u}) {
        for (int size : {16, 24, 32, 48}) {
            HICON h = static_cast<HICON>(
                ::LoadImageW(Library(), MAKEINTRESOURCEW(group), IMAGE_ICON, size, size, 0));
            EXPECT_TRUE(h) << group << " at " << size;
            ::DestroyIcon(h);
        }
        seen.push_back(GroupPixels(group));
        EXPECT_FALSE(seen.back().empty());
        for (std::size_t i = 0; i + 1 < seen.size(); ++i)
            EXPECT_NE(seen[i], seen.back()) << group;
    }
}

// Dialogs unfolded along a path with their icons drawn leak nothing.
TEST_F(BrowseTest, DialogsLeakNoSlot)
{
    ExpectNoSlotLeak(
        "folder browsers",
        [&] {
            ustring path = Path(L"Ελληνικά\\Кириллица");
            CBrowseForFolderDlg dlg(nullptr, L"Folder", 0, path);
            HWND h = nullptr;
            CDriver d;
            d.WaitForDialog(h).Do([&] { ::PostMessageW(h, WM_COMMAND, IDOK, 0); });
            EXPECT_EQ(IDOK, d.Run([&] { return dlg.DoModal(); }));
        },
        50);
}

// English and German (res/TarnKit.de.lng): unfolded along a test path, a folder selected,
// the system's icons beside the labels.
TEST_F(BrowseTest, ScreenshotsInEnglishAndGerman)
{
    struct SLanguage
    {
        const wchar_t *lng, *title, *caption, *cancel, *shot;
    };
    const SLanguage languages[] = {
        {nullptr, L"Choose the folder of the sweep files", L"Browse for Folder", L"Cancel",
         L"browse_en"},
        {L"TarnKit.de.lng", L"Ordner der Messdateien wählen", L"Ordner suchen", L"Abbrechen",
         L"browse_de"},
    };
    CTranslator& t = CTranslatorInstance::Ref();
    for (const SLanguage& l : languages) {
        if (l.lng) {
            ASSERT_TRUE(t.LoadLanguageFile(tarn_kit_test::BesideModule(nullptr, l.lng).c_str()));
        }
        ustring path = Path(L"Ελληνικά\\Кириллица");
        CBrowseForFolderDlg dlg(nullptr, l.title, 0, path);
        HWND h = nullptr;
        CDriver d;
        d.WaitForDialog(h).Pause().Do([&] {
            EXPECT_EQ(ustring(l.caption), TextOf(h));
            EXPECT_EQ(ustring(l.title), TextOf(::GetDlgItem(h, 1015)));
            EXPECT_EQ(ustring(l.cancel), TextOf(::GetDlgItem(h, IDCANCEL)));
            EXPECT_TRUE(CaptionFits(::GetDlgItem(h, IDCANCEL)));
            EXPECT_TRUE(TextFits(::GetDlgItem(h, 1015)));
            // Each item's image is the one the shell gives its path.
            HWND tree = TreeOf(h);
            HTREEITEM sel = TreeNext(tree, TVGN_CARET);
            TVITEMW it = {};
            it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
            it.hItem = sel;
            ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
            SHFILEINFOW info = {};
            const auto list = ::SHGetFileInfoW(path.c_str(), 0, &info, sizeof info,
                                               SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
            EXPECT_EQ(list, ::SendMessageW(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
            EXPECT_EQ(info.iIcon, it.iImage);
            EXPECT_EQ(info.iIcon, it.iSelectedImage);
            ::SetFocus(tree); // the selection in the colours of a focused tree
        });
        d.Pause().Do([&] {
            SaveScreenshot(h, l.shot);
            ::PostMessageW(h, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(IDOK, d.Run([&] { return dlg.DoModal(); }));
        EXPECT_EQ(Path(L"Ελληνικά\\Кириллица"), path);
    }
    t = CTranslator();
}
