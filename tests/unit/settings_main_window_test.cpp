// The main settings window: opening, the TLS choice, the composer's timer
// and SAVE, on an in-memory store, fake files and virtual time.
#include <gtest/gtest.h>

#include "forms/settings_main_window.h"
#include "forms/main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using test::TestApp;
using Strings = std::vector<std::string>;

struct TlsView {
    TlsState state;
    bool noEnabled, yesEnabled, autoEnabled;
    std::string setting;
    friend bool operator==(const TlsView&, const TlsView&) = default;
    friend std::ostream& operator<<(std::ostream& os, const TlsView& v) {
        return os << "state " << static_cast<int>(v.state) << " enabled " << v.noEnabled
                  << v.yesEnabled << v.autoEnabled << " setting " << v.setting;
    }
};

// The four states as the user sees them.
const TlsView kNo{TlsState::No, true, false, false, "no"};
const TlsView kOpen{TlsState::Open, true, true, true, "no"};
const TlsView kYes{TlsState::Yes, false, true, false, "yes"};
const TlsView kAuto{TlsState::Auto, false, false, true, "auto"};

struct SettingsTest : ::testing::Test {
    TestApp app;
    MainWindow main{app.ctx};
    std::unique_ptr<SettingsMainWindow> s;

    SettingsMainWindow& open() {
        s = std::make_unique<SettingsMainWindow>(app.ctx, main);
        s->show();
        return *s;
    }
    TlsView tls() const {
        return {s->tls().state(), s->TLS_NO_TICKBOX.enabled(), s->TLS_YES_TICKBOX.enabled(),
                s->TLS_AUTO_TICKBOX.enabled(), s->TLS_TB_SETTING.text()};
    }
    void fill(SettingsMainWindow& w) {
        w.INSTALL_FOLDER_TEXTBOX.type("C:\\SendEmail");
        w.SEND_FROM_ADDRESS_TEXTBOX.type("backup@example.org");
        w.SEND_TO_ADDRESS_TEXTBOX.type("ops@example.org");
        w.SUBJECT_TEXTBOX.type("Nightly backup finished");
        w.MESSAGE_TEXTBOX.type("All done.\r\nSee the log.");
        w.SMTP_SERVER_ADDRESS_PORT_TEXTBOX.type("192.0.2.7:25");
        w.SMTP_USERNAME_TEXTBOX.type("mailer");
        w.SMTP_PASSWORD_TEXTBOX.type("s3cret");
    }
};

TEST_F(SettingsTest, EmptyProfileOpensAtDefaultsWithThePlaceholderUntilTheFirstTick) {
    SettingsMainWindow& w = open();
    EXPECT_EQ((std::vector<float>{w.left(), w.top(), w.width(), w.height()}),
              (std::vector<float>{1000, 1000, 9840, 5400}));
    EXPECT_EQ(tls(), kNo);
    EXPECT_EQ(w.SMTP_PASSWORD_TEXTBOX.passwordChar(), "*");
    EXPECT_EQ(test::Disabled(w), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX",
                                          "MESSAGE_FILE_LOCATION_TEXTBOX", "FILE_ATTACHMENT_TEXTBOX"}));
    EXPECT_EQ(w.CANCEL_BUTTON.text(), "CANCEL");
    EXPECT_TRUE(app.backend.writes.empty());
    const std::string placeholder = w.OUTPUT_COMMAND_TEXTBOX.text();
    EXPECT_EQ(placeholder.rfind("REM - !!! OUTPUT COMMAND WINDOW ERROR !!! -\r\n", 0), 0u);
    app.sched.advance(999);
    EXPECT_EQ(w.OUTPUT_COMMAND_TEXTBOX.text(), placeholder);
    app.sched.advance(1);
    EXPECT_EQ(w.OUTPUT_COMMAND_TEXTBOX.text().rfind("TITLE FH-SENDWARDEN\r\n", 0), 0u);
    EXPECT_NE(w.OUTPUT_COMMAND_TEXTBOX.text().find(" -o tls=no "), std::string::npos);
}

