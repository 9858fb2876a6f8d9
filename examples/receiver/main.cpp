// TK-100 receiver console: the application most TarnKit users write, on the library alone.
//
//   receiver.exe [/import <file.ini>] [/export <file.ini>] [/lang en|de]
//
// /import reads settings from an INI file before the window opens; /export writes the
// stored settings to one and ends; /lang overrides the stored language for this run.
#include <winsock2.h>

#include "main_dlg.h"
#include "resource.h"

#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commctrl.h>
#include <shellapi.h>

using namespace tarn_kit;

namespace {

// German comes from receiver.de.lng beside the executable; English is the resources as
// they are. (A plain receiver.lng would be loaded by the translator on its own.)
void LoadLanguage(const ustring& language)
{
    CTranslator& translator = CTranslatorInstance::Ref();
    if (language == L"de") {
        ustring exe, drive, dir, name, ext, path;
        CFile::GetModuleFileNameW(nullptr, exe, true);
        CFile::SplitPath(exe.c_str(), drive, dir, name, ext);
        CFile::MakePath(path, drive.c_str(), dir.c_str(), (name + L".de").c_str(), L".lng");
        try {
            translator.LoadLanguageFile(path.c_str());
        } catch (const CStdException& e) {
            e.ReportError(nullptr, MB_OK | MB_ICONWARNING);
        }
    } else {
        translator = CTranslator(); // the resources' own texts
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    WSADATA wsa;
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 1;
    INITCOMMONCONTROLSEX icc = {sizeof icc,
                                ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);

    CSettings settings;
    settings.Load();
    ustring language;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    for (int i = 1; argv && i + 1 < argc; i += 2) {
        const ustring option = argv[i];
        if (option.compareNoCase(L"/import") == 0) {
            settings.Import(argv[i + 1]);
            settings.Save();
        } else if (option.compareNoCase(L"/export") == 0) {
            const bool bOk = settings.Export(argv[i + 1]);
            ::LocalFree(argv);
            ::WSACleanup();
            return bOk ? 0 : 1;
        } else if (option.compareNoCase(L"/lang") == 0) {
            language = argv[i + 1];
        }
    }
    ::LocalFree(argv);

    // The window opens again after a change of language; the settings carry over.
    int nResult;
    do {
        LoadLanguage(language.empty() ? settings.strLanguage : language);
        language.clear();
        ustring appName;
        appName.xload(hInstance, IDS_APPNAME);
        CStdException::SetAppName(appName.c_str());
        CMainDlg dlg(hInstance, settings);
        nResult = dlg.DoModal();
    } while (nResult == kRestart);
    ::WSACleanup();
    return 0;
}
