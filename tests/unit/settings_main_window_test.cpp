// The main settings window and the setup tool that fills it in: opening, the
// TLS choice, the composer's timer and SAVE, on an in-memory store, fake
// files and virtual time.
#include <gtest/gtest.h>

#include "forms/main_window.h"
#include "forms/profile_form.h"
#include "forms/settings_main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using test::TestApp;
using Strings = std::vector<std::string>;
using W = SettingsMainWindow;

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

const std::string kMessageFile = "C:\\SendEmail\\SENDEMAIL-MESSAGE.txt";
const std::string kRunner = "C:\\SendEmail\\SENDEMAIL-RUNNER.BAT";

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
    // A profile that saves without a word: the mail client is in place.
    SettingsMainWindow& filled() {
        app.files.files["C:\\SendEmail\\SendEmail.exe"] = "MZ";
        SettingsMainWindow& w = open();
        w.INSTALL_FOLDER_TEXTBOX.type("C:\\SendEmail");
        w.SEND_FROM_ADDRESS_TEXTBOX.type("backup@example.org");
        w.SEND_TO_ADDRESS_TEXTBOX.type("ops@example.org");
        w.SUBJECT_TEXTBOX.type("Nightly backup finished");
        w.MESSAGE_TEXTBOX.type("All done.\r\n.hidden\r\n.\r\nSee the log.");
        w.SMTP_SERVER_ADDRESS_PORT_TEXTBOX.type("192.0.2.7:25");
        w.SMTP_USERNAME_TEXTBOX.type("mailer");
        w.SMTP_PASSWORD_TEXTBOX.type("s3cret");
        return w;
    }
    std::string report() const { return s->SAVE_REPORT_LABEL.text(); }
};

TEST_F(SettingsTest, EmptyProfileOpensAtDefaultsWithThePlaceholderUntilTheFirstTick) {
    SettingsMainWindow& w = open();
    EXPECT_EQ(tls(), kNo);
    EXPECT_EQ(w.SMTP_PASSWORD_TEXTBOX.passwordChar(), "*");
    EXPECT_EQ(test::Disabled(w), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX",
                                          "MESSAGE_FILE_LOCATION_TEXTBOX", "FILE_ATTACHMENT_TEXTBOX"}));
    EXPECT_EQ(w.CANCEL_BUTTON.text(), "CANCEL");
    EXPECT_TRUE(app.backend.writes.empty());
    app.sched.advance(999);
    EXPECT_EQ(w.OUTPUT_COMMAND_TEXTBOX.text(), OUTPUT_COMMAND_PLACEHOLDER);
    app.sched.advance(1);
    EXPECT_EQ(w.OUTPUT_COMMAND_TEXTBOX.text().rfind(BAT_FILE_TOP_COMMANDS_TB, 0), 0u);
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

TEST_F(SettingsTest, SaveStoresInOneGoUpdatesTheMainWindowAndWritesBothFiles) {
    main.show();
    SettingsMainWindow& w = filled();
    w.tls().bringTo(TlsState::Yes);
    w.movedByUser(2000, 3000);
    w.SAVE_BUTTON.press();  // before the composer's first tick
    EXPECT_EQ(report(), "");
    EXPECT_EQ(app.backend.batches, 1);
    EXPECT_EQ(app.keysWrittenSince(0),
              (Strings{"SETTINGS_MAIN-Left", "SETTINGS_MAIN-Top", "INSTALL_FOLDER_TEXTBOX",
                       "SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "SMTP_USERNAME_TEXTBOX", "SMTP_PASSWORD_TEXTBOX",
                       "SEND_FROM_ADDRESS_TEXTBOX", "SEND_TO_ADDRESS_TEXTBOX", "SEND_CC_ADDRESS_TEXTBOX",
                       "SEND_BCC_ADDRESS_TEXTBOX", "TLS_NO_TICKBOX", "TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX",
                       "SUBJECT_TEXTBOX", "MESSAGE_TEXTBOX", "ATTACHMENT_TICKBOX", "FILE_AS_MESSAGE_TICKBOX",
                       "MESSAGE_FILE_LOCATION_TEXTBOX", "FILE_ATTACHMENT_TEXTBOX",
                       "SE_RUNNER_BAT_LOCATION_TEXTBOX"}));
    EXPECT_EQ(app.get("SETTINGS_MAIN-Left"), "2000");
    EXPECT_EQ(app.get("MESSAGE_TEXTBOX"), "All done.\r\n.hidden\r\n.\r\nSee the log.");
    EXPECT_EQ(app.get("SE_RUNNER_BAT_LOCATION_TEXTBOX"), "\"" + kRunner + "\"");
    // The main window shows the new values while this window is still open.
    EXPECT_TRUE(w.isOpen());
    EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), "\"" + kRunner + "\"");
    EXPECT_EQ(main.SEND_TO_ADDRESS_TEXTBOX.text(), "ops@example.org");
    EXPECT_EQ(main.SUBJECT_TEXTBOX.text(), "Nightly backup finished");
    EXPECT_EQ(w.CANCEL_BUTTON.text(), "Close");
    // Message file first, then the runner script, both private to the owner.
    EXPECT_EQ(app.files.order, (Strings{kMessageFile, kRunner}));
    EXPECT_EQ(app.files.private_.size(), 2u);
    // The server takes one leading dot off each line: every line arrives as typed.
    EXPECT_EQ(app.files.files[kMessageFile], "All done.\r\n..hidden\r\n..\r\nSee the log.\r\n");
    // Saved straight after typing: the script holds the fields as they stand,
    // not the placeholder.
    EXPECT_EQ(app.files.files[kRunner], w.OUTPUT_COMMAND_TEXTBOX.text() + "\r\n");
    for (const char* part : {" -u \"Nightly backup finished\" ", " -o tls=yes "})
        EXPECT_NE(app.files.files[kRunner].find(part), std::string::npos) << part;
}

