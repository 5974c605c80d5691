#include <windows.h>

#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kycplib/path.h"
#include "path_detail.h"
#include "test_support.h"

#ifndef STRUNCATE
#define STRUNCATE 80
#endif

using kycplib::AppendPath;
using kycplib::GetModuleDirectory;
using kycplib_test::ExeDirectory;
using kycplib_test::UniqueName;

namespace {

const wchar_t kGuard = L'#';
const size_t kGuardLength = 8;

// A buffer of exactly `capacity` characters holding `path`, followed by guard characters that
// must survive every call.
class GuardedBuffer {
public:
    GuardedBuffer(size_t capacity, const std::wstring& path)
        : m_capacity(capacity), m_data(capacity + kGuardLength, kGuard) {
        for (size_t i = 0; i < capacity; ++i) {
            m_data[i] = i < path.size() ? path[i] : L'\0';
        }
    }

    wchar_t* Get() { return m_data.data(); }
    std::wstring Text() const { return std::wstring(m_data.data()); }
    bool GuardsIntact() const {
        for (size_t i = m_capacity; i < m_data.size(); ++i) {
            if (m_data[i] != kGuard) {
                return false;
            }
        }
        return true;
    }

private:
    size_t m_capacity;
    std::vector<wchar_t> m_data;
};

struct AppendCase {
    const char* label;
    const wchar_t* path;
    size_t capacity;
    const wchar_t* name;
    const wchar_t* expected;
    int result;
};

class AppendPathRules : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendPathRules, ProducesTheExpectedPath) {
    const AppendCase& c = GetParam();
    GuardedBuffer buffer(c.capacity, c.path);
    EXPECT_EQ(AppendPath(buffer.Get(), c.capacity, c.name), c.result);
    EXPECT_EQ(buffer.Text(), std::wstring(c.expected));
    EXPECT_TRUE(buffer.GuardsIntact());
}

const AppendCase kAppendCases[] = {
    {"InsertsOneBackslash", L"C:\\dir", 260, L"file.txt", L"C:\\dir\\file.txt", 0},
    {"PathEndsInBackslash", L"C:\\dir\\", 260, L"file.txt", L"C:\\dir\\file.txt", 0},
    {"NameBeginsWithBackslash", L"C:\\dir", 260, L"\\file.txt", L"C:\\dir\\file.txt", 0},
    {"BothHaveBackslashKeepsThem", L"C:\\dir\\", 260, L"\\file.txt", L"C:\\dir\\\\file.txt", 0},
    {"NameWithSubdirectory", L"C:\\dir", 260, L"lang\\de.dll", L"C:\\dir\\lang\\de.dll", 0},
    {"EmptyNameStillGetsSeparator", L"C:\\dir", 260, L"", L"C:\\dir\\", 0},
    {"EmptyPathGetsNothing", L"", 260, L"file.txt", L"", EINVAL},
    {"ExactFit", L"C:\\dir", 9, L"x", L"C:\\dir\\x", 0},
    {"NameCut", L"C:\\dir", 10, L"file.txt", L"C:\\dir\\fi", STRUNCATE},
    {"OnlySeparatorFits", L"C:\\dir", 8, L"x", L"C:\\dir\\", STRUNCATE},
    {"NothingFitsAfterFullPath", L"C:\\dir", 7, L"x", L"C:\\dir", STRUNCATE},
    {"SeparatorCutWithEmptyName", L"C:\\dir", 7, L"", L"C:\\dir", STRUNCATE},
    {"FullPathWithBackslash", L"C:\\dir\\", 8, L"x", L"C:\\dir\\", STRUNCATE},
    {"CapacityOneHoldsOnlyTerminator", L"", 1, L"x", L"", EINVAL},
};

INSTANTIATE_TEST_SUITE_P(Cases, AppendPathRules, ::testing::ValuesIn(kAppendCases),
                         [](const ::testing::TestParamInfo<AppendCase>& info) {
                             return info.param.label;
                         });

