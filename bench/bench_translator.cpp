// Benchmarks: language files of 100,000 records, and Gather over a real module.
#include "bench.h"

#include <tarn_kit/translator.h>

#include <string>

using tarn_kit::CTranslator;
using tarn_kit::ustring;

namespace {

std::wstring TempPath(const wchar_t* name)
{
    wchar_t dir[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, dir);
    return std::wstring(dir) + name;
}

// 100,000 records of about 26 units each: a file of 5 MiB.
std::size_t WriteLanguageFile(const std::wstring& path, int records)
{
    std::wstring text(1, wchar_t(0xFEFF));
    wchar_t line[64];
    for (int i = 0; i < records; ++i) {
        _snwprintf(line, 64, L"[Text %05d]\n[Texte %04X]\n", i, i);
        text += line;
    }
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    ::WriteFile(h, text.data(), DWORD(text.size() * 2), &done, nullptr);
    ::CloseHandle(h);
    return text.size() * 2;
}

} // namespace

void BenchTranslator()
{
    std::printf("\nLanguage files\n");
    const std::wstring in = TempPath(L"tarnkit-bench-in.lng");
    const std::wstring out = TempPath(L"tarnkit-bench-out.lng");
    for (int records : {1000, 10000, 100000}) {
        std::size_t bytes = WriteLanguageFile(in, records);
        CTranslator t;
        double load = TimePerRun([&] { t.LoadLanguageFile(in.c_str()); });
        double save = TimePerRun([&] { t.SaveLanguageFile(out.c_str()); });
        ustring key(L"Text 00042");
        double lookup = TimePerRun([&] {
            ustring text = key;
            t.XlateEx(text);
        });
        std::printf("  %6d records, %8zu bytes: load %8.1f ms, save %8.1f ms, XlateEx %6.3f us\n",
                    records, bytes, load * 1e3, save * 1e3, lookup * 1e6);
    }
    ::DeleteFileW(in.c_str());
    ::DeleteFileW(out.c_str());

    HMODULE hModule = ::LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    CTranslator gathered;
    double gather = TimePerRun(
        [&] {
            gathered = CTranslator();
            gathered.Gather(hModule);
        },
        0.5);
    std::printf("  Gather(comdlg32.dll): %zu texts in %.1f ms\n", gathered.GetTable().size(),
                gather * 1e3);
    ::FreeLibrary(hModule);
}
