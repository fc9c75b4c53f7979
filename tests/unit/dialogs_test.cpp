// Shared settings, output settings, log manager and About, and how they
// work with the windows that open them.
#include <gtest/gtest.h>

#include "forms/settings_main_window.h"
#include "forms/about_window.h"
#include "forms/log_manager_window.h"
#include "forms/output_settings_window.h"
#include "forms/shared_settings_window.h"
#include "forms/main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using test::TestApp;
using Strings = std::vector<std::string>;

struct DialogTest : ::testing::Test {
    TestApp app;
    MainWindow main{app.ctx};
    SettingsMainWindow settings{app.ctx, main};
    void SetUp() override {
        main.show();
        settings.show();
    }
};

TEST_F(DialogTest, ImportBringsEveryTlsStateIntoEveryOther) {
    const TlsState all[] = {TlsState::No, TlsState::Open, TlsState::Yes, TlsState::Auto};
    const char* settingOf[] = {"no", "no", "yes", "auto"};
    for (TlsState from : all) {
        for (TlsState to : all) {
            settings.tls().bringTo(from);
            SharedSettingsWindow shared(app.ctx, settings);
            shared.show();
            shared.tls().bringTo(to);
            shared.IMPORT_THESE_SHARED_SETTINGS_BUTTON.press();
            SCOPED_TRACE(std::to_string(int(from)) + "->" + std::to_string(int(to)));
            EXPECT_EQ(settings.tls().state(), to);
            EXPECT_EQ(settings.TLS_TB_SETTING.text(), settingOf[int(to)]);
            // The enabled boxes are those of the state, as in the shared window.
            for (const char* box : {"TLS_NO_TICKBOX", "TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX"})
                EXPECT_EQ(settings.find(box)->enabled(), shared.find(box)->enabled()) << box;
            shared.close();
        }
    }
}

TEST_F(DialogTest, ImportCopiesTheShownValuesEmptyOnesIncludedAndStoresNothing) {
    settings.SEND_CC_ADDRESS_TEXTBOX.type("keep@example.org");
    settings.SUBJECT_TEXTBOX.type("not shared");
    app.backend.values[{kSharedProfile, "SEND_CC_ADDRESS_TEXTBOX"}] = "stored@example.org";
    SharedSettingsWindow shared(app.ctx, settings);
    shared.show();
    EXPECT_EQ(shared.SEND_CC_ADDRESS_TEXTBOX.text(), "stored@example.org");
    shared.SEND_CC_ADDRESS_TEXTBOX.type("");
    shared.SMTP_PASSWORD_TEXTBOX.type("p%w \"x\"");
    shared.INSTALL_FOLDER_TEXTBOX.type("D:\\Mail");
    const std::size_t before = app.backend.writes.size();
    shared.IMPORT_THESE_SHARED_SETTINGS_BUTTON.press();
    EXPECT_EQ(app.backend.writes.size(), before);
    EXPECT_EQ(settings.SEND_CC_ADDRESS_TEXTBOX.text(), "");
    EXPECT_EQ(settings.SMTP_PASSWORD_TEXTBOX.text(), "p%w \"x\"");
    EXPECT_EQ(settings.SUBJECT_TEXTBOX.text(), "not shared");
    // The composer takes the import in at its next tick.
    app.sched.advance(1000);
    EXPECT_NE(settings.OUTPUT_COMMAND_TEXTBOX.text().find("\"D:\\Mail\\SendEmail.exe\""),
              std::string::npos);
    // Closed unsaved, the settings window stores its position only.
    settings.CANCEL_BUTTON.press();
    EXPECT_EQ(app.keysWrittenSince(before), (Strings{"SETTINGS_MAIN-Left", "SETTINGS_MAIN-Top"}));
}

