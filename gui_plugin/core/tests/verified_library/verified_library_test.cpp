// LoadVerifiedLibrary under Wine: its refusal table on real signed and unsigned DLLs, and a file
// swapped in between the check and the load that cannot be loaded.
#include "sample_files.h"
#include "verified_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int kGenuine = 1;  // identity of the signed sample DLLs
constexpr int kImpostor = 2;

using kysig_test::ProgramDir;
using kysig_test::WorkDir;

fs::path Built(const char* name) { return ProgramDir() / "verified-library" / name; }

// A private copy, so that each case loads a module of its own path.
fs::path CopyOf(const char* built, const std::string& name) {
    const fs::path to = WorkDir() / name;
    fs::copy_file(Built(built), to, fs::copy_options::overwrite_existing);
    return to;
}

int Identity(HMODULE module) {
    using Fn = int (*)();
    Fn fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, "KySampleIdentity")));
    return fn ? fn() : 0;
}

struct Refusal {
    const char* name;
    std::wstring (*path)();
    bool verify;
    DWORD error;
};

const Refusal kRefusals[] = {
    {"NoPathGivesBadArguments", nullptr, true, ERROR_BAD_ARGUMENTS},
    {"BareNameRefusedEvenWithoutCheck", [] { return std::wstring(L"user32.dll"); }, false,
     kVerifiedLibraryNotAbsolute},
    {"RelativePathRefused", [] { return std::wstring(L"verified-library\\signed.dll"); }, true,
     kVerifiedLibraryNotAbsolute},
    {"RootedPathWithoutDriveRefused",
     [] { return std::wstring(L"\\windows\\system32\\user32.dll"); }, false,
     kVerifiedLibraryNotAbsolute},
    {"OverlongPathCannotBeSplit", [] { return L"C:\\" + std::wstring(300, L'a') + L".dll"; }, false,
     kVerifiedLibraryCannotSplit},
    {"UnsignedLibraryRefused",
     [] { return CopyOf("unsigned.dll", "refused-unsigned.dll").wstring(); }, true,
     kVerifiedLibraryRefused},
    {"MissingLibraryRefused", [] { return (WorkDir() / "missing.dll").wstring(); }, true,
     kVerifiedLibraryRefused},
    {"ChangedLibraryRefused",
     [] {
         const fs::path p = CopyOf("signed.dll", "refused-changed.dll");
         FILE* f = _wfopen(p.c_str(), L"r+b");
         fseek(f, 0x500, SEEK_SET);
         const int c = fgetc(f);
         fseek(f, 0x500, SEEK_SET);
         fputc(c ^ 0x5A, f);
         fclose(f);
         return p.wstring();
     },
     true, kVerifiedLibraryRefused},
};

class LoadVerifiedLibraryRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(LoadVerifiedLibraryRefusals, ReturnsNullWithItsLastError) {
    const Refusal& r = GetParam();
    const std::wstring path = r.path ? r.path() : std::wstring();
    SetLastError(0);
    HMODULE module = LoadVerifiedLibrary(r.path ? path.c_str() : nullptr, nullptr, 0, r.verify);
    const DWORD error = GetLastError();
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(error, r.error);
    if (module) FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(Paths, LoadVerifiedLibraryRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.name);
                         });

struct Load {
    const char* name;
    const char* built;
    bool verify;
    bool unc;  // through the "\\?\" form, which starts with two backslashes like a UNC path
};

const Load kLoads[] = {
    {"SignedLibraryLoads", "signed.dll", true, false},
    {"LegacyKeyLibraryLoads", "legacy-key.dll", true, false},
    {"UnsignedLibraryLoadsWithoutCheck", "unsigned.dll", false, false},
    {"SignedLibraryLoadsByBackslashPath", "signed.dll", true, true},
};

class LoadVerifiedLibraryLoads : public ::testing::TestWithParam<Load> {};

