// VariantCompare, VariantChangeType and the numeric helpers, over the real
// oleaut32 and C runtime.
#include "test_common.h"

#include <tarn_kit/variant.h>

#include <oleauto.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>

using namespace tarn_kit;

namespace {

// A VARIANT that clears itself.
struct CVar
{
    CVar() { ::VariantInit(&v); }
    CVar(const CVar& other)
    {
        ::VariantInit(&v);
        ::VariantCopy(&v, const_cast<VARIANT*>(&other.v));
    }
    CVar& operator=(const CVar&) = delete;
    ~CVar() { ::VariantClear(&v); }

    VARIANT v;
};

CVar Bstr(const wchar_t* s)
{
    CVar r;
    r.v.vt = VT_BSTR;
    r.v.bstrVal = s ? ::SysAllocString(s) : nullptr;
    return r;
}

template <class T>
CVar Make(VARTYPE vt, T value)
{
    CVar r;
    r.v.vt = vt;
    switch (vt) {
    case VT_I1:
        r.v.cVal = static_cast<CHAR>(value);
        break;
    case VT_I2:
        r.v.iVal = static_cast<SHORT>(value);
        break;
    case VT_I4:
        r.v.lVal = static_cast<LONG>(value);
        break;
    case VT_INT:
        r.v.intVal = static_cast<INT>(value);
        break;
    case VT_I8:
        r.v.llVal = static_cast<LONGLONG>(value);
        break;
    case VT_UI1:
        r.v.bVal = static_cast<BYTE>(value);
        break;
    case VT_UI2:
        r.v.uiVal = static_cast<USHORT>(value);
        break;
    case VT_UI4:
        r.v.ulVal = static_cast<ULONG>(value);
        break;
    case VT_UINT:
        r.v.uintVal = static_cast<UINT>(value);
        break;
    case VT_UI8:
        r.v.ullVal = static_cast<ULONGLONG>(value);
        break;
    case VT_R4:
        r.v.fltVal = static_cast<float>(value);
        break;
    case VT_R8:
    case VT_DATE:
        r.v.dblVal = static_cast<double>(value);
        break;
    case VT_BOOL:
        r.v.boolVal = static_cast<VARIANT_BOOL>(value);
        break;
    case VT_CY:
        r.v.cyVal.int64 = static_cast<LONGLONG>(value);
        break;
    case VT_ERROR:
        r.v.scode = static_cast<SCODE>(value);
        break;
    default:
        break;
    }
    return r;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kPi = 3.141592653589793;

std::uint64_t Bits(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

} // namespace

// VariantCompare

TEST(VariantCompareTest, SameTypesOrderByValue)
{
    struct Case
    {
        const char* name;
        CVar a, b;
        int expected;
    };
    const Case cases[] = {
        {"I1 signed", Make(VT_I1, -1), Make(VT_I1, 1), -1},
        {"I2", Make(VT_I2, -300), Make(VT_I2, 200), -1},
        {"I4 greater", Make(VT_I4, 5), Make(VT_I4, 3), 1},
        {"I4 equal", Make(VT_I4, 5), Make(VT_I4, 5), 0},
        {"INT", Make(VT_INT, -1), Make(VT_INT, 0), -1},
        {"I8 wide", Make(VT_I8, 1LL << 40), Make(VT_I8, (1LL << 40) + 1), -1},
        {"I8 signed", Make(VT_I8, LLONG_MIN), Make(VT_I8, 1), -1},
        {"UI1 unsigned", Make(VT_UI1, 255), Make(VT_UI1, 1), 1},
        {"UI2 unsigned", Make(VT_UI2, 65535), Make(VT_UI2, 1), 1},
        {"UI4 unsigned", Make(VT_UI4, 0xFFFFFFFFu), Make(VT_UI4, 1), 1},
        {"UINT unsigned", Make(VT_UINT, 0x80000000u), Make(VT_UINT, 1), 1},
        {"UI8 unsigned", Make(VT_UI8, ~0ULL), Make(VT_UI8, 1), 1},
        {"UI8 wide", Make(VT_UI8, 1ULL << 40), Make(VT_UI8, 1), 1},
        {"R4", Make(VT_R4, 1.5), Make(VT_R4, 2.5), -1},
        {"R4 NaN", Make(VT_R4, kNaN), Make(VT_R4, 1.0), 0},
        {"R8", Make(VT_R8, 2.5), Make(VT_R8, 1.5), 1},
        {"R8 signed zeros", Make(VT_R8, 0.0), Make(VT_R8, -0.0), 0},
        {"R8 NaN left", Make(VT_R8, kNaN), Make(VT_R8, 1.0), 0},
        {"R8 NaN right", Make(VT_R8, 1.0), Make(VT_R8, kNaN), 0},
        {"BOOL -1 and 1", Make(VT_BOOL, -1), Make(VT_BOOL, 1), 0},
        {"BOOL false and true", Make(VT_BOOL, 0), Make(VT_BOOL, -1), -1},
        {"BOOL true and false", Make(VT_BOOL, 2), Make(VT_BOOL, 0), 1},
        {"DATE", Make(VT_DATE, 1.0), Make(VT_DATE, 40000.0), 0},
        {"CY", Make(VT_CY, 1), Make(VT_CY, 99999), 0},
        {"ERROR", Make(VT_ERROR, 1), Make(VT_ERROR, 2), 0},
        {"EMPTY", CVar(), CVar(), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, VariantCompare(c.a.v, c.b.v)) << c.name;
}

TEST(VariantCompareTest, TextIsOrdinalWithTheRuntimesResult)
{
    const wchar_t* pairs[][2] = {
        {L"a", L"b"}, {L"b", L"a"}, {L"a", L"B"}, {L"abc", L"abc"}, {L"ab", L"abc"}, {L"", L"x"},
    };
    for (const auto& p : pairs) {
        const CVar a = Bstr(p[0]), b = Bstr(p[1]);
        EXPECT_EQ(std::wcscmp(p[0], p[1]), VariantCompare(a.v, b.v))
            << ustring::WideCharToMultiByte(p[0], ustring::npos, CP_UTF8, 0) << " / "
            << ustring::WideCharToMultiByte(p[1], ustring::npos, CP_UTF8, 0);
    }
    // Ordinal: 'a' (0x61) after 'B' (0x42).
    EXPECT_GT(VariantCompare(Bstr(L"a").v, Bstr(L"B").v), 0);
    // A null BSTR is the empty text.
    EXPECT_EQ(0, VariantCompare(Bstr(nullptr).v, Bstr(L"").v));
    EXPECT_LT(VariantCompare(Bstr(nullptr).v, Bstr(L"a").v), 0);
    EXPECT_GT(VariantCompare(Bstr(L"a").v, Bstr(nullptr).v), 0);
}

// b is converted to a's type on a copy with locale 1033; b itself stays as it was.
TEST(VariantCompareTest, OtherTypeIsConvertedOnACopy)
{
    struct Case
    {
        const char* name;
        CVar a, b;
        int expected;
    };
    const Case cases[] = {
        {"I4 and text", Make(VT_I4, 5), Bstr(L"5"), 0},
        {"I4 and larger text", Make(VT_I4, 5), Bstr(L"7"), -1},
        {"I4 and non-number", Make(VT_I4, 5), Bstr(L"abc"), 0},
        {"I4 and non-number below", Make(VT_I4, -5), Bstr(L"abc"), 0},
        {"R8 and English text", Make(VT_R8, 2.5), Bstr(L"2.5"), 0},
        {"I4 and R8", Make(VT_I4, 5), Make(VT_R8, 4.25), 1},
        {"text and I4", Bstr(L"10"), Make(VT_I4, 5), -1},      // "10" < "5" as text
        {"I4 and true", Make(VT_I4, 1), Make(VT_BOOL, -1), 0}, // true converts to 1
        {"BOOL and I4", Make(VT_BOOL, -1), Make(VT_I4, 0), 1},
        {"I4 and EMPTY", Make(VT_I4, 5), CVar(), 1},
        {"UI8 and text", Make(VT_UI8, ~0ULL), Bstr(L"18446744073709551615"), 0},
        {"DATE and text", Make(VT_DATE, 1.0), Bstr(L"abc"), 0},
    };
    for (const Case& c : cases) {
        const VARIANT before = c.b.v;
        EXPECT_EQ(c.expected, VariantCompare(c.a.v, c.b.v)) << c.name;
        EXPECT_EQ(0, std::memcmp(&before, &c.b.v, sizeof before)) << c.name;
    }
    const CVar text = Bstr(L"abc");
    const BSTR p = text.v.bstrVal;
    VariantCompare(Make(VT_I4, 5).v, text.v);
    EXPECT_EQ(VT_BSTR, text.v.vt);
    EXPECT_EQ(p, text.v.bstrVal);
    EXPECT_STREQ(L"abc", text.v.bstrVal);
}

// VariantChangeType

TEST(VariantChangeTypeTest, TextToIntegerInARadix)
{
    struct Case
    {
        const wchar_t* text;
        VARTYPE vt;
        int base;
        bool ok;
        VARTYPE resultType;
        long long value; // VT_UI8 as its bits
    };
    const Case cases[] = {
        {L"1Fh", VT_I4, 16, true, VT_I4, 31},
        {L"1FH", VT_I4, 16, true, VT_I4, 31},
        {L"1f", VT_I4, 16, true, VT_I4, 31},
        {L"1Fx", VT_I4, 16, false, VT_I4, 31},
        {L"1Fhh", VT_I4, 16, false, VT_I4, 31},
        {L"", VT_I4, 16, true, VT_I4, 0},
        {L"h", VT_I4, 16, true, VT_I4, 0},
        {L"12h", VT_I4, 10, false, VT_I4, 12}, // the suffix belongs to base 16 only
        {L"  42", VT_I4, 10, true, VT_I4, 42},
        {L"42 ", VT_I4, 10, false, VT_I4, 42},
        {L"-12", VT_I2, 10, true, VT_I4, -12},
        {L"7f", VT_I1, 16, true, VT_I4, 127},
        {L"300", VT_UI1, 10, true, VT_I4, 300}, // no range check: every small target is VT_I4
        {L"101", VT_INT, 2, true, VT_I4, 5},
        {L"777", VT_UINT, 8, true, VT_I4, 511},
        {L"zz", VT_I4, 36, true, VT_I4, 35 * 36 + 35},
        {L"FFFFFFFF", VT_UI4, 16, true, VT_I4, -1},
        {L"FFFFFFFF", VT_UI2, 16, true, VT_I4, -1},
        {L"FFFFFFFF", VT_I4, 16, true, VT_I4, LONG_MAX}, // signed parse saturates
        {L"80000000", VT_UI4, 16, true, VT_I4, LONG_MIN},
        {L"7FFFFFFFFFFFFFFF", VT_I8, 16, true, VT_I8, LLONG_MAX},
        {L"-8000000000000000", VT_I8, 16, true, VT_I8, LLONG_MIN},
        {L"123456789012", VT_I8, 10, true, VT_I8, 123456789012LL},
        {L"FFFFFFFFFFFFFFFFh", VT_UI8, 16, true, VT_UI8, -1},
        {L"1y", VT_UI8, 10, false, VT_UI8, 1},
    };
    for (const Case& c : cases) {
        CVar v = Bstr(c.text);
        EXPECT_EQ(c.ok, VariantChangeType(0x409, c.vt, v.v, c.base))
            << ustring::WideCharToMultiByte(c.text, ustring::npos, CP_UTF8, 0) << " base "
            << c.base;
        ASSERT_EQ(c.resultType, v.v.vt);
        const long long value = c.resultType == VT_I4   ? v.v.lVal
                                : c.resultType == VT_I8 ? v.v.llVal
                                                        : static_cast<long long>(v.v.ullVal);
        EXPECT_EQ(c.value, value) << ustring::WideCharToMultiByte(c.text, ustring::npos, CP_UTF8,
                                                                  0);
    }
    // A null BSTR reads as the empty text.
    CVar v = Bstr(nullptr);
    EXPECT_TRUE(VariantChangeType(0x409, VT_I4, v.v, 16));
    EXPECT_EQ(VT_I4, v.v.vt);
    EXPECT_EQ(0, v.v.lVal);
}

TEST(VariantChangeTypeTest, IntegerToUpperCaseTextInARadix)
{
    struct Case
    {
        const char* name;
        CVar v;
        int base;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"I4 255/16", Make(VT_I4, 255), 16, L"FF"},
        {"I4 -1/10", Make(VT_I4, -1), 10, L"-1"},
        {"I4 35/36", Make(VT_I4, 35), 36, L"Z"},
        {"I1 -1/10", Make(VT_I1, -1), 10, L"-1"},
        {"I2 min/10", Make(VT_I2, -32768), 10, L"-32768"},
        {"INT 255/2", Make(VT_INT, 255), 2, L"11111111"},
        {"UI1 255/2", Make(VT_UI1, 255), 2, L"11111111"},
        {"UI2 65535/16", Make(VT_UI2, 65535), 16, L"FFFF"},
        {"UI4 max/10", Make(VT_UI4, 0xFFFFFFFFu), 10, L"4294967295"},
        {"UINT 8/8", Make(VT_UINT, 8u), 8, L"10"},
        {"I8 min/10", Make(VT_I8, LLONG_MIN), 10, L"-9223372036854775808"},
        {"I8 big/16", Make(VT_I8, 0xABCDEF012345LL), 16, L"ABCDEF012345"},
        {"UI8 max/10", Make(VT_UI8, ~0ULL), 10, L"18446744073709551615"},
        {"UI8 max/36", Make(VT_UI8, ~0ULL), 36, L"3W5E11264SGSF"},
    };
    for (const Case& c : cases) {
        CVar v(c.v);
        EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, v.v, c.base)) << c.name;
        ASSERT_EQ(VT_BSTR, v.v.vt) << c.name;
        EXPECT_STREQ(c.text, v.v.bstrVal) << c.name;
    }
}

