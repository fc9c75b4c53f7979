// The windows' work with files, on the real Windows platform (registry,
// files, launcher) in an install folder whose name is not ASCII: SAVE writes
// both run files there, the saved runner script runs the stand-in
// SendEmail.exe with the folder's paths intact, the Log Manager opens that
// log (in a stand-in "notepad.exe" beside this program, which the launcher
// finds first) and clears it. A subject that SendEmail.exe could not
// receive as typed is refused by SAVE.
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

using Args = std::vector<std::string>;

struct WindowsApp {
    explicit WindowsApp(const std::string& profile) : exe(profile) {}
    VirtualScheduler sched;
    ScriptedHost host;
    UiContext ui{sched, host};
    RegistrySettingsBackend backend;
    FixedExecutableName exe;
    SettingsStore store{backend, exe};
    WindowsLauncher launcher;
    WindowsProcessQuery processes;
    FakeZOrder zorder;
    WindowsFiles files;
    AppContext ctx{ui, store, launcher, processes, zorder, files, RunFileNames::Windows()};
};

// The stand-in's runs so far, once there are `count` of them (ten seconds at most).
std::vector<Args> Runs(const std::wstring& record, std::size_t count) {
    for (int i = 0; i < 100 && ReadStubRecords(ReadBytes(record)).size() < count; ++i) ::Sleep(100);
    return ReadStubRecords(ReadBytes(record));
}

TEST(NonAsciiInstallFolder, SaveRunOpenLogAndClearLogWorkThere) {
    TempFolder root(L"caf\u00e9");
    const std::wstring folder = root.path(), log = folder + L"\\SENDEMAIL-LOG.txt";
    const std::wstring record = root.path() + L"\\..\\record.txt", editor = ProgramFolder() + L"\\notepad.exe";
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), (folder + L"\\SendEmail.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(StubPath().c_str(), editor.c_str(), FALSE));
    struct RemoveEditor {
        std::wstring path;
        ~RemoveEditor() { ::DeleteFileW(path.c_str()); }
    } removeEditor{editor};
    ScopedEnvW recording(L"FHSW_STUB_RECORD", &record);
    ScratchSection profile("-caf\u00e9");
    WindowsApp app(profile.name);
    MainWindow main(app.ctx);

    auto settings = std::make_unique<SettingsMainWindow>(app.ctx, main);
    settings->show();
    settings->INSTALL_FOLDER_TEXTBOX.type(Narrow(folder));
    settings->SEND_TO_ADDRESS_TEXTBOX.type("ops@example.org");
    settings->MESSAGE_TEXTBOX.type("Gr\u00fc\u00dfe");
    // In the OEM code page of the script, not in the ANSI one of SendEmail.exe's arguments.
    settings->SUBJECT_TEXTBOX.type("\u03a9mega");
    settings->SAVE_BUTTON.press();
    EXPECT_NE(settings->SAVE_REPORT_LABEL.text(), "");
    EXPECT_EQ(FolderEntries(folder), std::vector<std::wstring>{L"SendEmail.exe"});
    EXPECT_FALSE(app.backend.read(profile.name, "INSTALL_FOLDER_TEXTBOX")) << "nothing stored";

    settings->SUBJECT_TEXTBOX.type("Caf\u00e9 \u00bd 100%");
    settings->SAVE_BUTTON.press();
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::wstring>{L"SENDEMAIL-MESSAGE.txt",
                                                                L"SENDEMAIL-RUNNER.BAT", L"SendEmail.exe"}));
    EXPECT_EQ(app.backend.read(profile.name, "INSTALL_FOLDER_TEXTBOX"), Narrow(folder));
    settings.reset();

    const LaunchResult run = app.launcher.launch(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), false);
    ASSERT_TRUE(run.ok) << run.error;
    std::vector<Args> runs = Runs(record, 1);
    ASSERT_EQ(runs.size(), 1u);
    auto after = [&](const std::string& option) {
        const auto at = std::find(runs[0].begin(), runs[0].end(), option);
        return at == runs[0].end() || at + 1 == runs[0].end() ? std::string("<none>") : *(at + 1);
    };
    EXPECT_EQ(after("-u"), "Caf\u00e9 \u00bd 100%");
    EXPECT_EQ(after("-l"), Narrow(log));
    for (int i = 0; i < 100 && app.launcher.state(run.id).running; ++i) ::Sleep(100);
    ASSERT_NE(ReadBytes(log), "") << "the stand-in logs its run";

    auto logManager = std::make_unique<LogManagerWindow>(app.ctx, main);
    logManager->show();
    logManager->OPEN_LOG_BUTTON.press();
    EXPECT_FALSE(logManager->LOG_REPORT_LABEL.visible()) << logManager->LOG_REPORT_LABEL.text();
    runs = Runs(record, 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1], Args{Narrow(log)});
    logManager->ENABLE_TICKBOX.click();
    logManager->CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(ReadBytes(log), "\r\n");
    EXPECT_FALSE(logManager->LOG_REPORT_LABEL.visible()) << logManager->LOG_REPORT_LABEL.text();
}

}  // namespace
}  // namespace fhsw::test
