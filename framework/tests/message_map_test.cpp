// The message-map layer on real windows: where a message goes through the base chain, what
// Default() returns, reflection to a child, the handle map across threads and at destruction,
// and the creation hook.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afxwin.h"

namespace {

// The window procedure the framework objects take over: it answers user messages with a mark,
// so that Default() can be seen to reach it.
constexpr LRESULT kOriginalMark = 0x5000;
LRESULT CALLBACK OriginalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message < WM_APP + 100) return kOriginalMark + (message - WM_APP);
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* TestClass() {
    static const wchar_t* name = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = OriginalProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KyFrameworkTest";
        RegisterClassW(&wc);
        return L"KyFrameworkTest";
    }();
    return name;
}

HWND MakeWindow(HWND parent = nullptr) {
    return CreateWindowExW(0, TestClass(), L"", parent ? WS_CHILD : WS_POPUP, 0, 0, 50, 50, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

class CBaseWnd : public CWnd {
    DECLARE_DYNAMIC(CBaseWnd)
    DECLARE_MESSAGE_MAP()
public:
    std::vector<UINT> commands;

protected:
    LRESULT OnOne(WPARAM, LPARAM) { return 1; }
    LRESULT OnTwo(WPARAM, LPARAM) { return 2; }
    void OnSave() { commands.push_back(100); }
    BOOL OnRange(UINT id) { return id == 201; }  // takes 201, declines 200
    void OnRangeFallback() { commands.push_back(200); }
};

IMPLEMENT_DYNAMIC(CBaseWnd, CWnd)
BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
ON_MESSAGE(WM_APP + 1, OnOne)
ON_MESSAGE(WM_APP + 2, OnTwo)
ON_COMMAND(100, OnSave)
ON_COMMAND(200, OnRangeFallback)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
    DECLARE_DYNAMIC(CDerivedWnd)
    DECLARE_MESSAGE_MAP()
public:
    int nPostNcDestroy = 0;

protected:
    LRESULT OnTwoDerived(WPARAM, LPARAM) { return 20; }
    LRESULT OnThree(WPARAM, LPARAM) { return 30; }
    LRESULT OnDefaultPlusOne(WPARAM, LPARAM) { return Default() + 1; }
    BOOL OnCommandEx(UINT id) {
        commands.push_back(id + 1000);
        return id == 201;
    }
    void PostNcDestroy() override { ++nPostNcDestroy; }
};

IMPLEMENT_DYNAMIC(CDerivedWnd, CBaseWnd)
BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
ON_MESSAGE(WM_APP + 2, OnTwoDerived)
ON_MESSAGE(WM_APP + 3, OnThree)
ON_MESSAGE(WM_APP + 5, OnDefaultPlusOne)
ON_COMMAND_EX(200, OnCommandEx)
ON_COMMAND_EX(201, OnCommandEx)
END_MESSAGE_MAP()

struct RouteCase {
    UINT message;
    LRESULT expected;
    const char* why;
};

TEST(MessageMap, RoutesThroughTheBaseChain) {
    const RouteCase cases[] = {
        {WM_APP + 1, 1, "only the base class maps it"},
        {WM_APP + 2, 20, "the derived class's entry comes first"},
        {WM_APP + 3, 30, "only the derived class maps it"},
        {WM_APP + 4, kOriginalMark + 4, "nobody maps it: the original procedure answers"},
        {WM_APP + 5, kOriginalMark + 5 + 1, "Default() reaches the original procedure"},
    };
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(MakeWindow()));
    for (const RouteCase& c : cases) {
        EXPECT_EQ(wnd.SendMessage(c.message), c.expected) << c.why;
    }
    wnd.DestroyWindow();
}

TEST(MessageMap, CommandsMatchIdsAndExHandlersMayDecline) {
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(MakeWindow()));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(100, 0));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(201, 0));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(200, 0));  // declined by the EX handler: base's entry
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(100, EN_CHANGE));  // other code: no entry
    EXPECT_EQ(wnd.commands, (std::vector<UINT>{100, 1201, 1200, 200}));
    wnd.DestroyWindow();
}

// An owner-drawn child: the parent's WM_DRAWITEM comes back to it as DrawItem.
class CCountingButton : public CButton {
public:
    int nDrawItem = 0;
    UINT lastAction = 0;
    void DrawItem(LPDRAWITEMSTRUCT item) override {
        ++nDrawItem;
        lastAction = item->itemAction;
    }
};