TEST_F(DialogTest, SharedValuesAreCommonToAllCopiesAndPositionsAreNot) {
    SharedSettingsWindow a(app.ctx, settings);
    a.show();
    a.SEND_FROM_ADDRESS_TEXTBOX.type("backup@example.org");
    a.tls().bringTo(TlsState::Auto);
    a.movedByUser(3000, 4000);
    a.SAVE_SETTINGS_BUTTON.press();
    a.SEND_FROM_ADDRESS_TEXTBOX.type("unsaved@example.org");
    a.CANCEL_BUTTON.press();
    EXPECT_EQ(app.get("TLS_NO_TICKBOX", kSharedProfile), "0");
    EXPECT_EQ(app.get("TLS_AUTO_TICKBOX", kSharedProfile), "1");
    EXPECT_EQ(app.get("SEND_BCC_ADDRESS_TEXTBOX", kSharedProfile), "") << "empty values are written";

    // A second copy under another name, on the same store.
    FixedExecutableName other("WEEKLY-REPORT");
    SettingsStore otherStore(app.backend, other);
    AppContext otherCtx{app.ui, otherStore, app.launcher, app.processes, app.zorder, app.files,
                        RunFileNames::Windows()};
    MainWindow otherMain(otherCtx);
    SettingsMainWindow otherSettings(otherCtx, otherMain);
    otherSettings.show();
    SharedSettingsWindow b(otherCtx, otherSettings);
    b.show();
    EXPECT_EQ(b.SEND_FROM_ADDRESS_TEXTBOX.text(), "backup@example.org");
    EXPECT_EQ(b.tls().state(), TlsState::Auto);
    EXPECT_EQ(b.left(), 1000) << "each copy keeps its own position";
    SharedSettingsWindow again(app.ctx, settings);
    again.show();
    EXPECT_EQ(again.left(), 3000);
    EXPECT_EQ(again.top(), 4000);
}

TEST_F(DialogTest, OutputSettingsShowsASnapshotAndKeepsTheOptionInStepBothWays) {
    OutputSettingsWindow early(app.ctx, settings);
    early.show();
    EXPECT_EQ(early.OUTPUT_COMMAND_TEXTBOX.text(), settings.OUTPUT_COMMAND_TEXTBOX.text())
        << "before the first tick: the placeholder";
    EXPECT_TRUE(early.OUTPUT_COMMAND_TEXTBOX.readOnly());
    early.close();

    app.sched.advance(1000);
    OutputSettingsWindow out(app.ctx, settings);
    out.show();
    const std::string snapshot = out.OUTPUT_COMMAND_TEXTBOX.text();
    EXPECT_EQ(snapshot.rfind("TITLE FH-SENDWARDEN", 0), 0u);
    settings.SUBJECT_TEXTBOX.type("changed");
    app.sched.advance(3000);
    EXPECT_EQ(out.OUTPUT_COMMAND_TEXTBOX.text(), snapshot) << "not refreshed while open";

    out.SE_EXE_OUTPUT_WINDOW_TICKBOX.click();
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 1);
    EXPECT_EQ(app.get("SE_EXE_OUTPUT_WINDOW_TICKBOX"), "1");
    out.SE_EXE_OUTPUT_WINDOW_TICKBOX.click();
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 0);
    EXPECT_EQ(app.get("SE_EXE_OUTPUT_WINDOW_TICKBOX"), "0");
    out.OK_BUTTON.press();

    app.put("SE_EXE_OUTPUT_WINDOW_TICKBOX", "1");
    OutputSettingsWindow ticked(app.ctx, settings);
    ticked.show();
    EXPECT_EQ(ticked.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 1);
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 1) << "opening ticked ticks the main window";
}

struct LogManagerTest : ::testing::Test {
    TestApp app{"NIGHTLY-REPORT", RunFileNames::Linux()};
    MainWindow main{app.ctx};
    std::string folder = "/srv/log manager dir";
    std::unique_ptr<LogManagerWindow> lm;
    LogManagerWindow& open() {
        lm = std::make_unique<LogManagerWindow>(app.ctx, main);
        lm->show();
        return *lm;
    }
};

TEST_F(LogManagerTest, ClearLogNeedsEnableWritesCrLfAndDisarms) {
    app.put("INSTALL_FOLDER_TEXTBOX", "/srv/mail");
    LogManagerWindow& w = open();
    EXPECT_FALSE(w.CLEAR_LOG_BUTTON.enabled());
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty());
    w.ENABLE_TICKBOX.click();
    w.ENABLE_TICKBOX.click();
    EXPECT_FALSE(w.CLEAR_LOG_BUTTON.enabled());
    EXPECT_TRUE(app.files.order.empty()) << "unticking touches nothing";
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(app.files.files["/srv/mail/SENDEMAIL-LOG.txt"], "\r\n");
    EXPECT_EQ(app.files.order.size(), 1u);
    EXPECT_EQ(app.files.private_.count("/srv/mail/SENDEMAIL-LOG.txt"), 1u)
        << "owner-only: the log holds the SMTP log-in";
    EXPECT_EQ(w.ENABLE_TICKBOX.state(), 0);
    EXPECT_FALSE(w.CLEAR_LOG_BUTTON.enabled());
    EXPECT_FALSE(w.LOG_REPORT_LABEL.visible());
}

