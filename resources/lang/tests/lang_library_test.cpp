// The interface-language libraries as the plug-in meets them: loaded through the signature check,
// their texts arriving as the right UTF-16 with exactly their %s arguments, their three pages
// with the controls and styles the wizards rely on, their flags, and the control files that
// name them.
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "fetchwell/loadercontrol.h"
#include "kycplib/keyvalue.h"
#include "lang_ids.h"
#include "verified_library.h"
#include "winauto/winauto.h"

namespace {

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct ModuleDeleter {
    void operator()(HINSTANCE module) const { FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HINSTANCE>, ModuleDeleter>;

struct Language {
    const wchar_t* code;
    const wchar_t* file;
    bool rightToLeft;
};

const Language kLanguages[] = {
    {L"en", L"fetchwellGUI_en.dll", false}, {L"de", L"fetchwellGUI_de.dll", false},
    {L"fr", L"fetchwellGUI_fr.dll", false}, {L"ru", L"fetchwellGUI_ru.dll", false},
    {L"he", L"fetchwellGUI_he.dll", true},
};

std::string NameOf(const ::testing::TestParamInfo<Language>& info) {
    std::wstring code = info.param.code;
    return std::string(code.begin(), code.end());
}

std::wstring LoadText(HINSTANCE module, UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

class LanguageLibrary : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override {
        std::wstring path = winauto::ProgramDirectory() + GetParam().file;
        module_.reset(LoadVerifiedLibrary(path.c_str(), nullptr, 0, true));
        ASSERT_TRUE(module_) << "the signature check refused " << GetLastError();
    }

    HINSTANCE module() const { return module_.get(); }

private:
    Module module_;
};

// Nothing in a language library could run: no entry point, nothing imported.
TEST_P(LanguageLibrary, HoldsResourcesOnly) {
    auto base =
        reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module()) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(nt->OptionalHeader.AddressOfEntryPoint, 0u);
    // The linker writes an import directory that holds only its terminating entry.
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.Size != 0) {
        auto first =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        EXPECT_EQ(first->Name, 0u)
            << "the library imports " << reinterpret_cast<const char*>(base + first->Name);
    }
    EXPECT_NE(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size, 0u);
}

// Every text of a library, with the number of %s arguments the wizards pass to it.
struct Text {
    UINT id;
    int arguments;
};
const Text kTexts[] = {
    {IDS_SELECT_HEADER, 0}, {IDS_PROGRESS_HEADER, 0}, {IDS_CANCEL_QUESTION, 1},
    {IDS_CANCELLING, 0},    {IDS_CLOSE_ONLY, 1},      {IDS_WELCOME_TITLE, 1},
    {IDS_WELCOME_BODY, 2},  {IDS_DOWNLOADING, 1},     {IDS_INSTALLING, 0},
    {IDS_COMPLETED, 0},
};

TEST_P(LanguageLibrary, HasEveryTextWithExactlyItsArguments) {
    for (const Text& t : kTexts) {
        std::wstring text = LoadText(module(), t.id);
        ASSERT_FALSE(text.empty()) << "string " << t.id;
        // The wizards format these with their own arguments: any other % would read one that
        // was never passed.
        int arguments = 0;
        for (size_t at = text.find(L'%'); at != std::wstring::npos; at = text.find(L'%', at + 1)) {
            ASSERT_LT(at + 1, text.size()) << "string " << t.id << " ends in %";
            EXPECT_EQ(text[at + 1], L's') << "string " << t.id << " has a % that is not %s";
            ++arguments;
        }
        EXPECT_EQ(arguments, t.arguments) << "string " << t.id;
    }
}

// Texts compared with what the translator wrote, as UTF-16: some as written, some code point by
// code point, so that a reading of the source file in another code page shows here too.
struct Expected {
    const wchar_t* code;
    UINT id;
    const wchar_t* text;
};
const Expected kExpectedTexts[] = {
    {L"en", IDS_WELCOME_TITLE, L"Welcome to the %s setup"},
    {L"en", IDS_DOWNLOADING, L"Downloading %s\u2026"},
    {L"de", IDS_CANCEL_QUESTION, L"M\u00f6chten Sie die Installation von %s wirklich abbrechen?"},
    {L"de", IDS_CLOSE_ONLY,
     L"Die Installation wurde nicht abgeschlossen. Klicken Sie auf \u201e%s\u201c, um dieses "
     L"Fenster zu schlie\u00dfen."},
    {L"fr", IDS_CANCEL_QUESTION, L"Voulez-vous vraiment annuler l\u2019installation de %s\u00a0?"},
    {L"fr", IDS_COMPLETED, L"L’installation est terminée."},
    {L"ru", IDS_SELECT_HEADER,
     L"\u0412\u044b\u0431\u0435\u0440\u0438\u0442\u0435 \u044f\u0437"
     L"\u044b\u043a"},
    {L"ru", IDS_WELCOME_BODY,
     L"Этот мастер загрузит %s и установит его на ваш компьютер.\n\nНажмите «%s», чтобы "
     L"продолжить."},
    {L"he", IDS_SELECT_HEADER, L"\u05d1\u05d7\u05d9\u05e8\u05ea \u05e9\u05e4\u05d4"},
    {L"he", IDS_COMPLETED, L"ההתקנה הושלמה."},
    {L"he", IDS_CANCEL_QUESTION, L"האם לבטל את ההתקנה של %s?"},
};

TEST_P(LanguageLibrary, TextsArriveAsTheTranslatorsWroteThem) {
    int compared = 0;
    for (const Expected& e : kExpectedTexts) {
        if (std::wstring(e.code) != GetParam().code) continue;
        EXPECT_EQ(LoadText(module(), e.id), e.text) << "string " << e.id;
        ++compared;
    }
    EXPECT_GE(compared, 2);
}

// The pages as the wizards create them: a child dialog of the sheet.
class Page {
public:
    Page(HINSTANCE module, UINT id) {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        parent_ = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 600, 400, nullptr, nullptr,
                                  nullptr, nullptr);
        dialog_ = CreateDialogParamW(module, MAKEINTRESOURCEW(id), parent_, Proc, 0);
    }
    ~Page() {
        if (dialog_) DestroyWindow(dialog_);
        if (parent_) DestroyWindow(parent_);
    }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    HWND get() const { return dialog_; }

