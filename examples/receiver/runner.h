// Work off the window's thread: CAPC runs it on a worker while the window keeps
// painting and still takes mouse clicks (the Cancel button) and the worker's news.
#pragma once

#include "connection.h"

#include <tarn_kit/thread.h>

#include <functional>
#include <vector>

/// Posted by the worker to the window when new entries wait in TakeEntries.
constexpr UINT WM_APP_PROGRESS = WM_APP + 1;

/// Paint, the worker's posted news and mouse buttons: enough for Cancel, nothing else.
/// QS_SENDMESSAGE wakes the wait for messages other programs send (a broadcast, a
/// screen reader), which would otherwise wait until the run ends.
constexpr DWORD kWakeMask = QS_PAINT | QS_POSTMESSAGE | QS_MOUSEBUTTON | QS_SENDMESSAGE;

// Any short job (opening a line) on the worker; exceptions come back to Invoke's caller.
class CJob : public tarn_kit::CAPC
{
public:
    explicit CJob(std::function<void()> work) : CAPC(kWakeMask), m_work(std::move(work)) {}
    DWORD Run() override { return m_work(), 0; }

private:
    std::function<void()> m_work;
};

// Sends commands one after the other. An error reply is an entry and the run goes on;
// a lost line ends it with the exception, which Invoke throws again on the window's thread.
class CExchangeRun : public tarn_kit::CAPC
{
public:
    struct SEntry
    {
        bool bError; // an error reply of the receiver
        tarn_kit::ustring command;
        tarn_kit::ustring reply; // the reply, or the user text of an error reply
        tarn_kit::ustring raw;   // the error reply as it came
    };

    CExchangeRun(HWND hNotify, CConnection& connection, tarn_kit::CLogFile& log, bool bHex,
                 std::vector<tarn_kit::ustring> commands);

    /// The number of commands answered.
    DWORD Run() override;

    /// Stops the run before the next command; any thread may call it.
    void Cancel() noexcept { ::InterlockedExchange(&m_nCancel, 1); }
    bool IsCancelled() const noexcept { return m_nCancel != 0; }
    size_t GetCount() const noexcept { return m_commands.size(); }
    size_t GetDone() const noexcept { return size_t(m_nDone); }

    /// The entries since the last call; the window's thread calls it.
    std::vector<SEntry> TakeEntries();
    /// The last entry of the run, empty before the first.
    SEntry GetLast();

private:
    void Add(SEntry entry);

    HWND m_hNotify;
    CConnection& m_connection;
    tarn_kit::CLogFile& m_log;
    bool m_bHex;
    std::vector<tarn_kit::ustring> m_commands;
    volatile LONG m_nCancel = 0;
    volatile LONG m_nDone = 0;
    tarn_kit::CCriticalSection m_cs;
    std::vector<SEntry> m_entries;
    SEntry m_last = {};
};

/// The commands of a script file: one a line, UTF-8 or ANSI text, blank lines and lines
/// starting with '#' skipped. Throws CWinException when the file cannot be read.
std::vector<tarn_kit::ustring> ReadScript(const wchar_t* szPath);
