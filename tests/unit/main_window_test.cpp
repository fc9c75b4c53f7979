// The main window's opening and closing steps, the always-on-top option and
// the run controller, on an in-memory store and virtual time.
#include <gtest/gtest.h>

#include <memory>

#include "forms/main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using test::TestApp;
using Strings = std::vector<std::string>;

const Strings kClosingValues = {"MAIN-Left", "MAIN-Top", "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SE_RUNNER_BAT_LOCATION_TEXTBOX",
                                "P4P_TICKBOX"};

struct MainWindowTest : ::testing::Test {
    TestApp app;
    std::unique_ptr<MainWindow> w;

    MainWindow& open() {
        w = std::make_unique<MainWindow>(app.ctx);
        w->show();
        return *w;
    }
    Strings keysWritten(std::size_t from = 0) const {
        Strings keys;
        for (std::size_t i = from; i < app.backend.writes.size(); ++i)
            keys.push_back(app.backend.writes[i].key);
        return keys;
    }
};

TEST_F(MainWindowTest, NewProfileOpensAtDefaultsReadyAndStoresNothing) {
    MainWindow& m = open();
    EXPECT_EQ((std::vector<float>{m.left(), m.top(), m.width(), m.height()}),
              (std::vector<float>{1000, 1000, 10050, 3285}));
    EXPECT_EQ(m.caption(), "FH-SW - NIGHTLY-REPORT");
    EXPECT_EQ(m.APP_EXE_NAME_TEXTBOX.text(), "NIGHTLY-REPORT");
    EXPECT_EQ(m.SEND_TO_ADDRESS_TEXTBOX.text() + m.SUBJECT_TEXTBOX.text(), "");
    for (TickBox* t : {&m.AUTOSTART_TICKBOX, &m.AUTOCLOSE_TICKBOX, &m.SE_EXE_OUTPUT_WINDOW_TICKBOX,
                       &m.P4P_TICKBOX, &m.AlwaysOnTopTimer_TICKBOX})
        EXPECT_EQ(t->state(), 0) << t->name();
    EXPECT_EQ(test::Disabled(m), Strings{"AUTOCLOSE_TICKBOX"});
    EXPECT_EQ(m.CURRENT_STATUS_LABEL.text() + m.START_STOP_BUTTON.text(), "READY...START");
    EXPECT_EQ(app.sched.pending(), 0u) << "no timer may run";
    EXPECT_TRUE(app.backend.writes.empty());
    EXPECT_EQ(m.defaultButton(), &m.START_STOP_BUTTON);
}

