// Exceptions: snapshots, clones and rethrow, the shared owner of clones, the
// application name, and the texts of CWinException.
#include "test_common.h"

#include <atomic>
#include <thread>
#include <vector>

using namespace tarn_kit;
using tarn_kit_test::SystemText;
using Info = CStdException::CExInfo;
using Ptr = CSmartPtr<CStdException>;

namespace {

// Counts its destructions, so a test sees when (and how often) a clone is deleted.
struct CCounted : CStdException
{
    CCounted() : CStdException(7, L".\\Counted", L"Counted::Call") {}
    ~CCounted() override { ++s_nDestroyed; }
    Ptr Clone() const override { return Ptr(new CCounted(*this)); }
    void Throw() const override { throw *this; }
    bool GetSource(ustring& s) const override { return !(s = L"Counter").empty(); }
    // Writes a text and still reports failure: a snapshot keeps what was written.
    bool GetErrorMessage(ustring& s) const override { return (s = L"partial").empty(); }
    inline static std::atomic<int> s_nDestroyed{0};
};

ustring Facts(const Info& i)
{
    ustring s;
    s.sprintf(L"%u|%s|%s|%s|%s|%s", i.GetLine(), i.GetFileName().c_str(), i.GetFunction().c_str(),
              i.GetSource().c_str(), i.GetErrorMessage().c_str(), i.GetErrorMessageUI().c_str());
    return s;
}

} // namespace

// The two ways to keep an exception beyond its handler: a snapshot of its texts, a clone.
TEST(CStdExceptionTest, SnapshotAndCloneOutliveTheOriginal)
{
    EXPECT_EQ(ustring(L"0|||||"), Facts(Info()));
    Info info{CCounted()};
    EXPECT_EQ(ustring(L"7|.\\Counted|Counted::Call|Counter|partial|partial"), Facts(info));
    info.Clear();
    EXPECT_EQ(ustring(L"0|||||"), Facts(info));

    auto* original = new CWinException(17, L".\\Object", L"SetEvent", ERROR_INVALID_HANDLE);
    const ustring facts = Facts(Info(*original));
    Ptr clone = original->Clone();
    delete original;
    ASSERT_TRUE(clone);
    EXPECT_EQ(facts, Facts(Info(*clone)));
    // Throw runs inside TarnKit.dll: the type must survive the way out of the library.
    EXPECT_THROW(clone->Throw(), CStdException);
    try {
        clone->Throw();
    } catch (const CWinException& e) {
        EXPECT_EQ(facts, Facts(Info(e)));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), e.GetErrorCode());
    }
}

TEST(CSmartPtrTest, CountsCopiesAndDeletesOnce)
{
    CCounted::s_nDestroyed = 0;
    Ptr a = CCounted().Clone(), b(a), c;
    c = b;
    c = c; // self-assignment keeps the count
    Ptr d(std::move(b));
    EXPECT_FALSE(b);
    EXPECT_EQ(3, d.use_count()); // a, c and d
    c = d = Ptr();
    EXPECT_EQ(1, a.use_count());
    a = CCounted().Clone();                      // over the last owner: deletes its object
    EXPECT_EQ(3, CCounted::s_nDestroyed.load()); // and the two temporaries

    // Copies released from several threads at once.
    for (int round = 0; round < 20; ++round) {
        CCounted::s_nDestroyed = 0;
        Ptr original = CCounted().Clone();
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back([p = original]() mutable {
                for (int i = 0; i < 5000; ++i)
                    Ptr copy(p);
                p.reset(); // whichever thread releases last deletes the object
            });
        original.reset();
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(2, CCounted::s_nDestroyed.load()); // the temporary, and the clone once
    }
}

TEST(CStdExceptionTest, AppNameDefaultsToTheExecutableBaseName)
{
    CStdException::SetAppName(L"Field");
    EXPECT_EQ(ustring(L"Field"), CStdException::GetAppName());
    CStdException::SetAppName(nullptr);
    EXPECT_EQ(ustring(L"exceptions_test"), CStdException::GetAppName());
}

TEST(CWinExceptionTest, TextOfAKnownCodeIsTheSystems)
{
    ustring text;
    EXPECT_TRUE(CWinException(1, nullptr, nullptr, ERROR_FILE_NOT_FOUND).GetErrorMessage(text));
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), text);
    EXPECT_EQ(text.size() - 2, text.rfind(L"\r\n")) << "the system's line break is kept";
    // Unknown codes and the source: with the message file and the translator (error_texts_test).
}
