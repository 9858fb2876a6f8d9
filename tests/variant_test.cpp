// VariantCompare, VariantChangeType and the numeric helpers, over the real
// oleaut32 and C runtime.
#include "test_common.h"

#include <tarn_kit/variant.h>

#include <oleauto.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <tuple>
#include <utility>

using namespace tarn_kit;

namespace {

const double kNaN = std::nan(""), kInf = HUGE_VAL, kPi = 3.141592653589793;

// A VARIANT that clears itself. Integers (booleans, currency too) are set through the
// 64-bit member, whose low bytes are every narrower member; a null text is a null BSTR.
struct CVar
{
    CVar() { ::VariantInit(&v); }
    CVar(VARTYPE vt, int x) : CVar() { v.vt = vt, v.llVal = x; }
    CVar(VARTYPE vt, long long x) : CVar() { v.vt = vt, v.llVal = x; }
    CVar(VARTYPE vt, double x) : CVar() { v.vt = vt, v.dblVal = x; } // VT_R8, VT_DATE
    CVar(VARTYPE vt, float x) : CVar() { v.vt = vt, v.fltVal = x; }
    explicit CVar(const wchar_t* s) : CVar() { v.vt = VT_BSTR, v.bstrVal = ::SysAllocString(s); }
    CVar(const CVar& o) : CVar() { ::VariantCopy(&v, const_cast<VARIANT*>(&o.v)); }
    CVar& operator=(const CVar&) = delete;
    ~CVar() { ::VariantClear(&v); }
    VARIANT v;
};

bool IsText(const VARIANT& v, const wchar_t* text)
{
    return v.vt == VT_BSTR && !std::wcscmp(text, v.bstrVal);
}

} // namespace

// a's type decides: integers by width and sign, booleans as truth values, no order for
// dates, currency and the rest. b of another type is converted on a private copy with
// locale 1033 (a failure gives 0) and stays as it was.
TEST(VariantCompareTest, OrdersByTheFirstType)
{
    const std::tuple<CVar, CVar, int> cases[] = {
        {{VT_I1, -1}, {VT_I1, 1}, -1},      {{VT_UI1, 255}, {VT_UI1, 1}, 1},
        {{VT_I2, -300}, {VT_I2, 200}, -1},  {{VT_UI2, 65535}, {VT_UI2, 1}, 1},
        {{VT_I4, 5}, {VT_I4, 3}, 1},        {{VT_UI4, -1}, {VT_UI4, 1}, 1},
        {{VT_I4, 5}, {VT_I4, 5}, 0},        {{VT_UINT, INT_MIN}, {VT_UINT, 1}, 1},
        {{VT_INT, -1}, {VT_INT, 0}, -1},    {{VT_I8, 1LL << 40}, {VT_I8, 1}, 1},
        {{VT_R8, 2.5}, {VT_R8, 1.5}, 1},    {{VT_I8, LLONG_MIN}, {VT_I8, 1}, -1},
        {{VT_R8, kNaN}, {VT_R8, 1.0}, 0},   {{VT_UI8, -1LL}, {VT_UI8, 1}, 1},
        {{VT_R4, 1.5f}, {VT_R4, 2.5f}, -1}, {{VT_R4, float(kNaN)}, {VT_R4, 1.0f}, 0},
        {{VT_BOOL, -1}, {VT_BOOL, 1}, 0},   {{VT_BOOL, 0}, {VT_BOOL, -1}, -1},
        {{VT_CY, 1}, {VT_CY, 99999}, 0},    {{VT_DATE, 1.0}, {VT_DATE, 4e4}, 0},
        {{VT_I4, 5}, CVar(L"5"), 0},        {{VT_I4, -5}, CVar(L"abc"), 0},
        {{VT_I4, 5}, CVar(L"7"), -1},       {{VT_I4, 5}, {VT_R8, 4.25}, 1},
        {CVar(L"10"), {VT_I4, 5}, -1},      {{VT_I4, 1}, {VT_BOOL, -1}, 0}};
    for (const auto& [a, b, expected] : cases) {
        const VARIANT before = b.v;
        EXPECT_EQ(expected, VariantCompare(a.v, b.v)) << a.v.vt << " / " << b.v.vt;
        EXPECT_EQ(0, std::memcmp(&before, &b.v, sizeof before));
    }
    // Texts: ordinal, wcscmp's result as it comes; a null BSTR is the empty text.
    const wchar_t* pairs[][2] = {{L"a", L"b"},    {L"b", L"a"},   {L"a", L"B"},   {L"abc", L"abc"},
                                 {L"ab", L"abc"}, {nullptr, L""}, {nullptr, L"a"}};
    for (const auto& p : pairs)
        EXPECT_EQ(std::wcscmp(p[0] ? p[0] : L"", p[1]), VariantCompare(CVar(p[0]).v, CVar(p[1]).v))
            << p[0] << " / " << p[1];
}

