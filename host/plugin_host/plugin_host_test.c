/* A host written in C, as a foreign loader host would be: it loads fetchwellGUI.dll by path, takes
 * both exports with GetProcAddress and calls every operation through the raw table of the object,
 * by slot index, with the calling convention of the platform's compiler (thiscall on 32-bit). */
#include "plugin_slots.h"

static void* NewPlugin(void) {
    void* plugin = g_factory(g_dir);
    CHECK(plugin != NULL);
    return plugin;
}

static host_bool InitializeWith(void* plugin, const wchar_t* fileName) {
    wchar_t path[MAX_PATH];
    PathInDir(path, fileName);
    return SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, (void*)0x1234, path, 0, 1);
}

/* Every slot points into the plug-in's own code. */
static void TestTableHasElevenSlotsInTheDll(void) {
    void* plugin = NewPlugin();
    int i;
    if (!plugin) return;
    for (i = 0; i < SLOT_COUNT; ++i) {
        HMODULE owner = NULL;
        void* slot = Table(plugin)[i];
        CHECK(slot != NULL);
        CHECK(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 (LPCWSTR)slot, &owner) &&
              owner == g_dll);
    }
    g_free(plugin);
}

static void TestFreeOfNullDoesNothing(void) {
    g_free(NULL);
    CHECK(1);
}

/* The host may also destroy the object itself through slot 0, as "delete plugin" does. */
static void TestSlotZeroDestroysWithTheDeletingFlag(void) {
    void* plugin = NewPlugin();
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_DESTROY, DestroyFn)(plugin, 1) == plugin);
}

static void TestInitializeRefusesBadControlFiles(void) {
    static const wchar_t* const files[] = {L"plugin_host_data\\missing.xml",
                                           L"plugin_host_data\\malformed.xml"};
    size_t i;
    void* plugin = NewPlugin();
    if (!plugin) return;
    CHECK(SLOT(plugin, SLOT_INITIALIZE, InitializeFn)(plugin, NULL, NULL, 0, 1) == 0);
    for (i = 0; i < sizeof files / sizeof files[0]; ++i) {
        CHECK(InitializeWith(plugin, files[i]) == 0);
    }
    /* After a failed Initialize the object is still destroyable, and nothing else is needed. */
    g_free(plugin);
}

static void TestWithoutProgressWizardEveryProgressSlotFailsAtOnce(void) {
    void* plugin = NewPlugin();
    if (!plugin) return;
    CHECK(InitializeWith(plugin, L"plugin_host_data\\loadercontrol.xml") != 0);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 1) == PLUGIN_FAILED);
    CHECK(SLOT(plugin, SLOT_ABORT_PROGRESS, AbortProgressFn)(plugin) == PLUGIN_FAILED);
    SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, L"status");
    SLOT(plugin, SLOT_SET_STATUS_TEXT, TextFn)(plugin, NULL);
    SLOT(plugin, SLOT_UPDATE_STATUS_TEXT, TextFn)(plugin, NULL);
    SLOT(plugin, SLOT_REPORT_INSTALL_STEP, TextFn)(plugin, L"step");
    SLOT(plugin, SLOT_REPORT_DOWNLOAD_PROGRESS, DownloadFn)(plugin, 1024, 0xFFFFFFFFul, NULL);
    CHECK(SLOT(plugin, SLOT_START_PROGRESS, StartProgressFn)(plugin) == 0);
    CHECK(SLOT(plugin, SLOT_FINISH_PROGRESS, FinishProgressFn)(plugin, 0) == PLUGIN_FAILED);
    g_free(plugin);
}

static void TestSelectLanguageRefusesCodesThatAreNotListed(void) {
    wchar_t language[64] = L"xx";
    void* plugin = NewPlugin();
    if (!plugin) return;
    CHECK(InitializeWith(plugin, L"plugin_host_data\\loadercontrol.xml") != 0);
    CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite", language,
                                                               64) == PLUGIN_FAILED);
    CHECK(wcscmp(language, L"xx") == 0);
    g_free(plugin);
}

/* A code the host has settled is checked against the GUI languages, letter case ignored, and
 * comes back as the host wrote it. */
