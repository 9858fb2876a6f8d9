// Off-screen bitmaps and smooth drawing, judged pixel by pixel against a reference model
// written from the arithmetic, read back through GDI; GDI slots over many cycles.
#include "test_common.h"

#include <tarn_kit/drawing.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace tarn_kit;

namespace {

struct ScreenDC
{
    HDC h = ::GetDC(nullptr);
    ~ScreenDC() { ::ReleaseDC(nullptr, h); }
    operator HDC() const { return h; }
};

// The words of the bitmap selected into dc, read by GDI itself (top-down, 32 bits).
std::vector<std::uint32_t> WordsOf(HDC dc, SIZE size)
{
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> words(std::size_t(size.cx) * std::size_t(size.cy));
    HBITMAP bitmap = static_cast<HBITMAP>(::GetCurrentObject(dc, OBJ_BITMAP));
    EXPECT_EQ(size.cy,
              ::GetDIBits(dc, bitmap, 0, UINT(size.cy), words.data(), &info, DIB_RGB_COLORS));
    return words;
}

// The reference model: a COLORREF per pixel and the drawing rules, straight from the
// pixel arithmetic. Coordinates are 64-bit so the model itself never overflows.
struct Model
{
    long long w, h;
    std::vector<COLORREF> px;

    Model(long long width, long long height) : w(width), h(height), px(std::size_t(w * h), 0) {}
    bool Inside(long long x, long long y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    COLORREF Get(long long x, long long y) const
    {
        return Inside(x, y) ? px[std::size_t(y * w + x)] : 0;
    }
    void Set(long long x, long long y, COLORREF c)
    {
        if (Inside(x, y))
            px[std::size_t(y * w + x)] = c & 0xFFFFFF;
    }

    static COLORREF Mix(COLORREF c, COLORREF bg, double weight)
    {
        weight = weight < 0 ? 0 : weight > 1 ? 1 : weight;
        COLORREF out = 0;
        for (int byte = 0; byte < 3; ++byte) {
            const unsigned a = (c >> (8 * byte)) & 0xFF, b = (bg >> (8 * byte)) & 0xFF;
            out |= (unsigned(a * weight + b * (1 - weight)) & 0xFF) << (8 * byte);
        }
        return out;
    }

    // A run across `fixed` (a row when horizontal), 2 hw + 1 pixels of coverage about c.
    void Run(bool horizontal, long long fixed, double c, int hw, COLORREF color)
    {
        auto at = [&](long long i) { return horizontal ? Get(i, fixed) : Get(fixed, i); };
        auto put = [&](long long i, COLORREF v) {
            horizontal ? Set(i, fixed, v) : Set(fixed, i, v);
        };
        if (c == std::trunc(c)) {
            for (long long i = (long long)c - hw; i <= (long long)c + hw; ++i)
                put(i, color);
            return;
        }
        const double lo = c - hw, hi = c + hw;
        for (long long i = (long long)std::ceil(lo); i <= (long long)std::floor(hi); ++i)
            put(i, color);
        const long long l = (long long)std::floor(lo), r = (long long)std::ceil(hi);
        const COLORREF oldL = at(l), oldR = at(r);
        put(l, Mix(color, oldL, double(r) - hi));
        put(r, Mix(color, oldR, lo - double(l)));
    }

    // visibleOnly walks only the rows (or columns) of the bitmap: a run lies in its own row
    // or column, so the others hold none of its pixels.
    void Line(long long x1, long long y1, long long x2, long long y2, COLORREF color, int hw,
              bool visibleOnly = false)
    {
        auto each = [&](long long a, long long b, long long size, auto draw) {
            for (long long i = std::max(std::min(a, b), visibleOnly ? 0 : LLONG_MIN);
                 i <= std::min(std::max(a, b), visibleOnly ? size - 1 : LLONG_MAX); ++i)
                draw(i);
        };
        const double k = x1 == x2 || y1 == y2 ? 0 : double(y1 - y2) / double(x1 - x2),
                     b = double(y1) - double(x1) * k;
        if (x1 == x2 || (y1 != y2 && std::llabs(x2 - x1) < std::llabs(y2 - y1)))
            each(y1, y2, h, [&](long long y) {
                Run(true, y, x1 == x2 ? double(x1) : (double(y) - b) / k, hw, color);
            });
        else
            each(x1, x2, w, [&](long long x) {
                Run(false, x, y1 == y2 ? double(y1) : double(x) * k + b, hw, color);
            });
    }

    void Circle(long long cx, long long cy, unsigned r, COLORREF color)
    {
        const std::uint32_t r2 = r * r;
        const double s = std::sqrt(double(r2) / 2);
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            const long long c = horizontal ? cy : cx, o = horizontal ? cx : cy;
            for (long long i = (long long)std::floor(c - s); i <= (long long)(c + s); ++i) {
                const double d =
                    std::sqrt(double(std::uint32_t(r2 - std::uint32_t((i - c) * (i - c)))));
                Run(horizontal, i, o + d, 0, color);
                Run(horizontal, i, o - d, 0, color);
            }
        }
    }

