// The first use of the process's translator loads the executable's own
// language file; this program holds only that first use.
#include "test_common.h"

#include <tarn_kit/translator.h>

using tarn_kit::CTranslatorInstance;
using tarn_kit::CWinException;
using tarn_kit::ustring;

TEST(CTranslatorInstanceTest, FirstUseLoadsTheExecutablesLanguageFile)
{
    wchar_t exe[MAX_PATH] = {};
    ASSERT_TRUE(::GetModuleFileNameW(nullptr, exe, MAX_PATH));
    std::wstring path = exe;
    path.replace(path.rfind(L'.'), std::wstring::npos, L".lng");
    const std::wstring content =
        std::wstring(1, wchar_t(0xFEFF)) + L"[Win32]\n[Windows]\n[Yes]\n[Ja]\n";
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done = 0;
    ::WriteFile(h, content.data(), DWORD(content.size() * 2), &done, nullptr);
    ::CloseHandle(h);

    ustring text;
    EXPECT_TRUE(text.xload(::GetModuleHandleW(L"TarnKit.dll"), 111));
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(ustring(L"Ja"), text);
    EXPECT_TRUE(CWinException(1, L"f", L"g", 5).GetSource(text));
    EXPECT_EQ(ustring(L"Windows"), text);
    EXPECT_EQ(2u, CTranslatorInstance::Ref().GetTable().size());
}
