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

// Since the ampersand goes first, the steps come down to one replacement per character: a
// reference of that, over random texts of the characters that matter.
TEST(HtmlSafeTest, OneReplacementPerCharacter)
{
    EXPECT_EQ(ustring(L"it&quot;s &lt;br&gt;<br>"), HTMLSAFE(L"it's <br>\r\n"));
    const wchar_t* const kept[] = {L"FREQ 100.5 \u00e4\u20ac\U0001F4E1\t", L"", nullptr};
    for (const wchar_t* text : kept)
        EXPECT_EQ(ustring(text ? text : L""), HTMLSAFE(text));
    std::mt19937 rng(17);
    const std::wstring alphabet = L"&'\"<>\r\nab;#";
    const wchar_t* const escaped[] = {L"&amp;", L"&quot;", L"&quot;", L"&lt;",
                                      L"&gt;",  L"",       L"<br>"};
    for (int i = 0; i < 3000; ++i) {
        std::wstring text, expected;
        for (unsigned n = rng() % 24; n > 0; --n) {
            const std::size_t k = rng() % alphabet.size();
            text += alphabet[k];
            expected += k < 7 ? std::wstring(escaped[k]) : alphabet.substr(k, 1);
        }
        ASSERT_EQ(ustring(expected), HTMLSAFE(text.c_str()));
    }
}
