// The exchange run and the script reader.
#include "runner.h"

#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

using namespace tarn_kit;

CExchangeRun::CExchangeRun(HWND hNotify, CConnection& connection, CLogFile& log, bool bHex,
                           std::vector<ustring> commands)
    : CAPC(kWakeMask), m_hNotify(hNotify), m_connection(connection), m_log(log), m_bHex(bHex),
      m_commands(std::move(commands))
{}

DWORD CExchangeRun::Run()
{
    for (const ustring& command : m_commands) {
        if (IsCancelled())
            break;
        try {
            Add({false, command, m_connection.Exchange(command, m_log, m_bHex), L""});
        } catch (const CCommException& e) {
            // The receiver said no; the line is fine, so the run goes on.
            SEntry entry{true, command, L"", L""};
            e.GetErrorMessageUI(entry.reply);
            CTranslatorInstance::Ref().XlateEx(entry.reply);
            e.GetErrorMessage(entry.raw);
            Add(std::move(entry));
        } catch (const CStdException& e) {
            // The line failed: the list shows where, the window reports it.
            SEntry entry{true, command, L"", L""};
            e.GetErrorMessageUI(entry.reply);
            CTranslatorInstance::Ref().XlateEx(entry.reply);
            entry.reply.trim_right(std::vector<wchar_t>{L'\r', L'\n'});
            Add(std::move(entry));
            throw;
        }
        ::InterlockedIncrement(&m_nDone);
        ::PostMessageW(m_hNotify, WM_APP_PROGRESS, 0, 0);
    }
    return DWORD(m_nDone);
}

void CExchangeRun::Add(SEntry entry)
{
    CLocker<CCriticalSection> lock(m_cs);
    m_last = entry;
    m_entries.push_back(std::move(entry));
}

std::vector<CExchangeRun::SEntry> CExchangeRun::TakeEntries()
{
    CLocker<CCriticalSection> lock(m_cs);
    std::vector<SEntry> out;
    out.swap(m_entries);
    return out;
}

CExchangeRun::SEntry CExchangeRun::GetLast()
{
    CLocker<CCriticalSection> lock(m_cs);
    return m_last;
}

std::vector<ustring> ReadScript(const wchar_t* szPath)
{
    CFile file(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(size_t(file.GetLength()), '\0');
    unsigned n = 0;
    if (!bytes.empty())
        (void)file.Read(&bytes[0], unsigned(bytes.size()), n);
    bytes.resize(n);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    // UTF-8 when it decodes as such, else the ANSI code page of older editors.
    const bool bUtf8 = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                             int(bytes.size()), nullptr, 0) > 0;
    std::vector<ustring> lines, commands;
    ustring::split(ustring::MultiByteToWideChar(bytes, bUtf8 ? CP_UTF8 : CP_ACP, 0).c_str(), L'\n',
                   lines, false);
    for (ustring& line : lines) {
        line.trim(std::vector<wchar_t>{L' ', L'\t', L'\r'});
        if (!line.empty() && line[0] != L'#')
            commands.push_back(line);
    }
    return commands;
}
