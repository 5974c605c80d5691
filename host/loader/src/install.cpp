#include "install.h"

#include <shlobj.h>

namespace loader {

namespace {

// Creates every missing folder of path's parent chain below root (root itself included).
bool CreateFolders(const wchar_t* root, const wchar_t* path) {
    CPathText partial;
    const size_t rootLength = wcslen(root);
    for (size_t i = 0; path[i] != L'\0'; ++i) {
        if (path[i] == L'\\' && i >= rootLength && !partial.IsEmpty()) {
            // An existing folder (a drive, a share, the profile) is fine; a file of that name in
            // the way is not.
            if (!CreateDirectoryW(partial.c_str(), nullptr)) {
                const DWORD attributes = GetFileAttributesW(partial.c_str());
                if (attributes == INVALID_FILE_ATTRIBUTES ||
                    !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    return false;
                }
            }
        }
        partial.Append(path[i]);
    }
    return true;
}

bool WriteWholeFile(const wchar_t* path, const unsigned char* data, size_t size) {
    CHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!file.IsValid()) return false;
    while (size > 0) {
        const DWORD part = size > 1024 * 1024 ? 1024 * 1024 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file.Get(), data, part, &written, nullptr) || written != part) return false;
        data += part;
        size -= part;
    }
    return true;
}

bool FullPath(const wchar_t* folder, const wchar_t* name, CPathText& path) {
    path.Clear();
    path.Append(folder).AppendPath(name);
    return !path.IsCut();
}

// Removes the files of payload up to count, then the folders that are empty afterwards, deepest
// first, up to and including folder.
void RemoveInstalled(const CPayload& payload, unsigned count, const wchar_t* folder) {
    CPathText path;
    for (unsigned i = 0; i < count; ++i) {
        if (FullPath(folder, payload.Entry(i).name, path)) DeleteFileW(path.c_str());
    }
    const size_t rootLength = wcslen(folder);
    for (unsigned i = 0; i < count; ++i) {
        if (!FullPath(folder, payload.Entry(i).name, path)) continue;
        for (size_t n = path.Length(); n > rootLength; --n) {
            if (path.c_str()[n - 1] != L'\\') continue;
            path.Truncate(n - 1);
            // Fails, harmlessly, while the folder still holds something.
            RemoveDirectoryW(path.c_str());
        }
    }
    RemoveDirectoryW(folder);
}

// The file list's bytes: "name<TAB>size<CR><LF>" per file; names are ASCII (payload rules).
bool BuildFileList(const CPayload& payload, CByteBuffer& list) {
    for (unsigned i = 0; i < payload.Count(); ++i) {
        const PayloadEntry& entry = payload.Entry(i);
        char line[kMaxNameLength + 16];
        size_t n = 0;
        for (const wchar_t* p = entry.name; *p != L'\0'; ++p) line[n++] = static_cast<char>(*p);
        line[n++] = '\t';
        char digits[12];
        int d = 0;
        unsigned long size = entry.size;
        do {
            digits[d++] = static_cast<char>('0' + size % 10);
            size /= 10;
        } while (size != 0);
        while (d > 0) line[n++] = digits[--d];
        line[n++] = '\r';
        line[n++] = '\n';
        if (!list.Append(line, n)) return false;
    }
    return true;
}

}  // namespace

bool GetInstallFolder(const wchar_t* product, CPathText& folder) {
    wchar_t profile[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, profile)) ||
        profile[0] == L'\0') {
        return false;
    }
    folder.Clear();
    folder.Append(profile).AppendPath(L"Brisco").AppendPath(product);
    // Room for the names of the payload below it.
    return !folder.IsCut() && folder.Length() + 1 + kMaxNameLength < MAX_PATH;
}

InstallOutcome InstallPayload(const CPayload& payload, const wchar_t* folder, COutputPlugin* plugin,
                              HANDLE cancelEvent, CMessageText& reason) {
    CPathText listPath;
    if (!FullPath(folder, kFileListName, listPath) || !CreateFolders(L"", listPath.c_str())) {
        reason.Append(L"The install folder cannot be made: ").Append(folder);
        return InstallOutcome::kFailed;
    }
    if (!DeleteFileW(listPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        reason.Append(L"The earlier file list cannot be removed: ").Append(listPath.c_str());
        return InstallOutcome::kFailed;
    }

    CPathText path;
    for (unsigned i = 0; i < payload.Count(); ++i) {
        const PayloadEntry& entry = payload.Entry(i);
        if (cancelEvent != nullptr && WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0) {
            RemoveInstalled(payload, i, folder);
            return InstallOutcome::kCancelled;
        }
        CMessageText step;
        step.Append(L"Installing ").Append(entry.name);
        plugin->ReportInstallStep(step.c_str());
        if (!FullPath(folder, entry.name, path) || !CreateFolders(folder, path.c_str()) ||
            !WriteWholeFile(path.c_str(), entry.data, entry.size)) {
            reason.Append(L"The file cannot be written: ").Append(path.c_str());
            // The file that failed may be there in part.
            RemoveInstalled(payload, i + 1, folder);
            return InstallOutcome::kFailed;
        }
    }

    plugin->ReportInstallStep(L"Writing the file list");
    CByteBuffer list(static_cast<size_t>(payload.Count()) * (kMaxNameLength + 16));
    if (!BuildFileList(payload, list) ||
        !WriteWholeFile(listPath.c_str(), list.Data(), list.Size())) {
        reason.Append(L"The file list cannot be written: ").Append(listPath.c_str());
        DeleteFileW(listPath.c_str());
        RemoveInstalled(payload, payload.Count(), folder);
        return InstallOutcome::kFailed;
    }
    return InstallOutcome::kDone;
}

}  // namespace loader
