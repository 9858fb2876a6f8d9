// matrix, its operators, the linear algebra and CMatrixException.
//
// Two kinds of judges: a plain LU factorisation with row swaps (independent of
// the library's elimination) checks the results within a tolerance, and a
// reference of the row-scaling, row-adding elimination checks them to the bit.
// On x86 this program, like the library's matrix code, uses SSE2 arithmetic.
#include "test_common.h"

#include "../src/matrix_internal.h"

#include <tarn_kit/matrix.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <new>
#include <random>
#include <vector>

using namespace tarn_kit;

namespace {

typedef CMatrixException E;

// Expects stmt to throw a CMatrixException from ".\Matrix" with the function text and code.
#define EXPECT_MATRIX_EXCEPTION(stmt, function, code)                                              \
    do {                                                                                           \
        try {                                                                                      \
            stmt;                                                                                  \
            ADD_FAILURE() << "no CMatrixException from " #stmt;                                    \
        } catch (const ::tarn_kit::CMatrixException& e_) {                                         \
            EXPECT_EQ(ustring(L".\\Matrix"), e_.GetFileName()) << #stmt;                           \
            EXPECT_EQ(ustring(function), e_.GetFunction()) << #stmt;                               \
            EXPECT_EQ(code, e_.GetErrorCode()) << #stmt;                                           \
            EXPECT_NE(0u, e_.GetLine()) << #stmt;                                                  \
        }                                                                                          \
    } while (0)

matrix Make(std::initializer_list<std::initializer_list<double>> rows)
{
    matrix m(unsigned(rows.size()), unsigned(rows.begin()->size()));
    unsigned int i = 1;
    for (const auto& r : rows) {
        unsigned int j = 1;
        for (double v : r)
            m(i, j++) = v;
        ++i;
    }
    return m;
}

std::uint64_t Bits(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

// Equal sizes and identical bit patterns (NaN equals NaN, 0.0 differs from -0.0).
::testing::AssertionResult SameBits(const matrix& A, const matrix& B)
{
    if (!same_dim(A, B))
        return ::testing::AssertionFailure()
               << A.rows() << "x" << A.cols() << " vs " << B.rows() << "x" << B.cols();
    for (unsigned int i = 1; i <= A.rows(); ++i)
        for (unsigned int j = 1; j <= A.cols(); ++j)
            if (Bits(A(i, j)) != Bits(B(i, j)))
                return ::testing::AssertionFailure()
                       << "(" << i << ", " << j << "): " << A(i, j) << " vs " << B(i, j);
    return ::testing::AssertionSuccess();
}

typedef std::vector<std::vector<double>> Rows;

Rows ToRows(const matrix& A)
{
    Rows r(A.rows(), std::vector<double>(A.cols()));
    for (unsigned int i = 0; i < A.rows(); ++i)
        for (unsigned int j = 0; j < A.cols(); ++j)
            r[i][j] = A(i + 1, j + 1);
    return r;
}

// Reference of the library's elimination: scale each row by its element of
// largest magnitude, pivot by adding the best row, exact zero tests only.
// false when a scale or a pivot of columns 1 ... n-1 is zero.
bool RefEliminate(Rows& M, std::size_t n, double& scale)
{
    scale = 1.0;
    for (auto& r : M) {
        double s = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            if (std::fabs(r[j]) > std::fabs(s))
                s = r[j];
        if (s == 0.0)
            return false;
        scale *= s;
        for (double& v : r)
            v /= s;
    }
    for (std::size_t k = 0; k + 1 < n; ++k) {
        std::size_t p = k;
        double best = 0.0;
        for (std::size_t i = k; i < n; ++i)
            if (std::fabs(M[i][k]) > best) {
                p = i;
                best = std::fabs(M[i][k]);
            }
        if (p != k)
            for (std::size_t j = k; j < M[k].size(); ++j)
                M[k][j] += M[p][j];
        if (M[k][k] == 0.0)
            return false;
        for (std::size_t i = k + 1; i < n; ++i) {
            const double f = -M[i][k] / M[k][k];
            for (std::size_t j = k; j < M[i].size(); ++j)
                M[i][j] = f * M[k][j] + M[i][j];
        }
    }
    return true;
}

double RefDeterminant(const matrix& A)
{
    Rows M = ToRows(A);
    double d;
    if (!RefEliminate(M, M.size(), d))
        return 0.0;
    for (std::size_t i = 0; i < M.size(); ++i)
        d *= M[i][i];
    return d;
}

// false where gauss throws eDivisionByZero (the zero last pivot included).
bool RefGauss(const matrix& A, const matrix& b, matrix& x)
{
    Rows M = ToRows(A);
    const std::size_t n = M.size();
    for (std::size_t i = 0; i < n; ++i)
        M[i].push_back(b(unsigned(i + 1), 1));
    double scale;
    if (!RefEliminate(M, n, scale) || M[n - 1][n - 1] == 0.0)
        return false;
    std::vector<double> v(n);
    for (std::size_t i = n; i-- > 0;) {
        double t = 0.0;
        for (std::size_t j = i + 1; j < n; ++j)
            t = M[i][j] * v[j] + t;
        v[i] = (M[i][n] - t) / M[i][i];
    }
    x = matrix(unsigned(n), 1);
    for (std::size_t i = 0; i < n; ++i)
        x(unsigned(i + 1), 1) = v[i];
    return true;
}

// Adjugate over the determinant, each cofactor a reference determinant.
matrix RefInvert(const matrix& A)
{
    const unsigned int n = A.rows();
    const double d = RefDeterminant(A);
    if (n == 1)
        return matrix(1, 1, 1.0 / A(1, 1));
    matrix R(n, n);
    for (unsigned int i = 1; i <= n; ++i) {
        for (unsigned int j = 1; j <= n; ++j) {
            matrix B(n - 1, n - 1);
            for (unsigned int r = 1, rr = 1; r <= n; ++r) {
                if (r == i)
                    continue;
                for (unsigned int c = 1, cc = 1; c <= n; ++c)
                    if (c != j)
                        B(rr, cc++) = A(r, c);
                ++rr;
            }
            const double m = RefDeterminant(B);
            R(j, i) = ((i + j) % 2 ? -m : m) / d; // transposed
        }
    }
    return R;
}

// Plain LU with partial pivoting by row swaps: an independent judge.
struct CLu
{
    explicit CLu(const matrix& A) : n(A.rows()), lu(ToRows(A)), perm(n), sign(1.0)
    {
        for (std::size_t i = 0; i < n; ++i)
            perm[i] = i;
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t p = k;
            for (std::size_t i = k + 1; i < n; ++i)
                if (std::fabs(lu[i][k]) > std::fabs(lu[p][k]))
                    p = i;
            if (p != k) {
                std::swap(lu[p], lu[k]);
                std::swap(perm[p], perm[k]);
                sign = -sign;
            }
            for (std::size_t i = k + 1; i < n; ++i) {
                lu[i][k] /= lu[k][k];
                for (std::size_t j = k + 1; j < n; ++j)
                    lu[i][j] -= lu[i][k] * lu[k][j];
            }
        }
    }
    double Determinant() const
    {
        double d = sign;
        for (std::size_t i = 0; i < n; ++i)
            d *= lu[i][i];
        return d;
    }
    std::vector<double> Solve(const std::vector<double>& b) const
    {
        std::vector<double> y(n);
        for (std::size_t i = 0; i < n; ++i) {
            y[i] = b[perm[i]];
            for (std::size_t j = 0; j < i; ++j)
                y[i] -= lu[i][j] * y[j];
        }
        for (std::size_t i = n; i-- > 0;) {
            for (std::size_t j = i + 1; j < n; ++j)
                y[i] -= lu[i][j] * y[j];
            y[i] /= lu[i][i];
        }
        return y;
    }

    std::size_t n;
    Rows lu;
    std::vector<std::size_t> perm;
    double sign;
};

// Well conditioned: diagonally dominant, then its rows shuffled so that the
// pivot search has work to do.
matrix WellConditioned(std::mt19937& rng, unsigned int n)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    matrix D(n, n);
    for (unsigned int i = 1; i <= n; ++i) {
        for (unsigned int j = 1; j <= n; ++j)
            D(i, j) = u(rng);
        D(i, i) += (D(i, i) < 0 ? -1.0 : 1.0) * n;
    }
    std::vector<unsigned int> order(n);
    for (unsigned int i = 0; i < n; ++i)
        order[i] = i + 1;
    std::shuffle(order.begin(), order.end(), rng);
    matrix A(n, n);
    for (unsigned int i = 1; i <= n; ++i)
        for (unsigned int j = 1; j <= n; ++j)
            A(i, j) = D(order[i - 1], j);
    return A;
}

