// Benchmarks: path texts and file handles.
#include "bench.h"

#include <tarn_kit/file.h>

using namespace tarn_kit;

namespace {
void Row(const char* what, double seconds)
{
    if (seconds < 1e-6)
        std::printf("  %-36s %8.0f ns\n", what, seconds * 1e9);
    else
        std::printf("  %-36s %8.1f us\n", what, seconds * 1e6);
}
} // namespace

void BenchFiles()
{
    std::printf("\nfiles\n");
    ustring drive, dir, name, ext, out;
    double t = TimePerRun(
        [&] { CFile::SplitPath(L"C:\\Measurements\\2026.run\\sweep.csv", drive, dir, name, ext); });
    Row("SplitPath (36 units)", t);
    t = TimePerRun([&] { CFile::MakePath(out, L"C:", L"\\Measurements\\", L"sweep", L"csv"); });
    Row("MakePath", t);
    // Linear in the text: 100 times the length should cost about 100 times as much.
    ustring longDir;
    for (int i = 0; i < 100; ++i)
        longDir += L"\\\\dir";
    t = TimePerRun([&] { CFile::MakePath(out, L"C:", longDir, L"sweep", L"csv"); });
    Row("MakePath (100 doubled separators)", t);
    t = TimePerRun([&] { (void)CFile::IsParentFolder(L"C:\\a\\b\\c\\d\\e.txt", L"c:\\A\\B\\C"); });
    Row("IsParentFolder (5 components)", t);

    ustring temp, path;
    CFile::GetTempPathW(temp);
    path = temp + L"tarnkit-bench.tmp";
    t = TimePerRun([&] {
        CFile file(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                   FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    Row("CFile open + close", t);
    t = TimePerRun([&] { (void)CFile::FileExists(path); });
    Row("FileExists (existing file)", t);
    CFile::Remove(path);
}
