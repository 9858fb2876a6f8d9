// HTML resources of the test program's own module (html_resources.rc) and HTMLSAFE.
#include "test_common.h"

#include <tarn_kit/html.h>

#include <random>
#include <string>

using namespace tarn_kit;

namespace {

const wchar_t* const kHtml = L".\\html";
const HINSTANCE kModule = ::GetModuleHandleW(nullptr);

// What the platform says when it looks up a page that is not there.
DWORD FindError(HINSTANCE module, const wchar_t* name)
{
    ::SetLastError(NO_ERROR);
    EXPECT_EQ(nullptr, ::FindResourceW(module, name, MAKEINTRESOURCEW(23)));
    return ::GetLastError();
}

} // namespace

TEST(HtmlResourceTest, PagesReadAsUtf8UpToTheFirstZeroByte)
{
    struct Case
    {
        UINT id;
        std::wstring expected;
    } cases[] = {
        {100, L"<html><body><p>Empf\u00e4nger TK-100 \u2014 FREQ 100.5 \u20ac \U0001F4E1</p>"
              L"</body></html>\n"},
        {101, L"\uFEFF<p>TK-100 mit BOM: \u00fc</p>"}, // the mark stays, as U+FEFF
        {102, L"<p>before</p>"},
        {103, L"ab\uFFFDcd"}, // a stray byte becomes the replacement character
        {104, L""},
    };
    for (const Case& c : cases) {
        ustring html = L"left over from before";
        LoadHtmlResource(html, kModule, c.id);
        EXPECT_EQ(ustring(c.expected), html) << "page " << c.id;

        // The same through the resource handle.
        html = L"left over";
        HtmlToString(html, kModule,
                     ::FindResourceW(kModule, MAKEINTRESOURCEW(c.id), MAKEINTRESOURCEW(23)));
        EXPECT_EQ(ustring(c.expected), html) << "page " << c.id;
    }
    ustring named;
    LoadHtmlResource(named, kModule, L"MANUAL");
    EXPECT_EQ(ustring(cases[0].expected), named);
    LoadHtmlResource(named, kModule, L"manual"); // resource names ignore case
    EXPECT_EQ(ustring(cases[0].expected), named);
}

TEST(HtmlResourceTest, MissingPagesThrowFindResource)
{
    const HINSTANCE library = ::GetModuleHandleW(L"TarnKit.dll"); // holds no pages at all
    ASSERT_NE(nullptr, library);
    struct Case
    {
        HINSTANCE module;
        const wchar_t* name; // an id through MAKEINTRESOURCE, or a name
    } cases[] = {
        {kModule, MAKEINTRESOURCEW(999)}, {kModule, MAKEINTRESOURCEW(105)}, // exists, but as RCDATA
        {kModule, L"NOSUCHPAGE"},         {library, MAKEINTRESOURCEW(100)}, {library, L"MANUAL"},
    };
    for (const Case& c : cases) {
        const DWORD code = FindError(c.module, c.name);
        EXPECT_TRUE(code == ERROR_RESOURCE_TYPE_NOT_FOUND || code == ERROR_RESOURCE_NAME_NOT_FOUND)
            << code;
        ustring html = L"kept";
        if (IS_INTRESOURCE(c.name))
            EXPECT_WIN_EXCEPTION(LoadHtmlResource(html, c.module, UINT(UINT_PTR(c.name))), kHtml,
                                 L"FindResource", code);
        else
            EXPECT_WIN_EXCEPTION(LoadHtmlResource(html, c.module, c.name), kHtml, L"FindResource",
                                 code);
        EXPECT_EQ(ustring(L"kept"), html); // nothing was loaded, so nothing was cleared
    }
}

TEST(HtmlResourceTest, ResourceThePlatformCannotLoadThrowsLoadResource)
{
    ::SetLastError(NO_ERROR);
    ASSERT_EQ(nullptr, ::LoadResource(kModule, nullptr));
    const DWORD code = ::GetLastError();
    ustring html = L"old text";
    EXPECT_WIN_EXCEPTION(HtmlToString(html, kModule, nullptr), kHtml, L"LoadResource", code);
    EXPECT_TRUE(html.empty());
}

TEST(HtmlSafeTest, EveryEscapedCharacterClass)
{
    struct Case
    {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"a<b & \"c\"", L"a&lt;b &amp; &quot;c&quot;"},
        {L"it's", L"it&quot;s"},
        {L"line 1\r\nline 2", L"line 1<br>line 2"},
        {L"&amp;", L"&amp;amp;"},
        {L"&", L"&amp;"},
        {L"'", L"&quot;"},
        {L"\"", L"&quot;"},
        {L"<", L"&lt;"},
        {L">", L"&gt;"},
        {L"\r", L""},
        {L"\n", L"<br>"},
        {L"\n\r", L"<br>"},
        {L"\r\r\n\n", L"<br><br>"},
        {L"<br>", L"&lt;br&gt;"},
        {L"&lt;&&", L"&amp;lt;&amp;&amp;"},
        {L"FREQ 100.5 \u00e4\u20ac\U0001F4E1\t", L"FREQ 100.5 \u00e4\u20ac\U0001F4E1\t"},
        {L"", L""},
        {nullptr, L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ustring(c.expected), HTMLSAFE(c.text)) << (c.text ? c.text : L"(null)");

    // Since the ampersand goes first, the steps come down to one replacement per character.
    std::mt19937 rng(17);
    const wchar_t alphabet[] = L"&'\"<>\r\nab;#";
    for (int i = 0; i < 3000; ++i) {
        std::wstring text, expected;
        for (unsigned n = rng() % 24; n > 0; --n) {
            const wchar_t ch = alphabet[rng() % (sizeof alphabet / sizeof *alphabet - 1)];
            text += ch;
            switch (ch) {
            case L'&':
                expected += L"&amp;";
                break;
            case L'\'':
            case L'"':
                expected += L"&quot;";
                break;
            case L'<':
                expected += L"&lt;";
                break;
            case L'>':
                expected += L"&gt;";
                break;
            case L'\r':
                break;
            case L'\n':
                expected += L"<br>";
                break;
            default:
                expected += ch;
            }
        }
        ASSERT_EQ(ustring(expected), HTMLSAFE(text.c_str()));
    }
}
