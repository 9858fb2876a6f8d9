// Tour: files and paths, and what the user sees when opening a file fails.
#include "tour.h"

#include <tarn_kit/file.h>

#include <cstdio>

using namespace tarn_kit;

namespace {

// One labelled line of text, as UTF-8, without the trailing line break system texts carry.
void Show(const char* label, ustring text)
{
    text.trim_right(L'\n');
    text.trim_right(L'\r');
    std::printf("  %-9s %s\n", label, U8(text).c_str());
}

} // namespace

void TourFiles()
{
    std::printf("\n== Files and paths\n\n");

    ustring drive, dir, name, ext, joined;
    CFile::SplitPath(L"C:/Measurements/2026.run/sweep.csv", drive, dir, name, ext);
    std::printf("  SplitPath(\"C:/Measurements/2026.run/sweep.csv\")\n");
    Show("drive", drive);
    Show("dir", dir);
    Show("name", name);
    Show("ext", ext);
    CFile::MakePath(joined, drive, dir, L"sweep-2", L"log");
    Show("MakePath", joined);

    // The typical failure: the file is not there, and the application reports it.
    ustring temp;
    CFile::GetTempPathW(temp);
    ustring missing = temp + L"tarnkit-tour-missing.csv";
    try {
        CFile file(missing, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                   FILE_ATTRIBUTE_NORMAL, nullptr);
    } catch (const CStdException& e) {
        CStdException::CExInfo info(e);
        std::printf("  Opening %s failed; the report would show:\n", U8(missing).c_str());
        Show("caption", CStdException::GetAppName());
        Show("message", info.GetErrorMessageUI());
        Show("source", info.GetSource());
        Show("function", info.GetFunction());
        Show("file", info.GetFileName());
        ustring line;
        line.sprintf(L"%u", info.GetLine());
        Show("line", line);
    }
}