TEST(VariantChangeTypeTest, SameTypeChangesNothing)
{
    CVar v = Bstr(L"1Fx");
    const BSTR p = v.v.bstrVal;
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, v.v, 16));
    EXPECT_EQ(p, v.v.bstrVal);
    CVar b = Make(VT_BOOL, -1);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BOOL, b.v, 0));
    EXPECT_EQ(-1, b.v.boolVal); // not normalised to 1 when nothing converts
}

TEST(VariantChangeTypeTest, WithoutRadixThePlatformConverts)
{
    CVar n = Bstr(L"42");
    EXPECT_TRUE(VariantChangeType(0x409, VT_I4, n.v, 0));
    EXPECT_EQ(VT_I4, n.v.vt);
    EXPECT_EQ(42, n.v.lVal);

    // Hexadecimal needs a radix; the failed conversion keeps the text.
    CVar h = Bstr(L"1F");
    EXPECT_FALSE(VariantChangeType(0x409, VT_I4, h.v, 0));
    EXPECT_EQ(VT_BSTR, h.v.vt);
    EXPECT_STREQ(L"1F", h.v.bstrVal);

    // The locale decides the decimal separator.
    CVar de = Bstr(L"1,5");
    EXPECT_TRUE(VariantChangeType(0x407, VT_R8, de.v, 0));
    EXPECT_EQ(1.5, de.v.dblVal);

    // Targets outside the radix set convert by the platform even with a base.
    CVar r = Bstr(L"1.5");
    EXPECT_TRUE(VariantChangeType(0x409, VT_R8, r.v, 16));
    EXPECT_EQ(1.5, r.v.dblVal);
    CVar d = Make(VT_R8, 2.0);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, d.v, 16));
    EXPECT_STREQ(L"2", d.v.bstrVal);
}

