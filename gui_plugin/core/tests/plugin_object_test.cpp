// The plug-in object from the inside: what Initialize puts into GuiResources for a range of
// control files, what running out of memory does at the boundary, and the notification record's
// ownership helpers.
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <string>

#include <winauto/winauto.h>

#include "GuiResources.h"
#include "afxmodule.h"
#include "MFCGUIPlugin.h"
#include "ProgressNotification.h"

// Fault injection for the whole program (the plug-in's core is linked in): while armed, the
// allocation with the armed number, counted from 0, fails. fetchwell.dll has an allocator of its
// own and is not affected.
namespace {
long g_allocationsBeforeFailure = -1;  // -1: disarmed
}

void* operator new(size_t size) {
    if (g_allocationsBeforeFailure >= 0 && g_allocationsBeforeFailure-- == 0)
        throw std::bad_alloc();
    if (void* p = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

void FailAllocationNumber(long n) { g_allocationsBeforeFailure = n; }
// Disarms; true when the armed allocation was reached (and failed). The count stops at -1 there.
bool AllocationFailed() {
    bool failed = g_allocationsBeforeFailure == -1;
    g_allocationsBeforeFailure = -1;
    return failed;
}

// A control file written to the temporary folder for one case.
class ControlFile {
public:
    explicit ControlFile(const std::string& body) {
        wchar_t folder[MAX_PATH], name[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"plg", 0, name);
        path_ = name;
        std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<loadercontrol>" + body +
                           "</loadercontrol>\n";
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    ~ControlFile() { DeleteFileW(path_.c_str()); }
    const wchar_t* Path() const { return path_.c_str(); }

private:
    std::wstring path_;
};

struct ResourcesCase {
    const char* name;
    const char* body;
    COLORREF background;
    const wchar_t* productName;
    bool showHeaderTitle;
};

const ResourcesCase kResourcesCases[] = {
    {"BlackMeansUnsetAndGivesTheDefault",
     "<appearance><backgroundColor>0,0,0</backgroundColor></appearance>"
     "<products><product id=\"a\" name=\"Alpha\"/></products>",
     RGB(239, 239, 239), L"Alpha", true},
    {"OneNonZeroComponentIsKept",
     "<appearance><backgroundColor>1,0,0</backgroundColor><showHeaderTitle>false</"
     "showHeaderTitle></appearance>"
     "<products><product id=\"b\" name=\"Beta\"/><product id=\"c\" name=\"Gamma\"/></products>",
     RGB(1, 0, 0), L"Beta", false},
    {"NoAppearanceGivesTheDefaults",
     "<products><product id=\"d\" name=\"Delta &amp; Co\"/></products>", RGB(239, 239, 239),
     L"Delta & Co", true},
    {"AFullColourIsTakenAsWritten",
     "<appearance><backgroundColor>230, 236, 245</backgroundColor></appearance>"
     "<products><product id=\"e\" name=\"Epsilon\"/></products>",
     RGB(230, 236, 245), L"Epsilon", true},
};

class InitializeFillsGuiResources : public ::testing::TestWithParam<ResourcesCase> {};

TEST_P(InitializeFillsGuiResources, FromTheControlFile) {
    const ResourcesCase& c = GetParam();
    ControlFile file(c.body);
    {
        CMFCGUIPlugin plugin(L"C:\\plugin");
        ASSERT_TRUE(plugin.Initialize(nullptr, file.Path(), false, true));
    }
    // The record keeps its values after the object is gone.
    const GuiResources& resources = TheGuiResources();
    EXPECT_EQ(resources.backgroundColor, c.background);
    EXPECT_EQ(resources.productName, c.productName);
    EXPECT_EQ(resources.showHeaderTitle, c.showHeaderTitle);
    EXPECT_EQ(resources.boxBackgroundColor, RGB(255, 255, 255));
    EXPECT_EQ(resources.textColor, RGB(0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Cases, InitializeFillsGuiResources, ::testing::ValuesIn(kResourcesCases),
                         [](const ::testing::TestParamInfo<ResourcesCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Initialize, AFileWithoutProductsKeepsTheEarlierProductName) {
    ControlFile first("<products><product id=\"a\" name=\"Kept\"/></products>");
    ControlFile second("<guiLanguages><language code=\"en\" library=\"en.dll\"/></guiLanguages>");
    {
        CMFCGUIPlugin plugin(L"C:\\plugin");
        ASSERT_TRUE(plugin.Initialize(nullptr, first.Path(), false, true));
    }
    {
        CMFCGUIPlugin plugin(L"C:\\plugin");
        ASSERT_TRUE(plugin.Initialize(nullptr, second.Path(), false, true));
    }
    EXPECT_EQ(TheGuiResources().productName, L"Kept");
}

TEST(Initialize, FailsWithoutAReadableControlFile) {
    ControlFile malformed("<products><product id=\"a\" name=\"x\"></products>");
    CMFCGUIPlugin plugin(L"C:\\plugin");
    EXPECT_FALSE(plugin.Initialize(nullptr, nullptr, false, true));
    EXPECT_FALSE(plugin.Initialize(nullptr, L"C:\\no\\such\\loadercontrol.xml", false, true));
    EXPECT_FALSE(plugin.Initialize(nullptr, malformed.Path(), false, true));
}

TEST(GetDpiScale, IsAHundredAtTheDefaultDpi) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(CMFCGUIPlugin::GetDpiScale(), MulDiv(100, dpi, 96));
}

// The language libraries and their control file are those of the C test host, beside this program.
std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bm = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bm), &bm);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// ShowMessage as the host calls it, its box read from a capture that is kept among the results.
TEST(ShowMessage, ShowsTheBoxInTheProductsColoursAndReturnsTheAnswer) {
    ControlFile file("<products><product id=\"a\" name=\"Brisco Suite\"/></products>");
    CMFCGUIPlugin plugin(L"C:\\plugin");
    ASSERT_TRUE(plugin.Initialize(nullptr, file.Path(), false, true));
    struct Seen {
        std::wstring caption;
        COLORREF background = 0;
        int textPixels = 0;
        int ownerDrawn = 0, buttons = 0;
        bool saved = false;
    } seen;
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Seen*>(p);
            winauto::WindowQuery query;
            query.processId = GetCurrentProcessId();
            query.className = L"#32770";
            HWND box = winauto::WaitForWindow(query, 10000);
            if (!box) return 1;
            s->caption = winauto::GetText(box);
            for (HWND button : winauto::VisibleChildren(box, L"Button")) {
                ++s->buttons;
                if ((GetWindowLongPtrW(button, GWL_STYLE) & 0x0F) == BS_OWNERDRAW) ++s->ownerDrawn;
            }
            winauto::Capture capture;
            if (winauto::CaptureWindow(box, capture)) {
                s->saved =
                    winauto::SavePng(capture, winauto::ResultsPath(L"show_message_yesno.png"));
                s->background = winauto::ClientPixel(capture, box, POINT{4, 4});
                for (uint32_t pixel : capture.pixels) s->textPixels += (pixel & 0xFFFFFF) == 0;
            }
            winauto::PressDialogButton(box, IDNO);
            return 0;
        },
        &seen, 0, nullptr);
    int result = plugin.ShowMessage(L"Stop the download?", MB_YESNO | MB_ICONQUESTION);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(result, IDNO);
    EXPECT_EQ(seen.caption, L"Brisco Suite");
    EXPECT_EQ(seen.buttons, 2);
    EXPECT_EQ(seen.ownerDrawn, 2);
    EXPECT_TRUE(seen.saved);
    EXPECT_EQ(seen.background, TheGuiResources().boxBackgroundColor);
    EXPECT_GT(seen.textPixels, 20) << "text in the product's text colour";
}

TEST(LargeIconSize, FollowsTheScreensScale) {
    // 96, 120, 144 and 192 DPI, and the edges of each step.
    const struct {
        int scale, size;
    } cases[] = {{100, 32}, {125, 48}, {150, 48}, {200, 128}, {75, 32}, {101, 48}, {151, 128}};
    for (const auto& c : cases) EXPECT_EQ(LargeIconSize(c.scale), c.size) << c.scale;
}

// A plug-in directory of its own holding the build's rcimage library under the name the plug-in
// looks for (signed, unsigned) or none at all.
class PictureDirectory {
public:
    PictureDirectory(const wchar_t* name, const wchar_t* library) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + name + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        DeleteFileW((dir_ + L"rcimage.dll").c_str());
        if (library)
            CopyFileW((ProgramDirectory() + library).c_str(), (dir_ + L"rcimage.dll").c_str(),
                      FALSE);
    }
    ~PictureDirectory() {
        DeleteFileW((dir_ + L"rcimage.dll").c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    const std::wstring& Path() const { return dir_; }

private:
    std::wstring dir_;
};

// In this order: GuiResources keeps what an earlier Initialize loaded, so the empty cases come
// first.
TEST(Initialize, LoadsPicturesAndIconsOnlyFromAVerifiedRcimage) {
    const struct {
        const wchar_t* folder;
        const wchar_t* library;
        bool loaded;
    } cases[] = {
        {L"ky_rcimage_missing", nullptr, false},
        {L"ky_rcimage_unsigned", L"rcimage_unsigned.dll", false},
        {L"ky_rcimage_signed", L"rcimage.dll", true},
    };
    ControlFile file("<products><product id=\"a\" name=\"Alpha\"/></products>");
    for (const auto& c : cases) {
        PictureDirectory dir(c.folder, c.library);
        CMFCGUIPlugin plugin(dir.Path().c_str());
        EXPECT_TRUE(plugin.Initialize(nullptr, file.Path(), false, true)) << "never a failure";
        const GuiResources& r = TheGuiResources();
        EXPECT_EQ(!r.headerBitmap.IsEmpty(), c.loaded);
        EXPECT_EQ(!r.sideBitmap.IsEmpty(), c.loaded);
        EXPECT_EQ(r.largeIcon != nullptr, c.loaded);
        EXPECT_EQ(r.smallIcon != nullptr, c.loaded);
    }
    const GuiResources& r = TheGuiResources();
    EXPECT_EQ(r.headerBitmap.m_pInfo->bmiHeader.biWidth, 497);
    EXPECT_EQ(r.headerBitmap.m_pInfo->bmiHeader.biHeight, 58);
    EXPECT_EQ(r.sideBitmap.m_pInfo->bmiHeader.biHeight, 313);
    EXPECT_EQ(IconWidth(r.largeIcon), LargeIconSize(CMFCGUIPlugin::GetDpiScale()));
    EXPECT_EQ(IconWidth(r.smallIcon), 16);
}

// The text of string 103 in the module resources currently come from.
std::wstring CurrentLanguageName() {
    wchar_t text[64] = {};
    LoadStringW(AfxGetResourceHandle(), 103, text, 64);
    return text;
}

class SwitchLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        control_ = ProgramDirectory() + L"plugin_host_data\\languages.xml";
        ASSERT_TRUE(plugin_.Initialize(nullptr, control_.c_str(), false, true));
    }
    void TearDown() override { AfxSetResourceHandle(nullptr); }

    std::wstring control_;
    CMFCGUIPlugin plugin_{ProgramDirectory().c_str()};
};

