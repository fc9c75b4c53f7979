#include "forms/main_window.h"
#include "forms/window_geometry.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "forms/settings_main_window.h"
#include "forms/about_window.h"
#include "forms/log_manager_window.h"

namespace fhsw {

namespace {
constexpr const char* kMailerImage = "SendEmail.exe";

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Size of a file, 0 when it cannot be read.
std::uintmax_t FileSize(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(PathOf(path), ec);
    return ec ? 0 : size;
}

// What a file holds from `offset` on (from the start if it is now shorter:
// it was emptied meanwhile), at most 1 MB of it.
std::string ReadFrom(const std::string& path, std::uintmax_t offset) {
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return {};
    if (static_cast<std::uintmax_t>(size) < offset) offset = 0;
    constexpr std::streamoff kMax = 1 << 20;
    const std::streamoff from =
        std::max<std::streamoff>(static_cast<std::streamoff>(offset), size - kMax);
    in.seekg(from);
    std::string text(static_cast<std::size_t>(size - from), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The mail client's reason for a failure: the text after "ERROR => " on the
// first line that has one (the mail client's log format), "" when no line
// does.
std::string ErrorReason(const std::string& log) {
    constexpr std::string_view kMark = "ERROR => ";
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        std::string_view line(log.data() + start, end - start);
        const std::size_t at = line.find(kMark);
        if (at != std::string_view::npos) {
            line.remove_prefix(at);
            while (line.substr(0, kMark.size()) == kMark) line.remove_prefix(kMark.size());
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
            std::string reason;
            for (char c : line.substr(0, 300))
                reason += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
            return reason.empty() ? "SendEmail.exe reported an error" : reason;
        }
        start = end + 1;
    }
    return {};
}
}  // namespace

int MainWindow::SendTimeoutFrom(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return kDefaultSendTimeoutSeconds;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > 604800) return kDefaultSendTimeoutSeconds;
    return static_cast<int>(value);
}

MainWindow::MainWindow(AppContext& app)
    : Window(app.ui, "FH_SENDWARDEN_MAIN", "FH-SW - "),
      START_STOP_BUTTON(*this, "START_STOP_BUTTON", "START", {8520, 1920, 1095, 735}),
      FH_SENDWARDEN_TITLE_2(*this, "FH_SENDWARDEN_TITLE_2", "FH-SENDWARDEN", {120, 120, 2655, 375}),
      STATUS_LABEL(*this, "STATUS_LABEL", "STATUS:", {2880, 240, 855, 255}),
      CURRENT_STATUS_LABEL(*this, "CURRENT_STATUS_LABEL", kReady, {3720, 120, 6135, 555}),
      EXE_NAME_LABEL(*this, "EXE_NAME_LABEL", "EXE FILE:", {1440, 720, 975, 255}),
      APP_EXE_NAME_TEXTBOX(*this, "APP_EXE_NAME_TEXTBOX", "APP_EXE_NAME", {2400, 600, 7455, 375}),
      TO_LABEL(*this, "TO_LABEL", "TO:", {1920, 1080, 375, 255}),
      SEND_TO_ADDRESS_TEXTBOX(*this, "SEND_TO_ADDRESS_TEXTBOX", "TO", {2400, 960, 7455, 375}),
      SUBJECT_LABEL(*this, "SUBJECT_LABEL", "SUBJECT:", {1440, 1440, 975, 255}),
      SUBJECT_TEXTBOX(*this, "SUBJECT_TEXTBOX", "SUBJECT", {2400, 1320, 7455, 375}),
      Picture1(*this, "Picture1", "main.png", {120, 600, 1185, 2205}),
      LOG_MANAGER_BUTTON(*this, "LOG_MANAGER_BUTTON", "Log Manager", {1560, 1920, 1335, 375}),
      ABOUT_BUTTON(*this, "ABOUT_BUTTON", "About", {1560, 2400, 1335, 255}),
      AUTOSTART_TICKBOX(*this, "AUTOSTART_TICKBOX", "AutoStart", {3000, 1920, 1095, 195}),
      AUTOCLOSE_TICKBOX(*this, "AUTOCLOSE_TICKBOX", "AutoClose", {3000, 2160, 1095, 195}),
      AlwaysOnTopTimer_TICKBOX(*this, "AlwaysOnTopTimer_TICKBOX", "Always On Top",
                               {3000, 2400, 975, 495}),
      SE_EXE_OUTPUT_WINDOW_TICKBOX(*this, "SE_EXE_OUTPUT_WINDOW_TICKBOX",
                                   "SendEmail.exe Output Window", {4080, 1920, 1575, 375}),
      P4P_TICKBOX(*this, "P4P_TICKBOX", "Pause-4-Process SendEmail.exe", {4080, 2400, 1575, 375}),
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
      app_(app),
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
    SEND_EMAIL_NOW_BUTTON.onPress = [this] { sendEmailNowPressed(); };
    AUTOSTART_TICKBOX.onChange = [this] { autoStartChanged(); };
    P4P_TICKBOX.onChange = [this] { app_.store.writeTick("P4P_TICKBOX", P4P_TICKBOX.state()); };
    SE_EXE_OUTPUT_WINDOW_TICKBOX.onChange = [this] {
        app_.store.writeTick("SE_EXE_OUTPUT_WINDOW_TICKBOX", SE_EXE_OUTPUT_WINDOW_TICKBOX.state());
    };
    AlwaysOnTopTimer_TICKBOX.onChange = [this] { alwaysOnTopChanged(); };
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
    SettingsStore& store = app_.store;
    LoadWindowGeometry(*this, store, "MAIN", 10050, 3285);
    APP_EXE_NAME_TEXTBOX.setText(store.ProfileName());
    setCaption("FH-SW - " + store.ProfileName());
    SEND_TO_ADDRESS_TEXTBOX.setText(store.readText("SEND_TO_ADDRESS_TEXTBOX"));
    SUBJECT_TEXTBOX.setText(store.readText("SUBJECT_TEXTBOX"));
    AUTOSTART_TICKBOX.setState(store.readTick("AUTOSTART_TICKBOX"));
    AUTOCLOSE_TICKBOX.setState(store.readTick("AUTOCLOSE_TICKBOX"));
    SE_EXE_OUTPUT_WINDOW_TICKBOX.setState(store.readTick("SE_EXE_OUTPUT_WINDOW_TICKBOX"));
    SE_RUNNER_BAT_LOCATION_TEXTBOX.setText(store.readText("SE_RUNNER_BAT_LOCATION_TEXTBOX"));
    P4P_TICKBOX.setState(store.readTick("P4P_TICKBOX"));
    AlwaysOnTopTimer_TICKBOX.setState(store.readTick("AlwaysOnTopTimer_TICKBOX"));