    // The client size the template asks for, in pixels of the page's font.
    SIZE TemplateSize(int width, int height) const {
        RECT r = {0, 0, width, height};
        MapDialogRect(dialog_, &r);
        return {r.right, r.bottom};
    }
    SIZE ClientSize() const {
        RECT r = {};
        GetClientRect(dialog_, &r);
        return {r.right, r.bottom};
    }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG;
    }
    HWND parent_ = nullptr;
    HWND dialog_ = nullptr;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

LONG_PTR Style(HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }
LONG_PTR ExStyle(HWND w) { return GetWindowLongPtrW(w, GWL_EXSTYLE); }

// What every page has: a property-sheet page's styles and the mirrored layout in a right-to-left
// language only.
void ExpectPageStyles(const Page& page, bool rightToLeft) {
    HWND dialog = page.get();
    EXPECT_TRUE(Style(dialog) & WS_CHILD);
    EXPECT_TRUE(Style(dialog) & DS_CONTROL);
    EXPECT_FALSE(Style(dialog) & WS_POPUP);
    EXPECT_EQ((ExStyle(dialog) & WS_EX_LAYOUTRTL) != 0, rightToLeft);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != L"Static") continue;
        // A mirrored page already puts its texts at the right and reads them right to left;
        // there both styles mean the opposite and would undo it.
        EXPECT_FALSE(ExStyle(child) & WS_EX_RTLREADING) << TextOf(child);
        EXPECT_FALSE(ExStyle(child) & WS_EX_RIGHT) << TextOf(child);
        // The controls take the page's layout.
        EXPECT_EQ((ExStyle(child) & WS_EX_LAYOUTRTL) != 0, rightToLeft) << TextOf(child);
    }
}

TEST_P(LanguageLibrary, ProgressPageIsAnInteriorPageWithItsControls) {
    Page page(module(), IDD_LANG_PROGRESS);
    ASSERT_NE(page.get(), nullptr) << GetLastError();
    ExpectPageStyles(page, GetParam().rightToLeft);
    SIZE expected = page.TemplateSize(317, 143), actual = page.ClientSize();
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);

    HWND bar = GetDlgItem(page.get(), IDC_PROGRESS_BAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ClassOf(bar), PROGRESS_CLASSW);
    for (int id = IDC_PROGRESS_ELAPSED; id <= IDC_PROGRESS_STATUS; ++id) {
        HWND control = GetDlgItem(page.get(), id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_EQ(ClassOf(control), L"Static") << id;
        EXPECT_TRUE(Style(control) & WS_VISIBLE) << id;
    }
    // Product names and status texts may hold an ampersand: it must show, not underline.
    EXPECT_TRUE(Style(GetDlgItem(page.get(), IDC_PROGRESS_STATUS)) & SS_NOPREFIX);
}

