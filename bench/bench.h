// The benchmark program's sections, one per family, and a small timer.
#pragma once

#include <windows.h>

#include <cstdio>

// Wall-clock seconds from QueryPerformanceCounter.
class CBenchTimer
{
public:
    CBenchTimer() { Restart(); }
    void Restart() { ::QueryPerformanceCounter(&m_start); }
    double Seconds() const
    {
        LARGE_INTEGER now, freq;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&freq);
        return double(now.QuadPart - m_start.QuadPart) / double(freq.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

// Runs f repeatedly until at least minSeconds have passed; returns seconds per run.
template <class F>
double TimePerRun(F f, double minSeconds = 0.2)
{
    CBenchTimer t;
    int runs = 0;
    double elapsed = 0;
    do {
        f();
        ++runs;
        elapsed = t.Seconds();
    } while (elapsed < minSeconds);
    return elapsed / runs;
}

void BenchStrings();
void BenchFiles();
void BenchMatrix();
void BenchTranslator();
void BenchLog();
void BenchComm();
void BenchDrawing();
void BenchDialogs();
