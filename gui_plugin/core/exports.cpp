#include <new>

#include "COutputPlugin.h"
#include "MFCGUIPlugin.h"

extern "C" COutputPlugin* OutputPluginFactory(const wchar_t* pluginDirectory) {
    // Null when the memory cannot be had; a failure inside construction frees the memory and
    // passes on.
    return new (std::nothrow) CMFCGUIPlugin(pluginDirectory);
}

extern "C" void FreeOutputPlugin(COutputPlugin* plugin) {
    if (plugin) plugin->DestroyPlugin(1);
}