struct LanguageCase {
    const wchar_t* code;
    bool switched;
    const wchar_t* name;  // string 103 of the library that is current afterwards
};

TEST_F(SwitchLanguage, LoadsTheSignedLibraryOfAListedCode) {
    const LanguageCase cases[] = {
        {L"en", true, L"English"},
        {L"DE", true, L"Deutsch"},  // letter case of the key does not matter
        {L"de", true, L"Deutsch"},
    };
    for (const LanguageCase& c : cases) {
        EXPECT_EQ(plugin_.SwitchLanguage(c.code), c.switched) << c.code;
        EXPECT_EQ(plugin_.GetGuiLanguage(), c.code);
        EXPECT_EQ(AfxGetResourceHandle(), plugin_.GetLanguageLibrary());
        EXPECT_EQ(CurrentLanguageName(), c.name) << c.code;
    }
}

TEST_F(SwitchLanguage, AnUnlistedCodeKeepsTheCurrentLibrary) {
    ASSERT_TRUE(plugin_.SwitchLanguage(L"de"));
    HMODULE german = plugin_.GetLanguageLibrary();
    EXPECT_FALSE(plugin_.SwitchLanguage(L"xx"));
    EXPECT_FALSE(plugin_.SwitchLanguage(nullptr));
    EXPECT_EQ(plugin_.GetLanguageLibrary(), german);
    EXPECT_EQ(CurrentLanguageName(), L"Deutsch");
}

