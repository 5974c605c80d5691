// A plug-in for loader_host_test that records every call the host makes, one line each, into
// "recording_plugin.log" in its plug-in folder, and answers as the real plug-in does once its
// wizards are built: StartProgress true, FinishProgress and AbortProgress PLUGIN_COMPLETED (the
// user's Finish after a failure) or PLUGIN_FAILED. The host-given language picks the answers
// of SelectLanguage: "cancel" gives PLUGIN_CANCELLED, "fail" PLUGIN_FAILED, anything else
// PLUGIN_OK; "end-cancel" makes FinishProgress report a cancel the user confirmed at the end.
// Built as the platform's compiler builds a plug-in, freestanding, like the host.
#include <windows.h>

#include "output_plugin.h"

void operator delete(void* p) noexcept {
    if (p != nullptr) HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }
inline void* operator new(size_t, void* where) noexcept { return where; }

extern "C" int __cdecl _purecall() {
    ExitProcess(99);
    return 0;
}

namespace {

class CRecordingPlugin : public COutputPlugin {
public:
    explicit CRecordingPlugin(const wchar_t* directory) {
        wchar_t path[MAX_PATH];
        int n = 0;
        for (; directory != nullptr && directory[n] != L'\0' && n < MAX_PATH - 40; ++n) {
            path[n] = directory[n];
        }
        if (n > 0 && path[n - 1] != L'\\') path[n++] = L'\\';
        for (const wchar_t* p = L"recording_plugin.log"; *p != L'\0'; ++p) path[n++] = *p;
        path[n] = L'\0';
        m_log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        Line("OutputPluginFactory", nullptr);
    }
    ~CRecordingPlugin() override {
        Line("Destroy", nullptr);
        if (m_log != INVALID_HANDLE_VALUE) CloseHandle(m_log);
    }

    bool Initialize(void*, const wchar_t* controlFilePath, bool skipWelcome,
                    bool allowCancel) override {
        Line("Initialize", Tail(controlFilePath), skipWelcome ? 1 : 0, allowCancel ? 1 : 0);
        return true;
    }
    int SelectLanguage(const wchar_t* productId, wchar_t* language, unsigned int size) override {
        Line("SelectLanguage", language, static_cast<long>(size));
        Line("Product", productId);
        if (Same(language, L"cancel")) return PLUGIN_CANCELLED;
        if (Same(language, L"fail") || language[0] == L'\0') return PLUGIN_FAILED;
        m_bCancelAtEnd = Same(language, L"end-cancel");
        return PLUGIN_OK;
    }
    bool StartProgress() override {
        Line("StartProgress", nullptr);
        return true;
    }
    int FinishProgress(bool success) override {
        Line("FinishProgress", nullptr, success ? 1 : 0);
        return m_bCancelAtEnd ? PLUGIN_CANCELLED : PLUGIN_COMPLETED;
    }
    int AbortProgress() override {
        Line("AbortProgress", nullptr);
        return PLUGIN_FAILED;
    }
    void SetStatusText(const wchar_t* text) override { Line("SetStatusText", text); }
    void ReportInstallStep(const wchar_t* text) override { Line("ReportInstallStep", text); }
    void ReportDownloadProgress(unsigned long done, unsigned long total, const wchar_t*) override {
        // Payloads of the tests are far below 2 GiB.
        Line("ReportDownloadProgress", nullptr, static_cast<long>(done), static_cast<long>(total));
    }
    void UpdateStatusText(const wchar_t* text) override { Line("UpdateStatusText", text); }
    int ShowMessage(const wchar_t* text, unsigned int) override {
        Line("ShowMessage", text);
        return IDOK;
    }

private:
    static bool Same(const wchar_t* a, const wchar_t* b) {
        while (*a != L'\0' && *a == *b) ++a, ++b;
        return *a == *b;
    }
    static const wchar_t* Tail(const wchar_t* path) {
        if (path == nullptr) return nullptr;
        const wchar_t* tail = path;
        for (const wchar_t* p = path; *p != L'\0'; ++p) {
            if (*p == L'\\') tail = p + 1;
        }
        return tail;
    }
    // "<what> [text] [numbers...]" as one ASCII line; other characters become "?".
    void Line(const char* what, const wchar_t* text, long a = -1, long b = -1) {
        char line[600];
        int n = 0;
        for (const char* p = what; *p != '\0'; ++p) line[n++] = *p;
        if (text != nullptr) {
            line[n++] = ' ';
            for (; *text != L'\0' && n < 540; ++text) {
                line[n++] = *text < 0x80 ? static_cast<char>(*text) : '?';
            }
        }
        const long values[] = {a, b};
        for (long value : values) {
            if (value < 0) continue;
            char digits[24];
            int d = 0;
            do {
                digits[d++] = static_cast<char>('0' + value % 10);
                value /= 10;
            } while (value != 0);
            line[n++] = ' ';
            while (d > 0) line[n++] = digits[--d];
        }
        line[n++] = '\n';
        DWORD written = 0;
        if (m_log != INVALID_HANDLE_VALUE) WriteFile(m_log, line, n, &written, nullptr);
    }

    HANDLE m_log = INVALID_HANDLE_VALUE;
    bool m_bCancelAtEnd = false;
};

}  // namespace

extern "C" __declspec(dllexport) COutputPlugin* OutputPluginFactory(const wchar_t* directory) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CRecordingPlugin));
    return memory != nullptr ? new (memory) CRecordingPlugin(directory) : nullptr;
}

extern "C" __declspec(dllexport) void FreeOutputPlugin(COutputPlugin* plugin) { delete plugin; }

extern "C" BOOL WINAPI RecordingPluginEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }
