// Tour: a log file written from two threads, read back line by line.
#include "tour.h"

#include <tarn_kit/file.h>
#include <tarn_kit/log_file.h>

#include <cstdio>
#include <thread>
#include <vector>

using namespace tarn_kit;

void TourLog()
{
    std::printf("\n== Log file\n\n");

    ustring path;
    CFile::GetTempPathW(path);
    path += L"tarnkit-tour.log";
    ::DeleteFileW(path);

    {
        CLogFile log;
        if (!log.Open(path)) {
            std::printf("  cannot open %s\n", U8(path).c_str());
            return;
        }
        log.Write(L"Connection to %s opened", L"receiver 3");
        // One call, one time stamp; CRs and empty lines are dropped.
        log.Write(L"Reply:\r\n%s\r\n\r\n", L"{2,,wrong command}");
        const unsigned char reply[] = {'O', 'K', '\r', '\n', 0x06};
        log.Write(L"Raw bytes: %S | %S", CLogFile::Bin2Str(reply, sizeof reply).c_str(),
                  CLogFile::Bin2Hex(reply, sizeof reply).c_str());
        // Any thread may write; the lines of one call stay together.
        std::vector<std::thread> threads;
        for (int i = 1; i <= 2; ++i)
            threads.emplace_back(
                [&log, i] { log.Write(L"worker %d: start\nworker %d: done", i, i); });
        for (std::thread& t : threads)
            t.join();
    }

    // The file as a reader sees it: UTF-16 after the byte-order mark, lines ending in CR LF.
    CFile file(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
               FILE_ATTRIBUTE_NORMAL, nullptr);
    std::vector<wchar_t> text(static_cast<std::size_t>(file.GetLength() / 2) + 1);
    unsigned int done = 0;
    file.Read(text.data(), static_cast<unsigned int>(file.GetLength()), done);
    std::printf("  %s (%u bytes, starts with %02X %02X):\n", U8(path).c_str(), done,
                reinterpret_cast<unsigned char*>(text.data())[0],
                reinterpret_cast<unsigned char*>(text.data())[1]);
    std::vector<ustring> lines;
    ustring::split(text.data() + 1, L"\r\n", lines, false);
    for (const ustring& line : lines)
        std::printf("  %s\n", U8(line).c_str());
    file.Close();
    CFile::Remove(path);
}
