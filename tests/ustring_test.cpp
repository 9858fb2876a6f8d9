// ustring: construction, comparison, masks, editing, formatting, resources,
// splitting and the comparators.
#include "test_common.h"

#include <list>
#include <random>
#include <set>
#include <vector>

using tarn_kit::LessStrA;
using tarn_kit::LessStrAN;
using tarn_kit::LessStrW;
using tarn_kit::LessStrWN;
using tarn_kit::ustring;

namespace {

// The wildcard comparison written as the plain recursion it is defined by,
// exponential but obviously right; a text that ends first compares as less.
int ReferenceMask(const wchar_t* s, std::size_t len, std::size_t i, const wchar_t* m, bool noCase)
{
    for (;;) {
        if (i == len) {
            const wchar_t* rest = m;
            while (*rest == L'*')
                ++rest;
            if (*rest == 0)
                return 0;
            return -1;
        }
        if (*m == 0)
            return 1;
        if (*m == L'*') {
            while (*m == L'*' || *m == L'?')
                ++m;
            if (*m == 0)
                return 0;
            for (std::size_t k = i; k < len; ++k)
                if (ReferenceMask(s, len, k, m, noCase) == 0)
                    return 0;
            return 1;
        }
        if (*m != L'?') {
            int c;
            if (noCase) {
                const wchar_t a[2] = {s[i], 0}, b[2] = {*m, 0};
                int r = _wcsicmp(a, b);
                c = r < 0 ? -1 : (r > 0 ? 1 : 0);
            } else {
                c = s[i] < *m ? -1 : (s[i] > *m ? 1 : 0);
            }
            if (c != 0)
                return c;
        }
        ++i;
        ++m;
    }
}

int Normalized(int n)
{
    return n == 0 ? 0 : 1;
}

} // namespace

TEST(UStringTest, NullPointersActAsTheEmptyString)
{
    const wchar_t* null = nullptr;
    ustring s(null);
    EXPECT_TRUE(s.empty());
    s = L"x";
    s = null;
    EXPECT_TRUE(s.empty());
    s += null;
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(s == null);
    EXPECT_FALSE(ustring(L"a") == null);
    EXPECT_TRUE(ustring(L"a") > null);
    EXPECT_EQ(0, s.compareNoCase(null));
    EXPECT_EQ(0, s.compareWithMask(null));
    EXPECT_EQ(1, ustring(L"a").compareWithMask(null));
}

TEST(UStringTest, AssignmentAndAppendChain)
{
    ustring s;
    (s = L'x') += L"yz";
    s += L'!';
    s += ustring(L"?");
    EXPECT_EQ(ustring(L"xyz!?"), s);
    EXPECT_STREQ(L"xyz!?", static_cast<const wchar_t*>(s));
    EXPECT_EQ(L'y', s[1]);
    s[0u] = L'X';
    EXPECT_EQ(L'X', s[0]);
    ustring fromUtf8(std::string("caf\xC3\xA9"), CP_UTF8, 0);
    EXPECT_EQ(ustring(L"caf\u00E9"), fromUtf8);
}

TEST(UStringTest, ComparisonIsOrdinalOverUnsignedUnits)
{
    struct
    {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    } cases[] = {
        {L"abc", L"abc", 0},
        {L"ab", L"abc", -1},
        {L"B", L"a", -1},
        {L"z", L"\u00E9", -1},
        {L"\uFFFF", L"\xD83D\xDE00", 1},
        {L"", L"", 0},
        {L"a", L"", 1},
    };
    for (const auto& c : cases) {
        ustring a(c.a);
        ustring b(c.b);
        EXPECT_EQ(c.sign == 0, a == b) << c.a << L" " << c.b;
        EXPECT_EQ(c.sign != 0, a != c.b);
        EXPECT_EQ(c.sign < 0, a < b);
        EXPECT_EQ(c.sign > 0, a > c.b);
        EXPECT_EQ(c.sign <= 0, a <= b);
        EXPECT_EQ(c.sign >= 0, a >= c.b);
    }
}

TEST(UStringTest, CompareNoCase)
{
    EXPECT_EQ(0, ustring(L"Hello").compareNoCase(L"hELLO"));
    EXPECT_LT(ustring(L"apple").compareNoCase(L"Banana"), 0);
    EXPECT_EQ(0, ustring(L"ABCdef").compareNoCase(L"abcXYZ", 3));
    EXPECT_NE(0, ustring(L"ABCdef").compareNoCase(L"abcXYZ", 4));
}

