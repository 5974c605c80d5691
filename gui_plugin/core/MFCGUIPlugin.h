// The object behind COutputPlugin. It is also the plug-in's own thread (the CKYThread base), which
// runs the progress wizard while the host's thread keeps making calls.
#pragma once

#include <windows.h>

#include <string>

#include "COutputPlugin.h"
#include "PluginResult.h"
#include "fetchwell/loadercontrol.h"
#include "kycplib/thread.h"

class CWizProductProgress;

class CMFCGUIPlugin final : public COutputPlugin, public kycplib::CKYThread {
public:
    explicit CMFCGUIPlugin(const wchar_t* pluginDirectory);
    ~CMFCGUIPlugin() override;

    void* KY_THISCALL DestroyPlugin(unsigned int flags) override;
    bool KY_THISCALL Initialize(void* hostContext, const wchar_t* controlFilePath, bool skipWelcome,
                                bool allowCancel) override;
    int KY_THISCALL SelectLanguage(const wchar_t* productId, wchar_t* language,
                                   unsigned int languageSize) override;
    bool KY_THISCALL StartProgress() override;
    int KY_THISCALL FinishProgress(bool success) override;
    int KY_THISCALL AbortProgress() override;
    void KY_THISCALL SetStatusText(const wchar_t* text) override;
    void KY_THISCALL ReportInstallStep(const wchar_t* text) override;
    void KY_THISCALL ReportDownloadProgress(unsigned long bytesDone, unsigned long bytesTotal,
                                            const wchar_t* text) override;
    void KY_THISCALL UpdateStatusText(const wchar_t* text) override;
    int KY_THISCALL ShowMessage(const wchar_t* text, unsigned int type) override;

    // Loads the language library listed for code (letter case ignored) and makes it the source of
    // every resource the wizards load.
    bool SwitchLanguage(const wchar_t* code);

    // The screen's horizontal DPI as a percentage of 96.
    static int GetDpiScale();

    const std::wstring& GetGuiLanguage() const { return m_guiLanguage; }
    HMODULE GetLanguageLibrary() const { return m_languageLibrary; }

protected:
    DWORD Run() override;

private:
    // The window that owns the plug-in's message boxes: the progress wizard's, when it exists.
    HWND GetMessageOwner() const;
    // The progress page's window, when it exists.
    HWND ProgressPageWindow() const;
    // Sends the record to the progress page; frees it when it did not get there.
    // True when the page got it.
    bool Notify(struct ProgressNotification* notification);
    // The end of the work: the notification, then the wait for the wizard to close.
    int EndProgress(struct ProgressNotification* notification);

    std::wstring m_pluginDirectory;
    std::wstring m_guiLanguage;
    std::wstring m_productId;
    HMODULE m_languageLibrary = nullptr;
    CLoaderControlFile* m_controlFile = nullptr;
    // Made and ended through fetchwell.dll's interface (CXMLFile::Create and Delete).
    CXMLFile* m_xmlFile = nullptr;
    CWizProductProgress* m_progressWizard = nullptr;
    bool m_skipWelcome = false;
    bool m_allowCancel = true;
    void* m_hostContext = nullptr;
};

#if defined(KY_TEST_HOOKS)
// Called by every notification of the host between finding the progress page's window and
// sending the record to it; null stops it.
void SetBeforeNotifyForTesting(void (*hook)(HWND page));
// Makes the plug-in's thread end at once, as when the system refuses to show the progress wizard
// (its DoModal gives -1), instead of showing it.
void SetProgressWizardRefusedForTesting(bool refused);
// How the last StartProgress's wait ended: WAIT_OBJECT_0 (the page was ready), WAIT_OBJECT_0 + 1
// (the plug-in's thread had ended), WAIT_TIMEOUT; WAIT_FAILED before any wait.
DWORD GetLastStartWaitForTesting();
#endif
