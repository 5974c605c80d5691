// Windows of the framework: message maps with base chaining, CWnd and its subclassing, the
// window-creation hook, dialogs with data exchange, the few controls, the application object,
// the plug-in's activation context and system libraries loaded from the system folder only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "afx.h"
#include "afxgdi.h"

class CCmdTarget;
class CWnd;

// ---- Message maps ----
//
// A map is a table of entries and a link to the base class's map; a message goes to the first
// entry that matches it, searched from the most derived class's table to CWnd's. Each entry calls
// its handler through a small function made by the entry's macro, which unpacks wParam/lParam
// into the handler's arguments (and so checks the handler's signature at compile time).

using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message; WM_COMMAND and WM_NOTIFY entries also match code and ids
    UINT nCode;     // notification code (WM_COMMAND, WM_NOTIFY)
    UINT nID;       // first control id
    UINT nLastID;   // last control id
    AFX_PMSG pfn;   // null ends the table
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Messages a child receives back from its parent (reflection), WM_REFLECT_BASE + the message.
constexpr UINT WM_REFLECT_BASE = 0xBC00;
// The colour request of every WM_CTLCOLOR* message, with the kind in AFX_CTLCOLOR.
constexpr UINT WM_CTLCOLOR = 0x0019;
// ON_COMMAND_EX handlers may decline a command; the map search then goes on.
constexpr UINT AFX_COMMAND_EX = 0xFFFF;

struct AFX_CTLCOLOR {
    HWND hWnd;
    HDC hDC;
    UINT nCtlType;  // CTLCOLOR_MSGBOX .. CTLCOLOR_STATIC
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        using ThisClass = theClass;                                                   \
        using TheBaseClass = baseClass;                                               \
        static_assert(sizeof(ThisClass) > 0, "complete class");                       \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                      \
    { 0, 0, 0, 0, nullptr }                                                    \
    }                                                                          \
    ;                                                                          \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                               \
    }

// The function of one entry: "self" is the object as the class of the map.
#define AFX_THUNK(...)                                                \
    [](CCmdTarget* target, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        ThisClass* self = static_cast<ThisClass*>(target);            \
        (void)self, (void)wParam, (void)lParam;                       \
        __VA_ARGS__                                                   \
    }
#define AFX_WM(message, ...) {message, 0, 0, 0, AFX_THUNK(__VA_ARGS__)},

#define ON_MESSAGE(message, fn) AFX_WM(message, return self->fn(wParam, lParam);)
#define ON_WM_CREATE() \
    AFX_WM(WM_CREATE, return self->OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam));)
#define ON_WM_DESTROY() AFX_WM(WM_DESTROY, self->OnDestroy(); return 0;)
#define ON_WM_NCDESTROY() AFX_WM(WM_NCDESTROY, self->OnNcDestroy(); return 0;)
#define ON_WM_CLOSE() AFX_WM(WM_CLOSE, self->OnClose(); return 0;)
#define ON_WM_PAINT() AFX_WM(WM_PAINT, self->OnPaint(); return 0;)
#define ON_WM_ERASEBKGND() \
    AFX_WM(WM_ERASEBKGND, return self->OnEraseBkgnd(CDCRef(reinterpret_cast<HDC>(wParam)));)
#define ON_WM_CTLCOLOR()                                                   \
    AFX_WM(WM_CTLCOLOR, auto* c = reinterpret_cast<AFX_CTLCOLOR*>(lParam); \
           return reinterpret_cast<LRESULT>(                               \
               self->OnCtlColor(CDCRef(c->hDC), CWnd::FromHandle(c->hWnd), c->nCtlType));)
#define ON_WM_DRAWITEM()                                                                           \
    AFX_WM(WM_DRAWITEM,                                                                            \
           self->OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)); \
           return TRUE;)
#define ON_WM_MEASUREITEM()                                                                    \
    AFX_WM(WM_MEASUREITEM, self->OnMeasureItem(static_cast<int>(wParam),                       \
                                               reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)); \
           return TRUE;)
#define ON_WM_MOUSEMOVE() \
    AFX_WM(WM_MOUSEMOVE, self->OnMouseMove(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_LBUTTONDOWN()                                                                \
    AFX_WM(WM_LBUTTONDOWN, self->OnLButtonDown(static_cast<UINT>(wParam), CPoint(lParam)); \
           return 0;)
#define ON_WM_LBUTTONUP() \
    AFX_WM(WM_LBUTTONUP, self->OnLButtonUp(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_MOUSEHOVER() \
    AFX_WM(WM_MOUSEHOVER, self->OnMouseHover(static_cast<UINT>(wParam), CPoint(lParam)); return 0;)
#define ON_WM_MOUSELEAVE() AFX_WM(WM_MOUSELEAVE, self->OnMouseLeave(); return 0;)
#define ON_WM_GETDLGCODE() AFX_WM(WM_GETDLGCODE, return self->OnGetDlgCode();)
#define ON_WM_TIMER() AFX_WM(WM_TIMER, self->OnTimer(static_cast<UINT_PTR>(wParam)); return 0;)
#define ON_WM_SIZE()                                                                            \
    AFX_WM(WM_SIZE, self->OnSize(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)), \
                                 static_cast<short>(HIWORD(lParam)));                           \
           return 0;)
#define ON_WM_SHOWWINDOW()                                                           \
    AFX_WM(WM_SHOWWINDOW,                                                            \
           self->OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam)); \
           return 0;)
