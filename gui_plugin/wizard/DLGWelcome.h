// The welcome page: the product's name as its title and a greeting that names the Next button,
// over the watermark (an exterior page).
#pragma once

#include "NGWizardPage.h"

class CDLGWelcome : public CNGWizardPage {
    DECLARE_DYNCREATE(CDLGWelcome)
    DECLARE_MESSAGE_MAP()
public:
    static constexpr UINT IDD = 112;
    static constexpr int IDC_TITLE = 1015;

    CDLGWelcome();

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnQueryCancel() override;

    CStatic m_stcTitle;
    CStatic m_stcText;  // the first control whose id is -1
    BYTE m_bLastPage = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override;
};
