// Exceptions: snapshots, clones and rethrow, the shared owner of clones, the
// application name, and the texts of CWinException.
#include "test_common.h"

#include <tarn_kit/file.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tarn_kit;

namespace {

// A concrete exception that counts its destructions, so a test sees when (and how
// often) a clone is deleted.
class CCountedException : public CStdException
{
public:
    explicit CCountedException(unsigned int nLine, int nValue)
        : CStdException(nLine, L".\\Counted", L"Counted::Call"), m_nValue(nValue)
    {}
    CCountedException(const CCountedException&) = default;
    ~CCountedException() override { ++s_nDestroyed; }

    CSmartPtr<CStdException> Clone() const override
    {
        return CSmartPtr<CStdException>(new CCountedException(*this));
    }
    void Throw() const override { throw CCountedException(*this); }
    bool GetSource(ustring& s) const override
    {
        s = L"Counter";
        return true;
    }
    bool GetErrorMessage(ustring& s) const override
    {
        s.sprintf(L"value %d", m_nValue);
        return m_nValue != 0;
    }

    int m_nValue;
    static std::atomic<int> s_nDestroyed;
};

std::atomic<int> CCountedException::s_nDestroyed{0};

// The system's own text for a code, straight from FormatMessageW.
ustring SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    ustring text(buffer, n);
    ::LocalFree(buffer);
    return text;
}

void ExpectEmpty(const CStdException::CExInfo& info)
{
    EXPECT_EQ(0u, info.GetLine());
    EXPECT_TRUE(info.GetFileName().empty());
    EXPECT_TRUE(info.GetFunction().empty());
    EXPECT_TRUE(info.GetSource().empty());
    EXPECT_TRUE(info.GetErrorMessage().empty());
    EXPECT_TRUE(info.GetErrorMessageUI().empty());
}

} // namespace

TEST(CExInfoTest, DefaultAndClearedAreEmpty)
{
    CStdException::CExInfo info;
    ExpectEmpty(info);

    info = CStdException::CExInfo(CWinException(42, L".\\File", L"CreateFile", 2));
    EXPECT_EQ(42u, info.GetLine());
    info.Clear();
    ExpectEmpty(info);
}

TEST(CExInfoTest, SnapshotOfWinExceptionOutlivesIt)
{
    CStdException::CExInfo info;
    {
        CWinException e(42, L".\\File", L"CreateFile", ERROR_FILE_NOT_FOUND);
        info = CStdException::CExInfo(e);
    }
    EXPECT_EQ(42u, info.GetLine());
    EXPECT_EQ(ustring(L".\\File"), info.GetFileName());
    EXPECT_EQ(ustring(L"CreateFile"), info.GetFunction());
    EXPECT_EQ(ustring(L"Win32"), info.GetSource());
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), info.GetErrorMessage());
    EXPECT_EQ(info.GetErrorMessage(), info.GetErrorMessageUI());
}

TEST(CExInfoTest, KeepsWhatFailedTextOperationsWrote)
{
    // value 0 makes GetErrorMessage return false; its text is kept all the same.
    CStdException::CExInfo info{CCountedException(7, 0)};
    EXPECT_EQ(ustring(L"Counter"), info.GetSource());
    EXPECT_EQ(ustring(L"value 0"), info.GetErrorMessage());
    EXPECT_EQ(ustring(L"value 0"), info.GetErrorMessageUI());
}

TEST(CStdExceptionTest, CloneOutlivesTheOriginal)
{
    auto* original = new CWinException(17, L".\\Object", L"SetEvent", ERROR_INVALID_HANDLE);
    CSmartPtr<CStdException> clone = original->Clone();
    delete original;

    ASSERT_TRUE(clone);
    EXPECT_EQ(1, clone.use_count());
    auto* win = dynamic_cast<CWinException*>(clone.get());
    ASSERT_NE(nullptr, win);
    EXPECT_EQ(17u, win->GetLine());
    EXPECT_EQ(ustring(L".\\Object"), win->GetFileName());
    EXPECT_EQ(ustring(L"SetEvent"), win->GetFunction());
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), win->GetErrorCode());
}

TEST(CStdExceptionTest, ThrowOfACloneIsCaughtByConcreteAndRootType)
{
    CSmartPtr<CStdException> clone;
    try {
        CWinException(__LINE__, L".\\Test", L"MoveFile", ERROR_ALREADY_EXISTS).Throw();
    } catch (const CStdException& e) {
        clone = e.Clone();
    }
    ASSERT_TRUE(clone);

    try {
        clone->Throw();
        ADD_FAILURE() << "Throw returned";
    } catch (const CWinException& e) {
        EXPECT_EQ(clone->GetLine(), e.GetLine());
        EXPECT_EQ(ustring(L".\\Test"), e.GetFileName());
        EXPECT_EQ(ustring(L"MoveFile"), e.GetFunction());
        EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), e.GetErrorCode());
        EXPECT_NE(clone.get(), &e); // a copy, not the clone itself
    }

    try {
        clone->Throw();
        ADD_FAILURE() << "Throw returned";
    } catch (const CStdException& e) {
        EXPECT_EQ(clone->GetLine(), e.GetLine());
        EXPECT_EQ(ustring(L".\\Test"), e.GetFileName());
        EXPECT_EQ(ustring(L"MoveFile"), e.GetFunction());
        auto* win = dynamic_cast<const CWinException*>(&e);
        ASSERT_NE(nullptr, win);
        EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), win->GetErrorCode());
    }
}