TEST(AppendPath, LongResultIsCutToCapacityMinusOne) {
    std::wstring directory = L"C:\\" + std::wstring(250, L'd');
    GuardedBuffer buffer(MAX_PATH, directory);
    EXPECT_EQ(AppendPath(buffer.Get(), MAX_PATH, L"a-rather-long-file-name.dll"), STRUNCATE);
    std::wstring expected = (directory + L"\\a-rather-long-file-name.dll").substr(0, MAX_PATH - 1);
    EXPECT_EQ(buffer.Text(), expected);
    EXPECT_EQ(buffer.Text().size(), static_cast<size_t>(MAX_PATH - 1));
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(AppendPath, BadArgumentsLeaveTheBufferAlone) {
    GuardedBuffer buffer(16, L"C:\\dir");
    EXPECT_EQ(AppendPath(nullptr, 16, L"x"), EINVAL);
    EXPECT_EQ(AppendPath(buffer.Get(), 16, nullptr), EINVAL);
    EXPECT_EQ(AppendPath(buffer.Get(), 0, L"x"), EINVAL);
    EXPECT_EQ(buffer.Text(), L"C:\\dir");
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(AppendPath, PathNotTerminatedWithinCapacityIsRefused) {
    // Six characters in a capacity of six: no terminator inside the buffer.
    GuardedBuffer buffer(6, L"C:\\dir");
    EXPECT_EQ(AppendPath(buffer.Get(), 6, L"x"), EINVAL);
    EXPECT_EQ(std::wstring(buffer.Get(), 6), L"C:\\dir");
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(GetModuleDirectory, NullBufferOrZeroSizeIsBadArguments) {
    wchar_t buffer[MAX_PATH] = L"untouched";
    EXPECT_EQ(GetModuleDirectory(nullptr, nullptr, MAX_PATH),
              static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
    EXPECT_EQ(GetModuleDirectory(nullptr, buffer, 0), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
    EXPECT_STREQ(buffer, L"untouched");
}

TEST(GetModuleDirectory, NullModuleGivesTheExecutablesDirectory) {
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_EQ(GetModuleDirectory(nullptr, buffer, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(buffer), ExeDirectory());
    std::wstring program = std::wstring(buffer) + L"kycplib_path_test.exe";
    EXPECT_NE(GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(GetModuleDirectory, SystemModuleGivesTheSystemDirectory) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    wchar_t buffer[MAX_PATH] = {};
    ASSERT_EQ(GetModuleDirectory(GetModuleHandleW(L"kernel32.dll"), buffer, MAX_PATH), 0u);
    EXPECT_EQ(_wcsicmp(buffer, (std::wstring(system) + L"\\").c_str()), 0) << buffer;
}

TEST(GetModuleDirectory, UnknownModuleGivesTheSystemError) {
    wchar_t buffer[MAX_PATH] = L"untouched";
    // An address inside no module: this function's own frame.
    HMODULE notAModule = reinterpret_cast<HMODULE>(buffer);
    EXPECT_EQ(GetModuleDirectory(notAModule, buffer, MAX_PATH),
              static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(GetModuleDirectory, BufferTooSmallForTheFullPathGivesNoDirectory) {
    wchar_t full[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, full, MAX_PATH);
    ASSERT_GT(length, 3u);
    // Cut paths end in some backslash of a parent directory; none of them may come back.
    for (DWORD size : {length, length - 1, static_cast<DWORD>(4), static_cast<DWORD>(1)}) {
        std::vector<wchar_t> buffer(size, L'?');
        EXPECT_EQ(GetModuleDirectory(nullptr, buffer.data(), size),
                  static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER))
            << "size " << size;
        EXPECT_EQ(buffer[0], L'\0') << "size " << size;
    }
}

// A directory of the test's own directly below the drive root, removed with what it holds on
// every way out of the test.
class RootDirectory {
public:
    explicit RootDirectory(const std::wstring& drive) : m_path(drive + UniqueName(L"dir")) {}
    ~RootDirectory() {
        for (const std::wstring& file : m_files) {
            DeleteFileW(file.c_str());
        }
        RemoveDirectoryW(m_path.c_str());
    }
    RootDirectory(const RootDirectory&) = delete;
    RootDirectory& operator=(const RootDirectory&) = delete;

    const std::wstring& Path() const { return m_path; }
    bool Create() { return CreateDirectoryW(m_path.c_str(), nullptr) != FALSE; }
    bool CopyIn(const std::wstring& source, const std::wstring& path) {
        m_files.push_back(path);
        return CopyFileW(source.c_str(), path.c_str(), TRUE) != FALSE;
    }

private:
    std::wstring m_path;
    std::vector<std::wstring> m_files;
};

// A module loaded from a drive, one directory and a file name: the copied empty DLL.
TEST(GetModuleDirectory, ModuleInOneDirectoryBelowTheDriveRoot) {
    wchar_t windowsDir[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windowsDir, MAX_PATH), 2u);
    RootDirectory directory(std::wstring(windowsDir, 3));
    std::wstring dll = directory.Path() + L"\\empty.dll";
    ASSERT_TRUE(directory.Create()) << GetLastError();
    ASSERT_TRUE(directory.CopyIn(ExeDirectory() + L"kycplib_empty_module.dll", dll))
        << GetLastError();

    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_NE(module, nullptr) << GetLastError();
    wchar_t buffer[MAX_PATH] = {};
    DWORD result = GetModuleDirectory(module, buffer, MAX_PATH);
    FreeLibrary(module);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(_wcsicmp(buffer, (directory.Path() + L"\\").c_str()), 0) << buffer;
}

struct CutCase {
    const char* label;
    const wchar_t* path;
    DWORD result;
    const wchar_t* expected;
};

class DirectoryCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(DirectoryCut, KeepsEverythingUpToTheLastBackslash) {
    const CutCase& c = GetParam();
    std::vector<wchar_t> buffer(c.path, c.path + wcslen(c.path) + 1);
    EXPECT_EQ(kycplib::detail::CutAfterLastBackslash(buffer.data()), c.result);
    EXPECT_STREQ(buffer.data(), c.expected);
}

const CutCase kCutCases[] = {
    {"DriveDirectoryFile", L"C:\\dir\\file.dll", 0, L"C:\\dir\\"},
    {"DriveRootFile", L"C:\\file.dll", 0, L"C:\\"},
    {"DeepPath", L"C:\\a\\b\\c\\file.dll", 0, L"C:\\a\\b\\c\\"},
    {"UncPath", L"\\\\server\\share\\file.dll", 0, L"\\\\server\\share\\"},
    {"TrailingBackslash", L"C:\\dir\\", 0, L"C:\\dir\\"},
    {"NoBackslash", L"file.dll", ERROR_DIRECTORY, L"file.dll"},
    {"ForwardSlashesOnly", L"C:/dir/file.dll", ERROR_DIRECTORY, L"C:/dir/file.dll"},
    {"Empty", L"", ERROR_DIRECTORY, L""},
};

INSTANTIATE_TEST_SUITE_P(Cases, DirectoryCut, ::testing::ValuesIn(kCutCases),
                         [](const ::testing::TestParamInfo<CutCase>& info) {
                             return info.param.label;
                         });

}  // namespace
