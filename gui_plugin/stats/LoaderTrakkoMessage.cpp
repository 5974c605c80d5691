#include "LoaderTrakkoMessage.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <wchar.h>

#include <memory>
#include <new>
#include <string>

#include <wininet.h>

#include "StatsUrl.h"
#include "afxwin.h"
#include "fetchwell/loadercontrol.h"
#include "kycplib/path.h"
#include "stats_endpoint.h"

namespace {

// Each phase of a request gives up after this long, so that no request thread lives for ever
// (WinINet's own defaults reach minutes, or never end while a server keeps the connection open).
constexpr DWORD kRequestTimeoutMs = 10000;

// The lock of the statistics language and of loading WinINet, made on first use and destroyed
// with the module. Request threads never take it.
class StatsLock {
public:
    StatsLock() { InitializeCriticalSection(&m_section); }
    ~StatsLock() { DeleteCriticalSection(&m_section); }
    StatsLock(const StatsLock&) = delete;
    StatsLock& operator=(const StatsLock&) = delete;
    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

StatsLock& GlobalLock() {
    static StatsLock lock;
    return lock;
}

class LockScope {
public:
    explicit LockScope(StatsLock& lock) : m_lock(lock) { m_lock.Enter(); }
    ~LockScope() { m_lock.Leave(); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

private:
    StatsLock& m_lock;
};

CString& StatsLanguage() {
    static CString language;
    return language;
}

#if defined(KY_TEST_HOOKS)
std::wstring g_directoryForTesting;
bool g_forceRandomFallback = false;
bool g_skipModuleReference = false;
#endif

// The directory GetHostBuild and GetStatsProductId read from, with its trailing backslash.
bool GetStatsDirectory(wchar_t* buffer, DWORD size) {
#if defined(KY_TEST_HOOKS)
    if (!g_directoryForTesting.empty()) {
        if (g_directoryForTesting.size() >= size) return false;
        wcscpy(buffer, g_directoryForTesting.c_str());
        return true;
    }
#endif
    return kycplib::GetModuleDirectory(nullptr, buffer, size) == 0;
}

// Full path of a file beside the process's executable; false when it does not fit whole.
bool GetStatsFilePath(const wchar_t* name, wchar_t* buffer, DWORD size) {
    if (!GetStatsDirectory(buffer, size)) return false;
    return kycplib::AppendPath(buffer, size, name) == 0;
}

CString GetStatsEndpoint() {
#if defined(KY_TEST_HOOKS)
    wchar_t value[512];
    DWORD length = GetEnvironmentVariableW(L"KY_STATS_URL_FOR_TESTING", value, 512);
    if (length < 512 && (length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND)) {
        return CString(value, static_cast<int>(length));
    }
#endif
    return CString(KY_STATS_ENDPOINT);
}

// The few WinINet functions a request uses, from the system folder's wininet.dll, loaded on the
// first request and kept for the process (WinINet keeps threads and state of its own).
struct WinInetApi {
    using OpenFn = HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD);
    using CrackUrlFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPURL_COMPONENTSW);
    using ConnectFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, INTERNET_PORT, LPCWSTR, LPCWSTR, DWORD,
                                         DWORD, DWORD_PTR);
    using OpenRequestFn = HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                             LPCWSTR*, DWORD, DWORD_PTR);
    using SendRequestFn = BOOL(WINAPI*)(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD);
    using SetOptionFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
    using QueryInfoFn = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
    using CloseHandleFn = BOOL(WINAPI*)(HINTERNET);

    OpenFn OpenW;
    CrackUrlFn CrackUrlW;
    ConnectFn ConnectW;
    OpenRequestFn OpenRequestW;
    SendRequestFn SendRequestW;
    SetOptionFn SetOptionW;
    QueryInfoFn QueryInfoW;
    CloseHandleFn CloseHandle;
};

template <typename T>
bool Resolve(HMODULE module, const char* name, T& out) {
    out = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return out != nullptr;
}