TEST_F(LogManagerTest, FailuresAreReportedNamingTheFileAndNothingElseIsTouched) {
    LogManagerWindow& empty = open();
    empty.ENABLE_TICKBOX.click();
    empty.CLEAR_LOG_BUTTON.press();
    empty.OPEN_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty()) << "no /SENDEMAIL-LOG.txt in the root folder";
    EXPECT_TRUE(app.launcher.launches.empty());
    EXPECT_TRUE(empty.LOG_REPORT_LABEL.visible());
    EXPECT_GT(empty.height(), 2160) << "the window grows to show the report";
    empty.close();

    app.put("INSTALL_FOLDER_TEXTBOX", "/srv/mail");
    app.files.failing.insert("/srv/mail/SENDEMAIL-LOG.txt");
    LogManagerWindow& w = open();
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(w.LOG_REPORT_LABEL.text(),
              "Cannot clear /srv/mail/SENDEMAIL-LOG.txt: Permission denied");
    w.OPEN_LOG_BUTTON.press();
    EXPECT_NE(w.LOG_REPORT_LABEL.text().find("Cannot open /srv/mail/SENDEMAIL-LOG.txt"),
              std::string::npos);
    EXPECT_TRUE(app.launcher.launches.empty());
}

TEST_F(LogManagerTest, OpenHandsTheQuotedLogPathToTheEditorVisibly) {
    app.files.files[folder + "/SENDEMAIL-LOG.txt"] = "log\n";
    app.put("INSTALL_FOLDER_TEXTBOX", folder);
    LogManagerWindow& w = open();
    w.OPEN_LOG_BUTTON.press();
    ASSERT_EQ(app.launcher.launches.size(), 1u);
#ifdef _WIN32
    EXPECT_EQ(app.launcher.launches[0].first, "notepad.exe " + folder + "/SENDEMAIL-LOG.txt");
#else
    EXPECT_EQ(app.launcher.launches[0].first, "xdg-open \"" + folder + "/SENDEMAIL-LOG.txt\"");
#endif
    EXPECT_TRUE(app.launcher.launches[0].second);
    app.launcher.next = {false, "cannot find xdg-open"};
    w.OPEN_LOG_BUTTON.press();
    EXPECT_EQ(w.LOG_REPORT_LABEL.text(),
              "Cannot open " + folder + "/SENDEMAIL-LOG.txt: cannot find xdg-open");
    EXPECT_TRUE(w.isOpen());
}

TEST(AboutWindowTest, CreditSwapsToTheContactUntilReopenedAndPositionIsKept) {
    TestApp app;
    MainWindow main(app.ctx);
    auto about = std::make_unique<AboutWindow>(app.ctx, main);
    about->show();
    EXPECT_EQ(about->FH_SENDWARDEN_VERSION.text(), "Version 1.0");
    EXPECT_EQ(about->FH_SENDWARDEN_CREATOR.text(), AboutWindow::kCredit);
    about->FH_SENDWARDEN_CREATOR.doubleClick();
    EXPECT_EQ(about->FH_SENDWARDEN_CREATOR.text(), AboutWindow::kContact);
    about->movedByUser(150, 450);
    about->OK_BUTTON.press();
    EXPECT_EQ(app.writtenKeys(),
              (Strings{"ABOUT-Left=150", "ABOUT-Top=450", "ABOUT-Left=150", "ABOUT-Top=450"}));
    about = std::make_unique<AboutWindow>(app.ctx, main);
    about->show();
    EXPECT_EQ(about->FH_SENDWARDEN_CREATOR.text(), AboutWindow::kCredit);
    EXPECT_EQ(about->left(), 150);
    for (Control* c : about->controls())
        EXPECT_TRUE(c->kind() != ControlKind::TextBox || static_cast<TextBox*>(c)->readOnly()) << c->name();
}

TEST(AboutWindowTest, WarningNamesWhereTheSettingsReallyAre) {
    TestApp app;
    app.ctx.settingsLocation = "/home/ops/.config/FH_SENDWARDEN.ini";
    MainWindow main(app.ctx);
    AboutWindow about(app.ctx, main);
    EXPECT_NE(about.SENDWARDEN_SAVED_DATA_WARNING_LABEL.text().find(" /home/ops/.config/FH_SENDWARDEN.ini "),
              std::string::npos);
}

}  // namespace
}  // namespace fhsw
