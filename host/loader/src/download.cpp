#include "download.h"

#include <wininet.h>

namespace loader {

namespace {

constexpr DWORD kChunkBytes = 16 * 1024;
// A server that stops sending for this long fails the download.
constexpr DWORD kTimeoutMs = 30000;

class CInternetHandle {
public:
    explicit CInternetHandle(HINTERNET handle) : m_handle(handle) {}
    ~CInternetHandle() {
        if (m_handle != nullptr) InternetCloseHandle(m_handle);
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    HINTERNET Get() const { return m_handle; }

private:
    HINTERNET m_handle;
};

bool IsCancelled(HANDLE cancelEvent) {
    return cancelEvent != nullptr && WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0;
}

// The count as the plug-in's 32-bit arguments carry it (payloads are far below 4 GiB).
unsigned long Bytes(size_t count) { return static_cast<unsigned long>(count); }

}  // namespace

DownloadOutcome DownloadPayload(const wchar_t* url, COutputPlugin* plugin, HANDLE cancelEvent,
                                CByteBuffer& out, CMessageText& reason) {
    CInternetHandle session(
        InternetOpenW(L"fetchwell", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.Get() == nullptr) {
        reason.Append(L"The internet functions cannot be used (error ")
            .AppendNumber(GetLastError())
            .Append(L").");
        return DownloadOutcome::kFailed;
    }
    DWORD timeout = kTimeoutMs;
    InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
    InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));

    // Always from the server: a cached copy could be an older or a broken payload.
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_COOKIES;
    CInternetHandle request(InternetOpenUrlW(session.Get(), url, nullptr, 0, flags, 0));
    if (request.Get() == nullptr) {
        reason.Append(L"The payload cannot be requested (error ")
            .AppendNumber(GetLastError())
            .Append(L").");
        return DownloadOutcome::kFailed;
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr) ||
        status != 200) {
        reason.Append(L"The server answered ").AppendNumber(status).Append(L" for the payload.");
        return DownloadOutcome::kFailed;
    }
    DWORD announced = 0;
    size = sizeof(announced);
    const bool hasLength =
        HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                       &announced, &size, nullptr) != FALSE;
    if (hasLength && (announced == 0 || announced > kMaxPayloadBytes || !out.Reserve(announced))) {
        reason.Append(L"The server announced a payload of ")
            .AppendNumber(announced)
            .Append(L" bytes, which cannot be taken.");
        return DownloadOutcome::kFailed;
    }

    unsigned char* chunk = static_cast<unsigned char*>(HeapAllocate(kChunkBytes));
    if (chunk == nullptr) {
        reason.Append(L"Out of memory.");
        return DownloadOutcome::kFailed;
    }
    DownloadOutcome outcome = DownloadOutcome::kDone;
    plugin->ReportDownloadProgress(0, hasLength ? announced : 0, nullptr);
    for (;;) {
        if (IsCancelled(cancelEvent)) {
            outcome = DownloadOutcome::kCancelled;
            break;
        }
        DWORD read = 0;
        if (!InternetReadFile(request.Get(), chunk, kChunkBytes, &read)) {
            reason.Append(L"The download broke off after ")
                .AppendNumber(out.Size())
                .Append(L" bytes (error ")
                .AppendNumber(GetLastError())
                .Append(L").");
            outcome = DownloadOutcome::kFailed;
            break;
        }
        if (read == 0) break;
        if ((hasLength && out.Size() + read > announced) || !out.Append(chunk, read)) {
            reason.Append(L"The payload is larger than announced or than the loader takes.");
            outcome = DownloadOutcome::kFailed;
            break;
        }
        plugin->ReportDownloadProgress(Bytes(out.Size()), hasLength ? announced : Bytes(out.Size()),
                                       nullptr);
    }
    HeapRelease(chunk);
    if (outcome != DownloadOutcome::kDone) return outcome;
    if (hasLength && out.Size() != announced) {
        // A connection that ends early reads as a normal end: only the count tells.
        reason.Append(L"The download ended after ")
            .AppendNumber(out.Size())
            .Append(L" of ")
            .AppendNumber(announced)
            .Append(L" bytes.");
        return DownloadOutcome::kFailed;
    }
    if (out.Size() == 0) {
        reason.Append(L"The server sent an empty payload.");
        return DownloadOutcome::kFailed;
    }
    return DownloadOutcome::kDone;
}

}  // namespace loader
