// matrix, its operators and linear algebra, and CMatrixException.
//
// Results are meant to be reproducible to the bit: every step below is one
// IEEE double operation in a fixed order (on x86 this file is built for SSE2
// arithmetic, not the x87's extended precision).
#include <tarn_kit/matrix.h>

#include "matrix_internal.h"
#include "module.h"

#include <cmath>
#include <cstddef>
#include <new>
#include <vector>

namespace tarn_kit {

namespace {

constexpr const wchar_t* kModule = L".\\Matrix";

// The matrix texts: the library's string table, through the translator.
bool LoadText(ustring& s, unsigned int id)
{
    return s.xload(detail::LibraryModule(), id);
}

// rows x cols, or bad_array_new_length when the count does not fit the address space.
std::size_t ElementCount(unsigned int rows, unsigned int cols)
{
    if (std::size_t(rows) > std::size_t(-1) / sizeof(double) / cols)
        throw std::bad_array_new_length();
    return std::size_t(rows) * cols;
}

double* NewArray(std::size_t n, double value)
{
    double* a = new double[n];
    for (std::size_t k = 0; k < n; ++k)
        a[k] = value;
    return a;
}

// Row scaling and forward elimination on the n x width array M (row-major),
// whose first n columns are the coefficients. Returns false for a zero row or a
// zero pivot in columns 1 ... n - 1; scale is the product of the row scales.
bool Eliminate(std::vector<double>& M, unsigned int n, unsigned int width, double& scale)
{
    auto at = [&](unsigned int i, unsigned int j) -> double& {
        return M[std::size_t(i) * width + j];
    };
    scale = 1.0;
    for (unsigned int i = 0; i < n; ++i) {
        // The element of largest magnitude, sign kept; the first of equals wins.
        double s = 0.0;
        for (unsigned int j = 0; j < n; ++j) {
            if (std::fabs(s) < std::fabs(at(i, j)))
                s = at(i, j);
        }
        if (s == 0.0)
            return false;
        scale = scale * s;
        for (unsigned int j = 0; j < width; ++j)
            at(i, j) = at(i, j) / s;
    }
    for (unsigned int k = 0; k + 1 < n; ++k) {
        unsigned int p = k;
        double best = 0.0;
        for (unsigned int i = k; i < n; ++i) {
            if (std::fabs(at(i, k)) > best) {
                p = i;
                best = std::fabs(at(i, k));
            }
        }
        // Adding the pivot row keeps the determinant's sign: no swap to count.
        if (p != k) {
            for (unsigned int j = k; j < width; ++j)
                at(k, j) = at(k, j) + at(p, j);
        }
        if (at(k, k) == 0.0)
            return false;
        for (unsigned int i = k + 1; i < n; ++i) {
            double f = -at(i, k) / at(k, k);
            for (unsigned int j = k; j < width; ++j)
                at(i, j) = f * at(k, j) + at(i, j);
        }
    }
    return true;
}

// Copy of A with op applied to each element pair, in row-major order.
template <class Op>
matrix ElementWise(const matrix& A, const matrix& B, Op op)
{
    matrix R(A);
    for (unsigned int i = 1; i <= R.rows(); ++i)
        for (unsigned int j = 1; j <= R.cols(); ++j)
            R(i, j) = op(R(i, j), B(i, j));
    return R;
}

template <class Op>
matrix Scalar(const matrix& A, Op op)
{
    matrix R(A);
    for (unsigned int i = 1; i <= R.rows(); ++i)
        for (unsigned int j = 1; j <= R.cols(); ++j)
            R(i, j) = op(R(i, j));
    return R;
}

} // namespace

// CMatrixException

CMatrixException::CMatrixException() noexcept : m_eCode(eSuccess) {}

CMatrixException::CMatrixException(unsigned int nLine, const wchar_t* szFile,
                                   const wchar_t* szFunction, EException code)
    : CStdException(nLine, szFile, szFunction), m_eCode(code)
{}

CMatrixException::~CMatrixException() = default;

CSmartPtr<CStdException> CMatrixException::Clone() const
{
    return CSmartPtr<CStdException>(new CMatrixException(*this));
}

void CMatrixException::Throw() const
{
    throw CMatrixException(*this);
}

bool CMatrixException::GetSource(ustring& s) const
{
    return LoadText(s, 104);
}

bool CMatrixException::GetErrorMessage(ustring& s) const
{
    static const unsigned int ids[] = {105, 113, 114, 115, 116};
    if (m_eCode < eSuccess || m_eCode > eDivisionByZero)
        return false;
    return LoadText(s, ids[m_eCode]);
}

// matrix

matrix::matrix(unsigned int rows, unsigned int cols, double value)
{
    if (rows == 0 || cols == 0)
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::matrix::matrix",
                               CMatrixException::eInvalidDimension);
    m_a = NewArray(ElementCount(rows, cols), value);
    m_nRows = rows;
    m_nCols = cols;
}

