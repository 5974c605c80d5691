#include "MFCGUIPlugin.h"

#include <io.h>
#include <wchar.h>

#include <new>

#include "GuiResources.h"
#include "LoaderTrakkoMessage.h"
#include "ProgressNotification.h"
#include "TrakkoActions.h"
#include "WizGUILanguage.h"
#include "WizProductProgress.h"
#include "DLGProgress.h"
#include "MFCCTRLMessageBox.h"
#include "afxmodule.h"
#include "kycplib/keyvalue.h"
#include "kycplib/path.h"
#include "verified_library.h"

namespace {

// Paths are built in the platform's fixed path buffers.
constexpr size_t kPathChars = MAX_PATH;

// The plug-in directory (at most 259 characters of it) with name appended.
void BuildPath(wchar_t (&path)[kPathChars], const std::wstring& directory, const wchar_t* name) {
    // A plain bounded copy: the "_s" functions are missing from Windows XP's C runtime.
    size_t length = directory.size() < kPathChars - 1 ? directory.size() : kPathChars - 1;
    wmemcpy(path, directory.data(), length);
    path[length] = L'\0';
    kycplib::AppendPath(path, kPathChars, name);
}

// The GUI languages of the control file as a list of its own, so that lookups ignore letter case.
void ReadGuiLanguages(CLoaderControlFile* controlFile, kycplib::CKeyValueList& list) {
    if (!controlFile) return;
    for (const kycplib::CKeyValueItem* item = controlFile->getFirstGUILanguage(); item;
         item = item->next) {
        list.Add(item->key, item->value);
    }
}

// Resource ids of rcimage.dll.
constexpr WORD kHeaderBitmapId = 0x71;
constexpr WORD kSideBitmapId = 0x72;
constexpr WORD kProductIconId = 0x65;

// Each Initialize loads the icons again (a host may run several products in one process): the
// icons of the one before are destroyed, or every run would leave two icons behind. No window
// shows them then: Initialize is refused while the progress wizard runs, and the language wizard
// exists only inside SelectLanguage. An icon that does not load leaves the one before in place.
void ReplaceIcon(HICON& icon, HICON loaded) {
    if (!loaded) return;
    if (icon && icon != loaded) DestroyIcon(icon);
    icon = loaded;
}

// The pictures and icons of the verified rcimage.dll in the plug-in directory. A missing or
// unverified library is no failure: the wizards then show no pictures.
void LoadProductPictures(const std::wstring& directory, GuiResources& resources) {
    wchar_t path[kPathChars];
    BuildPath(path, directory, L"rcimage.dll");
    HMODULE library = LoadVerifiedLibrary(path, nullptr, 0, true);
    if (!library) return;
    resources.headerBitmap.LoadFromResource(library, MAKEINTRESOURCEW(kHeaderBitmapId));
    resources.sideBitmap.LoadFromResource(library, MAKEINTRESOURCEW(kSideBitmapId));
    const int size = LargeIconSize(CMFCGUIPlugin::GetDpiScale());
    // LoadImageW without LR_SHARED copies the icons out of the library, so the library can go at
    // once.
    ReplaceIcon(resources.largeIcon,
                static_cast<HICON>(LoadImageW(library, MAKEINTRESOURCEW(kProductIconId), IMAGE_ICON,
                                              size, size, LR_DEFAULTCOLOR)));
    ReplaceIcon(resources.smallIcon,
                static_cast<HICON>(LoadImageW(library, MAKEINTRESOURCEW(kProductIconId), IMAGE_ICON,
                                              16, 16, LR_DEFAULTCOLOR)));
    FreeLibrary(library);
}

#if defined(KY_TEST_HOOKS)
void (*g_beforeNotifyForTesting)(HWND page) = nullptr;
bool g_wizardRefusedForTesting = false;
DWORD g_lastStartWaitForTesting = WAIT_FAILED;
#endif

}  // namespace

#if defined(KY_TEST_HOOKS)
void SetBeforeNotifyForTesting(void (*hook)(HWND page)) { g_beforeNotifyForTesting = hook; }
void SetProgressWizardRefusedForTesting(bool refused) { g_wizardRefusedForTesting = refused; }
DWORD GetLastStartWaitForTesting() { return g_lastStartWaitForTesting; }
#endif

CMFCGUIPlugin::CMFCGUIPlugin(const wchar_t* pluginDirectory)
    : kycplib::CKYThread(nullptr), m_pluginDirectory(pluginDirectory ? pluginDirectory : L"") {}

