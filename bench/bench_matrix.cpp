// Benchmarks: matrices. determinant and gauss are one elimination, O(n^3);
// invert is one determinant of size n and n^2 of size n - 1, O(n^5).
#include "bench.h"

#include <tarn_kit/matrix.h>

#include <random>

namespace {

// Diagonally dominant, so no size of the table is singular.
tarn_kit::matrix Sample(unsigned int n, std::mt19937& rng)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    tarn_kit::matrix A(n, n);
    for (unsigned int i = 1; i <= n; ++i) {
        for (unsigned int j = 1; j <= n; ++j)
            A(i, j) = u(rng);
        A(i, i) += n;
    }
    return A;
}

} // namespace

void BenchMatrix()
{
    std::printf("\n== matrix (microseconds per call)\n");
    std::printf("%4s %14s %14s %14s %12s\n", "n", "determinant", "gauss", "invert", "invert/prev");
    std::mt19937 rng(1);
    double previous = 0.0;
    volatile double sink = 0.0;
    for (unsigned int n : {4u, 8u, 16u, 32u}) {
        const tarn_kit::matrix A = Sample(n, rng);
        const tarn_kit::matrix b(n, 1, 1.0);
        const double det = TimePerRun([&] { sink = sink + tarn_kit::determinant(A); });
        const double solve = TimePerRun([&] { sink = sink + tarn_kit::gauss(A, b)(1, 1); });
        const double inv = TimePerRun([&] { sink = sink + tarn_kit::invert(A)(1, 1); });
        if (previous > 0.0)
            std::printf("%4u %14.2f %14.2f %14.1f %11.1fx\n", n, det * 1e6, solve * 1e6, inv * 1e6,
                        inv / previous);
        else
            std::printf("%4u %14.2f %14.2f %14.1f %12s\n", n, det * 1e6, solve * 1e6, inv * 1e6,
                        "");
        previous = inv;
    }
}
