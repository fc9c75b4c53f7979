// The Windows launcher for real: batch scripts in folders whose names the
// command interpreter would otherwise expand or take apart run exactly that
// folder's script, hidden or in a console of their own; other programs start
// directly; a launch's end and exit status are seen, and a stop ends the
// script with the mail client it started; a missing script is reported.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/composer.h"
#include "platform/windows/launcher_windows.h"
#include "platform/windows/process_query_windows.h"
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
    const std::vector<std::wstring> folders = {
        L"%TEMP%", L"%PATH%", L"a!b!", L"c^d", L"e & f", L"(g)", L"h i", L"caf\u00e9 \u03a9",
        L"x %TEMP% & (y)! ^%%", L"%FHSW_TEST_MARK%"};
    ASSERT_TRUE(WriteBytes(root.path() + L"\\SENDEMAIL-RUNNER.BAT", script("decoy")));
    WindowsLauncher launcher;
    int id = 0;
    for (const std::wstring& name : folders) {
        // Hidden or in a console of its own, the script is found the same way.
        const bool visible = &name == &folders.back();
        const std::wstring folder = root.path() + L"\\" + name;
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::string expect = "case" + std::to_string(++id);
        ASSERT_TRUE(WriteBytes(folder + L"\\SENDEMAIL-RUNNER.BAT", script(expect)));
        ::DeleteFileW(mark.c_str());
        const LaunchResult r = launcher.launch(LaunchText(Narrow(folder), RunFileNames::Windows()), visible);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(WaitForContent(mark), expect + "\r\n") << Narrow(name);
    }
}

// Waits up to ten seconds for a launch to end.
LaunchState WaitForEnd(WindowsLauncher& launcher, LaunchId id) {
    for (int i = 0; i < 100 && launcher.state(id).running; ++i) ::Sleep(100);
    return launcher.state(id);
}

TEST(WindowsLauncher, ProgramsStartDirectlyAndTheirEndAndStatusAreSeen) {
    TempFolder root(L"with blank");
    const std::wstring record = root.path() + L"\\record.txt";
    const std::wstring sleep = L"1500", status = L"3";
    ScopedEnvW recording(L"FHSW_STUB_RECORD", &record);
    ScopedEnvW sleeping(L"FHSW_STUB_SLEEP_MS", &sleep);
    ScopedEnvW failing(L"FHSW_STUB_EXIT", &status);
    WindowsLauncher launcher;
    const LaunchResult r =
        launcher.launch("\"" + Narrow(StubPath()) + "\" -f \"a b\" -u x", false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(launcher.state(r.id).running);
    EXPECT_EQ(WaitForEnd(launcher, r.id), (LaunchState{false, 3}));
    EXPECT_EQ(ReadStubRecords(ReadBytes(record)),
              (std::vector<std::vector<std::string>>{{"-f", "a b", "-u", "x"}}));
    EXPECT_EQ(launcher.state(r.id + 1000), (LaunchState{false, -1}));  // never launched
}

TEST(WindowsLauncher, StopEndsTheScriptAndTheMailClientItStarted) {
    TempFolder root;
    const std::wstring record = root.path() + L"\\record.txt";
    const std::wstring sleep = L"60000";
    ScopedEnvW recording(L"FHSW_STUB_RECORD", &record);
    ScopedEnvW sleeping(L"FHSW_STUB_SLEEP_MS", &sleep);
    ASSERT_TRUE(WriteBytes(root.path() + L"\\SENDEMAIL-RUNNER.BAT",
                           "@echo off\r\n\"" + Narrow(StubPath()) + "\" -q\r\n"));
    WindowsLauncher launcher;
    const LaunchResult r = launcher.launch(LaunchText(root.utf8(), RunFileNames::Windows()), false);
    ASSERT_TRUE(r.ok) << r.error;
    // The stand-in records first, then sleeps: once recorded it is running.
    for (int i = 0; i < 100 && ReadBytes(record).empty(); ++i) ::Sleep(100);
    ASSERT_FALSE(ReadBytes(record).empty()) << "the script did not start the mail client";
    EXPECT_TRUE(launcher.state(r.id).running);
    launcher.stop(r.id);
    EXPECT_FALSE(WaitForEnd(launcher, r.id).running);
    WindowsProcessQuery processes;
    bool clientLeft = true;
    for (int i = 0; i < 50 && (clientLeft = processes.isProcessRunning("SendEmail.exe")); ++i)
        ::Sleep(100);
    EXPECT_FALSE(clientLeft) << "the mail client outlived the stop";
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
