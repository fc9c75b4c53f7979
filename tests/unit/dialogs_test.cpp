// Shared settings, output settings, log manager and About, and how they
// work with the windows that open them.
#include <gtest/gtest.h>

#include "forms/about_window.h"
#include "forms/log_manager_window.h"
#include "forms/main_window.h"
#include "forms/output_settings_window.h"
#include "forms/settings_main_window.h"
#include "forms/shared_settings_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using Strings = std::vector<std::string>;

struct DialogTest : ::testing::Test {
    test::TestApp app;
    MainWindow main{app.ctx};
    SettingsMainWindow settings{app.ctx, main};
    void SetUp() override {
        main.show();
        settings.show();
    }
};

// SAVE SETTINGS stores the shared values (and the position) in one go in the
// shared profile, which every copy reads (the end-to-end desktop run imports
// one); IMPORT copies the values shown, empty ones included, into the
// settings window and stores nothing. The TLS state comes along even where
// a click could not take it (Yes to Auto: TLS states, settings tests).
TEST_F(DialogTest, SharedValuesAreSavedForAllCopiesAndImportedAsShown) {
    settings.SUBJECT_TEXTBOX.type("not shared");
    settings.tls().bringTo(TlsState::Yes);
    app.backend.values[{kSharedProfile, "SEND_CC_ADDRESS_TEXTBOX"}] = "stored@example.org";
    SharedSettingsWindow a(app.ctx, settings);
    a.show();
    EXPECT_EQ(a.SEND_CC_ADDRESS_TEXTBOX.text(), "stored@example.org");
    a.SEND_FROM_ADDRESS_TEXTBOX.type("backup@example.org");
    a.tls().bringTo(TlsState::Auto);
    a.movedByUser(3000, 4000);
    a.SAVE_SETTINGS_BUTTON.press();
    EXPECT_EQ(app.backend.batches, 1);
    EXPECT_EQ(app.get("TLS_NO_TICKBOX", kSharedProfile) + app.get("TLS_AUTO_TICKBOX", kSharedProfile), "01");
    EXPECT_EQ(app.get("SEND_BCC_ADDRESS_TEXTBOX", kSharedProfile), "") << "empty values are written";
    a.SEND_CC_ADDRESS_TEXTBOX.type("");
    a.SMTP_PASSWORD_TEXTBOX.type("p%w \"x\"");
    a.INSTALL_FOLDER_TEXTBOX.type("D:\\Mail");
    a.IMPORT_THESE_SHARED_SETTINGS_BUTTON.press();
    EXPECT_EQ(app.backend.batches, 1) << "nothing stored";
    EXPECT_EQ(settings.SEND_CC_ADDRESS_TEXTBOX.text() + settings.SMTP_PASSWORD_TEXTBOX.text(), "p%w \"x\"");
    EXPECT_EQ(settings.SUBJECT_TEXTBOX.text() + settings.SEND_FROM_ADDRESS_TEXTBOX.text(), "not sharedbackup@example.org");
    EXPECT_EQ(settings.tls().state(), TlsState::Auto);
    for (const char* box : {"TLS_NO_TICKBOX", "TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX"})
        EXPECT_EQ(settings.find(box)->enabled(), a.find(box)->enabled()) << box;
    app.sched.advance(1000);  // the composer takes the import in at its next tick
    EXPECT_NE(settings.OUTPUT_COMMAND_TEXTBOX.text().find("\"D:\\Mail\\SendEmail.exe\""), std::string::npos);
}

