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

using test::TestApp;
using M = MainWindow;
using Strings = std::vector<std::string>;
using Values = std::vector<std::pair<std::string, std::string>>;

const Strings kClosingValues = {"MAIN-Left", "MAIN-Top", "AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SE_RUNNER_BAT_LOCATION_TEXTBOX",
                                "P4P_TICKBOX"};
// What a running countdown disables.
const Strings kCountdownLocks = {"AUTOSTART_TICKBOX", "AUTOCLOSE_TICKBOX",
                                 "SE_EXE_OUTPUT_WINDOW_TICKBOX", "SETTINGS_BUTTON"};
const std::string kFolder = "C:\\SendEmail";
const std::string kLaunch = "\"" + kFolder + "\\SENDEMAIL-RUNNER.BAT\"";
const std::string kLog = kFolder + RunFileNames::Windows().logFile;

std::string Failed(const std::string& reason) { return M::kSendFailed + reason + " !!!"; }

// An application on fakes and its main window, opened on stored values.
struct Harness {
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

// An empty profile, and one whose values do not convert, open ready.
TEST_F(MainWindowTest, NewOrUnconvertibleProfileOpensReadyAndStoresNothing) {
    const Values unconvertible = {{"MAIN-Left", "left of centre"}, {"MAIN-Top", "1e999"},
                                  {"AUTOSTART_TICKBOX", "yes please"}, {"P4P_TICKBOX", "99999"}};
    for (const Values& stored : {Values{}, unconvertible}) {
        SCOPED_TRACE(stored.empty() ? "new profile" : "unconvertible values");
        Harness h;
        MainWindow& m = h.open(stored);
        EXPECT_EQ(m.caption(), "FH-SW - NIGHTLY-REPORT");
        EXPECT_EQ(m.APP_EXE_NAME_TEXTBOX.text(), "NIGHTLY-REPORT");
        EXPECT_EQ(m.SEND_TO_ADDRESS_TEXTBOX.text() + m.SUBJECT_TEXTBOX.text(), "");
        for (TickBox* t : {&m.AUTOSTART_TICKBOX, &m.AUTOCLOSE_TICKBOX, &m.SE_EXE_OUTPUT_WINDOW_TICKBOX,
                           &m.P4P_TICKBOX, &m.AlwaysOnTopTimer_TICKBOX})
            EXPECT_EQ(t->state(), 0) << t->name();
        EXPECT_EQ(test::Disabled(m), Strings{"AUTOCLOSE_TICKBOX"});
        EXPECT_EQ(h.status() + m.START_STOP_BUTTON.text(), M::kReady + std::string("START"));
        EXPECT_EQ(h.app.sched.pending(), 0u) << "no timer may run";
        EXPECT_TRUE(h.app.backend.writes.empty());
        EXPECT_EQ(m.defaultButton(), &m.START_STOP_BUTTON);
    }
}

TEST_F(MainWindowTest, StoredValuesFillTheWindowAndTicksRunTheirHandlers) {
    MainWindow& m = open({{"MAIN-Left", "-2400"}, {"MAIN-Top", "315.5"},
                          {"SUBJECT_TEXTBOX", "Nightly"}, {"AUTOSTART_TICKBOX", "1"},
                          {"AUTOCLOSE_TICKBOX", "1"}, {"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"},
                          {"P4P_TICKBOX", "1"}, {"AlwaysOnTopTimer_TICKBOX", "1"}});
    EXPECT_EQ((std::vector<float>{m.left(), m.top()}), (std::vector<float>{-2400, 315.5f}));
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "Nightly");
    // The ticks' change handlers stored their values once more, in order;
    // "AutoStart" and "AutoClose" have nothing to store.
    EXPECT_EQ(app.writtenKeys(), (Strings{"SE_EXE_OUTPUT_WINDOW_TICKBOX=1", "P4P_TICKBOX=1",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    // AutoStart armed the countdown and disabled the options it locks.
    EXPECT_EQ(m.AUTOCLOSE_TICKBOX.state(), 1);
    EXPECT_EQ(test::Disabled(m), kCountdownLocks);
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), M::kCountdown + std::string("STOP"));
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
        const int batches = h.app.backend.batches;
        how(h);
        EXPECT_TRUE(h.w->isClosed());
        // All in one go: a copy that holds the settings' lock is waited for once.
        EXPECT_EQ(h.app.backend.batches - batches, h.app.backend.writes.size() - before == 7 ? 1 : 2);
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
                  EXPECT_EQ(h.status(), M::kClosing);
              }),
              stored);
}