// Small integers: ties, zero rows, exact cancellations and singular systems.
matrix SmallIntegers(std::mt19937& rng, unsigned int rows, unsigned int cols)
{
    std::uniform_int_distribution<int> u(-2, 2);
    matrix A(rows, cols);
    for (unsigned int i = 1; i <= rows; ++i)
        for (unsigned int j = 1; j <= cols; ++j)
            A(i, j) = u(rng);
    return A;
}

matrix Uniform(std::mt19937& rng, unsigned int rows, unsigned int cols)
{
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    matrix A(rows, cols);
    for (unsigned int i = 1; i <= rows; ++i)
        for (unsigned int j = 1; j <= cols; ++j)
            A(i, j) = u(rng);
    return A;
}

double MaxAbs(const matrix& A)
{
    double m = 0.0;
    for (unsigned int i = 1; i <= A.rows(); ++i)
        for (unsigned int j = 1; j <= A.cols(); ++j)
            m = std::fmax(m, std::fabs(A(i, j)));
    return m;
}

} // namespace

// CMatrixException

TEST(CMatrixExceptionTest, DefaultIsCodeZeroWithoutPosition)
{
    CMatrixException e;
    EXPECT_EQ(0u, e.GetLine());
    EXPECT_TRUE(e.GetFileName().empty());
    EXPECT_TRUE(e.GetFunction().empty());
    EXPECT_EQ(E::eSuccess, e.GetErrorCode());
}

