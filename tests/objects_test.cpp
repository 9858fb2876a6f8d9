// Kernel objects: ownership of handles, events, critical sections, mutexes and
// their lockers, overlapped records, and forced failures of every wrapper.
#include <winsock2.h>

#include "test_common.h"

#include <tarn_kit/file.h>
#include <tarn_kit/objects.h>

#include <thread>

using namespace tarn_kit;

namespace {

const wchar_t* const kObject = L".\\Object";
// Object names of this run only.
const ustring kName = L"tarnkit-test-" + std::to_wstring(::GetCurrentProcessId());
// Winsock events need Winsock started; it stays started for the whole program.
WSADATA g_wsaData;
[[maybe_unused]] const int kWinsockStarted = ::WSAStartup(MAKEWORD(2, 2), &g_wsaData);

// A zero wait: it consumes the signal of an auto-reset event.
const auto IsSignalled = [](HANDLE h) { return ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0; };

// Whether another thread can lock obj now (it lets go at once); arg means "do not wait".
template <class T, class Arg>
bool OthersCanLock(T&& obj, Arg arg)
{
    bool locked = false;
    std::thread([&] {
        if ((locked = obj.Lock(arg)))
            obj.Unlock();
    }).join();
    return locked;
}

} // namespace

TEST(CHandleTest, AttachDetachAndClose)
{
    auto isOpen = [](HANDLE h) { return ::WaitForSingleObject(h, 0) != WAIT_FAILED; };
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE other = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CHandle h;
    EXPECT_TRUE(h.Attach(raw));
    EXPECT_FALSE(h.Attach(other)); // changes nothing, closes nothing
    EXPECT_EQ(raw, h.Detach());
    EXPECT_EQ(nullptr, h.Detach());
    EXPECT_TRUE(isOpen(raw) && isOpen(other));
    EXPECT_TRUE(h.Attach(raw));
    h.Close();
    h.Close(); // nothing owned: nothing happens
    EXPECT_FALSE(h.IsCreated());
    EXPECT_FALSE(isOpen(raw));
    EXPECT_TRUE(::CloseHandle(other));
    EXPECT_EQ(INVALID_HANDLE_VALUE, CFile().Detach()); // the null value of files
}

TEST(CEventTest, KindsStatesAndOverlappedRecords)
{
    CEvent autoReset, manual(nullptr, TRUE, FALSE, kName), opened(EVENT_ALL_ACCESS, FALSE, kName);
    COverlapped ov, ov2(nullptr, TRUE);
    CWSAEvent wsa;
    CWSAOverlapped wsaOv;
    // A zero wait after a set tells the kinds apart: it resets an auto-reset event.
    auto check = [](HANDLE h, bool manual, auto signal) {
        EXPECT_FALSE(IsSignalled(h));
        signal(true);
        EXPECT_TRUE(IsSignalled(h));
        EXPECT_EQ(manual, IsSignalled(h));
        signal(true);
        signal(false);
        EXPECT_FALSE(IsSignalled(h));
    };
    check(autoReset, false, [&](bool on) { on ? autoReset.Set() : autoReset.Reset(); });
    check(manual, true, [&](bool on) { on ? opened.Set() : opened.Reset(); }); // one named event
    check(ov.hEvent, false, [&](bool on) { on ? ov.SetEvent() : ov.ResetEvent(); });
    check(ov2.hEvent, true, [&](bool on) { on ? ov2.SetEvent() : ov2.ResetEvent(); });
    check(wsa, true, [&](bool on) { on ? wsa.Set() : wsa.Reset(); });
    check(wsaOv.hEvent, true, [&](bool on) { on ? wsaOv.SetEvent() : wsaOv.ResetEvent(); });
    EXPECT_TRUE(IsSignalled(CEvent(nullptr, FALSE, TRUE)));
    for (OVERLAPPED* p : {static_cast<OVERLAPPED*>(&ov), static_cast<OVERLAPPED*>(&wsaOv)})
        EXPECT_EQ(0u, p->Internal | p->InternalHigh | p->Offset | p->OffsetHigh);
}

TEST(CCriticalSectionTest, TryLockFailsOnlyForOtherThreads)
{
    CCriticalSection cs;
    {
        CLocker<CCriticalSection> lock(cs);
        EXPECT_TRUE(cs.Lock(false)); // re-entry by the owner
        EXPECT_FALSE(OthersCanLock(cs, false));
        cs.Unlock();
        EXPECT_FALSE(OthersCanLock(cs, false)); // still held, by the locker
    }
    EXPECT_TRUE(OthersCanLock(cs, false));
}