// A setting that cannot be read or stored is shown in the window in front,
// and still reaches whoever listened before (the program writes it to
// stderr); the earlier listeners are back once the window is gone.
TEST_F(MainWindowTest, SettingsThatCannotBeReadOrStoredAreShownInTheWindowInFront) {
    struct Listener {
        std::string* told;
        void operator()(const std::string& message) const { *told = message; }
    };
    std::string read, wrote;
    app.backend.onReadError = Listener{&read};
    app.store.onWriteError = Listener{&wrote};
    app.put("SUBJECT_TEXTBOX", "Nightly");
    app.backend.readError = "cannot read /home/ops/.config/FH_SENDWARDEN.ini: Permission denied";
    MainWindow& m = open();
    EXPECT_EQ(m.SUBJECT_TEXTBOX.text(), "") << "the defaults, not what was saved";
    EXPECT_EQ(read, app.backend.readError);
    EXPECT_NE(m.notice().find(read), std::string::npos);
    app.backend.readError.clear();
    app.backend.failWrites = true;
    m.AlwaysOnTopTimer_TICKBOX.click();
    EXPECT_EQ(wrote, "cannot store AlwaysOnTopTimer_TICKBOX: store is read-only");
    EXPECT_NE(m.notice().find(wrote), std::string::npos);
    std::string inDialog;
    app.host.scripts["FH_SENDWARDEN_ABOUT"] = [&](Window& about) {
        about.close();  // its position cannot be stored either
        inDialog = about.notice();
    };
    m.ABOUT_BUTTON.press();
    EXPECT_NE(inDialog.find("cannot store ABOUT-Top: store is read-only"), std::string::npos);
    m.setNotice("");
    m.close();
    EXPECT_NE(m.notice().find("store is read-only"), std::string::npos) << "the closing steps' values";
    w.reset();
    EXPECT_NE(app.backend.onReadError.target<Listener>(), nullptr) << "the earlier listener is back";
    EXPECT_NE(app.store.onWriteError.target<Listener>(), nullptr) << "the earlier listener is back";
}

// While ticked, Always On Top demotes the window in front once a second and
// raises the main window; its tick is stored at every change, not at closing.
TEST_F(MainWindowTest, AlwaysOnTopKeepsTheWindowInFrontAndStoresItsTickAtOnce) {
    MainWindow& m = open();
    m.AlwaysOnTopTimer_TICKBOX.click();
    app.zorder.foreground = 1;  // the main window itself
    app.sched.advance(3000);
    EXPECT_TRUE(app.zorder.calls.empty());
    app.zorder.foreground = 77;
    app.sched.advance(999);
    EXPECT_TRUE(app.zorder.calls.empty()) << "polls once a second, not sooner";
    app.sched.advance(1);
    EXPECT_EQ(app.zorder.calls, (std::vector<std::pair<ZOrder::Handle, bool>>{{77, false}, {1, true}}));
    m.AlwaysOnTopTimer_TICKBOX.click();
    app.sched.advance(5000);
    EXPECT_EQ(app.zorder.calls.size(), 2u) << "unticking stops the polling";
    m.AlwaysOnTopTimer_TICKBOX.click();
    EXPECT_EQ(app.writtenKeys(), (Strings{"AlwaysOnTopTimer_TICKBOX=1", "AlwaysOnTopTimer_TICKBOX=0",
                                          "AlwaysOnTopTimer_TICKBOX=1"}));
    const std::size_t before = app.backend.writes.size();
    m.close();
    EXPECT_EQ(app.keysWrittenSince(before), kClosingValues);
}

// ---- Run controller ------------------------------------------------------

