// The interface of an output plug-in as the loader host declares it, compiled with the platform's
// own compiler: an abstract class with a virtual destructor and the ten operations, and the two
// functions a plug-in library exports.
#pragma once

class COutputPlugin {
public:
    virtual ~COutputPlugin() {}

    virtual bool Initialize(void* hostContext, const wchar_t* controlFilePath, bool skipWelcome,
                            bool allowCancel) = 0;
    virtual int SelectLanguage(const wchar_t* productId, wchar_t* language,
                               unsigned int languageSize) = 0;
    virtual bool StartProgress() = 0;
    virtual int FinishProgress(bool success) = 0;
    virtual int AbortProgress() = 0;
    virtual void SetStatusText(const wchar_t* text) = 0;
    virtual void ReportInstallStep(const wchar_t* text) = 0;
    virtual void ReportDownloadProgress(unsigned long bytesDone, unsigned long bytesTotal,
                                        const wchar_t* text) = 0;
    virtual void UpdateStatusText(const wchar_t* text) = 0;
    virtual int ShowMessage(const wchar_t* text, unsigned int type) = 0;
};

// Results of SelectLanguage, FinishProgress and AbortProgress.
enum {
    PLUGIN_OK = 0,
    PLUGIN_CANCELLED = 2,
    PLUGIN_COMPLETED = 3,
    PLUGIN_FAILED = 4
};

extern "C" {
typedef COutputPlugin* (*OutputPluginFactoryFn)(const wchar_t* pluginDirectory);
typedef void (*FreeOutputPluginFn)(COutputPlugin* plugin);
}
