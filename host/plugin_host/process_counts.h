/* What a test host counts of its own process to see leaks: kernel handles, GDI and USER objects,
 * committed private memory and the working set. The system's own counts (GetProcessHandleCount,
 * GetGuiResources) are taken where the system gives them; where it reports nothing (Wine answers 0
 * to all three), the objects are counted directly:
 * - kernel handles: every handle value that GetHandleInformation accepts (handles are small
 *   multiples of 4, given out lowest first);
 * - GDI objects: the live cells of the process's GDI handle table, which the process environment
 *   block points to (24-byte cells, the layout of 64-bit Windows, which Wine uses in both widths);
 * - USER objects: the process's windows (top-level, child and message-only), and the icons,
 *   cursors and menus found by probing the USER handle indexes (a handle with a zero upper word
 *   names the object of that index).
 * CountsSelfCheck proves that the counting in use sees objects come and go before a test relies
 * on it. One translation unit per program includes it. */
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <string.h>

typedef struct {
    unsigned long kernelHandles;
    unsigned long gdiObjects;
    unsigned long userObjects;
    unsigned long long privateBytes; /* committed private memory */
    unsigned long long workingSet;
} ProcessCounts;

/* How each count was taken, for the printed figures. */
typedef struct {
    int kernelFromSystem;
    int gdiFromSystem;
    int userFromSystem;
} CountSources;

static CountSources g_countSources;

static unsigned long ProbeKernelHandles(void) {
    unsigned long count = 0, misses = 0;
    ULONG_PTR value;
    for (value = 4; misses < 2048 && value < (1ul << 24); value += 4) {
        DWORD flags;
        if (GetHandleInformation((HANDLE)value, &flags)) {
            ++count;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return count;
}

static const unsigned char* GdiHandleTable(void) {
#if defined(__x86_64__)
    const unsigned char* peb;
    __asm__ __volatile__("movq %%gs:0x60, %0" : "=r"(peb));
    return *(const unsigned char* const*)(peb + 0xF8);
#else
    const unsigned char* peb;
    __asm__ __volatile__("movl %%fs:0x30, %0" : "=r"(peb));
    return *(const unsigned char* const*)(peb + 0x94);
#endif
}

static unsigned long CountGdiCells(void) {
    enum {
        kCellSize = 24,
        kTypeOffset = 14,
        kCells = 0x10000
    };
    const unsigned char* table = GdiHandleTable();
    unsigned long count = 0;
    size_t i = 0;
    if (!table) return 0;
    /* Only committed pages of the table are read. */
    while (i < kCells) {
        MEMORY_BASIC_INFORMATION info;
        const unsigned char* cell = table + i * kCellSize;
        size_t end;
        if (!VirtualQuery(cell, &info, sizeof info)) break;
        end = ((const unsigned char*)info.BaseAddress + info.RegionSize - table) / kCellSize;
        if (end > kCells) end = kCells;
        if (info.State == MEM_COMMIT && !(info.Protect & (PAGE_NOACCESS | PAGE_GUARD))) {
            for (; i < end; ++i) {
                if (table[i * kCellSize + kTypeOffset]) ++count;
            }
        }
        i = end > i ? end : i + 1;
    }
    return count;
}

typedef struct {
    DWORD pid;
    unsigned long windows;
} WindowTally;

static BOOL CALLBACK TallyChild(HWND window, LPARAM param) {
    (void)window;
    ++((WindowTally*)param)->windows;
    return TRUE;
}

static BOOL CALLBACK TallyTop(HWND window, LPARAM param) {
    WindowTally* tally = (WindowTally*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != tally->pid) return TRUE;
    ++tally->windows;
    EnumChildWindows(window, TallyChild, param);
    return TRUE;
}

static unsigned long CountUserObjectsDirectly(void) {
    WindowTally tally = {GetCurrentProcessId(), 0};
    HWND message = NULL;
    HDC dc = CreateCompatibleDC(NULL);
    unsigned long icons = 0, menus = 0;
    unsigned int low;
    EnumWindows(TallyTop, (LPARAM)&tally);
    while ((message = FindWindowExW(HWND_MESSAGE, message, NULL, NULL)) != NULL) {
        TallyTop(message, (LPARAM)&tally);
    }
    for (low = 0x20; low <= 0xFFEE; low += 2) {
        HANDLE handle = (HANDLE)(ULONG_PTR)low;
        if (dc && DrawIconEx(dc, 0, 0, (HICON)handle, 1, 1, 0, NULL, DI_NORMAL)) ++icons;
        if (IsMenu((HMENU)handle)) ++menus;
    }
    if (dc) DeleteDC(dc);
    return tally.windows + icons + menus;
}

static ProcessCounts TakeCounts(void) {
    ProcessCounts counts;
    PROCESS_MEMORY_COUNTERS memory;
    DWORD handles = 0;
    unsigned char* address = NULL;
    MEMORY_BASIC_INFORMATION info;
    memset(&counts, 0, sizeof counts);

    g_countSources.kernelFromSystem =
        GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0;
    counts.kernelHandles = g_countSources.kernelFromSystem ? handles : ProbeKernelHandles();
    /* GDI first: the USER probe makes and deletes a DC of its own. */
    counts.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    g_countSources.gdiFromSystem = counts.gdiObjects != 0;
    if (!counts.gdiObjects) counts.gdiObjects = CountGdiCells();
    counts.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    g_countSources.userFromSystem = counts.userObjects != 0;
    if (!counts.userObjects) counts.userObjects = CountUserObjectsDirectly();

    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) {
            counts.privateBytes += info.RegionSize;
        }
        address = (unsigned char*)info.BaseAddress + info.RegionSize;
        if (info.RegionSize == 0) break;
    }
    memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
        counts.workingSet = memory.WorkingSetSize;
    }
    return counts;
}

