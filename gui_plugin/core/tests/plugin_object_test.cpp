// The plug-in object from the inside: what Initialize puts into GuiResources for a range of
// control files, and the notification record's ownership helpers.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "GuiResources.h"
#include "MFCGUIPlugin.h"
#include "ProgressNotification.h"

namespace {

// A control file written to the temporary folder for one case.
class ControlFile {
public:
    explicit ControlFile(const std::string& body) {
        wchar_t folder[MAX_PATH], name[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"plg", 0, name);
        path_ = name;
        std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<loadercontrol>" + body + "</loadercontrol>\n";
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
     "<appearance><backgroundColor>1,0,0</backgroundColor><showHeaderTitle>false</showHeaderTitle></appearance>"
     "<products><product id=\"b\" name=\"Beta\"/><product id=\"c\" name=\"Gamma\"/></products>",
     RGB(1, 0, 0), L"Beta", false},
    {"NoAppearanceGivesTheDefaults",
     "<products><product id=\"d\" name=\"Delta &amp; Co\"/></products>",
     RGB(239, 239, 239), L"Delta & Co", true},
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
                         [](const ::testing::TestParamInfo<ResourcesCase>& info) { return std::string(info.param.name); });

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
