/* A loader host that calls the plug-in out of order, as a careless host might: every slot in every
 * state of the object's life, null and very long texts in every text slot, notifications before
 * the progress wizard and after its end, and FreeOutputPlugin while the progress wizard is still
 * shown. Slots by index through the raw table (thiscall on 32-bit); a watchdog ends the program
 * with a failure when a call does not come back, so a hang fails the test instead of stalling it. */
#include "plugin_slots.h"
#include "plugin_windows.h"

#define ID_WIZFINISH 12325
#define IDC_STATUS 1010
#define IDC_DONE 1008
#define LONG_TEXT_CHARS 10000

/* The watchdog: each case sets a deadline; a case that overruns it ends the process. */
static volatile LONG g_deadline;
static const char* volatile g_caseName = "start";

static DWORD WINAPI Watchdog(LPVOID param) {
    (void)param;
    for (;;) {
        Sleep(200);
        if ((LONG)(GetTickCount() - (DWORD)g_deadline) > 0) {
            printf("misuse host: \"%s\" did not come back within its time: hung\n", g_caseName);
            printf("misuse host: %d passed, %d failed\n", g_passed, g_failed + 1);
            fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    return 0;
}

static void BeginCase(const char* name, DWORD allowedMs) {
    g_caseName = name;
    InterlockedExchange(&g_deadline, (LONG)(GetTickCount() + allowedMs));
}

/* ---- Windows of the plug-in ---- */

/* A visible control of id in a window of this process, waiting up to waitMs for it. */
static HWND FindControlWithin(int id, DWORD waitMs) { return WaitForControlMs(id, NULL, waitMs); }

static HWND ProgressSheet(DWORD waitMs) {
    HWND status = FindControlWithin(IDC_STATUS, waitMs);
    return status ? GetAncestor(status, GA_ROOT) : NULL;
}

/* Length and start of a control's text; -1 when the control is not there. */
static int ControlText(int id, wchar_t* text, int size) {
    HWND control = FindControlWithin(id, 2000);
    text[0] = 0;
    if (!control) return -1;
    GetWindowTextW(control, text, size);
    return GetWindowTextLengthW(control);
}

static int PressWhenEnabled(HWND sheet, int id, DWORD waitMs) {
    HWND button = sheet ? GetDlgItem(sheet, id) : NULL;
    DWORD start = GetTickCount();
    while (button && !(IsWindowEnabled(button) && IsWindowVisible(button))) {
        if (GetTickCount() - start >= waitMs) return 0;
        Sleep(20);
    }
    if (!button) return 0;
    PostMessageW(button, BM_CLICK, 0, 0);
    return 1;
}

static DWORD WINAPI PressFinish(LPVOID param) {
    (void)param;
    return (DWORD)PressWhenEnabled(ProgressSheet(10000), ID_WIZFINISH, 15000);
}

static HANDLE StartThread(LPTHREAD_START_ROUTINE routine, void* param) {
    return CreateThread(NULL, 0, routine, param, 0, NULL);
}

static DWORD EndThread(HANDLE thread) { return JoinDriver(thread, 30000); }

/* The message box of ShowMessage, on the host's thread, answered with OK. */
typedef struct {
    DWORD threadId;
    HWND owner;
    int textLength;
    int found;
} BoxSeen;

static BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
    BoxSeen* seen = (BoxSeen*)param;
    wchar_t cls[16];
    GetClassNameW(window, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    seen->owner = GetWindow(window, GW_OWNER);
    seen->textLength = GetWindowTextLengthW(GetDlgItem(window, 0xFFFF));
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    seen->found = 1;
    return FALSE;
}

static DWORD WINAPI WatchForBox(LPVOID param) {
    BoxSeen* seen = (BoxSeen*)param;
    int tries;
    for (tries = 0; tries < 1000 && !seen->found; ++tries) {
        EnumThreadWindows(seen->threadId, AnswerBox, (LPARAM)seen);
        if (!seen->found) Sleep(10);
    }
    return 0;
}

/* ShowMessage(text, MB_OK) answered with OK; what the box showed lands in seen. */
static int ShowMessageAnswered(void* plugin, const wchar_t* text, BoxSeen* seen) {
    HANDLE thread;
    int result;
    memset(seen, 0, sizeof *seen);
    seen->threadId = GetCurrentThreadId();
    thread = StartThread(WatchForBox, seen);
    result = SLOT(plugin, SLOT_SHOW_MESSAGE, ShowMessageFn)(plugin, text, MB_OK);
    EndThread(thread);
    return result;
}

/* ---- States ---- */

typedef enum {
    ST_CREATED,
    ST_INIT_FAILED,
    ST_INITIALISED,
    ST_SETTLED,
    ST_SHOWN,
    ST_ENDED,
    ST_COUNT
} State;

static const char* const kStateNames[ST_COUNT] = {
    "created", "initialize failed", "initialised", "language settled", "progress shown", "ended"};

static host_bool InitializeWith(void* plugin, const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    PathInDir(path, fileName);
    return SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, 1);
}

static int SelectCode(void* plugin, const wchar_t* code) {
    wchar_t language[64];
    wcscpy(language, code);
    return SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                                64);
}

