// The framework's state of one thread, in a TlsAlloc slot: a DLL loaded with LoadLibrary cannot
// use the compiler's implicit thread-local storage on Windows XP.
#pragma once

#include <map>

#include <windows.h>

class CWnd;

struct AfxThreadState {
    // The creation hook: the object the next created window goes to, the class it must have
    // (null: any but an input-method window) and the thread's CBT hook while armed.
    CWnd* pWndInit = nullptr;
    const wchar_t* pszInitClass = nullptr;
    HHOOK hHookCbt = nullptr;
    // The message the thread is handling now, for Default() and reflection.
    MSG lastSent = {};
    // How many window procedures of the framework run on the thread now (nested sends).
    int nMsgDepth = 0;
    // Wrappers made by FromHandle for windows no object is attached to; released when the
    // thread's outermost message returns, so a thread that shows many boxes does not collect them.
    std::map<HWND, CWnd*> tempMap;
};

// The calling thread's state, made on first use.
AfxThreadState* AfxGetThreadState();
// Deletes the thread's wrappers.
void AfxDeleteTempMap(AfxThreadState* state);
