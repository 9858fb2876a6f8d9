// Tour: a picture drawn three times too large with smooth lines, circles and GDI text,
// reduced with ResampleDown and saved as a BMP file; an HTML page from the tour's own
// resources, and text made safe for HTML.
#include "tour.h"

#include <tarn_kit/drawing.h>
#include <tarn_kit/file.h>
#include <tarn_kit/html.h>

#include <cmath>
#include <cstdio>
#include <vector>

using namespace tarn_kit;

namespace {

constexpr int kWidth = 320, kHeight = 240, kScale = 3;

// The top-left width x height of dc as a 24-bit bottom-up BMP file.
bool SaveBmp(const CCompatibleDC& dc, int width, int height, const ustring& path)
{
    const DWORD rowBytes = DWORD(width) * 3, imageBytes = rowBytes * DWORD(height);
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + imageBytes;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // positive: the last row first
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::vector<unsigned char> bytes(imageBytes);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = &bytes[DWORD(height - 1 - y) * rowBytes];
        for (int x = 0; x < width; ++x) {
            const COLORREF c = dc.GetPixel(x, y);
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    try {
        CFile out(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        unsigned int done = 0;
        out.Write(&file, sizeof file, done);
        out.Write(&info, sizeof info, done);
        out.Write(bytes.data(), imageBytes, done);
        return true;
    } catch (const CStdException&) {
        return false;
    }
}

void DrawPicture(CCompatibleDC& dc)
{
    const int w = kWidth * kScale, h = kHeight * kScale;
    // A dark background and a caption, both through GDI on the memory DC.
    HBRUSH background = ::CreateSolidBrush(RGB(16, 24, 40));
    RECT all = dc.GetBitmapRect();
    ::FillRect(dc, &all, background);
    ::DeleteObject(background);
    HFONT font = ::CreateFontW(-20 * kScale, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               0, 0, ANTIALIASED_QUALITY, 0, L"Arial");
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(230, 230, 230));
    ::TextOutW(dc, 10 * kScale, 6 * kScale, L"TK-100 sweep", 12);
    ::DeleteObject(::SelectObject(dc, oldFont));

    CDCEx ex(dc);
    // A grid, then a spectrum-like trace, then the circles of a target.
    for (int x = 0; x <= w; x += 40 * kScale)
        ex.DrawSmoothLine(POINT{x, 40 * kScale}, POINT{x, h - 1}, RGB(50, 60, 80), 0);
    for (int y = 40 * kScale; y < h; y += 40 * kScale)
        ex.DrawSmoothLine(POINT{0, y}, POINT{w - 1, y}, RGB(50, 60, 80), 0);
    POINT last = {0, h / 2};
    for (int x = 8 * kScale; x < w; x += 8 * kScale) {
        const double t = double(x) / w;
        const int y = int(
            h * (0.62 - 0.3 * std::exp(-std::pow((t - 0.55) * 9, 2)) + 0.05 * std::sin(t * 40)));
        const POINT p = {x, y};
        ex.DrawSmoothLine(last, p, RGB(250, 190, 40), 2);
        last = p;
    }
    // Outlines are one pixel wide: three side by side make one pixel after the reduction.
    for (unsigned r = 10; r <= 70; r += 15)
        for (unsigned k = 0; k < kScale; ++k)
            ex.DrawSmoothCircle(POINT{w - 80 * kScale, 120 * kScale}, r * kScale + k,
                                RGB(80, 200, 255));
    ex.DrawSmoothLine(POINT{40 * kScale, 200 * kScale}, POINT{150 * kScale, 60 * kScale},
                      RGB(120, 255, 120), 1);
}

} // namespace

void TourDrawing()
{
    std::printf("\n== Drawing and HTML\n\n");
    HDC screen = ::GetDC(nullptr);
    CCompatibleDC dc;
    if (!dc.Create(screen, SIZE{kWidth * kScale, kHeight * kScale})) {
        std::printf("  cannot create the off-screen bitmap\n");
        ::ReleaseDC(nullptr, screen);
        return;
    }
    ::ReleaseDC(nullptr, screen);
    DrawPicture(dc);
    // Each 3 x 3 block becomes one pixel: the edges come out smooth.
    dc.ResampleDown(kScale);

    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ustring path;
    CFile::UpdateFileName(exe, L"tarnkit-tour.bmp", path); // beside the program
    if (SaveBmp(dc, kWidth, kHeight, path))
        std::printf("  drew %d x %d, reduced to %d x %d, saved as %s\n", kWidth * kScale,
                    kHeight * kScale, kWidth, kHeight, U8(path).c_str());

    ustring page;
    LoadHtmlResource(page, ::GetModuleHandleW(nullptr), L"RECEIVER");
    std::printf("  page RECEIVER from the tour's resources: %s\n", U8(page).c_str());
    std::printf("  HTMLSAFE: %s\n", U8(HTMLSAFE(L"FREQ < 100.5 & \"TK-100\"\r\nok")).c_str());
}