static const char* SourceName(int fromSystem) { return fromSystem ? "system" : "counted"; }

static void PrintCountSources(void) {
    printf("counts: kernel handles %s, GDI %s, USER %s\n",
           SourceName(g_countSources.kernelFromSystem), SourceName(g_countSources.gdiFromSystem),
           SourceName(g_countSources.userFromSystem));
}

/* Makes one object of each kind and removes it again: each count must rise and come back. Returns
 * 1 when all three do, and prints what it saw otherwise. */
static int CountsCycle(int report) {
    static const BYTE andMask[32 * 4] = {0}, xorMask[32 * 4] = {0};
    ProcessCounts before, during, after;
    HANDLE event;
    HBRUSH brush;
    HMENU menu;
    HICON icon;
    HWND window;
    int ok;
    before = TakeCounts();
    event = CreateEventW(NULL, TRUE, FALSE, NULL);
    brush = CreateSolidBrush(RGB(1, 2, 3));
    menu = CreateMenu();
    icon = CreateIcon(GetModuleHandleW(NULL), 32, 32, 1, 1, andMask, xorMask);
    window = CreateWindowExW(0, L"STATIC", L"count me", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                             GetModuleHandleW(NULL), NULL);
    during = TakeCounts();
    if (window) DestroyWindow(window);
    if (icon) DestroyIcon(icon);
    if (menu) DestroyMenu(menu);
    if (brush) DeleteObject(brush);
    if (event) CloseHandle(event);
    after = TakeCounts();
    ok = during.kernelHandles >= before.kernelHandles + 1 &&
         during.gdiObjects >= before.gdiObjects + 1 &&
         during.userObjects >= before.userObjects + 3 &&
         after.kernelHandles == before.kernelHandles && after.gdiObjects == before.gdiObjects &&
         after.userObjects == before.userObjects;
    if (!ok && report) {
        printf(
            "counting does not see objects come and go: kernel %lu/%lu/%lu, GDI %lu/%lu/%lu, "
            "USER %lu/%lu/%lu (before/with/after)\n",
            before.kernelHandles, during.kernelHandles, after.kernelHandles, before.gdiObjects,
            during.gdiObjects, after.gdiObjects, before.userObjects, during.userObjects,
            after.userObjects);
    }
    return ok;
}

/* The first cycle pays for what the system sets up once (the first window of a thread, the first
 * DC); the second must come back exactly. */
static int CountsSelfCheck(void) {
    CountsCycle(0);
    return CountsCycle(1);
}
