// The demo's user (tools/demo.sh): finds the loader host's process and its wizards, captures
// every page to PNG, goes through them with button clicks as a person would (or only watches a
// person do it), waits for the host to end and writes what it saw to a report: the host's exit
// code, the folders the run writes to and the shortcuts on the desktop.
//
//   demo_user.exe paths FOLDER                         the folders only (before a run)
//   demo_user.exe drive|cancel|watch FOLDER [--lang=CODE] [--payload-kib=N] [--timeout=S]
//
// drive: Next on the welcome page, CODE on the language page, Finish; the download runs to its
// end. cancel: the same, then Cancel during the download and Yes in the question, then Finish.
// watch: no clicks at all. FOLDER (Windows form) receives the captures and report.txt.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "winauto/winauto.h"

namespace {

constexpr wchar_t kHostExe[] = L"fetchwell.exe";
// Controls of the language libraries' page templates (resources/lang/lang_ids.h).
constexpr int kLanguageList = 1001;
constexpr int kProgressBar = 1004;
constexpr int kProgressDone = 1008;
constexpr int kProgressLeft = 1009;
constexpr int kProgressStatus = 1010;
constexpr int kWelcomeTitle = 1015;
// The wizard buttons of a property sheet.
constexpr int kWizardNext = 0x3024;
constexpr int kWizardFinish = 0x3025;

constexpr DWORD kPollMs = 50;
// The install helper starts the host at once; one that has not come by then will not come (the
// helper refused it, or it ended before it could be seen).
constexpr DWORD kHostWaitMs = 30000;
// Looked for this often until it is found: a host that refuses to run ends within a few tens of
// milliseconds.
constexpr DWORD kHostPollMs = 2;
// A page is captured once it has been active this long: the sheet posts its button changes after
// the page's activation, and the page paints after them.
constexpr DWORD kSettleMs = 600;
// The progress page is captured on every look while it runs, so that the last frame before the
// wizard closes itself after a successful end is kept; in the last part of the download the looks
// come quicker, since the install that follows takes a fraction of a second.
constexpr DWORD kEndPollMs = 10;

enum class Mode {
    kPaths,
    kDrive,
    kCancel,
    kWatch
};

struct Options {
    Mode mode = Mode::kDrive;
    std::wstring folder;  // ends with a backslash
    std::wstring language = L"de";
    long long payloadKib = 0;
    DWORD timeoutMs = 120000;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

// The report's lines ("key: value"), also echoed to the output as they come.
class Report {
public:
    explicit Report(DWORD start) : m_start(start) {}
    void Add(const std::wstring& key, const std::wstring& value) {
        m_lines.push_back(key + L": " + value);
        std::printf("[demo user %5.1f s] %s: %s\n", (GetTickCount() - m_start) / 1000.0,
                    Utf8(key).c_str(), Utf8(value).c_str());
        std::fflush(stdout);
    }
    bool Write(const std::wstring& path) const {
        FILE* f = _wfopen(path.c_str(), L"wb");
        if (!f) return false;
        for (const std::wstring& line : m_lines) std::fprintf(f, "%s\n", Utf8(line).c_str());
        return std::fclose(f) == 0;
    }

private:
    DWORD m_start;
    std::vector<std::wstring> m_lines;
};

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : m_h(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (m_h) CloseHandle(m_h);
    }
    void Reset(HANDLE h) {
        if (m_h) CloseHandle(m_h);
        m_h = h;
    }
    HANDLE Get() const { return m_h; }

private:
    HANDLE m_h = nullptr;
};

// The process id of the running loader host, 0 while there is none. Looked for in the process
// list rather than waited for by its first window, so that a host that ends before it shows a
// window still gives its exit code.
DWORD FindHostProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, kHostExe) == 0) {
            found = entry.th32ProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

struct DialogSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (owner == search->processId && IsWindowVisible(window) && wcscmp(cls, L"#32770") == 0) {
        search->found.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> DialogsOf(DWORD processId) {
    DialogSearch search{processId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ActivePage(HWND sheet) {
    DWORD_PTR page = 0;
    if (!SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 2000, &page)) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(page);
}

// The host's wizard: its dialog that has an active property page.
HWND FindSheet(DWORD processId) {
    for (HWND dialog : DialogsOf(processId)) {
        if (ActivePage(dialog)) return dialog;
    }
    return nullptr;
}

// The question the progress page asks before it cancels: a dialog owned by the wizard with a
// visible Yes button.
HWND FindQuestion(DWORD processId, HWND sheet) {
    for (HWND dialog : DialogsOf(processId)) {
        if (dialog == sheet || GetWindow(dialog, GW_OWNER) != sheet) continue;
        if (winauto::IsShown(GetDlgItem(dialog, IDYES))) return dialog;
    }
    return nullptr;
}

enum class Page {
    kNone,
    kWelcome,
    kLanguage,
    kProgress
};

Page KindOf(HWND page) {
    if (!page || !IsWindowVisible(page)) return Page::kNone;
    if (GetDlgItem(page, kWelcomeTitle)) return Page::kWelcome;
    if (GetDlgItem(page, kLanguageList)) return Page::kLanguage;
    if (GetDlgItem(page, kProgressBar)) return Page::kProgress;
    return Page::kNone;
}

const wchar_t* NameOf(Page page) {
    switch (page) {
        case Page::kWelcome:
            return L"welcome";
        case Page::kLanguage:
            return L"language";
        case Page::kProgress:
            return L"progress";
        case Page::kNone:
            break;
    }
    return L"none";
}

bool IsActive(HWND button) { return winauto::IsShown(button) && IsWindowEnabled(button); }

bool Click(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    return IsActive(button) && winauto::PressButton(button);
}

// The number in a control's text (the page writes plain digits); -1 without one.
long long NumberIn(HWND control) {
    const std::wstring text = winauto::GetText(control);
    long long value = -1;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') value = (value < 0 ? 0 : value * 10) + (c - L'0');
    }
    return value;
}

// Picks code in the language list with a click on its row, as the mouse would, so that the list
// tells the page; the row is found by the list's strings, which are the language codes.
bool PickLanguage(HWND page, const std::wstring& code) {
    HWND list = GetDlgItem(page, kLanguageList);
    if (!list) return false;
    const LRESULT index = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(code.c_str()));
    if (index == LB_ERR) return false;
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    RECT row = {};
    if (SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(&row)) != LB_ERR) {
        const LPARAM at = MAKELPARAM((row.left + row.right) / 2, (row.top + row.bottom) / 2);
        PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        for (int i = 0; i < 40; ++i) {
            if (SendMessageW(list, LB_GETCURSEL, 0, 0) == index) return true;
            Sleep(kPollMs);
        }
    }
    // The click did not reach the list: select the row directly and let it repaint, which is
    // where the page takes its code from.
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    return SendMessageW(list, LB_GETCURSEL, 0, 0) == index;
}