// Reflected command notifications reach the control's own map.
class CReflectingButton : public CButton {
    DECLARE_MESSAGE_MAP()
public:
    int nClicked = 0;

protected:
    void OnClicked() { ++nClicked; }
};
BEGIN_MESSAGE_MAP(CReflectingButton, CButton)
ON_CONTROL_REFLECT(BN_CLICKED, OnClicked)
END_MESSAGE_MAP()

TEST(MessageMap, ParentReflectsDrawItemAndCommandsToTheChild) {
    CWnd parent;
    ASSERT_TRUE(parent.SubclassWindow(MakeWindow()));
    HWND drawn = CreateWindowExW(0, L"BUTTON", L"Draw", WS_CHILD | BS_OWNERDRAW, 0, 0, 40, 20,
                                 parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
    HWND clicked = CreateWindowExW(0, L"BUTTON", L"Click", WS_CHILD, 0, 0, 40, 20, parent,
                                   reinterpret_cast<HMENU>(8), nullptr, nullptr);
    CCountingButton drawButton;
    CReflectingButton clickButton;
    ASSERT_TRUE(drawButton.SubclassWindow(drawn));
    ASSERT_TRUE(clickButton.SubclassWindow(clicked));

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 7;
    item.hwndItem = drawn;
    item.itemAction = ODA_DRAWENTIRE;
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, 7, reinterpret_cast<LPARAM>(&item)), TRUE);
    EXPECT_EQ(drawButton.nDrawItem, 1);
    EXPECT_EQ(drawButton.lastAction, static_cast<UINT>(ODA_DRAWENTIRE));

    parent.SendMessage(WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), reinterpret_cast<LPARAM>(clicked));
    EXPECT_EQ(clickButton.nClicked, 1);
    parent.DestroyWindow();
}

TEST(HandleMap, ObjectsAreFoundFromEveryThreadAndWrappersStayPerThread) {
    CWnd attached;
    ASSERT_TRUE(attached.SubclassWindow(MakeWindow()));
    HWND loose = MakeWindow();
    struct Seen {
        HWND attachedWindow, looseWindow;
        CWnd* attached;
        CWnd* loose;
        CWnd* loosePermanent;
    } seen = {attached.m_hWnd, loose, nullptr, nullptr, nullptr};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* s = static_cast<Seen*>(p);
            s->attached = CWnd::FromHandle(s->attachedWindow);
            s->loose = CWnd::FromHandle(s->looseWindow);
            s->loosePermanent = CWnd::FromHandlePermanent(s->looseWindow);
            AfxTermThread();
            return 0;
        },
        &seen, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_EQ(seen.attached, &attached);
    EXPECT_EQ(seen.loosePermanent, nullptr);
    CWnd* here = CWnd::FromHandle(loose);
    ASSERT_NE(here, nullptr);
    EXPECT_EQ(here->m_hWnd, loose);
    EXPECT_EQ(CWnd::FromHandle(loose), here) << "one wrapper per window and thread";
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);
    DestroyWindow(loose);
    attached.DestroyWindow();
}

// Hands out the wrapper of another window from inside a handler, directly and from a nested send.
class CWrapperWnd : public CWnd {
    DECLARE_MESSAGE_MAP()
public:
    HWND loose = nullptr;

protected:
    LRESULT OnWrapper(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(CWnd::FromHandle(loose)); }
    LRESULT OnNested(WPARAM, LPARAM) {
        CWnd* outer = CWnd::FromHandle(loose);
        return SendMessage(WM_APP + 6) == reinterpret_cast<LRESULT>(outer) &&
               outer->m_hWnd == loose;
    }
};
BEGIN_MESSAGE_MAP(CWrapperWnd, CWnd)
ON_MESSAGE(WM_APP + 6, OnWrapper)
ON_MESSAGE(WM_APP + 7, OnNested)
END_MESSAGE_MAP()

TEST(HandleMap, AWrapperLastsThroughNestedMessages) {
    CWrapperWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(MakeWindow()));
    wnd.loose = MakeWindow();
    EXPECT_EQ(wnd.SendMessage(WM_APP + 7), TRUE);
    EXPECT_EQ(wnd.SendMessage(WM_APP + 7), TRUE) << "and a new one after the outermost returned";
    DestroyWindow(wnd.loose);
    wnd.DestroyWindow();
}