struct RunTest : MainWindowTest {
    void SetUp() override { app.put("SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch); }
};

TEST_F(RunTest, StartCountsDownLaunchesWatchesAndReturnsToReady) {
    MainWindow& m = open({{"P4P_TICKBOX", "1"}});
    m.START_STOP_BUTTON.press();
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), M::kCountdown + std::string("STOP"));
    EXPECT_EQ(test::Disabled(m), kCountdownLocks);
    run(9999);
    EXPECT_TRUE(app.launcher.launches.empty());
    app.processes.running = true;
    run(1);
    EXPECT_EQ(app.launcher.launches, (std::vector{std::pair{kLaunch, false}}));
    EXPECT_EQ(status(), M::kSending);
    EXPECT_EQ(after(250), M::kRunning);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Red);
    EXPECT_EQ(app.processes.asked.back(), "SendEmail.exe");
    run(2000);
    runEnds();
    EXPECT_EQ(after(250), M::kCompleted);
    EXPECT_EQ(m.P4P_TICKBOX.background(), colours::Green);
    EXPECT_EQ(test::Disabled(m), kCountdownLocks);
    EXPECT_EQ(test::Running(m), Strings{"AUTOCLOSE_TIMER"});
    EXPECT_EQ(after(9999), M::kCompleted);
    run(1);
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), M::kReady + std::string("START"));
    EXPECT_TRUE(test::Disabled(m).empty());
    EXPECT_EQ(m.P4P_TICKBOX.background(), std::nullopt);
    EXPECT_EQ(app.sched.pending(), 0u);
    EXPECT_EQ(app.launcher.launches.size(), 1u);
}

// STOP ends a countdown or a completion wait: nothing (more) is launched,
// everything is enabled (AutoClose too, without AutoStart), and the watch's
// colour stays.
TEST(RunStop, StopEndsACountdownOrACompletionWait) {
    for (bool inTheWait : {false, true}) {
        SCOPED_TRACE(inTheWait);
        Harness h;
        MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"P4P_TICKBOX", "1"}});
        m.START_STOP_BUTTON.press();
        if (inTheWait) {
            h.run(10000);
            h.app.launcher.end(0);
            EXPECT_EQ(h.after(250), M::kCompleted);
        } else {
            h.run(6000);
        }
        m.START_STOP_BUTTON.press();
        EXPECT_EQ(h.after(30000) + m.START_STOP_BUTTON.text(), M::kAborted + std::string("START"));
        EXPECT_EQ(h.app.launcher.launches.size(), inTheWait ? 1u : 0u);
        EXPECT_TRUE(test::Disabled(m).empty());
        EXPECT_EQ(h.app.sched.pending(), 0u);
        EXPECT_EQ(m.P4P_TICKBOX.background(), inTheWait ? std::optional(colours::Green) : std::nullopt);
    }
}

