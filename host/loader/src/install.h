// Installing a checked payload into the product's folder of the user's profile.
#pragma once

#include "output_plugin.h"
#include "payload.h"
#include "runtime.h"

namespace loader {

enum class InstallOutcome {
    kDone,
    kCancelled,
    kFailed
};

// The install folder of product: %LOCALAPPDATA%\Brisco\<product>. False when the profile folder
// is unknown or the path does not fit.
bool GetInstallFolder(const wchar_t* product, CPathText& folder);

// Writes every file of payload under folder (creating the folders on the way), reporting each as
// an install step, then the file list (kFileListName: one line per file, its name with "\"
// separators, a tab and its size in bytes, UTF-8, CRLF). An earlier file list is removed first,
// so that a list is there only after a complete install. The cancel event is looked at before
// each file. On kFailed or kCancelled every file this call wrote is removed again and the empty
// folders it leaves go too; reason says what failed.
InstallOutcome InstallPayload(const CPayload& payload, const wchar_t* folder, COutputPlugin* plugin,
                              HANDLE cancelEvent, CMessageText& reason);

}  // namespace loader