TEST(HandleMap, AnObjectLetsGoOfItsWindowAtItsLastMessage) {
    CDerivedWnd wnd;
    HWND window = MakeWindow();
    ASSERT_TRUE(wnd.SubclassWindow(window));
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&AfxWndProc));
    DestroyWindow(window);
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
    EXPECT_EQ(wnd.nPostNcDestroy, 1);
}

TEST(HandleMap, AWindowTakesOneObjectOnly) {
    CWnd first, second;
    HWND window = MakeWindow();
    ASSERT_TRUE(first.SubclassWindow(window));
    EXPECT_FALSE(second.SubclassWindow(window));
    EXPECT_EQ(CWnd::FromHandlePermanent(window), &first);
    first.DestroyWindow();
}

// Records the messages the object sees, from the very first.
class CRecordingWnd : public CWnd {
public:
    std::vector<UINT> messages;
    int nPreSubclass = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return CWnd::WindowProc(message, wParam, lParam);
    }
    void PreSubclassWindow() override { ++nPreSubclass; }
};

TEST(CreationHook, SubclassesTheNextWindowBeforeItsFirstMessage) {
    CRecordingWnd wnd;
    AfxHookWindowCreate(&wnd);
    HWND window = MakeWindow();
    EXPECT_TRUE(AfxUnhookWindowCreate()) << "the window took the armed object";
    EXPECT_FALSE(AfxIsWindowCreateHookArmed());
    ASSERT_EQ(wnd.m_hWnd, window);
    EXPECT_EQ(wnd.nPreSubclass, 1);
    ASSERT_FALSE(wnd.messages.empty());
    // The creation messages start with WM_GETMINMAXINFO or WM_NCCREATE, and reach the object.
    EXPECT_TRUE(wnd.messages[0] == WM_NCCREATE || wnd.messages[0] == WM_GETMINMAXINFO)
        << wnd.messages[0];
    DestroyWindow(window);
}

TEST(CreationHook, AClassBoundHookLetsOtherWindowsPass) {
    CRecordingWnd wnd;
    AfxHookWindowCreateOfClass(&wnd, L"#32770");
    HWND other = MakeWindow();
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_FALSE(AfxUnhookWindowCreate()) << "still armed: no dialog was made";
    DestroyWindow(other);
}

struct KindCase {
    const CRuntimeClass* of;
    bool derivedIs;
    bool baseIs;
};

TEST(RuntimeClass, IsKindOfFollowsTheBaseChain) {
    const KindCase cases[] = {
        {RUNTIME_CLASS(CObject), true, true},   {RUNTIME_CLASS(CWnd), true, true},
        {RUNTIME_CLASS(CBaseWnd), true, true},  {RUNTIME_CLASS(CDerivedWnd), true, false},
        {RUNTIME_CLASS(CButton), false, false}, {RUNTIME_CLASS(CDialog), false, false},
    };
    CDerivedWnd derived;
    CBaseWnd base;
    for (const KindCase& c : cases) {
        EXPECT_EQ(derived.IsKindOf(c.of) != FALSE, c.derivedIs) << c.of->m_lpszClassName;
        EXPECT_EQ(base.IsKindOf(c.of) != FALSE, c.baseIs) << c.of->m_lpszClassName;
    }
    CWnd* asWnd = &base;
    EXPECT_EQ(DYNAMIC_DOWNCAST(CBaseWnd, asWnd), &base);
    EXPECT_EQ(DYNAMIC_DOWNCAST(CDerivedWnd, asWnd), nullptr);
    EXPECT_STREQ(derived.GetRuntimeClass()->m_lpszClassName, "CDerivedWnd");
    CObject* made = RUNTIME_CLASS(CWnd)->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CWnd)));
    delete made;
    EXPECT_EQ(RUNTIME_CLASS(CDialog)->CreateObject(), nullptr);
}

