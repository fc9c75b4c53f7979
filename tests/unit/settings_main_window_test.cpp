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

using Strings = std::vector<std::string>;
using W = SettingsMainWindow;

// The four TLS states as the user sees them: the ticked box, the enabled
// boxes and the TLS text.
const std::string kNo = "no n-- no", kOpen = "- nya no", kYes = "yes -y- yes", kAuto = "auto --a auto";
const std::string kMessageFile = "C:\\SendEmail\\SENDEMAIL-MESSAGE.txt";
const std::string kRunner = "C:\\SendEmail\\SENDEMAIL-RUNNER.BAT";

struct SettingsTest : ::testing::Test {
    test::TestApp app;
    MainWindow main{app.ctx};
    std::unique_ptr<SettingsMainWindow> s;

    SettingsMainWindow& open() {
        s = std::make_unique<SettingsMainWindow>(app.ctx, main);
        s->show();
        return *s;
    }
    std::string tls() const {
        std::string view = "-", enabled;
        for (TickBox* box : {&s->TLS_NO_TICKBOX, &s->TLS_YES_TICKBOX, &s->TLS_AUTO_TICKBOX}) {
            if (box->ticked()) view = box->text();
            enabled += box->enabled() ? box->text()[0] : '-';
        }
        return view + " " + enabled + " " + s->TLS_TB_SETTING.text();
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
        return w;
    }
    std::string report() const { return s->SAVE_REPORT_LABEL.text(); }
};

TEST_F(SettingsTest, OpeningFromTheProfileAndComposingAtEachTick) {
    SettingsMainWindow& w = open();
    EXPECT_EQ(tls(), kNo);
    EXPECT_EQ(test::Disabled(w), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX", "MESSAGE_FILE_LOCATION_TEXTBOX",
                                          "FILE_ATTACHMENT_TEXTBOX"}));
    app.sched.advance(1000);
    EXPECT_TRUE(w.OUTPUT_COMMAND_TEXTBOX.text().starts_with(BAT_FILE_TOP_COMMANDS_TB));
    w.ATTACHMENT_TICKBOX.click();
    w.FILE_ATTACHMENT_TEXTBOX.type("C:\\r.txt");
    EXPECT_EQ(w.ATTACHMENT_COMMAND_TB.text(), "") << "not before the next tick";
    app.sched.advance(1000);
    EXPECT_TRUE(w.OUTPUT_COMMAND_TEXTBOX.text().ends_with("-v -a \"C:\\r.txt\""));
    w.SHOW_PASSWORD_TICKBOX.click();
    EXPECT_EQ(w.SMTP_PASSWORD_TEXTBOX.passwordChar(), "");
    // Opened again: the password masked, a ticked "Use TXT File As Message"
    // locks the message, and a value too long for a command line is cut at a
    // whole character, with a notice.
    std::string subject;
    for (int i = 0; i < 500000; ++i) subject += "\xC3\xA9";
    app.put({{"FILE_AS_MESSAGE_TICKBOX", "1"}, {"SUBJECT_TEXTBOX", subject}, {"MESSAGE_TEXTBOX", subject}});
    SettingsMainWindow& again = open();
    EXPECT_EQ(again.SMTP_PASSWORD_TEXTBOX.passwordChar(), "*");
    EXPECT_EQ(test::Disabled(again), (Strings{"TLS_YES_TICKBOX", "TLS_AUTO_TICKBOX", "MESSAGE_TEXTBOX",
                                              "FILE_ATTACHMENT_TEXTBOX"}));
    EXPECT_EQ(again.SUBJECT_TEXTBOX.text(), subject.substr(0, 2 * 8191));
    EXPECT_EQ(again.MESSAGE_TEXTBOX.text(), subject) << "the message is no command-line value";
    EXPECT_NE(again.notice().find("SUBJECT"), std::string::npos) << again.notice();
}

// Clicks move between the four states; a disabled box does not react, so
// Yes to Auto takes the long way.
TEST_F(SettingsTest, TlsClicksMoveBetweenTheFourStates) {
    open();
    const std::pair<TickBox*, std::string> clicks[] = {
        {&s->TLS_YES_TICKBOX, kNo}, {&s->TLS_NO_TICKBOX, kOpen}, {&s->TLS_YES_TICKBOX, kYes},
        {&s->TLS_AUTO_TICKBOX, kYes}, {&s->TLS_NO_TICKBOX, kYes}, {&s->TLS_YES_TICKBOX, kNo},
        {&s->TLS_NO_TICKBOX, kOpen}, {&s->TLS_AUTO_TICKBOX, kAuto}, {&s->TLS_AUTO_TICKBOX, kNo},
        {&s->TLS_NO_TICKBOX, kOpen}, {&s->TLS_NO_TICKBOX, kNo}};
    for (const auto& [box, state] : clicks) {
        box->click();
        EXPECT_EQ(tls(), state) << "after " << box->name();
    }
}

