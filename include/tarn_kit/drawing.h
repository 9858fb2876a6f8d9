// Off-screen bitmaps and smooth drawing.
//
// Classes in this file:
//   CCompatibleDC - a 32-bit top-down DIB section selected into a memory device context
//   CDCEx         - antialiased lines and circles drawn into a CCompatibleDC
#pragma once

#include "config.h"

namespace tarn_kit {

// Owns one memory device context and the 32-bit bitmap selected into it; the pixels are
// read and written directly in memory.
//
// Pixel (x, y) is word y * width + x, rows top-down without gaps; a word holds blue in
// bits 0-7, green in 8-15, red in 16-23 and 0 in 24-31 (a COLORREF has red and blue swapped).
class TARNKIT_API CCompatibleDC
{
public:
    // Construction
    /// Nothing created: every handle NULL, size 0 x 0.
    CCompatibleDC() noexcept;
    ~CCompatibleDC();
    // Copies name the same GDI objects (a caller may hand the drawing surface around);
    // only one of the copies may be destroyed while it holds them.
    CCompatibleDC(const CCompatibleDC&) = default;
    CCompatibleDC& operator=(const CCompatibleDC&) = default;

    // Operations
    /// Destroys what was created, then makes a memory DC compatible with reference and a
    /// black bitmap of size. False, with nothing created, when reference is NULL, a
    /// dimension is below 1, or the platform refuses the DC or the bitmap.
    [[nodiscard]] bool Create(HDC reference, const SIZE& size);
    /// Restores the DC's previous bitmap, deletes the DC and the bitmap; repeatable.
    void Destroy() noexcept;
    /// Copies the top-left sourceSize rectangle to the origin of target: BitBlt when the
    /// sizes are equal, otherwise StretchBlt in HALFTONE mode. False when target is NULL,
    /// nothing is created, or the blit fails.
    bool Commit(HDC target, const SIZE& targetSize, const SIZE& sourceSize);
    /// Shrinks the image in place by factor with a box filter (the mean of each
    /// factor x factor block, truncated per channel) into the top-left
    /// (width / factor) x (height / factor) rectangle; pixels outside it keep their values
    /// and a partial last block is ignored. False when nothing is created or factor is 0.
    bool ResampleDown(unsigned int factor);

    // Pixels; outside the bitmap GetPixel returns 0 and SetPixel does nothing
    COLORREF GetPixel(int x, int y) const noexcept;
    void SetPixel(int x, int y, COLORREF color) noexcept;

    // Attributes
    SIZE GetBitmapSize() const noexcept { return m_size; }
    /// {0, 0, width, height}.
    RECT GetBitmapRect() const noexcept;
    /// The memory DC, NULL when nothing is created.
    HDC GetDC() const noexcept { return m_hDC; }
    operator HDC() const noexcept { return m_hDC; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOldBitmap;
    HBITMAP m_hBitmap;
    DWORD* m_pBits;
    SIZE m_size;
};

// Draws antialiased lines and circles into one CCompatibleDC through its GetPixel and
// SetPixel, so everything is clipped at the bitmap's edges; owns nothing.
class TARNKIT_API CDCEx
{
public:
    // Construction
    explicit CDCEx(CCompatibleDC& target) noexcept : m_pDC(&target) {}

    // Colour arithmetic
    /// color * weight + background * (1 - weight) per channel, truncated; weight is
    /// clamped to 0..1 (NaN counts as 0).
    static COLORREF MixColors(COLORREF color, COLORREF background, double weight) noexcept;

    // Drawing
    /// A run of 2 * halfWidth + 1 pixels of coverage on row y centred at x: the end pixels
    /// are blended with what is there by how much of them the run covers.
    void SetHPixel(double x, int y, COLORREF color, unsigned char halfWidth) noexcept;
    /// The same along column x, centred at y.
    void SetVPixel(int x, double y, COLORREF color, unsigned char halfWidth) noexcept;
    /// Endpoints included; 2 * halfWidth + 1 pixels thick along the axis of the runs
    /// (vertically for flat lines, horizontally for steep ones).
    void DrawSmoothLine(POINT from, POINT to, COLORREF color, unsigned char halfWidth) noexcept;
    /// A one-pixel outline, no fill; radius below 65536 (its square must fit in 32 bits).
    void DrawSmoothCircle(POINT centre, unsigned int radius, COLORREF color) noexcept;

private:
    CCompatibleDC* m_pDC;
};

} // namespace tarn_kit
