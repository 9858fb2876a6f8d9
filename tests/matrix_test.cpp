// matrix, its operators, the linear algebra and CMatrixException, judged by element arithmetic
// in the defined order to the bit, LU with row swaps and the residuals, and a worked example
// whose bits only the defined scheme gives. On x86 this program, like the library, uses SSE2.
#include "test_common.h"

#include "../src/matrix_internal.h"

#include <tarn_kit/matrix.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <new>
#include <random>
#include <utility>

using namespace tarn_kit;

namespace {

typedef CMatrixException E;

// Each op throws a CMatrixException from ".\Matrix" with the code, its text and the
// function text "tarn_kit::" fn.
void Throws(const wchar_t* fn, E::EException code, std::initializer_list<std::function<void()>> ops)
{
    const wchar_t* texts[] = {L"", L"Invalid Matrix Dimension", L"Incompatible Matrix Dimension",
                              L"Invalid Index", L"Division by Zero"};
    for (const auto& op : ops)
        try {
            op();
            ADD_FAILURE() << "no exception, op " << &op - ops.begin();
        } catch (const CMatrixException& e) {
            ustring text, source;
            EXPECT_EQ(ustring(L"tarn_kit::") + fn, e.GetFunction()) << &op - ops.begin();
            EXPECT_TRUE(e.GetErrorCode() == code && e.GetFileName() == L".\\Matrix" && e.GetLine());
            EXPECT_TRUE(e.GetErrorMessage(text) && text == texts[code] && e.GetSource(source) &&
                        source == L"Matrix Library");
        }
}

matrix Make(unsigned int rows, unsigned int cols, std::initializer_list<double> values)
{
    matrix m(rows, cols);
    std::copy(values.begin(), values.end(), &m(1, 1)); // row-major
    return m;
}

// Same size and identical bits (NaN equals NaN, 0.0 differs from -0.0).
bool SameBits(const matrix& A, const matrix& B)
{
    return same_dim(A, B) && !std::memcmp(&A(1, 1), &B(1, 1), 8 * A.rows() * A.cols());
}

// Plain partial pivoting by row swaps on M = [A | b]: returns the determinant and leaves the
// solution in M's last column (when A is regular).
double Lu(matrix& M)
{
    const unsigned int n = M.rows(), w = M.cols();
    double det = 1.0;
    for (unsigned int k = 1; k <= n; ++k) {
        unsigned int p = k;
        for (unsigned int i = k + 1; i <= n; ++i)
            p = std::fabs(M(i, k)) > std::fabs(M(p, k)) ? i : p;
        for (unsigned int j = 1; p != k && j <= w; ++j)
            std::swap(M(k, j), M(p, j));
        det *= p != k ? -M(k, k) : M(k, k);
        for (unsigned int i = k + 1; det != 0.0 && i <= n; ++i) {
            const double f = M(i, k) / M(k, k);
            for (unsigned int j = k; j <= w; ++j)
                M(i, j) -= f * M(k, j);
        }
    }
    for (unsigned int i = n; det != 0.0 && i >= 1; --i) {
        for (unsigned int j = i + 1; j <= n; ++j)
            M(i, w) -= M(i, j) * M(j, w);
        M(i, w) /= M(i, i);
    }
    return det;
}

// kind 0: uniform reals; 1: small integers (ties, zero rows, singular systems);
// 2: well conditioned, diagonally dominant with its rows rotated so that the pivot
// search has work to do.
matrix Random(std::mt19937& rng, unsigned int rows, unsigned int cols, int kind)
{
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    matrix A(rows, cols);
    for (unsigned int i = 1, shift = rng(); i <= rows; ++i)
        for (unsigned int j = 1; j <= cols; ++j)
            A(i, j) = kind == 1 ? rng() % 5 - 2.0
                                : u(rng) + (kind == 2 && j == (i + shift) % rows + 1) * 20.0 * rows;
    return A;
}

} // namespace

