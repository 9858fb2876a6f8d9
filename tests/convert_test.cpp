#include <tarn_kit/ustring.h>
#include <gtest/gtest.h>
using namespace tarn_kit;
TEST(UStringConvertTest, Zero) { CLocale us(0x409); ustring::m_Locale = us; EXPECT_EQ(ustring(L"0"), ustring::ui64toa(0)); }
