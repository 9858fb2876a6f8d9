// The main window. Everything that talks to the receiver runs through CAPC, so the
// window repaints during a slow reply and the Cancel button still works.
#include "main_dlg.h"

#include "resource.h"

#include <tarn_kit/exceptions.h>
#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include <commdlg.h>

#include <cstdarg>

using namespace tarn_kit;

namespace {

const DWORD kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
const wchar_t* const kStopBits[] = {L"1", L"1.5", L"2"};

// The tip with its window handle, to place it over the reply list.
class CProgressTip : public CTipDlg
{
public:
    CProgressTip(HWND hParent, const wchar_t* text, HWND hOver) : CTipDlg(hParent, text, false)
    {
        RECT over, tip;
        ::GetWindowRect(hOver, &over);
        ::GetWindowRect(m_hWnd, &tip);
        ::SetWindowPos(m_hWnd, nullptr,
                       over.right - (tip.right - tip.left) - ::GetSystemMetrics(SM_CXVSCROLL) - 8,
                       over.top + 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::UpdateWindow(m_hWnd);
    }
};

// The system's texts end in a line break; a log line does not.
ustring Trimmed(ustring text)
{
    return text.trim_right(std::vector<wchar_t>{L'\r', L'\n', L' '});
}

ustring ExeFolder()
{
    ustring path, drive, dir, name, ext;
    CFile::GetModuleFileNameW(nullptr, path, true);
    CFile::SplitPath(path.c_str(), drive, dir, name, ext);
    return drive + dir;
}

} // namespace

CMainDlg::CMainDlg(HINSTANCE hInstance, CSettings& settings)
    : CDialog(hInstance, IDD_MAIN, nullptr), m_settings(settings)
{}

CMainDlg::~CMainDlg()
{
    if (m_hFont)
        ::DeleteObject(m_hFont);
}

ustring CMainDlg::Text(UINT nID) const
{
    ustring s;
    s.xload(m_hInstance, nID);
    return s;
}

void CMainDlg::Status(UINT nID, ...)
{
    va_list args;
    va_start(args, nID);
    ustring text;
    text.vsprintf(Text(nID).c_str(), args);
    va_end(args);
    SetDlgItemTextW(IDC_STATUS, text.c_str());
}

bool CMainDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    for (int n = 1; n <= 8; ++n)
        ::SendMessageW(Item(IDC_PORT), CB_ADDSTRING, 0, LPARAM((L"COM" + Decimal(n)).c_str()));
    for (DWORD baud : kBauds)
        ::SendMessageW(Item(IDC_BAUD), CB_ADDSTRING, 0, LPARAM(Decimal(baud).c_str()));
    for (int n = 5; n <= 8; ++n)
        ::SendMessageW(Item(IDC_DATABITS), CB_ADDSTRING, 0, LPARAM(Decimal(n).c_str()));
    for (UINT id = IDS_PARITY_NONE; id <= IDS_PARITY_SPACE; ++id)
        ::SendMessageW(Item(IDC_PARITY), CB_ADDSTRING, 0, LPARAM(Text(id).c_str()));
    for (const wchar_t* stop : kStopBits)
        ::SendMessageW(Item(IDC_STOPBITS), CB_ADDSTRING, 0, LPARAM(stop));
    ::SendMessageW(Item(IDC_COMMAND), EM_LIMITTEXT, 200, 0);

    // The command line keeps its own proc for everything but Up and Down.
    ::SetWindowLongPtrW(Item(IDC_COMMAND), GWLP_USERDATA, LONG_PTR(this));
    m_pfnCommandProc = WNDPROC(
        ::SetWindowLongPtrW(Item(IDC_COMMAND), GWLP_WNDPROC, LONG_PTR(&CMainDlg::CommandProc)));

    WriteControls();
    ApplyFont();
    ::CheckMenuItem(::GetMenu(m_hWnd), ID_VIEW_HEXLOG,
                    m_settings.bHexLog ? MF_CHECKED : MF_UNCHECKED);
    ::CheckMenuRadioItem(::GetMenu(m_hWnd), ID_VIEW_ENGLISH, ID_VIEW_GERMAN,
                         m_settings.strLanguage == L"de" ? ID_VIEW_GERMAN : ID_VIEW_ENGLISH,
                         MF_BYCOMMAND);
    // Window, menu and controls in the user's language.
    CTranslatorInstance::Ref().XlateWnd(m_hWnd);

