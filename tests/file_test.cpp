// Files and paths: CFile over real files and pipes, the path texts, and the
// file-system statics, with the failure of every wrapper.
#include "test_common.h"

#include <tarn_kit/file.h>

#include <shlobj.h>
#include <winioctl.h>

#include <functional>
#include <string>
#include <vector>

using namespace tarn_kit;
using tarn_kit_test::TempDirTest;

namespace {

const wchar_t* const kFile = L".\\File";

class CFileTest : public TempDirTest
{
protected:
    // A file with the given bytes.
    void MakeFile(const wchar_t* name, const std::string& bytes)
    {
        HANDLE h = ::CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
        DWORD n = 0;
        ASSERT_TRUE(::WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr));
        ::CloseHandle(h);
    }

    std::string ReadFileText(const wchar_t* name)
    {
        std::string text;
        HANDLE h =
            ::CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return "<cannot open>";
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0)
            text.append(buffer, n);
        ::CloseHandle(h);
        return text;
    }

    // Opens Path(name) with the given access, creating it when missing.
    void OpenFile(CFile& file, const wchar_t* name, DWORD dwAccess, DWORD dwFlags = 0)
    {
        file.Open(Path(name).c_str(), dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | dwFlags, nullptr);
    }
};

// The error code a raw call leaves behind, for tests that expect the platform's own code.
DWORD RawError(const std::function<BOOL()>& call)
{
    ::SetLastError(NO_ERROR);
    EXPECT_FALSE(call()) << "the raw call was expected to fail";
    return ::GetLastError();
}

ustring SystemText(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    ustring text(buffer, n);
    ::LocalFree(buffer);
    return text;
}

} // namespace

// Opening and the typical failure