TEST(CStringTest, LoadsFromTheCurrentResourceModuleAndFillsTextsByHand) {
    CString text;
    EXPECT_TRUE(text.LoadString(101));
    EXPECT_STREQ(text, L"Download of %s stopped");
    EXPECT_FALSE(text.LoadString(102));
    EXPECT_TRUE(text.IsEmpty());

    struct FillCase {
        const wchar_t* pattern;
        const wchar_t* argument;
        const wchar_t* expected;
    } cases[] = {
        {L"Download of %s stopped", L"Brisco", L"Download of Brisco stopped"},
        {L"%s and %s", L"x", L"x and x"},
        {L"100%% of %s", L"it", L"100% of it"},
        {L"%n%d%x stay as they are", L"a", L"%n%d%x stay as they are"},
        {L"trailing %", L"a", L"trailing %"},
    };
    for (const FillCase& c : cases)
        EXPECT_STREQ(AfxFillPercentS(c.pattern, c.argument), c.expected);
    // Several arguments, in order; "%s" beyond them repeat the last, a null one fills nothing.
    EXPECT_STREQ(AfxFillPercentS(L"%s, then %s", {L"one", L"two"}), L"one, then two");
    EXPECT_STREQ(AfxFillPercentS(L"%s %s %s", {L"a", L"b"}), L"a b b");
    EXPECT_STREQ(AfxFillPercentS(L"[%s|%s]", {nullptr, L"b"}), L"[|b]");
    EXPECT_STREQ(AfxFillPercentS(L"%s%%s%s", {L"a", L"%s"}), L"a%s%s");
    EXPECT_STREQ(AfxFillPercentS(L"none", {}), L"none");

    CString formatted;
    formatted.Format(L"%d KB of %s", 42, L"all");
    EXPECT_STREQ(formatted, L"42 KB of all");
    CString marked = L"&Yes && no";
    EXPECT_EQ(marked.Remove(L'&'), 3);
    EXPECT_STREQ(marked, L"Yes  no");
}

TEST(ActivationContext, TheModulesManifestIsActiveInsideTheScope) {
    HANDLE own = AfxGetModuleActCtx();
    ASSERT_NE(own, INVALID_HANDLE_VALUE);
    {
        CActivationScope scope;
        HANDLE current = nullptr;
        ASSERT_TRUE(GetCurrentActCtx(&current));
        EXPECT_EQ(current, own);
        if (current) ReleaseActCtx(current);
    }
    HANDLE after = nullptr;
    GetCurrentActCtx(&after);
    EXPECT_NE(after, own);
    if (after) ReleaseActCtx(after);
}

// A dialog from the current resource module with one text exchanged; it notes whether the
// module's activation context was active while its window was made.
class CNameDialog : public CDialog {
public:
    CNameDialog() : CDialog(300, nullptr) {}
    CString m_strName = L"before";
    int nInitDialog = 0;
    bool activationWasOurs = false;

protected:
    BOOL OnInitDialog() override {
        ++nInitDialog;
        HANDLE current = nullptr;
        if (GetCurrentActCtx(&current) && current) {
            activationWasOurs = current == AfxGetModuleActCtx();
            ReleaseActCtx(current);
        }
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, 1001, m_strName); }
};

struct DialogAnswer {
    DWORD threadId;
    int button;
    std::wstring shown;
};

DWORD WINAPI AnswerDialog(LPVOID param) {
    auto* answer = static_cast<DialogAnswer*>(param);
    for (int i = 0; i < 500; ++i) {
        HWND dialog = FindWindowW(L"#32770", L"Framework dialog");
        if (dialog && IsWindowVisible(dialog)) {
            wchar_t text[64] = {};
            GetDlgItemTextW(dialog, 1001, text, 64);
            answer->shown = text;
            SetDlgItemTextW(dialog, 1001, L"after");
            PostMessageW(GetDlgItem(dialog, answer->button), BM_CLICK, 0, 0);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}

TEST(Dialog, ExchangesDataOnOkOnlyAndReturnsTheButton) {
    const struct {
        int button;
        INT_PTR result;
        const wchar_t* name;
    } cases[] = {{IDOK, IDOK, L"after"}, {IDCANCEL, IDCANCEL, L"before"}};
    for (const auto& c : cases) {
        CNameDialog dialog;
        DialogAnswer answer = {GetCurrentThreadId(), c.button, L""};
        HANDLE thread = CreateThread(nullptr, 0, AnswerDialog, &answer, 0, nullptr);
        EXPECT_EQ(dialog.DoModal(), c.result);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        EXPECT_EQ(answer.shown, L"before") << "members to controls when the dialog starts";
        EXPECT_STREQ(dialog.m_strName, c.name);
        EXPECT_EQ(dialog.nInitDialog, 1);
        EXPECT_TRUE(dialog.activationWasOurs);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_FALSE(AfxIsWindowCreateHookArmed());
    }
}

TEST(SystemLibrary, ComesFromTheSystemFolder) {
    HMODULE module = AfxLoadSystemLibrary(L"gdiplus.dll");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH] = {}, system[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(path, system, length), 0) << path;
    EXPECT_EQ(AfxLoadSystemLibrary(L"no-such-library.dll"), nullptr);
    FreeLibrary(module);
}

}  // namespace