std::wstring FolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}

// A COM interface pointer released with its owner.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (m_p) m_p->Release();
    }
    T* operator->() const { return m_p; }
    void** Out() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// One shortcut as the shell reads it: "target|arguments|icon|index", empty when it cannot be read.
std::wstring ReadShortcut(const std::wstring& path) {
    ComRef<IShellLinkW> link;
    ComRef<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.Out())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Out())) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        return {};
    }
    wchar_t target[MAX_PATH] = {}, arguments[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int iconIndex = 0;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &iconIndex);
    return std::wstring(target) + L"|" + arguments + L"|" + icon + L"|" +
           std::to_wstring(iconIndex);
}

// Every shortcut on the desktop: "name|target|arguments|icon|index".
void ReportShortcuts(Report& report, const std::wstring& desktop) {
    if (desktop.empty()) return;
    WIN32_FIND_DATAW entry = {};
    HANDLE find = FindFirstFileW((desktop + L"\\*.lnk").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    do {
        const std::wstring read = ReadShortcut(desktop + L"\\" + entry.cFileName);
        report.Add(L"shortcut", entry.cFileName + (read.empty() ? L"" : L"|" + read));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    if (com) CoUninitialize();
}

void ReportFolders(Report& report) {
    report.Add(L"local_appdata", FolderPath(CSIDL_LOCAL_APPDATA));
    report.Add(L"desktop", FolderPath(CSIDL_DESKTOPDIRECTORY));
}

class Session {
public:
    Session(const Options& options, Report& report)
        : m_options(options), m_report(report), m_start(GetTickCount()) {}
    void Run();

private:
    DWORD Elapsed() const { return GetTickCount() - m_start; }
    bool Drives() const { return m_options.mode != Mode::kWatch; }
    bool Save(HWND window, const wchar_t* name, const wchar_t* what);
    void SaveLastFrame();
    void OnProgress(HWND sheet, HWND page, DWORD since);

    const Options& m_options;
    Report& m_report;
    DWORD m_start;
    Handle m_host;
    DWORD m_hostId = 0;
    bool m_welcomeDone = false;
    bool m_languageDone = false;
    bool m_downloadCaptured = false;
    bool m_cancelPressed = false;
    bool m_yesPressed = false;
    bool m_endCaptured = false;
    HWND m_progressSheet = nullptr;
    HWND m_question = nullptr;
    DWORD m_questionSeen = 0;
    DWORD m_finishSeen = 0;
    bool m_nearTheEnd = false;
    winauto::Capture m_lastFrame;
    std::wstring m_lastFrameTexts;
};

bool Session::Save(HWND window, const wchar_t* name, const wchar_t* what) {
    winauto::Capture capture;
    if (!winauto::CaptureWindow(window, capture) ||
        !winauto::SavePng(capture, m_options.folder + name)) {
        m_report.Add(L"capture_failed", name);
        return false;
    }
    m_report.Add(L"capture", std::wstring(name) + L"|" + what);
    return true;
}

// The progress wizard closes itself after a successful end: its last frame is what the user saw
// of the end.
void Session::SaveLastFrame() {
    if (m_endCaptured || m_lastFrame.pixels.empty()) return;
    m_endCaptured = true;
    const wchar_t* name = L"04-progress-end.png";
    if (winauto::SavePng(m_lastFrame, m_options.folder + name)) {
        m_report.Add(L"capture", std::wstring(name) +
                                     L"|the progress page's last frame before the wizard closed "
                                     L"itself (" +
                                     m_lastFrameTexts + L")");
    } else {
        m_report.Add(L"capture_failed", name);
    }
}

void Session::OnProgress(HWND sheet, HWND page, DWORD since) {
    m_progressSheet = sheet;
    const long long done = NumberIn(GetDlgItem(page, kProgressDone));
    const long long left = NumberIn(GetDlgItem(page, kProgressLeft));
    const std::wstring status = winauto::GetText(GetDlgItem(page, kProgressStatus));
    const std::wstring texts = L"status \"" + status + L"\", " + std::to_wstring(done) +
                               L" KB done, " + std::to_wstring(left) + L" KB left";
    const bool finishShown = IsActive(GetDlgItem(sheet, kWizardFinish));

    if (!m_downloadCaptured && !finishShown && done > 0) {
        // A third of the way for a cancel, so that the download is still going when the user has
        // answered the question; half way otherwise.
        const long long due =
            m_options.mode == Mode::kCancel ? m_options.payloadKib / 3 : m_options.payloadKib / 2;
        if (m_options.payloadKib > 0 ? done >= due : since >= 2000) {
            Save(sheet, L"03-progress-download.png",
                 (L"the progress page during the download: " + texts).c_str());
            m_downloadCaptured = true;
            if (m_options.mode == Mode::kCancel) {
                m_cancelPressed = Click(sheet, IDCANCEL);
                m_report.Add(L"pressed", m_cancelPressed ? L"Cancel" : L"Cancel (not available)");
            }
        }
    }

    if (m_cancelPressed && !m_yesPressed) {
        HWND question = FindQuestion(m_hostId, sheet);
        if (question != m_question) {
            m_question = question;
            m_questionSeen = Elapsed();
        }
        if (question && Elapsed() - m_questionSeen >= kSettleMs) {
            Save(question, L"04-cancel-question.png", L"the question before the cancel");
            m_yesPressed = Click(question, IDYES);
            m_report.Add(L"pressed", m_yesPressed ? L"Yes" : L"Yes (not available)");
        }
        return;
    }

    if (finishShown) {
        if (!m_finishSeen) m_finishSeen = Elapsed();
        if (!m_endCaptured && Elapsed() - m_finishSeen >= kSettleMs) {
            m_endCaptured = true;
            const bool cancelled = m_options.mode == Mode::kCancel;
            Save(sheet, cancelled ? L"05-progress-cancelled.png" : L"04-progress-end.png",
                 (L"the progress page at the end: " + texts).c_str());
            if (Drives()) m_report.Add(L"pressed", Click(sheet, kWizardFinish) ? L"Finish" : L"-");
        }
        return;
    }

    winauto::Capture frame;
    // A frame taken while the wizard was already going away is not one the user saw. The page
    // paints its changes itself: no repaint is asked for, which would cost more than the copy.
    if (winauto::CaptureWindow(sheet, frame, false) && IsWindowVisible(sheet)) {
        m_lastFrame = std::move(frame);
        m_lastFrameTexts = texts;
    }
    m_nearTheEnd = done > 0 && left >= 0 && left * 5 <= done + left;
}

void Session::Run() {
    Page lastPage = Page::kNone;
    HWND lastSheet = nullptr;
    DWORD pageSince = 0;
    std::wstring pages;
    while (Elapsed() < m_options.timeoutMs) {
        if (!m_host.Get()) {
            m_hostId = FindHostProcess();
            if (m_hostId) {
                m_host.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, m_hostId));
                m_report.Add(L"host_process", m_host.Get() ? L"found" : L"found, not opened");
            }
            if (!m_host.Get()) {
                if (Elapsed() >= kHostWaitMs) break;
                Sleep(kHostPollMs);
                continue;
            }
        }
        if (WaitForSingleObject(m_host.Get(), 0) == WAIT_OBJECT_0) break;

        HWND sheet = FindSheet(m_hostId);
        HWND page = sheet ? ActivePage(sheet) : nullptr;
        const Page kind = KindOf(page);
        if (kind != lastPage || sheet != lastSheet) {
            if (lastPage == Page::kProgress) SaveLastFrame();
            lastPage = kind;
            lastSheet = sheet;
            pageSince = Elapsed();
            if (kind != Page::kNone) {
                pages += (pages.empty() ? L"" : L" ") + std::wstring(NameOf(kind));
                m_report.Add(L"page", NameOf(kind));
            }
        }
        const DWORD since = Elapsed() - pageSince;
        switch (kind) {
            case Page::kWelcome:
                if (!m_welcomeDone && since >= kSettleMs) {
                    m_welcomeDone = true;
                    Save(sheet, L"01-welcome.png", L"the welcome page");
                    if (Drives())
                        m_report.Add(L"pressed", Click(sheet, kWizardNext) ? L"Next" : L"-");
                }
                break;
            case Page::kLanguage:
                if (!m_languageDone && since >= kSettleMs) {
                    m_languageDone = true;
                    if (Drives()) {
                        const bool picked = PickLanguage(page, m_options.language);
                        m_report.Add(L"picked",
                                     m_options.language + (picked ? L"" : L" (not in the list)"));
                        Sleep(kSettleMs);
                    }
                    Save(sheet, L"02-language.png", L"the language page");
                    if (Drives()) {
                        m_report.Add(L"pressed", Click(sheet, kWizardFinish) ? L"Finish" : L"-");
                    }
                }
                break;
            case Page::kProgress:
                OnProgress(sheet, page, since);
                break;
            case Page::kNone:
                break;
        }
        Sleep(kind == Page::kProgress && m_nearTheEnd ? kEndPollMs : kPollMs);
    }
    if (lastPage == Page::kProgress || m_progressSheet) SaveLastFrame();
    m_report.Add(L"pages", pages);

    if (!m_host.Get()) {
        m_report.Add(L"host_exit_code", L"not seen");
        return;
    }
    const DWORD left = m_options.timeoutMs > Elapsed() ? m_options.timeoutMs - Elapsed() : 0;
    DWORD code = 0;
    if (WaitForSingleObject(m_host.Get(), left) != WAIT_OBJECT_0) {
        m_report.Add(L"host_exit_code", L"still running");
    } else if (GetExitCodeProcess(m_host.Get(), &code)) {
        m_report.Add(L"host_exit_code", std::to_wstring(code));
    } else {
        m_report.Add(L"host_exit_code", L"unknown");
    }
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    if (argc < 3) return false;
    const std::wstring mode = argv[1];
    if (mode == L"paths") {
        options.mode = Mode::kPaths;
    } else if (mode == L"drive") {
        options.mode = Mode::kDrive;
    } else if (mode == L"cancel") {
        options.mode = Mode::kCancel;
    } else if (mode == L"watch") {
        options.mode = Mode::kWatch;
    } else {
        return false;
    }
    options.folder = argv[2];
    if (options.folder.empty()) return false;
    if (options.folder.back() != L'\\') options.folder += L'\\';
    for (int i = 3; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto value = [&](const wchar_t* name) -> const wchar_t* {
            const size_t n = wcslen(name);
            return arg.compare(0, n, name) == 0 ? arg.c_str() + n : nullptr;
        };
        if (const wchar_t* v = value(L"--lang=")) {
            options.language = v;
        } else if (const wchar_t* v = value(L"--payload-kib=")) {
            options.payloadKib = _wtoi64(v);
        } else if (const wchar_t* v = value(L"--timeout=")) {
            options.timeoutMs = static_cast<DWORD>(_wtoi(v)) * 1000;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: demo_user.exe paths|drive|cancel|watch FOLDER [--lang=CODE] "
                     "[--payload-kib=N] [--timeout=S]\n");
        return 2;
    }
    CreateDirectoryW(options.folder.c_str(), nullptr);
    Report report(GetTickCount());
    if (options.mode != Mode::kPaths) {
        Session session(options, report);
        session.Run();
    }
    ReportFolders(report);
    if (options.mode != Mode::kPaths) ReportShortcuts(report, FolderPath(CSIDL_DESKTOPDIRECTORY));
    return report.Write(options.folder + L"report.txt") ? 0 : 1;
}