TEST_F(RunTest, WithoutPauseForProcessTheWaitStartsAtTheFirstCheck) {
    MainWindow& m = open({{"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}});
    app.processes.running = true;
    app.sched.advance(10250);
    EXPECT_TRUE(app.processes.asked.empty()) << "no watch wanted, no query";
    EXPECT_EQ(status(), M::kSending);
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
    EXPECT_EQ(status(), M::kRunning);
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
    EXPECT_EQ(status(), M::kSending);
    app.processes.running = true;
    EXPECT_EQ(after(250), M::kRunning);
    runEnds();
    EXPECT_EQ(after(250), M::kCompleted);
    EXPECT_TRUE(app.launcher.states[1].running) << "launch 1 never held the watch";
}

// The window's thread never waits for the process list: while a query
// hangs, ticks start no other, and the window goes on handling events and
// its other timers; the answer arrives through the scheduler when it comes.
// A stop pressed during the watch aborts the run but lets the watch go on to
// its usual end.
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
    EXPECT_EQ(status(), M::kAborted) << "a press is handled at once";
    EXPECT_TRUE(test::Disabled(m).empty());
    app.processes.release();
    settle();
    EXPECT_EQ(status() + m.START_STOP_BUTTON.text(), M::kRunning + std::string("START"));
    runEnds();
    app.sched.advance(250);  // the next tick asks again
    ASSERT_TRUE(app.processes.waitUntilAsked());
    app.processes.release();
    settle();
    EXPECT_EQ(status(), M::kCompleted);
    EXPECT_EQ(app.processes.askedCount(), 2u);
    EXPECT_EQ(after(10000), M::kReady);
}

// A query that answers after its watch has ended changes nothing; a window
// destroyed while a query runs waits for it, and its late answer reaches no
// window.
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
    EXPECT_EQ(status(), M::kSending);
    EXPECT_EQ(m.P4P_TICKBOX.background(), std::nullopt);

    m.P4P_TICKBOX.click();
    m.START_STOP_BUTTON.press();
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
    app.sched.runPosted();  // the answer, for no window
}

// How a watched run ended decides the status line and the exit status: the
// runner script's exit status and the lines this run added to the mail
// client's log (the reasons themselves: send_log_test.cpp).
TEST(RunOutcome, ExitStatusAndTheRunsOwnLogLinesDecide) {
    const std::string stamp = "Dec 06 16:17:26 vm sendemail[1902]: ";
    const std::string sent = stamp + "Email was sent successfully!\n";
    const std::string longReason = "Connection attempt to mail.example.org:587 failed: " + std::string(400, 'x');
    struct Case {
        std::optional<std::string> before;  // the log before the launch
        std::string added;                  // what the run writes ("=": replaces the log)
        int runnerStatus;
        bool mailClient;    // SendEmail.exe is in the folder
        std::string shown;  // "": completed
    };
    const std::vector<Case> cases = {
        {stamp + "ERROR => an older run failed\n", sent, 0, true, ""},
        {std::nullopt, stamp + "ERROR => " + longReason + "\n", 1, true, Failed(longReason)},
        // The log was emptied during the run: all of it is this run's.
        {std::string(500, 'x') + "\n", "=" + sent, 0, true, ""},
        {std::nullopt, "", 127, false, Failed("SendEmail.exe was not found in " + kFolder)},
        {"old line\n", "", 0, true, Failed("SendEmail.exe wrote nothing to " + kLog + " - was it started?")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        Harness h;
        std::map<std::string, std::string>& files = h.app.files.files;
        if (c.mailClient) files[kFolder + h.app.ctx.runFiles.sendEmailExe] = "";
        if (c.before) files[kLog] = *c.before;
        MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch},
                                {"INSTALL_FOLDER_TEXTBOX", kFolder}, {"P4P_TICKBOX", "1"}});
        m.START_STOP_BUTTON.press();
        h.run(10500);
        if (c.added.rfind("=", 0) == 0)
            files[kLog] = c.added.substr(1);
        else if (!c.added.empty())
            files[kLog] += c.added;
        h.app.launcher.end(c.runnerStatus);
        EXPECT_EQ(h.after(250), c.shown.empty() ? M::kCompleted : c.shown);
        EXPECT_EQ(m.CURRENT_STATUS_LABEL.foreground(), c.shown.empty() ? colours::Green : colours::Red);
        EXPECT_EQ(m.exitStatus(), c.shown.empty() ? M::kExitOk : M::kExitSendFailed);
    }
}