TEST(CMatrixExceptionTest, TextsComeFromTheStringTable)
{
    struct Case
    {
        E::EException code;
        const wchar_t* text;
    };
    const Case cases[] = {
        {E::eSuccess, L"Success"},
        {E::eInvalidDimension, L"Invalid Matrix Dimension"},
        {E::eIncompatibleDimension, L"Incompatible Matrix Dimension"},
        {E::eInvalidIndex, L"Invalid Index"},
        {E::eDivisionByZero, L"Division by Zero"},
    };
    for (const Case& c : cases) {
        CMatrixException e(7, L".\\Matrix", L"f", c.code);
        ustring s;
        EXPECT_TRUE(e.GetSource(s));
        EXPECT_EQ(ustring(L"Matrix Library"), s);
        EXPECT_TRUE(e.GetErrorMessage(s));
        EXPECT_EQ(ustring(c.text), s);
        ustring ui;
        EXPECT_TRUE(e.GetErrorMessageUI(ui));
        EXPECT_EQ(s, ui);
    }
}

TEST(CMatrixExceptionTest, UnknownCodeGivesNoMessageAndLeavesTextAlone)
{
    for (int code : {-1, 5, 116}) {
        CMatrixException e(1, L"f", L"g", static_cast<E::EException>(code));
        ustring s(L"kept");
        EXPECT_FALSE(e.GetErrorMessage(s)) << code;
        EXPECT_EQ(ustring(L"kept"), s) << code;
    }
}

TEST(CMatrixExceptionTest, SnapshotCarriesAllSixFacts)
{
    CMatrixException e(42, L".\\Matrix", L"tarn_kit::gauss", E::eDivisionByZero);
    CStdException::CExInfo info(e);
    EXPECT_EQ(42u, info.GetLine());
    EXPECT_EQ(ustring(L".\\Matrix"), info.GetFileName());
    EXPECT_EQ(ustring(L"tarn_kit::gauss"), info.GetFunction());
    EXPECT_EQ(ustring(L"Matrix Library"), info.GetSource());
    EXPECT_EQ(ustring(L"Division by Zero"), info.GetErrorMessage());
    EXPECT_EQ(ustring(L"Division by Zero"), info.GetErrorMessageUI());
}

TEST(CMatrixExceptionTest, CloneOutlivesOriginalAndThrowKeepsType)
{
    CSmartPtr<CStdException> clone;
    {
        CMatrixException e(9, L".\\Matrix", L"tarn_kit::invert", E::eInvalidDimension);
        clone = e.Clone();
    }
    ASSERT_TRUE(clone);
    EXPECT_EQ(1, clone.use_count());
    try {
        clone->Throw();
        ADD_FAILURE() << "Throw returned";
    } catch (const CMatrixException& e) {
        EXPECT_EQ(9u, e.GetLine());
        EXPECT_EQ(ustring(L".\\Matrix"), e.GetFileName());
        EXPECT_EQ(ustring(L"tarn_kit::invert"), e.GetFunction());
        EXPECT_EQ(E::eInvalidDimension, e.GetErrorCode());
    }
    try {
        clone->Throw();
    } catch (const CStdException& e) {
        EXPECT_EQ(ustring(L"tarn_kit::invert"), e.GetFunction());
    }
}

TEST(CMatrixExceptionTest, CopyTakesAllFourFields)
{
    CMatrixException a(3, L"a", L"b", E::eInvalidIndex);
    CMatrixException b;
    b = a;
    CMatrixException c(b);
    EXPECT_EQ(3u, c.GetLine());
    EXPECT_EQ(ustring(L"a"), c.GetFileName());
    EXPECT_EQ(ustring(L"b"), c.GetFunction());
    EXPECT_EQ(E::eInvalidIndex, c.GetErrorCode());
}

// Construction, size and element access

