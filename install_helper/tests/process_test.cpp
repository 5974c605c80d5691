// The real brisco-install.exe, run as a process of its own in a case folder of each test: its
// exit codes, its message boxes (answered the way a person would), the shortcuts it leaves on the
// desktop and the programs it starts.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "helper_case.h"
#include "sample_files.h"
#include "tampered_files.h"

namespace {

const wchar_t kGuardName[] = L"{F0B336D4-3E88-4364-8249-3A2EABA64365}";
const wchar_t kProductInUseName[] = L"{856D85EB-3BEF-48fb-BE9F-039EEB944369}";

const LANGID kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) {
        result += c < 128 ? static_cast<char>(c) : '?';
    }
    return result;
}

// Test names from the name column of a table.
struct ByName {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

// A name the helper looks for, held by the test for as long as the object lives.
class HeldName {
public:
    explicit HeldName(HANDLE handle) : handle_(handle) {}
    ~HeldName() {
        if (handle_) CloseHandle(handle_);
    }
    HeldName(const HeldName&) = delete;
    HeldName& operator=(const HeldName&) = delete;
    bool IsHeld() const { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

// The script host of the test prefix is the stand-in for the whole run.
class StandInScriptHost : public testing::Environment {
public:
    void SetUp() override {
        CoInitialize(nullptr);
        // The desktop process belongs to this test, not to the job of a helper run.
        GetDesktopWindow();
        host_ = SystemDirectory() + L"\\wscript.exe";
        saved_ = host_ + L".ky-saved";
        // A saved copy that is already there is the original, left by a run that died early.
        if (!FileExists(saved_) && FileExists(host_)) {
            MoveFileW(host_.c_str(), saved_.c_str());
        }
        hadOriginal_ = FileExists(saved_);
        CopyFileW((StandInDirectory() + L"wscript.exe").c_str(), host_.c_str(), FALSE);
        // Wine would run its own script host in place of a file in the system folder.
        nativeScriptHost_ = std::make_unique<ScopedDllOverride>(L"", L"wscript.exe", L"native");
    }
    void TearDown() override {
        nativeScriptHost_.reset();
        DeleteFileW(host_.c_str());
        if (hadOriginal_) {
            MoveFileW(saved_.c_str(), host_.c_str());
        }
        CoUninitialize();
    }

private:
    std::wstring host_, saved_;
    bool hadOriginal_ = false;
    std::unique_ptr<ScopedDllOverride> nativeScriptHost_;
};

// A file of the system folder moved aside for as long as the object lives.
class MovedAside {
public:
    explicit MovedAside(const std::wstring& path) : path_(path), aside_(path + L".ky-aside") {
        moved_ = MoveFileExW(path_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    }
    ~MovedAside() {
        if (moved_) {
            MoveFileExW(aside_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    MovedAside(const MovedAside&) = delete;
    MovedAside& operator=(const MovedAside&) = delete;
    bool IsMoved() const { return moved_; }

private:
    std::wstring path_, aside_;
    bool moved_ = false;
};

bool GuardExists() {
    HANDLE guard = OpenMutexW(SYNCHRONIZE, FALSE, kGuardName);
    if (guard == nullptr) {
        return false;
    }
    CloseHandle(guard);
    return true;
}

testing::Environment* const kScriptHost = testing::AddGlobalTestEnvironment(new StandInScriptHost);

std::wstring ScriptHostCommandLine(const HelperCase& c) {
    return L"\"" + SystemDirectory() + L"\\wscript.exe\" \"" + c.ScriptPath() + L"\" /uninstall";
}

std::vector<std::wstring> BothLinkNames() {
    std::vector<std::wstring> names = {BuiltString(103) + L".lnk", BuiltString(104) + L".lnk"};
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectRefusalBox(const HelperRun& run, const std::wstring& file) {
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring format = BuiltString(106);
    std::wstring expected =
        format.substr(0, format.find(L"%s")) + file + format.substr(format.find(L"%s") + 2);
    EXPECT_EQ(run.boxes[0].text, expected);
    EXPECT_EQ(run.boxes[0].caption, BuiltString(101));
    EXPECT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_TRUE(run.boxes[0].hasIcon);
}

// ---------------------------------------------------------------------------------------------
// Command lines

struct CommandLineCase {
    const char* name;
    const wchar_t* arguments;
    std::vector<int> answers;
    DWORD exitCode;
    size_t hostStarts;
    size_t desktopFiles;
};

void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }

const CommandLineCase kCommandLines[] = {
    {"NoSwitchGivesOne", L"", {}, 1, 0, 0},
    {"TwoSwitchesGiveOne", L"/install /start", {}, 1, 0, 0},
    {"SwitchWithAnArgumentGivesOne", L"/start now", {}, 1, 0, 0},
    {"UnknownSwitchGivesOne", L"/uninstall", {}, 1, 0, 0},
    {"SwitchWithoutSlashGivesOne", L"install", {}, 1, 0, 0},
    {"EmptyQuotedArgumentGivesOne", L"\"\"", {}, 1, 0, 0},
    {"InstallInMixedCase", L"/InStAlL", {}, 0, 1, 2},
    {"StartInUpperCase", L"/START", {}, 0, 1, 0},
    {"StartInMixedCaseAndQuotes", L"\"/sTaRt\"", {}, 0, 1, 0},
    {"RemoveInMixedCaseAsks", L"/rEmOvE", {IDNO}, 2, 0, 0},
};

class CommandLineTest : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, GivesItsExitCode) {
    const CommandLineCase& c = GetParam();
    HelperCase helper(L"command_line");
    HelperRun run = helper.Run(c.arguments, c.answers);
    ASSERT_TRUE(run.finished) << "the helper did not end by itself (a box nobody expected?)";
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.boxes.size(), c.answers.size());
    EXPECT_EQ(helper.HostStarts().size(), c.hostStarts);
    EXPECT_EQ(helper.DesktopFiles().size(), c.desktopFiles);
    EXPECT_TRUE(helper.ScriptStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Switches, CommandLineTest, testing::ValuesIn(kCommandLines), ByName());

// ---------------------------------------------------------------------------------------------
// Install and start

TEST(InstallFlow, WritesBothShortcutsAndStartsTheHostFromTheHelperFolder) {
    HelperCase helper(L"install");
    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());

    ShellLink product = ReadShellLink(helper.ProductLinkPath());
    ASSERT_TRUE(product.loaded);
    EXPECT_TRUE(SamePath(product.target, helper.HostPath())) << Narrow(product.target);
    EXPECT_EQ(product.arguments, L"");
    EXPECT_TRUE(SamePath(product.iconPath, helper.AppDirectory() + L"brisco.ico"))
        << Narrow(product.iconPath);
    EXPECT_EQ(product.iconIndex, 0);
    EXPECT_EQ(product.workingDirectory, L"");

    ShellLink uninstall = ReadShellLink(helper.UninstallLinkPath());
    ASSERT_TRUE(uninstall.loaded);
    EXPECT_TRUE(SamePath(uninstall.target, helper.HelperPath())) << Narrow(uninstall.target);
    EXPECT_EQ(uninstall.arguments, L"/remove");
    EXPECT_TRUE(SamePath(uninstall.iconPath, helper.AppDirectory() + L"brisco_uninstall.ico"))
        << Narrow(uninstall.iconPath);
    EXPECT_EQ(uninstall.iconIndex, 0);
    EXPECT_EQ(uninstall.workingDirectory, L"");

    std::vector<Started> starts = helper.HostStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(SamePath(starts[0].directory, helper.AppDirectory()))
        << Narrow(starts[0].directory);
    EXPECT_NE(starts[0].commandLine.find(helper.HostPath()), std::wstring::npos)
        << Narrow(starts[0].commandLine);
}

TEST(InstallFlow, OverwritesLinkFilesThatAreAlreadyThere) {
    HelperCase helper(L"install_over");
    WriteFileText(helper.ProductLinkPath(), "old");
    WriteFileText(helper.UninstallLinkPath(), "old");
    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(SamePath(ReadShellLink(helper.ProductLinkPath()).target, helper.HostPath()));
    EXPECT_TRUE(SamePath(ReadShellLink(helper.UninstallLinkPath()).target, helper.HelperPath()));
}

TEST(StartFlow, StartsTheHostAndLeavesTheDesktopUntouched) {
    HelperCase helper(L"start");
    WriteFileText(helper.ProductLinkPath(), "kept");
    WriteFileText(helper.DesktopDirectory() + L"\\notes.txt", "kept");
    HelperRun run = helper.Run(L"/start");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    std::vector<std::wstring> expected = {BuiltString(103) + L".lnk", L"notes.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(helper.DesktopFiles(), expected);
    EXPECT_EQ(ReadFileBytes(helper.ProductLinkPath()), "kept");
    std::vector<Started> starts = helper.HostStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(SamePath(starts[0].directory, helper.AppDirectory()));
}

struct RefusedHostCase {
    const char* name;
    HostFile host;
    const wchar_t* arguments;
};

void PrintTo(const RefusedHostCase& c, std::ostream* out) { *out << c.name; }

const RefusedHostCase kRefusedHosts[] = {
    {"UnsignedHostOnInstall", HostFile::Unsigned, L"/install"},
    {"AlteredHostOnInstall", HostFile::Altered, L"/install"},
    {"MissingHostOnInstall", HostFile::Missing, L"/install"},
    {"UnsignedHostOnStart", HostFile::Unsigned, L"/start"},
    {"AlteredHostOnStart", HostFile::Altered, L"/start"},
};

class RefusedHostTest : public testing::TestWithParam<RefusedHostCase> {};

TEST_P(RefusedHostTest, GivesFiveSaysWhyAndStartsNothing) {
    CaseLayout layout;
    layout.host = GetParam().host;
    HelperCase helper(L"refused_host", layout);
    HelperRun run = helper.Run(GetParam().arguments, {IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 5u);
    ExpectRefusalBox(run, helper.HostPath());
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_TRUE(helper.HostStarts().empty());
    EXPECT_EQ(run.processesStarted, 1u);
}

INSTANTIATE_TEST_SUITE_P(Hosts, RefusedHostTest, testing::ValuesIn(kRefusedHosts), ByName());

// Someone is rewriting the file to start (it is open for writing): the helper cannot hold it
// still from its check to its start, so it does not start it, however good it looks right now.
struct BeingWrittenCase {
    const char* name;
    const wchar_t* arguments;
    bool script;  // the uninstall script, else the host
    std::vector<int> answers;
};

void PrintTo(const BeingWrittenCase& c, std::ostream* out) { *out << c.name; }

const BeingWrittenCase kBeingWritten[] = {
    {"HostOnInstall", L"/install", false, {IDOK}},
    {"HostOnStart", L"/start", false, {IDOK}},
    {"ScriptOnRemove", L"/remove", true, {IDYES, IDOK}},
};

class FileBeingWrittenTest : public testing::TestWithParam<BeingWrittenCase> {};

TEST_P(FileBeingWrittenTest, IsRefusedWithFive) {
    const BeingWrittenCase& c = GetParam();
    HelperCase helper(L"file_being_written");
    std::vector<std::wstring> desktopBefore;
    if (c.script) {
        ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
        desktopBefore = helper.DesktopFiles();
    }
    std::wstring file = c.script ? helper.ScriptPath() : helper.HostPath();
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    size_t hostStartsBefore = helper.HostStarts().size();
    HelperRun run = helper.Run(c.arguments, c.answers);
    CloseHandle(writer);
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 5u);
    ASSERT_EQ(run.boxes.size(), c.answers.size());
    run.boxes.erase(run.boxes.begin(), run.boxes.end() - 1);
    ExpectRefusalBox(run, file);
    EXPECT_EQ(helper.HostStarts().size(), hostStartsBefore);
    EXPECT_TRUE(helper.ScriptStarts().empty());
    EXPECT_EQ(helper.DesktopFiles(), desktopBefore);
}

INSTANTIATE_TEST_SUITE_P(Files, FileBeingWrittenTest, testing::ValuesIn(kBeingWritten), ByName());

// The exit code says that the host was handed to the system, not that it ran. The system
// reports the failed start in a box of its own, which the test answers.
TEST(InstallFlow, GivesZeroWhenTheHostDoesNotStart) {
    CaseLayout layout;
    layout.host = HostFile::NotAProgram;
    HelperCase helper(L"host_not_a_program", layout);
    HelperRun run = helper.Run(L"/install", {IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_NE(run.boxes[0].caption, BuiltString(101))
        << "the helper reported the failed start itself";
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());
    EXPECT_TRUE(helper.HostStarts().empty());
}

// A link that cannot be written is not reported; the other one is still made, the host started.
TEST(InstallFlow, GoesOnWhenALinkCannotBeWritten) {
    HelperCase helper(L"link_not_writable");
    ASSERT_TRUE(CreateDirectoryW(helper.ProductLinkPath().c_str(), nullptr));
    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_FALSE(ReadShellLink(helper.ProductLinkPath()).loaded);
    EXPECT_TRUE(SamePath(ReadShellLink(helper.UninstallLinkPath()).target, helper.HelperPath()));
    EXPECT_EQ(helper.HostStarts().size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Remove

TEST(RemoveFlow, AnsweredYesDeletesTheShortcutsAndRunsTheScript) {
    HelperCase helper(L"remove_yes");
    ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
    ASSERT_EQ(helper.DesktopFiles().size(), 2u);

    HelperRun run = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, BuiltString(101));
    EXPECT_EQ(run.boxes[0].text, BuiltString(102));
    EXPECT_EQ(run.boxes[0].buttons.size(), 2u);
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_TRUE(helper.DesktopFiles().empty());

    std::vector<Started> scripts = helper.ScriptStarts();
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0].commandLine, ScriptHostCommandLine(helper))
        << Narrow(scripts[0].commandLine);
    EXPECT_TRUE(SamePath(scripts[0].directory, SystemDirectory())) << Narrow(scripts[0].directory);
}

struct NotConfirmedCase {
    const char* name;
    int answer;
};

void PrintTo(const NotConfirmedCase& c, std::ostream* out) { *out << c.name; }

const NotConfirmedCase kNotConfirmed[] = {
    {"AnsweredNo", IDNO},
    {"Closed", kCloseBox},
};

class RemoveNotConfirmedTest : public testing::TestWithParam<NotConfirmedCase> {};

TEST_P(RemoveNotConfirmedTest, GivesTwoAndChangesNothing) {
    HelperCase helper(L"remove_not_confirmed");
    ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
    HelperRun run = helper.Run(L"/remove", {GetParam().answer});
    ASSERT_TRUE(run.finished) << "the question box did not go away";
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());
    EXPECT_TRUE(helper.ScriptStarts().empty());
    EXPECT_EQ(run.processesStarted, 1u);
}

INSTANTIATE_TEST_SUITE_P(Answers, RemoveNotConfirmedTest, testing::ValuesIn(kNotConfirmed),
                         ByName());

TEST(RemoveFlow, RunsTheScriptWhenBothShortcutsAreAlreadyGone) {
    HelperCase helper(L"remove_gone");
    HelperRun run = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    std::vector<Started> scripts = helper.ScriptStarts();
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0].commandLine, ScriptHostCommandLine(helper));
}

TEST(RemoveFlow, GivesZeroWhenTheScriptHostDoesNotStart) {
    HelperCase helper(L"remove_no_script_host");
    ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
    MovedAside scriptHost(SystemDirectory() + L"\\wscript.exe");
    ASSERT_TRUE(scriptHost.IsMoved());
    HelperRun run = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_TRUE(helper.ScriptStarts().empty());
    EXPECT_EQ(run.processesStarted, 1u);
}

struct RefusedScriptCase {
    const char* name;
    ScriptFile script;
};

void PrintTo(const RefusedScriptCase& c, std::ostream* out) { *out << c.name; }

const RefusedScriptCase kRefusedScripts[] = {
    {"UnsignedScript", ScriptFile::Unsigned},
    {"MissingScript", ScriptFile::Missing},
};

class RefusedScriptTest : public testing::TestWithParam<RefusedScriptCase> {};

TEST_P(RefusedScriptTest, GivesFiveAndKeepsTheShortcuts) {
    CaseLayout layout;
    layout.script = GetParam().script;
    HelperCase helper(L"refused_script", layout);
    ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
    HelperRun run = helper.Run(L"/remove", {IDYES, IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 5u);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].text, BuiltString(102));
    run.boxes.erase(run.boxes.begin());
    ExpectRefusalBox(run, helper.ScriptPath());
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());
    EXPECT_TRUE(helper.ScriptStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Scripts, RefusedScriptTest, testing::ValuesIn(kRefusedScripts), ByName());

// ---------------------------------------------------------------------------------------------
// The two mutexes

struct ProductInUseCase {
    const char* name;
    bool guardToo;
};

void PrintTo(const ProductInUseCase& c, std::ostream* out) { *out << c.name; }

const ProductInUseCase kProductInUse[] = {
    {"ProductRunning", false},
    {"ProductRunningWhileAnotherFlowRuns", true},
};

class ProductInUseTest : public testing::TestWithParam<ProductInUseCase> {};

TEST_P(ProductInUseTest, WarnsAndGivesFour) {
    HelperCase helper(L"product_in_use");
    ASSERT_EQ(helper.Run(L"/install").exitCode, 0u);
    HeldName product(CreateMutexW(nullptr, FALSE, kProductInUseName));
    HeldName guard(GetParam().guardToo ? CreateMutexW(nullptr, FALSE, kGuardName) : nullptr);
    ASSERT_TRUE(product.IsHeld());

    HelperRun run = helper.Run(L"/remove", {IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 4u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, BuiltString(105));
    EXPECT_EQ(run.boxes[0].caption, BuiltString(101));
    EXPECT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_TRUE(run.boxes[0].hasIcon);
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());
    EXPECT_TRUE(helper.ScriptStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Mutexes, ProductInUseTest, testing::ValuesIn(kProductInUse), ByName());

struct GuardCase {
    const char* name;
    const wchar_t* arguments;
    bool nameTakenByAnEvent;  // the name exists, but not as a mutex: the guard cannot be created
};

void PrintTo(const GuardCase& c, std::ostream* out) { *out << c.name; }

const GuardCase kGuards[] = {
    {"InstallWhileAnotherFlowRuns", L"/install", false},
    {"StartWhileAnotherFlowRuns", L"/start", false},
    {"RemoveWhileAnotherFlowRuns", L"/remove", false},
    {"InstallWhenTheGuardCannotBeCreated", L"/install", true},
    {"RemoveWhenTheGuardCannotBeCreated", L"/remove", true},
};

class GuardTest : public testing::TestWithParam<GuardCase> {};

TEST_P(GuardTest, GivesThreeSilentlyAndDoesNothing) {
    HelperCase helper(L"guard");
    WriteFileText(helper.ProductLinkPath(), "kept");
    HeldName guard(GetParam().nameTakenByAnEvent ? CreateEventW(nullptr, TRUE, FALSE, kGuardName)
                                                 : CreateMutexW(nullptr, FALSE, kGuardName));
    ASSERT_TRUE(guard.IsHeld());
    HelperRun run = helper.Run(GetParam().arguments);
    ASSERT_TRUE(run.finished) << "the helper showed something";
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_EQ(run.processesStarted, 1u);
    EXPECT_EQ(helper.DesktopFiles(), std::vector<std::wstring>{BuiltString(103) + L".lnk"});
    EXPECT_EQ(ReadFileBytes(helper.ProductLinkPath()), "kept");
    EXPECT_TRUE(helper.HostStarts().empty());
    EXPECT_TRUE(helper.ScriptStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Guards, GuardTest, testing::ValuesIn(kGuards), ByName());

// While one helper asks its removal question, a second one started meanwhile refuses with 3.
TEST(Guard, ExistsWhileTheRemovalQuestionIsOpen) {
    HelperCase helper(L"guard_during_question");
    bool guardSeen = false;
    DWORD secondExitCode = 0;
    HelperRun run = helper.Run(L"/remove", {IDNO}, [&](DWORD, HWND) {
        guardSeen = GuardExists();
        secondExitCode = helper.RunProgram(L"\"" + helper.HelperPath() + L"\" /start");
    });
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(guardSeen);
    EXPECT_EQ(secondExitCode, 3u);
    EXPECT_TRUE(helper.HostStarts().empty());
}

TEST(Guard, IsNotCreatedForTheProductInUseWarning) {
    HelperCase helper(L"guard_during_warning");
    HeldName product(CreateMutexW(nullptr, FALSE, kProductInUseName));
    ASSERT_TRUE(product.IsHeld());
    bool guardSeen = true;
    HelperRun run = helper.Run(L"/remove", {IDOK}, [&](DWORD, HWND) { guardSeen = GuardExists(); });
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 4u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_FALSE(guardSeen);
}

// ---------------------------------------------------------------------------------------------
// The resource library

struct ResourceCase {
    const char* name;
    ResourceFile resources;
};

void PrintTo(const ResourceCase& c, std::ostream* out) { *out << c.name; }

const ResourceCase kMissingResources[] = {
    {"Missing", ResourceFile::Missing},
    {"NotALibrary", ResourceFile::NotAnImage},
};

class MissingResourcesTest : public testing::TestWithParam<ResourceCase> {};

TEST_P(MissingResourcesTest, ShowsItsOneMessageAndGivesZero) {
    CaseLayout layout;
    layout.resources = GetParam().resources;
    HelperCase helper(L"no_resources", layout);
    HelperRun run = helper.Run(L"/install", {IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, L"Can't load briscoinstallrc.dll");
    EXPECT_EQ(run.boxes[0].caption, L"Orvane PC Brisco");
    EXPECT_EQ(run.boxes[0].buttons.size(), 1u);
    EXPECT_FALSE(run.boxes[0].hasIcon);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_TRUE(helper.HostStarts().empty());
}

INSTANTIATE_TEST_SUITE_P(Resources, MissingResourcesTest, testing::ValuesIn(kMissingResources),
                         ByName());

// The resource library is not checked, so its code must never run; its strings still load.
TEST(ResourceLibrary, IsReadWithoutRunningItsCode) {
    CaseLayout layout;
    layout.resources = ResourceFile::WithCode;
    HelperCase helper(L"resources_with_code", layout);
    std::wstring mark = helper.AppDirectory() + L"briscoinstallrc.dll.loaded";
    HelperRun run = helper.Run(L"/remove", {IDNO});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, BuiltString(102));
    EXPECT_FALSE(FileExists(mark)) << "the helper ran code of its resource library";

    // Control: an ordinary load of the same file does run that code.
    CopyFileW((StandInDirectory() + L"unguarded_loader.exe").c_str(),
              (helper.AppDirectory() + L"unguarded_loader.exe").c_str(), FALSE);
    helper.RunProgram(L"\"" + helper.AppDirectory() + L"unguarded_loader.exe\" \"" +
                      helper.AppDirectory() + L"briscoinstallrc.dll\"");
    EXPECT_TRUE(FileExists(mark));
}

// A library without the strings: empty texts, and the flows go on. Both links are then named
// ".lnk", so the second one written (the uninstall link) is the one that stays.
TEST(ResourceLibrary, WithoutItsStringsTheFlowsGoOnWithEmptyTexts) {
    CaseLayout layout;
    layout.resources = ResourceFile::WithoutStrings;
    HelperCase helper(L"resources_without_strings", layout);
    HelperRun install = helper.Run(L"/install");
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(install.exitCode, 0u);
    EXPECT_EQ(helper.DesktopFiles(), std::vector<std::wstring>{L".lnk"});
    ShellLink link = ReadShellLink(helper.DesktopDirectory() + L"\\.lnk");
    EXPECT_TRUE(SamePath(link.target, helper.HelperPath())) << Narrow(link.target);
    EXPECT_EQ(link.arguments, L"/remove");
    EXPECT_EQ(helper.HostStarts().size(), 1u);

    HelperRun remove = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(remove.finished);
    EXPECT_EQ(remove.exitCode, 0u);
    ASSERT_EQ(remove.boxes.size(), 1u);
    EXPECT_EQ(remove.boxes[0].text, L"");
    EXPECT_EQ(remove.boxes[0].caption, L"");
    EXPECT_EQ(remove.boxes[0].buttons.size(), 2u);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_EQ(helper.ScriptStarts().size(), 1u);
}

// With no message to say why, a refused file is refused silently.
TEST(ResourceLibrary, WithoutItsStringsARefusedHostGivesFiveSilently) {
    CaseLayout layout;
    layout.resources = ResourceFile::WithoutStrings;
    layout.host = HostFile::Unsigned;
    HelperCase helper(L"resources_without_strings_refused", layout);
    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "the helper showed something";
    EXPECT_EQ(run.exitCode, 5u);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_TRUE(helper.HostStarts().empty());
}

// The standard lookup picks the table of the system's language. The German run of this test
// (install_helper_german_test) gives the prefix's processes a German system.
TEST(ResourceLibrary, PicksTheTableOfTheSystemLanguage) {
    LANGID language = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_GERMAN
                          ? kGerman
                          : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    char expected[16] = {};
    if (GetEnvironmentVariableA("KY_EXPECT_UI_LANGUAGE", expected, sizeof(expected)) > 0) {
        ASSERT_EQ(std::string(expected) == "de", language == kGerman)
            << "the run did not get the system language it asked for";
    }
    ASSERT_NE(BuiltString(102, kGerman), BuiltString(102));
    HelperCase helper(L"system_language");
    HelperRun run = helper.Run(L"/remove", {IDNO});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, BuiltString(102, language));
    EXPECT_EQ(run.boxes[0].caption, BuiltString(101, language));
    EXPECT_EQ(run.exitCode, 2u);
}

// ---------------------------------------------------------------------------------------------
// A library planted beside the helper

std::vector<std::wstring> ModulesOf(DWORD processId) {
    std::vector<std::wstring> modules;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return modules;
    }
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more;
         more = Module32NextW(snapshot, &entry)) {
        modules.emplace_back(entry.szExePath);
    }
    CloseHandle(snapshot);
    return modules;
}

// uxtheme.dll is not a known DLL, and the system's window code loads it by name once the
// helper shows a window: the classic library to plant beside a program in a Downloads folder.
TEST(PlantedLibrary, IsNotLoadedByTheHelper) {
    const std::wstring planted = L"uxtheme.dll";
    HelperCase helper(L"planted_library");
    CopyFileW((StandInDirectory() + L"planted_library.dll").c_str(),
              (helper.AppDirectory() + planted).c_str(), FALSE);
    CopyFileW((StandInDirectory() + L"unguarded_loader.exe").c_str(),
              (helper.AppDirectory() + L"unguarded_loader.exe").c_str(), FALSE);
    // Wine takes its own built-in libraries unless told to prefer a file it finds.
    ScopedDllOverride helperPrefersFiles(L"brisco-install.exe", L"uxtheme", L"native,builtin");
    ScopedDllOverride controlPrefersFiles(L"unguarded_loader.exe", L"uxtheme", L"native,builtin");
    std::wstring mark = helper.AppDirectory() + planted + L".loaded";

    std::vector<std::wstring> modules;
    HelperRun run = helper.Run(L"/remove", {IDNO},
                               [&](DWORD processId, HWND) { modules = ModulesOf(processId); });
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_FALSE(FileExists(mark)) << "the helper loaded the planted " << Narrow(planted);

    // The helper did load a library of that name: the system's own.
    bool systemCopy = false;
    for (const std::wstring& module : modules) {
        std::wstring name = module.substr(module.find_last_of(L'\\') + 1);
        if (CompareStringOrdinal(name.c_str(), -1, planted.c_str(), -1, TRUE) == CSTR_EQUAL) {
            EXPECT_TRUE(SamePath(module.substr(0, module.find_last_of(L'\\')), SystemDirectory()))
                << Narrow(module);
            systemCopy = true;
        }
    }
    EXPECT_TRUE(systemCopy) << "the helper never loaded " << Narrow(planted)
                            << ", so this test proves nothing";

    // Control: a program that does not restrict its search picks up the planted copy.
    helper.RunProgram(L"\"" + helper.AppDirectory() + L"unguarded_loader.exe\" " + planted);
    EXPECT_TRUE(FileExists(mark))
        << "Wine did not prefer the planted copy, so this test proves nothing";
}

// ---------------------------------------------------------------------------------------------
// The desktop folder

TEST(DesktopFolder, TooLongForTheLinkNameGivesCutLinkPaths) {
    CaseLayout layout;
    layout.desktop = DesktopFolder::Long;
    HelperCase helper(L"long_desktop", layout);
    ASSERT_TRUE(helper.DesktopExists());
    ASSERT_GT(helper.DesktopDirectory().size() + 1 + BuiltString(103).size() + 4, 259u);

    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(helper.ProductLinkPath().size(), 259u);
    EXPECT_TRUE(FileExists(helper.ProductLinkPath()));
    EXPECT_TRUE(FileExists(helper.UninstallLinkPath()));
    EXPECT_EQ(helper.DesktopFiles().size(), 2u);
    EXPECT_EQ(helper.HostStarts().size(), 1u);

    HelperRun remove = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(remove.finished);
    EXPECT_EQ(remove.exitCode, 0u);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    EXPECT_EQ(helper.ScriptStarts().size(), 1u);
}

// With no desktop folder there is no place for a link: the helper skips them and goes on.
TEST(DesktopFolder, MissingSkipsTheShortcutsButStillStartsTheHost) {
    CaseLayout layout;
    layout.desktop = DesktopFolder::Missing;
    HelperCase helper(L"no_desktop", layout);
    HelperRun run = helper.Run(L"/install");
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(helper.HostStarts().size(), 1u);
    EXPECT_FALSE(helper.DesktopExists());
    WIN32_FIND_DATAW found;
    HANDLE stray = FindFirstFileW((helper.AppDirectory() + L"*.lnk").c_str(), &found);
    EXPECT_EQ(stray, INVALID_HANDLE_VALUE) << "a link landed in the helper's folder";
    if (stray != INVALID_HANDLE_VALUE) FindClose(stray);

    HelperRun remove = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(remove.finished);
    EXPECT_EQ(remove.exitCode, 0u);
    EXPECT_EQ(helper.ScriptStarts().size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// Shortcut names from a planted resource library

// Size of the file at path, or -1 when there is none.
long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(HostileLinkNames, TouchNothingOutsideTheDesktopFolder) {
    CaseLayout layout;
    layout.resources = ResourceFile::HostileNames;
    HelperCase helper(L"hostile_names", layout);
    // Where "..\outside-*" would lead from the desktop folder: files the helper must leave alone.
    const std::wstring outside[] = {helper.Folder() + L"outside-product.lnk",
                                    helper.Folder() + L"outside-uninstall.lnk"};
    for (const std::wstring& path : outside) {
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "planted", 7, &written, nullptr);
        CloseHandle(file);
    }
    HelperRun install = helper.Run(L"/install");
    ASSERT_TRUE(install.finished);
    EXPECT_EQ(install.exitCode, 0u);
    // The built-in names, which are the shipped library's English ones.
    EXPECT_EQ(helper.DesktopFiles(), BothLinkNames());
    for (const std::wstring& path : outside) EXPECT_EQ(FileSize(path), 7) << "overwritten";

    HelperRun remove = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(remove.finished);
    EXPECT_EQ(remove.exitCode, 0u);
    EXPECT_TRUE(helper.DesktopFiles().empty());
    for (const std::wstring& path : outside) EXPECT_EQ(FileSize(path), 7) << "deleted";
}

// ---------------------------------------------------------------------------------------------
// Uninstall scripts changed after signing: the script host is started only for a script whose
// every unsigned byte a script host reads as part of a comment line.

class TamperedScriptTest : public testing::TestWithParam<kysig_test::TamperedFile> {};

TEST_P(TamperedScriptTest, RunsOnlyWhenItReadsAsTheSignedScript) {
    const kysig_test::TamperedFile& t = GetParam();
    kysig_test::block::Bytes bytes = kysig_test::ReadBytes(kysig_test::SampleDir() / t.sample);
    ASSERT_FALSE(bytes.empty()) << t.sample;
    if (t.change) t.change(bytes);
    HelperCase helper(L"tampered_script", CaseLayout());
    kysig_test::WriteBytes(helper.ScriptPath(), bytes);
    const bool runs = kysig_test::RunsAsScript(t, bytes);
    // A refused script is explained in a second box.
    HelperRun run =
        helper.Run(L"/remove", runs ? std::vector<int>{IDYES} : std::vector<int>{IDYES, IDOK});
    ASSERT_TRUE(run.finished) << "start error " << run.startError;
    EXPECT_EQ(run.exitCode, runs ? 0u : 5u);
    EXPECT_EQ(run.boxes.size(), runs ? 1u : 2u);
    EXPECT_EQ(helper.ScriptStarts().size(), runs ? 1u : 0u);
}

std::vector<kysig_test::TamperedFile> TamperedScripts() {
    std::vector<kysig_test::TamperedFile> scripts;
    for (const kysig_test::TamperedFile& t : kysig_test::kTamperedFiles) {
        const std::string sample = t.sample;
        if (sample.size() > 4 && sample.compare(sample.size() - 4, 4, ".vbs") == 0) {
            scripts.push_back(t);
        }
    }
    return scripts;
}

INSTANTIATE_TEST_SUITE_P(Scripts, TamperedScriptTest, testing::ValuesIn(TamperedScripts()),
                         [](const testing::TestParamInfo<kysig_test::TamperedFile>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
