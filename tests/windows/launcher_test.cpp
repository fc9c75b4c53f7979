// The Windows launcher for real: batch scripts in folders whose names the
// command interpreter would otherwise expand or take apart run exactly that
// folder's script, hidden or in a console of their own; other programs start
// directly; a missing script is reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/composer.h"
#include "platform/windows/launcher_windows.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

// Waits up to ten seconds for `path` to hold something.
std::string WaitForContent(const std::wstring& path) {
    for (int i = 0; i < 100; ++i) {
        const std::string s = ReadBytes(path);
        if (!s.empty() && s.back() == '\n') return s;
        ::Sleep(100);
    }
    return ReadBytes(path);
}

TEST(WindowsLauncher, ScriptsInHostileFoldersRunThemselvesOnly) {
    TempFolder root;
    const std::wstring mark = root.path() + L"\\ran.txt";
    ScopedEnvW marking(L"FHSW_TEST_MARK", &mark);
    // A script that tells which one it is.
    auto script = [](const std::string& id) {
        return "@echo off\r\necho " + id + ">>\"%FHSW_TEST_MARK%\"\r\n";
    };
    // Decoys where an expanded or cut-off folder name would point.
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::vector<std::wstring> folders = {
        L"%TEMP%", L"%PATH%", L"a!b!", L"c^d", L"e & f", L"(g)", L"h i", L"caf\u00e9 \u03a9",
        L"x %TEMP% & (y)! ^%%", L"%FHSW_TEST_MARK%"};
    ASSERT_TRUE(WriteBytes(root.path() + L"\\SENDEMAIL-RUNNER.BAT", script("decoy")));
    WindowsLauncher launcher;
    int id = 0;
    for (const std::wstring& name : folders) {
        for (const bool visible : {false, true}) {
            const std::wstring folder = root.path() + L"\\" + name;
            ::CreateDirectoryW(folder.c_str(), nullptr);
            const std::string expect = "case" + std::to_string(++id);
            ASSERT_TRUE(WriteBytes(folder + L"\\SENDEMAIL-RUNNER.BAT", script(expect)));
            ::DeleteFileW(mark.c_str());
            const LaunchResult r =
                launcher.launch(LaunchText(Narrow(folder), RunFileNames::Windows()), visible);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(WaitForContent(mark), expect + "\r\n")
                << Narrow(name) << (visible ? " (visible)" : " (hidden)");
        }
    }
}

TEST(WindowsLauncher, ProgramsStartDirectlyAndAreWatched) {
    TempFolder root(L"with blank");
    const std::wstring record = root.path() + L"\\record.txt";
    const std::wstring sleep = L"1500";
    ScopedEnvW recording(L"FHSW_STUB_RECORD", &record);
    ScopedEnvW sleeping(L"FHSW_STUB_SLEEP_MS", &sleep);
    WindowsLauncher launcher;
    const LaunchResult r =
        launcher.launch("\"" + Narrow(StubPath()) + "\" -f \"a b\" -u x", false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(launcher.anyLaunchedRunning());
    for (int i = 0; i < 100 && launcher.anyLaunchedRunning(); ++i) ::Sleep(100);
    EXPECT_FALSE(launcher.anyLaunchedRunning());
    EXPECT_EQ(ReadStubRecords(ReadBytes(record)),
              (std::vector<std::vector<std::string>>{{"-f", "a b", "-u", "x"}}));
}

TEST(WindowsLauncher, AMissingScriptIsReported) {
    TempFolder root(L"%TEMP%");
    WindowsLauncher launcher;
    const std::string script = root.utf8() + "\\SENDEMAIL-RUNNER.BAT";
    const LaunchResult r = launcher.launch("\"" + script + "\"", false);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(script), std::string::npos) << r.error;
}

}  // namespace
}  // namespace fhsw::test
