// tklang: language files for the people who translate applications.
//
//   tklang gather <module> <output.lng> [<existing.lng>]
//   tklang stats <file.lng>
#include <tarn_kit/exceptions.h>
#include <tarn_kit/translator.h>

#include <commctrl.h>

#include <cstdio>

using tarn_kit::CStdException;
using tarn_kit::CTranslator;
using tarn_kit::ustring;

namespace {

const char kUsage[] =
    "usage: tklang gather <module> <output.lng> [<existing.lng>]\n"
    "       tklang stats <file.lng>\n"
    "\n"
    "gather  records every text of the module's string, dialog and menu resources\n"
    "        and writes them to <output.lng>, each text as its own translation.\n"
    "        With <existing.lng> its translations are kept, new texts are added,\n"
    "        and texts no longer in the module stay (and are counted).\n"
    "stats   counts the texts of a language file and how many are translated.\n";

std::string U8(const ustring& s)
{
    return ustring::WideCharToMultiByte(s, CP_UTF8, 0);
}

struct CCounts
{
    std::size_t total = 0;
    std::size_t untranslated = 0;
    std::size_t empty = 0;
};

CCounts Count(const CTranslator::CTable& table)
{
    CCounts c;
    for (const auto& entry : table) {
        ++c.total;
        if (entry.second == entry.first)
            ++c.untranslated;
        if (entry.second.empty() && !entry.first.empty())
            ++c.empty;
    }
    return c;
}

// Dialogs are created for real while gathering: their control classes must exist.
void RegisterControlClasses()
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                ICC_USEREX_CLASSES | ICC_COOL_CLASSES |
                                                ICC_LINK_CLASS};
    ::InitCommonControlsEx(&icc);
}

int Gather(const wchar_t* szModule, const wchar_t* szOutput, const wchar_t* szExisting)
{
    HMODULE hModule = ::LoadLibraryExW(szModule, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!hModule) {
        std::fprintf(stderr, "tklang: cannot load %s (error %lu)\n", U8(szModule).c_str(),
                     ::GetLastError());
        return 1;
    }
    RegisterControlClasses();
    CTranslator module;
    module.Gather(hModule);

    CTranslator merged;
    if (szExisting && !merged.LoadLanguageFile(szExisting)) {
        std::fprintf(stderr, "tklang: %s does not exist\n", U8(szExisting).c_str());
        ::FreeLibrary(hModule);
        return 1;
    }
    const CTranslator::CTable before = merged.GetTable();
    merged.Gather(hModule);
    ::FreeLibrary(hModule);
    merged.SaveLanguageFile(szOutput);

    std::size_t added = merged.GetTable().size() - before.size();
    std::size_t gone = 0;
    for (const auto& entry : before)
        gone += module.GetTable().count(entry.first) ? 0 : 1;
    const CCounts counts = Count(merged.GetTable());
    std::printf("%s: %zu texts in the module\n", U8(szModule).c_str(), module.GetTable().size());
    std::printf("%s: %zu texts, %zu new, %zu untranslated, %zu no longer in the module\n",
                U8(szOutput).c_str(), counts.total, added, counts.untranslated, gone);
    return 0;
}

int Stats(const wchar_t* szFile)
{
    CTranslator t;
    if (!t.LoadLanguageFile(szFile)) {
        std::fprintf(stderr, "tklang: %s does not exist\n", U8(szFile).c_str());
        return 1;
    }
    const CCounts c = Count(t.GetTable());
    std::size_t units = 0;
    for (const auto& entry : t.GetTable())
        units += entry.second == entry.first ? entry.first.size() : 0;
    std::printf("%s: %zu texts, %zu translated, %zu untranslated (%zu characters to go), "
                "%zu with an empty translation\n",
                U8(szFile).c_str(), c.total, c.total - c.untranslated, c.untranslated, units,
                c.empty);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const ustring command = argc > 1 ? argv[1] : L"";
    try {
        if (command == L"gather" && (argc == 4 || argc == 5))
            return Gather(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
        if (command == L"stats" && argc == 3)
            return Stats(argv[2]);
    } catch (const CStdException& e) {
        const CStdException::CExInfo info(e);
        std::fprintf(stderr, "tklang: %s failed: %s", U8(info.GetFunction()).c_str(),
                     U8(info.GetErrorMessage()).c_str());
        return 1;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
