/* Progress runs as a loader host written in C drives them: slots by index through the raw table
 * (thiscall on 32-bit), a real progress wizard on the plug-in's thread, and a driver thread that
 * reads the page's controls and presses its buttons as a user would. */
#include "plugin_slots.h"

#define ID_WIZFINISH 12325
static const wchar_t kCancelEvent[] = L"{1A34280C-48B6-453d-B6F9-BAE5296D2AA7}";

/* A plug-in initialised with the progress control file and the host's language. */
static void* NewProgressPlugin(const wchar_t* code, host_bool allowCancel) {
    wchar_t path[MAX_PATH], language[64];
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin) return NULL;
    PathInDir(path, L"plugin_host_data\\progress.xml");
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, allowCancel) != 0);
    wcscpy(language, code);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                               64) == PLUGIN_OK);
    return plugin;
}

/* The process's visible top-level window that holds a control of id deep inside. */
typedef struct {
    int id;
    HWND found;
    HWND owner;
} FindWindowQuery;

static BOOL CALLBACK FindChild(HWND child, LPARAM param) {
    FindWindowQuery* query = (FindWindowQuery*)param;
    if (GetDlgCtrlID(child) == query->id && IsWindowVisible(child)) {
        query->found = child;
        return FALSE;
    }
    return TRUE;
}

static BOOL CALLBACK FindTop(HWND top, LPARAM param) {
    FindWindowQuery* query = (FindWindowQuery*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(top)) return TRUE;
    if (query->owner && GetWindow(top, GW_OWNER) != query->owner) return TRUE;
    EnumChildWindows(top, FindChild, param);
    return query->found == NULL;
}

/* Waits up to 10 s for a visible control of id (in a window owned by owner, when given). */
static HWND WaitForControl(int id, HWND owner) {
    int i;
    for (i = 0; i < 200; ++i) {
        FindWindowQuery query = {id, NULL, owner};
        EnumWindows(FindTop, (LPARAM)&query);
        if (query.found) return query.found;
        Sleep(50);
    }
    return NULL;
}

static void ControlText(int id, wchar_t* text, int size) {
    HWND control = WaitForControl(id, NULL);
    text[0] = 0;
    if (control) GetWindowTextW(control, text, size);
}

static HWND Sheet(void) {
    HWND status = WaitForControl(1010, NULL);
    return status ? GetAncestor(status, GA_ROOT) : NULL;
}

/* Presses a sheet button once it is enabled. */
static int PressSheetButton(int id) {
    HWND sheet = Sheet();
    int i;
    HWND button = sheet ? GetDlgItem(sheet, id) : NULL;
    for (i = 0; button && i < 200 && !(IsWindowEnabled(button) && IsWindowVisible(button)); ++i) {
        Sleep(50);
    }
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return 0;
    PostMessageW(button, BM_CLICK, 0, 0);
    return 1;
}

static DWORD WINAPI PressFinish(LPVOID param) {
    (void)param;
    return (DWORD)PressSheetButton(ID_WIZFINISH);
}

/* Presses Cancel, then Yes in the question the page owns. */
static DWORD WINAPI CancelAndConfirm(LPVOID param) {
    HWND sheet = Sheet(), yes;
    (void)param;
    if (!PressSheetButton(IDCANCEL)) return 0;
    /* The box's owner is the page's top-level window, the sheet. */
    yes = WaitForControl(IDYES, sheet);
    if (!yes) return 0;
    PostMessageW(yes, BM_CLICK, 0, 0);
    return 1;
}

static HANDLE g_boxShown;

/* Presses Cancel, lets the host end the work while the question is up, then answers Yes and
 * closes the wizard with Finish. */
static DWORD WINAPI CancelAcrossTheEnd(LPVOID param) {
    HWND sheet = Sheet(), yes;
    (void)param;
    if (!PressSheetButton(IDCANCEL)) return 0;
    yes = WaitForControl(IDYES, sheet);
    if (!yes) return 0;
    SetEvent(g_boxShown);
    Sleep(1000); /* the end of the work is handled inside the question's message loop */
    PostMessageW(yes, BM_CLICK, 0, 0);
    return (DWORD)PressSheetButton(ID_WIZFINISH);
}

static HANDLE StartDriver(LPTHREAD_START_ROUTINE routine) {
    return CreateThread(NULL, 0, routine, NULL, 0, NULL);
}