// Every target of 32 bits or fewer ends as VT_I4; a trailing "h" counts with base 16 only.
TEST(VariantChangeTypeTest, TextToIntegerInARadix)
{
    const std::tuple<const wchar_t*, VARTYPE, int, bool, long long> cases[] = {
        {L"1Fh", VT_I4, 16, true, 31},  {L"1FH", VT_I4, 16, true, 31},
        {L"1Fx", VT_I4, 16, false, 31}, {L"1Fhh", VT_I4, 16, false, 31},
        {L"", VT_INT, 16, true, 0},     {nullptr, VT_I4, 16, true, 0},
        {L"12h", VT_I4, 10, false, 12}, {L"-12", VT_I2, 10, true, -12},
        {L"7f", VT_I1, 16, true, 127},  {L"300", VT_UI1, 10, true, 300},
        {L"-1", VT_I8, 2, true, -1},    {L"777", VT_UINT, 8, true, 511},
        {L"zz", VT_I4, 36, true, 1295}, {L"80000000", VT_I4, 16, true, INT_MAX},
        {L"1y", VT_UI8, 10, false, 1},  {L"FFFFFFFF", VT_UI4, 16, true, -1}};
    for (const auto& [text, vt, base, ok, value] : cases) {
        CVar v(text);
        EXPECT_EQ(ok, VariantChangeType(0x409, vt, v.v, base)) << text << " base " << base;
        EXPECT_EQ(vt == VT_I8 || vt == VT_UI8 ? vt : VARTYPE(VT_I4), v.v.vt);
        EXPECT_EQ(value, v.v.vt == VT_I4 ? v.v.lVal : v.v.llVal) << text;
    }
    CVar big(L"FFFFFFFFFFFFFFFFh"), wide(L"-FFFFFFFFF");
    EXPECT_TRUE(VariantChangeType(0x409, VT_UI8, big.v, 16) && big.v.ullVal == ~0ULL);
    EXPECT_TRUE(VariantChangeType(0x409, VT_I8, wide.v, 16) && wide.v.llVal == -0xFFFFFFFFFLL);
}

TEST(VariantChangeTypeTest, IntegerToUpperCaseTextInARadix)
{
    const std::tuple<CVar, int, const wchar_t*> cases[] = {
        {{VT_I4, 255}, 16, L"FF"},       {{VT_I2, -32768}, 10, L"-32768"},
        {{VT_I4, -1}, 10, L"-1"},        {{VT_UI2, 65535}, 16, L"FFFF"},
        {{VT_I1, -1}, 10, L"-1"},        {{VT_UI4, -1}, 10, L"4294967295"},
        {{VT_I8, -1LL}, 10, L"-1"},      {{VT_I8, 1LL << 40}, 16, L"10000000000"},
        {{VT_UI1, 255}, 2, L"11111111"}, {{VT_UI8, -1LL}, 36, L"3W5E11264SGSF"}};
    for (const auto& [number, base, text] : cases) {
        CVar v(number);
        EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, v.v, base) && IsText(v.v, text)) << text;
    }
}

