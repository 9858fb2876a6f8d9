// Threads: CThread's control of a real thread and its failures, CAPC pumping a real window's
// messages through its wake-mask filter while a worker runs, and MsgSleep repainting.
#include "test_common.h"

#include <tarn_kit/thread.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>

using namespace tarn_kit;
using namespace tarn_kit_test;

namespace {

const wchar_t* const kThread = L".\\Thread";
DWORD s_code; // where raw calls that fail may put an exit code

DWORD WINAPI ReturnParam(void* param)
{
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(param));
}

DWORD WINAPI WaitForEvent(void* param)
{
    ::WaitForSingleObject(static_cast<HANDLE>(param), INFINITE);
    return 11;
}

void Join(HANDLE h)
{
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(h, 30000));
}

// A visible top-level window that records every message it receives. It validates itself on
// WM_PAINT unless told not to, which leaves it invalid for good.
class TestWindow
{
public:
    TestWindow()
    {
        static const ATOM atom = [] {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = L"TarnKitThreadTest";
            return ::RegisterClassW(&wc);
        }();
        // No caption: without a window manager a captioned window is slow to destroy.
        m_hWnd =
            ::CreateWindowExW(0, MAKEINTATOM(atom), L"thread test", WS_POPUP | WS_VISIBLE, 10, 10,
                              160, 120, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (!m_hWnd)
            return;
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::UpdateWindow(m_hWnd);
        Drain();
        m_received.clear();
        m_paints = 0;
    }
    ~TestWindow()
    {
        if (m_hWnd)
            ::DestroyWindow(m_hWnd);
        Drain();
    }
    operator HWND() const { return m_hWnd; }

    static void Drain()
    {
        MSG msg;
        for (int i = 0; i < 1000 && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
            ::DispatchMessageW(&msg);
    }

    std::set<UINT> m_received;
    std::atomic<int> m_paints{0};
    bool m_bValidate = true;
    CEvent m_painted{nullptr, TRUE}, m_userSeen{nullptr, TRUE};

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (!self)
            return ::DefWindowProcW(hWnd, msg, wParam, lParam);
        if (msg == WM_PAINT) {
            ++self->m_paints;
            self->m_painted.Set();
            if (!self->m_bValidate)
                return 0;
            PAINTSTRUCT ps;
            ::BeginPaint(hWnd, &ps);
            ::EndPaint(hWnd, &ps);
            return 0;
        }
        // Only the kinds the tests post are recorded (painting sends others), and they get no
        // default handling.
        if ((msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || msg == WM_HOTKEY || msg == WM_TIMER ||
            (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST) || msg >= WM_USER) {
            self->m_received.insert(msg);
            if (msg >= WM_USER)
                self->m_userSeen.Set();
            return 0;
        }
        return ::DefWindowProcW(hWnd, msg, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
};

#define REQUIRE_WINDOW(w)                                                                          \
    if (!(w))                                                                                      \
    GTEST_SKIP() << "no window could be created (no display?): " << ::GetLastError()

// A CAPC whose work is a function.
template <class F>
class Apc : public CAPC
{
public:
    Apc(DWORD dwMask, F f) : CAPC(dwMask), m_f(f) {}
    DWORD Run() override { return m_f(); }

private:
    F m_f;
};

// Ends a pump that never stops: after a generous time it validates the window (which ends the
// endless WM_PAINT) and reports that it had to.
class Watchdog
{
public:
    explicit Watchdog(HWND hWnd)
        : m_thread([this, hWnd] {
              if (::WaitForSingleObject(m_done, 30000) == WAIT_TIMEOUT) {
                  m_bFired = true;
                  ::ValidateRect(hWnd, nullptr);
              }
          })
    {}
    ~Watchdog() { Stop(); }
    /// Whether the watchdog had to break the pump.
    bool Stop()
    {
        if (m_thread.joinable()) {
            m_done.Set();
            m_thread.join();
        }
        return m_bFired;
    }

private:
    CEvent m_done{nullptr, TRUE};
    std::atomic<bool> m_bFired{false};
    std::thread m_thread;
};

} // namespace

TEST(CThreadTest, CreateRunsControlsAndReportsTheThread)
{
    CThread t;
    EXPECT_EQ(0u, t.GetId());
    t.Create(nullptr, 0, ReturnParam, reinterpret_cast<void*>(42), CREATE_SUSPENDED);
    EXPECT_EQ(::GetThreadId(t), t.GetId());
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), t.GetExitCode());
    t.SetThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
    EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, t.GetPriority());
    EXPECT_EQ(1u, t.Suspend()); // counts: 1 -> 2 -> 1 -> 0
    EXPECT_EQ(2u, t.Resume());
    EXPECT_EQ(1u, t.Resume());
    Join(t);
    EXPECT_EQ(42u, t.GetExitCode());
    t.Close();
    EXPECT_EQ(0u, t.GetId());
    EXPECT_FALSE(t.IsCreated());
}