// Stored TLS values that no save writes open in state No (the four that a
// save writes: the setup tool's test).
TEST_F(SettingsTest, OddStoredTlsValuesOpenInStateNo) {
    for (const Strings& stored : {Strings{"1", "1", "0"}, Strings{"0", "1", "1"}, Strings{"x", "1", "0"}, Strings{"0", "2", "0"}}) {
        app.put({{"TLS_NO_TICKBOX", stored[0]}, {"TLS_YES_TICKBOX", stored[1]}, {"TLS_AUTO_TICKBOX", stored[2]}});
        open();
        EXPECT_EQ(tls(), kNo) << stored[0] << stored[1] << stored[2];
    }
}

TEST_F(SettingsTest, SaveStoresInOneGoUpdatesTheMainWindowAndWritesBothFiles) {
    main.show();
    SettingsMainWindow& w = filled();
    w.tls().bringTo(TlsState::Yes);
    w.movedByUser(2000, 3000);
    w.SAVE_BUTTON.press();  // before the composer's first tick
    EXPECT_EQ(report(), "");
    EXPECT_EQ(app.backend.batches, 1) << "every value in one go (each field's key: the setup tool's test)";
    EXPECT_EQ(app.get("SETTINGS_MAIN-Left") + app.get("TLS_YES_TICKBOX"), "20001");
    EXPECT_EQ(app.get("MESSAGE_TEXTBOX"), "All done.\r\n.hidden\r\n.\r\nSee the log.");
    EXPECT_EQ(app.get("SE_RUNNER_BAT_LOCATION_TEXTBOX"), "\"" + kRunner + "\"");
    // The main window shows the new values while this window is still open.
    EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text() + main.SEND_TO_ADDRESS_TEXTBOX.text() + main.SUBJECT_TEXTBOX.text(),
              "\"" + kRunner + "\"ops@example.orgNightly backup finished");
    // Message file first, then the runner script, both private to the owner.
    EXPECT_EQ(app.files.order, (Strings{kMessageFile, kRunner}));
    EXPECT_EQ(app.files.private_.size(), 2u);
    // The server takes one leading dot off each line: every line arrives as typed.
    EXPECT_EQ(app.files.files[kMessageFile], "All done.\r\n..hidden\r\n..\r\nSee the log.\r\n");
    // Saved straight after typing: the fields as they stand, not the placeholder.
    EXPECT_NE(app.files.files[kRunner].find(" -u \"Nightly backup finished\" "), std::string::npos);
}

// Whatever step fails, the store, the run files and the main window stay as
// the last SAVE left them, and the report names the cause.
TEST_F(SettingsTest, ASaveThatFailsAnywhereChangesNothing) {
    const std::pair<void (*)(test::TestApp&), std::string> cases[] = {
        {[](test::TestApp& a) { a.files.failing.insert(kRunner); }, kRunner},
        {[](test::TestApp& a) { a.files.failingCommit.insert(kRunner); }, kRunner},  // the message file is put back
        {[](test::TestApp& a) { a.backend.failWrites = true; }, "store is read-only"},  // both are put back
    };
    for (const auto& [fail, cause] : cases) {
        test::TestApp app;
        MainWindow main(app.ctx);
        SettingsMainWindow w(app.ctx, main);
        w.show();
        w.INSTALL_FOLDER_TEXTBOX.type("C:\\SendEmail");
        w.SUBJECT_TEXTBOX.type("old");
        w.MESSAGE_TEXTBOX.type("old");
        ASSERT_TRUE(w.save());
        const auto values = app.backend.values;
        const auto files = app.files.files;
        w.SUBJECT_TEXTBOX.type("new");
        w.MESSAGE_TEXTBOX.type("new");
        fail(app);
        EXPECT_FALSE(w.save());
        EXPECT_EQ(app.backend.values, values);
        EXPECT_EQ(app.files.files, files);
        EXPECT_EQ(main.SUBJECT_TEXTBOX.text(), "old");
        EXPECT_TRUE(w.SAVE_REPORT_LABEL.text().starts_with("!!! NOT SAVED: ")) << w.SAVE_REPORT_LABEL.text();
        EXPECT_NE(w.SAVE_REPORT_LABEL.text().find(cause), std::string::npos) << w.SAVE_REPORT_LABEL.text();
    }
}