const WinInetApi* GetWinInet() {
    static WinInetApi api;
    static bool tried = false;
    static bool loaded = false;
    LockScope scope(GlobalLock());
    if (!tried) {
        tried = true;
        HMODULE module = AfxLoadSystemLibrary(L"wininet.dll");
        if (module != nullptr) {
            loaded = Resolve(module, "InternetOpenW", api.OpenW) &&
                     Resolve(module, "InternetCrackUrlW", api.CrackUrlW) &&
                     Resolve(module, "InternetConnectW", api.ConnectW) &&
                     Resolve(module, "HttpOpenRequestW", api.OpenRequestW) &&
                     Resolve(module, "HttpSendRequestW", api.SendRequestW) &&
                     Resolve(module, "InternetSetOptionW", api.SetOptionW) &&
                     Resolve(module, "HttpQueryInfoW", api.QueryInfoW) &&
                     Resolve(module, "InternetCloseHandle", api.CloseHandle);
            if (!loaded) FreeLibrary(module);
        }
    }
    return loaded ? &api : nullptr;
}

// The one owner of a WinINet handle.
class InternetHandle {
public:
    InternetHandle(const WinInetApi& api, HINTERNET handle) : m_api(api), m_handle(handle) {}
    ~InternetHandle() {
        if (m_handle != nullptr) m_api.CloseHandle(m_handle);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET Get() const { return m_handle; }

private:
    const WinInetApi& m_api;
    HINTERNET m_handle;
};

struct RequestJob {
    std::wstring url;
    const WinInetApi* api;
    // The thread's reference to this module, released as the thread ends.
    HMODULE module;
};

// Sets the time-outs on a handle. They are set on every handle of the request: Windows passes
// those of the session on to the handles made from it, Wine starts a connection's send and
// receive time-outs at "none" whatever the session says.
void SetTimeOuts(const WinInetApi& api, HINTERNET handle) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT}) {
        DWORD timeout = kRequestTimeoutMs;
        api.SetOptionW(handle, option, &timeout, sizeof(timeout));
    }
}

void RunRequest(const RequestJob& job) {
    const WinInetApi& api = *job.api;
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
    parts.dwUrlPathLength = 1;  // pointers into the URL
    parts.dwExtraInfoLength = 1;
    if (!api.CrackUrlW(job.url.c_str(), 0, 0, &parts) || parts.lpszUrlPath == nullptr) return;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return;
    // Path and query run together to the end of the URL.
    const wchar_t* target = parts.lpszUrlPath;

    InternetHandle session(api, api.OpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get() == nullptr) return;
    SetTimeOuts(api, session.Get());
    InternetHandle connection(api, api.ConnectW(session.Get(), host, parts.nPort, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
    if (connection.Get() == nullptr) return;
    SetTimeOuts(api, connection.Get());
    // Every request must reach the server, also when an identical one went before it (the same
    // step twice in one run); no dialog may ever come up from a request thread. Certificate
    // errors of an https endpoint fail the request: no flag ignores them.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(api, api.OpenRequestW(connection.Get(), L"GET", target, nullptr, nullptr,
                                                 nullptr, flags, 0));
    if (request.Get() == nullptr) return;
    SetTimeOuts(api, request.Get());
    if (!api.SendRequestW(request.Get(), nullptr, 0, nullptr, 0)) return;
    wchar_t status[100] = {};
    DWORD size = sizeof(status);
    DWORD index = 0;
    if (api.QueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE, status, &size, &index)) {
        // The answer's status is read and dropped: a report has nothing to do with it.
        static_cast<void>(wcstoul(status, nullptr, 10));
    }
}

DWORD WINAPI RequestThread(void* parameter) {
    HMODULE module;
    {
        std::unique_ptr<RequestJob> job(static_cast<RequestJob*>(parameter));
        module = job->module;
        RunRequest(*job);
    }
    // The host may have unloaded the plug-in after its bounded wait: the module stays mapped
    // through this thread's reference, which is released in the same call that ends the thread,
    // so no code of the module runs after it.
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
}

// The method for when the system's generator is missing: ten timer-seeded values of the C
// runtime's generator, each below 0x8000, so four hexadecimal digits each.
void MakeTimerSeededId(wchar_t* buffer, unsigned long size) {
    unsigned values[10];
    for (unsigned& value : values) {
        LARGE_INTEGER counter;
        unsigned seed = QueryPerformanceCounter(&counter) ? static_cast<unsigned>(counter.LowPart)
                                                          : static_cast<unsigned>(clock());
        srand(seed);
        value = static_cast<unsigned>(rand()) & 0x7FFF;
        Sleep(25);
    }
    _snwprintf(buffer, size, L"%04x%04x%04x%04x%04x%04x%04x%04x%04x%04x", values[0], values[1],
               values[2], values[3], values[4], values[5], values[6], values[7], values[8],
               values[9]);
}

