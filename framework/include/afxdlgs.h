// Property sheets and pages over comctl32's own property sheet, as the framework's dialogs are
// over the system's dialogs: the sheet and each page are subclassed by their objects through the
// creation hook before their WM_INITDIALOG, the pages' PSN_* notifications reach virtual
// functions, and DoModal runs the system's modal loop.
#pragma once

#include <vector>

#include "afxwin.h"  // windows.h first: the property sheet header needs its types

#include <prsht.h>

// The wizard's buttons, as the property sheet numbers them.
constexpr UINT ID_WIZBACK = 0x3023;
constexpr UINT ID_WIZNEXT = 0x3024;
constexpr UINT ID_WIZFINISH = 0x3025;

class CPropertySheet;

class CPropertyPage : public CDialog {
    DECLARE_DYNAMIC(CPropertyPage)
    DECLARE_MESSAGE_MAP()
public:
    // The template comes from the resource module in force when the sheet is shown; captionId,
    // headerTitleId and headerSubTitleId load their texts from it when not 0. size is the page
    // structure's size for the flags in use: 0 picks the smallest version that carries them.
    explicit CPropertyPage(UINT templateId, UINT captionId = 0, UINT headerTitleId = 0,
                           UINT headerSubTitleId = 0, DWORD size = 0);
    ~CPropertyPage() override;

    PROPSHEETPAGEW m_psp;

    // The sheet the page lives in (its parent window), or null.
    CPropertySheet* GetParentSheet() const;
    // Ends the sheet's modal loop with result (CPropertySheet::EndDialog).
    void EndDialog(int result);

    virtual BOOL OnSetActive();
    virtual BOOL OnKillActive();
    virtual BOOL OnApply();
    virtual void OnReset();
    virtual BOOL OnQueryCancel();
    // 0: the next (previous) page; -1: stay; else the template id of the page to show.
    virtual LRESULT OnWizardNext();
    virtual LRESULT OnWizardBack();
    // FALSE keeps the wizard open.
    virtual BOOL OnWizardFinish();

    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // The size of the structure the page hands to the system.
    DWORD PageStructSize() const;

protected:
    // The sheet asks the page through OnApply and OnReset; OK and Cancel commands end nothing.
    void OnOK() override {}
    void OnCancel() override {}

private:
    friend class CPropertySheet;
    static UINT CALLBACK PageCallback(HWND window, UINT message, PROPSHEETPAGEW* page);
    CString m_strCaption;
    CString m_strHeaderTitle;
    CString m_strHeaderSubTitle;
    DWORD m_dwRequestedSize;
    BOOL m_bFirstSetActive = TRUE;
};

class CPropertySheet : public CWnd {
    DECLARE_DYNAMIC(CPropertySheet)
    DECLARE_MESSAGE_MAP()
public:
    explicit CPropertySheet(LPCWSTR caption = L"", CWnd* parent = nullptr, UINT selectPage = 0);
    ~CPropertySheet() override;

    PROPSHEETHEADERW m_psh;

    void AddPage(CPropertyPage* page);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const { return m_pages[static_cast<size_t>(index)]; }
    // The page shown now (null before the first is shown).
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const;
    // The sheet's tab control (hidden in a wizard).
    CWnd* GetTabControl() const;
    void SetWizardButtons(DWORD flags) { SendMessage(PSM_SETWIZBUTTONS, 0, flags); }
    void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }

    // IDCANCEL, ID_WIZFINISH (a wizard) or IDOK, the value given to EndDialog, or -1 when the
    // sheet could not be shown.
    virtual INT_PTR DoModal();
    // Ends the modal loop: the sheet is cancelled (the active page is asked) and DoModal returns
    // result.
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The result of the last command that ends the sheet, or what a handler set.
    int m_nModalResult = 0;

protected:
    // The page structures handed to the system, one per page, in order, each of its own size.
    virtual void BuildPropPageArray();
    LRESULT HandleInitDialog(WPARAM, LPARAM);

    std::vector<CPropertyPage*> m_pages;
    std::vector<BYTE> m_pageStructs;  // the pages' structures, each dwSize bytes long
    CWnd* m_pParentWnd;
    CString m_strCaption;

private:
    BOOL m_bEndDialog = FALSE;
    int m_nEndResult = 0;
};