TEST(MatrixTest, DefaultIsOneByOneZero)
{
    matrix m;
    EXPECT_EQ(1u, m.rows());
    EXPECT_EQ(1u, m.cols());
    EXPECT_EQ(Bits(0.0), Bits(m(1, 1)));
}

TEST(MatrixTest, ConstructionFillsEveryElement)
{
    matrix m(2, 3, 1.5);
    EXPECT_EQ(2u, m.rows());
    EXPECT_EQ(3u, m.cols());
    for (unsigned int i = 1; i <= 2; ++i)
        for (unsigned int j = 1; j <= 3; ++j)
            EXPECT_EQ(1.5, m(i, j));
}

TEST(MatrixTest, ZeroSizeIsInvalidDimension)
{
    const unsigned int sizes[][2] = {{0, 3}, {3, 0}, {0, 0}};
    for (const auto& s : sizes) {
        EXPECT_MATRIX_EXCEPTION(matrix(s[0], s[1]), L"tarn_kit::matrix::matrix",
                                E::eInvalidDimension);
        matrix m = Make({{1, 2}, {3, 4}});
        const matrix before = m;
        EXPECT_MATRIX_EXCEPTION(m.resize(s[0], s[1], 1.0), L"tarn_kit::matrix::resize",
                                E::eInvalidDimension);
        EXPECT_TRUE(SameBits(before, m));
    }
}

TEST(MatrixTest, SizeBeyondAddressSpaceIsAllocationFailure)
{
    EXPECT_THROW(matrix(UINT_MAX, UINT_MAX), std::bad_alloc);
    matrix m = Make({{1, 2}});
    EXPECT_THROW(m.resize(UINT_MAX, UINT_MAX, 0.0), std::bad_alloc);
    EXPECT_TRUE(SameBits(Make({{1, 2}}), m));
}

TEST(MatrixTest, ResizeDiscardsOldElements)
{
    const unsigned int sizes[][2] = {{2, 2}, {3, 1}, {1, 4}, {5, 5}};
    for (const auto& s : sizes) {
        matrix m = Make({{1, 2}, {3, 4}});
        m.resize(s[0], s[1], 7.0);
        EXPECT_TRUE(SameBits(matrix(s[0], s[1], 7.0), m)) << s[0] << "x" << s[1];
    }
}

TEST(MatrixTest, ClearKeepsSize)
{
    matrix m(2, 3, 1.0);
    m.clear(-0.0);
    EXPECT_TRUE(SameBits(matrix(2, 3, -0.0), m));
}

TEST(MatrixTest, IndexOutsideIsInvalidIndex)
{
    const matrix m(2, 3);
    const unsigned int bad[][2] = {{0, 1}, {3, 1}, {1, 0}, {1, 4}, {0, 0}, {UINT_MAX, 1}};
    for (const auto& b : bad)
        EXPECT_MATRIX_EXCEPTION(m(b[0], b[1]), L"tarn_kit::matrix::operator ()", E::eInvalidIndex);
}

TEST(MatrixTest, ElementsAreRowMajorAndWritableThroughConst)
{
    const matrix m(2, 3);
    double* first = &m(1, 1);
    EXPECT_EQ(first + 2, &m(1, 3));
    EXPECT_EQ(first + 3, &m(2, 1));
    EXPECT_EQ(first + 5, &m(2, 3)); // the last array element
    m(2, 1) = 4.0;
    EXPECT_EQ(4.0, first[3]);
}

TEST(MatrixTest, CopiesAreDeep)
{
    matrix a = Make({{1, 2}, {3, 4}});
    matrix b(a);
    b(1, 1) = 9;
    EXPECT_EQ(1.0, a(1, 1));
    matrix c;
    c = a;
    c(2, 2) = 9;
    EXPECT_EQ(4.0, a(2, 2));
}

TEST(MatrixTest, AssignmentTakesSourceSize)
{
    matrix a(1, 3, 5.0);
    const matrix b = Make({{1}, {2}, {3}});
    a = b;
    EXPECT_TRUE(SameBits(b, a));
    a = a;
    EXPECT_TRUE(SameBits(b, a));
}

// Arithmetic

