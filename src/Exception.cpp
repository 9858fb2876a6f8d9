// CStdException, its CExInfo snapshot, and CWinException.
#include <tarn_kit/exceptions.h>

#include "module.h"

#include <cstdlib>

namespace tarn_kit {

// CStdException

CStdException::CStdException(unsigned int nLine, const wchar_t* szFile, const wchar_t* szFunction)
    : m_nLine(nLine), m_strFileName(szFile), m_strFunction(szFunction)
{}

CStdException::~CStdException() = default;

bool CStdException::GetErrorMessageUI(ustring& s) const
{
    return GetErrorMessage(s);
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
    return s.load(detail::LibraryModule(), 101);
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
    s.sprintf(L"Unknown error: %d (0x%X).", static_cast<int>(m_dwErrorCode), m_dwErrorCode);
    return false;
}

} // namespace tarn_kit