TEST_F(CFileTest, OpenClosesPreviousFileFirst)
{
    CFile file(Path(L"a.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
               FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_TRUE(file.IsCreated());

    // Opened without sharing: nobody else gets it while it is ours.
    HANDLE probe = ::CreateFileW(Path(L"a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, probe);

    // The new file fails to open; the old one is closed all the same.
    EXPECT_WIN_EXCEPTION(file.Open(Path(L"missing.txt").c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                         kFile, L"CreateFile", ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(file.IsCreated());
    EXPECT_EQ(INVALID_HANDLE_VALUE, static_cast<void*>(file));
    // Closed: it opens again without sharing. (The handle value proves nothing here: the
    // runtime may take the free slot for itself on the first throw.)
    CFile again(Path(L"a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_TRUE(again.IsCreated());

    // A successful Open over an owned file closes it too.
    again.Open(Path(L"b.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
               nullptr);
    EXPECT_TRUE(again.IsCreated());
    EXPECT_NE(INVALID_HANDLE_VALUE, static_cast<void*>(again));
    CFile third(Path(L"a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_TRUE(third.IsCreated());
}

TEST_F(CFileTest, MissingFileReachesTheUserAsASnapshot)
{
    CStdException::CExInfo info;
    try {
        CFile file(Path(L"missing.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        FAIL() << "opened a missing file";
    } catch (const CStdException& e) {
        info = CStdException::CExInfo(e);
    }
    EXPECT_GT(info.GetLine(), 0u);
    EXPECT_EQ(ustring(L".\\File"), info.GetFileName());
    EXPECT_EQ(ustring(L"CreateFile"), info.GetFunction());
    EXPECT_EQ(ustring(L"Win32"), info.GetSource());
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), info.GetErrorMessage());
    EXPECT_FALSE(info.GetErrorMessage().empty());
    EXPECT_EQ(info.GetErrorMessage(), info.GetErrorMessageUI());
}

TEST_F(CFileTest, MissingFolderGivesPathNotFound)
{
    CFile file;
    EXPECT_WIN_EXCEPTION(file.Open(Path(L"no-folder\\x.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                         kFile, L"CreateFile", ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(file.IsCreated());
}

// Synchronous I/O and positions

TEST_F(CFileTest, ReadNearAndAtEndOfFile)
{
    MakeFile(L"digits.txt", "0123456789");
    CFile file;
    OpenFile(file, L"digits.txt", GENERIC_READ);
    EXPECT_EQ(6u, file.Seek(6));

    char buffer[10] = {};
    unsigned int done = 99;
    EXPECT_TRUE(file.Read(buffer, 10, done));
    EXPECT_EQ(4u, done);
    EXPECT_EQ("6789", std::string(buffer, done));
    EXPECT_EQ(10u, file.GetPosition());

    done = 99;
    EXPECT_TRUE(file.Read(buffer, 10, done));
    EXPECT_EQ(0u, done);
    EXPECT_EQ(10u, file.GetPosition());
}

TEST_F(CFileTest, WriteSeekAndTruncate)
{
    CFile file;
    OpenFile(file, L"w.txt", GENERIC_READ | GENERIC_WRITE);
    unsigned int done = 0;
    EXPECT_TRUE(file.Write("hello world", 11, done));
    EXPECT_EQ(11u, done);
    EXPECT_EQ(11u, file.GetPosition());
    EXPECT_EQ(11u, file.GetLength());
    file.Flush();

    EXPECT_EQ(6u, file.Seek(-5, FILE_END));
    EXPECT_EQ(8u, file.Seek(2, FILE_CURRENT));
    char buffer[8] = {};
    EXPECT_TRUE(file.Read(buffer, 8, done));
    EXPECT_EQ("rld", std::string(buffer, done));

    file.SetLength(5);
    EXPECT_EQ(5u, file.GetLength());
    EXPECT_EQ(5u, file.GetPosition());
    file.Close();
    EXPECT_EQ("hello", ReadFileText(L"w.txt"));
}

TEST_F(CFileTest, SetLengthZeroEmptiesTheFile)
{
    MakeFile(L"z.txt", "some text");
    CFile file;
    OpenFile(file, L"z.txt", GENERIC_READ | GENERIC_WRITE);
    file.Seek(0, FILE_END);
    file.SetLength(0);
    EXPECT_EQ(0u, file.GetLength());
    EXPECT_EQ(0u, file.GetPosition());
    char c = 0;
    unsigned int done = 99;
    EXPECT_TRUE(file.Read(&c, 1, done));
    EXPECT_EQ(0u, done);
}

// A file over 4 GiB, made sparse so that it takes no real space.
TEST_F(CFileTest, LengthsBeyondFourGiB)
{
    CFile file;
    OpenFile(file, L"sparse.bin", GENERIC_READ | GENERIC_WRITE);
    DWORD returned = 0;
    if (!::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        GTEST_SKIP() << "FSCTL_SET_SPARSE failed with " << ::GetLastError()
                     << ": a file over 4 GiB would take real disk space here";
    }

    const unsigned __int64 kLength = (5ull << 30) + 0x123;
    file.SetLength(kLength);
    EXPECT_EQ(kLength, file.GetLength());
    EXPECT_EQ(kLength, file.GetPosition());

    FILE_STANDARD_INFO info = {};
    ASSERT_TRUE(::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info));
    EXPECT_EQ(LONGLONG(kLength), info.EndOfFile.QuadPart);
    EXPECT_LT(info.AllocationSize.QuadPart, 64LL << 20) << "the sparse file took real space";

    // Data beyond 4 GiB goes where the 64-bit position says.
    EXPECT_EQ(kLength - 3, file.Seek(-3, FILE_END));
    unsigned int done = 0;
    EXPECT_TRUE(file.Write("end", 3, done));
    EXPECT_EQ(kLength, file.GetLength());
    EXPECT_EQ(kLength - 3, file.Seek(static_cast<__int64>(kLength - 3)));
    char buffer[3] = {};
    EXPECT_TRUE(file.Read(buffer, 3, done));
    EXPECT_EQ("end", std::string(buffer, done));

    // A low half of 0xFFFFFFFF is a valid position and length, even with a stale
    // error code left by an unrelated call.
    file.SetLength(0xFFFFFFFFull);
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0xFFFFFFFFull, file.GetLength());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0xFFFFFFFFull, file.GetPosition());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0x1FFFFFFFFull, file.Seek(0x1FFFFFFFFll));
    file.SetLength(0);
    EXPECT_EQ(0u, file.GetLength());
}

// Overlapped I/O

TEST_F(CFileTest, OverlappedReadOfAFile)
{
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += char('A' + i % 26);
    MakeFile(L"o.bin", bytes);
    CFile file;
    OpenFile(file, L"o.bin", GENERIC_READ, FILE_FLAG_OVERLAPPED);

    COverlapped ov(nullptr, TRUE);
    ov.Offset = 40;
    char buffer[10] = {};
    unsigned int done = 0;
    if (!file.Read(buffer, 10, done, &ov)) {
        EXPECT_TRUE(file.GetOverlappedResult(&ov, done, TRUE));
    }
    EXPECT_EQ(10u, done);
    EXPECT_EQ(bytes.substr(40, 10), std::string(buffer, done));

    // Past the end the read itself fails: at once (Windows) or on completion (Wine
    // queues every overlapped file read).
    COverlapped eof(nullptr, TRUE);
    eof.Offset = 200;
    try {
        if (!file.Read(buffer, 10, done, &eof)) {
            EXPECT_WIN_EXCEPTION(file.GetOverlappedResult(&eof, done, TRUE), kFile,
                                 L"GetOverlappedResult", ERROR_HANDLE_EOF);
        } else {
            ADD_FAILURE() << "read past the end succeeded";
        }
    } catch (const CWinException& e) {
        EXPECT_EQ(ustring(L"ReadFile"), e.GetFunction());
        EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), e.GetErrorCode());
    }
}

// A pipe with no data keeps an overlapped read incomplete for as long as the test wants.
TEST_F(CFileTest, OverlappedPipeReadCompletesWhenDataArrives)
{
    ustring name;
    name.sprintf(L"\\\\.\\pipe\\tarnkit-test-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount());
    HANDLE server = ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                       4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server) << ::GetLastError();
    CFile client(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                 FILE_FLAG_OVERLAPPED, nullptr);

    COverlapped ov(nullptr, TRUE);
    char buffer[16] = {};
    unsigned int done = 99;
    EXPECT_FALSE(client.Read(buffer, 5, done, &ov));
    EXPECT_FALSE(client.GetOverlappedResult(&ov, done, FALSE));
    EXPECT_FALSE(client.GetOverlappedResult(&ov, done, FALSE));

    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(server, "hello", 5, &written, nullptr));
    EXPECT_TRUE(client.GetOverlappedResult(&ov, done, TRUE));
    EXPECT_EQ(5u, done);
    EXPECT_EQ("hello", std::string(buffer, done));

    // Overlapped write the other way.
    COverlapped wov(nullptr, TRUE);
    if (!client.Write("world", 5, done, &wov)) {
        EXPECT_TRUE(client.GetOverlappedResult(&wov, done, TRUE));
    }
    EXPECT_EQ(5u, done);
    DWORD n = 0;
    ASSERT_TRUE(::ReadFile(server, buffer, 5, &n, nullptr));
    EXPECT_EQ("world", std::string(buffer, n));

    // A cancelled read fails on completion.
    COverlapped cancelled(nullptr, TRUE);
    EXPECT_FALSE(client.Read(buffer, 5, done, &cancelled));
    client.CancelIo();
    EXPECT_WIN_EXCEPTION(client.GetOverlappedResult(&cancelled, done, TRUE), kFile,
                         L"GetOverlappedResult", ERROR_OPERATION_ABORTED);
    ::CloseHandle(server);
}

// Leaks and failures

TEST_F(CFileTest, OpenCloseCyclesLeakNoHandle)
{
    const std::wstring path = Path(L"cycle.txt");
    const std::wstring missing = Path(L"missing.txt");
    auto cycle = [&](int i) {
        unsigned int done = 0;
        CFile file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                   FILE_ATTRIBUTE_NORMAL, nullptr);
        file.Write("x", 1, done);
        if (i % 3 == 0)
            file.Close();
        if (i % 3 == 1) // reopened over itself: the first handle is closed
            file.Open(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (i % 5 == 0) {
            try {
                file.Open(missing.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            } catch (const CWinException&) {
            }
        }
    };
    // One cycle first, so what the runtime sets up once (on the first throw) is not counted.
    cycle(0);
    HANDLE before = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(nullptr, before);
    ASSERT_TRUE(::CloseHandle(before));

    for (int i = 0; i < 1000; ++i)
        cycle(i);

    HANDLE after = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(before, after);
    ::CloseHandle(after);
}

TEST_F(CFileTest, EveryOperationOnAClosedHandleNamesItsCall)
{
    struct
    {
        const wchar_t* call;
        std::function<void(CFile&)> op;
    } const cases[] = {
        {L"ReadFile",
         [](CFile& f) {
             char c;
             unsigned int n;
             f.Read(&c, 1, n);
         }},
        {L"WriteFile",
         [](CFile& f) {
             unsigned int n;
             f.Write("x", 1, n);
         }},
        {L"FlushFileBuffers", [](CFile& f) { f.Flush(); }},
        {L"SetFilePointer", [](CFile& f) { f.GetPosition(); }},
        {L"SetFilePointer", [](CFile& f) { f.Seek(1, FILE_BEGIN); }},
        {L"SetFilePointer", [](CFile& f) { f.SetLength(1); }}, // its seek fails first
        {L"GetFileSize", [](CFile& f) { f.GetLength(); }},
        {L"CancelIo", [](CFile& f) { f.CancelIo(); }},
    };
    for (const auto& c : cases) {
        CFile file;
        OpenFile(file, L"closed.txt", GENERIC_READ | GENERIC_WRITE);
        ASSERT_TRUE(::CloseHandle(file));
        EXPECT_WIN_EXCEPTION(c.op(file), kFile, c.call, ERROR_INVALID_HANDLE);
        EXPECT_TRUE(file.IsCreated()) << "only Close forgets the handle";
        // Close reports through the handle base.
        EXPECT_WIN_EXCEPTION(file.Close(), L".\\Object", L"CloseHandle", ERROR_INVALID_HANDLE);
        EXPECT_FALSE(file.IsCreated());
        EXPECT_EQ(INVALID_HANDLE_VALUE, static_cast<void*>(file));
    }
}

TEST_F(CFileTest, AccessFailuresCarryThePlatformsCode)
{
    MakeFile(L"r.txt", "data");
    const std::wstring path = Path(L"r.txt");
    CFile readOnly(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                   OPEN_EXISTING, 0, nullptr);
    CFile writeOnly(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    HANDLE ro = readOnly;
    HANDLE wo = writeOnly;
    DWORD n = 0;
    char c = 0;
    unsigned int done = 0;

    DWORD code = RawError([&] { return ::WriteFile(ro, "x", 1, &n, nullptr); });
    EXPECT_WIN_EXCEPTION(readOnly.Write("x", 1, done), kFile, L"WriteFile", code);
    code = RawError([&] { return ::ReadFile(wo, &c, 1, &n, nullptr); });
    EXPECT_WIN_EXCEPTION(writeOnly.Read(&c, 1, done), kFile, L"ReadFile", code);
    code = RawError([&] { return ::FlushFileBuffers(ro); });
    EXPECT_WIN_EXCEPTION(readOnly.Flush(), kFile, L"FlushFileBuffers", code);
    // Wine gives 87 here where Windows gives 5.
    code = RawError([&] { return ::SetEndOfFile(ro); });
    EXPECT_WIN_EXCEPTION(readOnly.SetLength(2), kFile, L"SetEndOfFile", code);
    code = RawError([&] {
        LONG high = -1;
        return ::SetFilePointer(ro, -10, &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
    });
    EXPECT_WIN_EXCEPTION(readOnly.Seek(-10, FILE_BEGIN), kFile, L"SetFilePointer", code);
    EXPECT_EQ("data", ReadFileText(L"r.txt"));
}

// Path texts

TEST(CFilePathTest, SplitPath)
{
    struct
    {
        const wchar_t* path;
        const wchar_t* drive;
        const wchar_t* dir;
        const wchar_t* name;
        const wchar_t* ext;
    } const cases[] = {
        {L"C:/a/b.txt", L"C:", L"\\a\\", L"b", L".txt"},
        {L"file", L"", L"", L"file", L""},
        {L"C:\\dir.x\\file", L"C:", L"\\dir.x\\", L"file", L""},
        {L".profile", L"", L"", L"", L".profile"},
        {L"\\\\server\\share\\f.txt", L"", L"\\\\server\\share\\", L"f", L".txt"},
        {L"//server/share/", L"", L"\\\\server\\share\\", L"", L""},
        {L"C:", L"C:", L"", L"", L""},
        {L"", L"", L"", L"", L""},
        {nullptr, L"", L"", L"", L""},
        {L"C:file.txt", L"C:", L"", L"file", L".txt"},
        {L"C:\\a\\\\\\b.txt", L"C:", L"\\a\\\\\\", L"b", L".txt"},
        {L"C:\\a.b\\c.d.e", L"C:", L"\\a.b\\", L"c.d", L".e"},
        {L"a.b/c", L"", L"a.b\\", L"c", L""},
        {L"dir\\", L"", L"dir\\", L"", L""},
        {L"file.", L"", L"", L"file", L"."},
        {L"C:\\", L"C:", L"\\", L"", L""},
        // Only the first colon makes a drive, wherever it stands.
        {L"\\\\?\\C:\\x\\y.z", L"\\\\?\\C:", L"\\x\\", L"y", L".z"},
        {L"dir\\stream:name.txt", L"dir\\stream:", L"", L"name", L".txt"},
    };
    for (const auto& c : cases) {
        ustring drive = L"x", dir = L"x", name = L"x", ext = L"x";
        CFile::SplitPath(c.path, drive, dir, name, ext);
        EXPECT_EQ(ustring(c.drive), drive) << c.path;
        EXPECT_EQ(ustring(c.dir), dir) << c.path;
        EXPECT_EQ(ustring(c.name), name) << c.path;
        EXPECT_EQ(ustring(c.ext), ext) << c.path;
    }
}

TEST(CFilePathTest, SplitPathIntoItsOwnInput)
{
    ustring path = L"C:\\a\\b.txt", dir, name, ext;
    CFile::SplitPath(path, path, dir, name, ext);
    EXPECT_EQ(ustring(L"C:"), path);
    EXPECT_EQ(ustring(L"\\a\\"), dir);
}

TEST(CFilePathTest, MakePath)
{
    struct
    {
        const wchar_t* drive;
        const wchar_t* dir;
        const wchar_t* name;
        const wchar_t* ext;
        const wchar_t* expected;
    } const cases[] = {
        {L"C:", L"\\a\\", L"b", L".txt", L"C:\\a\\b.txt"},
        {L"C:", L"", L"file", L"txt", L"C:\\file.txt"},
        {nullptr, nullptr, L"file", L"txt", L"file.txt"},
        {nullptr, L"dir", nullptr, nullptr, L"dir"},
        {L"C:\\", L"\\x\\\\", L"y", nullptr, L"C:\\x\\y"},
        {L"C:", L"a/b//", L"c", L"", L"C:\\a\\b\\c"},
        {nullptr, L"\\\\server\\share", L"f", L"txt", L"\\server\\share\\f.txt"},
        {L"C:", nullptr, nullptr, L".txt", L"C:.txt"},
        {nullptr, nullptr, nullptr, nullptr, L""},
        {L"", L"", L"f", L".e", L"f.e"},
        {nullptr, L"x", nullptr, L"txt", L"x.txt"},
        {L"C:", L"\\\\\\\\\\", L"\\\\\\name", L"e", L"C:\\name.e"},
        {L"D:", L"dir.x", L"file", L"..e", L"D:\\dir.x\\file..e"},
    };
    for (const auto& c : cases) {
        ustring out = L"left over";
        CFile::MakePath(out, c.drive, c.dir, c.name, c.ext);
        EXPECT_EQ(ustring(c.expected), out);
    }
}

TEST(CFilePathTest, SplitThenMakeGivesTheNormalPathBack)
{
    const wchar_t* const paths[] = {L"C:\\a\\b.txt", L"C:\\dir.x\\file", L"D:\\x\\y\\z.tar.gz",
                                    L"relative\\name.e", L"name.e"};
    for (const wchar_t* p : paths) {
        ustring drive, dir, name, ext, out;
        CFile::SplitPath(p, drive, dir, name, ext);
        CFile::MakePath(out, drive, dir, name, ext);
        EXPECT_EQ(ustring(p), out);
    }
}

TEST(CFilePathTest, UpdateFileName)
{
    struct
    {
        const wchar_t* path;
        const wchar_t* newName;
        const wchar_t* expected;
    } const cases[] = {
        {L"D:\\data\\old.log", L"new.txt", L"D:\\data\\new.txt"},
        {L"", L"new.txt", L"new.txt"},
        {nullptr, L"new.txt", L"new.txt"},
        {L"file.txt", L"new", L"new"},
        {L"C:\\a.b\\c", L"d", L"C:\\a.b\\d"},
        {L"C:/x/y.z", L"w", L"C:\\x\\w"},
        {L"C:\\x\\", L"w.e", L"C:\\x\\w.e"},
        {L"C:", L"w.e", L"C:\\w.e"},
        {L"\\\\srv\\sh\\f.txt", L"g.txt", L"\\srv\\sh\\g.txt"},
    };
    for (const auto& c : cases) {
        ustring out = L"left over";
        CFile::UpdateFileName(c.path, c.newName, out);
        EXPECT_EQ(ustring(c.expected), out) << c.path;
    }
}

TEST(CFilePathTest, IsParentFolder)
{
    struct
    {
        const wchar_t* path;
        const wchar_t* folder;
        bool expected;
    } const cases[] = {
        {L"C:\\a\\b", L"c:\\A", true},
        {L"C:\\a\\b", L"C:\\a\\b\\", true},
        {L"C:\\ab", L"C:\\a", false},
        {L"C:\\a", L"C:\\a\\b", false},
        {L"C:\\a\\b", L"C:\\a\\b", true},
        {L"C:\\A\\B\\c.txt", L"c:/a/b/", true},
        {L"\\\\srv\\share\\x", L"\\\\SRV\\share", true},
        {L"C:\\a\\b", L"C:\\a\\\\b", false}, // the empty component does not match "b"
        {L"C:\\a\\..\\b", L"C:\\b", false},  // nothing is resolved
        {L"C:\\a\\b", L"", false},
        {L"", L"", true},
        {L"C:\\a", L"C:", true},
        {L"C:\\a", L"D:", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CFile::IsParentFolder(c.path, c.folder))
            << c.path << L" / " << c.folder;
    }
}

// File-system queries

TEST_F(CFileTest, FileExistsOnFilesFoldersAndPatterns)
{
    MakeFile(L"a.txt", "x");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"sub").c_str(), nullptr));
    struct
    {
        std::wstring path;
        bool exists;
        bool isDirectory;
    } const cases[] = {
        {Path(L"a.txt"), true, false},
        {Path(L"sub"), true, true},
        {Path(L"missing.txt"), false, false},
        {Path(L"*.txt"), true, false},
        {Path(L"a.*"), true, false},
        {Path(L"?.txt"), true, false},
        {Path(L"*.none"), false, false},
        {Path(L"s*"), true, true},
        {Path(L"sub\\"), false, false}, // a trailing backslash never matches
        {L"C:\\", false, false},        // nor does a bare drive root
        {L"", false, false},
    };
    for (const auto& c : cases) {
        bool isDirectory = !c.isDirectory;
        EXPECT_EQ(c.exists, CFile::FileExists(c.path.c_str(), isDirectory)) << c.path;
        EXPECT_EQ(c.isDirectory, isDirectory) << c.path;
        EXPECT_EQ(c.exists, CFile::FileExists(c.path.c_str())) << c.path;
    }
    bool isDirectory = true;
    EXPECT_FALSE(CFile::FileExists(nullptr, isDirectory));
    EXPECT_FALSE(isDirectory);
}

TEST(CFileSpecialFolderTest, FileExistsInASpecialFolder)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetWindowsDirectoryW(windows, MAX_PATH));
    ASSERT_TRUE(CFile::FileExists((ustring(windows) + L"\\win.ini").c_str()))
        << "the test needs win.ini in the Windows folder";

    bool isDirectory = true;
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"win", L"ini", isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"win", L".ini"));
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"win.ini", nullptr));
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"win.ini", L""));
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"*", L"ini"));
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"system32", nullptr, isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(CFile::FileExists(CSIDL_WINDOWS, L"tarnkit-no-such-file", L"ini", isDirectory));
    EXPECT_FALSE(isDirectory);

    // A folder the shell does not know is not an error, and leaves isDirectory alone.
    isDirectory = true;
    EXPECT_FALSE(CFile::FileExists(0x7777, L"win", L"ini", isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(CFile::FileExists(0x7777, L"win", L"ini"));

    // A candidate too long for a path is simply not there.
    std::wstring longName(300, L'n');
    EXPECT_FALSE(CFile::FileExists(CSIDL_WINDOWS, longName.c_str(), L"ini", isDirectory));
    EXPECT_FALSE(isDirectory);
}

TEST(CFileSpecialFolderTest, SpecialFolderPath)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetWindowsDirectoryW(windows, MAX_PATH));
    ustring out;
    CFile::GetSpecialFolderPath(CSIDL_WINDOWS, out);
    EXPECT_EQ(0, out.compareNoCase(windows)) << out.c_str();

    // The shell sets no error code for an unknown folder; the library then reports
    // ERROR_PATH_NOT_FOUND rather than whatever code an earlier call left.
    wchar_t raw[MAX_PATH];
    DWORD code = RawError([&] { return ::SHGetSpecialFolderPathW(nullptr, raw, 0x7777, FALSE); });
    if (code == NO_ERROR)
        code = ERROR_PATH_NOT_FOUND;
    out = L"kept";
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_WIN_EXCEPTION(CFile::GetSpecialFolderPath(0x7777, out), kFile, L"SHGetSpecialFolderPath",
                         code);
    EXPECT_EQ(ustring(L"kept"), out);
}

