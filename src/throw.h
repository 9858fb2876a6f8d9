// Internal: how every module reports a failed platform call.
//
// Each source file defines its module name once,
//     namespace { constexpr const wchar_t* kModule = L".\\File"; }
// and throws through one macro per way a call reports failure. The macros read
// the error code as their first act, before anything else can change it.
#pragma once

#include <windows.h>

namespace tarn_kit {
namespace detail {

[[noreturn]] void ThrowLastError(unsigned int line, const wchar_t* module, const wchar_t* call,
                                 DWORD code);
[[noreturn]] void ThrowWsaError(unsigned int line, const wchar_t* module, const wchar_t* call,
                                int code);
[[noreturn]] void ThrowHResult(unsigned int line, const wchar_t* module, const wchar_t* call,
                               HRESULT hr);
[[noreturn]] void ThrowCode(unsigned int line, const wchar_t* module, const wchar_t* call,
                            DWORD code);

} // namespace detail
} // namespace tarn_kit

/// A call that reports through GetLastError().
#define TK_THROW_LAST_ERROR(call)                                                                  \
    ::tarn_kit::detail::ThrowLastError(__LINE__, kModule, call, ::GetLastError())
/// A Winsock call (WSAGetLastError()); the source file includes winsock2.h.
#define TK_THROW_WSA_ERROR(call)                                                                   \
    ::tarn_kit::detail::ThrowWsaError(__LINE__, kModule, call, ::WSAGetLastError())
/// A COM call and the HRESULT it returned.
#define TK_THROW_HRESULT(call, hr) ::tarn_kit::detail::ThrowHResult(__LINE__, kModule, call, hr)
/// A fault the library detects itself, with a Win32 code chosen for it.
#define TK_THROW_CODE(call, code) ::tarn_kit::detail::ThrowCode(__LINE__, kModule, call, code)
