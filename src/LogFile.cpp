// CLogFile: the thread-safe UTF-16 log, and the byte dumps for its messages.
#include <tarn_kit/log_file.h>
#include <tarn_kit/system_time.h>

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace {

constexpr unsigned long kStampLocale = 1033; // English (United States): fixed month names
constexpr const wchar_t* kStampFormat = L"%Y/%B/%d, %H:%M:%S";

// Lines are gathered up to this many characters per WriteFile; longer messages go in pieces.
constexpr std::size_t kMaxChunk = 1 << 16;

// Holds a byte-range lock of the file for its lifetime, shutting out the writers of other
// processes and other handles. The seek to the end and the write that follows are two calls:
// without the lock two writers can find the same end, and the later write covers the earlier
// one. The locked byte lies far beyond the end of any real file, so readers and writers of the
// data never meet it. Where the file system refuses the lock the log writes without it.
class CAppendLock
{
public:
    explicit CAppendLock(HANDLE hFile) noexcept : m_hFile(hFile), m_ov()
    {
        m_ov.Offset = 0xFFFFFFFE;
        m_ov.OffsetHigh = 0xFFFFFFFF;
        m_bLocked = ::LockFileEx(m_hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_ov) != FALSE;
    }
    CAppendLock(const CAppendLock&) = delete;
    CAppendLock& operator=(const CAppendLock&) = delete;
    ~CAppendLock()
    {
        if (m_bLocked)
            ::UnlockFileEx(m_hFile, 0, 1, 0, &m_ov);
    }

private:
    HANDLE m_hFile;
    OVERLAPPED m_ov;
    bool m_bLocked;
};

} // namespace

namespace tarn_kit {

CLogFile::CLogFile() noexcept = default;

CLogFile::~CLogFile()
{
    try {
        Close();
    } catch (const CStdException&) {
        // Nothing to report to from a destructor; the handle is forgotten either way.
    }
}

bool CLogFile::Open(const wchar_t* szFileName)
{
    try {
        CFile::Open(szFileName, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (GetLength() != 0) {
            Seek(0, FILE_END);
        } else {
            // The file pointer is at 0, so two writers that both found the file empty
            // write the same two bytes over each other, never a second mark.
            static const unsigned char kBom[2] = {0xFF, 0xFE};
            unsigned int nDone = 0;
            CFile::Write(kBom, sizeof kBom, nDone);
            Flush();
        }
        return true;
    } catch (const CStdException&) {
    }
    // A file that could not be prepared is not kept: false means nothing is open.
    try {
        Close();
    } catch (const CStdException&) {
    }
    return false;
}

bool CLogFile::Write(const wchar_t* szFormat, ...)
{
    CLocker<CCriticalSection> lock(m_cs);
    if (!IsCreated())
        return false;

    ustring message;
    va_list args;
    va_start(args, szFormat);
    message.vsprintf(szFormat, args);
    va_end(args);

    try {
        const CSystemTime now = CSystemTime::GetLocalTime();
        const ustring stamp = now.Format(kStampLocale, kStampFormat);

        message.erase(std::remove(message.begin(), message.end(), L'\r'), message.end());
        std::vector<ustring> lines;
        ustring::split(message, L'\n', lines, false);

        // Other writers of the shared file may have appended since our last entry.
        CAppendLock appendLock(m_h);
        Seek(0, FILE_END);

        // The lines go out together, one WriteFile for the whole call rather than one per line.
        // The file holds the same bytes either way, but the file is opened write-through, so
        // every WriteFile waits for the disk: an n-line message costs one wait instead of n.
        // It also keeps a call's lines together against writers in other processes, which
        // per-line writes could interleave.
        ustring buffer;
        auto flush = [&] {
            if (buffer.empty())
                return true;
            const unsigned int nBytes = static_cast<unsigned int>(buffer.size() * sizeof(wchar_t));
            unsigned int nDone = 0;
            CFile::Write(buffer.data(), nBytes, nDone);
            buffer.clear();
            return nDone == nBytes;
        };
        for (const ustring& line : lines) {
            if (line.empty())
                continue;
            buffer += L'[';
            buffer += stamp;
            buffer += L"] ";
            buffer += line;
            buffer += L"\r\n";
            if (buffer.size() >= kMaxChunk && !flush())
                return false;
        }
        return flush();
    } catch (const CStdException&) {
        return false;
    }
}

void CLogFile::Close()
{
    CHandle::Close();
}

std::string CLogFile::Bin2Str(const void* pData, unsigned int nSize)
{
    if (!pData || nSize == 0)
        return std::string();
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    std::string text(p, p + nSize);
    for (char& c : text)
        if (static_cast<unsigned char>(c) <= 0x20)
            c = '$';
    return text;
}

std::string CLogFile::Bin2Hex(const void* pData, unsigned int nSize)
{
    if (!pData || nSize == 0)
        return std::string();
    static const char kDigits[] = "0123456789ABCDEF";
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    std::string text;
    text.reserve(std::size_t(nSize) * 3 - 1);
    for (unsigned int i = 0; i < nSize; ++i) {
        if (i)
            text += ' ';
        text += kDigits[p[i] >> 4];
        text += kDigits[p[i] & 0x0F];
    }
    return text;
}

} // namespace tarn_kit
