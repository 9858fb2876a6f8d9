// CLogFile: the bytes it leaves in the file, its time stamps judged by the platform's own
// 1033 pictures, writers in many threads and in two processes, and the byte dumps.
#include "test_common.h"

#include <tarn_kit/log_file.h>

#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

using tarn_kit::CLogFile;
using tarn_kit::ustring;
using tarn_kit_test::TempDirTest;

namespace {

const std::string kBom = "\xFF\xFE";

// Environment of the writer that TwoProcessesAppendToOneFile starts: this program again.
const wchar_t kChildFileVar[] = L"TARNKIT_LOG_TEST_FILE";
const wchar_t kChildStartVar[] = L"TARNKIT_LOG_TEST_START";
const wchar_t kChildTest[] = L"CLogFileChild.DISABLED_AppendLoop";
constexpr int kProcessCalls = 1000;

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<cannot open>";
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    ::CloseHandle(h);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
    DWORD n = 0;
    EXPECT_TRUE(::WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr));
    ::CloseHandle(h);
}

std::string Utf16(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring FromUtf16(const std::string& bytes)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
}

// The platform's own 1033 pictures, the judge of the stamp.
std::wstring DatePicture(const SYSTEMTIME& st, const wchar_t* picture)
{
    wchar_t buffer[128] = {};
    EXPECT_GT(::GetDateFormatW(1033, 0, &st, picture, buffer, 128), 0) << ::GetLastError();
    return buffer;
}

std::wstring TimePicture(const SYSTEMTIME& st, const wchar_t* picture)
{
    wchar_t buffer[128] = {};
    EXPECT_GT(::GetTimeFormatW(1033, 0, &st, picture, buffer, 128), 0) << ::GetLastError();
    return buffer;
}

std::wstring ExpectedStamp(const SYSTEMTIME& st)
{
    return DatePicture(st, L"yyyy") + L"/" + DatePicture(st, L"MMMM") + L"/" +
           DatePicture(st, L"dd") + L", " + TimePicture(st, L"HH") + L":" + TimePicture(st, L"mm") +
           L":" + TimePicture(st, L"ss");
}

bool ReadNumber(const std::wstring& s, std::size_t& pos, std::size_t digits, WORD& out)
{
    if (pos + digits > s.size())
        return false;
    out = 0;
    for (std::size_t i = 0; i < digits; ++i, ++pos) {
        if (s[pos] < L'0' || s[pos] > L'9')
            return false;
        out = WORD(out * 10 + (s[pos] - L'0'));
    }
    return true;
}

bool ReadLiteral(const std::wstring& s, std::size_t& pos, const wchar_t* literal)
{
    const std::wstring text(literal);
    if (s.compare(pos, text.size(), text) != 0)
        return false;
    pos += text.size();
    return true;
}

// Reads "2026/December/04, 13:56:45" back into a time; true only when the text is exactly what
// the platform's pictures make of that time.
bool ParseStamp(const std::wstring& stamp, SYSTEMTIME& st)
{
    st = SYSTEMTIME{};
    std::size_t pos = 0;
    if (!ReadNumber(stamp, pos, 4, st.wYear) || !ReadLiteral(stamp, pos, L"/"))
        return false;
    const std::size_t slash = stamp.find(L'/', pos);
    if (slash == std::wstring::npos)
        return false;
    const std::wstring month = stamp.substr(pos, slash - pos);
    for (WORD m = 1; m <= 12 && !st.wMonth; ++m) {
        SYSTEMTIME first = {};
        first.wYear = 2024;
        first.wMonth = m;
        first.wDay = 1;
        if (DatePicture(first, L"MMMM") == month)
            st.wMonth = m;
    }
    pos = slash + 1;
    if (!st.wMonth || !ReadNumber(stamp, pos, 2, st.wDay) || !ReadLiteral(stamp, pos, L", ") ||
        !ReadNumber(stamp, pos, 2, st.wHour) || !ReadLiteral(stamp, pos, L":") ||
        !ReadNumber(stamp, pos, 2, st.wMinute) || !ReadLiteral(stamp, pos, L":") ||
        !ReadNumber(stamp, pos, 2, st.wSecond) || pos != stamp.size())
        return false;
    FILETIME ft;
    return ::SystemTimeToFileTime(&st, &ft) && ExpectedStamp(st) == stamp;
}

