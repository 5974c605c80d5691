/* Progress runs as a loader host written in C drives them: slots by index through the raw table
 * (thiscall on 32-bit), a real progress wizard on the plug-in's thread, and a driver thread that
 * reads the page's controls and presses its buttons as a user would. */
#include "plugin_slots.h"
#include "plugin_windows.h"

#include <commctrl.h>

#include "host_stats.h"

static const wchar_t kCancelEvent[] = L"{1A34280C-48B6-453d-B6F9-BAE5296D2AA7}";

/* The runs' control file: the progress fixture with the product ids of this process. */
static wchar_t g_controlFile[MAX_PATH];

/* A plug-in initialised with the progress control file and the host's language. */
static void* NewProgressPlugin(const wchar_t* code, host_bool allowCancel) {
    wchar_t language[64], product[64];
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin) return NULL;
    RunProduct(L"brisco-suite", product, 64);
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, g_controlFile, 0,
                                                      allowCancel) != 0);
    wcscpy(language, code);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, product, language, 64) ==
          PLUGIN_OK);
    return plugin;
}

/* Waits up to 10 s for a visible control of id (in a window owned by owner, when given). */
static HWND WaitForControl(int id, HWND owner) { return WaitForControlMs(id, owner, 10000); }

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

/* Set by the user's thread when the host may end the work: the user's steps before the end have
 * been handled by the page. */
static HANDLE g_userReady;

/* The visible button of id in the question the page owns (its owner is the page's top-level
 * window, the sheet). */
static HWND QuestionButton(HWND sheet, int id) { return WaitForControl(id, sheet); }

/* Presses Cancel and answers the question with answer; 1 once the question has gone, so that the
 * page has handled the answer before any notification of the host. */
static int CancelAndAnswer(int answer) {
    HWND sheet = Sheet(), button;
    int i;
    if (!PressSheetButton(IDCANCEL)) return 0;
    button = QuestionButton(sheet, answer);
    if (!button) return 0;
    PostMessageW(button, BM_CLICK, 0, 0);
    for (i = 0; i < 200 && IsWindow(button); ++i) Sleep(50);
    return !IsWindow(button);
}

/* The user's steps of a run, on a thread of their own. Each sets g_userReady when the host may end
 * the work and returns 1 when every step could be taken. */
static DWORD WINAPI NothingToDo(LPVOID param) {
    (void)param;
    SetEvent(g_userReady);
    return 1;
}

static DWORD WINAPI PressFinish(LPVOID param) {
    (void)param;
    SetEvent(g_userReady);
    return (DWORD)PressSheetButton(ID_WIZFINISH);
}

static DWORD WINAPI CancelRefused(LPVOID param) {
    int done = CancelAndAnswer(IDNO);
    (void)param;
    SetEvent(g_userReady);
    return (DWORD)done;
}

static DWORD WINAPI CancelConfirmed(LPVOID param) {
    int done = CancelAndAnswer(IDYES);
    (void)param;
    SetEvent(g_userReady);
    return (DWORD)done;
}

static DWORD WINAPI CancelConfirmedThenFinish(LPVOID param) {
    int done = CancelAndAnswer(IDYES);
    (void)param;
    SetEvent(g_userReady);
    return (DWORD)(done && PressSheetButton(ID_WIZFINISH));
}

/* Presses Cancel, lets the host end the work while the question is up, then answers Yes and
 * closes the wizard with Finish. */
static DWORD WINAPI CancelAcrossTheEnd(LPVOID param) {
    HWND sheet = Sheet(), yes;
    (void)param;
    if (!PressSheetButton(IDCANCEL)) return 0;
    yes = QuestionButton(sheet, IDYES);
    if (!yes) return 0;
    SetEvent(g_userReady);
    Sleep(1000); /* the end of the work is handled inside the question's message loop */
    PostMessageW(yes, BM_CLICK, 0, 0);
    return (DWORD)PressSheetButton(ID_WIZFINISH);
}

