#include <new>

#include "COutputPlugin.h"
#include "MFCGUIPlugin.h"

extern "C" COutputPlugin* OutputPluginFactory(const wchar_t* pluginDirectory) {
    // Null when the memory cannot be had, for the object or for the copy of the directory inside
    // it (the new-expression frees the object's memory then): an exception cannot pass into a
    // host written in C or built by another compiler.
    try {
        return new CMFCGUIPlugin(pluginDirectory);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

extern "C" void FreeOutputPlugin(COutputPlugin* plugin) {
    if (plugin) plugin->DestroyPlugin(1);
}