static void TestSelectLanguageSettlesAListedCodeInAnyLetterCase(void) {
    static const wchar_t* const codes[] = {L"DE", L"en", L"Fr"};
    size_t i;
    for (i = 0; i < sizeof codes / sizeof codes[0]; ++i) {
        wchar_t language[64];
        void* plugin = NewPlugin();
        if (!plugin) return;
        CHECK(InitializeWith(plugin, L"plugin_host_data\\languages.xml") != 0);
        wcscpy(language, codes[i]);
        CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(plugin, L"brisco-suite",
                                                                   language, 64) == PLUGIN_OK);
        CHECK(wcscmp(language, codes[i]) == 0);
        /* "Fr" names an unsigned library: the code is settled, and the library of the language in
         * use (English, the provisional one) stays loaded, so there is always one to show. */
        CHECK(GetModuleHandleW(L"plugin_host_lang_en.dll") != NULL ||
              GetModuleHandleW(L"plugin_host_lang_de.dll") != NULL);
        g_free(plugin);
    }
}

/* Settling a language needs one language library that loads: the user's, else "en", else the
 * first listed one. Without a code from the host there is no wizard in this build to settle one. */
static void TestSelectLanguageNeedsALoadableLanguageLibrary(void) {
    static const struct {
        const wchar_t* controlFile;
        const wchar_t* code;
        int result;
    } cases[] = {
        {L"plugin_host_data\\languages_german_only.xml", L"de", PLUGIN_OK},
        {L"plugin_host_data\\languages_unusable.xml", L"fr", PLUGIN_FAILED},
        {L"plugin_host_data\\languages.xml", L"", PLUGIN_FAILED},
    };
    size_t i;
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        wchar_t language[64];
        void* plugin = NewPlugin();
        if (!plugin) return;
        CHECK(InitializeWith(plugin, cases[i].controlFile) != 0);
        wcscpy(language, cases[i].code);
        CHECK(SLOT(plugin, SLOT_SELECT_LANGUAGE, SelectLanguageFn)(
                  plugin, L"brisco-suite", language, 64) == cases[i].result);
        g_free(plugin);
    }
}

/* Answers the plug-in's message box from a second thread, as a user would: by a click on a
 * button, or by a key sent to the control that has the focus. */
typedef struct {
    DWORD threadId;
    int button; /* pressed with BM_CLICK; 0: press key instead */
    UINT key;
    wchar_t caption[128];
    wchar_t text[256];
    int visible[4]; /* ids of the visible buttons, 0 after the last */
    int ownerDrawn; /* every visible button is owner-drawn */
    int hasIcon;
    int found;
} BoxAnswer;

static BOOL CALLBACK ReadButtonsAndIcon(HWND child, LPARAM param) {
    BoxAnswer* answer = (BoxAnswer*)param;
    wchar_t cls[32];
    LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    int n = 0;
    if (!IsWindowVisible(child)) return TRUE;
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Button") == 0) {
        while (n < 3 && answer->visible[n]) ++n;
        if (n < 3) answer->visible[n] = GetDlgCtrlID(child);
        if ((style & 0x0F) != BS_OWNERDRAW) answer->ownerDrawn = 0;
    } else if (_wcsicmp(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        answer->hasIcon = 1;
    }
    return TRUE;
}

static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    BoxAnswer* answer = (BoxAnswer*)param;
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    GetWindowTextW(window, answer->caption, 128);
    GetDlgItemTextW(window, 0xFFFF, answer->text, 256); /* the message box's text control */
    answer->ownerDrawn = 1;
    EnumChildWindows(window, ReadButtonsAndIcon, param);
    if (answer->button) {
        PostMessageW(GetDlgItem(window, answer->button), BM_CLICK, 0, 0);
    } else {
        GUITHREADINFO info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        GetGUIThreadInfo(answer->threadId, &info);
        PostMessageW(info.hwndFocus ? info.hwndFocus : window, WM_KEYDOWN, answer->key, 1);
        PostMessageW(info.hwndFocus ? info.hwndFocus : window, WM_KEYUP, answer->key, 0xC0000001);
    }
    answer->found = 1;
    return FALSE;
}