TEST(CFileModuleTest, ModuleFileName)
{
    wchar_t raw[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, raw, MAX_PATH));
    ustring out;
    CFile::GetModuleFileNameW(nullptr, out, true);
    EXPECT_EQ(ustring(raw), out);
    CFile::GetModuleFileNameW(nullptr, out, false);
    EXPECT_EQ(ustring(L"file_test"), out);
    CFile::GetModuleFileNameW(::GetModuleHandleW(L"TarnKit.dll"), out, false);
    EXPECT_EQ(ustring(L"TarnKit"), out);

    HINSTANCE bogus = reinterpret_cast<HINSTANCE>(0x12340000);
    DWORD code = RawError([&] { return ::GetModuleFileNameW(bogus, raw, MAX_PATH) != 0; });
    out = L"cleared";
    EXPECT_WIN_EXCEPTION(CFile::GetModuleFileNameW(bogus, out, true), kFile, L"GetModuleFileName",
                         code);
    EXPECT_TRUE(out.empty());
}

TEST(CFileTempTest, TempPath)
{
    wchar_t raw[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH, raw));
    ustring out;
    CFile::GetTempPathW(out);
    EXPECT_EQ(ustring(raw), out);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(L'\\', out.back());
}

TEST(CFileTempTest, TempPathLongerThanMaxPath)
{
    // Windows answers with the size needed; Wine refuses such a folder outright.
    wchar_t saved[32767] = {};
    DWORD savedLength = ::GetEnvironmentVariableW(L"TMP", saved, 32767);
    std::wstring longPath = L"C:\\" + std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", longPath.c_str()));

    wchar_t raw[MAX_PATH];
    ::SetLastError(NO_ERROR);
    DWORD n = ::GetTempPathW(MAX_PATH, raw);
    DWORD code = ::GetLastError();
    ustring out = L"left over";
    if (n == 0) {
        EXPECT_WIN_EXCEPTION(CFile::GetTempPathW(out), kFile, L"GetTempPath", code);
        EXPECT_TRUE(out.empty());
    } else {
        CFile::GetTempPathW(out);
        EXPECT_EQ(ustring(longPath + L"\\"), out);
    }
    ::SetEnvironmentVariableW(L"TMP", savedLength ? saved : nullptr);
}