/* Without a Cancel button: Esc and the close box, which must leave the wizard up; then Finish. */
static DWORD WINAPI EscapeAndCloseBoxThenFinish(LPVOID param) {
    HWND sheet = Sheet();
    int stayed;
    (void)param;
    if (!sheet || IsWindowVisible(GetDlgItem(sheet, IDCANCEL))) return 0;
    /* Handled within the time unless a question came up, which must not. */
    SendMessageTimeoutW(sheet, WM_COMMAND, IDCANCEL, 0, SMTO_NORMAL, 5000, NULL);
    SendMessageTimeoutW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, NULL);
    Sleep(300);
    stayed = IsWindow(sheet) && IsWindowVisible(sheet) && !FindControl(IDYES, sheet);
    SetEvent(g_userReady);
    return (DWORD)(stayed && PressSheetButton(ID_WIZFINISH));
}

static HANDLE StartDriver(LPTHREAD_START_ROUTINE routine) {
    ResetEvent(g_userReady);
    return CreateThread(NULL, 0, routine, NULL, 0, NULL);
}

static DWORD EndDriver(HANDLE thread) { return JoinDriver(thread, 20000); }

/* The statistics actions of a run: the finish report once per wizard shown and closed with
 * PLUGIN_COMPLETED. */
static const char* const kFinished[] = {"FETCHWELL_DLG_PROGRESS_FINISH", NULL};

/* A download reported in steps: the page's figures read back, then the run ends by itself. */
static void TestFinishSuccessClosesByItselfAfterDownloadAndInstall(void) {
    static const char* const twice[] = {"FETCHWELL_DLG_PROGRESS_FINISH",
                                        "FETCHWELL_DLG_PROGRESS_FINISH", NULL};
    wchar_t text[256];
    int mark = StatsMark();
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
    /* Two wizards shown and completed: two finish reports; the refused start sent nothing. */
    CheckStatsActions("two runs", mark, twice);
}

/* The same run in the other languages, right-to-left Hebrew among them. */
static void TestRunsInEveryListedLanguage(void) {
    static const wchar_t* const codes[] = {L"ru", L"he"};
    size_t i;
    for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        wchar_t text[256];
        int mark = StatsMark();
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
        CheckStatsActions(i == 0 ? "ru" : "he", mark, kFinished);
    }
}

typedef enum {
    END_SUCCESS, /* FinishProgress(true) */
    END_FAILURE, /* FinishProgress(false) */
    END_ABORT    /* AbortProgress() */
} End;

typedef enum {
    EVENT_HELD, /* the host holds the cancel event and watches it */
    EVENT_NONE, /* nobody holds the event's name */
    EVENT_TAKEN /* the name is taken by a mutex: the page cannot make the event */
} CancelEvent;

typedef struct {
    const char* name;
    host_bool allowCancel;
    CancelEvent event;
    LPTHREAD_START_ROUTINE user; /* the user's steps; the host ends the work once they allow it */
    End end;
    int expectedResult;
    int expectedSignalled; /* the host's event signalled at the end (EVENT_HELD) */
    const char* expectedActions[3];
} ProgressPath;

/* Every way a progress run can end, with the user's steps and the statistics actions each sends:
 * the cancel report when the user confirms, the finish report only when the wizard closes with
 * PLUGIN_COMPLETED. */