// Whatever step fails, the store, the run files and the main window stay as
// the last SAVE left them, and the report names the cause.
TEST_F(SettingsTest, ASaveThatFailsAnywhereChangesNothing) {
    const struct {
        void (*fail)(TestApp&);
        std::string cause;
    } cases[] = {
        {[](TestApp& a) { a.files.failing.insert(kMessageFile); }, kMessageFile},
        {[](TestApp& a) { a.files.failing.insert(kRunner); }, kRunner},
        {[](TestApp& a) { a.files.failingCommit.insert(kMessageFile); }, kMessageFile},
        {[](TestApp& a) { a.files.failingCommit.insert(kRunner); }, kRunner},
        {[](TestApp& a) { a.backend.failWrites = true; }, "store is read-only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cause);
        TestApp app;
        MainWindow main(app.ctx);
        main.show();
        SettingsMainWindow w(app.ctx, main);
        w.show();
        w.INSTALL_FOLDER_TEXTBOX.type("C:\\SendEmail");
        w.SUBJECT_TEXTBOX.type("old");
        w.MESSAGE_TEXTBOX.type("old");
        ASSERT_TRUE(w.save());
        const auto values = app.backend.values;
        const auto files = app.files.files;
        w.SUBJECT_TEXTBOX.type("new");
        w.SEND_TO_ADDRESS_TEXTBOX.type("new@example.org");
        w.MESSAGE_TEXTBOX.type("new");
        w.movedByUser(15, 15);
        c.fail(app);
        EXPECT_FALSE(w.save());
        EXPECT_EQ(app.backend.values, values);
        EXPECT_EQ(app.files.files, files);
        EXPECT_EQ(main.SUBJECT_TEXTBOX.text() + main.SEND_TO_ADDRESS_TEXTBOX.text(), "old");
        EXPECT_EQ(w.SAVE_REPORT_LABEL.text().rfind("!!! NOT SAVED: ", 0), 0u);
        EXPECT_NE(w.SAVE_REPORT_LABEL.text().find(c.cause), std::string::npos) << w.SAVE_REPORT_LABEL.text();
    }
}

// What cannot reach the mail as typed is refused before anything is stored
// or written, naming the field as the window shows it.
TEST_F(SettingsTest, SaveRefusesWhatCannotTravelAndWritesNothing) {
    using namespace std::string_literals;
    app.files.unwritable[TextFileKind::MessageFile] = {U'\u0100', U'\u0416'};
    app.files.unwritable[TextFileKind::RunnerScript] = {U'\u0416'};
    struct Case {
        void (*edit)(W&);
        const char* named;
    };
    std::vector<Case> cases = {
        // the mail client would take these for switches
        {[](W& w) { w.SEND_TO_ADDRESS_TEXTBOX.type("--help"); }, "To"},
        {[](W& w) { w.SUBJECT_TEXTBOX.type("- weekly -"); }, "SUBJECT"},
        {[](W& w) { w.INSTALL_FOLDER_TEXTBOX.type("-x"); }, "SENDEMAIL HOME"},
        {[](W& w) { w.FILE_AS_MESSAGE_TICKBOX.click(), w.MESSAGE_FILE_LOCATION_TEXTBOX.type("-m.txt"); },
         "MESSAGE - FILE FULL LOCATION"},
        // control characters, whatever the field
        {[](W& w) { w.ATTACHMENT_TICKBOX.click(), w.FILE_ATTACHMENT_TEXTBOX.type("att.txt\0/etc/shadow"s); },
         "ATTACHMENT - FILE FULL LOCATION"},
        {[](W& w) { w.MESSAGE_TEXTBOX.type("a\x1b[2J"); }, "MESSAGE"},
        {[](W& w) { w.SEND_BCC_ADDRESS_TEXTBOX.type("b\x7f@example.org"); }, "Bcc"},
        // longer than a command line, alone or together
        {[](W& w) { w.SEND_CC_ADDRESS_TEXTBOX.type(std::string(8192, 'c')); }, "Cc"},
        {[](W& w) { w.SUBJECT_TEXTBOX.type(std::string(4000, 's')), w.SEND_CC_ADDRESS_TEXTBOX.type(std::string(4000, 'c')); },
         "command line"},
        // characters the field's file cannot hold
        {[](W& w) { w.MESSAGE_TEXTBOX.type("Caf\xC3\xA9 \xC4\x80"); }, "MESSAGE holds \"\xC4\x80\" (U+0100)"},
        {[](W& w) { w.SEND_CC_ADDRESS_TEXTBOX.type("\xD0\x96@example.org"); }, "Cc holds \"\xD0\x96\" (U+0416)"},
        // a folder that cannot be launched
        {[](W& w) { w.INSTALL_FOLDER_TEXTBOX.type("C:\\Send\" & calc & \""); }, "SENDEMAIL HOME"},
        {[](W& w) { w.INSTALL_FOLDER_TEXTBOX.type(""); }, "SENDEMAIL HOME"},
    };
    // Where the password travels on the command line, it must not look like a switch either.
    if (kPasswordOnCommandLine) cases.push_back({[](W& w) { w.SMTP_PASSWORD_TEXTBOX.type("-p"); }, "SMTP PASSWORD"});
    const std::string launch = main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        SettingsMainWindow& w = filled();
        c.edit(w);
        w.SAVE_BUTTON.press();
        EXPECT_EQ(report().rfind("!!! NOT SAVED: ", 0), 0u) << report();
        EXPECT_NE(report().find(c.named), std::string::npos) << report();
        EXPECT_TRUE(app.files.order.empty()) << "no run file written";
        EXPECT_TRUE(app.backend.writes.empty()) << "nothing stored";
        EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), launch);
        EXPECT_EQ(w.CANCEL_BUTTON.text(), "CANCEL");
    }
    // Look-alikes that pass: a dash inside, tabs, a dotted line, empty fields,
    // dashes in paths that are not sent, a password that travels on stdin.
    const std::vector<void (*)(W&)> accepted = {
        [](W& w) { w.SEND_TO_ADDRESS_TEXTBOX.type("a-b@example.org"), w.SEND_CC_ADDRESS_TEXTBOX.type(""); },
        [](W& w) { w.SUBJECT_TEXTBOX.type("\tweekly\t- report"), w.MESSAGE_TEXTBOX.type("\t.\r\n-\r\n"); },
        [](W& w) { w.MESSAGE_FILE_LOCATION_TEXTBOX.setText("-m"), w.FILE_ATTACHMENT_TEXTBOX.setText("-a"); },
        [](W& w) { w.SMTP_PASSWORD_TEXTBOX.type(kPasswordOnCommandLine ? "p-" : "-p"); },
        [](W& w) { w.SUBJECT_TEXTBOX.type("Gr\xC3\xBC\xC3\x9F" "e \xC4\x80"); },
    };
    for (auto edit : accepted) {
        SettingsMainWindow& w = filled();
        edit(w);
        EXPECT_TRUE(w.save()) << report();
    }
}