// A listed library that is missing or unsigned: the switch fails and the language in use stays,
// with its library loaded and current.
TEST_F(SwitchLanguage, AListedLibraryThatCannotLoadKeepsTheCurrentOne) {
    ASSERT_TRUE(plugin_.SwitchLanguage(L"de"));
    HMODULE german = plugin_.GetLanguageLibrary();
    for (const wchar_t* code : {L"fr", L"it"}) {
        EXPECT_FALSE(plugin_.SwitchLanguage(code)) << code;
        EXPECT_EQ(plugin_.GetLanguageLibrary(), german);
        EXPECT_EQ(plugin_.GetGuiLanguage(), L"de");
        EXPECT_EQ(AfxGetResourceHandle(), german);
        EXPECT_EQ(CurrentLanguageName(), L"Deutsch");
    }
}

TEST(SwitchLanguageWithoutLanguages, Fails) {
    ControlFile file("<products><product id=\"a\" name=\"A\"/></products>");
    CMFCGUIPlugin plugin(ProgramDirectory().c_str());
    ASSERT_TRUE(plugin.Initialize(nullptr, file.Path(), false, true));
    EXPECT_FALSE(plugin.SwitchLanguage(L"en"));
}

// The host is C: each allocation on the way failing in turn must come back as the slot's ordinary
// failure, never as an exception, and leave the object destroyable. The last round has no failure
// left to reach and succeeds.
TEST(OutOfMemory, TheFactoryReturnsNull) {
    const wchar_t* directory = L"C:\\a plug-in directory too long for a short-string buffer\\";
    for (long n = 0;; ++n) {
        COutputPlugin* plugin = nullptr;
        FailAllocationNumber(n);
        EXPECT_NO_THROW(plugin = OutputPluginFactory(directory)) << "allocation " << n;
        bool failed = AllocationFailed();
        EXPECT_EQ(plugin == nullptr, failed) << "allocation " << n;
        FreeOutputPlugin(plugin);
        if (!failed) break;
        ASSERT_LT(n, 100);
    }
}