// 20 bytes of the system's cryptographic generator (advapi32's RtlGenRandom, on every Windows
// since XP) as 40 hexadecimal digits; false when it is not there or fails.
bool MakeSystemRandomId(wchar_t* buffer) {
#if defined(KY_TEST_HOOKS)
    if (g_forceRandomFallback) return false;
#endif
    HMODULE module = AfxLoadSystemLibrary(L"advapi32.dll");
    if (module == nullptr) return false;
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    GenRandom genRandom = nullptr;
    unsigned char bytes[20];
    bool ok = Resolve(module, "SystemFunction036", genRandom) && genRandom(bytes, sizeof(bytes));
    FreeLibrary(module);
    if (!ok) return false;
    static const wchar_t kHex[] = L"0123456789abcdef";
    // The caller made sure of 41 characters.
    for (size_t i = 0; i < sizeof(bytes); ++i) {
        buffer[2 * i] = kHex[bytes[i] >> 4];
        buffer[2 * i + 1] = kHex[bytes[i] & 0x0F];
    }
    buffer[40] = L'\0';
    return true;
}

}  // namespace

// ---- Statistics language ----

CString GetStatsLanguage() {
    LockScope scope(GlobalLock());
    return StatsLanguage();
}

void SetStatsLanguage(const wchar_t* language) {
    LockScope scope(GlobalLock());
    StatsLanguage() = language;
}

// ---- LoaderTrakkoMessage ----

LoaderTrakkoMessage::LoaderTrakkoMessage() {
    wchar_t code[64] = {};
    MyLANGIDToISO3166(GetUserDefaultUILanguage(), code, 64, 0);
    LockScope scope(GlobalLock());
    if (StatsLanguage().IsEmpty()) StatsLanguage() = code;
}

LoaderTrakkoMessage::~LoaderTrakkoMessage() = default;

void LoaderTrakkoMessage::Send(const wchar_t* action) {
    CString endpoint = GetStatsEndpoint();
    if (endpoint.IsEmpty()) return;
    const WinInetApi* api = GetWinInet();
    if (api == nullptr) return;

    CString language = GetStatsLanguage();
    CString productId = GetStatsProductId();
    wchar_t lngprod[32] = {};
    ConvertProductLanguageForUserAgent(language, lngprod, 32);
    TrakkoRequest* registry = TrakkoRequest::GetInstance();
    CString build = GetHostBuild();

    std::unique_ptr<RequestJob> job(new (std::nothrow) RequestJob);
    if (!job) return;
    job->url =
        kystats::BuildStatsUrl(endpoint, {lngprod, productId, build, registry->m_randomId, action});
    job->api = api;
    job->module = nullptr;
    bool holdModule = true;
#if defined(KY_TEST_HOOKS)
    holdModule = !g_skipModuleReference;
#endif
    // The reference is taken here, before the thread exists, so that the module cannot go
    // between the thread's start and its first instruction.
    if (holdModule &&
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&RequestThread), &job->module)) {
        return;
    }
    HMODULE module = job->module;
    HANDLE thread = CreateThread(nullptr, 0, RequestThread, job.get(), 0, nullptr);
    if (thread == nullptr) {
        if (module != nullptr) FreeLibrary(module);
        return;
    }
    job.release();  // the thread owns it now
    registry->AddThread(thread);
}

// ---- TrakkoRequest ----

TrakkoRequest* TrakkoRequest::GetInstance() {
    // Made on first use, destroyed when the module goes (process exit or the last unload).
    static TrakkoRequest instance;
    return &instance;
}

TrakkoRequest::TrakkoRequest() {
    InitializeCriticalSection(&m_lock);
    unsigned long size = 0;
    if (MakeRandomId(nullptr, &size) != ERROR_MORE_DATA) return;
    std::wstring id(size, L'\0');
    if (MakeRandomId(&id[0], &size) == 0) m_randomId = id.c_str();
}