#define ON_WM_SYSCOMMAND() \
    AFX_WM(WM_SYSCOMMAND, self->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)
#define ON_WM_QUERYNEWPALETTE() AFX_WM(WM_QUERYNEWPALETTE, return self->OnQueryNewPalette();)
#define ON_WM_PALETTECHANGED()                                                       \
    AFX_WM(WM_PALETTECHANGED,                                                        \
           self->OnPaletteChanged(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); \
           return 0;)
#define ON_WM_SETFOCUS()                                                                    \
    AFX_WM(WM_SETFOCUS, self->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); \
           return 0;)
#define ON_WM_KILLFOCUS()                                                                     \
    AFX_WM(WM_KILLFOCUS, self->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wParam))); \
           return 0;)

// Commands and notifications: matched by code and control id (a range for the _RANGE forms).
#define ON_CONTROL(code, id, fn)                                   \
    { WM_COMMAND, code, id, id, AFX_THUNK(self->fn(); return 0;) } \
    ,
#define ON_COMMAND(id, fn) ON_CONTROL(0, id, fn)
#define ON_COMMAND_EX(id, fn)                                                                      \
    { WM_COMMAND, AFX_COMMAND_EX, id, id, AFX_THUNK(return self->fn(static_cast<UINT>(wParam));) } \
    ,
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(LBN_DBLCLK, id, fn)
#define ON_NOTIFY(code, id, fn)                                                                \
    {                                                                                          \
        WM_NOTIFY, static_cast<UINT>(code), id, id,                                            \
            AFX_THUNK(LRESULT result = 0; self->fn(reinterpret_cast<NMHDR*>(wParam), &result); \
                      return result;)                                                          \
    }                                                                                          \
    ,
// Reflected to the control that sent them; the handler sees only its own notifications.
#define ON_CONTROL_REFLECT(code, fn)                                               \
    { WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, AFX_THUNK(self->fn(); return 0;) } \
    ,
#define ON_NOTIFY_REFLECT(code, fn)                                                            \
    {                                                                                          \
        WM_REFLECT_BASE + WM_NOTIFY, static_cast<UINT>(code), 0, 0,                            \
            AFX_THUNK(LRESULT result = 0; self->fn(reinterpret_cast<NMHDR*>(wParam), &result); \
                      return result;)                                                          \
    }                                                                                          \
    ,

// A CDC wrapper over a DC the system passed to a message: it does not own the DC.
class CDCRef {
public:
    explicit CDCRef(HDC dc) { m_dc.Attach(dc); }
    ~CDCRef() { m_dc.Detach(); }
    operator CDC*() { return &m_dc; }

private:
    CDC m_dc;
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // The first entry of this object's maps that matches, or null.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

// ---- Windows ----

class CWnd : public CCmdTarget {
    DECLARE_DYNCREATE(CWnd)
    DECLARE_MESSAGE_MAP()
public:
    CWnd() = default;
    // A window still attached is destroyed with its object.
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to window (any thread's), or null.
    static CWnd* FromHandlePermanent(HWND window);
    // The attached object, or else a wrapper kept for the calling thread (null for a null
    // handle). A wrapper lives until the thread's outermost framework message returns (or the
    // thread's framework state ends): it is not to be kept.
    static CWnd* FromHandle(HWND window);

    // Attach only maps the handle to the object; SubclassWindow also routes the window's
    // messages through the object's message map (and calls PreSubclassWindow first).
    BOOL Attach(HWND window);
    HWND Detach();
    BOOL SubclassWindow(HWND window);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id);
    BOOL DestroyWindow();

    // The message being handled on this thread, passed to DefWindowProc unchanged.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A parent's message about this control (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, ...), handed
    // back to the control by its parent; TRUE when the control handled it.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Asks the attached object of child to handle the message its parent is handling now.
    static BOOL ReflectLastMsg(HWND child, LRESULT* result = nullptr);

