// ustring: null pointers, comparison, masks, editing, formatting, resources,
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

int Sign(int n)
{
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

// The wildcard comparison as the plain recursion it is defined by: exponential
// but obviously right. A text that ends first compares as less.
int ReferenceMask(const wchar_t* s, std::size_t len, std::size_t i, const wchar_t* m, bool noCase)
{
    for (;; ++i, ++m) {
        if (i == len) {
            while (*m == L'*')
                ++m;
            return *m == 0 ? 0 : -1;
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
        const wchar_t a[2] = {s[i], 0}, b[2] = {*m, 0};
        int c = noCase ? Sign(_wcsicmp(a, b)) : (s[i] < *m ? -1 : (s[i] > *m ? 1 : 0));
        if (*m != L'?' && c != 0)
            return c;
    }
}

} // namespace

TEST(UStringTest, NullPointersAndAssignment)
{
    const wchar_t* null = nullptr;
    ustring s(null);
    EXPECT_TRUE(s.empty());
    (s = L'x') += L"yz";
    s += null;
    s += ustring(L"!");
    EXPECT_EQ(ustring(L"xyz!"), s);
    s = null;
    EXPECT_TRUE(s.empty() && s == null && ustring(L"a") > null);
    EXPECT_EQ(0, s.compareNoCase(null));
    EXPECT_EQ(0, s.compareWithMask(null));
    EXPECT_EQ(ustring(L"caf\u00E9"), ustring(std::string("caf\xC3\xA9"), CP_UTF8, 0));
    static_assert(std::is_same<decltype(L"a" + s + L'b' + s), ustring>::value, "keeps the type");
}

TEST(UStringTest, ComparisonIsOrdinalOverUnsignedUnits)
{
    struct
    {
        const wchar_t *a, *b;
        int sign;
    } cases[] = {{L"abc", L"abc", 0},
                 {L"ab", L"abc", -1},
                 {L"B", L"a", -1},
                 {L"z", L"\u00E9", -1},
                 {L"\uFFFF", L"\xD83D\xDE00", 1},
                 {L"a", L"", 1}};
    for (const auto& c : cases) {
        ustring a(c.a);
        EXPECT_EQ(c.sign == 0, a == ustring(c.b) && !(a != c.b)) << c.a;
        EXPECT_EQ(c.sign < 0, a < c.b && a <= ustring(c.b)) << c.a;
        EXPECT_EQ(c.sign > 0, a > ustring(c.b) && a >= c.b) << c.a;
    }
    EXPECT_EQ(0, ustring(L"Hello").compareNoCase(L"hELLO"));
    EXPECT_EQ(0, ustring(L"ABCdef").compareNoCase(L"abcXYZ", 3));
    EXPECT_NE(0, ustring(L"ABCdef").compareNoCase(L"abcXYZ", 4));
}

// The recursion below judges the rest: after a '*' it only tells match from no match.
TEST(UStringTest, MaskExamples)
{
    EXPECT_EQ(1, ustring(L"x.doc").compareWithMask(L"*.txt"));
    EXPECT_EQ(-1, ustring(L"ABC").compareWithMask(L"a*C"));
    // Beyond ASCII the runtime's _wcsicmp decides.
    EXPECT_EQ(_wcsicmp(L"\u00C9", L"\u00E9") == 0,
              ustring(L"\u00C9").compareWithMaskNoCase(L"\u00E9") == 0);
}

// The linear matcher against the defining recursion: the exact result before
// the first '*', match or no match after it.
TEST(UStringTest, MaskAgreesWithTheRecursiveDefinition)
{
    std::mt19937 rng(20261205);
    for (int n = 0; n < 20000; ++n) {
        ustring text(rng() % 9, L' '), mask(rng() % 8, L' ');
        for (auto& c : text)
            c = L"abAB"[rng() % 4];
        for (auto& c : mask)
            c = L"abAB*?"[rng() % 6];
        for (bool noCase : {false, true}) {
            int expected = ReferenceMask(text.c_str(), text.size(), 0, mask.c_str(), noCase);
            int actual = noCase ? text.compareWithMaskNoCase(mask) : text.compareWithMask(mask);
            if (mask.find(L'*') != ustring::npos) {
                expected = expected != 0;
                actual = actual != 0;
            }
            ASSERT_EQ(expected, actual) << text << L" " << mask << L" " << noCase;
        }
    }
    ustring text(100000, L'a');
    EXPECT_NE(0, text.compareWithMask(L"*a*a*a*a*a*a*a*a*a*a*b"));
    EXPECT_NE(0, text.compareWithMaskNoCase(L"*A*A*A*A*A*A*A*A*A*A*B*"));
    EXPECT_EQ(0, (text + L"b").compareWithMask(L"*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(UStringTest, Editing)
{
    EXPECT_EQ(ustring(L""), ustring(L"000").trim_left(L'0'));
    EXPECT_EQ(ustring(L"x00"), ustring(L"00x00").trim_left(L'0'));
    EXPECT_EQ(ustring(L"x"), ustring(L"00x00").trim(L'0'));
    const std::vector<wchar_t> blanks = {L' ', L'\t'};
    EXPECT_EQ(ustring(L"x"), ustring(L" \tx \t").trim(blanks));
    EXPECT_EQ(ustring(L" \tx"), ustring(L" \tx \t").trim_right(blanks));
    EXPECT_EQ(ustring(L" a "), ustring(L" a ").trim(std::vector<wchar_t>()));

    const wchar_t* replacements[][4] = {{L"aaa", L"a", L"aa", L"aaaaaa"},
                                        {L"abc", L"", L"x", L"abc"},
                                        {L"xyxyx", L"xyx", L"-", L"-yx"},
                                        {L"a, b, c", L", ", L"", L"abc"}};
    for (const auto& r : replacements) {
        ustring s(r[0]);
        s.replace(ustring(r[1]), ustring(r[2]));
        EXPECT_EQ(ustring(r[3]), s) << r[0];
    }
    ustring s(L"Mixed 1");
    s.strupr();
    EXPECT_EQ(ustring(L"MIXED 1"), s);
    s.strlwr();
    EXPECT_EQ(ustring(L"mixed 1"), s);

    const wchar_t* escapes[][3] = {{L"a/b/c", L"/", L"a%2Fb%2Fc"},
                                   {L"50%/x", L"%/", L"50%25%2Fx"},
                                   {L"50%/x", L"/%", L"50%25%2Fx"},
                                   {L"\u00E9 \u0410", L"\u00E9\u0410 ", L"%E9%20%410"}};
    for (const auto& e : escapes) {
        ustring t(e[0]);
        t.replaceForbiddenSymbols(e[1]);
        EXPECT_EQ(ustring(e[2]), t) << e[0];
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
    EXPECT_EQ(ustring(L"b"), ustring(L"a>[b>").substr(L"[", L">", false, true));
    EXPECT_EQ(ustring(L"<y"), s.substr(1, 2));
}

TEST(UStringTest, SprintfAndLoadTakeAnyLength)
{
    ustring s;
    s.sprintf(L"%s|%c|%d|%X|%02X|%I64u", L"ab", L'x', -5, 255u, 10u, 18446744073709551615ull);
    EXPECT_EQ(ustring(L"ab|x|-5|FF|0A|18446744073709551615"), s);
    s.sprintf(L"<%s>", ustring(5000, L'q').c_str());
    EXPECT_EQ(5002u, s.size());
    s = L"%d-%d";
    s.sprintf(s.c_str(), 1, 2);
    EXPECT_EQ(ustring(L"1-2"), s);

    HINSTANCE self = ::GetModuleHandleW(nullptr);
    ASSERT_TRUE(s.load(self, 1001));
    EXPECT_EQ(300u, s.size());
    EXPECT_EQ(ustring(L"0123456789"), s.substr(290, 10));
    EXPECT_FALSE(s.load(self, 4242));
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(s.load(self, 1002));
    EXPECT_TRUE(s.load(::GetModuleHandleW(L"TarnKit.dll"), 120));
    EXPECT_EQ(ustring(L"File not found. Check the file name and try again."), s);
}

TEST(UStringTest, IsNumberUsesTheThousandsSeparator)
{
    const tarn_kit::CLocale saved = ustring::m_Locale;
    ustring::m_Locale = tarn_kit::CLocale(0x409);
    for (const wchar_t* yes : {L"1,234", L",", L"0"})
        EXPECT_TRUE(ustring(yes).isnumber()) << yes;
    for (const wchar_t* no : {L"-5", L"1.5", L"", L"12 3"})
        EXPECT_FALSE(ustring(no).isnumber()) << no;
    ustring::m_Locale = tarn_kit::CLocale(0x407);
    EXPECT_TRUE(ustring(L"1.234").isnumber());
    EXPECT_FALSE(ustring(L"1,234").isnumber());
    ustring::m_Locale = saved;
}

TEST(UStringTest, Split)
{
    struct
    {
        const wchar_t *text, *separator;
        bool trailing;
        std::vector<ustring> pieces;
    } cases[] = {{L"a,b,,c", L",", false, {L"a", L"b", L"", L"c"}},
                 {L"a,b,", L",", false, {L"a", L"b"}},
                 {L"a,b,", L",", true, {L"a", L"b", L""}},
                 {L",a", L",", false, {L"", L"a"}},
                 {nullptr, L",", false, {L""}},
                 {L"x::y", L"::", false, {L"x", L"y"}},
                 {L"abc", L"", false, {L"abc"}}};
    for (const auto& c : cases) {
        std::vector<ustring> out = {L"stale"};
        ustring::split(c.text, c.separator, out, c.trailing);
        EXPECT_EQ(c.pieces, out) << (c.text ? c.text : L"(null)");
        std::list<ustring> list;
        ustring::split(c.text, c.separator[0], list, c.trailing);
        if (wcslen(c.separator) == 1) {
            EXPECT_EQ(c.pieces, std::vector<ustring>(list.begin(), list.end()));
        }
    }
    std::set<ustring, LessStrW> set;
    ustring::split(L"Red,red,RED,Blue", L",", set, false);
    EXPECT_EQ((std::set<ustring, LessStrW>{L"Blue", L"Red"}), set);
    EXPECT_EQ(ustring(L"Red"), *set.rbegin());
    std::vector<ustring> multi = {L"stale"};
    ustring::split(L"A\0B\0\0C\0", multi);
    EXPECT_EQ((std::vector<ustring>{L"A", L"B"}), multi);
    ustring::split(L"\0A\0", multi);
    EXPECT_TRUE(multi.empty());
}

TEST(ComparatorTest, CaseInsensitiveAndNumericOrder)
{
    EXPECT_TRUE(LessStrW()(L"apple", L"Banana"));
    EXPECT_FALSE(LessStrW()(L"ABC", L"abc") || LessStrW()(L"abc", L"ABC"));
    EXPECT_TRUE(LessStrA()("apple", "Banana"));
    EXPECT_FALSE(LessStrA()("ABC", "abc") || LessStrA()("abc", "ABC"));

    LessStrWN less;
    EXPECT_TRUE(less(L"item2", L"item10") && less(L"x9", L"file10") && less(L"none", L"a1"));
    EXPECT_FALSE(less(L"item1", L"file1") || less(L"file1", L"item1"));
    EXPECT_FALSE(less(L"-5", L"5") || less(L"5", L"-5"));
    std::set<ustring, LessStrWN> set = {L"item1", L"file1", L"item10", L"item2"};
    EXPECT_EQ((std::vector<ustring>{L"item1", L"item2", L"item10"}),
              std::vector<ustring>(set.begin(), set.end()));
    EXPECT_TRUE(LessStrAN()("item2", "item10"));
    EXPECT_FALSE(LessStrAN()("-5", "5"));
    EXPECT_TRUE(LessStrAN()("\xB2\xB3", "1"));
}