TEST(CMatrixExceptionTest, TextsCloneAndThrow)
{
    for (int code : {0, -1, 5}) { // the other codes: with every fault below
        const E e(7, L".\\Matrix", L"f", static_cast<E::EException>(code));
        ustring s(L"kept");
        EXPECT_EQ(code == 0, e.GetErrorMessage(s));
        EXPECT_EQ(ustring(code ? L"kept" : L"Success"), s);
    }
    const auto clone = E(9, L".\\Matrix", L"tarn_kit::row", E::eInvalidIndex).Clone();
    Throws(L"row", E::eInvalidIndex, {[&] { clone->Throw(); }});
}

TEST(MatrixTest, StorageValueSemanticsAndComparison)
{
    const matrix m(2, 3, 1.5), expected = Make(2, 3, {1.5, 1.5, 1.5, 4, 1.5, 1.5});
    ASSERT_TRUE(&m(1, 1) + 5 == &m(2, 3) && &m(1, 1) + 3 == &m(2, 1)); // row-major
    m(2, 1) = 4.0; // writable through a const matrix
    matrix d, c(m);
    EXPECT_TRUE(SameBits(matrix(1, 1, 0.0), d) && SameBits(expected, d = m)); // takes m's size
    c(1, 2) = d(1, 1) = 9;                                                    // deep copies
    EXPECT_TRUE(SameBits(expected, m));
    d.resize(2, 2, 7.0); // the old elements are gone
    EXPECT_THROW(matrix(~0u, ~0u), std::bad_alloc);
    EXPECT_THROW(d.resize(~0u, ~0u, 0.0), std::bad_alloc);
    EXPECT_TRUE(SameBits(matrix(2, 2, 7.0), d)); // a failed resize changes nothing
    d.clear(-0.0);
    // Exact comparison: 0.0 equals -0.0, NaN equals nothing, shapes must match.
    const matrix nan(1, 1, std::nan(""));
    EXPECT_TRUE(d == matrix(2, 2) && !(nan == nan) && nan != nan && matrix(1, 2) != matrix(2, 1));
    EXPECT_TRUE(Make(1, 2, {1, 2}) != Make(1, 2, {1, 2.0000000000000004}));
}

// Scalar division and transpose are judged with invert below.
TEST(MatrixTest, ArithmeticMatchesElementArithmeticInOrder)
{
    std::mt19937 rng(11);
    for (int t = 0; t < 300; ++t) {
        const unsigned int r = 1 + rng() % 4, c = 1 + rng() % 4;
        // Integer divisors bring zeros: A / B gives infinities and NaN, no exception.
        const matrix A = Random(rng, r, c, 0), B = Random(rng, r, c, t % 2), C = transpose(B);
        const double d = A(1, 1) / 3;
        matrix S(r, c), D(r, c), Q(r, c), K(r, c), P(r, r), X = A; // +, -, /, * d, * C
        double squares = 0.0;
        for (unsigned int i = 1; i <= r; ++i)
            for (unsigned int j = 1; j <= c; ++j) {
                S(i, j) = A(i, j) + B(i, j), D(i, j) = A(i, j) - B(i, j);
                Q(i, j) = A(i, j) / B(i, j), K(i, j) = A(i, j) * d;
                squares = squares + A(i, j) * A(i, j);
                for (unsigned int k = 1; k <= r; ++k) // s = A(i, j) * C(j, k) + s, j ascending
                    P(i, k) = A(i, j) * C(j, k) + P(i, k);
            }
        EXPECT_TRUE(SameBits(S, A + B) && SameBits(D, A - B) && SameBits(Q, A / B));
        EXPECT_TRUE(SameBits(K, A * d) && SameBits(K, d * A) && SameBits(P, A * C));
        EXPECT_TRUE(SameBits(-1.0 * A, -A) && SameBits(A, +A) && std::sqrt(squares) == norm(A));
        EXPECT_TRUE(SameBits(S, X += B) && SameBits(D, (X = A) -= B) && SameBits(P, (X = A) *= C));
        EXPECT_TRUE(SameBits(K, (X = A) *= d) && SameBits(A / d, (X = A) /= d));
    }
}

