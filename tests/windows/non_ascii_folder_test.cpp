// The windows' work with files, on the real Windows platform (registry,
// files, launcher) in an install folder whose name is not ASCII: SAVE writes
// both run files there, the saved runner script runs the stand-in
// SendEmail.exe with the folder's paths intact, the Log Manager opens that
// log that the stand-in wrote (in a stand-in "notepad.exe" beside this
// program, which the launcher finds first) and clears it. (What SAVE refuses
// for the code pages: platform_test.cpp.)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "forms/log_manager_window.h"
#include "forms/main_window.h"
#include "forms/settings_main_window.h"
#include "platform/windows/files_windows.h"
#include "platform/windows/launcher_windows.h"
#include "platform/windows/process_query_windows.h"
#include "support/test_app.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

TEST(NonAsciiInstallFolder, SaveRunOpenLogAndClearLogWorkThere) {
    TempFolder root(L"caf\u00e9");
    const std::wstring folder = root.path(), log = folder + L"\\SENDEMAIL-LOG.txt", record = folder + L"\\..\\rec.txt";
    const std::wstring editor = fs::path(StubPath()).replace_filename(L"notepad.exe");
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), (folder + L"\\SendEmail.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), editor.c_str(), FALSE));
    const std::unique_ptr<const wchar_t, decltype(&::DeleteFileW)> removeEditor(editor.c_str(), &::DeleteFileW);
    ScopedEnv recording(L"FHSW_STUB_RECORD", record);
    ScratchSection profile("-caf\u00e9");
    VirtualScheduler sched;
    ScriptedHost host;
    UiContext ui{sched, host};
    RegistrySettingsBackend backend;
    FixedExecutableName exe(profile.name);
    SettingsStore store{backend, exe};
    WindowsLauncher launcher;
    WindowsProcessQuery processes;
    FakeZOrder zorder;
    WindowsFiles files;
    AppContext app{ui, store, launcher, processes, zorder, files, RunFileNames::Windows()};
    MainWindow main(app);

    auto settings = std::make_unique<SettingsMainWindow>(app, main);
    settings->show();
    settings->INSTALL_FOLDER_TEXTBOX.type(Narrow(folder));
    settings->SEND_TO_ADDRESS_TEXTBOX.type("ops@example.org");
    settings->MESSAGE_TEXTBOX.type("Gr\u00fc\u00dfe");
    settings->SUBJECT_TEXTBOX.type("Caf\u00e9 \u00bd 100%");
    settings->SAVE_BUTTON.press();
    EXPECT_EQ(FolderEntries(folder), (Names{L"SENDEMAIL-MESSAGE.txt", L"SENDEMAIL-RUNNER.BAT", L"SendEmail.exe"}));
    EXPECT_EQ(backend.read(profile.name, "INSTALL_FOLDER_TEXTBOX"), Narrow(folder));
    settings.reset();

    const LaunchResult run = launcher.launch(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), false);
    ASSERT_TRUE(run.ok) << run.error;
    ASSERT_TRUE(WaitFor([&] { return !launcher.state(run.id).running; }));
    std::vector<std::vector<std::string>> runs = ReadStubRecords(ReadBytes(record));
    ASSERT_EQ(runs.size(), 1u);
    auto after = [&](const std::string& option) {
        const auto at = std::find(runs[0].begin(), runs[0].end(), option);
        return at == runs[0].end() || at + 1 == runs[0].end() ? std::string("<none>") : *(at + 1);
    };
    EXPECT_EQ(after("-u"), "Caf\u00e9 \u00bd 100%");
    EXPECT_EQ(after("-l"), Narrow(log));

    LogManagerWindow logManager(app, main);
    logManager.show();
    logManager.OPEN_LOG_BUTTON.press();
    EXPECT_FALSE(logManager.LOG_REPORT_LABEL.visible()) << logManager.LOG_REPORT_LABEL.text();
    WaitFor([&] { return ReadStubRecords(ReadBytes(record)).size() == 2; });
    EXPECT_EQ(ReadStubRecords(ReadBytes(record)).back(), std::vector<std::string>{Narrow(log)});
    logManager.ENABLE_TICKBOX.click();
    logManager.CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(ReadBytes(log), "\r\n");
    EXPECT_FALSE(logManager.LOG_REPORT_LABEL.visible()) << logManager.LOG_REPORT_LABEL.text();
}

}  // namespace
}  // namespace fhsw::test