/* A new plug-in brought into state; NULL when a step on the way failed. */
static void* PluginIn(State state) {
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin || state == ST_CREATED) return plugin;
    if (state == ST_INIT_FAILED) {
        CHECK(InitializeWith(plugin, L"plugin_host_data\\missing.xml") == 0);
        return plugin;
    }
    CHECK(InitializeWith(plugin, L"plugin_host_data\\progress.xml") != 0);
    if (state == ST_INITIALISED) return plugin;
    CHECK(SelectCode(plugin, L"en") == PLUGIN_OK);
    if (state == ST_SETTLED) return plugin;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    CHECK(ProgressSheet(5000) != NULL);
    if (state == ST_SHOWN) return plugin;
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    return plugin;
}

/* ---- Every slot in every state ---- */

typedef enum {
    OP_INITIALIZE,
    OP_SELECT_LANGUAGE,
    OP_START_PROGRESS,
    OP_FINISH_SUCCESS,
    OP_FINISH_FAILURE,
    OP_ABORT,
    OP_SET_STATUS,
    OP_INSTALL_STEP,
    OP_DOWNLOAD,
    OP_UPDATE_STATUS,
    OP_SHOW_MESSAGE,
    OP_COUNT
} Operation;

static const char* const kOperationNames[OP_COUNT] = {"Initialize",
                                                      "SelectLanguage",
                                                      "StartProgress",
                                                      "FinishProgress(true)",
                                                      "FinishProgress(false)",
                                                      "AbortProgress",
                                                      "SetStatusText",
                                                      "ReportInstallStep",
                                                      "ReportDownloadProgress",
                                                      "UpdateStatusText",
                                                      "ShowMessage"};

enum {
    NOT_SHOWN = 0,
    SHOWN = 1
};

/* What each call gives in each state. Initialize, StartProgress: 1 true, 0 false. SelectLanguage,
 * FinishProgress, AbortProgress: the PluginResult (the two unsuccessful ends answered by the
 * user's Finish). Notifications: SHOWN when the page shows their effect, NOT_SHOWN when no window
 * is there to show it. ShowMessage: SHOWN when the box's owner is the progress wizard. */
static const int kExpected[ST_COUNT][OP_COUNT] = {
    /* created: only Initialize does anything. */
    {1, PLUGIN_FAILED, 0, PLUGIN_FAILED, PLUGIN_FAILED, PLUGIN_FAILED, NOT_SHOWN, NOT_SHOWN,
     NOT_SHOWN, NOT_SHOWN, NOT_SHOWN},
    /* Initialize failed: a good control file may still be given. */
    {1, PLUGIN_FAILED, 0, PLUGIN_FAILED, PLUGIN_FAILED, PLUGIN_FAILED, NOT_SHOWN, NOT_SHOWN,
     NOT_SHOWN, NOT_SHOWN, NOT_SHOWN},
    /* initialised: no language library yet, so no progress page to show. */
    {1, PLUGIN_OK, 0, PLUGIN_FAILED, PLUGIN_FAILED, PLUGIN_FAILED, NOT_SHOWN, NOT_SHOWN, NOT_SHOWN,
     NOT_SHOWN, NOT_SHOWN},
    /* language settled */
    {1, PLUGIN_OK, 1, PLUGIN_FAILED, PLUGIN_FAILED, PLUGIN_FAILED, NOT_SHOWN, NOT_SHOWN, NOT_SHOWN,
     NOT_SHOWN, NOT_SHOWN},
    /* progress shown: the control file and the language stay as they are while the wizard runs,
     * and a second wizard is refused. */
    {0, PLUGIN_FAILED, 0, PLUGIN_COMPLETED, PLUGIN_COMPLETED, PLUGIN_COMPLETED, SHOWN, SHOWN, SHOWN,
     SHOWN, SHOWN},
    /* ended: the window is gone; a new run may start. */
    {1, PLUGIN_OK, 1, PLUGIN_FAILED, PLUGIN_FAILED, PLUGIN_FAILED, NOT_SHOWN, NOT_SHOWN, NOT_SHOWN,
     NOT_SHOWN, NOT_SHOWN},
};

