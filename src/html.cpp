// HTML resources and HTMLSAFE.
#include <tarn_kit/exceptions.h>
#include <tarn_kit/html.h>

#include "throw.h"

#include <string>

namespace {
constexpr const wchar_t* kModule = L".\\html";

// Releases a loaded resource on every path out of HtmlToString.
class CResourceRelease
{
public:
    explicit CResourceRelease(HGLOBAL h) noexcept : m_h(h) {}
    CResourceRelease(const CResourceRelease&) = delete;
    CResourceRelease& operator=(const CResourceRelease&) = delete;
    ~CResourceRelease() { ::FreeResource(m_h); }

private:
    HGLOBAL m_h;
};
} // namespace

namespace tarn_kit {

void LoadHtmlResource(ustring& html, HINSTANCE module, UINT id)
{
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(23));
    if (!found)
        TK_THROW_LAST_ERROR(L"FindResource");
    HtmlToString(html, module, found);
}

void LoadHtmlResource(ustring& html, HINSTANCE module, const wchar_t* name)
{
    HRSRC found = ::FindResourceW(module, name, MAKEINTRESOURCEW(23));
    if (!found)
        TK_THROW_LAST_ERROR(L"FindResource");
    HtmlToString(html, module, found);
}

void HtmlToString(ustring& html, HINSTANCE module, HRSRC resource)
{
    html.clear();
    HGLOBAL loaded = ::LoadResource(module, resource);
    if (!loaded)
        TK_THROW_LAST_ERROR(L"LoadResource");
    CResourceRelease release(loaded);
    const DWORD size = ::SizeofResource(module, resource);
    const void* bytes = ::LockResource(loaded);
    if (!bytes)
        TK_THROW_LAST_ERROR(L"LockResource");
    // A copy of exactly the resource's bytes, read up to its first zero byte; the
    // resource itself need not end in one.
    const std::string text(static_cast<const char*>(bytes), size);
    html = ustring::MultiByteToWideChar(text.c_str(), ustring::npos, CP_UTF8, 0);
}

ustring HTMLSAFE(const wchar_t* text)
{
    ustring safe(text);
    // The ampersand first, so that the entities of the later steps stay as they are.
    safe.replace(L"&", L"&amp;");
    safe.replace(L"'", L"&quot;");
    safe.replace(L"\"", L"&quot;");
    safe.replace(L"<", L"&lt;");
    safe.replace(L">", L"&gt;");
    safe.replace(L"\r", L"");
    safe.replace(L"\n", L"<br>");
    return safe;
}

} // namespace tarn_kit
