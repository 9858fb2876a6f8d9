// The console's one window: the connection box, Connect/Disconnect, the command line
// with its history, the reply list and the status line.
#pragma once

#include "connection.h"
#include "runner.h"
#include "settings.h"

#include <tarn_kit/dialogs.h>
#include <tarn_kit/log_file.h>

#include <memory>
#include <vector>

/// DoModal's result when the window is to open again (the language changed).
constexpr int kRestart = 100;

class CMainDlg : public tarn_kit::CDialog
{
public:
    CMainDlg(HINSTANCE hInstance, CSettings& settings);
    ~CMainDlg() override;

    bool OnInitDialog() override;
    bool OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                      LRESULT* pResult) override;
    /// Enter: sends the command line.
    void OnOK() override;
    /// Escape: clears the command line, or stops a running script.
    void OnCancel() override;

private:
    bool OnCommand(UINT nID);
    void Connect();
    void Disconnect(const wchar_t* szWhy);
    void SendCommandLine();
    void RunScript(const tarn_kit::ustring& path);
    /// Runs the commands through CExchangeRun; the tip shows progress for a script.
    void RunCommands(std::vector<tarn_kit::ustring> commands, bool bScript);
    void OnProgress();
    void ShowEntries(std::vector<CExchangeRun::SEntry> entries);

    void ChooseFont();
    void ApplyFont();
    void ChooseLogFolder();
    void ExportSettings();
    void ImportSettings();
    void OpenLog();
    void SaveAndEnd(int nResult);

    void ReadControls();
    void WriteControls();
    void UpdateControls();
    /// A text of the string table, translated, with printf arguments.
    void Status(UINT nID, ...);
    tarn_kit::ustring Text(UINT nID) const;
    HWND Item(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

    /// Up and Down in the command line walk the history.
    static LRESULT CALLBACK CommandProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void StepHistory(int nStep);

    CSettings& m_settings;
    std::unique_ptr<CConnection> m_connection;
    tarn_kit::CLogFile m_log;
    HFONT m_hFont = nullptr;
    WNDPROC m_pfnCommandProc = nullptr;
    std::vector<tarn_kit::ustring> m_history;
    size_t m_nHistory = 0;
    CExchangeRun* m_pRun = nullptr; // set while commands run
    std::unique_ptr<tarn_kit::CTipDlg> m_pTip;
};
