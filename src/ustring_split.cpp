// ustring::split and the four ordering function objects.
#include <tarn_kit/ustring.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace tarn_kit {

namespace {

template <class C>
void AddPiece(C& out, ustring&& piece)
{
    out.push_back(std::move(piece));
}

void AddPiece(std::set<ustring, LessStrW>& out, ustring&& piece)
{
    out.insert(std::move(piece));
}

template <class C>
void SplitMultiString(const wchar_t* s, C& out)
{
    out.clear();
    if (!s)
        return;
    while (*s) {
        std::size_t n = std::wcslen(s);
        AddPiece(out, ustring(s, n));
        s += n + 1;
    }
}

// An empty separator would never advance; the whole text is then one piece.
template <class C>
void SplitAt(const wchar_t* s, const wchar_t* separator, C& out, bool bTrailingEmpty)
{
    out.clear();
    const ustring text(s);
    const std::size_t sepLength = separator ? std::wcslen(separator) : 0;
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = sepLength ? text.find(separator, pos, sepLength) : ustring::npos;
        if (found == ustring::npos) {
            AddPiece(out, ustring(text.data() + pos, text.size() - pos));
            return;
        }
        AddPiece(out, ustring(text.data() + pos, found - pos));
        pos = found + sepLength;
        if (pos == text.size() && bTrailingEmpty)
            AddPiece(out, ustring());
        if (pos >= text.size())
            return;
    }
}

template <class C>
void SplitAtChar(const wchar_t* s, wchar_t separator, C& out, bool bTrailingEmpty)
{
    const wchar_t text[2] = {separator, 0};
    SplitAt(s, text, out, bTrailingEmpty);
}

// The first run of decimal digits read as a number; everything before it,
// a minus sign included, is ignored.
int NumberOf(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && !std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    return std::atoi(s.c_str() + i);
}

int NumberOf(const ustring& s)
{
    std::size_t i = 0;
    while (i < s.size() && !std::iswdigit(s[i]))
        ++i;
    return _wtoi(s.c_str() + i);
}

} // namespace

void ustring::split(const wchar_t* s, std::vector<ustring>& out)
{
    SplitMultiString(s, out);
}

void ustring::split(const wchar_t* s, std::list<ustring>& out)
{
    SplitMultiString(s, out);
}

void ustring::split(const wchar_t* s, std::set<ustring, LessStrW>& out)
{
    SplitMultiString(s, out);
}

void ustring::split(const wchar_t* s, const wchar_t* separator, std::vector<ustring>& out,
                    bool bTrailingEmpty)
{
    SplitAt(s, separator, out, bTrailingEmpty);
}

void ustring::split(const wchar_t* s, const wchar_t* separator, std::list<ustring>& out,
                    bool bTrailingEmpty)
{
    SplitAt(s, separator, out, bTrailingEmpty);
}

void ustring::split(const wchar_t* s, const wchar_t* separator, std::set<ustring, LessStrW>& out,
                    bool bTrailingEmpty)
{
    SplitAt(s, separator, out, bTrailingEmpty);
}

void ustring::split(const wchar_t* s, wchar_t separator, std::vector<ustring>& out,
                    bool bTrailingEmpty)
{
    SplitAtChar(s, separator, out, bTrailingEmpty);
}

void ustring::split(const wchar_t* s, wchar_t separator, std::list<ustring>& out,
                    bool bTrailingEmpty)
{
    SplitAtChar(s, separator, out, bTrailingEmpty);
}

void ustring::split(const wchar_t* s, wchar_t separator, std::set<ustring, LessStrW>& out,
                    bool bTrailingEmpty)
{
    SplitAtChar(s, separator, out, bTrailingEmpty);
}

bool LessStrA::operator()(const std::string& a, const std::string& b) const
{
    return _stricmp(a.c_str(), b.c_str()) < 0;
}

bool LessStrW::operator()(const ustring& a, const ustring& b) const
{
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
}

bool LessStrAN::operator()(const std::string& a, const std::string& b) const
{
    return NumberOf(a) < NumberOf(b);
}

bool LessStrWN::operator()(const ustring& a, const ustring& b) const
{
    return NumberOf(a) < NumberOf(b);
}

} // namespace tarn_kit
