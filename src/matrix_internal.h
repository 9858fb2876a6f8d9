// Internal: the minor and cofactor on which invert rests. Exported for the
// tests only; applications see them through invert.
#pragma once

#include <tarn_kit/matrix.h>

namespace tarn_kit {

/// Determinant of A without row r and column c.
TARNKIT_API double minor(const matrix& A, unsigned int r, unsigned int c);
/// minor(A, r, c), negated when r + c is odd.
TARNKIT_API double cofactor(const matrix& A, unsigned int r, unsigned int c);

} // namespace tarn_kit
