// CCompatibleDC and CDCEx: an off-screen 32-bit bitmap and the smooth drawing on its pixels.
#include <tarn_kit/drawing.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// No pixel lies this far from the origin (a bitmap row of 1e9 pixels cannot be allocated),
// so coordinates beyond it draw nothing; they also keep the conversions to int defined.
constexpr double kFar = 1e9;

inline DWORD ToWord(COLORREF c)
{
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

inline COLORREF ToColor(DWORD w)
{
    return ((w >> 16) & 0xFF) | (w & 0xFF00) | ((w & 0xFF) << 16);
}

// Rounding for |v| < kFar without a call into the C runtime (the runtime's floor and ceil
// cost more than the rest of a run); exact, since such values convert to integers exactly.
inline double Trunc(double v)
{
    return double(static_cast<long long>(v));
}
inline double Floor(double v)
{
    const double t = Trunc(v);
    return t > v ? t - 1 : t;
}
inline double Ceil(double v)
{
    const double t = Trunc(v);
    return t < v ? t + 1 : t;
}

// The loop range [from, to] cut to [0, limit - 1]; false when nothing is left.
inline bool Clip(long long& from, long long& to, long limit)
{
    if (from < 0)
        from = 0;
    if (to > limit - 1)
        to = limit - 1;
    return from <= to;
}

// Adds one source row to the packed sums of its blocks: blue, red and green in 16-bit lanes
// at bits 0, 16 and 32. F is the factor when known at compile time, else 0 (use f).
template <std::size_t F>
void AddBlocks(const DWORD* src, std::uint64_t* sums, std::size_t columns, std::size_t f)
{
    const std::size_t width = F ? F : f;
    for (std::size_t X = 0; X < columns; ++X) {
        std::uint64_t acc = 0;
        for (std::size_t i = 0; i < width; ++i, ++src)
            acc += (*src & 0x00FF00FFu) | (std::uint64_t(*src & 0xFF00u) << 24);
        sums[X] += acc;
    }
}

} // namespace

namespace tarn_kit {

CCompatibleDC::CCompatibleDC() noexcept
    : m_hDC(nullptr), m_hOldBitmap(nullptr), m_hBitmap(nullptr), m_pBits(nullptr), m_size{0, 0}
{}

CCompatibleDC::~CCompatibleDC()
{
    Destroy();
}

bool CCompatibleDC::Create(HDC reference, const SIZE& size)
{
    Destroy();
    if (!reference || size.cx < 1 || size.cy < 1)
        return false;
    HDC dc = ::CreateCompatibleDC(reference);
    if (!dc)
        return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy; // top-down: row 0 is the first in memory
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap)
            ::DeleteObject(bitmap);
        ::DeleteDC(dc);
        return false;
    }
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    if (!old || old == HGDI_ERROR) {
        ::DeleteDC(dc);
        ::DeleteObject(bitmap);
        return false;
    }
    m_hDC = dc;
    m_hOldBitmap = old;
    m_hBitmap = bitmap;
    m_pBits = static_cast<DWORD*>(bits);
    m_size = size;
    return true;
}

void CCompatibleDC::Destroy() noexcept
{
    if (m_hDC) {
        // The bitmap can only be deleted once no DC holds it.
        if (m_hOldBitmap)
            ::SelectObject(m_hDC, m_hOldBitmap);
        ::DeleteDC(m_hDC);
    }
    if (m_hBitmap)
        ::DeleteObject(m_hBitmap);
    m_hDC = nullptr;
    m_hOldBitmap = nullptr;
    m_hBitmap = nullptr;
    m_pBits = nullptr;
    m_size = SIZE{0, 0};
}

bool CCompatibleDC::Commit(HDC target, const SIZE& targetSize, const SIZE& sourceSize)
{
    if (!target || !m_hDC)
        return false;
    if (targetSize.cx == sourceSize.cx && targetSize.cy == sourceSize.cy)
        return ::BitBlt(target, 0, 0, targetSize.cx, targetSize.cy, m_hDC, 0, 0, SRCCOPY) != FALSE;
    ::SetStretchBltMode(target, HALFTONE);
    return ::StretchBlt(target, 0, 0, targetSize.cx, targetSize.cy, m_hDC, 0, 0, sourceSize.cx,
                        sourceSize.cy, SRCCOPY) != FALSE;
}

