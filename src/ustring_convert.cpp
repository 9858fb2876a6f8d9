// ustring: numbers written and read with the settings of m_Locale, and
// conversion between UTF-16 and 8-bit code pages.
#include <tarn_kit/ustring.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>

namespace tarn_kit {

namespace {

// Spaces and thousands separators are ignored when reading numbers.
ustring StripForParsing(const wchar_t* s)
{
    ustring text(s);
    text.replace(ustring(L" "), ustring(L""));
    text.replace(ustring(ustring::m_Locale.ThousandsSep()), ustring(L""));
    return text;
}

} // namespace

__int64 ustring::atoi64(const wchar_t* s)
{
    std::string utf8 = WideCharToMultiByte(StripForParsing(s), CP_UTF8, 0);
    return _atoi64(utf8.c_str());
}

double ustring::strtod(const wchar_t* s)
{
    ustring text = StripForParsing(s);
    return std::wcstod(text.c_str(), nullptr);
}

ustring ustring::i64toa(__int64 v)
{
    if (v >= 0)
        return ui64toa(static_cast<unsigned __int64>(v));
    // Negated as unsigned, so the most negative value keeps its magnitude.
    ustring result = ui64toa(0 - static_cast<unsigned __int64>(v));
    result.add_sign(m_Locale.NegNumber(), m_Locale.NegativeSign());
    return result;
}

ustring ustring::ui64toa(unsigned __int64 v)
{
    const int g = m_Locale.Grouping();
    const ustring sep(m_Locale.ThousandsSep());
    // Groups are produced right to left; at most 20 digits, so prepending is cheap.
    ustring result;
    do {
        unsigned __int64 quotient = 0;
        unsigned __int64 remainder = v;
        // 10^20 exceeds 64 bits: a group that wide never splits the value.
        if (g > 0 && g < 20) {
            unsigned __int64 divisor = static_cast<unsigned __int64>(std::pow(10.0, g));
            quotient = v / divisor;
            remainder = v % divisor;
        }
        wchar_t digits[32];
        if (quotient != 0)
            _snwprintf(digits, 32, L"%0*I64u", g, remainder);
        else
            _snwprintf(digits, 32, L"%I64u", remainder);
        digits[31] = 0;
        result.insert(0, digits);
        if (quotient != 0)
            result.insert(0, sep);
        v = quotient;
    } while (v != 0);
    return result;
}

ustring ustring::fcvt(double v, int digits)
{
    if (digits < 0)
        digits = m_Locale.Digits();
    int decimalPosition = 0;
    int isNegative = 0;
    const char* raw = _fcvt(v, digits, &decimalPosition, &isNegative);
    ustring text = MultiByteToWideChar(raw ? raw : "", npos, CP_UTF8, 0);

    if (decimalPosition < 1) {
        if (m_Locale.LeadingZeros()) {
            text.insert(0, size_type(1 - decimalPosition), L'0');
            decimalPosition = 1;
        } else {
            text.insert(0, size_type(-decimalPosition), L'0');
            decimalPosition = 0;
        }
    }
    size_type point =
        size_type(decimalPosition) < text.size() ? size_type(decimalPosition) : text.size();
    ustring result(text.data(), point);
    ustring fraction(text.data() + point, text.size() - point);

    const int g = m_Locale.Grouping();
    if (g > 0) {
        const wchar_t* sep = m_Locale.ThousandsSep();
        for (long long p = static_cast<long long>(result.size()) - g; p > 0; p -= g)
            result.insert(size_type(p), sep);
    }
    if (digits > 0) {
        result += m_Locale.DecimalPoint();
        if (fraction.size() < size_type(digits))
            fraction.append(size_type(digits) - fraction.size(), L'0');
        result.append(fraction, 0, size_type(digits));
    }
    if (isNegative)
        result.add_sign(m_Locale.NegNumber(), m_Locale.NegativeSign());
    return result;
}

void ustring::add_sign(int mode, const wchar_t* sign)
{
    const ustring s(sign);
    switch (mode) {
    case 0:
        insert(0, 1, L'(');
        push_back(L')');
        break;
    case 1:
        insert(0, s);
        break;
    case 2:
        insert(0, s + L" ");
        break;
    case 3:
        append(s);
        break;
    case 4:
        push_back(L' ');
        append(s);
        break;
    default:
        break;
    }
}

// Code pages: ask for the size, convert, and drop the converted terminator
// when the input was NUL-terminated. Failures give the empty string.

ustring ustring::MultiByteToWideChar(const char* s, size_type length, unsigned int codePage,
                                     unsigned long flags)
{
    if (!s || (length != npos && length > size_type(INT_MAX)))
        return ustring();
    const int inLength = length == npos ? -1 : int(length);
    int n = ::MultiByteToWideChar(codePage, flags, s, inLength, nullptr, 0);
    if (n <= 0)
        return ustring();
    ustring result(size_type(n), L'\0');
    n = ::MultiByteToWideChar(codePage, flags, s, inLength, &result[0], n);
    if (n <= 0)
        return ustring();
    result.resize(length == npos ? size_type(n - 1) : size_type(n));
    return result;
}

ustring ustring::MultiByteToWideChar(const std::string& s, unsigned int codePage,
                                     unsigned long flags)
{
    return MultiByteToWideChar(s.data(), s.size(), codePage, flags);
}

std::string ustring::WideCharToMultiByte(const wchar_t* s, size_type length, unsigned int codePage,
                                         unsigned long flags)
{
    if (!s || (length != npos && length > size_type(INT_MAX)))
        return std::string();
    const int inLength = length == npos ? -1 : int(length);
    int n = ::WideCharToMultiByte(codePage, flags, s, inLength, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string result(std::size_t(n), '\0');
    n = ::WideCharToMultiByte(codePage, flags, s, inLength, &result[0], n, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    result.resize(length == npos ? std::size_t(n - 1) : std::size_t(n));
    return result;
}

std::string ustring::WideCharToMultiByte(const ustring& s, unsigned int codePage,
                                         unsigned long flags)
{
    return WideCharToMultiByte(s.data(), s.size(), codePage, flags);
}

} // namespace tarn_kit
