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

    const CLocale saved = ustring::m_Locale;
    ustring::m_Locale = CLocale(0x409);
    check(ustring::i64toa(-1234567) == L"-1,234,567", "number formatting");
    ustring::m_Locale = saved;

    CStdException::SetAppName(L"Consumer");
    check(CStdException::GetAppName() == L"Consumer", "application name");
    CStdException::SetAppName(nullptr);

    try {
        CFile file(L"C:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        check(false, "CWinException crosses the DLL boundary");
    } catch (const CStdException& e) {
        const CStdException::CExInfo info(e);
        check(info.GetFunction() == L"CreateFile" && info.GetSource() == L"Win32",
              "CWinException crosses the DLL boundary");
    }

    CCriticalSection cs;
    {
        CLocker<CCriticalSection> lock(cs);
        check(true, "CLocker<CCriticalSection> is exported");
    }
    CEvent event(nullptr, TRUE, TRUE);
    check(::WaitForSingleObject(event, 0) == WAIT_OBJECT_0, "CEvent");

    struct Work : CAPC
    {
        DWORD Run() override { return 7; }
    } work;
    check(work.Invoke() == 7, "CAPC runs a derived class's work");
    {
        CLibrary library(L"TarnKit.dll");
        CCOMInitializer com(false);
        check(!IsHighDPI() && !IsWideScreen(), "CLibrary, CCOMInitializer and the shell helpers");
    }

    CSystemTime t(2024, 2, 29, 12, 0, 0, 0);
    check(t.Format(1033, L"%Y-%m-%d %A") == L"2024-02-29 Thursday", "CSystemTime::Format");

    matrix a(2, 2, 1.0);
    a(1, 1) = 3.0;
    check(determinant(a) == 2.0, "matrix determinant");
    try {
        a(3, 1) = 0.0;
        check(false, "CMatrixException");
    } catch (const CMatrixException& e) {
        ustring text;
        check(e.GetErrorMessage(text) && text == L"Invalid Index", "CMatrixException");
    }

    CTranslator& translator = CTranslatorInstance::Ref();
    ustring text(L"not in the table");
    check(!translator.XlateEx(text) &&
              &CPhoenixSingleton<CTranslator>::Ref() == &CTranslatorInstance::Ref(),
          "the translator singleton is exported");

    ustring ui;
    CCommException(__LINE__, L".\\consumer", L"Query", L"{2,,value out of range}", L"Receiver")
        .GetErrorMessageUI(ui);
    check(ui == L"Value out of range", "CCommException");
    check(tarn_kit::round(-2.5) == -3, "round");

    try {
        CCommPort port(L"\\\\.\\COM250", 0);
        check(false, "CCommPort");
    } catch (const CWinException& e) {
        check(e.GetFunction() == L"CreateFile", "CCommPort");
    }
    // Winsock is not started here, so creating a socket fails as the platform says.
    try {
        CWSASocket sock;
        sock.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        check(false, "CWSASocket");
    } catch (const CWinException& e) {
        check(e.GetFunction() == L"WSASocket" && e.GetFileName() == L".\\Socket" &&
                  e.GetErrorCode() == WSANOTINITIALISED,
              "CWSASocket");
    }

    ustring temp, path;
    CFile::GetTempPathW(temp);
    CFile::GetTempFileNameW(temp, L"tk", 0, path);
    {
        CLogFile log;
        check(log.Open(path) && log.Write(L"consumer %d", 1) && log.GetLength() > 2, "CLogFile");
    }
    CFile::Remove(path);

    ustring key;
    LOGFONTW lf = {};
    lf.lfHeight = -12;
    CLogFont font(lf), back;
    check(RegGetDefaultKeyName(L"TarnKit Consumer", nullptr, L"Font", key) &&
              font.WriteProfile(key) && back.GetProfile(key) && back.lfHeight == -12,
          "CLogFont through the registry helpers");
    RegGetDefaultKeyName(L"TarnKit Consumer", nullptr, nullptr, key);
    tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\Font").c_str());
    tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, key);
    tarn_kit::RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\TarnKit Consumer");
    CFile::GetTempFileNameW(temp, L"tk", 0, path);
    CIniFile ini(path);
    check(ini.WriteInt(L"Receiver", L"Port", 5) &&
              ini.GetString(L"Receiver", L"Port", nullptr) == L"5",
          "CIniFile");
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, path);
    CFile::Remove(path);
    // The window registry's lock and map are exported data behind FindInstance.
    struct CProbe : CDialog
    {
        CProbe() : CDialog(nullptr, 0, nullptr) {}
        ~CProbe() override { UnregisterInstance(reinterpret_cast<HWND>(0x4)); }
        bool Registered() { return FindInstance(reinterpret_cast<HWND>(0x4)) == this; }
        bool Register() { return RegisterInstance(reinterpret_cast<HWND>(0x4), this); }
    } probe;
    check(!probe.Registered() && probe.Register() && probe.Registered(), "the window registry");
    {
        CWaitCursor wait;
    }
    return failures == 0 ? 0 : 1;
}