TEST(CStdExceptionTest, ThrownInsideTheLibraryCaughtByTypeHere)
{
    // Both throws happen in TarnKit.dll: the rethrow of a clone, and a failing wrapper.
    CWinException e(5, L".\\Here", L"Call", ERROR_ACCESS_DENIED);
    EXPECT_THROW(e.Throw(), CWinException);
    EXPECT_WIN_EXCEPTION(CFile::Remove(L"C:\\no-such-folder-tk\\no-such-file"), L".\\File",
                         L"DeleteFile", ERROR_PATH_NOT_FOUND);
}

TEST(CSmartPtrTest, CountsCopiesAndDeletesOnce)
{
    CCountedException::s_nDestroyed = 0;
    {
        CSmartPtr<CStdException> a = CCountedException(1, 1).Clone();
        EXPECT_EQ(1, CCountedException::s_nDestroyed.load()); // the temporary
        EXPECT_EQ(1, a.use_count());
        {
            CSmartPtr<CStdException> b(a);
            CSmartPtr<CStdException> c;
            EXPECT_EQ(0, c.use_count());
            c = b;
            EXPECT_EQ(3, a.use_count());
            c = c; // self-assignment keeps the count
            EXPECT_EQ(3, a.use_count());
            CSmartPtr<CStdException> d(std::move(c));
            EXPECT_FALSE(c);
            EXPECT_EQ(3, d.use_count());
            EXPECT_EQ(a.get(), d.get());
        }
        EXPECT_EQ(1, a.use_count());
        EXPECT_EQ(1, CCountedException::s_nDestroyed.load());

        // Assigning over the last owner deletes its object.
        a = CCountedException(2, 2).Clone();
        EXPECT_EQ(3, CCountedException::s_nDestroyed.load());
        a.reset();
        EXPECT_FALSE(a);
        EXPECT_EQ(4, CCountedException::s_nDestroyed.load());
    }
    EXPECT_EQ(4, CCountedException::s_nDestroyed.load());
}

TEST(CSmartPtrTest, CopiesReleasedFromSeveralThreadsDeleteOnce)
{
    const int kThreads = 8;
    const int kCopiesPerThread = 2000;
    for (int round = 0; round < 20; ++round) {
        CCountedException::s_nDestroyed = 0;
        CSmartPtr<CStdException> original = CCountedException(1, round).Clone();
        ASSERT_EQ(1, CCountedException::s_nDestroyed.load());

        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        {
            // Each thread gets its own copies and releases them as fast as it can,
            // copying from a shared one in between.
            std::vector<std::vector<CSmartPtr<CStdException>>> copies(kThreads);
            for (auto& v : copies)
                v.assign(kCopiesPerThread, original);
            EXPECT_EQ(1 + kThreads * kCopiesPerThread, original.use_count());
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&go, &copies, &original, t] {
                    while (!go)
                        std::this_thread::yield();
                    for (auto& p : copies[t]) {
                        CSmartPtr<CStdException> extra(original);
                        p.reset();
                    }
                });
            }
            go = true;
            for (auto& th : threads)
                th.join();
        }
        EXPECT_EQ(1, original.use_count());
        EXPECT_EQ(1, CCountedException::s_nDestroyed.load());
        original.reset();
        EXPECT_EQ(2, CCountedException::s_nDestroyed.load());
    }
}

TEST(CStdExceptionTest, AppNameDefaultsToTheExecutableBaseName)
{
    CStdException::SetAppName(nullptr);
    EXPECT_EQ(ustring(L"exceptions_test"), CStdException::GetAppName());
    CStdException::SetAppName(L"Field");
    EXPECT_EQ(ustring(L"Field"), CStdException::GetAppName());
    CStdException::SetAppName(L"");
    EXPECT_EQ(ustring(L"exceptions_test"), CStdException::GetAppName());
    CStdException::SetAppName(L"Field");
    CStdException::SetAppName(nullptr);
    EXPECT_EQ(ustring(L"exceptions_test"), CStdException::GetAppName());
}

TEST(CWinExceptionTest, KnownCodeGivesTheSystemTextWithItsLineBreak)
{
    CWinException e(1, L".\\File", L"CreateFile", ERROR_FILE_NOT_FOUND);
    ustring text = L"left over";
    EXPECT_TRUE(e.GetErrorMessage(text));
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), text);
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(ustring(L"\r\n"), text.substr(text.size() - 2));

    ustring ui;
    EXPECT_TRUE(e.GetErrorMessageUI(ui));
    EXPECT_EQ(text, ui);
}

TEST(CWinExceptionTest, UnknownCodeGivesTheUnknownErrorText)
{
    struct
    {
        DWORD code;
        const wchar_t* text;
    } const cases[] = {
        {0xE0000001, L"Unknown error: -536870911 (0xE0000001)."},
        {0x20001234, L"Unknown error: 536875572 (0x20001234)."},
    };
    for (const auto& c : cases) {
        ustring text = L"left over";
        EXPECT_FALSE(CWinException(1, nullptr, nullptr, c.code).GetErrorMessage(text)) << c.text;
        EXPECT_EQ(ustring(c.text), text);
    }
}

TEST(CWinExceptionTest, SourceIsWin32)
{
    ustring source = L"left over";
    EXPECT_TRUE(CWinException().GetSource(source));
    EXPECT_EQ(ustring(L"Win32"), source);
}
