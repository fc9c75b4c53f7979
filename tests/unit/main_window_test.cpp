// The main window's opening and closing steps, the always-on-top option and
// the run controller, on an in-memory store and virtual time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "forms/main_window.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

using test::TestApp;
using Strings = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;

const Strings kClosingValues = {"MAIN-Left", "MAIN-Top", "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SE_RUNNER_BAT_LOCATION_TEXTBOX",
                                "P4P_TICKBOX"};
// What a running countdown disables.
const Strings kCountdownLocks = {"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                 "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SETTINGS_BUTTON"};
const std::string kRunning = "!!! SendEmail.exe IS RUNNING...!!!";

// An application on fakes and its main window, opened on stored values.
struct Harness {
    explicit Harness(RunFileNames names = RunFileNames::Windows()) : app("NIGHTLY-REPORT", names) {}
    TestApp app;
    std::unique_ptr<MainWindow> w;

    MainWindow& open(const Values& stored = {}) {
        app.put(stored);
        w = std::make_unique<MainWindow>(app.ctx);
        w->show();
        return *w;
    }
    std::string status() const { return w->CURRENT_STATUS_LABEL.text(); }
    // The watch asks for the process list on a thread of its own; run() moves
    // virtual time a millisecond at a time and lets each query answer before
    // time moves on, so that every tick's answer arrives before the next tick.
    void settle() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (w->watchQueryOutstanding() && std::chrono::steady_clock::now() < end) {
            app.sched.runPosted();
            if (w->watchQueryOutstanding()) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_FALSE(w->watchQueryOutstanding()) << "a process query never answered";
    }
    void run(long long ms) {
        for (long long i = 0; i < ms && !w->isClosed(); ++i) {
            app.sched.advance(1);
            settle();
        }
        if (w->isClosed()) app.sched.advance(ms);  // nothing of the window is left to answer
    }
    // The status after `ms` more of a run.
    std::string after(long long ms) {
        run(ms);
        return status();
    }
    // The mail client and then the runner script end.
    void runEnds(int runnerStatus = 0) {
        app.processes.running = false;
        app.launcher.end(runnerStatus);
    }
};

struct MainWindowTest : ::testing::Test, Harness {};

// An empty profile, and one whose values do not convert, open at the defaults.
TEST_F(MainWindowTest, NewOrUnconvertibleProfileOpensAtDefaultsReadyAndStoresNothing) {
    const Values unconvertible = {{"MAIN-Left", "left of centre"}, {"MAIN-Top", "1e999"},
                                  {"AUTOSTART_TICKBOX", "yes please"}, {"P4P_TICKBOX", "99999"}};
    for (const Values& stored : {Values{}, unconvertible}) {
        SCOPED_TRACE(stored.empty() ? "new profile" : "unconvertible values");
        Harness h;
        MainWindow& m = h.open(stored);
        EXPECT_EQ((std::vector<float>{m.left(), m.top(), m.width(), m.height()}),
                  (std::vector<float>{1000, 1000, 10050, 3285}));
        EXPECT_EQ(m.caption(), "FH-SW - NIGHTLY-REPORT");
        EXPECT_EQ(m.APP_EXE_NAME_TEXTBOX.text(), "NIGHTLY-REPORT");
        EXPECT_EQ(m.SEND_TO_ADDRESS_TEXTBOX.text() + m.SUBJECT_TEXTBOX.text(), "");
        for (TickBox* t : {&m.AUTOSTART_TICKBOX, &m.AUTOCLOSE_TICKBOX, &m.SE_EXE_OUTPUT_WINDOW_TICKBOX,
                           &m.P4P_TICKBOX, &m.AlwaysOnTopTimer_TICKBOX})
            EXPECT_EQ(t->state(), 0) << t->name();
        EXPECT_EQ(test::Disabled(m), Strings{"AUTOCLOSE_TICKBOX"});
        EXPECT_EQ(h.status() + m.START_STOP_BUTTON.text(), "READY...START");
        EXPECT_EQ(h.app.sched.pending(), 0u) << "no timer may run";
        EXPECT_TRUE(h.app.backend.writes.empty());
        EXPECT_EQ(m.defaultButton(), &m.START_STOP_BUTTON);
    }
}

TEST_F(MainWindowTest, StoredValuesFillTheWindowAndTicksRunTheirHandlers) {
    MainWindow& m = open({{"MAIN-Left", "-2400"}, {"MAIN-Top", "315.5"}, {"MAIN-Width", "12000"},
                          {"SUBJECT_TEXTBOX", "Nightly"}, {"AUTOSTART_TICKBOX", "1"},
                          {"AUTOCLOSE_TICKBOX", "1"}, {"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"},
                          {"P4P_TICKBOX", "1"}, {"AlwaysOnTopTimer_TICKBOX", "1"}});
    EXPECT_EQ((std::vector<float>{m.left(), m.top(), m.width()}),
              (std::vector<float>{-2400, 315.5f, 12000}));
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "Nightly");
    // The ticks' change handlers stored their values once more, in order;
    // "AutoStart" and "AutoClose" have nothing to store.
    EXPECT_EQ(app.writtenKeys(), (Strings{"SE_EXE_OUTPUT_WINDOW_TICKBOX=1", "P4P_TICKBOX=1",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    // AutoStart armed the countdown and disabled the options it locks.
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 1);
    EXPECT_EQ(test::Disabled(m), kCountdownLocks);
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), "EMAIL AUTOSEND IN 10 SECS...STOP");
    EXPECT_EQ(test::Running(m), (Strings{"AUTOSTART_TIMER", "AlwaysOnTopTimer"}));
}