TEST_F(SettingsTest, ComposerFollowsEditsAtTheNextTickOnly) {
    SettingsMainWindow& w = open();
    app.sched.advance(1000);
    w.ATTACHMENT_TICKBOX.click();
    w.FILE_ATTACHMENT_TEXTBOX.type("C:\\r.txt");
    EXPECT_EQ(w.ATTACHMENT_COMMAND_TB.text(), "");
    app.sched.advance(1000);
    EXPECT_EQ(w.ATTACHMENT_COMMAND_TB.text(), "-a \"C:\\r.txt\"");
    EXPECT_NE(w.OUTPUT_COMMAND_TEXTBOX.text().find("-v -a \"C:\\r.txt\""), std::string::npos);
}

// Every click the user can make, from every state; a disabled box does not
// react, so Yes to Auto takes the long way.
TEST_F(SettingsTest, TlsClicksMoveBetweenTheFourStates) {
    struct Case {
        TlsView from;
        const char* box;
        TlsView to;
    };
    const Case cases[] = {
        {kNo, "TLS_NO_TICKBOX", kOpen},    {kOpen, "TLS_NO_TICKBOX", kNo},
        {kOpen, "TLS_YES_TICKBOX", kYes},  {kOpen, "TLS_AUTO_TICKBOX", kAuto},
        {kYes, "TLS_YES_TICKBOX", kNo},    {kAuto, "TLS_AUTO_TICKBOX", kNo},
        {kNo, "TLS_YES_TICKBOX", kNo},     {kNo, "TLS_AUTO_TICKBOX", kNo},
        {kYes, "TLS_NO_TICKBOX", kYes},    {kYes, "TLS_AUTO_TICKBOX", kYes},
        {kAuto, "TLS_NO_TICKBOX", kAuto},  {kAuto, "TLS_YES_TICKBOX", kAuto},
    };
    for (const Case& c : cases) {
        open().tls().bringTo(c.from.state);
        ASSERT_EQ(tls(), c.from);
        static_cast<TickBox*>(s->find(c.box))->click();
        EXPECT_EQ(tls(), c.to) << "clicking " << c.box;
    }
}

TEST_F(SettingsTest, StoredTlsValuesOpenInTheirStateAndOddValuesInStateNo) {
    struct Case {
        const char *no, *yes, *autoValue;
        TlsView expect;
    };
    const Case cases[] = {
        {"1", "0", "0", kNo},   {"0", "0", "0", kOpen},  {"0", "1", "0", kYes},
        {"0", "0", "1", kAuto}, {"1", "1", "0", kNo},    {"0", "1", "1", kNo},
        {"x", "1", "0", kNo},   {"0", "2", "0", kNo},
    };
    for (const Case& c : cases) {
        app.put({{"TLS_NO_TICKBOX", c.no}, {"TLS_YES_TICKBOX", c.yes}, {"TLS_AUTO_TICKBOX", c.autoValue}});
        open();
        EXPECT_EQ(tls(), c.expect) << c.no << c.yes << c.autoValue;
        s->close();
    }
}

TEST_F(SettingsTest, SaveThenReopenKeepsTheTlsState) {
    for (TlsState state : {TlsState::No, TlsState::Open, TlsState::Yes, TlsState::Auto}) {
        open().tls().bringTo(state);
        s->SAVE_BUTTON.press();
        s->CANCEL_BUTTON.press();
        open();
        EXPECT_EQ(s->tls().state(), state);
        s->close();
    }
}