// Create again forgets the first thread, which keeps running; Terminate stops a thread and
// forgets its id, but the handle stays open.
TEST(CThreadTest, CreateAgainAndTerminate)
{
    CEvent release(nullptr, TRUE);
    CThread t;
    t.Create(WaitForEvent, static_cast<HANDLE>(release));
    DWORD first = t.GetId();
    t.Create(WaitForEvent, static_cast<HANDLE>(release));
    EXPECT_NE(first, t.GetId());
    HANDLE h = ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, first);
    ASSERT_TRUE(h) << "the first thread is gone";
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeThread(h, &code) && code == STILL_ACTIVE);
    t.Terminate(77);
    EXPECT_EQ(0u, t.GetId());
    EXPECT_TRUE(t.IsCreated());
    Join(t);
    EXPECT_EQ(77u, t.GetExitCode());
    release.Set();
    Join(h);
    ::CloseHandle(h);
}

// Without a handle, then with one closed behind the wrapper's back (a copy keeps the thread):
// every wrapper fails like the raw call, a failed Terminate forgets the id all the same, and
// Close reports the handle it could not close (from ".\Object"), leaving the object empty.
TEST(CThreadTest, EveryWrapperFailsLikeTheRawCallWithoutALiveHandle)
{
    CEvent never(nullptr, TRUE);
    CThread t;
    HANDLE h = nullptr, copy = nullptr;
    const struct
    {
        const wchar_t* call;
        std::function<BOOL()> raw;
        std::function<void()> wrapper;
    } cases[] = {
        {L"TerminateThread", [&] { return ::TerminateThread(h, 0); }, [&] { t.Terminate(0); }},
        {L"SuspendThread", [&] { return ::SuspendThread(h) != DWORD(-1); }, [&] { t.Suspend(); }},
        {L"ResumeThread", [&] { return ::ResumeThread(h) != DWORD(-1); }, [&] { t.Resume(); }},
        {L"GetThreadPriority",
         [&] { return ::GetThreadPriority(h) != THREAD_PRIORITY_ERROR_RETURN; },
         [&] { t.GetPriority(); }},
        {L"SetThreadPriority", [&] { return ::SetThreadPriority(h, 0); },
         [&] { t.SetThreadPriority(0); }},
        {L"GetExitCodeThread", [&] { return ::GetExitCodeThread(h, &s_code); },
         [&] { t.GetExitCode(); }},
    };
    for (bool closed : {false, true}) {
        if (closed) {
            t.Create(WaitForEvent, static_cast<HANDLE>(never));
            h = t;
            ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0,
                                          FALSE, DUPLICATE_SAME_ACCESS) &&
                        ::CloseHandle(h));
        }
        for (const auto& c : cases)
            EXPECT_FALSE(ExpectLikeRaw(kThread, c.call, c.raw, c.wrapper)) << closed;
        EXPECT_EQ(0u, t.GetId());
    }
    EXPECT_WIN_EXCEPTION(t.Close(), L".\\Object", L"CloseHandle", ERROR_INVALID_HANDLE);
    EXPECT_FALSE(t.IsCreated());
    never.Set();
    Join(copy);
    ::CloseHandle(copy);
}