    // Column by column, as the rule is stated, in place.
    void Resample(unsigned f)
    {
        for (long long X = 0; X < w / f; ++X)
            for (long long Y = 0; Y < h / f; ++Y) {
                unsigned long long sum[3] = {};
                for (long long y = Y * f; y < (Y + 1) * f; ++y)
                    for (long long x = X * f; x < (X + 1) * f; ++x)
                        for (int byte = 0; byte < 3; ++byte)
                            sum[byte] += (Get(x, y) >> (8 * byte)) & 0xFF;
                COLORREF c = 0;
                for (int byte = 0; byte < 3; ++byte)
                    c |= COLORREF(sum[byte] / (unsigned long long)(f * f) & 0xFF) << (8 * byte);
                Set(X, Y, c);
            }
    }
};

// Every pixel of dc equals the model, read both through GetPixel and as raw words.
void ExpectSame(const Model& m, const CCompatibleDC& dc, const char* what)
{
    const std::vector<std::uint32_t> words = WordsOf(dc, dc.GetBitmapSize());
    int mismatches = 0;
    for (long long y = 0; y < m.h; ++y)
        for (long long x = 0; x < m.w; ++x) {
            const COLORREF want = m.Get(x, y), got = dc.GetPixel(int(x), int(y));
            const std::uint32_t word = words[std::size_t(y * m.w + x)];
            if ((got != want || word != ((want & 0xFF) << 16 | (want & 0xFF00) | want >> 16)) &&
                ++mismatches <= 5)
                ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << std::hex << got
                              << " (word " << word << "), expected " << want;
        }
    EXPECT_EQ(0, mismatches) << what;
}

// Bitmap (and model, if given) filled pixel by pixel with colour(x, y).
void Fill(CCompatibleDC& dc, const std::function<COLORREF(int, int)>& colour, Model* m = nullptr)
{
    const SIZE size = dc.GetBitmapSize();
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
            const COLORREF c = colour(x, y);
            dc.SetPixel(x, y, c);
            if (m)
                m->Set(x, y, c);
        }
}

void FillRandom(Model& m, CCompatibleDC& dc, std::mt19937& rng)
{
    Fill(
        dc, [&](int, int) { return COLORREF(rng() & 0xFFFFFF); }, &m);
}

} // namespace

