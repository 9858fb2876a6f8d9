// Tour: strings and locale.
#include "tour.h"

#include <cstdio>
#include <vector>

using tarn_kit::CLocale;
using tarn_kit::ustring;

namespace {

struct CColumn
{
    const char* title;
    LCID lcid;
};

const CColumn kColumns[] = {
    {"user default", LOCALE_USER_DEFAULT}, {"en-US 0x409", 0x409}, {"de-DE 0x407", 0x407}};

// One row of the table, each cell computed with ustring::m_Locale set to the
// column's locale.
template <class F>
void Row(const char* label, F cell)
{
    const CLocale saved = ustring::m_Locale;
    std::printf("  %-24s", label);
    for (const CColumn& c : kColumns) {
        ustring::m_Locale = CLocale(c.lcid);
        std::printf(" %-27s", U8(cell()).c_str());
    }
    std::printf("\n");
    ustring::m_Locale = saved;
}

} // namespace

void TourStrings()
{
    std::printf(
        "\n== Strings and locale\n\nNumbers, formatted with each locale and parsed back:\n");
    std::printf("  %-24s", "");
    for (const CColumn& c : kColumns)
        std::printf(" %-27s", c.title);
    std::printf("\n");
    Row("i64toa(-1234567)", [] { return ustring::i64toa(-1234567); });
    Row("ui64toa(2^64 - 1)", [] { return ustring::ui64toa(18446744073709551615ull); });
    Row("fcvt(1234567.891, 2)", [] { return ustring::fcvt(1234567.891, 2); });
    Row("fcvt(0.5, locale digits)", [] { return ustring::fcvt(0.5, -1); });
    Row("fcvt(-0.125, 3)", [] { return ustring::fcvt(-0.125, 3); });
    // Reading takes the C runtime's decimal point, not the locale's.
    Row("strtod(fcvt(1234.5, 1))", [] {
        ustring s;
        s.sprintf(L"%g", ustring::strtod(ustring::fcvt(1234.5, 1)));
        return s;
    });
    Row("atoi64(i64toa(-1234567))", [] {
        ustring s;
        s.sprintf(L"%I64d", ustring::atoi64(ustring::i64toa(-1234567)));
        return s;
    });
    Row("isnumber(\"1,234\")",
        [] { return ustring(ustring(L"1,234").isnumber() ? L"yes" : L"no"); });

    std::printf("\nWildcard masks (0 = match):\n  %-27s %-12s %8s %8s\n", "text", "mask", "case",
                "no case");
    const wchar_t* matches[][2] = {{L"report.TXT", L"*.txt"},
                                   {L"report.txt", L"*.txt"},
                                   {L"data_2026.csv", L"data_????.csv"},
                                   {L"abc", L"abd"},
                                   {L"abd", L"abc"},
                                   {L"receiver-7", L"rec*-?"},
                                   {L"x", L"*?"}};
    for (const auto& m : matches) {
        ustring text(m[0]);
        std::printf("  %-27s %-12s %8d %8d\n", U8(text).c_str(), U8(m[1]).c_str(),
                    text.compareWithMask(m[1]), text.compareWithMaskNoCase(m[1]));
    }

    const wchar_t* csv = L"TK-100,101412,\"Level\",,-47.25 dBm";
    std::printf("\nA CSV line split at ',': %s\n", U8(csv).c_str());
    std::vector<ustring> fields;
    ustring::split(csv, L',', fields, true);
    for (std::size_t i = 0; i < fields.size(); ++i)
        std::printf("  [%zu] \"%s\"\n", i, U8(fields[i]).c_str());
}
