// Files and paths.
//
// Classes in this file:
//   CFile - a file handle from CreateFileW, plus the library's path and file-system functions
#pragma once

#include "config.h"
#include "exceptions.h"
#include "objects.h"
#include "ustring.h"

namespace tarn_kit {

// Owns one file handle: reads, writes, positions and sizes it; its statics split, join and
// compare paths and answer simple file-system questions.
class TARNKIT_API CFile : public CHandle
{
public:
    // Construction
    CFile() noexcept;
    /// Opens at once; throws as Open does.
    CFile(const wchar_t* szName, DWORD dwAccess, DWORD dwShare, SECURITY_ATTRIBUTES* pSA,
          DWORD dwCreation, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
    ~CFile() override;

    // Operations
    /// Closes the file owned so far (even when the new one then fails to open), then
    /// CreateFileW with the arguments unchanged.
    virtual void Open(const wchar_t* szName, DWORD dwAccess, DWORD dwShare,
                      SECURITY_ATTRIBUTES* pSA, DWORD dwCreation, DWORD dwFlagsAndAttributes,
                      HANDLE hTemplateFile);
    /// False only while an overlapped read is under way (finish it with GetOverlappedResult).
    /// At end of file a synchronous read succeeds with nDone 0.
    virtual bool Read(void* pBuffer, unsigned int nSize, unsigned int& nDone,
                      OVERLAPPED* pOverlapped = nullptr);
    /// False only while an overlapped write is under way.
    virtual bool Write(const void* pBuffer, unsigned int nSize, unsigned int& nDone,
                       OVERLAPPED* pOverlapped = nullptr);
    virtual void Flush();
    virtual unsigned __int64 GetPosition() const;
    /// dwMethod: FILE_BEGIN, FILE_CURRENT or FILE_END; returns the new position.
    virtual unsigned __int64 Seek(__int64 nDistance, DWORD dwMethod = FILE_BEGIN);
    virtual unsigned __int64 GetLength() const;
    /// Truncates or extends the file; the file pointer is left at nLength.
    virtual void SetLength(unsigned __int64 nLength);
    /// Cancels the calling thread's pending I/O on this file.
    virtual void CancelIo();
    /// False only when bWait is FALSE and the operation is still running; a failed
    /// operation (end of file, cancelled) throws.
    virtual bool GetOverlappedResult(OVERLAPPED* pOverlapped, unsigned int& nDone, BOOL bWait);

    // Paths: pure text, nothing is resolved or looked up
    /// Drive up to the first ':', directory with its trailing '\', name, extension with its dot.
    static void SplitPath(const wchar_t* szPath, ustring& strDrive, ustring& strDir,
                          ustring& strName, ustring& strExt);
    /// Joins the parts that are not null with '\', adds the extension's dot and shrinks every
    /// run of backslashes to one ('/' counts as '\').
    static void MakePath(ustring& strOut, const wchar_t* szDrive, const wchar_t* szDir,
                         const wchar_t* szName, const wchar_t* szExt);
    /// The drive and directory of szPath followed by szNewName; szNewName alone when szPath is
    /// empty.
    static void UpdateFileName(const wchar_t* szPath, const wchar_t* szNewName, ustring& strOut);
    /// True when szFolder is szPath or one of its ancestors, compared by component without
    /// regard to case.
    static bool IsParentFolder(const wchar_t* szPath, const wchar_t* szFolder);

    // File system
    /// FindFirstFileW: wildcards match; a path ending in '\' or a bare drive root does not.
    static bool FileExists(const wchar_t* szPath, bool& bIsDirectory);
    static bool FileExists(const wchar_t* szPath);
    /// Looks for szName + szExt in a special folder; false also for an unknown folder.
    static bool FileExists(int nCsidl, const wchar_t* szName, const wchar_t* szExt,
                           bool& bIsDirectory);
    static bool FileExists(int nCsidl, const wchar_t* szName, const wchar_t* szExt);
    /// The path of a CSIDL_ folder, which is not created.
    static void GetSpecialFolderPath(int nCsidl, ustring& strOut);
    /// bFullPath false: only the base name, without folder and extension.
    static void GetModuleFileNameW(HINSTANCE hModule, ustring& strOut, bool bFullPath);
    /// Ends with a backslash.
    static void GetTempPathW(ustring& strOut);
    /// nUnique 0: a new unique name, and the empty file is created.
    static void GetTempFileNameW(const wchar_t* szDir, const wchar_t* szPrefix,
                                 unsigned int nUnique, ustring& strOut);
    static void Rename(const wchar_t* szFrom, const wchar_t* szTo);
    static void Remove(const wchar_t* szPath);
};

} // namespace tarn_kit