CMFCGUIPlugin::~CMFCGUIPlugin() {
    // The thread runs the progress wizard modally and does not look at the stop request, so this
    // waits until the wizard has closed. A host that frees the object while the wizard still shows
    // the work as going on has stopped without FinishProgress or AbortProgress: the page is told
    // the work was aborted, so that it offers Finish; otherwise the user could not close it (its
    // Cancel only asks the host to stop) and this wait would never end.
    if (IsRunning()) {
        if (ProgressPageWindow()) Notify(NewProgressNotification(NOTIFY_ABORTED));
        Stop(INFINITE);
    }
    delete m_progressWizard;
    m_progressWizard = nullptr;
    if (m_languageLibrary) {
        if (AfxGetResourceHandle() == m_languageLibrary) AfxSetResourceHandle(nullptr);
        FreeLibrary(m_languageLibrary);
        m_languageLibrary = nullptr;
    }
    CLoaderControlFile::FreeInstance();
    m_controlFile = nullptr;
    CXMLFile::Delete(m_xmlFile);
    m_xmlFile = nullptr;
}

void* CMFCGUIPlugin::DestroyPlugin(unsigned int flags) {
    // What the host's compiler does for "delete plugin": run the destructor, then free the memory
    // when asked to, with the allocator that made the object.
    this->~CMFCGUIPlugin();
    if (flags & 1) ::operator delete(this);
    return this;
}

// The host is C or another compiler's C++, and a C++ exception cannot cross into it: the slots
// that allocate report running out of memory as their ordinary failure instead.
bool CMFCGUIPlugin::Initialize(void* hostContext, const wchar_t* controlFilePath, bool skipWelcome,
                               bool allowCancel) try {
    if (!controlFilePath) return false;
    // While the progress wizard runs, its thread reads the control file and the process-wide
    // pictures: neither may change under it.
    if (IsRunning()) return false;
    m_hostContext = hostContext;
    m_skipWelcome = skipWelcome;
    m_allowCancel = allowCancel;

    // A second Initialize replaces the file object of the first.
    CXMLFile::Delete(m_xmlFile);
    m_xmlFile = CXMLFile::Create(controlFilePath);
    if (!m_xmlFile) return false;
    m_controlFile = CLoaderControlFile::GetInstance(m_xmlFile);
    if (!m_controlFile) return false;
    if (!m_xmlFile->getXMLTree()) return false;

    GuiResources& resources = TheGuiResources();
    LoadProductPictures(m_pluginDirectory, resources);
    if (const kycplib::CKeyValueItem* product = m_controlFile->getFirstProduct()) {
        resources.productName = product->value;
    }

    int red = 0, green = 0, blue = 0;
    m_controlFile->getBackgroundColorRGB(red, green, blue);
    if (red == 0 && green == 0 && blue == 0) {
        // All zero means the file sets no colour; black is not a choice.
        red = green = blue = 239;
    }
    resources.backgroundColor = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    resources.showHeaderTitle = m_controlFile->showHeaderTitle();
    return true;
} catch (const std::bad_alloc&) {
    return false;
}

int CMFCGUIPlugin::GetDpiScale() {
    // A fresh reading on every call: the screen's DPI can change between runs of the wizards.
    int dpiX = 96;
    if (HDC screen = GetDC(nullptr)) {
        dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }
    return MulDiv(100, dpiX, 96);
}

bool CMFCGUIPlugin::SwitchLanguage(const wchar_t* code) {
    kycplib::CKeyValueList languages;
    ReadGuiLanguages(m_controlFile, languages);
    if (languages.IsEmpty()) return false;
    const wchar_t* file = languages.Find(code);
    if (!file || !*file) return false;

    wchar_t path[kPathChars];
    BuildPath(path, m_pluginDirectory, file);
    // Copied before anything changes, so that running out of memory cannot leave a library loaded
    // under another code's name.
    std::wstring newCode = code;

    if (_waccess(path, 0) != 0) return false;
    HMODULE library = LoadVerifiedLibrary(path, nullptr, 0, true);
    if (!library) return false;  // the language in use stays in use

    // The new library is current before the old one goes, so that resources are never looked up
    // in a freed module.
    HMODULE previous = m_languageLibrary;
    AfxSetResourceHandle(library);
    m_languageLibrary = library;
    m_guiLanguage.swap(newCode);
    if (previous) FreeLibrary(previous);
    return true;
}

