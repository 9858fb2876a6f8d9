#include "test_common.h"
using namespace tarn_kit;
TEST(UStringTest, NullPointerIsEmpty) { ustring s(nullptr); EXPECT_TRUE(s.empty()); }
TEST(UStringTest, SprintfWide) { ustring s; s.sprintf(L"%s|%c|%I64u|%02X", L"ab", L'x', 18446744073709551615ull, 10u); EXPECT_EQ(ustring(L"ab|x|18446744073709551615|0A"), s);
  ustring t; ASSERT_TRUE(t.load(GetModuleHandleW(nullptr), 1001)); EXPECT_EQ(300u, t.size()); 
  ustring u; EXPECT_TRUE(u.load(GetModuleHandleW(L"TarnKit.dll"), 101)); EXPECT_EQ(ustring(L"Win32"), u);
  tarn_kit::CWinException e(1, L"f", L"g", 2); ustring m; EXPECT_TRUE(e.GetErrorMessage(m)); std::wcout << m.c_str();
  CWinException e2(1, L"f", L"g", 0xE0000001); EXPECT_FALSE(e2.GetErrorMessage(m)); EXPECT_EQ(ustring(L"Unknown error: -536870911 (0xE0000001)."), m);
}
