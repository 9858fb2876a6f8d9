// Shell shortcuts, icons of a chosen size and the display queries.
#include <tarn_kit/exceptions.h>
#include <tarn_kit/shell.h>

#include "throw.h"

#include <objbase.h>
#include <shlobj.h>

#include <cwchar>
#include <stdlib.h>

namespace {
constexpr const wchar_t* kModule = L".\\Shell";

// Throws the step's HRESULT when it failed; CreateShortcut turns that into false.
#define TK_SHELL_STEP(call, expr)                                                                  \
    do {                                                                                           \
        HRESULT hr_ = (expr);                                                                      \
        if (FAILED(hr_))                                                                           \
            TK_THROW_HRESULT(call, hr_);                                                           \
    } while (0)

// The drive and folder of a path ("C:\Tools\" of "C:\Tools\app.exe"; empty without a folder),
// through the split buffers the shell link keeps: a drive of 2 characters and a folder of 255.
void WorkingDirectory(const wchar_t* szTarget, wchar_t (&szOut)[MAX_PATH])
{
    // _wsplitpath_s calls the runtime's invalid-parameter handler on a part that does not
    // fit, which may end the process: measure the folder first.
    const wchar_t* szDir = szTarget;
    if (szDir[0] && szDir[1] == L':')
        szDir += 2;
    size_t nDir = 0;
    for (size_t i = 0; szDir[i]; ++i)
        if (szDir[i] == L'\\' || szDir[i] == L'/')
            nDir = i + 1;
    if (nDir > 255)
        TK_THROW_CODE(L"IShellLink::SetWorkingDirectory", ERROR_FILENAME_EXCED_RANGE);
    wchar_t szDrive[3] = {}, szFolder[256] = {};
    if (_wsplitpath_s(szTarget, szDrive, 3, szFolder, 256, nullptr, 0, nullptr, 0) != 0 ||
        _wmakepath_s(szOut, MAX_PATH, szDrive, szFolder, nullptr, nullptr) != 0)
        TK_THROW_CODE(L"IShellLink::SetWorkingDirectory", ERROR_INVALID_PARAMETER);
}

bool NoDisplayQuery()
{
    return false;
}

} // namespace

namespace tarn_kit {

bool CreateShortcut(const wchar_t* szLinkFile, const wchar_t* szTarget,
                    const wchar_t* szDescription)
{
    if (!szTarget)
        szTarget = L"";
    IShellLinkW* pLink = nullptr;
    IPersistFile* pFile = nullptr;
    bool bDone = false;
    try {
        TK_SHELL_STEP(L"CoCreateInstance",
                      ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, reinterpret_cast<void**>(&pLink)));
        TK_SHELL_STEP(L"IShellLink::QueryInterface",
                      pLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pFile)));
        TK_SHELL_STEP(L"IShellLink::SetPath", pLink->SetPath(szTarget));
        TK_SHELL_STEP(L"IShellLink::SetDescription",
                      pLink->SetDescription(szDescription ? szDescription : L""));
        wchar_t szDir[MAX_PATH] = {};
        WorkingDirectory(szTarget, szDir);
        TK_SHELL_STEP(L"IShellLink::SetWorkingDirectory", pLink->SetWorkingDirectory(szDir));
        TK_SHELL_STEP(L"IPersistFile::Save", pFile->Save(szLinkFile, TRUE));
        bDone = true;
    } catch (const CWinException&) {
        // The failing step and its HRESULT go no further: the caller gets false.
    }
    if (pFile)
        pFile->Release();
    if (pLink)
        pLink->Release();
    return bDone;
}

HICON LoadIconW(HINSTANCE hModule, UINT nId, int cx, int cy, UINT nFlags)
{
    return static_cast<HICON>(::LoadImageW(hModule, MAKEINTRESOURCEW(static_cast<WORD>(nId)),
                                           IMAGE_ICON, cx, cy, nFlags));
}

bool IsHighDPI()
{
    return NoDisplayQuery();
}

bool IsWideScreen()
{
    return NoDisplayQuery();
}

} // namespace tarn_kit
