// CStdException, its CExInfo snapshot, and CWinException.
#include <tarn_kit/exceptions.h>

#include <tarn_kit/file.h>
#include <tarn_kit/translator.h>

#include "MessageDlg.h"
#include "module.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace tarn_kit {

namespace {

void StripSpaces(ustring& s)
{
    s.trim(L' ');
}

// The entry for code in "Win32Errors.txt" beside the library: UTF-16 with a
// byte-order mark, one "code, message" per line. Read anew at each lookup;
// any failure simply means that there is no entry.
bool LookUpMessageFile(DWORD code, ustring& message)
{
    try {
        ustring module, drive, dir, name, ext, path;
        CFile::GetModuleFileNameW(detail::LibraryModule(), module, true);
        CFile::SplitPath(module, drive, dir, name, ext);
        CFile::MakePath(path, drive, dir, L"Win32Errors.txt", nullptr);
        CFile file(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);

        wchar_t mark = 0;
        unsigned int read = 0;
        file.Read(&mark, 2, read, nullptr);
        if (read != 2 || mark != 0xFEFF)
            return false;

        // Lines are taken from the front of the pending text through an
        // offset, so a long file costs one pass.
        ustring pending;
        std::size_t start = 0;
        wchar_t buffer[256];
        for (;;) {
            if (!file.Read(buffer, sizeof buffer, read, nullptr) || read == 0)
                return false;
            pending.erase(0, start);
            start = 0;
            for (std::size_t i = 0; i < read / 2; ++i)
                if (buffer[i] != L'\r')
                    pending += buffer[i];
            for (;;) {
                start = pending.find_first_not_of(L'\n', start);
                if (start == ustring::npos) {
                    start = pending.size();
                    break;
                }
                std::size_t comma = pending.find(L',', start);
                if (comma == ustring::npos)
                    break;
                std::size_t end = pending.find(L'\n', comma + 1);
                if (end == ustring::npos)
                    break;
                ustring number(pending.data() + start, comma - start);
                ustring text(pending.data() + comma + 1, end - comma - 1);
                StripSpaces(number);
                StripSpaces(text);
                unsigned long value = number.compareNoCase(L"0x", 2) == 0
                                          ? std::wcstoul(number.c_str() + 2, nullptr, 16)
                                          : std::wcstoul(number.c_str(), nullptr, 10);
                if (value == code) {
                    text.replace(ustring(L"\\r"), ustring(L"\r"));
                    text.replace(ustring(L"\\n"), ustring(L"\n"));
                    text.replace(ustring(L"\\\""), ustring(L"\""));
                    text.trim(L'"');
                    message = text;
                    return true;
                }
                start = end + 1;
            }
        }
    } catch (const CStdException&) {
        return false;
    }
}

} // namespace

// CStdException

CStdException::CStdException(unsigned int nLine, const wchar_t* szFile, const wchar_t* szFunction)
    : m_nLine(nLine), m_strFileName(szFile), m_strFunction(szFunction)
{}

CStdException::~CStdException() = default;

bool CStdException::GetErrorMessageUI(ustring& s) const
{
    return GetErrorMessage(s);
}

int CStdException::ReportError(HWND hParent, unsigned int type) const
{
    return ReportError(CExInfo(*this), hParent, type);
}

int CStdException::ReportError(const CExInfo& info, HWND hParent, unsigned int type)
{
    ustring message = info.GetErrorMessageUI();
    CTranslatorInstance::Ref().XlateEx(message);
    // Source, function and file are shown as captured: a source loaded from a
    // resource is already translated.
    CMessageDlgEx dlg(hParent, message.c_str(), GetAppName().c_str(), info.GetSource().c_str(),
                      info.GetFunction().c_str(), info.GetFileName().c_str(), info.GetLine(), type);
    return dlg.DoModal();
}

void CStdException::SetAppName(const wchar_t* szName)
{
    m_strAppName = szName;
}

ustring CStdException::GetAppName()
{
    if (!m_strAppName.empty())
        return m_strAppName;
    // Computed on every call, so a renamed executable is seen at once.
    wchar_t path[260] = {};
    if (!::GetModuleFileNameW(nullptr, path, 260))
        return ustring();
    wchar_t name[256] = {};
    if (_wsplitpath_s(path, nullptr, 0, nullptr, 0, name, 256, nullptr, 0) != 0)
        return ustring();
    return ustring(name);
}

// CStdException::CExInfo

CStdException::CExInfo::CExInfo() : m_nLine(0) {}

CStdException::CExInfo::CExInfo(const CStdException& e)
    : m_nLine(e.GetLine()), m_strFileName(e.GetFileName()), m_strFunction(e.GetFunction())
{
    // Each field keeps whatever the call wrote, whether or not it succeeded.
    e.GetSource(m_strSource);
    e.GetErrorMessage(m_strErrorMessage);
    e.GetErrorMessageUI(m_strErrorMessageUI);
}

void CStdException::CExInfo::Clear()
{
    m_nLine = 0;
    m_strFileName.clear();
    m_strFunction.clear();
    m_strSource.clear();
    m_strErrorMessage.clear();
    m_strErrorMessageUI.clear();
}

// CWinException

CWinException::CWinException(unsigned int nLine, const wchar_t* szFile, const wchar_t* szFunction,
                             DWORD dwErrorCode)
    : CStdException(nLine, szFile, szFunction), m_dwErrorCode(dwErrorCode)
{}

CWinException::~CWinException() = default;

CSmartPtr<CStdException> CWinException::Clone() const
{
    return CSmartPtr<CStdException>(new CWinException(*this));
}

void CWinException::Throw() const
{
    throw CWinException(*this);
}

bool CWinException::GetSource(ustring& s) const
{
    return s.xload(detail::LibraryModule(), 101);
}

bool CWinException::GetErrorMessage(ustring& s) const
{
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                   FORMAT_MESSAGE_FROM_SYSTEM,
                               nullptr, m_dwErrorCode, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n != 0 && buffer) {
        s.assign(buffer, n);
        ::LocalFree(buffer);
        return true;
    }
    if (buffer)
        ::LocalFree(buffer);
    if (LookUpMessageFile(m_dwErrorCode, s))
        return true;
    s.sprintf(L"Unknown error: %d (0x%X).", static_cast<int>(m_dwErrorCode), m_dwErrorCode);
    return false;
}

} // namespace tarn_kit
