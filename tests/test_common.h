// Shared helpers of the test programs: printing ustring, asserting a
// CWinException, the platform's own code and text for a failure, the handle-leak
// judge, file bytes, and a fixture that gives each test its own folder.
#pragma once

#include <tarn_kit/exceptions.h>
#include <tarn_kit/ustring.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tarn_kit {

// Readable failure messages: the text as UTF-8 in quotes.
inline void PrintTo(const ustring& s, std::ostream* os)
{
    *os << '"' << ustring::WideCharToMultiByte(s, CP_UTF8, 0) << '"';
}

} // namespace tarn_kit

namespace tarn_kit_test {

// The C++ runtime creates a kernel object on the first throw of a process. Thrown once
// at start-up, before any test frees a handle slot behind a wrapper's back (the runtime
// would take that slot) or counts slots for a leak.
inline const bool kExceptionsWarmedUp = [] {
    try {
        throw 0;
    } catch (int) {
    }
    return true;
}();

// Expects stmt to throw a CWinException from the given module (".\\File") and
// call ("CreateFile") with the given code.
#define EXPECT_WIN_EXCEPTION(stmt, module, call, code)                                             \
    do {                                                                                           \
        try {                                                                                      \
            stmt;                                                                                  \
            ADD_FAILURE() << "no CWinException from " #stmt;                                       \
        } catch (const ::tarn_kit::CWinException& e_) {                                            \
            EXPECT_EQ(::tarn_kit::ustring(module), e_.GetFileName()) << #stmt;                     \
            EXPECT_EQ(::tarn_kit::ustring(call), e_.GetFunction()) << #stmt;                       \
            EXPECT_EQ(static_cast<DWORD>(code), e_.GetErrorCode()) << #stmt;                       \
        }                                                                                          \
    } while (0)

// The system's own text for a code, as FormatMessageW gives it.
inline ::tarn_kit::ustring SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    ::tarn_kit::ustring text(buffer, n);
    ::LocalFree(buffer);
    return text;
}

// The error code a raw call leaves behind, for tests that expect the platform's own code
// (which Wine and Windows sometimes differ on).
inline DWORD RawError(const std::function<BOOL()>& call)
{
    ::SetLastError(NO_ERROR);
    EXPECT_FALSE(call()) << "the raw call was expected to fail";
    return ::GetLastError();
}

// The wrapper fails exactly when the raw call fails in the same state: the same code (Winsock
// keeps its code in the same place) and the platform function's name as call name; where the
// raw call succeeds, the wrapper must not throw. Returns whether the raw call succeeded.
inline bool ExpectLikeRaw(const wchar_t* module, const wchar_t* call,
                          const std::function<BOOL()>& raw, const std::function<void()>& wrapped)
{
    ::SetLastError(NO_ERROR);
    const BOOL ok = raw();
    const DWORD code = ::GetLastError();
    if (!ok) {
        EXPECT_WIN_EXCEPTION(wrapped(), module, call, code);
        return false;
    }
    try {
        wrapped();
    } catch (const ::tarn_kit::CWinException& e) {
        ADD_FAILURE() << ::tarn_kit::ustring::WideCharToMultiByte(call, CP_UTF8, 0)
                      << " failed where the raw call succeeded: " << e.GetErrorCode();
    }
    return true;
}

// Slots in use of a handle table with a last-in-first-out free list (Wine's user and GDI
// tables): after n fresh handles the highest index is (in use + n - 1) as soon as n
// exceeds the free list, whatever order the free list is in.
template <class Make, class Free>
long SlotsInUse(Make make, Free release, int n = 2000, int step = 1)
{
    std::vector<decltype(make())> made;
    long highest = 0;
    for (int i = 0; i < n; ++i) {
        made.push_back(make());
        highest = std::max<long>(highest, long(reinterpret_cast<UINT_PTR>(made.back()) & 0xFFFF));
    }
    for (auto h : made)
        release(h);
    return highest / step - n;
}

inline long GdiSlots()
{
    return SlotsInUse([] { return ::CreateSolidBrush(RGB(1, 2, 3)); },
                      [](HBRUSH h) { ::DeleteObject(h); });
}

inline long UserSlots()
{
    return SlotsInUse([] { return ::CreateMenu(); }, [](HMENU h) { ::DestroyMenu(h); }, 2000, 2);
}