// Saved anyway, with a word for each.
TEST_F(SettingsTest, SaveWarnsOfWhatWillNotWorkAsExpected) {
    for (const std::string folder : {"C:\\SendEmail\\", "C:\\SendEmail"})
        app.backend.values[{"WEEKLY-" + std::to_string(folder.size()), "INSTALL_FOLDER_TEXTBOX"}] = folder;
    app.backend.values[{"DAILY", "INSTALL_FOLDER_TEXTBOX"}] = "C:\\SendEmail\\Other";
    app.backend.values[{kSharedProfile, "INSTALL_FOLDER_TEXTBOX"}] = "C:\\SendEmail";
    app.files.open["C:\\SendEmail"] = "C:\\SendEmail is writable by the group";
    app.backend.open = "the settings file is readable by others";
    app.files.files["D:\\utf8.txt"] = "Gr\xC3\xBC\xC3\x9F" "e";
    SettingsMainWindow& w = filled();
    app.files.files.erase("C:\\SendEmail\\SendEmail.exe");
    w.SEND_TO_ADDRESS_TEXTBOX.type("a@example.org\r\nb@example.org");
    w.FILE_AS_MESSAGE_TICKBOX.click();
    w.MESSAGE_FILE_LOCATION_TEXTBOX.type("D:\\utf8.txt");
    EXPECT_TRUE(w.save());
    EXPECT_EQ(app.get("SEND_TO_ADDRESS_TEXTBOX"), "a@example.org\r\nb@example.org") << "stored as typed";
    for (const char* named : {"Line breaks in To", "C:\\SendEmail\\SendEmail.exe", "WEEKLY-12, WEEKLY-13",
                              "writable by the group", "readable by others"})
        EXPECT_NE(report().find(named), std::string::npos) << named << " in " << report();
    EXPECT_EQ(report().find("DAILY"), std::string::npos);
    EXPECT_EQ(report().find(kSharedProfile), std::string::npos);
    // Only a UTF-8 file is sent garbled, and only by a client that declares it ISO-8859-1.
    for (const std::string text : {"Gr\xC3\xBC\xC3\x9F" "e", "Gr\xFC\xDF" "e", "plain"}) {
        app.files.files["D:\\utf8.txt"] = text;
        w.save();
        EXPECT_EQ(report().find("MESSAGE - FILE FULL LOCATION") != std::string::npos,
                  kMessageFileSentAsLatin1 && text.size() == 7) << text;
    }
}