bool CCompatibleDC::ResampleDown(unsigned int factor)
{
    if (!m_pBits || factor == 0)
        return false;
    if (factor == 1)
        return true;
    const unsigned long long f = factor;
    const unsigned long long width = static_cast<unsigned long long>(m_size.cx);
    const unsigned long long columns = width / f,
                             rows = static_cast<unsigned long long>(m_size.cy) / f;
    if (columns == 0 || rows == 0)
        return true;
    ::GdiFlush(); // GDI may still hold drawing into the bitmap in its batch

    // The block sums divided by n without a division per channel: with m = ceil(2^40 / n)
    // the quotient (sum * m) >> 40 is exact while 255 * n * n < 2^40 (factors up to 254).
    const unsigned long long n = f * f;
    const bool reciprocal = n < 65000;
    const unsigned long long m = reciprocal ? ((1ULL << 40) + n - 1) / n : 0;
    auto quotient = [&](unsigned long long sum) -> DWORD {
        return static_cast<DWORD>((reciprocal ? (sum * m) >> 40 : sum / n) & 0xFF);
    };

    // Row by row rather than column by column: each block is read before any write can
    // reach it in either order (destination (X, Y) lies at or before the top-left of
    // block (X, Y) and of every later block), so the result is the same and the memory is
    // walked in order.
    const std::size_t fs = factor, ws = static_cast<std::size_t>(width);
    const std::size_t cols = static_cast<std::size_t>(columns);
    if (n <= 256) {
        // Blue, red and green spread into 16-bit lanes of one word (bits 0, 16, 32): up to
        // 256 pixels of 255 add up without carrying into the next lane.
        std::vector<std::uint64_t> sums(cols);
        for (std::size_t Y = 0; Y < rows; ++Y) {
            std::fill(sums.begin(), sums.end(), 0);
            for (std::size_t r = 0; r < fs; ++r) {
                const DWORD* src = m_pBits + (Y * fs + r) * ws;
                switch (fs) { // the common factors with their inner loop unrolled
                case 2:
                    AddBlocks<2>(src, sums.data(), cols, fs);
                    break;
                case 3:
                    AddBlocks<3>(src, sums.data(), cols, fs);
                    break;
                case 4:
                    AddBlocks<4>(src, sums.data(), cols, fs);
                    break;
                default:
                    AddBlocks<0>(src, sums.data(), cols, fs);
                    break;
                }
            }
            DWORD* dst = m_pBits + Y * ws;
            for (std::size_t X = 0; X < cols; ++X) {
                const std::uint64_t acc = sums[X];
                dst[X] = quotient(acc & 0xFFFF) | (quotient((acc >> 32) & 0xFFFF) << 8) |
                         (quotient((acc >> 16) & 0xFFFF) << 16);
            }
        }
        return true;
    }
    std::vector<unsigned long long> sums(cols * 3);
    for (std::size_t Y = 0; Y < rows; ++Y) {
        std::fill(sums.begin(), sums.end(), 0ULL);
        for (std::size_t r = 0; r < fs; ++r) {
            const DWORD* src = m_pBits + (Y * fs + r) * ws;
            unsigned long long* s = sums.data();
            for (std::size_t X = 0; X < cols; ++X, s += 3) {
                for (std::size_t i = 0; i < fs; ++i, ++src) {
                    s[0] += *src & 0xFF;
                    s[1] += (*src >> 8) & 0xFF;
                    s[2] += (*src >> 16) & 0xFF;
                }
            }
        }
        DWORD* dst = m_pBits + Y * ws;
        const unsigned long long* s = sums.data();
        for (std::size_t X = 0; X < cols; ++X, s += 3)
            dst[X] = quotient(s[0]) | (quotient(s[1]) << 8) | (quotient(s[2]) << 16);
    }
    return true;
}

COLORREF CCompatibleDC::GetPixel(int x, int y) const noexcept
{
    if (!m_pBits || x < 0 || y < 0 || x >= m_size.cx || y >= m_size.cy)
        return 0;
    return ToColor(m_pBits[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_size.cx) +
                           static_cast<std::size_t>(x)]);
}

void CCompatibleDC::SetPixel(int x, int y, COLORREF color) noexcept
{
    if (!m_pBits || x < 0 || y < 0 || x >= m_size.cx || y >= m_size.cy)
        return;
    m_pBits[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_size.cx) +
            static_cast<std::size_t>(x)] = ToWord(color);
}

RECT CCompatibleDC::GetBitmapRect() const noexcept
{
    return RECT{0, 0, m_size.cx, m_size.cy};
}

COLORREF CDCEx::MixColors(COLORREF color, COLORREF background, double weight) noexcept
{
    if (!(weight >= 0)) // NaN as well
        weight = 0;
    else if (weight > 1)
        weight = 1;
    COLORREF result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double v = double((color >> shift) & 0xFF) * weight +
                         double((background >> shift) & 0xFF) * (1 - weight);
        result |= (static_cast<COLORREF>(v) & 0xFF) << shift;
    }
    return result;
}

void CDCEx::SetHPixel(double x, int y, COLORREF color, unsigned char halfWidth) noexcept
{
    if (y < 0 || y >= m_pDC->GetBitmapSize().cy || !(x > -kFar && x < kFar))
        return; // nothing of the run is inside the bitmap
    const int w = halfWidth;
    const double whole = Trunc(x);
    if (x == whole) {
        const int xi = static_cast<int>(whole);
        for (int i = xi - w; i <= xi + w; ++i)
            m_pDC->SetPixel(i, y, color);
        return;
    }
    const double left = x - w, right = x + w;
    const int first = static_cast<int>(Ceil(left)), last = static_cast<int>(Floor(right));
    for (int i = first; i <= last; ++i)
        m_pDC->SetPixel(i, y, color);
    // The two partly covered pixels: 1 - frac(x) of the left one, frac(x) of the right one.
    const double l = Floor(left), r = Ceil(right);
    const int il = static_cast<int>(l), ir = static_cast<int>(r);
    const COLORREF oldL = m_pDC->GetPixel(il, y), oldR = m_pDC->GetPixel(ir, y);
    m_pDC->SetPixel(il, y, MixColors(color, oldL, r - right));
    m_pDC->SetPixel(ir, y, MixColors(color, oldR, left - l));
}

