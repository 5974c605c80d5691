// The uninstall script with the system's real script host, in a prefix of its own (the process
// tests replace the script host of theirs): a script the signing tool signed runs; the same script
// with a statement appended after its block, which the script host would execute, is refused and
// nothing runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "block_fields.h"
#include "helper_case.h"
#include "sample_files.h"
#include "tampered_files.h"

namespace {

const wchar_t kRanMark[] = L"ran.txt";
const wchar_t kAppendedMark[] = L"appended.txt";
const char kAppendedLine[] =
    "\r\nSet f = CreateObject(\"Scripting.FileSystemObject\")\r\n"
    "f.CreateTextFile(f.GetParentFolderName(WScript.ScriptFullName) & "
    "\"\\appended.txt\").Close\r\n";

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    for (DWORD waited = 0;; waited += 100) {
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        if (waited >= timeoutMs) return false;
        Sleep(100);
    }
}

kysig_test::block::Bytes SignedScript() {
    return kysig_test::ReadBytes(kysig_test::ProgramDir() / "install_helper_tests" / "script-host" /
                                 "Uninstall.vbs");
}

kysig_test::block::Bytes WithAppendedLine() {
    kysig_test::block::Bytes bytes = SignedScript();
    kysig_test::tamper::AppendCovered(bytes, kAppendedLine);
    return bytes;
}

std::wstring ScriptHost() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system) + L"\\wscript.exe";
}

TEST(RealScriptHost, RunsTheSignedScript) {
    HelperCase helper(L"real_script_host_signed");
    const kysig_test::block::Bytes script = SignedScript();
    ASSERT_FALSE(script.empty());
    kysig_test::WriteBytes(helper.ScriptPath(), script);
    HelperRun run = helper.Run(L"/remove", {IDYES});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(WaitForFile(helper.AppDirectory() + kRanMark, 30000)) << "the script did not run";
}

// The control of the next case: run directly, the tampered script does execute the appended
// line, so its refusal below is what keeps the line from running.
TEST(RealScriptHost, ExecutesALineAppendedAfterTheBlock) {
    HelperCase helper(L"real_script_host_direct");
    kysig_test::WriteBytes(helper.ScriptPath(), WithAppendedLine());
    EXPECT_EQ(helper.RunProgram(L"\"" + ScriptHost() + L"\" \"" + helper.ScriptPath() + L"\""), 0u);
    EXPECT_TRUE(WaitForFile(helper.AppDirectory() + kAppendedMark, 30000));
}

TEST(RealScriptHost, NeverGetsTheScriptWithAnAppendedLine) {
    HelperCase helper(L"real_script_host_appended");
    kysig_test::WriteBytes(helper.ScriptPath(), WithAppendedLine());
    HelperRun run = helper.Run(L"/remove", {IDYES, IDOK});
    ASSERT_TRUE(run.finished) << DescribeBoxes(run);
    EXPECT_EQ(run.exitCode, 5u) << DescribeBoxes(run);
    EXPECT_EQ(run.processesStarted, 1u) << "the helper started something";
    EXPECT_FALSE(WaitForFile(helper.AppDirectory() + kAppendedMark, 2000));
    EXPECT_FALSE(WaitForFile(helper.AppDirectory() + kRanMark, 0));
}

}  // namespace
