// The shipped uninstall script (bin\Uninstall.vbs, signed) with the system's real script host:
// each case lays out what the loader host installs into a profile of its own (the user's local
// application data folder is redirected to the case's folder), runs the script as the helper
// does and compares everything left in the profile, and outside it, with what should be left.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <winauto/winauto.h>

#include "helper_case.h"
#include "sample_files.h"

namespace {

const wchar_t kUserShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const DWORD kScriptWaitMs = 30000;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c);
    return out;
}

void MakeFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
}

// Every file and folder under root, relative to it; folders end with "\". Sorted.
void Walk(const std::wstring& root, const std::wstring& relative, std::vector<std::string>& out) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(Narrow(relative + name + L"\\"));
            Walk(root, relative + name + L"\\", out);
        } else {
            out.push_back(Narrow(relative + name));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A helper case whose user has a local application data folder of the case's own, as the shell
// reports it (the loader host and the script both ask the shell).
class ProfileCase {
public:
    explicit ProfileCase(const std::wstring& name)
        : helper_(name),
          local_(helper_.Folder() + L"profile\\Local\\"),
          configured_(kUserShellFoldersKey, L"Local AppData"),
          resolved_(kShellFoldersKey, L"Local AppData") {
        MakeFolders(WithoutTrailingBackslash(local_));
        configured_.Set(REG_EXPAND_SZ, WithoutTrailingBackslash(local_));
        resolved_.Set(REG_SZ, WithoutTrailingBackslash(local_));
        // The shipped script in place of the stand-in's copy.
        kysig_test::WriteBytes(helper_.ScriptPath(), kysig_test::ReadBytes(ShippedScript()));
    }

    static std::wstring ShippedScript() { return winauto::ProgramDirectory() + L"Uninstall.vbs"; }

    const HelperCase& Helper() const { return helper_; }
    std::wstring Local() const { return local_; }
    // A file outside the profile, for list entries that lead there.
    std::wstring Outside(const std::string& name) const { return helper_.Folder() + Wide(name); }

    // path: relative to the profile's local folder, or absolute.
    void Write(const std::string& path, const std::string& content) const {
        std::wstring full = Wide(path);
        if (full.size() < 2 || full[1] != L':') full = local_ + full;
        MakeFolders(full.substr(0, full.find_last_of(L'\\')));
        WriteFileText(full, content);
    }

    std::vector<std::string> Left() const {
        std::vector<std::string> out;
        Walk(local_, L"", out);
        std::sort(out.begin(), out.end());
        return out;
    }

    std::wstring ScriptCommand(const std::wstring& arguments) const {
        return L"\"" + SystemDirectory() + L"\\wscript.exe\" \"" + helper_.ScriptPath() + L"\"" +
               (arguments.empty() ? L"" : L" " + arguments);
    }

    // The script as the helper starts it; its exit code.
    DWORD RunScript(const std::wstring& arguments = L"/uninstall") const {
        return helper_.RunProgram(ScriptCommand(arguments));
    }

private:
    HelperCase helper_;
    std::wstring local_;
    ScopedRegistryValue configured_, resolved_;
};

// What the loader host leaves after installing its three-file payload: the files and their list.
const std::vector<std::pair<std::string, std::string>> kInstalledFiles = {
    {"Brisco\\brisco-suite\\readme.txt", "readme"},
    {"Brisco\\brisco-suite\\data\\settings.ini", "[settings]"},
    {"Brisco\\brisco-suite\\bin\\product.dat", "product"},
};
const char kInstalledList[] = "readme.txt\t6\r\ndata\\settings.ini\t10\r\nbin\\product.dat\t7\r\n";

struct ListCase {
    const char* name;
    // Files laid out besides the installed ones (relative to the local folder, or "{outside}"
    // for a file outside the profile).
    std::vector<std::pair<std::string, std::string>> extraFiles;
    const char* list;  // the list of brisco-suite; "{outside}" stands for the outside file's path
    DWORD exitCode;
    std::vector<std::string> left;  // what the profile holds afterwards
};

std::string Substitute(std::string text, const std::string& outside) {
    for (size_t at; (at = text.find("{outside}")) != std::string::npos;) {
        text.replace(at, 9, outside);
    }
    return text;
}

const ListCase kListCases[] = {
    {"WholeInstall", {}, kInstalledList, 0, {"Brisco\\"}},
    // Entries that lead out of the product folder, or that DeleteFile would read as a pattern
    // or a device, are skipped; the files they name stay, and so does a file the user put into
    // one of the product's folders, with that folder.
    {"HostileEntries",
     {{"Brisco\\outside.txt", "outside"},
      {"Brisco\\brisco-suite\\bin\\user.txt", "the user's"},
      {"Brisco\\brisco-suite\\data\\notes.txt", "the user's"},
      {"Brisco\\other\\readme.txt", "another product's"},
      {"{outside}", "outside the profile"}},
     "readme.txt\t6\r\n..\\outside.txt\t7\r\n{outside}\t19\r\n\\outside.txt\t7\r\n"
     "C:outside.txt\t7\r\ndata\\..\\..\\outside.txt\t7\r\n..\\other\\readme.txt\t17\r\n"
     "data\\\\settings.ini\t10\r\n.\\data\\settings.ini\t10\r\ndata\\*.txt\t0\r\n"
     "bin\\user.txt \t10\r\nNUL\t0\r\ndata\\con.txt\t0\r\nfetchwell-files.txt\t0\r\n\t0\r\n"
     "data\\settings.ini\t10\r\nbin\\product.dat\t7\r\n",
     0,
     {"Brisco\\", "Brisco\\brisco-suite\\", "Brisco\\brisco-suite\\bin\\",
      "Brisco\\brisco-suite\\bin\\user.txt", "Brisco\\brisco-suite\\data\\",
      "Brisco\\brisco-suite\\data\\notes.txt", "Brisco\\other\\", "Brisco\\other\\readme.txt",
      "Brisco\\outside.txt"}},
    // A list with LF line ends and entries without their size still names its files.
    {"PlainLines", {}, "readme.txt\ndata\\settings.ini\t10\nbin\\product.dat", 0, {"Brisco\\"}},
    // An empty list: the list goes, and the files it does not name stay.
    {"EmptyList",
     {},
     "",
     0,
     {"Brisco\\", "Brisco\\brisco-suite\\", "Brisco\\brisco-suite\\bin\\",
      "Brisco\\brisco-suite\\bin\\product.dat", "Brisco\\brisco-suite\\data\\",
      "Brisco\\brisco-suite\\data\\settings.ini", "Brisco\\brisco-suite\\readme.txt"}},
    // Names listed whose files are already gone do not keep the list.
    {"FilesAlreadyGone",
     {},
     "readme.txt\t6\r\ngone.txt\t4\r\nold\\gone.txt\t4\r\ndata\\settings.ini\t10\r\n"
     "bin\\product.dat\t7\r\n",
     0,
     {"Brisco\\"}},
};

std::string NameOf(const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; }
void PrintTo(const ListCase& c, std::ostream* out) { *out << c.name; }

class UninstallScriptList : public ::testing::TestWithParam<ListCase> {};

TEST_P(UninstallScriptList, RemovesExactlyTheListedFiles) {
    const ListCase& c = GetParam();
    ProfileCase profile(L"uninstall_script_" + Wide(c.name));
    const std::string outside = Narrow(profile.Outside("outside-profile.txt"));
    for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
    for (const auto& file : c.extraFiles)
        profile.Write(Substitute(file.first, outside), file.second);
    profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", Substitute(c.list, outside));

    EXPECT_EQ(profile.RunScript(), c.exitCode);
    EXPECT_EQ(profile.Left(), c.left);
    for (const auto& file : c.extraFiles) {
        if (file.first == "{outside}") {
            EXPECT_EQ(ReadFileBytes(Wide(outside)), file.second);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, UninstallScriptList, ::testing::ValuesIn(kListCases), NameOf);

TEST(UninstallScript, RemovesEveryProductWithAListAndLeavesOtherFolders) {
    ProfileCase profile(L"uninstall_script_products");
    for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
    profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", kInstalledList);
    profile.Write("Brisco\\second\\tool.exe", "tool");
    profile.Write("Brisco\\second\\fetchwell-files.txt", "tool.exe\t4\r\n");
    // No list: not a product the loader host installed (or one still being installed).
    profile.Write("Brisco\\unlisted\\readme.txt", "readme");
    profile.Write("Brisco\\unlisted\\fetchwell-files.txt.tmp", "readme.txt\t6\r\n");
    profile.Write("Other\\readme.txt", "another vendor's");

    EXPECT_EQ(profile.RunScript(), 0u);
    EXPECT_EQ(profile.Left(),
              (std::vector<std::string>{
                  "Brisco\\", "Brisco\\unlisted\\", "Brisco\\unlisted\\fetchwell-files.txt.tmp",
                  "Brisco\\unlisted\\readme.txt", "Other\\", "Other\\readme.txt"}));
}

// A file the script cannot remove (another program holds it open without letting it go): the rest
// goes, the list stays and the exit code says so; the next removal finishes the work.
TEST(UninstallScript, KeepsTheListWhileAListedFileCannotBeRemoved) {
    ProfileCase profile(L"uninstall_script_file_in_use");
    for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
    profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", kInstalledList);
    const std::wstring held = profile.Local() + L"Brisco\\brisco-suite\\bin\\product.dat";
    HANDLE file = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(profile.RunScript(), 2u);
    CloseHandle(file);
    EXPECT_EQ(profile.Left(),
              (std::vector<std::string>{"Brisco\\", "Brisco\\brisco-suite\\",
                                        "Brisco\\brisco-suite\\bin\\",
                                        "Brisco\\brisco-suite\\bin\\product.dat",
                                        "Brisco\\brisco-suite\\fetchwell-files.txt"}));

    EXPECT_EQ(profile.RunScript(), 0u);
    EXPECT_EQ(profile.Left(), std::vector<std::string>{"Brisco\\"});
}

// A listed file that was made read-only is still one of the product's files.
TEST(UninstallScript, RemovesAReadOnlyListedFile) {
    ProfileCase profile(L"uninstall_script_read_only");
    for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
    profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", kInstalledList);
    const std::wstring readOnly = profile.Local() + L"Brisco\\brisco-suite\\data\\settings.ini";
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(profile.RunScript(), 0u);
    EXPECT_EQ(profile.Left(), std::vector<std::string>{"Brisco\\"});
}

TEST(UninstallScript, WithoutAnInstallThereIsNothingToDo) {
    ProfileCase profile(L"uninstall_script_nothing");
    EXPECT_EQ(profile.RunScript(), 0u);
    EXPECT_TRUE(profile.Left().empty());
}

// Opened by hand (no switch, or another one), the script says what it is for and removes nothing.
TEST(UninstallScript, WithoutTheSwitchRemovesNothingAndSaysSo) {
    for (const wchar_t* arguments : {L"", L"/remove", L"/uninstall /uninstall"}) {
        SCOPED_TRACE(Narrow(arguments));
        ProfileCase profile(L"uninstall_script_no_switch");
        for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
        profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", kInstalledList);
        const std::vector<std::string> before = profile.Left();

        std::wstring commandLine = profile.ScriptCommand(arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   profile.Helper().AppDirectory().c_str(), &startup, &process));
        HWND box =
            winauto::WaitForWindow({process.dwProcessId, L"#32770", nullptr, true}, kScriptWaitMs);
        EXPECT_NE(box, nullptr) << "no message";
        if (box != nullptr) {
            EXPECT_EQ(winauto::GetText(box), L"Orvane PC Brisco");
            const std::wstring text = winauto::GetText(winauto::FindControl(box, 0xFFFF));
            EXPECT_NE(text.find(L"has removed nothing"), std::wstring::npos) << Narrow(text);
            winauto::PressDialogButton(box, IDOK);
        }
        DWORD exitCode = 0;
        if (WaitForSingleObject(process.hProcess, kScriptWaitMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &exitCode);
        } else {
            TerminateProcess(process.hProcess, 99);
            exitCode = 99;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(exitCode, 1u);
        EXPECT_EQ(profile.Left(), before);
    }
}

// The whole removal: the helper checks the shipped script (text-form block, the signature gate
// for scripts), deletes the shortcuts and starts it; the install is gone when it has run.
TEST(UninstallScript, HelperRemovalRunsTheShippedScript) {
    ProfileCase profile(L"uninstall_script_through_helper");
    for (const auto& file : kInstalledFiles) profile.Write(file.first, file.second);
    profile.Write("Brisco\\brisco-suite\\fetchwell-files.txt", kInstalledList);
    HelperRun run = profile.Helper().Run(L"/remove", {IDYES});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(profile.Left(), std::vector<std::string>{"Brisco\\"});
}

}  // namespace