int CMFCGUIPlugin::SelectLanguage(const wchar_t* productId, wchar_t* language,
                                  unsigned int languageSize) try {
    if (!language || languageSize == 0) return PLUGIN_FAILED;
    // While the progress wizard runs, its thread loads its texts from the language library in
    // force: that library may not be switched (and freed) under it.
    if (IsRunning()) return PLUGIN_FAILED;

    wchar_t initial[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), initial, 64, 0);
    if (!(initial[0] && SwitchLanguage(initial)) && !SwitchLanguage(L"en")) {
        const kycplib::CKeyValueItem* first =
            m_controlFile ? m_controlFile->getFirstGUILanguage() : nullptr;
        if (!first || !first->key[0] || !SwitchLanguage(first->key)) return PLUGIN_FAILED;
    }

    if (language[0] == L'\0') {
        // The user chooses, in the language and welcome wizard.
        CWizGUILanguage wizard;
        bool ready =
            wizard.InitWizard(m_controlFile, m_pluginDirectory.c_str(), productId,
                              static_cast<unsigned int>(reinterpret_cast<UINT_PTR>(m_hostContext)),
                              m_skipWelcome, m_allowCancel);
        if (ready) {
            // With nothing to show (no welcome and a single language) the one language is the
            // choice, without an empty wizard.
            if (wizard.GetPageCount() > 0) {
                INT_PTR shown = wizard.DoModal();
                if (shown == IDCANCEL) {
                    TrakkoRequest::GetInstance()->WaitForAll();
                    return PLUGIN_CANCELLED;
                }
                // A wizard that could not be shown settles nothing.
                if (shown == -1) return PLUGIN_FAILED;
            }
            lstrcpynW(language, wizard.m_pLanguagePage->m_strLanguage,
                      static_cast<int>(languageSize < 0x7FFFFFFF ? languageSize : 0x7FFFFFFF));
        }
    } else {
        // The host has settled the code: no wizard, only the check against the GUI languages.
        kycplib::CKeyValueList languages;
        ReadGuiLanguages(m_controlFile, languages);
        if (!languages.Find(language)) return PLUGIN_FAILED;
    }
    if (language[0] == L'\0') return PLUGIN_FAILED;

    SetStatsLanguage(language);
    m_productId = productId ? productId : L"";
    // The host's code is settled even when its library cannot be loaded; the language in use then
    // stays, so the plug-in always has a library to show.
    SwitchLanguage(language);
    return PLUGIN_OK;
} catch (const std::bad_alloc&) {
    return PLUGIN_FAILED;
}

bool CMFCGUIPlugin::StartProgress() try {
    // A wizard still shown by the plug-in's thread is in use: it is not replaced.
    if (IsRunning()) return false;
    // Without the page's template in the language in force there is nothing to show; a sheet
    // without its page would never signal that it is ready.
    if (!FindResourceW(AfxGetResourceHandle(), MAKEINTRESOURCEW(CDLGProgress::IDD), RT_DIALOG)) {
        return false;
    }
    delete m_progressWizard;
    m_progressWizard = nullptr;
    m_progressWizard = new CWizProductProgress();
    if (!m_progressWizard->InitWizard(m_controlFile, m_pluginDirectory.c_str(),
                                      m_pluginDirectory.c_str(), m_skipWelcome, m_allowCancel)) {
        return false;
    }
    m_progressWizard->m_strProductKey = m_productId.c_str();
    if (!m_progressWizard->m_pReadyEvent) return false;
    Start();
    // Ready, or the thread's end (the wizard could not be shown): whichever comes first, so that
    // a thread that died early fails at once.
    HANDLE handles[2] = {m_progressWizard->m_pReadyEvent->GetHandle(), GetHandle()};
    const DWORD ended = WaitForMultipleObjects(2, handles, FALSE, 5000);
#if defined(KY_TEST_HOOKS)
    g_lastStartWaitForTesting = ended;
#endif
    return ended == WAIT_OBJECT_0;
} catch (...) {
    // The thread or an event could not be made, or memory ran out: nothing reaches the host.
    return false;
}