// Close control, Exit and auto-close all store the same seven values; a
// window closed while counting down keeps AutoStart.
TEST_F(MainWindowTest, EveryWayOfClosingStoresTheSameSevenValues) {
    auto closingWrites = [](const std::function<void(Harness&)>& how) {
        Harness h;
        h.open({{"AUTOCLOSE_TICKBOX", "1"}, {"AUTOSTART_TICKBOX", "1"},
                {"SE_RUNNER_BAT_LOCATION_TEXTBOX", "\"C:\\x\\SENDEMAIL-RUNNER.BAT\""}})
            .movedByUser(4500, -300);
        const std::size_t before = h.app.backend.writes.size();
        how(h);
        EXPECT_TRUE(h.w->isClosed());
        Strings writes;
        for (std::size_t i = before; i < h.app.backend.writes.size(); ++i) {
            const auto& write = h.app.backend.writes[i];
            EXPECT_EQ(write.section, "NIGHTLY-REPORT") << write.key;
            writes.push_back(write.key + "=" + write.value);
        }
        return writes;
    };
    const Strings stored = {"MAIN-Left=4500", "MAIN-Top=-300", "AUTOSTART_TICKBOX=1",
                            "AUTOCLOSE_TICKBOX=1", "SE_EXE_OUTPUT_WINDOW_TICKBOX=0",
                            "SE_RUNNER_BAT_LOCATION_TEXTBOX=\"C:\\x\\SENDEMAIL-RUNNER.BAT\"",
                            "P4P_TICKBOX=0"};
    EXPECT_EQ(closingWrites([](Harness& h) { h.w->close(); }), stored);
    // Exit stores them, then the closing steps store them once more.
    Strings twice = stored;
    twice.insert(twice.end(), stored.begin(), stored.end());
    EXPECT_EQ(closingWrites([](Harness& h) { h.w->EXIT_BUTTON.press(); }), twice);
    EXPECT_EQ(closingWrites([](Harness& h) {
                  // countdown 10 s, first watch check 250 ms later, auto-close wait 10 s
                  h.app.sched.advance(20250);
                  EXPECT_EQ(h.status(), "!!! COMPLETED - CLOSING NOW !!!");
              }),
              stored);
}

