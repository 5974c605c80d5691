#include "ProgressNotification.h"

#include <new>
#include <string.h>
#include <wchar.h>

ProgressNotification* NewProgressNotification(ProgressNotificationKind kind) {
    auto* notification = new (std::nothrow) ProgressNotification();
    if (notification) notification->kind = kind;
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
    delete[] notification->statusText;
    delete[] notification->detailText;
    delete notification;
}
