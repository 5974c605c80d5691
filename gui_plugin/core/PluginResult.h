#pragma once

// Outcome of SelectLanguage and of the progress wizard. There is no value 1.
enum PluginResult : int {
    PLUGIN_OK = 0,
    PLUGIN_CANCELLED = 2,
    PLUGIN_COMPLETED = 3,
    PLUGIN_FAILED = 4,
};
