// How the host's notifications reach the progress page: WM_PROGRESS_NOTIFY, sent with
// SendMessageW, wParam 0, lParam a heap ProgressNotification that the receiver frees with
// FreeProgressNotification, whatever its kind.
#pragma once

#include <windows.h>

#include <stdint.h>

constexpr UINT WM_PROGRESS_NOTIFY = WM_APP + 0x1001;  // 0x9001

enum ProgressNotificationKind : int32_t {
    NOTIFY_DOWNLOAD = 0,
    NOTIFY_INSTALL_STEP = 1,
    NOTIFY_STATUS_TEXT = 2,
    NOTIFY_FINISHED = 3,
    NOTIFY_ABORTED = 4,
};

struct ProgressNotification {
    int32_t kind;
    uint32_t bytesDone;
    uint32_t bytesTotal;
    bool success;
    wchar_t* statusText;  // owned copy, or null
    wchar_t* detailText;  // owned copy, or null
};

// A zero-filled record of the kind; null when memory runs out.
ProgressNotification* NewProgressNotification(ProgressNotificationKind kind);
// A new[] copy of text (length plus terminator), or null for null text or no memory.
wchar_t* CopyNotificationText(const wchar_t* text);
// Frees both texts and the record; null is ignored.
void FreeProgressNotification(ProgressNotification* notification);

#if defined(KY_TEST_HOOKS)
// Told of every record made (made true, by NewProgressNotification) and freed (made false, by
// FreeProgressNotification), on the thread that does it; null stops it.
using NotificationObserverForTesting = void (*)(const ProgressNotification* record, bool made);
void SetNotificationObserverForTesting(NotificationObserverForTesting observer);
#endif