// Every fault with its code and function text; the operands a and b stay as they were.
TEST(MatrixTest, FaultsThrowAndLeaveOperandsUnchanged)
{
    const matrix A = Make(2, 3, {1, 2, 3, 4, 5, 6}), B = transpose(A), S = Make(2, 2, {1, 2, 3, 4});
    const matrix singular = Make(2, 2, {1, 2, 2, 4}), s1 = col(S, 1);
    matrix a = A, b = B;
    const E::EException dim = E::eInvalidDimension, inc = E::eIncompatibleDimension,
                        idx = E::eInvalidIndex, zero = E::eDivisionByZero;
    Throws(L"matrix::matrix", dim, {[] { matrix(0, 3); }, [] { matrix(3, 0); }});
    Throws(L"matrix::resize", dim, {[&] { a.resize(0, 1, 1); }, [&] { a.resize(2, 0, 1); }});
    Throws(L"matrix::operator ()", idx, {[&] { a(0, 1); }, [&] { a(3, 1); }, [&] { a(1, 0); }});
    Throws(L"matrix::operator ()", idx, {[&] { a(1, 4); }, [&] { row(S, 0); }, [&] { col(S, 0); }});
    Throws(L"row", idx, {[&] { row(S, 3); }});
    Throws(L"col", idx, {[&] { col(S, 3); }});
    Throws(L"operator +", inc, {[&] { a + b; }, [&] { a += b; }});
    Throws(L"operator -", inc, {[&] { a - b; }, [&] { a -= b; }});
    Throws(L"operator *", inc, {[&] { (void)(b * b); }, [&] { a *= a; }});
    Throws(L"operator /", inc, {[&] { a / b; }});
    Throws(L"operator /", zero, {[&] { a / 0.0; }, [&] { a /= -0.0; }});
    Throws(L"determinant", dim, {[&] { determinant(a); }});
    // gauss checks squareness, then b's rows, then b's columns, then the pivots.
    Throws(L"gauss", dim, {[&] { gauss(a, b); }, [&] { gauss(S, S); }});
    Throws(L"gauss", inc, {[&] { gauss(S, b); }});
    Throws(L"gauss", zero, {[&] { gauss(matrix(2, 2), s1); }, [&] { gauss(singular, s1); }});
    Throws(L"invert", dim, {[&] { invert(a); }});
    Throws(L"invert", zero, {[&] { invert(singular); }, [] { invert(matrix(1, 1, -0.0)); }});
    Throws(L"minor", dim, {[] { minor(matrix(), 1, 1); }, [] { minor(matrix(1, 3), 1, 1); }});
    Throws(L"minor", dim, {[&] { minor(a, 1, 1); }, [] { cofactor(matrix(), 1, 1); }});
    Throws(L"minor", idx, {[&] { minor(S, 0, 1); }, [&] { minor(S, 3, 1); }});
    Throws(L"minor", idx, {[&] { minor(S, 1, 0); }, [&] { cofactor(S, 1, 3); }});
    EXPECT_TRUE(SameBits(A, a) && SameBits(B, b));
}

TEST(LinearAlgebraTest, SmallCasesFixedByTheOrderOfOperations)
{
    // Pivoting adds row 2 to row 1 instead of swapping: no sign to track.
    EXPECT_EQ(-1.0, determinant(Make(2, 2, {0, 1, 1, 0})));
    const matrix X(1, 1, 0.1), inverse(1, 1, 1.0 / 0.1); // scale x, M(1, 1) = 1
    EXPECT_TRUE(determinant(X) == 0.1 && SameBits(inverse, invert(X)));
    EXPECT_TRUE(SameBits(inverse, gauss(X, matrix(1, 1, 1.0))));
    EXPECT_FALSE(std::signbit(determinant(matrix(1, 1, -0.0)))); // a zero row gives +0.0
    EXPECT_TRUE(SameBits(Make(2, 1, {1, 2}), gauss(Make(2, 2, {2, 0, 0, 4}), Make(2, 1, {2, 8}))));
    const matrix S = Make(2, 2, {1, 2, 3, 4});
    EXPECT_LE(norm(invert(S) - Make(2, 2, {-2, 1, 1.5, -0.5})), 1e-15);
    EXPECT_TRUE(SameBits(Make(1, 2, {3, 4}), row(S, 2)) && SameBits(Make(2, 1, {2, 4}), col(S, 2)));
    EXPECT_EQ(5.0, norm(row(S, 2)));
}