TEST(UStringTest, MaskExamples)
{
    struct
    {
        const wchar_t* text;
        const wchar_t* mask;
        int result;
    } cases[] = {
        {L"abc", L"abc", 0},   {L"abc", L"a?c", 0},     {L"abc", L"*", 0},
        {L"abc", L"a*", 0},    {L"abc", L"*c", 0},      {L"abc", L"**?c", 0},
        {L"abc", L"abc*", 0},  {L"abd", L"abc", 1},     {L"abb", L"abc", -1},
        {L"abcd", L"abc", 1},  {L"x.txt", L"*.txt", 0}, {L"", L"", 0},
        {L"", L"***", 0},      {L"ab", L"abc", -1},     {L"", L"xyz", -1},
        {L"a.b.c", L"*.c", 0}, {L"aXbXc", L"a*b*c", 0}, {L"abc", L"a*?", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, ustring(c.text).compareWithMask(c.mask)) << c.text << L" " << c.mask;
    EXPECT_NE(0, ustring(L"x.doc").compareWithMask(L"*.txt"));
    EXPECT_EQ(0, ustring(L"ABC").compareWithMaskNoCase(L"a*C"));
    EXPECT_EQ(-1, ustring(L"ABC").compareWithMask(L"a*C"));
    EXPECT_EQ(0, ustring(L"xABC").compareWithMaskNoCase(L"*abc"));
    // Beyond ASCII the runtime's _wcsicmp decides.
    EXPECT_EQ(_wcsicmp(L"\u00C9", L"\u00E9") == 0,
              ustring(L"Caf\u00C9").compareWithMaskNoCase(L"caf\u00E9") == 0);
}

// The linear matcher against the defining recursion on every small case.
TEST(UStringTest, MaskAgreesWithTheRecursiveDefinition)
{
    std::mt19937 rng(20261205);
    const wchar_t textChars[] = L"abAB";
    const wchar_t maskChars[] = L"abAB*?";
    for (int n = 0; n < 20000; ++n) {
        ustring text(rng() % 9, L' ');
        for (auto& c : text)
            c = textChars[rng() % 4];
        ustring mask(rng() % 8, L' ');
        for (auto& c : mask)
            c = maskChars[rng() % 6];
        for (bool noCase : {false, true}) {
            int expected = ReferenceMask(text.c_str(), text.size(), 0, mask.c_str(), noCase);
            int actual = noCase ? text.compareWithMaskNoCase(mask) : text.compareWithMask(mask);
            // Before the first '*' the sign is fixed; after it only match or not.
            if (mask.find(L'*') == ustring::npos)
                ASSERT_EQ(expected, actual) << text << L" " << mask << L" " << noCase;
            else
                ASSERT_EQ(Normalized(expected), Normalized(actual)) << text << L" " << mask;
        }
    }
}

TEST(UStringTest, MaskOnLongTextsIsNotExponential)
{
    ustring text(100000, L'a');
    EXPECT_NE(0, text.compareWithMask(L"*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_EQ(0, text.compareWithMask(L"*a*a*a*a*a*a*a*a*a*a"));
    EXPECT_NE(0, text.compareWithMaskNoCase(L"*A*A*A*A*A*A*A*A*A*A*B*"));
    text += L'b';
    EXPECT_EQ(0, text.compareWithMask(L"*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(UStringTest, Trim)
{
    EXPECT_EQ(ustring(L""), ustring(L"000").trim_left(L'0'));
    EXPECT_EQ(ustring(L"x00"), ustring(L"00x00").trim_left(L'0'));
    EXPECT_EQ(ustring(L"00x"), ustring(L"00x00").trim_right(L'0'));
    EXPECT_EQ(ustring(L"x"), ustring(L"00x00").trim(L'0'));
    const std::vector<wchar_t> blanks = {L' ', L'\t'};
    EXPECT_EQ(ustring(L"x"), ustring(L" \tx \t").trim(blanks));
    EXPECT_EQ(ustring(L"x \t"), ustring(L" \tx \t").trim_left(blanks));
    EXPECT_EQ(ustring(L" a "), ustring(L" a ").trim(std::vector<wchar_t>()));
    EXPECT_EQ(ustring(L""), ustring(L" \t ").trim_right(blanks));
}

TEST(UStringTest, ReplaceAll)
{
    ustring s(L"aaa");
    s.replace(ustring(L"a"), ustring(L"aa"));
    EXPECT_EQ(ustring(L"aaaaaa"), s);
    s = L"abc";
    s.replace(ustring(L""), ustring(L"x"));
    EXPECT_EQ(ustring(L"abc"), s);
    s = L"one, two, three";
    s.replace(ustring(L", "), ustring(L""));
    EXPECT_EQ(ustring(L"onetwothree"), s);
    s = L"xyxyx";
    s.replace(ustring(L"xyx"), ustring(L"-"));
    EXPECT_EQ(ustring(L"-yx"), s);
    // The inherited positional form is still there.
    s.replace(0, 1, L"+");
    EXPECT_EQ(ustring(L"+yx"), s);
}

TEST(UStringTest, CaseMappingKeepsNonAsciiInTheDefaultRuntimeLocale)
{
    ustring s(L"Mixed Case 123");
    s.strupr();
    EXPECT_EQ(ustring(L"MIXED CASE 123"), s);
    s.strlwr();
    EXPECT_EQ(ustring(L"mixed case 123"), s);
    ustring empty;
    empty.strupr();
    EXPECT_TRUE(empty.empty());
}

TEST(UStringTest, SprintfFormatsAnyLength)
{
    ustring s;
    s.sprintf(L"%s|%c|%d|%u|%X|%02X|%I64u", L"ab", L'x', -5, 7u, 255u, 10u,
              18446744073709551615ull);
    EXPECT_EQ(ustring(L"ab|x|-5|7|FF|0A|18446744073709551615"), s);

    ustring longText(5000, L'q');
    s.sprintf(L"<%s>", longText.c_str());
    ASSERT_EQ(5002u, s.size());
    EXPECT_EQ(L'<', s[0]);
    EXPECT_EQ(L'>', s[5001]);

    // A format that lives in the target itself.
    s = L"%d-%d";
    s.sprintf(s.c_str(), 1, 2);
    EXPECT_EQ(ustring(L"1-2"), s);
}

TEST(UStringTest, LoadReadsWholeResourceStrings)
{
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    ustring s(L"old");
    ASSERT_TRUE(s.load(self, 1001));
    ASSERT_EQ(300u, s.size());
    EXPECT_EQ(ustring(L"0123456789"), s.substr(290, 10));
    EXPECT_TRUE(s.load(self, 1000));
    EXPECT_EQ(ustring(L"A short resource string"), s);
    EXPECT_FALSE(s.load(self, 4242));
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(s.load(self, 1002));
    EXPECT_TRUE(s.empty());
    // The library's own table.
    EXPECT_TRUE(s.load(::GetModuleHandleW(L"TarnKit.dll"), 120));
    EXPECT_EQ(ustring(L"File not found. Check the file name and try again."), s);
}

TEST(UStringTest, ReplaceForbiddenSymbols)
{
    struct
    {
        const wchar_t* text;
        const wchar_t* forbidden;
        const wchar_t* result;
    } cases[] = {
        {L"a/b/c", L"/", L"a%2Fb%2Fc"},  {L"50%/x", L"%/", L"50%25%2Fx"},
        {L"50%/x", L"/%", L"50%25%2Fx"}, {L"caf\u00E9 \u0410", L"\u00E9\u0410 ", L"caf%E9%20%410"},
        {L"plain", L"/", L"plain"},      {L"a/b", L"", L"a/b"},
    };
    for (const auto& c : cases) {
        ustring s(c.text);
        s.replaceForbiddenSymbols(c.forbidden);
        EXPECT_EQ(ustring(c.result), s) << c.text;
    }
}

TEST(UStringTest, SubstrBetweenMarkers)
{
    ustring s(L"x<yz>w");
    EXPECT_EQ(ustring(L"yz"), s.substr(L"<", L">", false, true));
    EXPECT_EQ(ustring(L"<yz"), s.substr(L"<", L">", true, true));
    EXPECT_EQ(ustring(L""), ustring(L"x<yz").substr(L"<", L">", false, true));
    EXPECT_EQ(ustring(L"yz"), ustring(L"x<yz").substr(L"<", L">", false, false));
    EXPECT_EQ(ustring(L"ab"), ustring(L"ab>c").substr(nullptr, L">", false, true));
    EXPECT_EQ(ustring(L""), s.substr(L"[", L">", false, false));
    EXPECT_EQ(ustring(L"yz>w"), s.substr(L"<", nullptr, false, true));
    EXPECT_EQ(ustring(L""), ustring().substr(L"<", L">", false, false));
    // The end marker is searched after the begin marker.
    EXPECT_EQ(ustring(L"b"), ustring(L"a>[b>").substr(L"[", L">", false, true));
    // The positional form is still there.
    EXPECT_EQ(ustring(L"<y"), s.substr(1, 2));
}

TEST(UStringTest, IsNumberUsesTheThousandsSeparator)
{
    const tarn_kit::CLocale saved = ustring::m_Locale;
    ustring::m_Locale = tarn_kit::CLocale(0x409);
    for (const wchar_t* yes : {L"1,234", L",", L"0", L"1,2,3"})
        EXPECT_TRUE(ustring(yes).isnumber()) << yes;
    for (const wchar_t* no : {L"-5", L"1.5", L"", L"12 3", L"1a"})
        EXPECT_FALSE(ustring(no).isnumber()) << no;
    ustring::m_Locale = tarn_kit::CLocale(0x407);
    EXPECT_TRUE(ustring(L"1.234").isnumber());
    EXPECT_FALSE(ustring(L"1,234").isnumber());
    ustring::m_Locale = saved;
}

TEST(UStringSplitTest, AtSeparator)
{
    struct
    {
        const wchar_t* text;
        const wchar_t* separator;
        bool trailing;
        std::vector<ustring> pieces;
    } cases[] = {
        {L"a,b,,c", L",", false, {L"a", L"b", L"", L"c"}},
        {L"a,b,", L",", false, {L"a", L"b"}},
        {L"a,b,", L",", true, {L"a", L"b", L""}},
        {L",a", L",", false, {L"", L"a"}},
        {L"", L",", true, {L""}},
        {nullptr, L",", false, {L""}},
        {L"x::y", L"::", false, {L"x", L"y"}},
        {L"abc", L"", false, {L"abc"}},
        {L",", L",", true, {L"", L""}},
    };
    for (const auto& c : cases) {
        std::vector<ustring> out = {L"stale"};
        ustring::split(c.text, c.separator, out, c.trailing);
        EXPECT_EQ(c.pieces, out) << (c.text ? c.text : L"(null)");
        std::list<ustring> list;
        ustring::split(c.text, c.separator, list, c.trailing);
        EXPECT_EQ(c.pieces, std::vector<ustring>(list.begin(), list.end()));
    }
    std::vector<ustring> out;
    ustring::split(L",a", L',', out, false);
    EXPECT_EQ((std::vector<ustring>{L"", L"a"}), out);
    ustring::split(L"abc", L'\0', out, false);
    EXPECT_EQ((std::vector<ustring>{L"abc"}), out);
}

TEST(UStringSplitTest, SetDropsCaseInsensitiveDuplicates)
{
    std::set<ustring, LessStrW> out = {L"stale"};
    ustring::split(L"Red,red,RED,Blue", L",", out, false);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(ustring(L"Blue"), *out.begin());
    EXPECT_EQ(ustring(L"Red"), *out.rbegin());
    ustring::split(L"x;X", L';', out, true);
    EXPECT_EQ(1u, out.size());
}

TEST(UStringSplitTest, MultiString)
{
    const wchar_t multi[] = L"A\0B\0\0C\0";
    std::vector<ustring> out = {L"stale"};
    ustring::split(multi, out);
    EXPECT_EQ((std::vector<ustring>{L"A", L"B"}), out);
    std::list<ustring> list;
    ustring::split(L"\0A\0", list);
    EXPECT_TRUE(list.empty());
    std::set<ustring, LessStrW> set;
    ustring::split(L"k\0K\0j\0", set);
    EXPECT_EQ(2u, set.size());
    ustring::split(static_cast<const wchar_t*>(nullptr), out);
    EXPECT_TRUE(out.empty());
}

TEST(ComparatorTest, CaseInsensitiveOrder)
{
    LessStrW lessW;
    EXPECT_TRUE(lessW(L"apple", L"Banana"));
    EXPECT_FALSE(lessW(L"ABC", L"abc"));
    EXPECT_FALSE(lessW(L"abc", L"ABC"));
    LessStrA lessA;
    EXPECT_TRUE(lessA("apple", "Banana"));
    EXPECT_FALSE(lessA("ABC", "abc"));
    EXPECT_FALSE(lessA("abc", "ABC"));
}

TEST(ComparatorTest, NumericOrder)
{
    LessStrWN lessW;
    EXPECT_TRUE(lessW(L"item2", L"item10"));
    EXPECT_TRUE(lessW(L"x9", L"file10"));
    EXPECT_FALSE(lessW(L"item1", L"file1"));
    EXPECT_FALSE(lessW(L"file1", L"item1"));
    EXPECT_FALSE(lessW(L"-5", L"5"));
    EXPECT_FALSE(lessW(L"5", L"-5"));
    EXPECT_TRUE(lessW(L"none", L"a1"));
    EXPECT_TRUE(lessW(L"v1.99", L"v2.0"));
    std::set<ustring, LessStrWN> set = {L"item1", L"file1", L"item10", L"item2"};
    EXPECT_EQ((std::vector<ustring>{L"item1", L"item2", L"item10"}),
              std::vector<ustring>(set.begin(), set.end()));

    LessStrAN lessA;
    EXPECT_TRUE(lessA("item2", "item10"));
    EXPECT_FALSE(lessA("-5", "5"));
    EXPECT_TRUE(lessA("\xB2\xB3", "1"));
}
