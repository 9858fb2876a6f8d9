// Dense matrices and linear algebra.
//
// Classes in this file:
//   CMatrixException - a bad dimension, index or division by zero in a matrix operation
//   matrix           - dense matrix of doubles with 1-based element access
#pragma once

#include "config.h"
#include "exceptions.h"
#include "ustring.h"

namespace tarn_kit {

// A bad dimension, index or division by zero in a matrix operation.
class TARNKIT_API CMatrixException : public CStdException
{
public:
    enum EException : int {
        eSuccess = 0,
        eInvalidDimension = 1,
        eIncompatibleDimension = 2,
        eInvalidIndex = 3,
        eDivisionByZero = 4
    };

    // Construction
    CMatrixException() noexcept;
    CMatrixException(unsigned int nLine, const wchar_t* szFile, const wchar_t* szFunction,
                     EException code);
    CMatrixException(const CMatrixException&) = default;
    CMatrixException& operator=(const CMatrixException&) = default;
    ~CMatrixException() override;

    CSmartPtr<CStdException> Clone() const override;
    void Throw() const override;
    /// "Matrix Library" from the library's string table.
    bool GetSource(ustring& s) const override;
    /// The text of the code; false, and s untouched, for an unknown code.
    bool GetErrorMessage(ustring& s) const override;

    // Attributes
    EException GetErrorCode() const noexcept { return m_eCode; }

private:
    EException m_eCode;
};

// Dense matrix of doubles, row-major, never empty; element (1, 1) is the first.
class TARNKIT_API matrix
{
public:
    // Construction
    /// rows or cols 0 throws eInvalidDimension.
    explicit matrix(unsigned int rows = 1, unsigned int cols = 1, double value = 0.0);
    matrix(const matrix& other);
    ~matrix();

    /// Takes the source's size, then its elements; on failure nothing changes.
    matrix& operator=(const matrix& other);

    // Attributes
    unsigned int rows() const noexcept { return m_nRows; }
    unsigned int cols() const noexcept { return m_nCols; }

    // Operations
    void clear(double value) noexcept;
    /// New size with every element value; the old elements are not kept.
    void resize(unsigned int rows, unsigned int cols, double value);

    // Element access, counted from 1; the reference writes even through a const matrix
    double& operator()(unsigned int i, unsigned int j) const;

    matrix operator+() const;
    matrix operator-() const;

private:
    double* m_a;
    unsigned int m_nRows;
    unsigned int m_nCols;
};

// Arithmetic; every operation builds its result in a temporary, so a throw
// leaves the operands as they were.
TARNKIT_API matrix operator+(const matrix& A, const matrix& B);
TARNKIT_API matrix operator-(const matrix& A, const matrix& B);
/// Matrix product, A.rows x B.cols.
TARNKIT_API matrix operator*(const matrix& A, const matrix& B);
TARNKIT_API matrix operator*(const matrix& A, double d);
TARNKIT_API matrix operator*(double d, const matrix& A);
/// Only an exact zero (either sign) throws; NaN divides.
TARNKIT_API matrix operator/(const matrix& A, double d);
/// Element-wise quotient; zeros in B give infinities or NaN.
TARNKIT_API matrix operator/(const matrix& A, const matrix& B);
/// Same size and every element equal by ==.
TARNKIT_API bool operator==(const matrix& A, const matrix& B);
TARNKIT_API bool operator!=(const matrix& A, const matrix& B);
TARNKIT_API bool same_dim(const matrix& A, const matrix& B) noexcept;

TARNKIT_API matrix& operator+=(matrix& A, const matrix& B);
TARNKIT_API matrix& operator-=(matrix& A, const matrix& B);
TARNKIT_API matrix& operator*=(matrix& A, const matrix& B);
TARNKIT_API matrix& operator*=(matrix& A, double d);
TARNKIT_API matrix& operator/=(matrix& A, double d);

// Linear algebra. Elimination scales each row by its largest element and pivots
// by adding the pivot row instead of swapping; only an exact 0.0 counts as zero,
// so nearly singular matrices are not detected.
TARNKIT_API double determinant(const matrix& A);
/// Solution x (n x 1) of A x = b; any zero scale or pivot, the last one included,
/// throws eDivisionByZero.
TARNKIT_API matrix gauss(const matrix& A, const matrix& b);
/// Adjugate divided by the determinant: n^2 determinants of size n - 1.
TARNKIT_API matrix invert(const matrix& A);
/// Frobenius norm.
TARNKIT_API double norm(const matrix& A);
TARNKIT_API matrix transpose(const matrix& A);
/// 1 x cols copy of row r.
TARNKIT_API matrix row(const matrix& A, unsigned int r);
/// rows x 1 copy of column c.
TARNKIT_API matrix col(const matrix& A, unsigned int c);

} // namespace tarn_kit
