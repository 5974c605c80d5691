/* Whole language choices as a loader host written in C makes them: slots by index through the raw
 * table (thiscall on 32-bit), SelectLanguage with an empty buffer, and a driver thread that goes
 * through the language and welcome wizard as a user would, with button clicks. Each row: welcome
 * shown or skipped x one or several languages x Next, Cancel or the close box -> the result, the
 * settled code, the pages shown in order and the statistics actions the recording server got. */
#include "plugin_slots.h"

#include <commctrl.h>

#include "host_stats.h"

typedef enum {
    STEP_NEXT,
    STEP_CANCEL,
    STEP_CLOSE
} Step;

typedef struct {
    const char* name;
    host_bool skipWelcome;
    const wchar_t* product;
    Step onWelcome;      /* what the user does on the welcome page */
    Step onLanguage;     /* ... and on the language page */
    const wchar_t* pick; /* the code chosen on the language page */
    int expectedResult;
    const wchar_t* expectedCode;
    const char* expectedPages; /* 'W' welcome, 'L' language, in the order shown */
    const char* expectedActions[3];
} LanguageRun;

static const LanguageRun kRuns[] = {
    {"WelcomeThenLanguage",
     0,
     L"brisco-suite",
     STEP_NEXT,
     STEP_NEXT,
     L"ru",
     PLUGIN_OK,
     L"ru",
     "WL",
     {"FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_NEXT"}},
    {"WelcomeThenLanguageHebrew",
     0,
     L"brisco-suite",
     STEP_NEXT,
     STEP_NEXT,
     L"he",
     PLUGIN_OK,
     L"he",
     "WL",
     {"FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_NEXT"}},
    {"CancelOnWelcome",
     0,
     L"brisco-suite",
     STEP_CANCEL,
     STEP_NEXT,
     L"ru",
     PLUGIN_CANCELLED,
     L"",
     "W",
     {"FETCHWELL_DLG_WELCOME_CANCEL"}},
    {"CloseBoxOnWelcome",
     0,
     L"brisco-suite",
     STEP_CLOSE,
     STEP_NEXT,
     L"ru",
     PLUGIN_CANCELLED,
     L"",
     "W",
     {"FETCHWELL_DLG_WELCOME_CANCEL"}},
    {"CancelOnLanguage",
     0,
     L"brisco-suite",
     STEP_NEXT,
     STEP_CANCEL,
     L"de",
     PLUGIN_CANCELLED,
     L"",
     "WL",
     {"FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_CANCEL"}},
    {"CloseBoxOnLanguage",
     0,
     L"brisco-suite",
     STEP_NEXT,
     STEP_CLOSE,
     L"de",
     PLUGIN_CANCELLED,
     L"",
     "WL",
     {"FETCHWELL_DLG_WELCOME_NEXT", "FETCHWELL_DLG_SELECT_LANG_CANCEL"}},
    {"LanguageOnly",
     1,
     L"brisco-suite",
     STEP_NEXT,
     STEP_NEXT,
     L"de",
     PLUGIN_OK,
     L"de",
     "L",
     {"FETCHWELL_DLG_SELECT_LANG_NEXT"}},
    {"LanguageOnlyCancelled",
     1,
     L"brisco-suite",
     STEP_NEXT,
     STEP_CANCEL,
     L"de",
     PLUGIN_CANCELLED,
     L"",
     "L",
     {"FETCHWELL_DLG_SELECT_LANG_CANCEL"}},
    {"LanguageOnlyClosed",
     1,
     L"brisco-suite",
     STEP_NEXT,
     STEP_CLOSE,
     L"de",
     PLUGIN_CANCELLED,
     L"",
     "L",
     {"FETCHWELL_DLG_SELECT_LANG_CANCEL"}},
    {"WelcomeOfASingleLanguage",
     0,
     L"brisco-one",
     STEP_NEXT,
     STEP_NEXT,
     L"en",
     PLUGIN_OK,
     L"en",
     "W",
     {"FETCHWELL_DLG_WELCOME_NEXT"}},
    {"WelcomeOfASingleLanguageCancelled",
     0,
     L"brisco-one",
     STEP_CANCEL,
     STEP_NEXT,
     L"en",
     PLUGIN_CANCELLED,
     L"",
     "W",
     {"FETCHWELL_DLG_WELCOME_CANCEL"}},
    {"WelcomeOfASingleLanguageClosed",
     0,
     L"brisco-one",
     STEP_CLOSE,
     STEP_NEXT,
     L"en",
     PLUGIN_CANCELLED,
     L"",
     "W",
     {"FETCHWELL_DLG_WELCOME_CANCEL"}},
    /* Nothing to show: the one language is settled without an empty wizard. */
    {"NothingToShow", 1, L"brisco-one", STEP_NEXT, STEP_NEXT, L"en", PLUGIN_OK, L"en", "", {NULL}},
};

/* The process's visible wizard sheet: a top-level dialog window. */
static BOOL CALLBACK FindSheetWindow(HWND top, LPARAM param) {
    wchar_t cls[16];
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(top)) return TRUE;
    GetClassNameW(top, cls, 16);
    if (wcscmp(cls, L"#32770") != 0) return TRUE;
    *(HWND*)param = top;
    return FALSE;
}

