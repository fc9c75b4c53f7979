#include "forms/main_window.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "compose/send_log.h"
#include "compose/sendemail_contract.h"
#include "forms/settings_main_window.h"
#include "forms/about_window.h"
#include "forms/log_manager_window.h"
#include "forms/profile_form.h"

namespace fhsw {

int MainWindow::SendTimeoutFrom(const char* text) {
    int value = 0;
    const char* end = text ? text + std::strlen(text) : nullptr;
    if (!text || std::from_chars(text, end, value).ptr != end || value < 1 || value > 604800)
        return kDefaultSendTimeoutSeconds;
    return value;
}

MainWindow::MainWindow(AppContext& app)
    : PlacedWindow(app, "FH_SENDWARDEN_MAIN", "FH-SW - ", nullptr, "MAIN", 10050, 3285),
      START_STOP_BUTTON(*this, "START_STOP_BUTTON", "START", {8520, 1920, 1095, 735}),
      FH_SENDWARDEN_TITLE_2(*this, "FH_SENDWARDEN_TITLE_2", "FH-SENDWARDEN", {120, 120, 2655, 375}),
      STATUS_LABEL(*this, "STATUS_LABEL", "STATUS:", {2880, 240, 855, 255}),
      CURRENT_STATUS_LABEL(*this, "CURRENT_STATUS_LABEL", kReady, {3720, 120, 6135, 555}),
      EXE_NAME_LABEL(*this, "EXE_NAME_LABEL", "EXE FILE:", {1440, 720, 975, 255}),
      APP_EXE_NAME_TEXTBOX(*this, "APP_EXE_NAME_TEXTBOX", "APP_EXE_NAME", {2400, 600, 7455, 375}),
      TO_LABEL(*this, "TO_LABEL", "TO:", {1920, 1080, 375, 255}),
      SEND_TO_ADDRESS_TEXTBOX(*this, kSendTo.key, "TO", {2400, 960, 7455, 375}),
      SUBJECT_LABEL(*this, "SUBJECT_LABEL", "SUBJECT:", {1440, 1440, 975, 255}),
      SUBJECT_TEXTBOX(*this, kSubject.key, "SUBJECT", {2400, 1320, 7455, 375}),
      Picture1(*this, "Picture1", "main.png", {120, 600, 1185, 2205}),
      LOG_MANAGER_BUTTON(*this, "LOG_MANAGER_BUTTON", "Log Manager", {1560, 1920, 1335, 375}),
      ABOUT_BUTTON(*this, "ABOUT_BUTTON", "About", {1560, 2400, 1335, 255}),
      AUTOSTART_TICKBOX(*this, kAutoStart.key, kAutoStart.caption, {3000, 1920, 1095, 195}),
      AUTOCLOSE_TICKBOX(*this, kAutoClose.key, kAutoClose.caption, {3000, 2160, 1095, 195}),
      AlwaysOnTopTimer_TICKBOX(*this, kAlwaysOnTop.key, kAlwaysOnTop.caption, {3000, 2400, 975, 495}),
      SE_EXE_OUTPUT_WINDOW_TICKBOX(*this, kOutputWindow.key, kOutputWindow.caption, {4080, 1920, 1575, 375}),
      P4P_TICKBOX(*this, kPauseForProcess.key, kPauseForProcess.caption, {4080, 2400, 1575, 375}),
      SEND_EMAIL_NOW_BUTTON(*this, "SEND_EMAIL_NOW_BUTTON", "Send Email Now", {5760, 1920, 1335, 375}),
      SETTINGS_BUTTON(*this, "SETTINGS_BUTTON", "Settings", {5760, 2400, 1335, 375}),
      EXIT_BUTTON(*this, "EXIT_BUTTON", "Exit", {7320, 2040, 975, 495}),
      SE_RUNNER_BAT_LOCATION_TEXTBOX(*this, "SE_RUNNER_BAT_LOCATION_TEXTBOX", "SENDEMAIL-RUNNER.BAT",
                                     {360, 4200, 2295, 285}),
      AUTOSTART_TIMER(*this, "AUTOSTART_TIMER"),
      AUTOCLOSE_TIMER(*this, "AUTOCLOSE_TIMER"),
      PROCESS_WATCHER_TIMER(*this, "PROCESS_WATCHER_TIMER"),
      AlwaysOnTopTimer(*this, "AlwaysOnTopTimer"),
      SEND_TIMEOUT_TIMER(*this, "SEND_TIMEOUT_TIMER"),
      alive_(std::make_shared<MainWindow*>(this)) {
    StyleAsTitle(FH_SENDWARDEN_TITLE_2);
    StyleAsTitle(CURRENT_STATUS_LABEL);
    FH_SENDWARDEN_TITLE_2.setAlign(Align::Center);
    APP_EXE_NAME_TEXTBOX.setBold(true);
    APP_EXE_NAME_TEXTBOX.setPointSize(12);
    SEND_TO_ADDRESS_TEXTBOX.setReadOnly(true);
    SUBJECT_TEXTBOX.setReadOnly(true);
    SE_RUNNER_BAT_LOCATION_TEXTBOX.setVisible(false);
    AUTOCLOSE_TICKBOX.setEnabled(false);
    setDefaultButton(&START_STOP_BUTTON);

    ABOUT_BUTTON.onPress = [this] { openDialog<AboutWindow>(); };
    SETTINGS_BUTTON.onPress = [this] { openDialog<SettingsMainWindow>(); };
    LOG_MANAGER_BUTTON.onPress = [this] { openDialog<LogManagerWindow>(); };
    EXIT_BUTTON.onPress = [this] {
        storeState();
        close();
    };
    START_STOP_BUTTON.onPress = [this] { startStopPressed(); };
    // Launches at once and changes nothing else: only the countdown's launch
    // is watched.
    SEND_EMAIL_NOW_BUTTON.onPress = [this] { launchRunner(app_.store.readText(kInstallFolder.key)); };
    AUTOSTART_TICKBOX.onChange = [this] { autoStartChanged(); };
    // These options are stored at every change; Always On Top also keeps its timer running.
    for (TickBox* t : {&P4P_TICKBOX, &SE_EXE_OUTPUT_WINDOW_TICKBOX, &AlwaysOnTopTimer_TICKBOX})
        t->onChange = [this, t] {
            if (t == &AlwaysOnTopTimer_TICKBOX) t->ticked() ? AlwaysOnTopTimer.start() : AlwaysOnTopTimer.stop();
            app_.store.writeTick(t->name(), t->state());
        };
    AUTOSTART_TIMER.onTick = [this] { countdownElapsed(); };
    PROCESS_WATCHER_TIMER.onTick = [this] { watchTick(); };
    AUTOCLOSE_TIMER.onTick = [this] { autoCloseElapsed(); };
    AlwaysOnTopTimer.onTick = [this] { alwaysOnTopTick(); };
    SEND_TIMEOUT_TIMER.onTick = [this] { sendTimedOut(); };
    // A setting that cannot be stored is also shown where the user looks:
    // in the window in front.
    previousWriteError_ = app.store.onWriteError;
    app.store.onWriteError = [this](const std::string& message) {
        if (previousWriteError_) previousWriteError_(message);
        activeWindow().setNotice("!!! SETTING NOT STORED: " + message + " !!!");
    };
    // So are settings that cannot be read: the window shows their defaults,
    // not what was saved.
    previousReadError_ = app.store.onReadError();
    app.store.onReadError() = [this](const std::string& message) {
        if (previousReadError_) previousReadError_(message);
        activeWindow().setNotice("!!! SETTINGS NOT READ: " + message + " !!!");
    };
}

MainWindow::~MainWindow() {
    app_.store.onWriteError = previousWriteError_;
    app_.store.onReadError() = previousReadError_;
    // An answer still on its way finds no window; the query itself is short.
    *alive_ = nullptr;
    if (queryThread_.joinable()) queryThread_.join();
}

// ---- Opening and closing --------------------------------------------------

void MainWindow::load() {
    const std::string profile = app_.store.ProfileName();
    PlacedWindow::load();
    APP_EXE_NAME_TEXTBOX.setText(profile);
    setCaption("FH-SW - " + profile);
    // A ticked option runs its change handler: Always On Top starts its
    // timer, which ticks once it has its interval below.
    for (Control* c : std::initializer_list<Control*>{&SEND_TO_ADDRESS_TEXTBOX, &SUBJECT_TEXTBOX, &AUTOSTART_TICKBOX,
                                                      &AUTOCLOSE_TICKBOX, &SE_EXE_OUTPUT_WINDOW_TICKBOX,
                                                      &SE_RUNNER_BAT_LOCATION_TEXTBOX, &P4P_TICKBOX,
                                                      &AlwaysOnTopTimer_TICKBOX})
        LoadControl(*c, app_.store, profile);

    AlwaysOnTopTimer.setInterval(1000);
    AUTOSTART_TIMER.setInterval(10000);
    AUTOCLOSE_TIMER.setInterval(10000);
    PROCESS_WATCHER_TIMER.setInterval(250);
    SEND_TIMEOUT_TIMER.setInterval(1000 * app_.sendTimeoutSeconds);
    const bool autoStart = AUTOSTART_TICKBOX.state() == 1;
    setStatus(autoStart ? kCountdown : kReady);
    enter(autoStart ? RunState::Countdown : RunState::Idle);
    AUTOCLOSE_TICKBOX.setEnabled(false);
}

// In one go: with the settings locked by another copy, one wait, not seven.
void MainWindow::storeState() {
    const std::string profile = app_.store.ProfileName();
    std::vector<SettingValue> values = placeValues();
    for (const Control* c : std::initializer_list<const Control*>{&AUTOSTART_TICKBOX, &AUTOCLOSE_TICKBOX,
                                                                  &SE_EXE_OUTPUT_WINDOW_TICKBOX,
                                                                  &SE_RUNNER_BAT_LOCATION_TEXTBOX, &P4P_TICKBOX})
        values.push_back({profile, c->name(), ControlValue(*c)});
    if (std::string error; !app_.store.WriteSettings(values, error))
        app_.store.onWriteError("cannot store the main window's place and options: " + error);
}

void MainWindow::unload() { storeState(); }

template <class Dialog>
void MainWindow::openDialog() {
    ShowDialog<Dialog>(app_, *this);
    // An auto-close that fell due while the dialog was open waited for it.
    if (state_ == RunState::Closing) close();
}

// ---- Run controller ------------------------------------------------------

// The states in which START/STOP reads "STOP" and the options are locked.
bool MainWindow::Armed(RunState s) {
    return s == RunState::Countdown || s == RunState::Watch || s == RunState::Wait;
}

// Shows a status text, and writes it with the time to stderr so that an
// unattended run leaves a trace in whatever collects its output.
// A failure shows in red on the black status line.
void MainWindow::setStatus(const std::string& text, bool failure) {
    CURRENT_STATUS_LABEL.setForeground(failure ? colours::Red : colours::Green);
    CURRENT_STATUS_LABEL.setText(text);
    if (text == lastLogged_) return;  // the watch repeats its status every check
    lastLogged_ = text;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&secs));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::fprintf(stderr, "%s.%03d fh-sendwarden[%s]: %s\n", stamp, static_cast<int>(ms),
                 app_.store.ProfileName().c_str(), text.c_str());
}

