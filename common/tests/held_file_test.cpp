// A file held for its check cannot be swapped before it is started, yet the check and the start
// still get to read it.
#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <functional>
#include <ostream>
#include <string>

#include "kycplib/held_file.h"
#include "kycplib/sync.h"

using kycplib::CHeldFile;

namespace {

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path);
    return directory.substr(0, directory.find_last_of(L'\\') + 1);
}

// A fresh folder with a copy of the probe program (a real program to start) and a second file
// to swap in.
class HeldFileTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = OwnDirectory() + L"kycplib_held_file\\";
        CreateDirectoryW(folder_.c_str(), nullptr);
        held_ = folder_ + L"held.exe";
        other_ = folder_ + L"other.exe";
        moved_ = folder_ + L"moved.exe";
        DeleteFileW(moved_.c_str());
        std::wstring standIn = OwnDirectory() + L"kycplib_probe.exe";
        ASSERT_TRUE(CopyFileW(standIn.c_str(), held_.c_str(), FALSE)) << GetLastError();
        ASSERT_TRUE(CopyFileW(standIn.c_str(), other_.c_str(), FALSE)) << GetLastError();
    }

    std::wstring folder_, held_, other_, moved_;
};

struct SwapAttempt {
    const char* name;
    // Returns the error of the attempt (0: it went through).
    std::function<DWORD(const std::wstring& held, const std::wstring& other,
                        const std::wstring& moved)>
        attempt;
};

void PrintTo(const SwapAttempt& c, std::ostream* out) { *out << c.name; }

DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }

const SwapAttempt kSwapAttempts[] = {
    {"OpenForWriting",
     [](const std::wstring& held, const std::wstring&, const std::wstring&) {
         HANDLE file = CreateFileW(held.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
         if (file == INVALID_HANDLE_VALUE) {
             return GetLastError();
         }
         CloseHandle(file);
         return DWORD{0};
     }},
    {"Delete", [](const std::wstring& held, const std::wstring&,
                  const std::wstring&) { return ErrorOf(DeleteFileW(held.c_str())); }},
    {"RenameAway",
     [](const std::wstring& held, const std::wstring&, const std::wstring& moved) {
         return ErrorOf(MoveFileW(held.c_str(), moved.c_str()));
     }},
    {"ReplaceByMove",
     [](const std::wstring& held, const std::wstring& other, const std::wstring&) {
         return ErrorOf(MoveFileExW(other.c_str(), held.c_str(), MOVEFILE_REPLACE_EXISTING));
     }},
    {"OverwriteByCopy",
     [](const std::wstring& held, const std::wstring& other, const std::wstring&) {
         return ErrorOf(CopyFileW(other.c_str(), held.c_str(), FALSE));
     }},
};

class HeldFileSwapTest : public HeldFileTest, public testing::WithParamInterface<SwapAttempt> {};

TEST_P(HeldFileSwapTest, IsRefusedWhileHeldAndAllowedAfterwards) {
    const SwapAttempt& swap = GetParam();
    {
        CHeldFile hold(held_.c_str());
        ASSERT_TRUE(hold.IsHeld());
        EXPECT_NE(swap.attempt(held_, other_, moved_), 0u)
            << "the file could be swapped while held";
        EXPECT_NE(GetFileAttributesW(held_.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    // The same attempt is possible once the hold is gone, so the refusal above was the hold's.
    EXPECT_EQ(swap.attempt(held_, other_, moved_), 0u);
}

INSTANTIATE_TEST_SUITE_P(Swaps, HeldFileSwapTest, testing::ValuesIn(kSwapAttempts),
                         [](const testing::TestParamInfo<SwapAttempt>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(HeldFileTest, LetsTheSignatureCheckReadTheFile) {
    CHeldFile hold(held_.c_str());
    ASSERT_TRUE(hold.IsHeld());
    // The check reads through the C runtime's low-level functions.
    int fd = _wopen(held_.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(fd, 0);
    char head[2] = {};
    EXPECT_EQ(_read(fd, head, 2), 2);
    EXPECT_EQ(head[0], 'M');
    EXPECT_EQ(head[1], 'Z');
    _close(fd);
}

TEST_F(HeldFileTest, LetsTheHeldProgramStart) {
    CHeldFile hold(held_.c_str());
    ASSERT_TRUE(hold.IsHeld());
    // The probe answers 1 only when the mutex exists, so its exit code proves that it ran.
    const wchar_t* name = L"kycplib_held_file_test_started";
    kycplib::CKYMutex mutex(name);
    std::wstring commandLine = L"\"" + held_ + L"\" exists " + name;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder_.c_str(), &startup, &process))
        << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 1u);
}

TEST_F(HeldFileTest, ReleaseEndsTheHoldAndKeepsTheLastError) {
    CHeldFile hold(held_.c_str());
    ASSERT_TRUE(hold.IsHeld());
    SetLastError(ERROR_MOD_NOT_FOUND);
    hold.Release();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(hold.IsHeld());
    EXPECT_TRUE(DeleteFileW(held_.c_str())) << GetLastError();
}

TEST_F(HeldFileTest, IsNotHeldWhileSomeoneWritesIt) {
    HANDLE writer = CreateFileW(held_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    {
        CHeldFile hold(held_.c_str());
        EXPECT_FALSE(hold.IsHeld());
    }
    CloseHandle(writer);
    CHeldFile hold(held_.c_str());
    EXPECT_TRUE(hold.IsHeld());
}

TEST_F(HeldFileTest, IsNotHeldWhenMissing) {
    CHeldFile hold((folder_ + L"missing.exe").c_str());
    EXPECT_FALSE(hold.IsHeld());
}

}  // namespace
