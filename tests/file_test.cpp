// Files and paths: CFile over real files and pipes, the path texts, and the
// file-system statics, with the failure of every wrapper.
#include "test_common.h"

#include <tarn_kit/file.h>

#include <shlobj.h>
#include <winioctl.h>

#include <tuple>

using namespace tarn_kit;

const wchar_t* const kFile = L".\\File";

class CFileTest : public tarn_kit_test::TempDirTest
{
protected:
    // Opens Path(name), shared unless told otherwise, creating it when missing.
    void Open(CFile& file, const wchar_t* name, DWORD access, DWORD flags = 0,
              DWORD creation = OPEN_ALWAYS, DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE)
    {
        file.Open(Path(name).c_str(), access, share, nullptr, creation, flags, nullptr);
    }
};

// Open closes first, even when the new file is missing. That is the typical request too: the
// user sees where and why it failed.
TEST_F(CFileTest, OpenClosesPreviousFileFirstAndLeaksNoHandle)
{
    CFile file, other;
    Open(file, L"a.txt", GENERIC_READ, 0, OPEN_ALWAYS, 0); // not shared
    CStdException::CExInfo info;
    try {
        Open(file, L"missing.txt", GENERIC_READ, 0, OPEN_EXISTING);
    } catch (const CStdException& e) {
        info = CStdException::CExInfo(e);
    }
    EXPECT_GT(info.GetLine(), 0u);
    EXPECT_EQ(ustring(L".\\File|CreateFile|Win32"),
              info.GetFileName() + L"|" + info.GetFunction() + L"|" + info.GetSource());
    EXPECT_EQ(tarn_kit_test::SystemText(ERROR_FILE_NOT_FOUND), info.GetErrorMessageUI());
    EXPECT_EQ(INVALID_HANDLE_VALUE, static_cast<void*>(file));
    Open(other, L"a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0); // not shared: opens only if closed

    tarn_kit_test::ExpectNoHandleLeak([&] {
        CFile kept, reopened;
        Open(kept, L"cycle.txt", GENERIC_READ); // closed by its destructor
        Open(reopened, L"cycle.txt", GENERIC_READ | GENERIC_WRITE);
        Open(reopened, L"cycle.txt", GENERIC_READ); // over itself: the first handle is closed
        EXPECT_THROW(Open(reopened, L"missing.txt", GENERIC_READ, 0, OPEN_EXISTING), CWinException);
    });
}

TEST_F(CFileTest, ReadWriteSeekAndLengthsBeyondFourGiB)
{
    CFile file;
    Open(file, L"w.bin", GENERIC_READ | GENERIC_WRITE);
    unsigned int done = 0;
    char buffer[10] = {};
    EXPECT_TRUE(file.Write("hello world", 11, done));
    file.Flush();
    EXPECT_EQ(7u, file.Seek(-4, FILE_END));
    EXPECT_TRUE(file.Read(buffer, 10, done)); // 4 bytes before the end
    EXPECT_EQ("orld", std::string(buffer, done));
    EXPECT_TRUE(file.Read(buffer, 10, done) && done == 0); // at the end
    file.SetLength(5);
    EXPECT_EQ(5u, file.GetPosition());
    file.SetLength(0);
    EXPECT_EQ(0u, file.GetLength() | file.GetPosition());

    // Over 4 GiB, sparse so that it takes no real space; the platform's own size is the judge.
    DWORD returned = 0;
    if (!::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr))
        GTEST_SKIP() << "FSCTL_SET_SPARSE failed with " << ::GetLastError();
    const unsigned __int64 kLength = (5ull << 30) + 0x123;
    file.SetLength(kLength);
    FILE_STANDARD_INFO info = {};
    ASSERT_TRUE(::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info));
    EXPECT_EQ(LONGLONG(kLength), info.EndOfFile.QuadPart);
    EXPECT_EQ(kLength, file.GetLength());
    // A low half of 0xFFFFFFFF is valid, even with a stale error code from an unrelated call.
    file.SetLength(0xFFFFFFFFull);
    EXPECT_EQ(0xFFFFFFFFull, (::SetLastError(ERROR_ACCESS_DENIED), file.GetLength()));
    EXPECT_EQ(0xFFFFFFFFull, (::SetLastError(ERROR_ACCESS_DENIED), file.GetPosition()));
    EXPECT_EQ(0x1FFFFFFFFull, (::SetLastError(ERROR_ACCESS_DENIED), file.Seek(0x1FFFFFFFFll)));
}