TEST_F(MainWindowTest, StoredValuesFillTheWindowAndTicksRunTheirHandlers) {
    app.put("MAIN-Left", "-2400");
    app.put("MAIN-Top", "315.5");
    app.put("MAIN-Width", "12000");
    app.put("SUBJECT_TEXTBOX", "Nightly");
    for (const char* key : {"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX", "SE_EXE_OUTPUT_WINDOW_TICKBOX",
                            "P4P_TICKBOX", "AlwaysOnTopTimer_TICKBOX"})
        app.put(key, "1");
    MainWindow& m = open();
    EXPECT_EQ((std::vector<float>{m.left(), m.top(), m.width()}),
              (std::vector<float>{-2400, 315.5f, 12000}));
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "Nightly");
    // The ticks' change handlers stored their values once more, in order;
    // "AutoStart" and "AutoClose" have nothing to store.
    EXPECT_EQ(app.writtenKeys(), (Strings{"SE_EXE_OUTPUT_WINDOW_TICKBOX=1", "P4P_TICKBOX=1",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    // AutoStart armed the countdown and disabled the options it locks.
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 1);
    EXPECT_EQ(test::Disabled(m), (Strings{"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                          "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SETTINGS_BUTTON"}));
    EXPECT_EQ(m.CURRENT_STATUS_LABEL.text() + m.START_STOP_BUTTON.text(),
              "EMAIL AUTOSEND IN 10 SECS...STOP");
    EXPECT_EQ(test::Running(m), (Strings{"AUTOSTART_TIMER", "AlwaysOnTopTimer"}));
}

TEST_F(MainWindowTest, UnconvertibleStoredValuesReadAsDefaults) {
    app.put("MAIN-Left", "left of centre");
    app.put("MAIN-Top", "1e999");
    app.put("AUTOSTART_TICKBOX", "yes please");
    app.put("P4P_TICKBOX", "99999");
    MainWindow& m = open();
    EXPECT_EQ(m.left(), 1000);
    EXPECT_EQ(m.top(), 1000);
    EXPECT_EQ(m.AUTOSTART_TICKBOX.state(), 0);
    EXPECT_EQ(m.P4P_TICKBOX.state(), 0);
    EXPECT_EQ(m.CURRENT_STATUS_LABEL.text(), "READY...");
}

// Close control, Exit and auto-close all store the same seven values.
TEST_F(MainWindowTest, EveryWayOfClosingStoresTheSameSevenValues) {
    auto closingWrites = [&](const std::function<void(MainWindow&, TestApp&)>& how) {
        TestApp fresh;
        fresh.put("AUTOCLOSE_TICKBOX", "1");
        fresh.put("AUTOSTART_TICKBOX", "1");
        fresh.put("SE_RUNNER_BAT_LOCATION_TEXTBOX", "\"C:\\x\\SENDEMAIL-RUNNER.BAT\"");
        MainWindow m(fresh.ctx);
        m.show();
        m.movedByUser(4500, -300);
        const std::size_t before = fresh.backend.writes.size();
        how(m, fresh);
        EXPECT_TRUE(m.isClosed());
        std::vector<MemorySettingsBackend::Write> writes(fresh.backend.writes.begin() + before,
                                                         fresh.backend.writes.end());
        return writes;
    };
    auto byCloseControl = closingWrites([](MainWindow& m, TestApp&) { m.close(); });
    auto byExit = closingWrites([](MainWindow& m, TestApp&) { m.EXIT_BUTTON.press(); });
    auto byAutoClose = closingWrites([](MainWindow& m, TestApp& a) {
        // countdown 10 s, first watch check 250 ms later, auto-close wait 10 s
        a.sched.advance(20250);
        EXPECT_EQ(m.CURRENT_STATUS_LABEL.text(), "!!! COMPLETED - CLOSING NOW !!!");
    });
    ASSERT_EQ(byCloseControl.size(), 7u);
    Strings keys;
    for (auto& wr : byCloseControl) keys.push_back(wr.key);
    EXPECT_EQ(keys, kClosingValues);
    EXPECT_EQ(byCloseControl[0].value, "4500");
    EXPECT_EQ(byCloseControl[1].value, "-300");
    EXPECT_EQ(byCloseControl[2].value, "1") << "a window closed while counting down keeps AutoStart";
    EXPECT_EQ(byCloseControl[5].value, "\"C:\\x\\SENDEMAIL-RUNNER.BAT\"");
    // Exit stores them, then the closing steps store them once more.
    ASSERT_EQ(byExit.size(), 14u);
    EXPECT_EQ(std::vector(byExit.begin(), byExit.begin() + 7), byCloseControl);
    EXPECT_EQ(std::vector(byExit.begin() + 7, byExit.end()), byCloseControl);
    EXPECT_EQ(byAutoClose, byCloseControl);
}

TEST_F(MainWindowTest, AlwaysOnTopStoresAtEveryChangeAndNotWhenClosing) {
    MainWindow& m = open();
    m.AlwaysOnTopTimer_TICKBOX.click();
    m.AlwaysOnTopTimer_TICKBOX.click();
    m.AlwaysOnTopTimer_TICKBOX.click();
    EXPECT_EQ(app.writtenKeys(), (Strings{"AlwaysOnTopTimer_TICKBOX=1", "AlwaysOnTopTimer_TICKBOX=0",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    const std::size_t before = app.backend.writes.size();
    m.close();
    EXPECT_EQ(keysWritten(before), kClosingValues);
    EXPECT_EQ(app.get("AlwaysOnTopTimer_TICKBOX"), "1");
}

TEST_F(MainWindowTest, AlwaysOnTopDemotesTheForegroundWindowThenRaisesTheMainWindow) {
    MainWindow& m = open();
    m.AlwaysOnTopTimer_TICKBOX.click();
    app.zorder.foreground = 1;  // the main window itself
    app.sched.advance(3000);
    EXPECT_TRUE(app.zorder.calls.empty());
    app.zorder.foreground = 77;
    app.sched.advance(999);
    EXPECT_TRUE(app.zorder.calls.empty()) << "polls once a second, not sooner";
    app.sched.advance(1);
    using Call = std::pair<ZOrder::Handle, bool>;
    EXPECT_EQ(app.zorder.calls, (std::vector<Call>{{77, false}, {1, true}}));
    m.AlwaysOnTopTimer_TICKBOX.click();
    app.sched.advance(5000);
    EXPECT_EQ(app.zorder.calls.size(), 2u) << "unticking stops the polling";
}

// ---- Run controller ------------------------------------------------------

struct RunTest : MainWindowTest {
    const std::string launchText = "\"C:\\SendEmail\\SENDEMAIL-RUNNER.BAT\"";
    void SetUp() override { app.put("SE_RUNNER_BAT_LOCATION_TEXTBOX", launchText); }
    std::string status() const { return w->CURRENT_STATUS_LABEL.text(); }
};

TEST_F(RunTest, StartCountsDownLaunchesWatchesAndReturnsToReady) {
    app.put("P4P_TICKBOX", "1");
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status(), "EMAIL AUTOSEND IN 10 SECS...");
    EXPECT_EQ(m.START_STOP_BUTTON.text(), "STOP");
    EXPECT_EQ(test::Disabled(m), (Strings{"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                          "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SETTINGS_BUTTON"}));
    app.sched.advance(9999);
    EXPECT_TRUE(app.launcher.launches.empty());
    app.processes.running = true;
    app.sched.advance(1);
    ASSERT_EQ(app.launcher.launches.size(), 1u);
    EXPECT_EQ(app.launcher.launches[0], std::make_pair(launchText, false));
    EXPECT_EQ(status(), "!!! AUTOSENDING EMAIL NOW !!!");
    EXPECT_FALSE(m.AUTOSTART_TIMER.running()) << "the countdown fires once";
    app.sched.advance(250);
    EXPECT_EQ(status(), "!!! SendEmail.exe IS RUNNING...!!!");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
    EXPECT_EQ(app.processes.asked.back(), "SendEmail.exe");
    app.sched.advance(2000);
    app.processes.running = false;
    app.sched.advance(250);
    EXPECT_EQ(status(), "COMPLETED...");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
    app.sched.advance(9999);
    EXPECT_EQ(status(), "COMPLETED...");
    app.sched.advance(1);
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), "READY...START");
    EXPECT_TRUE(test::Disabled(m).empty());
    EXPECT_EQ(m.P4P_TICKBOX.background(), std::nullopt);
    EXPECT_EQ(app.sched.pending(), 0u);
    EXPECT_FALSE(m.isClosed());
}

TEST_F(RunTest, StopWithinTheCountdownAbortsWithoutSending) {
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    app.sched.advance(6000);
    m.START_STOP_BUTTON.press();
    app.sched.advance(30000);
    EXPECT_TRUE(app.launcher.launches.empty());
    EXPECT_EQ(status(), "!!! ABORTED !!!");
    EXPECT_EQ(m.START_STOP_BUTTON.text(), "START");
    EXPECT_TRUE(m.AUTOCLOSE_TICKBOX.enabled()) << "enabled after an abort even without AutoStart";
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled());
}

TEST_F(RunTest, StopDuringTheWatchLetsTheWatchGoOn) {
    app.put("P4P_TICKBOX", "1");
    MainWindow& m = open();
    app.processes.running = true;
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status(), "!!! ABORTED !!!");
    app.sched.advance(250);
    EXPECT_EQ(status(), "!!! SendEmail.exe IS RUNNING...!!!");
    EXPECT_EQ(m.START_STOP_BUTTON.text(), "START");
    app.processes.running = false;
    app.sched.advance(250);
    EXPECT_EQ(status(), "COMPLETED...");
    app.sched.advance(10000);
    EXPECT_EQ(status(), "READY...");
}

TEST_F(RunTest, StopDuringTheCompletionWaitCancelsItAndKeepsTheColour) {
    app.put("P4P_TICKBOX", "1");
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    EXPECT_EQ(status(), "COMPLETED...");
    m.START_STOP_BUTTON.press();
    app.sched.advance(20000);
    EXPECT_EQ(status(), "!!! ABORTED !!!");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    EXPECT_EQ(app.sched.pending(), 0u);
}

TEST_F(RunTest, SendNowLaunchesAtOnceAndAgainWhenACountdownRunsOut) {
    app.put("SE_EXE_OUTPUT_WINDOW_TICKBOX", "1");
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    app.sched.advance(3000);
    m.SEND_EMAIL_NOW_BUTTON.press();
    ASSERT_EQ(app.launcher.launches.size(), 1u);
    EXPECT_TRUE(app.launcher.launches[0].second) << "output window ticked: visible";
    EXPECT_EQ(status(), "EMAIL AUTOSEND IN 10 SECS...") << "Send Email Now changes no status";
    app.sched.advance(7000);
    EXPECT_EQ(app.launcher.launches.size(), 2u);
}

TEST_F(RunTest, WithoutPauseForProcessTheWaitStartsAtTheFirstCheck) {
    app.put("AUTOSTART_TICKBOX", "1");
    app.put("AUTOCLOSE_TICKBOX", "1");
    MainWindow& m = open();
    app.processes.running = true;
    app.sched.advance(10250);
    EXPECT_TRUE(app.processes.asked.empty()) << "no watch wanted, no query";
    EXPECT_EQ(status(), "!!! AUTOSENDING EMAIL NOW !!!");
    app.sched.advance(9999);
    EXPECT_FALSE(m.isClosed());
    app.sched.advance(1);
    EXPECT_TRUE(m.isClosed()) << "closes 10.25 s after the launch";
}

TEST_F(RunTest, UntickingPauseForProcessDuringTheWatchEndsItAtTheNextCheck) {
    app.put("P4P_TICKBOX", "1");
    MainWindow& m = open();
    app.processes.running = true;
    m.START_STOP_BUTTON.press();
    app.sched.advance(10500);
    m.P4P_TICKBOX.click();
    EXPECT_EQ(app.get("P4P_TICKBOX"), "0");
    app.sched.advance(250);
    EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
    EXPECT_TRUE(m.AUTOCLOSE_TIMER.running());
    EXPECT_EQ(status(), "!!! SendEmail.exe IS RUNNING...!!!");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
}

TEST_F(RunTest, TheWatchWaitsForTheRunnerScriptToStartTheMailer) {
    app.put("P4P_TICKBOX", "1");
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    app.launcher.running = true;  // runner script launched, mailer not yet started
    app.sched.advance(10250 + 750);
    EXPECT_TRUE(m.PROCESS_WATCHER_TIMER.running());
    EXPECT_NE(status(), "COMPLETED...");
    app.processes.running = true;
    app.sched.advance(250);
    EXPECT_EQ(status(), "!!! SendEmail.exe IS RUNNING...!!!");
    app.processes.running = false;
    app.launcher.running = false;
    app.sched.advance(250);
    EXPECT_EQ(status(), "COMPLETED...");
}

TEST_F(RunTest, AFailedLaunchIsReportedAndLeavesStartUsable) {
    app.put("P4P_TICKBOX", "1");
    app.launcher.next = {false, "cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"};
    MainWindow& m = open();
    m.START_STOP_BUTTON.press();
    app.sched.advance(10000);
    EXPECT_EQ(status(), "!!! SEND FAILED: cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT !!!");
    EXPECT_EQ(m.START_STOP_BUTTON.text(), "START");
    EXPECT_TRUE(m.SETTINGS_BUTTON.enabled());
    EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running()) << "nothing to watch, no pretend completion";
    app.sched.advance(30000);
    EXPECT_FALSE(m.isClosed());
    EXPECT_EQ(app.sched.pending(), 0u);
    app.launcher.next = {};
    m.START_STOP_BUTTON.press();
    app.sched.advance(10000);
    EXPECT_EQ(app.launcher.launches.size(), 2u);
    // Settings never saved: nothing to hand to the launcher.
    m.SE_RUNNER_BAT_LOCATION_TEXTBOX.setText("");
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_EQ(app.launcher.launches.size(), 2u);
    EXPECT_NE(status().find("press SAVE"), std::string::npos);
}

TEST_F(RunTest, AutoStartUntickedStopsTimersAndUnticksAutoClose) {
    MainWindow& m = open();
    m.AUTOSTART_TICKBOX.click();
    EXPECT_TRUE(m.AUTOCLOSE_TICKBOX.enabled());
    m.AUTOCLOSE_TICKBOX.click();
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 1);
    m.AUTOSTART_TICKBOX.click();
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 0);
    EXPECT_FALSE(m.AUTOCLOSE_TICKBOX.enabled());
    EXPECT_TRUE(app.backend.writes.empty()) << "AutoStart is stored only at closing";
}

TEST_F(RunTest, AutoCloseWaitsForAnOpenDialogInsteadOfDiscardingIt) {
    app.put("AUTOSTART_TICKBOX", "1");
    app.put("AUTOCLOSE_TICKBOX", "1");
    MainWindow& m = open();
    bool sawWaiting = false;
    app.host.scripts["FH_SENDWARDEN_ABOUT"] = [&](Window& about) {
        app.sched.advance(25000);  // the run ends while the dialog is open
        EXPECT_FALSE(m.isClosed());
        EXPECT_TRUE(about.isOpen());
        sawWaiting = status() == MainWindow::kClosingAfterDialog;
        about.close();
    };
    m.ABOUT_BUTTON.press();
    EXPECT_TRUE(sawWaiting);
    EXPECT_TRUE(m.isClosed()) << "closes as soon as the dialog has closed";
    EXPECT_EQ(app.get("ABOUT-Left"), "1000") << "the dialog went through its own closing";
}

}  // namespace
}  // namespace fhsw