    AlwaysOnTopTimer.setInterval(1000);
    AUTOSTART_TIMER.setInterval(10000);
    AUTOCLOSE_TIMER.setInterval(10000);
    PROCESS_WATCHER_TIMER.setInterval(250);
    const long long limitMs = 1000LL * (app_.sendTimeoutSeconds > 0 ? app_.sendTimeoutSeconds
                                                                     : kDefaultSendTimeoutSeconds);
    SEND_TIMEOUT_TIMER.setInterval(static_cast<int>(std::min<long long>(limitMs, 604800000LL)));
    if (AlwaysOnTopTimer_TICKBOX.state() == 1)
        AlwaysOnTopTimer.start();
    else
        AlwaysOnTopTimer.stop();
    armRunController();
}

void MainWindow::storeState() {
    SettingsStore& store = app_.store;
    StoreWindowPosition(*this, store, "MAIN");
    store.writeTick("AUTOSTART_TICKBOX", AUTOSTART_TICKBOX.state());
    store.writeTick("AUTOCLOSE_TICKBOX", AUTOCLOSE_TICKBOX.state());
    store.writeTick("SE_EXE_OUTPUT_WINDOW_TICKBOX", SE_EXE_OUTPUT_WINDOW_TICKBOX.state());
    store.writeText("SE_RUNNER_BAT_LOCATION_TEXTBOX", SE_RUNNER_BAT_LOCATION_TEXTBOX.text());
    store.writeTick("P4P_TICKBOX", P4P_TICKBOX.state());
}