matrix::matrix(const matrix& other)
    : m_a(new double[std::size_t(other.m_nRows) * other.m_nCols]), m_nRows(other.m_nRows),
      m_nCols(other.m_nCols)
{
    const std::size_t n = std::size_t(m_nRows) * m_nCols;
    for (std::size_t k = 0; k < n; ++k)
        m_a[k] = other.m_a[k];
}

matrix::~matrix()
{
    delete[] m_a;
}

matrix& matrix::operator=(const matrix& other)
{
    if (!same_dim(*this, other))
        resize(other.m_nRows, other.m_nCols, 0.0);
    const std::size_t n = std::size_t(m_nRows) * m_nCols;
    for (std::size_t k = 0; k < n; ++k)
        m_a[k] = other.m_a[k];
    return *this;
}

void matrix::clear(double value) noexcept
{
    const std::size_t n = std::size_t(m_nRows) * m_nCols;
    for (std::size_t k = 0; k < n; ++k)
        m_a[k] = value;
}

void matrix::resize(unsigned int rows, unsigned int cols, double value)
{
    if (rows == 0 || cols == 0)
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::matrix::resize",
                               CMatrixException::eInvalidDimension);
    // The new array first: if it cannot be had, the matrix stays as it was.
    double* a = NewArray(ElementCount(rows, cols), value);
    delete[] m_a;
    m_a = a;
    m_nRows = rows;
    m_nCols = cols;
}

double& matrix::operator()(unsigned int i, unsigned int j) const
{
    if (i == 0 || i > m_nRows || j == 0 || j > m_nCols)
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::matrix::operator ()",
                               CMatrixException::eInvalidIndex);
    return m_a[std::size_t(i - 1) * m_nCols + (j - 1)];
}

matrix matrix::operator+() const
{
    return *this;
}

matrix matrix::operator-() const
{
    return Scalar(*this, [](double a) { return -a; });
}

// Free operators

matrix operator+(const matrix& A, const matrix& B)
{
    if (!same_dim(A, B))
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::operator +",
                               CMatrixException::eIncompatibleDimension);
    return ElementWise(A, B, [](double a, double b) { return a + b; });
}

matrix operator-(const matrix& A, const matrix& B)
{
    if (!same_dim(A, B))
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::operator -",
                               CMatrixException::eIncompatibleDimension);
    return ElementWise(A, B, [](double a, double b) { return a - b; });
}

matrix operator*(const matrix& A, const matrix& B)
{
    if (A.cols() != B.rows())
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::operator *",
                               CMatrixException::eIncompatibleDimension);
    matrix R(A.rows(), B.cols(), 0.0);
    for (unsigned int i = 1; i <= A.rows(); ++i) {
        for (unsigned int j = 1; j <= B.cols(); ++j) {
            double s = 0.0;
            for (unsigned int k = 1; k <= A.cols(); ++k)
                s = A(i, k) * B(k, j) + s;
            R(i, j) = s;
        }
    }
    return R;
}

matrix operator*(const matrix& A, double d)
{
    return Scalar(A, [d](double a) { return a * d; });
}

matrix operator*(double d, const matrix& A)
{
    return A * d;
}

matrix operator/(const matrix& A, double d)
{
    if (d == 0.0)
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::operator /",
                               CMatrixException::eDivisionByZero);
    return Scalar(A, [d](double a) { return a / d; });
}

matrix operator/(const matrix& A, const matrix& B)
{
    if (!same_dim(A, B))
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::operator /",
                               CMatrixException::eIncompatibleDimension);
    return ElementWise(A, B, [](double a, double b) { return a / b; });
}

bool operator==(const matrix& A, const matrix& B)
{
    if (!same_dim(A, B))
        return false;
    for (unsigned int i = 1; i <= A.rows(); ++i)
        for (unsigned int j = 1; j <= A.cols(); ++j)
            if (!(A(i, j) == B(i, j)))
                return false;
    return true;
}

bool operator!=(const matrix& A, const matrix& B)
{
    return !(A == B);
}

bool same_dim(const matrix& A, const matrix& B) noexcept
{
    return A.rows() == B.rows() && A.cols() == B.cols();
}

matrix& operator+=(matrix& A, const matrix& B)
{
    return A = A + B;
}

matrix& operator-=(matrix& A, const matrix& B)
{
    return A = A - B;
}

matrix& operator*=(matrix& A, const matrix& B)
{
    return A = A * B;
}

matrix& operator*=(matrix& A, double d)
{
    return A = A * d;
}

matrix& operator/=(matrix& A, double d)
{
    return A = A / d;
}

// Linear algebra

