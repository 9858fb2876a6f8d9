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

const wchar_t* const kReplies[] = {
    L"wrong command",
    L"1st parameter missed",
    L"wrong 1st parameter",
    L"2nd parameter missed",
    L"wrong 2nd parameter",
    L"value missed",
    L"value out of range",
    L"wrong file name",
    L"file open error",
    L"file system not mounted",
    L"file read error",
    L"file already exists",
    L"can't create file",
    L"can't remove file",
    L"broken file",
    L"incompatible file version",
    L"file write error",
    L"data transfer open",
    L"data transfer error",
    L"wrong option name",
    L"bad option date",
    L"bad option value",
    L"option disabled",
    L"terminated by user",
    L"wrong receiver id",
    L"access denied",
    L"operation in progress",
    L"no file system device",
    L"dup loop",
    L"not supported",
    L"device is not accessible",
    L"wrong hardware version",
    L"can't lock",
    L"memory card is busy",
};

// Writes "Win32Errors.txt" beside TarnKit.dll for one test and removes it after.
class MessageFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t path[MAX_PATH] = {};
        ASSERT_TRUE(::GetModuleFileNameW(::GetModuleHandleW(L"TarnKit.dll"), path, MAX_PATH));
        m_path = path;
        m_path.erase(m_path.rfind(L'\\') + 1);
        m_path += L"Win32Errors.txt";
        ::DeleteFileW(m_path.c_str());
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }

    void Write(const std::wstring& text, bool withMark = true)
    {
        std::wstring content = withMark ? std::wstring(1, wchar_t(0xFEFF)) + text : text;
        HANDLE h =
            ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD done = 0;
        ::WriteFile(h, content.data(), DWORD(content.size() * 2), &done, nullptr);
        ::CloseHandle(h);
    }

    static bool Message(DWORD code, ustring& text)
    {
        return CWinException(1, L"f", L"g", code).GetErrorMessage(text);
    }

    std::wstring m_path;
};

} // namespace

TEST(CCommExceptionTest, MapsEveryKnownReply)
{
    for (const wchar_t* reply : kReplies) {
        ustring internal = ustring(L"{2,,") + reply + L"}";
        ustring expected(reply);
        expected[0] = wchar_t(std::towupper(expected[0]));
        CCommException e(__LINE__, L".\\Receiver", L"Query", internal, L"Receiver");
        ustring source, message, ui;
        EXPECT_TRUE(e.GetSource(source));
        EXPECT_TRUE(e.GetErrorMessage(message));
        EXPECT_TRUE(e.GetErrorMessageUI(ui));
        EXPECT_EQ(ustring(L"Receiver"), source);
        EXPECT_EQ(internal, message);
        EXPECT_EQ(expected, ui) << reply;
    }
}

TEST(CCommExceptionTest, UnknownRepliesAreShownAsTheyCame)
{
    for (const wchar_t* reply :
         {L"{2,,Wrong command}", L"{2,,wrong command} ", L"{3,,busy}", L""}) {
        ustring ui;
        EXPECT_TRUE(CCommException(0, nullptr, nullptr, reply, L"Receiver").GetErrorMessageUI(ui));
        EXPECT_EQ(ustring(reply), ui);
    }
    CCommException empty;
    ustring source(L"x"), message(L"x"), ui(L"x");
    EXPECT_TRUE(empty.GetSource(source));
    EXPECT_TRUE(empty.GetErrorMessage(message));
    EXPECT_TRUE(empty.GetErrorMessageUI(ui));
    EXPECT_TRUE(source.empty() && message.empty() && ui.empty());
}

TEST(CCommExceptionTest, CloneAndThrowKeepTheType)
{
    tarn_kit::CSmartPtr<CStdException> clone;
    {
        CCommException e(42, L".\\Device", L"Send", L"{2,,dup loop}", L"Receiver");
        clone = e.Clone();
    }
    try {
        clone->Throw();
        FAIL() << "Throw returned";
    } catch (const CCommException& e) {
        CStdException::CExInfo info(e);
        EXPECT_EQ(42u, info.GetLine());
        EXPECT_EQ(ustring(L"Send"), info.GetFunction());
        EXPECT_EQ(ustring(L"Receiver"), info.GetSource());
        EXPECT_EQ(ustring(L"{2,,dup loop}"), info.GetErrorMessage());
        EXPECT_EQ(ustring(L"Dup loop"), info.GetErrorMessageUI());
    }
}

