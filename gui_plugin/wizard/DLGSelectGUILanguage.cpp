#include "DLGSelectGUILanguage.h"

#include "GuiResources.h"

IMPLEMENT_DYNCREATE(CDLGSelectGUILanguage, CNGWizardPage)

BEGIN_MESSAGE_MAP(CDLGSelectGUILanguage, CNGWizardPage)
END_MESSAGE_MAP()

CDLGSelectGUILanguage::CDLGSelectGUILanguage(unsigned int hostContext)
    : CNGWizardPage(IDD), m_hostContext(hostContext) {
    const GuiResources& resources = TheGuiResources();
    m_psp.dwFlags |= PSP_USETITLE;
    if (resources.showHeaderTitle) {
        m_psp.dwFlags |= PSP_USEHEADERTITLE;
        m_strHeaderTitle.LoadString(103);
    }
    m_psp.pszTitle = resources.productName.c_str();
    m_psp.pszHeaderTitle = m_strHeaderTitle;
}
