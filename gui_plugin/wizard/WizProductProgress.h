// The progress wizard: one page (CDLGProgress) run modally on the plug-in's own thread; its result
// is what FinishProgress and AbortProgress hand back to the host.
#pragma once

#include "NGWizard.h"
#include "PluginResult.h"
#include "fetchwell/loadercontrol.h"
#include "kycplib/sync.h"

class CDLGProgress;

class CWizProductProgress : public CNGWizard {
    DECLARE_DYNAMIC(CWizProductProgress)
    DECLARE_MESSAGE_MAP()
public:
    CWizProductProgress();
    ~CWizProductProgress() override;

    // Takes the pictures, the control file and the flags and makes the page; false (and no page)
    // when the control file lists no product or no language.
    bool InitWizard(CLoaderControlFile* file, const wchar_t* directory, const wchar_t* directory2,
                    bool hideBack, bool allowCancel);

    BOOL OnInitDialog() override;

    CDLGProgress* m_pProgressPage = nullptr;
    CLoaderControlFile* m_pControlFile = nullptr;
    CString m_strDirectory;
    CString m_strDirectory2;
    CString m_strProductKey;
    // Written on the wizard's thread and read on the host's.
    volatile LONG m_nResult = PLUGIN_COMPLETED;
    kycplib::CKYEvent* m_pReadyEvent;
};
