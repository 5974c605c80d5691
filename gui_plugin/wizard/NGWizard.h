// The common sheet of the plug-in's wizards: the product's background colour, the header picture
// across the header band, the watermark handed to exterior pages, transparent labels and buttons
// over the pictures, the rearranged button row, and the statistics report of a Next press.
#pragma once

#include "DIBitmap.h"
#include "afxdlgs.h"

class CNGWizard : public CPropertySheet {
    DECLARE_DYNAMIC(CNGWizard)
    DECLARE_MESSAGE_MAP()
public:
    CNGWizard();
    ~CNGWizard() override;

    BOOL SetHeaderBitmap(CDIBitmap* bitmap);
    void SetWatermarkBitmap(CDIBitmap* bitmap);
    // Exterior (hide-header) pages get the watermark before they join the sheet.
    virtual void AddPage(CPropertyPage* page);

    BOOL OnInitDialog() override;

    CBrush m_brushNull;
    CDIBitmap* m_pHeaderBitmap = nullptr;
    int m_nWatermarkMode = -1;
    int m_nHeaderMode = -1;
    CBrush* m_pBackgroundBrush;
    BYTE m_bShowCancel = 1;
    CDIBitmap* m_pWatermarkBitmap = nullptr;

    // The header band in client coordinates (one pixel above the separator under the header), or
    // an empty rectangle when the active page shows no header or the sheet has no header picture.
    CRect HeaderBand() const;

protected:
    // The steps both wizards take when they are initialised, around CNGWizard::OnInitDialog: the
    // product's icons first, then the correction of a tall page.
    void SetProductIcons();
    // A page taller than 497 pixels becomes 83 pixels narrower and 19 taller, and so do the tab
    // control and the sheet. TRUE when it was resized.
    BOOL FitActivePage();

    BOOL OnEraseBkgnd(CDC* dc);
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    BOOL OnQueryNewPalette();
    void OnPaletteChanged(CWnd* focusWnd);
    BOOL OnWizBack(UINT id);
    BOOL OnWizNext(UINT id);

private:
    // The header picture over band, stretched (mode 1) or tiled.
    void DrawHeader(CDC* dc, const CRect& band);
    // The active page's header title and subtitle over the picture.
    void DrawHeaderTexts(CDC* dc, const CRect& band);
    void MoveButtons();
    void TakeForeground();
};

// The tall-page rule on its own: the new size of a page of that client size, or the same size
// when it is not taller than 497 pixels.
SIZE FittedPageSize(SIZE page);
