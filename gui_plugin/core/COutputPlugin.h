// The interface the loader host sees. The host is built with the platform's own compiler and calls
// this object through its virtual table, so the table must be laid out as that compiler lays out
// an abstract class: eleven slots, slot 0 a single destructor entry that takes the "delete me"
// flag, slots 1 to 10 the operations in this order, all thiscall on 32-bit Windows.
//
// GCC gives a virtual destructor two entries (complete and deleting), which would move Initialize
// to slot 2. So the class has no C++ virtual destructor: slot 0 is declared as the ordinary virtual
// function DestroyPlugin(flags), which is what the host's compiler emits for a virtual destructor.
#pragma once

#include <wchar.h>

#if defined(__i386__)
#define KY_THISCALL __attribute__((thiscall))
#else
#define KY_THISCALL
#endif

class COutputPlugin {
public:
    // Slot 0, the host's "virtual destructor": destroys the object, and frees its memory when
    // bit 0 of flags is set. Returns the object's address, as the host's compiler expects.
    virtual void* KY_THISCALL DestroyPlugin(unsigned int flags) = 0;

    virtual bool KY_THISCALL Initialize(void* hostContext, const wchar_t* controlFilePath,
                                        bool skipWelcome, bool allowCancel) = 0;
    virtual int KY_THISCALL SelectLanguage(const wchar_t* productId, wchar_t* language,
                                           unsigned int languageSize) = 0;
    virtual bool KY_THISCALL StartProgress() = 0;
    virtual int KY_THISCALL FinishProgress(bool success) = 0;
    virtual int KY_THISCALL AbortProgress() = 0;
    virtual void KY_THISCALL SetStatusText(const wchar_t* text) = 0;
    virtual void KY_THISCALL ReportInstallStep(const wchar_t* text) = 0;
    virtual void KY_THISCALL ReportDownloadProgress(unsigned long bytesDone,
                                                    unsigned long bytesTotal,
                                                    const wchar_t* text) = 0;
    virtual void KY_THISCALL UpdateStatusText(const wchar_t* text) = 0;
    virtual int KY_THISCALL ShowMessage(const wchar_t* text, unsigned int type) = 0;

protected:
    COutputPlugin() = default;
    // Not virtual on purpose (see above); destruction goes through DestroyPlugin.
    ~COutputPlugin() = default;
};

// Both the host and this plug-in are 32-bit Windows programs; the widths of the table's arguments
// are part of the contract.
static_assert(sizeof(bool) == 1, "bool arguments are one byte wide");
static_assert(sizeof(unsigned long) == 4, "byte counts are 32-bit");

extern "C" {
// The two exports, undecorated (fetchwellGUI.def pins the names).
COutputPlugin* OutputPluginFactory(const wchar_t* pluginDirectory);
void FreeOutputPlugin(COutputPlugin* plugin);
}
