/* Finding the plug-in's windows from a C test host: a visible control of a given id in a visible
 * top-level window of this process (owned by a given window, when one is named); and ending the
 * driver threads that press their buttons. */
#pragma once

#include <windows.h>

typedef struct {
    int id;
    HWND found;
    HWND owner;
} FindWindowQuery;

static inline BOOL CALLBACK FindChild(HWND child, LPARAM param) {
    FindWindowQuery* query = (FindWindowQuery*)param;
    if (GetDlgCtrlID(child) == query->id && IsWindowVisible(child)) {
        query->found = child;
        return FALSE;
    }
    return TRUE;
}

static inline BOOL CALLBACK FindTop(HWND top, LPARAM param) {
    FindWindowQuery* query = (FindWindowQuery*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(top, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(top)) return TRUE;
    if (query->owner && GetWindow(top, GW_OWNER) != query->owner) return TRUE;
    EnumChildWindows(top, FindChild, param);
    return query->found == NULL;
}

/* A visible control of id (in a window owned by owner, when given), or NULL. */
static inline HWND FindControl(int id, HWND owner) {
    FindWindowQuery query = {id, NULL, owner};
    EnumWindows(FindTop, (LPARAM)&query);
    return query.found;
}

/* The same, waiting up to waitMs for it. */
static inline HWND WaitForControlMs(int id, HWND owner, DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindControl(id, owner);
        if (found || GetTickCount() - start >= waitMs) return found;
        Sleep(20);
    }
}

/* Waits up to waitMs for a driver thread, closes it and gives its exit code (STILL_ACTIVE when
 * it had not ended by then). */
static inline DWORD JoinDriver(HANDLE thread, DWORD waitMs) {
    DWORD code = 0;
    WaitForSingleObject(thread, waitMs);
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}