struct Entry
{
    std::wstring stamp;
    std::wstring text;
};

// Splits a log's bytes into entries; every fault of the format is reported. The file must
// start with the one byte-order mark and hold whole CR LF lines of "[stamp] text".
std::vector<Entry> ParseLog(const std::string& bytes)
{
    std::vector<Entry> entries;
    EXPECT_EQ(kBom, bytes.substr(0, 2));
    EXPECT_EQ(0u, bytes.size() % 2) << "odd byte count";
    const std::wstring text = FromUtf16(bytes.size() > 2 ? bytes.substr(2) : std::string());
    EXPECT_EQ(std::wstring::npos, text.find(L'\xFEFF')) << "second byte-order mark";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find(L"\r\n", pos);
        if (end == std::wstring::npos) {
            ADD_FAILURE() << "unterminated last line";
            break;
        }
        const std::wstring line = text.substr(pos, end - pos);
        pos = end + 2;
        const std::size_t close = line.find(L"] ");
        SYSTEMTIME st;
        if (line.empty() || line[0] != L'[' || close == std::wstring::npos ||
            !ParseStamp(line.substr(1, close - 1), st) || close + 2 == line.size() ||
            line.find(L'\r') != std::wstring::npos) {
            ADD_FAILURE() << "malformed line: " << ustring::WideCharToMultiByte(line, CP_UTF8, 0);
            continue;
        }
        entries.push_back({line.substr(1, close - 1), line.substr(close + 2)});
    }
    return entries;
}

// Payload "<writer> <call> <line>/<lines>" of the concurrent writers.
std::wstring Payload(const std::wstring& writer, int call, int line, int lines)
{
    return writer + L" " + std::to_wstring(call) + L" " + std::to_wstring(line) + L"/" +
           std::to_wstring(lines);
}

// A message of `lines` lines with blank lines and CRs that the log drops.
std::wstring Message(const std::wstring& writer, int call, int lines)
{
    std::wstring message;
    for (int line = 1; line <= lines; ++line)
        message += Payload(writer, call, line, lines) + (line % 2 ? L"\r\n" : L"\n\n");
    return message;
}

// Every call of every writer must be in the file once, its lines adjacent, in order, with one
// stamp. `calls` maps each writer to its number of calls; call c wrote LinesOf(c) lines.
int LinesOf(int call)
{
    return call % 4 + 1;
}

void ExpectAllCallsWhole(const std::vector<Entry>& entries,
                         const std::map<std::wstring, int>& calls)
{
    std::size_t expected = 0;
    for (const auto& writer : calls)
        for (int c = 0; c < writer.second; ++c)
            expected += std::size_t(LinesOf(c));
    ASSERT_EQ(expected, entries.size());

    std::map<std::wstring, int> seen;
    std::size_t i = 0;
    while (i < entries.size()) {
        // The first line of a call names the writer and the call; the rest must follow it.
        const std::wstring& first = entries[i].text;
        const std::size_t blank = first.find(L' ');
        ASSERT_NE(std::wstring::npos, blank);
        const std::wstring writer = first.substr(0, blank);
        const int call = _wtoi(first.c_str() + blank + 1);
        const int lines = LinesOf(call);
        ASSERT_TRUE(calls.count(writer)) << i;
        for (int line = 1; line <= lines; ++line, ++i) {
            ASSERT_LT(i, entries.size());
            ASSERT_EQ(Payload(writer, call, line, lines), entries[i].text) << "entry " << i;
            EXPECT_EQ(entries[i - (line - 1)].stamp, entries[i].stamp) << "entry " << i;
        }
        EXPECT_EQ(1, ++seen[writer + L" " + std::to_wstring(call)]) << "call written twice";
    }
}