    // Thin forwards to the Win32 functions of the same names.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    CString GetWindowText() const;
    void GetWindowText(CString& text) const { text = GetWindowText(); }
    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    HFONT GetFont() const { return reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)); }
    void SetFont(HFONT font, BOOL redraw = TRUE) {
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    void SetDlgItemText(int id, LPCWSTR text) { ::SetDlgItemTextW(m_hWnd, id, text); }

protected:
    // Called by SubclassWindow before the window's messages reach the object.
    virtual void PreSubclassWindow() {}
    // Called after the window's last message (WM_NCDESTROY), once it is detached.
    virtual void PostNcDestroy() {}

    // Handlers of CWnd's own map: colour requests and item drawing go to the control first.
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    void OnDrawItem(int id, LPDRAWITEMSTRUCT drawItem);
    void OnMeasureItem(int id, LPMEASUREITEMSTRUCT measureItem);
    // Default processing for handlers a derived class's map names.
    int OnCreate(LPCREATESTRUCTW) { return static_cast<int>(Default()); }
    void OnDestroy() { Default(); }
    void OnPaint() { Default(); }
    BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnMouseHover(UINT, CPoint) { Default(); }
    void OnMouseLeave() { Default(); }
    void OnLButtonDown(UINT, CPoint) { Default(); }
    void OnLButtonUp(UINT, CPoint) { Default(); }
    UINT OnGetDlgCode() { return static_cast<UINT>(Default()); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    void OnClose() { Default(); }
    BOOL OnQueryNewPalette() { return static_cast<BOOL>(Default()); }
    void OnPaletteChanged(CWnd*) { Default(); }

    WNDPROC m_pfnSuper = nullptr;  // the window procedure the object took over

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT AfxCallWndProc(CWnd*, HWND, UINT, WPARAM, LPARAM);
};

// The framework's window procedure: every subclassed window's messages come through here.
LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The creation hook: the next window created on this thread (input-method windows excepted) is
// subclassed by wnd at its creation, before its first message reaches it. One per thread.
void AfxHookWindowCreate(CWnd* wnd);
// The same, for the next window of that class only (such as L"#32770", a dialog).
void AfxHookWindowCreateOfClass(CWnd* wnd, LPCWSTR className);
// FALSE when the hook was still armed (no window was created for it); it is disarmed either way.
BOOL AfxUnhookWindowCreate();
// Whether the calling thread's creation hook is installed.
BOOL AfxIsWindowCreateHookArmed();

// ---- Dialogs and data exchange ----

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dlg) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls to members
    CWnd* m_pDlgWnd;
    HWND PrepareCtrl(int id) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, id); }
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// A list box's selected string: saving takes the selected item's text (empty without a
// selection); loading selects the first item that begins with value.
void DDX_LBString(CDataExchange* dx, int id, CString& value);
// Subclasses the control into control the first time (loading from the dialog).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
    DECLARE_MESSAGE_MAP()
public:
    CDialog() = default;
    CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent) {}
    // The template comes from the current resource module.
    virtual INT_PTR DoModal();
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    LRESULT HandleInitDialog(WPARAM, LPARAM);
    UINT m_nIDHelp = 0;
    CWnd* m_pParentWnd = nullptr;
};

// The dialog procedure of framework dialogs: everything is handled through the message map of
// the subclassed window, so it only reports "not handled".
INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

// ---- Controls ----

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    // Owner-drawn buttons paint here; the parent's WM_DRAWITEM is handed to the button.
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
};

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    HBITMAP SetBitmap(HBITMAP bitmap) {
        return reinterpret_cast<HBITMAP>(
            SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
};

class CListBox : public CWnd {
    DECLARE_DYNAMIC(CListBox)
public:
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    int AddString(LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int index, LPCWSTR text) {
        return static_cast<int>(
            SendMessage(LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
    }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, index)); }
    int SelectString(int start, LPCWSTR text) {
        return static_cast<int>(
            SendMessage(LB_SELECTSTRING, start, reinterpret_cast<LPARAM>(text)));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, index));
    }
    int SetItemData(int index, DWORD_PTR data) {
        return static_cast<int>(SendMessage(LB_SETITEMDATA, index, static_cast<LPARAM>(data)));
    }
    int SetItemHeight(int index, UINT height) {
        return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, index, height));
    }
    CString GetText(int index) const;
};

class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    void SetRange(short lower, short upper) {
        SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
    }
    int SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, pos)); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int SetStep(int step) { return static_cast<int>(SendMessage(PBM_SETSTEP, step)); }
    int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};

// ---- The application object of a DLL ----

// One per module; InitInstance runs once, from AfxDllMain at load. ExitInstance at unload.
class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCWSTR appName = nullptr);
    ~CWinApp() override;
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    LPCWSTR m_pszAppName;
};
CWinApp* AfxGetApp();

// The module's DllMain calls this: it runs the application object and ends the framework's
// per-thread state of threads that leave (Windows XP frees no TLS for a loaded DLL).
BOOL AfxDllMain(HINSTANCE module, DWORD reason);
// Ends the calling thread's framework state (its wrappers from FromHandle).
void AfxTermThread();

// ---- Activation context and system libraries ----

// Activates the module's own manifest (resource 2: common controls 6) for the scope's life, so
// that the windows and controls made inside get the controls of that manifest whatever the host
// process's own activation context is. Windows made by the framework are made inside one.
class CActivationScope {
public:
    CActivationScope();
    ~CActivationScope();
    CActivationScope(const CActivationScope&) = delete;
    CActivationScope& operator=(const CActivationScope&) = delete;

private:
    ULONG_PTR m_cookie = 0;
    BOOL m_bActive = FALSE;
};
// The module's activation context, made once; INVALID_HANDLE_VALUE when it has no manifest.
HANDLE AfxGetModuleActCtx();

// A system library by name from the system folder only (never the program's or the module's
// folder, nor the current directory); null when it is not there.
HMODULE AfxLoadSystemLibrary(LPCWSTR name);