TEST(CCompatibleDCTest, PixelWordsAndColours)
{
    ScreenDC screen;
    CCompatibleDC dc;
    ASSERT_TRUE(dc.Create(screen, SIZE{5, 3}));
    EXPECT_EQ(std::vector<std::uint32_t>(15, 0), WordsOf(dc, SIZE{5, 3})); // starts black

    dc.SetPixel(0, 0, 0x0000FF);
    dc.SetPixel(4, 2, 0xFF123456); // the top byte is not stored
    dc.SetPixel(2, 1, RGB(1, 2, 3));
    const std::vector<std::uint32_t> words = WordsOf(dc, SIZE{5, 3});
    EXPECT_EQ(0x00FF0000u, words[0]);
    EXPECT_EQ(0x00563412u, words[14]);
    EXPECT_EQ(0x00010203u, words[7]); // word y * width + x
    EXPECT_EQ(COLORREF(0x123456), dc.GetPixel(4, 2));

    // Outside: reads give black, writes change nothing.
    for (POINT p :
         {POINT{-1, 0}, POINT{0, -1}, POINT{5, 0}, POINT{0, 3}, POINT{INT_MIN, INT_MAX}}) {
        dc.SetPixel(p.x, p.y, 0xFFFFFF);
        EXPECT_EQ(0u, dc.GetPixel(p.x, p.y));
    }
    EXPECT_EQ(words, WordsOf(dc, SIZE{5, 3}));
}

TEST(CCompatibleDCTest, BadSizesAndFailedCallsLeaveItEmpty)
{
    ScreenDC screen;
    HDC deleted = ::CreateCompatibleDC(screen);
    ::DeleteDC(deleted);
    const struct
    {
        HDC reference;
        SIZE size;
    } cases[] = {{nullptr, {10, 10}},    {screen, {0, 10}},  {screen, {10, 0}},
                 {screen, {-5, 10}},     {screen, {10, -5}}, {screen, {100000, 100000}},
                 {screen, {INT_MAX, 2}}, {deleted, {10, 10}}};
    for (const auto& c : cases) {
        CCompatibleDC dc;
        ASSERT_TRUE(dc.Create(screen, SIZE{4, 4})); // what was there goes first
        EXPECT_FALSE(dc.Create(c.reference, c.size)) << c.size.cx << " x " << c.size.cy;
        EXPECT_EQ(nullptr, dc.GetDC());
        EXPECT_EQ(0, dc.GetBitmapSize().cx + dc.GetBitmapSize().cy);
        EXPECT_EQ(0u, dc.GetPixel(0, 0));
        EXPECT_FALSE(dc.ResampleDown(2));
        EXPECT_FALSE(dc.Commit(screen, SIZE{1, 1}, SIZE{1, 1}));
        CDCEx(dc).DrawSmoothLine(POINT{0, 0}, POINT{3, 3}, 0xFFFFFF, 2); // nothing to draw on
    }
}

TEST(CCompatibleDCTest, DestroyDeletesBothObjectsAndCopiesShareThem)
{
    ScreenDC screen;
    CCompatibleDC dc;
    dc.Destroy(); // nothing created: nothing happens
    ASSERT_TRUE(dc.Create(screen, SIZE{8, 8}));
    HDC memory = dc.GetDC();
    HGDIOBJ bitmap = ::GetCurrentObject(memory, OBJ_BITMAP);
    EXPECT_EQ(DWORD(OBJ_MEMDC), ::GetObjectType(memory));
    BITMAP info = {};
    ASSERT_TRUE(::GetObjectW(bitmap, sizeof info, &info));
    EXPECT_EQ(32, info.bmBitsPixel);

    // A copy names the same objects; an empty object assigned over it gives them up
    // without destroying them.
    CCompatibleDC copy;
    copy = dc;
    copy.SetPixel(1, 1, 0x00FF00);
    EXPECT_EQ(COLORREF(0x00FF00), dc.GetPixel(1, 1));
    copy = CCompatibleDC();
    EXPECT_EQ(DWORD(OBJ_MEMDC), ::GetObjectType(memory));

    dc.Destroy();
    dc.Destroy();
    EXPECT_EQ(0u, ::GetObjectType(memory));
    EXPECT_EQ(0u, ::GetObjectType(bitmap));
    EXPECT_EQ(nullptr, dc.GetDC());
}