// What follows a failure: with AutoClose the program still closes after the
// wait (a scheduled run must end) and says why; without it the window stays
// usable with the red status until the next run. A log that others could
// read is not sent to.
TEST(RunOutcome, AFailureClosesAnUnattendedRunAndStaysInViewOtherwise) {
    enum Failure { kBadSend, kBadLaunch, kNoScript, kOpenLog };
    for (bool autoClose : {true, false}) {
        for (Failure how : {kBadSend, kBadLaunch, kNoScript, kOpenLog}) {
            SCOPED_TRACE(std::to_string(autoClose) + "/" + std::to_string(how));
            Harness h;
            if (how == kBadLaunch) h.app.launcher.next = {false, "cannot find C:\\x\\R.BAT"};
            if (how == kOpenLog) h.app.files.insecure[kLog] = "other users may read " + kLog;
            MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", how == kNoScript ? std::string() : kLaunch},
                                    {"INSTALL_FOLDER_TEXTBOX", kFolder}, {"AUTOSTART_TICKBOX", "1"},
                                    {"AUTOCLOSE_TICKBOX", autoClose ? "1" : "0"}, {"P4P_TICKBOX", "1"}});
            h.run(10000);
            if (how == kBadSend) {
                h.app.launcher.end(1);
                h.run(250);
            }
            const std::string failure = h.status();
            EXPECT_EQ(failure.rfind(M::kSendFailed, 0), 0u) << failure;
            if (how == kOpenLog) {
                EXPECT_EQ(failure, Failed("other users may read " + kLog));
                EXPECT_TRUE(h.app.launcher.launches.empty());
            }
            const int expected = how == kBadSend ? M::kExitSendFailed : M::kExitLaunchFailed;
            EXPECT_EQ(m.exitStatus(), expected);
            h.run(9999);
            EXPECT_FALSE(m.isClosed());
            h.run(1);
            EXPECT_EQ(m.isClosed(), autoClose);
            EXPECT_EQ(m.exitStatus(), expected);
            if (autoClose) {
                EXPECT_EQ(h.status(), M::kFailedClosing);
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
        MainWindow& m = h.open({{"SE_RUNNER_BAT_LOCATION_TEXTBOX", kLaunch}, {"P4P_TICKBOX", "1"},
                                {"AUTOSTART_TICKBOX", "1"}, {"AUTOCLOSE_TICKBOX", "1"}});
        EXPECT_EQ(h.after(10000 + 29999), M::kRunning);
        if (ownRunEnded) h.app.launcher.end(0);
        h.run(1);
        if (ownRunEnded) {
            EXPECT_EQ(h.status(), M::kCompleted);
            EXPECT_TRUE(h.app.launcher.stopped.empty());
            EXPECT_EQ(m.exitStatus(), M::kExitOk);
            continue;
        }
        EXPECT_EQ(h.status().rfind(M::kSendFailed, 0), 0u);
        EXPECT_NE(h.status().find("timed out after 30 s"), std::string::npos);
        EXPECT_EQ(h.app.launcher.stopped, (std::vector<LaunchId>{1}));
        EXPECT_FALSE(m.PROCESS_WATCHER_TIMER.running());
        h.run(10000);
        EXPECT_TRUE(m.isClosed());
        EXPECT_EQ(m.exitStatus(), M::kExitTimedOut);
    }
    // The limit comes from FHSW_SEND_TIMEOUT_SECONDS when that holds a sane value.
    const std::vector<std::pair<const char*, int>> limits = {
        {nullptr, 600}, {"", 600}, {"45", 45}, {"1", 1}, {"604800", 604800}, {"604801", 600},
        {"0", 600}, {"-5", 600}, {"10s", 600}, {" 10", 600}, {"99999999999999999999", 600}};
    for (const auto& [text, seconds] : limits)
        EXPECT_EQ(M::SendTimeoutFrom(text), seconds) << (text ? text : "(unset)");
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

// "Send Email Now" launches at once once the log is secured: a failed launch
// is reported and leaves Start usable; beside a countdown it changes no
// status, and the countdown still launches when it runs out.
TEST_F(RunTest, SendNowLaunchesAtOnceAndAFailedLaunchLeavesStartUsable) {
    app.put("INSTALL_FOLDER_TEXTBOX", kFolder);
    app.files.insecure[kLog] = kLog + " is a symbolic link";
    MainWindow& m = open({{"SE_EXE_OUTPUT_WINDOW_TICKBOX", "1"}});
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_TRUE(app.launcher.launches.empty());
    EXPECT_EQ(status(), Failed(kLog + " is a symbolic link"));
    app.files.insecure.clear();
    app.launcher.next = {false, "cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"};
    m.SEND_EMAIL_NOW_BUTTON.press();
    EXPECT_EQ(status(), Failed("cannot find C:\\SendEmail\\SENDEMAIL-RUNNER.BAT"));
    EXPECT_EQ(m.exitStatus(), M::kExitLaunchFailed);
    EXPECT_EQ(app.sched.pending(), 0u);
    app.launcher.next = {};
    m.START_STOP_BUTTON.press();
    app.sched.advance(3000);
    m.SEND_EMAIL_NOW_BUTTON.press();
    ASSERT_EQ(app.launcher.launches.size(), 2u);
    EXPECT_TRUE(app.launcher.launches[1].second) << "output window ticked: visible";
    EXPECT_EQ(status(), M::kCountdown) << "Send Email Now changes no status";
    app.sched.advance(7000);
    EXPECT_EQ(app.launcher.launches.size(), 3u);
    EXPECT_EQ(m.exitStatus(), M::kExitOk) << "a new send: the old failure no longer counts";
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
        sawWaiting = status() == M::kClosingAfterDialog;
        about.close();
    };
    m.ABOUT_BUTTON.press();
    EXPECT_TRUE(sawWaiting);
    EXPECT_TRUE(m.isClosed()) << "closes as soon as the dialog has closed";
    EXPECT_EQ(app.get("ABOUT-Left"), "1000") << "the dialog went through its own closing";
}

}  // namespace
}  // namespace fhsw
