// Modules, COM and shell helpers: CLibrary on a DLL of our own, CCOMInitializer in both
// apartment models judged by the platform's apartment query, shortcuts read back through the
// shell link object, icons of two sizes from this program's resources.
#include "test_common.h"

#include <tarn_kit/library.h>
#include <tarn_kit/shell.h>

#include <objbase.h>
#include <shlobj.h>

#include <thread>

using namespace tarn_kit;
using namespace tarn_kit_test;

namespace {

const wchar_t* const kProbe = L"tk_probe.dll";
const UINT kIconId = 200; // shell_resources.rc: 16x16 red, 32x32 blue

// Runs f on a new thread, which starts without COM.
template <class F>
void OnFreshThread(F f)
{
    std::thread(f).join();
}

// The calling thread's apartment as the platform reports it: APTTYPE_STA (the process's first
// one, APTTYPE_MAINSTA, included), APTTYPE_MTA, or -1 without COM.
int Apartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    HRESULT hr = ::CoGetApartmentType(&type, &qualifier);
    if (hr == CO_E_NOTINITIALIZED)
        return -1;
    EXPECT_EQ(S_OK, hr);
    return type == APTTYPE_MAINSTA ? APTTYPE_STA : type;
}

struct Shortcut
{
    std::wstring path, description, workingDir;
};

// A shortcut file as the platform's shell link object reads it.
Shortcut ReadShortcut(const std::wstring& file)
{
    Shortcut s;
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    EXPECT_EQ(S_OK, ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkW, reinterpret_cast<void**>(&link)));
    if (!link)
        return s;
    EXPECT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
    wchar_t buffer[MAX_PATH] = {};
    if (persist && SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        if (SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH)))
            s.path = buffer;
        if (SUCCEEDED(link->GetDescription(buffer, MAX_PATH)))
            s.description = buffer;
        if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH)))
            s.workingDir = buffer;
    } else {
        ADD_FAILURE() << "the shortcut could not be loaded";
    }
    if (persist)
        persist->Release();
    link->Release();
    return s;
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The colour in the middle of an icon's image and the image's width.
void IconImage(HICON icon, int& width, COLORREF& centre)
{
    ICONINFO info = {};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bm = {};
    ::GetObjectW(info.hbmColor, sizeof bm, &bm);
    width = bm.bmWidth;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, info.hbmColor);
    centre = ::GetPixel(dc, bm.bmWidth / 2, bm.bmHeight / 2);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
}

} // namespace

TEST(CLibraryTest, KeepsTheModuleLoadedForItsScope)
{
    ASSERT_EQ(nullptr, ::GetModuleHandleW(kProbe)) << "loaded before the test";
    {
        CLibrary outer(kProbe);
        HMODULE h = ::GetModuleHandleW(kProbe);
        ASSERT_NE(nullptr, h);
        auto answer = reinterpret_cast<int (*)()>(
            reinterpret_cast<void (*)()>(::GetProcAddress(h, "TkProbeAnswer")));
        ASSERT_NE(nullptr, answer);
        EXPECT_EQ(42, answer());
        {
            CLibrary inner(kProbe); // a second reference
        }
        EXPECT_EQ(h, ::GetModuleHandleW(kProbe)) << "the inner guard freed the outer's reference";
    }
    EXPECT_EQ(nullptr, ::GetModuleHandleW(kProbe));
}

TEST(CLibraryTest, MissingFileThrowsThePlatformsCode)
{
    const wchar_t* missing = L"tk-no-such-module.dll";
    DWORD code = RawError([&] { return ::LoadLibraryW(missing) != nullptr; });
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), code);
    EXPECT_WIN_EXCEPTION(CLibrary{missing}, L".\\Library", L"LoadLibrary", code);
}

TEST(CCOMInitializerTest, NestedGuardsEachBalanceTheirInitialisation)
{
    OnFreshThread([] {
        EXPECT_EQ(-1, Apartment());
        {
            CCOMInitializer outer(true);
            EXPECT_EQ(APTTYPE_MTA, Apartment());
            {
                CCOMInitializer inner(true); // S_FALSE: counted and balanced as well
            }
            EXPECT_EQ(APTTYPE_MTA, Apartment()) << "the inner guard uninitialised too often";
        }
        EXPECT_EQ(-1, Apartment()) << "a guard did not uninitialise";
    });
}

