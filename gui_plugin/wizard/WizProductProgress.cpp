#include "WizProductProgress.h"

#include "DLGProgress.h"
#include "GuiResources.h"
#include "kycplib/keyvalue.h"

IMPLEMENT_DYNAMIC(CWizProductProgress, CNGWizard)

BEGIN_MESSAGE_MAP(CWizProductProgress, CNGWizard)
END_MESSAGE_MAP()

CWizProductProgress::CWizProductProgress() : m_pReadyEvent(new kycplib::CKYEvent()) {}

CWizProductProgress::~CWizProductProgress() {
    delete m_pProgressPage;
    delete m_pReadyEvent;
}

bool CWizProductProgress::InitWizard(CLoaderControlFile* file, const wchar_t* directory,
                                     const wchar_t* directory2, bool hideBack, bool allowCancel) {
    if (directory2) m_strDirectory2 = directory2;
    GuiResources& resources = TheGuiResources();
    SetWatermarkBitmap(&resources.sideBitmap);
    SetHeaderBitmap(&resources.headerBitmap);
    m_pControlFile = file;
    m_strDirectory = directory ? directory : L"";
    if (!file) return false;

    kycplib::CKeyValueList products, languages;
    for (const kycplib::CKeyValueItem* item = file->getFirstProduct(); item; item = item->next) {
        products.Add(item->key, item->value);
    }
    for (const kycplib::CKeyValueItem* item = file->getFirstLanguageOfAll(); item;
         item = item->next) {
        languages.Add(item->key, item->value);
    }
    if (products.IsEmpty() || languages.IsEmpty()) return false;

    m_bShowCancel = allowCancel ? 1 : 0;
    m_pProgressPage = new CDLGProgress(hideBack);
    AddPage(m_pProgressPage);
    return true;
}

BOOL CWizProductProgress::OnInitDialog() {
    SetProductIcons();
    CNGWizard::OnInitDialog();
    FitActivePage();
    return TRUE;
}