TEST_P(LanguageLibrary, LanguagePageHasAnOwnerDrawnListWithStrings) {
    Page page(module(), IDD_LANG_SELECT);
    ASSERT_NE(page.get(), nullptr) << GetLastError();
    ExpectPageStyles(page, GetParam().rightToLeft);
    SIZE expected = page.TemplateSize(317, 143), actual = page.ClientSize();
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);

    HWND list = GetDlgItem(page.get(), IDC_LANG_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ClassOf(list), L"ListBox");
    LONG_PTR style = Style(list);
    EXPECT_TRUE(style & LBS_HASSTRINGS);
    EXPECT_TRUE(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE));
    // The page reads the selected code back as the list's string.
    ASSERT_EQ(SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"de")), 0);
    wchar_t code[8] = {};
    SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(code));
    EXPECT_STREQ(code, L"de");
}

TEST_P(LanguageLibrary, WelcomePageIsAnExteriorPageWithTitleAndBody) {
    Page page(module(), IDD_LANG_WELCOME);
    ASSERT_NE(page.get(), nullptr) << GetLastError();
    ExpectPageStyles(page, GetParam().rightToLeft);
    SIZE expected = page.TemplateSize(317, 193), actual = page.ClientSize();
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);

    HWND title = GetDlgItem(page.get(), IDC_WELCOME_TITLE);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(ClassOf(title), L"Static");
    // The body is the first control without an id; it takes the larger part of the page.
    HWND body = nullptr;
    for (HWND c = GetWindow(page.get(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) == -1 || GetDlgCtrlID(c) == 0xFFFF) {
            body = c;
            break;
        }
    }
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(ClassOf(body), L"Static");
    RECT t = {}, b = {};
    GetWindowRect(title, &t);
    GetWindowRect(body, &b);
    EXPECT_GT((b.bottom - b.top) * (b.right - b.left), (t.bottom - t.top) * (t.right - t.left));
    EXPECT_GE(b.top, t.bottom);
}

// Texts inside the templates go through the resource compiler's other path (dialog items, not the
// string table): one label per language, as UTF-16.
struct Label {
    const wchar_t* code;
    const wchar_t* text;
};
const Label kLabels[] = {
    {L"en", L"Elapsed time:"},
    {L"de", L"Vergangene Zeit:"},
    {L"fr", L"Temps \u00e9coul\u00e9\u00a0:"},
    {L"ru", L"\u041f\u0440\u043e\u0448\u043b\u043e \u0432\u0440\u0435\u043c\u0435\u043d\u0438:"},
    {L"he", L"\u05d6\u05de\u05df \u05e9\u05d7\u05dc\u05e3:"},
};

TEST_P(LanguageLibrary, PageLabelsArriveAsUtf16) {
    Page page(module(), IDD_LANG_PROGRESS);
    ASSERT_NE(page.get(), nullptr);
    std::wstring expected;
    for (const Label& l : kLabels) {
        if (std::wstring(l.code) == GetParam().code) expected = l.text;
    }
    ASSERT_FALSE(expected.empty());
    // The elapsed-time label is the first static without an id.
    std::wstring first;
    for (HWND c = GetWindow(page.get(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) == -1 || GetDlgCtrlID(c) == 0xFFFF) {
            first = TextOf(c);
            break;
        }
    }
    EXPECT_EQ(first, expected);
}

// The flag picture: 36 x 20 pixels, a pure white margin that follows the selection colour, and
// the flag's own colours at points where each flag is unmistakable.
struct Probe {
    const wchar_t* code;
    int x, y;
    COLORREF colour;
};
const Probe kFlagProbes[] = {
    {L"en", 4, 3, RGB(52, 84, 132)},     {L"de", 18, 4, RGB(0, 0, 0)},
    {L"de", 18, 15, RGB(255, 206, 0)},   {L"fr", 6, 10, RGB(0, 35, 149)},
    {L"fr", 18, 10, RGB(254, 254, 254)}, {L"fr", 30, 10, RGB(237, 41, 57)},
    {L"ru", 18, 3, RGB(254, 254, 254)},  {L"ru", 18, 15, RGB(213, 43, 30)},
    {L"he", 18, 4, RGB(0, 56, 184)},     {L"he", 5, 10, RGB(254, 254, 254)},
};