// Writes calls numbered 0..calls-1 of one writer.
void WriteCalls(CLogFile& log, const std::wstring& writer, int calls)
{
    for (int c = 0; c < calls; ++c)
        EXPECT_TRUE(log.Write(L"%s", Message(writer, c, LinesOf(c)).c_str()));
}

class CLogFileTest : public TempDirTest
{
protected:
    std::vector<Entry> Entries(const wchar_t* name) { return ParseLog(ReadBytes(Path(name))); }

    bool FolderIsEmpty()
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = ::FindFirstFileW((m_dir + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return true;
        bool empty = true;
        do {
            const std::wstring name = fd.cFileName;
            empty = empty && (name == L"." || name == L"..");
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
        return empty;
    }
};

std::wstring ModuleFileName()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Compared to the second: the stamp has no milliseconds.
unsigned __int64 WholeSeconds(SYSTEMTIME st)
{
    st.wMilliseconds = 0;
    FILETIME ft = {};
    EXPECT_TRUE(::SystemTimeToFileTime(&st, &ft));
    return (static_cast<unsigned __int64>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

} // namespace

// Opening

TEST_F(CLogFileTest, NewFileGetsOnlyTheByteOrderMark)
{
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"new.log").c_str()));
    EXPECT_TRUE(log.IsCreated());
    // Readable while open: the log shares reading and writing.
    EXPECT_EQ(kBom, ReadBytes(Path(L"new.log")));

    // An existing empty file is treated as new.
    WriteBytes(Path(L"empty.log"), "");
    ASSERT_TRUE(log.Open(Path(L"empty.log").c_str()));
    EXPECT_EQ(kBom, ReadBytes(Path(L"empty.log")));
}

TEST_F(CLogFileTest, ExistingFileIsAppendedWithoutSecondMark)
{
    const std::string withMark = kBom + Utf16(L"[2026/December/04, 13:56:45] old\r\n");
    const std::string withoutMark = "abc"; // not even whole characters: left as it is
    for (const std::string& old : {withMark, withoutMark}) {
        WriteBytes(Path(L"old.log"), old);
        CLogFile log;
        ASSERT_TRUE(log.Open(Path(L"old.log").c_str()));
        EXPECT_EQ(old, ReadBytes(Path(L"old.log")));
        ASSERT_TRUE(log.Write(L"new"));
        const std::string bytes = ReadBytes(Path(L"old.log"));
        ASSERT_EQ(old, bytes.substr(0, old.size()));
        const std::wstring added = FromUtf16(bytes.substr(old.size()));
        EXPECT_EQ(L'[', added.front());
        EXPECT_EQ(L"] new\r\n", added.substr(added.size() - 7));
        EXPECT_EQ(std::wstring::npos, added.find(L'\xFEFF'));
    }
}

TEST_F(CLogFileTest, ReopenedLogContinuesTheSameFile)
{
    {
        CLogFile log;
        ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
        EXPECT_TRUE(log.Write(L"first"));
    }
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    EXPECT_TRUE(log.Write(L"second"));
    log.Close();
    EXPECT_FALSE(log.IsCreated());

    const std::vector<Entry> entries = Entries(L"a.log");
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(L"first", entries[0].text);
    EXPECT_EQ(L"second", entries[1].text);
}