static const ProgressPath kPaths[] = {
    {"finish by itself",
     1,
     EVENT_HELD,
     NothingToDo,
     END_SUCCESS,
     PLUGIN_COMPLETED,
     0,
     {"FETCHWELL_DLG_PROGRESS_FINISH"}},
    /* After an unsuccessful end the user's Finish gives PLUGIN_COMPLETED, as the host expects. */
    {"failed end, then Finish",
     1,
     EVENT_HELD,
     PressFinish,
     END_FAILURE,
     PLUGIN_COMPLETED,
     0,
     {"FETCHWELL_DLG_PROGRESS_FINISH"}},
    {"abort, then Finish",
     1,
     EVENT_HELD,
     PressFinish,
     END_ABORT,
     PLUGIN_COMPLETED,
     0,
     {"FETCHWELL_DLG_PROGRESS_FINISH"}},
    {"cancel refused, then finish by itself",
     1,
     EVENT_HELD,
     CancelRefused,
     END_SUCCESS,
     PLUGIN_COMPLETED,
     0,
     {"FETCHWELL_DLG_PROGRESS_FINISH"}},
    /* The user cancels: the host sees its event signalled and ends the work. */
    {"confirmed cancel, abort, Finish",
     1,
     EVENT_HELD,
     CancelConfirmedThenFinish,
     END_ABORT,
     PLUGIN_CANCELLED,
     1,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    {"confirmed cancel, failed end, Finish",
     1,
     EVENT_HELD,
     CancelConfirmedThenFinish,
     END_FAILURE,
     PLUGIN_CANCELLED,
     1,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    /* A successful end after a confirmed cancel still closes the wizard by itself, cancelled. */
    {"confirmed cancel, then success",
     1,
     EVENT_HELD,
     CancelConfirmed,
     END_SUCCESS,
     PLUGIN_CANCELLED,
     1,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    /* The end arrives while the question is shown; the user then confirms. */
    {"cancel confirmed across the end",
     1,
     EVENT_HELD,
     CancelAcrossTheEnd,
     END_FAILURE,
     PLUGIN_CANCELLED,
     1,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    /* Nobody holds the event: the page makes it, signals it and lets it go. */
    {"confirmed cancel without the host's event",
     1,
     EVENT_NONE,
     CancelConfirmedThenFinish,
     END_ABORT,
     PLUGIN_CANCELLED,
     0,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    /* The event cannot be made (its name is a mutex's): the cancel is recorded all the same. */
    {"confirmed cancel, the event's name taken",
     1,
     EVENT_TAKEN,
     CancelConfirmedThenFinish,
     END_ABORT,
     PLUGIN_CANCELLED,
     0,
     {"FETCHWELL_DLG_PROGRESS_CANCEL"}},
    /* Without a Cancel button neither Esc nor the close box cancels. */
    {"no Cancel button: Esc and close box",
     0,
     EVENT_HELD,
     EscapeAndCloseBoxThenFinish,
     END_ABORT,
     PLUGIN_COMPLETED,
     0,
     {"FETCHWELL_DLG_PROGRESS_FINISH"}},
};

static void TestEveryWayARunEnds(void) {
    size_t i;
    for (i = 0; i < sizeof kPaths / sizeof kPaths[0]; ++i) {
        const ProgressPath* path = &kPaths[i];
        HANDLE event = NULL, driver;
        int result = -1, mark;
        void* plugin;
        g_row = path->name;
        if (path->event == EVENT_HELD) {
            event = CreateEventW(NULL, TRUE, FALSE, kCancelEvent);
            CHECK(event != NULL);
            if (event) ResetEvent(event);
        } else if (path->event == EVENT_TAKEN) {
            event = CreateMutexW(NULL, FALSE, kCancelEvent);
            CHECK(event != NULL);
            CHECK(CreateEventW(NULL, TRUE, FALSE, kCancelEvent) == NULL);
        }
        mark = StatsMark();
        plugin = NewProgressPlugin(L"en", path->allowCancel);
        if (plugin) {
            CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
            SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 2048, 4096, NULL);
            driver = StartDriver(path->user);
            CHECK(WaitForSingleObject(g_userReady, 30000) == WAIT_OBJECT_0);
            switch (path->end) {
                case END_SUCCESS:
                    result = SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1);
                    break;
                case END_FAILURE:
                    result = SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0);
                    break;
                case END_ABORT:
                    result = SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin);
                    break;
            }
            CHECK(EndDriver(driver) == 1);
            CHECK(result == path->expectedResult);
            if (result != path->expectedResult) printf("%s: result %d\n", path->name, result);
            /* The wizard has gone with the end. */
            CHECK(FindControl(1010, NULL) == NULL);
            g_free(plugin);
        }
        if (path->event == EVENT_HELD && event) {
            CHECK((WaitForSingleObject(event, 0) == WAIT_OBJECT_0) == path->expectedSignalled);
        }
        if (event) CloseHandle(event);
        CheckStatsActions(path->name, mark, path->expectedActions);
    }
    g_row = NULL;
}

/* A wizard that cannot be shown (the language in force has no progress page) reports nothing: no
 * finish, though its result was never changed from PLUGIN_COMPLETED. */
static void TestNoWizardNoFinishReport(void) {
    static const char* const nothing[] = {NULL};
    wchar_t path[MAX_PATH], language[64] = L"en";
    int mark = StatsMark();
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin) return;
    PathInDir(path, L"plugin_host_data\\languages.xml");
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, 1) != 0);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                               64) == PLUGIN_OK);
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) == 0);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_FAILED);
    g_free(plugin);
    CheckStatsActions("no wizard", mark, nothing);
}