void CDCEx::SetVPixel(int x, double y, COLORREF color, unsigned char halfWidth) noexcept
{
    if (x < 0 || x >= m_pDC->GetBitmapSize().cx || !(y > -kFar && y < kFar))
        return;
    const int w = halfWidth;
    const double whole = Trunc(y);
    if (y == whole) {
        const int yi = static_cast<int>(whole);
        for (int i = yi - w; i <= yi + w; ++i)
            m_pDC->SetPixel(x, i, color);
        return;
    }
    const double top = y - w, bottom = y + w;
    const int first = static_cast<int>(Ceil(top)), last = static_cast<int>(Floor(bottom));
    for (int i = first; i <= last; ++i)
        m_pDC->SetPixel(x, i, color);
    const double t = Floor(top), b = Ceil(bottom);
    const int it = static_cast<int>(t), ib = static_cast<int>(b);
    const COLORREF oldT = m_pDC->GetPixel(x, it), oldB = m_pDC->GetPixel(x, ib);
    m_pDC->SetPixel(x, it, MixColors(color, oldT, b - bottom));
    m_pDC->SetPixel(x, ib, MixColors(color, oldB, top - t));
}

// Each run touches only its own row (steep lines) or column (flat lines), so the loops
// skip the rows or columns outside the bitmap: the pixels drawn are the same, and a line
// with far-away endpoints costs no more than its visible part.
void CDCEx::DrawSmoothLine(POINT from, POINT to, COLORREF color, unsigned char halfWidth) noexcept
{
    const SIZE size = m_pDC->GetBitmapSize();
    ::GdiFlush();
    long long x1 = from.x, y1 = from.y, x2 = to.x, y2 = to.y;
    if (x1 == x2) {
        if (y1 > y2)
            std::swap(y1, y2);
        if (Clip(y1, y2, size.cy))
            for (long long y = y1; y <= y2; ++y)
                SetHPixel(double(x1), int(y), color, halfWidth);
        return;
    }
    if (y1 == y2) {
        if (x1 > x2)
            std::swap(x1, x2);
        if (Clip(x1, x2, size.cx))
            for (long long x = x1; x <= x2; ++x)
                SetVPixel(int(x), double(y1), color, halfWidth);
        return;
    }
    const double k = (double(y1) - double(y2)) / (double(x1) - double(x2));
    const double b = double(y1) - double(x1) * k;
    if (std::llabs(x2 - x1) < std::llabs(y2 - y1)) {
        if (y1 > y2)
            std::swap(y1, y2);
        if (Clip(y1, y2, size.cy))
            for (long long y = y1; y <= y2; ++y)
                SetHPixel((double(y) - b) / k, int(y), color, halfWidth);
    } else {
        if (x1 > x2)
            std::swap(x1, x2);
        if (Clip(x1, x2, size.cx))
            for (long long x = x1; x <= x2; ++x)
                SetVPixel(int(x), double(x) * k + b, color, halfWidth);
    }
}

void CDCEx::DrawSmoothCircle(POINT centre, unsigned int radius, COLORREF color) noexcept
{
    const SIZE size = m_pDC->GetBitmapSize();
    ::GdiFlush();
    const std::uint32_t r2 = radius * radius; // wraps from 65536 on, as documented
    const double s = std::sqrt(double(r2) / 2);
    const long long cx = centre.x, cy = centre.y;

    // Top and bottom arcs, column by column.
    long long from = static_cast<long long>(std::floor(double(cx) - s));
    long long to = static_cast<long long>(double(cx) + s);
    if (Clip(from, to, size.cx)) {
        for (long long x = from; x <= to; ++x) {
            const std::uint32_t d = static_cast<std::uint32_t>(x - cx);
            const double root = std::sqrt(double(r2 - d * d));
            SetVPixel(int(x), double(cy) + root, color, 0);
            SetVPixel(int(x), double(cy) - root, color, 0);
        }
    }
    // Left and right arcs, row by row.
    from = static_cast<long long>(std::floor(double(cy) - s));
    to = static_cast<long long>(double(cy) + s);
    if (Clip(from, to, size.cy)) {
        for (long long y = from; y <= to; ++y) {
            const std::uint32_t d = static_cast<std::uint32_t>(y - cy);
            const double root = std::sqrt(double(r2 - d * d));
            SetHPixel(double(cx) + root, int(y), color, 0);
            SetHPixel(double(cx) - root, int(y), color, 0);
        }
    }
}

} // namespace tarn_kit