TEST_F(CLogFileTest, OpenClosesTheLogOpenBefore)
{
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    ASSERT_TRUE(log.Open(Path(L"b.log").c_str()));
    EXPECT_TRUE(log.Write(L"to b"));

    // a.log is no longer held: it opens without sharing.
    HANDLE h = ::CreateFileW(Path(L"a.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
    ::CloseHandle(h);
    EXPECT_EQ(kBom, ReadBytes(Path(L"a.log")));
    ASSERT_EQ(1u, Entries(L"b.log").size());
}

TEST_F(CLogFileTest, OpenFailureGivesFalseAndNoFile)
{
    ASSERT_TRUE(::CreateDirectoryW(Path(L"folder").c_str(), nullptr));
    WriteBytes(Path(L"locked.log"), "");
    HANDLE locked = ::CreateFileW(Path(L"locked.log").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);

    struct Case
    {
        const wchar_t* name;
        const char* why;
    };
    const Case cases[] = {
        {L"missing\\x.log", "folder does not exist"},
        {L"folder", "a folder, not a file"},
        {L"locked.log", "held by a reader that does not share writing"},
    };
    for (const Case& c : cases) {
        CLogFile log;
        ASSERT_TRUE(log.Open(Path(L"open.log").c_str()));
        // The log open before is closed even though the new one fails.
        EXPECT_FALSE(log.Open(Path(c.name).c_str())) << c.why;
        EXPECT_FALSE(log.IsCreated()) << c.why;
        EXPECT_FALSE(log.Write(L"lost")) << c.why;
    }
    ::CloseHandle(locked);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(Path(L"missing").c_str()));
    EXPECT_EQ("", ReadBytes(Path(L"locked.log")));
    EXPECT_EQ(kBom, ReadBytes(Path(L"open.log")));
}

TEST_F(CLogFileTest, WriteWithoutFileReturnsFalseAndCreatesNothing)
{
    CLogFile log;
    EXPECT_FALSE(log.Write(L"nowhere"));
    EXPECT_FALSE(log.Write(L""));
    EXPECT_TRUE(FolderIsEmpty());

    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    log.Close();
    EXPECT_FALSE(log.Write(L"after close"));
    EXPECT_EQ(kBom, ReadBytes(Path(L"a.log")));
}

// Writing

TEST_F(CLogFileTest, MessageLinesBecomeEntriesWithOneStamp)
{
    struct Case
    {
        const wchar_t* message;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {L"a\r\n\r\nb\n", {L"a", L"b"}},
        {L"one", {L"one"}},
        {L"\n\nx\n\n", {L"x"}},
        {L"x\ry\r", {L"xy"}},
        {L"  \n\t", {L"  ", L"\t"}},
        {L"1\n2\n3\n4\n5", {L"1", L"2", L"3", L"4", L"5"}},
        {L"", {}},
        {L"\r\n\n\r", {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::wstring name = L"case" + std::to_wstring(n++) + L".log";
        CLogFile log;
        ASSERT_TRUE(log.Open(Path(name.c_str()).c_str()));
        EXPECT_TRUE(log.Write(L"%s", c.message));
        const std::vector<Entry> entries = Entries(name.c_str());
        ASSERT_EQ(c.lines.size(), entries.size()) << name;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(c.lines[i], entries[i].text) << name;
            EXPECT_EQ(entries[0].stamp, entries[i].stamp) << name;
        }
        if (c.lines.empty()) {
            EXPECT_EQ(kBom, ReadBytes(Path(name.c_str()))) << name;
        }
    }
}

TEST_F(CLogFileTest, ExactBytesOfAnEntry)
{
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    SYSTEMTIME before, after;
    ::GetLocalTime(&before);
    ASSERT_TRUE(log.Write(L"%d%% of %s, %c", 42, L"Z\x00FC rich", L'!'));
    ::GetLocalTime(&after);

    const std::string bytes = ReadBytes(Path(L"a.log"));
    const std::vector<Entry> entries = ParseLog(bytes);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(kBom + Utf16(L"[" + entries[0].stamp + L"] 42% of Z\x00FC rich, !\r\n"), bytes);

    // The stamp is the local time of the call, to the second.
    SYSTEMTIME st;
    ASSERT_TRUE(ParseStamp(entries[0].stamp, st));
    EXPECT_LE(WholeSeconds(before), WholeSeconds(st));
    EXPECT_LE(WholeSeconds(st), WholeSeconds(after));
}

TEST_F(CLogFileTest, LongMessageIsWrittenWhole)
{
    // More than one chunk of lines, and one line longer than a chunk.
    std::wstring message;
    for (int i = 0; i < 5000; ++i)
        message += L"line " + std::to_wstring(i) + L"\n";
    const std::wstring longLine(100000, L'x');
    message += longLine;

    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    ASSERT_TRUE(log.Write(L"%s", message.c_str()));
    const std::vector<Entry> entries = Entries(L"a.log");
    ASSERT_EQ(5001u, entries.size());
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(L"line " + std::to_wstring(i), entries[i].text);
    EXPECT_EQ(longLine, entries[5000].text);
    EXPECT_EQ(entries[0].stamp, entries[5000].stamp);
}

TEST_F(CLogFileTest, WriteFailureGivesFalse)
{
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"a.log").c_str()));
    ASSERT_TRUE(log.Write(L"kept"));
    // The handle closed behind the log's back: the seek to the end fails.
    ASSERT_TRUE(::CloseHandle(static_cast<HANDLE>(log)));
    EXPECT_FALSE(log.Write(L"lost"));
    log.Detach();

    const std::vector<Entry> entries = Entries(L"a.log");
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(L"kept", entries[0].text);
}