TEST_F(CFileTest, TempFileNames)
{
    ustring out;
    CFile::GetTempFileNameW(m_dir.c_str(), L"tk", 0, out);
    ustring start = ustring(Path(L"tk"));
    EXPECT_EQ(0, out.compareNoCase(start, start.size())) << out.c_str();
    EXPECT_EQ(0, out.substr(out.size() - 4).compare(L".tmp")) << out.c_str();
    CFile created(out, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(0u, created.GetLength());

    // A given number makes the name only.
    CFile::GetTempFileNameW(m_dir.c_str(), L"tk", 0x1234, out);
    EXPECT_EQ(0, out.compareNoCase(Path(L"tk1234.tmp").c_str())) << out.c_str();
    EXPECT_FALSE(CFile::FileExists(out));

    // Wine gives 267 here; the raw call says what this platform gives.
    const std::wstring missing = Path(L"no-folder");
    wchar_t raw[MAX_PATH];
    DWORD code = RawError([&] { return ::GetTempFileNameW(missing.c_str(), L"tk", 0, raw) != 0; });
    out = L"cleared";
    EXPECT_WIN_EXCEPTION(CFile::GetTempFileNameW(missing.c_str(), L"tk", 0, out), kFile,
                         L"GetTempFileName", code);
    EXPECT_TRUE(out.empty());
}

TEST_F(CFileTest, RenameAndRemove)
{
    MakeFile(L"a.txt", "alpha");
    MakeFile(L"c.txt", "gamma");
    const std::wstring a = Path(L"a.txt"), b = Path(L"b.txt"), c = Path(L"c.txt");

    CFile::Rename(a.c_str(), b.c_str());
    EXPECT_FALSE(CFile::FileExists(a.c_str()));
    EXPECT_EQ("alpha", ReadFileText(L"b.txt"));

    DWORD code = RawError([&] { return ::MoveFileW(b.c_str(), c.c_str()); });
    EXPECT_WIN_EXCEPTION(CFile::Rename(b.c_str(), c.c_str()), kFile, L"MoveFile", code);
    code = RawError([&] { return ::MoveFileW(a.c_str(), c.c_str()); });
    EXPECT_WIN_EXCEPTION(CFile::Rename(a.c_str(), c.c_str()), kFile, L"MoveFile", code);
    EXPECT_EQ("gamma", ReadFileText(L"c.txt"));

    CFile::Remove(b.c_str());
    EXPECT_FALSE(CFile::FileExists(b.c_str()));
    EXPECT_WIN_EXCEPTION(CFile::Remove(b.c_str()), kFile, L"DeleteFile", ERROR_FILE_NOT_FOUND);
    code = RawError([&] { return ::DeleteFileW(m_dir.c_str()); });
    EXPECT_WIN_EXCEPTION(CFile::Remove(m_dir.c_str()), kFile, L"DeleteFile", code);
}
