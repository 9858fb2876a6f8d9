// Benchmarks: log lines per second through CLogFile::Write, from one thread and from eight,
// and the raw writes it is made of.
#include "bench.h"

#include <tarn_kit/file.h>
#include <tarn_kit/log_file.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace tarn_kit;

namespace {

constexpr double kSeconds = 1.0;

void Row(const char* what, double linesPerSecond)
{
    std::printf("  %-52s %10.0f lines/s\n", what, linesPerSecond);
}

// Lines per second that `threads` threads sustain, each writing messages of `lines` lines.
double WriteRate(const ustring& path, int threads, int lines)
{
    ::DeleteFileW(path);
    CLogFile log;
    if (!log.Open(path))
        return 0;
    std::wstring message;
    for (int i = 0; i < lines; ++i)
        message += L"Receiver 3 answered {0,,ok} to :FREQ 100 MHz\n";

    std::atomic<bool> stop(false);
    std::atomic<long long> written(0);
    std::vector<std::thread> pool;
    CBenchTimer t;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back([&] {
            long long n = 0;
            while (!stop.load(std::memory_order_relaxed))
                if (log.Write(L"%s", message.c_str()))
                    n += lines;
            written += n;
        });
    }
    ::Sleep(DWORD(kSeconds * 1000));
    stop = true;
    for (std::thread& th : pool)
        th.join();
    return double(written.load()) / t.Seconds();
}

// The same 10-line entries written straight to a write-through file: one WriteFile per line
// against one per call, with and without FlushFileBuffers after each WriteFile.
double RawRate(const ustring& path, bool perLine, bool flush)
{
    ::DeleteFileW(path);
    CFile file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    const std::wstring line = L"[2026/December/05, 13:56:45] Receiver 3 answered {0,,ok}\r\n";
    std::wstring batch;
    for (int i = 0; i < 10; ++i)
        batch += line;
    unsigned int done = 0;
    long long lines = 0;
    CBenchTimer t;
    while (t.Seconds() < kSeconds) {
        file.Seek(0, FILE_END);
        if (perLine) {
            for (int i = 0; i < 10; ++i) {
                file.Write(line.data(), unsigned(line.size() * 2), done);
                if (flush)
                    file.Flush();
            }
        } else {
            file.Write(batch.data(), unsigned(batch.size() * 2), done);
            if (flush)
                file.Flush();
        }
        lines += 10;
    }
    return double(lines) / t.Seconds();
}

} // namespace

void BenchLog()
{
    std::printf("\nlog (write-through file in the temporary folder, %.0f s per row)\n", kSeconds);
    ustring temp;
    CFile::GetTempPathW(temp);
    const ustring path = temp + L"tarnkit-bench.log";

    Row("Write, 1-line messages, 1 thread", WriteRate(path, 1, 1));
    Row("Write, 1-line messages, 8 threads", WriteRate(path, 8, 1));
    Row("Write, 10-line messages, 1 thread", WriteRate(path, 1, 10));
    Row("Write, 10-line messages, 8 threads", WriteRate(path, 8, 10));
    Row("raw, 10 lines, one WriteFile per line", RawRate(path, true, false));
    Row("raw, 10 lines, one WriteFile per call", RawRate(path, false, false));
    Row("raw, 10 lines, WriteFile + FlushFileBuffers per line", RawRate(path, true, true));
    Row("raw, 10 lines, WriteFile + FlushFileBuffers per call", RawRate(path, false, true));

    // What Write adds per call for writers in other processes.
    CFile file(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    const double t = TimePerRun([&] {
        OVERLAPPED ov = {};
        ov.Offset = 0xFFFFFFFE;
        ov.OffsetHigh = 0xFFFFFFFF;
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov))
            ::UnlockFileEx(file, 0, 1, 0, &ov);
    });
    std::printf("  %-52s %10.1f us\n", "LockFileEx + UnlockFileEx of the append lock", t * 1e6);
    file.Close();
    CFile::Remove(path);
}