static HWND FindSheet(void) {
    HWND sheet = NULL;
    EnumWindows(FindSheetWindow, (LPARAM)&sheet);
    return sheet;
}

static HWND ActivePage(HWND sheet) {
    return (HWND)SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0);
}

/* 'W' (welcome, control 1015) or 'L' (language list 1001) once a page other than notThis is
 * active and painted; 0 when none shows within 8 s. */
static char WaitForAPage(HWND* sheetOut, char notThis) {
    int i;
    for (i = 0; i < 160; ++i) {
        HWND sheet = FindSheet();
        if (sheet) {
            HWND page = ActivePage(sheet);
            char kind = !page ? 0 : GetDlgItem(page, 1015) ? 'W' : GetDlgItem(page, 1001) ? 'L' : 0;
            if (kind && kind != notThis && IsWindowVisible(page)) {
                Sleep(400); /* the posted button changes and the painting */
                *sheetOut = sheet;
                return kind;
            }
        }
        Sleep(50);
    }
    return 0;
}

static void Click(HWND sheet, int id) {
    HWND button = GetDlgItem(sheet, id);
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) {
        PostMessageW(button, BM_CLICK, 0, 0);
    }
}

/* Selects code in the language list as a click would: the page takes its code from the drawn
 * selection. */
static void Pick(HWND sheet, const wchar_t* code) {
    HWND list = GetDlgItem(ActivePage(sheet), 1001);
    SendMessageW(list, LB_SELECTSTRING, (WPARAM)-1, (LPARAM)code);
    InvalidateRect(list, NULL, TRUE);
    UpdateWindow(list);
}

static void Do(HWND sheet, Step step, int lastPage) {
    switch (step) {
        case STEP_NEXT:
            Click(sheet, lastPage ? ID_WIZFINISH : ID_WIZNEXT);
            break;
        case STEP_CANCEL:
            Click(sheet, IDCANCEL);
            break;
        case STEP_CLOSE:
            PostMessageW(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
    }
}

static const LanguageRun* g_run;
static char g_pages[8];

/* The user: goes through the pages the row names, then leaves. */
static DWORD WINAPI User(LPVOID param) {
    const LanguageRun* run = g_run;
    int single = wcscmp(run->product, L"brisco-one") == 0, i;
    size_t shown = 0;
    HWND sheet = NULL;
    char page = WaitForAPage(&sheet, 0);
    (void)param;
    while (page && shown + 1 < sizeof g_pages) {
        g_pages[shown++] = page;
        if (page == 'W') {
            Do(sheet, run->onWelcome, single);
            if (run->onWelcome != STEP_NEXT || single) break;
        } else {
            Pick(sheet, run->pick);
            Do(sheet, run->onLanguage, 1);
            break;
        }
        page = WaitForAPage(&sheet, page);
    }
    /* A wizard left open by a failed step is closed, so that the run ends. */
    for (i = 0; i < 100 && FindSheet(); ++i) {
        if (i >= 60) PostMessageW(FindSheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        Sleep(100);
    }
    return 0;
}

static void TestLanguageRuns(void) {
    wchar_t path[MAX_PATH];
    size_t r;
    if (!RunControlFile(L"language_runs.xml", path)) return;
    for (r = 0; r < sizeof kRuns / sizeof kRuns[0]; ++r) {
        const LanguageRun* run = &kRuns[r];
        wchar_t code[64] = {0}, product[64];
        int result, mark;
        HANDLE user;
        void* plugin = g_factory(g_dir);
        g_row = run->name;
        CHECK(plugin != NULL);
        if (!plugin) continue;
        CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, path, run->skipWelcome, 1));
        mark = StatsMark();
        memset(g_pages, 0, sizeof g_pages);
        g_run = run;
        user = CreateThread(NULL, 0, User, NULL, 0, NULL);
        RunProduct(run->product, product, 64);
        result = SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, product, code, 64);
        CHECK(WaitForSingleObject(user, 30000) == WAIT_OBJECT_0);
        CloseHandle(user);

        CHECK(result == run->expectedResult);
        CHECK(wcscmp(code, run->expectedCode) == 0);
        CHECK(strcmp(g_pages, run->expectedPages) == 0);
        if (result != run->expectedResult || strcmp(g_pages, run->expectedPages) != 0) {
            printf("%s: result %d, code \"%ls\", pages \"%s\"\n", run->name, result, code, g_pages);
        }
        if (result == PLUGIN_OK) {
            /* The settled language's library is the one in force now. */
            wchar_t library[64];
            swprintf(library, 64, L"fetchwellGUI_%ls.dll", code);
            CHECK(GetModuleHandleW(library) != NULL);
        }
        CheckStatsActions(run->name, mark, run->expectedActions);
        g_free(plugin);
    }
    g_row = NULL;
}

int wmain(void) {
    /* The program keeps a folder of its own, below the plug-in's (host_stats.h). */
    if (!LoadPlugin(1)) return 1;
    StatsBegin();

    TestLanguageRuns();

    FreeLibrary(g_dll);
    printf("language host: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