    if (m_settings.ptWindow.x != CW_USEDEFAULT) {
        // Only where a monitor still shows the title bar.
        POINT title = {m_settings.ptWindow.x + 40, m_settings.ptWindow.y + 10};
        if (::MonitorFromPoint(title, MONITOR_DEFAULTTONULL))
            ::SetWindowPos(m_hWnd, nullptr, m_settings.ptWindow.x, m_settings.ptWindow.y, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER);
        else
            CenterWindow();
    } else {
        CenterWindow();
    }
    OpenLog();
    Status(IDS_READY);
    UpdateControls();
    ::SetFocus(Item(IDC_COMMAND));
    return false; // the focus is set
}

bool CMainDlg::OnWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (hWnd == m_hWnd) {
        switch (uMsg) {
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam));
        case WM_APP_PROGRESS:
            OnProgress();
            return true;
        case WM_CLOSE:
            if (m_pRun) { // first the run, then the window
                m_pRun->Cancel();
                return true;
            }
            SaveAndEnd(IDCANCEL);
            return true;
        }
    }
    return CDialog::OnWindowProc(hWnd, uMsg, wParam, lParam, pResult);
}

bool CMainDlg::OnCommand(UINT nID)
{
    if (m_pRun) { // while commands run only Cancel counts
        if (nID == IDC_STOP || nID == IDCANCEL)
            m_pRun->Cancel();
        return true;
    }
    switch (nID) {
    case IDC_SERIAL:
    case IDC_TCP:
        UpdateControls();
        return false;
    case IDC_CONNECT:
        Connect();
        return true;
    case IDC_DISCONNECT:
        Disconnect(L"by the user");
        Status(IDS_DISCONNECTED);
        return true;
    case IDC_RUN:
    case ID_FILE_RUN: {
        CFileDlg dlg(m_hWnd, true, L"txt", m_settings.strLastScript.c_str(),
                     OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, Text(IDS_FILTER_SCRIPTS).c_str());
        if (dlg.DoModal() == IDOK)
            RunScript(dlg.GetPathName());
        return true;
    }
    case ID_FILE_RUNLAST:
        RunScript(m_settings.strLastScript);
        return true;
    case ID_FILE_EXPORT:
        ExportSettings();
        return true;
    case ID_FILE_IMPORT:
        ImportSettings();
        return true;
    case ID_FILE_EXIT:
        SaveAndEnd(IDCANCEL);
        return true;
    case ID_VIEW_FONT:
        ChooseFont();
        return true;
    case ID_VIEW_HEXLOG:
        m_settings.bHexLog = !m_settings.bHexLog;
        ::CheckMenuItem(::GetMenu(m_hWnd), ID_VIEW_HEXLOG,
                        m_settings.bHexLog ? MF_CHECKED : MF_UNCHECKED);
        return true;
    case ID_VIEW_LOGFOLDER:
        ChooseLogFolder();
        return true;
    case ID_VIEW_CLEAR:
        ::SendMessageW(Item(IDC_REPLIES), LB_RESETCONTENT, 0, 0);
        return true;
    case ID_VIEW_ENGLISH:
    case ID_VIEW_GERMAN: {
        const wchar_t* language = nID == ID_VIEW_GERMAN ? L"de" : L"en";
        if (m_settings.strLanguage != language) {
            m_settings.strLanguage = language;
            SaveAndEnd(kRestart);
        }
        return true;
    }
    }
    return false; // IDOK and IDCANCEL go to OnOK and OnCancel
}

void CMainDlg::OnOK()
{
    if (::GetFocus() == Item(IDC_COMMAND) || ::GetFocus() == Item(IDOK))
        SendCommandLine();
}

void CMainDlg::OnCancel()
{
    SetDlgItemTextW(IDC_COMMAND, L"");
}

void CMainDlg::Connect()
{
    ReadControls();
    Disconnect(nullptr);
    Status(IDS_CONNECTING);
    if (m_settings.line.bTcp)
        m_log.Write(L"Connecting to %ls:%lu", m_settings.line.strHost.c_str(),
                    m_settings.line.dwTcpPort);
    else
        m_log.Write(L"Connecting to %ls", m_settings.line.strPort.c_str());
    std::unique_ptr<CConnection> connection;
    try {
        CWaitCursor wait;
        for (int id : {IDC_CONNECT, IDC_SERIAL, IDC_TCP})
            ::EnableWindow(Item(id), FALSE);
        CJob job([&] { connection = CConnection::Open(m_settings.line); });
        job.Invoke();
    } catch (const CStdException& e) {
        CStdException::CExInfo info(e);
        m_log.Write(L"Connection failed: %ls (%ls)", Trimmed(info.GetErrorMessage()).c_str(),
                    info.GetFunction().c_str());
        Status(IDS_FAILED);
        UpdateControls();
        e.ReportError(m_hWnd, MB_OK | MB_ICONERROR);
        return;
    }
    m_connection = std::move(connection);
    m_log.Write(L"Connected to %ls", m_connection->Describe().c_str());
    Status(IDS_CONNECTED, m_connection->Describe().c_str());
    UpdateControls();
    ::SetFocus(Item(IDC_COMMAND));
}