TEST(MatrixTest, ElementWiseOperatorsMatchElementArithmetic)
{
    std::mt19937 rng(11);
    for (int n = 0; n < 200; ++n) {
        const unsigned int r = 1 + rng() % 4, c = 1 + rng() % 4;
        const matrix A = Uniform(rng, r, c), B = Uniform(rng, r, c);
        const double d = std::uniform_real_distribution<double>(-3, 3)(rng);
        matrix sum(r, c), diff(r, c), quot(r, c), scaled(r, c), divided(r, c), neg(r, c);
        for (unsigned int i = 1; i <= r; ++i) {
            for (unsigned int j = 1; j <= c; ++j) {
                sum(i, j) = A(i, j) + B(i, j);
                diff(i, j) = A(i, j) - B(i, j);
                quot(i, j) = A(i, j) / B(i, j);
                scaled(i, j) = A(i, j) * d;
                divided(i, j) = A(i, j) / d;
                neg(i, j) = -A(i, j);
            }
        }
        EXPECT_TRUE(SameBits(sum, A + B));
        EXPECT_TRUE(SameBits(diff, A - B));
        EXPECT_TRUE(SameBits(quot, A / B));
        EXPECT_TRUE(SameBits(scaled, A * d));
        EXPECT_TRUE(SameBits(scaled, d * A));
        EXPECT_TRUE(SameBits(divided, A / d));
        EXPECT_TRUE(SameBits(neg, -A));
        EXPECT_TRUE(SameBits(A, +A));

        matrix X = A;
        EXPECT_EQ(&X, &(X += B));
        EXPECT_TRUE(SameBits(sum, X));
        X = A;
        X -= B;
        EXPECT_TRUE(SameBits(diff, X));
        X = A;
        X *= d;
        EXPECT_TRUE(SameBits(scaled, X));
        X = A;
        X /= d;
        EXPECT_TRUE(SameBits(divided, X));
    }
}

TEST(MatrixTest, ProductAccumulatesInAscendingOrder)
{
    std::mt19937 rng(12);
    for (int n = 0; n < 200; ++n) {
        const unsigned int r = 1 + rng() % 5, m = 1 + rng() % 5, c = 1 + rng() % 5;
        const matrix A = Uniform(rng, r, m), B = Uniform(rng, m, c);
        matrix P(r, c);
        for (unsigned int i = 1; i <= r; ++i)
            for (unsigned int j = 1; j <= c; ++j) {
                double s = 0.0;
                for (unsigned int k = 1; k <= m; ++k)
                    s = A(i, k) * B(k, j) + s;
                P(i, j) = s;
            }
        EXPECT_TRUE(SameBits(P, A * B));
        matrix X = A;
        X *= B;
        EXPECT_TRUE(SameBits(P, X));
    }
    const matrix A(2, 3, 1.0), B(3, 2, 1.0);
    EXPECT_TRUE(SameBits(matrix(2, 2, 3.0), A * B));
    EXPECT_TRUE(SameBits(matrix(3, 3, 2.0), B * A));
}

TEST(MatrixTest, ScalarDivisionRejectsOnlyExactZero)
{
    const matrix A = Make({{1, -2}});
    EXPECT_MATRIX_EXCEPTION(A / 0.0, L"tarn_kit::operator /", E::eDivisionByZero);
    EXPECT_MATRIX_EXCEPTION(A / -0.0, L"tarn_kit::operator /", E::eDivisionByZero);
    const matrix q = A / std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(q(1, 1)) && std::isnan(q(1, 2)));
    const matrix tiny = A / std::numeric_limits<double>::denorm_min();
    EXPECT_TRUE(std::isinf(tiny(1, 1)));
}

TEST(MatrixTest, ElementWiseDivisionFollowsIeee)
{
    const matrix q = Make({{1, -1, 0}}) / Make({{0, 0, 0}});
    EXPECT_EQ(std::numeric_limits<double>::infinity(), q(1, 1));
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), q(1, 2));
    EXPECT_TRUE(std::isnan(q(1, 3)));
}

TEST(MatrixTest, ComparisonIsExact)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(Make({{0.0, 1}}) == Make({{-0.0, 1}}));
    EXPECT_FALSE(Make({{nan}}) == Make({{nan}}));
    EXPECT_TRUE(Make({{nan}}) != Make({{nan}}));
    const matrix n = Make({{nan}});
    EXPECT_FALSE(n == n);
    EXPECT_FALSE(matrix(1, 2) == matrix(2, 1)); // same count, other shape
    EXPECT_FALSE(Make({{1, 2}}) == Make({{1, 2.0000000000000004}}));
    EXPECT_TRUE(same_dim(matrix(2, 3, 1), matrix(2, 3, 2)));
    EXPECT_FALSE(same_dim(matrix(2, 3), matrix(3, 2)));
}