TEST(CCompatibleDCTest, TenThousandCyclesLeakNoGdiSlot)
{
    ScreenDC screen;
    auto cycle = [&] {
        CCompatibleDC dc;
        EXPECT_TRUE(dc.Create(screen, SIZE{64, 48}));
        dc.SetPixel(3, 3, 0xFFFFFF);
        EXPECT_TRUE(dc.Create(screen, SIZE{16, 16})); // replaces the first bitmap
    };
    cycle();
    const long before = tarn_kit_test::GdiSlots();
    for (int i = 0; i < 10000; ++i)
        cycle();
    for (int i = 0; i < 1000; ++i) { // the failing path: the DC is made, the bitmap refused
        CCompatibleDC dc;
        EXPECT_FALSE(dc.Create(screen, SIZE{100000, 100000}));
    }
    const long after = tarn_kit_test::GdiSlots();
    // One object per cycle would show as 10,000; the platform's caches move a few.
    EXPECT_NEAR(before, after, 8) << "GDI slots leaked";
    std::printf("GDI slots in use before/after: %ld/%ld\n", before, after);
}

TEST(CDCExTest, MixColors)
{
    const struct
    {
        COLORREF color, background;
        double weight;
        COLORREF expected;
    } cases[] = {
        {0x0000FF, 0, 0.5, 0x00007F},
        {0xFF123456, 0x00ABCDEF, 1.5, 0x123456},      // clamped to 1, top byte dropped
        {0x123456, 0xFFABCDEF, -1, 0xABCDEF},         // clamped to 0
        {0x123456, 0xABCDEF, std::nan(""), 0xABCDEF}, // NaN counts as 0
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, CDCEx::MixColors(c.color, c.background, c.weight))
            << std::hex << c.color << " over " << c.background << " at " << c.weight;

    std::mt19937 rng(7);
    std::uniform_real_distribution<double> weight(-0.25, 1.25);
    for (int i = 0; i < 10000; ++i) {
        const COLORREF a = rng(), b = rng();
        const double w = weight(rng);
        ASSERT_EQ(Model::Mix(a, b, w), CDCEx::MixColors(a, b, w));
    }
}

// Small pictures worked out by hand, which also check the model's reading of the rules:
// '#' the colour, 'o' 75 %, '+' 50 %, '-' 25 % of it over black, '.' black; row by row.
TEST(CDCExTest, HandWorkedPictures)
{
    const struct
    {
        int w, h;
        void (*draw)(CDCEx&);
        const char* picture;
    } cases[] = {
        {12, 1, [](CDCEx& e) { e.SetHPixel(5.25, 0, 0xFFFFFF, 0); }, ".....o-....."},
        {12, 1, [](CDCEx& e) { e.SetHPixel(5.25, 0, 0xFFFFFF, 1); }, "....o##-...."},
        {1, 12, [](CDCEx& e) { e.SetVPixel(0, 6.0, 0xFFFFFF, 2); }, "....#####..."}, // whole
        {12, 6,
         [](CDCEx& e) {
             e.DrawSmoothLine({0, 0}, {10, 5}, 0xFFFFFF, 0);
         },
         "#+.........."
         ".+#+........"
         "...+#+......"
         ".....+#+...."
         ".......+#+.."
         ".........+#."},
        {5, 3,
         [](CDCEx& e) {
             e.DrawSmoothLine({2, 1}, {2, 1}, 0xFFFFFF, 1);
         }, // one run
         "......###......"},
        {3, 3,
         [](CDCEx& e) {
             e.DrawSmoothCircle({1, 1}, 0, 0xFFFFFF);
         },
         "....#...."}, // centre
    };
    const COLORREF shades[] = {0, 0x3F3F3F, 0x7F7F7F, 0xBFBFBF, 0xFFFFFF};
    ScreenDC screen;
    for (const auto& c : cases) {
        CCompatibleDC dc;
        ASSERT_TRUE(dc.Create(screen, SIZE{c.w, c.h}));
        CDCEx ex(dc);
        c.draw(ex);
        for (int i = 0; i < c.w * c.h; ++i) {
            const COLORREF want = shades[std::string(".-+o#").find(c.picture[i])];
            EXPECT_EQ(want, dc.GetPixel(i % c.w, i / c.w)) << c.picture << " at " << i;
        }
    }
}

