// Error texts: device replies of CCommException, "Win32Errors.txt" beside the
// library, and texts of the library's string table through the translator.
#include "test_common.h"

#include <tarn_kit/matrix.h>
#include <tarn_kit/translator.h>

#include <cwctype>

using tarn_kit::CCommException;
using tarn_kit::CStdException;
using tarn_kit::CTranslator;
using tarn_kit::CTranslatorInstance;
using tarn_kit::CWinException;
using tarn_kit::ustring;

namespace {

void WriteUtf16(const std::wstring& path, const std::wstring& text, bool withMark = true)
{
    tarn_kit_test::WriteBytes(path, tarn_kit_test::Utf16(withMark ? L"\uFEFF" + text : text));
}

// "Win32Errors.txt" beside TarnKit.dll, removed after each test.
class MessageFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path =
            tarn_kit_test::BesideModule(::GetModuleHandleW(L"TarnKit.dll"), L"Win32Errors.txt");
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }
    static bool Message(DWORD code, ustring& text)
    {
        return CWinException(1, L"f", L"g", code).GetErrorMessage(text);
    }

    std::wstring m_path;
};

} // namespace

// A sample of the known replies (the first, the last, one with an apostrophe, the one listed
// twice): the user sees the reply's text with a capital, the technical message is the reply.
TEST(CCommExceptionTest, MapsKnownRepliesAndShowsOthersAsTheyCame)
{
    for (const wchar_t* text : {L"wrong command", L"memory card is busy", L"can't remove file",
                                L"incompatible file version", L"wrong receiver id"}) {
        const ustring reply = L"{2,," + ustring(text) + L"}";
        ustring expected = text, message, ui;
        expected[0] = wchar_t(std::towupper(expected[0]));
        CCommException e(__LINE__, L".\\Receiver", L"Query", reply, L"Receiver");
        EXPECT_TRUE(e.GetErrorMessage(message) && e.GetErrorMessageUI(ui));
        EXPECT_EQ(reply, message);
        EXPECT_EQ(expected, ui);
    }
    for (const wchar_t* reply : {L"{2,,Wrong command}", L"{2,,wrong command} ", L""}) {
        ustring ui;
        EXPECT_TRUE(CCommException(0, nullptr, nullptr, reply, nullptr).GetErrorMessageUI(ui));
        EXPECT_EQ(ustring(reply), ui);
    }
    tarn_kit::CSmartPtr<CStdException> clone =
        CCommException(42, L".\\Device", L"Send", L"{2,,dup loop}", L"Receiver").Clone();
    try {
        clone->Throw();
    } catch (const CCommException& e) {
        CStdException::CExInfo info(e);
        EXPECT_EQ(42u, info.GetLine());
        EXPECT_EQ(ustring(L"Dup loop"), info.GetErrorMessageUI());
    }
}

TEST_F(MessageFileTest, SuppliesTextsTheSystemDoesNotKnow)
{
    ustring text;
    EXPECT_FALSE(Message(0xE0000001, text));
    EXPECT_EQ(ustring(L"Unknown error: -536870911 (0xE0000001)."), text);
    const struct
    {
        const wchar_t* file;
        bool withMark;
        bool found;
    } files[] = {{L"0x20000001, \"Receiver\\nnot ready\"\n", true, true},
                 {L"536870913, \"Receiver\\nnot ready\"\r\n", true, true},
                 {L"0x20000001, \"Receiver\\nnot ready\"\n", false, false},
                 {L"0x20000001, \"Receiver\\nnot ready\"", true, false}};
    for (const auto& f : files) {
        WriteUtf16(m_path, f.file, f.withMark);
        EXPECT_EQ(f.found, Message(0x20000001, text)) << f.file;
        EXPECT_EQ(
            ustring(f.found ? L"Receiver\nnot ready" : L"Unknown error: 536870913 (0x20000001)."),
            text);
    }
    // The system's own texts come first.
    WriteUtf16(m_path, L"2, not this one\n");
    EXPECT_TRUE(Message(2, text));
    EXPECT_NE(ustring(L"not this one"), text);
}

TEST_F(MessageFileTest, FormatDetails)
{
    std::wstring file = L"\n\r\n";
    for (int n = 0; n < 400; ++n)
        file += L"0x3000" + std::to_wstring(1000 + n) + L", filler " + std::to_wstring(n) + L"\r\n";
    file += L"  0X2000000A  ,  a, b, and c  \n536870923,\"quoted \\\"word\\\"\\r\\n\"\n"
            L"536870924,first\n536870924,second\n536870926,\n"
            // A line without a comma becomes the start of the next entry's code.
            L"0x2000000F no comma here\n536870925,joined\n";
    WriteUtf16(m_path, file);
    const std::pair<DWORD, const wchar_t*> cases[] = {{0x30001399, L"filler 399"},
                                                      {0x2000000A, L"a, b, and c"},
                                                      {536870923, L"quoted \"word\"\r\n"},
                                                      {536870924, L"first"},
                                                      {536870926, L""},
                                                      {0x2000000F, L"joined"},
                                                      {536870925, nullptr}};
    for (const auto& c : cases) {
        ustring text;
        EXPECT_EQ(c.second != nullptr, Message(c.first, text)) << c.first;
        if (c.second) {
            EXPECT_EQ(ustring(c.second), text) << c.first;
        }
    }
}

// The library's own texts pass through the process's translator.
class LibraryTextTest : public tarn_kit_test::TempDirTest
{};

TEST_F(LibraryTextTest, SourcesAndMessagesAreTranslated)
{
    CTranslator& t = CTranslatorInstance::Ref();
    const CTranslator saved = t;
    ustring s;
    EXPECT_TRUE(CWinException(1, L"f", L"g", 5).GetSource(s));
    EXPECT_EQ(ustring(L"Win32"), s);

    WriteUtf16(Path(L"de.lng"), L"[OK]\n[Gut]\n[Win32]\n[Windows]\n[Invalid Index]\n"
                                L"[Ung\u00FCltiger Index]\n[Matrix Library]\n[Matrizen]\n");
    ASSERT_TRUE(t.LoadLanguageFile(Path(L"de.lng").c_str()));
    EXPECT_EQ(ustring(L"Windows"),
              CStdException::CExInfo(CWinException(1, L"f", L"g", 5)).GetSource());
    const tarn_kit::CMatrixException matrixError(1, L"f", L"g",
                                                 tarn_kit::CMatrixException::eInvalidIndex);
    EXPECT_TRUE(matrixError.GetSource(s));
    EXPECT_EQ(ustring(L"Matrizen"), s);
    EXPECT_TRUE(matrixError.GetErrorMessage(s));
    EXPECT_EQ(ustring(L"Ung\u00FCltiger Index"), s);
    const HINSTANCE library = ::GetModuleHandleW(L"TarnKit.dll");
    EXPECT_TRUE(s.xload(library, 106));
    EXPECT_EQ(ustring(L"Gut"), s);
    EXPECT_TRUE(s.xload(library, 107));
    EXPECT_EQ(ustring(L"Cancel"), s);
    EXPECT_FALSE(s.xload(library, 4711));
    EXPECT_TRUE(s.empty());
    t = saved;
}
