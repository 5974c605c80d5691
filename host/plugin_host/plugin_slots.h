/* What the C test hosts share: the slot table of the plug-in object as a foreign host sees it
 * (slot indexes, the operations' types with thiscall on 32-bit), the results, and the checks. One
 * translation unit per program includes it. */
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#if defined(__i386__)
#define HOST_THISCALL __attribute__((thiscall))
#else
#define HOST_THISCALL
#endif

typedef unsigned char host_bool; /* one byte, as the interface's bool */

typedef void*(HOST_THISCALL* DestroyFn)(void* self, unsigned int flags);
typedef host_bool(HOST_THISCALL* InitializeFn)(void* self, void* hostContext, const wchar_t* path,
                                               host_bool skipWelcome, host_bool allowCancel);
typedef int(HOST_THISCALL* SelectLanguageFn)(void* self, const wchar_t* productId,
                                             wchar_t* language, unsigned int languageSize);
typedef host_bool(HOST_THISCALL* StartProgressFn)(void* self);
typedef int(HOST_THISCALL* FinishProgressFn)(void* self, host_bool success);
typedef int(HOST_THISCALL* AbortProgressFn)(void* self);
typedef void(HOST_THISCALL* TextFn)(void* self, const wchar_t* text);
typedef void(HOST_THISCALL* DownloadFn)(void* self, unsigned long done, unsigned long total,
                                        const wchar_t* text);
typedef int(HOST_THISCALL* ShowMessageFn)(void* self, const wchar_t* text, unsigned int type);

typedef void* (*FactoryFn)(const wchar_t* pluginDirectory);
typedef void (*FreeFn)(void* plugin);

enum {
    SLOT_DESTROY,
    SLOT_INITIALIZE,
    SLOT_SELECT_LANGUAGE,
    SLOT_START_PROGRESS,
    SLOT_FINISH_PROGRESS,
    SLOT_ABORT_PROGRESS,
    SLOT_SET_STATUS_TEXT,
    SLOT_REPORT_INSTALL_STEP,
    SLOT_REPORT_DOWNLOAD_PROGRESS,
    SLOT_UPDATE_STATUS_TEXT,
    SLOT_SHOW_MESSAGE,
    SLOT_COUNT
};

/* The wizard sheet's buttons. */
#define ID_WIZBACK 12323
#define ID_WIZNEXT 12324
#define ID_WIZFINISH 12325

enum {
    PLUGIN_OK = 0,
    PLUGIN_CANCELLED = 2,
    PLUGIN_COMPLETED = 3,
    PLUGIN_FAILED = 4
};

static int g_passed, g_failed;
/* The row of a table being checked, named in the failures; NULL outside a table. */
static const char* g_row;

#define CHECK(cond)                                                                         \
    do {                                                                                    \
        if (cond) {                                                                         \
            ++g_passed;                                                                     \
        } else {                                                                            \
            ++g_failed;                                                                     \
            printf("%s:%d: %s%scheck failed: %s\n", __FILE__, __LINE__, g_row ? g_row : "", \
                   g_row ? ": " : "", #cond);                                               \
        }                                                                                   \
    } while (0)

static HMODULE g_dll;
static FactoryFn g_factory;
static FreeFn g_free;
static wchar_t g_dir[MAX_PATH];

static void** Table(void* plugin) { return *(void***)plugin; }
#define SLOT(plugin, index, type) ((type)Table(plugin)[index])

static void PathInDir(wchar_t* out, const wchar_t* name) {
    wcscpy(out, g_dir);
    wcscat(out, name);
}

/* Loads fetchwellGUI.dll and takes both exports; 0 on failure. The plug-in lies in the program's
 * folder, or levelsUp folders above it for a program that keeps a folder of its own. g_dir is the
 * plug-in's folder, with its trailing backslash; the plug-in's imports are looked up there. */
static int LoadPlugin(int levelsUp) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, g_dir, MAX_PATH);
    int level;
    for (level = 0; level <= levelsUp; ++level) {
        if (length > 0) --length;
        while (length > 0 && g_dir[length - 1] != L'\\') --length;
    }
    g_dir[length] = 0;

    PathInDir(path, L"fetchwellGUI.dll");
    g_dll = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    CHECK(g_dll != NULL);
    if (!g_dll) return 0;
    g_factory = (FactoryFn)(void (*)(void))GetProcAddress(g_dll, "OutputPluginFactory");
    g_free = (FreeFn)(void (*)(void))GetProcAddress(g_dll, "FreeOutputPlugin");
    CHECK(g_factory != NULL);
    CHECK(g_free != NULL);
    return g_factory && g_free;
}
