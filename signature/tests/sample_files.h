// Files for the signature gate's tests, natively and under Wine: the folder of the running test
// program (the build puts the signed samples beside it), whole-file reads and writes, and a
// scratch folder of this process. Including this header registers the removal of the scratch
// folder after the last test.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kysig_test {

using Bytes = std::vector<uint8_t>;

// Found from the program itself: under Wine the working folder and Unix paths mean little.
inline std::filesystem::path ProgramPath() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(std::wstring(buffer, n));
#else
    return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

inline std::filesystem::path ProgramDir() { return ProgramPath().parent_path(); }

// The signed samples the build makes beside the test programs.
inline std::filesystem::path SampleDir() { return ProgramDir() / "verify-samples"; }

// "<program>-work-<pid>" beside the program, so that test programs running in parallel, or one
// program's crashed earlier run, never share files.
inline std::filesystem::path WorkDir() {
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    static const std::filesystem::path dir =
        ProgramDir() / (ProgramPath().stem().string() + "-work-" + std::to_string(pid));
    std::filesystem::create_directories(dir);
    return dir;
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

class WorkFolderCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(WorkDir(), ignored);
    }
};

inline ::testing::Environment* const g_workFolderCleanup =
    ::testing::AddGlobalTestEnvironment(new WorkFolderCleanup);

}  // namespace kysig_test