TEST(OutOfMemory, InitializeFailsAndTheObjectStaysDestroyable) {
    ControlFile file(
        "<products><product id=\"a\" name=\"A product name longer than a short "
        "string\"/></products>");
    for (long n = 0;; ++n) {
        CMFCGUIPlugin plugin(L"C:\\plugin");
        bool initialized = true;
        FailAllocationNumber(n);
        EXPECT_NO_THROW(initialized = plugin.Initialize(nullptr, file.Path(), false, true))
            << "allocation " << n;
        bool failed = AllocationFailed();
        EXPECT_EQ(initialized, !failed) << "allocation " << n;
        if (!failed) break;
        ASSERT_LT(n, 100);
    }
}

TEST(OutOfMemory, SelectLanguageFailsAndLeavesNoLibraryUnderAWrongCode) {
    const std::wstring control = ProgramDirectory() + L"plugin_host_data\\languages.xml";
    for (long n = 0;; ++n) {
        CMFCGUIPlugin plugin(ProgramDirectory().c_str());
        ASSERT_TRUE(plugin.Initialize(nullptr, control.c_str(), false, true));
        wchar_t language[64] = L"de";
        int result = PLUGIN_OK;
        FailAllocationNumber(n);
        EXPECT_NO_THROW(result = plugin.SelectLanguage(L"brisco-suite", language, 64))
            << "allocation " << n;
        bool failed = AllocationFailed();
        EXPECT_EQ(result, failed ? PLUGIN_FAILED : PLUGIN_OK) << "allocation " << n;
        // A loaded library always belongs to the code recorded for it.
        EXPECT_EQ(plugin.GetLanguageLibrary() == nullptr, plugin.GetGuiLanguage().empty())
            << "allocation " << n;
        AfxSetResourceHandle(nullptr);
        if (!failed) break;
        ASSERT_LT(n, 100);
    }
}

TEST(ProgressNotification, NewRecordIsZeroFilledAndOwnsCopiesOfItsTexts) {
    ProgressNotification* n = NewProgressNotification(NOTIFY_STATUS_TEXT);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->kind, NOTIFY_STATUS_TEXT);
    EXPECT_EQ(n->bytesDone, 0u);
    EXPECT_EQ(n->bytesTotal, 0u);
    EXPECT_FALSE(n->success);
    EXPECT_EQ(n->statusText, nullptr);
    EXPECT_EQ(n->detailText, nullptr);

    wchar_t original[] = L"Downloading";
    n->statusText = CopyNotificationText(original);
    original[0] = L'X';
    EXPECT_STREQ(n->statusText, L"Downloading");
    EXPECT_EQ(CopyNotificationText(nullptr), nullptr);
    FreeProgressNotification(n);
    FreeProgressNotification(nullptr);
}

}  // namespace