// Operators and modifiers that throw leave their operands as they were.
TEST(MatrixTest, FailedOperationsLeaveOperandsUnchanged)
{
    struct Case
    {
        const char* name;
        std::function<void(matrix&, matrix&)> op;
        const wchar_t* function;
        E::EException code;
    };
    const Case cases[] = {
        {"A + B", [](matrix& a, matrix& b) { (void)(a + b); }, L"tarn_kit::operator +",
         E::eIncompatibleDimension},
        {"A - B", [](matrix& a, matrix& b) { (void)(a - b); }, L"tarn_kit::operator -",
         E::eIncompatibleDimension},
        {"A / B", [](matrix& a, matrix& b) { (void)(a / b); }, L"tarn_kit::operator /",
         E::eIncompatibleDimension},
        {"A * A", [](matrix& a, matrix&) { (void)(a * a); }, L"tarn_kit::operator *",
         E::eIncompatibleDimension},
        {"A += B", [](matrix& a, matrix& b) { a += b; }, L"tarn_kit::operator +",
         E::eIncompatibleDimension},
        {"A -= B", [](matrix& a, matrix& b) { a -= b; }, L"tarn_kit::operator -",
         E::eIncompatibleDimension},
        {"A *= A", [](matrix& a, matrix&) { a *= matrix(a); }, L"tarn_kit::operator *",
         E::eIncompatibleDimension},
        {"A /= 0", [](matrix& a, matrix&) { a /= 0.0; }, L"tarn_kit::operator /",
         E::eDivisionByZero},
        {"A / -0", [](matrix& a, matrix&) { (void)(a / -0.0); }, L"tarn_kit::operator /",
         E::eDivisionByZero},
        {"resize", [](matrix& a, matrix&) { a.resize(0, 1, 1.0); }, L"tarn_kit::matrix::resize",
         E::eInvalidDimension},
        {"A(3, 1)", [](matrix& a, matrix&) { a(3, 1) = 1; }, L"tarn_kit::matrix::operator ()",
         E::eInvalidIndex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        matrix A = Make({{1, 2, 3}, {4, 5, 6}});
        matrix B = Make({{1, 2}, {3, 4}, {5, 6}});
        const matrix a0 = A, b0 = B;
        EXPECT_MATRIX_EXCEPTION(c.op(A, B), c.function, c.code);
        EXPECT_TRUE(SameBits(a0, A));
        EXPECT_TRUE(SameBits(b0, B));
    }
}

// Linear algebra: argument checks

TEST(LinearAlgebraTest, BadArgumentsThrowWithCodeAndFunction)
{
    const matrix sq = Make({{1, 2}, {3, 4}});
    const matrix b2 = Make({{1}, {2}});
    struct Case
    {
        const char* name;
        std::function<void()> op;
        const wchar_t* function;
        E::EException code;
    };
    const Case cases[] = {
        {"determinant 2x3", [] { determinant(matrix(2, 3)); }, L"tarn_kit::determinant",
         E::eInvalidDimension},
        // gauss checks squareness, then b's rows, then b's columns.
        {"gauss A 2x3, b wrong", [] { gauss(matrix(2, 3), matrix(5, 5)); }, L"tarn_kit::gauss",
         E::eInvalidDimension},
        {"gauss b 3x2", [&] { gauss(sq, matrix(3, 2)); }, L"tarn_kit::gauss",
         E::eIncompatibleDimension},
        {"gauss b 3x1", [&] { gauss(sq, matrix(3, 1)); }, L"tarn_kit::gauss",
         E::eIncompatibleDimension},
        {"gauss b 2x2", [&] { gauss(sq, matrix(2, 2)); }, L"tarn_kit::gauss", E::eInvalidDimension},
        {"gauss zero row",
         [&] {
             gauss(Make({{1, 2}, {0, 0}}), b2);
         },
         L"tarn_kit::gauss", E::eDivisionByZero},
        {"gauss zero pivot",
         [&] {
             gauss(Make({{1, 1, 1}, {1, 1, 1}, {1, 2, 3}}), matrix(3, 1));
         },
         L"tarn_kit::gauss", E::eDivisionByZero},
        {"gauss zero last pivot",
         [&] {
             gauss(Make({{1, 2}, {2, 4}}), b2);
         },
         L"tarn_kit::gauss", E::eDivisionByZero},
        {"gauss 1x1 zero", [] { gauss(matrix(1, 1, 0.0), matrix(1, 1, 1.0)); }, L"tarn_kit::gauss",
         E::eDivisionByZero},
        {"invert 3x2", [] { invert(matrix(3, 2)); }, L"tarn_kit::invert", E::eInvalidDimension},
        {"invert singular",
         [] {
             invert(Make({{1, 2}, {2, 4}}));
         },
         L"tarn_kit::invert", E::eDivisionByZero},
        {"invert zero", [] { invert(matrix(1, 1, -0.0)); }, L"tarn_kit::invert",
         E::eDivisionByZero},
        {"row past end", [&] { row(sq, 3); }, L"tarn_kit::row", E::eInvalidIndex},
        {"row 0", [&] { row(sq, 0); }, L"tarn_kit::matrix::operator ()", E::eInvalidIndex},
        {"col past end", [&] { col(sq, 3); }, L"tarn_kit::col", E::eInvalidIndex},
        {"col 0", [&] { col(sq, 0); }, L"tarn_kit::matrix::operator ()", E::eInvalidIndex},
        {"minor 1x1", [] { tarn_kit::minor(matrix(), 1, 1); }, L"tarn_kit::minor",
         E::eInvalidDimension},
        {"minor 1x3", [] { tarn_kit::minor(matrix(1, 3), 1, 1); }, L"tarn_kit::minor",
         E::eInvalidDimension},
        {"minor 2x3", [] { tarn_kit::minor(matrix(2, 3), 1, 1); }, L"tarn_kit::minor",
         E::eInvalidDimension},
        {"minor 1x1 bad index", [] { tarn_kit::minor(matrix(), 0, 0); }, L"tarn_kit::minor",
         E::eInvalidDimension},
        {"minor r 0", [&] { tarn_kit::minor(sq, 0, 1); }, L"tarn_kit::minor", E::eInvalidIndex},
        {"minor r 3", [&] { tarn_kit::minor(sq, 3, 1); }, L"tarn_kit::minor", E::eInvalidIndex},
        {"minor c 0", [&] { tarn_kit::minor(sq, 1, 0); }, L"tarn_kit::minor", E::eInvalidIndex},
        {"minor c 3", [&] { tarn_kit::minor(sq, 1, 3); }, L"tarn_kit::minor", E::eInvalidIndex},
        {"cofactor c 3", [&] { cofactor(sq, 1, 3); }, L"tarn_kit::minor", E::eInvalidIndex},
        {"cofactor 1x1", [] { cofactor(matrix(), 1, 1); }, L"tarn_kit::minor",
         E::eInvalidDimension},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_MATRIX_EXCEPTION(c.op(), c.function, c.code);
    }
}

// Linear algebra: results fixed to the bit by the order of operations

TEST(LinearAlgebraTest, SmallCasesExact)
{
    // Pivoting adds row 2 to row 1 instead of swapping: no sign to track.
    EXPECT_EQ(Bits(-1.0), Bits(determinant(Make({{0, 1}, {1, 0}}))));
    for (double x : {3.7, -2.5, 1e-300, 1e300, 0.1})
        EXPECT_EQ(Bits(x), Bits(determinant(matrix(1, 1, x)))) << x;
    EXPECT_EQ(Bits(0.0), Bits(determinant(Make({{1, 2, 3}, {0, 0, 0}, {4, 5, 6}}))));
    EXPECT_EQ(Bits(0.0), Bits(determinant(Make({{1, 2}, {2, 4}}))));
    EXPECT_EQ(Bits(0.0), Bits(determinant(Make({{1, 1, 1}, {1, 1, 1}, {1, 2, 3}}))));
    EXPECT_EQ(Bits(0.0), Bits(determinant(matrix(1, 1, -0.0))));
    EXPECT_EQ(-2.0, determinant(Make({{2, 0}, {0, -1}})));
    EXPECT_EQ(6.0, determinant(Make({{1, 0, 0}, {0, 2, 0}, {0, 0, 3}})));

    EXPECT_TRUE(SameBits(Make({{1}, {2}}), gauss(Make({{2, 0}, {0, 4}}), Make({{2}, {8}}))));
    EXPECT_TRUE(SameBits(Make({{2}}), gauss(matrix(1, 1, 4.0), matrix(1, 1, 8.0))));
    EXPECT_TRUE(SameBits(Make({{1}, {1}}), gauss(Make({{0, 1}, {1, 0}}), Make({{1}, {1}}))));

    EXPECT_TRUE(SameBits(Make({{0.25}}), invert(Make({{4}}))));
    EXPECT_TRUE(SameBits(Make({{-0.5, 0}, {0, 0.25}}), invert(Make({{-2, 0}, {0, 4}}))));
    const matrix inv = invert(Make({{1, 2}, {3, 4}}));
    const matrix expected = Make({{-2, 1}, {1.5, -0.5}});
    for (unsigned int i = 1; i <= 2; ++i)
        for (unsigned int j = 1; j <= 2; ++j)
            EXPECT_NEAR(expected(i, j), inv(i, j), 1e-15);

    EXPECT_EQ(5.0, norm(Make({{3, 4}})));
    EXPECT_EQ(0.0, norm(matrix(3, 3)));
    EXPECT_EQ(Bits(std::sqrt(1.0 + 4.0 + 9.0 + 16.0)), Bits(norm(Make({{1, 2}, {3, 4}}))));

    const matrix A = Make({{1, 2, 3}, {4, 5, 6}});
    EXPECT_TRUE(SameBits(Make({{1, 4}, {2, 5}, {3, 6}}), transpose(A)));
    EXPECT_TRUE(SameBits(Make({{4, 5, 6}}), row(A, 2)));
    EXPECT_TRUE(SameBits(Make({{3}, {6}}), col(A, 3)));

    const matrix C = Make({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}});
    EXPECT_NEAR(5 * 10 - 6 * 8, tarn_kit::minor(C, 1, 1), 1e-13);
    EXPECT_NEAR(4 * 10 - 6 * 7, tarn_kit::minor(C, 1, 2), 1e-13);
    EXPECT_NEAR(-(4 * 10 - 6 * 7), cofactor(C, 1, 2), 1e-13);
    EXPECT_NEAR(1 * 5 - 2 * 4, cofactor(C, 3, 3), 1e-13);
    EXPECT_EQ(Bits(-tarn_kit::minor(C, 2, 3)), Bits(cofactor(C, 2, 3)));
    EXPECT_EQ(Bits(tarn_kit::minor(C, 2, 2)), Bits(cofactor(C, 2, 2)));
}