/* The bar's range and position after downloads with totals far above 16 bits of 10000-byte steps:
 * the bar shows the part done, to one step, and its range is read back whole (32 bits). */
static void TestBarShowsThePartDoneOfLargeDownloads(void) {
    static const struct {
        unsigned long done, total;
    } cases[] =
        {
            {1024000ul, 4096000ul},
            {327680000ul, 655360000ul}, /* the first total whose 10000-byte steps pass 16 bits */
            {1000000000ul, 4000000000ul},
            {3000000000ul, 4000000000ul},
            {4294967294ul, 4294967295ul},
            {4294967295ul, 4294967295ul},
            {5000000ul, 4096000ul}, /* more done than the total: full, not beyond */
        };
    size_t i;
    HWND bar;
    void* plugin = NewProgressPlugin(L"en", 1);
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    bar = WaitForControl(1004, NULL);
    CHECK(bar != NULL);
    for (i = 0; bar && i < sizeof cases / sizeof cases[0]; ++i) {
        PBRANGE range = {-1, -1};
        double shown, done;
        int position;
        SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)
        (plugin, cases[i].done, cases[i].total, NULL);
        SendMessageW(bar, PBM_GETRANGE, FALSE, (LPARAM)&range);
        position = (int)SendMessageW(bar, PBM_GETPOS, 0, 0);
        done = cases[i].done > cases[i].total ? 1.0 : (double)cases[i].done / cases[i].total;
        shown = range.iHigh > 0 ? (double)position / range.iHigh : -1.0;
        CHECK(range.iLow == 0);
        CHECK(range.iHigh >= 400); /* at least 400 steps: the bar moves smoothly */
        CHECK(position >= 0 && position <= range.iHigh);
        CHECK(shown >= done - 1.0 / range.iHigh - 1e-9 && shown <= done + 1e-9);
        if (!(shown >= done - 1.0 / range.iHigh - 1e-9 && shown <= done + 1e-9)) {
            printf("bar: %lu of %lu shown as %d of %d..%d\n", cases[i].done, cases[i].total,
                   position, range.iLow, range.iHigh);
        }
    }
    /* Many small steps of one download, several to a pixel of the bar: the drawn part (the
     * position's share of the bar's width) is after each the one the bytes done give. */
    if (bar) {
        const unsigned long total = 4000000000ul, steps = 400;
        RECT client;
        unsigned long k, wrong = 0, width;
        GetClientRect(bar, &client);
        width = (unsigned long)(client.right - client.left);
        CHECK(width > 100);
        for (k = 0; k <= steps; ++k) {
            unsigned long done = (unsigned long)((unsigned long long)total * k / steps);
            unsigned long long range, position, drawn, share;
            SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, done, total, NULL);
            range = (unsigned long long)SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
            position = (unsigned long long)SendMessageW(bar, PBM_GETPOS, 0, 0);
            drawn = range ? width * position / range : 0;
            share = (unsigned long long)width * done / total;
            /* one pixel either way for the rounding of the bar's steps */
            if (range == 0 || drawn + 1 < share || drawn > share + 1) {
                if (!wrong) {
                    printf("bar: %lu of %lu drawn to %llu of %lu pixels, not %llu\n", done, total,
                           drawn, width, share);
                }
                ++wrong;
            }
        }
        CHECK(wrong == 0);
        CHECK(SendMessageW(bar, PBM_GETPOS, 0, 0) == SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    }
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    g_free(plugin);
}

int wmain(void) {
    /* The program keeps a folder of its own, below the plug-in's (host_stats.h). */
    if (!LoadPlugin(1)) return 1;
    StatsBegin();
    if (!RunControlFile(L"progress.xml", g_controlFile)) return 1;
    g_userReady = CreateEventW(NULL, TRUE, FALSE, NULL);

    TestFinishSuccessClosesByItselfAfterDownloadAndInstall();
    TestRunsInEveryListedLanguage();
    TestEveryWayARunEnds();
    TestNoWizardNoFinishReport();
    TestBarShowsThePartDoneOfLargeDownloads();

    CloseHandle(g_userReady);
    FreeLibrary(g_dll);
    printf("progress host: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