void CMainDlg::Disconnect(const wchar_t* szWhy)
{
    if (!m_connection)
        return;
    if (szWhy)
        m_log.Write(L"Disconnected from %ls %ls", m_connection->Describe().c_str(), szWhy);
    m_connection.reset();
    UpdateControls();
}

void CMainDlg::SendCommandLine()
{
    ustring command;
    GetDlgItemTextW(IDC_COMMAND, command);
    command.trim();
    if (command.empty())
        return;
    if (m_history.empty() || m_history.back() != command)
        m_history.push_back(command);
    m_nHistory = m_history.size();
    SetDlgItemTextW(IDC_COMMAND, L"");
    if (!m_connection) {
        Status(IDS_NOT_CONNECTED);
        return;
    }
    RunCommands({command}, false);
}

void CMainDlg::RunScript(const ustring& path)
{
    if (!m_connection) {
        Status(IDS_NOT_CONNECTED);
        return;
    }
    std::vector<ustring> commands;
    try {
        commands = ReadScript(path.c_str());
    } catch (const CStdException& e) {
        e.ReportError(m_hWnd, MB_OK | MB_ICONERROR);
        return;
    }
    m_settings.strLastScript = path;
    if (commands.empty()) {
        Status(IDS_SCRIPT_EMPTY);
        return;
    }
    m_log.Write(L"Script %ls: %u commands", path.c_str(), unsigned(commands.size()));
    RunCommands(std::move(commands), true);
}

void CMainDlg::RunCommands(std::vector<ustring> commands, bool bScript)
{
    CExchangeRun run(m_hWnd, *m_connection, m_log, m_settings.bHexLog, std::move(commands));
    m_pRun = &run;
    UpdateControls();
    if (bScript) {
        Status(IDS_SCRIPT_PROGRESS, 0, unsigned(run.GetCount()));
        OnProgress(); // the tip at once
    } else {
        Status(IDS_SENDING);
    }
    try {
        run.Invoke();
    } catch (const CStdException& e) {
        // The line is gone or timed out: what came before it still shows.
        ShowEntries(run.TakeEntries());
        m_pTip.reset();
        m_pRun = nullptr;
        CStdException::CExInfo info(e);
        m_log.Write(L"Line lost: %ls (%ls)", Trimmed(info.GetErrorMessage()).c_str(),
                    info.GetFunction().c_str());
        Disconnect(L"after an error");
        Status(IDS_LOST);
        e.ReportError(m_hWnd, MB_OK | MB_ICONERROR);
        return;
    }
    ShowEntries(run.TakeEntries());
    const CExchangeRun::SEntry entry = run.GetLast();
    m_pTip.reset();
    m_pRun = nullptr;
    UpdateControls();
    ::SetFocus(Item(IDC_COMMAND));
    const unsigned nDone = unsigned(run.GetDone()), nCount = unsigned(run.GetCount());
    if (bScript && run.IsCancelled() && nDone < nCount) {
        m_log.Write(L"Script cancelled after %u of %u commands", nDone, nCount);
        Status(IDS_SCRIPT_CANCELLED, nDone, nCount);
    } else if (bScript) {
        m_log.Write(L"Script done: %u commands", nCount);
        Status(IDS_SCRIPT_DONE, nCount);
    } else if (entry.bError) {
        Status(IDS_ERROR_REPLY, entry.reply.c_str());
    } else if (nDone) {
        Status(IDS_REPLY, entry.reply.c_str());
    }
}

// The worker's news: new replies in the list, the count in the tip and the status.
void CMainDlg::OnProgress()
{
    if (!m_pRun)
        return;
    ShowEntries(m_pRun->TakeEntries());
    if (m_pRun->GetCount() < 2)
        return;
    const unsigned nDone = unsigned(m_pRun->GetDone()), nCount = unsigned(m_pRun->GetCount());
    Status(IDS_SCRIPT_PROGRESS, nDone, nCount);
    ustring text;
    GetDlgItemTextW(IDC_STATUS, text);
    m_pTip.reset(); // a tip shows one text: a new one for each step
    m_pTip = std::make_unique<CProgressTip>(m_hWnd, text.c_str(), Item(IDC_REPLIES));
}

