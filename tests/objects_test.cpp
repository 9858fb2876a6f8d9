// Kernel objects: ownership of handles, events, critical sections, mutexes and
// their lockers, overlapped records, and forced failures of every wrapper.
#include <winsock2.h>

#include "test_common.h"

#include <tarn_kit/file.h>
#include <tarn_kit/objects.h>

#include <functional>
#include <thread>

using namespace tarn_kit;

namespace {

const wchar_t* const kObject = L".\\Object";

// True while h names an open kernel object of this process.
bool IsOpenHandle(HANDLE h)
{
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

// The state of an event, read without changing a manual-reset one: a zero wait
// consumes the signal of an auto-reset event, so callers note which they test.
bool IsSignalled(HANDLE h)
{
    return ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
}

// A unique object name per test, so runs never meet each other's objects.
ustring UniqueName(const wchar_t* what)
{
    ustring name;
    name.sprintf(L"tarnkit-test-%s-%lu-%lu", what, ::GetCurrentProcessId(), ::GetTickCount());
    return name;
}

// Runs f on a thread of its own and waits for it to end.
void OnOtherThread(const std::function<void()>& f)
{
    std::thread t(f);
    t.join();
}

// Winsock started for the tests of its events.
class WinsockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(0, ::WSAStartup(MAKEWORD(2, 2), &data));
    }
    void TearDown() override { ::WSACleanup(); }
};

} // namespace

// CHandle

TEST(CHandleTest, AttachDetachAndCloseTwice)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, raw);

    CHandle h;
    EXPECT_FALSE(h.IsCreated());
    EXPECT_EQ(nullptr, static_cast<void*>(h));
    EXPECT_TRUE(h.Attach(raw));
    EXPECT_TRUE(h.IsCreated());
    EXPECT_EQ(raw, static_cast<void*>(h));

    // A second Attach changes nothing and closes nothing.
    HANDLE other = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(h.Attach(other));
    EXPECT_EQ(raw, static_cast<void*>(h));
    EXPECT_TRUE(IsOpenHandle(raw));
    EXPECT_TRUE(::CloseHandle(other));

    EXPECT_EQ(raw, h.Detach());
    EXPECT_FALSE(h.IsCreated());
    EXPECT_EQ(nullptr, h.Detach());
    EXPECT_TRUE(IsOpenHandle(raw)); // Detach closes nothing

    EXPECT_TRUE(h.Attach(raw));
    h.Close();
    EXPECT_FALSE(h.IsCreated());
    EXPECT_FALSE(IsOpenHandle(raw));
    h.Close(); // nothing owned: nothing happens
    EXPECT_FALSE(h.IsCreated());
}

TEST(CHandleTest, EmptyObjectsDetachTheirNullValue)
{
    CFile file;
    EXPECT_EQ(INVALID_HANDLE_VALUE, file.Detach());
    EXPECT_FALSE(file.IsCreated());
    CEvent event;
    event.Close();
    EXPECT_EQ(nullptr, event.Detach());
}

