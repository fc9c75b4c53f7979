// The main window's opening and closing steps, the always-on-top option and
// the run controller, on an in-memory store, in-memory files and virtual time.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "forms/main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using M = MainWindow;
using Strings = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;

// What a running countdown disables.
const Strings kLocked = {"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX", "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SETTINGS_BUTTON"};
const std::string kFolder = "C:\\SendEmail";
const std::string kLaunch = "\"" + kFolder + "\\SENDEMAIL-RUNNER.BAT\"";
const std::string kLog = kFolder + "\\SENDEMAIL-LOG.txt";

// An application on fakes and its main window, opened on stored values.
struct Harness {
    test::TestApp app;
    std::unique_ptr<MainWindow> w;
    Strings seen;  // every status shown, in order; a failure as kSendFailed alone

    MainWindow& open(const Values& stored = {}) {
        app.put(stored);
        w = std::make_unique<MainWindow>(app.ctx);
        w->onControlChanged = [this](Control& c) {
            const std::string text = c.text().starts_with(M::kSendFailed) ? M::kSendFailed : c.text();
            if (&c == &w->CURRENT_STATUS_LABEL && (seen.empty() || seen.back() != text)) seen.push_back(text);
        };
        w->show();
        return *w;
    }
    std::string status() const { return w->CURRENT_STATUS_LABEL.text(); }
    // Lets the process query that the watch asked on its own thread answer.
    void settle() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (w->watchQueryOutstanding() && std::chrono::steady_clock::now() < end) {
            app.sched.runPosted();
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_FALSE(w->watchQueryOutstanding()) << "a process query never answered";
    }
    // Virtual time a millisecond at a time, each tick's answer in before the next tick.
    std::string after(long long ms) {
        for (long long i = 0; i < ms && !w->isClosed(); ++i) {
            app.sched.advance(1);
            settle();
        }
        return status();
    }
    void runEnds(int runnerStatus = 0) {  // the mail client and then the runner script end
        app.processes.running = false;
        app.launcher.end(runnerStatus);
    }
};

struct MainWindowTest : ::testing::Test, Harness {};

TEST_F(MainWindowTest, StoredValuesFillTheWindowAndTicksRunTheirHandlers) {
    MainWindow& m = open({{"MAIN-Left", "-2400"}, {"MAIN-Top", "315.5"}, {"SUBJECT_TEXTBOX", "Nightly"},
                          {"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}, {"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"},
                          {"P4P_TICKBOX", "1"}, {"AlwaysOnTopTimer_TICKBOX", "1"}});
    EXPECT_EQ(m.caption() + m.SUBJECT_TEXTBOX.text(), "FH-SW - NIGHTLY-REPORTNightly");
    EXPECT_EQ(m.left() + m.top(), -2084.5f);
    // The ticks' change handlers stored their values once more; AutoStart and AutoClose store nothing.
    EXPECT_EQ(app.written(), (Strings{"SE_EXE_OUTPUT_WINDOW_TICKBOX=1", "P4P_TICKBOX=1", "AlwaysOnTopTimer_TICKBOX=1"}));
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 1);
    EXPECT_EQ(test::Disabled(m), kLocked);
    EXPECT_EQ(seen, Strings{M::kCountdown});
    // Stopped, AutoStart may be unticked: that unticks and locks AutoClose, and stores nothing yet.
    m.START_STOP_BUTTON.press();
    m.AUTOSTART_TICKBOX.click();
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 0);
    EXPECT_FALSE(m.AUTOCLOSE_TICKBOX.enabled());
    EXPECT_EQ(app.written().size(), 3u);
}

// Close control, Exit and auto-close store the same seven values, in one go
// each; a window closed while counting down keeps AutoStart.
TEST_F(MainWindowTest, EveryWayOfClosingStoresTheSameSevenValuesInOneGo) {
    const Strings stored = {"MAIN-Left=4500", "MAIN-Top=-300", "AUTOSTART_TICKBOX=1", "AUTOCLOSE_TICKBOX=1",
                            "SE_EXE_OUTPUT_WINDOW_TICKBOX=0", "SE_RUNNER_BAT_LOCATION_TEXTBOX=\"C:\\x\\R.BAT\"",
                            "P4P_TICKBOX=0"};
    Strings twice = stored;
    twice.insert(twice.end(), stored.begin(), stored.end());
    const std::vector<std::pair<std::function<void(Harness&)>, Strings>> ways = {
        {[](Harness& h) { h.w->close(); }, stored},
        {[](Harness& h) { h.w->EXIT_BUTTON.press(); }, twice},  // Exit stores, then the closing steps
        {[](Harness& h) { h.app.sched.advance(20250); }, stored},  // countdown, first check, auto-close wait
    };
    for (const auto& [how, writes] : ways) {
        Harness h;
        h.open({{"AUTOCLOSE_TICKBOX", "1"}, {"AUTOSTART_TICKBOX", "1"}, {"SE_RUNNER_BAT_LOCATION_TEXTBOX", "\"C:\\x\\R.BAT\""}})
            .movedByUser(4500, -300);
        how(h);
        EXPECT_TRUE(h.w->isClosed());
        EXPECT_EQ(h.app.written(), writes);
        // A copy that holds the settings' lock is waited for once per closing, not seven times.
        EXPECT_EQ(h.app.backend.batches * stored.size(), writes.size());
    }
}