double determinant(const matrix& A)
{
    if (A.rows() != A.cols())
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::determinant",
                               CMatrixException::eInvalidDimension);
    const unsigned int n = A.rows();
    std::vector<double> M(std::size_t(n) * n);
    for (unsigned int i = 0; i < n; ++i)
        for (unsigned int j = 0; j < n; ++j)
            M[std::size_t(i) * n + j] = A(i + 1, j + 1);
    double det = 0.0;
    if (!Eliminate(M, n, n, det))
        return 0.0;
    for (unsigned int i = 0; i < n; ++i)
        det = det * M[std::size_t(i) * n + i];
    return det;
}

matrix gauss(const matrix& A, const matrix& b)
{
    const wchar_t* const function = L"tarn_kit::gauss";
    if (A.rows() != A.cols())
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eInvalidDimension);
    if (b.rows() != A.rows())
        throw CMatrixException(__LINE__, kModule, function,
                               CMatrixException::eIncompatibleDimension);
    if (b.cols() != 1)
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eInvalidDimension);

    // A with b appended as column n + 1.
    const unsigned int n = A.rows();
    const unsigned int width = n + 1;
    std::vector<double> M(std::size_t(n) * width);
    for (unsigned int i = 0; i < n; ++i) {
        for (unsigned int j = 0; j < n; ++j)
            M[std::size_t(i) * width + j] = A(i + 1, j + 1);
        M[std::size_t(i) * width + n] = b(i + 1, 1);
    }
    double scale = 0.0;
    // The elimination leaves the last pivot untested; a zero there is the same
    // singular system as any other zero pivot, so it throws too instead of
    // returning infinities.
    if (!Eliminate(M, n, width, scale) || M[std::size_t(n - 1) * width + (n - 1)] == 0.0)
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eDivisionByZero);

    matrix x(n, 1, 0.0);
    for (unsigned int i = n; i >= 1; --i) {
        double t = 0.0;
        for (unsigned int j = i + 1; j <= n; ++j)
            t = M[std::size_t(i - 1) * width + (j - 1)] * x(j, 1) + t;
        x(i, 1) = (M[std::size_t(i - 1) * width + n] - t) / M[std::size_t(i - 1) * width + (i - 1)];
    }
    return x;
}

double minor(const matrix& A, unsigned int r, unsigned int c)
{
    const wchar_t* const function = L"tarn_kit::minor";
    if (A.rows() < 2 || A.cols() < 2 || A.rows() != A.cols())
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eInvalidDimension);
    if (r == 0 || r > A.rows() || c == 0 || c > A.cols())
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eInvalidIndex);
    const unsigned int n = A.rows() - 1;
    matrix B(n, n);
    for (unsigned int i = 1; i <= n; ++i)
        for (unsigned int j = 1; j <= n; ++j)
            B(i, j) = A(i < r ? i : i + 1, j < c ? j : j + 1);
    return determinant(B);
}

double cofactor(const matrix& A, unsigned int r, unsigned int c)
{
    const double m = minor(A, r, c);
    return (r + c) % 2 ? -m : m;
}

matrix invert(const matrix& A)
{
    const wchar_t* const function = L"tarn_kit::invert";
    if (A.rows() != A.cols())
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eInvalidDimension);
    const double d = determinant(A);
    if (d == 0.0)
        throw CMatrixException(__LINE__, kModule, function, CMatrixException::eDivisionByZero);
    const unsigned int n = A.rows();
    if (n == 1)
        return matrix(1, 1, 1.0 / A(1, 1));
    matrix C(n, n);
    for (unsigned int i = 1; i <= n; ++i)
        for (unsigned int j = 1; j <= n; ++j)
            C(i, j) = cofactor(A, i, j);
    return transpose(C) / d;
}

double norm(const matrix& A)
{
    double s = 0.0;
    for (unsigned int i = 1; i <= A.rows(); ++i)
        for (unsigned int j = 1; j <= A.cols(); ++j)
            s = s + A(i, j) * A(i, j);
    return std::sqrt(s);
}

matrix transpose(const matrix& A)
{
    matrix T(A.cols(), A.rows());
    for (unsigned int i = 1; i <= T.rows(); ++i)
        for (unsigned int j = 1; j <= T.cols(); ++j)
            T(i, j) = A(j, i);
    return T;
}

matrix row(const matrix& A, unsigned int r)
{
    if (r > A.rows())
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::row",
                               CMatrixException::eInvalidIndex);
    // r = 0 is caught by the element access.
    matrix R(1, A.cols());
    for (unsigned int j = 1; j <= A.cols(); ++j)
        R(1, j) = A(r, j);
    return R;
}

matrix col(const matrix& A, unsigned int c)
{
    if (c > A.cols())
        throw CMatrixException(__LINE__, kModule, L"tarn_kit::col",
                               CMatrixException::eInvalidIndex);
    matrix C(A.rows(), 1);
    for (unsigned int i = 1; i <= A.rows(); ++i)
        C(i, 1) = A(i, c);
    return C;
}

} // namespace tarn_kit