void MainWindow::showFailure(const std::string& reason) {
    setStatus(std::string(kSendFailed) + ShownReason(reason) + " !!!", true);
}

void MainWindow::enter(RunState next) {
    const auto watching = [](RunState s) { return s == RunState::Watch || s == RunState::StoppedWatch; };
    if (watching(state_) && !watching(next)) ++watchGeneration_;
    state_ = next;
    // The wait after a stopped watch keeps what the user made of the
    // options meanwhile; closing changes nothing in view.
    if (next != RunState::StoppedWait && next != RunState::Closing) {
        const bool armed = Armed(next);
        START_STOP_BUTTON.setText(armed ? "STOP" : "START");
        for (Control* c : std::initializer_list<Control*>{&AUTOSTART_TICKBOX, &AUTOCLOSE_TICKBOX,
                                                          &SE_EXE_OUTPUT_WINDOW_TICKBOX, &SETTINGS_BUTTON})
            c->setEnabled(!armed);
    }
    const auto run = [](Timer& timer, bool on) { on ? timer.start() : timer.stop(); };
    run(AUTOSTART_TIMER, next == RunState::Countdown);
    run(PROCESS_WATCHER_TIMER, watching(next));
    run(SEND_TIMEOUT_TIMER, watching(next));
    run(AUTOCLOSE_TIMER, next == RunState::Wait || next == RunState::StoppedWait);
}

