/* Benchmarks of the plug-in as a loader host written in C sees it (slots by index through the raw
 * table, thiscall on 32-bit): how many progress notifications per second reach the progress page,
 * how long StartProgress takes to return true, and what the host process holds after 100 and
 * after 100,000 notifications. It prints figures beside their goals and fails only when a call
 * itself fails; speed never decides the exit code. Run by tools/gui-bench.sh. */
#include "plugin_slots.h"
#include "process_counts.h"

#include <stdlib.h>

#define NOTIFY_ROUND 20000
#define NOTIFY_ROUNDS 3
#define START_RUNS 9

static double Now(void) {
    static LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

static int CompareDoubles(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

static double Median(const double* values, int count) {
    double sorted[64];
    int i;
    for (i = 0; i < count; ++i) sorted[i] = values[i];
    qsort(sorted, (size_t)count, sizeof sorted[0], CompareDoubles);
    return count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
}

static double Max(const double* values, int count) {
    double best = values[0];
    int i;
    for (i = 1; i < count; ++i) best = values[i] > best ? values[i] : best;
    return best;
}

/* A plug-in with its control file and the host's language settled; NULL on failure. */
static void* SettledPlugin(void) {
    wchar_t path[MAX_PATH], language[64] = L"en";
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    if (!plugin) return NULL;
    PathInDir(path, L"plugin_host_data\\progress.xml");
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, 0, 1) != 0);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                               64) == PLUGIN_OK);
    return plugin;
}

static void EndRun(void* plugin) {
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_COMPLETED);
    g_free(plugin);
}

/* n download notifications, counting on from *sent (a download of 1 GB in 4 KiB steps). */
static void SendDownloads(void* plugin, unsigned long n, unsigned long* sent) {
    DownloadFn download = SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn);
    unsigned long i;
    for (i = 0; i < n; ++i, ++*sent) {
        download(plugin, (*sent * 4096ul) % 1000000000ul, 1000000000ul, NULL);
    }
}

static BOOL CALLBACK FindStatus(HWND top, LPARAM param) {
    DWORD pid = 0;
    HWND status;
    GetWindowThreadProcessId(top, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(top)) return TRUE;
    status = FindWindowExW(top, NULL, NULL, NULL);
    for (; status; status = FindWindowExW(top, status, NULL, NULL)) {
        HWND control = GetDlgItem(status, 1010);
        if (control) {
            *(HWND*)param = status; /* the page: the status line's parent */
            return FALSE;
        }
    }
    return TRUE;
}

/* The floor under every notification: an empty message sent to the page's thread and back. */
static double EmptyRoundTripsPerSecond(void) {
    HWND page = NULL;
    double start;
    int i;
    EnumWindows(FindStatus, (LPARAM)&page);
    if (!page) return 0;
    start = Now();
    for (i = 0; i < NOTIFY_ROUND; ++i) SendMessageW(page, WM_NULL, 0, 0);
    return NOTIFY_ROUND / (Now() - start);
}

/* The same calls made on the page's own thread, where SendMessageW calls the page's window
 * procedure directly: what the plug-in itself spends on a notification (the record, the page's
 * handling, its texts and bar), without the passage between the threads. The page's window
 * procedure is wrapped for one message that makes the calls; the host's thread waits meanwhile,
 * so the plug-in still sees one caller at a time. */
static WNDPROC g_pageProc;
static UINT g_inThreadMessage;
static void* g_inThreadPlugin;
static unsigned long* g_inThreadSent;
static double g_inThreadRate;

static LRESULT CALLBACK InThreadPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == g_inThreadMessage && g_inThreadMessage) {
        double start = Now();
        SendDownloads(g_inThreadPlugin, (unsigned long)wParam, g_inThreadSent);
        g_inThreadRate = (double)wParam / (Now() - start);
        return 1;
    }
    return CallWindowProcW(g_pageProc, window, message, wParam, lParam);
}

static double InThreadRate(void* plugin, unsigned long* sent) {
    HWND page = NULL;
    LRESULT made;
    EnumWindows(FindStatus, (LPARAM)&page);
    CHECK(page != NULL);
    if (!page) return 0;
    if (!g_inThreadMessage)
        g_inThreadMessage = RegisterWindowMessageW(L"gui_bench in-thread round");
    g_inThreadPlugin = plugin;
    g_inThreadSent = sent;
    g_inThreadRate = 0;
    g_pageProc = (WNDPROC)SetWindowLongPtrW(page, GWLP_WNDPROC, (LONG_PTR)InThreadPageProc);
    CHECK(g_pageProc != NULL);
    if (!g_pageProc) return 0;
    made = SendMessageW(page, g_inThreadMessage, NOTIFY_ROUND, 0);
    SetWindowLongPtrW(page, GWLP_WNDPROC, (LONG_PTR)g_pageProc);
    CHECK(made == 1);
    return g_inThreadRate;
}

