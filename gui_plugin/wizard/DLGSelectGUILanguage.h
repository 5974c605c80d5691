// The language page: the user picks the interface language from a list of flags, one per
// language library that is present and signed. It is the wizard's last page; its Finish button
// carries the Next caption.
#pragma once

#include <vector>

#include "NGWizardPage.h"
#include "fetchwell/loadercontrol.h"
#include "kycplib/keyvalue.h"

// A list box whose items are drawn as their flag pictures only (the item data is the picture).
class CFlagListBox : public CListBox {
public:
    void DrawItem(LPDRAWITEMSTRUCT drawItem) override;
};

// A copy of bitmap with every pure white pixel in the selection colour; null for a null bitmap.
// The caller owns it.
HBITMAP MakeHighlightedCopy(HBITMAP bitmap);

class CDLGSelectGUILanguage : public CNGWizardPage {
    DECLARE_DYNCREATE(CDLGSelectGUILanguage)
    DECLARE_MESSAGE_MAP()
public:
    static constexpr UINT IDD = 110;
    static constexpr int IDC_LANGUAGES = 1001;

    explicit CDLGSelectGUILanguage(unsigned int hostContext = 0);
    ~CDLGSelectGUILanguage() override;

    // The listed languages of productId (all when it is empty) whose library file exists in
    // languageDir; the number of them. The provisional selection is the first of them.
    int FillLanguages(CLoaderControlFile* file, const wchar_t* languageDir,
                      const wchar_t* productId);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnQueryCancel() override;

    CFlagListBox m_listLanguages;
    CString m_strLanguage;  // code of the selected language
    CLoaderControlFile* m_pControlFile = nullptr;
    unsigned int m_hostContext;
    CString m_strHeaderTitle;
    BYTE m_bShowBack = 1;
    kycplib::CKeyValueList m_languages;  // code -> full path of its library, in list order
    std::vector<HBITMAP> m_flagBitmaps;
    std::vector<HMODULE> m_languageModules;

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    void SelectUserLanguage();
};