// Kernel handles in use: Wine's table hands out the lowest free slot, and handle values are
// (slot + 1) * 4.
inline long KernelSlots()
{
    return SlotsInUse([] { return ::CreateEventW(nullptr, FALSE, FALSE, nullptr); },
                      [](HANDLE h) { ::CloseHandle(h); }, 2000, 4);
}

// Slot reuse as the leak judge: cycle runs once first (what the runtime sets up on first
// use is not counted), then `cycles` times. A handle made afterwards must take the slot of one
// made and closed before, and the count of slots in use must be the same: a handle leaked
// while another of the cycle is still open takes a higher slot, which only the count shows.
inline void ExpectNoHandleLeak(const std::function<void()>& cycle, int cycles = 1000)
{
    cycle();
    const long slots = KernelSlots();
    HANDLE before = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(before && ::CloseHandle(before));
    for (int i = 0; i < cycles; ++i)
        cycle();
    HANDLE after = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(before, after) << "handles leaked";
    ::CloseHandle(after);
    EXPECT_EQ(slots, KernelSlots()) << "kernel handle slots in use before and after";
}

// UTF-16 text as the bytes of a file.
inline std::string Utf16(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// Writes a file with exactly these bytes, replacing it.
inline void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    EXPECT_TRUE(h != INVALID_HANDLE_VALUE &&
                ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr) &&
                done == bytes.size())
        << "writing " << ::tarn_kit::ustring(path);
    ::CloseHandle(h);
}

// Runs a command line; returns its exit code and what it wrote to both streams.
inline DWORD RunProgram(std::wstring commandLine, std::string& output)
{
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    ::CreatePipe(&hRead, &hWrite, &sa, 0);
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = hWrite;
    PROCESS_INFORMATION pi = {};
    BOOL started = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                    nullptr, &si, &pi);
    ::CloseHandle(hWrite);
    output.clear();
    DWORD code = DWORD(-1);
    // Drain the pipe while the program runs and stop at its end: a process it
    // started (Wine's desktop) may hold the pipe open long after. A program that
    // hangs is ended, and the output says so.
    auto drain = [&] {
        char buffer[4096];
        DWORD available = 0, done = 0;
        while (
            ::PeekNamedPipe(hRead, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
            ::ReadFile(hRead, buffer, std::min<DWORD>(available, sizeof buffer), &done, nullptr) &&
            done > 0)
            output.append(buffer, done);
    };
    if (started) {
        for (int polls = 0; ::WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT; ++polls) {
            drain();
            if (polls == 6000) {
                ::TerminateProcess(pi.hProcess, DWORD(-1));
                output += "\n[the program did not end and was stopped]\n";
            }
        }
        drain();
        ::GetExitCodeProcess(pi.hProcess, &code);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    ::CloseHandle(hRead);
    return code;
}

// A file's bytes, read while others may still write it; empty when it cannot be opened.
inline std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    char buffer[65536];
    DWORD done = 0;
    while (h != INVALID_HANDLE_VALUE && ::ReadFile(h, buffer, sizeof buffer, &done, nullptr) &&
           done > 0)
        bytes.append(buffer, done);
    ::CloseHandle(h);
    return bytes;
}

// The path of a file in the folder of a module (nullptr: this program).
inline std::wstring BesideModule(HMODULE module, const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    EXPECT_GT(::GetModuleFileNameW(module, path, MAX_PATH), 0u);
    std::wstring s = path;
    return s.replace(s.rfind(L'\\') + 1, std::wstring::npos, name);
}

// Removes a folder and everything in it; quiet about what is already gone.
inline void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(dir.c_str());
}

// Each test gets a fresh folder under the temporary path, removed afterwards.
class TempDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        static unsigned int counter = 0;
        wchar_t name[MAX_PATH] = {};
        _snwprintf(name, MAX_PATH - 1, L"%stk-%lu-%u", base, ::GetCurrentProcessId(), ++counter);
        m_dir = name;
        RemoveTree(m_dir);
        ASSERT_TRUE(::CreateDirectoryW(m_dir.c_str(), nullptr)) << ::GetLastError();
    }
    void TearDown() override { RemoveTree(m_dir); }

    /// Full path of a file in the test's folder.
    std::wstring Path(const wchar_t* name) const { return m_dir + L"\\" + name; }

    std::wstring m_dir;
};

} // namespace tarn_kit_test