/* Calls op once and returns what it gave, in the terms of kExpected. */
static int CallOperation(void* plugin, State state, Operation op) {
    wchar_t text[256];
    HANDLE driver = NULL;
    int result = -1;
    switch (op) {
        case OP_INITIALIZE:
            return InitializeWith(plugin, L"plugin_host_data\\progress.xml") != 0;
        case OP_SELECT_LANGUAGE: {
            wchar_t language[64] = L"en";
            result = SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite",
                                                                          language, 64);
            CHECK(wcscmp(language, L"en") == 0);
            return result;
        }
        case OP_START_PROGRESS:
            result = SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0;
            /* A refused start shows nothing new; an accepted one shows the page. */
            if (result && state != ST_SHOWN) CHECK(ProgressSheet(5000) != NULL);
            if (!result && state != ST_SHOWN) CHECK(ProgressSheet(100) == NULL);
            return result;
        case OP_FINISH_SUCCESS:
            return SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1);
        case OP_FINISH_FAILURE:
        case OP_ABORT:
            if (state == ST_SHOWN) driver = StartThread(PressFinish, NULL);
            result = op == OP_ABORT
                         ? SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin)
                         : SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0);
            if (driver) CHECK(EndThread(driver) == 1);
            return result;
        case OP_SET_STATUS:
        case OP_UPDATE_STATUS:
            SLOT(plugin, op == OP_SET_STATUS ? SLOT_SET_STATUS_TEXT : SLOT_UPDATE_STATUS_TEXT,
                 TextFn)
            (plugin, L"Misuse status");
            if (ProgressSheet(state == ST_SHOWN ? 5000 : 100) == NULL) return NOT_SHOWN;
            ControlText(IDC_STATUS, text, 256);
            return wcscmp(text, L"Misuse status") == 0 ? SHOWN : -1;
        case OP_INSTALL_STEP:
            SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"before the step");
            SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, L"Misuse step");
            if (ProgressSheet(state == ST_SHOWN ? 5000 : 100) == NULL) return NOT_SHOWN;
            /* The first step shows the installation status text. */
            ControlText(IDC_STATUS, text, 256);
            return text[0] && wcscmp(text, L"before the step") != 0 ? SHOWN : -1;
        case OP_DOWNLOAD:
            SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)
            (plugin, 1024000ul, 4096000ul, L"Misuse download");
            if (ProgressSheet(state == ST_SHOWN ? 5000 : 100) == NULL) return NOT_SHOWN;
            ControlText(IDC_DONE, text, 256);
            return wcscmp(text, L"1000") == 0 ? SHOWN : -1;
        case OP_SHOW_MESSAGE: {
            BoxSeen seen;
            HWND sheet = ProgressSheet(state == ST_SHOWN ? 5000 : 0);
            result = ShowMessageAnswered(plugin, L"Misuse message", &seen);
            CHECK(result == IDOK);
            CHECK(seen.found);
            if (seen.owner && seen.owner == sheet) return SHOWN;
            return seen.owner == NULL ? NOT_SHOWN : -1;
        }
        default:
            return -1;
    }
}

/* After the call, the run goes on as a host would end it: a wizard still shown (or newly shown)
 * ends with FinishProgress(true); then the object is freed. */
/* An icon the wizard shows must still be an icon: a call that replaced the process's pictures
 * under a shown wizard would have destroyed it. */
static int SheetIconIsValid(HWND sheet, WPARAM which) {
    ICONINFO info;
    HICON icon = (HICON)SendMessageW(sheet, WM_GETICON, which, 0);
    if (!icon) return 1;
    if (!GetIconInfo(icon, &info)) return 0;
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return 1;
}

static void EndCase(void* plugin, State state) {
    HWND sheet = ProgressSheet(state == ST_SHOWN ? 1000 : 100);
    if (sheet != NULL) {
        /* The wizard still takes notifications. */
        wchar_t text[64];
        CHECK(SheetIconIsValid(sheet, ICON_BIG));
        CHECK(SheetIconIsValid(sheet, ICON_SMALL));
        SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"still shown");
        ControlText(IDC_STATUS, text, 64);
        CHECK(wcscmp(text, L"still shown") == 0);
        CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    }
    g_free(plugin);
    CHECK(ProgressSheet(0) == NULL);
}