// What cannot reach the mail as typed is refused before anything is stored
// or written, naming the field as the window shows it; look-alikes pass.
TEST_F(SettingsTest, SaveRefusesWhatCannotTravelAndWritesNothing) {
    using namespace std::string_literals;
    app.files.unwritable[TextFileKind::MessageFile] = {{"\xC4\x80", U'\u0100'}, {"\xD0\x96", U'\u0416'}};
    app.files.unwritable[TextFileKind::RunnerScript] = {{"\xD0\x96", U'\u0416'}};
    // Switches for the mail client, control characters, more than a command line carries (alone or
    // together), characters the field's file cannot hold, a folder that cannot be launched.
    std::vector<std::pair<void (*)(W&), const char*>> refused = {
        {[](W& w) { w.SEND_TO_ADDRESS_TEXTBOX.type("--help"); }, "To"},
        {[](W& w) { w.FILE_AS_MESSAGE_TICKBOX.click(), w.MESSAGE_FILE_LOCATION_TEXTBOX.type("-m.txt"); },
         "MESSAGE - FILE FULL LOCATION"},
        {[](W& w) { w.ATTACHMENT_TICKBOX.click(), w.FILE_ATTACHMENT_TEXTBOX.type("a.txt\0/etc/shadow"s); },
         "ATTACHMENT - FILE FULL LOCATION"},
        {[](W& w) { w.MESSAGE_TEXTBOX.type("a\x1b[2J"); }, "MESSAGE"},
        {[](W& w) { w.SEND_BCC_ADDRESS_TEXTBOX.type("b\xC2\x85@example.org"); }, "Bcc"},
        {[](W& w) { w.SEND_CC_ADDRESS_TEXTBOX.type(std::string(8192, 'c')); }, "Cc"},
        {[](W& w) { w.SUBJECT_TEXTBOX.type(std::string(4000, 's')), w.SEND_CC_ADDRESS_TEXTBOX.type(std::string(4000, 'c')); },
         "command line"},
        {[](W& w) { w.MESSAGE_TEXTBOX.type("Caf\xC3\xA9 \xC4\x80"); }, "MESSAGE holds \"\xC4\x80\" (U+0100)"},
        {[](W& w) { w.SEND_CC_ADDRESS_TEXTBOX.type("\xD0\x96@example.org"); }, "Cc holds \"\xD0\x96\" (U+0416)"},
        {[](W& w) { w.INSTALL_FOLDER_TEXTBOX.type("C:\\Send\" & calc & \""); }, "SENDEMAIL HOME"},
        {[](W& w) { w.INSTALL_FOLDER_TEXTBOX.type(""); }, "SENDEMAIL HOME"},
    };
    // Where the password travels on the command line, it must not look like a switch either.
    if (kPasswordOnCommandLine) refused.push_back({[](W& w) { w.SMTP_PASSWORD_TEXTBOX.type("-p"); }, "SMTP PASSWORD"});
    const std::string launch = main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text();
    for (const auto& [edit, named] : refused) {
        SCOPED_TRACE(named);
        SettingsMainWindow& w = filled();
        edit(w);
        w.SAVE_BUTTON.press();
        EXPECT_TRUE(report().starts_with("!!! NOT SAVED: ")) << report();
        EXPECT_NE(report().find(named), std::string::npos) << report();
        EXPECT_TRUE(app.files.order.empty() && app.backend.writes.empty()) << "nothing written or stored";
        EXPECT_EQ(main.SE_RUNNER_BAT_LOCATION_TEXTBOX.text(), launch);
    }
    // A dash inside, tabs, a dotted line, empty fields, dashes in paths that
    // are not sent, a password that travels on stdin, a letter the script holds.
    SettingsMainWindow& w = filled();
    w.SEND_TO_ADDRESS_TEXTBOX.type("a-b@example.org");
    w.SUBJECT_TEXTBOX.type("\tweekly\t- report Gr\xC3\xBC\xC3\x9F" "e \xC4\x80");
    w.MESSAGE_TEXTBOX.type("\t.\r\n-\r\n");
    w.MESSAGE_FILE_LOCATION_TEXTBOX.setText("-m");  // not sent while unticked
    w.SMTP_PASSWORD_TEXTBOX.type(kPasswordOnCommandLine ? "p-" : "-p");
    EXPECT_TRUE(w.save()) << report();
}

