// CCOMInitializer: COM initialised on the current thread for a scope.
#include <tarn_kit/library.h>

#include "throw.h"

#include <objbase.h>

namespace {
constexpr const wchar_t* kModule = L".\\COM";
}

namespace tarn_kit {

CCOMInitializer::CCOMInitializer(bool bThrowOnFailure) : m_bInitialized(false)
{
    // S_FALSE (already initialised here) counts too: it must be balanced as well.
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        m_bInitialized = true;
    else if (bThrowOnFailure)
        TK_THROW_HRESULT(L"CoInitialize", hr);
}

CCOMInitializer::~CCOMInitializer()
{
    if (m_bInitialized)
        ::CoUninitialize();
}

} // namespace tarn_kit