// A setting that cannot be read or stored is shown in the window, and still
// reaches whoever listened before (the program writes it to stderr), also
// when the closing steps cannot store theirs. (That a notice goes to a
// dialog in front: the window model's tests.)
TEST_F(MainWindowTest, SettingsThatCannotBeReadOrStoredAreShownInTheWindowInFront) {
    std::string told;
    app.store.onWriteError = app.backend.onReadError = [&](const std::string& m) { told = m; };
    app.put({{"SUBJECT_TEXTBOX", "Nightly"}});
    app.backend.readError = "cannot read /home/ops/.config/FH_SENDWARDEN.ini: Permission denied";
    MainWindow& m = open();
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "") << "the defaults, not what was saved";
    EXPECT_EQ(told, app.backend.readError);
    EXPECT_NE(m.notice().find(told), std::string::npos);
    app.backend.readError.clear();
    app.backend.failWrites = true;
    told.clear();
    m.close();
    EXPECT_NE(m.notice().find(told), std::string::npos) << "the closing steps' values";
}

// ---- Run controller ------------------------------------------------------

// A run as the user follows it: the statuses shown one after another, the
// exit status, and when the window closed itself (0: it stays open).
TEST(Runs, StatusesExitStatusAndClosing) {
    enum Event { kStart, kStop, kMailerUp, kRunEnds, kRunFails, kOwnRunEnds, kUntickP4P };
    const Values unattended = {{"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}, {"P4P_TICKBOX", "1"}};
    const struct {
        const char* what;
        Values stored;
        void (*setUp)(test::TestApp&);
        std::vector<std::pair<long long, Event>> events;  // at that many ms after opening
        Strings statuses;
        int exitStatus;
        long long closedAt;
    } runs[] = {
        {"STOP in the wait", {{"P4P_TICKBOX", "1"}}, nullptr, {{0, kStart}, {10000, kRunEnds}, {10500, kStop}},
         {M::kCountdown, M::kSending, M::kCompleted, M::kAborted}, 0, 0},
        // STOP does not touch a launched run: its watch goes on to the usual end.
        {"STOP in the watch", {{"P4P_TICKBOX", "1"}}, nullptr,
         {{0, kStart}, {10000, kMailerUp}, {10500, kStop}, {12000, kRunEnds}},
         {M::kCountdown, M::kSending, M::kRunning, M::kAborted, M::kRunning, M::kCompleted, M::kReady}, 0, 0},
        // Pause-4-Process unticked: the next check ends the watch, the status stays.
        {"watch given up", {{"P4P_TICKBOX", "1"}}, nullptr, {{0, kStart}, {10000, kMailerUp}, {10500, kUntickP4P}},
         {M::kCountdown, M::kSending, M::kRunning, M::kReady}, 0, 0},
        // Without a watch the wait starts at the first check, 250 ms after the launch.
        {"unattended, no watch", {{"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}}, nullptr, {{0, kMailerUp}},
         {M::kCountdown, M::kSending, M::kClosing}, M::kExitOk, 20250},
        // A failed send of a watched run stays in view (unattended, it closes
        // saying why: the end-to-end runs).
        {"send failed, attended", {{"AUTOSTART_TICKBOX", "1"}, {"P4P_TICKBOX", "1"}}, nullptr, {{10000, kRunFails}},
         {M::kCountdown, M::kSending, M::kSendFailed}, M::kExitSendFailed, 0},
        {"never saved", unattended, [](test::TestApp& a) { a.put({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", ""}}); }, {},
         {M::kCountdown, M::kSending, M::kSendFailed, M::kFailedClosing}, M::kExitLaunchFailed, 20000},
        // Only another SendEmail.exe held the watch: the run is judged by its own end.
        {"limit, own run over", unattended, [](test::TestApp& a) { a.ctx.sendTimeoutSeconds = 30; },
         {{10000, kMailerUp}, {30000, kOwnRunEnds}},
         {M::kCountdown, M::kSending, M::kRunning, M::kCompleted, M::kClosing}, M::kExitOk, 50000},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.what);
        Harness h;
        h.app.put({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}});
        h.app.put(run.stored);
        if (run.setUp) run.setUp(h.app);
        MainWindow& m = h.open();
        for (const auto& [at, event] : run.events) {
            h.after(at - h.app.sched.now());
            if (event == kStart || event == kStop) m.START_STOP_BUTTON.press();
            if (event == kMailerUp) h.app.processes.running = true;
            if (event == kRunEnds || event == kRunFails) h.runEnds(event == kRunFails);
            if (event == kOwnRunEnds) h.app.launcher.end(0);
            if (event == kUntickP4P) m.P4P_TICKBOX.click();
        }
        h.after(60000 - h.app.sched.now());
        EXPECT_EQ(h.seen, run.statuses);
        EXPECT_EQ(m.exitStatus(), run.exitStatus);
        EXPECT_EQ(m.isClosed() ? h.app.sched.now() : 0, run.closedAt);
        EXPECT_EQ(m.CURRENT_STATUS_LABEL.foreground() == colours::Red, run.exitStatus != M::kExitOk);
        EXPECT_TRUE(m.isClosed() || test::Disabled(m).empty()) << "AutoClose too, without AutoStart";
    }
}

// The window's thread never waits for the process list: while a query
// hangs, ticks start no other and the window goes on handling events and
// its other timers; the answer arrives when it comes. "Pause-4-Process" is
// red while the mail client runs, green once it has ended, and plain again
// when the wait is over.
TEST_F(MainWindowTest, TheWatchNeverBlocksTheWindowsThreadAndColoursPauseForProcess) {
    app.processes.hold = true;
    app.processes.running = true;
    app.zorder.foreground = 42;
    MainWindow& m = open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"P4P_TICKBOX", "1"},
                          {"AlwaysOnTopTimer_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    ASSERT_TRUE(app.processes.waitUntilAsked());
    const std::size_t raised = app.zorder.calls.size();
    app.sched.advance(3000);
    EXPECT_EQ(app.processes.asked, 1) << "a tick while a query is outstanding starts none";
    EXPECT_GT(app.zorder.calls.size(), raised) << "the always-on-top timer kept ticking";
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status(), M::kAborted) << "a press is handled at once";
    app.processes.release();
    settle();
    EXPECT_EQ(status(), M::kRunning);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
    app.processes.hold = false;
    runEnds();
    after(250);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    after(10000);
    EXPECT_EQ(m.P4P_TICKBOX.background(), std::nullopt);
}

// A window destroyed while its query runs waits for it; the answer reaches
// no window.
TEST_F(MainWindowTest, AWindowGoneBeforeItsQueryAnswersIsLeftAlone) {
    app.processes.hold = true;
    MainWindow& m = open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"P4P_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    ASSERT_TRUE(app.processes.waitUntilAsked());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        app.processes.release();
    });
    w.reset();
    EXPECT_EQ(app.processes.inQuery, 0) << "the window was gone before its query ended";
    releaser.join();
    app.sched.runPosted();
}

// Only the lines this run added to the mail client's log count: an older
// run's failure there does not fail this one (the reasons themselves:
// send_log_test.cpp and the end-to-end sends).
TEST_F(MainWindowTest, OnlyTheLinesThisRunAddedToTheLogCount) {
    app.files.files[kFolder + "\\SendEmail.exe"] = "";
    app.files.files[kLog] = "ERROR => an older run failed\n";
    open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"INSTALL_FOLDER_TEXTBOX", kFolder}, {"P4P_TICKBOX", "1"}})
        .START_STOP_BUTTON.press();
    after(10500);
    app.files.files[kLog] += "Dec 06 16:17:26 vm sendemail[1902]: Email was sent successfully!\n";
    app.launcher.end(0);
    EXPECT_EQ(after(250), M::kCompleted);
    EXPECT_EQ(w->exitStatus(), M::kExitOk);
}