TEST_F(SettingsTest, SaveStoresInOrderUpdatesTheMainWindowAndWritesBothFiles) {
    main.show();
    SettingsMainWindow& w = open();
    fill(w);
    w.tls().bringTo(TlsState::Yes);
    w.movedByUser(2000, 3000);
    const std::size_t before = app.backend.writes.size();
    w.SAVE_BUTTON.press();  // before the composer's first tick
    EXPECT_EQ(app.keysWrittenSince(before),
              (Strings{"SETTINGS_MAIN-Left", "SETTINGS_MAIN-Top", "INSTALL_FOLDER_TEXTBOX",
                       "SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "SMTP_USERNAME_TEXTBOX", "SMTP_PASSWORD_TEXTBOX",
                       "SEND_FROM_ADDRESS_TEXTBOX", "SEND_TO_ADDRESS_TEXTBOX", "SEND_CC_ADDRESS_TEXTBOX",
                       "SEND_BCC_ADDRESS_TEXTBOX", "TLS_NO_TICKBOX", "TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX",
                       "SUBJECT_TEXTBOX", "MESSAGE_TEXTBOX", "ATTACHMENT_TICKBOX", "FILE_AS_MESSAGE_TICKBOX",
                       "MESSAGE_FILE_LOCATION_TEXTBOX", "FILE_ATTACHMENT_TEXTBOX",
                       "SE_RUNNER_BAT_LOCATION_TEXTBOX"}));
    EXPECT_EQ(app.get("SETTINGS_MAIN-Left"), "2000");
    EXPECT_EQ(app.get("MESSAGE_TEXTBOX"), "All done.\r\nSee the log.");
    EXPECT_EQ(app.get("SE_RUNNER_BAT_LOCATION_TEXTBOX"), "\"C:\\SendEmail\\SENDEMAIL-RUNNER.BAT\"");
    // The main window shows the new values while this window is still open.
    EXPECT_TRUE(w.isOpen());
    EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), "\"C:\\SendEmail\\SENDEMAIL-RUNNER.BAT\"");
    EXPECT_EQ(main.SEND_TO_ADDRESS_TEXTBOX.text(), "ops@example.org");
    EXPECT_EQ(main.SUBJECT_TEXTBOX.text(), "Nightly backup finished");
    EXPECT_EQ(w.CANCEL_BUTTON.text(), "Close");
    // Message file first, then the runner script, both private to the owner.
    EXPECT_EQ(app.files.order, (Strings{"C:\\SendEmail\\SENDEMAIL-MESSAGE.txt",
                                        "C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"}));
    EXPECT_EQ(app.files.private_.size(), 2u);
    EXPECT_EQ(app.files.files["C:\\SendEmail\\SENDEMAIL-MESSAGE.txt"],
              "All done.\r\nSee the log.\r\n");
    // Saved straight after typing: the script holds the fields as they stand,
    // not the placeholder.
    const std::string& script = app.files.files["C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"];
    const std::string line =
        "\"C:\\SendEmail\\SendEmail.exe\" -f \"backup@example.org\" -t \"ops@example.org\" -cc \"\" "
        "-bcc \"\" -u \"Nightly backup finished\" -o "
        "message-file=\"C:\\SendEmail\\SENDEMAIL-MESSAGE.txt\" -s \"192.0.2.7:25\" -xu \"mailer\" "
        "-xp \"s3cret\" -o reply-to=backup@example.org -l \"C:\\SendEmail\\SENDEMAIL-LOG.txt\" "
        "-o tls=yes -o username=mailer -o password=s3cret -q -v \r\n";
    ASSERT_GE(script.size(), line.size());
    EXPECT_EQ(script.substr(script.size() - line.size()), line);
    EXPECT_EQ(script.rfind("TITLE FH-SENDWARDEN\r\necho off\r\n", 0), 0u);
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), "");
}

TEST_F(SettingsTest, ARunFileThatCannotBeWrittenIsReportedAfterTheProfileIsStored) {
    main.show();
    SettingsMainWindow& w = open();
    fill(w);
    app.files.failing.insert("C:\\SendEmail\\SENDEMAIL-RUNNER.BAT");
    w.SAVE_BUTTON.press();
    EXPECT_TRUE(w.isOpen());
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(),
              "!!! NOT SAVED: C:\\SendEmail\\SENDEMAIL-RUNNER.BAT: Permission denied !!!");
    EXPECT_EQ(app.get("SUBJECT_TEXTBOX"), "Nightly backup finished");
    EXPECT_EQ(main.SUBJECT_TEXTBOX.text(), "Nightly backup finished");
    // Mended folder: the next SAVE clears the report.
    app.files.failing.clear();
    w.SAVE_BUTTON.press();
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), "");
}

TEST_F(SettingsTest, ACommandLineLongerThanCmdReadsStoresAndWritesNothing) {
    SettingsMainWindow& w = open();
    fill(w);
    w.SUBJECT_TEXTBOX.setText(std::string(8000, 's'));
    w.SAVE_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty());
    EXPECT_TRUE(app.backend.writes.empty());
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text().rfind("!!! NOT SAVED: the SendEmail.exe command line is ", 0),
              0u) << w.SAVE_REPORT_LABEL.text();
    EXPECT_NE(w.SAVE_REPORT_LABEL.text().find("at most 8191"), std::string::npos);
    // Shortened: written.
    w.SUBJECT_TEXTBOX.setText("short");
    w.SAVE_BUTTON.press();
    EXPECT_EQ(app.files.order.size(), 2u);
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), "");
}