TEST_P(LoadVerifiedLibraryLoads, ReturnsTheModule) {
    const Load& l = GetParam();
    std::wstring path = CopyOf(l.built, std::string("load-") + l.name + ".dll").wstring();
    if (l.unc) path = L"\\\\?\\" + path;
    HMODULE module = LoadVerifiedLibrary(path.c_str(), nullptr, 0, l.verify);
    ASSERT_NE(module, nullptr) << "last error " << GetLastError();
    EXPECT_EQ(Identity(module), std::string(l.built) == "unsigned.dll" ? kImpostor : kGenuine);
    FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(Libraries, LoadVerifiedLibraryLoads, ::testing::ValuesIn(kLoads),
                         [](const ::testing::TestParamInfo<Load>& info) {
                             return std::string(info.param.name);
                         });

// --- Paths under which the loader would open another file than the check -----------------------

// A signed file "de" with an unsigned "de.dll" beside it: the loader would add ".dll" and load
// the unsigned one. The same for a drive-relative name, which the current folder resolves.
struct OtherFile {
    const char* name;
    std::wstring (*path)(const fs::path& folder);
    DWORD error;
};

const OtherFile kOtherFiles[] = {
    {"NameWithoutExtension", [](const fs::path& folder) { return (folder / "de").wstring(); },
     kVerifiedLibraryCannotSplit},
    {"NameWithoutExtensionByForwardSlash",
     [](const fs::path& folder) { return folder.wstring() + L"/de"; }, kVerifiedLibraryCannotSplit},
    {"DriveRelativeName",
     [](const fs::path& folder) { return folder.wstring().substr(0, 2) + L"de.dll"; },
     kVerifiedLibraryNotAbsolute},
    {"StreamOfTheSignedFile",
     [](const fs::path& folder) { return (folder / "de").wstring() + L":x.dll"; },
     kVerifiedLibraryCannotSplit},
};

class LoadVerifiedLibraryOtherFile : public ::testing::TestWithParam<OtherFile> {};

TEST_P(LoadVerifiedLibraryOtherFile, IsRefusedAndNothingLoads) {
    const OtherFile& o = GetParam();
    const fs::path folder = WorkDir() / (std::string("other-") + o.name);
    fs::create_directories(folder);
    fs::copy_file(Built("signed.dll"), folder / "de", fs::copy_options::overwrite_existing);
    fs::copy_file(Built("impostor.dll"), folder / "de.dll", fs::copy_options::overwrite_existing);
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    const std::wstring path = o.path(folder);
    SetLastError(0);
    HMODULE module = LoadVerifiedLibrary(path.c_str(), nullptr, 0, true);
    const DWORD error = GetLastError();
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(error, o.error);
    EXPECT_EQ(GetModuleHandleW((folder / "de.dll").c_str()), nullptr);
    if (module) FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(Paths, LoadVerifiedLibraryOtherFile, ::testing::ValuesIn(kOtherFiles),
                         [](const ::testing::TestParamInfo<OtherFile>& info) {
                             return std::string(info.param.name);
                         });

// The control: the same signed file under a name with its extension loads.
TEST(LoadVerifiedLibrary, SignedFileWithExtensionBesideImpostorLoads) {
    const fs::path folder = WorkDir() / "other-control";
    fs::create_directories(folder);
    fs::copy_file(Built("signed.dll"), folder / "de.dll", fs::copy_options::overwrite_existing);
    fs::copy_file(Built("impostor.dll"), folder / "de.dll.dll",
                  fs::copy_options::overwrite_existing);
    HMODULE module = LoadVerifiedLibrary((folder / "de.dll").c_str(), nullptr, 0, true);
    ASSERT_NE(module, nullptr) << "last error " << GetLastError();
    EXPECT_EQ(Identity(module), kGenuine);
    FreeLibrary(module);
}

// A library already loaded under that path goes to the loader without a check.
TEST(LoadVerifiedLibrary, AlreadyLoadedLibrarySkipsTheCheck) {
    const std::wstring path = CopyOf("unsigned.dll", "already-loaded.dll").wstring();
    HMODULE first = LoadLibraryW(path.c_str());
    ASSERT_NE(first, nullptr);
    HMODULE again = LoadVerifiedLibrary(path.c_str(), nullptr, 0, true);
    EXPECT_EQ(again, first);
    if (again) FreeLibrary(again);
    FreeLibrary(first);
}

// A file that passes the check but is no library: the loader's own last-error value stands.
TEST(LoadVerifiedLibrary, LoaderFailureKeepsItsOwnLastError) {
    const fs::path path = WorkDir() / "signed-text.dll";
    fs::copy_file(ProgramDir() / "verify-samples" / "payload.b", path,
                  fs::copy_options::overwrite_existing);
    SetLastError(0);
    EXPECT_EQ(LoadVerifiedLibrary(path.c_str(), nullptr, 0, true), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}

// --- The swap between the check and the load --------------------------------------------------

struct SwapAttempts {
    std::wstring impostor;
    bool replaced = false;
    bool openedForWriting = false;
    bool renamed = false;
    bool deleted = false;
    bool ran = false;
};
SwapAttempts g_swap;

// Everything another process could do to put a different file under the checked path.
void TrySwap(LPCWSTR path) {
    g_swap.ran = true;
    g_swap.replaced =
        MoveFileExW(g_swap.impostor.c_str(), path, MOVEFILE_REPLACE_EXISTING) != FALSE;
    HANDLE h =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    g_swap.openedForWriting = h != INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) {
        CopyFileW(g_swap.impostor.c_str(), path, FALSE);
        CloseHandle(h);
    }
    const std::wstring aside = std::wstring(path) + L".aside";
    g_swap.renamed = MoveFileW(path, aside.c_str()) != FALSE;
    if (g_swap.renamed) CopyFileW(g_swap.impostor.c_str(), path, FALSE);
    g_swap.deleted = !g_swap.renamed && DeleteFileW(path) != FALSE;
    if (g_swap.deleted) CopyFileW(g_swap.impostor.c_str(), path, FALSE);
}

TEST(LoadVerifiedLibrary, FileSwappedAfterTheCheckCannotBeLoaded) {
    const fs::path target = CopyOf("signed.dll", "swap-target.dll");
    g_swap = SwapAttempts();
    g_swap.impostor = CopyOf("impostor.dll", "swap-impostor.dll").wstring();
    SetVerifiedLibraryCheckedHookForTesting(TrySwap);
    HMODULE module = LoadVerifiedLibrary(target.c_str(), nullptr, 0, true);
    SetVerifiedLibraryCheckedHookForTesting(nullptr);
    ASSERT_TRUE(g_swap.ran);
    EXPECT_FALSE(g_swap.replaced);
    EXPECT_FALSE(g_swap.openedForWriting);
    EXPECT_FALSE(g_swap.renamed);
    EXPECT_FALSE(g_swap.deleted);
    ASSERT_NE(module, nullptr) << "last error " << GetLastError();
    EXPECT_EQ(Identity(module), kGenuine);
    FreeLibrary(module);
}

// The same swap, with nothing holding the file, does replace it: the attempts above are real.
TEST(LoadVerifiedLibrary, SwapSucceedsWhenTheFileIsNotHeld) {
    const fs::path target = CopyOf("signed.dll", "swap-unheld.dll");
    g_swap = SwapAttempts();
    g_swap.impostor = CopyOf("impostor.dll", "swap-impostor2.dll").wstring();
    TrySwap(target.c_str());
    EXPECT_TRUE(g_swap.replaced);
    // And what was swapped in is then refused.
    SetLastError(0);
    EXPECT_EQ(LoadVerifiedLibrary(target.c_str(), nullptr, 0, true), nullptr);
    EXPECT_EQ(GetLastError(), kVerifiedLibraryRefused);
}

// A file that someone holds open for writing cannot be held still, so it is refused.
TEST(LoadVerifiedLibrary, FileOpenForWritingIsRefused) {
    const fs::path target = CopyOf("signed.dll", "held-for-writing.dll");
    HANDLE writer = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_EQ(LoadVerifiedLibrary(target.c_str(), nullptr, 0, true), nullptr);
    EXPECT_EQ(GetLastError(), kVerifiedLibraryRefused);
    CloseHandle(writer);
}

}  // namespace
