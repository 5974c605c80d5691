/* Ten whole runs of the plug-in in one host process, as a loader host that installs one product
 * after another would make them: factory, Initialize, SelectLanguage, the progress wizard with
 * downloads, steps, status texts and a message box, its end, FreeOutputPlugin. The process's
 * kernel handles, GDI objects and USER objects are counted after each run: after the first run
 * (which pays for what the process sets up once) they must stay where it left them. */
#include "plugin_slots.h"
#include "plugin_windows.h"
#include "process_counts.h"

#define ID_WIZFINISH 12325
#define RUNS 10

/* What the process sets up once and keeps (window classes, fonts, the drawing library's session,
 * WinINet) is paid by the first run: every later run is compared with the counts after run 1 and
 * may differ by this much at most.
 * - GDI: 24, the system's cache of painting device contexts. Under Wine each cached one is a DC
 *   that belongs to no window, with its region and its bitmap; in the 32-bit build the cache fills
 *   over the first runs, by 6 or 12 objects at a time and at a pace that depends on how the two
 *   threads' painting meets (in one trial it still grew in run 10), and stops at 24 above run 1 (the
 *   64-bit build fills it in run 1). A leak of three GDI objects per run still shows; one icon per
 *   run also shows in the USER count.
 * - kernel handles: 2, the statistics request of each finished run: its thread and WinINet's
 *   handles are released a moment after the wizard's end, and a count taken just then could still
 *   see a thread's handle and its event.
 * - USER objects: none. */
enum {
    KERNEL_SLACK = 2,
    GDI_SLACK = 24,
    USER_SLACK = 0
};

typedef struct {
    DWORD threadId;
    int found;
} BoxAnswer;

static BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
    BoxAnswer* answer = (BoxAnswer*)param;
    wchar_t cls[16];
    GetClassNameW(window, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    PostMessageW(GetDlgItem(window, IDYES), BM_CLICK, 0, 0);
    answer->found = 1;
    return FALSE;
}

static DWORD WINAPI WatchForBox(LPVOID param) {
    BoxAnswer* answer = (BoxAnswer*)param;
    int tries;
    for (tries = 0; tries < 1000 && !answer->found; ++tries) {
        EnumThreadWindows(answer->threadId, AnswerBox, (LPARAM)answer);
        if (!answer->found) Sleep(10);
    }
    return 0;
}

static DWORD WINAPI PressFinish(LPVOID param) {
    int i;
    (void)param;
    for (i = 0; i < 500; ++i) {
        HWND status = FindControl(1010, NULL);
        HWND finish = status ? GetDlgItem(GetAncestor(status, GA_ROOT), ID_WIZFINISH) : NULL;
        if (finish && IsWindowEnabled(finish) && IsWindowVisible(finish)) {
            PostMessageW(finish, BM_CLICK, 0, 0);
            return 1;
        }
        Sleep(20);
    }
    return 0;
}

/* One whole run; odd runs end with success (the wizard closes by itself), even runs fail and the
 * user closes the wizard with Finish. */
static void WholeRun(int run) {
    wchar_t path[MAX_PATH], language[64] = L"en";
    BoxAnswer answer = {GetCurrentThreadId(), 0};
    HANDLE thread;
    unsigned long done;
    int result;
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin) return;
    PathInDir(path, L"plugin_host_data\\progress.xml");
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, 1) != 0);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                               64) == PLUGIN_OK);
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"Downloading");
    for (done = 0; done <= 4096000ul; done += 40960ul) {
        SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, done, 4096000ul, L"part");
    }
    SLOT(plugin, SLOT_UPDATE_STATUS_TEXT, TextFn)(plugin, L"Installing");
    SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, L"step 1");
    SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, L"step 2");
    thread = CreateThread(NULL, 0, WatchForBox, &answer, 0, NULL);
    CHECK(SLOT(plugin, SLOT_SHOW_MESSAGE, ShowMessageFn)(plugin, L"Go on?", MB_YESNO) == IDYES);
    WaitForSingleObject(thread, 20000);
    CloseHandle(thread);
    if (run % 2) {
        result = SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1);
    } else {
        thread = CreateThread(NULL, 0, PressFinish, NULL, 0, NULL);
        result = SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0);
        WaitForSingleObject(thread, 20000);
        CloseHandle(thread);
    }
    CHECK(result == PLUGIN_COMPLETED);
    g_free(plugin);
}

static int Within(unsigned long value, unsigned long first, unsigned long slack) {
    return value <= first + slack && value + slack >= first;
}

static void TestTenWholeRunsLeaveTheCountsWhereTheFirstLeftThem(void) {
    ProcessCounts counts[RUNS + 1];
    int run;
    CHECK(CountsSelfCheck());
    counts[0] = TakeCounts();
    PrintCountSources();
    for (run = 1; run <= RUNS; ++run) {
        WholeRun(run);
        Sleep(200); /* the statistics thread of the run lets go of its handles */
        counts[run] = TakeCounts();
    }
    printf("run   kernel handles  GDI objects  USER objects  private KiB\n");
    for (run = 0; run <= RUNS; ++run) {
        printf("%-5d %14lu %12lu %13lu %12llu\n", run, counts[run].kernelHandles,
               counts[run].gdiObjects, counts[run].userObjects, counts[run].privateBytes / 1024);
    }
    for (run = 2; run <= RUNS; ++run) {
        CHECK(Within(counts[run].kernelHandles, counts[1].kernelHandles, KERNEL_SLACK));
        CHECK(Within(counts[run].gdiObjects, counts[1].gdiObjects, GDI_SLACK));
        CHECK(Within(counts[run].userObjects, counts[1].userObjects, USER_SLACK));
    }
}

int wmain(void) {
    if (!LoadPlugin(0)) return 1;
    TestTenWholeRunsLeaveTheCountsWhereTheFirstLeftThem();
    FreeLibrary(g_dll);
    printf("soak host: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
