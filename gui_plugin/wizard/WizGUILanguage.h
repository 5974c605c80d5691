// The language and welcome wizard that SelectLanguage shows on the host's thread when the host
// leaves the language to the user.
#pragma once

#include "DLGSelectGUILanguage.h"
#include "DLGWelcome.h"
#include "NGWizard.h"

class CWizGUILanguage : public CNGWizard {
    DECLARE_DYNAMIC(CWizGUILanguage)
public:
    CWizGUILanguage() = default;
    ~CWizGUILanguage() override;

    // Builds the pages: welcome (unless skipWelcome), language (unless the product has a single
    // language). True when at least one language library is there to choose.
    bool InitWizard(CLoaderControlFile* file, const wchar_t* languageDir, const wchar_t* productId,
                    unsigned int hostContext, bool skipWelcome, bool allowCancel);

    BOOL OnInitDialog() override;

    CDLGSelectGUILanguage* m_pLanguagePage = nullptr;
    CDLGWelcome* m_pWelcomePage = nullptr;
    CLoaderControlFile* m_pControlFile = nullptr;
};