TEST(CCOMInitializerTest, SingleThreadedApartmentRefusesTheGuard)
{
    OnFreshThread([] {
        ASSERT_EQ(S_OK, ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        // The same call on the same thread, raw, gives the judge's code and changes nothing.
        HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(RPC_E_CHANGED_MODE, hr);
        EXPECT_WIN_EXCEPTION(CCOMInitializer{true}, L".\\COM", L"CoInitialize", hr);
        {
            CCOMInitializer quiet(false);
        }
        EXPECT_EQ(APTTYPE_STA, Apartment()) << "the failed guard uninitialised COM";
        ::CoUninitialize();
        EXPECT_EQ(-1, Apartment());
    });
}

class CreateShortcutTest : public TempDirTest
{};

// In both apartment models the shortcut reads back with its target, description and the
// target's folder as working directory, whether or not the target exists.
TEST_F(CreateShortcutTest, ShortcutReadsBackInBothApartmentModels)
{
    std::wstring target = Path(L"tk100.exe");
    HANDLE h = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    ::CloseHandle(h);
    struct Case
    {
        const wchar_t* target;
        std::wstring expectedDir;
    };
    const Case cases[] = {
        {target.c_str(), m_dir + L"\\"},
        {L"C:\\Tools\\app.exe", L"C:\\Tools\\"},
    };
    for (bool sta : {true, false}) {
        OnFreshThread([&] {
            HRESULT hrSta = sta ? ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) : S_FALSE;
            CCOMInitializer mta(false); // refused in the single-threaded apartment
            EXPECT_EQ(sta ? APTTYPE_STA : APTTYPE_MTA, Apartment());
            int n = 0;
            for (const Case& c : cases) {
                SCOPED_TRACE(ustring(c.target));
                std::wstring link = Path((L"link" + std::to_wstring(n++) + L".lnk").c_str());
                ::DeleteFileW(link.c_str());
                ASSERT_TRUE(CreateShortcut(link.c_str(), c.target, L"Receiver TK-100 console"));
                Shortcut s = ReadShortcut(link);
                EXPECT_EQ(0, _wcsicmp(c.target, s.path.c_str())) << ustring(s.path);
                EXPECT_EQ(L"Receiver TK-100 console", s.description);
                EXPECT_EQ(c.expectedDir, s.workingDir);
            }
            if (hrSta == S_OK)
                ::CoUninitialize();
        });
    }
}

TEST_F(CreateShortcutTest, FailuresReturnFalseAndWriteNothing)
{
    // Without COM the link object cannot be created.
    OnFreshThread([&] {
        EXPECT_FALSE(CreateShortcut(Path(L"none.lnk").c_str(), L"C:\\Tools\\app.exe", L"x"));
        EXPECT_FALSE(Exists(Path(L"none.lnk")));
    });
    OnFreshThread([&] {
        CCOMInitializer com(true);
        std::wstring inMissing = Path(L"missing\\a.lnk");
        EXPECT_FALSE(CreateShortcut(inMissing.c_str(), L"C:\\Tools\\app.exe", L"x"));
        EXPECT_FALSE(Exists(inMissing));
        // A folder longer than the working directory can hold.
        std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\app.exe";
        EXPECT_FALSE(CreateShortcut(Path(L"deep.lnk").c_str(), deep.c_str(), L"x"));
        EXPECT_FALSE(Exists(Path(L"deep.lnk")));
        // The longest folder that fits still works.
        std::wstring longest = L"C:\\" + std::wstring(253, L'e') + L"\\app.exe";
        EXPECT_TRUE(CreateShortcut(Path(L"longest.lnk").c_str(), longest.c_str(), L"x"));
    });
}

TEST(LoadIconWTest, PicksTheImageOfTheRequestedSize)
{
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    struct Case
    {
        int size;
        COLORREF colour;
    };
    for (const Case& c : {Case{16, RGB(0xE0, 0, 0)}, Case{32, RGB(0, 0x40, 0xE0)}}) {
        SCOPED_TRACE(c.size);
        HICON icon = tarn_kit::LoadIconW(self, kIconId, c.size, c.size, 0);
        ASSERT_NE(nullptr, icon);
        int width = 0;
        COLORREF centre = 0;
        IconImage(icon, width, centre);
        EXPECT_EQ(c.size, width);
        EXPECT_EQ(c.colour, centre) << "not the group's own image of this size";
        ::DestroyIcon(icon);
    }
    EXPECT_EQ(nullptr, tarn_kit::LoadIconW(self, kIconId + 1, 16, 16, 0));
}

TEST(DisplayQueriesTest, AreAlwaysFalse)
{
    EXPECT_FALSE(IsHighDPI());
    EXPECT_FALSE(IsWideScreen());
}