// A worked example whose bits only the defined scheme gives: skipping the row scaling, swapping
// rows or taking the last of equal pivots each changes them (the exact determinant is 144).
TEST(LinearAlgebraTest, WorkedExampleToTheBit)
{
    const matrix A = Make(3, 3, {7, 7, -2, -6, 8, -6, 8, -8, 8});
    EXPECT_EQ(143.9999999999999, determinant(A));
    EXPECT_TRUE(SameBits(Make(3, 1, {-1.6666666666666674, 3.0000000000000018, 4.1666666666666705}),
                         gauss(A, Make(3, 1, {1, 9, -4}))));
    EXPECT_TRUE(SameBits(
        Make(3, 3,
             {0.1111111111111112, -0.277777777777778, -0.1805555555555557, 0.0, 0.5000000000000004,
              0.3750000000000002, -0.1111111111111112, 0.7777777777777783, 0.6805555555555561}),
        invert(A)));
}

// Seeded random systems: gauss and invert throw exactly when the determinant is 0.0 (small
// integers give zero rows, ties and singular systems); the real ones' determinant against LU
// within a tolerance relative to Hadamard's bound; the well-conditioned ones also against LU's
// solution, with A x against b and A A^-1 against I.
TEST(LinearAlgebraTest, RandomSystemsAgainstLuAndResiduals)
{
    std::mt19937 rng(2024);
    int singular = 0;
    for (int t = 0; t < 6000; ++t) {
        const unsigned int n = 1 + rng() % 8;
        matrix L = Random(rng, n, n + 1, t % 3), A(n, n), I(n, n); // L = [A | b]
        double hadamard = 1.0;
        for (unsigned int i = 1; i <= n; ++i) {
            for (unsigned int j = 1; j <= n; ++j)
                A(i, j) = L(i, j), I(i, j) = i == j;
            hadamard *= norm(row(A, i));
        }
        const matrix b = col(L, n + 1);
        const double det = determinant(A), lu = Lu(L);
        ASSERT_TRUE(std::isfinite(det)) << "case " << t; // a zero pivot stops, never divides
        // Small integers can leave a remnant that should be zero and then serves as a pivot
        // (only an exact 0.0 counts as zero): no tolerance holds there.
        if (t % 3 != 1) {
            ASSERT_LE(std::fabs(det - lu), 1e-12 * hadamard) << "case " << t;
        }
        // These determinants never underflow: 0.0 means a zero row or pivot, the last included.
        if (det == 0.0) {
            ++singular;
            Throws(L"gauss", E::eDivisionByZero, {[&] { gauss(A, b); }});
            Throws(L"invert", E::eDivisionByZero, {[&] { invert(A); }});
            continue;
        }
        const matrix x = gauss(A, b), inverse = invert(A);
        if (t % 3 != 2)
            continue;
        EXPECT_LE(norm(col(L, n + 1) - x), 1e-12 * norm(x)) << "case " << t;
        EXPECT_LE(norm(A * x - b), 1e-12 * (norm(A) * norm(x) + norm(b))) << "case " << t;
        EXPECT_LE(norm(A * inverse - I) + norm(inverse * A - I), 1e-12 * n) << "case " << t;
    }
    EXPECT_GT(singular, 100); // the integer cases did reach the zero tests
}