void MainWindow::enterWait() {
    enter(state_ == RunState::StoppedWatch ? RunState::StoppedWait : RunState::Wait);
}

// STOP aborts a run: a launched runner script is not touched, and its watch
// goes on. START arms a new run, which no longer follows a stopped watch.
void MainWindow::startStopPressed() {
    if (state_ == RunState::Closing) return;
    const bool stop = Armed(state_);
    setStatus(stop ? kAborted : kCountdown);
    enter(!stop ? RunState::Countdown : state_ == RunState::Watch ? RunState::StoppedWatch : RunState::Idle);
}

// Hands the saved runner script to the launcher once the log is secured
// against other users; on failure says why (status line, stderr, exit
// status) and returns 0.
LaunchId MainWindow::launchRunner(const std::string& folder) {
    const std::string& command = SE_RUNNER_BAT_LOCATION_TEXTBOX.text();
    std::string error;
    if (command.empty()) {
        error = "no runner script saved yet - open Settings and press SAVE";
    } else if (folder.empty() || app_.files.secureLog(folder + app_.runFiles.logFile, error)) {
        LaunchResult result = app_.launcher.launch(command, SE_EXE_OUTPUT_WINDOW_TICKBOX.state() == 1);
        exitStatus_ = kExitOk;  // a new send: an earlier failure no longer counts
        if (result.ok) return result.id;
        error = result.error;
    }
    exitStatus_ = kExitLaunchFailed;
    showFailure(error);
    return 0;
}

