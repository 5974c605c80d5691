// Case folders for the install helper's process tests: each case lays out its own helper folder
// (helper, resource library, host, script) and its own desktop folder, runs the real helper in
// it and looks at what it left behind.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// NotAProgram: a signed file that passes the check but that the system cannot start.
enum class HostFile {
    Signed,
    Unsigned,
    Altered,
    NotAProgram,
    Missing
};
enum class ScriptFile {
    Signed,
    Unsigned,
    Missing
};
enum class ResourceFile {
    Plain,
    WithCode,
    WithoutStrings,
    Missing,
    NotAnImage,
    HostileNames  // shortcut names "..\\outside-product" and "..\\outside-uninstall"
};
enum class DesktopFolder {
    Normal,
    Missing,
    Long
};

struct CaseLayout {
    HostFile host = HostFile::Signed;
    ScriptFile script = ScriptFile::Signed;
    ResourceFile resources = ResourceFile::Plain;
    DesktopFolder desktop = DesktopFolder::Normal;
};

std::wstring StandInDirectory();
std::wstring SystemDirectory();

// One start of a stand-in: its current folder and its command line.
struct Started {
    std::wstring directory;
    std::wstring commandLine;
};

// What the test saw of one message box of the helper before answering it.
struct BoxSeen {
    std::wstring caption;
    std::wstring text;
    std::vector<std::wstring> buttons;  // visible ones, in window order
    bool hasIcon = false;
};

// Answer to a box: a button id (IDOK, IDYES, IDNO), or kCloseBox to close it from its frame.
const int kCloseBox = 0;

struct HelperRun {
    bool finished = false;  // the helper exited on its own within the time allowed
    DWORD exitCode = 0;
    DWORD startError = 0;        // CreateProcessW's error when the helper could not be started
    DWORD processesStarted = 0;  // the helper and everything it started
    std::vector<BoxSeen> boxes;
};

// The boxes a run showed, for a failing test's message: caption, text and visible buttons.
std::string DescribeBoxes(const HelperRun& run);

// Called while a box of the helper is shown, before it is answered.
using BoxWatcher = std::function<void(DWORD processId, HWND box)>;

struct ShellLink {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
    std::wstring iconPath;
    int iconIndex = -1;
    std::wstring workingDirectory;
};
ShellLink ReadShellLink(const std::wstring& path);

// A string of briscoinstallrc.dll as built, from the table of the given language.
std::wstring BuiltString(UINT id, LANGID language = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

// One registry value of the current user, put back as it was (type and data, or absent) when the
// object goes, along with the keys that were created for it: a test that fails midway still
// leaves the prefix as it found it.
class ScopedRegistryValue {
public:
    ScopedRegistryValue(const std::wstring& keyPath, const std::wstring& valueName);
    ~ScopedRegistryValue();
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

    void Set(DWORD type, const std::wstring& data);

private:
    std::wstring key_, value_;
    bool hadValue_ = false;
    DWORD savedType_ = REG_NONE;
    std::vector<BYTE> savedData_;
    std::vector<std::wstring> createdKeys_;  // deepest last
};

class HelperCase {
public:
    HelperCase(const std::wstring& name, const CaseLayout& layout = CaseLayout());
    ~HelperCase();
    HelperCase(const HelperCase&) = delete;
    HelperCase& operator=(const HelperCase&) = delete;

    // With trailing backslashes.
    const std::wstring& AppDirectory() const { return app_; }
    const std::wstring& Folder() const { return folder_; }
    // Without one, as the desktop folder is reported.
    const std::wstring& DesktopDirectory() const { return desktop_; }

    std::wstring HostPath() const { return app_ + L"fetchwell.exe"; }
    std::wstring HelperPath() const { return app_ + L"brisco-install.exe"; }
    std::wstring ScriptPath() const { return app_ + L"Uninstall.vbs"; }
    std::wstring ProductLinkPath() const;  // what the helper should write, cut to 259 characters
    std::wstring UninstallLinkPath() const;

    // Runs the helper with these arguments; answers its boxes in order.
    HelperRun Run(const std::wstring& arguments, const std::vector<int>& answers = {},
                  const BoxWatcher& watcher = nullptr) const;

    // Starts another program in the helper's folder; returns its exit code.
    DWORD RunProgram(const std::wstring& commandLine) const;

    std::vector<Started> HostStarts() const;
    std::vector<Started> ScriptStarts() const;
    // Names of the files in the desktop folder.
    std::vector<std::wstring> DesktopFiles() const;
    bool DesktopExists() const;

private:
    std::wstring folder_, app_, desktop_, records_;
    // The desktop folder as configured, and the resolved copy that the shell writes back.
    std::unique_ptr<ScopedRegistryValue> configuredDesktop_, resolvedDesktop_;
};

// A Wine library load-order override for one program (by file name), or for every program when
// program is empty, for as long as the object lives. It takes effect for processes started after
// it was set; Wine reads no overrides from a Windows environment block.
class ScopedDllOverride {
public:
    ScopedDllOverride(const std::wstring& program, const std::wstring& library,
                      const std::wstring& order);
    ScopedDllOverride(const ScopedDllOverride&) = delete;
    ScopedDllOverride& operator=(const ScopedDllOverride&) = delete;

private:
    ScopedRegistryValue value_;
};

bool FileExists(const std::wstring& path);
void WriteFileText(const std::wstring& path, const std::string& content);
std::string ReadFileBytes(const std::wstring& path);
std::wstring WithoutTrailingBackslash(std::wstring path);
bool SamePath(const std::wstring& a, const std::wstring& b);