TEST_F(MainWindowTest, AlwaysOnTopStoresAtEveryChangeAndNotWhenClosing) {
    MainWindow& m = open();
    for (int i = 0; i < 3; ++i) m.AlwaysOnTopTimer_TICKBOX.click();
    EXPECT_EQ(app.writtenKeys(), (Strings{"AlwaysOnTopTimer_TICKBOX=1", "AlwaysOnTopTimer_TICKBOX=0",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    const std::size_t before = app.backend.writes.size();
    m.close();
    EXPECT_EQ(app.keysWrittenSince(before), kClosingValues);
    EXPECT_EQ(app.get("AlwaysOnTopTimer_TICKBOX"), "1");
}

// A setting that cannot be stored is shown in the window in front, and still
// reaches whoever listened before (the program writes it to stderr).
TEST_F(MainWindowTest, ASettingThatCannotBeStoredIsShownInTheWindowInFront) {
    std::string told;
    app.store.onWriteError = [&](const std::string& m) { told = m; };
    MainWindow& m = open();
    app.backend.failWrites = true;
    m.AlwaysOnTopTimer_TICKBOX.click();
    EXPECT_EQ(told, "cannot store AlwaysOnTopTimer_TICKBOX: store is read-only");
    EXPECT_EQ(m.notice(), "!!! SETTING NOT STORED: " + told + " !!!");
    std::string inDialog;
    app.host.scripts["FH_SENDWARDEN_ABOUT"] = [&](Window& about) {
        about.close();  // its position cannot be stored either
        inDialog = about.notice();
    };
    m.ABOUT_BUTTON.press();
    EXPECT_EQ(inDialog, "!!! SETTING NOT STORED: cannot store ABOUT-Top: store is read-only !!!");
    w.reset();
    EXPECT_FALSE(app.store.onWriteError == nullptr);  // the earlier listener is back
    told.clear();
    app.store.writeTick("P4P_TICKBOX", 1);
    EXPECT_EQ(told, "cannot store P4P_TICKBOX: store is read-only");
}

// Settings that cannot be read are said as plainly: the window shows the
// defaults, not what was saved.
TEST_F(MainWindowTest, SettingsThatCannotBeReadAreShownInTheWindow) {
    std::string told;
    app.backend.onReadError = [&](const std::string& m) { told = m; };
    app.put("SUBJECT_TEXTBOX", "Nightly");
    app.backend.readError = "cannot read /home/ops/.config/FH_SENDWARDEN.ini: Permission denied";
    MainWindow& m = open();
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "");
    EXPECT_EQ(told, app.backend.readError);
    EXPECT_EQ(m.notice(), "!!! SETTINGS NOT READ: " + told + " !!!");
    w.reset();
    told.clear();
    app.store.readText("SUBJECT_TEXTBOX");
    EXPECT_EQ(told, app.backend.readError) << "the earlier listener is back";
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
};

TEST_F(RunTest, StartCountsDownLaunchesWatchesAndReturnsToReady) {
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), "EMAIL AUTOSEND IN 10 SECS...STOP");
    EXPECT_EQ(test::Disabled(m), kCountdownLocks);
    run(9999);
    EXPECT_TRUE(app.launcher.launches.empty());
    app.processes.running = true;
    run(1);
    EXPECT_EQ(app.launcher.launches, (std::vector{std::pair{launchText, false}}));
    EXPECT_EQ(status(), "!!! AUTOSENDING EMAIL NOW !!!");
    EXPECT_FALSE(m.AUTOSTART_TIMER.running()) << "the countdown fires once";
    EXPECT_EQ(after(250), kRunning);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
    EXPECT_EQ(app.processes.asked.back(), "SendEmail.exe");
    run(2000);
    runEnds();
    EXPECT_EQ(after(250), "COMPLETED...");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
    EXPECT_EQ(after(9999), "COMPLETED...");
    run(1);
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
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), "!!! ABORTED !!!START");
    EXPECT_TRUE(test::Disabled(m).empty()) << "AutoClose enabled after an abort even without AutoStart";
}

TEST_F(RunTest, StopDuringTheCompletionWaitCancelsItAndKeepsTheColour) {
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    run(10000);
    app.launcher.end(0);
    EXPECT_EQ(after(250), "COMPLETED...");
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(after(20000), "!!! ABORTED !!!");
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    EXPECT_EQ(app.sched.pending(), 0u);
}

