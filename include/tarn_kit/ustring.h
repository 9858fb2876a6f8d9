// Strings and locale.
//
// Classes in this file:
//   CLocale    - the number settings of a Windows locale, read once
//   ustring    - the library's UTF-16 string, a std::wstring with extras
//   LessStrA   - case-insensitive ordering of std::string
//   LessStrW   - case-insensitive ordering of ustring
//   LessStrAN  - ordering of std::string by the first number in the text
//   LessStrWN  - ordering of ustring by the first number in the text
#pragma once

#include "config.h"

#include <cstdarg>
#include <list>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace tarn_kit {

// The seven number-formatting settings of one Windows locale.
class TARNKIT_API CLocale
{
public:
    // Construction
    explicit CLocale(unsigned long lcid = LOCALE_USER_DEFAULT);

    // Attributes
    const wchar_t* DecimalPoint() const noexcept { return m_szDecimalPoint; }
    const wchar_t* ThousandsSep() const noexcept { return m_szThousandsSep; }
    const wchar_t* NegativeSign() const noexcept { return m_szNegativeSign; }
    /// LOCALE_INEGNUMBER: 0 "(1)", 1 "-1", 2 "- 1", 3 "1-", 4 "1 -".
    int NegNumber() const noexcept { return m_nNegNumber; }
    /// Size of a digit group; 0 means no grouping.
    int Grouping() const noexcept { return m_nGrouping; }
    int Digits() const noexcept { return m_nDigits; }
    bool LeadingZeros() const noexcept { return m_nLeadingZeros != 0; }

private:
    int GetLocaleInfoW(unsigned long lcid, unsigned long item);

    wchar_t m_szDecimalPoint[256];
    wchar_t m_szThousandsSep[256];
    wchar_t m_szNegativeSign[256];
    int m_nNegNumber;
    int m_nGrouping;
    int m_nDigits;
    int m_nLeadingZeros;
};

struct LessStrW;

// UTF-16 text: a std::wstring that accepts null pointers as the empty string
// and adds matching, trimming, formatting, number and code-page conversion.
class TARNKIT_API ustring : public std::wstring
{
public:
    typedef std::wstring base_type;

    /// Missing position; equals std::wstring::npos.
    static const size_type npos;
    /// Number settings used by every conversion; built from the user default locale.
    static CLocale m_Locale;

    // Construction
    ustring() = default;
    ustring(const ustring&) = default;
    ustring(ustring&&) noexcept = default;
    ustring(const wchar_t* s);
    ustring(const wchar_t* s, size_type n) : base_type(s, n) {}
    ustring(size_type n, wchar_t c) : base_type(n, c) {}
    ustring(const base_type& s) : base_type(s) {}
    ustring(base_type&& s) noexcept : base_type(std::move(s)) {}
    template <class InputIt, class = typename std::iterator_traits<InputIt>::iterator_category>
    ustring(InputIt first, InputIt last) : base_type(first, last)
    {}
    /// 8-bit text converted with MultiByteToWideChar.
    explicit ustring(const std::string& s, unsigned int codePage = CP_UTF8,
                     unsigned long flags = 0);
    ~ustring() = default;

    operator const wchar_t*() const noexcept { return c_str(); }

    // Assignment
    ustring& operator=(const ustring& s);
    ustring& operator=(ustring&& s) noexcept;
    ustring& operator=(const base_type& s);
    ustring& operator=(const wchar_t* s);
    ustring& operator=(wchar_t c);
    ustring& operator+=(const ustring& s);
    ustring& operator+=(const base_type& s);
    ustring& operator+=(const wchar_t* s);
    ustring& operator+=(wchar_t c);

    // Element access by any integer type; without it s[0] would be ambiguous
    // with the built-in subscript through the pointer conversion.
    template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
    reference operator[](I i)
    {
        return base_type::operator[](static_cast<size_type>(i));
    }
    template <class I, typename std::enable_if<std::is_integral<I>::value, int>::type = 0>
    const_reference operator[](I i) const
    {
        return base_type::operator[](static_cast<size_type>(i));
    }

    // Ordinal comparison; a null pointer compares as the empty string
    bool operator==(const ustring& s) const noexcept { return compare(s) == 0; }
    bool operator!=(const ustring& s) const noexcept { return compare(s) != 0; }
    bool operator<(const ustring& s) const noexcept { return compare(s) < 0; }
    bool operator>(const ustring& s) const noexcept { return compare(s) > 0; }
    bool operator<=(const ustring& s) const noexcept { return compare(s) <= 0; }
    bool operator>=(const ustring& s) const noexcept { return compare(s) >= 0; }
    bool operator==(const wchar_t* s) const noexcept { return compareOrdinal(s) == 0; }
    bool operator!=(const wchar_t* s) const noexcept { return compareOrdinal(s) != 0; }
    bool operator<(const wchar_t* s) const noexcept { return compareOrdinal(s) < 0; }
    bool operator>(const wchar_t* s) const noexcept { return compareOrdinal(s) > 0; }
    bool operator<=(const wchar_t* s) const noexcept { return compareOrdinal(s) <= 0; }
    bool operator>=(const wchar_t* s) const noexcept { return compareOrdinal(s) >= 0; }

    using base_type::compare;
    using base_type::replace;
    using base_type::substr;