// Seeded random lines, circles and runs on random backgrounds, reaching past every
// edge, compared with the model after each round.
TEST(CDCExTest, RandomDrawingMatchesTheModel)
{
    ScreenDC screen;
    std::mt19937 rng(2026);
    for (int round = 0; round < 400; ++round) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 40);
        CCompatibleDC dc;
        ASSERT_TRUE(dc.Create(screen, SIZE{w, h}));
        Model m(w, h);
        FillRandom(m, dc, rng);
        CDCEx ex(dc);
        auto coord = [&](int size) { return int(rng() % unsigned(size + 30)) - 15; };
        auto fraction = [&](int size) {
            return (int(rng() % unsigned(size * 8 + 80)) - 40) / 8.0 + 0.001 * (rng() % 7);
        };
        for (int op = 0; op < 12; ++op) {
            const COLORREF color = rng() & 0xFFFFFF;
            const int hw = int(rng() % 4);
            const unsigned kind = rng() % 5;
            if (kind < 2) {
                POINT a{coord(w), coord(h)}, b{coord(w), coord(h)};
                if (rng() % 4 == 0)
                    b.x = a.x; // vertical
                else if (rng() % 4 == 0)
                    b.y = a.y; // horizontal
                else if (rng() % 4 == 0)
                    b.y = a.y + (b.x - a.x); // 45 degrees
                ex.DrawSmoothLine(a, b, color, (unsigned char)hw);
                m.Line(a.x, a.y, b.x, b.y, color, hw);
            } else if (kind == 2) {
                const int cx = coord(w), cy = coord(h);
                const unsigned r = rng() % 30;
                ex.DrawSmoothCircle(POINT{cx, cy}, r, color);
                m.Circle(cx, cy, r, color);
            } else if (kind == 3) {
                const double x = fraction(w);
                const int y = coord(h);
                ex.SetHPixel(x, y, color, (unsigned char)hw);
                m.Run(true, y, x, hw, color);
            } else {
                const double y = fraction(h);
                const int x = coord(w);
                ex.SetVPixel(x, y, color, (unsigned char)hw);
                m.Run(false, x, y, hw, color);
            }
        }
        ExpectSame(m, dc, "random drawing");
        if (HasFailure())
            return;
    }
}

// Endpoints and centres far outside draw exactly their visible part, and at once.
TEST(CDCExTest, FarAwayCoordinatesAreClipped)
{
    ScreenDC screen;
    CCompatibleDC dc;
    ASSERT_TRUE(dc.Create(screen, SIZE{32, 24}));
    Model m(32, 24);
    CDCEx ex(dc);
    const struct
    {
        POINT a, b;
    } lines[] = {
        {{-2000000000, 3}, {2000000000, 20}},
        {{5, -2000000000}, {9, 2000000000}},
        {{LONG_MIN, LONG_MIN}, {LONG_MAX, LONG_MAX}},
        {{LONG_MIN, 10}, {LONG_MAX, 10}},
        {{7, LONG_MIN}, {7, LONG_MAX}},
    };
    for (const auto& l : lines) {
        ex.DrawSmoothLine(l.a, l.b, 0x336699, 1);
        m.Line(l.a.x, l.a.y, l.b.x, l.b.y, 0x336699, 1, true);
    }
    ex.SetHPixel(1e300, 3, 0xFFFFFF, 5);
    ex.SetVPixel(3, -1e300, 0xFFFFFF, 5);
    ex.SetHPixel(std::nan(""), 3, 0xFFFFFF, 5);
    // A radius past 65535 wraps in the arithmetic; it is drawn by the same rule.
    ex.DrawSmoothCircle(POINT{16, 12}, 70000, 0xAA5500);
    m.Circle(16, 12, 70000, 0xAA5500);
    ex.DrawSmoothCircle(POINT{LONG_MAX, LONG_MIN}, 100, 0xFFFFFF);
    ExpectSame(m, dc, "far coordinates");
}

