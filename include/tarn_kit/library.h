// Modules and COM kept alive for a scope.
//
// Classes in this file:
//   CLibrary        - keeps a DLL loaded for its lifetime
//   CCOMInitializer - keeps COM initialised on the current thread for its lifetime
#pragma once

#include "config.h"
#include "exceptions.h"

namespace tarn_kit {

// Holds one reference to a DLL (LoadLibraryW) until it is destroyed.
//
// Copies share the handle field and each would free the module: a scope guard is one object,
// never copied.
class TARNKIT_API CLibrary
{
public:
    // Construction
    /// LoadLibraryW; throws "LoadLibrary" (ERROR_MOD_NOT_FOUND for a missing file).
    explicit CLibrary(const wchar_t* szFileName);
    virtual ~CLibrary();

private:
    HMODULE m_hModule;
};

// Initialises COM as multi-threaded apartment on the current thread until it is destroyed.
//
// Copies share the flag and each would uninitialise COM: a scope guard is one object, never
// copied.
class TARNKIT_API CCOMInitializer
{
public:
    // Construction
    /// CoInitializeEx(nullptr, COINIT_MULTITHREADED); S_FALSE counts as success. A failure
    /// (RPC_E_CHANGED_MODE on a single-threaded apartment) throws "CoInitialize" with the
    /// HRESULT when bThrowOnFailure is true; otherwise the object holds nothing.
    explicit CCOMInitializer(bool bThrowOnFailure);
    /// CoUninitialize, when the initialisation succeeded.
    virtual ~CCOMInitializer();

private:
    bool m_bInitialized;
};

} // namespace tarn_kit
