// CLocale: the number settings of a locale, read once.
#include <tarn_kit/ustring.h>

#include <cwchar>

namespace tarn_kit {

CLocale::CLocale(unsigned long lcid)
    : m_szDecimalPoint(), m_szThousandsSep(), m_szNegativeSign(), m_nNegNumber(0), m_nGrouping(0),
      m_nDigits(0), m_nLeadingZeros(0)
{
    // A failed call may leave part of a text behind; the setting is then empty.
    if (!::GetLocaleInfoW(lcid, LOCALE_SDECIMAL, m_szDecimalPoint, 256))
        m_szDecimalPoint[0] = 0;
    if (!::GetLocaleInfoW(lcid, LOCALE_STHOUSAND, m_szThousandsSep, 256))
        m_szThousandsSep[0] = 0;
    if (!::GetLocaleInfoW(lcid, LOCALE_SNEGATIVESIGN, m_szNegativeSign, 256))
        m_szNegativeSign[0] = 0;
    m_nNegNumber = GetLocaleInfoW(lcid, LOCALE_INEGNUMBER);
    // "3;0" and "3;2;0" both give 3: only the first group size counts.
    m_nGrouping = GetLocaleInfoW(lcid, LOCALE_SGROUPING);
    m_nDigits = GetLocaleInfoW(lcid, LOCALE_IDIGITS);
    m_nLeadingZeros = GetLocaleInfoW(lcid, LOCALE_ILZERO);
}

int CLocale::GetLocaleInfoW(unsigned long lcid, unsigned long item)
{
    wchar_t buffer[256] = {};
    if (!::GetLocaleInfoW(lcid, item, buffer, 256))
        return 0;
    return _wtoi(buffer);
}

} // namespace tarn_kit
