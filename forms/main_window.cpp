#include "forms/main_window.h"
#include "forms/window_geometry.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "forms/settings_main_window.h"
#include "forms/about_window.h"
#include "forms/log_manager_window.h"

namespace fhsw {

namespace {
constexpr const char* kMailerImage = "SendEmail.exe";
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
      app_(app) {
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
void MainWindow::setStatus(const std::string& text) {
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
    return true;
}

void MainWindow::reportLaunchFailure(const std::string& reason) {
    setStatus(std::string(kLaunchFailed) + reason + " !!!");
}

void MainWindow::sendEmailNowPressed() { launchRunner(); }

void MainWindow::countdownElapsed() {
    START_STOP_BUTTON.setText("STOP");
    setStatus(kSending);
    if (!launchRunner()) {
        // Nothing was sent: back to a usable window that shows why.
        AUTOSTART_TIMER.stop();
        START_STOP_BUTTON.setText("START");
        AUTOSTART_TICKBOX.setEnabled(true);
        AUTOCLOSE_TICKBOX.setEnabled(true);
        SE_EXE_OUTPUT_WINDOW_TICKBOX.setEnabled(true);
        SETTINGS_BUTTON.setEnabled(true);
        return;
    }
    PROCESS_WATCHER_TIMER.start();
    AUTOSTART_TIMER.stop();
}

void MainWindow::watchTick() {
    if (P4P_TICKBOX.state() == 1) {
        if (app_.processes.isProcessRunning(kMailerImage)) {
            P4P_TICKBOX.setBackground(colours::Red);
            AUTOCLOSE_TIMER.stop();
            setStatus(kRunning);
            return;
        }
        // The runner script we launched may not have started the mailer yet.
        if (app_.launcher.anyLaunchedRunning()) {
            AUTOCLOSE_TIMER.stop();
            return;
        }
        P4P_TICKBOX.setBackground(colours::Green);
        setStatus(kCompleted);
        AUTOCLOSE_TIMER.start();
        PROCESS_WATCHER_TIMER.stop();
    } else {
        AUTOCLOSE_TIMER.start();
        PROCESS_WATCHER_TIMER.stop();
    }
}

void MainWindow::autoCloseElapsed() {
    if (AUTOCLOSE_TICKBOX.state() == 1) {
        if (modalChild()) {
            // Closing now would throw away what the user is typing in the
            // dialog: close as soon as the dialog is closed instead.
            AUTOCLOSE_TIMER.stop();
            setStatus(kClosingAfterDialog);
            closeWhenDialogCloses_ = true;
            return;
        }
        setStatus(kClosing);
        close();
        return;
    }
    setStatus(kReady);
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
