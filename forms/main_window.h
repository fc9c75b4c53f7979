// The main window FH_SENDWARDEN_MAIN: shows the Profile in use, the stored
// recipients and subject and the status of a send run; holds the run
// controller (countdown, launch, process watch, auto-close) and the
// always-on-top option; opens the Settings, Log Manager and About windows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "forms/placed_window.h"

namespace fhsw {

class MainWindow : public PlacedWindow {
public:
    explicit MainWindow(AppContext& app);
    ~MainWindow() override;

    // Status texts of the run.
    static constexpr const char* kReady = "READY...";
    static constexpr const char* kCountdown = "EMAIL AUTOSEND IN 10 SECS...";
    static constexpr const char* kSending = "!!! AUTOSENDING EMAIL NOW !!!";
    static constexpr const char* kRunning = "!!! SendEmail.exe IS RUNNING...!!!";
    static constexpr const char* kCompleted = "COMPLETED...";
    static constexpr const char* kClosing = "!!! COMPLETED - CLOSING NOW !!!";
    static constexpr const char* kAborted = "!!! ABORTED !!!";
    static constexpr const char* kClosingAfterDialog = "!!! COMPLETED - CLOSING WHEN DIALOG CLOSES !!!";
    static constexpr const char* kSendFailed = "!!! SEND FAILED: ";  // then the reason and " !!!"
    static constexpr const char* kFailedClosing = "!!! SEND FAILED - CLOSING NOW !!!";

    // The program's exit status: what became of the last send.
    enum ExitStatus {
        kExitOk = 0,            // the last send succeeded, or nothing was sent
        kExitSendFailed = 1,    // the mail client reported a failure
        kExitLaunchFailed = 2,  // the runner script could not be started
        kExitTimedOut = 3,      // the mail client did not end in time and was stopped
    };
    int exitStatus() const { return exitStatus_; }

    // The time limit of a watched send, from the text of the environment
    // variable FHSW_SEND_TIMEOUT_SECONDS: a whole number of seconds from 1 to
    // 604800; anything else (or nothing) gives 600.
    static int SendTimeoutFrom(const char* text);
    static constexpr int kDefaultSendTimeoutSeconds = 600;

    // Whether a process query asked off the UI thread has not answered yet.
    bool watchQueryOutstanding() const { return queryOutstanding_; }

    // START/STOP is the default button and first in the focus order.
    Button START_STOP_BUTTON;
    Label FH_SENDWARDEN_TITLE_2;
    Label STATUS_LABEL;
    Label CURRENT_STATUS_LABEL;
    Label EXE_NAME_LABEL;
    Label APP_EXE_NAME_TEXTBOX;
    Label TO_LABEL;
    TextBox SEND_TO_ADDRESS_TEXTBOX;
    Label SUBJECT_LABEL;
    TextBox SUBJECT_TEXTBOX;
    PictureBox Picture1;
    Button LOG_MANAGER_BUTTON;
    Button ABOUT_BUTTON;
    TickBox AUTOSTART_TICKBOX;
    TickBox AUTOCLOSE_TICKBOX;
    TickBox AlwaysOnTopTimer_TICKBOX;
    TickBox SE_EXE_OUTPUT_WINDOW_TICKBOX;
    TickBox P4P_TICKBOX;
    Button SEND_EMAIL_NOW_BUTTON;
    Button SETTINGS_BUTTON;
    Button EXIT_BUTTON;
    TextBox SE_RUNNER_BAT_LOCATION_TEXTBOX;

    Timer AUTOSTART_TIMER;
    Timer AUTOCLOSE_TIMER;
    Timer PROCESS_WATCHER_TIMER;
    Timer AlwaysOnTopTimer;
    Timer SEND_TIMEOUT_TIMER;  // one-shot: the time limit of a watched send

protected:
    void load() override;
    void unload() override;

private:
    void storeState();  // what the closing steps and Exit store
    template <class Dialog>
    void openDialog();

    // Run controller. Its state decides the START/STOP caption, which
    // options may be changed and which run timers run (enter()).
    enum class RunState {
        Idle,          // nothing armed
        Countdown,     // AUTOSTART_TIMER runs
        Watch,         // launched: PROCESS_WATCHER_TIMER and the time limit run
        Wait,          // AUTOCLOSE_TIMER: the wait after the launch or the watch
        StoppedWatch,  // STOP pressed during a watch: it goes on behind "START"
        StoppedWait,   // the wait after a stopped watch
        Closing,       // the wait ended with AutoClose: closes once no dialog is open
    };
    static bool Armed(RunState state);
    void enter(RunState state);
    void enterWait();
    void startStopPressed();
    void countdownElapsed();
    void watchTick();
    void autoCloseElapsed();
    void autoStartChanged();
    LaunchId launchRunner(const std::string& folder);
    void setStatus(const std::string& text, bool failure = false);
    void showFailure(const std::string& reason);
    void startQuery();
    void queryAnswered(unsigned generation, bool mailerRunning);
    void finishRun(int runnerStatus);
    bool judgeRun(int runnerStatus);
    void sendTimedOut();

    void alwaysOnTopTick();

    RunState state_ = RunState::Idle;
    std::string lastLogged_;
    int exitStatus_ = kExitOk;

    // The run launched by the countdown: the launch, the install folder and
    // the log's size before the launch (what the run adds comes after it).
    struct Run {
        LaunchId id = 0;
        std::string folder;
        std::uintmax_t logStart = 0;
        bool judged = true;
    } run_;

    // The process query runs on a thread of its own and hands its answer
    // back through the scheduler; `alive_` tells a late answer whether the
    // window is still there.
    std::shared_ptr<MainWindow*> alive_;
    // What the store did with a failed write before this window took it over.
    std::function<void(const std::string&)> previousWriteError_;
    std::function<void(const std::string&)> previousReadError_;
    std::thread queryThread_;
    bool queryOutstanding_ = false;
    unsigned watchGeneration_ = 0;  // counts ended watches: an answer for one is dropped
};

}  // namespace fhsw
