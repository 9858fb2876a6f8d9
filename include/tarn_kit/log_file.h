// Log file.
//
// Classes in this file:
//   CLogFile - an append-only UTF-16 text log that many threads may write at once
#pragma once

#include "config.h"
#include "file.h"
#include "objects.h"

#include <string>

namespace tarn_kit {

// Owns one log file: appends printf-formatted messages, one time-stamped line per message line.
class TARNKIT_API CLogFile : public CFile
{
public:
    // Construction
    /// No file yet: Write returns false until Open succeeds.
    CLogFile() noexcept;
    /// Closes the file; a failure to close is dropped.
    ~CLogFile() override;

    // Operations
    /// Opens or creates the file (other processes may read and write it meanwhile) and appends
    /// from its end; an empty file first gets the byte-order mark FF FE. Closes a file opened
    /// before. False, with no file open, when the file cannot be opened or prepared.
    bool Open(const wchar_t* szFileName);
    /// Appends the formatted message as lines "[2026/December/04, 13:56:45] text" ending in
    /// CR LF, one per line of the message, all with one local time stamp; CRs are dropped and
    /// empty lines skipped. The lines of one call stay together in the file. False when no
    /// file is open or the file cannot be written. Any thread may call it.
    bool Write(const wchar_t* szFormat, ...);
    /// Closes the file as CHandle::Close does; must not run while another thread writes.
    void Close() override;

    /// The bytes as narrow characters, each byte from 0x00 to 0x20 shown as '$'.
    static std::string Bin2Str(const void* pData, unsigned int nSize);
    /// The bytes as upper-case hexadecimal pairs separated by blanks: "01 AB FF".
    static std::string Bin2Hex(const void* pData, unsigned int nSize);

private:
    CCriticalSection m_cs;
};

} // namespace tarn_kit
