#include "WizGUILanguage.h"

#include "GuiResources.h"

IMPLEMENT_DYNAMIC(CWizGUILanguage, CNGWizard)

CWizGUILanguage::~CWizGUILanguage() {
    delete m_pLanguagePage;
    delete m_pWelcomePage;
}

bool CWizGUILanguage::InitWizard(CLoaderControlFile* file, const wchar_t* languageDir,
                                 const wchar_t* productId, unsigned int hostContext,
                                 bool skipWelcome, bool allowCancel) {
    if (!file || !productId) return false;
    GuiResources& resources = TheGuiResources();
    SetWatermarkBitmap(&resources.sideBitmap);
    SetHeaderBitmap(&resources.headerBitmap);
    m_pControlFile = file;
    m_pWelcomePage = new CDLGWelcome;
    m_pLanguagePage = new CDLGSelectGUILanguage(hostContext);
    if (!skipWelcome) {
        AddPage(m_pWelcomePage);
        m_pLanguagePage->m_bShowBack = 1;
    } else {
        m_pLanguagePage->m_bShowBack = 0;
    }
    if (file->getNumLanguagesOfProduct(productId) == 1) {
        m_pWelcomePage->m_bLastPage = 1;
    } else {
        AddPage(m_pLanguagePage);
    }
    int count = m_pLanguagePage->FillLanguages(file, languageDir, productId);
    m_bShowCancel = allowCancel ? 1 : 0;
    return count >= 1;
}

BOOL CWizGUILanguage::OnInitDialog() {
    SetProductIcons();
    CNGWizard::OnInitDialog();
    FitActivePage();
    return TRUE;
}
