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

// Whatever state each window is in, the settings window ends in the shared
// window's state, with that state's enabled boxes and TLS text.
TEST_F(DialogTest, ImportBringsEveryTlsStateIntoEveryOther) {
    const char* settingOf[] = {"no", "no", "yes", "auto"};  // in TlsState's order
    for (int from = 0; from < 4; ++from) {
        for (int to = 0; to < 4; ++to) {
            settings.tls().bringTo(static_cast<TlsState>(from));
            SharedSettingsWindow shared(app.ctx, settings);
            shared.show();
            shared.tls().bringTo(static_cast<TlsState>(to));
            shared.IMPORT_THESE_SHARED_SETTINGS_BUTTON.press();
            EXPECT_EQ(settings.tls().state(), static_cast<TlsState>(to)) << from << "->" << to;
            EXPECT_EQ(settings.TLS_TB_SETTING.text(), settingOf[to]);
            for (const char* box : {"TLS_NO_TICKBOX", "TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX"})
                EXPECT_EQ(settings.find(box)->enabled(), shared.find(box)->enabled()) << box;
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
    shared.IMPORT_THESE_SHARED_SETTINGS_BUTTON.press();
    EXPECT_TRUE(app.backend.writes.empty());
    EXPECT_EQ(settings.SEND_CC_ADDRESS_TEXTBOX.text() + settings.SMTP_PASSWORD_TEXTBOX.text(), "p%w \"x\"");
    EXPECT_EQ(settings.SUBJECT_TEXTBOX.text(), "not shared");
    app.sched.advance(1000);  // the composer takes the import in at its next tick
    EXPECT_NE(settings.OUTPUT_COMMAND_TEXTBOX.text().find("\"D:\\Mail\\SendEmail.exe\""), std::string::npos);
}

TEST_F(DialogTest, SharedValuesAreCommonToAllCopiesAndPositionsAreNot) {
    SharedSettingsWindow a(app.ctx, settings);
    a.show();
    a.SEND_FROM_ADDRESS_TEXTBOX.type("backup@example.org");
    a.tls().bringTo(TlsState::Auto);
    a.movedByUser(3000, 4000);
    a.SAVE_SETTINGS_BUTTON.press();
    EXPECT_EQ(app.backend.batches, 1) << "the position and the shared values in one go";
    a.SEND_FROM_ADDRESS_TEXTBOX.type("unsaved@example.org");
    a.OK_BUTTON.press();
    EXPECT_EQ(app.get("TLS_NO_TICKBOX", kSharedProfile) + app.get("TLS_AUTO_TICKBOX", kSharedProfile), "01");
    EXPECT_EQ(app.get("SEND_BCC_ADDRESS_TEXTBOX", kSharedProfile), "") << "empty values are written";

    // A second copy under another name, on the same store.
    FixedExecutableName other("WEEKLY-REPORT");
    SettingsStore otherStore(app.backend, other);
    AppContext otherCtx{app.ui, otherStore, app.launcher, app.processes, app.zorder, app.files, RunFileNames::Windows()};
    MainWindow otherMain(otherCtx);
    SettingsMainWindow otherSettings(otherCtx, otherMain);
    SharedSettingsWindow b(otherCtx, otherSettings);
    b.show();
    EXPECT_EQ(b.SEND_FROM_ADDRESS_TEXTBOX.text(), "backup@example.org");
    EXPECT_EQ(b.tls().state(), TlsState::Auto);
    EXPECT_EQ(b.left(), 1000) << "each copy keeps its own position";
    EXPECT_EQ(app.get("SHARED-SETTINGS-Left"), "3000");
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
    out.SE_EXE_OUTPUT_WINDOW_TICKBOX.click();
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 0);
    EXPECT_EQ(app.get("SE_EXE_OUTPUT_WINDOW_TICKBOX"), "0");
    out.SE_EXE_OUTPUT_WINDOW_TICKBOX.click();
    EXPECT_EQ(main.SE_EXE_OUTPUT_WINDOW_TICKBOX.state(), 1);
    EXPECT_EQ(app.get("SE_EXE_OUTPUT_WINDOW_TICKBOX"), "1");
}

struct LogManagerTest : ::testing::Test {
    test::TestApp app{"NIGHTLY-REPORT", RunFileNames::Linux()};
    MainWindow main{app.ctx};
    std::unique_ptr<LogManagerWindow> lm;
    LogManagerWindow& open(const std::string& folder) {
        app.put({{"INSTALL_FOLDER_TEXTBOX", folder}});
        lm = std::make_unique<LogManagerWindow>(app.ctx, main);
        lm->show();
        return *lm;
    }
};

TEST_F(LogManagerTest, ClearLogNeedsEnableWritesCrLfAndDisarms) {
    LogManagerWindow& w = open("/srv/mail");
    w.CLEAR_LOG_BUTTON.press();
    w.ENABLE_TICKBOX.click();
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty()) << "disabled until Enable is ticked";
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    EXPECT_EQ(app.files.files, (std::map<std::string, std::string>{{"/srv/mail/SENDEMAIL-LOG.txt", "\r\n"}}));
    EXPECT_EQ(app.files.private_.count("/srv/mail/SENDEMAIL-LOG.txt"), 1u) << "the log holds the SMTP log-in";
    EXPECT_EQ(w.ENABLE_TICKBOX.state(), 0);
    EXPECT_FALSE(w.CLEAR_LOG_BUTTON.enabled());
    EXPECT_FALSE(w.LOG_REPORT_LABEL.visible());
}