static void TestEverySlotInEveryState(void) {
    int state, op;
    for (state = 0; state < ST_COUNT; ++state) {
        for (op = 0; op < OP_COUNT; ++op) {
            char name[96];
            void* plugin;
            int got, failedBefore = g_failed;
            sprintf(name, "%s in state %s", kOperationNames[op], kStateNames[state]);
            BeginCase(name, 60000);
            plugin = PluginIn((State)state);
            if (!plugin) continue;
            got = CallOperation(plugin, (State)state, (Operation)op);
            CHECK(got == kExpected[state][op]);
            EndCase(plugin, (State)state);
            if (g_failed != failedBefore) {
                printf("  in case: %s (gave %d, expected %d)\n", name, got, kExpected[state][op]);
            }
        }
    }
}

/* ---- Texts ---- */

static wchar_t g_longText[LONG_TEXT_CHARS + 1];

/* Null, empty and 10,000 characters in every text slot, before the progress wizard, while it is
 * shown and after its end. */
static void TestNullAndLongTextsInEveryTextSlot(void) {
    static const State states[] = {ST_SETTLED, ST_SHOWN, ST_ENDED};
    const wchar_t* const texts[] = {NULL, L"", g_longText};
    size_t s, t;
    for (s = 0; s < sizeof states / sizeof states[0]; ++s) {
        for (t = 0; t < sizeof texts / sizeof texts[0]; ++t) {
            static wchar_t shown[LONG_TEXT_CHARS + 2];
            const wchar_t* text = texts[t];
            const int expectLength = text ? (int)wcslen(text) : 0;
            const int live = states[s] == ST_SHOWN;
            int failedBefore = g_failed, length;
            BoxSeen seen;
            char name[96];
            void* plugin;
            sprintf(name, "text of %d characters%s in state %s", expectLength,
                    text ? "" : " (null)", kStateNames[states[s]]);
            BeginCase(name, 60000);
            plugin = PluginIn(states[s]);
            if (!plugin) continue;

            SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"known");
            SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, text);
            length = live ? ControlText(IDC_STATUS, shown, LONG_TEXT_CHARS + 2) : -1;
            /* A null text changes nothing; any other text is shown whole. */
            if (live)
                CHECK(text ? length == expectLength && wcscmp(shown, text) == 0
                           : wcscmp(shown, L"known") == 0);
            SLOT(plugin, SLOT_UPDATE_STATUS_TEXT, TextFn)(plugin, L"known");
            SLOT(plugin, SLOT_UPDATE_STATUS_TEXT, TextFn)(plugin, text);
            length = live ? ControlText(IDC_STATUS, shown, LONG_TEXT_CHARS + 2) : -1;
            if (live)
                CHECK(text ? length == expectLength && wcscmp(shown, text) == 0
                           : wcscmp(shown, L"known") == 0);

            SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, text);
            SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)
            (plugin, 2048000ul, 4096000ul, text);
            if (live) {
                ControlText(IDC_DONE, shown, 64);
                CHECK(wcscmp(shown, L"2000") == 0);
            } else {
                CHECK(ProgressSheet(100) == NULL);
            }

            CHECK(ShowMessageAnswered(plugin, text, &seen) == IDOK);
            CHECK(seen.found);
            CHECK(seen.textLength == expectLength);

            EndCase(plugin, states[s]);
            if (g_failed != failedBefore) printf("  in case: %s\n", name);
        }
    }
}

/* Null and long strings in the other slots that take text: the factory's directory, the control
 * file's path, the product id and the language code. */
static void TestNullAndLongStringsInTheOtherSlots(void) {
    static wchar_t longCode[LONG_TEXT_CHARS + 1];
    wchar_t language[64];
    void* plugin;
    int result;

    BeginCase("factory with a null or a long directory", 60000);
    plugin = g_factory(NULL);
    CHECK(plugin != NULL);
    if (plugin) g_free(plugin);
    /* A directory longer than a path is cut: no library is found under it. */
    plugin = g_factory(g_longText);
    CHECK(plugin != NULL);
    if (plugin) {
        wchar_t path[MAX_PATH];
        PathInDir(path, L"plugin_host_data\\progress.xml");
        CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, 1) != 0);
        CHECK(SelectCode(plugin, L"en") == PLUGIN_FAILED);
        CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) == 0);
        g_free(plugin);
    }

    BeginCase("Initialize with a null or a long path", 60000);
    plugin = g_factory(g_dir);
    if (plugin) {
        CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, NULL, 0, 1) == 0);
        CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, g_longText, 0, 1) == 0);
        /* A good file afterwards still works. */
        CHECK(InitializeWith(plugin, L"plugin_host_data\\progress.xml") != 0);
        CHECK(SelectCode(plugin, L"en") == PLUGIN_OK);
        g_free(plugin);
    }

    BeginCase("SelectLanguage with null and long arguments", 60000);
    plugin = PluginIn(ST_INITIALISED);
    if (plugin) {
        SelectLanguageFn select = SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn);
        wmemset(longCode, L'e', LONG_TEXT_CHARS);
        longCode[LONG_TEXT_CHARS] = 0;
        CHECK(select(plugin, L"brisco-suite", NULL, 64) == PLUGIN_FAILED);
        wcscpy(language, L"en");
        CHECK(select(plugin, L"brisco-suite", language, 0) == PLUGIN_FAILED);
        CHECK(select(plugin, L"brisco-suite", longCode, LONG_TEXT_CHARS + 1) == PLUGIN_FAILED);
        CHECK(wcslen(longCode) == LONG_TEXT_CHARS);
        /* The product id is only kept: null and long ids settle the language, and the progress
         * page then finds no product name to show. */
        wcscpy(language, L"en");
        CHECK(select(plugin, NULL, language, 64) == PLUGIN_OK);
        wcscpy(language, L"en");
        result = select(plugin, g_longText, language, 64);
        CHECK(result == PLUGIN_OK);
        CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
        SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 1024, 4096, NULL);
        {
            wchar_t status[64];
            ControlText(IDC_STATUS, status, 64);
            CHECK(status[0] == 0);
        }
        CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
        g_free(plugin);
    }
}