DWORD CMFCGUIPlugin::Run() {
    CWizProductProgress* wizard = m_progressWizard;
    if (!wizard) return 0;
#if defined(KY_TEST_HOOKS)
    INT_PTR shown = g_wizardRefusedForTesting ? -1 : wizard->DoModal();
#else
    INT_PTR shown = wizard->DoModal();
#endif
    // Only a wizard that was shown and closed with the work completed reports its finish.
    if (shown != -1 && wizard->m_nResult == PLUGIN_COMPLETED) {
        LoaderTrakkoMessage message;
        message.Send(FETCHWELL_DLG_PROGRESS_FINISH);
    }
    TrakkoRequest::GetInstance()->WaitForAll();
    return 0;
}

bool CMFCGUIPlugin::Notify(ProgressNotification* notification) {
    HWND page = ProgressPageWindow();
    // The page marks the record taken when it gets it; one that never reached it (no window, or
    // the window went away before the message was handled) is still the sender's to free.
    volatile LONG taken = 0;
    if (notification && page) {
#if defined(KY_TEST_HOOKS)
        if (g_beforeNotifyForTesting) g_beforeNotifyForTesting(page);
#endif
        ::SendMessageW(page, WM_PROGRESS_NOTIFY, reinterpret_cast<WPARAM>(&taken),
                       reinterpret_cast<LPARAM>(notification));
    }
    if (!taken) FreeProgressNotification(notification);
    return taken != 0;
}

HWND CMFCGUIPlugin::ProgressPageWindow() const {
    if (!m_progressWizard || !m_progressWizard->m_pProgressPage) return nullptr;
    HWND page = m_progressWizard->m_pProgressPage->m_hWnd;
    return page && ::IsWindow(page) ? page : nullptr;
}

int CMFCGUIPlugin::EndProgress(ProgressNotification* notification) {
    if (!m_progressWizard || !m_progressWizard->m_pProgressPage) {
        FreeProgressNotification(notification);
        return PLUGIN_FAILED;
    }
    const bool delivered = Notify(notification);
    if (IsRunning()) {
        Wait(INFINITE);
    } else if (!delivered) {
        return PLUGIN_FAILED;  // the wizard was never shown: there is no progress window
    }
    return m_progressWizard->m_nResult;
}

int CMFCGUIPlugin::FinishProgress(bool success) {
    ProgressNotification* notification = NewProgressNotification(NOTIFY_FINISHED);
    if (notification) notification->success = success;
    return EndProgress(notification);
}

int CMFCGUIPlugin::AbortProgress() { return EndProgress(NewProgressNotification(NOTIFY_ABORTED)); }

void CMFCGUIPlugin::SetStatusText(const wchar_t* text) {
    if (!ProgressPageWindow()) return;
    ProgressNotification* notification = NewProgressNotification(NOTIFY_STATUS_TEXT);
    if (notification) notification->statusText = CopyNotificationText(text);
    Notify(notification);
}

void CMFCGUIPlugin::ReportInstallStep(const wchar_t* text) {
    if (!ProgressPageWindow()) return;
    ProgressNotification* notification = NewProgressNotification(NOTIFY_INSTALL_STEP);
    if (notification) notification->detailText = CopyNotificationText(text);
    Notify(notification);
}

void CMFCGUIPlugin::ReportDownloadProgress(unsigned long bytesDone, unsigned long bytesTotal,
                                           const wchar_t* text) {
    if (!ProgressPageWindow()) return;
    ProgressNotification* notification = NewProgressNotification(NOTIFY_DOWNLOAD);
    if (notification) {
        notification->bytesDone = static_cast<uint32_t>(bytesDone);
        notification->bytesTotal = static_cast<uint32_t>(bytesTotal);
        notification->detailText = CopyNotificationText(text);
    }
    Notify(notification);
}

void CMFCGUIPlugin::UpdateStatusText(const wchar_t* text) {
    // Through the interface, as the host would call it.
    static_cast<COutputPlugin*>(this)->SetStatusText(text);
}

int CMFCGUIPlugin::ShowMessage(const wchar_t* text, unsigned int type) try {
    const GuiResources& resources = TheGuiResources();
    // Owned by the progress wizard while it runs; otherwise the box finds the active window.
    CMFCCTRLMessageBox box(GetMessageOwner());
    box.SetColors(resources.textColor, resources.boxBackgroundColor);
    return box.Show(text ? text : L"", resources.productName.c_str(), type);
} catch (const std::bad_alloc&) {
    return 0;
}

HWND CMFCGUIPlugin::GetMessageOwner() const {
    if (!m_progressWizard) return nullptr;
    HWND wizard = m_progressWizard->m_hWnd;
    return wizard && ::IsWindow(wizard) ? wizard : nullptr;
}
