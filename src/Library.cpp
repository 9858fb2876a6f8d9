// CLibrary: a DLL kept loaded for a scope.
#include <tarn_kit/library.h>

#include "throw.h"

namespace {
constexpr const wchar_t* kModule = L".\\Library";
}

namespace tarn_kit {

CLibrary::CLibrary(const wchar_t* szFileName) : m_hModule(::LoadLibraryW(szFileName))
{
    if (!m_hModule)
        TK_THROW_LAST_ERROR(L"LoadLibrary");
}

CLibrary::~CLibrary()
{
    if (m_hModule)
        ::FreeLibrary(m_hModule);
}

} // namespace tarn_kit
