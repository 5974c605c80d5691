// The progress page: the status line, the bar, the elapsed and remaining time, the speed and the
// kilobytes done and left, fed by the host's notifications (WM_PROGRESS_NOTIFY); the cancel
// question and the cancel event the loader host watches.
#pragma once

#include <stdint.h>

#include "NGWizardPage.h"
#include "ProgressNotification.h"

class CWizProductProgress;

class CDLGProgress : public CNGWizardPage {
    DECLARE_DYNCREATE(CDLGProgress)
    DECLARE_MESSAGE_MAP()
public:
    static constexpr UINT IDD = 108;
    static constexpr UINT_PTR kTimerId = 1;

    explicit CDLGProgress(bool hideBack = false);

    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;
    BOOL OnQueryCancel() override;
    BOOL OnWizardFinish() override;
    virtual void OnTimer(UINT_PTR id);

    // The progress wizard the page lives in, when it is one.
    CWizProductProgress* GetProgressWizard() const;

    // Attached when the page is set up; the notifications reach the controls through these, since
    // finding a child by its id asks the window system each time.
    CStatic m_stcStatus;
    CStatic m_stcElapsed;
    CStatic m_stcRemaining;
    CStatic m_stcSpeed;
    CStatic m_stcDone;
    CStatic m_stcLeft;
    CProgressCtrl m_progress;
    BYTE m_bCancelRequested = 0;
    BYTE m_bFinished = 0;
    BYTE m_bHideBack;
    CString m_strSpeed;
    CString m_strRemaining;
    CString m_strHeaderTitle;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    // lParam: a ProgressNotification the page owns from then on. wParam: 0, or the sender's
    // delivery flag (a LONG), set before anything else so that the sender knows the record
    // reached the page and is no longer its own to free.
    LRESULT OnProgressNotify(WPARAM wParam, LPARAM lParam);

private:
    void HandleNotification(const ProgressNotification& notification);
    void OnDownload(const ProgressNotification& notification);
    void OnInstallStep();
    void OnFinished(bool success);
    void OnAborted();
    void SetBar(uint32_t range, uint32_t position);
    // Sets a figure's text when it differs from the one shown.
    void SetFigure(CWnd& figure, LPCWSTR text);
    void SetStatus(LPCWSTR text);
    // String 108 with the caption of the sheet's Finish button.
    CString CloseOnlyText() const;
    void SetResult(int result);
    // Signals the loader host's cancel event; false when it could be neither created nor opened.
    static bool SignalCancelEvent();

    // The page's own clock and counters, so that each run starts from zero.
    bool m_bFirstDownload = true;
    DWORD m_dwStartTick = 0;
    int64_t m_nWindowStartMs = 0;
    uint32_t m_nWindowStartBytes = 0;
    uint32_t m_nElapsedSeconds = 0;
    bool m_bDownloadFormatLoaded = false;
    bool m_bInstallTextLoaded = false;
};

// Name of the event the loader host watches for a confirmed cancel.
extern const wchar_t kCancelEventName[];
