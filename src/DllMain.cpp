// Entry point and the library's static objects, constructed in this order when
// the DLL is loaded and destroyed in reverse when it is unloaded.
#include "module.h"

#include <tarn_kit/dialogs.h>
#include <tarn_kit/exceptions.h>
#include <tarn_kit/ustring.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
HINSTANCE g_hLibrary = nullptr;
}

namespace tarn_kit {

CLocale ustring::m_Locale(LOCALE_USER_DEFAULT);
ustring CStdException::m_strAppName;
// The registry's lock before the registry: destroyed after it, so a window
// unregistered during unloading still finds its lock.
CCriticalSection CWnd::m_cs;
std::map<HWND, CWnd*> CWnd::m_map;

HINSTANCE detail::LibraryModule() noexcept
{
    // The C runtime constructs the statics before it calls DllMain; code run
    // from a constructor still finds the module through the image base.
    return g_hLibrary ? g_hLibrary : reinterpret_cast<HINSTANCE>(&__ImageBase);
}

} // namespace tarn_kit

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        g_hLibrary = hInstance;
    return TRUE;
}