TEST_F(RunTest, WithoutPauseForProcessTheWaitStartsAtTheFirstCheck) {
    MainWindow& m = open({{"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}});
    app.processes.running = true;
    app.sched.advance(10250);
    EXPECT_TRUE(app.processes.asked.empty()) << "no watch wanted, no query";
    EXPECT_EQ(status(), "!!! AUTOSENDING EMAIL NOW !!!");
    app.sched.advance(9999);
    EXPECT_FALSE(m.isClosed());
    app.sched.advance(1);
    EXPECT_TRUE(m.isClosed()) << "closes 10.25 s after the launch";
    EXPECT_EQ(m.exitStatus(), 0) << "still running at the close: nothing known against it";
}

TEST_F(RunTest, UntickingPauseForProcessDuringTheWatchEndsItAtTheNextCheck) {
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    app.processes.running = true;
    m.START_STOP_BUTTON.press();
    run(10500);
    m.P4P_TICKBOX.click();
    EXPECT_EQ(app.get("P4P_TICKBOX"), "0");
    run(250);
    EXPECT_EQ(test::Running(m), Strings{"AUTOCLOSE_TIMER"}) << "the watch and its time limit ended";
    EXPECT_EQ(status(), kRunning);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
}

// Only the runner script launched by the countdown holds the watch: not a
// launch of "Send Email Now" (nor the log viewer, which the Log Manager
// starts through the same launcher).
TEST_F(RunTest, OnlyTheCountdownsRunnerScriptHoldsTheWatch) {
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    m.SEND_EMAIL_NOW_BUTTON.press();  // launch 1, stays running throughout
    m.START_STOP_BUTTON.press();
    run(10000);                       // launch 2: runner script started, mailer not yet
    ASSERT_EQ(app.launcher.lastId, 2u);
    run(750);
    EXPECT_TRUE(m.PROCESS_WATCHER_TIMER.running()) << "the runner script has not ended";
    EXPECT_NE(status(), "COMPLETED...");
    app.processes.running = true;
    EXPECT_EQ(after(250), kRunning);
    runEnds();
    EXPECT_EQ(after(250), "COMPLETED...");
    EXPECT_TRUE(app.launcher.states[1].running) << "launch 1 never held the watch";
}

// The window's thread never waits for the process list: while a query
// hangs, ticks start no other, and the window goes on handling events and
// its other timers; the answer arrives through the scheduler when it comes.
// A stop pressed during the watch aborts the run but lets the watch go on.
TEST_F(RunTest, TheWatchNeverBlocksTheWindowsThreadAndOutlivesAStop) {
    app.processes.hold = true;
    app.processes.running = true;
    app.zorder.foreground = 42;
    MainWindow& m = open({{"P4P_TICKBOX", "1"}, {"AlwaysOnTopTimer_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);  // launch, then the first watch tick starts a query
    ASSERT_TRUE(app.processes.waitUntilAsked());
    const std::size_t zBefore = app.zorder.calls.size();
    app.sched.advance(3000);   // twelve more ticks while the query hangs
    EXPECT_EQ(app.processes.askedCount(), 1u) << "a tick while a query is outstanding starts none";
    EXPECT_TRUE(m.watchQueryOutstanding());
    EXPECT_GT(app.zorder.calls.size(), zBefore) << "the always-on-top timer kept ticking";
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status(), "!!! ABORTED !!!") << "a press is handled at once";
    app.processes.release();
    settle();
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), kRunning + "START");
    runEnds();
    app.sched.advance(250);  // the next tick asks again
    ASSERT_TRUE(app.processes.waitUntilAsked());
    app.processes.release();
    settle();
    EXPECT_EQ(status(), "COMPLETED...");
    EXPECT_EQ(app.processes.askedCount(), 2u);
    EXPECT_EQ(after(10000), "READY...");
}

// A query that answers after its watch has ended changes nothing; a window
// destroyed while a query runs is not reached by its late answer.
TEST_F(RunTest, LateAnswersAreDropped) {
    app.processes.hold = true;
    app.processes.running = true;
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    ASSERT_TRUE(app.processes.waitUntilAsked());
    m.P4P_TICKBOX.click();
    app.sched.advance(250);  // the watch ends without its answer
    EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
    app.processes.release();
    settle();
    EXPECT_EQ(status(), "!!! AUTOSENDING EMAIL NOW !!!");
    EXPECT_EQ(m.P4P_TICKBOX.background(), std::nullopt);

    m.P4P_TICKBOX.click();
    m.START_STOP_BUTTON.press();
    m.START_STOP_BUTTON.press();
    app.sched.advance(10250);
    ASSERT_TRUE(app.processes.waitUntilAsked());
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        app.processes.release();
    });
    w.reset();  // waits for the query's thread; its answer finds no window
    releaser.join();
    app.sched.runPosted();
}

// How a watched run ended decides the status line and the exit status: the
// runner script's exit status and the lines this run added to the mail
// client's log (the lines before the launch are not this run's).
TEST(RunOutcome, ExitStatusAndTheRunsOwnLogLinesDecide) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("fhsw-outcome-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // As the window forms it (a slash serves on Windows too).
    const std::string log = dir.string() + "/SENDEMAIL-LOG.txt";
    const std::string stamp = "Dec 06 16:17:26 vm sendemail[1902]: ";
    struct Case {
        std::string before;    // the log before the launch ("-": no log at all)
        std::string added;     // what the run writes ("=": replaces the log)
        int runnerStatus;
        std::string status;
        int exitStatus;
    };
    const std::vector<Case> cases = {
        {stamp + "ERROR => an older run failed\n", stamp + "Email was sent successfully!\n", 0,
         "COMPLETED...", 0},
        {"-", stamp + "DEBUG => Connecting to 127.0.0.1:1\n" + stamp +
                  "ERROR => Connection attempt to 127.0.0.1:1 failed: connect: Connection refused\n" +
                  stamp + "HINT => Try specifying a different mail relay with the -s option.\n",
         1, "!!! SEND FAILED: Connection attempt to 127.0.0.1:1 failed: connect: Connection refused !!!", 1},
        // A visible run's terminal may not pass the status on: the log still tells.
        {"", stamp + "ERROR => ERROR => SMTP-AUTH: Authentication to x:25 failed.\r\n", 0,
         "!!! SEND FAILED: SMTP-AUTH: Authentication to x:25 failed. !!!", 1},
        {"old line\n", "", 0, "!!! SEND FAILED: SendEmail.exe wrote nothing to " + log +
                                  " - was it started? !!!", 1},
        {"", "runner: line 22: not understood\n", 2,
         "!!! SEND FAILED: the runner script ended with status 2 !!!", 1},
        {"", "", -1, "!!! SEND FAILED: the runner script ended, how is not known !!!", 1},
        // The log was emptied during the run: all of it is this run's.
        {std::string(500, 'x') + "\n", "=" + stamp + "Email was sent successfully!\n", 0,
         "COMPLETED...", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        fs::remove(log);
        if (c.before != "-") std::ofstream(log, std::ios::binary) << c.before;
        Harness h(RunFileNames::Linux());
        const std::string launch = "\"" + dir.string() + "/SENDEMAIL-RUNNER.BAT\"";
        MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", launch},
                                {"INSTALL_FOLDER_TEXTBOX", dir.string()}, {"P4P_TICKBOX", "1"}});
        m.START_STOP_BUTTON.press();
        h.run(10500);
        if (c.added.rfind("=", 0) == 0)
            std::ofstream(log, std::ios::binary) << c.added.substr(1);
        else
            std::ofstream(log, std::ios::binary | std::ios::app) << c.added;
        h.app.launcher.end(c.runnerStatus);
        EXPECT_EQ(h.after(250), c.status);
        EXPECT_EQ(m.CURRENT_STATUS_LABEL.foreground(), c.exitStatus ? colours::Red : colours::Green);
        EXPECT_EQ(m.CURRENT_STATUS_LABEL.background(), colours::Black);
        EXPECT_EQ(m.exitStatus(), c.exitStatus);
    }
    fs::remove_all(dir);
}

