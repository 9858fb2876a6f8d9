// Benchmarks: smooth lines and circles, ResampleDown of a 4096 x 4096 bitmap, beside
// GDI's own LineTo and SetPixelV and a plain copy of the same bytes.
#include "bench.h"

#include <tarn_kit/drawing.h>

#include <cstring>
#include <random>
#include <vector>

using namespace tarn_kit;

namespace {

constexpr int kSide = 4096;

struct Line
{
    POINT a, b;
};

// Seeded lines of about `length` pixels inside the bitmap, in every direction.
std::vector<Line> MakeLines(int count, int length)
{
    std::mt19937 rng(42);
    std::vector<Line> lines;
    for (int i = 0; i < count; ++i) {
        const LONG x = LONG(rng() % unsigned(kSide - length)),
                   y = LONG(rng() % unsigned(kSide - length));
        const LONG dx = LONG(rng() % unsigned(length)), dy = LONG(rng() % unsigned(length));
        if (i % 2)
            lines.push_back({{x, y}, {x + length - 1, y + dy}}); // flat
        else
            lines.push_back({{x + dx, y}, {x, y + length - 1}}); // steep
    }
    return lines;
}

void Row(const char* what, double perSecond, const char* unit)
{
    std::printf("  %-50s %12.3g %s\n", what, perSecond, unit);
}

} // namespace

void BenchDrawing()
{
    std::printf("\ndrawing (%d x %d bitmap, 32 bits per pixel)\n", kSide, kSide);
    HDC screen = ::GetDC(nullptr);
    CCompatibleDC dc;
    if (!dc.Create(screen, SIZE{kSide, kSide})) {
        std::printf("  cannot create the bitmap\n");
        ::ReleaseDC(nullptr, screen);
        return;
    }
    CDCEx ex(dc);
    // Every page touched once first: the first touch costs more than the drawing.
    CBenchTimer warm;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            dc.SetPixel(x, y, RGB(16, 16, 16));
    std::printf("  first touch of the 64 MiB: %.0f ms\n", warm.Seconds() * 1e3);

    for (int length : {100, 1000}) {
        const std::vector<Line> lines = MakeLines(2000, length);
        char what[80];
        for (unsigned char hw : {0, 2}) {
            const double t = TimePerRun([&] {
                for (const Line& l : lines)
                    ex.DrawSmoothLine(l.a, l.b, RGB(200, 120, 40), hw);
            });
            std::snprintf(what, sizeof what, "DrawSmoothLine, %d px, half-width %d", length, hw);
            Row(what, double(lines.size()) / t, "lines/s");
        }
        HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(200, 120, 40));
        HGDIOBJ old = ::SelectObject(dc, pen);
        const double t = TimePerRun([&] {
            for (const Line& l : lines) {
                ::MoveToEx(dc, l.a.x, l.a.y, nullptr);
                ::LineTo(dc, l.b.x, l.b.y);
            }
            ::GdiFlush();
        });
        ::DeleteObject(::SelectObject(dc, old));
        std::snprintf(what, sizeof what, "GDI MoveToEx + LineTo, %d px, 1-pixel pen", length);
        Row(what, double(lines.size()) / t, "lines/s");
    }

    for (unsigned radius : {50u, 1000u}) {
        const double t = TimePerRun([&] {
            for (int i = 0; i < 200; ++i)
                ex.DrawSmoothCircle(POINT{kSide / 2 + i, kSide / 2 - i}, radius, RGB(30, 90, 250));
        });
        char what[80];
        std::snprintf(what, sizeof what, "DrawSmoothCircle, radius %u", radius);
        Row(what, 200 / t, "circles/s");
    }

    // One pixel at a time over a 1024 x 1024 square.
    const double tSet = TimePerRun([&] {
        for (int y = 0; y < 1024; ++y)
            for (int x = 0; x < 1024; ++x)
                dc.SetPixel(x, y, RGB(x, y, 7));
    });
    Row("CCompatibleDC::SetPixel", 1024.0 * 1024 / tSet, "pixels/s");
    const double tSetV = TimePerRun([&] {
        for (int y = 0; y < 1024; ++y)
            for (int x = 0; x < 1024; ++x)
                ::SetPixelV(dc, x, y, RGB(x, y, 7));
        ::GdiFlush();
    });
    Row("GDI SetPixelV", 1024.0 * 1024 / tSetV, "pixels/s");

    // ResampleDown reads every byte once and writes 1 / factor^2 of them.
    const double bytes = double(kSide) * kSide * 4;
    for (unsigned factor : {2u, 3u, 4u, 8u}) {
        const double t = TimePerRun([&] { dc.ResampleDown(factor); }, 0.5);
        char what[80];
        std::snprintf(what, sizeof what, "ResampleDown(%u), %.0f ms per call", factor, t * 1e3);
        Row(what, bytes / t / 1e9, "GB/s read");
    }
    std::vector<char> copy(static_cast<std::size_t>(bytes));
    const void* bits = nullptr;
    {
        DIBSECTION section = {};
        ::GetObjectW(::GetCurrentObject(dc, OBJ_BITMAP), sizeof section, &section);
        bits = section.dsBm.bmBits;
    }
    const double tCopy = TimePerRun([&] { std::memcpy(copy.data(), bits, copy.size()); }, 0.5);
    char what[80];
    std::snprintf(what, sizeof what, "memcpy of the same 64 MiB, %.0f ms per call", tCopy * 1e3);
    Row(what, bytes / tCopy / 1e9, "GB/s read");

    dc.Destroy();
    ::ReleaseDC(nullptr, screen);
}