TEST(CAPCTest, InvokeReturnsWhatRunReturnedOrThrewOnAnotherThread)
{
    const DWORD caller = ::GetCurrentThreadId();
    DWORD worker = caller;
    for (DWORD mask : {DWORD(QS_PAINT), DWORD(0), DWORD(QS_ALLINPUT)}) {
        Apc apc(mask, [&] {
            worker = ::GetCurrentThreadId();
            return DWORD(7);
        });
        EXPECT_EQ(7u, apc.Invoke());
        EXPECT_NE(caller, worker);
    }
    // A result equal to STILL_ACTIVE is still a result; the worker's exceptions reach the caller.
    EXPECT_EQ(DWORD(STILL_ACTIVE), Apc(QS_PAINT, [] { return DWORD(STILL_ACTIVE); }).Invoke());
    auto winFailure = Apc(QS_PAINT, []() -> DWORD {
        CThread none;
        return none.GetExitCode(); // throws on the worker thread
    });
    DWORD code = RawError([] { return ::GetExitCodeThread(nullptr, &s_code); });
    EXPECT_WIN_EXCEPTION(winFailure.Invoke(), kThread, L"GetExitCodeThread", code);

    auto stdFailure = Apc(QS_PAINT, []() -> DWORD { throw std::runtime_error("TK-100 gone"); });
    try {
        stdFailure.Invoke();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("TK-100 gone", e.what());
    }
}

// Each wake-mask bit against the messages it lets through, judged by a table of its own. The
// worker posts every probe, then invalidates the window: the paint wakes the pump (posted
// messages wake it only with QS_POSTMESSAGE) and comes after every posted message.
TEST(CAPCTest, WakeMaskChoosesTheMessagesDispatchedOthersAreDiscarded)
{
    TestWindow w;
    REQUIRE_WINDOW(w);
    const UINT probes[] = {WM_KEYDOWN,       WM_KEYUP,      WM_CHAR,        WM_SYSKEYDOWN,
                           WM_SYSKEYUP,      WM_MOUSEMOVE,  WM_LBUTTONDOWN, WM_LBUTTONUP,
                           WM_MBUTTONDBLCLK, WM_MOUSEWHEEL, WM_TIMER,       WM_HOTKEY,
                           WM_USER,          WM_APP + 5,    WM_SYSCHAR};
    struct Row
    {
        DWORD bit;
        std::set<UINT> let;
    };
    const Row rows[] = {
        {QS_PAINT, {}},
        {QS_KEY, {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP}},
        {QS_MOUSEMOVE, {WM_MOUSEMOVE}},
        {QS_MOUSEBUTTON, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MBUTTONDBLCLK}},
        {QS_POSTMESSAGE, {WM_USER, WM_APP + 5}},
        {QS_TIMER, {WM_TIMER}},
        {QS_HOTKEY, {WM_HOTKEY}},
        {QS_ALLINPUT,
         {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_MOUSEMOVE, WM_LBUTTONDOWN,
          WM_LBUTTONUP, WM_MBUTTONDBLCLK, WM_TIMER, WM_HOTKEY, WM_USER, WM_APP + 5}},
    };
    HWND hWnd = w;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bit);
        w.m_received.clear();
        w.m_paints = 0;
        w.m_painted.Reset();
        CEvent& painted = w.m_painted;
        Apc apc(row.bit | QS_PAINT, [&] {
            for (UINT msg : probes)
                ::PostMessageW(hWnd, msg, 0, 0); // lParam 0: a WM_TIMER without a procedure
            ::PostThreadMessageW(::GetWindowThreadProcessId(hWnd, nullptr), WM_QUIT, 0, 0);
            ::InvalidateRect(hWnd, nullptr, TRUE);
            return ::WaitForSingleObject(painted, 30000);
        });
        EXPECT_EQ(WAIT_OBJECT_0, apc.Invoke()) << "the paint was not delivered";
        EXPECT_GE(w.m_paints, 1);
        EXPECT_EQ(row.let, w.m_received);
        MSG msg;
        EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD))
            << "left in the queue: " << msg.message;
    }
}