// Random inputs, the library against the reference elimination bit for bit:
// small integers give ties, zero rows, row additions and singular systems,
// uniform reals the general case.
TEST(LinearAlgebraTest, EliminationMatchesReferenceToTheBit)
{
    std::mt19937 rng(2024);
    int singular = 0;
    for (int t = 0; t < 4000; ++t) {
        const unsigned int n = 1 + rng() % 7;
        const bool integers = t % 2 == 0;
        const matrix A = integers ? SmallIntegers(rng, n, n) : Uniform(rng, n, n);
        const matrix b = integers ? SmallIntegers(rng, n, 1) : Uniform(rng, n, 1);
        const matrix a0 = A, b0 = b;
        ASSERT_EQ(Bits(RefDeterminant(A)), Bits(determinant(A))) << "case " << t;
        matrix x;
        if (RefGauss(A, b, x)) {
            ASSERT_TRUE(SameBits(x, gauss(A, b))) << "case " << t;
        } else {
            ++singular;
            EXPECT_MATRIX_EXCEPTION(gauss(A, b), L"tarn_kit::gauss", E::eDivisionByZero);
        }
        EXPECT_TRUE(SameBits(a0, A));
        EXPECT_TRUE(SameBits(b0, b));
    }
    EXPECT_GT(singular, 100); // the integer cases did reach the zero tests
}

