// Tour: the typical request end to end. A file that does not exist, the exception,
// and the library's message box that reports it; a tip and a wait cursor first.
// Needs a display: `tour.exe --dialog` waits for the user; `--dialog --auto` saves a
// screenshot of the box as tour-dialog.bmp beside tour.exe and presses OK itself.
#include "tour.h"

#include <tarn_kit/dialogs.h>
#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>

#include <cstdio>
#include <cwchar>
#include <string>

using namespace tarn_kit;

namespace {

// The box as the screen shows it, as a 24-bit BMP file.
bool SaveBmp(HWND hWnd, const wchar_t* path)
{
    RECT r;
    if (!::GetWindowRect(hWnd, &r))
        return false;
    const int w = r.right - r.left, h = r.bottom - r.top, stride = (w * 3 + 3) & ~3;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, DWORD(stride * h), 0, 0, 0, 0};
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    BITMAPFILEHEADER fh = {0x4D42, DWORD(sizeof fh + sizeof bi.bmiHeader + stride * h), 0, 0,
                           DWORD(sizeof fh + sizeof bi.bmiHeader)};
    bool ok = false;
    HANDLE f = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD n = 0;
        ok = ::WriteFile(f, &fh, sizeof fh, &n, nullptr) &&
             ::WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &n, nullptr) &&
             ::WriteFile(f, bits, DWORD(stride * h), &n, nullptr);
        ::CloseHandle(f);
    }
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

HWND g_hBox = nullptr;

BOOL CALLBACK FindBox(HWND hWnd, LPARAM)
{
    wchar_t name[16] = {};
    ::GetClassNameW(hWnd, name, 16);
    if (::IsWindowVisible(hWnd) && std::wcscmp(name, L"#32770") == 0)
        g_hBox = hWnd;
    return TRUE;
}

std::wstring BesideTour(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path);
    return s.substr(0, s.find_last_of(L'\\') + 1) + name;
}

// With --auto: once the box is up and painted, take its picture and press OK.
void CALLBACK AutoPress(HWND, UINT, UINT_PTR id, DWORD)
{
    static int ticks = 0;
    if (!g_hBox) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &FindBox, 0);
        return;
    }
    if (++ticks < 5)
        return;
    ::KillTimer(nullptr, id);
    const std::wstring path = BesideTour(L"tour-dialog.bmp");
    std::printf("  screenshot: %s\n",
                SaveBmp(g_hBox, path.c_str()) ? U8(path.c_str()).c_str() : "failed");
    // What a click on OK sends.
    ::PostMessageW(g_hBox, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

} // namespace

void TourDialogs(bool bAuto)
{
    std::printf("\n== Reporting an error to the user (needs a display)\n\n");
    {
        CWaitCursor wait;
        CTipDlg tip(nullptr, L"Opening the sweep of TK-100 ...", false);
        ::Sleep(bAuto ? 300 : 1000); // work that does not pump messages
    }
    try {
        CFile file(L"C:\\TK-100\\sweep-0001.csv", GENERIC_READ, FILE_SHARE_READ, nullptr,
                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    } catch (const CStdException& e) {
        const CStdException::CExInfo info(e);
        ustring message = info.GetErrorMessage();
        message.erase(message.find_last_not_of(L"\r\n") + 1); // the system's text ends a line
        std::printf("  caught: %s in %s (%s)\n", U8(message).c_str(),
                    U8(info.GetFunction()).c_str(), U8(info.GetFileName()).c_str());
        if (bAuto)
            ::SetTimer(nullptr, 0, 100, &AutoPress);
        // Two clicks on the area left of the text, under the icon, reveal the details.
        const int pressed = e.ReportError(nullptr, MB_OK | MB_ICONHAND);
        std::printf("  ReportError returned %d (IDOK)\n", pressed);
    }
}
