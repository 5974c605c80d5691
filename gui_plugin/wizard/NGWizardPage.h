// The base of the wizards' pages: the product's background colour, the watermark over exterior
// pages, transparent labels and buttons there, the Cancel button hidden when the plug-in asks for
// it, and the statistics report of a Finish press on the language and welcome pages.
#pragma once

#include "DIBitmap.h"
#include "afxdlgs.h"

class CNGWizard;

class CNGWizardPage : public CPropertyPage {
    DECLARE_DYNAMIC(CNGWizardPage)
    DECLARE_MESSAGE_MAP()
public:
    explicit CNGWizardPage(UINT templateId);
    ~CNGWizardPage() override;

    // The sheet the page lives in, when it is a CNGWizard.
    CNGWizard* GetWizard() const;

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnWizardFinish() override;

    CDIBitmap* m_pWatermarkBitmap = nullptr;
    int m_nWatermarkMode = 0;
    CBrush m_brushNull;
    CBrush* m_pBackgroundBrush;
    COLORREF m_crBackground;

protected:
    BOOL OnEraseBkgnd(CDC* dc);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    BOOL OnQueryNewPalette();
    void OnPaletteChanged(CWnd* focusWnd);

private:
    // Puts the page's own erase and colour handling in front of anything the property sheet
    // layered over the page's window procedure.
    void TakePaintingFirst();
    static LRESULT CALLBACK PaintingFirstProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    BOOL m_bPaintingFirst = FALSE;
};

// Reports a Next (or, on the last page, Finish) press on page to the statistics: the language
// page's action with its selected code as the statistics language, the welcome page's action, and
// nothing for other pages.
void ReportNextPress(CPropertyPage* page);