void MainWindow::countdownElapsed() {
    setStatus(kSending);
    const std::string folder = app_.store.readText(kInstallFolder.key);
    // The log as it stands before the launch: the run's own lines follow.
    const auto logStart = folder.empty() ? 0 : app_.files.fileSize(folder + app_.runFiles.logFile).value_or(0);
    run_ = {launchRunner(folder), folder, logStart, false};
    run_.judged = run_.id == 0;
    // After a failed launch a scheduled run must still end: it closes after
    // the usual wait, with the reason in view. Otherwise the window is ready
    // again and shows why.
    enter(run_.id ? RunState::Watch : AUTOCLOSE_TICKBOX.state() == 1 ? RunState::Wait : RunState::Idle);
}

// The window never waits for the process list: the query runs on its own
// thread, and a tick while it runs starts no other.
void MainWindow::watchTick() {
    if (P4P_TICKBOX.state() != 1)
        enterWait();
    else if (!queryOutstanding_)
        startQuery();
}

void MainWindow::startQuery() {
    // The previous query has answered already; its thread is at its end.
    if (queryThread_.joinable()) queryThread_.join();
    queryOutstanding_ = true;
    try {
        queryThread_ = std::thread([alive = alive_, &processes = app_.processes, &scheduler = ui().scheduler,
                                    generation = watchGeneration_] {
            const bool running = processes.isProcessRunning(SENDEMAIL_IMAGE_NAME);
            scheduler.post([alive, generation, running] {
                if (MainWindow* w = *alive) w->queryAnswered(generation, running);
            });
        });
    } catch (const std::system_error&) {
        queryOutstanding_ = false;  // no thread now: the next tick tries again
    }
}