TEST(LinearAlgebraTest, InverseMatchesReferenceToTheBit)
{
    std::mt19937 rng(7);
    for (int t = 0; t < 600; ++t) {
        const unsigned int n = 1 + rng() % 5;
        const matrix A = t % 2 ? SmallIntegers(rng, n, n) : Uniform(rng, n, n);
        if (RefDeterminant(A) == 0.0) {
            EXPECT_MATRIX_EXCEPTION(invert(A), L"tarn_kit::invert", E::eDivisionByZero);
            continue;
        }
        ASSERT_TRUE(SameBits(RefInvert(A), invert(A))) << "case " << t;
    }
}

// Random well-conditioned matrices against the LU judge.
TEST(LinearAlgebraTest, AgreesWithLuFactorisation)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    for (int t = 0; t < 3000; ++t) {
        const unsigned int n = 1 + rng() % 12;
        const matrix A = WellConditioned(rng, n);
        const CLu lu(A);
        const double det = determinant(A);
        EXPECT_NEAR(lu.Determinant(), det, 1e-12 * std::fabs(lu.Determinant())) << "case " << t;

        std::vector<double> bv(n);
        matrix b(n, 1);
        for (unsigned int i = 0; i < n; ++i)
            b(i + 1, 1) = bv[i] = u(rng);
        const matrix x = gauss(A, b);
        const std::vector<double> y = lu.Solve(bv);
        const double scale = MaxAbs(x);
        for (unsigned int i = 0; i < n; ++i)
            EXPECT_NEAR(y[i], x(i + 1, 1), 1e-12 * scale) << "case " << t;
        const matrix r = A * x - b;
        EXPECT_LE(MaxAbs(r), 1e-12 * (MaxAbs(A) * scale * n + MaxAbs(b))) << "case " << t;
    }
}

TEST(LinearAlgebraTest, InverseTimesMatrixIsIdentity)
{
    std::mt19937 rng(5);
    for (int t = 0; t < 400; ++t) {
        const unsigned int n = 1 + rng() % 8;
        const matrix A = WellConditioned(rng, n);
        const matrix inv = invert(A);
        matrix I(n, n);
        for (unsigned int i = 1; i <= n; ++i)
            I(i, i) = 1.0;
        EXPECT_LE(MaxAbs(A * inv - I), 1e-12 * n) << "case " << t;
        EXPECT_LE(MaxAbs(inv * A - I), 1e-12 * n) << "case " << t;
    }
}