TrakkoRequest::~TrakkoRequest() {
    // Runs as the module goes: at process exit the other threads are gone already, at the last
    // unload every request thread has ended (each held the module). Nothing waits here.
    for (HANDLE thread : m_threads) CloseHandle(thread);
    DeleteCriticalSection(&m_lock);
}

void TrakkoRequest::DropEndedThreads() {
    size_t kept = 0;
    for (HANDLE thread : m_threads) {
        if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
            CloseHandle(thread);
        } else {
            m_threads[kept++] = thread;
        }
    }
    m_threads.resize(kept);
}

void TrakkoRequest::AddThread(HANDLE thread) {
    EnterCriticalSection(&m_lock);
    DropEndedThreads();
    try {
        m_threads.push_back(thread);
    } catch (const std::bad_alloc&) {
        // Not tracked: the thread still ends by itself, only the final wait will not see it.
        CloseHandle(thread);
    }
    LeaveCriticalSection(&m_lock);
}

size_t TrakkoRequest::GetThreadCount() {
    EnterCriticalSection(&m_lock);
    DropEndedThreads();
    size_t count = m_threads.size();
    LeaveCriticalSection(&m_lock);
    return count;
}

bool TrakkoRequest::WaitForAll(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        // Copies of up to one wait's worth of handles: a Send on another thread may drop (and
        // close) ended threads while this one waits, and must not close what is waited on.
        HANDLE batch[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        EnterCriticalSection(&m_lock);
        DropEndedThreads();
        HANDLE process = GetCurrentProcess();
        for (HANDLE thread : m_threads) {
            if (count == MAXIMUM_WAIT_OBJECTS) break;
            if (DuplicateHandle(process, thread, process, &batch[count], SYNCHRONIZE, FALSE, 0)) {
                ++count;
            }
        }
        LeaveCriticalSection(&m_lock);
        if (count == 0) return true;
        DWORD elapsed = GetTickCount() - start;
        DWORD result = WAIT_TIMEOUT;
        if (elapsed < timeoutMs) {
            result = WaitForMultipleObjects(count, batch, TRUE, timeoutMs - elapsed);
        }
        for (DWORD i = 0; i < count; ++i) CloseHandle(batch[i]);
        if (result == WAIT_TIMEOUT || result == WAIT_FAILED) return false;
    }
}

// ---- Host build, product id, random id ----

CString GetHostBuild() {
    CString build;
    wchar_t path[MAX_PATH];
    if (!GetStatsFilePath(L"fetchwell.exe", path, MAX_PATH)) return build;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return build;
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size]);
    if (!data || !GetFileVersionInfoW(path, 0, size, data.get())) return build;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&info), &length) ||
        info == nullptr || length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD) {
        return build;
    }
    build.Format(L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                 HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    return build;
}

CString GetStatsProductId() {
    CString productId;
    wchar_t path[MAX_PATH];
    if (!GetStatsFilePath(L"loadercontrol.xml", path, MAX_PATH)) return productId;
    CXMLFile* file = CXMLFile::Create(path);
    if (file == nullptr) return productId;
    CLoaderControlFile* controlFile = CLoaderControlFile::GetInstance(file);
    if (controlFile != nullptr && file->getXMLTree() != nullptr) {
        const wchar_t* id = controlFile->getFirstProductID();
        if (id != nullptr) productId = id;
    }
    CXMLFile::Delete(file);
    return productId;
}

DWORD MakeRandomId(wchar_t* buffer, unsigned long* size) {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    if (buffer == nullptr || *size < 41) {
        *size = 41;
        return ERROR_MORE_DATA;
    }
    if (!MakeSystemRandomId(buffer)) MakeTimerSeededId(buffer, *size);
    return 0;
}

#if defined(KY_TEST_HOOKS)
void SetStatsDirectoryForTesting(const wchar_t* directory) {
    g_directoryForTesting = directory ? directory : L"";
}
void ForceRandomFallbackForTesting(bool force) { g_forceRandomFallback = force; }
void SkipModuleReferenceForTesting(bool skip) { g_skipModuleReference = skip; }
CString GetStatsEndpointForTesting() { return GetStatsEndpoint(); }
#endif