static DWORD EndDriver(HANDLE thread) {
    DWORD code = 0;
    WaitForSingleObject(thread, 20000);
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

/* A download reported in steps: the page's figures read back, then the run ends by itself. */
static void TestFinishSuccessClosesByItselfAfterDownloadAndInstall(void) {
    wchar_t text[256];
    void* plugin = NewProgressPlugin(L"en", 1);
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 0, 4096000ul, L"part 1");
    SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 1024000ul, 4096000ul, NULL);
    ControlText(1008, text, 256);
    CHECK(wcscmp(text, L"1000") == 0);
    ControlText(1009, text, 256);
    CHECK(wcscmp(text, L"3000") == 0);
    ControlText(1010, text, 256);
    CHECK(wcsstr(text, L"Brisco Suite") != NULL);
    /* More done than the total: nothing is left, not four billion kilobytes. */
    SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 5000000ul, 4096000ul, NULL);
    ControlText(1009, text, 256);
    CHECK(wcscmp(text, L"0") == 0);
    SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"Checking the files");
    ControlText(1010, text, 256);
    CHECK(wcscmp(text, L"Checking the files") == 0);
    SLOT(plugin, SLOT_UPDATE_STATUS_TEXT, TextFn)(plugin, L"Still checking");
    ControlText(1010, text, 256);
    CHECK(wcscmp(text, L"Still checking") == 0);
    SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, L"step 1");
    ControlText(1010, text, 256);
    CHECK(wcscmp(text, L"Still checking") != 0);
    /* A second start while the wizard is shown is refused and leaves the wizard running. */
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) == 0);
    CHECK(Sheet() != NULL);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    /* A second run starts from zero. */
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    ControlText(1008, text, 256);
    CHECK(wcscmp(text, L"0") == 0);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    g_free(plugin);
}

/* The same run in the other languages, right-to-left Hebrew among them. */
static void TestRunsInEveryListedLanguage(void) {
    static const wchar_t* const codes[] = {L"ru", L"he"};
    size_t i;
    for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        wchar_t text[256];
        void* plugin = NewProgressPlugin(codes[i], 1);
        if (!plugin) return;
        CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
        SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 2048000ul, 4096000ul, NULL);
        ControlText(1008, text, 256);
        CHECK(wcscmp(text, L"2000") == 0);
        ControlText(1010, text, 256);
        CHECK(wcsstr(text, L"Brisco Suite") != NULL);
        CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
        g_free(plugin);
    }
}

/* The end without success, then the user's Finish: the result the loader host relies on. */
static void TestUnsuccessfulEndsThenFinishGiveCompleted(void) {
    int kind;
    for (kind = 0; kind < 2; ++kind) {
        HANDLE driver;
        int result;
        void* plugin = NewProgressPlugin(L"en", 1);
        if (!plugin) return;
        CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
        SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 2048, 4096, NULL);
        driver = StartDriver(PressFinish);
        result = kind == 0 ? SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0)
                           : SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin);
        CHECK(EndDriver(driver) == 1);
        CHECK(result == PLUGIN_COMPLETED);
        g_free(plugin);
    }
}

/* The user cancels: the host sees its event signalled and ends with AbortProgress. */
static void TestConfirmedCancelSignalsTheHostAndEndsCancelled(void) {
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, kCancelEvent), driver;
    void* plugin = NewProgressPlugin(L"en", 1);
    CHECK(event != NULL);
    if (!plugin || !event) return;
    ResetEvent(event);
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    driver = StartDriver(CancelAndConfirm);
    CHECK(WaitForSingleObject(event, 20000) == WAIT_OBJECT_0);
    CHECK(EndDriver(driver) == 1);
    driver = StartDriver(PressFinish);
    CHECK(SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin) == PLUGIN_CANCELLED);
    CHECK(EndDriver(driver) == 1);
    g_free(plugin);
    CloseHandle(event);
}

/* The work ends while the cancel question is shown; the user then confirms: cancelled. */
static void TestCancelConfirmedAfterTheEndGivesCancelled(void) {
    HANDLE driver;
    void* plugin = NewProgressPlugin(L"en", 1);
    if (!plugin) return;
    g_boxShown = CreateEventW(NULL, TRUE, FALSE, NULL);
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    driver = StartDriver(CancelAcrossTheEnd);
    CHECK(WaitForSingleObject(g_boxShown, 20000) == WAIT_OBJECT_0);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0) == PLUGIN_CANCELLED);
    CHECK(EndDriver(driver) == 1);
    CloseHandle(g_boxShown);
    g_free(plugin);
}

/* Without a Cancel button, neither Esc nor the close box cancels. */
static void TestWithoutCancelEscapeDoesNotCancel(void) {
    HWND sheet;
    HANDLE driver;
    void* plugin = NewProgressPlugin(L"en", 0);
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    sheet = Sheet();
    CHECK(sheet != NULL);
    if (sheet) {
        CHECK(!IsWindowVisible(GetDlgItem(sheet, IDCANCEL)));
        SendMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(300);
        CHECK(IsWindow(sheet) && IsWindowVisible(sheet));
    }
    driver = StartDriver(PressFinish);
    CHECK(SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin) == PLUGIN_COMPLETED);
    CHECK(EndDriver(driver) == 1);
    g_free(plugin);
}

int wmain(void) {
    if (!LoadPlugin()) return 1;

    TestFinishSuccessClosesByItselfAfterDownloadAndInstall();
    TestRunsInEveryListedLanguage();
    TestUnsuccessfulEndsThenFinishGiveCompleted();
    TestConfirmedCancelSignalsTheHostAndEndsCancelled();
    TestCancelConfirmedAfterTheEndGivesCancelled();
    TestWithoutCancelEscapeDoesNotCancel();

    FreeLibrary(g_dll);
    printf("progress host: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
