#include <map>

#include "afxwin.h"
#include "thread_state.h"

namespace {

// The handle map is process-wide: a window built on one thread may be driven from another (the
// progress wizard is made on the host's thread and runs on the plug-in's).
class HandleMap {
public:
    HandleMap() { InitializeCriticalSection(&m_lock); }
    ~HandleMap() { DeleteCriticalSection(&m_lock); }
    CWnd* Find(HWND window) {
        Lock lock(m_lock);
        auto it = m_map.find(window);
        return it == m_map.end() ? nullptr : it->second;
    }
    bool Add(HWND window, CWnd* wnd) {
        Lock lock(m_lock);
        return m_map.emplace(window, wnd).second;
    }
    void Remove(HWND window) {
        Lock lock(m_lock);
        m_map.erase(window);
    }

private:
    struct Lock {
        explicit Lock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
        ~Lock() { LeaveCriticalSection(&m_cs); }
        CRITICAL_SECTION& m_cs;
    };
    CRITICAL_SECTION m_lock;
    std::map<HWND, CWnd*> m_map;
};

HandleMap& Handles() {
    static HandleMap map;
    return map;
}

// Made when the module is loaded (TlsAlloc is allowed there), before any thread asks for it, and
// given back when it is unloaded, so that loading the plug-in again and again uses no more slots.
struct TlsSlot {
    TlsSlot() : index(TlsAlloc()) {}
    ~TlsSlot() {
        if (index != TLS_OUT_OF_INDEXES) TlsFree(index);
    }
    const DWORD index;
};
const TlsSlot g_tls;
const DWORD& g_tlsSlot = g_tls.index;

bool IsInputMethodWindow(HWND window) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    return lstrcmpiW(name, L"IME") == 0 || lstrcmpiW(name, L"MSCTFIME UI") == 0;
}

bool HasClass(HWND window, const wchar_t* className) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return lstrcmpiW(name, className) == 0;
}

LRESULT CALLBACK CbtFilterHook(int code, WPARAM wParam, LPARAM lParam) {
    AfxThreadState* state = AfxGetThreadState();
    if (code == HCBT_CREATEWND && state->pWndInit) {
        HWND window = reinterpret_cast<HWND>(wParam);
        bool wanted = state->pszInitClass ? HasClass(window, state->pszInitClass)
                                          : !IsInputMethodWindow(window);
        if (wanted) {
            CWnd* wnd = state->pWndInit;
            state->pWndInit = nullptr;
            wnd->SubclassWindow(window);
        }
    }
    return CallNextHookEx(state->hHookCbt, code, wParam, lParam);
}

}  // namespace

AfxThreadState* AfxGetThreadState() {
    auto* state = static_cast<AfxThreadState*>(TlsGetValue(g_tlsSlot));
    if (!state) {
        state = new AfxThreadState;
        TlsSetValue(g_tlsSlot, state);
    }
    return state;
}

void AfxTermThread() {
    auto* state = static_cast<AfxThreadState*>(TlsGetValue(g_tlsSlot));
    if (!state) return;
    if (state->hHookCbt) UnhookWindowsHookEx(state->hHookCbt);
    AfxDeleteTempMap(state);
    delete state;
    TlsSetValue(g_tlsSlot, nullptr);
}

void AfxDeleteTempMap(AfxThreadState* state) {
    for (auto& entry : state->tempMap) {
        entry.second->m_hWnd = nullptr;  // a wrapper does not own its window
        delete entry.second;
    }
    state->tempMap.clear();
}

void AfxHookWindowCreate(CWnd* wnd) { AfxHookWindowCreateOfClass(wnd, nullptr); }

void AfxHookWindowCreateOfClass(CWnd* wnd, const wchar_t* className) {
    AfxThreadState* state = AfxGetThreadState();
    if (!state->hHookCbt) {
        state->hHookCbt = SetWindowsHookExW(WH_CBT, CbtFilterHook, nullptr, GetCurrentThreadId());
    }
    state->pWndInit = wnd;
    state->pszInitClass = className;
}

BOOL AfxUnhookWindowCreate() {
    AfxThreadState* state = AfxGetThreadState();
    BOOL taken = state->pWndInit == nullptr;
    state->pWndInit = nullptr;
    state->pszInitClass = nullptr;
    if (state->hHookCbt) {
        UnhookWindowsHookEx(state->hHookCbt);
        state->hHookCbt = nullptr;
    }
    return taken;
}

BOOL AfxIsWindowCreateHookArmed() { return AfxGetThreadState()->hHookCbt != nullptr; }

// ---- CCmdTarget ----

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), nullptr, nullptr};
const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == base) return TRUE;
    }
    return FALSE;
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->nMessage == message && e->nCode == code && e->nID <= id && id <= e->nLastID) {
                return e;
            }
        }
    }
    return nullptr;
}

// ---- CWnd ----