void MainWindow::queryAnswered(unsigned generation, bool mailerRunning) {
    queryOutstanding_ = false;
    // The watch ended (or Pause-4-Process was unticked) while the query ran.
    if (generation != watchGeneration_ || P4P_TICKBOX.state() != 1) return;
    if (mailerRunning) {
        P4P_TICKBOX.setBackground(colours::Red);
        setStatus(kRunning);
        return;
    }
    // The runner script we launched may not have started the mailer yet.
    const LaunchState launch = app_.launcher.state(run_.id);
    if (!launch.running) finishRun(launch.exitStatus);
}

// The runner script has ended: its exit status and the lines this run added
// to the mail client's log tell how the send went. A failure is shown.
bool MainWindow::judgeRun(int runnerStatus) {
    run_.judged = true;
    Files& files = app_.files;
    const std::string log = run_.folder.empty() ? "" : run_.folder + app_.runFiles.logFile;
    const std::string failure = JudgeSend(
        {runnerStatus, log.empty() ? std::nullopt : files.readFrom(log, run_.logStart, kSendLogTailBytes),
         log, run_.folder, run_.folder.empty() || files.isFile(run_.folder + app_.runFiles.sendEmailExe)});
    if (!failure.empty()) {
        exitStatus_ = kExitSendFailed;
        showFailure(failure);
    }
    return failure.empty();
}

void MainWindow::finishRun(int runnerStatus) {
    P4P_TICKBOX.setBackground(colours::Green);
    if (judgeRun(runnerStatus)) setStatus(kCompleted);
    enterWait();
}

void MainWindow::sendTimedOut() {
    const LaunchState launch = app_.launcher.state(run_.id);
    if (!launch.running) {
        // Our run is over; only some other SendEmail.exe held the watch.
        finishRun(launch.exitStatus);
        return;
    }
    app_.launcher.stop(run_.id);
    run_.judged = true;
    exitStatus_ = kExitTimedOut;
    P4P_TICKBOX.setBackground(colours::Red);
    showFailure("SendEmail.exe timed out after " + std::to_string(SEND_TIMEOUT_TIMER.interval() / 1000) +
                " s - the runner script and the mail client were stopped");
    enterWait();
}

void MainWindow::autoCloseElapsed() {
    // Without a watch the run's end was not waited for; if it is over by
    // now, its outcome still counts.
    if (!run_.judged) {
        const LaunchState launch = app_.launcher.state(run_.id);
        if (!launch.running) judgeRun(launch.exitStatus);
    }
    const bool failed = CURRENT_STATUS_LABEL.foreground() == colours::Red;
    if (AUTOCLOSE_TICKBOX.state() == 1) {
        enter(RunState::Closing);
        // Closing now would throw away what the user is typing in a dialog:
        // it closes as soon as the dialog is closed instead (openDialog).
        setStatus(modalChild() ? kClosingAfterDialog : failed ? kFailedClosing : kClosing, failed);
        if (!modalChild()) close();
        return;
    }
    // A failure stays in view until the next run.
    if (!failed) setStatus(kReady);
    P4P_TICKBOX.setBackground(std::nullopt);
    enter(RunState::Idle);
}

void MainWindow::autoStartChanged() {
    const bool ticked = AUTOSTART_TICKBOX.state() == 1;
    if (!ticked && state_ == RunState::StoppedWait) enter(RunState::Idle);  // the wait is cancelled
    if (!ticked) AUTOCLOSE_TICKBOX.setState(0);
    AUTOCLOSE_TICKBOX.setEnabled(ticked);
}

// ---- Always on top -------------------------------------------------------

void MainWindow::alwaysOnTopTick() {
    ZOrder& z = app_.zorder;
    if (z.handleOf(*this) == z.foregroundWindow()) return;
    z.setTopmost(z.foregroundWindow(), false);
    z.setTopmost(z.handleOf(*this), true);
}

}  // namespace fhsw