static void BenchNotifications(void) {
    double rates[NOTIFY_ROUNDS], textRates[NOTIFY_ROUNDS], emptyRates[NOTIFY_ROUNDS], stillRate;
    double inThreadRates[NOTIFY_ROUNDS];
    unsigned long sent = 0;
    int round, i;
    void* plugin = SettledPlugin();
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    SendDownloads(plugin, 1000, &sent); /* the first download loads its status text */
    for (round = 0; round < NOTIFY_ROUNDS; ++round) {
        TextFn status = SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn);
        double start = Now();
        SendDownloads(plugin, NOTIFY_ROUND, &sent);
        rates[round] = NOTIFY_ROUND / (Now() - start);
        start = Now();
        for (i = 0; i < NOTIFY_ROUND; ++i) status(plugin, (i & 1) ? L"Downloading" : L"Checking");
        textRates[round] = NOTIFY_ROUND / (Now() - start);
        emptyRates[round] = EmptyRoundTripsPerSecond();
        inThreadRates[round] = InThreadRate(plugin, &sent);
    }
    /* The same calls with the figures standing still (one byte more each time): the bar and the
     * kilobyte counts are not repainted, which shows what the repainting costs. */
    {
        DownloadFn download = SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn);
        const unsigned long base = 500000000ul;
        double start = Now();
        for (i = 0; i < NOTIFY_ROUND / 4; ++i)
            download(plugin, base + (unsigned long)i, 1000000000ul, NULL);
        stillRate = (NOTIFY_ROUND / 4) / (Now() - start);
    }
    EndRun(plugin);

    printf("(a) ReportDownloadProgress round trip to the progress page, %d rounds of %d:\n",
           NOTIFY_ROUNDS, NOTIFY_ROUND);
    printf("    rounds:");
    for (round = 0; round < NOTIFY_ROUNDS; ++round) printf(" %.0f", rates[round]);
    printf(
        " per second\n    median %.0f per second, %.1f us per call   (goal: at least 20000 "
        "per second)\n",
        Median(rates, NOTIFY_ROUNDS), 1e6 / Median(rates, NOTIFY_ROUNDS));
    printf(
        "    the same with the figures standing still (the bar not moved): %.0f per "
        "second\n",
        stillRate);
    printf("    SetStatusText, the same way: median %.0f per second   (no goal; for comparison)\n",
           Median(textRates, NOTIFY_ROUNDS));
    printf(
        "    an empty message to the page's thread and back: median %.0f per second   (the "
        "floor the system sets)\n",
        Median(emptyRates, NOTIFY_ROUNDS));
    printf(
        "    the same download calls made on the page's own thread: median %.0f per second, "
        "%.1f us per call\n    (what the plug-in spends; the rest of a call above is the passage "
        "between the threads)\n",
        Median(inThreadRates, NOTIFY_ROUNDS), 1e6 / Median(inThreadRates, NOTIFY_ROUNDS));
}

static void BenchStartProgress(void) {
    double ms[START_RUNS];
    int run;
    for (run = 0; run < START_RUNS; ++run) {
        double start;
        host_bool started;
        void* plugin = SettledPlugin();
        if (!plugin) return;
        start = Now();
        started = SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin);
        ms[run] = (Now() - start) * 1000;
        CHECK(started != 0);
        EndRun(plugin);
    }
    printf("(b) StartProgress until it returns true, %d runs (each a new plug-in object):\n",
           START_RUNS);
    printf("    runs:");
    for (run = 0; run < START_RUNS; ++run) printf(" %.1f", ms[run]);
    printf(" ms (the first in a new process)\n");
    printf("    median %.1f ms, max %.1f ms   (goal: within 250 ms)\n", Median(ms, START_RUNS),
           Max(ms, START_RUNS));
}

static void PrintCountsLine(const char* label, const ProcessCounts* counts) {
    printf("    %-28s %10llu %10llu %8lu %6lu %6lu\n", label, counts->privateBytes / 1024,
           counts->workingSet / 1024, counts->kernelHandles, counts->gdiObjects,
           counts->userObjects);
}

static void BenchHeldResources(void) {
    ProcessCounts after100, after100k;
    unsigned long sent = 0;
    void* plugin = SettledPlugin();
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) != 0);
    SendDownloads(plugin, 100, &sent);
    after100 = TakeCounts();
    SendDownloads(plugin, 100000ul - sent, &sent);
    after100k = TakeCounts();
    EndRun(plugin);

    printf("(d) the host process while the progress wizard shows; ");
    PrintCountSources();
    printf("    %-28s %10s %10s %8s %6s %6s\n", "", "private KiB", "WS KiB", "handles", "GDI",
           "USER");
    PrintCountsLine("after 100 notifications", &after100);
    PrintCountsLine("after 100000 notifications", &after100k);
    printf(
        "    growth: private %+lld KiB, working set %+lld KiB, handles %+ld, GDI %+ld, USER "
        "%+ld   (goal: no growth)\n",
        ((long long)after100k.privateBytes - (long long)after100.privateBytes) / 1024,
        ((long long)after100k.workingSet - (long long)after100.workingSet) / 1024,
        (long)after100k.kernelHandles - (long)after100.kernelHandles,
        (long)after100k.gdiObjects - (long)after100.gdiObjects,
        (long)after100k.userObjects - (long)after100.userObjects);
}

int wmain(void) {
    if (!LoadPlugin(0)) return 1;
    printf("fetchwellGUI.dll benchmarks, %d-bit build\n", (int)(sizeof(void*) * 8));
    if (!CountsSelfCheck()) printf("(the counts below cannot be trusted: see above)\n");
    BenchStartProgress();
    BenchNotifications();
    BenchHeldResources();
    FreeLibrary(g_dll);
    if (g_failed) printf("gui bench: %d calls failed\n", g_failed);
    fflush(stdout);
    return g_failed ? 1 : 0;
}
