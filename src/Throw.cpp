// The one way every module reports a failed platform call.
#include "throw.h"

#include <tarn_kit/exceptions.h>

#include <cassert>

namespace tarn_kit {
namespace detail {

void ThrowLastError(unsigned int line, const wchar_t* module, const wchar_t* call, DWORD code)
{
    // A failure without a code is a platform quirk worth seeing in a debug build.
    assert(code != 0 && "failed call left no error code");
    throw CWinException(line, module, call, code);
}

void ThrowWsaError(unsigned int line, const wchar_t* module, const wchar_t* call, int code)
{
    assert(code != 0 && "failed Winsock call left no error code");
    throw CWinException(line, module, call, static_cast<DWORD>(code));
}

void ThrowHResult(unsigned int line, const wchar_t* module, const wchar_t* call, HRESULT hr)
{
    throw CWinException(line, module, call, static_cast<DWORD>(hr));
}

void ThrowCode(unsigned int line, const wchar_t* module, const wchar_t* call, DWORD code)
{
    throw CWinException(line, module, call, code);
}

} // namespace detail
} // namespace tarn_kit