// Concurrency

TEST_F(CLogFileTest, ThreadsKeepEachCallTogether)
{
    constexpr int kThreads = 8;
    constexpr int kCalls = 200;
    CLogFile log;
    ASSERT_TRUE(log.Open(Path(L"threads.log").c_str()));

    HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, start);
    std::vector<std::thread> threads;
    std::map<std::wstring, int> calls;
    for (int t = 0; t < kThreads; ++t) {
        const std::wstring writer = L"t" + std::to_wstring(t);
        calls[writer] = kCalls;
        threads.emplace_back([&log, start, writer] {
            ::WaitForSingleObject(start, INFINITE);
            WriteCalls(log, writer, kCalls);
        });
    }
    ::SetEvent(start);
    for (std::thread& t : threads)
        t.join();
    ::CloseHandle(start);
    log.Close();

    ExpectAllCallsWhole(Entries(L"threads.log"), calls);
}

// The writer of TwoProcessesAppendToOneFile, run in a second copy of this program; disabled in
// an ordinary run.
TEST(CLogFileChild, DISABLED_AppendLoop)
{
    wchar_t path[MAX_PATH] = {}, event[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(kChildFileVar, path, MAX_PATH) ||
        !::GetEnvironmentVariableW(kChildStartVar, event, MAX_PATH))
        GTEST_SKIP() << "runs only as the second process of TwoProcessesAppendToOneFile";
    CLogFile log;
    ASSERT_TRUE(log.Open(path));
    // Ready once the log is open; both start writing together.
    HANDLE ready =
        ::OpenEventW(EVENT_MODIFY_STATE, FALSE, (std::wstring(event) + L"-ready").c_str());
    HANDLE start = ::OpenEventW(SYNCHRONIZE, FALSE, event);
    ASSERT_NE(nullptr, ready) << ::GetLastError();
    ASSERT_NE(nullptr, start) << ::GetLastError();
    ::SetEvent(ready);
    ::CloseHandle(ready);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(start, 60000));
    ::CloseHandle(start);
    WriteCalls(log, L"child", kProcessCalls);
}