TEST_F(CFileTest, OverlappedIoOnAFileAndOnAPipe)
{
    CFile file;
    Open(file, L"o.bin", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED);
    COverlapped write(nullptr, TRUE), read(nullptr, TRUE), eof(nullptr, TRUE), cancelled;
    char buffer[10] = {};
    unsigned int done = 0;
    // false: still under way (Wine queues every overlapped file operation); then wait for it.
    write.Offset = 40;
    EXPECT_TRUE(file.Write("xyz", 3, done, &write) || file.GetOverlappedResult(&write, done, TRUE));
    read.Offset = 38;
    EXPECT_TRUE(file.Read(buffer, 10, done, &read) || file.GetOverlappedResult(&read, done, TRUE));
    EXPECT_EQ(std::string("\0\0xyz", 5), std::string(buffer, done));
    // Past the end the read fails at once (Windows) or on completion (Wine).
    eof.Offset = 200;
    EXPECT_THROW(file.Read(buffer, 10, done, &eof) || file.GetOverlappedResult(&eof, done, TRUE),
                 CWinException);

    // A pipe with no data keeps a read incomplete for as long as the test wants.
    const ustring name = L"\\\\.\\pipe\\tarnkit-test-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, 0, 1, 64, 64, 0, nullptr);
    file.Open(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    EXPECT_FALSE(file.Read(buffer, 5, done, &read));
    EXPECT_FALSE(file.GetOverlappedResult(&read, done, FALSE));
    ASSERT_TRUE(::WriteFile(server, "hello", 5, nullptr, &write)); // at once: not overlapped
    EXPECT_TRUE(file.GetOverlappedResult(&read, done, TRUE));
    EXPECT_EQ("hello", std::string(buffer, done));
    EXPECT_FALSE(file.Read(buffer, 5, done, &cancelled));
    file.CancelIo();
    EXPECT_WIN_EXCEPTION(file.GetOverlappedResult(&cancelled, done, TRUE), kFile,
                         L"GetOverlappedResult", ERROR_OPERATION_ABORTED);
    ::CloseHandle(server);
}

// Forced real errors: the raw handle closed behind the wrapper's back, or opened read-only.
TEST_F(CFileTest, FailuresNameTheCallAndResetOnlyOnClose)
{
    char c = 0;
    unsigned int n = 0;
    CFile file, ro;
    Open(file, L"closed.txt", GENERIC_READ | GENERIC_WRITE);
    ASSERT_TRUE(::CloseHandle(file));
    EXPECT_WIN_EXCEPTION(file.Read(&c, 1, n), kFile, L"ReadFile", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.Write("x", 1, n), kFile, L"WriteFile", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.Flush(), kFile, L"FlushFileBuffers", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.GetPosition(), kFile, L"SetFilePointer", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.Seek(1), kFile, L"SetFilePointer", ERROR_INVALID_HANDLE);
    // SetLength fails in its seek, before SetEndOfFile.
    EXPECT_WIN_EXCEPTION(file.SetLength(1), kFile, L"SetFilePointer", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.GetLength(), kFile, L"GetFileSize", ERROR_INVALID_HANDLE);
    EXPECT_WIN_EXCEPTION(file.CancelIo(), kFile, L"CancelIo", ERROR_INVALID_HANDLE);
    EXPECT_TRUE(file.IsCreated()); // only Close forgets the handle
    EXPECT_WIN_EXCEPTION(file.Close(), L".\\Object", L"CloseHandle", ERROR_INVALID_HANDLE);
    EXPECT_EQ(INVALID_HANDLE_VALUE, static_cast<void*>(file));
    Open(ro, L"r.txt", GENERIC_READ);
    // Wine gives 87 here where Windows gives 5.
    EXPECT_WIN_EXCEPTION(ro.SetLength(2), kFile, L"SetEndOfFile",
                         tarn_kit_test::RawError([&] { return ::SetEndOfFile(ro); }));
    EXPECT_WIN_EXCEPTION(ro.Seek(-10), kFile, L"SetFilePointer", ERROR_NEGATIVE_SEEK);
}

// Path texts: drive up to the first colon, '/' read as '\', a dot in a folder name starts no
// extension, runs of backslashes shrink when joined, and nothing is resolved.
// Each row: the path, then its drive|dir|name|ext.
TEST(CFilePathTest, SplitPath)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:/a/b.txt", L"C:|\\a\\|b|.txt"},
        {L"file", L"||file|"},
        {L"C:\\dir.x\\file", L"C:|\\dir.x\\|file|"},
        {L".profile", L"|||.profile"},
        {L"\\\\srv\\sh\\f.txt", L"|\\\\srv\\sh\\|f|.txt"},
        {L"C:", L"C:|||"},
        {L"", L"|||"},
        {nullptr, L"|||"},
        {L"C:\\a\\\\b.c.d", L"C:|\\a\\\\|b.c|.d"},
        {L"\\\\?\\C:\\x\\z", L"\\\\?\\C:|\\x\\|z|"},
        {L"d\\s:n:t.x", L"d\\s:||n:t|.x"}};
    ustring drive, dir, name, ext;
    for (const auto& [path, parts] : cases) {
        CFile::SplitPath(path, drive, dir, name, ext);
        EXPECT_EQ(ustring(parts), drive + L"|" + dir + L"|" + name + L"|" + ext) << path;
    }
    drive = L"C:\\a\\b.txt"; // the input may be an output too
    CFile::SplitPath(drive, drive, dir, name, ext);
    EXPECT_EQ(ustring(L"C:|\\a\\|b"), drive + L"|" + dir + L"|" + name);
}