TEST_F(SettingsTest, AnEmptyFolderWritesNoRunFilesAndSaysSo) {
    SettingsMainWindow& w = open();
    w.SUBJECT_TEXTBOX.type("x");
    w.SAVE_BUTTON.press();
    EXPECT_TRUE(app.files.order.empty());
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(),
              "!!! NOT SAVED: no SENDEMAIL HOME folder given - run files not written !!!");
    EXPECT_EQ(app.get("SUBJECT_TEXTBOX"), "x");
}

TEST_F(SettingsTest, LineBreaksInOneLineFieldsAreReportedAtSave) {
    SettingsMainWindow& w = open();
    fill(w);
    w.SEND_TO_ADDRESS_TEXTBOX.setText("a@example.org\r\nb@example.org");
    w.SAVE_BUTTON.press();
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), "Line breaks in To are sent as blanks")
        << "the field is named as the user sees it";
    EXPECT_EQ(app.get("SEND_TO_ADDRESS_TEXTBOX"), "a@example.org\r\nb@example.org")
        << "the profile keeps the text as typed";
}

// What cannot travel is refused before anything is stored or written,
// naming the field by its caption: a character the field's file cannot hold
// (the message file's charset for MESSAGE, the runner script's for the
// rest), or a double quote in the install folder (it would end the quoted
// launch text and run something else).
TEST_F(SettingsTest, SaveRefusesWhatCannotTravelAndWritesNothing) {
    app.files.unwritable[TextFileKind::MessageFile] = {U'\u0100', U'\u0416'};
    app.files.unwritable[TextFileKind::RunnerScript] = {U'\u0416'};
    const std::vector<std::pair<std::function<void(SettingsMainWindow&)>, std::string>> cases = {
        {[](SettingsMainWindow& w) { w.MESSAGE_TEXTBOX.type("Caf\xC3\xA9 \xC4\x80"); },
         "!!! NOT SAVED: MESSAGE holds \"\xC4\x80\" (U+0100), which cannot be sent - nothing saved !!!"},
        {[](SettingsMainWindow& w) { w.SUBJECT_TEXTBOX.type("\xD0\x96ourney"); },
         "!!! NOT SAVED: SUBJECT holds \"\xD0\x96\" (U+0416), which cannot be sent - nothing saved !!!"},
        {[](SettingsMainWindow& w) { w.SEND_CC_ADDRESS_TEXTBOX.type("\xD0\x96@example.org"); },
         "!!! NOT SAVED: Cc holds \"\xD0\x96\" (U+0416), which cannot be sent - nothing saved !!!"},
        {[](SettingsMainWindow& w) { w.SMTP_SERVER_ADDRESS_PORT_TEXTBOX.type("\xD0\x96:25"); },
         "!!! NOT SAVED: SMTP SERVER:PORT holds \"\xD0\x96\" (U+0416), which cannot be sent - nothing saved !!!"},
        {[](SettingsMainWindow& w) { w.INSTALL_FOLDER_TEXTBOX.type("C:\\Send\" & calc & \""); },
         "!!! NOT SAVED: SENDEMAIL HOME holds a double quote (\"), which cannot be part of a folder "
         "name - nothing saved !!!"}};
    const std::string launchBefore = main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text();
    for (const auto& [edit, report] : cases) {
        SCOPED_TRACE(report);
        SettingsMainWindow& w = open();
        fill(w);
        edit(w);
        w.SAVE_BUTTON.press();
        EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), report);
        EXPECT_TRUE(app.files.order.empty()) << "no run file written";
        EXPECT_TRUE(app.backend.writes.empty()) << "nothing stored";
        EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), launchBefore);
        EXPECT_EQ(w.CANCEL_BUTTON.text(), "CANCEL");
        EXPECT_TRUE(w.isOpen());
    }
    // Characters the files can hold pass; the message's own charset is not
    // asked of the other fields.
    SettingsMainWindow& w = open();
    fill(w);
    w.SUBJECT_TEXTBOX.type("Gr\xC3\xBC\xC3\x9F" "e, caf\xC3\xA9 \xC4\x80");
    w.MESSAGE_TEXTBOX.type("Gr\xC3\xBC\xC3\x9F" "e, caf\xC3\xA9");
    w.SAVE_BUTTON.press();
    EXPECT_EQ(w.SAVE_REPORT_LABEL.text(), "");
    EXPECT_EQ(app.files.order.size(), 2u);
    EXPECT_EQ(app.files.kinds["C:\\SendEmail\\SENDEMAIL-MESSAGE.txt"], TextFileKind::MessageFile);
}