/* ---- FreeOutputPlugin while the progress wizard shows ---- */

static volatile LONG g_freeReturned;

typedef struct {
    int pressed;
    int hostWaitedForTheUser; /* Free had not returned when the user pressed Finish */
} FreeDriver;

/* The user closes the wizard once it can be closed; the host must still be waiting then. */
static DWORD WINAPI CloseAfterFree(LPVOID param) {
    FreeDriver* driver = (FreeDriver*)param;
    HWND sheet = ProgressSheet(10000);
    HWND finish = sheet ? GetDlgItem(sheet, ID_WIZFINISH) : NULL;
    DWORD start = GetTickCount();
    while (finish && !(IsWindowEnabled(finish) && IsWindowVisible(finish)) &&
           GetTickCount() - start < 15000) {
        Sleep(20);
    }
    if (!finish || !IsWindowEnabled(finish) || !IsWindowVisible(finish)) return 0;
    Sleep(300); /* the host would have come back by now if it did not wait */
    driver->hostWaitedForTheUser = g_freeReturned == 0;
    PostMessageW(finish, BM_CLICK, 0, 0);
    driver->pressed = 1;
    return 1;
}

static void TestFreeWhileProgressShownReturnsOnceTheUserClosesIt(void) {
    static const struct {
        host_bool allowCancel;
        int downloadFirst;
    } cases[] = {{1, 1}, {0, 1}, {1, 0}};
    size_t i;
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        FreeDriver driver = {0, 0};
        HANDLE thread;
        wchar_t path[MAX_PATH], language[64] = L"en";
        void* plugin = g_factory(g_dir);
        BeginCase("FreeOutputPlugin while the progress wizard shows", 60000);
        CHECK(plugin != NULL);
        if (!plugin) return;
        PathInDir(path, L"plugin_host_data\\progress.xml");
        CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0,
                                                          cases[i].allowCancel) != 0);
        CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite",
                                                                   language, 64) == PLUGIN_OK);
        CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
        if (cases[i].downloadFirst) {
            SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 1024, 4096, NULL);
        }
        InterlockedExchange(&g_freeReturned, 0);
        thread = StartThread(CloseAfterFree, &driver);
        g_free(plugin);
        InterlockedExchange(&g_freeReturned, 1);
        CHECK(EndThread(thread) == 1);
        CHECK(driver.pressed);
        CHECK(driver.hostWaitedForTheUser);
        CHECK(ProgressSheet(0) == NULL);
    }
}

int wmain(void) {
    HANDLE watchdog;
    BeginCase("loading the plug-in", 60000);
    watchdog = CreateThread(NULL, 0, Watchdog, NULL, 0, NULL);
    if (!watchdog) return 1;
    if (!LoadPlugin(0)) return 1;
    wmemset(g_longText, L'x', LONG_TEXT_CHARS);
    g_longText[LONG_TEXT_CHARS] = 0;

    TestFreeWhileProgressShownReturnsOnceTheUserClosesIt();
    TestEverySlotInEveryState();
    TestNullAndLongTextsInEveryTextSlot();
    TestNullAndLongStringsInTheOtherSlots();

    /* Left loaded: unloading it while the watchdog runs would gain nothing. */
    printf("misuse host: %d passed, %d failed\n", g_passed, g_failed);
    fflush(stdout);
    return g_failed ? 1 : 0;
}