    // Comparison and matching
    /// _wcsicmp, or _wcsnicmp over at most n units.
    int compareNoCase(const wchar_t* s, size_type n = npos) const;
    /// 0 when the text matches the mask of '*' and '?', otherwise -1 or 1.
    int compareWithMask(const wchar_t* mask) const;
    int compareWithMaskNoCase(const wchar_t* mask) const;

    // Operations
    ustring& trim(wchar_t c = L' ');
    ustring& trim_left(wchar_t c = L' ');
    ustring& trim_right(wchar_t c = L' ');
    ustring& trim(const std::vector<wchar_t>& set);
    ustring& trim_left(const std::vector<wchar_t>& set);
    ustring& trim_right(const std::vector<wchar_t>& set);
    /// Replaces every occurrence of what; inserted text is not searched again.
    void replace(const ustring& what, const ustring& with);
    void strupr();
    void strlwr();
    void sprintf(const wchar_t* fmt, ...);
    void vsprintf(const wchar_t* fmt, va_list args);
    /// String resource id of module; false (and empty) when missing or empty.
    bool load(HINSTANCE module, unsigned int id);
    /// load, then through the process's translator: the translation when one is known.
    bool xload(HINSTANCE module, unsigned int id);
    /// Percent-escapes ("%2F") every character listed in forbidden.
    void replaceForbiddenSymbols(const wchar_t* forbidden);
    /// Text between two markers; a null marker means there is none.
    ustring substr(const wchar_t* szBegin, const wchar_t* szEnd, bool bWithBegin,
                   bool bNeedEnd) const;
    /// Only digits and thousands separators of m_Locale.
    bool isnumber() const;

    // Splitting: a multi-string (NUL-separated, ended by an empty string), or
    // at every occurrence of a separator
    static void split(const wchar_t* s, std::vector<ustring>& out);
    static void split(const wchar_t* s, std::list<ustring>& out);
    static void split(const wchar_t* s, std::set<ustring, LessStrW>& out);
    static void split(const wchar_t* s, const wchar_t* separator, std::vector<ustring>& out,
                      bool bTrailingEmpty);
    static void split(const wchar_t* s, const wchar_t* separator, std::list<ustring>& out,
                      bool bTrailingEmpty);
    static void split(const wchar_t* s, const wchar_t* separator, std::set<ustring, LessStrW>& out,
                      bool bTrailingEmpty);
    static void split(const wchar_t* s, wchar_t separator, std::vector<ustring>& out,
                      bool bTrailingEmpty);
    static void split(const wchar_t* s, wchar_t separator, std::list<ustring>& out,
                      bool bTrailingEmpty);
    static void split(const wchar_t* s, wchar_t separator, std::set<ustring, LessStrW>& out,
                      bool bTrailingEmpty);

    // Numbers, written and read with the settings of m_Locale
    static __int64 atoi64(const wchar_t* s);
    static double strtod(const wchar_t* s);
    static ustring i64toa(__int64 v);
    static ustring ui64toa(unsigned __int64 v);
    /// digits < 0: the locale's number of fraction digits.
    static ustring fcvt(double v, int digits);

    // Code pages; length npos means NUL-terminated
    static ustring MultiByteToWideChar(const char* s, size_type length, unsigned int codePage,
                                       unsigned long flags);
    static ustring MultiByteToWideChar(const std::string& s, unsigned int codePage,
                                       unsigned long flags);
    static std::string WideCharToMultiByte(const wchar_t* s, size_type length,
                                           unsigned int codePage, unsigned long flags);
    static std::string WideCharToMultiByte(const ustring& s, unsigned int codePage,
                                           unsigned long flags);

protected:
    /// Applies a LOCALE_INEGNUMBER pattern to the text.
    void add_sign(int mode, const wchar_t* sign);

private:
    int compareOrdinal(const wchar_t* s) const noexcept;
};

// Concatenation keeps the type (the base string's operators would give a
// std::wstring); a null pointer adds nothing.
inline ustring operator+(const ustring& a, const ustring& b)
{
    ustring r(a);
    r += b;
    return r;
}
inline ustring operator+(const ustring& a, const wchar_t* b)
{
    ustring r(a);
    r += b;
    return r;
}
inline ustring operator+(const wchar_t* a, const ustring& b)
{
    ustring r(a);
    r += b;
    return r;
}
inline ustring operator+(const ustring& a, wchar_t b)
{
    ustring r(a);
    r += b;
    return r;
}
inline ustring operator+(wchar_t a, const ustring& b)
{
    ustring r(1, a);
    r += b;
    return r;
}

// Ordering function objects for sorted containers.

struct TARNKIT_API LessStrA
{
    typedef std::string first_argument_type;
    typedef std::string second_argument_type;
    typedef bool result_type;
    bool operator()(const std::string& a, const std::string& b) const;
};

struct TARNKIT_API LessStrW
{
    typedef ustring first_argument_type;
    typedef ustring second_argument_type;
    typedef bool result_type;
    bool operator()(const ustring& a, const ustring& b) const;
};

/// Orders by the first run of decimal digits ("item2" < "item10"); signs are ignored.
struct TARNKIT_API LessStrAN
{
    typedef std::string first_argument_type;
    typedef std::string second_argument_type;
    typedef bool result_type;
    bool operator()(const std::string& a, const std::string& b) const;
};

struct TARNKIT_API LessStrWN
{
    typedef ustring first_argument_type;
    typedef ustring second_argument_type;
    typedef bool result_type;
    bool operator()(const ustring& a, const ustring& b) const;
};

} // namespace tarn_kit