TEST_F(MessageFileTest, SuppliesTextsTheSystemDoesNotKnow)
{
    ustring text;
    EXPECT_FALSE(Message(0xE0000001, text));
    EXPECT_EQ(ustring(L"Unknown error: -536870911 (0xE0000001)."), text);

    Write(L"0x20000001, \"Receiver\\nnot ready\"\n");
    EXPECT_TRUE(Message(0x20000001, text));
    EXPECT_EQ(ustring(L"Receiver\nnot ready"), text);
    Write(L"536870913, \"Receiver\\nnot ready\"\r\n");
    EXPECT_TRUE(Message(0x20000001, text));
    EXPECT_EQ(ustring(L"Receiver\nnot ready"), text);

    // No byte-order mark, or no line break after the entry: no entry.
    Write(L"0x20000001, \"Receiver\\nnot ready\"\n", false);
    EXPECT_FALSE(Message(0x20000001, text));
    EXPECT_EQ(ustring(L"Unknown error: 536870913 (0x20000001)."), text);
    Write(L"0x20000001, \"Receiver\\nnot ready\"");
    EXPECT_FALSE(Message(0x20000001, text));

    // The system's own texts come first.
    Write(L"2, not this one\n");
    EXPECT_TRUE(Message(2, text));
    EXPECT_NE(ustring(L"not this one"), text);
}

TEST_F(MessageFileTest, FormatDetails)
{
    std::wstring file = L"\n\r\n";
    for (int n = 0; n < 400; ++n)
        file += L"0x3000" + std::to_wstring(1000 + n) + L", filler line number " +
                std::to_wstring(n) + L"\r\n";
    file += L"  0X2000000A  ,  a, b, and c  \n";
    file += L"536870923,\"quoted \\\"word\\\"\\r\\n\"\n";
    file += L"536870924,first\n536870924,second\n";
    // A line without a comma becomes the start of the next entry's code.
    file += L"0x2000000F no comma here\n536870925,joined\n";
    file += L"536870926,\n";
    Write(file);
    struct
    {
        DWORD code;
        bool found;
        const wchar_t* text;
    } cases[] = {
        {0x30001399, true, L"filler line number 399"},
        {0x2000000A, true, L"a, b, and c"},
        {536870923, true, L"quoted \"word\"\r\n"},
        {536870924, true, L"first"},
        {536870925, false, nullptr},
        {0x2000000F, true, L"joined"},
        {536870926, true, L""},
    };
    for (const auto& c : cases) {
        ustring text;
        EXPECT_EQ(c.found, Message(c.code, text)) << c.code;
        if (c.found) {
            EXPECT_EQ(ustring(c.text), text) << c.code;
        }
    }
}

// The library's own texts pass through the process's translator.
class LibraryTextTest : public tarn_kit_test::TempDirTest
{};

TEST_F(LibraryTextTest, SourceIsTranslated)
{
    CTranslator& t = CTranslatorInstance::Ref();
    const CTranslator saved = t;
    ustring source;
    EXPECT_TRUE(CWinException(1, L"f", L"g", 5).GetSource(source));
    EXPECT_EQ(ustring(L"Win32"), source);

    const std::wstring path = Path(L"de.lng");
    const std::wstring content =
        std::wstring(1, wchar_t(0xFEFF)) +
        L"[OK]\n[Gut]\n[Win32]\n[Windows]\n"
        L"[Invalid Index]\n[Ung\u00FCltiger Index]\n[Matrix Library]\n[Matrizen]\n";
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done = 0;
    ::WriteFile(h, content.data(), DWORD(content.size() * 2), &done, nullptr);
    ::CloseHandle(h);
    ASSERT_TRUE(t.LoadLanguageFile(path.c_str()));

    EXPECT_TRUE(CWinException(1, L"f", L"g", 5).GetSource(source));
    EXPECT_EQ(ustring(L"Windows"), source);
    CStdException::CExInfo info(CWinException(1, L"f", L"g", 5));
    EXPECT_EQ(ustring(L"Windows"), info.GetSource());
    const tarn_kit::CMatrixException matrixError(1, L"f", L"g",
                                                 tarn_kit::CMatrixException::eInvalidIndex);
    ustring s;
    EXPECT_TRUE(matrixError.GetSource(s));
    EXPECT_EQ(ustring(L"Matrizen"), s);
    EXPECT_TRUE(matrixError.GetErrorMessage(s));
    EXPECT_EQ(ustring(L"Ung\u00FCltiger Index"), s);
    EXPECT_TRUE(s.xload(::GetModuleHandleW(L"TarnKit.dll"), 106));
    EXPECT_EQ(ustring(L"Gut"), s);
    EXPECT_TRUE(s.xload(::GetModuleHandleW(L"TarnKit.dll"), 107));
    EXPECT_EQ(ustring(L"Cancel"), s);
    EXPECT_FALSE(s.xload(::GetModuleHandleW(L"TarnKit.dll"), 4711));
    EXPECT_TRUE(s.empty());
    t = saved;
}