TEST(CFilePathTest, MakePath)
{
    // drive, dir, name, ext, then the path
    const wchar_t* const cases[][5] = {{L"C:", L"\\a\\", L"b", L".txt", L"C:\\a\\b.txt"},
                                       {L"C:", L"", L"file", L"txt", L"C:\\file.txt"},
                                       {nullptr, nullptr, L"file", L"txt", L"file.txt"},
                                       {nullptr, L"dir", nullptr, nullptr, L"dir"},
                                       {L"C:\\", L"\\x\\\\", L"y", nullptr, L"C:\\x\\y"},
                                       {L"C:", L"a/b.c//", L"\\\\\\d", L"", L"C:\\a\\b.c\\d"},
                                       {nullptr, L"\\\\srv\\sh", L"f", L"..e", L"\\srv\\sh\\f..e"}};
    ustring out = L"left over";
    for (const auto& c : cases) {
        CFile::MakePath(out, c[0], c[1], c[2], c[3]);
        EXPECT_EQ(ustring(c[4]), out);
    }
}

TEST(CFilePathTest, UpdateFileName)
{
    // path, new name, then the path
    const wchar_t* const cases[][3] = {{L"D:\\data\\old.log", L"new.txt", L"D:\\data\\new.txt"},
                                       {L"", L"new.txt", L"new.txt"},
                                       {nullptr, L"new", L"new"},
                                       {L"C:\\a.b\\c", L"d", L"C:\\a.b\\d"},
                                       {L"C:", L"w.e", L"C:\\w.e"},
                                       {L"//srv/sh/f.txt", L"g.txt", L"\\srv\\sh\\g.txt"}};
    ustring out = L"left over";
    for (const auto& c : cases) {
        CFile::UpdateFileName(c[0], c[1], out);
        EXPECT_EQ(ustring(c[2]), out) << c[0];
    }
}