IMPLEMENT_DYNCREATE(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
ON_WM_CTLCOLOR()
ON_WM_DRAWITEM()
ON_WM_MEASUREITEM()
END_MESSAGE_MAP()

CWnd::~CWnd() {
    if (!m_hWnd || Handles().Find(m_hWnd) != this) return;
    ::DestroyWindow(m_hWnd);
    // DestroyWindow fails for another thread's window: the window must not keep a route into
    // an object that is gone.
    if (m_hWnd) {
        UnsubclassWindow();
        Detach();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND window) { return window ? Handles().Find(window) : nullptr; }

CWnd* CWnd::FromHandle(HWND window) {
    if (!window) return nullptr;
    if (CWnd* wnd = Handles().Find(window)) return wnd;
    AfxThreadState* state = AfxGetThreadState();
    CWnd*& temp = state->tempMap[window];
    if (!temp) {
        temp = new CWnd;
        temp->m_hWnd = window;
    }
    return temp;
}

BOOL CWnd::Attach(HWND window) {
    if (!window || m_hWnd || !Handles().Add(window, this)) return FALSE;
    m_hWnd = window;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND window = m_hWnd;
    if (window) Handles().Remove(window);
    m_hWnd = nullptr;
    return window;
}

BOOL CWnd::SubclassWindow(HWND window) {
    if (!Attach(window)) return FALSE;
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (!m_pfnSuper) {
        Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    HWND control = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return control && SubclassWindow(control);
}

HWND CWnd::UnsubclassWindow() {
    if (m_pfnSuper &&
        GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&AfxWndProc)) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id) {
    CActivationScope activation;
    AfxHookWindowCreate(this);
    HWND window = CreateWindowExW(
        exStyle, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
        rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), nullptr);
    AfxUnhookWindowCreate();
    return window != nullptr && m_hWnd == window;
}

BOOL CWnd::DestroyWindow() { return m_hWnd && ::DestroyWindow(m_hWnd); }

LRESULT CWnd::Default() {
    const MSG& msg = AfxGetThreadState()->lastSent;
    return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *result = 0;
        return TRUE;
    }
    if (message == WM_NOTIFY) return OnNotify(wParam, lParam, result);
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(WM_CTLCOLOR, 0, 0);
        if (!entry) return FALSE;
        AFX_CTLCOLOR request = {reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam),
                                message - WM_CTLCOLORMSGBOX};
        *result = entry->pfn(this, 0, reinterpret_cast<LPARAM>(&request));
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0);
    if (!entry) return FALSE;
    *result = entry->pfn(this, wParam, lParam);
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control && ReflectLastMsg(control)) return TRUE;
    UINT id = LOWORD(wParam);
    UINT code = HIWORD(wParam);
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e) {
            if (e->nMessage != WM_COMMAND || id < e->nID || id > e->nLastID) continue;
            if (e->nCode == code) {
                e->pfn(this, wParam, lParam);
                return TRUE;
            }
            // An ON_COMMAND_EX handler that declines lets the search go on.
            if (e->nCode == AFX_COMMAND_EX && code == 0 && e->pfn(this, id, lParam)) return TRUE;
        }
    }
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header) return FALSE;
    if (header->hwndFrom && ReflectLastMsg(header->hwndFrom, result)) return TRUE;
    const AFX_MSGMAP_ENTRY* entry =
        FindMessageEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom));
    if (!entry) return FALSE;
    *result = entry->pfn(this, reinterpret_cast<WPARAM>(header), 0);
    return TRUE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* entry = nullptr;
    if (message == WM_COMMAND) {
        entry = FindMessageEntry(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0);
    } else if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        entry = FindMessageEntry(WM_REFLECT_BASE + WM_NOTIFY, header->code, 0);
        wParam = reinterpret_cast<WPARAM>(header);
    } else {
        entry = FindMessageEntry(WM_REFLECT_BASE + message, 0, 0);
    }
    if (!entry) return FALSE;
    LRESULT r = entry->pfn(this, wParam, lParam);
    if (result) *result = r;
    return TRUE;
}

BOOL CWnd::ReflectLastMsg(HWND child, LRESULT* result) {
    CWnd* wnd = FromHandlePermanent(child);
    if (!wnd) return FALSE;
    const MSG msg = AfxGetThreadState()->lastSent;
    return wnd->OnChildNotify(msg.message, msg.wParam, msg.lParam, result);
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT) {
    LRESULT result = 0;
    if (wnd && ReflectLastMsg(wnd->m_hWnd, &result)) return reinterpret_cast<HBRUSH>(result);
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT drawItem) {
    if (drawItem->CtlType != ODT_MENU && ReflectLastMsg(drawItem->hwndItem)) return;
    Default();
}

void CWnd::OnMeasureItem(int id, LPMEASUREITEMSTRUCT) {
    if (HWND control = ::GetDlgItem(m_hWnd, id); control && ReflectLastMsg(control)) return;
    Default();
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    DWORD style = GetStyle();
    DWORD changed = (style & ~remove) | add;
    if (changed == style) return FALSE;
    SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(changed));
    if (swpFlags) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    }
    return TRUE;
}

CString CWnd::GetWindowText() const {
    int length = GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(m_hWnd, &text[0], length + 1);
    return CString(text.c_str(), got);
}

LRESULT AfxCallWndProc(CWnd* wnd, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AfxThreadState* state = AfxGetThreadState();
    const MSG outer = state->lastSent;
    state->lastSent = MSG{window, message, wParam, lParam, 0, {0, 0}};
    ++state->nMsgDepth;
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window's last message: the object lets go of it, and may delete itself.
        wnd->UnsubclassWindow();
        wnd->PostNcDestroy();
    }
    if (--state->nMsgDepth == 0) AfxDeleteTempMap(state);
    state->lastSent = outer;
    return result;
}

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(window);
    if (!wnd) return ::DefWindowProcW(window, message, wParam, lParam);
    return AfxCallWndProc(wnd, window, message, wParam, lParam);
}

// ---- Controls ----

IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    if (result) *result = TRUE;
    return TRUE;
}

BOOL CListBox::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    } else if (message == WM_MEASUREITEM) {
        MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
    } else {
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    }
    if (result) *result = TRUE;
    return TRUE;
}

CString CListBox::GetText(int index) const {
    LRESULT length = SendMessage(LB_GETTEXTLEN, index);
    if (length == LB_ERR) return CString();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessage(LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    return got == LB_ERR ? CString() : CString(text.c_str(), static_cast<int>(got));
}