// "Send Email Now" launches at once: a failed launch is reported and leaves
// START usable; beside a countdown it changes no status, and the countdown
// still launches when it runs out.
TEST_F(MainWindowTest, SendNowLaunchesAtOnceAndAFailedLaunchLeavesStartUsable) {
    MainWindow& m = open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"}});
    app.launcher.next = {false, "cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"};
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_NE(status().find("cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"), std::string::npos) << status();
    EXPECT_EQ(m.exitStatus(), M::kExitLaunchFailed);
    app.launcher.next = {};
    m.START_STOP_BUTTON.press();
    app.sched.advance(3000);
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_EQ(app.launcher.launches.size(), 2u);
    EXPECT_TRUE(app.launcher.launches.back().second) << "output window ticked: visible";
    EXPECT_EQ(status(), M::kCountdown) << "Send Email Now changes no status";
    app.sched.advance(7000);
    EXPECT_EQ(app.launcher.launches.size(), 3u);
    EXPECT_EQ(m.exitStatus(), M::kExitOk) << "a new send: the old failure no longer counts";
}

TEST_F(MainWindowTest, AutoCloseWaitsForAnOpenDialogInsteadOfDiscardingIt) {
    MainWindow& m = open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"AUTOSTART_TICKBOX", "1"},
                          {"AUTOCLOSE_TICKBOX", "1"}});
    app.host.scripts["FH_SENDWARDEN_ABOUT"] = [&](Window& about) {
        app.sched.advance(25000);  // the run ends while the dialog is open
        EXPECT_FALSE(m.isClosed());
        EXPECT_TRUE(about.isOpen());
        EXPECT_EQ(status(), M::kClosingAfterDialog);
    };
    m.ABOUT_BUTTON.press();
    EXPECT_TRUE(m.isClosed()) << "closes as soon as the dialog has closed";
    EXPECT_EQ(app.get("ABOUT-Left"), "1000") << "the dialog went through its own closing";
}

}  // namespace
}  // namespace fhsw