void CMainDlg::ShowEntries(std::vector<CExchangeRun::SEntry> entries)
{
    HWND hList = Item(IDC_REPLIES);
    for (const CExchangeRun::SEntry& entry : entries) {
        ::SendMessageW(hList, LB_ADDSTRING, 0, LPARAM((L"> " + entry.command).c_str()));
        ustring line = entry.bError ? L"! " + entry.reply : L"< " + entry.reply;
        if (!entry.raw.empty())
            line += L"   " + entry.raw;
        ::SendMessageW(hList, LB_ADDSTRING, 0, LPARAM(line.c_str()));
    }
    const LRESULT n = ::SendMessageW(hList, LB_GETCOUNT, 0, 0);
    if (!entries.empty() && n > 0)
        ::SendMessageW(hList, LB_SETTOPINDEX, WPARAM(n - 1), 0);
}

void CMainDlg::ChooseFont()
{
    CLogFont font = m_settings.font;
    if (!font.lfFaceName[0]) { // start from the list's font as it is
        HFONT hFont = HFONT(::SendMessageW(Item(IDC_REPLIES), WM_GETFONT, 0, 0));
        LOGFONTW lf = {};
        if (hFont && ::GetObjectW(hFont, sizeof lf, &lf))
            font = lf;
    }
    CHOOSEFONTW cf = {};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = m_hWnd;
    cf.lpLogFont = font;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (!::ChooseFontW(&cf))
        return;
    m_settings.font = font;
    ApplyFont();
}

void CMainDlg::ApplyFont()
{
    if (!m_settings.font.lfFaceName[0])
        return;
    const LOGFONTW lf = m_settings.font;
    HFONT hFont = ::CreateFontIndirectW(&lf);
    if (!hFont)
        return;
    ::SendMessageW(Item(IDC_REPLIES), WM_SETFONT, WPARAM(hFont), TRUE);
    if (m_hFont)
        ::DeleteObject(m_hFont);
    m_hFont = hFont;
}

void CMainDlg::ChooseLogFolder()
{
    ustring folder = m_settings.strLogFolder.empty() ? ExeFolder() : m_settings.strLogFolder;
    CBrowseForFolderDlg dlg(m_hWnd, Text(IDS_LOG_FOLDER).c_str(), 0, folder);
    if (dlg.DoModal() != IDOK)
        return;
    m_settings.strLogFolder = folder;
    OpenLog();
}

void CMainDlg::ExportSettings()
{
    CFileDlg dlg(m_hWnd, false, L"ini", (ExeFolder() + L"receiver.ini").c_str(), OFN_PATHMUSTEXIST,
                 Text(IDS_FILTER_INI).c_str());
    if (dlg.DoModal() != IDOK)
        return;
    ReadControls();
    if (m_settings.Export(dlg.GetPathName().c_str()))
        Status(IDS_EXPORTED, dlg.GetPathName().c_str());
}

void CMainDlg::ImportSettings()
{
    CFileDlg dlg(m_hWnd, true, L"ini", (ExeFolder() + L"receiver.ini").c_str(),
                 OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST, Text(IDS_FILTER_INI).c_str());
    if (dlg.DoModal() != IDOK)
        return;
    m_settings.Import(dlg.GetPathName().c_str());
    WriteControls();
    ApplyFont();
    OpenLog();
    Status(IDS_IMPORTED, dlg.GetPathName().c_str());
}

void CMainDlg::OpenLog()
{
    ustring folder = m_settings.strLogFolder.empty() ? ExeFolder() : m_settings.strLogFolder;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    const ustring path = folder + L"receiver.log";
    if (m_log.Open(path.c_str()))
        m_log.Write(L"Log opened by %ls", CStdException::GetAppName().c_str());
    else
        Status(IDS_LOG_TO, path.c_str());
}

void CMainDlg::SaveAndEnd(int nResult)
{
    ReadControls();
    RECT r;
    if (!::IsIconic(m_hWnd) && ::GetWindowRect(m_hWnd, &r))
        m_settings.ptWindow = {r.left, r.top};
    m_settings.Save();
    Disconnect(L"at the end");
    ::EndDialog(m_hWnd, nResult);
}