TEST(VariantChangeTypeTest, TrueBecomesOne)
{
    struct Case
    {
        short value;
        VARTYPE vt;
        double expected;
    };
    const Case cases[] = {
        {-1, VT_I4, 1}, {1, VT_I4, 1}, {0, VT_I4, 0}, {-1, VT_R8, 1}, {-1, VT_I2, 1}, {5, VT_I4, 1},
    };
    for (const Case& c : cases) {
        CVar v = Make(VT_BOOL, c.value);
        EXPECT_TRUE(VariantChangeType(0x409, c.vt, v.v, 0)) << c.value;
        CVar r;
        ASSERT_EQ(S_OK, ::VariantChangeType(&r.v, &v.v, 0, VT_R8));
        EXPECT_EQ(c.expected, r.v.dblVal) << c.value << " to " << c.vt;
    }
    // A boolean becomes a word, not a number.
    CVar t = Make(VT_BOOL, -1);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, t.v, 0));
    ASSERT_EQ(VT_BSTR, t.v.vt);
    EXPECT_STREQ(L"True", t.v.bstrVal);
    CVar f = Make(VT_BOOL, 0);
    EXPECT_TRUE(VariantChangeType(0x409, VT_BSTR, f.v, 10));
    EXPECT_STREQ(L"False", f.v.bstrVal);
}