void MainWindow::unload() { storeState(); }

template <class Dialog>
void MainWindow::openDialog() {
    {
        Dialog dialog(app_, *this);
        showModal(dialog);
    }
    // An auto-close that fell due while the dialog was open waited for it.
    if (closeWhenDialogCloses_) close();
}

// ---- Run controller ------------------------------------------------------

// Shows a status text, and writes it with the time to stderr so that an
// unattended run leaves a trace in whatever collects its output.
// A failure shows in red on the black status line.
void MainWindow::setStatus(const std::string& text, bool failure) {
    failureShown_ = failure;
    CURRENT_STATUS_LABEL.setForeground(failure ? colours::Red : colours::Green);
    CURRENT_STATUS_LABEL.setText(text);
    if (text == lastLogged_) return;  // the watch repeats its status every check
    lastLogged_ = text;
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&secs));
    std::fprintf(stderr, "%s.%03d fh-sendwarden[%s]: %s\n", stamp, ms,
                 app_.store.ProfileName().c_str(), text.c_str());
}

void MainWindow::armRunController() {
    if (AUTOSTART_TICKBOX.state() == 1) {
        AUTOSTART_TICKBOX.setEnabled(false);
        AUTOCLOSE_TICKBOX.setEnabled(false);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(false);
        setStatus(kCountdown);
        START_STOP_BUTTON.setText("STOP");
        SETTINGS_BUTTON.setEnabled(false);
        AUTOSTART_TIMER.start();
    } else {
        AUTOSTART_TIMER.stop();
        setStatus(kReady);
        START_STOP_BUTTON.setText("START");
        AUTOSTART_TICKBOX.setEnabled(true);
        AUTOCLOSE_TICKBOX.setEnabled(false);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(true);
    }
}

void MainWindow::startStopPressed() {
    if (START_STOP_BUTTON.text() == "START") {
        START_STOP_BUTTON.setText("STOP");
        AUTOSTART_TIMER.start();
        setStatus(kCountdown);
        AUTOSTART_TICKBOX.setEnabled(false);
        AUTOCLOSE_TICKBOX.setEnabled(false);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(false);
        SETTINGS_BUTTON.setEnabled(false);
    } else {
        START_STOP_BUTTON.setText("START");
        AUTOSTART_TIMER.stop();
        AUTOCLOSE_TIMER.stop();
        AUTOCLOSE_TICKBOX.setEnabled(true);
        AUTOSTART_TICKBOX.setEnabled(true);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(true);
        SETTINGS_BUTTON.setEnabled(true);
        setStatus(kAborted);
    }
}

// Hands the saved runner script to the launcher; on failure says why in the
// status line (and on stderr, for unattended runs) and returns false.
bool MainWindow::launchRunner() {
    const std::string& command = SE_RUNNER_BAT_LOCATION_TEXTBOX.text();
    if (command.empty()) {
        reportLaunchFailure("no runner script saved yet - open Settings and press SAVE");
        return false;
    }
    LaunchResult result = app_.launcher.launch(command, SE_EXE_OUTPUT_WINDOW_TICKBOX.state() == 1);
    if (!result.ok) {
        reportLaunchFailure(result.error);
        return false;
    }
    runId_ = result.id;
    return true;
}

void MainWindow::reportLaunchFailure(const std::string& reason) {
    exitStatus_ = kExitLaunchFailed;
    setStatus(std::string(kSendFailed) + reason + " !!!", true);
}

void MainWindow::sendEmailNowPressed() {
    // Not watched: only the countdown's launch is followed to its end.
    const LaunchId watched = runId_;
    launchRunner();
    runId_ = watched;
}