TEST_F(DialogTest, OutputSettingsShowsASnapshotAndKeepsTheOptionInStepBothWays) {
    app.sched.advance(1000);
    app.put({{"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"}});
    OutputSettingsWindow out(app.ctx, settings);
    out.show();
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 1) << "opening ticked ticks the main window";
    const std::string snapshot = out.OUTPUT_COMMAND_TEXTBOX.text();
    EXPECT_EQ(snapshot, settings.OUTPUT_COMMAND_TEXTBOX.text());
    EXPECT_TRUE(out.OUTPUT_COMMAND_TEXTBOX.readOnly());
    settings.SUBJECT_TEXTBOX.type("changed");
    app.sched.advance(3000);
    EXPECT_EQ(out.OUTPUT_COMMAND_TEXTBOX.text(), snapshot) << "not refreshed while open";
    for (const char* state : {"0", "1"}) {
        out.SE_EXE_OUTPUT_WINDOW_TICKBOX.click();
        EXPECT_EQ(std::to_string(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state()) + app.get("SE_EXE_OUTPUT_WINDOW_TICKBOX"),
                  std::string(state) + state);
    }
}

// "CLEAR LOG" works only after "Enable" is ticked, leaves CR LF in a log
// private to the owner (it holds the SMTP log-in) and disarms itself; what
// goes wrong is reported, naming the file. (That "Open Log In Notepad" hands
// the log to the editor, the desktop run and the Windows test in a non-ASCII
// folder show.)
TEST(LogManagerTest, ClearNeedsEnableOpenHandsTheLogToTheEditorAndFailuresAreReported) {
    test::TestApp app{"NIGHTLY-REPORT", RunFileNames::Linux()};
    MainWindow main{app.ctx};
    const std::string log = "/srv/mail dir/SENDEMAIL-LOG.txt";
    LogManagerWindow empty(app.ctx, main);
    empty.show();
    empty.ENABLE_TICKBOX.click();
    empty.CLEAR_LOG_BUTTON.press();
    empty.OPEN_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty() && app.launcher.launches.empty()) << "no folder: nothing in the root folder";

    app.put({{"INSTALL_FOLDER_TEXTBOX", "/srv/mail dir"}});
    LogManagerWindow w(app.ctx, main);
    w.show();
    const auto reported = [&](const std::string& why) { return w.LOG_REPORT_LABEL.text().find(log + ": " + why); };
    w.OPEN_LOG_BUTTON.press();  // no such file
    EXPECT_NE(reported(""), std::string::npos) << w.LOG_REPORT_LABEL.text();
    w.CLEAR_LOG_BUTTON.press();
    w.ENABLE_TICKBOX.click();
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty()) << "disabled until Enable is ticked";
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(app.files.files, (std::map<std::string, std::string>{{log, "\r\n"}}));
    EXPECT_EQ(app.files.private_.count(log), 1u);
    EXPECT_FALSE(w.ENABLE_TICKBOX.state() || w.CLEAR_LOG_BUTTON.enabled());
    app.launcher.next = {false, "cannot find xdg-open"};
    w.OPEN_LOG_BUTTON.press();
    EXPECT_NE(reported("cannot find xdg-open"), std::string::npos) << w.LOG_REPORT_LABEL.text();
    app.files.failing.insert(log);
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_NE(reported("Permission denied"), std::string::npos) << w.LOG_REPORT_LABEL.text();
}

// The About window names where the settings really are, and shows the
// contact once the credit is double-clicked, until it is opened again.
TEST(AboutWindowTest, CreditSwapsToTheContactUntilReopened) {
    test::TestApp app;
    app.ctx.settingsLocation = "/home/ops/.config/FH_SENDWARDEN.ini";
    MainWindow main(app.ctx);
    auto about = std::make_unique<AboutWindow>(app.ctx, main);
    about->show();
    EXPECT_NE(about->SENDWARDEN_SAVED_DATA_WARNING_LABEL.text().find(" /home/ops/.config/FH_SENDWARDEN.ini "),
              std::string::npos);
    const std::string credit = about->FH_SENDWARDEN_CREATOR.text();
    about->FH_SENDWARDEN_CREATOR.doubleClick();
    EXPECT_NE(about->FH_SENDWARDEN_CREATOR.text(), credit);
    about = std::make_unique<AboutWindow>(app.ctx, main);
    about->show();
    EXPECT_EQ(about->FH_SENDWARDEN_CREATOR.text(), credit);
}

}  // namespace
}  // namespace fhsw
