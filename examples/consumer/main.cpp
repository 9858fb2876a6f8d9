// Built against the installed package only: it fails to link when an export is
// missing, exported static data above all.
#include <tarn_kit/tarn_kit.h>

#include <cstdio>

using namespace tarn_kit;

int main()
{
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
        failures += ok ? 0 : 1;
    };

    ustring s(L"report.txt");
    check(s.compareWithMask(L"*.TXT") != 0 && s.compareWithMaskNoCase(L"*.TXT") == 0,
          "wildcard match");
    check(s.find(L"xyz") == ustring::npos, "ustring::npos is exported");
    check(ustring::m_Locale.Grouping() >= 0, "ustring::m_Locale is exported");

    CLocale us(0x409);
    CLocale saved = ustring::m_Locale;
    ustring::m_Locale = us;
    check(ustring::i64toa(-1234567) == L"-1,234,567", "number formatting");
    ustring::m_Locale = saved;

    CStdException::SetAppName(L"Consumer");
    check(CStdException::GetAppName() == L"Consumer", "application name");
    CStdException::SetAppName(nullptr);

    try {
        CWinException(__LINE__, L".\\consumer", L"Demo", ERROR_FILE_NOT_FOUND).Throw();
        check(false, "exception crosses the DLL boundary");
    } catch (const CWinException& e) {
        check(e.GetErrorCode() == ERROR_FILE_NOT_FOUND, "exception crosses the DLL boundary");
    }
    return failures == 0 ? 0 : 1;
}