// What follows a failure: with AutoClose the program still closes after the
// wait (a scheduled run must end) and says why; without it the window stays
// usable with the red status until the next run.
TEST(RunOutcome, AFailureClosesAnUnattendedRunAndStaysInViewOtherwise) {
    enum Failure { kSend, kLaunch, kNoScript };
    for (bool autoClose : {true, false}) {
        for (Failure how : {kSend, kLaunch, kNoScript}) {
            SCOPED_TRACE(std::to_string(autoClose) + "/" + std::to_string(how));
            Harness h;
            if (how == kLaunch) h.app.launcher.next = {false, "cannot find C:\\x\\R.BAT"};
            const std::string launch = how == kNoScript ? "" : "\"C:\\x\\R.BAT\"";
            MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", launch}, {"AUTOSTART_TICKBOX", "1"},
                                    {"AUTOCLOSE_TICKBOX", autoClose ? "1" : "0"}, {"P4P_TICKBOX", "1"}});
            h.run(10000);
            if (how == kSend) {
                h.app.launcher.end(1);
                h.run(250);
            }
            const std::string failure = h.status();
            EXPECT_EQ(failure.rfind("!!! SEND FAILED: ", 0), 0u) << failure;
            const int expected = how == kSend ? MainWindow::kExitSendFailed : MainWindow::kExitLaunchFailed;
            EXPECT_EQ(m.exitStatus(), expected);
            h.run(9999);
            EXPECT_FALSE(m.isClosed());
            h.run(1);
            EXPECT_EQ(m.isClosed(), autoClose);
            EXPECT_EQ(m.exitStatus(), expected);
            if (autoClose) {
                EXPECT_EQ(h.status(), "!!! SEND FAILED - CLOSING NOW !!!");
                EXPECT_EQ(m.CURRENT_STATUS_LABEL.foreground(), colours::Red);
                continue;
            }
            EXPECT_EQ(h.status() + m.START_STOP_BUTTON.text(), failure + "START")
                << "the reason stays in view";
            EXPECT_TRUE(test::Disabled(m).empty());
            EXPECT_EQ(h.app.sched.pending(), 0u);
            m.START_STOP_BUTTON.press();
            EXPECT_EQ(m.CURRENT_STATUS_LABEL.foreground(), colours::Green) << "a new run, a new colour";
        }
    }
}

