// The payload's download over HTTP with WinINet, chunk by chunk, stopped by the cancel event.
#pragma once

#include "output_plugin.h"
#include "runtime.h"

namespace loader {

// Largest payload the host takes: a larger announced length fails at once, a download without
// one fails when it grows past this.
constexpr size_t kMaxPayloadBytes = 64u * 1024 * 1024;

enum class DownloadOutcome {
    kDone,
    kCancelled,
    kFailed
};

// Reads url into out. Every chunk is reported to plugin (ReportDownloadProgress with the bytes
// so far and the announced length, or the bytes so far when the server announces none);
// between chunks the cancel event is looked at. kFailed puts the reason into reason: no answer,
// a status other than 200, a read error, fewer or more bytes than announced, nothing at all.
DownloadOutcome DownloadPayload(const wchar_t* url, COutputPlugin* plugin, HANDLE cancelEvent,
                                CByteBuffer& out, CMessageText& reason);

}  // namespace loader
