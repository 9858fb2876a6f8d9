// ustring: construction, comparison, matching, editing, formatting, resources.
#include <tarn_kit/ustring.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace tarn_kit {

const ustring::size_type ustring::npos = std::wstring::npos;

namespace {

// Longest text vsprintf tries before it gives up on a format the runtime
// rejects for a reason other than space (the runtime reports both as -1).
const std::size_t kMaxFormattedLength = std::size_t(1) << 24;

int Sign(int n)
{
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

struct CompareOrdinal
{
    int operator()(wchar_t a, wchar_t b) const { return a < b ? -1 : (a > b ? 1 : 0); }
};

// _wcsicmp on one-character strings. ASCII takes a shortcut that gives the
// same answer: the runtime compares the lower-case forms.
struct CompareNoCase
{
    int operator()(wchar_t a, wchar_t b) const
    {
        if (a == b)
            return 0;
        if (a < 0x80 && b < 0x80) {
            wchar_t la = (a >= L'A' && a <= L'Z') ? wchar_t(a + 32) : a;
            wchar_t lb = (b >= L'A' && b <= L'Z') ? wchar_t(b + 32) : b;
            return la < lb ? -1 : (la > lb ? 1 : 0);
        }
        const wchar_t sa[2] = {a, 0};
        const wchar_t sb[2] = {b, 0};
        return Sign(_wcsicmp(sa, sb));
    }
};

// Does the mask piece [p, p + n) (literals and '?') match the text at pos?
template <class Compare>
bool PieceMatches(const wchar_t* text, const wchar_t* p, std::size_t n, Compare cmp)
{
    for (std::size_t k = 0; k < n; ++k)
        if (p[k] != L'?' && cmp(text[k], p[k]) != 0)
            return false;
    return true;
}

// Wildcard comparison. Up to the first '*' the mask is compared unit by unit and
// a mismatch gives its sign. From there on the mask is pieces of literals and
// '?' between runs of '*' (a '?' inside such a run consumes nothing); placing
// each piece at its leftmost match decides the same question as trying every
// suffix, in time linear in the text for a fixed mask instead of exponential.
// A text that ends while the mask still wants characters compares as less.
template <class Compare>
int MatchMask(const wchar_t* str, std::size_t len, const wchar_t* mask, Compare cmp)
{
    if (!mask)
        mask = L"";
    std::size_t i = 0;
    const wchar_t* m = mask;
    for (;; ++m, ++i) {
        if (i == len) {
            while (*m == L'*')
                ++m;
            return *m == 0 ? 0 : -1;
        }
        if (*m == 0)
            return 1;
        if (*m == L'*')
            break;
        if (*m == L'?')
            continue;
        int c = cmp(str[i], *m);
        if (c != 0)
            return c;
    }

    // Cut the rest into pieces; remember whether the mask ends in a run of
    // wildcards and whether that run holds a '?' (then an empty remainder of
    // the text does not match it).
    struct CPiece
    {
        const wchar_t* p;
        std::size_t n;
    };
    std::vector<CPiece> pieces;
    bool bTrailingRun = false;
    bool bTrailingQuestion = false;
    while (*m) {
        bool bQuestion = false;
        while (*m == L'*' || *m == L'?')
            bQuestion |= (*m++ == L'?');
        if (*m == 0) {
            bTrailingRun = true;
            bTrailingQuestion = bQuestion;
            break;
        }
        const wchar_t* start = m;
        while (*m && *m != L'*')
            ++m;
        pieces.push_back(CPiece{start, std::size_t(m - start)});
    }
    if (pieces.empty())
        return 0;

    std::size_t last = bTrailingRun ? pieces.size() : pieces.size() - 1;
    for (std::size_t k = 0; k < last; ++k) {
        const CPiece& piece = pieces[k];
        bool bFound = false;
        for (; i + piece.n <= len; ++i)
            if (PieceMatches(str + i, piece.p, piece.n, cmp)) {
                bFound = true;
                break;
            }
        if (!bFound)
            return 1;
        i += piece.n;
    }
    if (bTrailingRun)
        return (i < len || !bTrailingQuestion) ? 0 : 1;

    // The last piece is anchored at the end of the text.
    const CPiece& tail = pieces.back();
    if (len - i < tail.n)
        return 1;
    return PieceMatches(str + len - tail.n, tail.p, tail.n, cmp) ? 0 : 1;
}

void AppendHex(std::wstring& out, unsigned int code)
{
    wchar_t buf[16];
    int n = 0;
    do {
        unsigned int digit = code & 0xF;
        buf[n++] = wchar_t(digit < 10 ? L'0' + digit : L'A' + digit - 10);
        code >>= 4;
    } while (code != 0);
    if (n < 2)
        buf[n++] = L'0';
    out += L'%';
    while (n > 0)
        out += buf[--n];
}

} // namespace

// Construction and assignment

ustring::ustring(const wchar_t* s)
{
    if (s)
        assign(s);
}

ustring::ustring(const std::string& s, unsigned int codePage, unsigned long flags)
    : base_type(MultiByteToWideChar(s, codePage, flags))
{}

ustring& ustring::operator=(const ustring& s)
{
    base_type::operator=(s);
    return *this;
}

ustring& ustring::operator=(ustring&& s) noexcept
{
    base_type::operator=(std::move(s));
    return *this;
}

ustring& ustring::operator=(const base_type& s)
{
    base_type::operator=(s);
    return *this;
}

ustring& ustring::operator=(const wchar_t* s)
{
    if (s)
        assign(s);
    else
        clear();
    return *this;
}

ustring& ustring::operator=(wchar_t c)
{
    assign(1, c);
    return *this;
}

ustring& ustring::operator+=(const ustring& s)
{
    append(s);
    return *this;
}

ustring& ustring::operator+=(const base_type& s)
{
    append(s);
    return *this;
}

ustring& ustring::operator+=(const wchar_t* s)
{
    if (s)
        append(s);
    return *this;
}

ustring& ustring::operator+=(wchar_t c)
{
    push_back(c);
    return *this;
}

// Comparison and matching

int ustring::compareOrdinal(const wchar_t* s) const noexcept
{
    return compare(s ? s : L"");
}

int ustring::compareNoCase(const wchar_t* s, size_type n) const
{
    if (!s)
        s = L"";
    return n == npos ? _wcsicmp(c_str(), s) : _wcsnicmp(c_str(), s, n);
}

int ustring::compareWithMask(const wchar_t* mask) const
{
    return MatchMask(data(), size(), mask, CompareOrdinal());
}

int ustring::compareWithMaskNoCase(const wchar_t* mask) const
{
    return MatchMask(data(), size(), mask, CompareNoCase());
}

// Trimming

ustring& ustring::trim(wchar_t c)
{
    return trim_left(c).trim_right(c);
}

ustring& ustring::trim_left(wchar_t c)
{
    erase(0, find_first_not_of(c));
    return *this;
}

ustring& ustring::trim_right(wchar_t c)
{
    size_type last = find_last_not_of(c);
    erase(last == npos ? 0 : last + 1);
    return *this;
}

ustring& ustring::trim(const std::vector<wchar_t>& set)
{
    return trim_left(set).trim_right(set);
}

ustring& ustring::trim_left(const std::vector<wchar_t>& set)
{
    if (!set.empty())
        erase(0, find_first_not_of(set.data(), 0, set.size()));
    return *this;
}

ustring& ustring::trim_right(const std::vector<wchar_t>& set)
{
    if (!set.empty()) {
        size_type last = find_last_not_of(set.data(), npos, set.size());
        erase(last == npos ? 0 : last + 1);
    }
    return *this;
}

// Editing

void ustring::replace(const ustring& what, const ustring& with)
{
    if (what.empty())
        return;
    size_type pos = find(what);
    if (pos == npos)
        return;
    // Built in one pass: in-place replacement would move the tail once per hit.
    base_type result;
    result.reserve(size());
    size_type done = 0;
    while (pos != npos) {
        result.append(*this, done, pos - done);
        result.append(with);
        done = pos + what.size();
        pos = find(what, done);
    }
    result.append(*this, done, npos);
    base_type::swap(result);
}

void ustring::strupr()
{
    if (!empty())
        _wcsupr(&(*this)[0]);
}

void ustring::strlwr()
{
    if (!empty())
        _wcslwr(&(*this)[0]);
}

void ustring::replaceForbiddenSymbols(const wchar_t* forbidden)
{
    if (!forbidden || !*forbidden || find_first_of(forbidden) == npos)
        return;
    // Every character is looked at once and escaped at most once, as a walk
    // from the end that inserts in place would do, without moving the tail.
    base_type result;
    result.reserve(size() + size() / 2);
    for (wchar_t c : static_cast<const base_type&>(*this)) {
        if (c != 0 && std::wcschr(forbidden, c))
            AppendHex(result, c);
        else
            result += c;
    }
    base_type::swap(result);
}

ustring ustring::substr(const wchar_t* szBegin, const wchar_t* szEnd, bool bWithBegin,
                        bool bNeedEnd) const
{
    if (empty())
        return ustring();
    size_type start = 0;
    size_type beginLength = 0;
    if (szBegin) {
        beginLength = std::wcslen(szBegin);
        start = find(szBegin);
        if (start == npos)
            return ustring();
    }
    size_type end = size();
    if (szEnd) {
        size_type found = find(szEnd, start + beginLength);
        if (found != npos)
            end = found;
        else if (bNeedEnd)
            return ustring();
    }
    if (!bWithBegin)
        start += beginLength;
    if (start >= end)
        return ustring();
    return ustring(data() + start, end - start);
}

bool ustring::isnumber() const
{
    if (empty())
        return false;
    const wchar_t* sep = m_Locale.ThousandsSep();
    size_type sepLength = std::wcslen(sep);
    for (size_type i = 0; i < size();) {
        if (iswdigit((*this)[i]))
            ++i;
        else if (sepLength != 0 && compare(i, sepLength, sep) == 0)
            i += sepLength;
        else
            return false;
    }
    return true;
}

// Formatting and resources

void ustring::sprintf(const wchar_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vsprintf(fmt, args);
    va_end(args);
}

void ustring::vsprintf(const wchar_t* fmt, va_list args)
{
    if (!fmt) {
        clear();
        return;
    }
    // A format inside this string would move when the string is resized.
    ustring copy;
    if (fmt >= data() && fmt <= data() + size()) {
        copy.assign(fmt);
        fmt = copy.c_str();
    }
    size_type length = 1024;
    for (;;) {
        resize(length);
        va_list ap;
        va_copy(ap, args);
        int n = _vsnwprintf(&(*this)[0], length, fmt, ap);
        va_end(ap);
        if (n >= 0) {
            resize(size_type(n));
            return;
        }
        if (length >= kMaxFormattedLength) {
            clear();
            return;
        }
        length *= 2;
    }
}

bool ustring::load(HINSTANCE module, unsigned int id)
{
    clear();
    int length = 256;
    for (;;) {
        resize(size_type(length));
        int n = LoadStringW(module, id, &(*this)[0], length);
        if (n < length - 1) {
            resize(n > 0 ? size_type(n) : 0);
            return n > 0;
        }
        length *= 2;
    }
}

} // namespace tarn_kit