// A run whose mail client does not end within the limit is stopped with its
// runner script and reported; an unattended run then closes with status 3.
// If the runner script has ended and only another SendEmail.exe holds the
// watch, the run is judged by its own result instead.
TEST(RunOutcome, ARunThatDoesNotEndInTimeIsStoppedAndReported) {
    for (bool ownRunEnded : {false, true}) {
        SCOPED_TRACE(ownRunEnded);
        Harness h;
        h.app.ctx.sendTimeoutSeconds = 30;
        h.app.processes.running = true;
        MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", "\"C:\\x\\R.BAT\""}, {"P4P_TICKBOX", "1"},
                                {"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}});
        EXPECT_EQ(h.after(10000 + 29999), kRunning);
        if (ownRunEnded) h.app.launcher.end(0);
        h.run(1);
        if (ownRunEnded) {
            EXPECT_EQ(h.status(), "COMPLETED...");
            EXPECT_TRUE(h.app.launcher.stopped.empty());
            EXPECT_EQ(m.exitStatus(), 0);
            continue;
        }
        EXPECT_EQ(h.status(),
                  "!!! SEND FAILED: SendEmail.exe timed out after 30 s - the runner script and the "
                  "mail client were stopped !!!");
        EXPECT_EQ(h.app.launcher.stopped, (std::vector<LaunchId>{1}));
        EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
        h.run(10000);
        EXPECT_TRUE(m.isClosed());
        EXPECT_EQ(m.exitStatus(), MainWindow::kExitTimedOut);
    }
    // The limit comes from FHSW_SEND_TIMEOUT_SECONDS when that holds a sane value.
    const std::vector<std::pair<const char*, int>> limits = {
        {nullptr, 600}, {"", 600}, {"45", 45}, {"1", 1}, {"604800", 604800}, {"604801", 600},
        {"0", 600}, {"-5", 600}, {"10s", 600}, {" 10", 600}, {"99999999999999999999", 600}};
    for (const auto& [text, seconds] : limits)
        EXPECT_EQ(MainWindow::SendTimeoutFrom(text), seconds) << (text ? text : "(unset)");
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

// "Send Email Now" launches at once: a failed launch is reported and leaves
// Start usable; beside a countdown it changes no status, and the countdown
// still launches when it runs out.
TEST_F(RunTest, SendNowLaunchesAtOnceAndAFailedLaunchLeavesStartUsable) {
    app.launcher.next = {false, "cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"};
    MainWindow& m = open({{"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"}});
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_EQ(status(), "!!! SEND FAILED: cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT !!!");
    EXPECT_EQ(m.exitStatus(), MainWindow::kExitLaunchFailed);
    EXPECT_EQ(app.sched.pending(), 0u);
    app.launcher.next = {};
    m.START_STOP_BUTTON.press();
    app.sched.advance(3000);
    m.SEND_EMAIL_NOW_BUTTON.press();
    ASSERT_EQ(app.launcher.launches.size(), 2u);
    EXPECT_TRUE(app.launcher.launches[1].second) << "output window ticked: visible";
    EXPECT_EQ(status(), "EMAIL AUTOSEND IN 10 SECS...") << "Send Email Now changes no status";
    app.sched.advance(7000);
    EXPECT_EQ(app.launcher.launches.size(), 3u);
    EXPECT_EQ(m.exitStatus(), 0) << "a new send: the old failure no longer counts";
    // Settings never saved: nothing to hand to the launcher.
    m.SE_RUNNER_BAT_LOCATION_TEXTBOX.setText("");
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_EQ(app.launcher.launches.size(), 3u);
    EXPECT_NE(status().find("press SAVE"), std::string::npos);
}

TEST_F(RunTest, AutoCloseWaitsForAnOpenDialogInsteadOfDiscardingIt) {
    MainWindow& m = open({{"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}});
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