// Saved anyway, with a word for each.
TEST_F(SettingsTest, SaveWarnsOfWhatWillNotWorkAsExpected) {
    for (const std::string folder : {"C:\\SendEmail\\", "C:\\SendEmail"})
        app.backend.values[{"WEEKLY-" + std::to_string(folder.size()), "INSTALL_FOLDER_TEXTBOX"}] = folder;
    app.backend.values[{"DAILY", "INSTALL_FOLDER_TEXTBOX"}] = "C:\\SendEmail\\Other";
    app.backend.values[{kSharedProfile, "INSTALL_FOLDER_TEXTBOX"}] = "C:\\SendEmail";
    app.files.open["C:\\SendEmail"] = "C:\\SendEmail is writable by the group";
    app.backend.open = "the settings file is readable by others";
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

// Each field gets a value of its own: through the setup tool it must reach
// its own key and open in its own control, and from that control go back to
// its own key. One tick box at a time is ticked, so that two that trade
// places show, and each TLS state is saved and opened again.
TEST(SetupTool, EveryFieldReachesItsOwnKeyAndOpensInItsOwnControl) {
    std::vector<const ProfileField*> ticks;
    for (const ProfileField* f : kProfileFields)
        if (f->kind == FieldKind::Tick) ticks.push_back(f);
    for (std::size_t round = 0; round < ticks.size(); ++round) {
        SCOPED_TRACE(round);
        test::TestApp app;
        const char* tls[] = {"no", "open", "yes", "auto"};
        Strings args = {std::string("TLS=") + tls[round % 4]};
        for (const ProfileField* f : kProfileFields) {
            const std::string value = f->kind == FieldKind::Tick ? (f == ticks[round] ? "1" : "0")
                                                                 : std::to_string(round) + f->key;
            if (f->kind != FieldKind::Tls) args.push_back(f->key + ("=" + value));
        }
        std::string messages;
        ASSERT_EQ(SetupProfile(app.ctx, args, messages), 0) << messages;
        MainWindow main(app.ctx);
        main.show();
        W w(app.ctx, main);
        w.show();
        EXPECT_EQ(w.tls().state(), static_cast<TlsState>(round % 4));
        for (const std::string& arg : args) {
            const std::string key = arg.substr(0, arg.find('=')), value = arg.substr(arg.find('=') + 1);
            if (key == "TLS") continue;
            EXPECT_EQ(app.get(key), value);
            Control* c = w.find(key) ? w.find(key) : main.find(key);
            EXPECT_EQ(c->kind() == ControlKind::TickBox ? std::to_string(static_cast<TickBox*>(c)->state()) : c->text(),
                      value) << key;
            if (c->kind() == ControlKind::TextBox) c->setText(value + "'");
            if (c->kind() == ControlKind::TickBox && c == w.find(key)) static_cast<TickBox*>(c)->setState(value == "0");
        }
        ASSERT_TRUE(w.save()) << w.SAVE_REPORT_LABEL.text();
        for (const ProfileField* f : kProfileFields) {
            if (f->kind == FieldKind::Tls || f->home == FieldHome::Main) continue;
            EXPECT_EQ(app.get(f->key), f->kind == FieldKind::Text ? std::to_string(round) + f->key + "'"
                                                                  : f == ticks[round] ? "0" : "1");
        }
    }
}

// A wrong value stores nothing, the main window's options included.
TEST(SetupTool, RefusesWhatItCannotStoreAndStoresNothing) {
    const struct {
        Strings args;
        int status;
        const char* named;
    } cases[] = {
        {{"AUTOSTART_TICKBOX=yes"}, 2, "AUTOSTART_TICKBOX"}, {{"ATTACHMENT_TICKBOX=2"}, 2, "ATTACHMENT_TICKBOX"},
        {{"TLS=maybe"}, 2, "maybe"},                         {{"TLS_NO_TICKBOX=1"}, 2, "TLS_NO_TICKBOX"},
        {{"NO_SUCH_FIELD=1"}, 2, "NO_SUCH_FIELD"},           {{"SUBJECT_TEXTBOX"}, 2, "SUBJECT_TEXTBOX"},
        {{"SUBJECT_TEXTBOX=-S"}, 1, "SUBJECT"},              {{}, 1, "unreadable"},
    };
    for (const auto& c : cases) {
        test::TestApp app;
        if (c.args.empty()) app.backend.readError = "unreadable";
        Strings args = {"INSTALL_FOLDER_TEXTBOX=C:\\SendEmail", "P4P_TICKBOX=1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string messages;
        EXPECT_EQ(SetupProfile(app.ctx, args, messages), c.status) << c.named;
        EXPECT_NE(messages.find(c.named), std::string::npos) << messages;
        EXPECT_TRUE(app.backend.writes.empty() && app.files.order.empty()) << c.named;
    }
}

}  // namespace
}  // namespace fhsw
