// The first use of the process's translator loads the executable's own
// language file; this program holds only that first use.
#include "test_common.h"

#include <tarn_kit/translator.h>

using tarn_kit::CTranslatorInstance;
using tarn_kit::CWinException;
using tarn_kit::ustring;

TEST(CTranslatorInstanceTest, FirstUseLoadsTheExecutablesLanguageFile)
{
    std::wstring path = tarn_kit_test::BesideModule(nullptr, L"xload_test.lng");
    tarn_kit_test::WriteBytes(path,
                              tarn_kit_test::Utf16(L"\uFEFF[Win32]\n[Windows]\n[Yes]\n[Ja]\n"));

    ustring text;
    EXPECT_TRUE(text.xload(::GetModuleHandleW(L"TarnKit.dll"), 111));
    ::DeleteFileW(path.c_str());
    EXPECT_EQ(ustring(L"Ja"), text);
    EXPECT_TRUE(CWinException(1, L"f", L"g", 5).GetSource(text));
    EXPECT_EQ(ustring(L"Windows"), text);
    EXPECT_EQ(2u, CTranslatorInstance::Ref().GetTable().size());
}
