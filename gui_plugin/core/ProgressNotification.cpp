#include "ProgressNotification.h"

#include <new>
#include <string.h>
#include <wchar.h>

#if defined(KY_TEST_HOOKS)
namespace {
NotificationObserverForTesting g_observerForTesting = nullptr;
}  // namespace

void SetNotificationObserverForTesting(NotificationObserverForTesting observer) {
    g_observerForTesting = observer;
}
#endif

ProgressNotification* NewProgressNotification(ProgressNotificationKind kind) {
    auto* notification = new (std::nothrow) ProgressNotification();
    if (notification) notification->kind = kind;
#if defined(KY_TEST_HOOKS)
    if (notification && g_observerForTesting) g_observerForTesting(notification, true);
#endif
    return notification;
}

wchar_t* CopyNotificationText(const wchar_t* text) {
    if (!text) return nullptr;
    size_t length = wcslen(text);
    wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
    if (copy) memcpy(copy, text, (length + 1) * sizeof(wchar_t));
    return copy;
}

void FreeProgressNotification(ProgressNotification* notification) {
    if (!notification) return;
#if defined(KY_TEST_HOOKS)
    if (g_observerForTesting) g_observerForTesting(notification, false);
#endif
    delete[] notification->statusText;
    delete[] notification->detailText;
    delete notification;
}