// Open hands the log to the editor, visibly (quoted, off Windows, for the
// blank in the folder); what goes wrong is reported, naming the file.
TEST_F(LogManagerTest, OpenAndClearReportWhatWentWrongNamingTheFile) {
    LogManagerWindow& empty = open("");
    empty.ENABLE_TICKBOX.click();
    empty.CLEAR_LOG_BUTTON.press();
    empty.OPEN_LOG_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty()) << "no /SENDEMAIL-LOG.txt in the root folder";
    EXPECT_TRUE(app.launcher.launches.empty());
    EXPECT_GT(empty.height(), 2160) << "the window grows to show the report";

    LogManagerWindow& w = open("/srv/mail dir");
    app.files.failing.insert("/srv/mail dir/SENDEMAIL-LOG.txt");
    w.ENABLE_TICKBOX.click();
    w.CLEAR_LOG_BUTTON.press();
    const auto reported = [&w](const std::string& why) {
        return w.LOG_REPORT_LABEL.text().find("/srv/mail dir/SENDEMAIL-LOG.txt: " + why) != std::string::npos;
    };
    EXPECT_TRUE(reported("Permission denied")) << w.LOG_REPORT_LABEL.text();
    w.OPEN_LOG_BUTTON.press();  // no such file
    EXPECT_FALSE(reported("Permission denied")) << w.LOG_REPORT_LABEL.text();
    app.files.files["/srv/mail dir/SENDEMAIL-LOG.txt"] = "log\n";
    w.OPEN_LOG_BUTTON.press();
#ifdef _WIN32
    const std::string command = "notepad.exe /srv/mail dir/SENDEMAIL-LOG.txt";
#else
    const std::string command = "xdg-open \"/srv/mail dir/SENDEMAIL-LOG.txt\"";
#endif
    EXPECT_EQ(app.launcher.launches, (std::vector{std::pair{command, true}}));
    app.launcher.next = {false, "cannot find xdg-open"};
    w.OPEN_LOG_BUTTON.press();
    EXPECT_TRUE(reported("cannot find xdg-open")) << w.LOG_REPORT_LABEL.text();
}

TEST(AboutWindowTest, CreditSwapsToTheContactUntilReopenedAndPositionIsKept) {
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
    about->movedByUser(150, 450);
    about->OK_BUTTON.press();
    EXPECT_EQ(app.written(), (Strings{"ABOUT-Left=150", "ABOUT-Top=450", "ABOUT-Left=150", "ABOUT-Top=450"}));
    about = std::make_unique<AboutWindow>(app.ctx, main);
    about->show();
    EXPECT_EQ(about->FH_SENDWARDEN_CREATOR.text(), credit);
    EXPECT_EQ(about->left(), 150);
    for (Control* c : about->controls())
        EXPECT_TRUE(c->kind() != ControlKind::TextBox || static_cast<TextBox*>(c)->readOnly()) << c->name();
}

}  // namespace
}  // namespace fhsw