void CMainDlg::ReadControls()
{
    SLineSettings& line = m_settings.line;
    line.bTcp = ::IsDlgButtonChecked(m_hWnd, IDC_TCP) == BST_CHECKED;
    GetDlgItemTextW(IDC_PORT, line.strPort);
    line.strPort.trim();
    ustring baud;
    GetDlgItemTextW(IDC_BAUD, baud);
    if (DWORD n = wcstoul(baud.c_str(), nullptr, 10))
        line.dwBaud = n;
    line.nDataBits = BYTE(5 + ::SendMessageW(Item(IDC_DATABITS), CB_GETCURSEL, 0, 0));
    line.nParity = BYTE(::SendMessageW(Item(IDC_PARITY), CB_GETCURSEL, 0, 0));
    line.nStopBits = BYTE(::SendMessageW(Item(IDC_STOPBITS), CB_GETCURSEL, 0, 0));
    GetDlgItemTextW(IDC_HOST, line.strHost);
    line.strHost.trim();
    BOOL bOk = FALSE;
    if (UINT port = ::GetDlgItemInt(m_hWnd, IDC_TCPPORT, &bOk, FALSE); bOk && port)
        line.dwTcpPort = port;
}

void CMainDlg::WriteControls()
{
    const SLineSettings& line = m_settings.line;
    ::CheckRadioButton(m_hWnd, IDC_SERIAL, IDC_TCP, line.bTcp ? IDC_TCP : IDC_SERIAL);
    SetDlgItemTextW(IDC_PORT, line.strPort.c_str());
    SetDlgItemTextW(IDC_BAUD, Decimal(line.dwBaud).c_str());
    ::SendMessageW(Item(IDC_DATABITS), CB_SETCURSEL,
                   line.nDataBits - 5u < 4 ? line.nDataBits - 5 : 3, 0);
    ::SendMessageW(Item(IDC_PARITY), CB_SETCURSEL, line.nParity < 5 ? line.nParity : 0, 0);
    ::SendMessageW(Item(IDC_STOPBITS), CB_SETCURSEL, line.nStopBits < 3 ? line.nStopBits : 0, 0);
    SetDlgItemTextW(IDC_HOST, line.strHost.c_str());
    ::SetDlgItemInt(m_hWnd, IDC_TCPPORT, line.dwTcpPort, FALSE);
}

void CMainDlg::UpdateControls()
{
    const bool bIdle = m_pRun == nullptr, bOpen = m_connection != nullptr;
    const bool bTcp = ::IsDlgButtonChecked(m_hWnd, IDC_TCP) == BST_CHECKED;
    for (int id : {IDC_SERIAL, IDC_TCP})
        ::EnableWindow(Item(id), bIdle && !bOpen);
    for (int id : {IDC_PORT, IDC_BAUD, IDC_DATABITS, IDC_PARITY, IDC_STOPBITS})
        ::EnableWindow(Item(id), bIdle && !bOpen && !bTcp);
    for (int id : {IDC_HOST, IDC_TCPPORT})
        ::EnableWindow(Item(id), bIdle && !bOpen && bTcp);
    ::EnableWindow(Item(IDC_CONNECT), bIdle && !bOpen);
    ::EnableWindow(Item(IDC_DISCONNECT), bIdle && bOpen);
    for (int id : {IDC_RUN, IDC_COMMAND, IDOK})
        ::EnableWindow(Item(id), bIdle && bOpen);
    ::EnableWindow(Item(IDC_STOP), !bIdle);
    HMENU hMenu = ::GetMenu(m_hWnd);
    ::EnableMenuItem(
        hMenu, ID_FILE_RUNLAST,
        MF_BYCOMMAND |
            (bIdle && bOpen && !m_settings.strLastScript.empty() ? MF_ENABLED : MF_GRAYED));
}

LRESULT CALLBACK CMainDlg::CommandProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CMainDlg* pDlg = reinterpret_cast<CMainDlg*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (uMsg == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        pDlg->StepHistory(wParam == VK_UP ? -1 : 1);
        return 0;
    }
    return ::CallWindowProcW(pDlg->m_pfnCommandProc, hWnd, uMsg, wParam, lParam);
}

void CMainDlg::StepHistory(int nStep)
{
    if (m_history.empty())
        return;
    if (nStep < 0 && m_nHistory > 0)
        --m_nHistory;
    else if (nStep > 0 && m_nHistory < m_history.size())
        ++m_nHistory;
    // One step past the newest entry is an empty line again.
    const ustring text = m_nHistory < m_history.size() ? m_history[m_nHistory] : ustring();
    SetDlgItemTextW(IDC_COMMAND, text.c_str());
    ::SendMessageW(Item(IDC_COMMAND), EM_SETSEL, text.size(), text.size());
}
