// Benchmarks: the file dialog listing a folder of 5,000 files and one of 5,000
// subfolders (DrawLevel of a real dialog, with and without painting the visible
// items), beside the raw FindFirstFileW enumeration of the same folders.
#include "bench.h"

#include <tarn_kit/dialogs.h>

#include <string>

using namespace tarn_kit;

namespace {

constexpr int kEntries = 5000;

// Opens the dialog modeless; DrawLevel is reached from here.
class CBenchFileDlg : public CFileDlg
{
public:
    CBenchFileDlg() : CFileDlg(nullptr, true, nullptr, nullptr, 0, nullptr) {}
    using CFileDlg::DrawLevel;
    HWND Hwnd() const { return m_hWnd; }
};

std::wstring MakeFolder(const wchar_t* name, bool subfolders)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + name;
    ::CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < kEntries; ++i) {
        const std::wstring path = dir + L"\\entry " + std::to_wstring(i) + L".txt";
        if (subfolders) {
            ::CreateDirectoryW(path.c_str(), nullptr);
        } else {
            HANDLE h =
                ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            ::CloseHandle(h);
        }
    }
    return dir;
}

void RemoveFolder(const std::wstring& dir)
{
    for (int i = 0; i < kEntries; ++i) {
        const std::wstring path = dir + L"\\entry " + std::to_wstring(i) + L".txt";
        if (!::DeleteFileW(path.c_str()))
            ::RemoveDirectoryW(path.c_str());
    }
    ::RemoveDirectoryW(dir.c_str());
}

int RawEnumeration(const std::wstring& dir)
{
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW((dir + L"\\*.*").c_str(), &data);
    int n = 0;
    if (h == INVALID_HANDLE_VALUE)
        return n;
    do
        ++n;
    while (::FindNextFileW(h, &data));
    ::FindClose(h);
    return n;
}

void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void Row(const char* what, double seconds)
{
    std::printf("  %-58s %9.1f ms\n", what, seconds * 1e3);
}

} // namespace

void BenchDialogs()
{
    std::printf("\ndialogs (file dialog over folders of %d entries)\n", kEntries);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    CBenchFileDlg dlg;
    if (!dlg.Create()) {
        std::printf("  cannot create the dialog (no window station?)\n");
        return;
    }
    ::ShowWindow(dlg.Hwnd(), SW_SHOW);
    Pump();
    for (const bool subfolders : {false, true}) {
        const std::wstring dir =
            MakeFolder(subfolders ? L"tk bench folders" : L"tk bench files", subfolders);
        std::printf(" %d %s\n", RawEnumeration(dir) - 2, subfolders ? "subfolders" : "files");
        Row("FindFirstFileW/FindNextFileW of every entry",
            TimePerRun([&] { RawEnumeration(dir); }));
        Row("DrawLevel (listing only)", TimePerRun([&] { dlg.DrawLevel(dir.c_str(), false); }));
        Row("DrawLevel and painting the visible items with icons", TimePerRun([&] {
                dlg.DrawLevel(dir.c_str(), false);
                ::UpdateWindow(dlg.Hwnd());
                Pump();
            }));
        dlg.DrawLevel(nullptr, false);
        RemoveFolder(dir);
    }
    ::DestroyWindow(dlg.Hwnd());
}