TEST(VariantChangeTypeTest, OtherwiseThePlatformConverts)
{
    CVar hex(L"1F"), de(L"1,5"), real(L"1.5"), number(VT_R8, 2.0), yes(VT_BOOL, -1);
    // The same type changes nothing: true stays -1.
    EXPECT_TRUE(VariantChangeType(0x409, VT_BOOL, yes.v, 0) && yes.v.boolVal == -1);
    // Hexadecimal needs a radix; the failed conversion keeps the text.
    EXPECT_TRUE(!VariantChangeType(0x409, VT_I4, hex.v, 0) && IsText(hex.v, L"1F"));
    EXPECT_TRUE(VariantChangeType(0x407, VT_R8, de.v, 0) && de.v.dblVal == 1.5);
    // Targets and sources outside the radix set convert by the platform even with a base.
    EXPECT_TRUE(VariantChangeType(0x409, VT_R8, real.v, 16) && real.v.dblVal == 1.5);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, number.v, 16) && IsText(number.v, L"2"));
    // True becomes 1, not -1; to text a boolean becomes a word.
    for (int value : {-1, 1, 5, 0}) {
        CVar i(VT_BOOL, value), r(VT_BOOL, value);
        EXPECT_TRUE(VariantChangeType(0x409, VT_I4, i.v, 0) && i.v.lVal == (value != 0)) << value;
        EXPECT_TRUE(VariantChangeType(0x409, VT_R8, r.v, 0) && r.v.dblVal == (value != 0)) << value;
    }
    CVar t(VT_BOOL, -1), f(VT_BOOL, 0);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, t.v, 0) && IsText(t.v, L"True"));
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, f.v, 10) && IsText(f.v, L"False"));
    // Bases the runtime does not know fail and change nothing.
    for (int base : {1, 37, -16}) {
        CVar s(L"10"), n(VT_I4, 10);
        EXPECT_TRUE(!VariantChangeType(0x409, VT_I4, s.v, base) && IsText(s.v, L"10")) << base;
        EXPECT_TRUE(!VariantChangeType(0x409, VT_BSTR, n.v, base) && n.v.vt == VT_I4) << base;
    }
}

// wtof(text): the leading number in the runtime's locale; wtof(text, lcid): the whole
// text by the locale's rules; 0.0 when there is no number. round: half away from zero,
// and 0.49999999999999994 + 0.5 is 1.0 in double arithmetic. The angle conversions
// multiply first.
TEST(NumericTest, WtofRoundAndAngles)
{
    using tarn_kit::round; // not the runtime's
    const std::pair<const wchar_t*, double> leading[] = {
        {L"  3.5abc", 3.5}, {L"abc", 0.0},      {L"", 0.0},   {nullptr, 0.0}, {L"-1e3", -1000.0},
        {L"1,5", 1.0},      {L"\t+0.25", 0.25}, {L".5", 0.5}, {L"   ", 0.0}};
    for (const auto& [text, expected] : leading)
        EXPECT_EQ(expected, wtof(text)) << text;
    const std::tuple<const wchar_t*, unsigned long, double> whole[] = {
        {L"1,5", 0x407, 1.5},        {L"1.234,5", 0x407, 1234.5}, {L"1.5", 0x409, 1.5},
        {L"1,234.5", 0x409, 1234.5}, {L"abc", 0x409, 0.0},        {L"", 0x409, 0.0},
        {nullptr, 0x409, 0.0},       {L"3.5abc", 0x409, 0.0},     {L" -2 ", 0x409, -2.0}};
    for (const auto& [text, lcid, expected] : whole)
        EXPECT_EQ(expected, wtof(text, lcid)) << text;
    const std::pair<double, int> rounded[] = {{2.5, 3},  {-2.5, -3}, {1.5, 2},  {-1.5, -2},
                                              {-0.4, 0}, {0.4, 0},   {-0.0, 0}, {0.6, 1}};
    for (const auto& [x, expected] : rounded)
        EXPECT_EQ(expected, round(x)) << x;
    EXPECT_TRUE(round(0.49999999999999994) == 1 && round(-0.49999999999999994) == -1);
    EXPECT_TRUE(round(2147483647.4) == INT_MAX && round(-2147483648.4) == INT_MIN);
    // Beyond 32 bits, and NaN, give INT_MIN.
    for (double x : {2147483647.5, -2147483649.0, 1e300, kInf, -kInf, kNaN})
        EXPECT_EQ(INT_MIN, round(x)) << x;
    EXPECT_TRUE(Rad2Deg(kPi) == 180.0 && Deg2Rad(180.0) == kPi && std::isinf(Rad2Deg(1e307)));
    for (double x : {0.1, 1.0, -2.75, 1e-300, 12345.678})
        EXPECT_TRUE((180.0 * x) / kPi == Rad2Deg(x) && (kPi * x) / 180.0 == Deg2Rad(x)) << x;
}
