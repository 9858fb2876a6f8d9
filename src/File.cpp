// CFile: file handles, and the path and file-system statics.
#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>

#include "throw.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <vector>

namespace {
constexpr const wchar_t* kModule = L".\\File";

unsigned __int64 MakePosition(DWORD nLow, LONG nHigh)
{
    return (static_cast<unsigned __int64>(static_cast<DWORD>(nHigh)) << 32) | nLow;
}

std::size_t Length(const wchar_t* s)
{
    return s ? std::wcslen(s) : 0;
}
} // namespace

namespace tarn_kit {

CFile::CFile() noexcept : CHandle(INVALID_HANDLE_VALUE) {}

CFile::CFile(const wchar_t* szName, DWORD dwAccess, DWORD dwShare, SECURITY_ATTRIBUTES* pSA,
             DWORD dwCreation, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
    : CHandle(INVALID_HANDLE_VALUE)
{
    Open(szName, dwAccess, dwShare, pSA, dwCreation, dwFlagsAndAttributes, hTemplateFile);
}

CFile::~CFile() = default;

void CFile::Open(const wchar_t* szName, DWORD dwAccess, DWORD dwShare, SECURITY_ATTRIBUTES* pSA,
                 DWORD dwCreation, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    // Virtual, so a derived file runs its own close first.
    Close();
    HANDLE h = ::CreateFileW(szName, dwAccess, dwShare, pSA, dwCreation, dwFlagsAndAttributes,
                             hTemplateFile);
    if (h == INVALID_HANDLE_VALUE)
        TK_THROW_LAST_ERROR(L"CreateFile");
    m_h = h;
}

bool CFile::Read(void* pBuffer, unsigned int nSize, unsigned int& nDone, OVERLAPPED* pOverlapped)
{
    DWORD n = 0;
    BOOL bOk = ::ReadFile(m_h, pBuffer, nSize, &n, pOverlapped);
    nDone = n;
    if (bOk)
        return true;
    if (::GetLastError() == ERROR_IO_PENDING)
        return false;
    TK_THROW_LAST_ERROR(L"ReadFile");
}

bool CFile::Write(const void* pBuffer, unsigned int nSize, unsigned int& nDone,
                  OVERLAPPED* pOverlapped)
{
    DWORD n = 0;
    BOOL bOk = ::WriteFile(m_h, pBuffer, nSize, &n, pOverlapped);
    nDone = n;
    if (bOk)
        return true;
    if (::GetLastError() == ERROR_IO_PENDING)
        return false;
    TK_THROW_LAST_ERROR(L"WriteFile");
}

void CFile::Flush()
{
    if (!::FlushFileBuffers(m_h))
        TK_THROW_LAST_ERROR(L"FlushFileBuffers");
}

// A low half of 0xFFFFFFFF is also a valid position, so the error code decides.
// It is cleared first: a stale code must not turn a valid result into a failure.

unsigned __int64 CFile::GetPosition() const
{
    LONG nHigh = 0;
    ::SetLastError(NO_ERROR);
    DWORD nLow = ::SetFilePointer(m_h, 0, &nHigh, FILE_CURRENT);
    if (nLow == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        TK_THROW_LAST_ERROR(L"SetFilePointer");
    return MakePosition(nLow, nHigh);
}

unsigned __int64 CFile::Seek(__int64 nDistance, DWORD dwMethod)
{
    LONG nHigh = static_cast<LONG>(nDistance >> 32);
    ::SetLastError(NO_ERROR);
    DWORD nLow = ::SetFilePointer(m_h, static_cast<LONG>(nDistance & 0xFFFFFFFF), &nHigh, dwMethod);
    if (nLow == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR)
        TK_THROW_LAST_ERROR(L"SetFilePointer");
    return MakePosition(nLow, nHigh);
}

unsigned __int64 CFile::GetLength() const
{
    DWORD nHigh = 0;
    ::SetLastError(NO_ERROR);
    DWORD nLow = ::GetFileSize(m_h, &nHigh);
    if (nLow == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        TK_THROW_LAST_ERROR(L"GetFileSize");
    return MakePosition(nLow, static_cast<LONG>(nHigh));
}

void CFile::SetLength(unsigned __int64 nLength)
{
    Seek(static_cast<__int64>(nLength), FILE_BEGIN);
    if (!::SetEndOfFile(m_h))
        TK_THROW_LAST_ERROR(L"SetEndOfFile");
}

void CFile::CancelIo()
{
    if (!::CancelIo(m_h))
        TK_THROW_LAST_ERROR(L"CancelIo");
}

bool CFile::GetOverlappedResult(OVERLAPPED* pOverlapped, unsigned int& nDone, BOOL bWait)
{
    DWORD n = 0;
    BOOL bOk = ::GetOverlappedResult(m_h, pOverlapped, &n, bWait);
    nDone = n;
    if (bOk)
        return true;
    if (::GetLastError() == ERROR_IO_INCOMPLETE)
        return false;
    TK_THROW_LAST_ERROR(L"GetOverlappedResult");
}

// Paths

void CFile::SplitPath(const wchar_t* szPath, ustring& strDrive, ustring& strDir, ustring& strName,
                      ustring& strExt)
{
    // A copy: the outputs may be the very string szPath points into.
    ustring work(szPath);
    std::replace(work.begin(), work.end(), L'/', L'\\');

    ustring drive;
    std::size_t colon = work.find(L':');
    if (colon != std::wstring::npos) {
        drive = work.substr(0, colon + 1);
        work.erase(0, colon + 1);
    }

    // A dot inside a directory name starts no extension.
    ustring ext;
    std::size_t dot = work.rfind(L'.');
    std::size_t slash = work.rfind(L'\\');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || slash < dot)) {
        ext = work.substr(dot);
        work.erase(dot);
    }

    ustring name;
    slash = work.rfind(L'\\');
    if (slash != std::wstring::npos) {
        name = work.substr(slash + 1);
        work.erase(slash + 1);
    } else {
        name.swap(work);
    }

    strDrive.swap(drive);
    strDir.swap(work);
    strName.swap(name);
    strExt.swap(ext);
}

void CFile::MakePath(ustring& strOut, const wchar_t* szDrive, const wchar_t* szDir,
                     const wchar_t* szName, const wchar_t* szExt)
{
    // Built apart: an input may point into strOut.
    ustring joined;
    if (szDrive)
        joined += szDrive;
    if (szDir) {
        if (!joined.empty())
            joined += L'\\';
        joined += szDir;
    }
    if (szName) {
        if (!joined.empty())
            joined += L'\\';
        joined += szName;
    }
    if (szExt && *szExt) {
        if (*szExt != L'.')
            joined += L'.';
        joined += szExt;
    }

    // One pass turns '/' into '\' and shrinks every run of backslashes to one.
    ustring out;
    out.reserve(joined.size());
    for (wchar_t c : joined) {
        if (c == L'/')
            c = L'\\';
        if (c == L'\\' && !out.empty() && out.back() == L'\\')
            continue;
        out += c;
    }
    strOut.swap(out);
}

void CFile::UpdateFileName(const wchar_t* szPath, const wchar_t* szNewName, ustring& strOut)
{
    if (!szPath || !*szPath) {
        strOut = ustring(szNewName);
        return;
    }
    ustring drive, dir, name, ext;
    SplitPath(szPath, drive, dir, name, ext);
    MakePath(strOut, drive, dir, szNewName, nullptr);
}

bool CFile::IsParentFolder(const wchar_t* szPath, const wchar_t* szFolder)
{
    ustring path(szPath), folder(szFolder);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    std::replace(folder.begin(), folder.end(), L'/', L'\\');

    std::vector<ustring> pathParts, folderParts;
    ustring::split(path, L'\\', pathParts, false);
    ustring::split(folder, L'\\', folderParts, false);
    if (folderParts.size() > pathParts.size())
        return false;
    for (std::size_t i = 0; i < folderParts.size(); ++i) {
        if (folderParts[i].compareNoCase(pathParts[i]) != 0)
            return false;
    }
    return true;
}

// File system

bool CFile::FileExists(const wchar_t* szPath, bool& bIsDirectory)
{
    bIsDirectory = false;
    if (!szPath)
        return false;
    WIN32_FIND_DATAW data;
    HANDLE hFind = ::FindFirstFileW(szPath, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(hFind);
    bIsDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool CFile::FileExists(const wchar_t* szPath)
{
    bool bIsDirectory = false;
    return FileExists(szPath, bIsDirectory);
}

bool CFile::FileExists(int nCsidl, const wchar_t* szName, const wchar_t* szExt, bool& bIsDirectory)
{
    ustring folder;
    try {
        GetSpecialFolderPath(nCsidl, folder);
    } catch (const CWinException&) {
        return false;
    }
    // _wmakepath_s adds at most a separator, a dot and the NUL. A candidate too long for
    // its buffer cannot be a valid path, so it is simply not found.
    if (folder.size() + Length(szName) + Length(szExt) + 3 > MAX_PATH) {
        bIsDirectory = false;
        return false;
    }
    wchar_t candidate[MAX_PATH] = {};
    if (_wmakepath_s(candidate, MAX_PATH, nullptr, folder.c_str(), szName, szExt) != 0) {
        bIsDirectory = false;
        return false;
    }
    return FileExists(candidate, bIsDirectory);
}

bool CFile::FileExists(int nCsidl, const wchar_t* szName, const wchar_t* szExt)
{
    bool bIsDirectory = false;
    return FileExists(nCsidl, szName, szExt, bIsDirectory);
}

void CFile::GetSpecialFolderPath(int nCsidl, ustring& strOut)
{
    wchar_t path[MAX_PATH] = {};
    ::SetLastError(NO_ERROR);
    if (!::SHGetSpecialFolderPathW(nullptr, path, nCsidl, FALSE)) {
        // The shell reports through an HRESULT it does not pass on and sets no code of
        // its own (an unknown or virtual folder); a stale code would blame another call.
        if (::GetLastError() == NO_ERROR)
            TK_THROW_CODE(L"SHGetSpecialFolderPath", ERROR_PATH_NOT_FOUND);
        TK_THROW_LAST_ERROR(L"SHGetSpecialFolderPath");
    }
    strOut = path;
}

void CFile::GetModuleFileNameW(HINSTANCE hModule, ustring& strOut, bool bFullPath)
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(hModule, path, MAX_PATH);
    if (n == 0) {
        strOut.clear();
        TK_THROW_LAST_ERROR(L"GetModuleFileName");
    }
    // A truncated name fills the buffer without a NUL on older systems.
    ustring full(path, (std::min<DWORD>)(n, MAX_PATH));
    if (bFullPath) {
        strOut.swap(full);
        return;
    }
    ustring drive, dir, name, ext;
    SplitPath(full, drive, dir, name, ext);
    if (name.size() > 255)
        name.resize(255);
    strOut.swap(name);
}

void CFile::GetTempPathW(ustring& strOut)
{
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetTempPathW(MAX_PATH, path);
    if (n == 0) {
        strOut.clear();
        TK_THROW_LAST_ERROR(L"GetTempPath");
    }
    if (n < MAX_PATH) {
        strOut.assign(path, n);
        return;
    }
    // Too long for MAX_PATH: n is the size needed. Ask again until the answer fits, since
    // the variable may change in between.
    std::vector<wchar_t> buffer;
    while (n >= buffer.size()) {
        buffer.assign(n + 1, L'\0');
        n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) {
            strOut.clear();
            TK_THROW_LAST_ERROR(L"GetTempPath");
        }
    }
    strOut.assign(buffer.data(), n);
}

void CFile::GetTempFileNameW(const wchar_t* szDir, const wchar_t* szPrefix, unsigned int nUnique,
                             ustring& strOut)
{
    wchar_t name[MAX_PATH] = {};
    if (!::GetTempFileNameW(szDir, szPrefix, nUnique, name)) {
        strOut.clear();
        TK_THROW_LAST_ERROR(L"GetTempFileName");
    }
    strOut = name;
}

void CFile::Rename(const wchar_t* szFrom, const wchar_t* szTo)
{
    if (!::MoveFileW(szFrom, szTo))
        TK_THROW_LAST_ERROR(L"MoveFile");
}

void CFile::Remove(const wchar_t* szPath)
{
    if (!::DeleteFileW(szPath))
        TK_THROW_LAST_ERROR(L"DeleteFile");
}

} // namespace tarn_kit