TEST_F(SettingsTest, AStoredValueTooLongForACommandLineOpensCutToWholeCharacters) {
    std::string subject;
    for (int i = 0; i < 500000; ++i) subject += "\xC3\xA9";
    app.put({{"SUBJECT_TEXTBOX", subject}, {"MESSAGE_TEXTBOX", subject}});
    SettingsMainWindow& w = open();
    EXPECT_EQ(w.SUBJECT_TEXTBOX.text(), subject.substr(0, 2 * 8191));
    EXPECT_EQ(w.MESSAGE_TEXTBOX.text(), subject) << "the message is no command-line value";
    EXPECT_NE(w.notice().find("SUBJECT"), std::string::npos) << w.notice();
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

// Each field gets a value of its own: through the setup tool it must reach
// its own key and open in its own control, and from that control go back to
// its own key. The tick boxes are ticked one at a time, so that two that
// trade places show.
TEST(SetupTool, EveryFieldReachesItsOwnKeyAndOpensInItsOwnControl) {
    const std::pair<const char*, TextBox W::*> texts[] = {
        {"INSTALL_FOLDER_TEXTBOX", &W::INSTALL_FOLDER_TEXTBOX}, {"SMTP_USERNAME_TEXTBOX", &W::SMTP_USERNAME_TEXTBOX},
        {"SMTP_SERVER_ADDRESS_PORT_TEXTBOX", &W::SMTP_SERVER_ADDRESS_PORT_TEXTBOX},
        {"SMTP_PASSWORD_TEXTBOX", &W::SMTP_PASSWORD_TEXTBOX}, {"SEND_FROM_ADDRESS_TEXTBOX", &W::SEND_FROM_ADDRESS_TEXTBOX},
        {"SEND_TO_ADDRESS_TEXTBOX", &W::SEND_TO_ADDRESS_TEXTBOX}, {"SEND_CC_ADDRESS_TEXTBOX", &W::SEND_CC_ADDRESS_TEXTBOX},
        {"SEND_BCC_ADDRESS_TEXTBOX", &W::SEND_BCC_ADDRESS_TEXTBOX}, {"SUBJECT_TEXTBOX", &W::SUBJECT_TEXTBOX},
        {"MESSAGE_TEXTBOX", &W::MESSAGE_TEXTBOX}, {"FILE_ATTACHMENT_TEXTBOX", &W::FILE_ATTACHMENT_TEXTBOX},
        {"MESSAGE_FILE_LOCATION_TEXTBOX", &W::MESSAGE_FILE_LOCATION_TEXTBOX}};
    const std::pair<const char*, TickBox W::*> ticks[] = {{"ATTACHMENT_TICKBOX", &W::ATTACHMENT_TICKBOX},
                                                          {"FILE_AS_MESSAGE_TICKBOX", &W::FILE_AS_MESSAGE_TICKBOX}};
    const std::pair<const char*, TickBox MainWindow::*> options[] = {
        {"AUTOSTART_TICKBOX", &MainWindow::AUTOSTART_TICKBOX}, {"AUTOCLOSE_TICKBOX", &MainWindow::AUTOCLOSE_TICKBOX},
        {"P4P_TICKBOX", &MainWindow::P4P_TICKBOX}, {"AlwaysOnTopTimer_TICKBOX", &MainWindow::AlwaysOnTopTimer_TICKBOX},
        {"SE_EXE_OUTPUT_WINDOW_TICKBOX", &MainWindow::SE_EXE_OUTPUT_WINDOW_TICKBOX}};
    for (std::size_t round = 0; round < std::size(ticks) + std::size(options); ++round) {
        SCOPED_TRACE(round);
        TestApp app;
        auto text = [&](const std::string& key) { return std::to_string(round) + key; };
        auto tick = [&](std::size_t i) { return std::string(i == round ? "1" : "0"); };
        const char* tls[] = {"no", "open", "yes", "auto"};  // each state saved and opened again
        Strings args = {std::string("TLS=") + tls[round % 4]};
        for (const auto& [key, member] : texts) args.push_back(key + ("=" + text(key)));
        for (std::size_t i = 0; i < std::size(ticks); ++i) args.push_back(ticks[i].first + ("=" + tick(i)));
        for (std::size_t i = 0; i < std::size(options); ++i)
            args.push_back(options[i].first + ("=" + tick(std::size(ticks) + i)));
        std::string messages;
        ASSERT_EQ(SetupProfile(app.ctx, args, messages), 0) << messages;

        MainWindow main(app.ctx);
        main.show();
        SettingsMainWindow w(app.ctx, main);
        w.show();
        EXPECT_EQ(w.tls().state(), static_cast<TlsState>(round % 4));
        for (const auto& [key, member] : texts) {
            EXPECT_EQ(app.get(key), text(key));
            EXPECT_EQ((w.*member).text(), text(key)) << key;
            (w.*member).setText(text(key) + "'");
        }
        for (std::size_t i = 0; i < std::size(ticks); ++i) {
            EXPECT_EQ(app.get(ticks[i].first), tick(i));
            EXPECT_EQ((w.*ticks[i].second).state(), tick(i) == "1") << ticks[i].first;
            (w.*ticks[i].second).setState(tick(i) == "0");
        }
        for (std::size_t i = 0; i < std::size(options); ++i)
            EXPECT_EQ((main.*options[i].second).state(), tick(std::size(ticks) + i) == "1") << options[i].first;
        ASSERT_TRUE(w.save()) << w.SAVE_REPORT_LABEL.text();
        for (const auto& [key, member] : texts) EXPECT_EQ(app.get(key), text(key) + "'");
        for (std::size_t i = 0; i < std::size(ticks); ++i)
            EXPECT_EQ(app.get(ticks[i].first), tick(i) == "1" ? "0" : "1") << ticks[i].first;
    }
}

// A wrong value stores nothing, the main window's options included.
TEST(SetupTool, RefusesWhatItCannotStoreAndStoresNothing) {
    const struct {
        Strings args;
        int status;
        const char* named;
    } cases[] = {
        {{"AUTOSTART_TICKBOX=yes"}, 2, "AUTOSTART_TICKBOX"},
        {{"ATTACHMENT_TICKBOX=2"}, 2, "ATTACHMENT_TICKBOX"},
        {{"TLS=maybe"}, 2, "maybe"},
        {{"TLS_NO_TICKBOX=1"}, 2, "TLS_NO_TICKBOX"},
        {{"NO_SUCH_FIELD=1"}, 2, "NO_SUCH_FIELD"},
        {{"SUBJECT_TEXTBOX"}, 2, "SUBJECT_TEXTBOX"},
        {{"SUBJECT_TEXTBOX=-S"}, 1, "SUBJECT"},
        {{}, 1, "unreadable"},
    };
    for (const auto& c : cases) {
        TestApp app;
        if (c.args.empty()) app.backend.readError = "unreadable";
        Strings args = {"INSTALL_FOLDER_TEXTBOX=C:\\SendEmail", "P4P_TICKBOX=1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string messages;
        EXPECT_EQ(SetupProfile(app.ctx, args, messages), c.status) << c.named;
        EXPECT_NE(messages.find(c.named), std::string::npos) << messages;
        EXPECT_TRUE(app.backend.writes.empty()) << c.named;
        EXPECT_TRUE(app.files.order.empty()) << c.named;
    }
}

}  // namespace
}  // namespace fhsw