TEST(SettingsCaptions, StoredFieldsAreNamedByTheirVisibleCaption) {
    TestApp app;
    MainWindow m(app.ctx);
    SettingsMainWindow w(app.ctx, m);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"INSTALL_FOLDER_TEXTBOX", "SENDEMAIL HOME"}, {"SEND_FROM_ADDRESS_TEXTBOX", "From"},
        {"SEND_TO_ADDRESS_TEXTBOX", "To"}, {"SEND_CC_ADDRESS_TEXTBOX", "Cc"},
        {"SEND_BCC_ADDRESS_TEXTBOX", "Bcc"}, {"SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "SMTP SERVER:PORT"},
        {"SMTP_USERNAME_TEXTBOX", "SMTP USERNAME"}, {"SMTP_PASSWORD_TEXTBOX", "SMTP PASSWORD"},
        {"SUBJECT_TEXTBOX", "SUBJECT"}, {"MESSAGE_TEXTBOX", "MESSAGE"},
        {"MESSAGE_FILE_LOCATION_TEXTBOX", "MESSAGE - FILE FULL LOCATION"},
        {"FILE_ATTACHMENT_TEXTBOX", "ATTACHMENT - FILE FULL LOCATION"}};
    for (const auto& [key, caption] : cases) {
        EXPECT_EQ(SettingsMainWindow::Caption(key), caption);
        ASSERT_NE(w.find(key), nullptr) << key << " is a field of the window";
        // The caption is what a label of the window (or the folder's caption field) shows.
        bool shown = false;
        for (Control* c : w.controls())
            if (c->kind() != ControlKind::TextBox || c->name() == "INSTALL_FOLDER_LABEL_TEXTBOX")
                shown = shown || c->text().find(caption) != std::string::npos;
        EXPECT_TRUE(shown) << caption;
    }
    EXPECT_EQ(SettingsMainWindow::Caption("TLS_TB_SETTING"), "TLS_TB_SETTING");
}

TEST_F(SettingsTest, CancelStoresOnlyThePositionAndForgetsEdits) {
    app.put("SUBJECT_TEXTBOX", "old");
    SettingsMainWindow& w = open();
    w.SUBJECT_TEXTBOX.type("new");
    w.SHOW_PASSWORD_TICKBOX.click();
    EXPECT_EQ(w.SMTP_PASSWORD_TEXTBOX.passwordChar(), "");
    w.movedByUser(-1500, 200);
    w.CANCEL_BUTTON.press();
    EXPECT_EQ(app.writtenKeys(), (Strings{"SETTINGS_MAIN-Left=-1500", "SETTINGS_MAIN-Top=200"}));
    SettingsMainWindow& again = open();
    EXPECT_EQ(again.SUBJECT_TEXTBOX.text(), "old");
    EXPECT_EQ(again.left(), -1500);
    EXPECT_EQ(again.width(), 9840);
    EXPECT_EQ(again.SMTP_PASSWORD_TEXTBOX.passwordChar(), "*");
}

TEST_F(SettingsTest, MessageFileAndAttachmentTicksEnableTheirFields) {
    app.put({{"FILE_AS_MESSAGE_TICKBOX", "1"}, {"ATTACHMENT_TICKBOX", "1"}});
    SettingsMainWindow& w = open();
    EXPECT_EQ(test::Disabled(w), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX", "MESSAGE_TEXTBOX"}));
    w.MESSAGE_TEXTBOX.type("ignored while disabled");
    EXPECT_EQ(w.MESSAGE_TEXTBOX.text(), "");
    w.FILE_AS_MESSAGE_TICKBOX.click();
    w.ATTACHMENT_TICKBOX.click();
    EXPECT_EQ(test::Disabled(w), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX",
                                          "MESSAGE_FILE_LOCATION_TEXTBOX", "FILE_ATTACHMENT_TEXTBOX"}));
}

}  // namespace
}  // namespace fhsw