void MainWindow::countdownElapsed() {
    START_STOP_BUTTON.setText("STOP");
    setStatus(kSending);
    // The log as it stands before the launch: the run's own lines follow.
    const std::string folder = app_.store.readText("INSTALL_FOLDER_TEXTBOX");
    runLog_ = folder.empty() ? std::string() : folder + app_.runFiles.logFile;
    runLogStart_ = runLog_.empty() ? 0 : FileSize(runLog_);
    if (!launchRunner()) {
        AUTOSTART_TIMER.stop();
        runJudged_ = true;
        if (AUTOCLOSE_TICKBOX.state() == 1) {
            // A scheduled run must end: close after the usual wait, with
            // the reason in the status line, on stderr and in the exit status.
            AUTOCLOSE_TIMER.start();
            return;
        }
        // Nothing was sent: back to a usable window that shows why.
        START_STOP_BUTTON.setText("START");
        AUTOSTART_TICKBOX.setEnabled(true);
        AUTOCLOSE_TICKBOX.setEnabled(true);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(true);
        SETTINGS_BUTTON.setEnabled(true);
        return;
    }
    exitStatus_ = kExitOk;
    runJudged_ = false;
    PROCESS_WATCHER_TIMER.start();
    SEND_TIMEOUT_TIMER.stop();
    SEND_TIMEOUT_TIMER.start();
    AUTOSTART_TIMER.stop();
}

void MainWindow::watchTick() {
    if (P4P_TICKBOX.state() == 1) {
        // The window never waits for the process list: the query runs on
        // its own thread, and a tick while it runs starts no other.
        if (!queryOutstanding_) startQuery();
        return;
    }
    endWatch();
    SEND_TIMEOUT_TIMER.stop();
    AUTOCLOSE_TIMER.start();
}