TEST(CMutexTest, HeldByAnotherThreadThenAbandoned)
{
    CMutex mutex;
    CEvent held, release;
    std::thread owner([&] {
        EXPECT_TRUE(mutex.Lock(INFINITE));
        held.Set();
        ::WaitForSingleObject(release, INFINITE);
    }); // ends without Unlock
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held, INFINITE));
    EXPECT_FALSE(mutex.Lock(0));
    release.Set();
    owner.join();
    EXPECT_TRUE(mutex.Lock(0)); // abandoned counts as acquired
    mutex.Unlock();
    {
        CLocker<CMutex> lock(mutex);
        EXPECT_FALSE(OthersCanLock(mutex, 0));
    }
    EXPECT_TRUE(OthersCanLock(mutex, 0));
    EXPECT_FALSE(OthersCanLock(CMutex(nullptr, TRUE), 0)); // created owned
}

// Real failures: names taken by another type, and raw handles closed behind the wrappers' backs.
TEST(CHandleTest, FailuresNameTheCallAndTheCode)
{
    const ustring mutexName = kName + L"-mutex";
    CEvent event, taken(nullptr, FALSE, FALSE, kName);
    CMutex mutex, takenMutex(nullptr, FALSE, mutexName);
    CWSAEvent wsa;
    auto* ov = new COverlapped;
    // Not the owner; while this unwinds, the locker's own unlock fails and must stay inside.
    auto unlockTwice = [] {
        CMutex m;
        CLocker<CMutex> lock(m);
        m.Unlock();
        m.Unlock();
    };
    EXPECT_WIN_EXCEPTION(unlockTwice(), kObject, L"ReleaseMutex", ERROR_NOT_OWNER);
    // Codes by number where the name would not fit: 2 not found, 6 invalid handle.
    EXPECT_WIN_EXCEPTION(CEvent(EVENT_ALL_ACCESS, 0, L"tk-none"), kObject, L"OpenEventW", 2);
    EXPECT_WIN_EXCEPTION(CEvent(nullptr, 0, 0, mutexName), kObject, L"CreateEventW", 6);
    EXPECT_WIN_EXCEPTION(CMutex(nullptr, FALSE, kName), kObject, L"CreateMutexW", 6);
    for (HANDLE h : {HANDLE(event), HANDLE(mutex), HANDLE(wsa), ov->hEvent})
        ASSERT_TRUE(::CloseHandle(h));
    EXPECT_WIN_EXCEPTION(event.Set(), kObject, L"SetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(event.Reset(), kObject, L"ResetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION((void)mutex.Lock(0), kObject, L"WaitForSingleObject", 6);
    EXPECT_WIN_EXCEPTION(wsa.Set(), kObject, L"SetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(wsa.Reset(), kObject, L"ResetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(ov->SetEvent(), kObject, L"SetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(ov->ResetEvent(), kObject, L"ResetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(wsa.Close(), kObject, L"WSACloseEvent", WSA_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(event.Close(), kObject, L"CloseHandle", ERROR_INVALID_HANDLE);
    EXPECT_TRUE(mutex.IsCreated() && wsa.IsCreated()); // a failed WSACloseEvent keeps the handle
    EXPECT_EQ(nullptr, static_cast<void*>(event));     // a failed CloseHandle forgets it first
    mutex.Detach();
    wsa.Detach();
    delete ov; // its event's CloseHandle fails inside a destructor: dropped
}

TEST(CHandleTest, CreateCloseCyclesLeakNoHandle)
{
    tarn_kit_test::ExpectNoHandleLeak([] {
        CEvent event(nullptr, TRUE, FALSE, kName), opened(EVENT_MODIFY_STATE, FALSE, kName);
        CMutex mutex;
        CLocker<CMutex> lock(mutex);
        COverlapped ov;
        CWSAOverlapped wsaOv;
        CWSAEvent wsaEvent, closed;
        closed.Close();
        CHandle attached;
        EXPECT_TRUE(attached.Attach(::CreateEventW(nullptr, FALSE, FALSE, nullptr)));
        EXPECT_THROW(CEvent(EVENT_ALL_ACCESS, FALSE, L"tk-none"), CWinException);
    });
}