TEST(VariantChangeTypeTest, BaseOutsideRuntimeRangeFailsWithoutChange)
{
    for (int base : {1, 37, -16}) {
        CVar text = Bstr(L"10");
        EXPECT_FALSE(VariantChangeType(0x409, VT_I4, text.v, base)) << base;
        EXPECT_EQ(VT_BSTR, text.v.vt);
        EXPECT_STREQ(L"10", text.v.bstrVal);
        CVar number = Make(VT_I4, 10);
        EXPECT_FALSE(VariantChangeType(0x409, VT_BSTR, number.v, base)) << base;
        EXPECT_EQ(VT_I4, number.v.vt);
        EXPECT_EQ(10, number.v.lVal);
    }
}

// Numeric helpers

TEST(NumericTest, WtofReadsTheLeadingNumber)
{
    struct Case
    {
        const wchar_t* text;
        double expected;
    };
    const Case cases[] = {
        {L"  3.5abc", 3.5}, {L"abc", 0.0},      {L"", 0.0},   {nullptr, 0.0}, {L"-1e3", -1000.0},
        {L"1,5", 1.0},      {L"\t+0.25", 0.25}, {L".5", 0.5}, {L"   ", 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, wtof(c.text))
            << ustring::WideCharToMultiByte(c.text, ustring::npos, CP_UTF8, 0);
}

TEST(NumericTest, WtofWithLocaleReadsTheWholeText)
{
    struct Case
    {
        const wchar_t* text;
        unsigned long lcid;
        double expected;
    };
    const Case cases[] = {
        {L"1,5", 0x407, 1.5},        {L"1.234,5", 0x407, 1234.5}, {L"1.5", 0x409, 1.5},
        {L"1,234.5", 0x409, 1234.5}, {L"abc", 0x409, 0.0},        {L"", 0x409, 0.0},
        {nullptr, 0x409, 0.0},       {L"3.5abc", 0x409, 0.0},     {L" -2 ", 0x409, -2.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, wtof(c.text, c.lcid))
            << ustring::WideCharToMultiByte(c.text, ustring::npos, CP_UTF8, 0) << " " << c.lcid;
}

TEST(NumericTest, RoundHalfAwayFromZero)
{
    struct Case
    {
        double x;
        int expected;
    };
    const Case cases[] = {
        {2.5, 3},
        {-2.5, -3},
        {-0.4, 0},
        {0.4, 0},
        {-0.0, 0},
        {0.49999999999999994, 1}, // x + 0.5 rounds up to 1.0 in double arithmetic
        {-0.49999999999999994, -1},
        {1.5, 2},
        {-1.5, -2},
        {2147483647.0, INT_MAX},
        {2147483647.4, INT_MAX},
        {2147483647.5, INT_MIN}, // beyond 32 bits
        {-2147483648.0, INT_MIN},
        {-2147483648.4, INT_MIN},
        {-2147483649.0, INT_MIN},
        {1e300, INT_MIN},
        {std::numeric_limits<double>::infinity(), INT_MIN},
        {-std::numeric_limits<double>::infinity(), INT_MIN},
        {kNaN, INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, tarn_kit::round(c.x)) << c.x;
    EXPECT_EQ(-2147483647, tarn_kit::round(-2147483647.4));
}

TEST(NumericTest, AngleConversionsMultiplyFirst)
{
    EXPECT_EQ(180.0, Rad2Deg(kPi));
    EXPECT_EQ(kPi, Deg2Rad(180.0));
    EXPECT_EQ(0.0, Rad2Deg(0.0));
    for (double x : {0.1, 1.0, -2.75, 1e-300, 1e300, 12345.678}) {
        EXPECT_EQ(Bits((180.0 * x) / kPi), Bits(Rad2Deg(x))) << x;
        EXPECT_EQ(Bits((kPi * x) / 180.0), Bits(Deg2Rad(x))) << x;
    }
    EXPECT_TRUE(std::isinf(Rad2Deg(1e307))); // 180 * x overflows before the division
}