void MainWindow::startQuery() {
    // The previous query has answered already; its thread is at its end.
    if (queryThread_.joinable()) queryThread_.join();
    queryOutstanding_ = true;
    std::shared_ptr<MainWindow*> alive = alive_;
    ProcessQuery& processes = app_.processes;
    Scheduler& scheduler = ui().scheduler;
    const unsigned generation = watchGeneration_;
    try {
        queryThread_ = std::thread([alive, &processes, &scheduler, generation] {
            bool running = false;
            try {
                running = processes.isProcessRunning(kMailerImage);
            } catch (...) {
                running = false;  // no process list: the runner script's own state decides
            }
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
    if (generation != watchGeneration_ || !PROCESS_WATCHER_TIMER.running() ||
        P4P_TICKBOX.state() != 1)
        return;
    if (mailerRunning) {
        P4P_TICKBOX.setBackground(colours::Red);
        AUTOCLOSE_TIMER.stop();
        setStatus(kRunning);
        return;
    }
    // The runner script we launched may not have started the mailer yet.
    const LaunchState state = app_.launcher.state(runId_);
    if (state.running) {
        AUTOCLOSE_TIMER.stop();
        return;
    }
    finishRun(state.exitStatus);
}

void MainWindow::endWatch() {
    PROCESS_WATCHER_TIMER.stop();
    ++watchGeneration_;  // an answer still on its way is for the ended watch
}

// The runner script has ended: its exit status and the lines this run added
// to the mail client's log tell how the send went.
bool MainWindow::judgeRun(int runnerStatus, std::string& reason) const {
    const std::string added = runLog_.empty() ? std::string() : ReadFrom(runLog_, runLogStart_);
    const std::string error = ErrorReason(added);
    if (runnerStatus != 0) {
        if (!error.empty())
            reason = error;
        else if (runnerStatus < 0)
            reason = "the runner script ended, how is not known";
        else
            reason = "the runner script ended with status " + std::to_string(runnerStatus);
        return false;
    }
    if (!error.empty()) {
        reason = error;
        return false;
    }
    if (!runLog_.empty() && added.empty()) {
        reason = "SendEmail.exe wrote nothing to " + runLog_ + " - was it started?";
        return false;
    }
    return true;
}

void MainWindow::finishRun(int runnerStatus) {
    endWatch();
    SEND_TIMEOUT_TIMER.stop();
    runJudged_ = true;
    P4P_TICKBOX.setBackground(colours::Green);
    std::string reason;
    if (judgeRun(runnerStatus, reason)) {
        exitStatus_ = kExitOk;
        setStatus(kCompleted);
    } else {
        exitStatus_ = kExitSendFailed;
        setStatus(std::string(kSendFailed) + reason + " !!!", true);
    }
    AUTOCLOSE_TIMER.start();
}

void MainWindow::sendTimedOut() {
    SEND_TIMEOUT_TIMER.stop();
    if (!PROCESS_WATCHER_TIMER.running() || runJudged_) return;
    const LaunchState state = app_.launcher.state(runId_);
    if (!state.running) {
        // Our run is over; only some other SendEmail.exe held the watch.
        finishRun(state.exitStatus);
        return;
    }
    app_.launcher.stop(runId_);
    endWatch();
    runJudged_ = true;
    exitStatus_ = kExitTimedOut;
    P4P_TICKBOX.setBackground(colours::Red);
    setStatus(std::string(kSendFailed) + "SendEmail.exe timed out after " +
                  std::to_string(SEND_TIMEOUT_TIMER.interval() / 1000) +
                  " s - the runner script and the mail client were stopped !!!",
              true);
    AUTOCLOSE_TIMER.start();
}

void MainWindow::autoCloseElapsed() {
    // Without a watch the run's end was not waited for; if it is over by
    // now, its outcome still counts.
    if (!runJudged_ && !PROCESS_WATCHER_TIMER.running()) {
        const LaunchState state = app_.launcher.state(runId_);
        if (!state.running) {
            runJudged_ = true;
            std::string reason;
            if (!judgeRun(state.exitStatus, reason)) {
                exitStatus_ = kExitSendFailed;
                setStatus(std::string(kSendFailed) + reason + " !!!", true);
            }
        }
    }
    if (AUTOCLOSE_TICKBOX.state() == 1) {
        if (modalChild()) {
            // Closing now would throw away what the user is typing in the
            // dialog: close as soon as the dialog is closed instead.
            AUTOCLOSE_TIMER.stop();
            setStatus(kClosingAfterDialog, failureShown_);
            closeWhenDialogCloses_ = true;
            return;
        }
        setStatus(failureShown_ ? kFailedClosing : kClosing, failureShown_);
        close();
        return;
    }
    // A failure stays in view until the next run.
    if (!failureShown_) setStatus(kReady);
    AUTOSTART_TICKBOX.setEnabled(true);
    AUTOCLOSE_TICKBOX.setEnabled(true);
    START_STOP_BUTTON.setText("START");
    SETTINGS_BUTTON.setEnabled(true);
    SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(true);
    P4P_TICKBOX.setBackground(std::nullopt);
    AUTOCLOSE_TIMER.stop();
}

void MainWindow::autoStartChanged() {
    if (AUTOSTART_TICKBOX.state() == 1) {
        AUTOCLOSE_TICKBOX.setEnabled(true);
    } else {
        AUTOCLOSE_TICKBOX.setState(0);
        AUTOCLOSE_TICKBOX.setEnabled(false);
        AUTOSTART_TIMER.stop();
        AUTOCLOSE_TIMER.stop();
    }
}

// ---- Always on top -------------------------------------------------------

void MainWindow::alwaysOnTopChanged() {
    if (AlwaysOnTopTimer_TICKBOX.state() == 1)
        AlwaysOnTopTimer.start();
    else
        AlwaysOnTopTimer.stop();
    app_.store.writeTick("AlwaysOnTopTimer_TICKBOX", AlwaysOnTopTimer_TICKBOX.state());
}

void MainWindow::alwaysOnTopTick() {
    ZOrder& z = app_.zorder;
    if (z.handleOf(*this) == z.foregroundWindow()) return;
    z.setTopmost(z.foregroundWindow(), false);
    z.setTopmost(z.handleOf(*this), true);
}

}  // namespace fhsw