static DWORD WINAPI AnswerBox(LPVOID param) {
    BoxAnswer* answer = (BoxAnswer*)param;
    int tries;
    for (tries = 0; tries < 500 && !answer->found; ++tries) {
        EnumThreadWindows(answer->threadId, FindBox, (LPARAM)answer);
        if (!answer->found) Sleep(20);
    }
    return 0;
}

/* Every style the plug-in's callers use, each answered with each of its buttons, and Enter and
 * Esc as the dialog manager handles them: the result is the button that closed the box. */
static void TestShowMessageReturnsTheButtonThatClosedIt(void) {
    static const struct {
        unsigned int type;
        int button;
        UINT key;
        int result;
        int visible[3];
        int hasIcon;
    } cases[] = {
        {MB_OK | MB_ICONINFORMATION, IDOK, 0, IDOK, {IDOK, 0, 0}, 1},
        {MB_YESNO | MB_ICONQUESTION, IDYES, 0, IDYES, {IDYES, IDNO, 0}, 1},
        {MB_YESNO | MB_ICONQUESTION, IDNO, 0, IDNO, {IDYES, IDNO, 0}, 1},
        {MB_OKCANCEL | MB_ICONWARNING, IDOK, 0, IDOK, {IDOK, IDCANCEL, 0}, 1},
        {MB_OKCANCEL | MB_ICONWARNING, IDCANCEL, 0, IDCANCEL, {IDOK, IDCANCEL, 0}, 1},
        {MB_OKCANCEL | MB_ICONERROR, 0, VK_RETURN, IDOK, {IDOK, IDCANCEL, 0}, 1},
        {MB_OKCANCEL | MB_ICONERROR, 0, VK_ESCAPE, IDCANCEL, {IDOK, IDCANCEL, 0}, 1},
        /* Enter presses the default button the style names, owner-drawn as it is. */
        {MB_YESNO | MB_DEFBUTTON2, 0, VK_RETURN, IDNO, {IDYES, IDNO, 0}, 0},
        {MB_YESNO, 0, VK_RETURN, IDYES, {IDYES, IDNO, 0}, 0},
    };
    size_t i;
    void* plugin = NewPlugin();
    if (!plugin) return;
    CHECK(InitializeWith(plugin, L"plugin_host_data\\loadercontrol.xml") != 0);
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        BoxAnswer answer;
        HANDLE thread;
        int result, k;
        memset(&answer, 0, sizeof answer);
        answer.threadId = GetCurrentThreadId();
        answer.button = cases[i].button;
        answer.key = cases[i].key;
        thread = CreateThread(NULL, 0, AnswerBox, &answer, 0, NULL);
        result = SLOT(plugin, SLOT_SHOW_MESSAGE, ShowMessageFn)(plugin, L"Stop the download?",
                                                                cases[i].type);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (result != cases[i].result) printf("case %u: result %d\n", (unsigned)i, result);
        CHECK(result == cases[i].result);
        CHECK(wcscmp(answer.caption, L"Brisco Suite") == 0);
        CHECK(wcscmp(answer.text, L"Stop the download?") == 0);
        for (k = 0; k < 3; ++k) CHECK(answer.visible[k] == cases[i].visible[k]);
        CHECK(answer.ownerDrawn);
        /* Without an icon style, Wine leaves an empty icon control visible: only presence is read. */
        if (cases[i].hasIcon) CHECK(answer.hasIcon);
    }
    g_free(plugin);
}

int wmain(void) {
    if (!LoadPlugin(0)) return 1;

    TestFreeOfNullDoesNothing();
    TestTableHasElevenSlotsInTheDll();
    TestSlotZeroDestroysWithTheDeletingFlag();
    TestInitializeRefusesBadControlFiles();
    TestWithoutProgressWizardEveryProgressSlotFailsAtOnce();
    TestSelectLanguageRefusesCodesThatAreNotListed();
    TestSelectLanguageSettlesAListedCodeInAnyLetterCase();
    TestSelectLanguageNeedsALoadableLanguageLibrary();
    TestShowMessageReturnsTheButtonThatClosedIt();

    FreeLibrary(g_dll);
    printf("plugin host: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