TEST(CFilePathTest, IsParentFolder)
{
    // path, folder, whether folder is path or one of its ancestors; an empty component (two
    // backslashes) matches no name, and ".." is not resolved
    const std::tuple<const wchar_t*, const wchar_t*, bool> cases[] = {
        {L"C:\\a\\b", L"c:\\A", true},         {L"C:\\a\\b", L"C:\\a\\b\\", true},
        {L"C:\\ab", L"C:\\a", false},          {L"C:\\a", L"C:\\a\\b", false},
        {L"C:\\a\\b", L"C:\\a\\b", true},      {L"C:\\A\\B\\c.txt", L"c:/a/b/", true},
        {L"//srv/sh/x", L"\\\\SRV\\sh", true}, {L"C:\\a\\b", L"C:\\a\\\\b", false},
        {L"C:\\a\\..\\b", L"C:\\b", false}};
    for (const auto& [path, folder, parent] : cases)
        EXPECT_EQ(parent, CFile::IsParentFolder(path, folder)) << path << L" / " << folder;
}

// The platform's own answers are the judge, for results and for failures.
TEST_F(CFileTest, FileSystemQueries)
{
    CFile file;
    Open(file, L"a.txt", GENERIC_WRITE);
    ASSERT_TRUE(::CreateDirectoryW(Path(L"sub").c_str(), nullptr));
    // a path, then 'f' (a file), 'd' (a folder) or '-' (nothing)
    const std::pair<std::wstring, char> cases[] = {
        {Path(L"a.txt"), 'f'}, {Path(L"sub"), 'd'}, {Path(L"missing.txt"), '-'},
        {Path(L"?.t*"), 'f'},  {Path(L"s*"), 'd'},  {Path(L"sub\\"), '-'}, // no trailing '\'
        {L"C:\\", '-'},        {L"", '-'}};                                // nor a drive root
    for (const auto& [path, kind] : cases) {
        bool isDirectory = kind == '-';
        EXPECT_EQ(kind != '-', CFile::FileExists(path.c_str(), isDirectory)) << path;
        EXPECT_EQ(kind == 'd', isDirectory) << path;
    }
    bool isDirectory = true;
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"win", L"ini", isDirectory) && !isDirectory);
    EXPECT_TRUE(CFile::FileExists(CSIDL_WINDOWS, L"system32", nullptr, isDirectory) && isDirectory);
    EXPECT_FALSE(CFile::FileExists(CSIDL_WINDOWS, std::wstring(300, L'n').c_str(), L".ini"));
    // A folder the shell does not know is not an error, and leaves isDirectory alone; it sets
    // no code either, so the library reports 3 rather than a stale code.
    EXPECT_TRUE(!CFile::FileExists(0x7777, L"win", L"ini", isDirectory) && isDirectory);
    ustring out = L"kept";
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_WIN_EXCEPTION(CFile::GetSpecialFolderPath(0x7777, out), kFile, L"SHGetSpecialFolderPath",
                         ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(ustring(L"kept"), out);

    CFile::GetTempFileNameW(m_dir.c_str(), L"tk", 0, out); // a new name, and the empty file
    const std::wstring a = out, b = Path(L"b");
    CFile::Rename(a.c_str(), b.c_str());
    CFile::Remove(b.c_str());
    EXPECT_FALSE(CFile::FileExists(a.c_str()) || CFile::FileExists(b.c_str()));
    EXPECT_WIN_EXCEPTION(CFile::Rename(a.c_str(), b.c_str()), kFile, L"MoveFile", 2);
    EXPECT_WIN_EXCEPTION(CFile::Remove(b.c_str()), kFile, L"DeleteFile", 2);
    // Wine gives 267 for a missing folder.
    wchar_t raw[MAX_PATH] = {};
    EXPECT_WIN_EXCEPTION(
        CFile::GetTempFileNameW(b.c_str(), L"tk", 0, out), kFile, L"GetTempFileName",
        tarn_kit_test::RawError([&] { return ::GetTempFileNameW(b.c_str(), L"tk", 0, raw); }));
    EXPECT_TRUE(out.empty());
    EXPECT_WIN_EXCEPTION(
        CFile::GetModuleFileNameW(HMODULE(raw), out = L"x", true), kFile, L"GetModuleFileName",
        tarn_kit_test::RawError([&] { return ::GetModuleFileNameW(HMODULE(raw), raw, 9); }));
    EXPECT_TRUE(out.empty());
    CFile::GetModuleFileNameW(::GetModuleHandleW(L"TarnKit.dll"), out, false);
    EXPECT_EQ(ustring(L"TarnKit"), out);
}