// A window that stays invalid makes WM_PAINT for ever. Discarded (no QS_PAINT) or dispatched
// to a window that does not validate itself, it must not keep the pump from waiting again.
TEST(CAPCTest, PumpEndsWhenTheQueueIsEmptyThoughAWindowStaysInvalid)
{
    TestWindow w;
    REQUIRE_WINDOW(w);
    w.m_bValidate = false;
    HWND hWnd = w;
    for (DWORD mask : {DWORD(QS_POSTMESSAGE), DWORD(QS_POSTMESSAGE | QS_PAINT)}) {
        SCOPED_TRACE(mask);
        w.m_received.clear();
        w.m_paints = 0;
        w.m_userSeen.Reset();
        ::InvalidateRect(hWnd, nullptr, TRUE);
        Watchdog watchdog(hWnd);
        CEvent& userSeen = w.m_userSeen;
        Apc apc(mask, [&] {
            ::PostMessageW(hWnd, WM_USER + 1, 0, 0);
            // Still working after the pump's round: the pump must be back in its wait.
            DWORD r = ::WaitForSingleObject(userSeen, 30000);
            ::Sleep(200);
            return r;
        });
        EXPECT_EQ(WAIT_OBJECT_0, apc.Invoke());
        EXPECT_FALSE(watchdog.Stop()) << "the pump kept peeking the same WM_PAINT";
        EXPECT_TRUE(w.m_received.count(WM_USER + 1));
        EXPECT_EQ(mask & QS_PAINT ? 1 : 0, w.m_paints > 0 ? 1 : 0);
        ::ValidateRect(hWnd, nullptr);
    }
}

TEST(MsgSleepTest, RepaintsLosesOtherMessagesAndReturnsOnTime)
{
    TestWindow w;
    REQUIRE_WINDOW(w);
    HWND hWnd = w;
    ::PostMessageW(hWnd, WM_LBUTTONDOWN, 0, 0);
    ::PostMessageW(hWnd, WM_USER, 0, 0);
    ::PostQuitMessage(0);
    ::InvalidateRect(hWnd, nullptr, TRUE);
    DWORD start = ::GetTickCount();
    MsgSleep(50);
    DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, 50u);
    EXPECT_GE(w.m_paints, 1);
    EXPECT_TRUE(w.m_received.empty());
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_NOYIELD)) << msg.message;

    // A paint from another thread in the middle of the sleep is delivered too.
    w.m_paints = 0;
    std::thread later([&] {
        ::Sleep(100);
        ::InvalidateRect(hWnd, nullptr, TRUE);
    });
    MsgSleep(600);
    later.join();
    EXPECT_GE(w.m_paints, 1);

    // No wait at all: the queue is not touched.
    ::PostMessageW(hWnd, WM_USER, 0, 0);
    MsgSleep(0);
    EXPECT_TRUE(::PeekMessageW(&msg, hWnd, WM_USER, WM_USER, PM_REMOVE));

    // A window that never validates itself does not keep the sleep from ending.
    w.m_bValidate = false;
    ::InvalidateRect(hWnd, nullptr, TRUE);
    Watchdog watchdog(hWnd);
    MsgSleep(100);
    EXPECT_FALSE(watchdog.Stop());
    ::ValidateRect(hWnd, nullptr);
}

// Ten thousand threads, then a thousand cycles of an APC and a MsgSleep: slot reuse shows
// any handle a cycle leaves open.
TEST(CThreadTest, ThreadApcAndMsgSleepCyclesLoseNoHandle)
{
    ExpectNoHandleLeak([] {
        for (int i = 0; i < 10; ++i) {
            CThread t;
            t.Create(ReturnParam, nullptr);
            Join(t);
            t.Close();
        }
    });
    Apc apc(QS_PAINT, [] { return DWORD(0); });
    ExpectNoHandleLeak([&] {
        apc.Invoke();
        MsgSleep(1);
    });
}