TEST_F(CLogFileTest, TwoProcessesAppendToOneFile)
{
    const std::wstring path = Path(L"shared.log");
    const std::wstring eventName = L"tarnkit-log-test-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE start = ::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (eventName + L"-ready").c_str());
    ASSERT_NE(nullptr, start);
    ASSERT_NE(nullptr, ready);

    // The child writes its test output to a file of its own, shown when it fails.
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE output = ::CreateFileW(Path(L"child.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, output);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = output;
    si.hStdError = output;
    std::wstring commandLine = L"\"" + ModuleFileName() +
                               L"\" --gtest_also_run_disabled_tests --gtest_filter=" + kChildTest;
    ::SetEnvironmentVariableW(kChildFileVar, path.c_str());
    ::SetEnvironmentVariableW(kChildStartVar, eventName.c_str());
    PROCESS_INFORMATION pi = {};
    const BOOL created = ::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &si, &pi);
    const DWORD createError = ::GetLastError();
    ::SetEnvironmentVariableW(kChildFileVar, nullptr);
    ::SetEnvironmentVariableW(kChildStartVar, nullptr);
    ::CloseHandle(output);
    ASSERT_TRUE(created) << createError;

    // Both open the file before either writes; the first to open it writes the mark.
    CLogFile log;
    ASSERT_TRUE(log.Open(path.c_str()));
    HANDLE waitFor[2] = {ready, pi.hProcess};
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForMultipleObjects(2, waitFor, FALSE, 60000));
    ::SetEvent(start);
    WriteCalls(log, L"parent", kProcessCalls);
    log.Close();

    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(pi.hProcess, 120000));
    DWORD exitCode = 1;
    ::GetExitCodeProcess(pi.hProcess, &exitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(start);
    ::CloseHandle(ready);
    ASSERT_EQ(0u, exitCode) << ReadBytes(Path(L"child.txt"));
    ASSERT_NE(std::string::npos, ReadBytes(Path(L"child.txt")).find("[  PASSED  ] 1 test"))
        << ReadBytes(Path(L"child.txt"));

    ExpectAllCallsWhole(ParseLog(ReadBytes(path)),
                        {{L"parent", kProcessCalls}, {L"child", kProcessCalls}});
}

// Leaks: a handle made after many open/write/close cycles, failed opens among them, takes the
// slot of one made before them.
TEST_F(CLogFileTest, OpenCloseCyclesLeakNoHandle)
{
    const std::wstring a = Path(L"a.log"), b = Path(L"b.log"), bad = Path(L"missing\\x.log");
    auto cycle = [&](int i) {
        CLogFile log;
        EXPECT_TRUE(log.Open(a.c_str()));
        EXPECT_TRUE(log.Write(L"cycle %d", i));
        if (i % 3 == 0)
            log.Close();
        if (i % 3 == 1) {
            EXPECT_TRUE(log.Open(b.c_str()));
        }
        if (i % 5 == 0) {
            EXPECT_FALSE(log.Open(bad.c_str()));
        }
    };
    // One cycle first, so what the runtime sets up once (on the first throw) is not counted.
    cycle(0);
    HANDLE before = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, before);
    ASSERT_TRUE(::CloseHandle(before));

    for (int i = 1; i <= 300; ++i)
        cycle(i);

    HANDLE after = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(before, after);
    ::CloseHandle(after);
}

// Byte dumps

TEST(CLogFileBinTest, Bin2StrShowsControlsAndBlankAsDollar)
{
    const unsigned char bytes[] = {0x41, 0x00, 0x20, 0x7E, 0x80};
    EXPECT_EQ(std::string("A$$~\x80"), CLogFile::Bin2Str(bytes, sizeof bytes));
    EXPECT_EQ("", CLogFile::Bin2Str(bytes, 0));

    // Every byte value: 0x00 to 0x20 become '$', everything else, DEL and 0x80-0xFF included,
    // stays.
    unsigned char all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    const std::string text = CLogFile::Bin2Str(all, 256);
    ASSERT_EQ(256u, text.size());
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(i <= 0x20 ? '$' : static_cast<char>(i), text[i]) << i;
}

TEST(CLogFileBinTest, Bin2HexPairsSeparatedByBlanks)
{
    struct Case
    {
        std::vector<unsigned char> bytes;
        const char* hex;
    };
    const Case cases[] = {
        {{0x01, 0xAB, 0xFF}, "01 AB FF"},
        {{0x00}, "00"},
        {{0x0F, 0xF0, 0x7E, 0x80, 0x20}, "0F F0 7E 80 20"},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.hex, CLogFile::Bin2Hex(c.bytes.data(), unsigned(c.bytes.size())));
}
