// How a run of the loader host ended: its process exit code (docs/loader-host.md).
#pragma once

namespace loader {

enum ExitCode : unsigned {
    kExitCompleted = 0,          // the payload is installed and its file list written
    kExitUsage = 1,              // an unknown switch or a malformed value
    kExitAlreadyRunning = 2,     // the product-in-use mutex exists: another run is going on
    kExitPluginMissing = 3,      // no fetchwellGUI.dll beside the host
    kExitPluginUnsigned = 4,     // the plug-in failed the signature check
    kExitPluginUnusable = 5,     // it does not load, lacks an export or gives no object
    kExitInitializeFailed = 6,   // Initialize returned false
    kExitNoLanguage = 7,         // SelectLanguage returned PLUGIN_FAILED
    kExitLanguageCancelled = 8,  // the user cancelled the language wizard
    kExitProgressCancelled = 9,  // the cancel event was signalled during the download or install
    kExitDownloadFailed = 10,    // the payload could not be downloaded completely
    kExitInstallFailed = 11,     // the payload was refused or could not be written
    kExitNoProfileFolder = 12,   // the install folder cannot be found or is too long
};

}  // namespace loader