TEST(CHandleTest, DestructorClosesTheHandle)
{
    HANDLE raw = nullptr;
    {
        CEvent event;
        raw = event;
        EXPECT_TRUE(IsOpenHandle(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(CHandleTest, DestructorDropsACloseFailure)
{
    // A foreign handle closed behind the wrapper's back: the destructor's CloseHandle
    // fails, and the failure must not leave the destructor.
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        CHandle h;
        ASSERT_TRUE(h.Attach(raw));
        ASSERT_TRUE(::CloseHandle(raw));
    }
    SUCCEED();
}

TEST(CHandleTest, CloseFailureForgetsTheHandleThenThrows)
{
    CEvent event;
    HANDLE raw = event;
    ASSERT_TRUE(::CloseHandle(raw));
    EXPECT_WIN_EXCEPTION(event.Close(), kObject, L"CloseHandle", ERROR_INVALID_HANDLE);
    EXPECT_FALSE(event.IsCreated());
    EXPECT_EQ(nullptr, static_cast<void*>(event));
    event.Close();
}

// CEvent

TEST(CEventTest, DefaultIsAutoResetAndNotSignalled)
{
    CEvent event;
    ASSERT_TRUE(event.IsCreated());
    EXPECT_FALSE(IsSignalled(event));
    event.Set();
    EXPECT_TRUE(IsSignalled(event));
    EXPECT_FALSE(IsSignalled(event)); // the wait reset it
}

TEST(CEventTest, ManualResetStaysSignalledUntilReset)
{
    CEvent event(nullptr, TRUE, TRUE);
    EXPECT_TRUE(IsSignalled(event));
    EXPECT_TRUE(IsSignalled(event));
    event.Reset();
    EXPECT_FALSE(IsSignalled(event));
}

TEST(CEventTest, OpenFindsTheNamedEvent)
{
    ustring name = UniqueName(L"event");
    CEvent created(nullptr, TRUE, FALSE, name);
    CEvent opened(EVENT_ALL_ACCESS, FALSE, name);
    EXPECT_NE(static_cast<void*>(created), static_cast<void*>(opened));
    opened.Set();
    EXPECT_TRUE(IsSignalled(created));
    created.Reset();
    EXPECT_FALSE(IsSignalled(opened));
}

TEST(CEventTest, FailuresNameTheCall)
{
    EXPECT_WIN_EXCEPTION(CEvent(EVENT_ALL_ACCESS, FALSE, UniqueName(L"missing")), kObject,
                         L"OpenEventW", ERROR_FILE_NOT_FOUND);

    // A name taken by an object of another type.
    ustring name = UniqueName(L"taken");
    CMutex mutex(nullptr, FALSE, name);
    EXPECT_WIN_EXCEPTION(CEvent(nullptr, FALSE, FALSE, name), kObject, L"CreateEventW",
                         ERROR_INVALID_HANDLE);

    CEvent event;
    ASSERT_TRUE(::CloseHandle(event));
    EXPECT_WIN_EXCEPTION(event.Set(), kObject, L"SetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(event.Reset(), kObject, L"ResetEvent", ERROR_INVALID_HANDLE);
    EXPECT_TRUE(event.IsCreated()); // only Close forgets the handle
    event.Detach();
}

// CCriticalSection

TEST(CCriticalSectionTest, TryLockFailsOnlyForOtherThreads)
{
    CCriticalSection cs;
    EXPECT_FALSE(cs.IsCreated());
    cs.Close(); // owns no handle: nothing to do
    EXPECT_EQ(nullptr, cs.Detach());

    EXPECT_TRUE(cs.Lock(true));
    EXPECT_TRUE(cs.Lock(false)); // re-entry by the owner
    bool bOther = true;
    OnOtherThread([&] { bOther = cs.Lock(false); });
    EXPECT_FALSE(bOther);

    cs.Unlock();
    OnOtherThread([&] { bOther = cs.Lock(false); });
    EXPECT_FALSE(bOther); // still held once

    cs.Unlock();
    OnOtherThread([&] {
        bOther = cs.Lock(false);
        if (bOther)
            cs.Unlock();
    });
    EXPECT_TRUE(bOther);
}

// CMutex

TEST(CMutexTest, HeldByAnotherThreadTimesOut)
{
    CMutex mutex;
    CEvent held, release;
    std::thread owner([&] {
        EXPECT_TRUE(mutex.Lock(INFINITE));
        held.Set();
        ::WaitForSingleObject(release, INFINITE);
        mutex.Unlock();
    });
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(held, INFINITE));
    EXPECT_FALSE(mutex.Lock(0));
    release.Set();
    owner.join();

    EXPECT_TRUE(mutex.Lock(0));
    EXPECT_TRUE(mutex.Lock(0)); // re-entry by the owner
    mutex.Unlock();
    mutex.Unlock();
}

TEST(CMutexTest, AbandonedMutexCountsAsAcquired)
{
    CMutex mutex;
    OnOtherThread([&] { EXPECT_TRUE(mutex.Lock(INFINITE)); }); // ends without Unlock
    EXPECT_TRUE(mutex.Lock(0));
    mutex.Unlock();
}

TEST(CMutexTest, InitialOwnerAndNamedMutexShareOneObject)
{
    ustring name = UniqueName(L"mutex");
    CMutex first(nullptr, TRUE, name);
    CMutex second(nullptr, FALSE, name); // opens the existing one
    bool bOther = true;
    OnOtherThread([&] { bOther = second.Lock(0); });
    EXPECT_FALSE(bOther);
    first.Unlock();
    OnOtherThread([&] {
        bOther = second.Lock(0);
        if (bOther)
            second.Unlock();
    });
    EXPECT_TRUE(bOther);
}

TEST(CMutexTest, FailuresNameTheCall)
{
    CMutex mutex;
    EXPECT_WIN_EXCEPTION(mutex.Unlock(), kObject, L"ReleaseMutex", ERROR_NOT_OWNER);

    ustring name = UniqueName(L"taken");
    CEvent event(nullptr, FALSE, FALSE, name);
    EXPECT_WIN_EXCEPTION(CMutex(nullptr, FALSE, name), kObject, L"CreateMutexW",
                         ERROR_INVALID_HANDLE);

    ASSERT_TRUE(::CloseHandle(mutex));
    EXPECT_WIN_EXCEPTION((void)mutex.Lock(0), kObject, L"WaitForSingleObject",
                         ERROR_INVALID_HANDLE);
    mutex.Detach();
}

// CLocker

TEST(CLockerTest, HoldsTheMutexForItsScope)
{
    CMutex mutex;
    bool bOther = true;
    {
        CLocker<CMutex> lock(mutex);
        OnOtherThread([&] { bOther = mutex.Lock(0); });
        EXPECT_FALSE(bOther);
    }
    OnOtherThread([&] {
        bOther = mutex.Lock(0);
        if (bOther)
            mutex.Unlock();
    });
    EXPECT_TRUE(bOther);
}

TEST(CLockerTest, HoldsTheCriticalSectionForItsScope)
{
    CCriticalSection cs;
    bool bOther = true;
    {
        CLocker<CCriticalSection> lock(cs);
        OnOtherThread([&] { bOther = cs.Lock(false); });
        EXPECT_FALSE(bOther);
    }
    OnOtherThread([&] {
        bOther = cs.Lock(false);
        if (bOther)
            cs.Unlock();
    });
    EXPECT_TRUE(bOther);
}

TEST(CLockerTest, DestructorDropsAnUnlockFailure)
{
    CMutex mutex;
    {
        CLocker<CMutex> lock(mutex);
        mutex.Unlock(); // the locker's own unlock now fails with ERROR_NOT_OWNER
    }
    SUCCEED();
}

// COverlapped

TEST(COverlappedTest, DefaultHasAnAutoResetEventAndZeroOffsets)
{
    COverlapped ov;
    OVERLAPPED* p = &ov;
    EXPECT_EQ(0u, p->Internal);
    EXPECT_EQ(0u, p->InternalHigh);
    EXPECT_EQ(0u, p->Offset);
    EXPECT_EQ(0u, p->OffsetHigh);
    ASSERT_NE(nullptr, p->hEvent);
    EXPECT_TRUE(IsOpenHandle(p->hEvent));
    EXPECT_FALSE(IsSignalled(p->hEvent));
    ov.SetEvent();
    EXPECT_TRUE(IsSignalled(p->hEvent));
    EXPECT_FALSE(IsSignalled(p->hEvent));
}

TEST(COverlappedTest, ManualResetAndDestruction)
{
    HANDLE raw = nullptr;
    {
        COverlapped ov(nullptr, TRUE, TRUE);
        raw = ov.hEvent;
        EXPECT_TRUE(IsSignalled(raw));
        EXPECT_TRUE(IsSignalled(raw));
        ov.ResetEvent();
        EXPECT_FALSE(IsSignalled(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

// CWSAEvent and CWSAOverlapped

TEST_F(WinsockTest, WSAEventIsManualResetAndNotSignalled)
{
    CWSAEvent event;
    ASSERT_TRUE(event.IsCreated());
    EXPECT_FALSE(IsSignalled(event));
    event.Set();
    EXPECT_TRUE(IsSignalled(event));
    EXPECT_TRUE(IsSignalled(event));
    event.Reset();
    EXPECT_FALSE(IsSignalled(event));
    HANDLE raw = event;
    event.Close();
    EXPECT_FALSE(event.IsCreated());
    EXPECT_FALSE(IsOpenHandle(raw));
    event.Close();
}

TEST_F(WinsockTest, WSAEventCloseFailureKeepsTheHandle)
{
    CWSAEvent event;
    HANDLE raw = event;
    ASSERT_TRUE(::CloseHandle(raw));
    // The platform's own code for this state, from the raw call.
    HANDLE probe = ::WSACreateEvent();
    ASSERT_TRUE(::CloseHandle(probe));
    ASSERT_FALSE(::WSACloseEvent(probe));
    const int expected = ::WSAGetLastError();

    EXPECT_WIN_EXCEPTION(event.Close(), kObject, L"WSACloseEvent", expected);
    EXPECT_TRUE(event.IsCreated());
    EXPECT_EQ(raw, static_cast<void*>(event));
    EXPECT_WIN_EXCEPTION(event.Set(), kObject, L"SetEvent", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(event.Reset(), kObject, L"ResetEvent", ERROR_INVALID_HANDLE);
    event.Detach();
}

TEST_F(WinsockTest, WSAEventDestructorClosesWithCloseHandle)
{
    HANDLE raw = nullptr;
    {
        CWSAEvent event;
        raw = event;
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

TEST_F(WinsockTest, WSAOverlappedHasAManualResetEventAndZeroOffsets)
{
    HANDLE raw = nullptr;
    {
        CWSAOverlapped ov;
        OVERLAPPED* p = &ov;
        EXPECT_EQ(0u, p->Internal);
        EXPECT_EQ(0u, p->InternalHigh);
        EXPECT_EQ(0u, p->Offset);
        EXPECT_EQ(0u, p->OffsetHigh);
        raw = p->hEvent;
        ASSERT_NE(nullptr, raw);
        EXPECT_FALSE(IsSignalled(raw));
        ov.SetEvent();
        EXPECT_TRUE(IsSignalled(raw));
        EXPECT_TRUE(IsSignalled(raw));
        ov.ResetEvent();
        EXPECT_FALSE(IsSignalled(raw));
    }
    EXPECT_FALSE(IsOpenHandle(raw));
}

// Leaks: a handle made after many create/close cycles takes the slot of one made
// (and closed) before them. A leaked handle per cycle would move it on.
TEST_F(WinsockTest, CreateCloseCyclesLeakNoHandle)
{
    const ustring name = UniqueName(L"cycle");
    auto cycle = [&](int i) {
        CEvent event(nullptr, TRUE, FALSE, name);
        CEvent opened(EVENT_MODIFY_STATE, FALSE, name);
        opened.Set();
        CMutex mutex;
        {
            CLocker<CMutex> lock(mutex);
        }
        COverlapped ov;
        CWSAOverlapped wsaOv;
        CWSAEvent wsaEvent;
        if (i % 2)
            wsaEvent.Close();
        CHandle attached;
        EXPECT_TRUE(attached.Attach(::CreateEventW(nullptr, FALSE, FALSE, nullptr)));
        try {
            CEvent missing(EVENT_ALL_ACCESS, FALSE, L"tarnkit-test-no-such-event");
        } catch (const CWinException&) {
        }
    };
    // One cycle first, so what the runtime sets up once (on the first throw) is not counted.
    cycle(0);
    HANDLE before = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, before);
    ASSERT_TRUE(::CloseHandle(before));

    for (int i = 0; i < 1000; ++i)
        cycle(i);

    HANDLE after = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(before, after);
    ::CloseHandle(after);
}
