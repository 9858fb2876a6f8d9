// CWaitCursor: a cursor for the lifetime of an object.
#include <tarn_kit/dialogs.h>

namespace tarn_kit {

CWaitCursor::CWaitCursor(HINSTANCE hInstance, const wchar_t* name)
    : m_hOldCursor(::SetCursor(hInstance || name ? ::LoadCursorW(hInstance, name) : nullptr))
{}

CWaitCursor::~CWaitCursor()
{
    Restore();
}

void CWaitCursor::Restore()
{
    ::SetCursor(m_hOldCursor);
}

} // namespace tarn_kit