std::vector<COLORREF> PixelsOf(HBITMAP bitmap, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> bits(size_t(width) * height);
    HDC screen = GetDC(nullptr);
    int rows = GetDIBits(screen, bitmap, 0, height, bits.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<COLORREF> pixels;
    if (rows != height) return pixels;
    for (DWORD p : bits) pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    return pixels;
}

TEST_P(LanguageLibrary, FlagIsTheLanguagesPicture) {
    HBITMAP flag = LoadBitmapW(module(), MAKEINTRESOURCEW(IDB_LANG_FLAG));
    ASSERT_NE(flag, nullptr);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectW(flag, sizeof(info), &info));
    EXPECT_EQ(info.bmWidth, 36);
    EXPECT_EQ(info.bmHeight, 20);
    std::vector<COLORREF> pixels = PixelsOf(flag, 36, 20);
    DeleteObject(flag);
    ASSERT_EQ(pixels.size(), 36u * 20u);
    EXPECT_EQ(pixels[0], RGB(255, 255, 255));
    EXPECT_EQ(pixels[19 * 36 + 35], RGB(255, 255, 255));
    int probes = 0;
    for (const Probe& p : kFlagProbes) {
        if (std::wstring(p.code) != GetParam().code) continue;
        EXPECT_EQ(pixels[p.y * 36 + p.x], p.colour) << p.x << "," << p.y;
        ++probes;
    }
    EXPECT_GE(probes, 1);
    // Only the margin is pure white: the flag keeps its colours in a selected row.
    for (int y = 2; y < 18; ++y) {
        for (int x = 3; x < 33; ++x) EXPECT_NE(pixels[y * 36 + x], RGB(255, 255, 255));
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageLibrary, ::testing::ValuesIn(kLanguages), NameOf);

TEST(UnsignedLanguageLibrary, IsRefusedThoughItIsTheSameLibrary) {
    std::wstring path = winauto::ProgramDirectory() + L"fetchwellGUI_de_unsigned.dll";
    ASSERT_TRUE(FileExists(path));
    SetLastError(0);
    EXPECT_EQ(LoadVerifiedLibrary(path.c_str(), nullptr, 0, true), nullptr);
    EXPECT_EQ(GetLastError(), kVerifiedLibraryRefused);
    Module data(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(data);
    EXPECT_EQ(LoadText(data.get(), IDS_SELECT_HEADER), L"W\u00e4hlen Sie Ihre Sprache");
}

// The control files through the host's library, as the plug-in reads them: each listed
// library's fate when the plug-in tries to load it from its folder.
enum class Fate {
    Loads,
    Refused,
    Missing
};
struct Listed {
    std::wstring code;
    Fate fate;
};

std::vector<Listed> ReadGuiLanguages(const wchar_t* controlFile) {
    std::vector<Listed> listed;
    CLoaderControlFile::FreeInstance();
    std::wstring path = winauto::ProgramDirectory() + L"lang-data\\" + controlFile;
    CXMLFile* xml = CXMLFile::Create(path.c_str());
    CLoaderControlFile* control = CLoaderControlFile::GetInstance(xml);
    EXPECT_NE(control, nullptr) << "no control file at " << std::string(path.begin(), path.end());
    if (control) {
        for (auto* item = control->getFirstGUILanguage(); item; item = item->next) {
            std::wstring library = winauto::ProgramDirectory() + item->value;
            Fate fate = Fate::Missing;
            if (FileExists(library)) {
                Module module(LoadVerifiedLibrary(library.c_str(), nullptr, 0, true));
                fate = module ? Fate::Loads : Fate::Refused;
            }
            listed.push_back({item->key, fate});
        }
    }
    CLoaderControlFile::FreeInstance();
    CXMLFile::Delete(xml);
    return listed;
}

TEST(LanguageControlFiles, TheRealOneListsEveryLibraryAndEachLoads) {
    std::vector<std::wstring> codes;
    for (const Listed& l : ReadGuiLanguages(L"loadercontrol.xml")) {
        codes.push_back(l.code);
        EXPECT_EQ(int(l.fate), int(Fate::Loads)) << std::string(l.code.begin(), l.code.end());
    }
    EXPECT_EQ(codes, (std::vector<std::wstring>{L"en", L"de", L"fr", L"ru", L"he"}));
}

TEST(LanguageControlFiles, TheTestOneListsAnUnsignedAndAMissingLibrary) {
    std::vector<Listed> listed = ReadGuiLanguages(L"loadercontrol_test.xml");
    ASSERT_EQ(listed.size(), 4u);
    const Listed expected[] = {
        {L"en", Fate::Loads}, {L"de", Fate::Refused}, {L"it", Fate::Missing}, {L"he", Fate::Loads}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(listed[i].code, expected[i].code);
        EXPECT_EQ(int(listed[i].fate), int(expected[i].fate)) << i;
    }
}

}  // namespace
