// Tour: matrices and variants.
#include "tour.h"

#include <tarn_kit/matrix.h>
#include <tarn_kit/variant.h>

#include <cstdio>

namespace {

void Print(const char* name, const tarn_kit::matrix& m)
{
    std::printf("  %s =\n", name);
    for (unsigned int i = 1; i <= m.rows(); ++i) {
        std::printf("   ");
        for (unsigned int j = 1; j <= m.cols(); ++j)
            std::printf(" %9.4f", m(i, j));
        std::printf("\n");
    }
}

} // namespace

void TourNumerics()
{
    using namespace tarn_kit;
    std::printf("\nMatrices and variants\n");

    // 2x + y - z = 8, -3x - y + 2z = -11, -2x + y + 2z = -3
    matrix A(3, 3);
    const double a[3][3] = {{2, 1, -1}, {-3, -1, 2}, {-2, 1, 2}};
    const double rhs[3] = {8, -11, -3};
    matrix b(3, 1);
    for (unsigned int i = 1; i <= 3; ++i) {
        for (unsigned int j = 1; j <= 3; ++j)
            A(i, j) = a[i - 1][j - 1];
        b(i, 1) = rhs[i - 1];
    }
    Print("A", A);
    Print("x = gauss(A, b)", gauss(A, b));
    std::printf("  determinant(A) = %g\n", determinant(A));
    Print("invert(A)", invert(A));

    try {
        gauss(matrix(2, 2), b);
    } catch (const CMatrixException& e) {
        ustring text;
        e.GetErrorMessage(text);
        std::printf("  gauss with b of the wrong size: %s (%s)\n", U8(text).c_str(),
                    U8(e.GetFunction()).c_str());
    }

    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(L"1Fh");
    if (tarn_kit::VariantChangeType(0x409, VT_I4, v, 16))
        std::printf("  \"1Fh\" in base 16 = %ld\n", static_cast<long>(v.lVal));
    ::VariantClear(&v);
    std::printf("  round(2.5) = %d, round(-2.5) = %d\n", tarn_kit::round(2.5),
                tarn_kit::round(-2.5));
}
