// Benchmarks: wildcard masks and replace-all on large texts, beside the
// platform's PathMatchSpecW and a naive in-place replace-all.
#include "bench.h"

#include <tarn_kit/ustring.h>

#include <shlwapi.h>

using tarn_kit::ustring;

namespace {

// Replace-all the obvious way: one in-place replacement per occurrence, each
// moving the whole tail of the text.
void NaiveReplaceAll(ustring& s, const ustring& what, const ustring& with)
{
    std::size_t pos = s.find(what);
    while (pos != ustring::npos) {
        s.ustring::base_type::replace(pos, what.size(), with);
        pos = s.find(what, pos + with.size());
    }
}

ustring Repeat(const wchar_t* unit, std::size_t length)
{
    ustring s;
    s.reserve(length);
    while (s.size() < length)
        s += unit;
    s.resize(length);
    return s;
}

void Row(const char* what, std::size_t size, double seconds)
{
    std::printf("  %-46s %9zu %14.1f us\n", what, size, seconds * 1e6);
}

// Doubles the text until one run takes longer than the budget, so that the
// growth of a slow algorithm shows without running for hours.
template <class F>
void Growth(const char* what, std::size_t from, std::size_t to, F run)
{
    for (std::size_t size = from; size <= to; size *= 2) {
        CBenchTimer t;
        run(size);
        double seconds = t.Seconds();
        Row(what, size, seconds);
        if (seconds > 0.25) {
            std::printf("  %-46s (stopped: the next size would take too long)\n", "");
            break;
        }
    }
}

} // namespace

void BenchStrings()
{
    const std::size_t kSize = 1 << 20;
    std::printf("\nWildcard masks (text length in UTF-16 units)\n");
    const ustring as = Repeat(L"a", kSize);
    struct
    {
        const wchar_t* mask;
        const char* label;
    } masks[] = {
        {L"*a*a*a*a*a*b", "*a*a*a*a*a*b (no match)"},   {L"*a*a*a*a*a*a", "*a*a*a*a*a*a (match)"},
        {L"*aaaaaaaaab*", "*aaaaaaaaab* (no match)"},   {L"a*?a*?b", "a*?a*?b (no match)"},
        {L"*a?a?a?a?a?c*", "*a?a?a?a?a?c* (no match)"},
    };
    for (const auto& m : masks) {
        char label[96];
        std::snprintf(label, sizeof label, "compareWithMask %s", m.label);
        Row(label, kSize, TimePerRun([&] { (void)as.compareWithMask(m.mask); }));
        std::snprintf(label, sizeof label, "compareWithMaskNoCase %s", m.label);
        Row(label, kSize, TimePerRun([&] { (void)as.compareWithMaskNoCase(m.mask); }));
    }
    const ustring name = Repeat(L"report-", kSize - 4) + L".txt";
    Row("compareWithMask *.txt (match)", name.size(),
        TimePerRun([&] { (void)name.compareWithMask(L"*.txt"); }));
    Row("PathMatchSpecW *.txt (match)", name.size(),
        TimePerRun([&] { (void)::PathMatchSpecW(name.c_str(), L"*.txt"); }));
    Growth("PathMatchSpecW *a*a*a*a*a*b (no match)", 16, kSize, [&](std::size_t size) {
        ustring text = Repeat(L"a", size);
        (void)::PathMatchSpecW(text.c_str(), L"*a*a*a*a*a*b");
    });

    std::printf("\nReplace-all (text length in UTF-16 units)\n");
    const ustring abs = Repeat(L"ab", kSize);
    Row("replace ab -> xyz (grows)", kSize, TimePerRun([&] {
            ustring s = abs;
            s.replace(ustring(L"ab"), ustring(L"xyz"));
        }));
    Row("replace a -> (nothing) (shrinks)", kSize, TimePerRun([&] {
            ustring s = abs;
            s.replace(ustring(L"a"), ustring(L""));
        }));
    Row("replace ab -> ab (same length)", kSize, TimePerRun([&] {
            ustring s = abs;
            s.replace(ustring(L"ab"), ustring(L"ab"));
        }));
    Growth("naive in-place ab -> xyz", 1 << 12, kSize, [&](std::size_t size) {
        ustring s = Repeat(L"ab", size);
        NaiveReplaceAll(s, ustring(L"ab"), ustring(L"xyz"));
    });
}
