// The language page: the user picks the interface language. It is the wizard's last page; its
// Finish button carries the Next caption. (The list of flags comes with the language wizard.)
#pragma once

#include "NGWizardPage.h"

class CDLGSelectGUILanguage : public CNGWizardPage {
    DECLARE_DYNCREATE(CDLGSelectGUILanguage)
    DECLARE_MESSAGE_MAP()
public:
    static constexpr UINT IDD = 110;

    explicit CDLGSelectGUILanguage(unsigned int hostContext = 0);

    CString m_strLanguage;  // code of the selected language
    unsigned int m_hostContext;
    CString m_strHeaderTitle;
    BYTE m_bShowBack = 1;
};