TEST(CCompatibleDCTest, ResampleDownMatchesTheModel)
{
    ScreenDC screen;
    std::mt19937 rng(99);
    for (int round = 0; round < 120; ++round) {
        // The first round is 5 x 3 by 2: two blocks averaged, the rest kept.
        const int w = round ? 1 + int(rng() % 60) : 5, h = round ? 1 + int(rng() % 60) : 3;
        const unsigned factor = round ? rng() % 9 + (round % 10 == 0 ? 60 : 0) : 2;
        CCompatibleDC dc;
        ASSERT_TRUE(dc.Create(screen, SIZE{w, h}));
        Model m(w, h);
        FillRandom(m, dc, rng);
        EXPECT_EQ(factor != 0, dc.ResampleDown(factor)) << factor;
        if (factor > 1)
            m.Resample(factor);
        ExpectSame(m, dc, "ResampleDown");
        if (HasFailure())
            return;
    }
    // Uniform blocks of the brightest colour keep it: no sum overflows a channel.
    CCompatibleDC dc;
    ASSERT_TRUE(dc.Create(screen, SIZE{300, 300}));
    Fill(dc, [](int, int) { return COLORREF(0xFFFFFF); });
    for (unsigned factor : {15u, 16u, 17u, 254u, 255u, 256u}) {
        EXPECT_TRUE(dc.ResampleDown(factor));
        EXPECT_EQ(0xFFFFFFu, dc.GetPixel(0, 0)) << factor;
    }
}

TEST(CCompatibleDCTest, CommitCopiesAndScalesIntoAnotherBitmap)
{
    ScreenDC screen;
    CCompatibleDC source, target;
    ASSERT_TRUE(source.Create(screen, SIZE{40, 30}));
    ASSERT_TRUE(target.Create(screen, SIZE{50, 50}));
    std::mt19937 rng(3);
    Model m(40, 30);
    FillRandom(m, source, rng);
    auto background = [](int, int) { return COLORREF(0x010203); };
    Fill(target, background);

    EXPECT_FALSE(source.Commit(nullptr, SIZE{40, 30}, SIZE{40, 30}));
    // The top-left 25 x 20 of the source, copied 1:1 to the origin.
    ASSERT_TRUE(source.Commit(target, SIZE{25, 20}, SIZE{25, 20}));
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(x < 25 && y < 20 ? m.Get(x, y) : 0x010203u, target.GetPixel(x, y))
                << x << ", " << y;

    // Scaled: two flat halves stay flat away from their border, and nothing is drawn
    // beyond the target size.
    Fill(target, background);
    Fill(source, [](int x, int) { return COLORREF(x < 20 ? 0x2040C0 : 0xC08020); });
    ASSERT_TRUE(source.Commit(target, SIZE{20, 15}, SIZE{40, 30}));
    EXPECT_EQ(DWORD(HALFTONE), DWORD(::GetStretchBltMode(target)));
    for (int y = 1; y < 14; ++y)
        for (int x = 1; x < 19; ++x)
            if (x < 8 || x >= 12) {
                EXPECT_EQ(x < 8 ? 0x2040C0u : 0xC08020u, target.GetPixel(x, y)) << x << ", " << y;
            }
    EXPECT_EQ(0x010203u, target.GetPixel(20, 0));
    EXPECT_EQ(0x010203u, target.GetPixel(0, 15));
}
